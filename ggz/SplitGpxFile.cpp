#include "ggz/SplitGpxFile.h"

#include <algorithm>

#include "ggz/CacheRecord.h"
#include "ggz/ChunkName.h"
#include "ggz/IndexWriter.h"
#include "ggz/SourcePosition.h"
#include "rt/AsciiText.h"
#include "rt/Exception.h"
#include "rt/FileList.h"
#include "rt/Interrupt.h"
#include "rt/Path.h"
#include "util/Crc32.h"
#include "util/TrivialXml.h"
#include "zip/ArchiveReader.h"

namespace voltrane {

namespace {

// The waypoint element, and its start tag's opening as the scanner's search ends on it.
const std::string kWaypointTag = "wpt";
constexpr std::string_view kWaypointOpen = "<wpt";
// The other elements that may stand before the first waypoint (and are not kept there).
const std::string kTrackTag = "trk";
const std::string kRouteTag = "rte";

// A chunk's buffer takes room for the limit and for the waypoint that will not fit, which
// is read in before it is moved on: the buffer need not grow (and be copied) at each
// chunk's end. Pages never written to take no memory.
constexpr size_t kChunkReserve = size_t(kChunkSizeLimit) + (1 << 20);

// The open chunk and the records of its waypoints. Its bytes collect in memory, each
// waypoint read straight into them, and are handed on whole when it is closed, which is
// when their checksum is taken.
class TChunkWriter {
 public:
  TChunkWriter(TBuildState& state, std::string header, std::string baseName)
      : state_(state),
        header_(std::move(header)),
        baseName_(std::move(baseName)),
        encoding_(SourceEncoding(header_)) {}

  void Open() {
    name_ = ChunkFileName(baseName_, number_++);
    state_.Console.WriteLine("Writing: " + name_);
    bytes_.clear();
    bytes_.reserve(kChunkReserve + header_.size());
    bytes_ += header_;
  }

  ~TChunkWriter() {
    if (!spill_) return;
    spill_.reset();
    RemoveFile(state_.RecordsSpillPath());  // a file left over goes with the working tree
  }

  // Listed in the index once it is complete, then handed on.
  void Close() {
    bytes_ += kChunkClosing;
    uint32_t crc = Crc32Of(bytes_);
    if (spilledBytes_ == 0)
      WriteFileEntry(*state_.IndexStream, name_, records_, crc);
    else
      WriteSpilledFileEntry(crc);
    records_.clear();
    if (state_.OnChunkClosed) state_.OnChunkClosed(name_, std::move(bytes_), crc);
    bytes_ = std::string();
  }

  // The bytes the next waypoint is appended to; AddLast then takes it from their end.
  std::string& Bytes() { return bytes_; }

  // The waypoint that was appended from byte start on. A waypoint that would take the chunk
  // past its limit goes to a new one. The record is built from the waypoint as written;
  // where it came from only serves to point the user at a waypoint that cannot be parsed.
  void AddLast(size_t start, const std::string& sourcePath, TStream& source, int64_t sourceOffset) {
    int64_t length = int64_t(bytes_.size() - start);
    if (int64_t(start) + length > kChunkSizeLimit) {
      std::string waypoint = bytes_.substr(start);
      bytes_.resize(start);
      Close();
      Open();
      start = bytes_.size();
      bytes_ += waypoint;
    }
    std::string_view waypoint(bytes_.data() + start, size_t(length));
    try {
      records_ += recordBuilder_.Build(waypoint, int64_t(start), length, encoding_);
    } catch (const EInterrupted&) {
      throw;  // the parse noticed a signal: no fault of this waypoint
    } catch (Exception& e) {
      e.AppendToMessage(WhereInSource(e.Message(), waypoint, sourcePath, source, sourceOffset));
      throw;
    }
    if (records_.size() > kRecordsInMemory) SpillRecords();
  }

