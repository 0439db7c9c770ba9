// The parser: what it accepts, the tree it builds, and each error with its position.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <functional>
#include <random>

#include "XmlTestSupport.h"
#include "rt/Exception.h"
#include "rt/Interrupt.h"
#include "rt/Stream.h"
#include "xml/VoltXml.h"
#include "xml/XmlResources.h"

namespace voltrane {
namespace {

using test::Parse;
using test::TTrickleStream;

std::string ParseError(const std::string& text) {
  try {
    Parse(text);
  } catch (const Exception& e) {
    EXPECT_EQ(e.KindName(), "Exception");
    return e.Message();
  }
  return "(no error)";
}

// Child values of the document element, one line each, for compact expectations.
std::string Children(const IXmlNode& node) {
  std::string out;
  for (int i = 0; i < node->ChildCount(); ++i) {
    TXmlNode* child = node->ChildAt(i);
    out += std::to_string(child->GetNodeType()) + ":" + std::string(child->GetNodeName()) + "=" +
           VarToStr(child->GetNodeValue()) + "\n";
  }
  return out;
}

TEST(XmlParse, EmptyTextGivesEmptyDocument) {
  IXmlDocument doc = Parse("");
  EXPECT_EQ(doc->ChildCount(), 0);
}

TEST(XmlParse, RecordBuilderTextGivesDeclarationAndRootWithoutBlankTexts) {
  IXmlDocument doc = Parse(
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<gpx>\r\n<wpt lat=\"1.5\">\r\n"
      "  <name>GC1</name>\r\n</wpt></gpx>\r\n");
  ASSERT_EQ(doc->ChildCount(), 2);
  TXmlNode* decl = doc->ChildAt(0);
  EXPECT_EQ(decl->GetNodeType(), xntProcessingInstruction);
  EXPECT_EQ(decl->GetNodeName(), "xml");
  EXPECT_EQ(decl->GetAttrCount(), 2);
  EXPECT_EQ(decl->GetAttrText("version"), "1.0");
  EXPECT_EQ(decl->GetAttrText("encoding"), "utf-8");
  EXPECT_EQ(doc->ChildAt(1)->GetNodeName(), "gpx");
  IXmlNode wpt = doc->SelectNodeByPath("gpx\\wpt");
  ASSERT_TRUE(wpt);
  EXPECT_EQ(wpt->ChildCount(), 1);
  EXPECT_EQ(VarToStr(wpt->GetValueByPath("name")), "GC1");
}

TEST(XmlParse, TextIsTrimmedUnlessWhiteSpaceIsKept) {
  IXmlDocument doc = Parse("<a> x &amp; y </a>");
  ASSERT_EQ(doc->ChildAt(0)->ChildCount(), 1);
  EXPECT_EQ(VarToStr(doc->ChildAt(0)->ChildAt(0)->GetNodeValue()), "x & y");

  IXmlDocument kept = Parse("<a> x &amp; y </a>", true);
  EXPECT_EQ(VarToStr(kept->ChildAt(0)->ChildAt(0)->GetNodeValue()), " x & y ");
  EXPECT_EQ(kept->ChildAt(0)->GetText(), " x & y ");
  // Between tags a kept blank run is a node of its own.
  EXPECT_EQ(Parse("<a> <b/> </a>", true)->ChildAt(0)->ChildCount(), 3);
  EXPECT_EQ(Parse("<a> <b/> </a>")->ChildAt(0)->ChildCount(), 1);
}

TEST(XmlParse, EmptyElementFormsGiveNoChildren) {
  for (const char* text : {"<a/>", "<a></a>", "<a  />", "<a></a >"}) {
    IXmlDocument doc = Parse(text);
    ASSERT_EQ(doc->ChildCount(), 1) << text;
    EXPECT_EQ(doc->ChildAt(0)->ChildCount(), 0) << text;
  }
}

TEST(XmlParse, RepeatedAttributeKeepsTheLastValueInPlace) {
  IXmlDocument doc = Parse("<a x=\"1\" y='q' x='2'/>");
  TXmlNode* a = doc->ChildAt(0);
  ASSERT_EQ(a->GetAttrCount(), 2);
  EXPECT_EQ(a->GetAttrNameAt(0), "x");
  EXPECT_EQ(a->GetAttrText("x"), "2");
  EXPECT_EQ(a->GetAttrText("y"), "q");
}

// The pieces for 0 to count - 1, joined.
std::string Repeated(int count, const std::function<std::string(int)>& piece) {
  std::string text;
  for (int i = 0; i < count; ++i) text += piece(i);
  return text;
}

std::string Attr(int i, const std::string& value) {
  return " n" + std::to_string(i) + "='" + value + "'";
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
  const std::string kCases[] = {
      "<a>" + std::string(64 << 20, 'x') + "</a>",
      "<a>" + Repeated(300000, [](int) { return "<b/>"; }) + "</a>",
      "<a" + Repeated(300000, [](int i) { return Attr(i, "v"); }) + "/>",
  };
  for (const std::string& text : kCases) {
    EXPECT_EXIT(
        {
          InstallInterruptHandlers();
          raise(SIGTERM);
          try {
            Parse(text);
          } catch (const EInterrupted& e) {
            std::_Exit(std::string(e.what()) == "Interrupted by SIGTERM" ? 3 : 4);
          }
          std::_Exit(0);
        },
        ::testing::ExitedWithCode(3), "")
        << text.substr(0, 20);
  }
}

TEST(XmlParse, AttributeValuesKeepControlBytesAndDecodeEntities) {
  IXmlDocument doc = Parse("<a v=\"1\t2\r\n3 &lt;&gt;&quot;&apos;&#65;\"/>");
  EXPECT_EQ(doc->ChildAt(0)->GetAttrText("v"), "1\t2\r\n3 <>\"'A");
}

TEST(XmlParse, CommentsCDataAndTextStaySeparate) {
  IXmlDocument doc = Parse("<a>1<!--c-->2<![CDATA[ <x>&amp; ]]></a>");
  EXPECT_EQ(Children(IXmlNode(doc->ChildAt(0))),
            "2:#text=1\n5:#comment=c\n2:#text=2\n3:#cdata-section=<x>&amp;\n");
}

TEST(XmlParse, CommentEndsAfterTrailingDashes) {
  IXmlDocument doc = Parse("<!--a- b--->");
  ASSERT_EQ(doc->ChildCount(), 1);
  EXPECT_EQ(doc->ChildAt(0)->ToComment()->Data(), "a- b-");
  EXPECT_EQ(Parse("<![CDATA[x]]]]>")->ChildAt(0)->ToCDATASection()->Data(), "x]]");
}

TEST(XmlParse, ProcessingInstructionKeepsDataWithSeparatingBlank) {
  IXmlDocument doc = Parse("<?pi some data?><a/>");
  TXmlNode* pi = doc->ChildAt(0);
  EXPECT_EQ(pi->GetNodeName(), "pi");
  EXPECT_EQ(pi->GetText(), " some data");
  EXPECT_EQ(pi->GetAttrCount(), 0);
}

TEST(XmlParse, DocumentTypeEndsAtFirstGreaterThan) {
  IXmlDocument doc = Parse("<!DOCTYPE gpx [<!ENTITY x \"y\">]><gpx/>");
  ASSERT_EQ(doc->ChildCount(), 2);
  EXPECT_EQ(doc->ChildAt(0)->GetNodeType(), xntText);
  EXPECT_EQ(VarToStr(doc->ChildAt(0)->GetNodeValue()), "]>");
  EXPECT_EQ(doc->ChildAt(1)->GetNodeName(), "gpx");
}

TEST(XmlParse, DocumentLevelEndTagStopsParsingSilently) {
  IXmlDocument doc = Parse("<a/></b><c/>");
  ASSERT_EQ(doc->ChildCount(), 1);
  IXmlDocument several = Parse("<a/><b/>text");
  EXPECT_EQ(several->ChildCount(), 3);
}

TEST(XmlParse, NamesMayHoldColonsDigitsAndHighBytes) {
  IXmlDocument doc =
      Parse("<groundspeak:cache _a-1.b=\"v\"><n\xC3\xA9me>x</n\xC3\xA9me></groundspeak:cache>");
  TXmlNode* cache = doc->ChildAt(0);
  EXPECT_EQ(cache->GetNodeName(), "groundspeak:cache");
  EXPECT_EQ(cache->GetAttrText("_a-1.b"), "v");
  EXPECT_EQ(VarToStr(cache->GetValueByPath("n\xC3\xA9me")), "x");
}

TEST(XmlParse, LoadingAgainReplacesTheTreeAndKeepsTheNameTable) {
  IXmlDocument doc = Parse("<a x='1'><b/></a>");
  TXmlNameID a = doc->Names().FindID("a");
  doc->SetAttrText("stale", "1");
  doc->LoadFromXmlText("<c/>");
  ASSERT_EQ(doc->ChildCount(), 1);
  EXPECT_EQ(doc->ChildAt(0)->GetNodeName(), "c");
  EXPECT_EQ(doc->GetAttrCount(), 0);
  EXPECT_EQ(doc->Names().FindID("a"), a);
}

TEST(XmlParse, MarkupAcrossTheReadBlockEdgeReadsWhole) {
  // Names, values, entities, end tags and comments are moved over the first block edge
  // byte by byte, with and without decoding.
  const std::string tail =
      "<groundspeak:name attr='va&amp;lue' b=\"plain value\">te&lt;xt\nmore</groundspeak:name>"
      "<!--c--><![CDATA[d]]></r>";
  for (std::string head : {std::string("<r>"), std::string("<?xml encoding='utf-8'?>\n<r>")}) {
    for (size_t shift = 0; shift < 90; ++shift) {
      size_t filler = 16384 - head.size() - 60 + shift;
      IXmlDocument doc = Parse(head + std::string(filler, 'f') + tail);
      IXmlNode name = doc->SelectNodeByPath("r\\groundspeak:name");
      ASSERT_TRUE(name) << shift;
      EXPECT_EQ(name->GetAttrText("attr"), "va&lue") << shift;
      EXPECT_EQ(name->GetAttrText("b"), "plain value") << shift;
      EXPECT_EQ(name->GetText(), "te<xt\nmore") << shift;
      TXmlNode* r = doc->GetDocumentElement().Get();
      ASSERT_EQ(r->ChildCount(), 4) << shift;
      EXPECT_EQ(r->ChildAt(2)->GetText(), "c") << shift;
      EXPECT_EQ(r->ChildAt(3)->GetText(), "d") << shift;
    }
  }
}

TEST(XmlParse, PositionsCountLinesInsideLongRuns) {
  EXPECT_EQ(ParseError("<a>\n\n  text\r\n more\n<b x='1\n2'/>\n</c>"),
            "Text \"a\" expected at [7:3]");
}

// --- entities

TEST(XmlEntities, NumericReferencesGiveUtf8OfTheirCodePoint) {
  auto text = [](const std::string& body) {
    return VarToStr(Parse("<a>" + body + "</a>")->ChildAt(0)->GetNodeValue());
  };
  EXPECT_EQ(text("&#65;"), "A");
  EXPECT_EQ(text("&#x41;"), "A");
  EXPECT_EQ(text("&#233;"), "\xC3\xA9");
  EXPECT_EQ(text("&#xe9;"), "\xC3\xA9");
  EXPECT_EQ(text("&#x1F600;"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(text("&#128512;"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(text("&#256;"), "\xC4\x80");
  // What no character can be: U+FFFD.
  EXPECT_EQ(text("&#0;"), "\xEF\xBF\xBD");
  EXPECT_EQ(text("&#xD800;"), "\xEF\xBF\xBD");
  EXPECT_EQ(text("&#x110000;"), "\xEF\xBF\xBD");
  EXPECT_EQ(text("&#99999999999999999999;"), "\xEF\xBF\xBD");
  EXPECT_EQ(text("x&lt;&gt;&amp;&quot;&apos;y"), "x<>&\"'y");
}

TEST(XmlEntities, MalformedReferencesFailWithTheirPositions) {
  EXPECT_EQ(ParseError("<a>&#X41;</a>"), "Number expected at [1:6]");
  EXPECT_EQ(ParseError("<a>&#;</a>"), "Number expected at [1:6]");
  EXPECT_EQ(ParseError("<a>&#x;</a>"), "Hexadecimal number expected at [1:7]");
  EXPECT_EQ(ParseError("<a>&#x"), "Hexadecimal number expected at [1:6]");
  EXPECT_EQ(ParseError("<a>&#"), "Number expected at [1:5]");
  EXPECT_EQ(ParseError("<a>&"), "\"#\" or XML entity symbol name expected at [1:4]");
  EXPECT_EQ(ParseError("<a>&#65</a>"), "Character \";\" expected at [1:8]");
  EXPECT_EQ(ParseError("<a>&nbsp;</a>"), "Unknown XML entity symbol name \"nbsp\" found at [1:10]");
  EXPECT_EQ(ParseError("<a>&AMP;</a>"), "Unknown XML entity symbol name \"AMP\" found at [1:9]");
  EXPECT_EQ(ParseError("<a>& b</a>"), "Name must start with letter or \"_\" at [1:5]");
}

// --- errors and positions

TEST(XmlErrors, EachMessageCarriesLineAndColumn) {
  struct TCase {
    const char* text;
    const char* message;
  } cases[] = {
      {"<a></b>", "Text \"a\" expected at [1:6]"},
      {"<abc></abd>", "Text \"c\" expected at [1:10]"},
      {"<a x=1>", "Line constant expected at [1:6]"},
      {"<a>", "Character \"/\" expected at [1:3]"},
      {"<a><b>text", "Character \"/\" expected at [1:10]"},
      {"<a>\n<b>\n</b>", "Character \"/\" expected at [3:4]"},
      {"<a x>", "Character \"=\" expected at [1:5]"},
      {"<a x=", "The value of the attribute is expected at [1:5]"},
      {"<a x='1", "\"'\" expected at [1:7]"},
      {"<a x=\"<\"/>", "Character \"<\" cannot be used in the values of attributes at [1:7]"},
      {"<a x='1' 2/>", "Character \">\" expected at [1:10]"},
      {"<a/ >", "Text \">\" expected at [1:4]"},
      {"< a/>", "Name must start with letter or \"_\" at [1:2]"},
      {"<1/>", "Name must start with letter or \"_\" at [1:2]"},
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
      {"<?xml encoding='latin2'?>", "Encoding \"latin2\" is not supported by VoltXml"},
      {"<a>\r\n  <b></c>", "Text \"b\" expected at [2:8]"},
  };
  for (const TCase& c : cases) EXPECT_EQ(ParseError(c.text), c.message) << c.text;
}

TEST(XmlErrors, FailedLoadKeepsWhatWasBuilt) {
  IXmlDocument doc = NewXmlDocument();
  EXPECT_THROW(doc->LoadFromXmlText("<a><b x='1'/><c>"), Exception);
  ASSERT_EQ(doc->ChildCount(), 1);
  EXPECT_EQ(doc->ChildAt(0)->ChildCount(), 2);
}

TEST(XmlErrors, MessageCanBeExtendedByTheCaller) {
  try {
    Parse("<a>");
    FAIL();
  } catch (Exception& e) {
    e.AppendToMessage(" in waypoint 3");
    EXPECT_EQ(e.Message(), "Character \"/\" expected at [1:3] in waypoint 3");
  }
}

// --- depth

TEST(XmlDepth, DeepNestingParsesSelectsWritesAndReleases) {
  const int depth = 200000;
  std::string text;
  text.reserve(size_t(depth) * 8);
  for (int i = 0; i < depth; ++i) text += "<a>";
  text += "x";
  for (int i = 0; i < depth; ++i) text += "</a>";
  IXmlDocument doc = Parse(text);
  TXmlNode* node = doc.Get();
  int levels = 0;
  while (node->ChildCount() > 0 && node->ChildAt(0)->GetNodeType() == xntElement) {
    node = node->ChildAt(0);
    ++levels;
  }
  EXPECT_EQ(levels, depth);
  EXPECT_EQ(node->GetText(), "x");
  EXPECT_EQ(doc->GetDocumentElement()->CloneNode(true)->ChildCount(), 1);
  std::string binary = doc->GetBinaryForm();
  IXmlDocument copy = NewXmlDocument();
  copy->LoadBinaryForm(binary);
  EXPECT_EQ(copy->GetBinaryForm(), binary);
  doc->SetKeepWhiteSpace(true);
  EXPECT_EQ(doc->GetXml(), text);
  // Releasing the document frees all levels without deep recursion (and without leaks,
  // which the sanitizer build checks).
}

TEST(XmlDepth, UnclosedDeepNestingFailsCleanly) {
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "<a>";
  EXPECT_EQ(ParseError(text), "Character \"/\" expected at [1:60000]");
}

// --- hooks

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

TEST(XmlHooks, EndHookMayDropTheElement) {
  IXmlDocument doc = NewXmlDocument();
  doc->SetElementEndHook([](const IXmlNodeList& list, const IXmlNode& element) {
    if (element->GetNodeName() == "wpt") list->Owner()->RemoveChild(element);
  });
  doc->LoadFromXmlText("<gpx><wpt><name>1</name></wpt><wpt/><trk/></gpx>");
  EXPECT_EQ(Children(doc->GetDocumentElement()), "1:trk=\n");
}

// --- loading from streams, files and resources

TEST(XmlLoad, StreamSkipsUtf8MarkAndRejectsUnicodeMarks) {
  IXmlDocument doc = NewXmlDocument();
  TMemoryStream bom(std::string("\xEF\xBB\xBF<a>x</a>"));
  doc->LoadStream(bom);
  EXPECT_EQ(VarToStr(doc->GetValueByPath("a")), "x");
  for (std::string mark : {std::string("\xFF\xFE", 2), std::string("\xFE\xFF", 2),
                           std::string("\0\0\xFE\xFF", 4), std::string("\xFF\xFE\0\0", 4)}) {
    TMemoryStream stream(mark + "<a>x</a>");
    try {
      doc->LoadStream(stream);
      ADD_FAILURE();
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), "Unicode Encoding is not supported by VoltXml");
    }
  }
  TMemoryStream binary(Parse("<a>y</a>")->GetBinaryForm());
  doc->LoadStream(binary);
  EXPECT_EQ(VarToStr(doc->GetValueByPath("a")), "y");
}

// The tree as text, or the error with its position; white space kept and not.
std::string Outcome(const std::function<void(TXmlDocument&)>& load) {
  std::string outcome;
  for (bool keep : {true, false}) {
    IXmlDocument doc = NewXmlDocument();
    doc->SetKeepWhiteSpace(keep);
    try {
      load(*doc.Get());
      outcome += doc->GetXml() + "\n";
    } catch (const Exception& e) {
      outcome += "error: " + e.Message() + "\n";
    }
  }
  return outcome;
}

TEST(XmlLoad, RunsReadInPlaceGiveWhatByteByByteReadingGives) {
  std::mt19937 random(5);
  const std::string pieces[] = {"x",
                                " ",
                                "\n",
                                "\r\n",
                                "&lt;",
                                "&gt;",
                                "&amp;",
                                "&quot;",
                                "&apos;",
                                "&#65;",
                                "&#x41;",
                                "&#233;",
                                "&#xD800;",
                                "&#x1F600;",
                                "&#;",
                                "&bogus;",
                                "&",
                                "&#x;",
                                "&lt",
                                "&#65",
                                "&#X41;",
                                "\xC3\xA9",
                                "<b/>",
                                "<c>t</c>",
                                "<!--k-->",
                                "<d x='&lt;&amp;' y=\"v\nw\" z='\nv\n' e=''/>",
                                "<e x='<'/>",
                                "&#9;",
                                "&#99999999999;",
                                "a run of text longer than sixteen bytes\r\n",
                                "\r\n                      ",
                                "\t\n\t\n\t\n\t\n\t\n\t\n\t\n\t\n\t",
                                "</z>"};
  for (int round = 0; round < 400; ++round) {
    std::string body;
    for (int i = int(random() % 12); i > 0; --i) body += pieces[random() % std::size(pieces)];
    std::string text = "<a>" + body + "</a>          ";  // long enough to be looked at
    std::string inPlace = Outcome([&](TXmlDocument& doc) { doc.LoadFromXmlText(text); });
    std::string trickled = Outcome([&](TXmlDocument& doc) {
      TTrickleStream stream(text);
      doc.LoadStream(stream);
    });
    ASSERT_EQ(inPlace, trickled) << text;
  }
  // Every byte after a long name: in it or after it, the same either way.
  for (int b = 1; b < 256; ++b) {
    std::string text = "<a><" + std::string(18, 'n') + char(b) + "y z='1'/></a>          ";
    std::string inPlace = Outcome([&](TXmlDocument& doc) { doc.LoadFromXmlText(text); });
    std::string trickled = Outcome([&](TXmlDocument& doc) {
      TTrickleStream stream(text);
      doc.LoadStream(stream);
    });
    ASSERT_EQ(inPlace, trickled) << b;
  }
}

TEST(XmlLoad, MissingResourceLeavesTheDocumentAlone) {
  IXmlDocument doc = Parse("<keep/>");
  doc->LoadModuleResource("XML", "MISSING");
  EXPECT_EQ(doc->ChildAt(0)->GetNodeName(), "keep");
  RegisterModuleResource("xml", "empty", "");
  doc->LoadModuleResource("XML", "EMPTY");
  EXPECT_EQ(doc->ChildAt(0)->GetNodeName(), "keep");
  RegisterModuleResource("xml", "defaults", "<defaults/>");
  doc->LoadModuleResource("XML", "Defaults");
  EXPECT_EQ(doc->ChildAt(0)->GetNodeName(), "defaults");
}

}  // namespace
}  // namespace voltrane
