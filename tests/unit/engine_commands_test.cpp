// The reader command set against the simulated reader: the exact requests
// and buffer lengths of each operation, the firmware comparison and the
// download with their result codes and progress steps.
#include <gtest/gtest.h>

#include <vector>

#include "engine/block_transfer.h"
#include "engine/reader_commands.h"
#include "platform/devio.h"
#include "sim_reader_fixture.h"
#include "sim/transcript.h"

namespace {

using namespace platform;
using namespace norbix;
using readertest::makeImage;
using readertest::ProgramRun;
using readertest::readerFor;
using sim::RequestKind;
using testsupport::TestPc;

struct ReaderBench {
  explicit ReaderBench(sim::WindowsVersion os = sim::WindowsVersion::WinXP,
                       std::uint32_t readerSeed = 7)
      : pc(readertest::pcWith(os)),
        image(makeImage(7)),
        reader(pc.pc(), readerFor(makeImage(readerSeed))) {
    reader.bindingRule = [] { return sim::DriverBinding::UpdateDriver; };
    reader.plug();
  }
  // Runs `body` with readerHandle open on the reader; the log then holds
  // only what `body` sent.
  void run(const std::function<void(Platform&, ProgramRun&)>& body,
           int startPosition = 0) {
    readertest::runWithState(
        pc,
        [&](Platform& p, ProgramRun& r) {
          ASSERT_TRUE(readertest::openUpdateChannel(p, r.state));
          reader.clearLog();
          body(p, r);
          position = r.bar->position();
        },
        startPosition);
  }
  TestPc pc;
  std::vector<std::uint8_t> image;
  sim::CardReader reader;
  int position = -1;
};

TEST(EngineCommands, EachRequestHasItsSetupPacketAndLengths) {
  struct Case {
    const char* name;
    std::function<int(Kernel&, const SharedState&)> send;
    RequestKind kind;
    std::uint8_t bmRequestType, bRequest;
    std::uint16_t wValue, wLength;
    DWORD in, out;
  };
  std::uint8_t buffer[4096];
  std::uint8_t eeprom[kEepromRequestSize];
  const Case cases[] = {
      {"getDeviceDescriptor",
       [&](Kernel& k, const SharedState& s) { return getDeviceDescriptor(k, s, buffer); },
       RequestKind::GetDescriptor, 0x80, 0x06, 0x0100, 18, 8, 26},
      {"dfuGetState", [](Kernel& k, const SharedState& s) { return dfuGetState(k, s); },
       RequestKind::DfuGetState, 0xA1, 0x05, 0, 1, 8, 9},
      {"dfuGetStatus",
       [&](Kernel& k, const SharedState& s) { return dfuGetStatus(k, s, buffer); },
       RequestKind::DfuGetStatus, 0xA1, 0x03, 0, 6, 8, 14},
      {"dfuUpload block 15",
       [&](Kernel& k, const SharedState& s) { return dfuUpload(k, s, 15, 4094, buffer); },
       RequestKind::DfuUpload, 0xA1, 0x02, 0x000F, 0x0FFE, 8, 4102},
      {"readEepromBlock",
       [&](Kernel& k, const SharedState& s) { return readEepromBlock(k, s, eeprom); },
       RequestKind::ReadEeprom, 0xC0, 0x46, 0, 256, 8, 264},
      {"sendPreUpdateRequest",
       [](Kernel& k, const SharedState& s) { return sendPreUpdateRequest(k, s); },
       RequestKind::PreUpdate, 0x40, 0x00, 0xFFFF, 0, 8, 8},
      {"dfuDownload block 16",
       [](Kernel& k, const SharedState& s) { return dfuDownload(k, s, 16, 0, nullptr); },
       RequestKind::DfuDownload, 0x21, 0x01, 0x0010, 0, 8, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReaderBench bench;
    int result = -1;
    bench.run([&](Platform& p, ProgramRun& r) { result = c.send(p.kernel, r.state); });
    ASSERT_EQ(bench.reader.requestLog().size(), 1u);
    const sim::RequestRecord& sent = bench.reader.requestLog()[0];
    EXPECT_EQ(sent.kind, c.kind);
    EXPECT_EQ(sent.code, 0x8002200Cu);
    EXPECT_EQ(sent.bmRequestType(), c.bmRequestType);
    EXPECT_EQ(sent.bRequest(), c.bRequest);
    EXPECT_EQ(sent.wValue(), c.wValue);
    EXPECT_EQ(sent.wIndex(), 0);
    EXPECT_EQ(sent.wLength(), c.wLength);
    EXPECT_EQ(sent.inSize, c.in);
    EXPECT_EQ(sent.outSize, c.out);
    // The zero-length download is refused in dfuIDLE: nothing was sent
    // before it. Everything else is accepted there.
    EXPECT_EQ(result, c.kind == RequestKind::DfuDownload ? 0 : 1);
  }
}

TEST(EngineCommands, DeviceDescriptorAndEepromAnswersArriveWhereTheCallerReads) {
  ReaderBench bench;
  std::uint8_t descriptor[kDeviceDescriptorSize] = {};
  std::uint8_t request[kEepromRequestSize];
  std::memset(request, 0xEE, sizeof request);
  bench.run([&](Platform& p, ProgramRun& r) {
    ASSERT_EQ(getDeviceDescriptor(p.kernel, r.state, descriptor), 1);
    ASSERT_EQ(readEepromBlock(p.kernel, r.state, request), 1);
  });
  EXPECT_EQ(descriptor[0], 18);
  EXPECT_EQ(descriptor[8] | (descriptor[9] << 8), 0x2E51);
  EXPECT_EQ(descriptor[10] | (descriptor[11] << 8), 0x2201);
  EXPECT_EQ(descriptor[12] | (descriptor[13] << 8), 0x0205);
  EXPECT_EQ(std::memcmp(request + 8, bench.reader.firmware().eeprom().data(), 256), 0);
  // The setup packet went out zero-filled around its fields.
  const std::uint8_t setup[8] = {0xC0, 0x46, 0, 0, 0, 0, 0x00, 0x01};
  EXPECT_EQ(std::memcmp(request, setup, 8), 0);
}

TEST(EngineCommands, SetDriverParameterSendsOneByteFiveAndNoOutput) {
  ReaderBench bench;
  int result = -1;
  bench.run([&](Platform& p, ProgramRun& r) { result = setDriverParameter(p.kernel, r.state); });
  EXPECT_EQ(result, 1);
  ASSERT_EQ(bench.reader.requestLog().size(), 1u);
  const auto& sent = bench.reader.requestLog()[0];
  EXPECT_EQ(sent.code, 0x80022014u);
  EXPECT_EQ(sent.inSize, 1u);
  EXPECT_EQ(sent.outSize, 0u);
  EXPECT_EQ(sent.command[0], 5);
}

TEST(EngineCommands, RequestOnAClosedChannelFails) {
  ReaderBench bench;
  int result = -1;
  bench.run([&](Platform& p, ProgramRun& r) {
    closeChannel(p.kernel, r.state.readerHandle.load());
    result = dfuGetState(p.kernel, r.state);
  });
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(bench.reader.requestLog().empty());
}

// --- compareFirmware ---------------------------------------------------------

std::vector<RequestKind> fullComparison() {
  std::vector<RequestKind> kinds{RequestKind::DfuGetState};
  kinds.insert(kinds.end(), 16, RequestKind::DfuUpload);
  kinds.push_back(RequestKind::DfuGetState);
  kinds.push_back(RequestKind::DfuGetStatus);
  return kinds;
}

TEST(CompareFirmware, FullComparisonSendsSixteenUploadsWithTheirLengths) {
  ReaderBench bench;
  int result = -1;
  bench.run([&](Platform& p, ProgramRun& r) {
    result = compareFirmware(p, r.state, r.progress, bench.image.data());
  }, 40);
  EXPECT_EQ(result, kCompareEqual);
  const auto& log = bench.reader.requestLog();
  ASSERT_EQ(readertest::kindsOf(log), fullComparison());
  for (int b = 0; b < 16; ++b) {
    const auto& upload = log[static_cast<std::size_t>(b) + 1];
    SCOPED_TRACE(b);
    std::uint16_t length = b == 15 ? 4094 : 4096;
    EXPECT_EQ(upload.wValue(), b);
    EXPECT_EQ(upload.wLength(), length);
    EXPECT_EQ(upload.inSize, 8u);
    EXPECT_EQ(upload.outSize, 8u + length);
    EXPECT_TRUE(upload.ok());
  }
  EXPECT_EQ(bench.position, 60);
  std::vector<std::string> progress;
  for (const auto& line : bench.pc->transcript().lines()) {
    if (line.find("progress") != std::string::npos) progress.push_back(line.substr(line.find("progress")));
  }
  EXPECT_EQ(progress, (std::vector<std::string>{"progress 45", "progress 50",
                                                "progress 55", "progress 60"}));
}

TEST(CompareFirmware, ReaderOwnRangesAreNotCompared) {
  struct Case {
    std::size_t offset;
    int expected;
  };
  const Case cases[] = {
      {0x3FF, kCompareDiffers}, {0x400, kCompareEqual}, {0x6FF, kCompareEqual},
      {0x700, kCompareDiffers}, {0x5000, kCompareDiffers}, {0xFE7F, kCompareDiffers},
      {0xFE80, kCompareEqual},  {0xFF7F, kCompareEqual}, {0xFF80, kCompareDiffers},
      {0xFFFD, kCompareDiffers},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offset);
    ReaderBench bench;
    // The reader's own bytes differ from the image already; the change
    // makes one more byte differ.
    std::vector<std::uint8_t> image = bench.image;
    image[c.offset] ^= 0x5A;
    int result = -1;
    bench.run([&](Platform& p, ProgramRun& r) {
      result = compareFirmware(p, r.state, r.progress, image.data());
    });
    EXPECT_EQ(result, c.expected);
  }
}

TEST(CompareFirmware, ReaderBytesOfItsOwnRangesReallyDifferFromTheImage) {
  ReaderBench bench;
  const auto& memory = bench.reader.firmware().memory();
  EXPECT_NE(std::memcmp(memory.data() + 0x400, bench.image.data() + 0x400, 0x300), 0);
}

struct CompareFailure {
  const char* name;
  std::function<void(sim::FaultPlan&)> plan;
  bool firmwareDiffers;
  int expected;
  std::vector<RequestKind> sent;
  int progressEnd;  // from 0
};

void PrintTo(const CompareFailure& c, std::ostream* os) { *os << c.name; }

class CompareFailures : public ::testing::TestWithParam<CompareFailure> {};

TEST_P(CompareFailures, ResultRequestsAndProgress) {
  const CompareFailure& c = GetParam();
  ReaderBench bench(sim::WindowsVersion::WinXP, c.firmwareDiffers ? 99 : 7);
  if (c.firmwareDiffers) {
    // Only block 2 differs: the reader holds the image except there.
    auto& memory = bench.reader.firmware().memory();
    std::vector<std::uint8_t> image = bench.image;
    for (std::size_t i = 0; i < memory.size(); ++i) {
      if (!readertest::inRange(i, 0x400, 0x700) && !readertest::inRange(i, 0xFE80, 0xFF80)) {
        memory[i] = image[i];
      }
    }
    memory[2 * 4096 + 17] ^= 1;
  }
  sim::FaultPlan plan;
  c.plan(plan);
  bench.reader.armFaults(plan);
  int result = -1;
  bench.run([&](Platform& p, ProgramRun& r) {
    result = compareFirmware(p, r.state, r.progress, bench.image.data());
  });
  EXPECT_EQ(result, c.expected);
  EXPECT_EQ(readertest::kindsOf(bench.reader.requestLog()), c.sent);
  EXPECT_EQ(bench.position, c.progressEnd);
}

std::vector<RequestKind> uploadsUpTo(int lastBlock, std::vector<RequestKind> tail) {
  std::vector<RequestKind> kinds{RequestKind::DfuGetState};
  kinds.insert(kinds.end(), static_cast<std::size_t>(lastBlock) + 1, RequestKind::DfuUpload);
  kinds.insert(kinds.end(), tail.begin(), tail.end());
  return kinds;
}

INSTANTIATE_TEST_SUITE_P(
    Mixes, CompareFailures,
    ::testing::Values(
        CompareFailure{"differs in block 2 only",
                       [](sim::FaultPlan&) {}, true, kCompareDiffers, fullComparison(), 20},
        CompareFailure{"differs in block 2, upload of block 9 fails",
                       [](sim::FaultPlan& f) { f.failBlocks.push_back({RequestKind::DfuUpload, 9}); },
                       true, kCompareRequestFailed,
                       uploadsUpTo(9, {RequestKind::DfuGetState, RequestKind::DfuGetStatus}), 10},
        CompareFailure{"first state request fails",
                       [](sim::FaultPlan& f) { f.failRequest = 1; }, false,
                       kCompareRequestFailed, {RequestKind::DfuGetState}, 0},
        CompareFailure{"state request after the loop fails",
                       [](sim::FaultPlan& f) { f.failRequest = 18; }, false,
                       kCompareRequestFailed, fullComparison(), 20},
        CompareFailure{"status request fails",
                       [](sim::FaultPlan& f) { f.failKinds.push_back(RequestKind::DfuGetStatus); },
                       true, kCompareRequestFailed, fullComparison(), 20},
        CompareFailure{"upload of block 0 fails",
                       [](sim::FaultPlan& f) { f.failRequest = 2; }, false,
                       kCompareRequestFailed,
                       uploadsUpTo(0, {RequestKind::DfuGetState, RequestKind::DfuGetStatus}), 0}),
    [](const ::testing::TestParamInfo<CompareFailure>& info) {
      std::string name = info.param.name;
      for (char& ch : name) {
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      }
      return name;
    });

TEST(CompareFirmware, Windows98StepsAreSeven) {
  ReaderBench bench(sim::WindowsVersion::Win98);
  int result = -1;
  bench.run([&](Platform& p, ProgramRun& r) {
    result = compareFirmware(p, r.state, r.progress, bench.image.data());
  }, 10);
  EXPECT_EQ(result, kCompareEqual);
  EXPECT_EQ(bench.position, 38);
}

// --- downloadFirmware --------------------------------------------------------

std::vector<RequestKind> fullDownload() {
  std::vector<RequestKind> kinds{RequestKind::DfuGetState};
  for (int b = 0; b <= 16; ++b) {
    kinds.push_back(RequestKind::DfuDownload);
    kinds.push_back(RequestKind::DfuGetStatus);
    kinds.push_back(RequestKind::DfuGetStatus);
  }
  return kinds;
}

TEST(DownloadFirmware, SeventeenDownloadsEachFollowedByTwoStatusRequests) {
  ReaderBench bench(sim::WindowsVersion::WinXP, 99);
  int result = -1;
  bench.run([&](Platform& p, ProgramRun& r) {
    result = downloadFirmware(p, r.state, r.progress, bench.image.data());
  }, 30);
  EXPECT_EQ(result, kDownloadDone);
  const auto& log = bench.reader.requestLog();
  ASSERT_EQ(readertest::kindsOf(log), fullDownload());
  for (int b = 0; b <= 16; ++b) {
    SCOPED_TRACE(b);
    const auto& download = log[1 + 3 * static_cast<std::size_t>(b)];
    std::uint16_t length = b == 16 ? 0 : b == 15 ? 4094 : 4096;
    EXPECT_EQ(download.wValue(), b);
    EXPECT_EQ(download.wLength(), length);
    EXPECT_EQ(download.inSize, 8u + length);
    EXPECT_EQ(download.outSize, 8u + length);
    EXPECT_TRUE(download.ok());
    EXPECT_TRUE(log[2 + 3 * static_cast<std::size_t>(b)].ok());
    EXPECT_TRUE(log[3 + 3 * static_cast<std::size_t>(b)].ok());
  }
  EXPECT_EQ(bench.position, 46);
  // The zero-length block leaves the reader in dfuIDLE on the same channel.
  EXPECT_EQ(log.back().dfuState, DFU_STATE_DFU_IDLE);
}

TEST(DownloadFirmware, DownloadThenVerifyComparesEqual) {
  ReaderBench bench(sim::WindowsVersion::WinXP, 99);
  int written = -1, verified = -1, before = -1;
  bench.run([&](Platform& p, ProgramRun& r) {
    before = compareFirmware(p, r.state, r.progress, bench.image.data());
    written = downloadFirmware(p, r.state, r.progress, bench.image.data());
    verified = compareFirmware(p, r.state, r.progress, bench.image.data());
  });
  EXPECT_EQ(before, kCompareDiffers);
  EXPECT_EQ(written, kDownloadDone);
  EXPECT_EQ(verified, kCompareEqual);
  // 20 + 16 + 20 on Windows 2000/XP.
  EXPECT_EQ(bench.position, 56);
}

struct DownloadFailure {
  const char* name;
  std::function<void(sim::FaultPlan&)> plan;
  int expected;
  std::size_t requestsSent;
  int progressEnd;
};

void PrintTo(const DownloadFailure& c, std::ostream* os) { *os << c.name; }

class DownloadFailures : public ::testing::TestWithParam<DownloadFailure> {};

TEST_P(DownloadFailures, ResultRequestsAndProgress) {
  const DownloadFailure& c = GetParam();
  ReaderBench bench(sim::WindowsVersion::WinXP, 99);
  sim::FaultPlan plan;
  c.plan(plan);
  bench.reader.armFaults(plan);
  int result = -1;
  bench.run([&](Platform& p, ProgramRun& r) {
    result = downloadFirmware(p, r.state, r.progress, bench.image.data());
  });
  EXPECT_EQ(result, c.expected);
  const auto& log = bench.reader.requestLog();
  ASSERT_EQ(log.size(), c.requestsSent);
  // The failing request is the last one sent: nothing follows a failure.
  EXPECT_FALSE(log.back().ok());
  EXPECT_EQ(bench.position, c.progressEnd);
}

INSTANTIATE_TEST_SUITE_P(
    Mixes, DownloadFailures,
    ::testing::Values(
        DownloadFailure{"first_state_request", [](sim::FaultPlan& f) { f.failRequest = 1; },
                        kDownloadStatusFailed, 1, 0},
        DownloadFailure{"download_of_block_0",
                        [](sim::FaultPlan& f) { f.failBlocks.push_back({RequestKind::DfuDownload, 0}); },
                        kDownloadRequestFailed, 2, 0},
        DownloadFailure{"download_of_block_5",
                        [](sim::FaultPlan& f) { f.failBlocks.push_back({RequestKind::DfuDownload, 5}); },
                        kDownloadRequestFailed, 1 + 5 * 3 + 1, 4},
        DownloadFailure{"zero_length_block",
                        [](sim::FaultPlan& f) { f.failBlocks.push_back({RequestKind::DfuDownload, 16}); },
                        kDownloadRequestFailed, 1 + 16 * 3 + 1, 16},
        DownloadFailure{"second_status_of_block_8", [](sim::FaultPlan& f) { f.failRequest = 1 + 8 * 3 + 3; },
                        kDownloadStatusFailed, 1 + 8 * 3 + 3, 8},
        DownloadFailure{"first_status_of_block_0", [](sim::FaultPlan& f) { f.failRequest = 3; },
                        kDownloadStatusFailed, 3, 0}),
    [](const ::testing::TestParamInfo<DownloadFailure>& info) { return info.param.name; });

TEST(DownloadFirmware, Windows98StepsAreSeven) {
  ReaderBench bench(sim::WindowsVersion::WinMe, 99);
  int result = -1;
  bench.run([&](Platform& p, ProgramRun& r) {
    result = downloadFirmware(p, r.state, r.progress, bench.image.data());
  }, 10);
  EXPECT_EQ(result, kDownloadDone);
  EXPECT_EQ(bench.position, 38);
}

}  // namespace
