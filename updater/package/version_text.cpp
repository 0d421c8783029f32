#include "package/version_text.h"

#include <cstdio>
#include <cstring>

#include "package/update_format.h"

namespace norbix {

static_assert(kVersionSearchEnd + kVersionTextDistance + kVersionTextSize <=
                  kUpdateFileSize,
              "a text after the last marker position lies inside the image");

bool findVersionText(const std::uint8_t* image, char text[kVersionTextSize]) {
  for (std::size_t k = 0; k <= kVersionSearchEnd; ++k) {
    if (std::memcmp(image + k, kVersionMarker, kVersionMarkerSize) == 0) {
      std::memcpy(text, image + k + kVersionTextDistance, kVersionTextSize);
      return true;
    }
  }
  return false;
}

std::uint16_t versionNumber(const char text[kVersionTextSize]) {
  // Character codes are taken as unsigned bytes; the unsigned arithmetic
  // wraps exactly as "modulo 65536" asks for any byte values.
  auto code = [&](int i) {
    return static_cast<unsigned>(static_cast<unsigned char>(text[i]));
  };
  unsigned value = (code(0) - 0x30u) * 256u + (code(2) - 0x30u) * 16u +
                   (code(3) - 0x30u);
  return static_cast<std::uint16_t>(value & 0xFFFFu);
}

bool versionPass(const std::uint8_t* const images[], std::size_t count,
                 FileVersion out[]) {
  if (count > kVersionPassMaxFiles) return false;
  for (std::size_t slot = 0; slot < count; ++slot) {
    char text[kVersionTextSize];
    if (images[slot] == nullptr || !findVersionText(images[slot], text)) {
      return false;
    }
    out[slot].number = versionNumber(text);
    out[slot].productId = suffixProductId(images[slot]);
    std::memcpy(out[slot].text, text, kVersionTextSize);
    out[slot].text[kVersionTextSize] = '\0';
  }
  return true;
}

bool formatVersionDisplay(const char* oneFileFormat, const char* twoFileFormat,
                          const FileVersion versions[], std::size_t count,
                          char* out, std::size_t outSize) {
  if (out == nullptr || outSize == 0) return false;
  out[0] = '\0';
  int written = -1;
  if (count == 1) {
    written = std::snprintf(out, outSize, oneFileFormat, versions[0].text);
  } else if (count == 2) {
    written = std::snprintf(out, outSize, twoFileFormat, versions[0].text,
                            versions[1].text);
  }
  // Some C runtimes leave a cut result unterminated.
  out[outSize - 1] = '\0';
  if (written < 0) {
    out[0] = '\0';
    return false;
  }
  return static_cast<std::size_t>(written) < outSize;
}

}  // namespace norbix
