#include "ggz/SourcePosition.h"

#include <algorithm>
#include <cstdio>

namespace voltrane {

int64_t ParsedOffset(const std::string& message, std::string_view text, int64_t firstLine) {
  size_t at = message.rfind(" at [");
  long long line = 0, column = 0;
  char close = 0;
  if (at == std::string::npos ||
      std::sscanf(message.c_str() + at, " at [%lld:%lld%c", &line, &column, &close) != 3 ||
      close != ']')
    return -1;
  if (line < firstLine) return 0;
  // The parser counts line feeds only, and the byte it stands on as its line's Column-th.
  int64_t lineStart = 0;
  for (int64_t k = firstLine; k < line; ++k) {
    size_t feed = text.find('\n', size_t(lineStart));
    if (feed == std::string_view::npos) return int64_t(text.size());
    lineStart = int64_t(feed) + 1;
  }
  return std::clamp<int64_t>(lineStart + column - 1, 0, int64_t(text.size()));
}

TSourcePosition PositionInStream(TStream& stream, int64_t offset, bool utf8) {
  stream.SetPosition(0);
  TSourcePosition position;
  bool afterCr = false;
  char block[65536];
  while (offset > 0) {
    int64_t n = stream.Read(block, std::min<int64_t>(offset, sizeof block));
    if (n <= 0) break;
    offset -= n;
    for (int64_t k = 0; k < n; ++k) {
      unsigned char c = static_cast<unsigned char>(block[k]);
      if (c == '\n' && afterCr) {
        afterCr = false;  // the second byte of a CR LF
      } else if (c == '\n' || c == '\r') {
        ++position.Line;
        position.Column = 1;
        afterCr = c == '\r';
      } else {
        afterCr = false;
        if (!utf8 || (c & 0xC0) != 0x80) ++position.Column;
      }
    }
  }
  return position;
}

}  // namespace voltrane
