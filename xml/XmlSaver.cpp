#include "xml/XmlSaver.h"

#include "rt/Stream.h"
#include "xml/XmlEncoding.h"

namespace voltrane {

void TXmlSaver::Write(std::string_view text) {
  if (text.empty()) return;
  if (!pending_.empty()) {
    std::string pending;
    pending.swap(pending_);
    Write(pending);
  }
  for (size_t i = text.size(); i-- > 0;) {
    if (text[i] == '\n' || text[i] == '\r') {
      lastBreak_ = written_ + int64_t(i);
      break;
    }
  }
  if (text.size() >= 2) {
    last2_[0] = text[text.size() - 2];
  } else {
    last2_[0] = last2_[1];
  }
  last2_[1] = text.back();
  written_ += int64_t(text.size());
  Put(text);
}

bool TXmlSaver::TakePending() {
  bool had = !pending_.empty();
  pending_.clear();
  return had;
}

TXmlStmSaver::TXmlStmSaver(TStream& stream, uint16_t codePage)
    : stream_(stream), codePage_(codePage) {
  buffer_.reserve(kBufferSize);
}

void TXmlStmSaver::Put(std::string_view text) {
  // Whole pieces are converted, so a character is never cut between two conversions.
  converted_.clear();
  ConvertFromLibraryCodePage(codePage_, text, converted_);
  std::string_view rest = converted_;
  while (!rest.empty()) {
    size_t room = kBufferSize - buffer_.size();
    if (room == 0) {
      Flush();
      continue;
    }
    size_t n = std::min(room, rest.size());
    buffer_.append(rest.substr(0, n));
    rest.remove_prefix(n);
  }
}

void TXmlStmSaver::Flush() {
  stream_.WriteBuffer(buffer_.data(), int64_t(buffer_.size()));
  buffer_.clear();
}

void TXmlStmSaver::Finish() {
  Flush();
}

}  // namespace voltrane
