// The SCSI exchange: the request blocks byte for byte, what comes back on
// the pass-through and VxD variants, and the vendor status query.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "device/channel.h"
#include "device/scsi_exchange.h"
#include "sim/devices.h"
#include "sim/filesystem.h"
#include "sim_reader_fixture.h"

namespace {

using namespace platform;
using namespace norbix;
using readertest::ProgramRun;
using testsupport::TestPc;

std::vector<std::uint8_t> bytesOf(const void* p, std::size_t n) {
  const auto* b = static_cast<const std::uint8_t*>(p);
  return std::vector<std::uint8_t>(b, b + n);
}

void put32(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) v[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

TEST(ScsiCommandTable, ThreeTwelveByteCommands) {
  const std::uint8_t expected[3][12] = {
      {0x03, 0, 0, 0, 0x12, 0, 0, 0, 0, 0, 0, 0},
      {0x12, 0, 0, 0, 0x24, 0, 0, 0, 0, 0, 0, 0},
      {0xC1, 0, 0, 0, 0x08, 0, 0, 0, 0, 0, 0, 0},
  };
  EXPECT_EQ(std::memcmp(scsiCommandTable, expected, sizeof expected), 0);
}

TEST(PassThroughRequest, InquiryBlockByteForByte) {
  std::vector<std::uint8_t> expected(68, 0);
  expected[0] = 44;                // Length
  expected[6] = 12;                // CdbLength
  expected[7] = 18;                // SenseInfoLength
  expected[8] = 1;                 // DataIn
  put32(expected, 12, 36);         // DataTransferLength
  put32(expected, 16, 20);         // TimeOutValue
  put32(expected, 20, 66);         // DataBufferOffset
  put32(expected, 24, 48);         // SenseInfoOffset
  expected[28] = 0x12;             // Cdb
  expected[32] = 0x24;
  put32(expected, 44, 68 + 36);    // total length
  PassThroughRequest r = makePassThroughRequest(kScsiInquiry, 36);
  EXPECT_EQ(bytesOf(&r, sizeof r), expected);
}

TEST(VxdScsiRequest, StatusQueryByteForByte) {
  std::uint8_t data[8] = {};
  std::uint8_t sense[18] = {};
  VxdScsiRequest r = makeVxdScsiRequest(kScsiVendorStatus, 5, 8, data, sense);
  std::vector<std::uint8_t> expected(68, 0);
  expected[0] = 5;                 // drive number F:
  expected[4] = 64;                // Length
  expected[14] = 12;               // CdbLength
  expected[15] = 18;               // SenseInfoBufferLength
  put32(expected, 16, 0x40);       // SrbFlags: SRB_FLAGS_DATA_IN
  put32(expected, 20, 8);          // DataTransferLength
  put32(expected, 28, static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(data)));
  put32(expected, 32, static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(sense)));
  expected[52] = 0xC1;             // Cdb
  expected[56] = 0x08;
  EXPECT_EQ(bytesOf(&r, sizeof r), expected);
}

// A device that keeps the bytes of each request and answers with a fixed
// data area (pass-through) or fails.
class CapturingProvider : public sim::DeviceProvider {
 public:
  struct Request {
    DWORD code, inSize, outSize;
    std::vector<std::uint8_t> in;
  };
  class Device : public sim::DeviceObject {
   public:
    explicit Device(CapturingProvider& owner) : owner_(owner) {}
    BOOL deviceIoControl(sim::Process&, DWORD code, void* in, DWORD inSize,
                         void* out, DWORD outSize, DWORD* returned,
                         DWORD* error) override {
      owner_.requests.push_back({code, inSize, outSize, bytesOf(in, inSize)});
      if (owner_.failWith != 0) {
        *error = owner_.failWith;
        return 0;
      }
      auto* o = static_cast<std::uint8_t*>(out);
      std::memcpy(o + 66, owner_.answer.data(),
                  std::min<std::size_t>(owner_.answer.size(), outSize - 66));
      *returned = outSize;
      return 1;
    }

   private:
    CapturingProvider& owner_;
  };
  std::shared_ptr<sim::DeviceObject> open(sim::Process&, const std::string&, DWORD,
                                          DWORD, DWORD, DWORD, DWORD*) override {
    return std::make_shared<Device>(*this);
  }
  std::vector<Request> requests;
  std::vector<std::uint8_t> answer;
  DWORD failWith = 0;
};

