#include "xml/XmlNodes.h"

namespace voltrane {

namespace {

std::string TrimBlanks(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) < 33) ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) < 33) --end;
  if (begin == 0 && end == text.size()) return text;
  return text.substr(begin, end - begin);
}

}  // namespace

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

std::string TXmlText::GetText() const {
  return TextWith(KeepWhiteSpace());
}

std::string TXmlText::TextWith(bool keepWhiteSpace) const {
  if (value_.VarType() == varString)  // the common case: no conversion copy
    return keepWhiteSpace ? value_.StringValue() : TrimBlanks(value_.StringValue());
  std::string text = ValueToXmlText(value_);
  return keepWhiteSpace ? text : TrimBlanks(text);
}

IXmlNode TXmlText::CloneShallow(const IXmlNameTable& names) const {
  IXmlText copy(new TXmlText(names, value_));
  CopyAttrsTo(*copy.Get());
  return copy;
}

// --- character data

std::string TXmlCharacterData::GetText() const {
  return TextWith(KeepWhiteSpace());
}

std::string TXmlCharacterData::TextWith(bool keepWhiteSpace) const {
  return keepWhiteSpace ? data_ : TrimBlanks(data_);
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
