#include "xml/XmlNode.h"

#include <utility>

#include "rt/Exception.h"
#include "xml/XmlDocument.h"
#include "xml/XmlNodes.h"
#include "xml/XmlSaver.h"

namespace voltrane {

// --- reference counting

void RaiseEmptyXmlReference() {
  throw Exception("Access through an empty XML interface");
}

namespace {

// Objects waiting to be freed, linked through themselves: plain thread-local data, so it
// stays usable while the thread's other thread-local objects are being destroyed.
thread_local TXmlBase* waitingToDestroy = nullptr;
thread_local bool destroying = false;

}  // namespace

void TXmlBase::Destroy(TXmlBase* object) noexcept {
  if (destroying) {
    object->nextToDestroy_ = waitingToDestroy;
    waitingToDestroy = object;
    return;
  }
  destroying = true;
  delete object;
  while (TXmlBase* next = waitingToDestroy) {
    waitingToDestroy = next->nextToDestroy_;
    delete next;
  }
  destroying = false;
}

// --- TXmlNodeList

TXmlNodeList::~TXmlNodeList() {
  Clear();
}

IXmlNode TXmlNodeList::GetItem(int index) const {
  if (index < 0 || index >= GetCount())
    throw Exception("Failed to get list item: Index " + std::to_string(index) + " out of range");
  return items_[size_t(index)];
}

void TXmlNodeList::Exchange(int i, int j) {
  if (i >= 0 && j >= 0 && i < GetCount() && j < GetCount())
    std::swap(items_[size_t(i)], items_[size_t(j)]);
}

std::string TXmlNodeList::GetXml() const {
  TXmlSaver saver;
  for (const IXmlNode& item : items_) item->WriteTo(saver);
  return saver.Text();
}

int TXmlNodeList::IndexOf(const TXmlNode* node) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].Get() == node) return int(i);
  return -1;
}

void TXmlNodeList::Grow() {
  GrowByXmlSteps(items_);
}

void TXmlNodeList::Detach(TXmlNode* node) const {
  if (owner_ && node->parent_ == owner_) node->parent_ = nullptr;
}

IXmlNode TXmlNodeList::PrepareForInsert(const IXmlNode& node) {
  TXmlNode* n = node.operator->();
  if (!owner_) return node;
  bool foreign = n->names_.Get() != owner_->names_.Get() || (n->parent_ && n->parent_ != owner_);
  bool ancestor = false;
  for (TXmlNode* a = owner_; a && !ancestor; a = a->parent_) ancestor = a == n;
  if (foreign || ancestor) {
    IXmlNode clone = n->CloneInto(owner_->names_, true);
    clone->parent_ = owner_;
    return clone;
  }
  IXmlNode item(n);  // node may name a slot of this very list
  if (n->parent_ == owner_) {
    int index = IndexOf(n);
    if (index >= 0) items_.erase(items_.begin() + index);
  }
  n->parent_ = owner_;
  return item;
}

IXmlNode TXmlNodeList::Insert(const IXmlNode& node, const TXmlNode* before) {
  if (node.Get() == before) return node;
  IXmlNode item = PrepareForInsert(node);
  int index = before ? IndexOf(before) : -1;
  Grow();
  if (index < 0)
    items_.push_back(item);
  else
    items_.insert(items_.begin() + index, item);
  return item;
}

void TXmlNodeList::AppendNew(IXmlNode&& node) {
  node.Get()->parent_ = owner_;
  Grow();
  items_.push_back(std::move(node));
}

void TXmlNodeList::Replace(const IXmlNode& node, const TXmlNode* old) {
  if (node.Get() == old || IndexOf(old) < 0) return;
  IXmlNode item = PrepareForInsert(node);
  int index = IndexOf(old);
  Detach(items_[size_t(index)].Get());
  items_[size_t(index)] = std::move(item);
}

void TXmlNodeList::Delete(int index) {
  IXmlNode removed = std::move(items_[size_t(index)]);
  items_.erase(items_.begin() + index);
  Detach(removed.Get());
}

void TXmlNodeList::Clear() {
  std::vector<IXmlNode> items;
  items.swap(items_);
  for (IXmlNode& item : items) Detach(item.Get());
}

// --- TXmlNode: identity and tree

TXmlNode::TXmlNode(TXmlNodeType type, IXmlNameTable names)
    : names_(std::move(names)), nodeType_(type) {
  if (!names_) names_ = IXmlNameTable(new TXmlNameTable());
}

