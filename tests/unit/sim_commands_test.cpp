// The simulated command interpreter: "cmd /ccopy" and "cmd /cdel" as the
// Windows one runs them, relative to its current folder, and nothing else.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "sim/commands.h"
#include "sim/filesystem.h"
#include "support/sim_fixture.h"

namespace {

using namespace platform;
using testsupport::TestPc;

struct CommandCase {
  const char* name;
  std::string commandLine;
  DWORD exitCode;
  // Files afterwards: content, or nullopt for "must not exist".
  std::map<std::string, std::optional<std::string>> after;
};

// Test names and ctest's listing show the case by its name.
void PrintTo(const CommandCase& c, std::ostream* os) { *os << c.name; }

class SimCommand : public ::testing::TestWithParam<CommandCase> {};

TEST_P(SimCommand, RunsAsTheInterpreterWould) {
  const CommandCase& c = GetParam();
  TestPc pc;
  sim::installCommandInterpreter(pc.pc());
  sim::FileSystem& fs = pc->files();
  fs.makeFolder("C:\\WORK");
  fs.makeFolder("C:\\WINDOWS\\SYSTEM32\\DRIVERS");
  fs.makeFolder("C:\\Program Files");
  fs.writeFile("C:\\WORK\\zandfu.sys", "new driver");
  fs.writeFile("C:\\WINDOWS\\SYSTEM32\\DRIVERS\\old.sys", "old driver");
  fs.writeFile("C:\\Program Files\\a b.sys", "blank");
  DWORD exitCode = 99;
  pc.runProgram(
      [&](Platform& p) -> DWORD {
        std::vector<char> line(c.commandLine.begin(), c.commandLine.end());
        line.push_back('\0');
        ProcessInformation info{};
        if (!p.kernel.createProcessA(nullptr, line.data(), CREATE_NO_WINDOW, &info)) return 1;
        p.kernel.waitForSingleObject(info.hProcess, INFINITE);
        p.kernel.getExitCodeProcess(info.hProcess, &exitCode);
        return 0;
      },
      "C:\\WORK\\TEST.EXE");
  EXPECT_EQ(exitCode, c.exitCode);
  for (const auto& [path, content] : c.after) {
    EXPECT_EQ(fs.readFile(path), content) << path;
  }
}

const std::string kDrivers = "C:\\WINDOWS\\SYSTEM32\\DRIVERS";

INSTANTIATE_TEST_SUITE_P(
    Commands, SimCommand,
    ::testing::Values(
        CommandCase{"CopyBareNameFromTheCurrentFolder",
                    "cmd /ccopy zandfu.sys " + kDrivers + "\\zandfu.sys",
                    0,
                    {{kDrivers + "\\zandfu.sys", "new driver"},
                     {"C:\\WORK\\zandfu.sys", "new driver"}}},
        CommandCase{"CopyOverwrites", "cmd /ccopy zandfu.sys " + kDrivers + "\\old.sys", 0,
                    {{kDrivers + "\\old.sys", "new driver"}}},
        CommandCase{"CopyIntoAFolderKeepsTheName", "cmd /c copy C:\\WORK\\zandfu.sys " + kDrivers,
                    0, {{kDrivers + "\\zandfu.sys", "new driver"}}},
        CommandCase{"CopyQuotedNamesWithBlanks",
                    "CMD /CCOPY \"C:\\Program Files\\a b.sys\" \"C:\\WORK\\c d.sys\"", 0,
                    {{"C:\\WORK\\c d.sys", "blank"}}},
        CommandCase{"CopyOfAMissingFileFails", "cmd /ccopy missing.sys " + kDrivers + "\\m.sys", 1,
                    {{kDrivers + "\\m.sys", std::nullopt}}},
        CommandCase{"DeleteAFullPath", "cmd /cdel " + kDrivers + "\\old.sys", 0,
                    {{kDrivers + "\\old.sys", std::nullopt}}},
        CommandCase{"DeleteABareName", "\"C:\\WINDOWS\\SYSTEM32\\cmd.exe\" /c del zandfu.sys", 0,
                    {{"C:\\WORK\\zandfu.sys", std::nullopt}}},
        CommandCase{"DeleteOfAMissingFileFails", "cmd /cdel " + kDrivers + "\\none.sys", 1,
                    {{kDrivers + "\\old.sys", "old driver"}}},
        CommandCase{"OtherCommandsFailQuietly", "cmd /cmove zandfu.sys " + kDrivers, 1,
                    {{"C:\\WORK\\zandfu.sys", "new driver"},
                     {kDrivers + "\\zandfu.sys", std::nullopt}}},
        CommandCase{"WithoutSlashCNothingRuns", "cmd del zandfu.sys", 1,
                    {{"C:\\WORK\\zandfu.sys", "new driver"}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SimCommandArguments, QuotesGroupBlanksAndAreDropped) {
  EXPECT_EQ(sim::commandArguments("  a  \"b c\"\td\"e f\"g "),
            (std::vector<std::string>{"a", "b c", "de fg"}));
  EXPECT_TRUE(sim::commandArguments("   ").empty());
}

}  // namespace
