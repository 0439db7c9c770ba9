#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "TestSupport.h"
#include "cli/RunChecks.h"
#include "ggz/CheckArchive.h"
#include "ggz/Generate.h"
#include "rt/Console.h"
#include "zip/ZelZip.h"

namespace voltrane::test {
namespace {

// An archive of two caches in one chunk, as the tool writes it.
class CheckArchive : public ::testing::Test {
 public:
  void SetUp() override {
    WriteFile(dir / "pq.gpx", Gpx(Waypoint("GC1") + Waypoint("GC2")));
    TStringConsole quiet;
    Generate({dir / "pq.gpx"}, archive, quiet, 1);
    index = Member(archive, kIndexMember);
  }
  // The archive with the member's content replaced, or the member removed.
  void Replace(const std::string& name, const std::string* content) {
    TZelZip zip;
    zip.OpenArchive(archive);
    zip.Entries().RemoveItem(zip.Entries().IndexOfItem(name));
    if (content) {
      TMemoryStream stream(*content);
      zip.Entries().AddStreamItem(name, 0x20, Now(), stream);
    }
    zip.CloseArchive();
  }
  std::string Check() {
    TStringConsole console;
    problems = CheckGgzFile(archive, console).Problems;
    return console.Text;
  }

  TTempFolder dir;
  std::string archive = dir / "out.ggz";
  std::string index;
  int64_t problems = 0;
};

struct TPlantedFault {
  const char* Why;
  std::function<void()> Plant;
  const char* Shown;  // a part of the problem's line
};

TEST_F(CheckArchive, EachPlantedFaultIsFoundAndNamesItsMember) {
  auto editIndex = [this](const std::string& from, const std::string& to) {
    return [this, from, to] {
      std::string changed = index;
      changed.replace(changed.find(from), from.size(), to);
      Replace(kIndexMember, &changed);
    };
  };
  const TPlantedFault faults[] = {
      {"a record's range one byte off", editIndex("<file_pos>47<", "<file_pos>48<"),
       "data/pq_0000.gpx record 1 (GC1): file_pos and file_len select no whole wpt element"},
      {"an index CRC that differs", editIndex("<crc>", "<crc>1"),
       "index entry of \"pq_0000.gpx\": crc"},
      {"an index that is not well-formed", editIndex("</ggz>", "</ggzz>"),
       "index/com/garmin/geocaches/v0/index.xml: not well-formed XML"},
      {"a missing index", [this] { Replace(kIndexMember, nullptr); },
       "index/com/garmin/geocaches/v0/index.xml: missing"},
      {"a chunk named in the index but absent", [this] { Replace("data/pq_0000.gpx", nullptr); },
       "index entry of \"pq_0000.gpx\": no member data/pq_0000.gpx"},
      {"a truncated archive",
       [this] { std::filesystem::resize_file(archive, std::filesystem::file_size(archive) - 30); },
       "not a ZIP archive"},
      {"a record whose code is not its waypoint's", editIndex("<code>GC2", "<code>GC3"),
       "record 2 (GC3): the waypoint's name is \"GC2\""},
      {"a damaged member",
       [this] {
         std::string bytes = ReadFile(archive);
         bytes[bytes.find("data/pq_0000.gpx") + 16 + 5] ^= 0x55;  // 5 bytes into its deflate data
         WriteFile(archive, bytes);
       },
       "\"data/pq_0000.gpx\" in \""},
  };
  for (const TPlantedFault& fault : faults) {
    SCOPED_TRACE(fault.Why);
    SetUp();
    fault.Plant();
    std::string report = Check();
    EXPECT_GE(problems, 1);
    EXPECT_NE(report.find(fault.Shown), std::string::npos) << report;
  }
}

TEST_F(CheckArchive, ArchiveTheToolWritesPassesAndTheStatusSaysWhetherEveryFileDid) {
  EXPECT_EQ(Check(), "OK: 1 chunk, 2 caches\n");
  WriteFile(dir / "text.ggz", "no archive");
  auto status = [](std::vector<std::string> argv) {
    argv.insert(argv.begin(), {VoltraneExe(), "--check"});
    return RunProcess(argv).ExitCode;
  };
  EXPECT_EQ(status({archive}), 0);
  EXPECT_EQ(status({archive, dir / "text.ggz"}), 1);
  EXPECT_EQ(status({dir / "missing.ggz"}), 1);
  EXPECT_EQ(status({}), 2);
}

}  // namespace
}  // namespace voltrane::test
