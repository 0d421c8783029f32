// hushrun64: the program name skipped as the start-up code skips it, the
// one CreateProcessA it makes, the wait, and the exit codes, with the
// simulated command interpreter doing the copying and deleting.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "hushrun64/launcher.h"
#include "hushrun64/sim_program.h"
#include "sim/commands.h"
#include "sim/filesystem.h"
#include "sim/process.h"
#include "sim/transcript.h"
#include "support/sim_fixture.h"

namespace {

using namespace platform;
using testsupport::TestPc;

const char* kLauncher = "C:\\NORBIX\\hushrun64.exe";
const char* kDrivers = "C:\\WINDOWS\\SYSTEM32\\DRIVERS";

TEST(HushrunCommandLine, ProgramNameIsSkippedAsTheStartUpCodeDoes) {
  const std::pair<const char*, const char*> cases[] = {
      {"hushrun64.exe cmd /cdel x", "cmd /cdel x"},
      {"\"C:\\Program Files\\Norbix\\hushrun64.exe\" cmd /ccopy a b", "cmd /ccopy a b"},
      // The name ends only at a blank outside quotes, so text glued to the
      // closing quote still belongs to it.
      {"\"C:\\a b\\hushrun64.exe\"cmd", ""},
      {"\"C:\\a b\\hushrun64.exe\" cmd", "cmd"},
      {"hushrun64.exe\t \r\ncmd", "cmd"},
      {"hushrun64.exe", ""},
      {"\"C:\\x\\hushrun64.exe\"   ", ""},
      {"a\"b c\"d cmd", "cmd"},
      {"\"unclosed cmd /cdel x", ""},
      {"h\xfc.exe cmd", "cmd"},
      // Only the skipped part is touched: blanks inside the command stay.
      {"h.exe   cmd  /cdel  \"a b\"  ", "cmd  /cdel  \"a b\"  "},
  };
  for (const auto& [line, command] : cases) {
    EXPECT_STREQ(hushrun::commandAfterProgramName(line), command) << line;
  }
}

// Forwards to the process's kernel and notes the process calls.
class RecordingKernel : public Kernel {
 public:
  explicit RecordingKernel(Kernel& inner) : k_(inner) {}
  std::vector<std::string> log;

