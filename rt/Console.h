// Where progress lines go: standard output in the program, a string in tests.
#pragma once

#include <string>

namespace voltrane {

class TConsole {
 public:
  virtual ~TConsole() = default;
  // Writes the text and a line break ("\n").
  virtual void WriteLine(const std::string& text) = 0;
};

// Standard output, flushed per line so progress shows at once; a failed write raises
// EInOutError.
class TStdoutConsole : public TConsole {
 public:
  void WriteLine(const std::string& text) override;
};

// Collects the lines, for tests and for callers that want the transcript.
class TStringConsole : public TConsole {
 public:
  void WriteLine(const std::string& text) override { Text += text + "\n"; }
  std::string Text;
};

}  // namespace voltrane