TEST(ExchangeScsiCommand, PassThroughSendsTheWholeBlockBothWays) {
  TestPc pc;
  CapturingProvider device;
  device.answer.assign(36, 0xA5);
  pc->addDeviceProvider(&device);
  std::uint8_t answer[36] = {};
  int result = -1;
  readertest::runWithState(pc, [&](Platform& p, ProgramRun& r) {
    ChannelVariable channel{0};
    openPhysicalDrive(p.kernel, channel, 1);
    std::uint32_t error = 0;
    result = exchangeScsiCommand(p.kernel, r.state, channel.load(), kScsiInquiry,
                                 &error, sizeof answer, answer);
  });
  EXPECT_EQ(result, 1);
  ASSERT_EQ(device.requests.size(), 1u);
  const auto& sent = device.requests[0];
  EXPECT_EQ(sent.code, 0x4D004u);
  EXPECT_EQ(sent.inSize, 104u);
  EXPECT_EQ(sent.outSize, 104u);
  PassThroughRequest head = makePassThroughRequest(kScsiInquiry, 36);
  EXPECT_EQ(std::vector<std::uint8_t>(sent.in.begin(), sent.in.begin() + 68),
            bytesOf(&head, sizeof head));
  EXPECT_EQ(std::vector<std::uint8_t>(sent.in.begin() + 68, sent.in.end()),
            std::vector<std::uint8_t>(36, 0));
  EXPECT_EQ(bytesOf(answer, 36), std::vector<std::uint8_t>(36, 0xA5));
}

TEST(ExchangeScsiCommand, FailedRequestStoresTheErrorAndLeavesTheBuffer) {
  TestPc pc;
  CapturingProvider device;
  device.failWith = ERROR_GEN_FAILURE;
  pc->addDeviceProvider(&device);
  std::uint8_t answer[36];
  std::memset(answer, 0xEE, sizeof answer);
  int result = -1;
  std::uint32_t error = 0;
  readertest::runWithState(pc, [&](Platform& p, ProgramRun& r) {
    ChannelVariable channel{0};
    openPhysicalDrive(p.kernel, channel, 1);
    result = exchangeScsiCommand(p.kernel, r.state, channel.load(), kScsiInquiry,
                                 &error, sizeof answer, answer);
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(error, ERROR_GEN_FAILURE);
  EXPECT_EQ(bytesOf(answer, 36), std::vector<std::uint8_t>(36, 0xEE));
}

TEST(ExchangeScsiCommand, IndexOutsideTheTableSendsNothing) {
  TestPc pc;
  CapturingProvider device;
  pc->addDeviceProvider(&device);
  std::uint8_t answer[8] = {};
  int results[2] = {-1, -1};
  readertest::runWithState(pc, [&](Platform& p, ProgramRun& r) {
    ChannelVariable channel{0};
    openPhysicalDrive(p.kernel, channel, 1);
    std::uint32_t error = 0;
    results[0] = exchangeScsiCommand(p.kernel, r.state, channel.load(), 3, &error, 8, answer);
    results[1] = exchangeScsiCommand(p.kernel, r.state, channel.load(), -1, &error, 8, answer);
  });
  EXPECT_EQ(results[0], 0);
  EXPECT_EQ(results[1], 0);
  EXPECT_TRUE(device.requests.empty());
}

// --- Against the simulated reader ------------------------------------------

struct DiskBench {
  explicit DiskBench(sim::WindowsVersion os = sim::WindowsVersion::WinXP,
                     std::size_t inquiryLength = 36)
      : pc(readertest::pcWith(os)) {
    sim::ReaderConfig config = readertest::readerFor(readertest::makeImage(4, "1.23"));
    config.inquiryLength = inquiryLength;
    reader = std::make_unique<sim::CardReader>(pc.pc(), config);
    reader->plug();
    pc->files().writeFile("C:\\NORBIX\\ZANUTL1.VXD", "vxd");
  }
  // readerHandle open on the reader's first slot (F:, behind C: here).
  void run(const std::function<void(Platform&, ProgramRun&)>& body) {
    readertest::runWithState(pc, [&](Platform& p, ProgramRun& r) {
      if (pc->nt()) {
        ASSERT_EQ(openPhysicalDrive(p.kernel, r.state.readerHandle, 2), 1);
      } else {
        r.state.readerDriveNumber = 5;
        ASSERT_EQ(openUtilityVxd(p.kernel, r.state.readerHandle), 1);
      }
      body(p, r);
    });
  }
  TestPc pc;
  std::unique_ptr<sim::CardReader> reader;
};

TEST(ExchangeScsiCommand, InquiryGivesExactlyThirtySixBytesZerosForWhatWasNotSent) {
  for (std::size_t sent : {36u, 20u, 0u}) {
    SCOPED_TRACE(sent);
    DiskBench bench(sim::WindowsVersion::WinXP, sent);
    std::uint8_t answer[40];
    std::memset(answer, 0xEE, sizeof answer);
    int result = -1;
    bench.run([&](Platform& p, ProgramRun& r) {
      std::uint32_t error = 0;
      result = exchangeScsiCommand(p.kernel, r.state, r.state.readerHandle.load(),
                                   kScsiInquiry, &error, 36, answer);
    });
    EXPECT_EQ(result, 1);
    const std::string vendor(reinterpret_cast<char*>(answer + 8), 8);
    EXPECT_EQ(vendor, sent >= 16 ? "VELDANIX" : std::string(8, '\0'));
    for (std::size_t i = sent; i < 36; ++i) EXPECT_EQ(answer[i], 0) << i;
    if (sent == 36) {
      EXPECT_EQ(std::string(reinterpret_cast<char*>(answer + 32), 4), "1.23");
    }
    // Nothing past the 36 bytes asked for is written.
    EXPECT_EQ(answer[36], 0xEE);
    const auto& log = bench.reader->requestLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].inSize, 104u);
  }
}

