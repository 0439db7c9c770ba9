#include <gtest/gtest.h>

#include <random>

#include "util/TrivialXml.h"

namespace voltrane {
namespace {

// Scans a text held in memory, handed out in small reads to move the block edges around.
struct Scan : TMemoryStream {
  explicit Scan(std::string text, int64_t chunk = 1 << 30)
      : TMemoryStream(std::move(text)), chunk(chunk) {
    scanner.Attach(*this);
  }
  int64_t Read(void* buffer, int64_t count) override {
    return TMemoryStream::Read(buffer, std::min(count, chunk));
  }
  int64_t chunk;
  TTrivialXml scanner;
};

TEST(TrivialXml, FindsTheFirstOfSeveralNamesAndCapturesUpToItsLimit) {
  static const std::string names[] = {"wpt", "trk", "rte"};
  for (int64_t chunk : {1, 3, 1 << 30}) {
    Scan s("<metadata/><!-- <wpt --><trkseg><rte><wpt>", chunk);
    s.scanner.CaptureLimit = 20;
    EXPECT_EQ(s.scanner.FindTagOf(names, 3), 2);
    // Capturing stops before a read that would pass the limit: it holds at most these 20 bytes.
    EXPECT_TRUE(std::string("<metadata/><!-- <wpt").starts_with(s.scanner.Captured));
    EXPECT_TRUE(s.scanner.CaptureOverflowed);
    for (int next : {3, 1, 0}) EXPECT_EQ(s.scanner.FindTagOf(names, 3), next);
  }
}

// Each row: a text, and what the scanner has read when it finds "wpt" ("" when it does not,
// having read it all). A second "<" ends a tag without opening one; comments and CDATA
// sections are passed over, the unclosed one to the end.
TEST(TrivialXml, FindsOnlyTheWholeTagNameOutsideCommentsAndCdata) {
  const std::pair<std::string, std::string> kCases[] = {
      {"<wptx/>", "<wpt"},
      {"", ""},
      {"< wpt>", ""},
      {"<WPT>", ""},
      {"</wpt>", ""},
      {"<wp>t", ""},
      {"<<wpt a=\"1\"/><wpt b=\"2\"/>", "<<wpt a=\"1\"/><wpt"},
      {"<!-- <wpt> --><x><![CDATA[ <wpt> ]]></x><!----><wpt>",
       "<!-- <wpt> --><x><![CDATA[ <wpt> ]]></x><!----><wpt"},
      {"<!-- a - b -- c ---><wpt>", "<!-- a - b -- c ---><wpt"},
      {"<!-- never closed <wpt>", ""}};
  for (const auto& [text, captured] : kCases) {
    Scan s(text);
    EXPECT_EQ(s.scanner.FindTag("wpt"), !captured.empty()) << text;
    EXPECT_EQ(s.scanner.Captured, captured.empty() ? text : captured);
  }
}

TEST(TrivialXml, FindsATagSplitAcrossReadsAsInOneBlock) {
  const std::string pad(TTrivialXml::kBufferSize - 2, 'x');
  for (int64_t chunk : {int64_t(1), int64_t(3), int64_t(TTrivialXml::kBufferSize)}) {
    Scan s(pad + "<wpt><!-- -" + std::string(70000, '-') + "->" + "</wpt>", chunk);
    ASSERT_TRUE(s.scanner.FindTag("wpt")) << chunk;
    EXPECT_EQ(s.scanner.Captured.size(), pad.size() + 4);
    s.scanner.Captured.clear();
    ASSERT_TRUE(s.scanner.FindTag("/wpt")) << chunk;
    EXPECT_EQ(s.scanner.Captured.size(), 7 + 70000u + 2 + 5);
  }
}

// A named target takes what is read, after what it already holds, until the capture
// stops; its own size counts against the limit; Attach makes Captured the target again.
TEST(TrivialXml, CapturesIntoANamedTargetUntilStopped) {
  for (int64_t chunk : {1, 3, 1 << 30}) {
    Scan s("<a><wpt x><b></wpt><c>", chunk);
    ASSERT_TRUE(s.scanner.FindTag("wpt"));
    std::string target = "kept:";
    s.scanner.CaptureInto(target);
    ASSERT_TRUE(s.scanner.FindTag("/wpt"));
    EXPECT_EQ(&s.scanner.CaptureTarget(), &target);
    s.scanner.StopCapture();
    EXPECT_EQ(target, "kept: x><b></wpt") << chunk;
    EXPECT_EQ(s.scanner.Captured, "<a><wpt") << chunk;
    s.scanner.CaptureLimit = 8;
    s.scanner.CaptureInto(target);
    EXPECT_FALSE(s.scanner.FindTag("d"));
    EXPECT_TRUE(s.scanner.CaptureOverflowed);
    EXPECT_EQ(target, "kept: x><b></wpt") << chunk;
    s.scanner.Attach(s);
    EXPECT_EQ(&s.scanner.CaptureTarget(), &s.scanner.Captured);
  }
}

TEST(TrivialXml, ReadsWithoutKeepingWhenCaptureIsOff) {
  Scan s(std::string(200000, ' ') + "<wpt>");
  s.scanner.Capturing = false;
  ASSERT_TRUE(s.scanner.FindTag("wpt"));
  EXPECT_EQ(s.scanner.Captured, "");
}

// The scanner as plainly described, reading the input on from at: one byte at a time, the
// collected tag text compared whole after every byte. The real one skips ahead by blocks, and
// captures what this one reads; it must agree with it on every tag form: whole names only,
// case kept, a second "<" ending a tag, comments and CDATA sections passed over, unclosed ones
// to the end.
bool ReferenceFindTag(const std::string& input, size_t& at, const std::string& name) {
  std::string collected;  // "" outside a tag
  while (at < input.size()) {
    char c = input[at++];
    if (collected.empty()) {
      if (c == '<') collected = "<";
    } else if (c == '<' || c == '>') {
      collected.clear();
    } else if ((collected += c) == "<" + name) {
      return true;
    } else if (collected == "<!--" || collected == "<![CDATA[") {
      // Up to the first terminator wholly read from here on, its last byte left to come.
      size_t end = input.find(collected == "<!--" ? "-->" : "]]>", at);
      at = end == std::string::npos ? input.size() : end + 2;
    }
  }
  return false;
}

TEST(TrivialXml, AgreesWithTheByteByByteScannerOnRandomMarkup) {
  const std::string alphabet = "<<<>>wptW/!--[]]CDATA x";
  std::mt19937 random(1);
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    size_t length = random() % 120;
    for (size_t i = 0; i < length; ++i) text += alphabet[random() % alphabet.size()];
    if (random() % 2)
      text.insert(random() % (text.size() + 1), random() % 2 ? "<![CDATA[" : "<!--");
    Scan real(text, 1 + random() % 7);
    size_t at = 0;
    for (int call = 0; call < 6; ++call) {
      const char* name = call % 2 ? "/wpt" : "wpt";
      size_t from = at;
      real.scanner.Captured.clear();
      bool found = real.scanner.FindTag(name);
      ASSERT_EQ(found, ReferenceFindTag(text, at, name)) << text;
      ASSERT_EQ(real.scanner.Captured, text.substr(from, at - from)) << text;
      ASSERT_EQ(real.scanner.Position(), int64_t(at)) << text;
    }
  }
}

}  // namespace
}  // namespace voltrane
