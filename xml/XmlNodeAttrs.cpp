// The attribute operations of every node.
#include <cinttypes>
#include <cstdio>

#include "rt/Exception.h"
#include "xml/XmlNode.h"

namespace voltrane {

namespace {

bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = char(x + 32);
    if (y >= 'A' && y <= 'Z') y = char(y + 32);
    if (x != y) return false;
  }
  return true;
}

int64_t ParseHex(const std::string& text) {
  uint64_t value = 0;
  bool valid = !text.empty() && text.size() <= 16;
  for (char c : text) {
    int digit = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                       : -1;
    if (digit < 0) valid = false;
    value = value << 4 | uint64_t(digit & 15);
  }
  if (!valid) throw Exception("'" + text + "' is not a valid integer value");
  return int64_t(value);
}

}  // namespace

int TXmlNode::AttrIndex(TXmlNameID name) const {
  if (!name) return -1;
  for (size_t i = 0; i < attrs_.size(); ++i)
    if (attrs_[i].NameID == name) return int(i);
  return -1;
}

const TVariant* TXmlNode::FindAttr(TXmlNameID name) const {
  int index = AttrIndex(name);
  return index < 0 ? nullptr : &attrs_[size_t(index)].Value;
}

const TVariant* TXmlNode::FindAttr(std::string_view name) const {
  return FindAttr(names_->FindID(name));
}

TXmlNameID TXmlNode::GetAttrNameIDAt(int index) const {
  if (index < 0 || index >= GetAttrCount())
    throw Exception("Attribute index " + std::to_string(index) + " out of range");
  return attrs_[size_t(index)].NameID;
}

std::string_view TXmlNode::GetAttrNameAt(int index) const {
  return TXmlNameTable::GetName(GetAttrNameIDAt(index));
}

const TVariant& TXmlNode::GetAttrValueAt(int index) const {
  GetAttrNameIDAt(index);
  return attrs_[size_t(index)].Value;
}

void TXmlNode::RemoveAttr(TXmlNameID name) {
  int index = AttrIndex(name);
  if (index >= 0) attrs_.erase(attrs_.begin() + index);
}

void TXmlNode::RemoveAttr(std::string_view name) {
  RemoveAttr(names_->FindID(name));
}

uint16_t TXmlNode::GetAttrKind(TXmlNameID name) const {
  const TVariant* value = FindAttr(name);
  return value ? value->VarType() : uint16_t(varString);
}

uint16_t TXmlNode::GetAttrKind(std::string_view name) const {
  return GetAttrKind(names_->FindID(name));
}

TVariant TXmlNode::GetAttrValue(TXmlNameID name, const TVariant& defaultValue) const {
  const TVariant* value = FindAttr(name);
  return value ? *value : defaultValue;
}

TVariant TXmlNode::GetAttrValue(std::string_view name, const TVariant& defaultValue) const {
  return GetAttrValue(names_->FindID(name), defaultValue);
}

void TXmlNode::SetAttrValue(TXmlNameID name, TVariant&& value) {
  if (!name) throw Exception("Name must start with letter or \"_\"");
  int index = AttrIndex(name);
  if (index >= 0) {
    attrs_[size_t(index)].Value = std::move(value);
    return;
  }
  GrowByXmlSteps(attrs_);
  attrs_.push_back({name, std::move(value)});
}

void TXmlNode::SetParsedAttr(TXmlNameID name, TVariant&& value,
                             std::unordered_map<TXmlNameID, int>& positions) {
  constexpr size_t kScanned = 16;  // a scan of this few costs less than hashing
  if (!name || attrs_.size() < kScanned) return SetAttrValue(name, std::move(value));
  if (positions.empty()) {
    for (size_t i = 0; i < attrs_.size(); ++i) positions.emplace(attrs_[i].NameID, int(i));
  }
  auto [at, added] = positions.emplace(name, int(attrs_.size()));
  if (!added) {
    attrs_[size_t(at->second)].Value = std::move(value);
    return;
  }
  GrowByXmlSteps(attrs_);
  attrs_.push_back({name, std::move(value)});
}

void TXmlNode::SetAttrValue(std::string_view name, const TVariant& value) {
  SetAttrValue(names_->GetID(name), TVariant(value));
}

std::string TXmlNode::RequireAttr(TXmlNameID name) const {
  const TVariant* value = FindAttr(name);
  if (!value)
    throw Exception("Attribute \"" + std::string(TXmlNameTable::GetName(name)) + "\" not assigned");
  return VarToStr(*value);
}

std::string TXmlNode::RequireAttr(std::string_view name) const {
  const TVariant* value = FindAttr(name);
  if (!value) throw Exception("Attribute \"" + std::string(name) + "\" not assigned");
  return VarToStr(*value);
}

std::string TXmlNode::GetAttrText(TXmlNameID name, const std::string& defaultText) const {
  const TVariant* value = FindAttr(name);
  return value ? VarToStr(*value) : defaultText;
}

std::string TXmlNode::GetAttrText(std::string_view name, const std::string& defaultText) const {
  return GetAttrText(names_->FindID(name), defaultText);
}

void TXmlNode::SetAttrText(TXmlNameID name, const std::string& text) {
  SetAttrValue(name, TVariant(text));
}

void TXmlNode::SetAttrText(std::string_view name, const std::string& text) {
  SetAttrValue(name, TVariant(text));
}

std::string TXmlNode::GetAttrAsBytes(TXmlNameID name, const std::string& defaultBytes) const {
  return GetAttrText(name, defaultBytes);
}

std::string TXmlNode::GetAttrAsBytes(std::string_view name, const std::string& defaultBytes) const {
  return GetAttrText(name, defaultBytes);
}

