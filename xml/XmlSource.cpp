#include "xml/XmlSource.h"

#include <cstring>

#include "rt/Exception.h"
#include "rt/Stream.h"
#include "xml/XmlEncoding.h"
#include "xml/XmlNode.h"

namespace voltrane {

namespace {

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) < 33;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string Quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

}  // namespace

TXmlSource::TXmlSource(TStream& stream, bool ownsStream)
    : stream_(stream), raw_(new char[kBlockSize]) {
  if (ownsStream) ownedStream_.reset(&stream);
  NextChar();
}

TXmlSource::~TXmlSource() = default;

bool TXmlSource::NextCharSlow() {
  if (count_ == 0) Refill();
  if (count_ > 0) return NextChar();
  CurChar = 0;
  return false;
}

void TXmlSource::Refill() {
  if (codePage_ == 0) {
    // Raw bytes are taken in a block at a time but handed out one by one, so the bytes
    // after an encoding declaration are still decoded with the code page it names.
    if (rawLen_ == 0 && !streamEnded_) {
      int64_t n = stream_.Read(raw_.get(), int64_t(kBlockSize));
      rawPos_ = 0;
      rawLen_ = size_t(n);
      streamEnded_ = n == 0;
    }
    if (rawLen_ == 0) {
      count_ = -1;
      return;
    }
    buffer_ = raw_.get() + rawPos_;
    pos_ = 0;
    count_ = int64_t(rawLen_);
    rawPos_ += rawLen_;
    rawLen_ = 0;
    return;
  }
  while (true) {
    if (rawPos_ > 0) {
      std::memmove(raw_.get(), raw_.get() + rawPos_, rawLen_);
      rawPos_ = 0;
    }
    if (!streamEnded_ && rawLen_ < kBlockSize) {
      int64_t n = stream_.Read(raw_.get() + rawLen_, int64_t(kBlockSize - rawLen_));
      streamEnded_ = n == 0;
      rawLen_ += size_t(n);
    }
    if (rawLen_ == 0) {
      count_ = -1;
      return;
    }
    size_t left = rawLen_;
    // Each source byte gives at most kMaxDecodeGrowth bytes, so a whole block always fits
    // and none of it is lost, however many of its characters lie above 127.
    size_t produced =
        ConvertToLibraryCodePage(codePage_, reinterpret_cast<const unsigned char*>(raw_.get()),
                                 left, streamEnded_, decoded_.get());
    rawPos_ = rawLen_ - left;
    rawLen_ = left;
    if (produced > 0) {
      buffer_ = decoded_.get();
      pos_ = 0;
      count_ = int64_t(produced);
      return;
    }
  }
}

void TXmlSource::SetCodePage(uint16_t codePage) {
  if (codePage == codePage_) return;
  if (codePage_ == 0 && count_ > 0) {
    // Bytes taken in but not yet handed out go through the decoder instead.
    rawPos_ = size_t(buffer_ - raw_.get()) + size_t(pos_);
    rawLen_ = size_t(count_);
    count_ = 0;
  }
  codePage_ = codePage;
  if (codePage_ != 0 && !decoded_) decoded_.reset(new char[kBlockSize * kMaxDecodeGrowth]);
}

void TXmlSource::PushToken() {
  ++top_;
  if (size_t(top_) == stack_.size())
    stack_.push_back(std::make_unique<TXmlToken>());
  else
    stack_[size_t(top_)]->Text.clear();
}

std::string_view TXmlSource::PopToken() {
  return stack_[size_t(top_--)]->Text;
}

void TXmlSource::Fail(const std::string& message) const {
  throw Exception(message + " at [" + std::to_string(Line) + ":" + std::to_string(Column) + "]");
}

std::string_view TXmlSource::ReadName() {
  if (!IsXmlNameStart(static_cast<unsigned char>(CurChar)))
    Fail("Name must start with letter or \"_\"");
  PushToken();
  do {
    AppendChar(CurChar);
  } while (NextChar() && IsXmlNameChar(static_cast<unsigned char>(CurChar)));
  return PopToken();
}

void TXmlSource::SkipBlanks() {
  while (!IsEof() && IsBlank(CurChar)) NextChar();
}

void TXmlSource::ExpectChar(char c) {
  if (IsEof() || CurChar != c) Fail("Character " + Quoted(std::string(1, c)) + " expected");
  NextChar();
}

void TXmlSource::ExpectText(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsEof() || CurChar != text[i]) Fail("Text " + Quoted(text.substr(i)) + " expected");
    NextChar();
  }
}