TXmlNode::~TXmlNode() {
  // A list handle that outlives its node becomes a plain, empty list.
  if (childList_) {
    childList_->Clear();
    childList_->owner_ = nullptr;
  }
}

std::string TXmlNode::GetXml() const {
  TXmlSaver saver;
  WriteTo(saver);
  return saver.Text();
}

IXmlNode TXmlNode::CloneNode(bool deep) const {
  return CloneInto(names_, deep);
}

IXmlNode TXmlNode::CloneInto(const IXmlNameTable& names, bool deep) const {
  IXmlNode root = CloneShallow(names);
  if (!deep) return root;
  // Level by level through an explicit stack, so any depth clones without recursion.
  std::vector<std::pair<const TXmlNode*, TXmlNode*>> pending{{this, root.Get()}};
  while (!pending.empty()) {
    auto [source, target] = pending.back();
    pending.pop_back();
    for (int i = 0; i < source->ChildCount(); ++i) {
      const TXmlNode* child = source->ChildAt(i);
      IXmlNode copy = child->CloneShallow(names);
      target->GetChildListObject().AppendNew(copy);
      if (child->HasChildNodes()) pending.emplace_back(child, copy.Get());
    }
  }
  return root;
}

TXmlNameID TXmlNode::Reintern(TXmlNameID id, TXmlNameTable& target) {
  return target.GetID(TXmlNameTable::GetName(id));
}

void TXmlNode::CopyAttrsTo(TXmlNode& target) const {
  bool sameTable = names_.Get() == target.names_.Get();
  target.attrs_.reserve(attrs_.capacity());
  for (const TXmlAttrData& attr : attrs_)
    target.attrs_.push_back(
        {sameTable ? attr.NameID : Reintern(attr.NameID, target.Names()), attr.Value});
}

IXmlDocument TXmlNode::GetOwnerDocument() const {
  for (const TXmlNode* n = this; n; n = n->parent_)
    if (n->nodeType_ == xntDocument)
      return IXmlDocument(static_cast<TXmlDocument*>(const_cast<TXmlNode*>(n)));
  return nullptr;
}

bool TXmlNode::KeepWhiteSpace() const {
  for (const TXmlNode* n = this; n; n = n->parent_)
    if (n->nodeType_ == xntDocument)
      return static_cast<const TXmlDocument*>(n)->GetKeepWhiteSpace();
  return kDefaultKeepWhiteSpace;
}

std::string TXmlNode::ChildrenText() const {
  bool keep = KeepWhiteSpace();
  std::string result;
  for (int i = 0; i < ChildCount(); ++i) {
    const TXmlNode* child = ChildAt(i);
    std::string text;
    if (child->nodeType_ == xntText)
      text = static_cast<const TXmlText*>(child)->TextWith(keep);
    else if (child->nodeType_ == xntCDATASection)
      text = static_cast<const TXmlCDATASection*>(child)->TextWith(keep);
    if (text.empty()) continue;
    if (!result.empty()) result += ' ';
    result += text;
  }
  return result;
}

TXmlNodeList& TXmlNode::GetChildListObject() {
  if (!childList_) childList_ = IXmlNodeList(new TXmlNodeList(this));
  return *childList_.Get();
}

IXmlNode TXmlNode::AppendChild(const IXmlNode& node) {
  return GetChildListObject().Insert(node);
}

IXmlNode TXmlNode::InsertBefore(const IXmlNode& node, const IXmlNode& before) {
  return GetChildListObject().Insert(node, before.Get());
}

IXmlNode TXmlNode::ReplaceChild(const IXmlNode& newChild, const IXmlNode& oldChild) {
  if (!childList_ || childList_->IndexOf(oldChild.Get()) < 0) return nullptr;
  childList_->Replace(newChild, oldChild.Get());
  return oldChild;
}

int TXmlNode::RemoveChild(const IXmlNode& node) {
  int index = childList_ ? childList_->IndexOf(node.Get()) : -1;
  if (index >= 0) childList_->Delete(index);
  return index;
}

void TXmlNode::SwapChildren(const IXmlNode& a, const IXmlNode& b) {
  if (!childList_) return;
  int i = childList_->IndexOf(a.Get()), j = childList_->IndexOf(b.Get());
  if (i >= 0 && j >= 0) childList_->Exchange(i, j);
}

IXmlElement TXmlNode::AddElement(TXmlNameID name) {
  IXmlElement element(new TXmlElement(names_, name));
  AppendChild(element);
  return element;
}

IXmlElement TXmlNode::AddElement(std::string_view name) {
  return AddElement(names_->GetID(name));
}

