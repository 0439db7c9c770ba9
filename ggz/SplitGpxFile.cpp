#include "ggz/SplitGpxFile.h"

#include "ggz/CacheRecord.h"
#include "ggz/ChunkName.h"
#include "ggz/IndexWriter.h"
#include "rt/Exception.h"
#include "rt/Interrupt.h"
#include "rt/Path.h"
#include "util/Crc32.h"
#include "util/TrivialXml.h"

namespace voltrane {

namespace {

// The open chunk file and the records of its waypoints. Its bytes collect in memory, each
// waypoint read straight into them, and go to the file in one write when it is closed,
// which is when their checksum is taken.
class TChunkWriter {
 public:
  static constexpr size_t kWaypointRoom = 1 << 20;

  TChunkWriter(TBuildState& state, std::string header, std::string baseName)
      : state_(state),
        header_(std::move(header)),
        baseName_(std::move(baseName)),
        encoding_(SourceEncoding(header_)) {}

  void Open() {
    name_ = ChunkFileName(baseName_, number_++);
    file_ = std::make_unique<TFileStream>(state_.DataDir + name_, TFileMode::Create);
    state_.Console.WriteLine("Writing: " + name_);
    bytes_.clear();
    // Room for the waypoint that will not fit, which is read in before it is moved on: the
    // buffer need not grow (and be copied) at each chunk's end. Pages never written to
    // take no memory.
    bytes_.reserve(size_t(kChunkSizeLimit) + header_.size() + kWaypointRoom);
    bytes_ += header_;
  }

  // Listed in the index only once the file is complete and closed.
  void Close() {
    bytes_ += kChunkClosing;
    WriteStr(*file_, bytes_);
    file_->Close();
    file_.reset();
    uint32_t crc = CrcInit();
    CrcUpdate(crc, bytes_);
    CrcFinal(crc);
    WriteFileEntry(*state_.IndexStream, state_.DataDir, name_, records_, crc);
    records_.clear();
    // Whoever takes the bytes now need not read the file back. The buffers of chunks that
    // are done come back to be filled again: memory stays the same few buffers, long touched.
    if (state_.OnChunkClosed)
      bytes_ = state_.OnChunkClosed(state_.DataDir + name_, std::move(bytes_), crc);
  }

  // The bytes the next waypoint is appended to; AddLast then takes it from their end.
  std::string& Bytes() { return bytes_; }

  // The waypoint that was appended from byte start on. A waypoint that would take the chunk
  // past its limit goes to a new one. The record is built from the waypoint as written;
  // where it came from only serves to point the user at a waypoint that cannot be parsed.
  void AddLast(size_t start, const std::string& sourcePath, int64_t sourceOffset) {
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
      records_ += BuildCacheRecord(waypoint, int64_t(start), length, encoding_);
    } catch (const EInterrupted&) {
      throw;  // the parse noticed a signal: no fault of this waypoint
    } catch (Exception& e) {
      e.AppendToMessage(" (waypoint at byte " + std::to_string(sourceOffset) + " of " + sourcePath +
                        ")");
      throw;
    }
  }

 private:
  TBuildState& state_;
  const std::string header_;
  const std::string baseName_;
  const std::string encoding_;
  int32_t number_ = 0;
  std::string name_;
  std::unique_ptr<TFileStream> file_;
  std::string bytes_;  // the chunk file's bytes so far
  std::string records_;
};

}  // namespace

void SplitGpxFile(TBuildState& state, const std::string& sourcePath) {
  state.Console.WriteLine("Reading: " + sourcePath);
  TFileStream source(sourcePath, TFileMode::OpenRead);
  TTrivialXml scanner;
  scanner.Attach(source);
  if (!scanner.FindTag("wpt")) return;

  std::string header = std::move(scanner.Captured);
  header.resize(header.size() - 4);  // the "<wpt" that the search ended on
  TChunkWriter chunk(state, std::move(header), state.ClaimChunkBaseName(sourcePath));
  chunk.Open();
  int64_t waypointCount = 0;
  bool more = true;
  while (more) {
    int64_t sourceOffset = scanner.Position() - 4;
    // The scanner captures the waypoint straight into the chunk's bytes: "<wpt", what it
    // reads through the end tag's name, then ">". Without an end tag it takes the rest of
    // the file.
    size_t start = chunk.Bytes().size();
    std::swap(scanner.Captured, chunk.Bytes());
    scanner.Captured += "<wpt";
    scanner.FindTag("/wpt");
    scanner.Captured += '>';
    std::swap(scanner.Captured, chunk.Bytes());
    chunk.AddLast(start, sourcePath, sourceOffset);
    ++waypointCount;
    // What lies between waypoints is dropped, so it is not kept while searching.
    scanner.Captured.clear();
    scanner.Capturing = false;
    more = scanner.FindTag("wpt");
    scanner.Capturing = true;
  }
  chunk.Close();
  state.Console.WriteLine("Processed waypoints: " + std::to_string(waypointCount));
}

}  // namespace voltrane
