#include "ggz/IndexWriter.h"

#include <cstdio>

#include "util/Crc32.h"
#include "util/UtcOffset.h"
#include "util/XmlSafeText.h"
#include "xml/XmlEscape.h"

namespace voltrane {

namespace {

TDateTime UtcNow() {
  return Now() - LocalUtcOffsetMinutes() / 1440.0;
}

}  // namespace

std::string FormatIndexTimestamp(TDateTime utc) {
  TDateTimeParts p = DecodeDateTime(utc);
  char text[40];
  std::snprintf(text, sizeof text, "%.4d-%.2d-%.2dT%.2d:%.2d:%.2d.%.3d", p.Year, p.Month, p.Day,
                p.Hour, p.Minute, p.Second, p.Millisecond);
  return text;
}

void WriteIndexHeader(TStream& index) {
  WriteStr(index, std::string("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n") +
                      "<ggz xmlns=\"" + kGgzNamespace + "\">\r\n" + "  <time>" +
                      FormatIndexTimestamp(UtcNow()) + "Z</time>\r\n");
}

void WriteFileEntryHead(TStream& index, const std::string& chunkName, uint32_t crc) {
  WriteStr(index, "   <file>\r\n");
  WriteStr(index, "     <name>" + EscapeXmlText(XmlSafeText(chunkName)) + "</name>\r\n");
  WriteStr(index, "     <crc>" + Crc32Text(crc) + "</crc>\r\n");
  WriteStr(index, "     <time>" + FormatIndexTimestamp(UtcNow()) + "Z</time>\r\n");
}

void WriteFileEntryEnd(TStream& index) {
  WriteStr(index, "   </file>\r\n");
}

void WriteFileEntry(TStream& index, const std::string& chunkName, const std::string& records,
                    uint32_t crc) {
  WriteFileEntryHead(index, chunkName, crc);
  WriteStr(index, records);
  WriteFileEntryEnd(index);
}

void WriteIndexFooter(TStream& index) {
  WriteStr(index, "</ggz>\r\n");
}

}  // namespace voltrane
