// The node of a document tree and the list of a node's children. Every operation a caller
// may make on any node lives here; the element and document classes add their own.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "xml/XmlBase.h"
#include "xml/XmlNameChars.h"
#include "xml/XmlNameTable.h"
#include "xml/XmlVariant.h"

namespace voltrane {

class TXmlNode;
class TXmlNodeList;
class TXmlElement;
class TXmlCharacterData;
class TXmlText;
class TXmlCDATASection;
class TXmlComment;
class TXmlProcessingInstruction;
class TXmlDocument;
class TXmlSaver;

using IXmlBase = TXmlRef<TXmlBase>;
using IXmlNode = TXmlRef<TXmlNode>;
using IXmlNodeList = TXmlRef<TXmlNodeList>;
using IXmlElement = TXmlRef<TXmlElement>;
using IXmlCharacterData = TXmlRef<TXmlCharacterData>;
using IXmlText = TXmlRef<TXmlText>;
using IXmlCDATASection = TXmlRef<TXmlCDATASection>;
using IXmlComment = TXmlRef<TXmlComment>;
using IXmlProcessingInstruction = TXmlRef<TXmlProcessingInstruction>;
using IXmlDocument = TXmlRef<TXmlDocument>;

enum TXmlNodeType : uint8_t {
  xntOther = 0,
  xntElement = 1,
  xntText = 2,
  xntCDATASection = 3,
  xntProcessingInstruction = 4,
  xntComment = 5,
  xntDocument = 6,
};

struct TXmlAttrData {
  TXmlNameID NameID;
  TVariant Value;
};

// The library-wide default of a document's KeepWhiteSpace flag; it also stands in for the
// flag of a node that belongs to no document.
constexpr bool kDefaultKeepWhiteSpace = false;

class TXmlNodeList : public TXmlBase {
 public:
  // A list with an owner holds that node's children; one without (a selection result)
  // only holds references and leaves the nodes' parents alone.
  explicit TXmlNodeList(TXmlNode* owner) : owner_(owner) {}
  ~TXmlNodeList() override;

  int GetCount() const { return int(items_.size()); }
  // Raises "Failed to get list item: Index %d out of range" outside 0 to Count - 1.
  IXmlNode GetItem(int index) const;
  // Swaps two positions when both lie within the list.
  void Exchange(int i, int j);
  std::string GetXml() const;

  TXmlNode* Owner() const { return owner_; }
  TXmlNode* ItemAt(int index) const { return items_[size_t(index)].Get(); }
  int IndexOf(const TXmlNode* node) const;

  // Inserts before the item before (at the end when before is not an item) and gives
  // the node inserted. A node of another parent or name table is not moved: a deep clone,
  // re-interned in the owner's table, goes in instead; so does the owner or one of its
  // ancestors, which could not become its own descendant. A child of the same owner moves.
  IXmlNode Insert(const IXmlNode& node, const TXmlNode* before = nullptr);
  // Appends a node just made for the owner: same name table, no parent yet.
  void AppendNew(const IXmlNode& node) { AppendNew(IXmlNode(node)); }
  void AppendNew(IXmlNode&& node);
  // Puts node at the position of old, which leaves the list.
  void Replace(const IXmlNode& node, const TXmlNode* old);
  // Removes the item at index; its parent becomes none.
  void Delete(int index);
  void Clear();

 private:
  friend class TXmlNode;
  IXmlNode PrepareForInsert(const IXmlNode& node);
  void Detach(TXmlNode* node) const;
  void Grow();

  TXmlNode* owner_;
  std::vector<IXmlNode> items_;
};

class TXmlNode : public TXmlBase {
 public:
  // --- identity and value
  IXmlNameTable GetNameTable() const { return names_; }
  TXmlNameTable& Names() const { return *names_.Get(); }
  std::string_view GetNodeName() const { return TXmlNameTable::GetName(GetNameID()); }
  virtual TXmlNameID GetNameID() const = 0;
  // Stores the name of an element or the target of a processing instruction.
  virtual void SetNameID(TXmlNameID) {}
  int GetNodeType() const { return nodeType_; }
  virtual std::string GetText() const = 0;
  virtual void SetText(const std::string& text) = 0;
  virtual uint16_t GetValueKind() const { return varString; }
  virtual TVariant GetNodeValue() const { return TVariant(GetText()); }
  virtual void SetNodeValue(const TVariant& value) { SetText(VarToStr(value)); }
  std::string GetXml() const;
  virtual void WriteTo(TXmlSaver& saver) const = 0;
  // A copy without parent, using the same name table; deep copies the children too.
  IXmlNode CloneNode(bool deep) const;
  // The same into another name table, names re-interned there.
  IXmlNode CloneInto(const IXmlNameTable& names, bool deep) const;

