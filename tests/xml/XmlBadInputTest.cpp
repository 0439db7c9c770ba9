// Inputs that the fuzzers found mishandled, each kept as the behaviour it now has.
#include <gtest/gtest.h>

#include <cmath>

#include "rt/Exception.h"
#include "rt/Stream.h"
#include "xml/VoltXml.h"

namespace voltrane {
namespace {

TEST(XmlBadInput, WideBinaryFormOfNamesThatAreNotUtf8LoadsBack) {
  // Bytes of 128 and above are name letters, so a name need not be UTF-8; as UTF-16 each
  // bad byte becomes U+FFFD, and the nodes must still find their names.
  IXmlDocument doc = NewXmlDocument();
  doc->LoadFromXmlText("<a\xFF b\xFE=\"1\"><?p\xFF data?><c/></a\xFF>");
  TMemoryStream stream;
  doc->SaveBinaryFormStream(stream, kBinaryXmlWideStrings);
  stream.SetPosition(0);
  IXmlDocument copy = NewXmlDocument();
  copy->LoadStream(stream);
  const std::string bad = "\xEF\xBF\xBD";
  IXmlElement a = copy->GetDocumentElement();
  ASSERT_TRUE(a);
  EXPECT_EQ(a->GetNodeName(), "a" + bad);
  EXPECT_EQ(a->GetAttrText("b" + bad), "1");
  ASSERT_EQ(a->ChildCount(), 2);
  EXPECT_EQ(a->ChildAt(0)->GetNodeName(), "p" + bad);
  EXPECT_EQ(a->ChildAt(0)->GetText(), " data");
  EXPECT_EQ(a->ChildAt(1)->GetNodeName(), "c");
}

TEST(XmlBadInput, DateOfABinaryFormBeyondEveryCalendarWritesAsText) {
  // A damaged binary form once decoded a date of NaN through an overflowing negation.
  IXmlDocument doc = NewXmlDocument("r");
  doc->GetDocumentElement()->SetAttrAsDateTime("d", std::nan(""));
  doc->GetDocumentElement()->SetAttrAsDateTime("e", 1e300);
  IXmlDocument copy = NewXmlDocument();
  copy->LoadBinaryForm(doc->GetBinaryForm());
  EXPECT_EQ(copy->GetDocumentElement()->GetXml(),
            "\r\n<r d=\"1899-12-30T00:00:00\" e=\"9999-12-31T23:59:59\"/>");
}

}  // namespace
}  // namespace voltrane
