// The runtime's system side on Windows (rt/PlatformWindows.cpp), run under Wine: paths with
// drives, UNC names and both separators, listings as POSIX lists them, long paths, the
// same-file test, replacing and removing files, 64-bit offsets, the clock, error texts and
// voltrane.exe's version resource.
#include <gtest/gtest.h>
#include <windows.h>
#undef ReplaceFile  // windows.h names ReplaceFileW so; the runtime has its own

#include <algorithm>

#include "TestSupport.h"
#include "rt/DateTime.h"
#include "rt/Exception.h"
#include "rt/FileList.h"
#include "rt/Path.h"
#include "rt/Platform.h"
#include "rt/Stream.h"
#include "util/DeleteTree.h"

namespace voltrane::test {
namespace {

TEST(WindowsPaths, AreMadeAbsoluteWithDrivesUncNamesAndBothSeparators) {
  const struct {
    std::string path, expanded;
  } cases[] = {
      {"C:\\a\\.\\b\\..\\c\\*.gpx", "C:\\a\\c\\*.gpx"},
      {"C:/a/b/../?.gpx", "C:\\a\\?.gpx"},
      {"C:\\a\\b\\", "C:\\a\\b\\"},
      {"C:\\a\\b\\..", "C:\\a\\"},
      {"\\\\server\\share\\x\\..\\y.ggz", "\\\\server\\share\\y.ggz"},
  };
  for (const auto& c : cases) EXPECT_EQ(ExpandFileName(c.path), c.expanded) << c.path;
  EXPECT_EQ(ExtractFilePath("C:\\a/b\\c.gpx"), "C:\\a/b\\");
  EXPECT_EQ(ExtractFileName("C:\\a/b\\c.gpx"), "c.gpx");
  EXPECT_EQ(ExtractFileName("C:\\a\\b/c.gpx"), "c.gpx");
  std::string relative = ExpandFileName("x\\*.gpx");
  EXPECT_EQ(relative.substr(1, 2), ":\\") << relative;
  EXPECT_TRUE(relative.ends_with("\\x\\*.gpx")) << relative;
}

TEST(WindowsListing, IsInByteOrderOfUtf8NamesWithMasksIgnoringAsciiCase) {
  TTempFolder dir;
  // "zz.gpxold" has the short name ZZ~1.GPX, which the system's own matching would take.
  for (const char* name : {"b.GPX", "a.gpx",
                           "\xC4\x8C"
                           "echy \xCE\x95\xCE\xBB.gpx",
                           "Z.gpx", ".hidden.gpx", "zz.gpxold"})
    WriteFile(dir / name, "x");
  ASSERT_TRUE(ForceDirectories(dir / "folder.gpx"));
  std::vector<std::string> names;
  for (const TFileEntry& entry : ListFolder(dir.Path(), "*.gpx")) names.push_back(entry.Name);
  EXPECT_EQ(names, (std::vector<std::string>{".hidden.gpx", "Z.gpx", "a.gpx", "b.GPX", "folder.gpx",
                                             "\xC4\x8C"
                                             "echy \xCE\x95\xCE\xBB.gpx"}));
  TFileEntry folder, file;
  ASSERT_TRUE(FindEntry(dir / "folder.gpx", folder));
  EXPECT_TRUE(folder.IsFolder);
  EXPECT_EQ(folder.Attributes & 0x10, 0x10);
  ASSERT_TRUE(FindEntry(dir / "a.gpx", file));
  EXPECT_FALSE(file.IsFolder);
  int error = 0;
  EXPECT_TRUE(ListFolder(dir / "missing", "*", &error).empty());
  EXPECT_EQ(error, ERROR_PATH_NOT_FOUND);
}

TEST(WindowsFiles, PathsLongerThanMaxPathWork) {
  TTempFolder dir;
  std::string deep = dir.Path();
  while (deep.size() < 400) deep += std::string(40, 'd') + "\\";
  ASSERT_TRUE(ForceDirectories(deep));
  WriteFile(deep + "a.gpx", "long");
  EXPECT_EQ(ReadFile(deep + "a.gpx"), "long");
  EXPECT_EQ(ListFolder(deep, "*.gpx").size(), 1u);
  ReplaceFile(deep + "a.gpx", deep + "b.gpx");
  EXPECT_TRUE(FileExists(deep + "b.gpx"));
  DeleteTree(dir / std::string(40, 'd'));
  EXPECT_FALSE(DirectoryExists(dir / std::string(40, 'd')));
}

TEST(WindowsFiles, SameFileSeesOneFileWhateverItsSpelling) {
  TTempFolder dir;
  WriteFile(dir / "a.gpx", "a");
  WriteFile(dir / "b.gpx", "a");
  std::string other = dir.Path();
  std::replace(other.begin(), other.end(), '\\', '/');
  EXPECT_TRUE(SameFile(dir / "a.gpx", other + "A.GPX"));
  EXPECT_FALSE(SameFile(dir / "a.gpx", dir / "b.gpx"));
  EXPECT_FALSE(SameFile(dir / "a.gpx", dir / "missing.gpx"));
}

TEST(WindowsFiles, ReplaceTakesTheDestinationsPlaceAndRemoveClearsReadOnly) {
  TTempFolder dir;
  WriteFile(dir / "new.ggz", "new");
  WriteFile(dir / "old.ggz", "old");
  ReplaceFile(dir / "new.ggz", dir / "old.ggz");
  EXPECT_EQ(ReadFile(dir / "old.ggz"), "new");
  EXPECT_FALSE(FileExists(dir / "new.ggz"));
  WriteFile(dir / "ro.gpx", "x");
  std::string path = dir / "ro.gpx";
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  TFileEntry entry;
  ASSERT_TRUE(FindEntry(path, entry));
  EXPECT_EQ(entry.Attributes & 0x01, 0x01);
  RemoveFile(path);
  EXPECT_FALSE(FileExists(path));
  EXPECT_THROW(ReplaceFile(dir / "missing", dir / "old.ggz"), EFCreateError);
}

TEST(WindowsFiles, AreBinaryWithSixtyFourBitOffsets) {
  TTempFolder dir;
  TFileStream file(dir / "big", TFileMode::Create);
  file.WriteString("a\nb\r\n");
  EXPECT_EQ(file.Size(), 5);
  const int64_t beyond = int64_t(5) << 30;  // beyond 4 GiB; the file stays sparse
  file.SetPosition(beyond);
  file.WriteString("z");
  EXPECT_EQ(file.Size(), beyond + 1);
  file.SetSize(beyond);
  EXPECT_EQ(file.Position(), beyond + 1);  // SetSize leaves the position, as ftruncate does
  file.SetPosition(0);
  char head[5];
  file.ReadBuffer(head, 5);
  EXPECT_EQ(std::string(head, 5), "a\nb\r\n");
  file.Close();
  RemoveFile(dir / "big");
}

TEST(WindowsFiles, UniqueNamesAreNewEachTime) {
  TTempFolder dir;
  std::string first, second;
  int error = 0;
  ASSERT_TRUE(CreateUniqueFolder(dir / "w-", first, error));
  ASSERT_TRUE(CreateUniqueFolder(dir / "w-", second, error));
  EXPECT_NE(first, second);
  auto a = TFileStream::CreateUnique(dir / "f-");
  auto b = TFileStream::CreateUnique(dir / "f-");
  EXPECT_NE(a->Path(), b->Path());
  EXPECT_TRUE(TemporaryFolder().ends_with("\\"));
}

TEST(WindowsClock, LocalTimeAndOffsetComeFromTheSameZone) {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  int64_t ticks = int64_t(uint64_t(now.dwHighDateTime) << 32 | now.dwLowDateTime);
  int64_t unixSeconds = (ticks - 116444736000000000) / 10000000;
  double utc = UnixToDateTime(unixSeconds, 0);
  double minutes = (Now() - utc) * 1440;
  EXPECT_NEAR(minutes, SystemUtcOffsetMinutes(), 1.0);
}

TEST(WindowsErrors, SystemTextsHaveNoTrailingPeriodOrLineBreak) {
  for (int error : {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_DISK_FULL}) {
    std::string text = SysErrorText(error);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(std::string(".\r\n ").find(text.back()), std::string::npos) << text;
  }
}

TEST(WindowsVersionResource, HoldsTheOneTranslationAndTheFourValues) {
  const std::string path = VoltraneExe();
  std::wstring exe(path.begin(), path.end());  // an ASCII path
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &handle);
  ASSERT_GT(size, 0u) << path;
  std::string block(size, '\0');
  ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), handle, size, block.data()));
  void* found = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &found, &length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(std::string(static_cast<char*>(found), 4), std::string("\x05\x04\xE2\x04", 4));
  const std::pair<const wchar_t*, const wchar_t*> values[] = {
      {L"FileDescription", L"GGZ file generator"},
      {L"FileVersion", L"1.0.0.2"},
      {L"ProductVersion", L"1.0.0.0"},
      {L"ProductName", L"Voltrane"},
  };
  for (const auto& [name, value] : values) {
    std::wstring query = std::wstring(L"\\StringFileInfo\\040504E2\\") + name;
    ASSERT_TRUE(VerQueryValueW(block.data(), query.c_str(), &found, &length));
    EXPECT_EQ(std::wstring(static_cast<wchar_t*>(found)), value);
  }
}

}  // namespace
}  // namespace voltrane::test
