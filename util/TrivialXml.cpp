#include "util/TrivialXml.h"

#include <cstring>

namespace voltrane {

void TTrivialXml::Attach(TStream& stream) {
  Stream = &stream;
  Captured.clear();
  BufferCount = 0;
  BufferPos = 0;
  CurrentChar = 0;
  StreamBytes = 0;
}

bool TTrivialXml::Refill() {
  int64_t n = Stream ? Stream->Read(Buffer, kBufferSize) : 0;
  BufferCount = n > 0 ? int32_t(n) : 0;
  StreamBytes += BufferCount;
  BufferPos = 0;
  return BufferCount > 0;
}

bool TTrivialXml::ReadChar() {
  CurrentChar = 0;
  if (BufferCount < 1 && !Refill()) return false;
  CurrentChar = Buffer[BufferPos++];
  --BufferCount;
  if (Capturing) Captured += CurrentChar;
  return true;
}

void TTrivialXml::SkipTo(const std::string& terminator) {
  // Stops once all but the last byte of the terminator has been read, so the tag state
  // of FindTag ends at that final ">".
  const std::string head = terminator.substr(0, terminator.size() - 1);
  std::string recent;
  for (;;) {
    if (recent.size() >= head.size() &&
        recent.compare(recent.size() - head.size(), head.size(), head) == 0) {
      // The terminator's last byte is next only if it really follows; otherwise go on.
      if (BufferCount < 1 && !Refill()) return;
      if (Buffer[BufferPos] == terminator.back()) return;
    }
    if (!ReadChar()) return;
    recent += CurrentChar;
    if (recent.size() > head.size()) recent.erase(0, recent.size() - head.size());
  }
}

bool TTrivialXml::FindTag(const std::string& name) {
  const std::string target = "<" + name;
  std::string collected;
  bool inTag = false;
  for (;;) {
    if (!inTag) {
      // Outside a tag only "<" matters: pass over everything else a block at a time.
      if (BufferCount < 1 && !Refill()) {
        CurrentChar = 0;
        return false;
      }
      const char* start = Buffer + BufferPos;
      const void* found = std::memchr(start, '<', size_t(BufferCount));
      int32_t skip = found ? int32_t(static_cast<const char*>(found) - start) : BufferCount;
      if (skip > 0) {
        if (Capturing) Captured.append(start, size_t(skip));
        CurrentChar = start[skip - 1];
        BufferPos += skip;
        BufferCount -= skip;
      }
      if (!found) continue;
      ReadChar();
      inTag = true;
      collected.clear();
      collected.push_back('<');
      continue;
    }
    if (!ReadChar()) return false;
    char c = CurrentChar;
    if (c == '<' || c == '>') {
      inTag = false;
      collected.clear();
      continue;
    }
    if (collected.size() > target.size() && collected.size() > 9)
      continue;  // cannot match any more
    collected += c;
    if (collected == "<![CDATA[") SkipTo("]]>");
    if (collected == "<!--") SkipTo("-->");
    if (collected == target) return true;
  }
}

}  // namespace voltrane
