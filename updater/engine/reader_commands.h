// The requests the updater sends to the reader under the update driver:
// one USB control transfer each (the device descriptor, four DFU 1.1 class
// requests, two vendor requests), plus one parameter request to the driver
// itself. All go through `readerHandle`.
//
// Each returns 1 when the driver completed the request and 0 otherwise;
// nothing here looks at what a state or status answer says.
#pragma once

#include <cstddef>
#include <cstdint>

#include "device/reader_protocol.h"
#include "platform/kernel.h"
#include "shell/shared_state.h"

namespace norbix {

// The update driver's transfer buffer: the setup packet, then up to 4096
// bytes of data stage. Zero-filled before the packet is written.
struct ControlRequest {
  static constexpr std::size_t kSetupSize = protocol::kSetupPacketSize;
  static constexpr std::size_t kMaxSize =
      protocol::kSetupPacketSize + protocol::kMaxDataStage;

  std::uint8_t bytes[kMaxSize];

  ControlRequest();
  void setSetup(std::uint8_t bmRequestType, std::uint8_t bRequest,
                std::uint16_t wValue, std::uint16_t wIndex,
                std::uint16_t wLength);
  std::uint16_t wLength() const;
  std::uint8_t* data() { return bytes + kSetupSize; }
  const std::uint8_t* data() const { return bytes + kSetupSize; }
};

// One control transfer on readerHandle. A device-to-host transfer gives the
// driver the setup packet alone as input; the output is always n bytes.
int sendControlRequest(platform::Kernel& kernel, const SharedState& state,
                       int deviceToHost, std::uint32_t n,
                       std::uint8_t* request);

inline constexpr std::size_t kDeviceDescriptorSize = 18;
inline constexpr std::size_t kDfuStatusSize = 6;

int getDeviceDescriptor(platform::Kernel& kernel, const SharedState& state,
                        std::uint8_t descriptor[kDeviceDescriptorSize]);
int dfuGetState(platform::Kernel& kernel, const SharedState& state);
int dfuGetStatus(platform::Kernel& kernel, const SharedState& state,
                 std::uint8_t status[kDfuStatusSize]);
// `length` up to 4096; on success exactly `length` bytes go to `destination`.
int dfuUpload(platform::Kernel& kernel, const SharedState& state,
              std::uint8_t block, std::uint16_t length,
              std::uint8_t* destination);
// `length` 0 to 4096 bytes from `source` (a zero length needs no source).
int dfuDownload(platform::Kernel& kernel, const SharedState& state,
                std::uint8_t block, std::uint16_t length,
                const std::uint8_t* source);
// `request` is 264 bytes; the block arrives at offset 8.
inline constexpr std::size_t kEepromRequestSize =
    protocol::kSetupPacketSize + protocol::kEepromBlockSize;
int readEepromBlock(platform::Kernel& kernel, const SharedState& state,
                    std::uint8_t request[kEepromRequestSize]);
int sendPreUpdateRequest(platform::Kernel& kernel, const SharedState& state);
int setDriverParameter(platform::Kernel& kernel, const SharedState& state);

}  // namespace norbix
