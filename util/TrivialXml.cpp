#include "util/TrivialXml.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace voltrane {

void TTrivialXml::Attach(TStream& stream) {
  Stream = &stream;
  Captured.clear();
  Target = nullptr;
  BufferCount = 0;
  BufferPos = 0;
  CurrentChar = 0;
  StreamBytes = 0;
  CaptureOverflowed = false;
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
  if (Capturing) Keep(&CurrentChar, 1);
  return true;
}

void TTrivialXml::Keep(const char* bytes, size_t count) {
  std::string& target = CaptureTarget();
  if (target.size() + count <= CaptureLimit) {
    target.append(bytes, count);
  } else {
    Capturing = false;
    CaptureOverflowed = true;
  }
}

void TTrivialXml::Consume(int32_t count) {
  if (Capturing) Keep(Buffer + BufferPos, size_t(count));
  CurrentChar = Buffer[BufferPos + count - 1];
  BufferPos += count;
  BufferCount -= count;
}

void TTrivialXml::SkipTo(const char (&terminator)[4]) {
  // Stops once all but the last byte of the terminator has been read by this call and that
  // last byte (a ">") comes next, so the tag state of FindTag ends at it. Passes over
  // everything else, "<" and ">" included, a block at a time.
  char older = 0, last = 0;  // the two bytes last read here (none yet: NUL, never a match)
  auto remember = [&](char c) {
    older = last;
    last = c;
  };
  for (;;) {
    if (BufferCount < 1 && !Refill()) {
      CurrentChar = 0;
      return;
    }
    const char* start = Buffer + BufferPos;
    const void* found = std::memchr(start, terminator[2], size_t(BufferCount));
    int32_t before = found ? int32_t(static_cast<const char*>(found) - start) : BufferCount;
    for (int32_t k = std::max(0, before - 2); k < before; ++k) remember(start[k]);
    if (before > 0) Consume(before);
    if (!found) continue;
    if (older == terminator[0] && last == terminator[1]) return;
    Consume(1);
    remember(terminator[2]);
  }
}

int TTrivialXml::FindTagOf(const std::string* names, int count) {
  static const char kCdata[] = "<![CDATA[";
  static const char kComment[] = "<!--";
  // The bytes this call reads are walked over in the buffer and taken (captured) in one
  // piece before a refill, a skip or the return: one append per tag, not one per byte.
  int32_t walked = 0;
  auto takeWalked = [&] {
    if (walked > 0) Consume(walked);
    walked = 0;
  };
  // False at end of input, with CurrentChar cleared.
  auto bytesAhead = [&] {
    if (walked < BufferCount) return true;
    takeWalked();
    if (Refill()) return true;
    CurrentChar = 0;
    return false;
  };
  // Each name as it follows the "<"; a bit of maybeTarget for each that the tag can still become.
  const unsigned allTargets = (1u << count) - 1;
  for (;;) {
    // Outside a tag only "<" matters: pass over everything else a block at a time.
    if (!bytesAhead()) return 0;
    const char* start = Buffer + BufferPos + walked;
    const void* open = std::memchr(start, '<', size_t(BufferCount - walked));
    if (!open) {
      walked = BufferCount;
      continue;
    }
    walked += int32_t(static_cast<const char*>(open) - start) + 1;

    // Inside a tag: the collected text only grows, so it is enough to know which of the
    // three texts it can still become. A tag that can become none of them is passed over
    // up to its "<" or ">", which end it (without opening a new tag).
    size_t length = 1;
    unsigned maybeTarget = allTargets;
    bool maybeCdata = true, maybeComment = true;
    for (;;) {
      if (!bytesAhead()) return 0;
      if (!maybeTarget && !maybeCdata && !maybeComment) {
        const char* p = Buffer + BufferPos;
        while (walked < BufferCount && p[walked] != '<' && p[walked] != '>') ++walked;
        if (walked == BufferCount) continue;
        ++walked;
        break;
      }
      char c = Buffer[BufferPos + walked++];
      if (c == '<' || c == '>') break;
      for (unsigned rest = maybeTarget; rest; rest &= rest - 1) {
        int k = std::countr_zero(rest);
        const std::string& name = names[k];
        if (length > name.size() || name[length - 1] != c) maybeTarget &= ~(1u << k);
      }
      maybeCdata = maybeCdata && length < 9 && kCdata[length] == c;
      maybeComment = maybeComment && length < 4 && kComment[length] == c;
      ++length;
      if (maybeCdata && length == 9) {
        takeWalked();
        SkipTo("]]>");
        maybeCdata = false;
      }
      if (maybeComment && length == 4) {
        takeWalked();
        SkipTo("-->");
        maybeComment = false;
      }
      for (unsigned rest = maybeTarget; rest; rest &= rest - 1) {
        int k = std::countr_zero(rest);
        if (length == names[k].size() + 1) {
          takeWalked();
          return k + 1;
        }
      }
    }
  }
}

}  // namespace voltrane
