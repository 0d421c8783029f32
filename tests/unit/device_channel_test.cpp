// Opening and closing device channels: the names, the open parameters and
// the number of attempts of each kind.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "device/channel.h"
#include "sim/devices.h"
#include "sim_reader_fixture.h"
#include "support/sim_fixture.h"

namespace {

using namespace platform;
using namespace norbix;
using testsupport::TestPc;

// Remembers every open it is asked for and opens the names it is given;
// the devices answer a request with their own name's number.
class RecordingProvider : public sim::DeviceProvider {
 public:
  struct Open {
    std::string name;
    DWORD access, shareMode, creation, flags;
  };
  class Device : public sim::DeviceObject {
   public:
    explicit Device(DWORD id) : id_(id) {}
    BOOL deviceIoControl(sim::Process&, DWORD, void*, DWORD, void* out,
                         DWORD outSize, DWORD* returned, DWORD*) override {
      if (out != nullptr && outSize >= sizeof id_) std::memcpy(out, &id_, sizeof id_);
      *returned = sizeof id_;
      return 1;
    }

   private:
    DWORD id_;
  };

  std::shared_ptr<sim::DeviceObject> open(sim::Process&, const std::string& name,
                                          DWORD access, DWORD shareMode,
                                          DWORD creation, DWORD flags,
                                          DWORD* error) override {
    opens.push_back({name, access, shareMode, creation, flags});
    for (std::size_t i = 0; i < present.size(); ++i) {
      if (present[i] == name) return std::make_shared<Device>(static_cast<DWORD>(i + 1));
    }
    *error = ERROR_FILE_NOT_FOUND;
    return nullptr;
  }