 private:
  // Records beyond this many bytes (a chunk of many tiny waypoints holds a hundred times its
  // own size in them) wait in a file.
  static constexpr size_t kRecordsInMemory = 4 << 20;

  void SpillRecords() {
    if (!spill_)
      spill_ = std::make_unique<TFileStream>(state_.RecordsSpillPath(), TFileMode::Create);
    WriteStr(*spill_, records_);
    spilledBytes_ += int64_t(records_.size());
    records_.clear();
  }

  // The file entry with the records from the spill file, then those still in memory.
  void WriteSpilledFileEntry(uint32_t crc) {
    TStream& index = *state_.IndexStream;
    WriteFileEntryHead(index, name_, crc);
    spill_->SetPosition(0);
    std::string block(1 << 16, '\0');
    for (int64_t left = spilledBytes_; left > 0;) {
      int64_t n = std::min<int64_t>(left, int64_t(block.size()));
      spill_->ReadBuffer(block.data(), n);
      index.WriteBuffer(block.data(), n);
      left -= n;
    }
    WriteStr(index, records_);
    WriteFileEntryEnd(index);
    spill_->SetPosition(0);
    spill_->SetSize(0);
    spilledBytes_ = 0;
  }

  // " (line L, column C of <source>; waypoint at byte N)", worked out only when an error
  // has come. A source that cannot be read again (a pipe) is named by the byte alone.
  std::string WhereInSource(const std::string& message, std::string_view waypoint,
                            const std::string& sourcePath, TStream& source,
                            int64_t sourceOffset) const {
    std::string byte = std::to_string(sourceOffset);
    int64_t offset = ParsedOffset(message, waypoint, kWaypointFirstLine);
    if (offset >= 0) {
      try {
        TSourcePosition at =
            PositionInStream(source, sourceOffset + offset, AsciiLowerCase(encoding_) == "utf-8");
        return " (line " + std::to_string(at.Line) + ", column " + std::to_string(at.Column) +
               " of " + sourcePath + "; waypoint at byte " + byte + ")";
      } catch (const EStreamError&) {
        // the parse error is the one to report; the position is only a help
      }
    }
    return " (waypoint at byte " + byte + " of " + sourcePath + ")";
  }

