// Where progress lines go: standard output in the program, a string in tests.
#pragma once

#include <string>

namespace voltrane {

class TConsole {
 public:
  virtual ~TConsole() = default;
  // Writes the text and a line break ("\n").
  virtual void WriteLine(const std::string& text) = 0;
  // A line about a failure that must not pass for the run's own output.
  virtual void WriteErrorLine(const std::string& text) { WriteLine(text); }
};

// Standard output, flushed per line so progress shows at once; a failed write raises
// EInOutError, and a signal raises EInterrupted. Error lines go to standard error.
class TStdoutConsole : public TConsole {
 public:
  void WriteLine(const std::string& text) override;
  void WriteErrorLine(const std::string& text) override;
};

// Collects the lines, for tests and for callers that want the transcript.
class TStringConsole : public TConsole {
 public:
  void WriteLine(const std::string& text) override { Text += text + "\n"; }
  void WriteErrorLine(const std::string& text) override { Errors += text + "\n"; }
  std::string Text;
  std::string Errors;
};

}  // namespace voltrane
