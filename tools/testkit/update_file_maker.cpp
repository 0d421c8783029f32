#include "testkit/update_file_maker.h"

#include <cstdio>
#include <cstring>

#include "package/dfu_crc.h"
#include "package/update_format.h"
#include "package/version_text.h"

namespace norbix::testkit {

namespace {

// xorshift32: tiny, deterministic and the same on every host.
class Prng {
 public:
  explicit Prng(std::uint32_t seed) : state_(seed ? seed : 0x9E3779B9u) {}
  std::uint8_t nextByte() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return static_cast<std::uint8_t>(state_ >> 24);
  }

 private:
  std::uint32_t state_;
};

void putLe16(std::uint8_t* at, std::uint16_t value) {
  at[0] = static_cast<std::uint8_t>(value & 0xFF);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

void putLe32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    at[i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

void fillFirmware(std::uint8_t* file, Prng& prng) {
  for (std::size_t i = 0; i < kFirmwareSize; ++i) {
    std::uint8_t b = prng.nextByte();
    file[i] = b == 'U' ? 'V' : b;
  }
}

void writeVersion(std::uint8_t* file, const UpdateFileOptions& options) {
  std::uint8_t* marker = file + options.markerOffset;
  std::memcpy(marker, kVersionMarker, kVersionMarkerSize);
  std::memcpy(marker + kVersionTextDistance, options.versionText.data(),
              kVersionTextSize);
}

// A version text holding 'U' could start a second "USB 2" with the random
// bytes after it; the firmware bytes of such a match are changed so that the
// marker written on purpose stays the only one.
void breakStrayMarkers(std::uint8_t* file, const UpdateFileOptions& options) {
  std::size_t textStart = options.markerOffset + kVersionTextDistance;
  std::size_t textEnd = textStart + kVersionTextSize;
  for (std::size_t k = 0; k <= kVersionSearchEnd; ++k) {
    if (k == options.markerOffset ||
        std::memcmp(file + k, kVersionMarker, kVersionMarkerSize) != 0) {
      continue;
    }
    for (std::size_t i = k; i < k + kVersionMarkerSize; ++i) {
      if (i < textStart || i >= textEnd) {
        file[i] = 'V';
        break;
      }
    }
  }
}

void writeConfigBlock(std::uint8_t* file, const UpdateFileOptions& options) {
  EepromBlock block;
  std::memcpy(block.bytes, file + kConfigRegionOffset, EepromBlock::kSize);
  block.setIdentityText(options.identity.data());
  block.setVendorId(options.vendorId);
  block.setProductId(options.productId);
  block.setValidMarker();
  block.setKindDigit(static_cast<std::uint8_t>(options.kindDigit));
  std::memcpy(file + kConfigRegionOffset, block.bytes, EepromBlock::kSize);
}

void writeSuffix(std::uint8_t* file, const UpdateFileOptions& options) {
  std::memcpy(file + kImageMarkerOffset, kImageMarker, kMarkerSize);
  std::uint16_t bcdDevice =
      options.hasVersion ? versionNumber(options.versionText.data()) : 0xFFFF;
  putLe16(file + kSuffixBcdDeviceOffset, bcdDevice);
  putLe16(file + kSuffixIdProductOffset, options.productId);
  putLe16(file + kSuffixIdVendorOffset, options.vendorId);
  putLe16(file + kSuffixBcdDfuOffset, options.bcdDfu);
  std::memcpy(file + kSuffixSignatureOffset, kSuffixSignature, kMarkerSize);
  file[kSuffixLengthOffset] = options.bLength;
}

}  // namespace

std::size_t lastMarkerOffset() {
  return kConfigRegionOffset - kVersionTextDistance - kVersionTextSize;
}

std::string checkOptions(const UpdateFileOptions& options) {
  if (options.hasVersion) {
    if (options.versionText.size() != kVersionTextSize) {
      return "the version text must be exactly 4 characters";
    }
    if (options.markerOffset > lastMarkerOffset()) {
      char text[96];
      std::snprintf(text, sizeof text,
                    "the marker offset must be at most 0x%zX so that its "
                    "text fits",
                    lastMarkerOffset());
      return text;
    }
  }
  if (options.identity.size() != EepromBlock::kIdentityChars) {
    return "the identity must be exactly 12 characters";
  }
  return {};
}

std::vector<std::uint8_t> makeUpdateFile(const UpdateFileOptions& options) {
  if (!checkOptions(options).empty()) return {};
  std::vector<std::uint8_t> file(kUpdateFileSize);
  Prng prng(options.seed);
  fillFirmware(file.data(), prng);
  if (options.hasVersion) {
    writeVersion(file.data(), options);
    breakStrayMarkers(file.data(), options);
  }
  writeConfigBlock(file.data(), options);
  writeSuffix(file.data(), options);
  resealUpdateFile(file);
  return file;
}

void resealUpdateFile(std::vector<std::uint8_t>& file) {
  if (file.size() < kUpdateFileSize) return;
  putLe32(file.data() + kSuffixCrcOffset, computeDfuCrc(file.data()));
}

EepromBlock configBlockOf(const std::vector<std::uint8_t>& file) {
  EepromBlock block{};
  if (file.size() >= kConfigRegionOffset + EepromBlock::kSize) {
    std::memcpy(block.bytes, file.data() + kConfigRegionOffset,
                EepromBlock::kSize);
  }
  return block;
}

std::string makeDatText(const std::uint8_t* values, std::size_t count) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(count * 4);
  for (std::size_t i = 0; i < count; ++i) {
    text += kDigits[values[i] >> 4];
    text += kDigits[values[i] & 0xF];
    text += "\r\n";
  }
  return text;
}

std::string makeDatText(const EepromBlock& block, std::size_t count) {
  if (count > EepromBlock::kSize) count = EepromBlock::kSize;
  return makeDatText(block.bytes, count);
}

}  // namespace norbix::testkit
