#pragma once

namespace voltrane {

// Minutes to add to UTC to get local time now (east positive), from the C library's zone.
int LocalUtcOffsetMinutes();

}  // namespace voltrane
