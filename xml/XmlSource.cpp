#include "xml/XmlSource.h"

#include <bit>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "rt/Exception.h"
#include "rt/Interrupt.h"
#include "rt/Stream.h"
#include "xml/XmlEncoding.h"
#include "xml/XmlNode.h"

namespace voltrane {

namespace {

int IsDecimal(char c) {
  return c >= '0' && c <= '9' ? c - '0' : -1;
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

// The bytes a numeric character reference stands for, in the library's UTF-8; what no
// character can be becomes U+FFFD.
size_t CharacterBytes(uint32_t number, char* out) {
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
  return EncodeUtf16AsUtf8(units, count, out);
}

// A well-formed reference at p, before end: its length and the bytes it stands for, or 0
// for anything the general reader has to look at.
size_t SimpleEntity(const char* p, const char* end, std::string_view& bytes, char* scratch) {
  std::string_view text(p + 1, size_t(end - p - 1));
  auto named = [&](std::string_view name, std::string_view value) {
    if (text.size() < name.size() || std::memcmp(text.data(), name.data(), name.size()) != 0)
      return size_t(0);
    bytes = value;
    return name.size() + 1;
  };
  switch (text.empty() ? '\0' : text[0]) {
    case 'l':
      return named("lt;", "<");
    case 'g':
      return named("gt;", ">");
    case 'a':
      return text.size() > 1 && text[1] == 'm' ? named("amp;", "&") : named("apos;", "'");
    case 'q':
      return named("quot;", "\"");
    case '#':
      break;
    default:
      return 0;
  }
  if (text.size() < 3) return 0;
  bool hex = text[1] == 'x';
  size_t i = hex ? 2 : 1, first = i;
  uint32_t number = 0;
  for (int d; i < text.size() && (d = hex ? HexDigit(text[i]) : IsDecimal(text[i])) >= 0; ++i)
    number = std::min<uint32_t>(number * (hex ? 16 : 10) + uint32_t(d), 0x110000);
  if (i == first || i == text.size() || text[i] != ';') return 0;
  bytes = std::string_view(scratch, CharacterBytes(number, scratch));
  return i + 2;
}

// The first "&" from p on before end, or nullptr.
const char* FindAmpersand(const char* p, const char* end) {
#ifdef __SSE2__
  const __m128i amp = _mm_set1_epi8('&');
  for (; p + 16 <= end; p += 16) {
    auto found = unsigned(_mm_movemask_epi8(
        _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), amp)));
    if (found) return p + std::countr_zero(found);
  }
#endif
  for (; p < end; ++p)
    if (*p == '&') return p;
  return nullptr;
}

}  // namespace

TXmlSource::TXmlSource(TStream& stream, bool ownsStream)
    : stream_(&stream), raw_(static_cast<char*>(::operator new(kBlockSize))) {
  if (ownsStream) ownedStream_.reset(&stream);
  in_ = raw_;
  try {
    NextChar();
  } catch (...) {
    ::operator delete(raw_);
    throw;
  }
}

TXmlSource::TXmlSource(std::string_view text)
    : stream_(nullptr), viewNext_(text.data()), viewEnd_(text.data() + text.size()) {
  in_ = viewNext_;
  NextChar();
}

TXmlSource::~TXmlSource() {
  if (raw_) ::operator delete(raw_);
  if (decoded_) ::operator delete(decoded_);
}

void TXmlSource::TakeIn(size_t want) {
  size_t n;
  if (stream_) {
    if (in_ != raw_) {
      std::memmove(raw_, in_, inLen_);
      in_ = raw_;
    }
    n = size_t(stream_->Read(raw_ + inLen_, int64_t(want - inLen_)));
  } else {
    n = std::min(want - inLen_, size_t(viewEnd_ - viewNext_));  // in_ + inLen_ is viewNext_
    viewNext_ += n;
  }
  inLen_ += n;
  ended_ = n == 0;
}

std::string_view TXmlSource::Skip(int64_t n) {
  const char* start = buffer_ + pos_;
  const char* end = start + n;
  int64_t feeds = 0;
  const char* feed = nullptr;
  if (n < 64) {  // short: a loop costs less than the calls
    for (const char* p = start; p < end; ++p) {
      if (*p == '\n') {
        ++feeds;
        feed = p;
      }
    }
  } else {
    for (const char* p = start;
         (p = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)))); ++p) {
      ++feeds;
      feed = p;
    }
  }
  Advance(n, feeds, feeds ? feed - start : 0);
  return std::string_view(start, size_t(n));
}

