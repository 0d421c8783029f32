// The two block transfers of an update: comparing the reader's firmware
// with an image (by upload) and writing an image into the reader (by
// download). Both move the main dialog's progress bar in four equal steps.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "shell/shared_state.h"

namespace norbix {

// compareFirmware results.
inline constexpr int kCompareEqual = 0;
inline constexpr int kCompareRequestFailed = 1;
inline constexpr int kCompareDiffers = 2;

// downloadFirmware results.
inline constexpr int kDownloadDone = 0;
inline constexpr int kDownloadStatusFailed = 1;
inline constexpr int kDownloadRequestFailed = 3;

// `image` is a whole update file (65550 bytes); only its 65534 firmware
// bytes are used. Bytes 0x400 to 0x6FF and the configuration region
// 0xFE80 to 0xFF7F are the reader's own and are not compared.
int compareFirmware(platform::Platform& platform, const SharedState& state,
                    platform::HWND progressControl, const std::uint8_t* image);

// Sends the 16 firmware blocks and the zero-length block that ends the
// transfer; two status requests follow every block.
int downloadFirmware(platform::Platform& platform, const SharedState& state,
                     platform::HWND progressControl, const std::uint8_t* image);

}  // namespace norbix
