// Helpers of the XML tests, and the headers all of them use.
#pragma once

#include <algorithm>
#include <array>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "rt/Exception.h"
#include "rt/Stream.h"
#include "xml/VoltXml.h"

namespace voltrane::test {

inline IXmlDocument Parse(const std::string& text, bool keepWhiteSpace = false) {
  IXmlDocument doc = NewXmlDocument();
  doc->SetKeepWhiteSpace(keepWhiteSpace);
  doc->LoadFromXmlText(text);
  return doc;
}

// The message of the error the action raises, or "(no error)".
inline std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "(no error)";
}

// The pieces for 0 to count - 1, joined.
inline std::string Repeated(int count, const std::function<std::string(int)>& piece) {
  std::string text;
  for (int i = 0; i < count; ++i) text += piece(i);
  return text;
}

// The pieces of a text between "|", of which tests build random documents.
inline std::vector<std::string> Pieces(const std::string& joined) {
  std::vector<std::string> pieces(1);
  for (char c : joined) c == '|' ? pieces.push_back("") : pieces.back().push_back(c);
  return pieces;
}

// A node in one line: an element as name[attr=value ...](children ...) with the value of a
// childless one after the name; text as 'value', the other kinds as name'value'.
inline std::string Tree(const TXmlNode& node) {
  std::string out = node.GetNodeType() == xntText ? "" : std::string(node.GetNodeName());
  for (int i = 0; i < node.GetAttrCount(); ++i)
    out += (i ? " " : "[") + std::string(node.GetAttrNameAt(i)) + "=" +
           VarToStr(node.GetAttrValueAt(i)) + (i + 1 < node.GetAttrCount() ? "" : "]");
  bool element = node.GetNodeType() == xntElement;
  if (node.GetNodeType() != xntDocument &&
      (!element || (node.ChildCount() == 0 && node.GetNodeValue().VarType() != varEmpty)))
    out += "'" + VarToStr(node.GetNodeValue()) + "'";
  for (int i = 0; i < node.ChildCount(); ++i)
    out += (i ? " " : "(") + Tree(*node.ChildAt(i)) + (i + 1 < node.ChildCount() ? "" : ")");
  return out;
}

// Gives one byte per read after the two whole reads with which a stream load looks at the
// start: every name, value and text run then crosses the reader's buffer end.
class TTrickleStream : public TMemoryStream {
 public:
  using TMemoryStream::TMemoryStream;
  int64_t Read(void* buffer, int64_t count) override {
    return TMemoryStream::Read(buffer, ++reads_ > 2 ? std::min<int64_t>(count, 1) : count);
  }

 private:
  int reads_ = 0;
};

// What a filtered load must give: the whole tree with every element the filter leaves out
// removed (and with it everything inside it).
inline void Prune(TXmlNode& node, const TXmlLoadFilter::TStep& step) {
  for (int i = node.ChildCount() - 1; i >= 0; --i) {
    TXmlNode* child = node.ChildAt(i);
    if (child->GetNodeType() != xntElement) continue;
    const TXmlLoadFilter::TStep* inner = TXmlLoadFilter::Find(step, child->GetNodeName());
    if (!inner)
      node.GetChildListObject().Delete(i);
    else if (!inner->Whole)
      Prune(*child, *inner);
  }
}

// The text form or the error of each load: in place, then trickled, each with white space kept
// and not. With pruneAfterwards the filter prunes a whole load instead of filtering the load.
inline std::array<std::string, 4> Outcomes(const std::string& text,
                                           const TXmlLoadFilter* filter = nullptr,
                                           bool pruneAfterwards = false) {
  std::array<std::string, 4> outcome;
  for (int way = 0; way < 4; ++way) {
    IXmlDocument doc = NewXmlDocument();
    doc->SetKeepWhiteSpace(way % 2 == 0);
    doc->SetLoadFilter(pruneAfterwards ? nullptr : filter);
    TTrickleStream stream(text);
    std::string error = ErrorOf([&] {
      way < 2 ? doc->LoadFromXmlText(text) : doc->LoadStream(stream);
      if (pruneAfterwards && filter) Prune(*doc.Get(), filter->Root());
    });
    outcome[size_t(way)] = error == "(no error)" ? doc->GetXml() : "error: " + error;
  }
  return outcome;
}

}  // namespace voltrane::test
