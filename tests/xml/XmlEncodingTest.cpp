// Declared encodings: the name table, the UTF-8 decoder with its lenient handling of bad
// bytes, block edges of the reader, and the single-byte code pages.
#include <gtest/gtest.h>

#include <random>

#include "XmlTestSupport.h"

namespace voltrane::test {
namespace {

const std::string kUtf8 = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";

// The units decoded, and how many bytes were left waiting.
std::pair<std::u16string, int> Decode(const std::string& bytes, bool endOfInput, size_t room = 0) {
  std::u16string units(room ? room : bytes.size() + 2, u'\0');
  int left = int(bytes.size());
  const auto* source = reinterpret_cast<const unsigned char*>(bytes.data());
  units.resize(size_t(DecodeUtf8(units.data(), int(units.size()), source, left, endOfInput)));
  return {units, left};
}

std::string TextOf(const std::string& xml) {
  return VarToStr(Parse(xml)->GetValueByPath("a"));
}

TEST(XmlEncodingNames, MatchWholeNamesIgnoringAsciiCase) {
  // Every entry by its own name below; here its letter case, and names around a whole one.
  const std::pair<const char*, int> cases[] = {{"Utf-8", 65001}, {"UTF-8 ", 0}, {"utf-", 0}};
  for (const auto& [name, page] : cases) EXPECT_EQ(FindCodePage(name), page) << name;
  for (const TXmlEncoding& entry : kXmlEncodings) {
    EXPECT_EQ(FindCodePage(entry.Name), entry.CodePage) << entry.Name;
    EXPECT_EQ(SingleByteTable(entry.CodePage) != nullptr, entry.CodePage != 65001) << entry.Name;
  }
}

// Overlong forms are taken by their value, code points above U+10FFFF give "?", stray bytes
// U+FFFD each without swallowing what follows; a sequence cut by the source end waits, unless
// the input ends or the sequence is known broken already.
TEST(XmlUtf8, DecodesLenientlyAndLetsACutSequenceWait) {
  const std::tuple<std::string, bool, std::u16string, int> cases[] = {
      {"A\xC3\xA9\xE2\x82\xAC", false, u"A\u00E9\u20AC", 0},
      {"\xF0\x9F\x98\x80", false, u"\U0001F600", 0},
      {"\xF4\x90\x80\x80", false, u"?", 0},
      {"\xC1\x81", false, u"A", 0},
      {"a\xE2\x82", false, u"a", 2},
      {"a\xE2\x82", true, u"a\uFFFD\uFFFD", 0},
      {"\xE2<", false, u"\uFFFD<", 0},
      {"\xC3<", true, u"\uFFFD<", 0},
      {"\xE2\x82<a", true, u"\uFFFD\uFFFD<a", 0},
      {"\x80\xBFx", true, u"\uFFFD\uFFFDx", 0},
      {"\xF8\xFF\xFE", true, u"\uFFFD\uFFFD\uFFFD", 0}};
  for (const auto& [bytes, end, units, waiting] : cases)
    EXPECT_EQ(Decode(bytes, end), std::pair(units, waiting)) << bytes;
  // No room for the two units of a four-byte form: it waits.
  EXPECT_EQ(Decode("a\xF0\x9F\x98\x80", false, 2), std::pair(std::u16string(u"a"), 4));
}

TEST(XmlUtf8, BadBytesInADocumentBecomeReplacementsAndKeepTheMarkup) {
  // Surrogates written as three-byte forms: a pair joins, a lone one is U+FFFD.
  EXPECT_EQ(TextOf(kUtf8 + "<a>\xED\xA0\xBD\xED\xB8\x80|\xED\xA0\xBD</a>"),
            "\xF0\x9F\x98\x80|\xEF\xBF\xBD");
  // Without a declaration text is taken byte for byte.
  EXPECT_EQ(TextOf("<a>caf\xE9 \xC3</a>"), "caf\xE9 \xC3");
}

// What a reader delivers of bytes that follow the byte after an encoding declaration: blocks
// of 16,384 bytes, each decoded to UTF-16 and encoded again on its own, a sequence cut by a
// block end carried into the next block.
std::string DecodedByBlocks(const std::string& input) {
  std::string out, carry;
  for (size_t at = 0;;) {
    size_t take = std::min(16384 - carry.size(), input.size() - at);
    std::string block = carry + input.substr(at, take);
    at += take;
    if (block.empty()) return out;
    auto [units, left] = Decode(block, take == 0);
    std::string bytes(units.size() * 3, '\0');
    out.append(bytes.data(), EncodeUtf16AsUtf8(units.data(), units.size(), bytes.data()));
    carry = block.substr(block.size() - size_t(left));
  }
}

TEST(XmlUtf8, ReaderDeliversWhatBlockwiseDecodingGivesInPlaceAndFromStreams) {
  // Canonical text mixed with every kind of sequence that does not convert to itself, with
  // surrogate pairs split over the block ends, in texts of one to three blocks.
  std::mt19937 random(11);
  const std::vector<std::string> pieces = Pieces(
      "ab|\xC3\xA9|\xE2\x82\xAC|\xF0\x9F\x98\x80|\xED\xA0\xBD|\xED\xB8\x80|\xC1\x81|"
      "\xE0\x81\x81|\xF4\x90\x80\x80|\x80|\xFF|\xC3|\xF0\x9F|\xED\xA0\xBD\xED\xB8\x80");
  for (int round = 0; round < 90; ++round) {
    size_t size = 16384 * size_t(1 + round % 3) - 40 + random() % 80;
    std::string body;
    if (round < 12)  // a surrogate pair moved over the first block end byte by byte
      body = std::string(16384 - 3 - 6 + size_t(round), 'x') + pieces[13];
    else if (round < 30)  // so are a two-, three- and four-byte form
      body = std::string(16384 - 8 + size_t(round % 6), 'x') + pieces[size_t(round - 12) / 6 + 1];
    while (body.size() < size)  // mostly canonical, so that canonical runs and the rest alternate
      body += random() % 4 ? std::string(random() % 40, 'x') : pieces[random() % pieces.size()];
    // The byte after the declaration is the "\n", taken as it is; the blocks start at "<a>".
    std::string expected = DecodedByBlocks("<a>" + body + "</a>");
    expected = expected.substr(3, expected.size() - 7);
    for (bool streamed : {false, true}) {
      IXmlDocument doc = NewXmlDocument();
      doc->SetKeepWhiteSpace(true);
      TMemoryStream stream(kUtf8 + "\n<a>" + body + "</a>");
      streamed ? doc->LoadStream(stream) : doc->LoadFromXmlText(stream.DataString());
      ASSERT_EQ(VarToStr(doc->GetValueByPath("a")), expected) << round << " " << streamed;
    }
  }
}

// The canonical prefix by its definition: sequences taken one by one, each in its shortest
// form, no surrogate, nothing past U+10FFFF, none cut by the end.
size_t CanonicalByDefinition(const std::string& text) {
  size_t i = 0;
  while (i < text.size()) {
    auto b = static_cast<unsigned char>(text[i]);
    size_t length = b < 0x80 ? 1 : b < 0xC0 ? 0 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : b < 0xF8 ? 4 : 0;
    if (length == 0 || i + length > text.size()) break;
    uint32_t c = length == 1 ? b : b & (0x7Fu >> length);
    bool continued = true;
    for (size_t k = 1; k < length; ++k) {
      auto t = static_cast<unsigned char>(text[i + k]);
      continued = continued && (t & 0xC0) == 0x80;
      c = c << 6 | (t & 0x3Fu);
    }
    size_t shortest = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    if (!continued || shortest != length || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) break;
    i += length;
  }
  return i;
}

TEST(XmlUtf8, CanonicalLengthAgreesWithTheDefinitionAroundEveryChunkEdge) {
  // Every lead and second byte with telling third and fourth bytes, placed so that the
  // sequence crosses into the second sixteen-byte chunk, or into the second group of four.
  std::vector<std::string> texts;
  for (int b0 = 0x80; b0 < 0x100; ++b0)
    for (int b1 = 0; b1 < 0x100; ++b1)
      for (int b2 : {0x41, 0x80, 0xBF, 0xC3})
        for (int b3 : {0x41, 0x80})
          for (size_t at : {13, 15, 63})
            texts.push_back(std::string(at, 'a') + char(b0) + char(b1) + char(b2) + char(b3) +
                            std::string(76 - at, 'a'));
  std::mt19937 random(3);
  const std::vector<std::string> pieces = Pieces(
      "abc|\xC3\xA9|\xE2\x82\xAC|\xF0\x9F\x98\x80|\xCE\xB1|\xED\xA0\xBD|\x80|\xC1\x81|"
      "\xF4\x90\x80\x80");
  for (int round = 0; round < 300; ++round) {
    std::string t;
    while (t.size() < 200) t += pieces[random() % (round % 2 ? 5 : pieces.size())];
    for (size_t cut = 0; cut <= t.size(); cut += 1 + round % 7) texts.push_back(t.substr(0, cut));
  }
  for (const std::string& t : texts)
    ASSERT_EQ(CanonicalUtf8Length(t.data(), t.size()), CanonicalByDefinition(t)) << t;
}

TEST(XmlCodePages, SingleBytePagesDecodeToUtf8) {
  EXPECT_EQ(TextOf("<?xml encoding=\"windows-1252\"?><a>\x80\xE9</a>"), "\xE2\x82\xAC\xC3\xA9");
  // 20,000 euro signs are 60,000 bytes of UTF-8: a block that grows past the buffer.
  EXPECT_EQ(TextOf("<?xml encoding=\"windows-1252\"?><a>" + std::string(20000, '\x80') + "</a>"),
            Repeated(20000, [](int) { return "\xE2\x82\xAC"; }));
  EXPECT_EQ(Tree(*Parse("<?xml encoding=\"ISO-8859-2\"?><\xB9 x='\xB9'/>")->ChildAt(1)),
            "\xC5\xA1[x=\xC5\xA1]");
}

}  // namespace
}  // namespace voltrane::test
