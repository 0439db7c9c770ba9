// What every end-to-end run of the hostile-input tests checks: the index parses as strict
// XML 1.0, and the destination's folder holds what it held before, plus the archive on success.
#pragma once

#include <map>
#include <string>

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

}  // namespace voltrane::test
