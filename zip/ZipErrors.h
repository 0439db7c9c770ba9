// Errors of the ZIP component that are not file or zlib errors.
#pragma once

#include "rt/Exception.h"

namespace voltrane {

// The archive cannot take an operation: no archive open, read-only, or a format limit
// (16-bit counts and lengths, 32-bit sizes and offsets) that would otherwise wrap around.
VOLTRANE_ERROR_KIND(EZipError, Exception);

}  // namespace voltrane
