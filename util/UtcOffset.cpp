#include "util/UtcOffset.h"

#include "rt/Platform.h"

namespace voltrane {

int LocalUtcOffsetMinutes() {
  return SystemUtcOffsetMinutes();
}

}  // namespace voltrane
