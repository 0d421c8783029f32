// The SCSI commands the device code sends itself, and the one exchange that
// carries such a command to the reader's disk and brings the answer back:
// through the SCSI pass-through on NT-family Windows, through the utility
// VxD on Windows 98/Me.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/devio.h"
#include "platform/kernel.h"
#include "shell/shared_state.h"

namespace norbix {

inline constexpr std::size_t kCdbLength = 12;

enum ScsiCommand : int {
  kScsiRequestSense = 0,  // allocation length 18
  kScsiInquiry = 1,       // allocation length 36
  kScsiVendorStatus = 2,  // operation code C1, allocation length 8
};
inline constexpr int kScsiCommandCount = 3;

// Six-byte commands padded with zeros to the CDB length of 12 that every
// exchange uses; the data phase always runs from the device to the host.
extern const std::uint8_t scsiCommandTable[kScsiCommandCount][kCdbLength];

inline constexpr std::size_t kRequestSenseLength = 18;
inline constexpr std::size_t kInquiryLength = 36;
inline constexpr std::size_t kSenseAreaLength = 18;

// The pass-through block: the published structure, the block's own length,
// the sense area, then the data area. The block is sizeof + L bytes long, so
// the data area (L bytes from offset 66) leaves two spare bytes at its end.
struct PassThroughRequest {
  platform::SCSI_PASS_THROUGH32 header;
  std::uint32_t totalLength;  // 68 + L: the exchange's buffer sizes
  std::uint8_t sense[kSenseAreaLength];
  std::uint8_t data[2];
};
static_assert(sizeof(PassThroughRequest) == 68, "PassThroughRequest head");
static_assert(offsetof(PassThroughRequest, totalLength) == 44, "");
static_assert(offsetof(PassThroughRequest, sense) == 48, "");
static_assert(offsetof(PassThroughRequest, data) == 66, "");

inline constexpr std::uint32_t kPassThroughTimeoutSeconds = 20;

// The utility VxD's request: a drive number, then the published request
// block whose DataBuffer is the caller's buffer.
struct VxdScsiRequest {
  std::uint16_t driveNumber;
  std::uint16_t reserved;
  platform::SCSI_REQUEST_BLOCK32 srb;
};
static_assert(sizeof(VxdScsiRequest) == 68, "VxdScsiRequest layout");
static_assert(offsetof(VxdScsiRequest, srb) == 4, "");
static_assert(offsetof(VxdScsiRequest, srb.SrbFlags) == 16, "");
static_assert(offsetof(VxdScsiRequest, srb.DataBuffer) == 28, "");
static_assert(offsetof(VxdScsiRequest, srb.SenseInfoBuffer) == 32, "");
static_assert(offsetof(VxdScsiRequest, srb.QueueSortKey) == 48, "");
static_assert(offsetof(VxdScsiRequest, srb.Cdb) == 52, "");

// The request blocks as the exchange fills them (before the driver or the
// VxD has seen them); public so that their bytes can be checked.
PassThroughRequest makePassThroughRequest(int command, std::uint32_t length);
VxdScsiRequest makeVxdScsiRequest(int command, std::uint8_t driveNumber,
                                  std::uint32_t length, const void* data,
                                  const void* sense);

// Sends `command` on `channel` and receives up to `length` bytes into
// `data`. The variant follows state.isWin9x. On a failed system request the
// system error code goes to *error; nothing else writes it.
int exchangeScsiCommand(platform::Kernel& kernel, const SharedState& state,
                        platform::Handle channel, int command,
                        std::uint32_t* error, std::uint32_t length,
                        void* data);

// 1 when the reader's vendor status says that this updater may not update
// it (bit 6 of the eighth answer byte); 0 otherwise and when the exchange
// fails.
int queryNotUpdatable(platform::Kernel& kernel, const SharedState& state,
                      platform::Handle channel, std::uint32_t* error);

// REQUEST SENSE on readerHandle into a buffer that is dropped.
int sendRequestSense(platform::Kernel& kernel, const SharedState& state);

}  // namespace norbix
