// Dat text parsing and the dat file's name.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "package/dat_text.h"
#include "package/eeprom_block.h"
#include "testkit/update_file_maker.h"

namespace norbix {
namespace {

constexpr std::uint8_t kUntouched = 0xEE;

EepromBlock untouchedBlock() {
  EepromBlock block;
  std::memset(block.bytes, kUntouched, sizeof block.bytes);
  return block;
}

// The text goes into a heap buffer of exactly its size, so a parser that
// looks one byte too far is caught by the address sanitizer.
EepromBlock parse(const std::string& text) {
  std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[text.size() + 1]);
  std::memcpy(exact.get(), text.data(), text.size());
  EepromBlock block = untouchedBlock();
  parseDatText(text.empty() ? nullptr : exact.get(), text.size(), block);
  return block;
}

void expectValues(const EepromBlock& block,
                  const std::vector<std::uint8_t>& values) {
  for (std::size_t i = 0; i < EepromBlock::kSize; ++i) {
    SCOPED_TRACE(testing::Message() << "byte " << i);
    EXPECT_EQ(i < values.size() ? values[i] : kUntouched, block[i]);
  }
}

TEST(PackageHexPair, Table) {
  struct Case {
    char c1, c2;
    bool ok;
    std::uint8_t value;
  };
  const Case cases[] = {
      {'0', '0', true, 0x00}, {'4', 'A', true, 0x4A}, {'0', 'f', true, 0x0F},
      {'F', 'f', true, 0xFF}, {'a', '9', true, 0xA9}, {'9', '9', true, 0x99},
      {'g', '0', false, 0},   {'0', 'G', false, 0},   {' ', '1', false, 0},
      {'1', '\0', false, 0},  {'z', 'z', false, 0},   {'/', '0', false, 0},
      {':', '0', false, 0},   {'@', '0', false, 0},   {'`', '0', false, 0},
      {'\xC1', '0', false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.c1 << c.c2);
    std::uint8_t result = 0x5A;
    EXPECT_EQ(c.ok, parseHexPair(c.c1, c.c2, &result));
    EXPECT_EQ(c.ok ? c.value : 0x5A, result) << "written only on success";
  }
}

struct DatCase {
  const char* name;
  std::string text;
  std::vector<std::uint8_t> values;
};

std::string lines(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    char line[8];
    std::snprintf(line, sizeof line, "%02X\r\n", (i * 7 + 1) & 0xFF);
    text += line;
  }
  return text;
}

std::vector<std::uint8_t> lineValues(int count) {
  std::vector<std::uint8_t> values;
  for (int i = 0; i < count; ++i) {
    values.push_back(static_cast<std::uint8_t>((i * 7 + 1) & 0xFF));
  }
  return values;
}

std::vector<DatCase> datCases() {
  using std::string;
  return {
      {"stops at a line that is not hex", "4A\r\n0f\r\nzz\r\n10\r\n",
       {0x4A, 0x0F}},
      {"rest of the line is ignored", "3C 00 comment\r\n", {0x3C}},
      {"no final CR LF", "11\r\n22", {0x11, 0x22}},
      {"empty file", "", {}},
      {"one digit only", "1", {}},
      {"one digit line", "11\r\n2\r\n33\r\n", {0x11}},
      {"empty line stops", "11\r\n\r\n22\r\n", {0x11}},
      {"leading space stops", "11\r\n 22\r\n", {0x11}},
      {"NUL at a line start", string("11\r\n\0" "22\r\n", 9), {0x11}},
      {"NUL inside a line", string("11 x\0\r\n22\r\n", 11), {0x11}},
      {"NUL as second digit", string("11\r\n2\0\r\n", 8), {0x11}},
      {"Ctrl-Z at a line start", "11\r\n\x1A" "22\r\n", {0x11}},
      {"Ctrl-Z inside a line", "11 \x1A\r\n22\r\n", {0x11}},
      {"lone CR swallows the next byte", "11\r22\r\n33\r\n", {0x11, 0x33}},
      {"lone CR swallows a NUL", string("11\r\0\r\n22", 8), {0x11, 0x22}},
      {"CR CR LF runs on", "11\r\r\n22\r\n33", {0x11, 0x33}},
      {"CR as the last byte", "11\r", {0x11}},
      {"CR LF as the last bytes", "11\r\n", {0x11}},
      {"LF alone does not end a line", "11\n22\n", {0x11}},
      {"value right after a lone CR pair", "11\rx44\r\n", {0x11}},
      {"256 lines", lines(256), lineValues(256)},
      {"300 lines give 256 values", lines(300), lineValues(256)},
      {"last value without CR LF", lines(255) + "AB", [] {
         std::vector<std::uint8_t> v = lineValues(255);
         v.push_back(0xAB);
         return v;
       }()},
  };
}

TEST(PackageDatText, Table) {
  for (const DatCase& c : datCases()) {
    SCOPED_TRACE(c.name);
    expectValues(parse(c.text), c.values);
  }
}

