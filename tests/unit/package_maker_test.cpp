// The update-file maker that tests, dfutool and the demo build files with.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "package/dfu_crc.h"
#include "package/eeprom_block.h"
#include "package/update_format.h"
#include "package/version_text.h"
#include "testkit/update_file_maker.h"

namespace norbix {
namespace {

using testkit::makeUpdateFile;
using testkit::UpdateFileOptions;

std::vector<std::size_t> markerStarts(const std::vector<std::uint8_t>& file) {
  std::vector<std::size_t> starts;
  for (std::size_t k = 0; k <= kVersionSearchEnd; ++k) {
    if (std::memcmp(file.data() + k, "USB 2", 5) == 0) starts.push_back(k);
  }
  return starts;
}

TEST(PackageMaker, DefaultsGiveAFileThatPasses) {
  std::vector<std::uint8_t> file = makeUpdateFile({});
  ASSERT_EQ(kUpdateFileSize, file.size());
  EXPECT_EQ(UpdateImageCheck::Ok, checkUpdateImage(file.data(), file.size()));
  EXPECT_EQ(0, std::memcmp(file.data() + 0xFFFB, "DFU", 3));
  EXPECT_EQ(0x0205, readLe16(file.data() + kSuffixBcdDeviceOffset));
  EXPECT_EQ(0x1101, readLe16(file.data() + kSuffixIdProductOffset));
  EXPECT_EQ(0x0B1E, readLe16(file.data() + kSuffixIdVendorOffset));
  EXPECT_EQ(0x0100, readLe16(file.data() + kSuffixBcdDfuOffset));
  EXPECT_EQ(0, std::memcmp(file.data() + 0x10006, "UFD", 3));
  EXPECT_EQ(16, file[kSuffixLengthOffset]);
  EXPECT_EQ(std::vector<std::size_t>{0x1000}, markerStarts(file));
  EXPECT_EQ(0, std::memcmp(file.data() + 0x1010, "2.05", 4));
}

TEST(PackageMaker, ConfigurationRegionIsAValidBlock) {
  UpdateFileOptions options;
  options.identity = "0123456789AB";
  options.vendorId = 0x2E51;
  options.productId = 0x2201;
  options.kindDigit = '1';
  EepromBlock block = testkit::configBlockOf(makeUpdateFile(options));
  EXPECT_TRUE(block.isValid());
  char identity[13];
  block.identityText(identity);
  EXPECT_STREQ("0123456789AB", identity);
  for (std::size_t i = 0; i < 12; ++i) EXPECT_EQ(0, block[3 + 2 * i]);
  EXPECT_EQ(0x2E51, block.vendorId());
  EXPECT_EQ(0x2201, block.productId());
  EXPECT_EQ('1', block.kindDigit());
}

TEST(PackageMaker, SameOptionsSameBytesOtherSeedOtherFirmware) {
  UpdateFileOptions options;
  options.seed = 7;
  EXPECT_EQ(makeUpdateFile(options), makeUpdateFile(options));
  std::vector<std::uint8_t> a = makeUpdateFile(options);
  options.seed = 8;
  std::vector<std::uint8_t> b = makeUpdateFile(options);
  EXPECT_NE(0, std::memcmp(a.data(), b.data(), 0x1000));
}

TEST(PackageMaker, OnlyTheWrittenMarkerExists) {
  for (std::uint32_t seed = 0; seed < 40; ++seed) {
    UpdateFileOptions options;
    options.seed = seed;
    options.markerOffset = 0x100 + seed * 0x61D;
    std::vector<std::uint8_t> file = makeUpdateFile(options);
    ASSERT_EQ(std::vector<std::size_t>{options.markerOffset},
              markerStarts(file))
        << "seed " << seed;
    options.hasVersion = false;
    EXPECT_TRUE(markerStarts(makeUpdateFile(options)).empty()) << seed;
  }
}

// The text "USB " followed by a random '2' would be a second marker. The
// firmware bytes do not depend on where the marker goes, so find an offset
// whose byte 20 places on is a '2' and put the text there.
TEST(PackageMaker, VersionTextCannotStartASecondMarker) {
  UpdateFileOptions options;
  options.versionText = "1.00";
  std::vector<std::uint8_t> plain = makeUpdateFile(options);
  std::size_t offset = 0;
  for (std::size_t k = 0x100; k < 0xF000 && offset == 0; ++k) {
    if (plain[k + 20] == '2') offset = k;
  }
  ASSERT_NE(0u, offset);
  options.versionText = "USB ";
  options.markerOffset = offset;
  std::vector<std::uint8_t> file = makeUpdateFile(options);
  EXPECT_EQ(std::vector<std::size_t>{offset}, markerStarts(file));
  EXPECT_EQ(0, std::memcmp(file.data() + offset + 16, "USB ", 4));
  EXPECT_EQ(UpdateImageCheck::Ok, checkUpdateImage(file.data(), file.size()));
}

TEST(PackageMaker, RefusesOptionsItCannotHonour) {
  struct Case {
    const char* name;
    void (*change)(UpdateFileOptions&);
    bool ok;
  };
  const Case cases[] = {
      {"defaults", [](UpdateFileOptions&) {}, true},
      {"short version", [](UpdateFileOptions& o) { o.versionText = "2.0"; },
       false},
      {"long version", [](UpdateFileOptions& o) { o.versionText = "2.050"; },
       false},
      {"long version without marker",
       [](UpdateFileOptions& o) {
         o.versionText = "2.050";
         o.hasVersion = false;
       },
       true},
      {"last marker offset",
       [](UpdateFileOptions& o) { o.markerOffset = 0xFE6C; }, true},
      {"text would reach the configuration region",
       [](UpdateFileOptions& o) { o.markerOffset = 0xFE6D; }, false},
      {"marker past the file",
       [](UpdateFileOptions& o) { o.markerOffset = 0x20000; }, false},
      {"short identity", [](UpdateFileOptions& o) { o.identity = "0001"; },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UpdateFileOptions options;
    c.change(options);
    EXPECT_EQ(c.ok, testkit::checkOptions(options).empty());
    EXPECT_EQ(c.ok ? kUpdateFileSize : 0, makeUpdateFile(options).size());
  }
}

TEST(PackageMaker, DatTextIsCrLfLinesOfTwoDigits) {
  const std::uint8_t values[] = {0x00, 0x4A, 0xFF};
  EXPECT_EQ("00\r\n4A\r\nFF\r\n", testkit::makeDatText(values, 3));
  EXPECT_EQ("", testkit::makeDatText(values, 0));
}

}  // namespace
}  // namespace norbix
