// The reader under the parser: one current byte with its line and column, decoding of the
// declared code page, tokens, and the small reads the grammar is made of.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "xml/XmlBlanks.h"

namespace voltrane {

class TStream;
class TXmlNode;
class TXmlNameTable;

using TXmlTokenText = std::string;

// A growable byte buffer that the reader keeps and reuses.
struct TXmlToken {
  TXmlToken() { Text.reserve(32); }
  TXmlTokenText Text;
};

using TXmlTokenStack = std::vector<std::unique_ptr<TXmlToken>>;

// The texts that its reads give (names, values, runs) are views into the reader's buffer or
// tokens: use them before reading on.
class TXmlSource {
 public:
  static constexpr size_t kBlockSize = 16384;

  // The stream is read from its current position; it is freed with the reader when owned.
  TXmlSource(TStream& stream, bool ownsStream = false);
  // Reads text in place, without a copy: it must stay unchanged while the reader lives.
  explicit TXmlSource(std::string_view text);
  ~TXmlSource();
  TXmlSource(const TXmlSource&) = delete;
  TXmlSource& operator=(const TXmlSource&) = delete;

  char CurChar = 0;
  int64_t Line = 1;
  int64_t Column = 0;

  // Moves to the next byte; false at end of input, where CurChar becomes 0.
  bool NextChar() {
    if (count_ > 0) {
      CurChar = buffer_[pos_++];
      --count_;
      ++Column;
      if (CurChar == '\n') {
        ++Line;
        Column = 0;
      }
      return true;
    }
    return NextCharSlow();
  }
  bool IsEof() const { return count_ < 0; }

  // From the next byte not yet taken in, input is decoded from codePage (0: bytes as they
  // are). Bytes already taken in stay as they were.
  void SetCodePage(uint16_t codePage);
  uint16_t CodePage() const { return codePage_; }

  void PushToken();
  void AppendChar(char c) { stack_[size_t(top_)]->Text += c; }
  void AppendText(std::string_view text) { stack_[size_t(top_)]->Text.append(text); }
  // The top token's bytes, valid until the next PushToken; pops it.
  std::string_view PopToken();

  // Raises Exception(message + " at [line:column]").
  [[noreturn]] void Fail(const std::string& message) const;

  std::string_view ReadName();
  void SkipBlanks() {
    while (count_ >= 0 && IsXmlBlank(CurChar)) NextChar();
  }
  void ExpectChar(char c) {
    if (IsEof() || CurChar != c) FailExpectedChar(c);
    NextChar();
  }
  void ExpectText(std::string_view text);
  // ExpectText for a name, which holds no line feed.
  void ExpectName(std::string_view name) {
    int64_t rest = int64_t(name.size()) - 1;
    if (rest > 0 && CurChar == name[0] && count_ >= rest &&
        std::memcmp(buffer_ + pos_, name.data() + 1, size_t(rest)) == 0) {
      pos_ += rest;
      count_ -= rest;
      Column += rest;
      NextChar();
      return;
    }
    ExpectText(name);
  }
  // The bytes up to terminator, which is read past.
  std::string_view ReadTo(std::string_view terminator);
  // A quoted attribute value with its entities decoded; the closing quote is read past.
  std::string_view ReadQuoted(char quote);
  // The bytes an entity reference stands for (CurChar is "&"); read past its ";".
  std::string_view ReadEntity();
  // Reads attributes onto node as string values; a repeated name overwrites in place.
  void ReadAttributes(TXmlNode& node, TXmlNameTable& names);
  // Reads past attributes as ReadAttributes does, keeping nothing.
  void SkipAttributes(TXmlNameTable& names);
  // The bytes of a text run up to "<" or the end, entities decoded, leading blanks left out
  // when asked (trailing ones are the caller's). Without keep the run is read and its
  // entities checked as strictly, but nothing is decoded and the result is empty.
  std::string_view ReadTextRun(bool skipLeadingBlanks, bool keep = true);

