// Inputs that the fuzzers found mishandled, each kept as the behaviour it now has.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace voltrane
