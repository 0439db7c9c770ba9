#include "rt/FileList.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "rt/AsciiText.h"
#include "rt/Path.h"

namespace voltrane {

namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

// Fills the entry from lstat (the link itself) and stat (what it points to).
bool DescribeEntry(int dirFd, const std::string& name, TFileEntry& entry) {
  struct stat self, target;
  if (fstatat(dirFd, name.c_str(), &self, AT_SYMLINK_NOFOLLOW) != 0) return false;
  entry.Name = name;
  entry.IsLink = S_ISLNK(self.st_mode);
  const struct stat* info = &self;
  if (entry.IsLink && fstatat(dirFd, name.c_str(), &target, 0) == 0) info = &target;
  entry.IsFolder = S_ISDIR(info->st_mode);
  entry.IsDevice = S_ISCHR(info->st_mode) || S_ISBLK(info->st_mode) || S_ISSOCK(info->st_mode);
  entry.IsFifo = S_ISFIFO(info->st_mode);
  uint16_t attributes = entry.IsFolder ? 0x10 : 0x20;
  if (!(info->st_mode & S_IWUSR)) attributes |= 0x01;
  if (!name.empty() && name[0] == '.') attributes |= 0x02;
  entry.Attributes = attributes;
  entry.ModifiedSeconds = info->st_mtim.tv_sec;
  entry.ModifiedNanoseconds = info->st_mtim.tv_nsec;
  return true;
}

}  // namespace

bool MatchesMask(const std::string& name, const std::string& mask, bool questionMarkIsWildcard) {
  // Iterative match with one backtrack point: linear enough for file names.
  size_t n = 0, m = 0, starMask = std::string::npos, starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && ((questionMarkIsWildcard && mask[m] == '?') ||
                            LowerAscii(mask[m]) == LowerAscii(name[n]))) {
      ++n;
      ++m;
    } else if (m < mask.size() && mask[m] == '*') {
      starMask = m++;
      starName = n;
    } else if (starMask != std::string::npos) {
      m = starMask + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

std::vector<TFileEntry> ListFolder(const std::string& folder, const std::string& mask,
                                   int* errorNumber) {
  std::vector<TFileEntry> entries;
  if (errorNumber) *errorNumber = 0;
  std::unique_ptr<DIR, DirCloser> dir(opendir(folder.empty() ? "." : folder.c_str()));
  if (!dir) {
    if (errorNumber) *errorNumber = errno;
    return entries;
  }
  int dirFd = dirfd(dir.get());
  while (struct dirent* item = readdir(dir.get())) {
    std::string name = item->d_name;
    if (name == "." || name == ".." || !MatchesMask(name, mask)) continue;
    TFileEntry entry;
    if (DescribeEntry(dirFd, name, entry)) entries.push_back(std::move(entry));  // gone: skip
  }
  std::sort(entries.begin(), entries.end(),
            [](const TFileEntry& a, const TFileEntry& b) { return a.Name < b.Name; });
  return entries;
}

bool FindEntry(const std::string& path, TFileEntry& entry) {
  std::string clean = ExcludeTrailingPathDelimiter(path);
  return DescribeEntry(AT_FDCWD, clean, entry) && ((entry.Name = ExtractFileName(clean)), true);
}

}  // namespace voltrane
