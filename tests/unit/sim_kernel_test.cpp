// The simulated PC's kernel services as a program sees them: files matched
// without regard to case and listed in NTFS order, the Win32 copy and rename
// rules, named objects that vanish with their last holder, version answers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sim/filesystem.h"
#include "sim/transcript.h"
#include "support/sim_fixture.h"

namespace {

using namespace platform;
using testsupport::TestPc;

TEST(SimKernel, SearchListsNamesInNtfsOrderAndIgnoresCase) {
  TestPc pc;
  for (const char* name : {"b.DFU", "_x.DFU", "a1.dfu", "A.DFU", "notes.txt", "Z.DFUX"}) {
    pc->files().writeFile(std::string("C:\\NORBIX\\") + name, "x");
  }
  std::vector<std::string> names;
  pc.runProgram([&](Platform& p) -> DWORD {
    FindDataA found;
    Handle h = p.kernel.findFirstFileA("*.DFU", &found);
    if (h == INVALID_HANDLE_VALUE) return 1;
    do {
      names.push_back(found.cFileName);
    } while (p.kernel.findNextFileA(h, &found));
    EXPECT_EQ(p.kernel.getLastError(), ERROR_NO_MORE_FILES);
    p.kernel.findClose(h);
    return 0;
  });
  EXPECT_EQ(names, (std::vector<std::string>{"A.DFU", "a1.dfu", "b.DFU", "_x.DFU"}));
}

TEST(SimKernel, SearchWithoutMatchFailsWithFileNotFound) {
  TestPc pc;
  DWORD error = 0;
  pc.runProgram([&](Platform& p) -> DWORD {
    FindDataA found;
    EXPECT_EQ(p.kernel.findFirstFileA("*.DFU", &found), INVALID_HANDLE_VALUE);
    error = p.kernel.getLastError();
    return 0;
  });
  EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
}

TEST(SimKernel, FilesOpenWithoutRegardToCaseRelativeToTheCurrentFolder) {
  TestPc pc;
  pc->files().writeFile("C:\\NORBIX\\Update_Ka.Dfu", "abcdef");
  std::string read;
  DWORD size = 0;
  pc.runProgram([&](Platform& p) -> DWORD {
    Handle h = p.kernel.createFileA("UPDATE_KA.DFU", GENERIC_READ, FILE_SHARE_READ,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    if (h == INVALID_HANDLE_VALUE) return 1;
    size = p.kernel.getFileSize(h, nullptr);
    char buffer[16] = {};
    DWORD n = 0;
    p.kernel.readFile(h, buffer, sizeof buffer, &n);
    read.assign(buffer, n);
    p.kernel.closeHandle(h);
    return 0;
  });
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(read, "abcdef");
}

TEST(SimKernel, CopyAndRenameKeepTheWin32Rules) {
  TestPc pc;
  pc->files().writeFile("C:\\NORBIX\\a.inf", "A");
  pc->files().writeFile("C:\\NORBIX\\b.inf", "B");
  struct Result {
    BOOL ok;
    DWORD error;
  };
  std::vector<Result> results;
  pc.runProgram([&](Platform& p) -> DWORD {
    auto record = [&](BOOL ok) { results.push_back({ok, ok ? 0 : p.kernel.getLastError()}); };
    record(p.kernel.copyFileA("a.inf", "b.inf", 1));       // exists: refused
    record(p.kernel.copyFileA("a.inf", "c.inf", 1));       // new name: copied
    record(p.kernel.moveFileA("a.inf", "B.INF"));          // exists: refused
    record(p.kernel.moveFileA("a.inf", "a.inn"));          // renamed
    record(p.kernel.deleteFileA("a.inf"));                 // gone already
    record(p.kernel.copyFileA("a.inn", "C:\\NOWHERE\\x", 0));  // no such folder
    return 0;
  });
  ASSERT_EQ(results.size(), 6u);
  EXPECT_EQ(results[0].ok, 0);
  EXPECT_EQ(results[0].error, ERROR_FILE_EXISTS);
  EXPECT_EQ(results[1].ok, 1);
  EXPECT_EQ(results[2].ok, 0);
  EXPECT_EQ(results[2].error, ERROR_ALREADY_EXISTS);
  EXPECT_EQ(results[3].ok, 1);
  EXPECT_EQ(results[4].error, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(results[5].error, ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(pc->files().readFile("C:\\NORBIX\\c.inf"), "A");
  EXPECT_EQ(pc->files().readFile("C:\\NORBIX\\b.inf"), "B");
  EXPECT_EQ(pc->files().readFile("C:\\NORBIX\\a.inn"), "A");
  EXPECT_FALSE(pc->files().readFile("C:\\NORBIX\\a.inf"));
}

TEST(SimKernel, NamedMutexExistsWhileAProcessHoldsIt) {
  TestPc pc;
  std::vector<DWORD> errors;
  auto takeLock = [&](Platform& p) -> DWORD {
    p.kernel.createMutexA(1, "Norbix");
    errors.push_back(p.kernel.getLastError());
    p.kernel.sleep(1000);
    return 0;
  };
  // Two copies at once: the second sees the first one's mutex.
  pc->installProgram("A.EXE", takeLock);
  pc->startProcess("C:\\NORBIX\\A.EXE", "A", "C:\\NORBIX");
  pc->startProcess("C:\\NORBIX\\A.EXE", "A", "C:\\NORBIX");
  EXPECT_EQ(pc->run(60000), sim::RunEnd::Finished);
  // Once both have ended, a new copy starts fresh, as after a power loss.
  pc->startProcess("C:\\NORBIX\\A.EXE", "A", "C:\\NORBIX");
  EXPECT_EQ(pc->run(60000), sim::RunEnd::Finished);
  EXPECT_EQ(errors, (std::vector<DWORD>{ERROR_SUCCESS, ERROR_ALREADY_EXISTS, ERROR_SUCCESS}));
}

TEST(SimKernel, PowerLossEndsProcessesAndFreesTheirNames) {
  TestPc pc;
  std::vector<DWORD> errors;
  int afterSleep = 0;
  pc->installProgram("A.EXE", [&](Platform& p) -> DWORD {
    p.kernel.createMutexA(1, "Norbix");
    errors.push_back(p.kernel.getLastError());
    p.kernel.sleep(5000);
    ++afterSleep;
    return 0;
  });
  pc->startProcess("C:\\NORBIX\\A.EXE", "A", "C:\\NORBIX");
  pc->scheduler().addTimer(1000, [&] { pc->powerLoss(); });
  EXPECT_EQ(pc->run(60000), sim::RunEnd::Finished);
  EXPECT_EQ(afterSleep, 0);
  pc->startProcess("C:\\NORBIX\\A.EXE", "A", "C:\\NORBIX");
  EXPECT_EQ(pc->run(60000), sim::RunEnd::Finished);
  EXPECT_EQ(errors, (std::vector<DWORD>{ERROR_SUCCESS, ERROR_SUCCESS}));
  EXPECT_EQ(afterSleep, 1);
}

struct VersionCase {
  sim::WindowsVersion os;
  DWORD major, minor, build, platformId;
  const char* systemFolder;
};

class SimVersion : public ::testing::TestWithParam<VersionCase> {};

TEST_P(SimVersion, AnswersAsRealWindows) {
  const VersionCase& c = GetParam();
  sim::PcConfig config;
  config.os = c.os;
  TestPc pc(config);
  OSVERSIONINFOA v{};
  char system[MAX_PATH] = {};
  BOOL badSize = 1;
  pc.runProgram([&](Platform& p) -> DWORD {
    v.dwOSVersionInfoSize = sizeof v;
    p.kernel.getVersionExA(&v);
    p.kernel.getSystemDirectoryA(system, sizeof system);
    OSVERSIONINFOA wrong{};
    wrong.dwOSVersionInfoSize = 100;
    badSize = p.kernel.getVersionExA(&wrong);
    return 0;
  });
  EXPECT_EQ(v.dwMajorVersion, c.major);
  EXPECT_EQ(v.dwMinorVersion, c.minor);
  EXPECT_EQ(v.dwBuildNumber, c.build);
  EXPECT_EQ(v.dwPlatformId, c.platformId);
  EXPECT_STREQ(system, c.systemFolder);
  EXPECT_EQ(badSize, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Families, SimVersion,
    ::testing::Values(
        VersionCase{sim::WindowsVersion::Win98, 4, 10, 0x040A08AE, 1, "C:\\WINDOWS\\SYSTEM"},
        VersionCase{sim::WindowsVersion::WinMe, 4, 90, 0x045A0BB8, 1, "C:\\WINDOWS\\SYSTEM"},
        VersionCase{sim::WindowsVersion::Win2000, 5, 0, 2195, 2, "C:\\WINDOWS\\SYSTEM32"},
        VersionCase{sim::WindowsVersion::WinXP, 5, 1, 2600, 2, "C:\\WINDOWS\\SYSTEM32"},
        VersionCase{sim::WindowsVersion::WinXP64, 5, 2, 3790, 2, "C:\\WINDOWS\\SYSTEM32"}));

TEST(SimTranscript, EscapesProgramTextAndConvertsTheCodePage) {
  struct Case {
    std::string text;
    unsigned codePage;
    std::string expected;
  };
  const Case cases[] = {
      {"a\\b\"c\r\n\t", 1252, "a\\\\b\\\"c\\r\\n\\t"},
      {std::string("\x01\x1f", 2), 1252, "\\x01\\x1F"},
      {"\xe9", 1252, "\xc3\xa9"},                 // é
      {"\x81", 1252, "\\x81"},                     // no character in 1252
      {"\x82\xa0\xb1", 932, "\xe3\x81\x82\xef\xbd\xb1"},  // あ and half-width ｱ
      {"\x82", 932, "\\x82"},                      // a lead byte alone
  };
  for (const Case& c : cases) {
    EXPECT_EQ(sim::escapeText(c.text, c.codePage), c.expected) << c.text;
  }
}

TEST(SimTranscript, ResourceTextsTakeTheCodePage) {
  EXPECT_EQ(sim::fromUtf8("\xe6\x9b\xb4", 932), "\x8d\x58");  // 更
  EXPECT_EQ(sim::fromUtf8("\xe6\x9b\xb4", 1252), "?");
}

}  // namespace
