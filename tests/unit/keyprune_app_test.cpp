// keyprune as a program of the simulated PC: what the scripted user sees
// (message boxes with caption, text, icon and answer) and what is left of
// the device key tree, for the command lines the tool has to handle.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "keyprune/sim_program.h"
#include "sim/process.h"
#include "sim/registry.h"
#include "sim/transcript.h"
#include "sim/windows.h"
#include "support/sim_fixture.h"

namespace {

using namespace platform;
using sim::WindowsVersion;
using testsupport::TestPc;

const std::string kUsb = "SYSTEM\\CurrentControlSet\\Enum\\USB";
const std::string kDevice = kUsb + "\\Vid_2e51&Pid_2201";
const std::string kSibling = kUsb + "\\Vid_2e51&Pid_2202";
const char* kToolPath = "C:\\NORBIX\\keyprune.exe";

// Caption and texts as the transcript writes them (UTF-8, escaped).
const std::string kCaption = "Remove Registry Program";
const std::string kParameterEn =
    "Parameter Error.\\n\\nSpecify the Registry path to remove.\\nEx.)  "
    "SYSTEM\\\\CurrentControlSet\\\\Enum\\\\USB\\\\VID_2E51&PID_2206";
const std::string kParameterJa =
    "起動オプションエラー\\n\\n削除するレジストリパスを指定してください。\\nEx.) "
    "SYSTEM\\\\CurrentControlSet\\\\Enum\\\\USB\\\\VID_2E51&PID_2206";
const std::string kAskEn =
    "This program will reset the driver information of your system.\\n\\nDo you want to continue?";
const std::string kAskJa = "ドライバ情報をリセットします。\\nよろしいですか？";
const std::string kDoneEn = "The driver information were reset successfully.";
const std::string kDoneJa = "KVX ドライバ情報のリセットが終了しました。";
const std::string kVersionEn =
    "Windows version isn't correct.\\nPlease execute on Windows 2000.";
const std::string kVersionJa =
    "Windowsのバージョンがちがいます。\\nWindows 2000で実行してください。";
const std::string kAdminEn =
    "You must have administrator privileges in order to run this program.  "
    "Please log on as Administrator, then try again.";
const std::string kAdminJa =
    "プログラムを実行するためのアクセス権がありません。\\nシステム管理者に相談するか、"
    "システム管理者(administrator)の権限でログオンしてプログラムを実行してください。\\n"
    "プログラム実行を中止します。";
const std::string kDevicePrompt =
    "<SYSTEM\\\\CURRENTCONTROLSET\\\\ENUM\\\\USB\\\\VID_2E51&PID_2201>:\\n";

std::string box(const std::string& text, const std::string& icon, const std::string& answer) {
  return "msgbox \"" + kCaption + "\" \"" + text + "\" " + icon + " -> " + answer;
}

// What a code-page-1252 system makes of a Japanese text: one '?' per
// character it lacks.
std::string on1252(const std::string& utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    auto c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out += utf8[i];
      continue;
    }
    out += '?';
    while (i + 1 < utf8.size() && (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80) ++i;
  }
  return out;
}

struct ToolRun {
  std::vector<std::string> boxes;
  bool deviceLeft;
  DWORD exitCode;
};

struct PcSetup {
  WindowsVersion os = WindowsVersion::WinXP;
  unsigned codePage = 1252;
  bool administrator = true;
  const char* answer = nullptr;  // the scripted user's answer to every box
};

void makeDeviceTrees(sim::RegistryStore& store) {
  const sim::KeySecurity device = sim::KeySecurity::deviceKey();
  for (const std::string& top : {kDevice, kSibling}) {
    store.createKey(HKEY_LOCAL_MACHINE, top, &device);
    store.createKey(HKEY_LOCAL_MACHINE, top + "\\5&1a2b3c&0&1", &device);
    store.createKey(HKEY_LOCAL_MACHINE, top + "\\5&1a2b3c&0&1\\Device Parameters", &device);
    store.createKey(HKEY_LOCAL_MACHINE, top + "\\6&99&0&2", &device);
  }
}

