// The simulated card reader: its DFU 1.1 state machine, what a download
// does to its firmware, configuration block and identity, plug and unplug
// as the PC sees them, and the fault plans.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "device/channel.h"
#include "device/scsi_exchange.h"
#include "engine/block_transfer.h"
#include "engine/reader_commands.h"
#include "platform/devio.h"
#include "sim/filesystem.h"
#include "sim/transcript.h"
#include "sim_reader_fixture.h"

namespace {

using namespace platform;
using namespace norbix;
using readertest::makeImage;
using readertest::ProgramRun;
using readertest::readerFor;
using sim::RequestKind;
using testsupport::TestPc;

// A reader whose binding a test switches, with every device-change event
// and transcript line kept.
struct Bench {
  explicit Bench(sim::WindowsVersion os = sim::WindowsVersion::WinXP)
      : pc(readertest::pcWith(os)),
        readerImage(makeImage(11, "2.05", 0x2E51, 0x2201)),
        newImage(makeImage(12, "3.10", 0x1C3A, 0x1101)),
        reader(pc.pc(), readerFor(readerImage)) {
    reader.bindingRule = [this] { return binding; };
    pc->deviceChangeListeners.push_back(
        [this](UINT event, const std::string& device) { events.emplace_back(event, device); });
  }
  void run(const std::function<void(Platform&, ProgramRun&)>& body) {
    readertest::runWithState(pc, body);
  }
  bool transcriptHas(const std::string& text) {
    for (const auto& line : pc.pc().transcript().lines()) {
      if (line.find(text) != std::string::npos) return true;
    }
    return false;
  }
  TestPc pc;
  std::vector<std::uint8_t> readerImage, newImage;
  sim::DriverBinding binding = sim::DriverBinding::UpdateDriver;
  sim::CardReader reader;
  std::vector<std::pair<UINT, std::string>> events;
};

// A control request with the given setup packet; its data stage is zero.
int control(Kernel& kernel, const SharedState& state, std::uint8_t type,
            std::uint8_t request, std::uint16_t value, std::uint16_t length) {
  ControlRequest r;
  r.setSetup(type, request, value, 0, length);
  return sendControlRequest(kernel, state, (type & 0x80) != 0,
                            static_cast<std::uint32_t>(8 + length), r.bytes);
}

std::uint8_t reportedState(Kernel& kernel, const SharedState& state) {
  std::uint8_t status[kDfuStatusSize] = {};
  EXPECT_EQ(dfuGetStatus(kernel, state, status), 1);
  return status[4];
}

TEST(SimReaderDfu, UpdateWalksTheDfuStatesAndReportsBusyThenIdle) {
  Bench bench;
  bench.reader.plug();
  std::vector<std::uint8_t> reported;
  std::uint8_t firstStatus[kDfuStatusSize] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  bench.run([&](Platform& p, ProgramRun& r) {
    ASSERT_TRUE(readertest::openUpdateChannel(p, r.state));
    Kernel& k = p.kernel;
    std::uint8_t block[4096];
    ASSERT_EQ(dfuUpload(k, r.state, 0, 4096, block), 1);
    ASSERT_EQ(dfuDownload(k, r.state, 0, 4096, bench.newImage.data()), 1);
    ASSERT_EQ(dfuGetStatus(k, r.state, firstStatus), 1);
    reported.push_back(firstStatus[4]);
    reported.push_back(reportedState(k, r.state));
    for (int b = 1; b < 16; ++b) {
      ASSERT_EQ(dfuDownload(k, r.state, static_cast<std::uint8_t>(b), b == 15 ? 4094 : 4096,
                            bench.newImage.data() + b * 4096), 1);
      reportedState(k, r.state);
      reportedState(k, r.state);
    }
    ASSERT_EQ(dfuDownload(k, r.state, 16, 0, nullptr), 1);
    reported.push_back(reportedState(k, r.state));
    reported.push_back(reportedState(k, r.state));
  });
  EXPECT_EQ(reported, (std::vector<std::uint8_t>{DFU_STATE_DNBUSY, DFU_STATE_DNLOAD_IDLE,
                                                 DFU_STATE_MANIFEST, DFU_STATE_DFU_IDLE}));
  // bStatus OK and a poll timeout of 0.
  EXPECT_EQ(std::vector<std::uint8_t>(firstStatus, firstStatus + 4),
            (std::vector<std::uint8_t>{0, 0, 0, 0}));
  std::vector<int> states;
  for (const auto& rec : bench.reader.requestLog()) states.push_back(rec.dfuState);
  // Upload, then the download that follows it without an ABORT.
  ASSERT_GE(states.size(), 4u);
  EXPECT_EQ(states[0], DFU_STATE_UPLOAD_IDLE);
  EXPECT_EQ(states[1], DFU_STATE_DNLOAD_SYNC);
  EXPECT_EQ(states[2], DFU_STATE_DNLOAD_SYNC);
  EXPECT_EQ(states[3], DFU_STATE_DNLOAD_IDLE);
  EXPECT_EQ(states.back(), DFU_STATE_DFU_IDLE);
}

struct DfuStep {
  std::uint8_t type, request;
  std::uint16_t value, length;
  int accepted;
};

struct DfuSequence {
  const char* name;
  std::vector<DfuStep> steps;
  std::uint8_t finalState;
  std::uint8_t finalStatus;
};

void PrintTo(const DfuSequence& s, std::ostream* os) { *os << s.name; }

constexpr DfuStep kGetStatus{0xA1, DFU_GETSTATUS, 0, 6, 1};
constexpr DfuStep kDownload0{0x21, DFU_DNLOAD, 0, 4096, 1};
constexpr DfuStep kUpload0{0xA1, DFU_UPLOAD, 0, 4096, 1};

class DfuSequences : public ::testing::TestWithParam<DfuSequence> {};

TEST_P(DfuSequences, EndInTheirState) {
  const DfuSequence& s = GetParam();
  Bench bench;
  bench.reader.plug();
  std::vector<int> results;
  std::uint8_t status[kDfuStatusSize] = {};
  bench.run([&](Platform& p, ProgramRun& r) {
    ASSERT_TRUE(readertest::openUpdateChannel(p, r.state));
    for (const DfuStep& step : s.steps) {
      results.push_back(control(p.kernel, r.state, step.type, step.request,
                                step.value, step.length));
    }
    dfuGetStatus(p.kernel, r.state, status);
  });
  for (std::size_t i = 0; i < s.steps.size(); ++i) {
    EXPECT_EQ(results[i], s.steps[i].accepted) << "step " << i;
  }
  EXPECT_EQ(bench.reader.firmware().state(), s.finalState);
  EXPECT_EQ(status[0], s.finalStatus);
}

INSTANTIATE_TEST_SUITE_P(
    Stalls, DfuSequences,
    ::testing::Values(
        DfuSequence{"zero_length_download_in_idle", {{0x21, DFU_DNLOAD, 0, 0, 0}},
                    DFU_STATE_ERROR, DFU_STATUS_ERR_STALLEDPKT},
        DfuSequence{"download_starting_at_block_1", {{0x21, DFU_DNLOAD, 1, 4096, 0}},
                    DFU_STATE_ERROR, DFU_STATUS_ERR_ADDRESS},
        DfuSequence{"detach_in_dfu_mode", {{0x21, DFU_DETACH, 1000, 0, 0}},
                    DFU_STATE_ERROR, DFU_STATUS_ERR_STALLEDPKT},
        DfuSequence{"upload_during_a_download",
                    {kDownload0, kGetStatus, kGetStatus, {0xA1, DFU_UPLOAD, 1, 4096, 0}},
                    DFU_STATE_ERROR, DFU_STATUS_ERR_STALLEDPKT},
        DfuSequence{"download_before_the_status_request",
                    {kDownload0, {0x21, DFU_DNLOAD, 1, 4096, 0}},
                    DFU_STATE_ERROR, DFU_STATUS_ERR_STALLEDPKT},
        DfuSequence{"block_skipped", {kDownload0, kGetStatus, kGetStatus,
                                      {0x21, DFU_DNLOAD, 2, 4096, 0}},
                    DFU_STATE_ERROR, DFU_STATUS_ERR_ADDRESS},
        DfuSequence{"end_of_an_incomplete_download",
                    {kDownload0, kGetStatus, kGetStatus, {0x21, DFU_DNLOAD, 1, 0, 0}},
                    DFU_STATE_ERROR, DFU_STATUS_ERR_NOTDONE},
        DfuSequence{"eeprom_read_during_a_download",
                    {kDownload0, kGetStatus, kGetStatus, {0xC0, 0x46, 0, 256, 0}},
                    DFU_STATE_ERROR, DFU_STATUS_ERR_STALLEDPKT},
        DfuSequence{"unknown_vendor_request", {{0xC0, 0x47, 0, 8, 0}},
                    DFU_STATE_ERROR, DFU_STATUS_ERR_STALLEDPKT},
        DfuSequence{"upload_of_no_bytes", {{0xA1, DFU_UPLOAD, 0, 0, 0}},
                    DFU_STATE_ERROR, DFU_STATUS_ERR_STALLEDPKT},
        DfuSequence{"error_cleared_by_clrstatus",
                    {{0x21, DFU_DNLOAD, 0, 0, 0}, {0xA1, DFU_UPLOAD, 0, 4096, 0},
                     {0x21, DFU_CLRSTATUS, 0, 0, 1}},
                    DFU_STATE_DFU_IDLE, DFU_STATUS_OK}),
    [](const ::testing::TestParamInfo<DfuSequence>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Accepted, DfuSequences,
    ::testing::Values(
        DfuSequence{"download_after_an_upload_without_abort",
                    {kUpload0, kDownload0, kGetStatus, kGetStatus}, DFU_STATE_DNLOAD_IDLE,
                    DFU_STATUS_OK},
        DfuSequence{"vendor_requests_in_idle",
                    {{0xC0, 0x46, 0, 256, 1}, {0x40, 0x00, 0xFFFF, 0, 1}},
                    DFU_STATE_DFU_IDLE, DFU_STATUS_OK},
        DfuSequence{"eeprom_read_after_an_upload", {kUpload0, {0xC0, 0x46, 0, 256, 1}},
                    DFU_STATE_UPLOAD_IDLE, DFU_STATUS_OK},
        DfuSequence{"state_request_while_a_block_waits",
                    {kDownload0, {0xA1, DFU_GETSTATE, 0, 1, 1}}, DFU_STATE_DNLOAD_SYNC,
                    DFU_STATUS_OK},
        DfuSequence{"abort_ends_an_upload", {kUpload0, {0x21, DFU_ABORT, 0, 0, 1}},
                    DFU_STATE_DFU_IDLE, DFU_STATUS_OK},
        DfuSequence{"short_upload_past_the_end_returns_to_idle",
                    {{0xA1, DFU_UPLOAD, 16, 4096, 1}}, DFU_STATE_DFU_IDLE, DFU_STATUS_OK}),
    [](const ::testing::TestParamInfo<DfuSequence>& info) { return info.param.name; });

TEST(SimReaderFirmware, FullDownloadKeepsTheReadersOwnBytesAndTakesTheConfigRegion) {
  Bench bench;
  bench.reader.plug();
  const std::vector<std::uint8_t> before = bench.reader.firmware().memory();
  const auto eepromBefore = bench.reader.firmware().eeprom();
  int result = -1;
  std::uint8_t descriptor[kDeviceDescriptorSize] = {};
  bench.run([&](Platform& p, ProgramRun& r) {
    ASSERT_TRUE(readertest::openUpdateChannel(p, r.state));
    result = downloadFirmware(p, r.state, r.progress, bench.newImage.data());
    getDeviceDescriptor(p.kernel, r.state, descriptor);
  });
  ASSERT_EQ(result, kDownloadDone);
  const auto& memory = bench.reader.firmware().memory();
  for (std::size_t i = 0; i < memory.size(); ++i) {
    bool own = readertest::inRange(i, 0x400, 0x700) || readertest::inRange(i, 0xFE80, 0xFF80);
    ASSERT_EQ(memory[i], own ? before[i] : bench.newImage[i]) << i;
  }
  EXPECT_EQ(std::memcmp(bench.reader.firmware().eeprom().data(),
                        bench.newImage.data() + 0xFE80, 256), 0);
  EXPECT_NE(bench.reader.firmware().eeprom(), eepromBefore);
  EXPECT_TRUE(bench.reader.firmware().intact());
  // The same enumeration still shows the old identity ...
  EXPECT_EQ(descriptor[8] | (descriptor[9] << 8), 0x2E51);
  // ... the next one the new identity and version, with the drive letters.
  bench.binding = sim::DriverBinding::Normal;
  bench.reader.reenumerate();
  EXPECT_EQ(bench.reader.vendorId(), 0x1C3A);
  EXPECT_EQ(bench.reader.productId(), 0x1101);
  EXPECT_EQ(bench.reader.bcdDevice(), 0x0310);
  EXPECT_EQ(bench.reader.driveLetters(), (std::vector<char>{'F', 'G', 'H', 'I'}));
}

TEST(SimReaderFirmware, InterruptedDownloadLeavesTheDefaultIdentityAndNoLetters) {
  Bench bench;
  bench.reader.plug();
  bench.run([&](Platform& p, ProgramRun& r) {
    ASSERT_TRUE(readertest::openUpdateChannel(p, r.state));
    std::uint8_t status[kDfuStatusSize];
    for (int b = 0; b < 6; ++b) {
      ASSERT_EQ(dfuDownload(p.kernel, r.state, static_cast<std::uint8_t>(b), 4096,
                            bench.newImage.data() + b * 4096), 1);
      dfuGetStatus(p.kernel, r.state, status);
      dfuGetStatus(p.kernel, r.state, status);
    }
  });
  bench.reader.unplug();
  bench.binding = sim::DriverBinding::Normal;
  bench.reader.plug();
  EXPECT_TRUE(bench.reader.showsDefaultIdentity());
  EXPECT_EQ(bench.reader.vendorId(), 0x6F29);
  EXPECT_EQ(bench.reader.productId(), 0x6601);
  EXPECT_TRUE(bench.reader.driveLetters().empty());
  EXPECT_EQ(bench.pc->files().driveType('F'), DRIVE_NO_ROOT_DIR);
  // Under the update driver it is reachable, with the default identity.
  bench.binding = sim::DriverBinding::UpdateDriver;
  bench.reader.reenumerate();
  std::uint8_t descriptor[kDeviceDescriptorSize] = {};
  bench.run([&](Platform& p, ProgramRun& r) {
    ASSERT_TRUE(readertest::openUpdateChannel(p, r.state));
    ASSERT_EQ(getDeviceDescriptor(p.kernel, r.state, descriptor), 1);
  });
  EXPECT_EQ(descriptor[8] | (descriptor[9] << 8), 0x6F29);
  EXPECT_EQ(descriptor[10] | (descriptor[11] << 8), 0x6601);
}

// --- On the PC --------------------------------------------------------------

TEST(SimReaderPc, PlugAndUnplugShowLettersTranscriptAndNotifications) {
  Bench bench;
  bench.binding = sim::DriverBinding::Normal;
  bench.reader.plug();
  EXPECT_EQ(bench.pc->files().driveType('F'), DRIVE_REMOVABLE);
  EXPECT_EQ(bench.pc->files().driveType('I'), DRIVE_REMOVABLE);
  EXPECT_TRUE(bench.transcriptHas("device plugged USB\\VID_2E51&PID_2201\\00000001"));
  bench.reader.unplug();
  EXPECT_EQ(bench.pc->files().driveType('F'), DRIVE_NO_ROOT_DIR);
  EXPECT_TRUE(bench.transcriptHas("device unplugged USB\\VID_2E51&PID_2201\\00000001"));
  const std::string device = "USB\\VID_2E51&PID_2201\\00000001";
  EXPECT_EQ(bench.events, (std::vector<std::pair<UINT, std::string>>{
                              {sim::DBT_DEVICEARRIVAL, device},
                              {sim::DBT_DEVNODES_CHANGED, ""},
                              {sim::DBT_DEVICEREMOVECOMPLETE, device},
                              {sim::DBT_DEVNODES_CHANGED, ""}}));
}

TEST(SimReaderPc, PlugAndUnplugAtVirtualTimes) {
  Bench bench;
  bench.binding = sim::DriverBinding::Normal;
  bench.reader.plugAt(1000);
  bench.reader.unplugAt(3000);
  std::vector<UINT> types;
  bench.run([&](Platform& p, ProgramRun&) {
    for (int i = 0; i < 4; ++i) {
      types.push_back(p.kernel.getDriveTypeA("F:\\"));
      p.kernel.sleep(1000);
    }
  });
  EXPECT_EQ(types, (std::vector<UINT>{DRIVE_NO_ROOT_DIR, DRIVE_REMOVABLE, DRIVE_REMOVABLE,
                                      DRIVE_NO_ROOT_DIR}));
}

TEST(SimReaderPc, UpdateDriverDeviceExistsOnlyWhileBound) {
  Bench bench;
  bench.binding = sim::DriverBinding::Normal;
  bench.reader.plug();
  int opened[2] = {-1, -1};
  bench.run([&](Platform& p, ProgramRun& r) {
    opened[0] = openUpdateDriver(p.kernel, r.state.readerHandle);
  });
  bench.binding = sim::DriverBinding::UpdateDriver;
  bench.reader.reenumerate();
  bench.run([&](Platform& p, ProgramRun& r) {
    opened[1] = openUpdateDriver(p.kernel, r.state.readerHandle);
  });
  EXPECT_EQ(opened[0], 0);
  EXPECT_EQ(opened[1], 1);
  EXPECT_TRUE(bench.reader.driveLetters().empty());
}

TEST(SimReaderPc, DefaultBindingFollowsTheUpdateInf) {
  TestPc pc;
  sim::CardReader reader(pc.pc(), readerFor(makeImage(3)));
  reader.plug();
  EXPECT_EQ(reader.binding(), sim::DriverBinding::Normal);
  pc->files().writeFile("C:\\WINDOWS\\INF\\zandef.inf", "[Version]\r\n");
  reader.reenumerate();
  EXPECT_EQ(reader.binding(), sim::DriverBinding::UpdateDriver);
}

TEST(SimReaderPc, PhysicalDriveNumbersFollowTheLayout) {
  struct Case {
    sim::PhysicalDriveLayout layout;
    std::uint8_t ordinal;  // as discovery would pass it
    bool reachesReader;
  };
  const Case cases[] = {
      {sim::PhysicalDriveLayout::EveryLetter, 3, true},   // C, D, F
      {sim::PhysicalDriveLayout::EveryLetter, 2, false},  // D: the network drive
      {sim::PhysicalDriveLayout::DisksOnly, 2, true},     // C, F
      {sim::PhysicalDriveLayout::DisksOnly, 3, false},    // G: the reader's 2nd slot
  };
  for (const Case& c : cases) {
    sim::PcConfig config;
    config.drives = {{'C', DRIVE_FIXED}, {'D', DRIVE_REMOTE}};
    TestPc pc(config);
    sim::ReaderConfig reader = readerFor(makeImage(3));
    reader.layout = c.layout;
    sim::CardReader r(pc.pc(), reader);
    r.bindingRule = [] { return sim::DriverBinding::Normal; };
    r.plug();
    std::uint8_t answer[36] = {};
    readertest::runWithState(pc, [&](Platform& p, ProgramRun& run) {
      ChannelVariable channel{0};
      if (!openPhysicalDrive(p.kernel, channel, c.ordinal)) return;
      std::uint32_t error = 0;
      exchangeScsiCommand(p.kernel, run.state, channel.load(), kScsiInquiry, &error, 36, answer);
      closeChannel(p.kernel, channel.load());
    });
    const std::string product(reinterpret_cast<char*>(answer + 16), 14);
    EXPECT_EQ(product == "CF Card Reader", c.reachesReader) << product;
  }
}

TEST(SimReaderPc, PhysicalDriveOpenRules) {
  struct Case {
    bool administrator;
    bool secondOpen;
    DWORD expectedError;
  };
  const Case cases[] = {
      {true, false, ERROR_SUCCESS},
      {true, true, ERROR_SHARING_VIOLATION},
      {false, false, ERROR_ACCESS_DENIED},
  };
  for (const Case& c : cases) {
    sim::PcConfig config;
    config.administrator = c.administrator;
    TestPc pc(config);
    sim::CardReader reader(pc.pc(), readerFor(makeImage(3)));
    reader.bindingRule = [] { return sim::DriverBinding::Normal; };
    reader.plug();
    DWORD error = 0xFFFF;
    readertest::runWithState(pc, [&](Platform& p, ProgramRun&) {
      ChannelVariable first{0}, second{0};
      int ok = openPhysicalDrive(p.kernel, first, 2);
      if (c.secondOpen) ok = openPhysicalDrive(p.kernel, second, 2);
      error = ok ? ERROR_SUCCESS : p.kernel.getLastError();
      closeChannel(p.kernel, first.load());
      // Closing the first handle frees the disk again.
      if (c.secondOpen) {
        EXPECT_EQ(openPhysicalDrive(p.kernel, second, 2), 1);
      }
    });
    EXPECT_EQ(error, c.expectedError);
  }
}

TEST(SimReaderPc, UtilityVxdLoadsOnlyOnWindows98WithItsFile) {
  struct Case {
    sim::WindowsVersion os;
    bool file;
    int opened;
  };
  const Case cases[] = {
      {sim::WindowsVersion::Win98, true, 1},
      {sim::WindowsVersion::Win98, false, 0},
      {sim::WindowsVersion::WinXP, true, 0},
  };
  for (const Case& c : cases) {
    TestPc pc(readertest::pcWith(c.os));
    sim::CardReader reader(pc.pc(), readerFor(makeImage(3)));
    if (c.file) pc->files().writeFile("C:\\NORBIX\\ZANUTL1.VXD", "vxd");
    int opened = -1;
    readertest::runWithState(pc, [&](Platform& p, ProgramRun& r) {
      opened = openUtilityVxd(p.kernel, r.state.readerHandle);
    });
    EXPECT_EQ(opened, c.opened);
  }
}

// --- Fault plans ----------------------------------------------------------------

TEST(SimReaderFaults, NthRequestCountsOverEveryChannelSinceArming) {
  Bench bench;
  bench.binding = sim::DriverBinding::Normal;
  bench.reader.plug();
  bench.run([&](Platform&, ProgramRun&) {});  // requests before arming do not count
  sim::FaultPlan plan;
  plan.failRequest = 2;
  std::vector<int> results;
  DWORD error = 0;
  bench.run([&](Platform& p, ProgramRun& r) {
    ChannelVariable f{0}, g{0};
    ASSERT_EQ(openPhysicalDrive(p.kernel, f, 2), 1);
    ASSERT_EQ(openPhysicalDrive(p.kernel, g, 3), 1);
    std::uint8_t answer[36];
    std::uint32_t code = 0;
    exchangeScsiCommand(p.kernel, r.state, f.load(), kScsiInquiry, &code, 36, answer);
    bench.reader.armFaults(plan);
    for (Handle h : {f.load(), g.load(), f.load()}) {
      results.push_back(exchangeScsiCommand(p.kernel, r.state, h, kScsiInquiry, &code, 36, answer));
    }
    error = code;
    bench.reader.armFaults(plan);  // counting starts again
    results.push_back(exchangeScsiCommand(p.kernel, r.state, g.load(), kScsiInquiry, &code, 36, answer));
    results.push_back(exchangeScsiCommand(p.kernel, r.state, g.load(), kScsiInquiry, &code, 36, answer));
  });
  EXPECT_EQ(results, (std::vector<int>{1, 0, 1, 1, 0}));
  EXPECT_EQ(error, ERROR_GEN_FAILURE);
  const auto& log = bench.reader.requestLog();
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[2].channel, "PHYSICALDRIVE2");
  EXPECT_EQ(log[2].sinceArmed, 2);
  EXPECT_EQ(log[2].outcome, sim::RequestOutcome::Fault);
}

TEST(SimReaderFaults, UnplugAtTheNthRequest) {
  Bench bench;
  bench.reader.plug();
  sim::FaultPlan plan;
  plan.unplugAtRequest = 3;
  bench.reader.armFaults(plan);
  std::vector<int> results;
  DWORD error = 0;
  bench.run([&](Platform& p, ProgramRun& r) {
    ASSERT_TRUE(readertest::openUpdateChannel(p, r.state));
    for (int i = 0; i < 4; ++i) results.push_back(dfuGetState(p.kernel, r.state));
    error = p.kernel.getLastError();
  });
  EXPECT_EQ(results, (std::vector<int>{1, 1, 0, 0}));
  EXPECT_EQ(error, ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_FALSE(bench.reader.plugged());
  EXPECT_TRUE(bench.transcriptHas("device unplugged"));
  ASSERT_EQ(bench.reader.requestLog().size(), 4u);
  EXPECT_EQ(bench.reader.requestLog()[2].outcome, sim::RequestOutcome::Unplugged);
  // The request on the handle of the gone device reaches nothing.
  EXPECT_EQ(bench.reader.requestLog()[3].outcome, sim::RequestOutcome::NotConnected);
  EXPECT_EQ(bench.reader.requestLog()[3].sinceArmed, 0);
  EXPECT_EQ(bench.events.back().first, sim::DBT_DEVNODES_CHANGED);
  EXPECT_EQ(bench.events[bench.events.size() - 2].first, sim::DBT_DEVICEREMOVECOMPLETE);
}

TEST(SimReaderFaults, PowerLossEndsTheCallerAndAnUnfinishedDownloadShowsLater) {
  struct Case {
    int atRequest;  // of a download run: 1 GETSTATE, then 3 per block
    bool defaultIdentityAfter;
  };
  // A block is written when the status request after it arrives (as DFU
  // devices program in dfuDNBUSY): before that the firmware is untouched.
  const Case cases[] = {{1, false}, {2, false}, {3, false}, {4, true}, {20, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.atRequest);
    Bench bench;
    bench.reader.plug();
    sim::FaultPlan plan;
    plan.powerLossAtRequest = c.atRequest;
    bench.reader.armFaults(plan);
    bool returned = false;
    bench.run([&](Platform& p, ProgramRun& r) {
      ASSERT_TRUE(readertest::openUpdateChannel(p, r.state));
      downloadFirmware(p, r.state, r.progress, bench.newImage.data());
      returned = true;  // never reached: the power went at the request
    });
    EXPECT_FALSE(returned);
    EXPECT_EQ(bench.pc.lastProcess()->exitCode(), 0xFFFFFFFFu);
    EXPECT_TRUE(bench.transcriptHas("note power loss"));
    EXPECT_EQ(static_cast<int>(bench.reader.requestLog().size()), c.atRequest);
    EXPECT_EQ(bench.reader.requestLog().back().outcome, sim::RequestOutcome::PowerLoss);
    EXPECT_TRUE(bench.reader.plugged());
    EXPECT_EQ(bench.reader.showsDefaultIdentity(), c.defaultIdentityAfter);
    // The PC comes back and the reader answers again, in dfuIDLE.
    std::uint8_t descriptor[kDeviceDescriptorSize] = {};
    bench.run([&](Platform& p, ProgramRun& r) {
      ASSERT_TRUE(readertest::openUpdateChannel(p, r.state));
      ASSERT_EQ(getDeviceDescriptor(p.kernel, r.state, descriptor), 1);
    });
    EXPECT_EQ(descriptor[8] | (descriptor[9] << 8), c.defaultIdentityAfter ? 0x6F29 : 0x2E51);
    EXPECT_EQ(bench.reader.firmware().state(), DFU_STATE_DFU_IDLE);
  }
}

TEST(SimReaderFaults, UnreadableEepromStallsOnlyThatRequest) {
  Bench bench;
  bench.reader.plug();
  sim::FaultPlan plan;
  plan.eepromUnreadable = true;
  bench.reader.armFaults(plan);
  int eeprom = -1, state = -1;
  bench.run([&](Platform& p, ProgramRun& r) {
    ASSERT_TRUE(readertest::openUpdateChannel(p, r.state));
    std::uint8_t request[kEepromRequestSize];
    eeprom = readEepromBlock(p.kernel, r.state, request);
    state = dfuGetState(p.kernel, r.state);
  });
  EXPECT_EQ(eeprom, 0);
  EXPECT_EQ(state, 1);
  EXPECT_EQ(bench.reader.requestLog()[0].outcome, sim::RequestOutcome::Stalled);
  EXPECT_EQ(bench.reader.firmware().state(), DFU_STATE_DFU_IDLE);
}

TEST(SimReaderFaults, NotUpdatableStatusInNormalMode) {
  Bench bench;
  bench.binding = sim::DriverBinding::Normal;
  bench.reader.plug();
  std::vector<int> results;
  bench.run([&](Platform& p, ProgramRun& r) {
    ChannelVariable f{0};
    ASSERT_EQ(openPhysicalDrive(p.kernel, f, 2), 1);
    std::uint32_t error = 0;
    results.push_back(queryNotUpdatable(p.kernel, r.state, f.load(), &error));
    sim::FaultPlan plan;
    plan.notUpdatable = true;
    bench.reader.armFaults(plan);
    results.push_back(queryNotUpdatable(p.kernel, r.state, f.load(), &error));
  });
  EXPECT_EQ(results, (std::vector<int>{0, 1}));
}

TEST(SimReaderLog, FormatsOneLinePerRequest) {
  Bench bench;
  bench.reader.plug();
  bench.reader.traceRequests = true;
  bench.run([&](Platform& p, ProgramRun& r) {
    ASSERT_TRUE(readertest::openUpdateChannel(p, r.state));
    std::uint8_t block[4096];
    dfuUpload(p.kernel, r.state, 15, 4094, block);
    setDriverParameter(p.kernel, r.state);
  });
  const auto& log = bench.reader.requestLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(sim::formatRequest(log[0]),
            "device ZANDEF1 DfuUpload a1-02 wValue=000f wIndex=0000 wLength=0ffe "
            "in=8 out=4102 ok returned=4102 state=9");
  EXPECT_EQ(sim::formatRequest(log[1]),
            "device ZANDEF1 DriverParameter [05] in=1 out=0 ok returned=0 state=9");
  EXPECT_TRUE(bench.transcriptHas("device ZANDEF1 DfuUpload a1-02"));
}

}  // namespace
