// Shared pieces of the device, command-set and simulated-reader tests: an
// update image, a reader made from it, a progress bar and a program run
// with the updater's shared values.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device/channel.h"
#include "engine/reader_commands.h"
#include "shell/shared_state.h"
#include "sim/card_reader.h"
#include "sim/controls.h"
#include "sim/pc.h"
#include "support/sim_fixture.h"
#include "testkit/update_file_maker.h"

namespace readertest {

inline std::vector<std::uint8_t> makeImage(std::uint32_t seed,
                                           const std::string& version = "2.05",
                                           std::uint16_t vendorId = 0x2E51,
                                           std::uint16_t productId = 0x2201) {
  norbix::testkit::UpdateFileOptions options;
  options.seed = seed;
  options.versionText = version;
  options.vendorId = vendorId;
  options.productId = productId;
  return norbix::testkit::makeUpdateFile(options);
}

// A reader whose firmware is `image` and whose configuration block is the
// image's configuration region.
inline sim::ReaderConfig readerFor(const std::vector<std::uint8_t>& image) {
  sim::ReaderConfig config;
  config.firmware = image;
  std::copy_n(image.begin() + 0xFE80, 256, config.eeprom.begin());
  return config;
}

inline sim::PcConfig pcWith(sim::WindowsVersion os) {
  sim::PcConfig config;
  config.os = os;
  return config;
}

// Runs `body` as a program on `pc` with fresh shared values (isWin9x from
// the PC) and a progress bar at `startPosition`.
struct ProgramRun {
  norbix::SharedState state;
  platform::HWND progress = 0;
  std::unique_ptr<sim::ProgressControl> bar;
};

inline sim::RunEnd runWithState(
    testsupport::TestPc& pc,
    const std::function<void(platform::Platform&, ProgramRun&)>& body,
    int startPosition = 0) {
  auto run = std::make_shared<ProgramRun>();
  return pc.runProgram([&pc, run, body, startPosition](platform::Platform& p) {
    norbix::store(run->state.isWin9x, pc->nt() ? 0 : 1);
    run->bar = std::make_unique<sim::ProgressControl>(*pc.lastProcess());
    run->bar->initialise(startPosition);
    run->progress = pc->controls().add(run->bar.get());
    body(p, *run);
    pc->controls().remove(run->progress);
    return platform::DWORD{0};
  });
}

// The update channel of a reader bound to the update driver, in readerHandle.
inline bool openUpdateChannel(platform::Platform& p, norbix::SharedState& state) {
  return norbix::openUpdateDriver(p.kernel, state.readerHandle) == 1;
}

inline std::vector<sim::RequestKind> kindsOf(
    const std::vector<sim::RequestRecord>& log) {
  std::vector<sim::RequestKind> kinds;
  for (const auto& r : log) kinds.push_back(r.kind);
  return kinds;
}

inline bool inRange(std::size_t at, std::size_t begin, std::size_t end) {
  return at >= begin && at < end;
}

}  // namespace readertest

