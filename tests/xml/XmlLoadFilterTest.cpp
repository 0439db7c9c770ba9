// Loads with a filter: what is kept must be exactly what a whole load holds there, and what
// is dropped must fail exactly where a whole load fails.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "XmlTestSupport.h"
#include "rt/Exception.h"
#include "xml/VoltXml.h"

namespace voltrane {
namespace {

// The tree as text, or the error; white space kept and not, read in place and through a
// stream a byte at a time (the reader's other way through names, texts and entities).
std::string Outcome(const std::string& text, const TXmlLoadFilter* filter, bool pruneAfterwards) {
  std::string outcome;
  for (int way = 0; way < 4; ++way) {
    IXmlDocument doc = NewXmlDocument();
    doc->SetKeepWhiteSpace(way % 2 == 0);
    doc->SetLoadFilter(pruneAfterwards ? nullptr : filter);
    try {
      if (way < 2) {
        doc->LoadFromXmlText(text);
      } else {
        test::TTrickleStream stream(text);
        doc->LoadStream(stream);
      }
    } catch (const Exception& e) {
      outcome += "error: " + e.Message() + "\n";
      continue;
    }
    if (pruneAfterwards) test::Prune(*doc.Get(), filter ? &filter->Root() : nullptr);
    outcome += doc->GetXml() + "\n";
  }
  return outcome;
}

TEST(XmlLoadFilter, KeepsWhatAWholeLoadHoldsAndFailsWhereItFails) {
  const TXmlLoadFilter filter({"a\\k", "a\\p\\k", "a\\p\\k\\q"});
  std::mt19937 random(11);
  const std::string pieces[] = {"x",
                                "\r\n  ",
                                "&lt;&amp;",
                                "&#233;",
                                "&bogus;",
                                "&",
                                "&#;",
                                "<k>v</k>",
                                "<k x='1' y=\"&lt;\"><q>w</q><!--c--></k>",
                                "<k/>",
                                "<p>",
                                "</p>",
                                "<p x='&amp;'>",
                                "<q>",
                                "</q>",
                                "<q x='1'/>",
                                "<q x=1/>",
                                "<q x='<'/>",
                                "<q\"/>",
                                "<k><p><k>deep</k></p></k>",
                                "<p><k>inner &amp; <q/></k><q>dropped</q></p>",
                                "<!--comment-->",
                                "<!-- open",
                                "<![CDATA[<raw>]]>",
                                "<?pi data?>",
                                "<?xml version='1.0' encoding='latin2'?>",
                                "</k>",
                                "</z>"};
  for (int round = 0; round < 1000; ++round) {
    std::string body;
    for (int i = int(random() % 10); i > 0; --i) body += pieces[random() % std::size(pieces)];
    std::string text = "<a>" + body + "</a>";
    ASSERT_EQ(Outcome(text, &filter, false), Outcome(text, &filter, true)) << text;
  }
  // A document element the filter does not name is dropped whole, checked all the same.
  EXPECT_EQ(Outcome("<b><k/></b>", &filter, false), "\n\n\n\n");
  EXPECT_EQ(Outcome("<b><k></b>", &filter, false), Outcome("<b><k></b>", nullptr, false));
  EXPECT_EQ(Outcome("<b>", &filter, false), Outcome("<b>", nullptr, false));
}

}  // namespace
}  // namespace voltrane
