#include "ggz/CacheRecord.h"

#include "rt/AsciiText.h"
#include "util/NumberText.h"
#include "util/StringUtil.h"
#include "util/XmlSafeText.h"
#include "xml/VoltXml.h"

namespace voltrane {

namespace {

// VarToStr(GetValueByPath(path)), without the copies of the value on the way: an
// element's joined text when it has children, else its Data; an attribute's value.
std::string Text(const IXmlNode& node, std::string_view path) {
  if (path.starts_with('@')) {
    const TVariant* value = node->FindAttr(path.substr(1));
    return value ? VarToStr(*value) : std::string();
  }
  IXmlNode found = node->SelectNodeByPath(path);
  if (!found) return std::string();
  return found->HasChildNodes() ? found->GetText() : VarToStr(found->GetNodeValue());
}

// The first of the lookups that gives a non-empty text.
template <typename... Lookups>
std::string FirstOf(Lookups... lookups) {
  std::string text;
  ((text.empty() ? void(text = lookups()) : void()), ...);
  return text;
}

// The size of a container as the index writes it: the text in lower case, compared whole.
std::string_view ContainerSize(const std::string& container) {
  static const std::pair<std::string_view, std::string_view> kSizes[] = {
      {"micro", "2.0"},  {"small", "3.0"},       {"regular", "4.0"}, {"large", "5.0"},
      {"other", "-1.0"}, {"not chosen", "-2.0"}, {"virtual", "0.0"}};
  if (container.size() > 10) return "1.0";
  std::string lower = AsciiLowerCase(container);
  for (const auto& [name, size] : kSizes)
    if (lower == name) return size;
  return "1.0";
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// A rating with one decimal. "2" and "2.5", as nearly every source writes them, read and
// write back as "2.0" and "2.5" without the general conversion.
void AppendRating(std::string& record, const std::string& text) {
  if (text.size() == 1 && IsDigit(text[0])) {
    record += text;
    record += ".0";
  } else if (text.size() == 3 && IsDigit(text[0]) && text[1] == '.' && IsDigit(text[2])) {
    record += text;
  } else {
    record += FloatToStrDot(StrToFloatDot(text));
  }
}

std::string SafeValue(const std::string& text) {
  return EscapeXmlText(XmlSafeText(text));
}

void AppendLine(std::string& record, std::string_view open, std::string_view value,
                std::string_view close) {
  record += open;
  record += value;
  record += close;
}

// The text the waypoint is parsed from: the declaration of the source's encoding, and the
// waypoint inside a gpx element, as the record's lookups expect it.
std::string WrappedWaypoint(const std::string& encoding, std::string_view waypoint) {
  static constexpr std::string_view kDeclarationOpen = "<?xml version=\"1.0\" encoding=\"";
  static constexpr std::string_view kDeclarationClose = "\"?>\r\n<gpx>\r\n";
  static constexpr std::string_view kClose = "</gpx>\r\n";
  std::string text;
  text.reserve(kDeclarationOpen.size() + encoding.size() + kDeclarationClose.size() +
               waypoint.size() + kClose.size());
  text += kDeclarationOpen;
  text += encoding;
  text += kDeclarationClose;
  text += waypoint;
  text += kClose;
  return text;
}

// The elements a record reads: the waypoint with its attributes, and each element that a
// lookup below may select, whole. Logs, descriptions and the like are checked but not built.
const TXmlLoadFilter& RecordElements() {
  static const TXmlLoadFilter filter = [] {
    std::vector<std::string> paths;
    for (const char* leaf : {"name", "urlname", "type", "sym"})
      paths.push_back(std::string("gpx\\wpt\\") + leaf);
    for (const char* cacheData : {"gpx\\wpt\\", "gpx\\wpt\\extensions\\"}) {
      for (const char* field : {"name", "type", "difficulty", "container", "terrain"}) {
        paths.push_back(std::string(cacheData) + "groundspeak:cache\\groundspeak:" + field);
        paths.push_back(std::string(cacheData) + "geocache\\" + field);
      }
    }
    return TXmlLoadFilter(paths);
  }();
  return filter;
}

IXmlDocument NewRecordDocument() {
  IXmlDocument document = NewXmlDocument();
  document->SetLoadFilter(&RecordElements());
  return document;
}

// The names a record's document may hold before it is made anew: the attributes of the
// elements it keeps are the source's to name, and must not grow one table without bound.
constexpr int kNamesPerDocument = 4096;

}  // namespace

TCacheRecordBuilder::TCacheRecordBuilder() : document_(NewRecordDocument()) {}

std::string TCacheRecordBuilder::Build(std::string_view waypoint, int64_t filePos, int64_t fileLen,
                                       const std::string& encoding) {
  std::string record;
  record.reserve(512);
  record += "      <gch>\r\n";
  if (document_->GetNameTable()->GetCount() > kNamesPerDocument) document_ = NewRecordDocument();
  document_->LoadFromXmlText(WrappedWaypoint(encoding, waypoint));
  IXmlNode w = document_->SelectNodeByPath("gpx\\wpt");
  if (!w) return record + "      </gch>\r\n";
  IXmlNode e = w->SelectNodeByPath("extensions");
  if (!e) e = w;

  std::string code = Text(w, "name");
  std::string name =
      FirstOf([&] { return Text(e, "groundspeak:cache\\groundspeak:name"); },
              [&] { return Text(e, "geocache\\name"); }, [&] { return Text(w, "urlname"); });
  std::string type = FirstOf([&] { return Text(e, "groundspeak:cache\\groundspeak:type"); },
                             [&] { return Text(e, "geocache\\type"); },
                             [&] { return TextAfter(Text(w, "type"), "|"); });
  std::string lat = Text(w, "@lat");
  std::string lon = Text(w, "@lon");
  std::string difficulty =
      FirstOf([&] { return Text(e, "groundspeak:cache\\groundspeak:difficulty"); },
              [&] { return Text(e, "geocache\\difficulty"); });
  std::string container =
      FirstOf([&] { return Text(e, "groundspeak:cache\\groundspeak:container"); },
              [&] { return Text(e, "geocache\\container"); });
  std::string terrain = FirstOf([&] { return Text(e, "groundspeak:cache\\groundspeak:terrain"); },
                                [&] { return Text(e, "geocache\\terrain"); });
  bool found = Text(w, "sym").find("ound") != std::string::npos;

  // Coordinates are escaped too: an attribute arrives with its entities decoded, and
  // "&lt;" in it must not turn into markup in the index. A character reference or byte
  // that XML forbids would make the whole index unreadable to a device.
  AppendLine(record, "         <code>", SafeValue(code), "</code>\r\n");
  AppendLine(record, "         <name>", SafeValue(name), "</name>\r\n");
  AppendLine(record, "         <type>", SafeValue(type), "</type>\r\n");
  AppendLine(record, "         <lat>", SafeValue(lat), "</lat>\r\n");
  AppendLine(record, "         <lon>", SafeValue(lon), "</lon>\r\n");
  AppendLine(record, "         <file_pos>", std::to_string(filePos), "</file_pos>\r\n");
  AppendLine(record, "         <file_len>", std::to_string(fileLen), "</file_len>\r\n");
  record += "         <ratings>\r\n            <awesomeness>3.0</awesomeness>\r\n";
  record += "            <difficulty>";
  AppendRating(record, difficulty);
  record += "</difficulty>\r\n";
  AppendLine(record, "            <size>", ContainerSize(container), "</size>\r\n");
  record += "            <terrain>";
  AppendRating(record, terrain);
  record += "</terrain>\r\n         </ratings>\r\n";
  AppendLine(record, "         <found>", found ? "true" : "false", "</found>\r\n");
  record += "      </gch>\r\n";
  return record;
}

std::string BuildCacheRecord(std::string_view waypoint, int64_t filePos, int64_t fileLen,
                             const std::string& encoding) {
  return TCacheRecordBuilder().Build(waypoint, filePos, fileLen, encoding);
}

std::string SourceEncoding(const std::string& header) {
  // The declaration opens the file, after a byte-order mark when there is one.
  size_t start = header.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  if (header.compare(start, 5, "<?xml") != 0) return "utf-8";
  size_t end = header.find("?>", start);
  size_t at = header.find("encoding", start);
  if (end == std::string::npos || at == std::string::npos || at > end) return "utf-8";
  at = header.find_first_of("\"'", at);
  if (at == std::string::npos || at > end) return "utf-8";
  size_t close = header.find(header[at], at + 1);
  if (close == std::string::npos || close > end) return "utf-8";
  std::string name = header.substr(at + 1, close - at - 1);
  return FindCodePage(name) != 0 ? name : "utf-8";
}

}  // namespace voltrane
