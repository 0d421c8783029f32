// The reader's 256-byte configuration block. The same bytes live in the
// reader's EEPROM, at 0xFE80 of every update image, in the dat file and in the
// saved registry copy, so one layout serves them all.
#pragma once

#include <cstddef>
#include <cstdint>

namespace norbix {

struct EepromBlock {
  static constexpr std::size_t kSize = 256;
  // Twelve two-byte characters, low byte first; the low bytes are upper-case
  // hexadecimal digits.
  static constexpr std::size_t kIdentityOffset = 2;
  static constexpr std::size_t kIdentityChars = 12;
  static constexpr std::size_t kIdentitySize = 2 * kIdentityChars;
  static constexpr std::size_t kVendorIdOffset = 26;
  static constexpr std::size_t kProductIdOffset = 28;
  static constexpr std::size_t kValidMarkerOffset = 252;  // "ata"
  static constexpr std::size_t kKindDigitOffset = 255;

  std::uint8_t bytes[kSize];

  std::uint8_t& operator[](std::size_t i) { return bytes[i]; }
  std::uint8_t operator[](std::size_t i) const { return bytes[i]; }

  std::uint16_t vendorId() const { return word(kVendorIdOffset); }
  std::uint16_t productId() const { return word(kProductIdOffset); }
  std::uint8_t kindDigit() const { return bytes[kKindDigitOffset]; }
  // Low byte of identity character `index` (0 to 11).
  std::uint8_t identityChar(std::size_t index) const {
    return bytes[kIdentityOffset + 2 * index];
  }
  // The twelve low bytes followed by a NUL.
  void identityText(char out[kIdentityChars + 1]) const;

  // "ata" at 252 and a kind digit of '0' or '1'.
  bool isValid() const;

  void setVendorId(std::uint16_t id) { setWord(kVendorIdOffset, id); }
  void setProductId(std::uint16_t id) { setWord(kProductIdOffset, id); }
  void setKindDigit(std::uint8_t digit) { bytes[kKindDigitOffset] = digit; }
  // Writes twelve characters as two-byte characters with a zero high byte.
  void setIdentityText(const char text[kIdentityChars]);
  void setValidMarker();

 private:
  std::uint16_t word(std::size_t at) const {
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
  }
  void setWord(std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<std::uint8_t>(value & 0xFF);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
  }
};

static_assert(sizeof(EepromBlock) == EepromBlock::kSize,
              "EepromBlock is exactly the 256 stored bytes");

}  // namespace norbix