  // --- tree
  IXmlNode GetParentNode() const { return IXmlNode(parent_); }
  TXmlNode* ParentNode() const { return parent_; }
  IXmlDocument GetOwnerDocument() const;
  TXmlNodeList& GetChildListObject();
  IXmlNodeList GetChildList() { return IXmlNodeList(&GetChildListObject()); }
  int ChildCount() const { return childList_ ? childList_->GetCount() : 0; }
  bool HasChildNodes() const { return ChildCount() > 0; }
  TXmlNode* ChildAt(int index) const { return childList_->ItemAt(index); }

  // Each gives the node inserted (a clone when the node could not be moved).
  IXmlNode AppendChild(const IXmlNode& node);
  IXmlNode InsertBefore(const IXmlNode& node, const IXmlNode& before);
  // Gives old, now without parent, or none when old is not a child.
  IXmlNode ReplaceChild(const IXmlNode& newChild, const IXmlNode& oldChild);
  // The former index, or -1.
  int RemoveChild(const IXmlNode& node);
  void SwapChildren(const IXmlNode& a, const IXmlNode& b);
  IXmlElement AddElement(TXmlNameID name);
  IXmlElement AddElement(std::string_view name);
  IXmlText AddText(const std::string& text);
  IXmlCDATASection AddCDATA(const std::string& text);
  IXmlComment AddComment(const std::string& text);
  IXmlProcessingInstruction AddProcessingInstruction(TXmlNameID target, const std::string& data);
  IXmlProcessingInstruction AddProcessingInstruction(std::string_view target,
                                                     const std::string& data);
  // GetText of the first child with that node name (any kind of node), else the default.
  std::string ReadChildText(TXmlNameID name, const std::string& defaultText = "") const;
  std::string ReadChildText(std::string_view name, const std::string& defaultText = "") const;
  // SetText on the first child with that node name, appending an element when none has it.
  void WriteChildText(TXmlNameID name, const std::string& text);
  void WriteChildText(std::string_view name, const std::string& text);
  // Raises "Error: Child node "%s" not found" when no child has that node name.
  IXmlNode RequireChild(TXmlNameID name) const;
  IXmlNode RequireChild(std::string_view name) const;
  IXmlNode FindOrAddChild(TXmlNameID name);
  IXmlNode FindOrAddChild(std::string_view name);
  void ClearChildren();
  // The first child with that node name, or nullptr.
  TXmlNode* FindChild(TXmlNameID name) const;

  // --- selection by path (names separated by "\")
  IXmlNode SelectNodeByPath(std::string_view path);
  IXmlNodeList CollectNodesByPath(std::string_view path);
  TVariant GetValueByPath(std::string_view path);
  void SetValueByPath(std::string_view path, const TVariant& value);
  std::string GetPathFromRoot() const;
  IXmlElement FindChildByAttr(std::string_view elementName, std::string_view attrName,
                              const TVariant& value);

