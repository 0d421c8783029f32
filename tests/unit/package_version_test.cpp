// The version text of an image, the version pass and its display text.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "package/update_format.h"
#include "package/version_text.h"
#include "testkit/update_file_maker.h"

namespace norbix {
namespace {

using testkit::makeUpdateFile;
using testkit::UpdateFileOptions;

std::vector<std::uint8_t> fileWith(const char* version, std::size_t markerAt,
                                   std::uint16_t productId = 0x1101) {
  UpdateFileOptions options;
  options.versionText = version;
  options.markerOffset = markerAt;
  options.productId = productId;
  return makeUpdateFile(options);
}

std::vector<std::uint8_t> fileWithoutVersion() {
  UpdateFileOptions options;
  options.hasVersion = false;
  return makeUpdateFile(options);
}

TEST(PackageVersionText, MarkerPositions) {
  struct Case {
    std::size_t markerAt;
    bool found;
  };
  const Case cases[] = {{0, true},          {0x1000, true}, {0xFE5E, true},
                        {0xFE5F, true},     {0xFE60, false},
                        {0xFE6C, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.markerAt);
    std::vector<std::uint8_t> file = fileWith("3.60", c.markerAt);
    ASSERT_EQ(kUpdateFileSize, file.size());
    char text[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(c.found, findVersionText(file.data(), text));
    EXPECT_EQ(std::string(c.found ? "3.60" : "xxxx"), std::string(text, 4));
  }
}

TEST(PackageVersionText, NoMarkerAtAll) {
  std::vector<std::uint8_t> file = fileWithoutVersion();
  char text[4];
  EXPECT_FALSE(findVersionText(file.data(), text));
}

TEST(PackageVersionText, FirstMarkerWins) {
  std::vector<std::uint8_t> file = fileWith("2.05", 0x2000);
  std::memcpy(file.data() + 0x0800, "USB 2", 5);
  std::memcpy(file.data() + 0x0810, "1.11", 4);
  char text[4];
  ASSERT_TRUE(findVersionText(file.data(), text));
  EXPECT_EQ("1.11", std::string(text, 4));
}

TEST(PackageVersionText, AlmostMarkersDoNotCount) {
  std::vector<std::uint8_t> file = fileWith("2.05", 0x2000);
  std::memcpy(file.data() + 0x0800, "USB 3", 5);
  std::memcpy(file.data() + 0x0900, "usb 2", 5);
  std::memcpy(file.data() + 0x0A00, "USB2 ", 5);
  char text[4];
  ASSERT_TRUE(findVersionText(file.data(), text));
  EXPECT_EQ("2.05", std::string(text, 4));
}

TEST(PackageVersionNumber, Table) {
  struct Case {
    const char* text;
    std::uint16_t number;
  };
  const Case cases[] = {
      {"2.05", 0x0205}, {"3.60", 0x0360}, {"2.0A", 0x0211},
      {"1.43", 0x0143}, {"0.00", 0x0000}, {"9.99", 0x0999},
      {"2x05", 0x0205},  // the second character is skipped
      {" .00", 0xF000},  // (0x20 - 0x30) * 256 wraps modulo 65536
      {"0.0/", 0xFFFF},
      {"\xFF.\xFF\xFF", 0xDCBF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.number, versionNumber(c.text));
  }
}

TEST(PackageVersionPass, OneFile) {
  std::vector<std::uint8_t> file = fileWith("2.05", 0x1000, 0x2201);
  const std::uint8_t* images[] = {file.data()};
  FileVersion out[2] = {};
  ASSERT_TRUE(versionPass(images, 1, out));
  EXPECT_EQ(0x0205, out[0].number);
  EXPECT_EQ(0x2201, out[0].productId);
  EXPECT_STREQ("2.05", out[0].text);
  EXPECT_EQ(0, out[1].number);
}

TEST(PackageVersionPass, TwoFiles) {
  std::vector<std::uint8_t> a = fileWith("1.43", 0x1000, 0x2201);
  std::vector<std::uint8_t> b = fileWith("1.50", 0x3000, 0x2206);
  const std::uint8_t* images[] = {a.data(), b.data()};
  FileVersion out[2] = {};
  ASSERT_TRUE(versionPass(images, 2, out));
  EXPECT_EQ(0x0143, out[0].number);
  EXPECT_EQ(0x0150, out[1].number);
  EXPECT_EQ(0x2201, out[0].productId);
  EXPECT_EQ(0x2206, out[1].productId);
  EXPECT_STREQ("1.43", out[0].text);
  EXPECT_STREQ("1.50", out[1].text);
}

TEST(PackageVersionPass, FailingSecondFileKeepsTheFirst) {
  std::vector<std::uint8_t> a = fileWith("2.05", 0x1000, 0x2201);
  std::vector<std::uint8_t> b = fileWith("2.31", 0xFE60, 0x2206);
  const std::uint8_t* images[] = {a.data(), b.data()};
  FileVersion out[2] = {{0x1111, 0x2222, "zzzz"}, {0x3333, 0x4444, "yyyy"}};
  EXPECT_FALSE(versionPass(images, 2, out));
  EXPECT_EQ(0x0205, out[0].number);
  EXPECT_EQ(0x2201, out[0].productId);
  EXPECT_STREQ("2.05", out[0].text);
  EXPECT_EQ(0x3333, out[1].number);
  EXPECT_EQ(0x4444, out[1].productId);
  EXPECT_STREQ("yyyy", out[1].text);
}

TEST(PackageVersionPass, FailingFirstFileStopsThePass) {
  std::vector<std::uint8_t> a = fileWithoutVersion();
  std::vector<std::uint8_t> b = fileWith("2.31", 0x1000);
  const std::uint8_t* images[] = {a.data(), b.data()};
  FileVersion out[2] = {{1, 2, "zzzz"}, {3, 4, "yyyy"}};
  EXPECT_FALSE(versionPass(images, 2, out));
  EXPECT_EQ(1, out[0].number);
  EXPECT_EQ(3, out[1].number) << "the second slot is not looked at";
  const std::uint8_t* missing[] = {nullptr};
  EXPECT_FALSE(versionPass(missing, 1, out));
  const std::uint8_t* three[] = {b.data(), b.data(), b.data()};
  EXPECT_FALSE(versionPass(three, 3, out));
  EXPECT_EQ(1, out[0].number);
}

TEST(PackageVersionDisplay, FormatsOneAndTwoFiles) {
  const FileVersion versions[] = {{0x0143, 0, "1.43"}, {0x0150, 0, "1.50"}};
  const char* one = "Firmware Version : 0%s";
  const char* two = "Firmware Version : 0%s/0%s";
  char out[64];
  ASSERT_TRUE(formatVersionDisplay(one, two, versions, 1, out, sizeof out));
  EXPECT_STREQ("Firmware Version : 01.43", out);
  ASSERT_TRUE(formatVersionDisplay(one, two, versions, 2, out, sizeof out));
  EXPECT_STREQ("Firmware Version : 01.43/01.50", out);
  EXPECT_FALSE(formatVersionDisplay(one, two, versions, 0, out, sizeof out));
  EXPECT_STREQ("", out);
  EXPECT_FALSE(formatVersionDisplay(one, two, versions, 3, out, sizeof out));
}

// Exactly sized heap buffers so that an overrun is caught.
TEST(PackageVersionDisplay, CutsToTheBufferAndSaysSo) {
  const FileVersion versions[] = {{0x0205, 0, "2.05"}};
  const std::string full = "Firmware Version : 02.05";
  for (std::size_t size = 1; size <= full.size() + 1; ++size) {
    SCOPED_TRACE(size);
    std::unique_ptr<char[]> out(new char[size]);
    bool fits = size > full.size();
    EXPECT_EQ(fits, formatVersionDisplay("Firmware Version : 0%s", "%s%s",
                                         versions, 1, out.get(), size));
    EXPECT_EQ(full.substr(0, size - 1), std::string(out.get()));
  }
  EXPECT_FALSE(formatVersionDisplay("%s", "%s%s", versions, 1, nullptr, 0));
}

}  // namespace
}  // namespace norbix
