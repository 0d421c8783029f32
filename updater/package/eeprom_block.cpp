#include "package/eeprom_block.h"

namespace norbix {

void EepromBlock::identityText(char out[kIdentityChars + 1]) const {
  for (std::size_t i = 0; i < kIdentityChars; ++i) {
    out[i] = static_cast<char>(identityChar(i));
  }
  out[kIdentityChars] = '\0';
}

bool EepromBlock::isValid() const {
  return bytes[kValidMarkerOffset] == 'a' &&
         bytes[kValidMarkerOffset + 1] == 't' &&
         bytes[kValidMarkerOffset + 2] == 'a' &&
         (kindDigit() == '0' || kindDigit() == '1');
}

void EepromBlock::setIdentityText(const char text[kIdentityChars]) {
  for (std::size_t i = 0; i < kIdentityChars; ++i) {
    bytes[kIdentityOffset + 2 * i] = static_cast<std::uint8_t>(text[i]);
    bytes[kIdentityOffset + 2 * i + 1] = 0;
  }
}

void EepromBlock::setValidMarker() {
  bytes[kValidMarkerOffset] = 'a';
  bytes[kValidMarkerOffset + 1] = 't';
  bytes[kValidMarkerOffset + 2] = 'a';
}

}  // namespace norbix
