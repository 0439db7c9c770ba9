// Loads with a filter: what is kept must be exactly what a whole load holds there, and what
// is dropped must fail exactly where a whole load fails.
#include <gtest/gtest.h>

#include <random>

#include "XmlTestSupport.h"
#include "xml/VoltXml.h"

namespace voltrane {
namespace {

using test::Outcomes;

TEST(XmlLoadFilter, KeepsWhatAWholeLoadHoldsAndFailsWhereItFails) {
  const TXmlLoadFilter filter({"a\\k", "a\\p\\k", "a\\p\\k\\q"});
  std::mt19937 random(11);
  const std::vector<std::string> pieces = test::Pieces(
      "x|\r\n  |&lt;&amp;|&#233;|&bogus;|&|&#;|<k>v</k>|<k/>|<p>|</p>|<p x='&amp;'>|<q>|</q>|"
      "<q x='1'/>|<q x=1/>|<q x='<'/>|<q\"/>|<k x='1' y=\"&lt;\"><q>w</q><!--c--></k>|"
      "<k><p><k>deep</k></p></k>|<p><k>inner &amp; <q/></k><q>dropped</q></p>|<!--comment-->|"
      "<!-- open|<![CDATA[<raw>]]>|<?pi data?>|<?xml version='1.0' encoding='latin2'?>|</k>|</z>");
  for (int round = 0; round < 1000; ++round) {
    std::string body;
    for (int i = int(random() % 10); i > 0; --i) body += pieces[random() % pieces.size()];
    std::string text = "<a>" + body + "</a>";
    ASSERT_EQ(Outcomes(text, &filter), Outcomes(text, &filter, true)) << text;
  }
  // A document element the filter does not name is dropped whole, checked all the same.
  EXPECT_EQ(Outcomes("<b><k/></b>", &filter), (std::array<std::string, 4>{}));
  for (const char* broken : {"<b><k></b>", "<b>"})
    EXPECT_EQ(Outcomes(broken, &filter), Outcomes(broken)) << broken;
}

}  // namespace
}  // namespace voltrane
