// The update run's failures and the cases a user can tell apart: what the
// message boxes say, how often the user is asked to replug, what the finish
// dialog and the status line say at the end, whether firmware was written
// and whether the saved configuration block stays.
#include "scenario/update_fixture.h"

namespace {

using platform::UINT;
using sim::RequestKind;
using updatetest::BenchOptions;
using updatetest::boxEvent;
using updatetest::catalogText;
using updatetest::countKind;
using updatetest::countOf;
using updatetest::eventsStarting;
using updatetest::statusEvent;
using updatetest::UpdateBench;

constexpr UINT kSucceeded = 155;
constexpr UINT kNotNeeded = 156;
constexpr UINT kFailed = 162;
constexpr UINT kShutdownFollows = 166;
constexpr UINT kTerminated = 163;

bool contains(const std::string& line, const char* part) {
  return line.find(part) != std::string::npos;
}

// Hooks of a case reach the bench through this pointer, set once it exists.
struct CaseContext {
  UpdateBench* bench = nullptr;
  int counter = 0;
};

struct FailureCase {
  const char* name;
  sim::WindowsVersion os;
  std::function<void(BenchOptions&, CaseContext&)> configure;
  std::function<void(UpdateBench&)> arrange;
  std::vector<std::pair<UINT, UINT>> boxes;
  int replugs;       // status 107 prompts
  int attempts;      // channel setups (driver-parameter requests)
  UINT finishText;
  UINT finalStatus;
  bool readerUpdated;  // the reader holds the image at the end
  bool keyAfter;       // the saved copy's key exists at the end
  std::function<void(UpdateBench&)> checkMore;
};

void noConfigure(BenchOptions&, CaseContext&) {}
void noArrange(UpdateBench&) {}
void nothingMore(UpdateBench&) {}

norbix::EepromBlock ownWithProduct(const UpdateBench& bench, std::uint16_t productId) {
  norbix::EepromBlock block = bench.ownBlock();
  block.setProductId(productId);
  return block;
}

// Attempt 1's comparison fails at its first upload (request 6), so the
// user is asked to replug once.
void failFirstUpload(UpdateBench& bench) {
  sim::FaultPlan plan;
  plan.failRequest = 6;
  bench.reader().armFaults(plan);
}

// The n-th "device plugged" line of the PC (the first is before the run).
bool isPlugLine(const std::string& line) { return contains(line, "device plugged"); }

const std::vector<FailureCase>& cases() {
  static const std::vector<FailureCase> all = {
      {"SavedCopyOfAnotherReader", sim::WindowsVersion::WinXP,
       [](BenchOptions& o, CaseContext&) { o.connectedIds = {{0x2E51, 0x2202}}; },
       [](UpdateBench& b) { b.setSavedCopy(b.ownBlock()); },
       {{109, 114}}, 0, 0, kFailed, kTerminated, false, true,
       [](UpdateBench& b) { EXPECT_TRUE(b.reader().requestLog().empty()); }},
      {"SavedIdsNotOfTheVariant", sim::WindowsVersion::WinXP,
       [](BenchOptions& o, CaseContext&) { o.connectedIds = {{0x2E51, 0x2202}}; },
       [](UpdateBench& b) { b.setSavedCopy(ownWithProduct(b, 0x2202)); },
       {{109, 113}}, 0, 0, kFailed, kTerminated, false, true,
       [](UpdateBench& b) { EXPECT_TRUE(b.reader().requestLog().empty()); }},
      {"ChannelDoesNotOpen", sim::WindowsVersion::WinXP, noConfigure,
       [](UpdateBench& b) {
         b.reader().bindingRule = [] { return sim::DriverBinding::Normal; };
         b.reader().reenumerate();
       },
       {{121, 122}}, 0, 0, kFailed, kTerminated, false, false,
       [](UpdateBench& b) { EXPECT_TRUE(b.reader().requestLog().empty()); }},
      {"EepromUnreadableOnEveryAttempt", sim::WindowsVersion::WinXP, noConfigure,
       [](UpdateBench& b) {
         sim::FaultPlan plan;
         plan.eepromUnreadable = true;
         b.reader().armFaults(plan);
       },
       {{131, 133}}, 0, 5, kFailed, kTerminated, false, false, nothingMore},
      {"EepromReadsOnTheFifthAttempt", sim::WindowsVersion::Win98,
       [](BenchOptions& o, CaseContext& ctx) {
         o.onLine = [&ctx](const std::string& line) {
           if (contains(line, "ReadEeprom") && ++ctx.counter == 4) ctx.bench->reader().clearFaults();
         };
       },
       [](UpdateBench& b) {
         sim::FaultPlan plan;
         plan.eepromUnreadable = true;
         b.reader().armFaults(plan);
       },
       {}, 0, 5, kSucceeded, kShutdownFollows, true, false, nothingMore},
      {"DriverParameterSentAgainAfterAFailure", sim::WindowsVersion::WinXP, noConfigure,
       [](UpdateBench& b) {
         sim::FaultPlan plan;
         plan.failRequest = 1;
         b.reader().armFaults(plan);
       },
       {}, 0, 2, kSucceeded, kShutdownFollows, true, false,
       [](UpdateBench& b) {
         const auto& log = b.reader().requestLog();
         ASSERT_LT(2u, log.size());
         EXPECT_EQ(log[0].time + 1000, log[1].time);
         EXPECT_EQ(RequestKind::GetDescriptor, log[2].kind);
       }},
      // Neither a lost descriptor nor a lost pre-update request is reported;
      // without a descriptor the block is read from the reader.
      {"DescriptorFailureGoesOn", sim::WindowsVersion::Win98, noConfigure,
       [](UpdateBench& b) {
         sim::FaultPlan plan;
         plan.failRequest = 2;
         b.reader().armFaults(plan);
       },
       {}, 0, 1, kSucceeded, kShutdownFollows, true, false,
       [](UpdateBench& b) { EXPECT_TRUE(b.eepromIs(b.expectedEeprom())); }},
      {"PreUpdateFailureGoesOn", sim::WindowsVersion::WinXP, noConfigure,
       [](UpdateBench& b) {
         sim::FaultPlan plan;
         plan.failRequest = 4;
         b.reader().armFaults(plan);
       },
       {}, 0, 1, kSucceeded, kShutdownFollows, true, false, nothingMore},
      {"FirmwareAlreadyCurrent", sim::WindowsVersion::WinXP,
       [](BenchOptions& o, CaseContext&) { o.readerHasImage = true; }, noArrange,
       {{125, 126}}, 0, 1, kNotNeeded, kShutdownFollows, true, false,
       [](UpdateBench& b) {
         EXPECT_EQ(0, countKind(b.reader(), RequestKind::DfuDownload));
         EXPECT_TRUE(b.runs().back().verifiedOrCurrent());
         // The block the run saved stays the reader's own until the delete.
         EXPECT_TRUE(b.eepromIs(b.ownBlock()));
       }},
      {"ComparisonFailsOnEveryAttempt", sim::WindowsVersion::WinXP, noConfigure,
       [](UpdateBench& b) {
         sim::FaultPlan plan;
         plan.failKinds = {RequestKind::DfuUpload};
         b.reader().armFaults(plan);
       },
       {{123, 124}}, 4, 5, kFailed, kTerminated, false, true,
       [](UpdateBench& b) {
         EXPECT_EQ(4, countOf(b.lines(), statusEvent(catalogText(108))));
         EXPECT_EQ(0, countKind(b.reader(), RequestKind::DfuDownload));
       }},
      {"ComparisonFailsFourTimes", sim::WindowsVersion::Win2000,
       [](BenchOptions& o, CaseContext& ctx) {
         o.onLine = [&ctx](const std::string& line) {
           if (contains(line, updatetest::kStatusReconnect) && ++ctx.counter == 4) {
             ctx.bench->reader().clearFaults();
           }
         };
       },
       [](UpdateBench& b) {
         sim::FaultPlan plan;
         plan.failKinds = {RequestKind::DfuUpload};
         b.reader().armFaults(plan);
       },
       {}, 4, 5, kSucceeded, kShutdownFollows, true, false,
       [](UpdateBench& b) {
         // Each replug: 107, then 108, then the next attempt's 161.
         auto statuses = eventsStarting(b.lines(), "text 102.1010 ");
         std::vector<std::string> cycle = {statusEvent(catalogText(107)),
                                           statusEvent(catalogText(108)),
                                           statusEvent(catalogText(161))};
         ASSERT_LE(13u, statuses.size());
         for (int i = 0; i < 4; ++i) {
           EXPECT_EQ(cycle, std::vector<std::string>(statuses.begin() + 1 + 3 * i,
                                                     statuses.begin() + 4 + 3 * i));
         }
         EXPECT_TRUE(b.eepromIs(b.expectedEeprom()));
       }},
      {"DownloadFailsOnEveryAttempt", sim::WindowsVersion::WinXP, noConfigure,
       [](UpdateBench& b) {
         sim::FaultPlan plan;
         plan.failKinds = {RequestKind::DfuDownload};
         b.reader().armFaults(plan);
       },
       {{127, 128}}, 4, 5, kFailed, kTerminated, false, true,
       [](UpdateBench& b) {
         // No replug prompt after the fifth failure: the box comes instead.
         auto all = scenariotest::events(b.lines());
         auto box = std::find(all.begin(), all.end(), boxEvent(127, 128));
         EXPECT_EQ(all.end(), std::find(box, all.end(), statusEvent(catalogText(107))));
       }},
      {"VerificationRequestFails", sim::WindowsVersion::Win98, noConfigure,
       [](UpdateBench& b) {
         sim::FaultPlan plan;
         plan.failRequest = 77;  // the verification's first upload
         b.reader().armFaults(plan);
       },
       {{123, 124}}, 0, 1, kFailed, kTerminated, true, true, nothingMore},
      {"VerificationMismatch", sim::WindowsVersion::WinXP,
       [](BenchOptions& o, CaseContext& ctx) {
         o.onLine = [&ctx](const std::string& line) {
           // After the download's last request the reader's memory goes bad.
           if (contains(line, " device ZANDEF") && ++ctx.counter == 75) {
             ctx.bench->reader().firmware().memory()[0x2000] ^= 0x01;
           }
         };
       },
       noArrange, {{129, 130}}, 0, 1, kFailed, kTerminated, false, true,
       [](UpdateBench& b) { EXPECT_TRUE(b.foreignCopies().empty()); }},
      {"RestoreModeDefaultIdentity", sim::WindowsVersion::WinXP,
       [](BenchOptions& o, CaseContext&) {
         o.readerIntact = false;
         o.readerHasImage = true;
         o.datFile = true;
       },
       [](UpdateBench& b) { b.setSavedCopy(b.ownBlock()); },
       {}, 0, 1, kSucceeded, kShutdownFollows, true, false,
       [](UpdateBench& b) {
         // The block comes from the registry, and the equal firmware is
         // written again.
         EXPECT_EQ(0, countKind(b.reader(), RequestKind::ReadEeprom));
         EXPECT_EQ(17, countKind(b.reader(), RequestKind::DfuDownload));
         EXPECT_TRUE(b.eepromIs(b.expectedEeprom()));
         EXPECT_TRUE(b.foreignCopies().empty());
       }},
      {"RestoreModeOwnIdentityRewritesEqualFirmware", sim::WindowsVersion::Win98,
       [](BenchOptions& o, CaseContext&) { o.readerHasImage = true; },
       [](UpdateBench& b) { b.setSavedCopy(b.ownBlock()); },
       {}, 0, 1, kSucceeded, kShutdownFollows, true, false,
       [](UpdateBench& b) {
         EXPECT_EQ(1, countKind(b.reader(), RequestKind::ReadEeprom));
         EXPECT_EQ(17, countKind(b.reader(), RequestKind::DfuDownload));
       }},
      {"LowerCaseSavedCopyIsNotRestored", sim::WindowsVersion::WinXP,
       [](BenchOptions& o, CaseContext&) { o.readerHasImage = true; },
       [](UpdateBench& b) {
         norbix::EepromBlock copy = b.ownBlock();
         copy[4] = 'a';
         b.setSavedCopy(copy);
       },
       {{125, 126}}, 0, 1, kNotNeeded, kShutdownFollows, true, false,
       [](UpdateBench& b) {
         // This run's block replaced the copy before the comparison.
         const auto& seen = b.requestsSeen();
         ASSERT_LT(4u, seen.size());
         EXPECT_FALSE(seen[2].own) << seen[2].line;
         EXPECT_TRUE(seen[3].own) << seen[3].line;
       }},
      {"ReconnectVerdictStopsTheDownload", sim::WindowsVersion::WinXP,
       [](BenchOptions& o, CaseContext& ctx) {
         o.onLine = [&ctx](const std::string& line) {
           // The reconnect check judges the returning reader unfit.
           if (isPlugLine(line) && ctx.bench->runningApp()) {
             norbix::store(ctx.bench->runningApp()->state().readerJudgedUnfit, 1);
           }
         };
       },
       failFirstUpload, {}, 1, 2, kFailed, kTerminated, false, true,
       [](UpdateBench& b) {
         EXPECT_EQ(0, countKind(b.reader(), RequestKind::DfuDownload));
         EXPECT_EQ(1, countKind(b.reader(), RequestKind::ReadEeprom));
         EXPECT_TRUE(b.foreignCopies().empty());
       }},
      {"SwappedReaderOfAnotherKindIsRefused", sim::WindowsVersion::WinXP,
       [](BenchOptions& o, CaseContext& ctx) {
         o.onLine = [&ctx](const std::string& line) {
           if (!contains(line, "device unplugged")) return;
           // The user plugs in a reader of another variant.
           auto& eeprom = ctx.bench->reader().firmware().eeprom();
           eeprom[26] = 0x3A;
           eeprom[27] = 0x1C;
           eeprom[28] = 0x01;
           eeprom[29] = 0x11;
         };
       },
       failFirstUpload, {{109, 110}}, 1, 2, kFailed, kTerminated, false, true,
       [](UpdateBench& b) {
         EXPECT_EQ(0, countKind(b.reader(), RequestKind::DfuDownload));
         EXPECT_EQ(1, countKind(b.reader(), RequestKind::ReadEeprom));
         EXPECT_TRUE(b.foreignCopies().empty());
       }},
      {"FiveOpensWhileJudgedUnfit", sim::WindowsVersion::Win98,
       [](BenchOptions& o, CaseContext& ctx) {
         o.onLine = [&ctx](const std::string& line) {
           if (!isPlugLine(line) || ctx.bench->runningApp() == nullptr) return;
           // State 4 between the end of the replug wait and the opens.
           UpdateBench* bench = ctx.bench;
           bench->pc().scheduler().addTimer(bench->pc().scheduler().now() + 400, [bench] {
             if (bench->runningApp()) {
               norbix::store(bench->runningApp()->state().updateState, norbix::kStateNotAReader);
             }
           });
         };
       },
       failFirstUpload, {}, 1, 1, kFailed, kTerminated, false, true,
       [](UpdateBench& b) { EXPECT_EQ(0, countKind(b.reader(), RequestKind::DfuDownload)); }},
  };
  return all;
}

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class UpdateFailures : public testing::TestWithParam<FailureCase> {};

TEST_P(UpdateFailures, ShowWhatTheUserSees) {
  const FailureCase& c = GetParam();
  CaseContext ctx;
  BenchOptions options;
  options.os = c.os;
  c.configure(options, ctx);
  UpdateBench bench(options);
  ctx.bench = &bench;
  c.arrange(bench);
  ASSERT_EQ(sim::RunEnd::Finished, bench.runUpdater());
  const auto& lines = bench.lines();

  std::vector<std::string> boxes;
  for (auto [caption, text] : c.boxes) boxes.push_back(boxEvent(caption, text));
  EXPECT_EQ(boxes, eventsStarting(lines, "msgbox"));
  EXPECT_EQ(c.replugs, countOf(lines, statusEvent(catalogText(107))));
  EXPECT_EQ(c.attempts, countKind(bench.reader(), RequestKind::DriverParameter));
  EXPECT_EQ(std::vector<std::string>{"text 133.1014 \"" + catalogText(c.finishText) + "\""},
            eventsStarting(lines, "text 133.1014 "));
  auto statuses = eventsStarting(lines, "text 102.1010 ");
  ASSERT_FALSE(statuses.empty());
  EXPECT_EQ(statusEvent(catalogText(c.finalStatus)), statuses.back());
  EXPECT_EQ(c.readerUpdated, bench.readerHoldsImage());
  EXPECT_EQ(c.keyAfter, bench.savedKeyExists());
  // Every way through ends the program after the finish dialog.
  EXPECT_EQ(1, countOf(lines, "dialog 102 end 1"));
  c.checkMore(bench);
}

INSTANTIATE_TEST_SUITE_P(
    Table, UpdateFailures, testing::ValuesIn(cases()),
    [](const testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

// Unplugging the reader while the finish dialog is open closes it: no
// power-off, and the final status is 158 instead of 166.
TEST(UpdateFinish, UnplugClosesTheFinishDialog) {
  CaseContext ctx;
  BenchOptions options;
  options.finishAnswer = "none";  // no scripted answer: the user unplugs first
  options.onLine = [&ctx](const std::string& line) {
    if (contains(line, "dialog 133 open")) {
      ctx.bench->reader().unplugAt(ctx.bench->pc().scheduler().now() + 500);
    }
  };
  UpdateBench bench(options);
  ctx.bench = &bench;
  ASSERT_EQ(sim::RunEnd::Finished, bench.runUpdater());
  auto statuses = eventsStarting(bench.lines(), "text 102.1010 ");
  ASSERT_FALSE(statuses.empty());
  EXPECT_EQ(statusEvent(catalogText(158)), statuses.back());
  EXPECT_EQ(0, bench.pc().powerOffRequests);
  EXPECT_TRUE(bench.readerHoldsImage());
}

}  // namespace

namespace {

// Closing the main dialog while the worker waits for the replug abandons
// the run; the saved copy stays, and the next start restores it.
TEST(UpdateAbandoned, CloseDuringTheReplugWaitThenStartAgain) {
  CaseContext ctx;
  BenchOptions options;
  options.datFile = true;
  options.onLine = [&ctx](const std::string& line) {
    if (ctx.counter == 0 && contains(line, updatetest::kStatusRemove)) {
      ctx.counter = 1;
      auto& actions = ctx.bench->pc().user().script().actions;
      actions.push_back({ctx.bench->pc().scheduler().now() + 500, "close"});
    }
  };
  options.replugWhenAsked = false;
  UpdateBench bench(options);
  ctx.bench = &bench;
  // The download is cut at block 1: the reader shows the default identity.
  sim::FaultPlan plan;
  plan.failRequest = 28;
  bench.reader().armFaults(plan);
  ASSERT_EQ(sim::RunEnd::Finished, bench.runUpdater());
  EXPECT_EQ(std::vector<std::string>{boxEvent(103, 112)}, eventsStarting(bench.lines(), "msgbox"));
  ASSERT_FALSE(bench.runs().back().verifiedOrCurrent());
  ASSERT_TRUE(bench.savedCopy().has_value());
  EXPECT_TRUE(bench.foreignCopies().empty());

  // The user replugs the reader and starts the updater again.
  bench.reader().clearFaults();
  bench.reader().unplug();
  bench.reader().plug();
  ASSERT_TRUE(bench.reader().showsDefaultIdentity());
  ASSERT_EQ(sim::RunEnd::Finished, bench.runUpdater());
  EXPECT_TRUE(bench.runs().back().verifiedOrCurrent());
  EXPECT_EQ(updatetest::kReaderIdentity, bench.readerIdentity());
  EXPECT_TRUE(bench.eepromIs(bench.expectedEeprom()));
  EXPECT_FALSE(bench.savedKeyExists());
  EXPECT_TRUE(bench.foreignCopies().empty());
}

}  // namespace
