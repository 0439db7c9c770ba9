#include "xml/XmlParser.h"

#include <vector>

#include "rt/Exception.h"
#include "xml/XmlBlanks.h"
#include "xml/XmlEncoding.h"

namespace voltrane {

namespace {

using TFilterStep = TXmlLoadFilter::TStep;

struct TOpenElement {
  TXmlElement* Element;  // held by ParentList
  IXmlElement Kept;      // held here too while hooks, which may drop it, are assigned
  TXmlNodeList* ParentList;
  const TFilterStep* Step;  // what of its content the filter keeps; null: all of it
};

class TContentParser {
 public:
  TContentParser(TXmlNodeList& list, TXmlSource& reader, const IXmlNameTable& names, bool keep,
                 const TXmlElementHook& startHook, const TXmlElementHook& endHook,
                 const TXmlLoadFilter* filter)
      : current_(&list),
        rootStep_(filter ? &filter->Root() : nullptr),
        reader_(reader),
        table_(*names.Get()),
        names_(names),
        keep_(keep),
        hooks_(startHook || endHook),
        startHook_(startHook),
        endHook_(endHook) {}

  void Run() {
    while (!reader_.IsEof()) {
      ReadText();
      if (reader_.CurChar != '<' || !reader_.NextChar()) break;
      switch (reader_.CurChar) {
        case '/':
          if (open_.empty() && dropped_ == 0) return;  // the rest of the input is ignored
          CloseElement();
          break;
        case '?':
          ReadProcessingInstruction();
          break;
        case '!':
          if (!reader_.NextChar()) break;
          if (reader_.CurChar == '-')
            ReadComment();
          else if (reader_.CurChar == '[')
            ReadCData();
          else
            SkipDocumentType();
          break;
        default:
          OpenElement();
      }
    }
    // The end tag of an open element.
    if (!open_.empty() || dropped_ > 0) reader_.ExpectChar('/');
  }

 private:
  void Append(TXmlNode* node) { current_->AppendNew(IXmlNode(node)); }

  void ReadText() {
    std::string_view text = reader_.ReadTextRun(!keep_, dropped_ == 0);
    if (dropped_ > 0) return;
    if (!keep_) text = TrimXmlBlanks(text);
    if (!text.empty()) Append(new TXmlText(names_, text));
  }

  const TFilterStep* Step() const { return open_.empty() ? rootStep_ : open_.back().Step; }

  void CheckNameEnd() {
    if (reader_.IsEof()) throw Exception("Incomplete definition of the element");
    char c = reader_.CurChar;
    if (!IsXmlBlank(c) && c != '/' && c != '>')
      throw Exception("Invalid symbol in the name of the element");
  }

  void OpenElement() {
    std::string_view read = reader_.ReadName();
    const TFilterStep* step = Step();
    if (dropped_ > 0 || (step && !(step = TXmlLoadFilter::Find(*step, read)))) {
      DropElement(read);
      return;
    }
    if (step && step->Whole) step = nullptr;
    TXmlNameID name = table_.GetID(read);
    CheckNameEnd();
    auto* element = new TXmlElement(names_, name);
    TXmlNodeList* parentList = current_;
    Append(element);
    IXmlElement kept = hooks_ ? IXmlElement(element) : nullptr;
    reader_.ReadAttributes(*element, table_);
    if (startHook_) startHook_(IXmlNodeList(parentList), kept);
    if (reader_.CurChar == '/') {
      reader_.ExpectText("/>");
      if (endHook_) endHook_(IXmlNodeList(parentList), kept);
      return;
    }
    reader_.ExpectChar('>');
    TXmlNodeList* children = &element->GetChildListObject();
    open_.push_back({element, std::move(kept), parentList, step});
    current_ = children;
  }

  // An element the filter leaves out, read as strictly as one that is built; only its name
  // is kept, for its end tag.
  void DropElement(std::string_view name) {
    if (dropped_ == droppedNames_.size()) droppedNames_.emplace_back();
    droppedNames_[dropped_].assign(name);
    CheckNameEnd();
    reader_.SkipAttributes(table_);
    if (reader_.CurChar == '/') {
      reader_.ExpectText("/>");
      return;
    }
    reader_.ExpectChar('>');
    ++dropped_;
  }

  // The rest of an end tag after its "<".
  void ReadEndTag(std::string_view name) {
    reader_.ExpectChar('/');
    reader_.ExpectName(name);
    reader_.SkipBlanks();
    reader_.ExpectChar('>');
  }

  void CloseElement() {
    if (dropped_ > 0) {
      ReadEndTag(droppedNames_[--dropped_]);
      return;
    }
    TOpenElement top = std::move(open_.back());
    open_.pop_back();
    ReadEndTag(top.Element->GetNodeName());  // read by ReadName
    current_ = top.ParentList;
    if (endHook_) endHook_(IXmlNodeList(current_), top.Kept);
  }

  void ReadProcessingInstruction() {
    reader_.NextChar();
    TXmlNameID target = table_.GetID(reader_.ReadName());
    IXmlProcessingInstruction pi(new TXmlProcessingInstruction(names_, target, std::string()));
    if (dropped_ == 0) current_->AppendNew(pi);
    if (target != table_.XmlID) {
      pi->SetText(std::string(reader_.ReadTo("?>")));
      return;
    }
    reader_.ReadAttributes(*pi.Get(), table_);
    reader_.ExpectText("?>");
    std::string encoding = pi->GetAttrText(table_.EncodingID);
    uint16_t codePage = kLibraryCodePage;
    if (!encoding.empty()) {
      codePage = FindCodePage(encoding);
      if (codePage == 0)
        throw Exception("Encoding \"" + encoding + "\" is not supported by VoltXml");
    }
    reader_.SetCodePage(codePage);
  }

  void ReadComment() {
    reader_.ExpectText("--");
    std::string_view text = reader_.ReadTo("-->");
    if (dropped_ == 0) Append(new TXmlComment(names_, std::string(text)));
  }

  void ReadCData() {
    reader_.ExpectText("[CDATA[");
    std::string_view text = reader_.ReadTo("]]>");
    if (dropped_ == 0) Append(new TXmlCDATASection(names_, std::string(text)));
  }

  void SkipDocumentType() {
    reader_.ExpectText("DOCTYPE");
    reader_.ReadTo(">");  // an internal subset is not parsed: its first ">" ends it
  }

  TXmlNodeList* current_;
  const TFilterStep* rootStep_;            // the filter's steps below the document; null: no filter
  size_t dropped_ = 0;                     // open elements inside the outermost one left out
  std::vector<std::string> droppedNames_;  // their names, capacity kept for reuse
  TXmlSource& reader_;
  TXmlNameTable& table_;
  const IXmlNameTable& names_;  // each node made holds a reference
  bool keep_;
  bool hooks_;
  const TXmlElementHook& startHook_;
  const TXmlElementHook& endHook_;
  std::vector<TOpenElement> open_;
};

}  // namespace

void ParseContent(TXmlNodeList& list, TXmlSource& reader, const IXmlNameTable& names,
                  bool keepWhiteSpace, const TXmlElementHook& elementStartHook,
                  const TXmlElementHook& elementEndHook, const TXmlLoadFilter* filter) {
  TContentParser(list, reader, names, keepWhiteSpace, elementStartHook, elementEndHook, filter)
      .Run();
}

}  // namespace voltrane
