// The system side of rt/ on Windows (see rt/Platform.h): the wide-character API, with UTF-8
// strings on this side of every call.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <shellapi.h>  // needs windows.h first
// windows.h names ReplaceFileW so; this file defines the runtime's own ReplaceFile.
#undef ReplaceFile

#include <algorithm>
#include <atomic>
#include <bit>
#include <memory>

#include "rt/Console.h"
#include "rt/DateTime.h"
#include "rt/Exception.h"
#include "rt/FileList.h"
#include "rt/Interrupt.h"
#include "rt/Path.h"
#include "rt/Platform.h"
#include "rt/Stream.h"
#include "rt/Threads.h"

namespace voltrane {

namespace {

// The stop requests, numbered as the C runtime numbers their signals, so the exit status is
// 128 + that number as on POSIX: Ctrl+C 130, Ctrl+Break 149, closing the window 129, the
// end of the session 143.
constexpr int kCtrlC = 2, kCtrlBreak = 21, kConsoleClosed = 1, kSessionEnd = 15;

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
  std::wstring wide(size_t(std::max(n, 0)), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), n);
  return wide;
}

std::string Utf8(const wchar_t* text, size_t length) {
  if (length == 0) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, text, int(length), nullptr, 0, nullptr, nullptr);
  std::string narrow(size_t(std::max(n, 0)), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, int(length), narrow.data(), n, nullptr, nullptr);
  return narrow;
}

std::string Utf8(const std::wstring& text) {
  return Utf8(text.data(), text.size());
}

// A path for the system: backslashes only, and an absolute path of MAX_PATH or more behind
// "\\?\" (or "\\?\UNC\"), which lifts the limit of 260 characters.
std::wstring SystemPath(const std::string& path) {
  std::wstring wide = Wide(path);
  std::replace(wide.begin(), wide.end(), L'/', L'\\');
  if (wide.size() < MAX_PATH - 12 || wide.starts_with(L"\\\\?\\")) return wide;
  if (wide.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + wide.substr(2);
  if (wide.size() > 2 && wide[1] == L':' && wide[2] == L'\\') return L"\\\\?\\" + wide;
  return wide;
}

// Six characters that no other run is likely to pick, for unique names.
std::string UniqueSuffix() {
  static std::atomic<uint64_t> counter{0};
  uint64_t x = GetTickCount64() ^ (uint64_t(GetCurrentProcessId()) << 32) ^
               (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
  x ^= x >> 29;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 32;
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string suffix;
  for (int i = 0; i < 6; ++i, x /= 62) suffix += kLetters[x % 62];
  return suffix;
}

// 100-nanosecond ticks from 1601-01-01 to 1970-01-01.
constexpr int64_t kUnixEpochTicks = 116444736000000000;

TDateTime FromSystemTime(const SYSTEMTIME& t) {
  TDateTimeParts parts;
  parts.Year = t.wYear;
  parts.Month = t.wMonth;
  parts.Day = t.wDay;
  parts.Hour = t.wHour;
  parts.Minute = t.wMinute;
  parts.Second = t.wSecond;
  parts.Millisecond = t.wMilliseconds;
  return EncodeDateTime(parts);
}

// A moment in UTC as the local wall-clock time of the system's zone.
TDateTime LocalFromFileTime(FILETIME utc) {
  FILETIME local;
  SYSTEMTIME parts;
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &parts)) return 0;
  return FromSystemTime(parts);
}

FILETIME FileTimeOf(int64_t ticks) {
  FILETIME t;
  t.dwLowDateTime = DWORD(uint64_t(ticks));
  t.dwHighDateTime = DWORD(uint64_t(ticks) >> 32);
  return t;
}

int64_t TicksOf(FILETIME t) {
  return int64_t(uint64_t(t.dwHighDateTime) << 32 | t.dwLowDateTime);
}

}  // namespace

// --- Process, errors

