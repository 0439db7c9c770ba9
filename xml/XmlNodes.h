// The node kinds below the document: element, text, CDATA section, comment and processing
// instruction.
#pragma once

#include <string>

#include "xml/XmlNode.h"

namespace voltrane {

class TXmlElement : public TXmlNode {
 public:
  TXmlElement(IXmlNameTable names, TXmlNameID name)
      : TXmlNode(xntElement, std::move(names)), nameID_(name) {}

  TXmlNameID GetNameID() const override { return nameID_; }
  void SetNameID(TXmlNameID name) override { nameID_ = name; }
  // With children the joined text of its text and CDATA children; without, Data as text.
  std::string GetText() const override;
  // Removes the children; Data becomes the text.
  void SetText(const std::string& text) override;
  uint16_t GetValueKind() const override;
  TVariant GetNodeValue() const override;
  void SetNodeValue(const TVariant& value) override;
  void WriteTo(TXmlSaver& saver) const override;

  const TVariant& Data() const { return data_; }

  // Replaces the text and CDATA children by CDATA sections holding text, split after the
  // first "]" of each "]]>".
  void SetTextAsCDATA(const std::string& text);
  // Replaces the text and CDATA children by one text child holding the base64 form of the
  // bytes, in lines of at most lineLength characters (0: one line).
  void SetTextAsBase64(const void* bytes, size_t count, int lineLength);
  std::string GetTextFromBase64() const;

 protected:
  IXmlNode CloneShallow(const IXmlNameTable& names) const override;

 private:
  void RemoveTextChildren();

  TXmlNameID nameID_;
  TVariant data_;
};

class TXmlText : public TXmlNode {
 public:
  TXmlText(IXmlNameTable names, TVariant value)
      : TXmlNode(xntText, std::move(names)), value_(std::move(value)) {}
  // A string value of parsed text: its bytes are kept in a block of the pool rather than in
  // a general string, as most parsed text is never read.
  TXmlText(IXmlNameTable names, std::string_view text);
  ~TXmlText() override;

  TXmlNameID GetNameID() const override { return Names().TextID; }
  // The value as text, trimmed of blanks unless the document keeps white space.
  std::string GetText() const override;
  void SetText(const std::string& text) override;
  uint16_t GetValueKind() const override {
    return parsed_ ? uint16_t(varString) : value_.VarType();
  }
  TVariant GetNodeValue() const override { return Value(); }
  void SetNodeValue(const TVariant& value) override;
  void WriteTo(TXmlSaver& saver) const override;

  TVariant Value() const;
  // GetText with the flag given, so a parent gathering many texts looks it up once.
  std::string TextWith(bool keepWhiteSpace) const;

 protected:
  IXmlNode CloneShallow(const IXmlNameTable& names) const override;

 private:
  void DropParsed();

  TVariant value_;  // empty while the value is parsed text
  char* parsed_ = nullptr;
  size_t parsedLength_ = 0;
};

class TXmlCharacterData : public TXmlNode {
 public:
  // The data, trimmed of blanks unless the document keeps white space.
  std::string GetText() const override;
  void SetText(const std::string& text) override { data_ = text; }
  const std::string& Data() const { return data_; }
  std::string TextWith(bool keepWhiteSpace) const;

 protected:
  TXmlCharacterData(TXmlNodeType type, IXmlNameTable names, std::string data)
      : TXmlNode(type, std::move(names)), data_(std::move(data)) {}

 private:
  std::string data_;
};

class TXmlCDATASection : public TXmlCharacterData {
 public:
  TXmlCDATASection(IXmlNameTable names, std::string data)
      : TXmlCharacterData(xntCDATASection, std::move(names), std::move(data)) {}
  TXmlNameID GetNameID() const override { return Names().CDataID; }
  void WriteTo(TXmlSaver& saver) const override;

 protected:
  IXmlNode CloneShallow(const IXmlNameTable& names) const override;
};

class TXmlComment : public TXmlCharacterData {
 public:
  TXmlComment(IXmlNameTable names, std::string data)
      : TXmlCharacterData(xntComment, std::move(names), std::move(data)) {}
  TXmlNameID GetNameID() const override { return Names().CommentID; }
  void WriteTo(TXmlSaver& saver) const override;

 protected:
  IXmlNode CloneShallow(const IXmlNameTable& names) const override;
};

// Its attributes hold the pseudo-attributes of an XML declaration.
class TXmlProcessingInstruction : public TXmlNode {
 public:
  TXmlProcessingInstruction(IXmlNameTable names, TXmlNameID target, std::string data)
      : TXmlNode(xntProcessingInstruction, std::move(names)),
        targetID_(target),
        data_(std::move(data)) {}

  TXmlNameID GetNameID() const override { return targetID_; }
  void SetNameID(TXmlNameID target) override { targetID_ = target; }
  std::string GetText() const override { return data_; }
  void SetText(const std::string& text) override { data_ = text; }
  void WriteTo(TXmlSaver& saver) const override;
  const std::string& Data() const { return data_; }

 protected:
  IXmlNode CloneShallow(const IXmlNameTable& names) const override;

 private:
  TXmlNameID targetID_;
  std::string data_;
};

// Splits text holding "]]>" after the first "]" of each occurrence, so that every part
// can stand in a CDATA section.
std::vector<std::string> SplitForCDATA(const std::string& text);

}  // namespace voltrane
