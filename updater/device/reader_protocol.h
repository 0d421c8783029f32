// The private protocol of the components shipped beside the updater: the
// utility VxD of Windows 98/Me, the update driver behind "\\.\ZANDEFn" and
// the reader firmware's vendor requests. One definition, used by the
// program and by the simulated reader that stands in for these components.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/devio.h"

namespace norbix::protocol {

// Device names. The update driver numbers its devices from 1.
inline constexpr const char kUtilityVxdName[] = "\\\\.\\ZANUTL1.VXD";
inline constexpr const char kUpdateDriverPrefix[] = "\\\\.\\ZANDEF";
inline constexpr int kFirstUpdateDriverNumber = 1;
inline constexpr int kLastUpdateDriverNumber = 255;

// Utility VxD: one SCSI request, addressed by drive number.
inline constexpr platform::DWORD kVxdScsiRequestCode = platform::ctlCode(
    platform::FILE_DEVICE_UNKNOWN, 0x803, platform::METHOD_BUFFERED,
    platform::FILE_ANY_ACCESS);
static_assert(kVxdScsiRequestCode == 0x22200C, "utility VxD request code");

// What comes before the SCSI request block in a VxD request.
struct VxdRequestHead {
  std::uint16_t driveNumber;  // 0 = A:, 1 = B:, ...
  std::uint16_t reserved;
};
static_assert(sizeof(VxdRequestHead) == 4, "VxD request head");

// Update driver: device type 0x8002, METHOD_BUFFERED, FILE_ANY_ACCESS.
inline constexpr platform::DWORD kUpdateDriverDeviceType = 0x8002;
inline constexpr platform::DWORD kControlTransferCode =
    platform::ctlCode(kUpdateDriverDeviceType, 0x803, platform::METHOD_BUFFERED,
                      platform::FILE_ANY_ACCESS);
inline constexpr platform::DWORD kDriverParameterCode =
    platform::ctlCode(kUpdateDriverDeviceType, 0x805, platform::METHOD_BUFFERED,
                      platform::FILE_ANY_ACCESS);
static_assert(kControlTransferCode == 0x8002200C, "control transfer code");
static_assert(kDriverParameterCode == 0x80022014, "driver parameter code");
inline constexpr std::uint8_t kDriverParameterValue = 5;

// A control request buffer: the 8-byte setup packet, then the data stage.
inline constexpr std::size_t kSetupPacketSize = 8;
inline constexpr std::size_t kMaxDataStage = 4096;

// The reader firmware's SCSI vendor status query and its answer.
inline constexpr std::uint8_t kVendorStatusOpcode = 0xC1;
inline constexpr std::size_t kVendorStatusSize = 8;
inline constexpr std::size_t kNotUpdatableByte = 7;
inline constexpr std::uint8_t kNotUpdatableBit = 0x40;

// The reader firmware's vendor control requests.
inline constexpr std::uint8_t kReadEepromRequest = 0x46;
inline constexpr std::uint16_t kEepromBlockSize = 256;
inline constexpr std::uint8_t kPreUpdateRequest = 0x00;
inline constexpr std::uint16_t kPreUpdateValue = 0xFFFF;

// The reader's firmware memory: 16 blocks of the DFU transfer size, the last
// two bytes short, and the regions that belong to each reader itself.
inline constexpr std::size_t kFirmwareBytes = 65534;
inline constexpr std::size_t kTransferBlockSize = 4096;
inline constexpr int kFirmwareBlocks = 16;
inline constexpr std::size_t kReaderDataBegin = 0x400;
inline constexpr std::size_t kReaderDataEnd = 0x700;  // one past the last
inline constexpr std::size_t kConfigRegionBegin = 0xFE80;
inline constexpr std::size_t kConfigRegionEnd = 0xFF80;

// A reader whose firmware is not intact enumerates with this identity.
inline constexpr std::uint16_t kDefaultVendorId = 0x6F29;
inline constexpr std::uint16_t kDefaultProductId = 0x6601;

}  // namespace norbix::protocol
