// Where in a source file a waypoint's parse error lies, so that the message can point an
// editor's "go to line" at it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "rt/Stream.h"

namespace voltrane {

struct TSourcePosition {
  int64_t Line = 1;
  int64_t Column = 1;
};

// The byte of text at which a parser message ending in "at [line:column]" points, where
// text began on line firstLine of what was parsed; -1 when the message names no position.
// A position past text (in what followed it) gives text's end.
int64_t ParsedOffset(const std::string& message, std::string_view text, int64_t firstLine);

// Line and column of a byte of the stream, read again from its start: CR LF, LF and CR each
// end a line, and columns count UTF-8 characters from 1 (or bytes, for other text).
TSourcePosition PositionInStream(TStream& stream, int64_t offset, bool utf8);

}  // namespace voltrane
