#pragma once

namespace voltrane {

// Minutes to add to UTC to get local time now (east positive), from the system's time zone.
int LocalUtcOffsetMinutes();

}  // namespace voltrane
