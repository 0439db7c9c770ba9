// Collects the text form of nodes: into a string (TXmlSaver) or through a 4,096-byte
// buffer into a stream, converted into a code page on the way (TXmlStmSaver).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace voltrane {

class TStream;

class TXmlSaver {
 public:
  TXmlSaver() = default;
  virtual ~TXmlSaver() = default;
  TXmlSaver(const TXmlSaver&) = delete;
  TXmlSaver& operator=(const TXmlSaver&) = delete;

  // Writes text, preceded by the pending text when there is one and text is not empty.
  void Write(std::string_view text);
  // Text to write before the next non-empty text: an element's ">" that becomes "/>"
  // when no content follows.
  void SetPending(std::string_view text) { pending_ = text; }
  // Drops the pending text; true when it was still there (nothing written since).
  bool TakePending();
  size_t PendingSize() const { return pending_.size(); }

  // Bytes written so far, and what an element's end tag needs to know about its content.
  int64_t Written() const { return written_; }
  bool HoldsLineBreakSince(int64_t position) const { return lastBreak_ >= position; }
  bool EndsWithCrLfSince(int64_t position) const {
    return written_ - position >= 2 && last2_[0] == '\r' && last2_[1] == '\n';
  }

  // Everything collected (the string saver).
  const std::string& Text() const { return text_; }
  // Writes out what is buffered (the stream saver).
  virtual void Finish() {}

 protected:
  virtual void Put(std::string_view text) { text_.append(text); }

 private:
  std::string text_;
  std::string pending_;
  int64_t written_ = 0;
  int64_t lastBreak_ = -1;  // position of the last CR or LF
  char last2_[2] = {0, 0};
};

class TXmlStmSaver : public TXmlSaver {
 public:
  static constexpr size_t kBufferSize = 4096;

  TXmlStmSaver(TStream& stream, uint16_t codePage);
  void Finish() override;

 protected:
  void Put(std::string_view text) override;

 private:
  void Flush();

  TStream& stream_;
  uint16_t codePage_;
  std::string buffer_;
  std::string converted_;
};

}  // namespace voltrane
