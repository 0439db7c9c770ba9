// Paths with "/" as the separator (on Windows backslash and "/" alike); "the folder part" is
// everything through the last separator. The system side lives in the platform sources.
#pragma once

#include <string>

namespace voltrane {

// Absolute against the current folder, "." and ".." resolved lexically, wildcards untouched.
std::string ExpandFileName(const std::string& path);
// Absolute against the current folder and nothing more: ".." is left to the file system,
// which resolves it after the links before it.
std::string AbsolutePath(const std::string& path);
// The folder part resolved as the file system would (links, "." and ".."), as far as it
// exists; missing folders below that are appended with "." and ".." resolved as text.
// The last component is kept as given.
std::string ResolveFolderPart(const std::string& path);
// The file that opening the path would reach: symbolic links at the last component
// followed (a link to a missing file gives that file), folders resolved as above.
std::string FollowLinks(const std::string& path);
// Everything through the last "/" (empty when there is none).
std::string ExtractFilePath(const std::string& path);
// Everything after the last "/".
std::string ExtractFileName(const std::string& path);
std::string IncludeTrailingPathDelimiter(const std::string& path);
std::string ExcludeTrailingPathDelimiter(const std::string& path);

// Creates the folder and every missing folder above it; true when it exists afterwards.
bool ForceDirectories(const std::string& path);
bool DirectoryExists(const std::string& path);
// Removes a folder that is empty; false when it is not (or is gone, or holds something).
bool RemoveEmptyFolder(const std::string& path);
// True for anything but a folder (follows links).
bool FileExists(const std::string& path);
// Removes a file; one that is gone already is as good, and nothing is raised.
void RemoveFile(const std::string& path);
// Removes the file when the scope ends, unless Keep was called: a file this run made is
// not left behind when an error unwinds.
class TRemovedUnlessKept {
 public:
  explicit TRemovedUnlessKept(std::string path) : path_(std::move(path)) {}
  ~TRemovedUnlessKept() {
    if (!path_.empty()) RemoveFile(path_);
  }
  TRemovedUnlessKept(const TRemovedUnlessKept&) = delete;
  TRemovedUnlessKept& operator=(const TRemovedUnlessKept&) = delete;
  void Keep() { path_.clear(); }

 private:
  std::string path_;
};
// Renames the file from over the file to in one step (a reader sees the old file or the new
// one); raises EFCreateError for to.
void ReplaceFile(const std::string& from, const std::string& to);
// The permission bits of one file given to another, and its owner and group as far as the
// process may set them; best effort, a file that replaces another keeps what it can.
void CopyOwnerAndMode(const std::string& from, const std::string& to);

}  // namespace voltrane