  TBuildState& state_;
  const std::string header_;
  const std::string baseName_;
  const std::string encoding_;
  int32_t number_ = 0;
  std::string name_;
  std::string bytes_;  // the chunk's bytes so far
  TCacheRecordBuilder recordBuilder_;
  std::string records_;
  std::unique_ptr<TFileStream> spill_;  // records that did not stay in memory
  int64_t spilledBytes_ = 0;
};

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The byte that comes next, or -1 at end of input.
int NextByte(TTrivialXml& scanner) {
  std::string_view ahead = scanner.Lookahead();
  return ahead.empty() ? -1 : static_cast<unsigned char>(ahead[0]);
}

// After "<" + name: whether the tag's name is name itself, not a longer one (wptx1:...).
bool NameEndsHere(TTrivialXml& scanner) {
  int c = NextByte(scanner);
  return c == '>' || c == '/' || (c >= 0 && IsBlank(char(c)));
}

// Reads on through the next start tag of the element called name itself.
bool FindStartTag(TTrivialXml& scanner, const std::string& name) {
  while (scanner.FindTag(name))
    if (NameEndsHere(scanner)) return true;
  return false;
}

// Reads the rest of a start tag up to and including its ">"; true when it ends with "/>",
// an element without content. Stops before a "<", which a start tag cannot hold.
bool ReadRestOfStartTag(TTrivialXml& scanner) {
  char quote = 0, last = 0;
  for (std::string_view ahead; !(ahead = scanner.Lookahead()).empty();) {
    size_t n = 0;
    for (; n < ahead.size(); ++n) {
      char c = ahead[n];
      if (c == '<') {
        scanner.Take(n);
        return false;
      }
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '>') {
        scanner.Take(n + 1);
        return last == '/';
      }
      last = c;
    }
    scanner.Take(n);
  }
  return false;
}

// Reads through the end tag "</" + name + blanks + ">"; what is captured ends with the
// name's last letter. An end tag of a longer name (</wptx1:...) is read past. Without an
// end tag it reads the rest of the input.
void FindEndTag(TTrivialXml& scanner, const std::string& name) {
  const std::string endName = "/" + name;
  while (scanner.FindTag(endName)) {
    std::string& captured = scanner.CaptureTarget();
    size_t nameEnd = captured.size();
    int c = NextByte(scanner);
    while (c >= 0 && IsBlank(char(c))) {
      scanner.Take(1);
      c = NextByte(scanner);
    }
    if (c == '>') {
      scanner.Take(1);
      if (scanner.Capturing) captured.resize(nameEnd);
      return;
    }
  }
}

// "UTF-16" or "UTF-32" when the first bytes of a file show either: by a byte-order mark,
// or by the NUL bytes that the ASCII characters opening a GPX file take there (other binary
// files are left to show no waypoint); else empty.
std::string_view WideEncoding(std::string_view head) {
  using namespace std::string_view_literals;
  if (head.starts_with("\0\0\xFE\xFF"sv) || head.starts_with("\xFF\xFE\0\0"sv)) return "UTF-32";
  if (head.starts_with("\xFE\xFF"sv) || head.starts_with("\xFF\xFE"sv)) return "UTF-16";
  if (head.size() < 4) return {};
  std::string nuls;  // "0" for a NUL byte, "1" for any other, of the first four
  for (char c : head.substr(0, 4)) nuls += c ? '1' : '0';
  if (nuls == "0001" || nuls == "1000") return "UTF-32";
  if (nuls == "0101" || nuls == "1010") return "UTF-16";
  return {};
}

// The chunk header: the text before the first waypoint, without the tracks and routes that
// stand in it (merged files have them there), which are read past without being kept.
// False when the source holds no waypoint. A header longer than a chunk may be ends the run
// once a waypoint shows that it is needed; until then it is not kept either.
bool TakeHeader(TTrivialXml& scanner, const std::string& sourcePath, std::string& header) {
  static const std::string kTags[] = {kWaypointTag, kTrackTag, kRouteTag};
  constexpr int kTagCount = int(std::size(kTags));
  // The found tag's "<" and name, which the search ends on.
  auto openingLength = [](int found) { return kTags[found - 1].size() + 1; };
  // The header may take a whole chunk, with the "<wpt" that ends it.
  scanner.CaptureLimit = size_t(kChunkSizeLimit) + kWaypointOpen.size();
  for (;;) {
    int found = scanner.FindTagOf(kTags, kTagCount);
    if (found == 0) return false;
    if (!NameEndsHere(scanner)) continue;
    if (found == 1) break;
    bool capturing = scanner.Capturing;
    if (capturing) scanner.Captured.resize(scanner.Captured.size() - openingLength(found));
    scanner.Capturing = false;
    if (!ReadRestOfStartTag(scanner)) FindEndTag(scanner, kTags[found - 1]);
    scanner.Capturing = capturing;
  }
  if (scanner.CaptureOverflowed)
    throw EHeaderTooLongError("The text before the first waypoint of \"" + sourcePath +
                              "\" is longer than a chunk file may be (" +
                              std::to_string(kChunkSizeLimit) + " bytes)");
  scanner.CaptureLimit = SIZE_MAX;
  header = std::move(scanner.Captured);
  scanner.Captured.clear();
  header.resize(header.size() - kWaypointOpen.size());  // the "<wpt" that the search ended on
  return true;
}

// Splits the text that source holds; sourcePath names it in messages, chunkSource gives the
// chunks their names.
void SplitSource(TBuildState& state, TStream& source, const std::string& sourcePath,
                 const std::string& chunkSource) {
  TTrivialXml scanner;
  scanner.Attach(source);
  // Such a file shows no tag to the scanner: without this it would give no cache at all.
  std::string_view wide = WideEncoding(scanner.Lookahead());
  if (!wide.empty())
    throw EEncodingError("\"" + sourcePath + "\" is " + std::string(wide) +
                         " text, which cannot be read: save it as UTF-8");
  std::string header;
  if (!TakeHeader(scanner, sourcePath, header)) return;
  TChunkWriter chunk(state, std::move(header), state.ClaimChunkBaseName(chunkSource));
  chunk.Open();
  int64_t waypointCount = 0;
  bool more = true;
  while (more) {
    int64_t sourceOffset = scanner.Position() - int64_t(kWaypointOpen.size());
    // The scanner captures the waypoint straight into the chunk's bytes: "<wpt", what it
    // reads through the end tag's name, then ">"; or the whole start tag of an empty one.
    // Without an end tag it takes the rest of the file.
    std::string& bytes = chunk.Bytes();
    size_t start = bytes.size();
    bytes += kWaypointOpen;
    scanner.CaptureInto(bytes);
    if (!ReadRestOfStartTag(scanner)) {
      FindEndTag(scanner, kWaypointTag);
      bytes += '>';
    }
    scanner.StopCapture();  // before the chunk may be closed and its bytes handed on
    chunk.AddLast(start, sourcePath, source, sourceOffset);
    ++waypointCount;
    // What lies between waypoints is dropped, so it is not kept while searching.
    scanner.Captured.clear();
    scanner.Capturing = false;
    more = FindStartTag(scanner, kWaypointTag);
    scanner.Capturing = true;
  }
  chunk.Close();
  state.Console.WriteLine("Processed waypoints: " + std::to_string(waypointCount));
}

// A file (not a pipe, which is read as it comes) that starts with a ZIP local header.
bool HoldsZipArchive(const std::string& path) {
  TFileEntry entry;
  if (!FindEntry(path, entry) || entry.IsFifo) return false;
  try {
    TFileStream file(path, TFileMode::OpenRead);
    char head[4] = {};
    return file.Read(head, 4) == 4 && std::string_view(head, 4) == "PK\x03\x04";
  } catch (const EFileError&) {
    return false;  // the error comes again, after the source's Reading line
  }
}

// Every GPX member of a ZIP source (a pocket query as it is downloaded), in the order of
// its directory, split as a source named by the member's last name component; read as a
// stream, never unpacked.
void SplitZipSource(TBuildState& state, const std::string& zipPath) {
  TArchiveReader zip(zipPath);
  if (!zip.IsArchive())
    throw EZipSourceError("\"" + zipPath +
                          "\" starts as a ZIP archive but has no readable end record and "
                          "central directory");
  bool anyGpx = false;
  for (int member = 0; member < zip.Count(); ++member) {
    const std::string& name = zip.Name(member);
    if (name.ends_with('/') || !AsciiLowerCase(name).ends_with(".gpx")) continue;
    anyGpx = true;
    state.Console.WriteLine("Reading: " + zipPath + " (" + name + ")");
    std::string fault = zip.RecordFault(member);
    if (!fault.empty())
      throw EZipSourceError("Cannot read \"" + name + "\" in \"" + zipPath + "\": " + fault);
    std::unique_ptr<TStream> content = zip.OpenMember(member);
    SplitSource(state, *content, name + " in " + zipPath, ExtractFileName(name));
  }
  if (!anyGpx) throw EZipSourceError("\"" + zipPath + "\" holds no GPX member");
}

}  // namespace

void SplitGpxFile(TBuildState& state, const std::string& sourcePath) {
  if (HoldsZipArchive(sourcePath)) {
    SplitZipSource(state, sourcePath);
    return;
  }
  state.Console.WriteLine("Reading: " + sourcePath);
  TFileStream source(sourcePath, TFileMode::OpenRead);
  SplitSource(state, source, sourcePath, sourcePath);
}

}  // namespace voltrane