ToolRun runTool(TestPc& pc, const std::string& arguments, const char* answer) {
  if (answer != nullptr) pc->user().script().answers["box"] = answer;
  keyprune::installKeyRemover(pc.pc());
  std::string commandLine = std::string("\"") + kToolPath + "\"";
  if (!arguments.empty()) commandLine += " " + arguments;
  sim::Process* process = pc->startProcess(kToolPath, commandLine, "C:\\NORBIX");
  EXPECT_EQ(pc->run(3600 * 1000), sim::RunEnd::Finished);
  ToolRun run;
  for (const std::string& line : pc->transcript().lines()) {
    std::size_t at = line.find("msgbox ");
    if (at != std::string::npos) run.boxes.push_back(line.substr(at));
  }
  run.deviceLeft = pc->registry().exists(HKEY_LOCAL_MACHINE, kDevice);
  run.exitCode = process->exitCode();
  // Whatever happened, the neighbouring device keeps all its keys.
  EXPECT_TRUE(pc->registry().exists(HKEY_LOCAL_MACHINE, kSibling + "\\5&1a2b3c&0&1\\Device Parameters"));
  EXPECT_TRUE(pc->registry().exists(HKEY_LOCAL_MACHINE, kSibling + "\\6&99&0&2"));
  return run;
}

ToolRun runTool(const PcSetup& setup, const std::string& arguments) {
  sim::PcConfig config;
  config.os = setup.os;
  config.codePage = setup.codePage;
  config.administrator = setup.administrator;
  TestPc pc(config);
  makeDeviceTrees(pc->registry());
  return runTool(pc, arguments, setup.answer);
}

struct ToolCase {
  const char* name;
  PcSetup setup;
  std::string arguments;
  std::vector<std::string> boxes;
  bool removed;
};

// Test names and ctest's listing show the case by its name.
void PrintTo(const ToolCase& c, std::ostream* os) { *os << c.name; }

class KeypruneRun : public ::testing::TestWithParam<ToolCase> {};

TEST_P(KeypruneRun, ShowsTheseBoxesAndLeavesTheTreeSo) {
  const ToolCase& c = GetParam();
  ToolRun run = runTool(c.setup, c.arguments);
  EXPECT_EQ(run.boxes, c.boxes);
  EXPECT_EQ(run.deviceLeft, !c.removed);
  EXPECT_EQ(run.exitCode, 0u);
}

const std::string kPathLower = "system\\currentcontrolset\\enum\\usb\\vid_2e51&pid_2201";

PcSetup xp() { return {}; }
PcSetup xp932() { return {WindowsVersion::WinXP, 932, true, nullptr}; }
PcSetup answering(const char* answer) { return {WindowsVersion::WinXP, 1252, true, answer}; }
PcSetup os(WindowsVersion v) { return {v, 1252, true, nullptr}; }
PcSetup user() { return {WindowsVersion::WinXP, 1252, false, nullptr}; }

