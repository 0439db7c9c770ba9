// The parser: what it accepts, the tree it builds, and each error with its position.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <random>

#include "TestSupport.h"
#include "XmlTestSupport.h"
#include "rt/Interrupt.h"
#include "xml/XmlResources.h"

namespace voltrane::test {
namespace {

std::string Attr(int i, const std::string& value) {
  return " n" + std::to_string(i) + "='" + value + "'";
}

TEST(XmlParse, EachFormGivesItsTree) {
  const std::tuple<std::string, bool, std::string> cases[] = {
      {"", false, ""},
      // Text is trimmed unless white space is kept; then a blank run between tags is a node.
      {"<a> x &amp; y </a>", false, "a('x & y')"},
      {"<a> x &amp; y </a>", true, "a(' x & y ')"},
      {"<a> <b/> </a>", true, "a(' ' b ' ')"},
      {"<a> <b/> </a>", false, "a(b)"},
      {"<r><a/><a></a><a  /><a></a ></r>", false, "r(a a a a)"},
      {"<a v=\"1\t2\r\n3 &lt;&gt;&quot;&apos;&#65;\"/>", false, "a[v=1\t2\r\n3 <>\"'A]"},
      {"<a>1<!--c-->2<![CDATA[ <x>&amp; ]]></a>", false,
       "a('1' #comment'c' '2' #cdata-section'<x>&amp;')"},
      {"<!--a- b---><![CDATA[x]]]]>", false, "#comment'a- b-' #cdata-section'x]]'"},
      {"<?pi some data?><a/>", false, "pi' some data' a"},
      // A document type ends at the first ">"; an end tag at document level ends the parse.
      {"<!DOCTYPE gpx [<!ENTITY x \"y\">]><gpx/>", false, "']>' gpx"},
      {"<a/></b><c/>", false, "a"},
      {"<a/><b/>text", false, "a b 'text'"},
      {"<groundspeak:cache _a-1.b=\"v\"><n\xC3\xA9me>x</n\xC3\xA9me></groundspeak:cache>", false,
       "groundspeak:cache[_a-1.b=v](n\xC3\xA9me('x'))"},
      // Numeric references give the UTF-8 of their code point, U+FFFD where there is none.
      {"<a>&#65;|&#x41;|&#233;|&#xe9;|&#x1F600;|&#128512;|&#256;|x&lt;&gt;&amp;&quot;&apos;y</a>",
       false, "a('A|A|\xC3\xA9|\xC3\xA9|\xF0\x9F\x98\x80|\xF0\x9F\x98\x80|\xC4\x80|x<>&\"'y')"},
      {"<a>&#0;|&#xD800;|&#x110000;|&#99999999999999999999;</a>", false,
       "a('\xEF\xBF\xBD|\xEF\xBF\xBD|\xEF\xBF\xBD|\xEF\xBF\xBD')"},
  };
  for (const auto& [text, keep, tree] : cases)
    EXPECT_EQ(Tree(*Parse(text, keep).Get()), "#document" + (tree.empty() ? "" : "(" + tree + ")"))
        << text;
}

TEST(XmlParse, ErrorsCarryTheirLineAndColumn) {
  const std::pair<std::string, std::string> cases[] = {
      {"<abc></abd>", "Text \"c\" expected at [1:10]"},
      {"<a x=1>", "Line constant expected at [1:6]"},
      {"<a>", "Character \"/\" expected at [1:3]"},
      {"<a x>", "Character \"=\" expected at [1:5]"},
      {"<a x=", "The value of the attribute is expected at [1:5]"},
      {"<a x='1", "\"'\" expected at [1:7]"},
      {"<a x=\"<\"/>", "Character \"<\" cannot be used in the values of attributes at [1:7]"},
      {"<a x='1' 2/>", "Character \">\" expected at [1:10]"},
      {"<a/ >", "Text \">\" expected at [1:4]"},
      {"< a/>", "Name must start with letter or \"_\" at [1:2]"},
      {"<a", "Incomplete definition of the element"},
      {"<a\"/>", "Invalid symbol in the name of the element"},
      {"<!-- x", "\"-->\" expected at [1:6]"},
      {"<!-x-->", "Text \"-\" expected at [1:4]"},
      {"<![CDAT[x]]>", "Text \"A[\" expected at [1:8]"},
      {"<![CDATA[x", "\"]]>\" expected at [1:10]"},
      {"<!ELEMENT>", "Text \"DOCTYPE\" expected at [1:3]"},
      {"<?pi x", "\"?>\" expected at [1:6]"},
      {"<?xml version='1.0'>", "Text \"?>\" expected at [1:20]"},
      {"<?xml encoding='utf8'?>", "Encoding \"utf8\" is not supported by VoltXml"},
      {"<a>\n\n  text\r\n more\n<b x='1\n2'/>\n</c>", "Text \"a\" expected at [7:3]"},
      {"<a>&#X41;</a>", "Number expected at [1:6]"},
      {"<a>&#x;</a>", "Hexadecimal number expected at [1:7]"},
      {"<a>&#", "Number expected at [1:5]"},
      {"<a>&", "\"#\" or XML entity symbol name expected at [1:4]"},
      {"<a>&#65</a>", "Character \";\" expected at [1:8]"},
      {"<a>&nbsp;</a>", "Unknown XML entity symbol name \"nbsp\" found at [1:10]"},
      {"<a>&AMP;</a>", "Unknown XML entity symbol name \"AMP\" found at [1:9]"},
      {Repeated(20000, [](int) { return "<a>"; }), "Character \"/\" expected at [1:60000]"}};
  for (const auto& c : cases)
    EXPECT_EQ(KindAndMessageOf([&] { Parse(c.first); }), "Exception: " + c.second) << c.first;
}

// Short lists are scanned, long ones hashed: both keep the first place and the last value.
TEST(XmlParse, RepeatedAttributeOfAnyLongListKeepsTheLastValueInPlace) {
  for (int count : {2, 15, 16, 17, 100, 300000}) {
    std::string tag = "<a" + Repeated(count, [](int i) { return Attr(i, std::to_string(i)); });
    for (int repeated : {0, count / 2, count - 1, 0}) tag += Attr(repeated, "last");
    IXmlDocument doc = Parse(tag + "/>");
    TXmlNode* a = doc->ChildAt(0);
    ASSERT_EQ(a->GetAttrCount(), count);
    for (int i : {0, 1, count / 2, count - 1}) {
      bool repeated = i == 0 || i == count / 2 || i == count - 1;
      EXPECT_EQ(a->GetAttrNameAt(i), "n" + std::to_string(i)) << count;
      EXPECT_EQ(a->GetAttrText("n" + std::to_string(i)), repeated ? "last" : std::to_string(i))
          << count;
    }
  }
}

// In a child process: the signal has come before parsing starts, and the parse of each
// large document, from memory, stops at it.
TEST(XmlParseDeathTest, ASignalStopsTheParseOfALargeDocument) {
  for (const std::string& text :
       {"<a>" + std::string(64 << 20, 'x') + "</a>",
        "<a>" + Repeated(300000, [](int) { return "<b/>"; }) + "</a>",
        "<a" + Repeated(300000, [](int i) { return Attr(i, "v"); }) + "/>"}) {
    EXPECT_EXIT(
        {
          InstallInterruptHandlers();
          raise(SIGTERM);
          const std::string error = KindAndMessageOf([&] { Parse(text); });
          std::_Exit(error == "EInterrupted: Interrupted by SIGTERM" ? 3 : 4);
        },
        ::testing::ExitedWithCode(3), "")
        << text.substr(0, 20);
  }
}

TEST(XmlParse, FailedLoadKeepsWhatWasBuilt) {
  IXmlDocument doc = NewXmlDocument();
  EXPECT_THROW(doc->LoadFromXmlText("<a><b x='1'/><c>"), Exception);
  EXPECT_EQ(Tree(*doc.Get()), "#document(a(b[x=1] c))");
}

TEST(XmlParse, MarkupAcrossTheReadBlockEdgeReadsWhole) {
  // Names, values, entities, end tags and comments are moved over the first block edge
  // byte by byte, with and without decoding.
  const std::string tail =
      "<groundspeak:name attr='va&amp;lue' b=\"plain value\">te&lt;xt\nmore</groundspeak:name>"
      "<!--c--><![CDATA[d]]></r>";
  for (std::string head : {std::string("<r>"), std::string("<?xml encoding='utf-8'?>\n<r>")})
    for (size_t shift = 0; shift < 90; ++shift) {
      size_t filler = 16384 - head.size() - 60 + shift;
      ASSERT_EQ(Tree(*Parse(head + std::string(filler, 'f') + tail)->GetDocumentElement().Get()),
                "r('" + std::string(filler, 'f') +
                    "' groundspeak:name[attr=va&lue b=plain value]('te<xt\nmore') #comment'c' "
                    "#cdata-section'd')")
          << shift;
    }
}

TEST(XmlParse, DeepNestingParsesClonesWritesAndReleases) {
  const int depth = 200000;
  std::string text = Repeated(depth, [](int) { return "<a>"; }) + "x" +
                     Repeated(depth, [](int) { return "</a>"; });
  IXmlDocument doc = Parse(text, true);
  EXPECT_EQ(doc->GetXml(), text);  // every level, as read
  EXPECT_EQ(doc->GetDocumentElement()->CloneNode(true)->ChildCount(), 1);
  std::string binary = doc->GetBinaryForm();
  EXPECT_EQ(Parse(binary)->GetBinaryForm(), binary);
  // Releasing the document frees all levels without deep recursion (and without leaks,
  // which the sanitizer build checks).
}

TEST(XmlHooks, StartAndEndHooksSeeEachElementInOrder) {
  IXmlDocument doc = NewXmlDocument();
  std::string log;
  doc->SetElementStartHook([&](const IXmlNodeList& list, const IXmlNode& element) {
    log += "+" + std::string(element->GetNodeName()) + "(" +
           std::to_string(element->GetAttrCount()) + "," + std::to_string(list->GetCount()) + ")";
  });
  doc->SetElementEndHook([&](const IXmlNodeList& list, const IXmlNode& element) {
    log += "-" + std::string(element->GetNodeName()) + "(" + std::to_string(element->ChildCount()) +
           ")";
    EXPECT_EQ(list->Owner(), element->ParentNode());
  });
  doc->LoadFromXmlText("<a k='v'><b/>t<c></c></a>");
  EXPECT_EQ(log, "+a(1,1)+b(0,1)-b(0)+c(0,3)-c(0)-a(3)");
}

TEST(XmlLoad, StreamSkipsUtf8MarkAndRejectsUnicodeMarks) {
  const std::string a = "<a>x</a>", unicode = "error: Unicode Encoding is not supported by VoltXml";
  const std::pair<std::string, std::string> cases[] = {
      {"\xEF\xBB\xBF" + a, a},
      {std::string("\xFF\xFE", 2) + a, unicode},
      {std::string("\xFE\xFF", 2) + a, unicode},
      {std::string("\0\0\xFE\xFF", 4) + a, unicode}};
  for (const auto& [bytes, expected] : cases)
    EXPECT_EQ(Outcomes(bytes)[2], expected) << bytes;  // from a stream
}

// Every way to load gives what a whole load in place gives: byte by byte, and filtered, which
// keeps exactly what a whole load holds there and fails exactly where it fails.
TEST(XmlLoad, EveryWayToLoadGivesWhatAWholeLoadInPlaceGives) {
  const TXmlLoadFilter filter({"a\\k", "a\\p\\k", "a\\p\\k\\q"});
  std::mt19937 random(5);
  const std::vector<std::string> pieces = Pieces(
      "x| |\n|\r\n|&lt;|&gt;|&amp;|&quot;|&apos;|&#65;|&#x41;|&#233;|&#xD800;|&#x1F600;|&#;|"
      "&bogus;|&|&#x;|&lt|&#65|&#X41;|\xC3\xA9|<b/>|<c>t</c>|<!--k-->|"
      "<d x='&lt;&amp;' y=\"v\nw\" z='\nv\n' e=''/>|<e x='<'/>|&#9;|&#99999999999;|"
      "a run of text longer than sixteen bytes\r\n|\r\n                      |"
      "\t\n\t\n\t\n\t\n\t\n\t\n\t\n\t\n\t|</z>|<k>v</k>|<k/>|<p>|</p>|<p x='&amp;'>|<q>|</q>|"
      "<q x='1'/>|<q x=1/>|<q x='<'/>|<q\"/>|<k x='1' y=\"&lt;\"><q>w</q><!--c--></k>|"
      "<k><p><k>deep</k></p></k>|<p><k>inner &amp; <q/></k><q>dropped</q></p>|<!-- open|"
      "<![CDATA[<raw>]]>|<?pi data?>|<?xml version='1.0' encoding='latin2'?>|</k>");
  std::vector<std::string> texts;
  for (int round = 0; round < 1500; ++round) {
    std::string body;
    for (int i = int(random() % 12); i > 0; --i) body += pieces[random() % pieces.size()];
    texts.push_back("<a>" + body + "</a>          ");  // long enough to be looked at
  }
  // Every byte after a long name: in it or after it, the same either way.
  for (int b = 1; b < 256; ++b)
    texts.push_back("<a><" + std::string(18, 'n') + char(b) + "y z='1'/></a>          ");
  for (const std::string& text : texts) {
    std::array<std::string, 4> ways = Outcomes(text);  // in place, then trickled
    ASSERT_EQ(std::tuple(ways[0], ways[1]), std::tuple(ways[2], ways[3])) << text;
    ASSERT_EQ(Outcomes(text, &filter), Outcomes(text, &filter, true)) << text;
  }
  // A document element the filter does not name is dropped whole, checked all the same.
  EXPECT_EQ(Outcomes("<b><k/></b>", &filter), (std::array<std::string, 4>{}));
  for (const char* broken : {"<b><k></b>", "<b>"})
    EXPECT_EQ(Outcomes(broken, &filter), Outcomes(broken)) << broken;
}

// A load replaces the document's attributes too, and keeps its name table.
TEST(XmlLoad, LoadingAgainReplacesTheTreeUnlessTheResourceIsMissing) {
  IXmlDocument doc = Parse("<keep/>");
  doc->SetAttrText("stale", "1");
  TXmlNameID keep = doc->Names().FindID("keep");
  doc->LoadModuleResource("XML", "MISSING");
  RegisterModuleResource("xml", "empty", "");
  doc->LoadModuleResource("XML", "EMPTY");
  EXPECT_EQ(Tree(*doc.Get()), "#document[stale=1](keep)");
  RegisterModuleResource("xml", "defaults", "<defaults/>");
  doc->LoadModuleResource("XML", "Defaults");
  EXPECT_EQ(std::tuple(Tree(*doc.Get()), doc->Names().FindID("keep")),
            std::tuple("#document(defaults)", keep));
}

}  // namespace
}  // namespace voltrane::test