 private:
  bool NextCharSlow();
  // ReadAttributes, or SkipAttributes without a node.
  void ReadAttributeList(TXmlNode* node, TXmlNameTable& names);
  [[noreturn]] void FailExpectedChar(char c) const;
  void Refill();

  // Moves past the bytes that follow CurChar in the buffer while ok holds for them, keeping
  // Line and Column as NextChar would, and gives them; the caller then calls NextChar for
  // the byte after them. Saves a call per byte on long runs.
  template <class Ok>
  std::string_view SkipAhead(Ok ok) {
    int64_t n = 0, feeds = 0, lastFeed = 0;
    for (char c; n < count_ && ok(c = buffer_[pos_ + n]); ++n) {
      if (c == '\n') {
        ++feeds;
        lastFeed = n;
      }
    }
    std::string_view run(buffer_ + pos_, size_t(n));
    Advance(n, feeds, lastFeed);
    return run;
  }
  // Moves past the next n bytes of the buffer, as many calls of NextChar would.
  std::string_view Skip(int64_t n);
  // The same for a caller that has counted the line feeds among them, the last one lying
  // lastFeed bytes ahead (unused without feeds).
  void Advance(int64_t n, int64_t feeds, int64_t lastFeed) {
    pos_ += n;
    count_ -= n;
    Line += feeds;
    Column = feeds ? n - lastFeed - 1 : Column + n;
  }
  // Makes the byte at p, which lies ahead in the buffer, the current one.
  void MoveTo(const char* p) {
    Skip(p - (buffer_ + pos_));
    NextChar();
  }
  // A text run that lies in the buffer up to its "<", with its entities decoded into the top
  // token; stops at an entity that the general reader must handle (it may be an error) and
  // gives false there, with that "&" as CurChar.
  // feeds and lastFeed are the line feeds of the run after CurChar.
  bool DecodeRunInBuffer(const char* end, int64_t feeds, const char* lastFeed, bool keep);
  // Makes the "<" at lt, which ends a run in the buffer, the current byte.
  void MoveToRunEnd(const char* lt, int64_t feeds, const char* lastFeed);
  template <class Ok>
  void TakeAhead(Ok ok) {
    AppendText(SkipAhead(ok));
  }

  // Takes input in until want bytes are waiting or the input ends, as a stream read of the
  // missing bytes would; a read that gives nothing marks the end.
  void TakeIn(size_t want);
  void Deliver(const char* bytes, size_t count) {
    buffer_ = bytes;
    pos_ = 0;
    count_ = int64_t(count);
  }

  TStream* stream_;  // none when reading text in place
  std::unique_ptr<TStream> ownedStream_;
  uint16_t codePage_ = 0;

  // What NextChar delivers: raw input while no code page is set, decoded text after.
  const char* buffer_ = nullptr;
  int64_t pos_ = 0;
  int64_t count_ = 0;  // bytes left in buffer_; -1 at end of input

  // Input taken in but not yet delivered or decoded. Input is taken in blocks of kBlockSize
  // bytes and each block is decoded on its own (a surrogate pair written as two three-byte
  // forms joins only within a block), so the blocks fall where they would when reading a
  // stream, also when the text is read in place.
  const char* in_ = nullptr;
  size_t inLen_ = 0;
  bool ended_ = false;
  // The canonical UTF-8 start of a block is handed out as it is; the rest of that block,
  // from in_, is still to be decoded as part of the same block.
  bool tailPending_ = false;
  const char* viewNext_ = nullptr;  // text read in place: what is not yet taken in
  const char* viewEnd_ = nullptr;
  char* raw_ = nullptr;      // a stream's blocks: kBlockSize bytes
  char* decoded_ = nullptr;  // kBlockSize * kMaxDecodeGrowth bytes

  // Taken from the thread's spare stack and given back, so the next reader on the thread
  // finds its tokens grown already.
  TXmlTokenStack stack_;
  int top_ = -1;
  char entity_[4] = {0, 0, 0, 0};
};

}  // namespace voltrane
