#include "TestSupport.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace voltrane::test {

std::unique_ptr<TScoped> ScopedEnvironment(const char* name, const char* value) {
  const char* old = getenv(name);
  auto set = [name = std::string(name)](const char* text, bool present) {
    present ? setenv(name.c_str(), text, 1) : unsetenv(name.c_str());
    tzset();
  };
  auto undo =
      std::make_unique<TScoped>([set, saved = std::string(old ? old : ""),
                                 present = old != nullptr] { set(saved.c_str(), present); });
  set(value, value != nullptr);
  return undo;
}

TTempFolder::TTempFolder() {
  const char* base = getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/voltrane-test-XXXXXX";
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern + "/";
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool PathExists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

std::vector<std::string> ListNames(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;  // a missing folder lists nothing
  for (const auto& entry : std::filesystem::directory_iterator(folder, error))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

void RemoveTree(const std::string& path) {
  struct stat info;
  std::string clean =
      path.size() > 1 && path.back() == '/' ? path.substr(0, path.size() - 1) : path;
  if (lstat(clean.c_str(), &info) != 0) return;
  if (S_ISDIR(info.st_mode)) {
    chmod(clean.c_str(), 0700);
    for (const std::string& name : ListNames(clean)) RemoveTree(clean + "/" + name);
    rmdir(clean.c_str());
  } else {
    unlink(clean.c_str());
  }
}

TProcessResult RunProcess(const std::vector<std::string>& argv, const TProcessOptions& options) {
  // Made before the fork: the child only calls what is safe there.
  std::vector<std::string> environment = options.Environment;
  for (char** entry = environ; *entry; ++entry) {
    std::string name(*entry, std::strcspn(*entry, "=") + 1);  // with its "="
    auto overrides = [&](const std::string& set) { return set.starts_with(name); };
    if (std::ranges::none_of(options.Environment, overrides)) environment.push_back(*entry);
  }
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  int pipeFds[2];
  if (pipe(pipeFds) != 0) throw std::runtime_error("pipe failed");
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(pipeFds[1], 1);
    dup2(pipeFds[1], 2);
    close(pipeFds[0]);
    close(pipeFds[1]);
    if (!options.WorkingFolder.empty() && chdir(options.WorkingFolder.c_str()) != 0) _exit(126);
    if (options.FileSizeLimit >= 0) {
      rlimit limit{rlim_t(options.FileSizeLimit), rlim_t(options.FileSizeLimit)};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execve(args[0], args.data(), envp.data());
    _exit(127);
  }
  close(pipeFds[1]);
  TProcessResult result;
  bool signalled = options.SignalToSend == 0;
  char buffer[4096];
  for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
    result.Output.append(buffer, size_t(n));
    if (!signalled && result.Output.find(options.SignalWhenOutput) != std::string::npos) {
      kill(pid, options.SignalToSend);
      signalled = true;
    }
  }
  close(pipeFds[0]);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  result.PeakResidentKiB = usage.ru_maxrss;
  if (WIFEXITED(status)) result.ExitCode = WEXITSTATUS(status);
  return result;
}

}  // namespace voltrane::test
