// What the library writes: values as text, the text form with its layout, saving in a
// code page, and the binary form; each read back again.
#include <gtest/gtest.h>

#include <cmath>

#include "TestSupport.h"
#include "XmlTestSupport.h"
#include "xml/XmlBinary.h"

namespace voltrane::test {
namespace {

// A value of every kind with its text; the binary form must keep each of them.
const std::pair<TVariant, std::string> kValues[] = {
    {TVariant(), ""},
    {TVariant::Null(), "{{null}}"},
    {TVariant(int32_t(-12)), "-12"},
    {TVariant(int64_t(-9000000000)), "-9000000000"},
    {TVariant::LongWord(4000000000u), "4000000000"},
    {TVariant::ShortInt(-5), "-5"},
    {TVariant::Byte(200), "200"},
    {TVariant::Smallint(-300), "-300"},
    {TVariant::Word(60000), "60000"},
    {TVariant(-0.0025), "-2.50000000000000E-0003"},
    {TVariant::Single(0.5f), "5.00000000000000E-0001"},
    {TVariant::Currency(12345), "1.23450000000000E+0000"},
    {TVariant(std::nan("")), "NAN"},
    {TVariant::DateTime(EncodeDateTime({2024, 2, 29, 23, 59, 58, 900})), "2024-02-29T23:59:58"},
    // Dates beyond every calendar: a damaged binary form once decoded NaN through an
    // overflowing negation.
    {TVariant::DateTime(std::nan("")), "1899-12-30T00:00:00"},
    {TVariant::DateTime(1e300), "9999-12-31T23:59:59"},
    {TVariant(true), "1"},
    {TVariant(false), "0"},
    {TVariant("as is"), "as is"},
    {TVariant::Wide(u"\u00E9\U0001F600"), "\xC3\xA9\xF0\x9F\x98\x80"},
    {TVariant::Bytes("any carnal pleas"), "YW55IGNhcm5hbCBwbGVhcw=="},
};

TEST(XmlValues, TextOfEachKindAndGeneralConversions) {
  for (const auto& [value, text] : kValues) EXPECT_EQ(ValueToXmlText(value), text);
  // 2.5 rounds half to even.
  EXPECT_EQ(std::tuple(VarToStr(TVariant()), VarToStr(TVariant::Null()), VarToStr(TVariant(0.1)),
                       VarToStr(TVariant(true)), VarToInt(TVariant(2.5)), VarToInt(TVariant(" 42")),
                       VarToBool(TVariant("TRUE")), VarToBool(TVariant("2")),
                       VarEquals(TVariant("5"), TVariant(5.0)),
                       VarEquals(TVariant(int32_t(3)), TVariant::Byte(3)),
                       VarEquals(TVariant(), TVariant(""))),
            std::tuple("", "", "0.1", "True", 2, 42, true, true, true, true, false));
  const std::string cannot = "Could not convert variant of type ";
  EXPECT_EQ(ErrorOf([] { VarToInt(TVariant("4x")); }), cannot + "(String) into type (Integer)");
  EXPECT_EQ(ErrorOf([] { VarToInt(TVariant(int64_t(1) << 40)); }),
            cannot + "(Int64) into type (Integer)");
  EXPECT_EQ(ErrorOf([] { VarToBool(TVariant("yes")); }), cannot + "(String) into type (Boolean)");
  EXPECT_EQ(ErrorOf([] { XmlTextToDateTime("2021-02-30"); }),
            "'2021-02-30' is not a valid date and time");
}

TEST(XmlOutput, LayoutIndentsElementsAndEscapesValues) {
  IXmlDocument doc = Parse(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><gpx a='&lt;&amp;&quot;&apos;'><wpt><name>A &amp; "
      "B</name><desc>line1\nline2</desc><!--c--><![CDATA[x]]]]><![CDATA[>y]]><?pi "
      "d?><e/></wpt></gpx>");
  EXPECT_EQ(doc->GetXml(),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
            "\r\n<gpx a=\"&lt;&amp;&quot;'\">"
            "\r\n\t<wpt>"
            "\r\n\t\t<name>A &amp; B</name>"
            "\r\n\t\t<desc>line1\nline2\r\n\t\t</desc>"
            "<!--c--><![CDATA[x]]]]><![CDATA[>y]]><?pi d?>"
            "\r\n\t\t<e/>"
            "\r\n\t</wpt>"
            "\r\n</gpx>");
}

TEST(XmlOutput, ElementDataAndTypedValuesAreWrittenAsText) {
  IXmlElement r = NewXmlDocument("r")->GetDocumentElement();
  r->AddElement("n")->SetNodeValue(TVariant(int32_t(7)));
  r->AddText("tail");
  EXPECT_EQ(r->GetXml(), "\r\n<r>\r\n\t<n>7</n>tail\r\n</r>");
  // An end tag after content already ending in a line break gets only its tabs.
  IXmlNode a = Parse("<a><b>x</b>\r\n</a>")->GetDocumentElement();
  a->AddText("y\r\n");
  EXPECT_EQ(a->GetXml(), "\r\n<a>\r\n\t<b>x</b>y\r\n</a>");
}

TEST(XmlOutput, SavingInASingleByteCodePageRoundTrips) {
  IXmlDocument doc = NewXmlDocument("r", "1.0", "ISO-8859-2");
  IXmlElement r = doc->GetDocumentElement();
  // š is in the page, € is not.
  const std::string text = Repeated(3000, [](int) { return "\xC5\xA1\xE2\x82\xAC"; });
  r->AddElement("t")->SetText(text);
  r->SetAttrText("v", "\xC5\xA1");
  TMemoryStream stream;
  doc->SaveStream(stream);
  const std::string start =
      "<?xml version=\"1.0\" encoding=\"ISO-8859-2\"?>\r\n<r v=\"\xB9\">\r\n\t<t>\xB9&#8364;\xB9";
  EXPECT_EQ(stream.DataString().substr(0, start.size()), start);
  EXPECT_EQ(VarToStr(Parse(stream.DataString())->GetValueByPath("r\\t")), text);
}

TEST(XmlOutput, FilesHoldTheTextFormAndUnknownEncodingsFailBeforeOneIsCreated) {
  TTempFolder dir;
  IXmlDocument good = NewXmlDocument("r");
  good->SaveFile(dir / "out.xml");
  EXPECT_EQ(ReadFile(dir / "out.xml"), good->GetXml());
  EXPECT_EQ(ErrorOf([&] { NewXmlDocument("r", "1.0", "latin2")->SaveFile(dir / "bad.xml"); }),
            "Encoding \"latin2\" is not supported by VoltXml");
  EXPECT_FALSE(PathExists(dir / "bad.xml"));
  EXPECT_EQ(
      KindAndMessageOf([&] { good->LoadFile(dir / "missing.xml"); }),
      "EFOpenError: Cannot open file \"" + dir / "missing.xml" + "\". No such file or directory");
}

IXmlDocument RichDocument() {
  IXmlDocument doc =
      Parse("<?xml version='1.0'?><!--top--><r a='1'><![CDATA[c]]><?p data?>text</r>");
  IXmlElement r = doc->GetDocumentElement();
  int i = 0;
  for (const auto& [value, text] : kValues) r->SetAttrValue("k" + std::to_string(i++), value);
  r->AddElement("typed")->SetNodeValue(TVariant(3.75));
  r->AddText("")->SetNodeValue(TVariant(int64_t(9)));
  doc->SetAttrText("docattr", "d");
  return doc;
}

// The text form, the document's attribute, and the kind and text of each attribute of the
// document element, which the text form alone does not tell apart.
std::string Typed(const IXmlDocument& doc) {
  std::string out = doc->GetXml() + "|" + doc->GetAttrText("docattr");
  TXmlNode* r = doc->GetDocumentElement().Get();
  for (int i = 0; i < r->GetAttrCount(); ++i)
    out += "|" + std::to_string(r->GetAttrValueAt(i).VarType()) + ":" +
           ValueToXmlText(r->GetAttrValueAt(i));
  return out;
}

TEST(XmlBinary, RoundTripsEveryKindOfNodeAndValueEachWay) {
  IXmlDocument doc = RichDocument();
  std::string form = doc->GetBinaryForm();
  EXPECT_EQ(form.substr(0, 18), std::string("< binary-xml >\0\0\0\0", 18));
  TMemoryStream wide;
  doc->SaveBinaryFormStream(wide, kBinaryXmlWideStrings);
  EXPECT_EQ(wide.DataString()[14], '\x01');
  wide.SetPosition(0);
  TTempFolder dir;
  doc->SaveBinaryFormFile(dir / "doc.bin");
  IXmlDocument binary = NewXmlDocument(), stream = NewXmlDocument(), file = NewXmlDocument();
  binary->LoadBinaryForm(form);
  stream->LoadStream(wide);
  file->LoadFile(dir / "doc.bin");
  // The text loader, a stream load and a file load recognise the form too.
  for (const auto& [way, copy] : {std::pair("binary", binary), std::pair("text", Parse(form)),
                                  std::pair("stream", stream), std::pair("file", file)})
    EXPECT_EQ(std::tuple(Typed(copy), copy->GetBinaryForm()), std::tuple(Typed(doc), form)) << way;
}

TEST(XmlBinary, CompactLengthsAtTheirLimits) {
  for (size_t length : {127u, 128u, 32511u, 32512u, 70000u}) {
    IXmlDocument doc = Parse("<r>" + std::string(length, 'x') + "</r>");
    EXPECT_EQ(Parse(doc->GetBinaryForm())->GetDocumentElement()->GetText().size(), length);
  }
}

TEST(XmlBinary, DamagedFormsRaise) {
  const std::string form = NewXmlDocument("r")->GetBinaryForm();
  std::string badKind = form, badType = Parse("<e a='v'/>")->GetBinaryForm();
  // Layout after the header: options, 4 names, document attributes, 2 children.
  size_t kind = badKind.find("\x02\x04", 18);
  // An attribute value's type code (256, little-endian) follows its name's hash.
  size_t type = badType.find(std::string("a\0\0\0\0\x01", 6), 18);
  ASSERT_TRUE(kind != std::string::npos && type != std::string::npos);
  badKind[kind + 1] = '\x09';
  badType[type + 4] = '\x63';
  const std::pair<std::string, std::string> cases[] = {
      {form.substr(0, form.size() - 1), "Error reading data"},
      {"not binary at all", "Error reading data"},
      {badKind, "Error reading binary XML: incorrect node-type"},
      {badType, "Error reading value: incorrect type"}};
  for (const auto& c : cases)
    EXPECT_EQ(ErrorOf([&] { NewXmlDocument()->LoadBinaryForm(c.first); }), c.second) << c.first;
}

TEST(XmlBinary, DocumentInsideATreeCannotBeWritten) {
  IXmlDocument doc = NewXmlDocument("r");
  doc->GetDocumentElement()->AppendChild(NewXmlDocument("", "", "", doc->GetNameTable()));
  EXPECT_EQ(ErrorOf([&] { doc->GetBinaryForm(); }),
            "Error writing binary XML: incorrect node-type");
  TTempFolder dir;
  EXPECT_THROW(doc->SaveBinaryFormFile(dir / "x.bin"), Exception);
  EXPECT_FALSE(PathExists(dir / "x.bin"));
}

// Bytes of 128 and above are name letters, so a name need not be UTF-8; as UTF-16 each bad
// byte becomes U+FFFD, and the nodes must still find their names (a fuzzer's find).
TEST(XmlBinary, WideFormOfNamesThatAreNotUtf8LoadsBack) {
  TMemoryStream stream;
  Parse("<a\xFF b\xFE=\"1\"><?p\xFF data?><c/></a\xFF>")
      ->SaveBinaryFormStream(stream, kBinaryXmlWideStrings);
  EXPECT_EQ(Tree(*Parse(stream.DataString()).Get()),
            "#document(a\xEF\xBF\xBD[b\xEF\xBF\xBD=1](p\xEF\xBF\xBD' data' c))");
}

}  // namespace
}  // namespace voltrane::test
