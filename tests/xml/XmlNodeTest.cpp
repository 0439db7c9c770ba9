// Selection by path, values and element text, attributes, tree editing, cloning and the
// lifetime of nodes.
#include <gtest/gtest.h>

#include <cmath>

#include "XmlTestSupport.h"
#include "rt/Exception.h"
#include "xml/VoltXml.h"

namespace voltrane {
namespace {

using test::ErrorOf;
using test::Parse;

const char kWaypoint[] =
    "<gpx><wpt lat=\"1.5\"><name>GC1</name><name>GC2</name><type>Geocache|Traditional</type>"
    "<extensions><groundspeak:cache><groundspeak:name> My &amp; cache </groundspeak:name>"
    "</groundspeak:cache><other:cache><cache>x</cache></other:cache></extensions>"
    "<urlname/></wpt></gpx>";

// --- selection

TEST(XmlSelect, PathsWalkChildElementsAndMissingItemsGiveEmptyText) {
  IXmlDocument doc = Parse(kWaypoint);
  IXmlNode wpt = doc->SelectNodeByPath("gpx\\wpt");
  ASSERT_TRUE(wpt);
  EXPECT_EQ(wpt->GetNodeName(), "wpt");
  EXPECT_EQ(VarToStr(wpt->GetValueByPath("name")), "GC1");  // the first of two
  EXPECT_EQ(VarToStr(wpt->GetValueByPath("@lat")), "1.5");
  EXPECT_EQ(VarToStr(wpt->GetValueByPath("type")), "Geocache|Traditional");
  for (const char* missing : {"@lon", "sym", "urlname", "extensions\\nothing\\deeper"}) {
    TVariant value = wpt->GetValueByPath(missing);
    EXPECT_EQ(VarToStr(value), "") << missing;
  }
  // Absent items give an 8-bit string holding "", an element without children its Data.
  EXPECT_EQ(wpt->GetValueByPath("@lon").VarType(), varString);
  EXPECT_EQ(wpt->GetValueByPath("sym").VarType(), varString);
  EXPECT_EQ(wpt->GetValueByPath("urlname").VarType(), varEmpty);
  EXPECT_FALSE(wpt->SelectNodeByPath("sym"));
  EXPECT_FALSE(doc->SelectNodeByPath("gpx\\trk\\name"));

  IXmlNode ext = wpt->SelectNodeByPath("extensions");
  ASSERT_TRUE(ext);
  EXPECT_EQ(VarToStr(ext->GetValueByPath("groundspeak:cache\\groundspeak:name")), "My & cache");
  EXPECT_FALSE(ext->SelectNodeByPath("cache"));  // only whole prefixed names match
  EXPECT_EQ(VarToStr(ext->GetValueByPath("other:cache\\cache")), "x");
  // The element's own text holds only its text children, none here.
  EXPECT_EQ(VarToStr(wpt->GetValueByPath("")), "");
}

TEST(XmlSelect, PathsThatAreNotNamesRaiseWhenTheWalkReachesThem) {
  IXmlDocument doc = Parse("<a><b/></a>");
  const std::string unsupported = "This feature is not supported by VoltXml";
  EXPECT_EQ(ErrorOf([&] { doc->SelectNodeByPath("@lat"); }), unsupported);
  EXPECT_EQ(ErrorOf([&] { doc->SelectNodeByPath("a\\\\b"); }), unsupported);
  EXPECT_EQ(ErrorOf([&] { doc->SelectNodeByPath(""); }), unsupported);
  EXPECT_EQ(ErrorOf([&] { doc->SelectNodeByPath("a/b"); }), unsupported);
  EXPECT_EQ(ErrorOf([&] { doc->SelectNodeByPath("a\\"); }), unsupported);
  EXPECT_EQ(ErrorOf([&] { doc->GetValueByPath("a\\@x"); }), unsupported);
  // A walk that ends before the bad step finds nothing and raises nothing.
  EXPECT_FALSE(doc->SelectNodeByPath("x\\\\b"));
  EXPECT_FALSE(doc->SelectNodeByPath("x\\@y"));
}

TEST(XmlSelect, CollectGathersAllMatchingChildrenOfTheLastStep) {
  IXmlDocument doc = Parse("<a><b>1</b><c/><b>2</b></a>");
  IXmlNodeList list = doc->CollectNodesByPath("a\\b");
  ASSERT_TRUE(list);
  ASSERT_EQ(list->GetCount(), 2);
  EXPECT_EQ(list->GetItem(1)->GetText(), "2");
  EXPECT_EQ(list->GetItem(0)->ParentNode()->GetNodeName(), "a");  // parents untouched
  EXPECT_EQ(doc->CollectNodesByPath("x")->GetCount(), 0);
  EXPECT_FALSE(doc->CollectNodesByPath("x\\b"));
  EXPECT_EQ(ErrorOf([&] { doc->CollectNodesByPath("a\\@b"); }),
            "This feature is not supported by VoltXml");
  EXPECT_EQ(ErrorOf([&] { list->GetItem(2); }), "Failed to get list item: Index 2 out of range");
  EXPECT_EQ(ErrorOf([&] { list->GetItem(-1); }), "Failed to get list item: Index -1 out of range");
  list->Exchange(0, 1);
  list->Exchange(0, 5);
  EXPECT_EQ(list->GetItem(0)->GetText(), "2");
  EXPECT_EQ(list->GetXml(), "\r\n\t<b>2</b>\r\n\t<b>1</b>");
}

TEST(XmlSelect, SelectionDoesNotGrowTheNameTable) {
  IXmlDocument doc = Parse("<a/>");
  int count = doc->Names().GetCount();
  EXPECT_FALSE(doc->SelectNodeByPath("never\\seen"));
  EXPECT_EQ(VarToStr(doc->GetValueByPath("@nor-this")), "");
  EXPECT_EQ(doc->Names().GetCount(), count);
}

// --- element text and values

TEST(XmlText, ElementTextJoinsTrimmedTextAndCDataChildrenWithOneBlank) {
  EXPECT_EQ(Parse("<a> GC12 </a>")->GetDocumentElement()->GetText(), "GC12");
  EXPECT_EQ(Parse("<a>A<b>x</b>B</a>")->GetDocumentElement()->GetText(), "A B");
  EXPECT_EQ(Parse("<a><![CDATA[ x ]]></a>")->GetDocumentElement()->GetText(), "x");
  EXPECT_EQ(Parse("<a> x<!--c--> y</a>")->GetDocumentElement()->GetText(), "x y");
  EXPECT_EQ(Parse("<a><![CDATA[  ]]>z<?p d?></a>")->GetDocumentElement()->GetText(), "z");
  EXPECT_EQ(Parse("<a><b>x</b></a>")->GetDocumentElement()->GetText(), "");

  IXmlDocument kept = NewXmlDocument();
  kept->SetKeepWhiteSpace(true);
  kept->LoadFromXmlText("<a> x<!--c--> y </a>");
  EXPECT_EQ(kept->GetDocumentElement()->GetText(), " x  y ");
}

TEST(XmlText, PerClassTextValueAndKind) {
  IXmlDocument doc = Parse("<a><b/>t<!-- c --><?p  d ?></a>");
  IXmlNode a = doc->GetDocumentElement();
  TXmlNode* b = a->ChildAt(0);
  TXmlNode* text = a->ChildAt(1);
  TXmlNode* comment = a->ChildAt(2);
  TXmlNode* pi = a->ChildAt(3);
  EXPECT_EQ(a->GetValueKind(), varString);
  EXPECT_EQ(b->GetValueKind(), varString);  // empty Data
  EXPECT_EQ(b->GetNodeValue().VarType(), varEmpty);
  EXPECT_EQ(comment->GetText(), "c");
  EXPECT_EQ(pi->GetText(), "  d ");  // not trimmed
  EXPECT_EQ(pi->GetNodeValue().VarType(), varString);

  // Parsed text is a string value, however it is kept; a copy keeps it, a change replaces it.
  EXPECT_EQ(text->GetValueKind(), varString);
  EXPECT_EQ(text->GetNodeValue().StringValue(), "t");
  IXmlNode copy = text->CloneNode(false);
  EXPECT_EQ(copy->GetValueKind(), varString);
  EXPECT_EQ(copy->GetText(), "t");
  copy->SetText(" u ");
  EXPECT_EQ(copy->GetText(), "u");
  EXPECT_EQ(text->GetXml(), "t");

  b->SetNodeValue(TVariant(int32_t(42)));
  EXPECT_EQ(b->GetValueKind(), varInteger);
  EXPECT_EQ(b->GetText(), "42");
  text->SetNodeValue(TVariant(true));
  EXPECT_EQ(text->GetValueKind(), varBoolean);
  EXPECT_EQ(text->GetText(), "1");
  comment->SetNodeValue(TVariant(2.5));
  EXPECT_EQ(comment->GetText(), "2.5");
  EXPECT_EQ(comment->GetValueKind(), varString);

  a->SetText("new");
  EXPECT_EQ(a->ChildCount(), 0);
  EXPECT_EQ(a->GetNodeValue().VarType(), varString);
  doc->SetText(" doc ");
  ASSERT_EQ(doc->ChildCount(), 1);
  EXPECT_EQ(doc->ChildAt(0)->GetNodeType(), xntText);
  EXPECT_EQ(doc->GetText(), "doc");
}

TEST(XmlText, Base64AndCDataSetters) {
  IXmlDocument doc = NewXmlDocument("root");
  IXmlElement root = doc->GetDocumentElement();
  root->AddText("old");
  root->AddComment("kept");
  const std::string text("\x00\x01\xFEhello world", 14);
  root->SetTextAsBase64(text.data(), text.size(), 8);
  ASSERT_EQ(root->ChildCount(), 2);
  EXPECT_EQ(root->ChildAt(0)->GetNodeType(), xntComment);
  EXPECT_EQ(VarToStr(root->ChildAt(1)->GetNodeValue()), "AAH+aGVs\r\nbG8gd29y\r\nbGQ=");
  EXPECT_EQ(root->GetTextFromBase64(), text);
  root->SetText("QUJD");
  EXPECT_EQ(root->GetTextFromBase64(), "ABC");
  root->SetText("QU");
  EXPECT_EQ(root->GetTextFromBase64(), "");

  root->SetTextAsCDATA("a]]>b");
  ASSERT_EQ(root->ChildCount(), 2);
  EXPECT_EQ(root->ChildAt(0)->GetText(), "a]");
  EXPECT_EQ(root->ChildAt(1)->GetText(), "]>b");
}

// --- attributes

TEST(XmlAttrs, StoreReplaceRemoveAndReadBack) {
  IXmlDocument doc = NewXmlDocument("r");
  IXmlElement r = doc->GetDocumentElement();
  r->SetAttrText("a", "1");
  r->SetAttrAsInt("b", -7);
  r->SetAttrText("c", "3");
  r->SetAttrText("a", "x");  // in place
  EXPECT_EQ(r->GetAttrNameAt(0), "a");
  EXPECT_EQ(r->GetAttrText("a"), "x");
  r->RemoveAttr("b");
  ASSERT_EQ(r->GetAttrCount(), 2);
  EXPECT_EQ(r->GetAttrNameAt(1), "c");
  EXPECT_TRUE(r->HasAttr("c"));
  EXPECT_FALSE(r->HasAttr("b"));
  EXPECT_EQ(r->GetAttrKind("c"), varString);
  EXPECT_EQ(r->GetAttrKind("zz"), varString);
  EXPECT_EQ(VarToStr(r->GetAttrValue("zz", TVariant("dflt"))), "dflt");
  EXPECT_EQ(r->GetAttrText("zz", "d"), "d");
  EXPECT_EQ(ErrorOf([&] { r->RequireAttr("zz"); }), "Attribute \"zz\" not assigned");
  EXPECT_EQ(r->RequireAttr("c"), "3");
  EXPECT_EQ(r->GetAttrAsBytes("c"), "3");
  EXPECT_EQ(r->GetAttrNameIDAt(1), doc->Names().FindID("c"));
  r->ClearAttrs();
  EXPECT_EQ(r->GetAttrCount(), 0);
}

TEST(XmlAttrs, TypedAccessorsConvertAsTheRuntimeDoes) {
  IXmlDocument doc = Parse(
      "<r b1='true' b2='0' i='12' f='2.5' inf='-inf' bad='1,5' "
      "d='2021-03-04T05:06:07' d2='2021-03-04' h='fF' e='Large'/>");
  IXmlElement r = doc->GetDocumentElement();
  EXPECT_TRUE(r->GetAttrAsBool("b1"));
  EXPECT_FALSE(r->GetAttrAsBool("b2", true));
  EXPECT_TRUE(r->GetAttrAsBool("none", true));
  EXPECT_EQ(r->GetAttrAsInt("i"), 12);
  EXPECT_EQ(r->GetAttrAsInt("none", 5), 5);
  EXPECT_EQ(r->GetAttrAsFloat("f"), 2.5);
  EXPECT_TRUE(std::isinf(r->GetAttrAsFloat("inf")));
  EXPECT_EQ(ErrorOf([&] { r->GetAttrAsFloat("bad"); }),
            "'1,5' is not a valid floating point value");
  EXPECT_EQ(r->GetAttrAsHex("h"), 255);
  r->SetAttrAsHex("h", 255, 4);
  EXPECT_EQ(r->GetAttrText("h"), "00FF");

  TDateTimeParts parts = DecodeDateTime(r->GetAttrAsDateTime("d"));
  EXPECT_EQ(parts.Year * 10000 + parts.Month * 100 + parts.Day, 20210304);
  EXPECT_EQ(parts.Hour * 10000 + parts.Minute * 100 + parts.Second, 50607);
  parts = DecodeDateTime(r->GetAttrAsDateTime("d2"));
  EXPECT_EQ(parts.Hour + parts.Minute + parts.Second, 0);
  r->SetAttrAsDateTime("d3", r->GetAttrAsDateTime("d"));
  EXPECT_EQ(r->GetAttrKind("d3"), varDate);
  EXPECT_EQ(ValueToXmlText(r->GetAttrValue("d3")), "2021-03-04T05:06:07");

  std::vector<std::string> sizes = {"small", "large"};
  EXPECT_EQ(r->GetAttrAsEnum("e", sizes, -1), 1);
  EXPECT_EQ(r->GetAttrAsEnum("none", sizes, 7), 7);
  EXPECT_EQ(ErrorOf([&] { r->RequireAttrAsEnum("none", sizes); }), "Attribute \"none\" not found");
  EXPECT_EQ(ErrorOf([&] { r->RequireAttrAsEnum("i", sizes); }),
            "Incorrect value of the attribute \"i\" at element \"r\".\r\nAllowed values are: "
            "\r\nsmall\r\nlarge");
  r->SetAttrAsBool("b3", true);
  r->SetAttrAsFloat("f2", 0.5);
  EXPECT_EQ(r->GetAttrKind("b3"), varBoolean);
  EXPECT_EQ(r->GetAttrText("b3"), "True");
  EXPECT_EQ(r->GetAttrKind("f2"), varDouble);
}

TEST(XmlAttrs, ArraysGrowByTheDocumentedSteps) {
  std::vector<size_t> capacities;
  std::vector<TXmlAttrData> probe;
  for (int i = 0; i < 100; ++i) {
    GrowByXmlSteps(probe);
    probe.push_back({nullptr, {}});
    if (capacities.empty() || capacities.back() != probe.capacity())
      capacities.push_back(probe.capacity());
  }
  EXPECT_EQ(capacities, (std::vector<size_t>{4, 8, 12, 28, 44, 60, 76, 95, 118}));
}

// --- tree editing

TEST(XmlTree, InsertRemoveReplaceAndSwap) {
  IXmlDocument doc = NewXmlDocument("r");
  IXmlElement r = doc->GetDocumentElement();
  IXmlElement a = r->AddElement("a");
  IXmlElement c = r->AddElement("c");
  IXmlElement b = doc->CreateElement("b");
  EXPECT_FALSE(b->GetParentNode());
  r->InsertBefore(b, c);
  auto names = [&] {
    std::string out;
    for (int i = 0; i < r->ChildCount(); ++i) out += r->ChildAt(i)->GetNodeName();
    return out;
  };
  EXPECT_EQ(names(), "abc");
  EXPECT_EQ(b->GetParentNode(), r);
  r->SwapChildren(a, c);
  EXPECT_EQ(names(), "cba");
  EXPECT_EQ(r->RemoveChild(b), 1);
  EXPECT_FALSE(b->GetParentNode());
  EXPECT_EQ(r->RemoveChild(b), -1);
  r->InsertBefore(b, nullptr);
  EXPECT_EQ(names(), "cab");
  IXmlElement d = doc->CreateElement("d");
  EXPECT_EQ(r->ReplaceChild(d, a), a);
  EXPECT_FALSE(a->GetParentNode());
  EXPECT_EQ(names(), "cdb");
  EXPECT_FALSE(r->ReplaceChild(a, a));  // not a child: nothing
  r->AppendChild(c);                    // a child of the same parent moves
  EXPECT_EQ(names(), "dbc");
  r->ClearChildren();
  EXPECT_EQ(r->ChildCount(), 0);
  EXPECT_FALSE(c->GetParentNode());
}

TEST(XmlTree, NodeOfAnotherParentIsClonedNotMoved) {
  IXmlDocument doc = Parse("<r><a x='1'><b>t</b></a><z/></r>");
  IXmlNode a = doc->SelectNodeByPath("r\\a");
  IXmlNode z = doc->SelectNodeByPath("r\\z");
  IXmlNode inserted = z->AppendChild(a);
  EXPECT_NE(inserted, a);
  EXPECT_EQ(a->ParentNode()->GetNodeName(), "r");
  EXPECT_EQ(inserted->GetParentNode(), z);
  EXPECT_EQ(inserted->GetXml(), "\r\n\t\t<a x=\"1\">\r\n\t\t\t<b>t</b>\r\n\t\t</a>");
  // An ancestor cannot become its own descendant: a copy goes in instead.
  IXmlElement top = doc->CreateElement("top");
  IXmlElement inner = top->AddElement("inner");
  IXmlNode copy = inner->AppendChild(top);
  EXPECT_NE(copy, top);
  EXPECT_FALSE(top->GetParentNode());
  EXPECT_EQ(copy->GetParentNode(), inner);
  EXPECT_EQ(top->GetXml(),
            "\r\n<top>\r\n\t<inner>\r\n\t\t<top>\r\n\t\t\t<inner/>\r\n\t\t</top>\r\n\t</"
            "inner>\r\n</top>");
}

TEST(XmlTree, CloneIntoAnotherNameTableReinternsEveryName) {
  IXmlDocument source = Parse("<r k='v'><a><b q='1'>t</b></a><?pi d?></r>");
  IXmlDocument target = NewXmlDocument("", "", "", IXmlNameTable(new TXmlNameTable(7)));
  EXPECT_EQ(target->Names().GetBucketCount(), 7);
  EXPECT_FALSE(target->Names().FindID("b"));
  IXmlNode copy = target->AppendChild(source->GetDocumentElement());
  EXPECT_EQ(&copy->Names(), &target->Names());
  IXmlNode b = copy->SelectNodeByPath("a\\b");
  ASSERT_TRUE(b);
  EXPECT_EQ(b->GetNameID(), target->Names().FindID("b"));
  EXPECT_EQ(b->GetAttrNameIDAt(0), target->Names().FindID("q"));
  EXPECT_EQ(copy->ChildAt(1)->GetNameID(), target->Names().FindID("pi"));
  EXPECT_EQ(copy->GetXml(), source->GetDocumentElement()->GetXml());
  // The source is untouched.
  EXPECT_EQ(source->GetDocumentElement()->GetParentNode(), source);
}

TEST(XmlTree, ShallowCloneKeepsNameValueAndAttributesOnly) {
  IXmlDocument doc = Parse("<?xml version='1.0' encoding='UTF-8'?><r k='v'><a/></r>");
  IXmlNode r = doc->GetDocumentElement()->CloneNode(false);
  EXPECT_EQ(r->GetXml(), "\r\n<r k=\"v\"/>");
  EXPECT_FALSE(r->GetParentNode());
  EXPECT_EQ(doc->ChildAt(0)->CloneNode(false)->GetXml(),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
  IXmlNode whole = doc->CloneNode(true);
  EXPECT_EQ(whole->GetXml(), doc->GetXml());
  EXPECT_EQ(whole->GetNodeType(), xntDocument);
}

TEST(XmlTree, ChildLookupsByName) {
  IXmlDocument doc = Parse("<r><a>1</a><b> 2 </b><!--c--></r>");
  IXmlNode r = doc->GetDocumentElement();
  EXPECT_EQ(r->ReadChildText("b"), "2");
  EXPECT_EQ(r->ReadChildText("#comment"), "c");
  EXPECT_EQ(r->ReadChildText("x", "dflt"), "dflt");
  EXPECT_EQ(r->RequireChild("a")->GetText(), "1");
  EXPECT_EQ(ErrorOf([&] { r->RequireChild("x"); }), "Error: Child node \"x\" not found");
  r->WriteChildText("a", "one");
  r->WriteChildText("x", "new");
  EXPECT_EQ(r->ChildCount(), 4);
  EXPECT_EQ(VarToStr(r->GetValueByPath("x")), "new");
  EXPECT_EQ(r->FindOrAddChild("a")->GetText(), "one");
  EXPECT_EQ(r->FindOrAddChild("y")->ParentNode(), r.Get());
  EXPECT_EQ(r->ChildCount(), 5);
  r->SetValueByPath("", TVariant("own"));
  EXPECT_EQ(r->GetText(), "own");
  r->SetValueByPath("@k", TVariant(int32_t(3)));
  r->SetValueByPath("m", TVariant("made"));
  r->SetValueByPath("m", TVariant("again"));
  EXPECT_EQ(r->GetAttrKind("k"), varInteger);
  EXPECT_EQ(VarToStr(r->GetValueByPath("m")), "again");
  EXPECT_EQ(r->ChildCount(), 1);
}

TEST(XmlTree, FindChildByAttrComparesValuesAndSkipsUncomparableOnes) {
  IXmlDocument doc = Parse("<r><w id='x'/><w id='5'/><v id='5'/><w id='5.0'/></r>");
  IXmlNode r = doc->GetDocumentElement();
  EXPECT_EQ(r->FindChildByAttr("w", "id", TVariant("5"))->GetAttrText("id"), "5");
  // A number against text: "x" cannot be compared and is passed over.
  IXmlElement found = r->FindChildByAttr("w", "id", TVariant(int32_t(5)));
  ASSERT_TRUE(found);
  EXPECT_EQ(r->ChildAt(1), found.Get());
  EXPECT_FALSE(r->FindChildByAttr("w", "id", TVariant("6")));
  EXPECT_FALSE(r->FindChildByAttr("q", "id", TVariant("5")));
}

TEST(XmlTree, PathFromRootAndOwnerDocument) {
  IXmlDocument doc = Parse("<gpx><wpt><name/></wpt></gpx>");
  IXmlNode name = doc->SelectNodeByPath("gpx\\wpt\\name");
  EXPECT_EQ(name->GetPathFromRoot(), "gpx\\wpt\\name");
  EXPECT_EQ(name->GetOwnerDocument(), doc);
  EXPECT_EQ(doc->GetOwnerDocument(), doc);
  IXmlElement loose = doc->CreateElement("loose");
  EXPECT_EQ(loose->GetPathFromRoot(), "");
  EXPECT_FALSE(loose->GetOwnerDocument());
  EXPECT_TRUE(name->ToElement());
  EXPECT_FALSE(name->ToText());
  EXPECT_FALSE(name->ToComment());
  EXPECT_FALSE(name->ToCDATASection());
  EXPECT_FALSE(name->ToProcessingInstruction());
}

TEST(XmlTree, NewAndInitDocument) {
  IXmlDocument empty = NewXmlDocument("", "", "", nullptr);
  EXPECT_EQ(empty->ChildCount(), 0);
  EXPECT_EQ(empty->Names().GetCount(), 6);
  EXPECT_EQ(empty->Names().GetBucketCount(), 499);
  for (const char* name : {"#text", "#cdata-section", "#comment", "#document", "xml", "encoding"})
    EXPECT_TRUE(empty->Names().FindID(name)) << name;
  EXPECT_EQ(empty->GetNodeName(), "#document");

  IXmlDocument doc = NewXmlDocument("gpx");
  EXPECT_EQ(doc->GetXml(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<gpx/>");
  IXmlElement root = doc->InitDocument("1.1", "ISO-8859-2", "root");
  EXPECT_EQ(doc->ChildCount(), 2);
  EXPECT_EQ(doc->GetDocumentElement(), root);
  EXPECT_EQ(doc->GetXml(), "<?xml version=\"1.1\" encoding=\"ISO-8859-2\"?>\r\n<root/>");
}

TEST(XmlNames, HashBucketsAndIdentity) {
  EXPECT_EQ(XmlNameHash(""), 0u);
  EXPECT_EQ(XmlNameHash("a"), 97u);
  EXPECT_EQ(XmlNameHash("ab"), 97u + ((97u << 6) ^ 98u));
  TXmlNameTable table(3);
  TXmlNameID a = table.GetID("a");
  EXPECT_EQ(table.GetID("a"), a);
  EXPECT_NE(table.GetID("A"), a);
  EXPECT_EQ(table.GetID(""), nullptr);
  EXPECT_EQ(TXmlNameTable::GetName(nullptr), "");
  EXPECT_EQ(TXmlNameTable::GetName(a), "a");
  EXPECT_EQ(table.FindByHash(97), a);
  EXPECT_EQ(table.FindByHash(12345), nullptr);
  std::vector<TXmlNameID> ids;
  for (int i = 0; i < 500; ++i) ids.push_back(table.GetID("n" + std::to_string(i)));
  for (int i = 0; i < 500; ++i) EXPECT_EQ(table.FindID("n" + std::to_string(i)), ids[size_t(i)]);
  EXPECT_EQ(table.GetCount(), 6 + 2 + 500);
  // "b-" and "cl" share a hash: both are kept, and the hash finds the one interned first.
  ASSERT_EQ(XmlNameHash("b-"), XmlNameHash("cl"));
  TXmlNameID first = table.GetID("b-"), second = table.GetID("cl");
  EXPECT_NE(first, second);
  EXPECT_EQ(table.FindID("cl"), second);
  EXPECT_EQ(table.FindByHash(XmlNameHash("cl")), first);
  EXPECT_EQ(first->Hash(), XmlNameHash("b-"));
  // Names alike in length, head and tail stay apart.
  const std::string alike[] = {"groundspeak:aXz:log",
                               "groundspeak:aYz:log",
                               "groundspeak:log",
                               "groundspeak:lox",
                               "abcdefgh",
                               "abcdefgi",
                               "abcdefghabcdefgh",
                               "abcdefghabcdefgi",
                               "ab",
                               "a"};
  std::vector<TXmlNameID> alikeIds;
  for (const std::string& name : alike) alikeIds.push_back(table.GetID(name));
  for (size_t i = 0; i < std::size(alike); ++i) {
    EXPECT_EQ(table.FindID(alike[i]), alikeIds[i]) << alike[i];
    EXPECT_EQ(TXmlNameTable::GetName(alikeIds[i]), alike[i]);
  }
  EXPECT_EQ(table.FindID("abcdefghZijklmnop"), nullptr);
}

// --- lifetime

TEST(XmlLifetime, ReleasingTheDocumentReleasesTheTreeAndTheTable) {
  IXmlNameTable names(new TXmlNameTable());
  IXmlNode kept;
  {
    IXmlDocument doc = NewXmlDocument("", "", "", names);
    doc->LoadFromXmlText("<a><b><c/></b></a>");
    kept = doc->SelectNodeByPath("a\\b");
    EXPECT_EQ(names->RefCount(), 1 + 1 + 3);  // ours, the document's, one per node
  }
  // The document and a are gone; b survives through our handle, without a parent.
  EXPECT_FALSE(kept->GetParentNode());
  EXPECT_EQ(kept->ChildCount(), 1);
  EXPECT_EQ(names->RefCount(), 1 + 2);
  IXmlNodeList list = kept->GetChildList();
  kept = nullptr;
  EXPECT_EQ(names->RefCount(), 1);
  EXPECT_EQ(list->GetCount(), 0);  // the list outlived its node: empty, no owner
  EXPECT_EQ(list->Owner(), nullptr);
  EXPECT_EQ(ErrorOf([&] { kept->GetText(); }), "Access through an empty XML interface");
}

}  // namespace
}  // namespace voltrane