INSTANTIATE_TEST_SUITE_P(
    CommandLines, KeypruneRun,
    ::testing::Values(
        ToolCase{"NoArgumentIsSilent", xp(), "", {}, false},
        ToolCase{"NoArgumentVerboseEnglish", xp(), "/V", {box(kParameterEn, "hand", "ok")}, false},
        ToolCase{"NoArgumentVerboseJapanese", xp932(), "/v", {box(kParameterJa, "hand", "ok")}, false},
        ToolCase{"VerboseEnglishYesRemoves", answering("yes"), "/v /e " + kPathLower,
                 {box(kDevicePrompt + kAskEn, "question", "yes"), box(kDoneEn, "asterisk", "ok")},
                 true},
        ToolCase{"VerboseNoKeepsTheTree", answering("no"), "/V " + kPathLower,
                 {box(kDevicePrompt + kAskEn, "question", "no")}, false},
        ToolCase{"SilentRemovesWithoutAsking", xp(), kDevice, {}, true},
        ToolCase{"QuotedPathWithoutBlanks", xp(), "\"" + kDevice + "\"", {}, true},
        ToolCase{"QuotedPathWithBlankIsSplitAndRefused", xp(), "/V \"" + kDevice + " x\"",
                 {box(kParameterEn, "hand", "ok")}, false},
        ToolCase{"LastPathWins", xp(), kSibling + " " + kDevice, {}, true},
        ToolCase{"Win98SilentEndsQuietly", os(WindowsVersion::Win98), kDevice, {}, false},
        ToolCase{"Win98VerboseShowsVersion", os(WindowsVersion::Win98), "/V " + kDevice,
                 {box(kVersionEn + "\\n(4.10.40a.2222.1)", "hand", "ok")}, false},
        ToolCase{"WinMeVerboseShowsVersion", os(WindowsVersion::WinMe), "/V",
                 {box(kVersionEn + "\\n(4.90.45a.3000.1)", "hand", "ok")}, false},
        ToolCase{"Windows2000Works", os(WindowsVersion::Win2000), kDevice, {}, true},
        ToolCase{"NotAdministratorSilentStillTold", user(), kDevice,
                 {box(kAdminEn, "hand", "ok")}, false},
        ToolCase{"NotAdministratorVerbose", user(), "/V " + kDevice,
                 {box(kAdminEn, "hand", "ok")}, false},
        ToolCase{"JapaneseForcedOn1252", xp(), "-J /V",
                 {box(on1252(kParameterJa), "hand", "ok")}, false},
        ToolCase{"EnglishForcedOn932", xp932(), "/E /V", {box(kParameterEn, "hand", "ok")}, false},
        ToolCase{"JapaneseFromTheCodePage", xp932(), "/V " + kDevice,
                 {box(kDevicePrompt + kAskJa, "question", "yes"), box(kDoneJa, "asterisk", "ok")},
                 true},
        ToolCase{"Japanese932AdminMessage", {WindowsVersion::WinXP, 932, false, nullptr}, kDevice,
                 {box(kAdminJa, "hand", "ok")}, false},
        ToolCase{"Japanese932VersionMessage", {WindowsVersion::Win98, 932, true, nullptr}, "/V",
                 {box(kVersionJa + "\\n(4.10.40a.2222.1)", "hand", "ok")}, false},
        ToolCase{"DSwitchChangesNothing", xp(), "/DANYTHING " + kDevice, {}, true},
        ToolCase{"DSwitchVerbose", xp(), "/DANYTHING /V", {box(kParameterEn, "hand", "ok")}, false},
        ToolCase{"LastOfSAndVWins", xp(), "/V /S " + kDevice, {}, true},
        ToolCase{"UnknownSwitchIgnored", xp(), "/Q /V", {box(kParameterEn, "hand", "ok")}, false}),
    [](const auto& info) { return std::string(info.param.name); });

// Paths that are not below a device tree are refused like a missing path,
// and nothing of the registry goes, in silent mode too.
TEST(KeypruneSafety, PathsOutsideTheDeviceTreesAreRefused) {
  const char* paths[] = {"SYSTEM",
                         "SYSTEM\\CurrentControlSet",
                         "SYSTEM\\CurrentControlSet\\Enum\\USB",
                         "SYSTEM\\CurrentControlSet\\Enum\\USB\\",
                         "SOFTWARE",
                         "\"SYSTEM\\CurrentControlSet\\Enum\"",
                         "SYSTEM\\CurrentControlSet\\Enum\\USB\\\\Vid_2e51&Pid_2201"};
  for (const char* path : paths) {
    for (bool verbose : {false, true}) {
      SCOPED_TRACE(std::string(path) + (verbose ? " verbose" : " silent"));
      TestPc pc;
      makeDeviceTrees(pc->registry());
      pc->registry().createKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor");
      ToolRun run = runTool(pc, std::string(verbose ? "/V " : "") + path, "yes");
      EXPECT_TRUE(pc->registry().deletedKeys(HKEY_LOCAL_MACHINE).empty());
      EXPECT_TRUE(run.deviceLeft);
      EXPECT_EQ(run.boxes, verbose ? std::vector<std::string>{box(kParameterEn, "hand", "ok")}
                                   : std::vector<std::string>{});
    }
  }
}