int LastSystemError() {
  return int(GetLastError());
}

int DiskFullError() {
  return ERROR_DISK_FULL;
}

std::string SystemErrorMessage(int errorNumber) {
  wchar_t* text = nullptr;
  DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, DWORD(errorNumber), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (n == 0 || !text) return "System error " + std::to_string(unsigned(errorNumber));
  std::string message = Utf8(text, n);
  LocalFree(text);
  return message;
}

std::vector<std::string> ProgramArguments(int, char**) {
  // The C runtime's argv is in the ANSI code page, which cannot hold every file name.
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  if (!wide) return arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(Utf8(wide[i], wcslen(wide[i])));
  LocalFree(wide);
  return arguments;
}

namespace {

HANDLE gMainThread = nullptr;
// The semaphore that a TInterruptibleWait waits on, for the handler to release.
std::atomic<HANDLE> gWakeOnSignal{nullptr};

// Runs on a thread of its own that the system starts for each console event.
BOOL WINAPI NoteConsoleEvent(DWORD event) {
  int interrupt = event == CTRL_C_EVENT       ? kCtrlC
                  : event == CTRL_BREAK_EVENT ? kCtrlBreak
                  : event == CTRL_CLOSE_EVENT ? kConsoleClosed
                                              : kSessionEnd;
  int none = 0;
  gInterruptSignal.compare_exchange_strong(none, interrupt);
  if (HANDLE wake = gWakeOnSignal.load()) ReleaseSemaphore(wake, 1, nullptr);
  // A read that waits for a pipe's writer ends now and sees the flag.
  if (gMainThread) CancelSynchronousIo(gMainThread);
  // For these the system ends the process once the handler returns: the main thread's
  // clean-up ends it first (within the system's few seconds).
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
    Sleep(INFINITE);
  return TRUE;
}

}  // namespace

void InstallInterruptHandlers() {
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &gMainThread, 0,
                  FALSE, DUPLICATE_SAME_ACCESS);
  SetConsoleCtrlHandler(NoteConsoleEvent, TRUE);
}

void PrepareProcess() {
  // A drive without a medium gives an error, not a dialog box.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  InstallInterruptHandlers();
}

void HoldOwnConsoleWindow() {
  DWORD processes[2];
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode;
  // One process on the console: it was opened for this one, and closes when it ends.
  if (GetConsoleProcessList(processes, 2) != 1 || !GetConsoleMode(input, &mode)) return;
  try {
    TStdoutConsole().WriteLine("Press Enter to close this window.");
  } catch (const Exception&) {
    return;
  }
  FlushConsoleInputBuffer(input);
  wchar_t key[64];
  DWORD n = 0;
  ReadConsoleW(input, key, 64, &n, nullptr);
}

std::string InterruptName(int interrupt) {
  return interrupt == kCtrlC           ? "Ctrl+C"
         : interrupt == kCtrlBreak     ? "Ctrl+Break"
         : interrupt == kConsoleClosed ? "closing the console window"
         : interrupt == kSessionEnd    ? "the end of the session"
                                       : "a stop request";
}

// --- Files