  // --- attributes
  int GetAttrCount() const { return int(attrs_.size()); }
  // An index outside 0 to AttrCount - 1 raises "Attribute index %d out of range".
  TXmlNameID GetAttrNameIDAt(int index) const;
  std::string_view GetAttrNameAt(int index) const;
  const TVariant& GetAttrValueAt(int index) const;
  void RemoveAttr(TXmlNameID name);
  void RemoveAttr(std::string_view name);
  void ClearAttrs() { attrs_.clear(); }
  bool HasAttr(TXmlNameID name) const { return FindAttr(name) != nullptr; }
  bool HasAttr(std::string_view name) const { return FindAttr(name) != nullptr; }
  uint16_t GetAttrKind(TXmlNameID name) const;
  uint16_t GetAttrKind(std::string_view name) const;
  TVariant GetAttrValue(TXmlNameID name, const TVariant& defaultValue = {}) const;
  TVariant GetAttrValue(std::string_view name, const TVariant& defaultValue = {}) const;
  void SetAttrValue(TXmlNameID name, const TVariant& value) { SetAttrValue(name, TVariant(value)); }
  void SetAttrValue(TXmlNameID name, TVariant&& value);
  void SetAttrValue(std::string_view name, const TVariant& value);
  // The parser's SetAttrValue for one tag's attributes in document order: a name set before
  // takes the new value in its place (the last occurrence wins), found through positions
  // once the list is long, so that n attributes take time linear in n. positions is the
  // caller's, empty at the tag's first attribute.
  void SetParsedAttr(TXmlNameID name, TVariant&& value,
                     std::unordered_map<TXmlNameID, int>& positions);
  // Raises "Attribute "%s" not assigned" when absent.
  std::string RequireAttr(TXmlNameID name) const;
  std::string RequireAttr(std::string_view name) const;
  std::string GetAttrText(TXmlNameID name, const std::string& defaultText = "") const;
  std::string GetAttrText(std::string_view name, const std::string& defaultText = "") const;
  void SetAttrText(TXmlNameID name, const std::string& text);
  void SetAttrText(std::string_view name, const std::string& text);
  std::string GetAttrAsBytes(TXmlNameID name, const std::string& defaultBytes = "") const;
  std::string GetAttrAsBytes(std::string_view name, const std::string& defaultBytes = "") const;
  bool GetAttrAsBool(TXmlNameID name, bool defaultValue = false) const;
  bool GetAttrAsBool(std::string_view name, bool defaultValue = false) const;
  void SetAttrAsBool(TXmlNameID name, bool value);
  void SetAttrAsBool(std::string_view name, bool value);
  int32_t GetAttrAsInt(TXmlNameID name, int32_t defaultValue = 0) const;
  int32_t GetAttrAsInt(std::string_view name, int32_t defaultValue = 0) const;
  void SetAttrAsInt(TXmlNameID name, int32_t value);
  void SetAttrAsInt(std::string_view name, int32_t value);
  TDateTime GetAttrAsDateTime(TXmlNameID name, TDateTime defaultValue = 0) const;
  TDateTime GetAttrAsDateTime(std::string_view name, TDateTime defaultValue = 0) const;
  void SetAttrAsDateTime(TXmlNameID name, TDateTime value);
  void SetAttrAsDateTime(std::string_view name, TDateTime value);
  double GetAttrAsFloat(TXmlNameID name, double defaultValue = 0) const;
  double GetAttrAsFloat(std::string_view name, double defaultValue = 0) const;
  void SetAttrAsFloat(TXmlNameID name, double value);
  void SetAttrAsFloat(std::string_view name, double value);
  int64_t GetAttrAsHex(TXmlNameID name, int64_t defaultValue = 0) const;
  int64_t GetAttrAsHex(std::string_view name, int64_t defaultValue = 0) const;
  void SetAttrAsHex(TXmlNameID name, int64_t value, int digits);
  void SetAttrAsHex(std::string_view name, int64_t value, int digits);
  int GetAttrAsEnum(TXmlNameID name, const std::vector<std::string>& allowed,
                    int defaultIndex) const;
  int GetAttrAsEnum(std::string_view name, const std::vector<std::string>& allowed,
                    int defaultIndex) const;
  int RequireAttrAsEnum(TXmlNameID name, const std::vector<std::string>& allowed) const;
  int RequireAttrAsEnum(std::string_view name, const std::vector<std::string>& allowed) const;
  const TVariant* FindAttr(TXmlNameID name) const;
  const TVariant* FindAttr(std::string_view name) const;

  // --- narrowing: the node's interface of that kind, or none
  IXmlElement ToElement();
  IXmlText ToText();
  IXmlCDATASection ToCDATASection();
  IXmlComment ToComment();
  IXmlProcessingInstruction ToProcessingInstruction();
  IXmlDocument ToDocument();

 protected:
  TXmlNode(TXmlNodeType type, IXmlNameTable names);
  ~TXmlNode() override;

  // A copy of this node alone (no children) using names.
  virtual IXmlNode CloneShallow(const IXmlNameTable& names) const = 0;
  // The owner document's KeepWhiteSpace flag, or the library default without one.
  bool KeepWhiteSpace() const;
  // The joined text of the text and CDATA children.
  std::string ChildrenText() const;
  void CopyAttrsTo(TXmlNode& target) const;
  static TXmlNameID Reintern(TXmlNameID id, TXmlNameTable& target);

 private:
  friend class TXmlNodeList;
  int AttrIndex(TXmlNameID name) const;
  TXmlNode* SelectChildElement(std::string_view name) const;
  [[noreturn]] void RaiseEnumValue(TXmlNameID name, const std::string& text,
                                   const std::vector<std::string>& allowed) const;

  TXmlNode* parent_ = nullptr;  // not counted: a parent holds its children, not back
  IXmlNameTable names_;
  std::vector<TXmlAttrData> attrs_;
  IXmlNodeList childList_;
  TXmlNodeType nodeType_;
};

// Capacity for one more item: +4 up to 8, +16 up to 64, then a quarter more.
template <class Vector>
void GrowByXmlSteps(Vector& items) {
  size_t capacity = items.capacity();
  if (items.size() < capacity) return;
  size_t step = capacity <= 8 ? 4 : capacity <= 64 ? 16 : capacity / 4;
  items.reserve(capacity + step);
}

}  // namespace voltrane
