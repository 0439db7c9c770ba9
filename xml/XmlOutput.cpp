// The text form of nodes.
#include <vector>

#include "xml/XmlDocument.h"
#include "xml/XmlEscape.h"
#include "xml/XmlNodes.h"
#include "xml/XmlSaver.h"

namespace voltrane {

namespace {

void WriteAttrs(const TXmlNode& node, TXmlSaver& saver) {
  for (int i = 0; i < node.GetAttrCount(); ++i) {
    saver.Write(" ");
    saver.Write(node.GetAttrNameAt(i));
    saver.Write("=\"");
    saver.Write(EscapeXmlText(ValueToXmlText(node.GetAttrValueAt(i))));
    saver.Write("\"");
  }
}

struct TOpenElement {
  const TXmlElement* Element;
  int NextChild;
  int Depth;
  int64_t ContentStart;
};

}  // namespace

// Without KeepWhiteSpace each start tag goes on a new line indented by one tab per element
// ancestor, and so does an end tag whose content spans lines. The walk keeps its own stack,
// so a tree of any depth is written without recursion.
void TXmlElement::WriteTo(TXmlSaver& saver) const {
  const bool keep = KeepWhiteSpace();
  int depth = 0;
  for (const TXmlNode* a = ParentNode(); a; a = a->ParentNode())
    if (a->GetNodeType() != xntDocument) ++depth;

  std::vector<TOpenElement> open;
  auto start = [&](const TXmlElement* element, int level) {
    if (!keep) {
      saver.Write("\r\n");
      saver.Write(std::string(size_t(level), '\t'));
    }
    saver.Write("<");
    saver.Write(element->GetNodeName());
    WriteAttrs(*element, saver);
    saver.SetPending(">");
    int64_t contentStart = saver.Written() + int64_t(saver.PendingSize());
    if (!element->HasChildNodes() && !element->data_.IsEmpty())
      saver.Write(EscapeXmlText(ValueToXmlText(element->data_)));
    open.push_back({element, 0, level, contentStart});
  };
  auto finish = [&](const TOpenElement& e) {
    if (saver.TakePending()) {
      saver.Write("/>");
      return;
    }
    if (!keep && saver.HoldsLineBreakSince(e.ContentStart)) {
      if (!saver.EndsWithCrLfSince(e.ContentStart)) saver.Write("\r\n");
      saver.Write(std::string(size_t(e.Depth), '\t'));
    }
    saver.Write("</");
    saver.Write(e.Element->GetNodeName());
    saver.Write(">");
  };

  start(this, depth);
  while (!open.empty()) {
    TOpenElement& top = open.back();
    if (top.NextChild >= top.Element->ChildCount()) {
      TOpenElement done = top;
      open.pop_back();
      finish(done);
      continue;
    }
    const TXmlNode* child = top.Element->ChildAt(top.NextChild++);
    if (child->GetNodeType() == xntElement)
      start(static_cast<const TXmlElement*>(child), top.Depth + 1);
    else
      child->WriteTo(saver);
  }
}

void TXmlText::WriteTo(TXmlSaver& saver) const {
  saver.Write(EscapeXmlText(ValueToXmlText(Value())));
}

void TXmlComment::WriteTo(TXmlSaver& saver) const {
  saver.Write("<!--");
  saver.Write(Data());
  saver.Write("-->");
}

void TXmlCDATASection::WriteTo(TXmlSaver& saver) const {
  for (const std::string& part : SplitForCDATA(Data())) {
    saver.Write("<![CDATA[");
    saver.Write(part);
    saver.Write("]]>");
  }
}

void TXmlProcessingInstruction::WriteTo(TXmlSaver& saver) const {
  saver.Write("<?");
  saver.Write(GetNodeName());
  if (!data_.empty()) {
    // Parsed data keeps the blank after the target; adding another would grow the data by
    // one blank with every save and load.
    if (static_cast<unsigned char>(data_[0]) >= 33) saver.Write(" ");
    saver.Write(data_);
  } else {
    WriteAttrs(*this, saver);
  }
  saver.Write("?>");
}

void TXmlDocument::WriteTo(TXmlSaver& saver) const {
  for (int i = 0; i < ChildCount(); ++i) ChildAt(i)->WriteTo(saver);
}

}  // namespace voltrane
