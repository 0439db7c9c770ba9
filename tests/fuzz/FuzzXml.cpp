// The XML loader on arbitrary bytes, as they come and behind a declaration naming one of
// the encodings; then what callers do with a loaded document.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../xml/XmlTestSupport.h"
#include "rt/Exception.h"
#include "rt/Stream.h"
#include "xml/VoltXml.h"
#include "xml/XmlBinary.h"

using namespace voltrane;

namespace {

void Check(bool condition, const char* what) {
  if (condition) return;
  fprintf(stderr, "fuzz_xml: %s\n", what);
  abort();
}

// Whether the action ran without an error (an error is an answer to bad input).
template <class Action>
bool Try(Action&& action) try {
  action();
  return true;
} catch (const Exception&) {
  return false;
}

// Paths from the document's own names, so that selection reaches real nodes.
std::vector<std::string> PathsOf(const IXmlDocument& document) {
  std::vector<std::string> paths = {"", "\\", "a", "a\\b", "@a", "gpx\\wpt\\name"};
  IXmlElement root = document->GetDocumentElement();
  if (!root) return paths;
  std::string path(root->GetNodeName());
  paths.push_back(path);
  for (int i = 0; i < root->GetAttrCount(); ++i)
    paths.push_back(path + "\\@" + std::string(root->GetAttrNameAt(i)));
  for (int i = 0; i < root->ChildCount() && i < 4; ++i) {
    TXmlNode* child = root->ChildAt(i);
    std::string childPath = path + "\\" + std::string(child->GetNodeName());
    paths.push_back(childPath);
    for (int j = 0; j < child->ChildCount() && j < 2; ++j)
      paths.push_back(childPath + "\\" + std::string(child->ChildAt(j)->GetNodeName()));
  }
  return paths;
}

// A load with a filter keeps exactly what a whole load holds there and fails where it fails
// (the binary form is loaded whole either way).
void CompareFiltered(std::string_view text) {
  static const TXmlLoadFilter filter(
      {"gpx\\wpt\\name", "gpx\\wpt\\extensions\\geocache\\type", "a\\b", "a"});
  auto outcome = [&](bool filtered) {
    IXmlDocument document = NewXmlDocument();
    document->SetLoadFilter(filtered ? &filter : nullptr);
    try {
      document->LoadFromXmlText(text);
    } catch (const Exception& e) {
      return "error: " + e.Message();
    }
    if (!filtered) test::Prune(*document.Get(), filter.Root());
    return document->GetXml();
  };
  if (!text.starts_with(kBinaryXmlHeader))
    Check(outcome(true) == outcome(false), "a filtered load differs from a whole one");
}

void LoadAndExercise(std::string_view text) {
  CompareFiltered(text);
  IXmlDocument document = NewXmlDocument();
  if (!Try([&] { document->LoadFromXmlText(text); })) {
    document->GetXml();  // what the failed load left is still a sound tree
    return;
  }
  std::string xml = document->GetXml();
  for (const std::string& path : PathsOf(document)) {
    Try([&] {  // a path that is no name raises "This feature is not supported by VoltXml"
      if (IXmlNode node = document->SelectNodeByPath(path)) node->GetXml();
      VarToStr(document->GetValueByPath(path));
      document->CollectNodesByPath(path);
    });
  }
  // The binary form keeps every byte: a round trip gives the same text form. Writing it
  // refuses two names of one hash.
  std::string binary;
  if (!Try([&] { binary = document->GetBinaryForm(); })) return;
  IXmlDocument fromBinary = NewXmlDocument();
  fromBinary->LoadBinaryForm(binary);
  Check(fromBinary->GetXml() == xml, "binary round trip changed the document");
  // UTF-16 strings lose bytes that are not UTF-8, but what is written must load again.
  TMemoryStream wide;
  document->SaveBinaryFormStream(wide, kBinaryXmlWideStrings);
  wide.SetPosition(0);
  fromBinary->LoadStream(wide);
  fromBinary->GetXml();
  // A saved text may fail to load again (a name a code page cannot show), but must not
  // break anything.
  Try([&] {
    TMemoryStream saved;
    document->SaveStream(saved);
    saved.SetPosition(0);
    IXmlDocument reloaded = NewXmlDocument();
    reloaded->LoadStream(saved);
    reloaded->GetXml();
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  LoadAndExercise(bytes);
  if (size == 0) return 0;
  const TXmlEncoding& encoding = kXmlEncodings[data[0] % kXmlEncodingCount];
  LoadAndExercise(std::string("<?xml version=\"1.0\" encoding=\"") + encoding.Name + "\"?>" +
                  std::string(bytes.substr(1)));
  return 0;
}
