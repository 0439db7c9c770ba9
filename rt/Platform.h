// What the system needs of the operating system beyond what rt/'s other headers declare.
// One source per platform implements this header and the system side of those headers
// (TFileStream, the paths of Path.h, ListFolder and FindEntry, TStdoutConsole, Now and
// UnixToLocalDateTime, the interruption of Interrupt.h, Threads.h, SysErrorText):
// rt/PlatformPosix.cpp and rt/PlatformWindows.cpp, chosen by CMake. Strings are UTF-8 on
// both; an error number is errno on POSIX and a GetLastError code on Windows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace voltrane {

#ifdef _WIN32
inline constexpr char kPathDelimiter = '\\';
inline bool IsPathDelimiter(char c) {
  return c == '\\' || c == '/';
}
#else
inline constexpr char kPathDelimiter = '/';
inline bool IsPathDelimiter(char c) {
  return c == '/';
}
#endif

// The reason the last failed system call gave.
int LastSystemError();
// The error number of a device that is full.
int DiskFullError();
// The system's text for the error, as it gives it (SysErrorText trims it).
std::string SystemErrorMessage(int errorNumber);

// The program's arguments as UTF-8, its own name not counted.
std::vector<std::string> ProgramArguments(int argc, char** argv);
// Made once at start: failed writes come back as errors (no SIGPIPE, no SIGXFSZ), stop
// requests (signals, Ctrl+C) are noted for the run to unwind, console output takes UTF-8.
void PrepareProcess();
// Before the program ends: when its console window was opened for it alone (started from a
// file manager), the last lines stay until Enter is pressed. Nothing elsewhere.
void HoldOwnConsoleWindow();
// The name a stop request is told by ("SIGINT", "Ctrl+C").
std::string InterruptName(int interrupt);

// Makes a new folder named prefix + six unique characters; path receives its name.
bool CreateUniqueFolder(const std::string& prefix, std::string& path, int& error);
// True when both paths reach the same existing file.
bool SameFile(const std::string& a, const std::string& b);
// A file of one's own: nobody else may read it.
void MakeOwnerOnly(const std::string& path);
// The user's folder for temporary files, ending with the delimiter.
std::string TemporaryFolder();

// The running executable's version resource, read as Windows reads it: the size of its block
// (0 when it has none) with the handle that the size query gives, the block itself, and one
// value by its path ("\StringFileInfo\040504E2\FileVersion"; the translation's raw
// bytes for "\VarFileInfo\Translation"). Only where executables carry such a resource;
// elsewhere the version is compiled in (cli/XFiles.cpp).
#ifdef _WIN32
inline constexpr bool kExecutablesCarryVersionResources = true;
#else
inline constexpr bool kExecutablesCarryVersionResources = false;
#endif
uint32_t ExeVersionInfoSize(uint32_t& handle);
bool ReadExeVersionInfo(uint32_t handle, uint32_t size, std::string& buffer);
bool QueryExeVersionValue(const std::string& block, const std::string& path, std::string& value);

// Minutes to add to UTC to get local time now (east positive), from the system's zone.
int SystemUtcOffsetMinutes();

}  // namespace voltrane