// The length of the run before the first "<" or "&", eight bytes at a time.
static int64_t TextRunLength(const char* text, int64_t count) {
  constexpr uint64_t kOnes = 0x0101010101010101u, kHighs = 0x8080808080808080u;
  int64_t n = 0;
  for (; n + 8 <= count; n += 8) {
    uint64_t word;
    std::memcpy(&word, text + n, 8);
    uint64_t lt = word ^ (kOnes * '<'), amp = word ^ (kOnes * '&');
    if (((lt - kOnes) & ~lt & kHighs) | ((amp - kOnes) & ~amp & kHighs)) break;
  }
  while (n < count && text[n] != '<' && text[n] != '&') ++n;
  return n;
}

namespace {

// Where a text run that starts before p ends: the first "<" from p on (none when the buffer
// ends first), whether an "&" comes before it, and the line feeds before it.
struct TRunScan {
  const char* Lt = nullptr;
  bool Amp = false;
  int64_t Feeds = 0;
  const char* LastFeed = nullptr;
};

TRunScan ScanRun(const char* p, const char* end) {
  TRunScan scan;
#ifdef __SSE2__
  const __m128i lt = _mm_set1_epi8('<'), amp = _mm_set1_epi8('&'), feed = _mm_set1_epi8('\n');
  for (; p + 16 <= end; p += 16) {
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    auto lts = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, lt)));
    auto amps = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, amp)));
    auto feeds = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, feed)));
    if (lts) {
      unsigned before = (lts & (0u - lts)) - 1;  // the bytes ahead of the first "<"
      amps &= before;
      feeds &= before;
    }
    scan.Amp |= amps != 0;
    if (feeds) {
      scan.Feeds += std::popcount(feeds);
      scan.LastFeed = p + (31 - std::countl_zero(feeds));
    }
    if (lts) {
      scan.Lt = p + std::countr_zero(lts);
      return scan;
    }
  }
#endif
  for (; p < end; ++p) {
    if (*p == '<') {
      scan.Lt = p;
      break;
    }
    scan.Amp |= *p == '&';
    if (*p == '\n') {
      ++scan.Feeds;
      scan.LastFeed = p;
    }
  }
  return scan;
}

}  // namespace

namespace {

// How many of the count bytes at p are name characters, up to the first that is not.
int64_t NameCharsAhead(const char* p, int64_t count) {
  int64_t n = 0;
#ifdef __SSE2__
  // Sixteen at a time: bytes of 128 and above, letters, digits, "_", "-", "." and ":".
  auto within = [](__m128i v, char low, char high) {
    return _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8(char(low - 1))),
                         _mm_cmplt_epi8(v, _mm_set1_epi8(char(high + 1))));
  };
  for (; n + 16 <= count; n += 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + n));
    __m128i name = _mm_or_si128(
        _mm_or_si128(_mm_cmplt_epi8(v, _mm_setzero_si128()), within(v, '0', ':')),
        _mm_or_si128(_mm_or_si128(within(v, '-', '.'), _mm_cmpeq_epi8(v, _mm_set1_epi8('_'))),
                     within(_mm_or_si128(v, _mm_set1_epi8(0x20)), 'a', 'z')));
    auto others = unsigned(~_mm_movemask_epi8(name)) & 0xFFFFu;
    if (others) return n + std::countr_zero(others);
  }
#endif
  while (n < count && IsXmlNameChar(p[n])) ++n;
  return n;
}

}  // namespace

bool TXmlSource::NextCharSlow() {
  if (count_ == 0) Refill();
  if (count_ > 0) return NextChar();
  CurChar = 0;
  return false;
}

void TXmlSource::Refill() {
  // Once a block: a waypoint of hundreds of megabytes, or of as many attributes, parsed from
  // memory reads no file that would notice a signal.
  CheckInterrupted();
  if (codePage_ == 0 && !tailPending_) {
    // Raw bytes are taken in a block at a time but handed out one by one, so the bytes
    // after an encoding declaration are still decoded with the code page it names.
    if (inLen_ == 0 && !ended_) TakeIn(kBlockSize);
    if (inLen_ == 0) {
      count_ = -1;
      return;
    }
    Deliver(in_, inLen_);
    in_ += inLen_;
    inLen_ = 0;
    return;
  }
  while (true) {
    uint16_t codePage = codePage_;
    if (tailPending_) {
      codePage = kLibraryCodePage;  // only UTF-8 blocks are split
      tailPending_ = false;
    } else {
      if (inLen_ < kBlockSize && !ended_) TakeIn(kBlockSize);
      if (inLen_ == 0) {
        count_ = -1;
        return;
      }
      // Well-formed UTF-8 decodes to itself: it is handed out where it lies.
      if (codePage == kLibraryCodePage) {
        size_t run = CanonicalUtf8Length(in_, inLen_);
        if (run > 0) {
          Deliver(in_, run);
          in_ += run;
          inLen_ -= run;
          tailPending_ = inLen_ > 0;
          return;
        }
      }
    }
    // Made when first needed: well-formed UTF-8 never is.
    if (!decoded_) decoded_ = static_cast<char*>(::operator new(kBlockSize* kMaxDecodeGrowth));
    size_t left = inLen_;
    // Each source byte gives at most kMaxDecodeGrowth bytes, so a whole block always fits
    // and none of it is lost, however many of its characters lie above 127.
    size_t produced = ConvertToLibraryCodePage(
        codePage, reinterpret_cast<const unsigned char*>(in_), left, ended_, decoded_);
    in_ += inLen_ - left;
    inLen_ = left;
    if (produced > 0) {
      Deliver(decoded_, produced);
      return;
    }
    if (codePage_ == 0) return Refill();  // the code page was dropped after the block began
  }
}

