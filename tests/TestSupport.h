#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "rt/Exception.h"

namespace voltrane::test {

// Removes a tree without following links (test cleanup only).
void RemoveTree(const std::string& path);

// A fresh folder under $TMPDIR or /tmp (the user's temporary folder on Windows), removed with
// everything in it at the end of scope.
class TTempFolder {
 public:
  TTempFolder();
  ~TTempFolder() { RemoveTree(path_); }
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;

  // The folder, ending with "/".
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool PathExists(const std::string& path);
std::vector<std::string> ListNames(const std::string& folder);  // sorted

// "Kind: message" of the error the action raises, or "(no error)".
inline std::string KindAndMessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.KindName() + ": " + e.Message();
  }
  return "(no error)";
}

// Undoes a change of a process-wide setting at the end of scope, so that a test that returns
// early on a failed assertion leaves the next test the process it found.
class TScoped {
 public:
  explicit TScoped(std::function<void()> undo) : undo_(std::move(undo)) {}
  ~TScoped() { undo_(); }
  TScoped(const TScoped&) = delete;
  TScoped& operator=(const TScoped&) = delete;

 private:
  std::function<void()> undo_;
};

// Sets (value nullptr: removes) an environment variable for the scope; the time zone is read
// again after each change, so that TZ takes effect.
[[nodiscard]] std::unique_ptr<TScoped> ScopedEnvironment(const char* name, const char* value);

struct TProcessResult {
  int ExitCode = -1;            // exit status, or -1 when killed
  std::string Output;           // standard output and standard error together
  int64_t PeakResidentKiB = 0;  // the child's peak resident size
};

// Every field has an initializer, so that a designated initializer may name only some.
struct TProcessOptions {
  std::string WorkingFolder{};  // empty: the test's own
  int64_t FileSizeLimit = -1;   // RLIMIT_FSIZE in bytes, -1 for none
  int SignalToSend = 0;         // sent once the output holds SignalWhenOutput
  std::string SignalWhenOutput{};
  std::vector<std::string> Environment{};  // "NAME=value" set for the child on top of ours
};

TProcessResult RunProcess(const std::vector<std::string>& argv,
                          const TProcessOptions& options = {});

inline std::string VoltraneExe() {  // built with the tests
  return VOLTRANE_EXE;
}

}  // namespace voltrane::test
