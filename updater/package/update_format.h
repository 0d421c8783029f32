// Byte layout of an update file (firmware image, configuration region and the
// USB DFU 1.1 file suffix) and the integrity check over a file in memory.
// Nothing here knows where the bytes came from.
#pragma once

#include <cstddef>
#include <cstdint>

namespace norbix {

inline constexpr std::size_t kUpdateFileSize = 65550;
// The bytes the update sequence sends to the reader; the suffix follows.
inline constexpr std::size_t kFirmwareSize = 65534;
inline constexpr std::size_t kConfigRegionOffset = 0xFE80;
// "DFU": the last three bytes of the firmware image.
inline constexpr std::size_t kImageMarkerOffset = 0xFFFB;

// The USB DFU 1.1 file suffix, fields in file order.
inline constexpr std::size_t kSuffixOffset = 0xFFFE;
inline constexpr std::size_t kSuffixBcdDeviceOffset = 0xFFFE;
inline constexpr std::size_t kSuffixIdProductOffset = 0x10000;
inline constexpr std::size_t kSuffixIdVendorOffset = 0x10002;
inline constexpr std::size_t kSuffixBcdDfuOffset = 0x10004;
inline constexpr std::size_t kSuffixSignatureOffset = 0x10006;
inline constexpr std::size_t kSuffixLengthOffset = 0x10009;
inline constexpr std::size_t kSuffixCrcOffset = 0x1000A;
inline constexpr std::size_t kSuffixSize = 16;
// Everything before dwCRC, which dwCRC protects.
inline constexpr std::size_t kCrcCoveredSize = kSuffixCrcOffset;

inline constexpr std::size_t kMarkerSize = 3;
inline constexpr std::uint8_t kImageMarker[kMarkerSize] = {'D', 'F', 'U'};
// The suffix stores "DFU" back to front.
inline constexpr std::uint8_t kSuffixSignature[kMarkerSize] = {0x55, 0x46,
                                                               0x44};

static_assert(kSuffixOffset + kSuffixSize == kUpdateFileSize,
              "the suffix ends the file");
static_assert(kImageMarkerOffset + kMarkerSize == kSuffixOffset,
              "the image marker ends the firmware image");

enum class UpdateImageCheck { Ok, Length, Markers, Crc };

// Length first, so a file of the wrong size is never read past its end or
// run through the CRC; then the two markers; then the CRC.
UpdateImageCheck checkUpdateImage(const std::uint8_t* bytes, std::size_t size);

// The suffix's idProduct of a 65550-byte file.
std::uint16_t suffixProductId(const std::uint8_t* file);

std::uint16_t readLe16(const std::uint8_t* at);
std::uint32_t readLe32(const std::uint8_t* at);

}  // namespace norbix
