// Declared encodings: the name table, the UTF-8 decoder with its lenient handling of bad
// bytes, block edges of the reader, and the single-byte code pages.
#include <gtest/gtest.h>

#include <random>

#include "rt/Exception.h"
#include "rt/Stream.h"
#include "xml/VoltXml.h"

namespace voltrane {
namespace {

const std::string kReplacement = "\xEF\xBF\xBD";

std::u16string Decode(const std::string& bytes, bool endOfInput, int* left = nullptr) {
  std::u16string units(bytes.size() + 2, u'\0');
  int count = int(bytes.size());
  int n = DecodeUtf8(units.data(), int(units.size()),
                     reinterpret_cast<const unsigned char*>(bytes.data()), count, endOfInput);
  if (left) *left = count;
  units.resize(size_t(n));
  return units;
}

std::string TextOf(const std::string& xml) {
  IXmlDocument doc = NewXmlDocument();
  doc->LoadFromXmlText(xml);
  return VarToStr(doc->GetValueByPath("a"));
}

TEST(XmlEncodingNames, MatchWholeNamesIgnoringAsciiCase) {
  EXPECT_EQ(FindCodePage("utf-8"), 65001);
  EXPECT_EQ(FindCodePage("Utf-8"), 65001);
  EXPECT_EQ(FindCodePage("UTF-8"), 65001);
  EXPECT_EQ(FindCodePage("utf8"), 0);
  EXPECT_EQ(FindCodePage("latin2"), 0);
  EXPECT_EQ(FindCodePage("UTF-8 "), 0);
  EXPECT_EQ(FindCodePage("iso-8859-2"), 28592);
  EXPECT_EQ(FindCodePage("koi8-u"), 21866);
  for (const TXmlEncoding& entry : kXmlEncodings) {
    EXPECT_EQ(FindCodePage(entry.Name), entry.CodePage) << entry.Name;
    EXPECT_EQ(SingleByteTable(entry.CodePage) != nullptr, entry.CodePage != 65001) << entry.Name;
  }
}

TEST(XmlUtf8, WellFormedSequencesDecodeToUtf16) {
  EXPECT_EQ(Decode("A\xC3\xA9\xE2\x82\xAC", false), u"A\u00E9\u20AC");
  EXPECT_EQ(Decode("\xF0\x9F\x98\x80", false), (std::u16string{0xD83D, 0xDE00}));
  EXPECT_EQ(Decode("\xF4\x90\x80\x80", false), u"?");  // above U+10FFFF
  // Overlong forms are taken by their value.
  EXPECT_EQ(Decode("\xC1\x81", false), u"A");
}

TEST(XmlUtf8, SequenceCutByTheSourceEndWaitsUnlessInputEnds) {
  int left = 0;
  EXPECT_EQ(Decode("a\xF0\x9F\x98", false, &left), u"a");
  EXPECT_EQ(left, 3);
  EXPECT_EQ(Decode("a\xE2\x82", false, &left), u"a");
  EXPECT_EQ(left, 2);
  // At the end of input each byte of the cut sequence becomes U+FFFD.
  EXPECT_EQ(Decode("a\xE2\x82", true, &left), u"a\uFFFD\uFFFD");
  EXPECT_EQ(left, 0);
  // No room for the two units of a four-byte form: it waits.
  std::u16string units(2, u'\0');
  int count = 5;
  EXPECT_EQ(DecodeUtf8(units.data(), 2, reinterpret_cast<const unsigned char*>("a\xF0\x9F\x98\x80"),
                       count),
            1);
  EXPECT_EQ(count, 4);
}

TEST(XmlUtf8, StrayBytesBecomeReplacementsWithoutSwallowingWhatFollows) {
  EXPECT_EQ(Decode("\xC3<", true), u"\uFFFD<");
  EXPECT_EQ(Decode("\xE2\x82<a", true), u"\uFFFD\uFFFD<a");
  EXPECT_EQ(Decode("\xF0\x9F<", true), u"\uFFFD\uFFFD<");
  EXPECT_EQ(Decode("\x80\xBFx", true), u"\uFFFD\uFFFDx");
  EXPECT_EQ(Decode("\xF8\xFF\xFE", true), u"\uFFFD\uFFFD\uFFFD");
  // A broken sequence is known early, even when cut by the block end.
  int left = 0;
  EXPECT_EQ(Decode("\xE2<", false, &left), u"\uFFFD<");
  EXPECT_EQ(left, 0);
}

TEST(XmlUtf8, StrayByteInADocumentKeepsTheMarkup) {
  const std::string declaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";
  EXPECT_EQ(TextOf(declaration + "<a>caf\xE9</a>"), "caf" + kReplacement);
  EXPECT_EQ(TextOf(declaration + "<a>x\xC3</a>"), "x" + kReplacement);
  EXPECT_EQ(TextOf(declaration + "<a>\xF0\x9F\x98\x80 \xE2\x82\xAC</a>"),
            "\xF0\x9F\x98\x80 \xE2\x82\xAC");
  // Surrogates written as three-byte forms: a pair joins, a lone one is U+FFFD.
  EXPECT_EQ(TextOf(declaration + "<a>\xED\xA0\xBD\xED\xB8\x80|\xED\xA0\xBD</a>"),
            "\xF0\x9F\x98\x80|" + kReplacement);
}

TEST(XmlUtf8, TextWithoutDeclarationIsTakenByteForByte) {
  EXPECT_EQ(TextOf("<a>caf\xE9 \xC3</a>"), "caf\xE9 \xC3");
}

TEST(XmlUtf8, CharactersCutByTheBlockEndDecodeWhole) {
  const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
  for (std::string character : {"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"}) {
    // Blocks start after the byte that follows the declaration; the character is moved
    // over the first block end one byte at a time.
    for (size_t shift = 0; shift < 6; ++shift) {
      size_t before = 16384 - 4 + shift - 4;  // bytes of "x" ahead of the character
      std::string body = std::string(before, 'x') + character + "yz";
      std::string xml = declaration + "\n<a>" + body + "</a>";
      EXPECT_EQ(TextOf(xml), body) << character.size() << " " << shift;
    }
  }
}

TEST(XmlUtf8, BlockConversionMatchesDecodeThenEncode) {
  std::mt19937 random(7);
  const std::string pieces[] = {"a",
                                "<",
                                "\xC3\xA9",
                                "\xE2\x82\xAC",
                                "\xF0\x9F\x98\x80",
                                "\xED\xA0\xBD",
                                "\xED\xB8\x80",
                                "\x80",
                                "\xFF",
                                "\xC3",
                                "\xF0\x9F"};
  for (int round = 0; round < 50; ++round) {
    std::string input;
    while (input.size() < 7000) input += pieces[random() % std::size(pieces)];
    std::u16string units = Decode(input, true);
    std::string expected(units.size() * 3, '\0');
    expected.resize(EncodeUtf16AsUtf8(units.data(), units.size(), expected.data()));
    std::string actual(input.size() * 3, '\0');
    size_t count = input.size();
    actual.resize(ConvertToLibraryCodePage(
        65001, reinterpret_cast<const unsigned char*>(input.data()), count, true, actual.data()));
    EXPECT_EQ(count, 0u);
    ASSERT_EQ(actual, expected) << round;
  }
}

// What a reader delivers of bytes that follow the byte after an encoding declaration: blocks
// of 16,384 bytes, each decoded to UTF-16 and encoded again on its own, a sequence cut by a
// block end carried into the next block.
std::string DecodedByBlocks(const std::string& input) {
  std::string out, carry;
  size_t at = 0;
  while (true) {
    size_t take = std::min(16384 - carry.size(), input.size() - at);
    std::string block = carry + input.substr(at, take);
    at += take;
    if (block.empty()) break;
    int left = 0;
    std::u16string units = Decode(block, take == 0, &left);
    std::string bytes(units.size() * 3, '\0');
    out.append(bytes.data(), EncodeUtf16AsUtf8(units.data(), units.size(), bytes.data()));
    carry = block.substr(block.size() - size_t(left));
  }
  return out;
}

TEST(XmlUtf8, ReaderDeliversWhatBlockwiseDecodingGivesInPlaceAndFromStreams) {
  // Canonical text mixed with every kind of sequence that does not convert to itself, with
  // surrogate pairs split over the block ends, in texts of one to three blocks.
  std::mt19937 random(11);
  const std::string pieces[] = {
      "ab",           "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80",        "\xED\xA0\xBD",
      "\xED\xB8\x80", "\xC1\x81", "\xE0\x81\x81", "\xF4\x90\x80\x80",        "\x80",
      "\xFF",         "\xC3",     "\xF0\x9F",     "\xED\xA0\xBD\xED\xB8\x80"};
  const std::string head = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<a>";
  for (int round = 0; round < 72; ++round) {
    size_t size = 16384 * size_t(1 + round % 3) - 40 + random() % 80;
    std::string body;
    if (round < 12)  // a surrogate pair moved over the first block end byte by byte
      body = std::string(16384 - 3 - 6 + size_t(round), 'x') + pieces[13];
    while (body.size() < size) {
      // Mostly canonical, so that canonical runs and the rest alternate.
      body += random() % 4 ? std::string(random() % 40, 'x') : pieces[random() % std::size(pieces)];
    }
    // The byte after the declaration is the "\n", taken as it is; the blocks start at "<a>".
    std::string expected = DecodedByBlocks("<a>" + body + "</a>");
    expected = expected.substr(3, expected.size() - 7);
    IXmlDocument inPlace = NewXmlDocument();
    inPlace->SetKeepWhiteSpace(true);
    inPlace->LoadFromXmlText(head + body + "</a>");
    ASSERT_EQ(VarToStr(inPlace->GetValueByPath("a")), expected) << round;
    IXmlDocument streamed = NewXmlDocument();
    streamed->SetKeepWhiteSpace(true);
    TMemoryStream stream(head + body + "</a>");
    streamed->LoadStream(stream);
    ASSERT_EQ(VarToStr(streamed->GetValueByPath("a")), expected) << round;
  }
}

TEST(XmlUtf8, CanonicalLengthStopsAtTheFirstSequenceThatDoesNotConvertToItself) {
  auto length = [](const std::string& text) {
    return CanonicalUtf8Length(text.data(), text.size());
  };
  EXPECT_EQ(length(""), 0u);
  EXPECT_EQ(length("plain ascii text, longer than eight"), 35u);
  EXPECT_EQ(
      length(
          "\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"),
      21u);
  const std::pair<const char*, size_t> stops[] = {
      {"ab\xC1\x81", 2},          // overlong two-byte form
      {"ab\xE0\x9F\xBF", 2},      // overlong three-byte form
      {"ab\xF0\x8F\xBF\xBF", 2},  // overlong four-byte form
      {"ab\xED\xA0\x80", 2},      // surrogate
      {"ab\xF4\x90\x80\x80", 2},  // above U+10FFFF
      {"ab\xF5\x80\x80\x80", 2},  // no such lead byte
      {"ab\x80", 2},              // stray continuation byte
      {"ab\xC3(", 2},             // continuation missing
      {"abcdefgh\xE2\x82", 8},    // cut by the end
      {"abcdefghijk\xC3", 11}};
  for (const auto& [text, stop] : stops) EXPECT_EQ(length(text), stop) << text;
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
  const unsigned char thirds[] = {0x41, 0x80, 0xBF, 0xC3};
  const unsigned char fourths[] = {0x41, 0x80};
  std::string text(80, 'a');
  for (int b0 = 0x80; b0 < 0x100; ++b0) {
    for (int b1 = 0; b1 < 0x100; ++b1) {
      for (unsigned char b2 : thirds) {
        for (unsigned char b3 : fourths) {
          for (size_t at : {13, 15, 63}) {
            std::string t = text;
            t[at] = char(b0), t[at + 1] = char(b1), t[at + 2] = char(b2), t[at + 3] = char(b3);
            ASSERT_EQ(CanonicalUtf8Length(t.data(), t.size()), CanonicalByDefinition(t))
                << b0 << " " << b1 << " " << int(b2) << " " << int(b3) << " at " << at;
          }
        }
      }
    }
  }
  // Long mixed texts, and the same cut at every length.
  std::mt19937 random(3);
  const std::string pieces[] = {
      "abc",          "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xCE\xB1",
      "\xED\xA0\xBD", "\x80",     "\xC1\x81",     "\xF4\x90\x80\x80"};
  for (int round = 0; round < 300; ++round) {
    std::string t;
    while (t.size() < 200) t += pieces[random() % (round % 2 ? 5 : std::size(pieces))];
    for (size_t cut = 0; cut <= t.size(); cut += 1 + round % 7)
      ASSERT_EQ(CanonicalUtf8Length(t.data(), cut), CanonicalByDefinition(t.substr(0, cut)))
          << round << " " << cut;
  }
}

TEST(XmlCodePages, SingleBytePagesDecodeToUtf8) {
  EXPECT_EQ(TextOf("<?xml version=\"1.0\" encoding=\"ISO-8859-2\"?><a>\xB9</a>"), "\xC5\xA1");
  EXPECT_EQ(TextOf("<?xml encoding=\"windows-1252\"?><a>\x80\xE9</a>"), "\xE2\x82\xAC\xC3\xA9");
  EXPECT_EQ(TextOf("<?xml encoding=\"KOI8-R\"?><a>\xC1</a>"), "\xD0\xB0");
  EXPECT_EQ(TextOf("<?xml encoding=\"ISO-8859-15\"?><a>\xA4</a>"), "\xE2\x82\xAC");
  EXPECT_EQ(TextOf("<?xml encoding=\"ISO-8859-1\"?><a>\xE9</a>"), "\xC3\xA9");
  // A byte the page leaves undefined is not dropped: it shows as U+FFFD.
  EXPECT_EQ(TextOf("<?xml encoding=\"windows-1252\"?><a>\x81</a>"), kReplacement);
  // Element and attribute names decode too.
  IXmlDocument doc = NewXmlDocument();
  doc->LoadFromXmlText("<?xml encoding=\"ISO-8859-2\"?><\xB9 x='\xB9'/>");
  EXPECT_EQ(doc->ChildAt(1)->GetNodeName(), "\xC5\xA1");
  EXPECT_EQ(doc->ChildAt(1)->GetAttrText("x"), "\xC5\xA1");
}

TEST(XmlCodePages, BlockThatGrowsPastTheBufferIsDeliveredWhole) {
  // 20,000 euro signs in windows-1252 are 60,000 bytes of UTF-8.
  std::string body(20000, '\x80');
  std::string text = TextOf("<?xml encoding=\"windows-1252\"?><a>" + body + "</a>");
  std::string expected;
  for (int i = 0; i < 20000; ++i) expected += "\xE2\x82\xAC";
  EXPECT_EQ(text, expected);
}

TEST(XmlCodePages, SavingConvertsBackAndWritesReferencesForTheRest) {
  std::string out;
  ConvertFromLibraryCodePage(28592, "a\xC5\xA1\xC3\xA9\xE2\x82\xAC", out);
  EXPECT_EQ(out, "a\xB9\xE9&#8364;");
  out.clear();
  ConvertFromLibraryCodePage(65001, "\xE9 raw", out);
  EXPECT_EQ(out, "\xE9 raw");
}

}  // namespace
}  // namespace voltrane
