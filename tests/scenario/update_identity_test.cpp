// A download cut short makes the reader come back with the default
// identity. The run has read the reader's own block by then; its next
// attempt must write that block's identity text, not the dat file's, and
// must leave the saved copy alone.
#include "scenario/update_fixture.h"

namespace {

using sim::RequestKind;
using updatetest::BenchOptions;
using updatetest::UpdateBench;

struct CutCase {
  const char* name;
  sim::WindowsVersion os;
  sim::FaultPlan plan;
};

void PrintTo(const CutCase& c, std::ostream* os) { *os << c.name; }

// Request 28 is the download of block 1: block 0 is in the reader already.
sim::FaultPlan failAt(int n) {
  sim::FaultPlan plan;
  plan.failRequest = n;
  return plan;
}
sim::FaultPlan unplugAt(int n) {
  sim::FaultPlan plan;
  plan.unplugAtRequest = n;
  return plan;
}

class UpdateIdentity : public testing::TestWithParam<CutCase> {};

TEST_P(UpdateIdentity, SecondAttemptKeepsTheReadersOwnBlock) {
  const CutCase& c = GetParam();
  BenchOptions options;
  options.os = c.os;
  options.datFile = true;  // all 256 values, another identity text
  UpdateBench bench(options);
  bench.reader().armFaults(c.plan);
  ASSERT_EQ(sim::RunEnd::Finished, bench.runUpdater());

  // The cut left the default identity; attempt 2 did not read the block.
  ASSERT_EQ(1, updatetest::countKind(bench.reader(), RequestKind::ReadEeprom));
  ASSERT_EQ(2, updatetest::countKind(bench.reader(), RequestKind::DriverParameter));
  EXPECT_TRUE(bench.runs().back().verifiedOrCurrent());
  EXPECT_TRUE(bench.readerHoldsImage());
  EXPECT_EQ(updatetest::kReaderIdentity, bench.readerIdentity());
  EXPECT_TRUE(bench.eepromIs(bench.expectedEeprom()));
  EXPECT_TRUE(bench.foreignCopies().empty()) << bench.foreignCopies().front();
  // The copy stayed in place from the first save to the verification.
  const auto& seen = bench.requestsSeen();
  bool savedOnce = false;
  for (const auto& r : seen) {
    savedOnce = savedOnce || r.saved;
    if (savedOnce) EXPECT_TRUE(r.saved && r.own) << r.line;
  }
  EXPECT_FALSE(bench.savedKeyExists());
}

INSTANTIATE_TEST_SUITE_P(
    Cuts, UpdateIdentity,
    testing::Values(CutCase{"FailedBlockOn98", sim::WindowsVersion::Win98, failAt(28)},
                    CutCase{"FailedBlockOnXP", sim::WindowsVersion::WinXP, failAt(28)},
                    CutCase{"UnpluggedAtLastBlockOnXP", sim::WindowsVersion::WinXP, unplugAt(70)},
                    CutCase{"FailedEndOfTransferOn2000", sim::WindowsVersion::Win2000,
                            failAt(73)}),
    [](const testing::TestParamInfo<CutCase>& info) { return std::string(info.param.name); });

}  // namespace
