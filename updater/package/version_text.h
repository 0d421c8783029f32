// The firmware version text inside an update image, and the version pass
// that turns the loaded images into version numbers, product ids and the
// display text.
#pragma once

#include <cstddef>
#include <cstdint>

namespace norbix {

inline constexpr char kVersionMarker[] = "USB 2";
inline constexpr std::size_t kVersionMarkerSize = 5;
// The last offset at which a marker may start.
inline constexpr std::size_t kVersionSearchEnd = 0xFE5F;
// The text begins this far from the marker's first byte.
inline constexpr std::size_t kVersionTextDistance = 16;
inline constexpr std::size_t kVersionTextSize = 4;

inline constexpr std::size_t kVersionPassMaxFiles = 2;

// Finds the first marker starting at 0 to 0xFE5F of a 65550-byte image and
// copies the four bytes 16 past its start. `text` is not terminated and is
// left alone when there is no marker.
bool findVersionText(const std::uint8_t* image, char text[kVersionTextSize]);

// (c0 - '0') * 256 + (c2 - '0') * 16 + (c3 - '0'), modulo 65536; the point
// is skipped, so "2.05" gives 0x0205 and "2.0A" gives 0x0211.
std::uint16_t versionNumber(const char text[kVersionTextSize]);

struct FileVersion {
  std::uint16_t number;
  std::uint16_t productId;  // the suffix's idProduct
  char text[kVersionTextSize + 1];
};

// Runs over images[0] to images[count - 1] in order and fills out[slot] for
// each image with a version text. Stops with false at the first image without
// one (or a missing image); the slots before it keep what was written. False
// with nothing written when count exceeds kVersionPassMaxFiles.
bool versionPass(const std::uint8_t* const images[], std::size_t count,
                 FileVersion out[]);

// The display text of a successful pass: oneFileFormat with the text of
// slot 0 when count is 1, twoFileFormat with slots 0 and 1 when count is 2.
// Each format takes its texts as %s. The result is cut to fit outSize and
// always terminated; false when it was cut or count is neither 1 nor 2 (out
// is then empty).
bool formatVersionDisplay(const char* oneFileFormat, const char* twoFileFormat,
                          const FileVersion versions[], std::size_t count,
                          char* out, std::size_t outSize);

}  // namespace norbix
