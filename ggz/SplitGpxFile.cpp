#include "ggz/SplitGpxFile.h"

#include "ggz/CacheRecord.h"
#include "ggz/ChunkName.h"
#include "ggz/IndexWriter.h"
#include "rt/Exception.h"
#include "rt/Path.h"
#include "util/Crc32.h"
#include "util/TrivialXml.h"

namespace voltrane {

namespace {

// The open chunk file with its running checksum and the records of its waypoints. Its
// bytes collect in memory and go to the file in one write when it is closed.
class TChunkWriter {
 public:
  TChunkWriter(TBuildState& state, std::string header, std::string baseName)
      : state_(state),
        header_(std::move(header)),
        baseName_(std::move(baseName)),
        encoding_(SourceEncoding(header_)) {}

  void Open() {
    name_ = ChunkFileName(baseName_, number_++);
    file_ = std::make_unique<TFileStream>(state_.DataDir + name_, TFileMode::Create);
    state_.Console.WriteLine("Writing: " + name_);
    crc_ = CrcInit();
    chunk_.SetSize(0);
    chunk_.DataString().reserve(size_t(kChunkSizeLimit + header_.size()));
    WriteStrCrc(chunk_, header_, crc_);
  }

  // Listed in the index only once the file is complete and closed.
  void Close() {
    WriteStrCrc(chunk_, kChunkClosing, crc_);
    WriteStr(*file_, chunk_.DataString());
    file_->Close();
    file_.reset();
    CrcFinal(crc_);
    WriteFileEntry(*state_.IndexStream, state_.DataDir, name_, records_, crc_);
    records_.clear();
    // Whoever takes the bytes now need not read the file back.
    if (state_.OnChunkClosed)
      state_.OnChunkClosed(state_.DataDir + name_, std::move(chunk_.DataString()), crc_);
  }

  // The record is built from the waypoint as written; where it came from only serves to
  // point the user at a waypoint that cannot be parsed.
  void Add(const std::string& waypoint, const std::string& sourcePath, int64_t sourceOffset) {
    int64_t length = int64_t(waypoint.size());
    if (chunk_.Size() + length > kChunkSizeLimit) {
      Close();
      Open();
    }
    int64_t position = chunk_.Size();
    WriteStrCrc(chunk_, waypoint, crc_);
    try {
      records_ += BuildCacheRecord(waypoint, position, length, encoding_);
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
  TMemoryStream chunk_;  // the chunk file's bytes so far
  uint32_t crc_ = 0;
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
    // The waypoint text collects in Captured itself: "<wpt", what the scanner reads through
    // the end tag's name, then ">". Without an end tag it takes the rest of the file.
    scanner.Captured.assign("<wpt");
    scanner.FindTag("/wpt");
    scanner.Captured += '>';
    chunk.Add(scanner.Captured, sourcePath, sourceOffset);
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
