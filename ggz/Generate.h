#pragma once

#include <string>
#include <vector>

#include "ggz/BuildState.h"
#include "rt/Console.h"
#include "rt/Exception.h"

namespace voltrane {

// Refusals to replace the destination: nothing has been written when they are raised.
VOLTRANE_ERROR_KIND(EDestinationError, Exception);
// A mask that matches no file, or whose folder cannot be listed: nothing has been written.
VOLTRANE_ERROR_KIND(ENoSourceError, Exception);
// A matched source that is no file to read (a device, a socket): nothing has been written.
VOLTRANE_ERROR_KIND(ESourceError, Exception);

// Builds the GGZ file at destination from every file that the source masks match, in the
// order of the masks and, within one mask, by name. All paths are absolute; the
// destination's ".." and links are left to the file system to resolve. Every mask must
// match a file: a mask without "*" or "?" names exactly that file. Once the destination
// holds the new archive, a later failure (a progress line that cannot be written) goes to
// the console's error lines instead of being raised. Chunks are
// deflated by deflateThreads worker threads; 0 means one per usable CPU (none with one).
// The archive's bytes are the same whatever the count.
void Generate(const std::vector<std::string>& sourceMasks, const std::string& destination,
              TConsole& console, int deflateThreads = 0);

// Makes the run's own fresh, uniquely named folder beside the destination and sets the
// state's WorkDir to it; the caller removes the folder.
void CreateTempStorage(TBuildState& state, const std::string& destination);

}  // namespace voltrane
