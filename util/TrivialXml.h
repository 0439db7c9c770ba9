// TTrivialXml: a forward-only scanner that finds start and end tags by name in a byte
// stream without building a tree, and keeps every byte it reads in Captured (or in a string
// the caller names) so that the caller can cut an element's exact source text out of the
// stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "rt/Stream.h"

namespace voltrane {

class TTrivialXml {
 public:
  static constexpr int kBufferSize = 65536;

  // Binds the scanner to a stream (not owned) and resets it, capturing into Captured again;
  // reading starts at the stream's current position.
  void Attach(TStream& stream);
  // The next byte into CurrentChar, appended to the capture target; false at end of input.
  bool ReadChar();
  // Reads on through the first tag whose text begins with "<" + name; false at end of input.
  bool FindTag(const std::string& name) { return FindTagOf(&name, 1) == 1; }
  // The same for the first tag that begins with "<" + any of count names (at most 8): the
  // number of that name from 1 (the first listed when several match), 0 at end of input.
  int FindTagOf(const std::string* names, int count);
  // The bytes read from the stream but not yet taken; empty only at end of input.
  std::string_view Lookahead() {
    if (BufferCount < 1) Refill();
    return std::string_view(Buffer + BufferPos, size_t(BufferCount));
  }
  // Takes the first count bytes of Lookahead() as ReadChar would.
  void Take(size_t count) {
    if (count > 0) Consume(int32_t(count));
  }
  // How many bytes of the stream have been read since Attach.
  int64_t Position() const { return StreamBytes - BufferCount; }

  // From now on the bytes read are appended to target (which must outlive the capture, or
  // StopCapture must come first) instead of to Captured: an element's text goes straight
  // where it is wanted, without a copy.
  void CaptureInto(std::string& target) { Target = &target; }
  // Captured is the capture target again.
  void StopCapture() { Target = nullptr; }
  // The string that the bytes read are appended to.
  std::string& CaptureTarget() { return Target ? *Target : Captured; }

  // Everything ReadChar returned since the caller last emptied it, while no other target
  // is named.
  std::string Captured;
  // While false, bytes are read but not kept: the caller does not need what it skips.
  bool Capturing = true;
  // The capture target grows to no more bytes than this: once it would, capturing stops
  // and CaptureOverflowed is set.
  size_t CaptureLimit = SIZE_MAX;
  bool CaptureOverflowed = false;
  char CurrentChar = 0;

 private:
  // Passes over a comment or CDATA body up to, not including, the ">" of the terminator.
  void SkipTo(const char (&terminator)[4]);
  bool Refill();
  // Appends to the capture target within CaptureLimit.
  void Keep(const char* bytes, size_t count);
  // Takes count bytes of the buffer as read (the last one becomes CurrentChar).
  void Consume(int32_t count);

  char Buffer[kBufferSize];
  int32_t BufferPos = 0;
  int32_t BufferCount = 0;
  TStream* Stream = nullptr;
  int64_t StreamBytes = 0;
  std::string* Target = nullptr;  // none: Captured
};

}  // namespace voltrane
