#include "ggz/CacheRecord.h"

#include "rt/AsciiText.h"
#include "util/NumberText.h"
#include "util/StringUtil.h"
#include "xml/VoltXml.h"

namespace voltrane {

namespace {

std::string Text(const IXmlNode& node, std::string_view path) {
  return VarToStr(node->GetValueByPath(path));
}

// The first of the lookups that gives a non-empty text.
template <typename... Lookups>
std::string FirstOf(Lookups... lookups) {
  std::string text;
  ((text.empty() ? void(text = lookups()) : void()), ...);
  return text;
}

double ContainerSize(const std::string& container) {
  static const std::pair<const char*, double> kSizes[] = {
      {"micro", 2}, {"small", 3}, {"regular", 4}, {"large", 5},
      {"other", -1}, {"not chosen", -2}, {"virtual", 0}};
  std::string lower = AsciiLowerCase(container);
  for (const auto& [name, size] : kSizes)
    if (lower == name) return size;
  return 1;
}

std::string Rating(const std::string& text) { return FloatToStrDot(StrToFloatDot(text)); }

}  // namespace

std::string BuildCacheRecord(const std::string& waypoint, int64_t filePos, int64_t fileLen,
                             const std::string& encoding) {
  std::string record = "      <gch>\r\n";
  IXmlDocument document = NewXmlDocument();
  document->LoadFromXmlText("<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>\r\n<gpx>\r\n" +
                            waypoint + "</gpx>\r\n");
  IXmlNode w = document->SelectNodeByPath("gpx\\wpt");
  if (!w) return record + "      </gch>\r\n";
  IXmlNode e = w->SelectNodeByPath("extensions");
  if (!e) e = w;

  std::string code = Text(w, "name");
  std::string name = FirstOf([&] { return Text(e, "groundspeak:cache\\groundspeak:name"); },
                             [&] { return Text(e, "geocache\\name"); },
                             [&] { return Text(w, "urlname"); });
  std::string type = FirstOf([&] { return Text(e, "groundspeak:cache\\groundspeak:type"); },
                             [&] { return Text(e, "geocache\\type"); },
                             [&] { return TextAfter(Text(w, "type"), "|"); });
  std::string lat = Text(w, "@lat");
  std::string lon = Text(w, "@lon");
  std::string difficulty = FirstOf([&] { return Text(e, "groundspeak:cache\\groundspeak:difficulty"); },
                                   [&] { return Text(e, "geocache\\difficulty"); });
  std::string container = FirstOf([&] { return Text(e, "groundspeak:cache\\groundspeak:container"); },
                                  [&] { return Text(e, "geocache\\container"); });
  std::string terrain = FirstOf([&] { return Text(e, "groundspeak:cache\\groundspeak:terrain"); },
                                [&] { return Text(e, "geocache\\terrain"); });
  bool found = Text(w, "sym").find("ound") != std::string::npos;

  // Coordinates are escaped too: an attribute arrives with its entities decoded, and
  // "&lt;" in it must not turn into markup in the index.
  record += "         <code>" + EscapeXmlText(code) + "</code>\r\n";
  record += "         <name>" + EscapeXmlText(name) + "</name>\r\n";
  record += "         <type>" + EscapeXmlText(type) + "</type>\r\n";
  record += "         <lat>" + EscapeXmlText(lat) + "</lat>\r\n";
  record += "         <lon>" + EscapeXmlText(lon) + "</lon>\r\n";
  record += "         <file_pos>" + std::to_string(filePos) + "</file_pos>\r\n";
  record += "         <file_len>" + std::to_string(fileLen) + "</file_len>\r\n";
  record += "         <ratings>\r\n";
  record += "            <awesomeness>3.0</awesomeness>\r\n";
  record += "            <difficulty>" + Rating(difficulty) + "</difficulty>\r\n";
  record += "            <size>" + FloatToStrDot(ContainerSize(container)) + "</size>\r\n";
  record += "            <terrain>" + Rating(terrain) + "</terrain>\r\n";
  record += "         </ratings>\r\n";
  record += std::string("         <found>") + (found ? "true" : "false") + "</found>\r\n";
  return record + "      </gch>\r\n";
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
