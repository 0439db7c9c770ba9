// What every end-to-end run of the hostile-input tests checks: the index parses as strict
// XML 1.0, and the destination's folder holds what it held before, plus the archive on success.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace voltrane::test {

// Every path under a folder (relative, "/" separated) with what it holds: a file's bytes,
// "<folder>", "-> target" for a symbolic link, "<other>" for anything else.
using TTreeSnapshot = std::map<std::string, std::string>;
TTreeSnapshot SnapshotTree(const std::string& folder);

// Empty when the document is well-formed XML 1.0 (expat, which also rejects characters
// that XML forbids and bytes that are not UTF-8), else expat's message with line and column.
std::string XmlWellFormedError(const std::string& document);

// The index member of a GGZ archive, as unzip extracts it.
std::string IndexOfArchive(const std::string& archive);

// After a failed run: the folder is exactly as before.
void ExpectTreeUnchanged(const TTreeSnapshot& before, const std::string& folder);
// After a successful run: the folder is as before, except that the archive (a path relative
// to the folder) was added or replaced, and its index is well-formed.
void ExpectOnlyArchiveChanged(const TTreeSnapshot& before, const std::string& folder,
                              const std::string& archive);

// An archive with no member: what a previous run may have left at the destination.
inline const std::string kPreviousArchive("PK\x05\x06" + std::string(18, '\0'));

// The last line of a run's output, without its line end.
std::string LastLine(const std::string& output);

// Runs argv (the program first) in the folder; afterwards the folder must hold what it held
// before, except for the archive that archiveOf names for the result (a path relative to the
// folder, checked as ExpectOnlyArchiveChanged does), or nothing when it names none.
TProcessResult RunWatched(const std::string& folder, std::vector<std::string> argv,
                          TProcessOptions options,
                          const std::function<std::string(const TProcessResult&)>& archiveOf);

}  // namespace voltrane::test
