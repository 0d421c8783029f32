#include "package/dfu_crc.h"

#include <array>

#include "package/update_format.h"

namespace norbix {

namespace {

constexpr std::uint32_t kReflectedPolynomial = 0xEDB88320u;

constexpr std::array<std::uint32_t, 256> makeCrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t r = n;
    for (int bit = 0; bit < 8; ++bit) {
      r = (r & 1) ? (r >> 1) ^ kReflectedPolynomial : r >> 1;
    }
    table[n] = r;
  }
  return table;
}

// Built by the compiler: constant data, not state.
constexpr std::array<std::uint32_t, 256> kCrcTable = makeCrcTable();

}  // namespace

std::uint32_t dfuCrcUpdate(std::uint32_t crc, const std::uint8_t* data,
                           std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    crc = (crc >> 8) ^ kCrcTable[(crc ^ data[i]) & 0xFF];
  }
  return crc;
}

std::uint32_t computeDfuCrc(const std::uint8_t* file) {
  return dfuCrcUpdate(0xFFFFFFFFu, file, kCrcCoveredSize);
}

bool checkDfuCrc(const std::uint8_t* file) {
  return dfuCrcUpdate(0xFFFFFFFFu, file, kUpdateFileSize) == 0;
}

}  // namespace norbix