std::string_view TXmlSource::ReadTo(std::string_view terminator) {
  // Every byte goes into the token and the token's end is compared with the terminator,
  // which finds it after any partial match ("--->" ends a comment holding "-").
  PushToken();
  std::string& text = stack_[size_t(top_)]->Text;
  while (true) {
    if (IsEof()) Fail(Quoted(terminator) + " expected");
    text += CurChar;
    NextChar();
    if (text.size() >= terminator.size() &&
        std::string_view(text).substr(text.size() - terminator.size()) == terminator)
      break;
  }
  std::string_view all = PopToken();
  return all.substr(0, all.size() - terminator.size());
}

std::string_view TXmlSource::ReadQuoted(char quote) {
  NextChar();
  PushToken();
  while (true) {
    if (IsEof()) Fail(Quoted(std::string(1, quote)) + " expected");
    if (CurChar == quote) break;
    if (CurChar == '&') {
      AppendText(ReadEntity());
    } else {
      if (CurChar == '<') Fail("Character \"<\" cannot be used in the values of attributes");
      AppendChar(CurChar);
      NextChar();
    }
  }
  NextChar();
  return PopToken();
}

std::string_view TXmlSource::ReadEntity() {
  if (!NextChar()) Fail("\"#\" or XML entity symbol name expected");
  if (CurChar == '#') {
    if (!NextChar()) Fail("Number expected");
    uint32_t number = 0;
    bool any = false;
    if (CurChar == 'x') {
      NextChar();
      for (int d; !IsEof() && (d = HexDigit(CurChar)) >= 0; NextChar()) {
        number = std::min<uint32_t>(number * 16 + uint32_t(d), 0x110000);
        any = true;
      }
      if (!any) Fail("Hexadecimal number expected");
    } else {
      for (; !IsEof() && CurChar >= '0' && CurChar <= '9'; NextChar()) {
        number = std::min<uint32_t>(number * 10 + uint32_t(CurChar - '0'), 0x110000);
        any = true;
      }
      if (!any) Fail("Number expected");
    }
    ExpectChar(';');
    // The character in the library's UTF-8; what no character can be becomes U+FFFD.
    if (number == 0 || (number >= 0xD800 && number <= 0xDFFF) || number > 0x10FFFF) number = 0xFFFD;
    char16_t units[2];
    size_t count = 1;
    if (number < 0x10000) {
      units[0] = char16_t(number);
    } else {
      units[0] = char16_t(0xD800 + ((number - 0x10000) >> 10));
      units[1] = char16_t(0xDC00 + (number & 0x3FF));
      count = 2;
    }
    return std::string_view(entity_, EncodeUtf16AsUtf8(units, count, entity_));
  }
  std::string_view name = ReadName();
  ExpectChar(';');
  if (name == "amp") return "&";
  if (name == "quot") return "\"";
  if (name == "lt") return "<";
  if (name == "gt") return ">";
  if (name == "apos") return "'";
  Fail("Unknown XML entity symbol name " + Quoted(name) + " found");
}

void TXmlSource::ReadAttributes(TXmlNode& node, TXmlNameTable& names) {
  SkipBlanks();
  while (!IsEof() && IsXmlNameStart(static_cast<unsigned char>(CurChar))) {
    TXmlNameID name = names.GetID(ReadName());
    SkipBlanks();
    ExpectChar('=');
    SkipBlanks();
    if (IsEof()) Fail("The value of the attribute is expected");
    if (CurChar != '"' && CurChar != '\'') Fail("Line constant expected");
    node.SetAttrValue(name, TVariant(std::string(ReadQuoted(CurChar))));
    SkipBlanks();
  }
}

std::string_view TXmlSource::ReadTextRun() {
  PushToken();
  while (!IsEof() && CurChar != '<') {
    if (CurChar == '&') {
      AppendText(ReadEntity());
      continue;
    }
    AppendChar(CurChar);
    // The ordinary bytes that follow in the buffer go in at once; none of them is a line
    // feed, so each adds one to the column as NextChar would.
    int64_t n = 0;
    while (n < count_) {
      char c = buffer_[pos_ + n];
      if (c == '<' || c == '&' || c == '\n') break;
      ++n;
    }
    if (n > 0) {
      AppendText(std::string_view(buffer_ + pos_, size_t(n)));
      pos_ += n;
      count_ -= n;
      Column += n;
    }
    NextChar();
  }
  return PopToken();
}

}  // namespace voltrane
