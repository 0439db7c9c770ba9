#include "util/UtcOffset.h"

#include <time.h>

namespace voltrane {

int LocalUtcOffsetMinutes() {
  time_t now = time(nullptr);
  struct tm local;
  // Without zone information the offset is taken as 0: local time is then UTC.
  if (!localtime_r(&now, &local)) return 0;
  return int(local.tm_gmtoff / 60);
}

}  // namespace voltrane
