// The document: the root of a tree, its loading from text, streams, files and the binary
// form, and its saving.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "xml/XmlLoadFilter.h"
#include "xml/XmlNodes.h"

namespace voltrane {

class TStream;
class TXmlSource;

// Called with the child list being filled and the element: the start hook after the
// element's start tag and attributes, the end hook after its end tag (or "/>").
using TXmlElementHook =
    std::function<void(const IXmlNodeList& parentList, const IXmlNode& element)>;

// Option bit of the binary form: strings stored as UTF-16.
constexpr uint32_t kBinaryXmlWideStrings = 1;

class TXmlDocument : public TXmlNode {
 public:
  explicit TXmlDocument(IXmlNameTable names);

  TXmlNameID GetNameID() const override { return Names().DocumentID; }
  std::string GetText() const override { return ChildrenText(); }
  // Removes the children and inserts one text node holding text.
  void SetText(const std::string& text) override;
  void WriteTo(TXmlSaver& saver) const override;

  IXmlElement GetDocumentElement() const;
  bool GetKeepWhiteSpace() const { return keepWhiteSpace_; }
  void SetKeepWhiteSpace(bool keep) { keepWhiteSpace_ = keep; }
  const TXmlElementHook& GetElementStartHook() const { return elementStartHook_; }
  void SetElementStartHook(TXmlElementHook hook) { elementStartHook_ = std::move(hook); }
  const TXmlElementHook& GetElementEndHook() const { return elementEndHook_; }
  void SetElementEndHook(TXmlElementHook hook) { elementEndHook_ = std::move(hook); }
  // Text loads build only what the filter keeps (not owned; null builds everything).
  // Elements left out reach no hook; the binary form is always loaded whole.
  void SetLoadFilter(const TXmlLoadFilter* filter) { loadFilter_ = filter; }

  // Replaces the children by an "xml" declaration (version "1.0" and encoding "UTF-8" when
  // given empty) and the root element, which it gives.
  IXmlElement InitDocument(std::string_view version, std::string_view encoding, TXmlNameID root);
  IXmlElement InitDocument(std::string_view version, std::string_view encoding,
                           std::string_view rootName);

  // New nodes of this document's name table, without parent.
  IXmlElement CreateElement(TXmlNameID name);
  IXmlElement CreateElement(std::string_view name);
  IXmlText CreateTextNode(const std::string& text);
  IXmlCDATASection CreateCDATASection(const std::string& text);
  IXmlComment CreateComment(const std::string& text);
  IXmlProcessingInstruction CreateProcessingInstruction(TXmlNameID target, const std::string& data);
  IXmlProcessingInstruction CreateProcessingInstruction(std::string_view target,
                                                        const std::string& data);

  // Parses text (or the binary form, when it starts with one) into this document; parse
  // errors raise Exception with the position "[line:column]". The text is read in place.
  void LoadFromXmlText(std::string_view text);
  void LoadStream(TStream& stream);
  void LoadFile(const std::string& fileName);
  // Loads the program's resource of that type and name; nothing happens without one.
  void LoadModuleResource(std::string_view type, std::string_view name);
  void LoadBinaryForm(std::string_view bytes);

  // Writes the text form in the encoding the "xml" declaration names (UTF-8 without one).
  void SaveStream(TStream& stream) const;
  void SaveFile(const std::string& fileName) const;

  std::string GetBinaryForm() const;
  void SaveBinaryFormStream(TStream& stream, uint32_t options = 0) const;
  void SaveBinaryFormFile(const std::string& fileName, uint32_t options = 0) const;

  // The code page the "encoding" attribute of the first "xml" declaration names (UTF-8
  // without one); raises "Encoding "%s" is not supported by VoltXml" for an unknown name.
  uint16_t SaveCodePage() const;

 protected:
  IXmlNode CloneShallow(const IXmlNameTable& names) const override;

 private:
  void Reset();
  void ParseFrom(TStream& stream);
  void ParseWith(TXmlSource& reader);

  bool keepWhiteSpace_ = kDefaultKeepWhiteSpace;
  TXmlElementHook elementStartHook_;
  TXmlElementHook elementEndHook_;
  const TXmlLoadFilter* loadFilter_ = nullptr;
};

// A new document using names, or a new 499-bucket table when names is none. With a root
// name the document is initialised as InitDocument does.
IXmlDocument NewXmlDocument(std::string_view rootName = "", std::string_view version = "",
                            std::string_view encoding = "", IXmlNameTable names = nullptr);

}  // namespace voltrane