bool TXmlNode::GetAttrAsBool(TXmlNameID name, bool defaultValue) const {
  const TVariant* value = FindAttr(name);
  return value ? VarToBool(*value) : defaultValue;
}

bool TXmlNode::GetAttrAsBool(std::string_view name, bool defaultValue) const {
  return GetAttrAsBool(names_->FindID(name), defaultValue);
}

void TXmlNode::SetAttrAsBool(TXmlNameID name, bool value) {
  SetAttrValue(name, TVariant(value));
}

void TXmlNode::SetAttrAsBool(std::string_view name, bool value) {
  SetAttrValue(name, TVariant(value));
}

int32_t TXmlNode::GetAttrAsInt(TXmlNameID name, int32_t defaultValue) const {
  const TVariant* value = FindAttr(name);
  return value ? VarToInt(*value) : defaultValue;
}

int32_t TXmlNode::GetAttrAsInt(std::string_view name, int32_t defaultValue) const {
  return GetAttrAsInt(names_->FindID(name), defaultValue);
}

void TXmlNode::SetAttrAsInt(TXmlNameID name, int32_t value) {
  SetAttrValue(name, TVariant(value));
}

void TXmlNode::SetAttrAsInt(std::string_view name, int32_t value) {
  SetAttrValue(name, TVariant(value));
}

TDateTime TXmlNode::GetAttrAsDateTime(TXmlNameID name, TDateTime defaultValue) const {
  const TVariant* value = FindAttr(name);
  if (!value) return defaultValue;
  if (value->IsString()) return XmlTextToDateTime(VarToStr(*value));
  return VarToDateTime(*value);
}

TDateTime TXmlNode::GetAttrAsDateTime(std::string_view name, TDateTime defaultValue) const {
  return GetAttrAsDateTime(names_->FindID(name), defaultValue);
}

void TXmlNode::SetAttrAsDateTime(TXmlNameID name, TDateTime value) {
  SetAttrValue(name, TVariant::DateTime(value));
}

void TXmlNode::SetAttrAsDateTime(std::string_view name, TDateTime value) {
  SetAttrValue(name, TVariant::DateTime(value));
}

double TXmlNode::GetAttrAsFloat(TXmlNameID name, double defaultValue) const {
  const TVariant* value = FindAttr(name);
  if (!value) return defaultValue;
  if (value->IsNumeric()) return VarToFloat(*value);
  return XmlTextToFloat(VarToStr(*value));
}

double TXmlNode::GetAttrAsFloat(std::string_view name, double defaultValue) const {
  return GetAttrAsFloat(names_->FindID(name), defaultValue);
}

void TXmlNode::SetAttrAsFloat(TXmlNameID name, double value) {
  SetAttrValue(name, TVariant(value));
}

void TXmlNode::SetAttrAsFloat(std::string_view name, double value) {
  SetAttrValue(name, TVariant(value));
}

int64_t TXmlNode::GetAttrAsHex(TXmlNameID name, int64_t defaultValue) const {
  const TVariant* value = FindAttr(name);
  return value ? ParseHex(VarToStr(*value)) : defaultValue;
}

int64_t TXmlNode::GetAttrAsHex(std::string_view name, int64_t defaultValue) const {
  return GetAttrAsHex(names_->FindID(name), defaultValue);
}

void TXmlNode::SetAttrAsHex(TXmlNameID name, int64_t value, int digits) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%0*" PRIX64,
                digits < 0    ? 0
                : digits > 16 ? 16
                              : digits,
                uint64_t(value));
  SetAttrText(name, buffer);
}

void TXmlNode::SetAttrAsHex(std::string_view name, int64_t value, int digits) {
  SetAttrAsHex(names_->GetID(name), value, digits);
}

void TXmlNode::RaiseEnumValue(TXmlNameID name, const std::string& text,
                              const std::vector<std::string>& allowed) const {
  (void)text;
  std::string list;
  for (size_t i = 0; i < allowed.size(); ++i) {
    if (i > 0) list += "\r\n";
    list += allowed[i];
  }
  throw Exception("Incorrect value of the attribute \"" +
                  std::string(TXmlNameTable::GetName(name)) + "\" at element \"" +
                  std::string(GetNodeName()) + "\".\r\nAllowed values are: \r\n" + list);
}

int TXmlNode::GetAttrAsEnum(TXmlNameID name, const std::vector<std::string>& allowed,
                            int defaultIndex) const {
  const TVariant* value = FindAttr(name);
  if (!value) return defaultIndex;
  std::string text = VarToStr(*value);
  for (size_t i = 0; i < allowed.size(); ++i)
    if (SameIgnoringAsciiCase(text, allowed[i])) return int(i);
  RaiseEnumValue(name, text, allowed);
}

int TXmlNode::GetAttrAsEnum(std::string_view name, const std::vector<std::string>& allowed,
                            int defaultIndex) const {
  return GetAttrAsEnum(names_->FindID(name), allowed, defaultIndex);
}

int TXmlNode::RequireAttrAsEnum(TXmlNameID name, const std::vector<std::string>& allowed) const {
  if (!FindAttr(name))
    throw Exception("Attribute \"" + std::string(TXmlNameTable::GetName(name)) + "\" not found");
  return GetAttrAsEnum(name, allowed, -1);
}

int TXmlNode::RequireAttrAsEnum(std::string_view name,
                                const std::vector<std::string>& allowed) const {
  if (!FindAttr(name)) throw Exception("Attribute \"" + std::string(name) + "\" not found");
  return GetAttrAsEnum(names_->FindID(name), allowed, -1);
}

}  // namespace voltrane