// The updater reads dat files in chunks; every split must give what the
// whole text gives, a CR LF or a hex pair cut in two included.
TEST(PackageDatText, ChunkBoundariesDoNotMatter) {
  for (const DatCase& c : datCases()) {
    if (c.text.size() > 64) continue;
    SCOPED_TRACE(c.name);
    EepromBlock whole = parse(c.text);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(c.text.data());
    for (std::size_t cut = 0; cut <= c.text.size(); ++cut) {
      EepromBlock split = untouchedBlock();
      DatTextParser parser(split);
      parser.feed(bytes, cut);
      parser.feed(bytes + cut, c.text.size() - cut);
      EXPECT_EQ(0, std::memcmp(whole.bytes, split.bytes, EepromBlock::kSize))
          << "cut at " << cut;
    }
    EepromBlock bytewise = untouchedBlock();
    DatTextParser parser(bytewise);
    for (std::size_t i = 0; i < c.text.size(); ++i) parser.feed(bytes + i, 1);
    EXPECT_EQ(0, std::memcmp(whole.bytes, bytewise.bytes, EepromBlock::kSize));
  }
}

TEST(PackageDatText, ParserReportsWhereItStopped) {
  EepromBlock block = untouchedBlock();
  DatTextParser parser(block);
  const std::string first = "01\r\n02\r\n";
  EXPECT_TRUE(parser.feed(reinterpret_cast<const std::uint8_t*>(first.data()),
                          first.size()));
  EXPECT_EQ(2u, parser.valueCount());
  const std::string second = "zz\r\n03\r\n";
  EXPECT_FALSE(parser.feed(
      reinterpret_cast<const std::uint8_t*>(second.data()), second.size()));
  EXPECT_TRUE(parser.stopped());
  EXPECT_FALSE(parser.feed(reinterpret_cast<const std::uint8_t*>("04\r\n"), 4));
  EXPECT_EQ(2u, parser.valueCount());
  EXPECT_EQ(kUntouched, block[2]);
}

TEST(PackageDatText, MakerTextRoundTrips) {
  EepromBlock source;
  for (std::size_t i = 0; i < EepromBlock::kSize; ++i) {
    source[i] = static_cast<std::uint8_t>(255 - i);
  }
  expectValues(parse(testkit::makeDatText(source)),
               std::vector<std::uint8_t>(source.bytes, source.bytes + 256));
  expectValues(parse(testkit::makeDatText(source, 3)), {255, 254, 253});
}

struct NameCase {
  const char* name;
  unsigned codePage;
  const char* expected;  // null: no dat file
};

TEST(PackageDatName, Table) {
  const NameCase cases[] = {
      {"UPDATE_KA.DFU", 1252, "UPDATE_KA.DAT"},
      {"DFUTOOL_KA.DFU", 1252, "DATTOOL_KA.DFU"},
      {"update_ka.dfu", 1252, "UPDATE_KA.DAT"},
      {"Update_Ka.Dfu", 932, "UPDATE_KA.DAT"},
      {"FIRMWARE.BIN", 1252, nullptr},
      {"", 1252, nullptr},
      {"DF", 1252, nullptr},
      {"D.F.U", 1252, nullptr},
      {"xdfuy", 1252, "XDATY"},
      {"C:\\norbix\\up_ka.dfu", 1252, "C:\\NORBIX\\UP_KA.DAT"},
      {"C:\\DFU\\UPDATE.DFU", 1252, "C:\\DFU\\UPDATE.DAT"},
      {"C:\\DFU\\FIRMWARE.BIN", 1252, nullptr},
      {"A:DFU.DFU", 1252, "A:DAT.DFU"},
      {"sub/x.dfu", 1252, "SUB/X.DAT"},
      // 0x83 0x44 is one character in code page 932; its trail byte is 'D'.
      {"\x83\x44" "FU.BIN", 932, nullptr},
      {"\x83\x44" "FU.BIN", 1252, "\x83" "DAT.BIN"},
      // A trail byte 'a' is not a letter to upper-case.
      {"\x83\x61.dfu", 932, "\x83\x61.DAT"},
      {"\x83\x61.dfu", 1252, "\x83" "A.DAT"},
      // A trail byte '\' is not a path separator.
      {"dfu\x95\\.dfu", 932, "DAT\x95\\.DFU"},
      {"dfu\x95\\.dfu", 1252, "DFU\x95\\.DAT"},
      // A lead byte as the last byte stands alone.
      {"x.dfu\x83", 932, "X.DAT\x83"},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.name << " cp" << c.codePage);
    char out[64];
    bool found = datFileNameFor(c.name, out, sizeof out, c.codePage);
    ASSERT_EQ(c.expected != nullptr, found);
    if (found) {
      EXPECT_STREQ(c.expected, out);
    }
  }
}

TEST(PackageDatName, DefaultIsASingleByteCodePage) {
  char out[32];
  ASSERT_TRUE(datFileNameFor("a_ka.dfu", out, sizeof out));
  EXPECT_STREQ("A_KA.DAT", out);
}

// Exactly sized heap buffers: a write past outSize is reported by the
// address sanitizer.
TEST(PackageDatName, NeverWritesPastTheBuffer) {
  const std::string name = "UPDATE_KA.DFU";
  for (std::size_t size = 0; size <= name.size() + 1; ++size) {
    SCOPED_TRACE(size);
    std::unique_ptr<char[]> out(new char[size == 0 ? 1 : size]);
    bool fits = size > name.size();
    EXPECT_EQ(fits, datFileNameFor(name.c_str(), out.get(), size));
    if (fits) {
      EXPECT_STREQ("UPDATE_KA.DAT", out.get());
    }
  }
  EXPECT_FALSE(datFileNameFor(nullptr, nullptr, 10));
}

}  // namespace
}  // namespace norbix
