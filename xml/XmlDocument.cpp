#include "xml/XmlDocument.h"

#include <cstring>

#include "rt/Exception.h"
#include "rt/Stream.h"
#include "xml/XmlBinary.h"
#include "xml/XmlEncoding.h"
#include "xml/XmlParser.h"
#include "xml/XmlResources.h"
#include "xml/XmlSaver.h"

namespace voltrane {

TXmlDocument::TXmlDocument(IXmlNameTable names) : TXmlNode(xntDocument, std::move(names)) {}

void TXmlDocument::SetText(const std::string& text) {
  ClearChildren();
  GetChildListObject().Insert(CreateTextNode(text), nullptr);
}

IXmlNode TXmlDocument::CloneShallow(const IXmlNameTable& names) const {
  TXmlRef<TXmlDocument> copy(new TXmlDocument(names));
  copy->keepWhiteSpace_ = keepWhiteSpace_;
  CopyAttrsTo(*copy.Get());
  return copy;
}

IXmlElement TXmlDocument::GetDocumentElement() const {
  for (int i = 0; i < ChildCount(); ++i)
    if (ChildAt(i)->GetNodeType() == xntElement) return ChildAt(i)->ToElement();
  return nullptr;
}

IXmlElement TXmlDocument::InitDocument(std::string_view version, std::string_view encoding,
                                       TXmlNameID root) {
  ClearChildren();
  IXmlProcessingInstruction declaration = AddProcessingInstruction(Names().XmlID, "");
  declaration->SetAttrText("version", version.empty() ? "1.0" : std::string(version));
  declaration->SetAttrText(Names().EncodingID,
                           encoding.empty() ? kXmlEncodings[0].Name : std::string(encoding));
  return AddElement(root);
}

IXmlElement TXmlDocument::InitDocument(std::string_view version, std::string_view encoding,
                                       std::string_view rootName) {
  return InitDocument(version, encoding, Names().GetID(rootName));
}

IXmlElement TXmlDocument::CreateElement(TXmlNameID name) {
  return IXmlElement(new TXmlElement(GetNameTable(), name));
}

IXmlElement TXmlDocument::CreateElement(std::string_view name) {
  return CreateElement(Names().GetID(name));
}

IXmlText TXmlDocument::CreateTextNode(const std::string& text) {
  return IXmlText(new TXmlText(GetNameTable(), TVariant(text)));
}

IXmlCDATASection TXmlDocument::CreateCDATASection(const std::string& text) {
  return IXmlCDATASection(new TXmlCDATASection(GetNameTable(), text));
}

IXmlComment TXmlDocument::CreateComment(const std::string& text) {
  return IXmlComment(new TXmlComment(GetNameTable(), text));
}

IXmlProcessingInstruction TXmlDocument::CreateProcessingInstruction(TXmlNameID target,
                                                                    const std::string& data) {
  return IXmlProcessingInstruction(new TXmlProcessingInstruction(GetNameTable(), target, data));
}

IXmlProcessingInstruction TXmlDocument::CreateProcessingInstruction(std::string_view target,
                                                                    const std::string& data) {
  return CreateProcessingInstruction(Names().GetID(target), data);
}

// --- loading

void TXmlDocument::Reset() {
  ClearChildren();
  ClearAttrs();
}

void TXmlDocument::ParseWith(TXmlSource& reader) {
  // Copies, so that a hook that replaces the hooks cannot pull them from under the parser.
  TXmlElementHook startHook = elementStartHook_, endHook = elementEndHook_;
  ParseContent(GetChildListObject(), reader, GetNameTable(), keepWhiteSpace_, startHook, endHook,
               loadFilter_);
}

void TXmlDocument::ParseFrom(TStream& stream) {
  TXmlSource reader(stream);
  ParseWith(reader);
}

void TXmlDocument::LoadFromXmlText(std::string_view text) {
  if (text.size() >= kBinaryXmlHeader.size() + 1 && text.starts_with(kBinaryXmlHeader)) {
    LoadBinaryForm(text);
    return;
  }
  Reset();
  TXmlSource reader(text);  // read in place: the caller's text outlives the load
  ParseWith(reader);
}

void TXmlDocument::LoadStream(TStream& stream) {
  Reset();
  int64_t size = stream.Size() - stream.Position();  // what is left to read, not the whole
  if (size >= int64_t(kBinaryXmlHeader.size()) + 1) {
    char head[kBinaryXmlHeader.size()];
    stream.ReadBuffer(head, sizeof head);
    stream.Seek(-int64_t(sizeof head), TSeekOrigin::Current);
    if (std::string_view(head, sizeof head) == kBinaryXmlHeader) {
      TStmXmlReader reader(stream);
      reader.ReadDocument(*this);
      return;
    }
  }
  if (size >= 5) {
    unsigned char b[4];
    stream.ReadBuffer(b, sizeof b);
    stream.Seek(-int64_t(sizeof b), TSeekOrigin::Current);
    bool utf32 = (b[0] == 0 && b[1] == 0 && b[2] == 0xFE && b[3] == 0xFF) ||
                 (b[0] == 0xFF && b[1] == 0xFE && b[2] == 0 && b[3] == 0);
    bool utf16 = (b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF);
    if (utf32 || utf16) throw Exception("Unicode Encoding is not supported by VoltXml");
    if (b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) stream.Seek(3, TSeekOrigin::Current);
  }
  ParseFrom(stream);
}

void TXmlDocument::LoadFile(const std::string& fileName) {
  TFileStream file(fileName, TFileMode::OpenRead);
  LoadStream(file);
}

void TXmlDocument::LoadModuleResource(std::string_view type, std::string_view name) {
  const std::string* bytes = FindModuleResource(type, name);
  if (bytes && !bytes->empty()) LoadFromXmlText(*bytes);
}

void TXmlDocument::LoadBinaryForm(std::string_view bytes) {
  Reset();
  TStrXmlReader reader(bytes);
  reader.ReadDocument(*this);
}

// --- saving

uint16_t TXmlDocument::SaveCodePage() const {
  for (int i = 0; i < ChildCount(); ++i) {
    const TXmlNode* child = ChildAt(i);
    if (child->GetNodeType() != xntProcessingInstruction || child->GetNameID() != Names().XmlID)
      continue;
    std::string encoding = child->GetAttrText(Names().EncodingID);
    if (encoding.empty()) break;
    uint16_t codePage = FindCodePage(encoding);
    if (codePage == 0) throw Exception("Encoding \"" + encoding + "\" is not supported by VoltXml");
    return codePage;
  }
  return kLibraryCodePage;
}

void TXmlDocument::SaveStream(TStream& stream) const {
  TXmlStmSaver saver(stream, SaveCodePage());
  WriteTo(saver);
  saver.Finish();
}

void TXmlDocument::SaveFile(const std::string& fileName) const {
  uint16_t codePage = SaveCodePage();  // an unknown encoding fails before the file is touched
  TFileStream file(fileName, TFileMode::Create);
  TXmlStmSaver saver(file, codePage);
  WriteTo(saver);
  saver.Finish();
  file.Close();
}

std::string TXmlDocument::GetBinaryForm() const {
  TStrXmlWriter writer;
  writer.WriteDocument(*this, 0);
  return writer.Result();
}

void TXmlDocument::SaveBinaryFormStream(TStream& stream, uint32_t options) const {
  TStmXmlWriter writer(stream);
  writer.WriteDocument(*this, options);
}

void TXmlDocument::SaveBinaryFormFile(const std::string& fileName, uint32_t options) const {
  TBinXmlWriter::CheckDocument(*this, options);  // fails before the file is touched
  TFileStream file(fileName, TFileMode::Create);
  SaveBinaryFormStream(file, options);
  file.Close();
}

IXmlDocument NewXmlDocument(std::string_view rootName, std::string_view version,
                            std::string_view encoding, IXmlNameTable names) {
  if (!names) names = IXmlNameTable(new TXmlNameTable(TXmlNameTable::kDefaultBucketCount));
  IXmlDocument document(new TXmlDocument(std::move(names)));
  if (!rootName.empty()) document->InitDocument(version, encoding, rootName);
  return document;
}

}  // namespace voltrane
