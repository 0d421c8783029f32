// checkUpdateFile and readDatFile on the simulated PC, with a spy over the
// process's kernel to see what was asked of Windows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "package/dat_text.h"
#include "package/package_io.h"
#include "package/update_format.h"
#include "sim/filesystem.h"
#include "sim/kernel.h"
#include "support/sim_fixture.h"
#include "testkit/update_file_maker.h"

namespace norbix {
namespace {

using platform::BOOL;
using platform::DWORD;
using platform::Handle;

class SpyKernel : public sim::SimKernel {
 public:
  using sim::SimKernel::SimKernel;

  struct Open {
    std::string name;
    DWORD access, share, creation;
    Handle result;
  };
  std::vector<Open> opens;
  std::vector<Handle> closed;
  int reads = 0;
  std::uint64_t bytesRead = 0;
  int failReadNumber = 0;  // 1 for the first readFile call; 0 never

  Handle createFileA(const char* name, DWORD access, DWORD share,
                     DWORD creation, DWORD flags) override {
    Handle h = SimKernel::createFileA(name, access, share, creation, flags);
    opens.push_back({name, access, share, creation, h});
    return h;
  }
  BOOL readFile(Handle file, void* buffer, DWORD toRead,
                DWORD* read) override {
    if (++reads == failReadNumber) {
      *read = 0;
      setLastError(platform::ERROR_GEN_FAILURE);
      return 0;
    }
    BOOL ok = SimKernel::readFile(file, buffer, toRead, read);
    if (ok) bytesRead += *read;
    return ok;
  }
  BOOL closeHandle(Handle object) override {
    closed.push_back(object);
    return SimKernel::closeHandle(object);
  }

