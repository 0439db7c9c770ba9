#include "rt/Path.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "rt/Exception.h"

namespace voltrane {

std::string AbsolutePath(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  std::vector<char> buffer(4096);
  while (!getcwd(buffer.data(), buffer.size())) {
    if (errno != ERANGE) break;
    buffer.resize(buffer.size() * 2);
  }
  return IncludeTrailingPathDelimiter(buffer.data()) + path;
}

std::string ExpandFileName(const std::string& path) {
  std::string full = AbsolutePath(path);
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= full.size()) {
    size_t end = full.find('/', start);
    if (end == std::string::npos) end = full.size();
    std::string part = full.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string result;
  for (const std::string& part : parts) result += "/" + part;
  if (result.empty()) return "/";
  // A trailing separator (or a final "." or "..") still names a folder.
  bool folder = full.back() == '/' || full.ends_with("/.") || full.ends_with("/..");
  if (folder) result += "/";
  return result;
}

std::string ExtractFilePath(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ExtractFileName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string IncludeTrailingPathDelimiter(const std::string& path) {
  return !path.empty() && path.back() == '/' ? path : path + "/";
}

std::string ExcludeTrailingPathDelimiter(const std::string& path) {
  return path.size() > 1 && path.back() == '/' ? path.substr(0, path.size() - 1) : path;
}

bool DirectoryExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool RemoveEmptyFolder(const std::string& path) {
  return rmdir(path.c_str()) == 0;
}

bool FileExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool ForceDirectories(const std::string& path) {
  std::string folder = ExcludeTrailingPathDelimiter(path);
  if (folder.empty() || DirectoryExists(folder)) return !folder.empty();
  std::string parent = ExcludeTrailingPathDelimiter(ExtractFilePath(folder));
  if (!parent.empty() && parent != folder && !ForceDirectories(parent)) return false;
  return mkdir(folder.c_str(), 0777) == 0 || (errno == EEXIST && DirectoryExists(folder));
}

namespace {

// realpath of an existing folder, with a trailing "/"; false when it does not resolve.
bool RealFolder(const std::string& folder, std::string& resolved) {
  std::unique_ptr<char, decltype(&free)> real(realpath(folder.c_str(), nullptr), &free);
  if (!real) return false;
  resolved = IncludeTrailingPathDelimiter(real.get());
  return true;
}

}  // namespace

std::string ResolveFolderPart(const std::string& path) {
  std::string full = AbsolutePath(path);
  std::string folder = ExtractFilePath(full), name = ExtractFileName(full);
  // The longest leading part that exists is resolved; the rest is only text.
  std::string head = ExcludeTrailingPathDelimiter(folder), tail, resolved;
  while (!RealFolder(head.empty() ? "/" : head, resolved)) {
    size_t slash = head.rfind('/');
    if (slash == std::string::npos) return ExpandFileName(full);
    tail = head.substr(slash + 1) + "/" + tail;
    head = head.substr(0, slash);
  }
  if (tail.empty()) return resolved + name;
  std::string rest = ExpandFileName(resolved + tail);
  return IncludeTrailingPathDelimiter(rest) + name;
}

std::string FollowLinks(const std::string& path) {
  std::string current = ResolveFolderPart(path);
  for (int hops = 0; hops < 40; ++hops) {  // a loop of links ends as the kernel ends it
    struct stat info;
    if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) break;
    std::vector<char> target(size_t(info.st_size > 0 ? info.st_size : PATH_MAX) + 1);
    ssize_t n = readlink(current.c_str(), target.data(), target.size());
    if (n <= 0 || size_t(n) >= target.size()) break;
    std::string next(target.data(), size_t(n));
    current = ResolveFolderPart(next[0] == '/' ? next : ExtractFilePath(current) + next);
  }
  return current;
}

void RemoveFile(const std::string& path) {
  ::unlink(path.c_str());
}

void ReplaceFile(const std::string& from, const std::string& to) {
  if (std::rename(from.c_str(), to.c_str()) != 0) throw EFCreateError(to, errno);
}

void CopyOwnerAndMode(const std::string& from, const std::string& to) {
  struct stat info;
  if (stat(from.c_str(), &info) != 0) return;
  // Owner first: changing it may clear set-id bits that the mode then restores.
  if (chown(to.c_str(), info.st_uid, info.st_gid) != 0) (void)!chown(to.c_str(), -1, info.st_gid);
  chmod(to.c_str(), info.st_mode & 07777);
}

}  // namespace voltrane
