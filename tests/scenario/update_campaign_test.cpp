// The configuration-block campaign: for every request of a full update run,
// that request fails, or the reader is unplugged at it, or the PC loses its
// power at it. The user then does what a user would: replugs the reader when
// asked, presses Shutdown in the finish dialog, and after a power loss or a
// run that did not verify plugs the reader in again if it is out and starts
// the updater again on the same PC. Every scenario must end with a verified
// run that left the reader its own identity text, and from the first save
// until then the saved copy must exist and be the reader's own block.
//
// No scenario may end stuck: the waits for the user here are the replug
// waits and the finish dialog, and the scripted user always ends both.
#include <chrono>
#include <cstdio>

#include "scenario/update_fixture.h"

namespace {

using updatetest::BenchOptions;
using updatetest::UpdateBench;

enum class Fault { RequestFails, UnplugAtRequest, PowerLossAtRequest };

const char* faultName(Fault f) {
  switch (f) {
    case Fault::RequestFails: return "RequestFails";
    case Fault::UnplugAtRequest: return "UnplugAtRequest";
    case Fault::PowerLossAtRequest: return "PowerLossAtRequest";
  }
  return "?";
}

struct CampaignCase {
  sim::WindowsVersion os;
  const char* osName;
  Fault fault;
  bool datFile;
};

void PrintTo(const CampaignCase& c, std::ostream* os) {
  *os << c.osName << faultName(c.fault) << (c.datFile ? "WithDatFile" : "");
}

// The requests of a full run: setup (1-2), block (3), pre-update (4),
// comparison (5-23), download (24-75, blocks 0 to 16), verification (76-94).
constexpr int kFullRunRequests = 94;
constexpr int kMaxRuns = 4;

sim::FaultPlan planFor(Fault fault, int n) {
  sim::FaultPlan plan;
  switch (fault) {
    case Fault::RequestFails: plan.failRequest = n; break;
    case Fault::UnplugAtRequest: plan.unplugAtRequest = n; break;
    case Fault::PowerLossAtRequest: plan.powerLossAtRequest = n; break;
  }
  return plan;
}

struct Totals {
  int scenarios = 0;
  int runs = 0;
  sim::Millis virtualMs = 0;
};

// One scenario; failures name the request index and the run.
void runScenario(const CampaignCase& c, int n, Totals& totals) {
  BenchOptions options;
  options.os = c.os;
  options.datFile = c.datFile;
  UpdateBench bench(options);
  bench.reader().armFaults(planFor(c.fault, n));
  bool everSaved = false;
  bool done = false;
  for (int run = 1; run <= kMaxRuns && !done; ++run) {
    SCOPED_TRACE("request " + std::to_string(n) + ", run " + std::to_string(run));
    sim::RunEnd end = bench.runUpdater();
    ++totals.runs;
    ASSERT_EQ(sim::RunEnd::Finished, end) << "the scenario got stuck";
    ASSERT_TRUE(bench.foreignCopies().empty()) << bench.foreignCopies().front();
    for (const auto& seen : bench.requestsSeen()) everSaved = everSaved || seen.saved;
    const updatetest::RunRecord& record = bench.runs().back();
    done = record.verifiedOrCurrent();
    if (!done && everSaved) {
      ASSERT_TRUE(bench.savedCopy().has_value()) << "the saved copy went missing";
    }
    // What the user does before trying again.
    bench.reader().clearFaults();
    if (!bench.reader().plugged()) bench.reader().plug();
  }
  ASSERT_TRUE(done) << "no run verified within " << kMaxRuns << " runs";
  EXPECT_EQ(updatetest::kReaderIdentity, bench.readerIdentity()) << "request " << n;
  EXPECT_TRUE(bench.readerHoldsImage()) << "request " << n;
  if (bench.runs().back().updateSucceeded != 0) {
    EXPECT_TRUE(bench.eepromIs(bench.expectedEeprom())) << "request " << n;
  }
  EXPECT_FALSE(bench.savedKeyExists()) << "request " << n;
  ++totals.scenarios;
  totals.virtualMs += bench.pc().scheduler().now();
}

class ConfigurationBlockCampaign : public testing::TestWithParam<CampaignCase> {};

TEST_P(ConfigurationBlockCampaign, EveryRequestIndex) {
  const CampaignCase& c = GetParam();
  Totals totals;
  auto started = std::chrono::steady_clock::now();
  for (int n = 1; n <= kFullRunRequests; ++n) {
    runScenario(c, n, totals);
    if (HasFatalFailure()) return;
  }
  double realSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf("campaign %s %s%s: %d scenarios, %d updater runs, %.1f s virtual, %.2f s real\n",
              c.osName, faultName(c.fault), c.datFile ? " with dat file" : "", totals.scenarios,
              totals.runs, static_cast<double>(totals.virtualMs) / 1000.0, realSeconds);
}

std::vector<CampaignCase> campaignCases() {
  std::vector<CampaignCase> cases;
  const std::pair<sim::WindowsVersion, const char*> systems[] = {
      {sim::WindowsVersion::Win98, "Win98"}, {sim::WindowsVersion::WinXP, "WinXP"}};
  for (const auto& [os, name] : systems) {
    for (Fault f : {Fault::RequestFails, Fault::UnplugAtRequest, Fault::PowerLossAtRequest}) {
      for (bool dat : {false, true}) cases.push_back({os, name, f, dat});
    }
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Faults, ConfigurationBlockCampaign, testing::ValuesIn(campaignCases()),
                         [](const testing::TestParamInfo<CampaignCase>& info) {
                           const CampaignCase& c = info.param;
                           return std::string(c.osName) + faultName(c.fault) +
                                  (c.datFile ? "WithDatFile" : "");
                         });

}  // namespace