  DWORD getLastError() override { return k_.getLastError(); }
  void setLastError(DWORD code) override { k_.setLastError(code); }
  Handle createFileA(const char* n, DWORD a, DWORD s, DWORD c, DWORD f) override {
    return k_.createFileA(n, a, s, c, f);
  }
  BOOL readFile(Handle f, void* b, DWORD n, DWORD* r) override { return k_.readFile(f, b, n, r); }
  BOOL writeFile(Handle f, const void* b, DWORD n, DWORD* w) override {
    return k_.writeFile(f, b, n, w);
  }
  DWORD setFilePointer(Handle f, LONG d, DWORD m) override { return k_.setFilePointer(f, d, m); }
  DWORD getFileSize(Handle f, DWORD* h) override { return k_.getFileSize(f, h); }
  BOOL deviceIoControl(Handle d, DWORD c, void* i, DWORD is, void* o, DWORD os,
                       DWORD* r) override {
    return k_.deviceIoControl(d, c, i, is, o, os, r);
  }
  BOOL closeHandle(Handle h) override {
    log.push_back(h == process_ ? "close process" : h == thread_ ? "close thread" : "close other");
    return k_.closeHandle(h);
  }
  Handle findFirstFileA(const char* p, FindDataA* f) override { return k_.findFirstFileA(p, f); }
  BOOL findNextFileA(Handle s, FindDataA* f) override { return k_.findNextFileA(s, f); }
  BOOL findClose(Handle s) override { return k_.findClose(s); }
  BOOL copyFileA(const char* f, const char* t, BOOL x) override { return k_.copyFileA(f, t, x); }
  BOOL moveFileA(const char* f, const char* t) override { return k_.moveFileA(f, t); }
  BOOL deleteFileA(const char* n) override { return k_.deleteFileA(n); }
  DWORD getFileAttributesA(const char* n) override { return k_.getFileAttributesA(n); }
  DWORD getModuleFileNameA(char* b, DWORD s) override { return k_.getModuleFileNameA(b, s); }
  UINT getSystemDirectoryA(char* b, UINT s) override { return k_.getSystemDirectoryA(b, s); }
  UINT getWindowsDirectoryA(char* b, UINT s) override { return k_.getWindowsDirectoryA(b, s); }
  DWORD getCurrentDirectoryA(DWORD s, char* b) override { return k_.getCurrentDirectoryA(s, b); }
  UINT getDriveTypeA(const char* r) override { return k_.getDriveTypeA(r); }
  DWORD getLogicalDrives() override { return k_.getLogicalDrives(); }
  Handle createMutexA(BOOL o, const char* n) override { return k_.createMutexA(o, n); }
  BOOL releaseMutex(Handle m) override { return k_.releaseMutex(m); }
  BOOL getVersionExA(OSVERSIONINFOA* i) override { return k_.getVersionExA(i); }
  UINT getACP() override { return k_.getACP(); }
  UINT getOEMCP() override { return k_.getOEMCP(); }
  const char* getCommandLineA() override { return k_.getCommandLineA(); }
  void sleep(DWORD ms) override { k_.sleep(ms); }
  DWORD getTickCount() override { return k_.getTickCount(); }
  Handle createThread(ThreadProc p, void* a, DWORD f, DWORD* id) override {
    return k_.createThread(p, a, f, id);
  }
  BOOL setThreadPriority(Handle t, int p) override { return k_.setThreadPriority(t, p); }
  DWORD resumeThread(Handle t) override { return k_.resumeThread(t); }
  DWORD waitForSingleObject(Handle h, DWORD ms) override {
    log.push_back(std::string("wait ") + (h == process_ ? "process" : "other") + " " +
                  std::to_string(ms));
    return k_.waitForSingleObject(h, ms);
  }
  BOOL createProcessA(const char* application, char* commandLine, DWORD flags,
                      ProcessInformation* info) override {
    log.push_back(std::string("create ") + (application ? application : "(null)") + " [" +
                  (commandLine ? commandLine : "") + "] " + std::to_string(flags));
    BOOL ok = k_.createProcessA(application, commandLine, flags, info);
    if (ok && info != nullptr) {
      process_ = info->hProcess;
      thread_ = info->hThread;
    }
    return ok;
  }
  BOOL getExitCodeProcess(Handle p, DWORD* c) override { return k_.getExitCodeProcess(p, c); }