void TXmlSource::SetCodePage(uint16_t codePage) {
  if (codePage == codePage_) return;
  if (codePage_ == 0 && count_ > 0) {
    // Bytes taken in but not yet handed out go through the decoder instead.
    in_ = buffer_ + pos_;
    inLen_ = size_t(count_);
    count_ = 0;
  }
  codePage_ = codePage;
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
  if (!IsXmlNameStart(CurChar)) Fail("Name must start with letter or \"_\"");
  // A name that ends inside the buffer is handed out in place; the buffer stays as it is
  // until the next refill, and callers use the name before reading on.
  if (count_ > 0) {
    const char* start = buffer_ + pos_ - 1;
    int64_t n = NameCharsAhead(start + 1, count_);
    if (n < count_) {
      pos_ += n;
      count_ -= n;
      Column += n;
      NextChar();
      return std::string_view(start, size_t(n + 1));
    }
  }
  PushToken();
  while (true) {
    AppendChar(CurChar);
    TakeAhead(IsXmlNameChar);
    if (!NextChar() || !IsXmlNameChar(CurChar)) break;
  }
  return PopToken();
}

void TXmlSource::FailExpectedChar(char c) const {
  Fail("Character " + Quoted(std::string(1, c)) + " expected");
}

void TXmlSource::ExpectText(std::string_view text) {
  // The common case, the whole text ahead in the buffer without a line feed, compares at
  // once.
  if (!text.empty() && !IsEof() && CurChar == text[0] && count_ >= int64_t(text.size()) - 1 &&
      text.find('\n') == std::string_view::npos &&
      std::string_view(buffer_ + pos_, text.size() - 1) == text.substr(1)) {
    pos_ += int64_t(text.size()) - 1;
    count_ -= int64_t(text.size()) - 1;
    Column += int64_t(text.size()) - 1;
    NextChar();
    return;
  }
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsEof() || CurChar != text[i]) Fail("Text " + Quoted(text.substr(i)) + " expected");
    NextChar();
  }
}

std::string_view TXmlSource::ReadTo(std::string_view terminator) {
  // Every byte goes into the token, and a byte equal to the terminator's last one checks
  // the token's end; so the terminator is found after any partial match ("--->" ends a
  // comment holding "-"), and the bytes between such checks go in at once.
  PushToken();
  TXmlTokenText& text = stack_[size_t(top_)]->Text;
  const char last = terminator.back();
  while (true) {
    if (IsEof()) Fail(Quoted(terminator) + " expected");
    text += CurChar;
    if (CurChar == last && std::string_view(text).ends_with(terminator)) {
      NextChar();
      break;
    }
    TakeAhead([last](char c) { return c != last; });
    NextChar();
  }
  std::string_view all = PopToken();
  return all.substr(0, all.size() - terminator.size());
}

