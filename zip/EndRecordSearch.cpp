#include "zip/EndRecordSearch.h"

#include <algorithm>
#include <string>

#include "zip/ZipRecords.h"

namespace voltrane {

int64_t SearchEndRecord(TStream& stream) {
  int64_t size = stream.Size();
  if (size < kEndRecordSize) return -1;
  // Each window starts again below the end record's place by the previous window's size,
  // so the windows overlap; together they reach back past the longest comment.
  const int64_t windows[] = {256, 1024, 65536};
  int64_t previous = 0;
  for (int64_t window : windows) {
    int64_t start = size - kEndRecordSize - previous;
    previous = window;
    if (start < 0) break;
    // A stream shorter than the window is searched down to its first byte.
    int64_t low = std::max<int64_t>(0, start - window + 1);
    std::string block(size_t(start - low + 4), '\0');
    stream.SetPosition(low);
    stream.ReadBuffer(block.data(), int64_t(block.size()));
    for (int64_t cursor = start; cursor >= low;) {
      const char* at = block.data() + (cursor - low);
      if (at[0] == 'P' && at[1] == 'K' && at[2] == 5 && at[3] == 6) return cursor;
      // A "P" here rules out a record starting at any of the three bytes before it.
      cursor -= at[0] == 'P' ? 4 : 1;
    }
  }
  return -1;
}

}  // namespace voltrane
