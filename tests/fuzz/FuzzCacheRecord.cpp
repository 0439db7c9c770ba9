// The record builder on arbitrary waypoint texts: it either raises the parser's error or
// gives a record that is well-formed and holds nothing but its own elements.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ggz/CacheRecord.h"
#include "rt/Exception.h"
#include "xml/VoltXml.h"

using namespace voltrane;

static void Check(bool condition, const char* what, const std::string& record) {
  if (condition) return;
  fprintf(stderr, "fuzz_cache_record: %s\n%s\n", what, record.c_str());
  abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string encoding = kXmlEncodings[data[0] % kXmlEncodingCount].Name;
  std::string waypoint(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string record;
  try {
    record = BuildCacheRecord(waypoint, int64_t(size), int64_t(waypoint.size()), encoding);
  } catch (const Exception&) {
    return 0;  // a waypoint that does not parse ends the run with the parser's message
  }
  const std::string head = "      <gch>\r\n", tail = "      </gch>\r\n";
  Check(record.starts_with(head) && record.size() >= head.size() + tail.size() &&
            record.ends_with(tail),
        "record is not framed by <gch> and </gch>", record);
  IXmlDocument document = NewXmlDocument();
  try {
    document->LoadFromXmlText("<x>" + record + "</x>");
  } catch (const Exception& error) {
    Check(false, error.what(), record);
  }
  IXmlElement x = document->GetDocumentElement();
  Check(x && x->ChildCount() == 1 && x->ChildAt(0)->GetNodeName() == "gch",
        "record is not one gch element", record);
  TXmlNode* gch = x->ChildAt(0);
  if (gch->ChildCount() == 0) return 0;  // no wpt element: the empty record
  const char* const kElements[] = {"code",     "name",     "type",    "lat",  "lon",
                                   "file_pos", "file_len", "ratings", "found"};
  Check(gch->ChildCount() == std::size(kElements), "record has other children", record);
  for (int i = 0; i < gch->ChildCount(); ++i) {
    TXmlNode* child = gch->ChildAt(i);
    Check(child->GetNodeName() == kElements[i], "record has an unexpected element", record);
    Check(child->GetNodeName() == "ratings" || child->ChildCount() <= 1, "a value holds markup",
          record);
  }
  return 0;
}