std::string_view TXmlSource::ReadQuoted(char quote) {
  NextChar();
  // A value without entities whose closing quote, and the byte after it, lie in the buffer
  // is handed out in place (the buffer stays until the next refill).
  if (count_ > 0) {
    const char* start = buffer_ + pos_ - 1;
    int64_t available = count_ + 1, k = 0, feeds = 0, lastFeed = 0;
    for (char c; k < available && (c = start[k]) != quote && c != '&' && c != '<'; ++k) {
      if (c == '\n' && k > 0) {  // the current byte's line feed is counted already
        ++feeds;
        lastFeed = k;
      }
    }
    if (k + 1 < available && start[k] == quote) {
      if (k > 0) {
        Advance(k - 1, feeds, lastFeed - 1);  // up to the byte before the closing quote
        NextChar();                           // the quote
      }
      NextChar();
      return std::string_view(start, size_t(k));
    }
  }
  PushToken();
  while (true) {
    if (IsEof()) Fail(Quoted(std::string(1, quote)) + " expected");
    if (CurChar == quote) break;
    if (CurChar == '&') {
      AppendText(ReadEntity());
    } else {
      if (CurChar == '<') Fail("Character \"<\" cannot be used in the values of attributes");
      AppendChar(CurChar);
      TakeAhead([quote](char c) { return c != quote && c != '&' && c != '<'; });
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
    return std::string_view(entity_, CharacterBytes(number, entity_));
  }
  std::string_view name = ReadName();
  std::string_view result = name == "amp"    ? "&"
                            : name == "quot" ? "\""
                            : name == "lt"   ? "<"
                            : name == "gt"   ? ">"
                            : name == "apos" ? "'"
                                             : std::string_view();
  // The name may lie in the buffer, which reading on can refill: keep an unknown one.
  std::string unknown = result.empty() ? std::string(name) : std::string();
  ExpectChar(';');
  if (result.empty()) Fail("Unknown XML entity symbol name " + Quoted(unknown) + " found");
  return result;
}

void TXmlSource::ReadAttributes(TXmlNode& node, TXmlNameTable& names) {
  ReadAttributeList(&node, names);
}

void TXmlSource::SkipAttributes(TXmlNameTable& names) {
  ReadAttributeList(nullptr, names);
}

void TXmlSource::ReadAttributeList(TXmlNode* node, TXmlNameTable& names) {
  std::unordered_map<TXmlNameID, int> positions;
  SkipBlanks();
  while (!IsEof() && IsXmlNameStart(CurChar)) {
    std::string_view name = ReadName();
    TXmlNameID id = node ? names.GetID(name) : nullptr;
    SkipBlanks();
    ExpectChar('=');
    SkipBlanks();
    if (IsEof()) Fail("The value of the attribute is expected");
    if (CurChar != '"' && CurChar != '\'') Fail("Line constant expected");
    std::string_view value = ReadQuoted(CurChar);
    if (node) node->SetParsedAttr(id, TVariant(std::string(value)), positions);
    SkipBlanks();
  }
}

void TXmlSource::MoveToRunEnd(const char* lt, int64_t feeds, const char* lastFeed) {
  const char* next = buffer_ + pos_;
  Advance(lt - next + 1, feeds, feeds ? lastFeed - next : 0);
  CurChar = '<';
}

bool TXmlSource::DecodeRunInBuffer(const char* end, int64_t feeds, const char* lastFeed,
                                   bool keep) {
  TXmlTokenText& text = stack_[size_t(top_)]->Text;
  const char* p = buffer_ + pos_ - 1;  // CurChar
  if (keep) text.reserve(text.size() + size_t(end - p));
  while (const char* amp = FindAmpersand(p, end)) {
    if (keep) text.append(p, amp);
    std::string_view bytes;
    size_t length = SimpleEntity(amp, end, bytes, entity_);
    if (length == 0) {
      if (amp != buffer_ + pos_ - 1) MoveTo(amp);
      return false;
    }
    if (keep) text.append(bytes);
    p = amp + length;
  }
  if (keep) text.append(p, end);
  MoveToRunEnd(end, feeds, lastFeed);
  return true;
}

std::string_view TXmlSource::ReadTextRun(bool skipLeadingBlanks, bool keep) {
  if (skipLeadingBlanks) {
    while (!IsEof() && IsXmlBlank(CurChar)) {
      SkipAhead(IsXmlBlank);
      NextChar();
    }
  }
  if (CurChar == '<' || IsEof()) return std::string_view();  // nothing between two tags
  // A run that ends with a "<" in the buffer is handed out in place when it holds no
  // entity, and decoded at once when its entities are the usual ones.
  if (count_ > 0) {
    const char* start = buffer_ + pos_ - 1;
    TRunScan scan = ScanRun(start + 1, buffer_ + pos_ + count_);
    if (scan.Lt && !scan.Amp && CurChar != '&') {
      MoveToRunEnd(scan.Lt, scan.Feeds, scan.LastFeed);
      return keep ? std::string_view(start, size_t(scan.Lt - start)) : std::string_view();
    }
    PushToken();
    if (scan.Lt && DecodeRunInBuffer(scan.Lt, scan.Feeds, scan.LastFeed, keep)) return PopToken();
  } else {
    PushToken();
  }
  while (!IsEof() && CurChar != '<') {
    if (CurChar == '&') {
      std::string_view bytes = ReadEntity();
      if (keep) AppendText(bytes);
      continue;
    }
    if (keep) AppendChar(CurChar);
    std::string_view run = Skip(TextRunLength(buffer_ + pos_, count_));
    if (keep) AppendText(run);
    NextChar();
  }
  return PopToken();
}

}  // namespace voltrane
