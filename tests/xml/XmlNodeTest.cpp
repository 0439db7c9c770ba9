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
using test::Tree;

const std::string kUnsupported = "This feature is not supported by VoltXml";

TEST(XmlSelect, PathsWalkChildElementsAndMissingItemsGiveEmptyText) {
  IXmlDocument doc = Parse(
      "<gpx><wpt lat=\"1.5\"><name>GC1</name><name>GC2</name><extensions><groundspeak:cache>"
      "<groundspeak:name> My &amp; cache </groundspeak:name></groundspeak:cache></extensions>"
      "<urlname/></wpt></gpx>");
  IXmlNode wpt = doc->SelectNodeByPath("gpx\\wpt");
  ASSERT_TRUE(wpt);
  const int names = doc->Names().GetCount();
  // Absent items give an empty 8-bit string, an element without children its Data.
  const std::tuple<const char*, const char*, TVarType> cases[] = {
      {"name", "GC1", varString},  // the first of two
      {"@lat", "1.5", varString},
      {"extensions\\groundspeak:cache\\groundspeak:name", "My & cache", varString},
      {"", "", varString},
      {"@lon", "", varString},
      {"sym", "", varString},
      {"urlname", "", varEmpty}};
  for (const auto& [path, text, type] : cases) {
    EXPECT_EQ(VarToStr(wpt->GetValueByPath(path)), text) << path;
    EXPECT_EQ(wpt->GetValueByPath(path).VarType(), type) << path;
  }
  // Only whole prefixed names match: "name" is known, groundspeak:name is no "name".
  EXPECT_FALSE(wpt->SelectNodeByPath("extensions\\groundspeak:cache\\name"));
  EXPECT_EQ(doc->Names().GetCount(), names);  // looking up a name does not intern it
}

TEST(XmlSelect, PathsThatAreNotNamesRaiseWhenTheWalkReachesThem) {
  IXmlDocument doc = Parse("<a><b/></a>");
  for (const char* path : {"@lat", "a\\\\b", ""})
    EXPECT_EQ(ErrorOf([&] { doc->SelectNodeByPath(path); }), kUnsupported) << path;
  EXPECT_EQ(ErrorOf([&] { doc->CollectNodesByPath("a\\@b"); }), kUnsupported);
  // A walk that ends before the bad step finds nothing and raises nothing.
  EXPECT_FALSE(doc->SelectNodeByPath("x\\\\b"));
}

TEST(XmlSelect, CollectGathersAllMatchingChildrenOfTheLastStep) {
  IXmlDocument doc = Parse("<a><b>1</b><c/><b>2</b></a>");
  IXmlNodeList list = doc->CollectNodesByPath("a\\b");
  ASSERT_EQ(list->GetCount(), 2);
  EXPECT_EQ(list->GetItem(0)->ParentNode()->GetNodeName(), "a");  // parents untouched
  EXPECT_EQ(doc->CollectNodesByPath("x")->GetCount(), 0);
  EXPECT_FALSE(doc->CollectNodesByPath("x\\b"));
  for (int index : {2, -1})
    EXPECT_EQ(ErrorOf([&] { list->GetItem(index); }),
              "Failed to get list item: Index " + std::to_string(index) + " out of range");
  list->Exchange(0, 1);
  list->Exchange(0, 5);
  EXPECT_EQ(list->GetXml(), "\r\n\t<b>2</b>\r\n\t<b>1</b>");
}

TEST(XmlText, ElementTextJoinsTrimmedTextAndCDataChildrenWithOneBlank) {
  const std::tuple<const char*, bool, const char*> cases[] = {
      {"<a>A<b>x</b>B</a>", false, "A B"},
      {"<a><![CDATA[ x ]]></a>", false, "x"},
      {"<a><![CDATA[  ]]>z<?p d?></a>", false, "z"},
      {"<a> x<!--c--> y </a>", true, " x  y "}};
  for (const auto& [xml, keep, text] : cases)
    EXPECT_EQ(Parse(xml, keep)->GetDocumentElement()->GetText(), text) << xml;
}

TEST(XmlText, EachKindOfNodeGivesItsTextAndValue) {
  IXmlDocument doc = Parse("<a><b/>t<!-- c --><?p  d ?></a>");
  TXmlNode* a = doc->GetDocumentElement().Get();
  EXPECT_EQ(a->ChildAt(2)->GetText(), "c");
  EXPECT_EQ(a->ChildAt(3)->GetText(), "  d ");  // not trimmed
  // Parsed text is a string value, however it is kept; a copy keeps it, a change replaces it.
  IXmlNode copy = a->ChildAt(1)->CloneNode(false);
  EXPECT_EQ(copy->GetValueKind(), varString);
  copy->SetText(" u ");
  EXPECT_EQ(copy->GetText(), "u");
  EXPECT_EQ(a->ChildAt(1)->GetXml(), "t");
}