  std::vector<std::string> present;
  std::vector<Open> opens;
};

struct ChannelBench {
  ChannelBench() { pc->addDeviceProvider(&provider); }
  TestPc pc;
  RecordingProvider provider;
};

TEST(OpenUtilityVxd, SixtyFourAttemptsInARowWithoutPause) {
  ChannelBench bench;
  int result = -1;
  Handle handle = 0;
  sim::Millis before = 0, after = 0;
  bench.pc.runProgram([&](Platform& p) -> DWORD {
    ChannelVariable channel{0};
    before = bench.pc->scheduler().now();
    result = openUtilityVxd(p.kernel, channel);
    after = bench.pc->scheduler().now();
    handle = channel.load();
    return 0;
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(handle, INVALID_HANDLE_VALUE);
  ASSERT_EQ(bench.provider.opens.size(), 64u);
  for (const auto& open : bench.provider.opens) {
    EXPECT_EQ(open.name, "ZANUTL1.VXD");
    EXPECT_EQ(open.access, 0u);
    EXPECT_EQ(open.shareMode, 0u);
    EXPECT_EQ(open.creation, 0u);
    EXPECT_EQ(open.flags, 0x04000000u);
  }
  EXPECT_EQ(after, before);  // no sleep between the attempts
}

TEST(OpenUtilityVxd, FirstSuccessEndsTheAttempts) {
  ChannelBench bench;
  bench.provider.present = {"ZANUTL1.VXD"};
  int result = -1;
  Handle handle = INVALID_HANDLE_VALUE;
  bench.pc.runProgram([&](Platform& p) -> DWORD {
    ChannelVariable channel{0};
    result = openUtilityVxd(p.kernel, channel);
    handle = channel.load();
    return 0;
  });
  EXPECT_EQ(result, 1);
  EXPECT_NE(handle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(bench.provider.opens.size(), 1u);
}

TEST(OpenUpdateDriver, TriesOneToTwoHundredFiftyFiveInOrder) {
  ChannelBench bench;
  int result = -1;
  Handle handle = 0;
  bench.pc.runProgram([&](Platform& p) -> DWORD {
    ChannelVariable channel{0};
    result = openUpdateDriver(p.kernel, channel);
    handle = channel.load();
    return 0;
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(handle, INVALID_HANDLE_VALUE);
  ASSERT_EQ(bench.provider.opens.size(), 255u);
  for (std::size_t i = 0; i < 255; ++i) {
    const auto& open = bench.provider.opens[i];
    EXPECT_EQ(open.name, "ZANDEF" + std::to_string(i + 1));
    EXPECT_EQ(open.access, GENERIC_READ | GENERIC_WRITE);
    EXPECT_EQ(open.shareMode, FILE_SHARE_READ | FILE_SHARE_WRITE);
    EXPECT_EQ(open.creation, OPEN_EXISTING);
    EXPECT_EQ(open.flags, FILE_ATTRIBUTE_NORMAL);
  }
}

TEST(OpenUpdateDriver, LowestPresentNumberWins) {
  struct Case {
    std::vector<std::string> present;
    std::size_t attempts;
    DWORD device;  // which of `present` answers
  };
  const Case cases[] = {
      {{"ZANDEF3", "ZANDEF7"}, 3, 1},
      {{"ZANDEF7", "ZANDEF3"}, 3, 2},
      {{"ZANDEF0", "ZANDEF255"}, 255, 2},
      {{"ZANDEF1"}, 1, 1},
  };
  for (const Case& c : cases) {
    ChannelBench bench;
    bench.provider.present = c.present;
    int result = -1;
    DWORD answered = 0;
    bench.pc.runProgram([&](Platform& p) -> DWORD {
      ChannelVariable channel{0};
      result = openUpdateDriver(p.kernel, channel);
      DWORD returned = 0;
      p.kernel.deviceIoControl(channel.load(), 0, nullptr, 0, &answered,
                               sizeof answered, &returned);
      return 0;
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(bench.provider.opens.size(), c.attempts);
    EXPECT_EQ(answered, c.device);
  }
}

TEST(OpenUpdateDriver, TwoReadersNumberedThreeAndSevenGiveThree) {
  TestPc pc;
  auto image = readertest::makeImage(3);
  sim::ReaderConfig third = readertest::readerFor(image);
  third.updateDriverNumber = 3;
  sim::ReaderConfig seventh = readertest::readerFor(image);
  seventh.updateDriverNumber = 7;
  seventh.serial = 2;
  sim::CardReader a(pc.pc(), seventh), b(pc.pc(), third);
  for (sim::CardReader* r : {&a, &b}) {
    r->bindingRule = [] { return sim::DriverBinding::UpdateDriver; };
    r->plug();
  }
  readertest::runWithState(pc, [&](Platform& p, readertest::ProgramRun& r) {
    ASSERT_TRUE(readertest::openUpdateChannel(p, r.state));
    EXPECT_EQ(dfuGetState(p.kernel, r.state), 1);
  });
  EXPECT_EQ(b.requestLog().size(), 1u);
  EXPECT_TRUE(a.requestLog().empty());
}

TEST(OpenPhysicalDrive, OrdinalNamesDriveOrdinalMinusOne) {
  struct Case {
    std::uint8_t ordinal;
    const char* name;
    int result;
  };
  const Case cases[] = {
      {1, "PHYSICALDRIVE0", 1},
      {10, "PHYSICALDRIVE9", 1},
      {11, "PHYSICALDRIVE:", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ChannelBench bench;
    for (char d = '0'; d <= '9'; ++d) {
      bench.provider.present.push_back(std::string("PHYSICALDRIVE") + d);
    }
    int result = -1;
    Handle handle = 0;
    bench.pc.runProgram([&](Platform& p) -> DWORD {
      ChannelVariable channel{0};
      result = openPhysicalDrive(p.kernel, channel, c.ordinal);
      handle = channel.load();
      return 0;
    });
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(handle == INVALID_HANDLE_VALUE, c.result == 0);
    ASSERT_EQ(bench.provider.opens.size(), 1u);
    const auto& open = bench.provider.opens[0];
    EXPECT_EQ(open.name, c.name);
    EXPECT_EQ(open.access, GENERIC_READ | GENERIC_WRITE);
    EXPECT_EQ(open.shareMode, 0u);
    EXPECT_EQ(open.creation, OPEN_EXISTING);
    EXPECT_EQ(open.flags, 0u);
  }
}

TEST(CloseChannel, AllOnesIsNoChannelAndAnythingElseIsClosed) {
  ChannelBench bench;
  bench.provider.present = {"ZANDEF1"};
  int closedNone = -1, closedZero = -1, closedOpen = -1;
  DWORD errorAfterNone = 0, errorAfterZero = 0;
  BOOL usableAfterClose = 1;
  bench.pc.runProgram([&](Platform& p) -> DWORD {
    p.kernel.setLastError(12345);
    closedNone = closeChannel(p.kernel, INVALID_HANDLE_VALUE);
    errorAfterNone = p.kernel.getLastError();  // untouched: no system call
    closedZero = closeChannel(p.kernel, 0);
    errorAfterZero = p.kernel.getLastError();  // CloseHandle(0) failed quietly
    ChannelVariable channel{0};
    openUpdateDriver(p.kernel, channel);
    closedOpen = closeChannel(p.kernel, channel.load());
    DWORD out = 0, returned = 0;
    usableAfterClose = p.kernel.deviceIoControl(channel.load(), 0, nullptr, 0,
                                                &out, sizeof out, &returned);
    return 0;
  });
  EXPECT_EQ(closedNone, 0);
  EXPECT_EQ(errorAfterNone, 12345u);
  EXPECT_EQ(closedZero, 1);
  EXPECT_EQ(errorAfterZero, ERROR_INVALID_HANDLE);
  EXPECT_EQ(closedOpen, 1);
  EXPECT_EQ(usableAfterClose, 0);
}

}  // namespace
