#include "ggz/CheckArchive.h"

#include <cmath>
#include <map>
#include <memory>
#include <vector>

#include "ggz/CacheRecord.h"
#include "ggz/IndexWriter.h"
#include "ggz/SplitGpxFile.h"
#include "rt/AsciiText.h"
#include "rt/Exception.h"
#include "util/Crc32.h"
#include "util/NumberText.h"
#include "util/TrivialXml.h"
#include "util/XmlSafeText.h"
#include "xml/VoltXml.h"
#include "zip/ArchiveReader.h"

namespace voltrane {

namespace {

// The largest chunk held whole to check its records.
constexpr int64_t kLargestChecked = 64 << 20;

struct TRecord {
  int64_t Number = 0;  // 1 for the file entry's first
  std::string Code, Lat, Lon, Pos, Len;
};

std::string ChildText(const IXmlNode& node, std::string_view name) {
  return node->ReadChildText(name);
}

bool SameNumber(const std::string& a, const std::string& b) {
  return std::fabs(StrToFloatDot(a) - StrToFloatDot(b)) < 1e-9;
}

// A whole non-negative number, or -1.
int64_t WholeNumber(const std::string& text) {
  if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos)
    return -1;
  return std::stoll(text);
}

// Where each waypoint of a chunk starts: "<wpt" as a whole name, outside comments and CDATA.
std::vector<int64_t> WaypointStarts(const std::string& chunk) {
  std::vector<int64_t> starts;
  TViewStream stream(chunk.data(), int64_t(chunk.size()));
  TTrivialXml scanner;
  scanner.Attach(stream);
  scanner.Capturing = false;
  while (scanner.FindTag("wpt")) {
    std::string_view next = scanner.Lookahead();
    char c = next.empty() ? 0 : next[0];
    if (c == '>' || c == '/' || c == ' ' || c == '\t' || c == '\r' || c == '\n')
      starts.push_back(scanner.Position() - 4);
  }
  return starts;
}

// Whether text that comes in blocks is UTF-8 holding only characters XML 1.0 allows; a
// sequence cut by a block's end is checked with the next block.
class TUtf8Check {
 public:
  void Add(std::string_view block) {
    if (fault_ >= 0) return;
    pending_.append(block);
    size_t cut = pending_.size();
    for (size_t back = 1; back <= 3 && back <= pending_.size(); ++back) {
      unsigned char c = static_cast<unsigned char>(pending_[pending_.size() - back]);
      if ((c & 0xC0) == 0x80) continue;  // a continuation byte: look further back
      size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
      if (length > back) cut = pending_.size() - back;  // the sequence goes on
      break;
    }
    std::string_view ready(pending_.data(), cut);
    std::string safe = ReplaceUnsafeChars(ready, "\xEF\xBF\xBD");
    if (safe != ready) {
      size_t at = 0;
      while (at < ready.size() && ready[at] == safe[at]) ++at;
      fault_ = checked_ + int64_t(at);
    }
    checked_ += int64_t(cut);
    pending_.erase(0, cut);
  }
  // The first byte at fault, or -1; a sequence left unfinished at the end counts.
  int64_t FirstFault() const { return fault_ < 0 && !pending_.empty() ? checked_ : fault_; }