TEST(XmlText, SettingAValueGivesElementsAndTextsItsKindAndOtherNodesAString) {
  IXmlDocument doc = Parse("<a><b/>t<!-- c --></a>");
  TXmlNode* a = doc->GetDocumentElement().Get();
  const std::tuple<int, TVariant, TVarType, const char*> cases[] = {
      {0, TVariant(int32_t(42)), varInteger, "42"},
      {1, TVariant(true), varBoolean, "1"},
      {2, TVariant(2.5), varString, "2.5"}};
  for (const auto& [child, value, kind, text] : cases) {
    a->ChildAt(child)->SetNodeValue(value);
    EXPECT_EQ(a->ChildAt(child)->GetValueKind(), kind) << child;
    EXPECT_EQ(a->ChildAt(child)->GetText(), text) << child;
  }
}

TEST(XmlText, SetTextReplacesTheChildren) {
  IXmlDocument doc = Parse("<a><b/>t</a>");
  doc->GetDocumentElement()->SetText("new");
  EXPECT_EQ(Tree(*doc.Get()), "#document(a'new')");
  doc->SetText(" doc ");
  EXPECT_EQ(Tree(*doc.Get()), "#document(' doc ')");
  EXPECT_EQ(doc->GetText(), "doc");
}

TEST(XmlText, Base64AndCDataSetters) {
  IXmlDocument doc = NewXmlDocument("root");
  IXmlElement root = doc->GetDocumentElement();
  root->AddText("old");
  root->AddComment("kept");
  const std::string text("\x00\x01\xFEhello world", 14);
  root->SetTextAsBase64(text.data(), text.size(), 8);
  EXPECT_EQ(Tree(*root.Get()), "root(#comment'kept' 'AAH+aGVs\r\nbG8gd29y\r\nbGQ=')");
  EXPECT_EQ(root->GetTextFromBase64(), text);
  for (const auto& [encoded, decoded] :
       {std::pair<const char*, const char*>{"QUJD", "ABC"}, {"QU", ""}}) {
    root->SetText(encoded);
    EXPECT_EQ(root->GetTextFromBase64(), decoded) << encoded;
  }
  root->SetTextAsCDATA("a]]>b");
  EXPECT_EQ(Tree(*root.Get()), "root(#cdata-section'a]' #cdata-section']>b')");
}