 private:
  Kernel& k_;
  Handle process_ = 0;
  Handle thread_ = 0;
};

TEST(Hushrun, CreatesOneProcessWithoutWindowWaitsAndClosesBothHandles) {
  TestPc pc;
  sim::installCommandInterpreter(pc.pc());
  pc->files().writeFile("C:\\NORBIX\\zandfu.sys", "sys");
  std::vector<std::string> log;
  DWORD result = 99;
  pc.runProgram(
      [&](Platform& p) -> DWORD {
        RecordingKernel kernel(p.kernel);
        result = hushrun::runLauncher(kernel);
        log = kernel.log;
        return result;
      },
      "C:\\NORBIX\\TEST.EXE", "cmd /cdel C:\\NORBIX\\zandfu.sys");
  EXPECT_EQ(result, 1u);
  EXPECT_EQ(log, (std::vector<std::string>{
                     "create (null) [cmd /cdel C:\\NORBIX\\zandfu.sys] " +
                         std::to_string(CREATE_NO_WINDOW),
                     "wait process " + std::to_string(INFINITE), "close process",
                     "close thread"}));
  EXPECT_FALSE(pc->files().readFile("C:\\NORBIX\\zandfu.sys").has_value());
}

struct ExitCase {
  const char* name;
  std::string command;  // what follows the launcher's name
  DWORD exitCode;
};

// Test names and ctest's listing show the case by its name.
void PrintTo(const ExitCase& c, std::ostream* os) { *os << c.name; }

class HushrunExit : public ::testing::TestWithParam<ExitCase> {};

TEST_P(HushrunExit, ExitCodeSaysWhetherTheProcessRan) {
  const ExitCase& c = GetParam();
  TestPc pc;
  sim::installCommandInterpreter(pc.pc());
  hushrun::installLauncher(pc.pc());
  std::string line = std::string("\"") + kLauncher + "\"";
  if (!c.command.empty()) line += " " + c.command;
  sim::Process* process = pc->startProcess(kLauncher, line, "C:\\NORBIX");
  ASSERT_EQ(pc->run(3600 * 1000), sim::RunEnd::Finished);
  EXPECT_EQ(process->exitCode(), c.exitCode);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, HushrunExit,
    ::testing::Values(ExitCase{"Empty", "", 0}, ExitCase{"OnlyBlanks", "   ", 0},
                      ExitCase{"NoSuchProgram", "nosuchprogram /x", 0},
                      ExitCase{"CommandThatRan", "cmd /cdel C:\\NORBIX\\nothing.sys", 1},
                      ExitCase{"UnknownCommandStillRan", "cmd /cnonsense", 1}),
    [](const auto& info) { return std::string(info.param.name); });

// A program that takes a minute of virtual time and leaves a mark at its end.
DWORD slowProgram(Platform& p) {
  p.kernel.sleep(60000);
  Handle h = p.kernel.createFileA("C:\\NORBIX\\slow.done", GENERIC_WRITE, 0, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL);
  p.kernel.closeHandle(h);
  return 7;
}

TEST(Hushrun, ReturnsOnlyAfterTheCommandHasEnded) {
  TestPc pc;
  pc->installProgram("slow.exe", slowProgram);
  hushrun::installLauncher(pc.pc());
  bool doneWhenLauncherEnded = false;
  DWORD launcherExit = 99;
  pc.runProgram([&](Platform& p) -> DWORD {
    char line[] = "\"C:\\NORBIX\\hushrun64.exe\" slow.exe";
    ProcessInformation info{};
    if (!p.kernel.createProcessA(nullptr, line, 0, &info)) return 1;
    p.kernel.waitForSingleObject(info.hProcess, INFINITE);
    p.kernel.getExitCodeProcess(info.hProcess, &launcherExit);
    doneWhenLauncherEnded = p.kernel.getFileAttributesA("C:\\NORBIX\\slow.done") != 0xFFFFFFFFu;
    return 0;
  });
  EXPECT_TRUE(doneWhenLauncherEnded);
  // The command's own code (7) is not passed on.
  EXPECT_EQ(launcherExit, 1u);
}

// As the updater starts it: ShellExecuteA with the command as parameters.
// The launcher and the interpreter inherit the starter's current folder,
// so the bare source name is found there.
TEST(Hushrun, BareNameIsResolvedInTheStartersCurrentFolder) {
  TestPc pc;
  sim::installCommandInterpreter(pc.pc());
  hushrun::installLauncher(pc.pc());
  pc->files().makeFolder(kDrivers);
  pc->files().makeFolder("C:\\WORK");
  pc->files().writeFile("C:\\WORK\\zandfu.sys", "from work");
  pc->files().writeFile("C:\\NORBIX\\zandfu.sys", "from the launcher's folder");
  const std::string target = std::string(kDrivers) + "\\zandfu.sys";
  pc->installProgram("starter.exe", [&](Platform& p) -> DWORD {
    std::string command = "cmd /ccopy zandfu.sys " + target;
    p.shell.shellExecuteA(0, "open", kLauncher, command.c_str(), nullptr, SW_HIDE);
    return 0;
  });
  pc->startProcess("C:\\WORK\\starter.exe", "\"C:\\WORK\\starter.exe\"", "C:\\WORK");
  ASSERT_EQ(pc->run(3600 * 1000), sim::RunEnd::Finished);
  EXPECT_EQ(pc->files().readFile(target), "from work");
  // launcher, then interpreter, both ended
  int exits = 0;
  for (const std::string& line : pc->transcript().lines()) {
    if (line.find("[hushrun64.exe#2] exit 1") != std::string::npos) ++exits;
    if (line.find("[cmd.exe#3] exit 0") != std::string::npos) ++exits;
  }
  EXPECT_EQ(exits, 2);
}

}  // namespace
