// Selection by path, values and element text, attributes, tree editing, cloning and the
// lifetime of nodes.
#include <gtest/gtest.h>

#include <cmath>

#include "XmlTestSupport.h"

namespace voltrane::test {
namespace {

const std::string kUnsupported = "This feature is not supported by VoltXml";

TEST(XmlSelect, PathsWalkChildElementsAndMissingItemsGiveEmptyText) {
  IXmlDocument doc = Parse(
      "<gpx><wpt lat=\"1.5\"><name>GC1</name><name>GC2</name><extensions><groundspeak:cache>"
      "<groundspeak:name> My &amp; cache </groundspeak:name></groundspeak:cache></extensions>"
      "<urlname/></wpt></gpx>");
  IXmlNode wpt = doc->SelectNodeByPath("gpx\\wpt");  // if not found, the first read raises
  const int names = doc->Names().GetCount();
  // Each value as text:kind. Of two the first; absent items give an empty 8-bit string (256),
  // an element without children its Data (0, empty).
  std::string values;
  for (const char* path : {"name", "@lat", "extensions\\groundspeak:cache\\groundspeak:name", "",
                           "@lon", "sym", "urlname"})
    values += VarToStr(wpt->GetValueByPath(path)) + ":" +
              std::to_string(wpt->GetValueByPath(path).VarType()) + "|";
  EXPECT_EQ(values, "GC1:256|1.5:256|My & cache:256|:256|:256|:256|:0|");
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

TEST(XmlText, EachKindOfNodeGivesItsTextAndTakesAValue) {
  IXmlDocument doc = Parse("<a><b/>t<!-- c --><?p  d ?></a>");
  TXmlNode* a = doc->GetDocumentElement().Get();
  EXPECT_EQ(a->ChildAt(2)->GetText() + "|" + a->ChildAt(3)->GetText(), "c|  d ");  // PI untrimmed
  // Parsed text is a string value, however it is kept; a copy keeps it, a change replaces it.
  IXmlNode copy = a->ChildAt(1)->CloneNode(false);
  EXPECT_EQ(copy->GetValueKind(), varString);
  copy->SetText(" u ");
  EXPECT_EQ(copy->GetText() + "|" + a->ChildAt(1)->GetXml(), "u|t");
  // A value set gives elements and texts its kind, the other nodes a string.
  const std::tuple<int, TVariant, TVarType, const char*> cases[] = {
      {0, TVariant(int32_t(42)), varInteger, "42"},
      {1, TVariant(true), varBoolean, "1"},
      {2, TVariant(2.5), varString, "2.5"}};
  for (const auto& [child, value, kind, text] : cases) {
    a->ChildAt(child)->SetNodeValue(value);
    EXPECT_EQ(std::tuple(a->ChildAt(child)->GetValueKind(), a->ChildAt(child)->GetText()),
              std::tuple(kind, text))
        << child;
  }
}

TEST(XmlText, SetTextReplacesTheChildren) {
  IXmlDocument doc = Parse("<a><b/>t</a>");
  doc->GetDocumentElement()->SetText("new");
  EXPECT_EQ(Tree(*doc.Get()), "#document(a'new')");
  doc->SetText(" doc ");
  EXPECT_EQ(Tree(*doc.Get()) + "|" + doc->GetText(), "#document(' doc ')|doc");
}

TEST(XmlText, Base64AndCDataSetters) {
  IXmlElement root = NewXmlDocument("root")->GetDocumentElement();
  root->AddText("old");
  root->AddComment("kept");
  const std::string text("\x00\x01\xFEhello world", 14);
  root->SetTextAsBase64(text.data(), text.size(), 8);
  EXPECT_EQ(Tree(*root.Get()) + "|" + root->GetTextFromBase64(),
            "root(#comment'kept' 'AAH+aGVs\r\nbG8gd29y\r\nbGQ=')|" + text);
  for (const auto& [encoded, decoded] : {std::pair("QUJD", "ABC"), std::pair("QU", "")}) {
    root->SetText(encoded);  // an incomplete group gives nothing
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
  EXPECT_EQ(std::tuple(Tree(*r.Get()), r->HasAttr("c"), r->HasAttr("b"), r->GetAttrKind("zz"),
                       VarToStr(r->GetAttrValue("zz", TVariant("dflt"))), r->GetAttrText("zz", "d"),
                       r->RequireAttr("c"), r->GetAttrAsBytes("c"), r->GetAttrNameIDAt(1)),
            std::tuple("r[a=x c=3]", true, false, varString, "dflt", "d", "3", "3",
                       doc->Names().FindID("c")));
  EXPECT_EQ(ErrorOf([&] { r->RequireAttr("zz"); }), "Attribute \"zz\" not assigned");
  r->ClearAttrs();
  EXPECT_EQ(r->GetAttrCount(), 0);
}

TEST(XmlAttrs, TypedReadsConvertAsTheRuntimeDoesGiveTheDefaultOrRaise) {
  IXmlElement r = Parse(
                      "<r b1='true' b2='0' i='12' f='2.5' inf='-inf' d='2021-03-04T05:06:07' "
                      "d2='2021-03-04' h='fF' e='Large' bad='1,5'/>")
                      ->GetDocumentElement();
  const std::vector<std::string> sizes = {"small", "large"};
  EXPECT_EQ(ValueToXmlText(TVariant::DateTime(r->GetAttrAsDateTime("d"))) + "|" +
                ValueToXmlText(TVariant::DateTime(r->GetAttrAsDateTime("d2"))),
            "2021-03-04T05:06:07|2021-03-04T00:00:00");
  EXPECT_EQ(
      std::tuple(r->GetAttrAsBool("b1"), r->GetAttrAsBool("b2", true),
                 r->GetAttrAsBool("none", true), r->GetAttrAsInt("i"), r->GetAttrAsInt("none", 5),
                 r->GetAttrAsFloat("f"), r->GetAttrAsFloat("inf"), r->GetAttrAsHex("h"),
                 r->GetAttrAsEnum("e", sizes, -1), r->GetAttrAsEnum("none", sizes, 7)),
      std::tuple(true, false, true, 12, 5, 2.5, -HUGE_VAL, 255, 1, 7));
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
  EXPECT_EQ(std::tuple(r->GetAttrKind("f"), r->GetAttrKind("d"), r->GetAttrText("b")),
            std::tuple(varDouble, varDate, "True"));
  EXPECT_EQ(r->GetXml(),
            "\r\n<r h=\"00FF\" b=\"1\" f=\"5.00000000000000E-0001\" d=\"2021-03-04T05:06:07\"/>");
}

TEST(XmlTree, InsertRemoveReplaceAndSwap) {
  IXmlDocument doc = NewXmlDocument("r");
  IXmlElement r = doc->GetDocumentElement();
  IXmlElement a = r->AddElement("a"), c = r->AddElement("c"), b = doc->CreateElement("b");
  r->InsertBefore(b, c);
  r->SwapChildren(a, c);
  EXPECT_EQ(std::tuple(Tree(*r.Get()), b->GetParentNode()), std::tuple("r(c b a)", r));
  EXPECT_EQ(r->RemoveChild(b), 1);
  EXPECT_EQ(std::tuple(r->RemoveChild(b), b->GetParentNode()), std::tuple(-1, IXmlNode()));
  r->InsertBefore(b, nullptr);
  EXPECT_EQ(r->ReplaceChild(doc->CreateElement("d"), a), a);
  EXPECT_EQ(std::tuple(Tree(*r.Get()), a->GetParentNode()), std::tuple("r(c d b)", IXmlNode()));
  EXPECT_FALSE(r->ReplaceChild(a, a));  // not a child: nothing
  r->AppendChild(c);                    // a child of the same parent moves
  EXPECT_EQ(Tree(*r.Get()), "r(d b c)");
  r->ClearChildren();
  EXPECT_EQ(std::tuple(Tree(*r.Get()), c->GetParentNode()), std::tuple("r", IXmlNode()));
}

TEST(XmlTree, AncestorAppendedToItsDescendantIsCloned) {
  // An ancestor cannot become its own descendant: a copy goes in instead.
  IXmlElement top = NewXmlDocument()->CreateElement("top");
  top->AddElement("inner")->AppendChild(top);
  EXPECT_EQ(std::tuple(Tree(*top.Get()), top->GetParentNode()),
            std::tuple("top(inner(top(inner)))", IXmlNode()));
}

TEST(XmlTree, CloneIntoAnotherNameTableReinternsEveryName) {
  IXmlDocument source = Parse("<r k='v'><a><b q='1'>t</b></a><?pi d?></r>");
  IXmlDocument target = NewXmlDocument("", "", "", IXmlNameTable(new TXmlNameTable(7)));
  IXmlNode copy = target->AppendChild(source->GetDocumentElement());
  IXmlNode b = copy->SelectNodeByPath("a\\b");
  const TXmlNameTable& names = target->Names();
  EXPECT_EQ(std::tuple(b->GetNameID(), b->GetAttrNameIDAt(0), copy->ChildAt(1)->GetNameID()),
            std::tuple(names.FindID("b"), names.FindID("q"), names.FindID("pi")));
  EXPECT_EQ(copy->GetXml(), source->GetDocumentElement()->GetXml());
  EXPECT_EQ(source->GetDocumentElement()->GetParentNode(), source);  // the source is untouched
}

TEST(XmlTree, ShallowCloneKeepsNameValueAndAttributesOnly) {
  IXmlDocument doc = Parse("<?xml version='1.0' encoding='UTF-8'?><r k='v'><a/></r>");
  IXmlNode r = doc->GetDocumentElement()->CloneNode(false);
  EXPECT_EQ(std::tuple(Tree(*r.Get()), r->GetParentNode()), std::tuple("r[k=v]", IXmlNode()));
  EXPECT_EQ(Tree(*doc->ChildAt(0)->CloneNode(false).Get()), "xml[version=1.0 encoding=UTF-8]''");
  EXPECT_EQ(doc->CloneNode(true)->GetXml(), doc->GetXml());
}

TEST(XmlTree, ChildLookupsByName) {
  IXmlNode r = Parse("<r><a>1</a><b> 2 </b><!--c--></r>")->GetDocumentElement();
  EXPECT_EQ(r->ReadChildText("b") + "|" + r->ReadChildText("#comment") + "|" +
                r->ReadChildText("x", "dflt") + "|" + r->RequireChild("a")->GetText(),
            "2|c|dflt|1");
  EXPECT_EQ(ErrorOf([&] { r->RequireChild("x"); }), "Error: Child node \"x\" not found");
  r->WriteChildText("a", "one");
  r->WriteChildText("x", "new");
  EXPECT_EQ(r->FindOrAddChild("a")->GetText() + "|" + r->FindOrAddChild("y")->GetText(), "one|");
  EXPECT_EQ(Tree(*r.Get()), "r(a'one' b('2') #comment'c' x'new' y)");
  r->SetValueByPath("", TVariant("own"));
  EXPECT_EQ(Tree(*r.Get()), "r'own'");
  r->SetValueByPath("@k", TVariant(int32_t(3)));
  r->SetValueByPath("m", TVariant("made"));
  r->SetValueByPath("m", TVariant("again"));
  EXPECT_EQ(std::tuple(Tree(*r.Get()), r->GetAttrKind("k")),
            std::tuple("r[k=3](m'again')", varInteger));
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
  IXmlElement loose = doc->CreateElement("loose");
  EXPECT_EQ(name->GetPathFromRoot() + "|" + loose->GetPathFromRoot(), "gpx\\wpt\\name|");
  EXPECT_EQ(std::tuple(name->GetOwnerDocument(), doc->GetOwnerDocument()), std::tuple(doc, doc));
  EXPECT_FALSE(loose->GetOwnerDocument());
  EXPECT_TRUE(name->ToElement() && !name->ToText() && !name->ToComment() &&
              !name->ToCDATASection() && !name->ToProcessingInstruction());
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
  EXPECT_EQ(std::tuple(table.GetID("a"), table.GetID("A") == a, table.GetID(""),
                       TXmlNameTable::GetName(nullptr), table.FindByHash(12345)),
            std::tuple(a, false, nullptr, "", nullptr));
  // "b-" and "cl" share a hash: both are kept, and the hash finds the one interned first.
  ASSERT_EQ(XmlNameHash("b-"), XmlNameHash("cl"));
  TXmlNameID first = table.GetID("b-"), second = table.GetID("cl");
  EXPECT_NE(first, second);
  EXPECT_EQ(table.FindByHash(XmlNameHash("cl")), first);
  // Many names, and names alike in length, head and tail, stay apart.
  std::vector<std::string> names = Pieces(
      "groundspeak:aXz:log|groundspeak:aYz:log|groundspeak:log|groundspeak:lox|abcdefgh|"
      "abcdefgi|abcdefghabcdefgh|abcdefghabcdefgi|ab|a|cl");
  for (int i = 0; i < 500; ++i) names.push_back("n" + std::to_string(i));
  std::vector<TXmlNameID> ids;
  for (const std::string& name : names) ids.push_back(table.GetID(name));
  for (size_t i = 0; i < names.size(); ++i)
    EXPECT_EQ(std::tuple(table.FindID(names[i]), TXmlNameTable::GetName(ids[i])),
              std::tuple(ids[i], names[i]));
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
  EXPECT_EQ(std::tuple(kept->GetParentNode(), names->RefCount()), std::tuple(IXmlNode(), 1 + 2));
  IXmlNodeList list = kept->GetChildList();
  kept = nullptr;
  EXPECT_EQ(names->RefCount(), 1);
  EXPECT_EQ(std::tuple(list->GetCount(), list->Owner()), std::tuple(0, nullptr));  // orphaned
  EXPECT_EQ(ErrorOf([&] { kept->GetText(); }), "Access through an empty XML interface");
}

}  // namespace
}  // namespace voltrane::test