TEST(XmlAttrs, StoreReplaceRemoveAndReadBack) {
  IXmlDocument doc = NewXmlDocument("r");
  IXmlElement r = doc->GetDocumentElement();
  r->SetAttrText("a", "1");
  r->SetAttrAsInt("b", -7);
  r->SetAttrText("c", "3");
  r->SetAttrText("a", "x");  // in place
  r->RemoveAttr("b");
  EXPECT_EQ(Tree(*r.Get()), "r[a=x c=3]");
  EXPECT_TRUE(r->HasAttr("c"));
  EXPECT_FALSE(r->HasAttr("b"));
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

TEST(XmlAttrs, TypedReadsConvertAsTheRuntimeDoesOrGiveTheDefault) {
  IXmlElement r = Parse(
                      "<r b1='true' b2='0' i='12' f='2.5' inf='-inf' d='2021-03-04T05:06:07' "
                      "d2='2021-03-04' h='fF' e='Large'/>")
                      ->GetDocumentElement();
  EXPECT_TRUE(r->GetAttrAsBool("b1"));
  EXPECT_FALSE(r->GetAttrAsBool("b2", true));
  EXPECT_TRUE(r->GetAttrAsBool("none", true));
  EXPECT_EQ(r->GetAttrAsInt("i"), 12);
  EXPECT_EQ(r->GetAttrAsInt("none", 5), 5);
  EXPECT_EQ(r->GetAttrAsFloat("f"), 2.5);
  EXPECT_EQ(r->GetAttrAsFloat("inf"), -HUGE_VAL);
  EXPECT_EQ(r->GetAttrAsHex("h"), 255);
  EXPECT_EQ(ValueToXmlText(TVariant::DateTime(r->GetAttrAsDateTime("d"))), "2021-03-04T05:06:07");
  EXPECT_EQ(ValueToXmlText(TVariant::DateTime(r->GetAttrAsDateTime("d2"))), "2021-03-04T00:00:00");
  EXPECT_EQ(r->GetAttrAsEnum("e", {"small", "large"}, -1), 1);
  EXPECT_EQ(r->GetAttrAsEnum("none", {"small", "large"}, 7), 7);
}

TEST(XmlAttrs, TypedReadsOfBadOrMissingValuesRaise) {
  IXmlElement r = Parse("<r i='12' bad='1,5'/>")->GetDocumentElement();
  const std::vector<std::string> sizes = {"small", "large"};
  EXPECT_EQ(ErrorOf([&] { r->GetAttrAsFloat("bad"); }),
            "'1,5' is not a valid floating point value");
  EXPECT_EQ(ErrorOf([&] { r->RequireAttrAsEnum("none", sizes); }), "Attribute \"none\" not found");
  EXPECT_EQ(ErrorOf([&] { r->RequireAttrAsEnum("i", sizes); }),
            "Incorrect value of the attribute \"i\" at element \"r\".\r\nAllowed values are: "
            "\r\nsmall\r\nlarge");
}

TEST(XmlAttrs, TypedWritesKeepTheirKind) {
  IXmlElement r = NewXmlDocument("r")->GetDocumentElement();
  r->SetAttrAsHex("h", 255, 4);
  r->SetAttrAsBool("b", true);
  r->SetAttrAsFloat("f", 0.5);
  r->SetAttrAsDateTime("d", XmlTextToDateTime("2021-03-04T05:06:07"));
  EXPECT_EQ(r->GetAttrKind("f"), varDouble);
  EXPECT_EQ(r->GetAttrKind("d"), varDate);
  EXPECT_EQ(r->GetAttrText("b"), "True");
  EXPECT_EQ(r->GetXml(),
            "\r\n<r h=\"00FF\" b=\"1\" f=\"5.00000000000000E-0001\" d=\"2021-03-04T05:06:07\"/>");
}

TEST(XmlTree, InsertRemoveReplaceAndSwap) {
  IXmlDocument doc = NewXmlDocument("r");
  IXmlElement r = doc->GetDocumentElement();
  IXmlElement a = r->AddElement("a"), c = r->AddElement("c"), b = doc->CreateElement("b");
  r->InsertBefore(b, c);
  EXPECT_EQ(b->GetParentNode(), r);
  r->SwapChildren(a, c);
  EXPECT_EQ(Tree(*r.Get()), "r(c b a)");
  EXPECT_EQ(r->RemoveChild(b), 1);
  EXPECT_FALSE(b->GetParentNode());
  EXPECT_EQ(r->RemoveChild(b), -1);
  r->InsertBefore(b, nullptr);
  EXPECT_EQ(r->ReplaceChild(doc->CreateElement("d"), a), a);
  EXPECT_FALSE(a->GetParentNode());
  EXPECT_EQ(Tree(*r.Get()), "r(c d b)");
  EXPECT_FALSE(r->ReplaceChild(a, a));  // not a child: nothing
  r->AppendChild(c);                    // a child of the same parent moves
  EXPECT_EQ(Tree(*r.Get()), "r(d b c)");
  r->ClearChildren();
  EXPECT_EQ(Tree(*r.Get()), "r");
  EXPECT_FALSE(c->GetParentNode());
}

TEST(XmlTree, AncestorAppendedToItsDescendantIsCloned) {
  // An ancestor cannot become its own descendant: a copy goes in instead.
  IXmlElement top = NewXmlDocument()->CreateElement("top");
  IXmlElement inner = top->AddElement("inner");
  inner->AppendChild(top);
  EXPECT_FALSE(top->GetParentNode());
  EXPECT_EQ(Tree(*top.Get()), "top(inner(top(inner)))");
}

TEST(XmlTree, CloneIntoAnotherNameTableReinternsEveryName) {
  IXmlDocument source = Parse("<r k='v'><a><b q='1'>t</b></a><?pi d?></r>");
  IXmlDocument target = NewXmlDocument("", "", "", IXmlNameTable(new TXmlNameTable(7)));
  IXmlNode copy = target->AppendChild(source->GetDocumentElement());
  IXmlNode b = copy->SelectNodeByPath("a\\b");
  EXPECT_EQ(b->GetNameID(), target->Names().FindID("b"));
  EXPECT_EQ(b->GetAttrNameIDAt(0), target->Names().FindID("q"));
  EXPECT_EQ(copy->ChildAt(1)->GetNameID(), target->Names().FindID("pi"));
  EXPECT_EQ(copy->GetXml(), source->GetDocumentElement()->GetXml());
  EXPECT_EQ(source->GetDocumentElement()->GetParentNode(), source);  // the source is untouched
}

TEST(XmlTree, ShallowCloneKeepsNameValueAndAttributesOnly) {
  IXmlDocument doc = Parse("<?xml version='1.0' encoding='UTF-8'?><r k='v'><a/></r>");
  IXmlNode r = doc->GetDocumentElement()->CloneNode(false);
  EXPECT_EQ(Tree(*r.Get()), "r[k=v]");
  EXPECT_FALSE(r->GetParentNode());
  EXPECT_EQ(Tree(*doc->ChildAt(0)->CloneNode(false).Get()), "xml[version=1.0 encoding=UTF-8]''");
  IXmlNode whole = doc->CloneNode(true);
  EXPECT_EQ(whole->GetXml(), doc->GetXml());
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
  EXPECT_EQ(r->FindOrAddChild("a")->GetText(), "one");
  r->FindOrAddChild("y");
  EXPECT_EQ(Tree(*r.Get()), "r(a'one' b('2') #comment'c' x'new' y)");
  r->SetValueByPath("", TVariant("own"));
  EXPECT_EQ(Tree(*r.Get()), "r'own'");
  r->SetValueByPath("@k", TVariant(int32_t(3)));
  r->SetValueByPath("m", TVariant("made"));
  r->SetValueByPath("m", TVariant("again"));
  EXPECT_EQ(r->GetAttrKind("k"), varInteger);
  EXPECT_EQ(Tree(*r.Get()), "r[k=3](m'again')");
}

TEST(XmlTree, FindChildByAttrComparesValuesAndSkipsUncomparableOnes) {
  IXmlNode r = Parse("<r><w id='x'/><w id='5'/><v id='5'/><w id='5.0'/></r>")->GetDocumentElement();
  EXPECT_EQ(r->FindChildByAttr("w", "id", TVariant("5")).Get(), r->ChildAt(1));
  // A number against text: "x" cannot be compared and is passed over.
  EXPECT_EQ(r->FindChildByAttr("w", "id", TVariant(int32_t(5))).Get(), r->ChildAt(1));
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
  EXPECT_FALSE(name->ToText() || name->ToComment() || name->ToCDATASection() ||
               name->ToProcessingInstruction());
}

TEST(XmlTree, NewAndInitDocument) {
  IXmlDocument doc = NewXmlDocument("gpx");
  EXPECT_EQ(doc->GetXml(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<gpx/>");
  doc->InitDocument("1.1", "ISO-8859-2", "root");
  EXPECT_EQ(doc->GetXml(), "<?xml version=\"1.1\" encoding=\"ISO-8859-2\"?>\r\n<root/>");
}

TEST(XmlNames, HashBucketsAndIdentity) {
  EXPECT_EQ(XmlNameHash("ab"), 97u + ((97u << 6) ^ 98u));
  TXmlNameTable table(3);
  TXmlNameID a = table.GetID("a");
  EXPECT_EQ(table.GetID("a"), a);
  EXPECT_NE(table.GetID("A"), a);
  EXPECT_EQ(table.GetID(""), nullptr);
  EXPECT_EQ(TXmlNameTable::GetName(nullptr), "");
  EXPECT_EQ(table.FindByHash(12345), nullptr);
  // "b-" and "cl" share a hash: both are kept, and the hash finds the one interned first.
  ASSERT_EQ(XmlNameHash("b-"), XmlNameHash("cl"));
  TXmlNameID first = table.GetID("b-"), second = table.GetID("cl");
  EXPECT_NE(first, second);
  EXPECT_EQ(table.FindByHash(XmlNameHash("cl")), first);
  // Many names, and names alike in length, head and tail, stay apart.
  std::vector<std::string> names = test::Pieces(
      "groundspeak:aXz:log|groundspeak:aYz:log|groundspeak:log|groundspeak:lox|abcdefgh|"
      "abcdefgi|abcdefghabcdefgh|abcdefghabcdefgi|ab|a|cl");
  for (int i = 0; i < 500; ++i) names.push_back("n" + std::to_string(i));
  std::vector<TXmlNameID> ids;
  for (const std::string& name : names) ids.push_back(table.GetID(name));
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(table.FindID(names[i]), ids[i]) << names[i];
    EXPECT_EQ(TXmlNameTable::GetName(ids[i]), names[i]);
  }
  EXPECT_EQ(table.GetCount(), 6 + 4 + 500 + 9);
  EXPECT_EQ(table.FindID("abcdefghZijklmnop"), nullptr);
}

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