namespace {

HANDLE AsHandle(intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

intptr_t FromHandle(HANDLE handle) {
  return reinterpret_cast<intptr_t>(handle);
}

// Pieces of at most this size: ReadFile and WriteFile count in 32 bits.
constexpr int64_t kIoPiece = 1 << 20;

}  // namespace

TFileStream::TFileStream(const std::string& path, TFileMode mode) : path_(path) {
  // Sources may be read by others meanwhile, not written; an archive that is kept open to
  // change may be shared as well; files this run creates are its own while open.
  DWORD access = mode == TFileMode::OpenRead ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
  DWORD share = mode == TFileMode::OpenRead        ? FILE_SHARE_READ
                : mode == TFileMode::OpenReadWrite ? FILE_SHARE_READ | FILE_SHARE_WRITE
                                                   : 0;
  DWORD disposition = mode == TFileMode::Create ? CREATE_ALWAYS : OPEN_EXISTING;
  CheckInterrupted();
  HANDLE file = CreateFileW(SystemPath(path).c_str(), access, share, nullptr, disposition,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    handle_ = FromHandle(file);
    return;
  }
  DWORD error = GetLastError();
  if (mode == TFileMode::Create) throw EFCreateError(path, int(error));
  throw EFOpenError(path, int(error));
}

std::unique_ptr<TFileStream> TFileStream::CreateUnique(const std::string& prefix) {
  for (int attempt = 0;; ++attempt) {
    std::string name = prefix + UniqueSuffix();
    HANDLE file = CreateFileW(SystemPath(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE)
      return std::unique_ptr<TFileStream>(new TFileStream(FromHandle(file), name));
    DWORD error = GetLastError();
    if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || attempt >= 100)
      throw EFCreateError(name, int(error));
  }
}

TFileStream::~TFileStream() {
  if (handle_ != -1) CloseHandle(AsHandle(handle_));
}

void TFileStream::Close() {
  if (handle_ == -1) return;
  HANDLE file = AsHandle(handle_);
  handle_ = -1;
  if (!CloseHandle(file)) throw EFWriteError(path_, int(GetLastError()));
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  CheckInterrupted();
  char* out = static_cast<char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    DWORD n = 0;
    if (!ReadFile(AsHandle(handle_), out + done, DWORD(std::min(count - done, kIoPiece)), &n,
                  nullptr)) {
      DWORD error = GetLastError();
      if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) break;  // the writer is gone
      if (error == ERROR_OPERATION_ABORTED) {  // cancelled by a stop request
        CheckInterrupted();
        continue;
      }
      throw EFReadError(path_, int(error));
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  CheckInterrupted();
  const char* in = static_cast<const char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    DWORD n = 0;
    if (!WriteFile(AsHandle(handle_), in + done, DWORD(std::min(count - done, kIoPiece)), &n,
                   nullptr))
      throw EFWriteError(path_, int(GetLastError()));
    if (n == 0) throw EFWriteError(path_, ERROR_DISK_FULL);
    done += n;
  }
  return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  DWORD method = origin == TSeekOrigin::Beginning ? FILE_BEGIN
                 : origin == TSeekOrigin::Current ? FILE_CURRENT
                                                  : FILE_END;
  LARGE_INTEGER distance, result;
  distance.QuadPart = offset;
  if (!SetFilePointerEx(AsHandle(handle_), distance, &result, method))
    throw EFReadError(path_, int(GetLastError()));
  return result.QuadPart;
}

void TFileStream::SetSize(int64_t size) {
  // As ftruncate does, the position stays where it was.
  int64_t position = Position();
  SetPosition(size);
  if (!SetEndOfFile(AsHandle(handle_))) {
    DWORD error = GetLastError();
    SetPosition(position);
    throw EFWriteError(path_, int(error));
  }
  SetPosition(position);
}

int64_t TFileStream::Size() {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(AsHandle(handle_), &size)) throw EFReadError(path_, int(GetLastError()));
  return size.QuadPart;
}

void TFileStream::StartWriteBack() {
  // Windows flushes only by waiting (FlushFileBuffers): Sync does it all.
}

void TFileStream::Sync() {
  // Through the handle that wrote the file: a read-only one may not flush.
  if (!FlushFileBuffers(AsHandle(handle_)) && GetLastError() != ERROR_INVALID_FUNCTION)
    throw EFWriteError(path_, int(GetLastError()));
}

// --- Paths