TEST(ExchangeScsiCommand, VxdVariantAnswersIntoTheCallersBuffer) {
  DiskBench bench(sim::WindowsVersion::Win98);
  std::uint8_t answer[36] = {};
  int result = -1;
  bench.run([&](Platform& p, ProgramRun& r) {
    // On the program's own stack, as the updater keeps its answers.
    std::uint8_t local[36] = {};
    std::uint32_t error = 0;
    result = exchangeScsiCommand(p.kernel, r.state, r.state.readerHandle.load(),
                                 kScsiInquiry, &error, 36, local);
    std::memcpy(answer, local, sizeof answer);
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(answer + 8), 8), "VELDANIX");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(answer + 16), 16), "CF Card Reader  ");
  const auto& log = bench.reader->requestLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].channel, "ZANUTL1.VXD F:");
  EXPECT_EQ(log[0].code, 0x22200Cu);
  EXPECT_EQ(log[0].inSize, 68u);
  EXPECT_EQ(log[0].outSize, 68u);
}

TEST(QueryNotUpdatable, OnlyBitSixOfTheEighthByteCounts) {
  struct Case {
    sim::WindowsVersion os;
    std::uint8_t byte7;
    int expected;
  };
  const Case cases[] = {
      {sim::WindowsVersion::WinXP, 0x40, 1}, {sim::WindowsVersion::WinXP, 0xC0, 1},
      {sim::WindowsVersion::WinXP, 0x80, 0}, {sim::WindowsVersion::WinXP, 0x3F, 0},
      {sim::WindowsVersion::WinXP, 0x00, 0}, {sim::WindowsVersion::Win98, 0x40, 1},
      {sim::WindowsVersion::Win98, 0xBF, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.byte7));
    DiskBench bench(c.os);
    bench.reader->vendorStatus()[7] = c.byte7;
    // The other bytes must not matter.
    bench.reader->vendorStatus()[6] = 0x40;
    int result = -1;
    bench.run([&](Platform& p, ProgramRun& r) {
      std::uint32_t error = 0;
      result = queryNotUpdatable(p.kernel, r.state, r.state.readerHandle.load(), &error);
    });
    EXPECT_EQ(result, c.expected);
  }
}

TEST(QueryNotUpdatable, FailedExchangeGivesZeroAndTheErrorCode) {
  DiskBench bench;
  bench.reader->vendorStatus()[7] = 0x40;
  sim::FaultPlan plan;
  plan.failKinds.push_back(sim::RequestKind::ScsiVendorStatus);
  bench.reader->armFaults(plan);
  int result = -1;
  std::uint32_t error = 0;
  bench.run([&](Platform& p, ProgramRun& r) {
    result = queryNotUpdatable(p.kernel, r.state, r.state.readerHandle.load(), &error);
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(error, ERROR_GEN_FAILURE);
}

TEST(QueryNotUpdatable, AnsweredOnTheUpdateDriverChannelToo) {
  for (auto os : {sim::WindowsVersion::WinXP, sim::WindowsVersion::WinMe}) {
    TestPc pc(readertest::pcWith(os));
    sim::CardReader reader(pc.pc(), readertest::readerFor(readertest::makeImage(4)));
    reader.bindingRule = [] { return sim::DriverBinding::UpdateDriver; };
    reader.plug();
    sim::FaultPlan plan;
    plan.notUpdatable = true;
    reader.armFaults(plan);
    int result = -1, inquiry = -1;
    readertest::runWithState(pc, [&](Platform& p, ProgramRun& r) {
      ASSERT_TRUE(readertest::openUpdateChannel(p, r.state));
      std::uint32_t error = 0;
      result = queryNotUpdatable(p.kernel, r.state, r.state.readerHandle.load(), &error);
      std::uint8_t answer[36];
      inquiry = exchangeScsiCommand(p.kernel, r.state, r.state.readerHandle.load(),
                                    kScsiInquiry, &error, 36, answer);
    });
    EXPECT_EQ(result, 1);
    // Only the status query passes the update driver.
    EXPECT_EQ(inquiry, 0);
  }
}

TEST(SendRequestSense, GoesThroughReaderHandle) {
  DiskBench bench;
  int open = -1, closed = -1;
  bench.run([&](Platform& p, ProgramRun& r) {
    open = sendRequestSense(p.kernel, r.state);
    closeChannel(p.kernel, r.state.readerHandle.load());
    // The variable still holds the closed handle, as discovery leaves it.
    closed = sendRequestSense(p.kernel, r.state);
  });
  EXPECT_EQ(open, 1);
  EXPECT_EQ(closed, 0);
  const auto& log = bench.reader->requestLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].kind, sim::RequestKind::ScsiRequestSense);
  EXPECT_EQ(log[0].inSize, 68u + 18u);
}

}  // namespace
