// Helpers of the XML tests.
#pragma once

#include <algorithm>
#include <functional>
#include <string>

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

// A stream that gives the reader one byte per read (after the two whole reads with which a
// stream load looks at the start): every name, value and text run then crosses the
// reader's buffer end, so the reader takes its byte-by-byte way through all of them.
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
inline void Prune(TXmlNode& node, const TXmlLoadFilter::TStep* step) {
  for (int i = node.ChildCount() - 1; i >= 0; --i) {
    TXmlNode* child = node.ChildAt(i);
    if (child->GetNodeType() != xntElement || !step) {
      if (child->GetNodeType() == xntElement) Prune(*child, nullptr);
      continue;
    }
    const TXmlLoadFilter::TStep* inner = TXmlLoadFilter::Find(*step, child->GetNodeName());
    if (!inner)
      node.GetChildListObject().Delete(i);
    else
      Prune(*child, inner->Whole ? nullptr : inner);
  }
}

}  // namespace voltrane::test