TEST(KeypruneSafety, WindowsNinetyEightStyleEnumPathIsADeviceTree) {
  TestPc pc;
  const sim::KeySecurity device = sim::KeySecurity::deviceKey();
  pc->registry().createKey(HKEY_LOCAL_MACHINE, "Enum\\USB\\Vid_2e51&Pid_2201\\inst", &device);
  pc->registry().createKey(HKEY_LOCAL_MACHINE, "Enum\\USB\\Vid_2e51&Pid_2202", &device);
  makeDeviceTrees(pc->registry());
  runTool(pc, "Enum\\USB\\Vid_2e51&Pid_2201", nullptr);
  EXPECT_FALSE(pc->registry().exists(HKEY_LOCAL_MACHINE, "Enum\\USB\\Vid_2e51&Pid_2201"));
  EXPECT_TRUE(pc->registry().exists(HKEY_LOCAL_MACHINE, "Enum\\USB\\Vid_2e51&Pid_2202"));
}

// A tree that is still there after the removal is not announced as reset.
TEST(KeypruneVerbose, NoSuccessTextWhileTheTreeIsStillThere) {
  TestPc pc;
  makeDeviceTrees(pc->registry());
  sim::KeySecurity systemOnly;
  systemOnly.owner = sim::sids::system();
  systemOnly.dacl = {sim::Ace{ACCESS_ALLOWED_ACE_TYPE, 0, KEY_ALL_ACCESS, sim::sids::system()}};
  pc->registry().setSecurity(HKEY_LOCAL_MACHINE, kDevice + "\\6&99&0&2", systemOnly);
  ToolRun run = runTool(pc, "/V " + kDevice, "yes");
  EXPECT_EQ(run.boxes, (std::vector<std::string>{box(kDevicePrompt + kAskEn, "question", "yes")}));
  EXPECT_TRUE(run.deviceLeft);
  // What could go did go.
  EXPECT_FALSE(pc->registry().exists(HKEY_LOCAL_MACHINE, kDevice + "\\5&1a2b3c&0&1"));
}

// A missing tree is gone already: the success text is true then.
TEST(KeypruneVerbose, MissingTreeChangesNothingAndReportsItGone) {
  TestPc pc;
  makeDeviceTrees(pc->registry());
  ToolRun run = runTool(pc, "/V " + kUsb + "\\Vid_9999&Pid_9999", "yes");
  EXPECT_TRUE(pc->registry().deletedKeys(HKEY_LOCAL_MACHINE).empty());
  ASSERT_EQ(run.boxes.size(), 2u);
  EXPECT_EQ(run.boxes[1], box(kDoneEn, "asterisk", "ok"));
}

// The trail byte of a double-byte character in the path stays as it was:
// the prompt shows the character, and the key of that name is removed.
TEST(KeypruneJapanese, DoubleByteCharactersInThePathSurviveUpperCasing) {
  sim::PcConfig config;
  config.codePage = 932;
  TestPc pc(config);
  makeDeviceTrees(pc->registry());
  const sim::KeySecurity device = sim::KeySecurity::deviceKey();
  // 0x83 0x61 is KATAKANA LETTER DI; upper-casing its second byte would
  // turn it into 0x83 0x41, KATAKANA LETTER A.
  const std::string name = kDevice + "\\\x83\x61";
  pc->registry().createKey(HKEY_LOCAL_MACHINE, name, &device);
  ToolRun run = runTool(pc, "/V " + name, "yes");
  ASSERT_FALSE(run.boxes.empty());
  EXPECT_EQ(run.boxes[0],
            box("<SYSTEM\\\\CURRENTCONTROLSET\\\\ENUM\\\\USB\\\\VID_2E51&PID_2201\\\\ヂ>:\\n" + kAskJa,
                "question", "yes"));
  EXPECT_FALSE(pc->registry().exists(HKEY_LOCAL_MACHINE, name));
}

}  // namespace
