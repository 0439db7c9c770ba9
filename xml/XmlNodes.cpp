#include "xml/XmlNodes.h"

#include <cstring>
#include <utility>

#include "xml/XmlBlanks.h"

namespace voltrane {

std::vector<std::string> SplitForCDATA(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t found = text.find("]]>"); found != std::string::npos;
       found = text.find("]]>", found + 1)) {
    parts.push_back(text.substr(start, found + 1 - start));
    start = found + 1;
  }
  parts.push_back(text.substr(start));
  return parts;
}

// --- TXmlElement

std::string TXmlElement::GetText() const {
  if (HasChildNodes()) return ChildrenText();
  return data_.IsEmpty() ? std::string() : ValueToXmlText(data_);
}

void TXmlElement::SetText(const std::string& text) {
  ClearChildren();
  data_ = TVariant(text);
}

uint16_t TXmlElement::GetValueKind() const {
  return HasChildNodes() || data_.IsEmpty() ? uint16_t(varString) : data_.VarType();
}

TVariant TXmlElement::GetNodeValue() const {
  return HasChildNodes() ? TVariant(ChildrenText()) : data_;
}

void TXmlElement::SetNodeValue(const TVariant& value) {
  ClearChildren();
  data_ = value;
}

void TXmlElement::RemoveTextChildren() {
  for (int i = ChildCount() - 1; i >= 0; --i) {
    int type = ChildAt(i)->GetNodeType();
    if (type == xntText || type == xntCDATASection) GetChildListObject().Delete(i);
  }
}

void TXmlElement::SetTextAsCDATA(const std::string& text) {
  RemoveTextChildren();
  for (const std::string& part : SplitForCDATA(text)) AddCDATA(part);
}

void TXmlElement::SetTextAsBase64(const void* bytes, size_t count, int lineLength) {
  RemoveTextChildren();
  AddText(EncodeBase64(std::string_view(static_cast<const char*>(bytes), count), lineLength));
}

std::string TXmlElement::GetTextFromBase64() const {
  return DecodeBase64(GetText());
}

IXmlNode TXmlElement::CloneShallow(const IXmlNameTable& names) const {
  TXmlNameID name = names.Get() == &Names() ? nameID_ : Reintern(nameID_, *names.Get());
  IXmlElement copy(new TXmlElement(names, name));
  copy->data_ = data_;
  CopyAttrsTo(*copy.Get());
  return copy;
}

// --- TXmlText

TXmlText::TXmlText(IXmlNameTable names, std::string_view text)
    : TXmlNode(xntText, std::move(names)) {
  if (text.empty()) {
    value_ = TVariant(std::string());
    return;
  }
  parsed_ = new char[text.size()];
  parsedLength_ = text.size();
  std::memcpy(parsed_, text.data(), text.size());
}

TXmlText::~TXmlText() {
  DropParsed();
}

void TXmlText::DropParsed() {
  delete[] std::exchange(parsed_, nullptr);
}

TVariant TXmlText::Value() const {
  return parsed_ ? TVariant(std::string_view(parsed_, parsedLength_)) : value_;
}

void TXmlText::SetText(const std::string& text) {
  value_ = TVariant(text);
  DropParsed();
}

void TXmlText::SetNodeValue(const TVariant& value) {
  value_ = value;
  DropParsed();
}

std::string TXmlText::GetText() const {
  return TextWith(KeepWhiteSpace());
}

std::string TXmlText::TextWith(bool keepWhiteSpace) const {
  if (parsed_) {
    std::string_view text(parsed_, parsedLength_);
    return std::string(keepWhiteSpace ? text : TrimXmlBlanks(text));
  }
  if (value_.VarType() == varString)  // no conversion copy
    return std::string(keepWhiteSpace ? value_.StringValue() : TrimXmlBlanks(value_.StringValue()));
  std::string text = ValueToXmlText(value_);
  return keepWhiteSpace ? text : std::string(TrimXmlBlanks(text));
}

IXmlNode TXmlText::CloneShallow(const IXmlNameTable& names) const {
  IXmlText copy(new TXmlText(names, Value()));
  CopyAttrsTo(*copy.Get());
  return copy;
}

// --- character data

std::string TXmlCharacterData::GetText() const {
  return TextWith(KeepWhiteSpace());
}

std::string TXmlCharacterData::TextWith(bool keepWhiteSpace) const {
  return keepWhiteSpace ? data_ : std::string(TrimXmlBlanks(data_));
}

IXmlNode TXmlCDATASection::CloneShallow(const IXmlNameTable& names) const {
  IXmlCDATASection copy(new TXmlCDATASection(names, Data()));
  CopyAttrsTo(*copy.Get());
  return copy;
}

IXmlNode TXmlComment::CloneShallow(const IXmlNameTable& names) const {
  IXmlComment copy(new TXmlComment(names, Data()));
  CopyAttrsTo(*copy.Get());
  return copy;
}

// --- TXmlProcessingInstruction

IXmlNode TXmlProcessingInstruction::CloneShallow(const IXmlNameTable& names) const {
  TXmlNameID target = names.Get() == &Names() ? targetID_ : Reintern(targetID_, *names.Get());
  // The attributes go along: an "xml" declaration keeps its version and encoding.
  IXmlProcessingInstruction copy(new TXmlProcessingInstruction(names, target, data_));
  CopyAttrsTo(*copy.Get());
  return copy;
}

}  // namespace voltrane
