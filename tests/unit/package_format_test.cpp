// Update file layout, the integrity check and the DFU suffix CRC.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "package/dfu_crc.h"
#include "package/eeprom_block.h"
#include "package/update_format.h"
#include "testkit/update_file_maker.h"

namespace norbix {
namespace {

using testkit::makeUpdateFile;
using testkit::resealUpdateFile;
using testkit::UpdateFileOptions;

std::vector<std::uint8_t> goodFile() { return makeUpdateFile({}); }

TEST(PackageCrc, MatchesTheJamcrcCheckValue) {
  // The published check value of CRC-32/JAMCRC over "123456789".
  const char* digits = "123456789";
  EXPECT_EQ(0x340BC6D9u,
            dfuCrcUpdate(0xFFFFFFFFu,
                         reinterpret_cast<const std::uint8_t*>(digits), 9));
}

TEST(PackageCrc, StoredCrcIsTheRegisterAfterTheFirst65546Bytes) {
  std::vector<std::uint8_t> file = goodFile();
  EXPECT_EQ(readLe32(file.data() + kSuffixCrcOffset),
            computeDfuCrc(file.data()));
  EXPECT_TRUE(checkDfuCrc(file.data()));
}

TEST(PackageFormat, AGoodFilePasses) {
  std::vector<std::uint8_t> file = goodFile();
  EXPECT_EQ(UpdateImageCheck::Ok, checkUpdateImage(file.data(), file.size()));
}

// Exactly sized heap buffers: a check that ran the CRC over 65550 bytes of
// the short one would read past it, which the address sanitizer reports.
TEST(PackageFormat, WrongLengthIsRefusedBeforeTheCrc) {
  std::vector<std::uint8_t> good = goodFile();
  for (std::size_t size : {std::size_t{0}, std::size_t{65549},
                           std::size_t{65551}, std::size_t{131100}}) {
    SCOPED_TRACE(size);
    std::vector<std::uint8_t> file(good.begin(),
                                   good.begin() + std::min(size, good.size()));
    file.resize(size);
    EXPECT_EQ(UpdateImageCheck::Length,
              checkUpdateImage(file.data(), file.size()));
  }
  EXPECT_EQ(UpdateImageCheck::Length, checkUpdateImage(nullptr, 65550));
}

struct MarkerCase {
  const char* name;
  std::size_t offset;
  std::uint8_t bytes[3];
};

TEST(PackageFormat, BadMarkersAreRefusedEvenWithAMatchingCrc) {
  const MarkerCase cases[] = {
      {"signature reversed", kSuffixSignatureOffset, {'D', 'F', 'U'}},
      {"signature lower case", kSuffixSignatureOffset, {'u', 'f', 'd'}},
      {"signature last byte", kSuffixSignatureOffset, {'U', 'F', 'E'}},
      {"image marker reversed", kImageMarkerOffset, {'U', 'F', 'D'}},
      {"image marker first byte", kImageMarkerOffset, {'E', 'F', 'U'}},
      {"image marker zero", kImageMarkerOffset, {0, 0, 0}},
  };
  for (const MarkerCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint8_t> file = goodFile();
    std::memcpy(file.data() + c.offset, c.bytes, 3);
    resealUpdateFile(file);
    EXPECT_EQ(UpdateImageCheck::Markers,
              checkUpdateImage(file.data(), file.size()));
  }
}

TEST(PackageFormat, OneFlippedBitAnywhereFailsTheCrc) {
  std::vector<std::size_t> positions = {
      0,       1,       0x1000,  0x1010,  kConfigRegionOffset,
      0xFF7F,  0xFFFA,
      kSuffixBcdDeviceOffset,  kSuffixBcdDeviceOffset + 1,
      kSuffixIdProductOffset,  kSuffixIdProductOffset + 1,
      kSuffixIdVendorOffset,   kSuffixIdVendorOffset + 1,
      kSuffixBcdDfuOffset,     kSuffixBcdDfuOffset + 1,
      kSuffixLengthOffset,
      kSuffixCrcOffset,        kSuffixCrcOffset + 1,
      kSuffixCrcOffset + 2,    kSuffixCrcOffset + 3};
  for (std::size_t at = 3; at < kImageMarkerOffset; at += 4093) {
    positions.push_back(at);
  }
  const std::vector<std::uint8_t> good = goodFile();
  for (std::size_t at : positions) {
    for (int bit = 0; bit < 8; ++bit) {
      SCOPED_TRACE(testing::Message() << "offset 0x" << std::hex << at
                                      << " bit " << bit);
      std::vector<std::uint8_t> file = good;
      file[at] ^= static_cast<std::uint8_t>(1u << bit);
      EXPECT_EQ(UpdateImageCheck::Crc,
                checkUpdateImage(file.data(), file.size()));
    }
  }
}

TEST(PackageFormat, UninterpretedSuffixFieldsMayHoldAnyValue) {
  struct Case {
    std::uint16_t bcdDfu;
    std::uint8_t bLength;
  };
  const Case cases[] = {{0x0100, 16}, {0x0000, 0}, {0xFFFF, 255},
                        {0x011A, 17}, {0x0200, 15}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bcdDfu << "/" << int{c.bLength});
    UpdateFileOptions options;
    options.bcdDfu = c.bcdDfu;
    options.bLength = c.bLength;
    std::vector<std::uint8_t> file = makeUpdateFile(options);
    EXPECT_EQ(c.bcdDfu, readLe16(file.data() + kSuffixBcdDfuOffset));
    EXPECT_EQ(c.bLength, file[kSuffixLengthOffset]);
    EXPECT_EQ(UpdateImageCheck::Ok,
              checkUpdateImage(file.data(), file.size()));
  }
}

TEST(PackageFormat, SuffixProductIdIsLittleEndian) {
  UpdateFileOptions options;
  options.productId = 0x2201;
  std::vector<std::uint8_t> file = makeUpdateFile(options);
  EXPECT_EQ(0x01, file[kSuffixIdProductOffset]);
  EXPECT_EQ(0x22, file[kSuffixIdProductOffset + 1]);
  EXPECT_EQ(0x2201, suffixProductId(file.data()));
}

EepromBlock validBlock() {
  EepromBlock block{};
  block.setValidMarker();
  block.setKindDigit('0');
  return block;
}

TEST(PackageEepromBlock, Validity) {
  struct Case {
    const char* name;
    std::size_t offset;
    std::uint8_t value;
    bool valid;
  };
  const Case cases[] = {
      {"kind 0", 255, '0', true},     {"kind 1", 255, '1', true},
      {"kind 2", 255, '2', false},    {"kind NUL", 255, 0, false},
      {"kind 1 as number", 255, 1, false},
      {"marker A", 252, 'A', false},  {"marker t", 253, 'a', false},
      {"marker last", 254, 'A', false},
      {"identity is free", 2, 0xFF, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EepromBlock block = validBlock();
    block[c.offset] = c.value;
    EXPECT_EQ(c.valid, block.isValid());
  }
  EXPECT_FALSE(EepromBlock{}.isValid());
}

TEST(PackageEepromBlock, FieldsSitWhereTheLayoutSays) {
  EepromBlock block{};
  block.setIdentityText("0123456789AB");
  block.setVendorId(0x2E51);
  block.setProductId(0x2201);
  block.setKindDigit('1');
  EXPECT_EQ('0', block[2]);
  EXPECT_EQ(0, block[3]);
  EXPECT_EQ('B', block[24]);
  EXPECT_EQ(0, block[25]);
  EXPECT_EQ(0x51, block[26]);
  EXPECT_EQ(0x2E, block[27]);
  EXPECT_EQ(0x01, block[28]);
  EXPECT_EQ(0x22, block[29]);
  EXPECT_EQ('1', block[255]);
  EXPECT_EQ(0x2E51, block.vendorId());
  EXPECT_EQ(0x2201, block.productId());
  char text[13];
  block.identityText(text);
  EXPECT_STREQ("0123456789AB", text);
  EXPECT_EQ('A', block.identityChar(10));
}

}  // namespace
}  // namespace norbix