 private:
  std::string pending_;
  int64_t checked_ = 0;
  int64_t fault_ = -1;
};

// "1 chunk", "14 chunks".
std::string Count(int64_t n, const std::string& noun) {
  return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

class TChecker {
 public:
  TChecker(const std::string& path, TConsole& console) : path_(path), console_(console) {}

  TCheckSummary Run() {
    std::unique_ptr<TArchiveReader> archive;
    try {
      archive = std::make_unique<TArchiveReader>(path_);
    } catch (const Exception& e) {
      Problem(e.Message());
      return Summary();
    }
    if (!archive->IsArchive()) {
      Problem("no ZIP end record and central directory: not a ZIP archive, or a truncated one");
      return Summary();
    }
    archive_ = archive.get();
    for (int i = 0; i < archive_->Count(); ++i) CheckMember(i);
    int index = archive_->IndexOf(kIndexMemberName);
    if (index < 0)
      Problem(std::string(kIndexMemberName) + ": missing");
    else if (readable_[index])
      CheckIndex(index);
    return Summary();
  }

 private:
  void Problem(const std::string& what) {
    if (++summary_.Problems <= kShownProblems) console_.WriteLine(what);
  }

  TCheckSummary Summary() {
    if (summary_.Problems > kShownProblems)
      console_.WriteLine("... and " + std::to_string(summary_.Problems - kShownProblems) +
                         " more problems");
    std::string counts = Count(summary_.Chunks, "chunk") + ", " + Count(summary_.Caches, "cache");
    console_.WriteLine(summary_.Problems == 0
                           ? "OK: " + counts
                           : Count(summary_.Problems, "problem") + " in " + counts);
    return summary_;
  }

  // The member's records and content: read to its end, which checks its CRC-32 and size.
  void CheckMember(int member) {
    readable_.push_back(false);
    std::string fault = archive_->RecordFault(member);
    if (!fault.empty()) {
      Problem(archive_->Name(member) + ": " + fault);
      return;
    }
    try {
      std::unique_ptr<TStream> content = archive_->OpenMember(member);
      TUtf8Check utf8;
      bool isIndex = archive_->Name(member) == kIndexMemberName;
      std::string block(1 << 16, '\0');
      for (int64_t n; (n = content->Read(block.data(), int64_t(block.size()))) > 0;)
        if (isIndex) utf8.Add(std::string_view(block.data(), size_t(n)));
      readable_.back() = true;
      if (isIndex && utf8.FirstFault() >= 0)
        Problem(archive_->Name(member) + " at byte " + std::to_string(utf8.FirstFault()) +
                ": not UTF-8, or a character that XML 1.0 does not allow");
    } catch (const Exception& e) {
      Problem(e.Message());  // it names the member
    }
  }

  // Parses the index as it is inflated; each file entry is checked when it ends, and its
  // records are dropped from the tree as they are read, so that it never grows.
  void CheckIndex(int member) {
    const std::string name = kIndexMemberName;
    std::unique_ptr<TStream> content = archive_->OpenMember(member);
    IXmlDocument document = NewXmlDocument();
    std::vector<TRecord> records;
    document->SetElementEndHook([&](const IXmlNodeList& parent, const IXmlNode& element) {
      std::string_view tag = element->GetNodeName();
      if (tag == "gch") {
        TRecord record{int64_t(records.size()) + 1,    ChildText(element, "code"),
                       ChildText(element, "lat"),      ChildText(element, "lon"),
                       ChildText(element, "file_pos"), ChildText(element, "file_len")};
        records.push_back(std::move(record));
      } else if (tag == "file") {
        CheckFileEntry(ChildText(element, "name"), ChildText(element, "crc"), records);
        records.clear();
      } else {
        return;
      }
      parent->Delete(parent->GetCount() - 1);  // read: the tree need not keep it
    });
    try {
      document->LoadStream(*content);
    } catch (const Exception& e) {
      Problem(name + ": not well-formed XML: " + e.Message());
      return;
    }
    IXmlElement root = document->GetDocumentElement();
    if (!root || root->GetNodeName() != "ggz" ||
        root->GetAttrText("xmlns") != std::string(kGgzNamespace))
      Problem(name + ": the root element is not ggz in the namespace " + kGgzNamespace);
  }

  void CheckFileEntry(const std::string& chunkName, const std::string& crc,
                      const std::vector<TRecord>& records) {
    ++summary_.Chunks;
    summary_.Caches += int64_t(records.size());
    std::string entry = "index entry of \"" + chunkName + "\"";
    int member = archive_->IndexOf(kDataFolder + chunkName);
    if (member < 0) {
      Problem(entry + ": no member " + kDataFolder + chunkName + " in the archive");
      return;
    }
    std::string actual = Crc32Text(archive_->Crc32(member));
    if (AsciiLowerCase(crc) != AsciiLowerCase(actual))
      Problem(entry + ": crc " + crc + ", the member's CRC-32 is " + actual);
    int64_t size = archive_->Size(member);
    if (size > kChunkSizeLimit)
      console_.WriteLine("warning: " + archive_->Name(member) + " is " + std::to_string(size) +
                         " bytes, more than the " + std::to_string(kChunkSizeLimit) +
                         " a device may read");
    if (!readable_[member]) return;
    if (size > kLargestChecked) {
      Problem(archive_->Name(member) + ": too large to check its records");
      return;
    }
    std::string chunk = archive_->OpenMember(member)->ReadRest();
    CheckChunk(archive_->Name(member), chunk, records);
  }

  void CheckChunk(const std::string& member, const std::string& chunk,
                  const std::vector<TRecord>& records) {
    encoding_ = SourceEncoding(chunk.substr(0, 4096));
    try {
      IXmlDocument document = NewXmlDocument();
      TXmlLoadFilter nothing({"-"});  // read and checked whole, kept not at all
      document->SetLoadFilter(&nothing);
      document->LoadFromXmlText(chunk);
    } catch (const Exception& e) {
      Problem(member + ": not well-formed XML: " + e.Message());
    }
    std::map<int64_t, int> recordsAt;
    for (const TRecord& record : records) {
      std::string where =
          member + " record " + std::to_string(record.Number) + " (" + record.Code + ")";
      int64_t pos = WholeNumber(record.Pos), len = WholeNumber(record.Len);
      if (pos < 0 || len < 0 || pos + len > int64_t(chunk.size())) {
        Problem(where + ": file_pos " + record.Pos + " and file_len " + record.Len +
                " lie outside the chunk's " + std::to_string(chunk.size()) + " bytes");
        continue;
      }
      ++recordsAt[pos];
      CheckWaypoint(where, std::string_view(chunk).substr(size_t(pos), size_t(len)), record);
    }
    for (int64_t start : WaypointStarts(chunk)) {
      int count = recordsAt.count(start) ? recordsAt[start] : 0;
      if (count != 1)
        Problem(member + " at byte " + std::to_string(start) + ": the waypoint has " +
                std::to_string(count) + " records");
    }
  }

  // The waypoint parsed in the chunk's encoding, as the record was built from it.
  void CheckWaypoint(const std::string& where, std::string_view text, const TRecord& record) {
    IXmlElement waypoint;
    try {
      IXmlDocument document = NewXmlDocument();
      document->LoadFromXmlText("<?xml version=\"1.0\" encoding=\"" + encoding_ + "\"?>" +
                                std::string(text));
      waypoint = document->GetDocumentElement();
    } catch (const Exception&) {
    }
    if (!waypoint || waypoint->GetNodeName() != "wpt" || !text.starts_with("<wpt")) {
      Problem(where + ": file_pos and file_len select no whole wpt element");
      return;
    }
    if (XmlSafeText(ChildText(waypoint, "name")) != record.Code)
      Problem(where + ": the waypoint's name is \"" + ChildText(waypoint, "name") + "\"");
    if (!SameNumber(waypoint->GetAttrText("lat"), record.Lat) ||
        !SameNumber(waypoint->GetAttrText("lon"), record.Lon))
      Problem(where + ": the waypoint lies at " + waypoint->GetAttrText("lat") + " " +
              waypoint->GetAttrText("lon") + ", the record says " + record.Lat + " " + record.Lon);
  }

  const std::string path_;
  TConsole& console_;
  TArchiveReader* archive_ = nullptr;
  std::vector<bool> readable_;  // per member: read to its end without a fault
  std::string encoding_;        // of the chunk being checked
  TCheckSummary summary_;
};

}  // namespace

TCheckSummary CheckGgzFile(const std::string& path, TConsole& console) {
  return TChecker(path, console).Run();
}

}  // namespace voltrane