std::string ExpandFileName(const std::string& path) {
  // GetFullPathNameW knows drive letters, UNC paths and both separators, and resolves "."
  // and ".." as the system will; wildcards stay.
  std::wstring wide = Wide(path);
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetFullPathNameW(wide.c_str(), DWORD(full.size()), full.data(), nullptr);
    if (n == 0) return path;
    if (n < full.size()) {
      full.resize(n);
      break;
    }
    full.resize(n);
  }
  std::string result = Utf8(full);
  // A trailing separator (or a final "." or "..") still names a folder.
  std::string name = ExtractFileName(path);
  bool folder = !path.empty() && (IsPathDelimiter(path.back()) || name == "." || name == "..");
  return folder ? IncludeTrailingPathDelimiter(result) : result;
}

std::string AbsolutePath(const std::string& path) {
  return ExpandFileName(path);
}

// The system resolves every path as text; links are not followed by name.
std::string ResolveFolderPart(const std::string& path) {
  return ExpandFileName(path);
}

std::string FollowLinks(const std::string& path) {
  return ExpandFileName(path);
}

bool DirectoryExists(const std::string& path) {
  DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool RemoveEmptyFolder(const std::string& path) {
  return RemoveDirectoryW(SystemPath(path).c_str()) != 0;
}

bool ForceDirectories(const std::string& path) {
  std::string folder = ExcludeTrailingPathDelimiter(path);
  if (folder.empty() || DirectoryExists(folder)) return !folder.empty();
  std::string parent = ExcludeTrailingPathDelimiter(ExtractFilePath(folder));
  if (!parent.empty() && parent != folder && !ForceDirectories(parent)) return false;
  if (CreateDirectoryW(SystemPath(folder).c_str(), nullptr)) return true;
  DWORD error = GetLastError();
  if (error == ERROR_ALREADY_EXISTS && DirectoryExists(folder)) return true;
  SetLastError(error);  // the reason for the caller, not that of the test above
  return false;
}

void RemoveFile(const std::string& path) {
  std::wstring wide = SystemPath(path);
  // A read-only file is not deleted: its attribute goes first.
  DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
    SetFileAttributesW(wide.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
  DeleteFileW(wide.c_str());
}

void ReplaceFile(const std::string& from, const std::string& to) {
  std::wstring source = SystemPath(from), target = SystemPath(to);
  // A virus scanner or an indexer holds a new file for a moment: the move is tried again
  // for about two seconds while the file is in use.
  for (int attempt = 0;; ++attempt) {
    if (MoveFileExW(source.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return;
    DWORD error = GetLastError();
    bool inUse = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
                 error == ERROR_ACCESS_DENIED;
    if (!inUse || attempt >= 40) throw EFCreateError(to, int(error));
    Sleep(50);
  }
}

// The new file takes the folder's permissions, as every new file there does.
void CopyOwnerAndMode(const std::string&, const std::string&) {}

bool CreateUniqueFolder(const std::string& prefix, std::string& path, int& error) {
  for (int attempt = 0;; ++attempt) {
    path = prefix + UniqueSuffix();
    if (CreateDirectoryW(SystemPath(path).c_str(), nullptr)) return true;
    error = int(GetLastError());
    if (error != ERROR_ALREADY_EXISTS || attempt >= 100) return false;
  }
}

namespace {

bool FileIdentity(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
  HANDLE file = CreateFileW(SystemPath(path).c_str(), 0,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool known = GetFileInformationByHandle(file, &info) != 0;
  CloseHandle(file);
  return known;
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
  // The volume serial number and the file index name a file whatever the path.
  BY_HANDLE_FILE_INFORMATION first, second;
  return FileIdentity(a, first) && FileIdentity(b, second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
}

// The user's temporary folder is the user's alone already.
void MakeOwnerOnly(const std::string&) {}

std::string TemporaryFolder() {
  wchar_t folder[MAX_PATH + 2];
  DWORD n = GetTempPathW(MAX_PATH + 2, folder);
  if (n == 0 || n > MAX_PATH + 1) return IncludeTrailingPathDelimiter(ExpandFileName("."));
  return IncludeTrailingPathDelimiter(Utf8(folder, n));
}

// --- Listing

namespace {

// The ZIP attributes from the system's: read-only, hidden, system, folder, archive.
constexpr DWORD kZipAttributeBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                    FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY |
                                    FILE_ATTRIBUTE_ARCHIVE;

void Describe(const std::string& name, DWORD attributes, FILETIME written, bool isLink,
              TFileEntry& entry) {
  entry.Name = name;
  entry.IsFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  entry.IsLink = isLink;
  entry.Attributes = uint16_t(attributes & kZipAttributeBits);
  int64_t ticks = TicksOf(written) - kUnixEpochTicks;
  int64_t seconds = ticks >= 0 ? ticks / 10000000 : -((-ticks + 9999999) / 10000000);
  entry.ModifiedSeconds = seconds;
  entry.ModifiedNanoseconds = (ticks - seconds * 10000000) * 100;
}

struct TFindCloser {
  void operator()(HANDLE find) const { FindClose(find); }
};

}  // namespace

std::vector<TFileEntry> ListFolder(const std::string& folder, const std::string& mask,
                                   int* errorNumber) {
  std::vector<TFileEntry> entries;
  if (errorNumber) *errorNumber = 0;
  // Every entry, matched here: the system's own matching knows the short 8.3 names too
  // ("*.gpx" would match "x.gpxold") and letters of one code page only.
  WIN32_FIND_DATAW data;
  HANDLE first = FindFirstFileExW(
      SystemPath(IncludeTrailingPathDelimiter(folder.empty() ? "." : folder) + "*").c_str(),
      FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (first == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && errorNumber) *errorNumber = int(error);
    return entries;
  }
  std::unique_ptr<void, TFindCloser> find(first);
  do {
    std::string name = Utf8(data.cFileName, wcslen(data.cFileName));
    if (name == "." || name == ".." || !MatchesMask(name, mask)) continue;
    bool isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                  (data.dwReserved0 == IO_REPARSE_TAG_SYMLINK ||
                   data.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT);
    TFileEntry entry;
    Describe(name, data.dwFileAttributes, data.ftLastWriteTime, isLink, entry);
    entries.push_back(std::move(entry));
  } while (FindNextFileW(first, &data));
  SortByName(entries);
  return entries;
}

bool FindEntry(const std::string& path, TFileEntry& entry) {
  std::string clean = ExcludeTrailingPathDelimiter(path);
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(SystemPath(clean).c_str(), GetFileExInfoStandard, &data)) return false;
  // Opening follows a link, as the listing's entry for it describes its target.
  Describe(ExtractFileName(clean), data.dwFileAttributes, data.ftLastWriteTime, false, entry);
  return true;
}

// --- Console

namespace {

void WriteAll(DWORD which, const std::string& line) {
  HANDLE out = GetStdHandle(which);
  if (out == nullptr || out == INVALID_HANDLE_VALUE)
    throw EInOutError("Cannot write to standard output. " + SysErrorText(ERROR_INVALID_HANDLE));
  DWORD mode;
  if (GetConsoleMode(out, &mode)) {
    // A console shows UTF-16 whatever its code page.
    std::wstring wide = Wide(line);
    for (size_t done = 0; done < wide.size();) {
      DWORD n = 0;
      if (!WriteConsoleW(out, wide.data() + done, DWORD(wide.size() - done), &n, nullptr) || n == 0)
        throw EInOutError("Cannot write to standard output. " + SysErrorText(int(GetLastError())));
      done += n;
    }
    return;
  }
  for (size_t done = 0; done < line.size();) {
    DWORD n = 0;
    if (!WriteFile(out, line.data() + done, DWORD(line.size() - done), &n, nullptr) || n == 0)
      throw EInOutError("Cannot write to standard output. " + SysErrorText(int(GetLastError())));
    done += n;
  }
}

}  // namespace

void TStdoutConsole::WriteLine(const std::string& text) {
  WriteAll(STD_OUTPUT_HANDLE, text + "\n");
}

void TStdoutConsole::WriteErrorLine(const std::string& text) {
  WriteAll(STD_ERROR_HANDLE, text + "\n");
}

// --- Clock and time zone

TDateTime UnixToLocalDateTime(int64_t seconds, int64_t nanoseconds) {
  return LocalFromFileTime(FileTimeOf(seconds * 10000000 + nanoseconds / 100 + kUnixEpochTicks));
}

TDateTime Now() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return LocalFromFileTime(now);
}

int SystemUtcOffsetMinutes() {
  // The system's zone, never the C runtime's TZ, so that it agrees with Now().
  TIME_ZONE_INFORMATION zone;
  DWORD which = GetTimeZoneInformation(&zone);
  if (which == TIME_ZONE_ID_INVALID) return 0;
  LONG bias = zone.Bias + (which == TIME_ZONE_ID_DAYLIGHT   ? zone.DaylightBias
                           : which == TIME_ZONE_ID_STANDARD ? zone.StandardBias
                                                            : 0);
  return -int(bias);
}

// --- Version resource

namespace {

// The executable's own path; long enough for any path, not only 255 characters.
std::wstring ExePath() {
  std::wstring path(32768, L'\0');
  DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
  path.resize(n < path.size() ? n : 0);
  return path;
}

}  // namespace

uint32_t ExeVersionInfoSize(uint32_t& handle) {
  DWORD zero = 0;
  DWORD size = GetFileVersionInfoSizeW(ExePath().c_str(), &zero);
  handle = zero;
  return size;
}

bool ReadExeVersionInfo(uint32_t handle, uint32_t size, std::string& buffer) {
  buffer.assign(size, '\0');
  return GetFileVersionInfoW(ExePath().c_str(), handle, size, buffer.data()) != 0;
}

bool QueryExeVersionValue(const std::string& block, const std::string& path, std::string& value) {
  void* found = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), Wide(path).c_str(), &found, &length) || !found) return false;
  if (path.starts_with("\\VarFileInfo\\")) {  // binary: language and code page, 16 bits each
    value.assign(static_cast<const char*>(found), length);
  } else {  // text: UTF-16 characters, the terminating zero counted
    const wchar_t* text = static_cast<const wchar_t*>(found);
    value = Utf8(text, wcsnlen(text, length));
  }
  return true;
}

// --- Interruption

struct TInterruptibleWait::TState {
  HANDLE Semaphore = nullptr;
};

TInterruptibleWait::TInterruptibleWait() : state_(std::make_unique<TState>()) {
  state_->Semaphore = CreateSemaphoreW(nullptr, 0, LONG_MAX, nullptr);
  if (!state_->Semaphore)
    throw Exception("Cannot make a semaphore. " + SysErrorText(int(GetLastError())));
  HANDLE none = nullptr;
  gWakeOnSignal.compare_exchange_strong(none, state_->Semaphore);
}

TInterruptibleWait::~TInterruptibleWait() {
  HANDLE mine = state_->Semaphore;
  gWakeOnSignal.compare_exchange_strong(mine, nullptr);
  CloseHandle(state_->Semaphore);
}

void TInterruptibleWait::Notify() {
  ReleaseSemaphore(state_->Semaphore, 1, nullptr);
}

void TInterruptibleWait::Wait() {
  CheckInterrupted();
  WaitForSingleObject(state_->Semaphore, INFINITE);
  CheckInterrupted();
}

// --- Threads

int UsableCpuCount() {
  DWORD_PTR process = 0, system = 0;
  if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system) || process == 0) return 1;
  return std::max(1, std::popcount(uint64_t(process)));
}

// Console events arrive on a thread of their own: workers need nothing blocked.
std::thread StartWorkerThread(std::function<void()> work) {
  return std::thread(std::move(work));
}

}  // namespace voltrane
