#include "bench/ToolSupport.h"

#include <cstdio>
#include <exception>

namespace voltrane {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

int64_t ParseMegabytes(const std::string& text, const std::string& what) {
  // Whole megabytes and up to six decimals: exact in bytes, no floating point involved.
  int64_t whole = 0, fraction = 0, scale = 1000000;
  size_t i = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    whole = whole * 10 + (text[i] - '0');
    if (whole > 1000000000) throw EBenchUsageError(what + " is too large: " + text);
  }
  bool digits = i > 0;
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size() && IsDigit(text[i]) && scale > 1; ++i, digits = true) {
      scale /= 10;
      fraction += (text[i] - '0') * scale;
    }
  }
  if (!digits || i != text.size())
    throw EBenchUsageError(what + " is not a number of megabytes: \"" + text + "\"");
  return whole * 1000000 + fraction;
}

uint64_t ParseCount(const std::string& text, const std::string& what, uint64_t minimum) {
  uint64_t value = 0;
  bool valid = !text.empty() && text.size() <= 19;
  for (char c : text) {
    if (!IsDigit(c))
      valid = false;
    else
      value = value * 10 + uint64_t(c - '0');
  }
  if (!valid) throw EBenchUsageError(what + " is not a whole number: \"" + text + "\"");
  if (value < minimum)
    throw EBenchUsageError(what + " must be at least " + std::to_string(minimum) + ": " + text);
  return value;
}

int RunTool(const std::string& program, const std::string& usage,
            const std::function<void()>& body) {
  try {
    body();
    return 0;
  } catch (const EBenchUsageError& e) {
    fprintf(stderr, "%s: %s\nUsage: %s\n", program.c_str(), e.Message().c_str(), usage.c_str());
    return 2;
  } catch (const Exception& e) {
    fprintf(stderr, "%s: %s: %s\n", program.c_str(), e.KindName().c_str(), e.Message().c_str());
  } catch (const std::exception& e) {
    fprintf(stderr, "%s: %s\n", program.c_str(), e.what());
  }
  return 1;
}

}  // namespace voltrane
