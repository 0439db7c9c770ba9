// Selection of nodes and values by a path of element names separated by "\".
#include "rt/Exception.h"
#include "xml/XmlNode.h"
#include "xml/XmlNodes.h"

namespace voltrane {

namespace {

[[noreturn]] void RaiseUnsupported() {
  throw Exception("This feature is not supported by VoltXml");
}

}  // namespace

TXmlNode* TXmlNode::SelectChildElement(std::string_view name) const {
  // A name the table has never seen names no child, so the lookup need not intern it.
  TXmlNameID id = names_->FindID(name);
  if (!id) return nullptr;
  for (int i = 0; i < ChildCount(); ++i) {
    TXmlNode* child = ChildAt(i);
    if (child->nodeType_ == xntElement && child->GetNameID() == id) return child;
  }
  return nullptr;
}

IXmlNode TXmlNode::SelectNodeByPath(std::string_view path) {
  TXmlNode* node = this;
  while (!IsXmlName(path)) {
    size_t cut = path.find('\\');
    if (cut == std::string_view::npos) RaiseUnsupported();
    std::string_view head = path.substr(0, cut);
    if (!IsXmlName(head)) RaiseUnsupported();
    node = node->SelectChildElement(head);
    if (!node) return nullptr;
    path.remove_prefix(cut + 1);
  }
  return IXmlNode(node->SelectChildElement(path));
}

IXmlNodeList TXmlNode::CollectNodesByPath(std::string_view path) {
  TXmlNode* node = this;
  size_t cut = path.rfind('\\');
  if (cut != std::string_view::npos) {
    IXmlNode parent = SelectNodeByPath(path.substr(0, cut));
    if (!parent) return nullptr;
    node = parent.Get();
    path.remove_prefix(cut + 1);
  }
  if (!IsXmlName(path)) RaiseUnsupported();
  IXmlNodeList result(new TXmlNodeList(nullptr));
  TXmlNameID id = names_->FindID(path);
  for (int i = 0; id && i < node->ChildCount(); ++i) {
    TXmlNode* child = node->ChildAt(i);
    if (child->nodeType_ == xntElement && child->GetNameID() == id) result->Insert(IXmlNode(child));
  }
  return result;
}

TVariant TXmlNode::GetValueByPath(std::string_view path) {
  if (path.empty()) return GetNodeValue();
  if (path[0] == '@') {
    const TVariant* value = FindAttr(path.substr(1));
    return value ? *value : TVariant(std::string());
  }
  IXmlNode found = SelectNodeByPath(path);
  return found ? found->GetNodeValue() : TVariant(std::string());
}

void TXmlNode::SetValueByPath(std::string_view path, const TVariant& value) {
  if (path.empty()) {
    SetNodeValue(value);
  } else if (path[0] == '@') {
    SetAttrValue(path.substr(1), value);
  } else if (IXmlNode found = SelectNodeByPath(path)) {
    found->SetNodeValue(value);
  } else {
    AddElement(path)->SetNodeValue(value);
  }
}

IXmlElement TXmlNode::FindChildByAttr(std::string_view elementName, std::string_view attrName,
                                      const TVariant& value) {
  TXmlNameID element = names_->FindID(elementName), attr = names_->FindID(attrName);
  if (!element || !attr) return nullptr;
  for (int i = 0; i < ChildCount(); ++i) {
    TXmlNode* child = ChildAt(i);
    if (child->nodeType_ != xntElement || child->GetNameID() != element) continue;
    const TVariant* candidate = child->FindAttr(attr);
    if (!candidate) continue;
    bool equal = false;
    try {
      equal = VarEquals(*candidate, value);
    } catch (const Exception&) {
      // A value that cannot be compared counts as different; the search goes on.
    }
    if (equal) return child->ToElement();
  }
  return nullptr;
}

}  // namespace voltrane
