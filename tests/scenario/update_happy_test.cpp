// A whole update run on the simulated PC, from the Start Update click to
// the end of the program, with nothing going wrong.
#include "scenario/update_fixture.h"

namespace {

using updatetest::BenchOptions;
using updatetest::eventsStarting;
using updatetest::statusEvent;
using updatetest::UpdateBench;

const char kSucceeded[] = "..... The firmware has been updated successfully .....";
const char kShutdownFollows[] =
    "Please click the [End] button.\\r\\nYour PC is shut down by Firmware Updater.";

struct HappyCase {
  const char* name;
  sim::WindowsVersion os;
  bool datFile;
  std::vector<std::string> progress;
};

void PrintTo(const HappyCase& c, std::ostream* os) { *os << c.name; }

std::vector<std::string> positions(std::initializer_list<int> values) {
  std::vector<std::string> out;
  for (int v : values) out.push_back("progress " + std::to_string(v));
  return out;
}

class UpdateHappyPath : public testing::TestWithParam<HappyCase> {};

TEST_P(UpdateHappyPath, WritesTheImageAndKeepsTheReadersIdentity) {
  const HappyCase& c = GetParam();
  BenchOptions options;
  options.os = c.os;
  options.datFile = c.datFile;
  UpdateBench bench(options);
  ASSERT_EQ(sim::RunEnd::Finished, bench.runUpdater());
  const auto& lines = bench.lines();

  EXPECT_EQ(updatetest::fullAttemptKinds(), updatetest::requestKinds(bench.reader()));
  EXPECT_EQ(c.progress, eventsStarting(lines, "progress "));
  std::vector<std::string> statuses = {statusEvent("Updating ....."),
                                       statusEvent("Click the [End] button."),
                                       statusEvent(""), statusEvent(kShutdownFollows)};
  EXPECT_EQ(statuses, eventsStarting(lines, "text 102.1010 "));
  EXPECT_EQ(std::vector<std::string>{"text 133.1014 \"" + std::string(kSucceeded) + "\""},
            eventsStarting(lines, "text 133.1014 "));
  EXPECT_TRUE(eventsStarting(lines, "msgbox").empty());
  // End is enabled and focused, the progress bar hidden, before the finish
  // dialog; the main dialog ends after it.
  int endEnabled = scenariotest::indexOf(lines, "enable 102.1 1");
  int hidden = scenariotest::indexOf(lines, "show 102.1001 0");
  int finish = scenariotest::indexOf(lines, "dialog 133 open");
  int mainEnd = scenariotest::indexOf(lines, "dialog 102 end 1");
  EXPECT_LT(-1, endEnabled);
  EXPECT_LT(endEnabled, hidden);
  EXPECT_LT(hidden, finish);
  EXPECT_LT(finish, mainEnd);

  // The saved copy: absent up to the block read, present from the
  // comparison through the verification, gone at the end.
  const auto& seen = bench.requestsSeen();
  ASSERT_EQ(94u, seen.size());
  for (std::size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(i >= 3, seen[i].saved) << seen[i].line;
  }
  EXPECT_FALSE(bench.savedKeyExists());

  EXPECT_TRUE(bench.readerHoldsImage());
  EXPECT_TRUE(bench.eepromIs(bench.expectedEeprom()));
  EXPECT_EQ(updatetest::kReaderIdentity, bench.readerIdentity());
  ASSERT_EQ(1u, bench.runs().size());
  EXPECT_TRUE(bench.runs()[0].verifiedOrCurrent());
  EXPECT_EQ(norbix::kStateFinished, bench.runs()[0].updateState);
  EXPECT_EQ(1, bench.pc().powerOffRequests);
}

// Windows 98/Me: 7 per four blocks to 84. NT: 5 and 4 per four blocks, 30
// below the positions with the driver switch, which is not wired yet.
const std::vector<std::string> k9xProgress =
    positions({7, 14, 21, 28, 35, 42, 49, 56, 63, 70, 77, 84});
const std::vector<std::string> kNtProgress =
    positions({5, 10, 15, 20, 24, 28, 32, 36, 41, 46, 51, 56});

INSTANTIATE_TEST_SUITE_P(
    Systems, UpdateHappyPath,
    testing::Values(HappyCase{"Win98", sim::WindowsVersion::Win98, false, k9xProgress},
                    HappyCase{"WinMe", sim::WindowsVersion::WinMe, false, k9xProgress},
                    HappyCase{"Win2000", sim::WindowsVersion::Win2000, false, kNtProgress},
                    HappyCase{"WinXP", sim::WindowsVersion::WinXP, false, kNtProgress},
                    HappyCase{"WinXP64", sim::WindowsVersion::WinXP64, false, kNtProgress},
                    HappyCase{"WinXPWithDatFile", sim::WindowsVersion::WinXP, true,
                              kNtProgress},
                    HappyCase{"Win98WithDatFile", sim::WindowsVersion::Win98, true,
                              k9xProgress}),
    [](const testing::TestParamInfo<HappyCase>& info) { return std::string(info.param.name); });

// The fixed waits on the way: 1000 ms before each open on NT, 2000 ms after
// the pre-update request, 3000 ms before the key cleanup on NT.
TEST(UpdateHappyTimes, FixedWaitsPlaceTheRequests) {
  for (sim::WindowsVersion os : {sim::WindowsVersion::Win98, sim::WindowsVersion::WinXP}) {
    BenchOptions options;
    options.os = os;
    UpdateBench bench(options);
    ASSERT_EQ(sim::RunEnd::Finished, bench.runUpdater());
    const auto& log = bench.reader().requestLog();
    ASSERT_EQ(94u, log.size());
    bool nt = os != sim::WindowsVersion::Win98;
    sim::Millis startAt = 0;
    for (const std::string& line : bench.lines()) {
      if (line.find("show 102.1001 1") != std::string::npos) {
        startAt = std::stoull(line.substr(0, line.find(' ')));
      }
    }
    EXPECT_EQ(startAt + (nt ? 1000 : 0), log[0].time);
    EXPECT_EQ(log[3].time + 2000, log[4].time) << "the comparison after the pre-update wait";
    sim::Millis endAt = 0;
    for (const std::string& line : bench.lines()) {
      if (line.find("enable 102.1 1") != std::string::npos) {
        endAt = std::stoull(line.substr(0, line.find(' ')));
      }
    }
    EXPECT_EQ(log.back().time + (nt ? 3000 : 0), endAt);
  }
}

}  // namespace
