#include "package/update_format.h"

#include <cstring>

#include "package/dfu_crc.h"

namespace norbix {

std::uint16_t readLe16(const std::uint8_t* at) {
  return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

std::uint32_t readLe32(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0]) |
         (static_cast<std::uint32_t>(at[1]) << 8) |
         (static_cast<std::uint32_t>(at[2]) << 16) |
         (static_cast<std::uint32_t>(at[3]) << 24);
}

std::uint16_t suffixProductId(const std::uint8_t* file) {
  return readLe16(file + kSuffixIdProductOffset);
}

static bool hasMarkers(const std::uint8_t* file) {
  return std::memcmp(file + kImageMarkerOffset, kImageMarker, kMarkerSize) ==
             0 &&
         std::memcmp(file + kSuffixSignatureOffset, kSuffixSignature,
                     kMarkerSize) == 0;
}

UpdateImageCheck checkUpdateImage(const std::uint8_t* bytes,
                                  std::size_t size) {
  if (bytes == nullptr || size != kUpdateFileSize) {
    return UpdateImageCheck::Length;
  }
  if (!hasMarkers(bytes)) return UpdateImageCheck::Markers;
  if (!checkDfuCrc(bytes)) return UpdateImageCheck::Crc;
  return UpdateImageCheck::Ok;
}

}  // namespace norbix