IXmlText TXmlNode::AddText(const std::string& text) {
  IXmlText node(new TXmlText(names_, TVariant(text)));
  AppendChild(node);
  return node;
}

IXmlCDATASection TXmlNode::AddCDATA(const std::string& text) {
  IXmlCDATASection node(new TXmlCDATASection(names_, text));
  AppendChild(node);
  return node;
}

IXmlComment TXmlNode::AddComment(const std::string& text) {
  IXmlComment node(new TXmlComment(names_, text));
  AppendChild(node);
  return node;
}

IXmlProcessingInstruction TXmlNode::AddProcessingInstruction(TXmlNameID target,
                                                             const std::string& data) {
  IXmlProcessingInstruction node(new TXmlProcessingInstruction(names_, target, data));
  AppendChild(node);
  return node;
}

IXmlProcessingInstruction TXmlNode::AddProcessingInstruction(std::string_view target,
                                                             const std::string& data) {
  return AddProcessingInstruction(names_->GetID(target), data);
}

TXmlNode* TXmlNode::FindChild(TXmlNameID name) const {
  if (!name) return nullptr;
  for (int i = 0; i < ChildCount(); ++i)
    if (ChildAt(i)->GetNameID() == name) return ChildAt(i);
  return nullptr;
}

std::string TXmlNode::ReadChildText(TXmlNameID name, const std::string& defaultText) const {
  const TXmlNode* child = FindChild(name);
  return child ? child->GetText() : defaultText;
}

std::string TXmlNode::ReadChildText(std::string_view name, const std::string& defaultText) const {
  return ReadChildText(names_->FindID(name), defaultText);
}

void TXmlNode::WriteChildText(TXmlNameID name, const std::string& text) {
  TXmlNode* child = FindChild(name);
  if (child)
    child->SetText(text);
  else
    AddElement(name)->SetText(text);
}

void TXmlNode::WriteChildText(std::string_view name, const std::string& text) {
  WriteChildText(names_->GetID(name), text);
}

IXmlNode TXmlNode::RequireChild(TXmlNameID name) const {
  TXmlNode* child = FindChild(name);
  if (!child)
    throw Exception("Error: Child node \"" + std::string(TXmlNameTable::GetName(name)) +
                    "\" not found");
  return IXmlNode(child);
}

IXmlNode TXmlNode::RequireChild(std::string_view name) const {
  TXmlNode* child = FindChild(names_->FindID(name));
  if (!child) throw Exception("Error: Child node \"" + std::string(name) + "\" not found");
  return IXmlNode(child);
}

IXmlNode TXmlNode::FindOrAddChild(TXmlNameID name) {
  if (TXmlNode* child = FindChild(name)) return IXmlNode(child);
  return AddElement(name);
}

IXmlNode TXmlNode::FindOrAddChild(std::string_view name) {
  return FindOrAddChild(names_->GetID(name));
}

void TXmlNode::ClearChildren() {
  if (childList_) childList_->Clear();
}

std::string TXmlNode::GetPathFromRoot() const {
  if (!parent_) return "";
  std::vector<const TXmlNode*> chain;
  for (const TXmlNode* n = this; n && n->nodeType_ != xntDocument; n = n->parent_)
    chain.push_back(n);
  std::string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (!path.empty()) path += '\\';
    path += (*it)->GetNodeName();
  }
  return path;
}

// --- narrowing

IXmlElement TXmlNode::ToElement() {
  return nodeType_ == xntElement ? IXmlElement(static_cast<TXmlElement*>(this)) : nullptr;
}

IXmlText TXmlNode::ToText() {
  return nodeType_ == xntText ? IXmlText(static_cast<TXmlText*>(this)) : nullptr;
}

IXmlCDATASection TXmlNode::ToCDATASection() {
  return nodeType_ == xntCDATASection ? IXmlCDATASection(static_cast<TXmlCDATASection*>(this))
                                      : nullptr;
}

IXmlComment TXmlNode::ToComment() {
  return nodeType_ == xntComment ? IXmlComment(static_cast<TXmlComment*>(this)) : nullptr;
}

IXmlProcessingInstruction TXmlNode::ToProcessingInstruction() {
  return nodeType_ == xntProcessingInstruction
             ? IXmlProcessingInstruction(static_cast<TXmlProcessingInstruction*>(this))
             : nullptr;
}

IXmlDocument TXmlNode::ToDocument() {
  return nodeType_ == xntDocument ? IXmlDocument(static_cast<TXmlDocument*>(this)) : nullptr;
}

}  // namespace voltrane