  bool everyHandleClosedOnce() const {
    std::vector<Handle> opened;
    for (const Open& o : opens) {
      if (o.result != platform::INVALID_HANDLE_VALUE) opened.push_back(o.result);
    }
    std::vector<Handle> closes = closed;
    std::sort(opened.begin(), opened.end());
    std::sort(closes.begin(), closes.end());
    return opened == closes;
  }
};

std::string asText(const std::vector<std::uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

class PackageIo : public testing::Test {
 protected:
  void put(const std::string& name, const std::string& bytes) {
    ASSERT_TRUE(pc_->files().writeFile("C:\\NORBIX\\" + name, bytes));
  }
  void put(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    put(name, asText(bytes));
  }

  // Runs `body` as a program in C:\NORBIX with a spy over its kernel.
  template <class Body>
  void run(Body body) {
    sim::RunEnd end = pc_.runProgram([&](platform::Platform&) -> DWORD {
      SpyKernel spy(*pc_.lastProcess());
      body(spy);
      return 0;
    });
    ASSERT_EQ(sim::RunEnd::Finished, end);
  }

  testsupport::TestPc pc_;
  std::vector<std::uint8_t> file_ = testkit::makeUpdateFile({});
};

TEST_F(PackageIo, GoodFileWithoutDatFileKeepsItsOwnBytes) {
  put("UPDATE_KA.DFU", file_);
  run([&](SpyKernel& spy) {
    ImageSlot slot;
    ASSERT_TRUE(checkUpdateFile(spy, "UPDATE_KA.DFU", slot));
    ASSERT_TRUE(slot);
    EXPECT_EQ(0, std::memcmp(file_.data(), slot.get(), kUpdateFileSize));
    ASSERT_EQ(2u, spy.opens.size());
    EXPECT_EQ("UPDATE_KA.DFU", spy.opens[0].name);
    EXPECT_EQ(platform::GENERIC_READ, spy.opens[0].access);
    EXPECT_EQ(platform::FILE_SHARE_READ, spy.opens[0].share);
    EXPECT_EQ(platform::OPEN_EXISTING, spy.opens[0].creation);
    EXPECT_EQ("UPDATE_KA.DAT", spy.opens[1].name);
    EXPECT_EQ(platform::INVALID_HANDLE_VALUE, spy.opens[1].result);
    EXPECT_TRUE(spy.everyHandleClosedOnce());
  });
}

TEST_F(PackageIo, DatFileValuesGoOverTheRegionFoundWithoutRegardToCase) {
  put("update_ka.dfu", file_);
  put("Update_Ka.Dat", std::string("4A\r\n0f\r\nzz\r\n10\r\n"));
  run([&](SpyKernel& spy) {
    ImageSlot slot;
    ASSERT_TRUE(checkUpdateFile(spy, "update_ka.dfu", slot));
    std::vector<std::uint8_t> expected = file_;
    expected[kConfigRegionOffset] = 0x4A;
    expected[kConfigRegionOffset + 1] = 0x0F;
    EXPECT_EQ(0, std::memcmp(expected.data(), slot.get(), kUpdateFileSize));
    EXPECT_TRUE(spy.everyHandleClosedOnce());
  });
}

TEST_F(PackageIo, FullDatFileReplacesTheWholeRegionAndNothingElse) {
  EepromBlock block;
  for (std::size_t i = 0; i < EepromBlock::kSize; ++i) {
    block[i] = static_cast<std::uint8_t>(i ^ 0x5A);
  }
  put("UPDATE_KA.DFU", file_);
  put("UPDATE_KA.DAT", testkit::makeDatText(block) + "77\r\n");
  run([&](SpyKernel& spy) {
    ImageSlot slot;
    ASSERT_TRUE(checkUpdateFile(spy, "C:\\NORBIX\\UPDATE_KA.DFU", slot));
    EXPECT_EQ(0, std::memcmp(block.bytes, slot.get() + kConfigRegionOffset,
                             EepromBlock::kSize));
    EXPECT_EQ(0, std::memcmp(file_.data(), slot.get(), kConfigRegionOffset));
    EXPECT_EQ(0, std::memcmp(file_.data() + 0xFF80, slot.get() + 0xFF80,
                             kUpdateFileSize - 0xFF80));
  });
}

TEST_F(PackageIo, NameWithoutDfuHasNoDatFile) {
  put("FIRMWARE.BIN", file_);
  put("FIRMWARE.DAT", std::string("11\r\n"));
  put("DATMWARE.BIN", std::string("11\r\n"));
  run([&](SpyKernel& spy) {
    ImageSlot slot;
    ASSERT_TRUE(checkUpdateFile(spy, "FIRMWARE.BIN", slot));
    EXPECT_EQ(0, std::memcmp(file_.data(), slot.get(), kUpdateFileSize));
    EXPECT_EQ(1u, spy.opens.size());
  });
}

struct BadFile {
  const char* name;
  std::vector<std::uint8_t> (*make)(std::vector<std::uint8_t>);
  bool readsTheFile;
};

TEST_F(PackageIo, BadFilesLeaveTheSlotEmpty) {
  const BadFile cases[] = {
      {"65549 bytes",
       [](std::vector<std::uint8_t> f) {
         f.pop_back();
         return f;
       },
       false},
      {"65551 bytes",
       [](std::vector<std::uint8_t> f) {
         f.push_back(0);
         return f;
       },
       false},
      {"empty", [](std::vector<std::uint8_t>) {
         return std::vector<std::uint8_t>{};
       },
       false},
      {"reversed signature",
       [](std::vector<std::uint8_t> f) {
         std::memcpy(f.data() + kSuffixSignatureOffset, "DFU", 3);
         testkit::resealUpdateFile(f);
         return f;
       },
       true},
      {"no image marker",
       [](std::vector<std::uint8_t> f) {
         f[kImageMarkerOffset] = 'X';
         testkit::resealUpdateFile(f);
         return f;
       },
       true},
      {"one bit flipped in idVendor",
       [](std::vector<std::uint8_t> f) {
         f[kSuffixIdVendorOffset] ^= 0x10;
         return f;
       },
       true},
  };
  for (const BadFile& c : cases) {
    SCOPED_TRACE(c.name);
    put("BAD_KA.DFU", c.make(file_));
    put("BAD_KA.DAT", std::string("11\r\n"));
    run([&](SpyKernel& spy) {
      ImageSlot slot(new std::uint8_t[1]);
      EXPECT_FALSE(checkUpdateFile(spy, "BAD_KA.DFU", slot));
      EXPECT_FALSE(slot);
      EXPECT_EQ(c.readsTheFile, spy.reads > 0);
      EXPECT_EQ(1u, spy.opens.size()) << "no dat file for a bad file";
      EXPECT_TRUE(spy.everyHandleClosedOnce());
    });
  }
}

TEST_F(PackageIo, MissingFolderOrUnreadableFileLeavesTheSlotEmpty) {
  pc_->files().makeFolder("C:\\NORBIX\\FOLDER.DFU");
  put("GOOD_KA.DFU", file_);
  run([&](SpyKernel& spy) {
    for (const char* name : {"MISSING.DFU", "FOLDER.DFU", "Q:\\X.DFU"}) {
      SCOPED_TRACE(name);
      ImageSlot slot(new std::uint8_t[1]);
      EXPECT_FALSE(checkUpdateFile(spy, name, slot));
      EXPECT_FALSE(slot);
    }
    spy.failReadNumber = spy.reads + 1;
    ImageSlot slot(new std::uint8_t[1]);
    EXPECT_FALSE(checkUpdateFile(spy, "GOOD_KA.DFU", slot));
    EXPECT_FALSE(slot);
    EXPECT_TRUE(spy.everyHandleClosedOnce());
  });
}

TEST_F(PackageIo, ReadDatFileStopsReadingWhereParsingStops) {
  // One value, then a line that ends the dat file, then a megabyte.
  put("BIG_KA.DAT", "4A\r\nzz\r\n" + std::string(1 << 20, '1'));
  run([&](SpyKernel& spy) {
    EepromBlock block;
    std::memset(block.bytes, 0xEE, sizeof block.bytes);
    EXPECT_TRUE(readDatFile(spy, block, "BIG_KA.DFU"));
    EXPECT_EQ(0x4A, block[0]);
    EXPECT_EQ(0xEE, block[1]);
    EXPECT_LE(spy.bytesRead, 4096u);
    EXPECT_TRUE(spy.everyHandleClosedOnce());
  });
}

TEST_F(PackageIo, ReadDatFileFollowsLongLinesToTheEnd) {
  // Comments make the 256 lines far longer than any fixed read cap.
  std::string text;
  for (int i = 0; i < 256; ++i) {
    char value[3];
    std::snprintf(value, sizeof value, "%02X", i);
    text += value + std::string(" ") + std::string(1000, 'c') + "\r\n";
  }
  put("LONG_KA.DAT", text);
  run([&](SpyKernel& spy) {
    EepromBlock block{};
    EXPECT_TRUE(readDatFile(spy, block, "long_ka.dfu"));
    for (int i = 0; i < 256; ++i) EXPECT_EQ(i, block[i]) << i;
  });
}

TEST_F(PackageIo, ReadDatFileKeepsTheBlockWhenReadingFails) {
  std::string text;
  for (int i = 0; i < 200; ++i) text += "5A                             \r\n";
  put("FAIL_KA.DAT", text);
  pc_->files().makeFolder("C:\\NORBIX\\DIR_KA.DAT");
  run([&](SpyKernel& spy) {
    EepromBlock block;
    std::memset(block.bytes, 0xEE, sizeof block.bytes);
    spy.failReadNumber = 3;
    EXPECT_TRUE(readDatFile(spy, block, "FAIL_KA.DFU"));
    EXPECT_EQ(0xEE, block[0]) << "no half dat file";
    EXPECT_TRUE(readDatFile(spy, block, "DIR_KA.DFU"));
    EXPECT_TRUE(readDatFile(spy, block, "NONE_KA.DFU"));
    EXPECT_TRUE(readDatFile(spy, block, "NODATFILE"));
    for (std::size_t i = 0; i < EepromBlock::kSize; ++i) {
      EXPECT_EQ(0xEE, block[i]);
    }
    EXPECT_TRUE(spy.everyHandleClosedOnce());
  });
}

TEST_F(PackageIo, DatFileNameOnAJapaneseSystemKeepsDoubleByteCharacters) {
  sim::PcConfig config;
  config.codePage = 932;
  testsupport::TestPc japanese(config);
  // 0x83 0x44 is one character whose trail byte reads 'D'.
  ASSERT_TRUE(japanese->files().writeFile("C:\\NORBIX\\\x83\x44" "AT_KA.DFU",
                                          std::string("11\r\n")));
  ASSERT_TRUE(japanese->files().writeFile("C:\\NORBIX\\\x83\x44" "FU_KA.DAT",
                                          std::string("22\r\n")));
  sim::RunEnd end = japanese.runProgram([&](platform::Platform& p) -> DWORD {
    EepromBlock block{};
    readDatFile(p.kernel, block, "\x83\x44" "FU_KA.DFU");
    EXPECT_EQ(0x22, block[0]);
    return 0;
  });
  EXPECT_EQ(sim::RunEnd::Finished, end);
}

}  // namespace
}  // namespace norbix
