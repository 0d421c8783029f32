// Start-up of the updater on the simulated PC: the Windows-family flags,
// the instance lock, update-file discovery, the reader variant from the
// names and the refusal of a bad file.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "simkit/scenario.h"
#include "testkit/update_file_maker.h"

namespace {

using simkit::Outcome;
using simkit::Scenario;
using simkit::ScenarioOptions;

std::string goodFile(std::uint32_t seed = 1) {
  norbix::testkit::UpdateFileOptions options;
  options.seed = seed;
  auto bytes = norbix::testkit::makeUpdateFile(options);
  return std::string(bytes.begin(), bytes.end());
}

std::string corruptFile() {
  std::string bytes = goodFile(7);
  bytes[0x2000] = static_cast<char>(bytes[0x2000] ^ 0x01);
  return bytes;
}

// The `state NAME=VALUE` lines of the first updater, by name.
std::map<std::string, std::string> stateOf(const std::vector<std::string>& lines) {
  std::map<std::string, std::string> state;
  for (const std::string& line : lines) {
    std::size_t at = line.find(" state ");
    if (at == std::string::npos || line.find('[') < at) continue;
    std::string entry = line.substr(at + 7);
    std::size_t eq = entry.find('=');
    state[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  return state;
}

std::vector<std::string> linesWith(const std::vector<std::string>& lines, const std::string& text) {
  std::vector<std::string> found;
  for (const std::string& line : lines) {
    if (line.find(text) != std::string::npos) found.push_back(line);
  }
  return found;
}

struct FolderCase {
  const char* name;
  std::vector<std::pair<std::string, std::string>> files;
  int readerVariant;
  int updateFileCount;
  std::string firstName;
  std::string secondName;
  bool refused;  // the update-file error is shown
};

class StartupFolder : public ::testing::TestWithParam<FolderCase> {};

TEST_P(StartupFolder, FindsChecksAndNamesTheFiles) {
  const FolderCase& c = GetParam();
  ScenarioOptions options;
  options.folder = "/nonexistent";  // nothing but the files of the case
  options.files = c.files;
  options.dumpState = true;
  Scenario scenario(options);
  ASSERT_EQ(scenario.run(), Outcome::Ended);
  auto state = stateOf(scenario.transcript());
  EXPECT_EQ(state["readerVariant"], std::to_string(c.readerVariant));
  EXPECT_EQ(state["updateFileCount"], std::to_string(c.updateFileCount));
  EXPECT_EQ(state["updateFileNames[0]"], c.firstName);
  EXPECT_EQ(state["updateFileNames[1]"], c.secondName);
  auto boxes = linesWith(scenario.transcript(), " msgbox ");
  if (c.refused) {
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("msgbox \"Check error of update file\" \"The update file has a "
                            "problem.\\r\\nPlease execute after download once again.\" hand -> ok"),
              std::string::npos)
        << boxes[0];
  } else {
    EXPECT_TRUE(boxes.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StartupFolder,
    ::testing::Values(
        FolderCase{"EmptyFolder", {}, 0, 0, "", "", false},
        FolderCase{"CodeMC", {{"FW_MC.DFU", goodFile()}}, 4, 1, "FW_MC.DFU", "", false},
        FolderCase{"FirstCodeOfTheTableWins", {{"FW_MC_KA.DFU", goodFile()}}, 1, 1,
                   "FW_MC_KA.DFU", "", false},
        FolderCase{"LowerCaseCodesDoNotCount", {{"fw_mc.dfu", goodFile()}}, 2, 1, "fw_mc.dfu",
                   "", false},
        FolderCase{"SecondNameDecides",
                   {{"B_RG.DFU", goodFile(2)}, {"A_PE.DFU", goodFile(1)}}, 8, 2, "A_PE.DFU",
                   "B_RG.DFU", false},
        FolderCase{"OnlyTwoOfThreeAreChecked",
                   {{"C_LB.DFU", corruptFile()}, {"A_KA.DFU", goodFile(1)},
                    {"B_KA.DFU", goodFile(2)}},
                   1, 2, "A_KA.DFU", "B_KA.DFU", false},
        FolderCase{"CorruptSecondFileEndsTheProgram",
                   {{"A_KA.DFU", goodFile()}, {"B_ND.DFU", corruptFile()}}, 5, 1, "A_KA.DFU", "",
                   true},
        FolderCase{"ShortFileIsRefused", {{"UPDATE_KA.DFU", goodFile().substr(0, 65549)}}, 1, 0,
                   "", "", true},
        FolderCase{"OtherFilesAreNotUpdateFiles",
                   {{"UPDATE_KA.DAT", "4A\r\n"}, {"README.TXT", "x"}}, 0, 0, "", "", false}),
    [](const ::testing::TestParamInfo<FolderCase>& info) { return info.param.name; });

struct FamilyCase {
  sim::WindowsVersion os;
  int isWin9x;
  int isX64Windows;
};

class StartupFamily : public ::testing::TestWithParam<FamilyCase> {};

TEST_P(StartupFamily, SetsTheWindowsFamilyFlags) {
  ScenarioOptions options;
  options.os = GetParam().os;
  options.dumpState = true;
  Scenario scenario(options);
  ASSERT_EQ(scenario.run(), Outcome::Ended);
  auto state = stateOf(scenario.transcript());
  EXPECT_EQ(state["isWin9x"], std::to_string(GetParam().isWin9x));
  EXPECT_EQ(state["isX64Windows"], std::to_string(GetParam().isX64Windows));
}

INSTANTIATE_TEST_SUITE_P(Families, StartupFamily,
                         ::testing::Values(FamilyCase{sim::WindowsVersion::Win98, 1, 0},
                                           FamilyCase{sim::WindowsVersion::WinMe, 1, 0},
                                           FamilyCase{sim::WindowsVersion::Win2000, 0, 0},
                                           FamilyCase{sim::WindowsVersion::WinXP, 0, 0},
                                           FamilyCase{sim::WindowsVersion::WinXP64, 0, 1}));

TEST(Startup, JapaneseSystemShowsTheErrorInJapanese) {
  ScenarioOptions options;
  options.japanese = true;
  options.folder = "/nonexistent";
  options.files = {{"UPDATE_KA.DFU", corruptFile()}};
  Scenario scenario(options);
  ASSERT_EQ(scenario.run(), Outcome::Ended);
  auto boxes = linesWith(scenario.transcript(), " msgbox ");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find("msgbox \"更新用ファイルのチェックエラー\" \"更新に必要なファイルが壊れて"
                          "いる可能性があります。もう一度ダウンロードしてから実行してください。\" hand"),
            std::string::npos)
      << boxes[0];
}

TEST(Startup, SecondCopyEndsAtOnceAndTheFirstGoesOn) {
  ScenarioOptions options;
  options.folder = "/nonexistent";
  options.files = {{"UPDATE_KA.DFU", corruptFile()}};  // the box is the first window
  options.secondInstance = true;
  Scenario scenario(options);
  ASSERT_EQ(scenario.run(), Outcome::Ended);
  const auto& lines = scenario.transcript();
  auto second = linesWith(lines, "[Norbix.exe#2]");
  ASSERT_EQ(second.size(), 1u);
  EXPECT_NE(second[0].find("[Norbix.exe#2] exit 0"), std::string::npos);
  // The first copy's box is still answered after the second copy ended.
  auto boxes = linesWith(lines, " msgbox ");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].find('['), std::string::npos);
  EXPECT_EQ(lines.back().substr(lines.back().find(' ')), " exit 0");
}

TEST(Startup, RerunOnTheSamePcStartsNormally) {
  ScenarioOptions options;
  options.dumpState = true;
  Scenario scenario(options);
  ASSERT_EQ(scenario.run(), Outcome::Ended);
  std::size_t firstRun = scenario.transcript().size();
  scenario.startUpdater();
  ASSERT_EQ(scenario.pc().run(scenario.pc().scheduler().now() + 3600 * 1000),
            sim::RunEnd::Finished);
  std::vector<std::string> rerun(scenario.transcript().begin() + static_cast<long>(firstRun),
                                 scenario.transcript().end());
  // The lock of the first run is gone with its process: the rerun loads
  // the file again instead of ending at once.
  EXPECT_FALSE(linesWith(rerun, "state updateFileCount=1").empty());
}

TEST(Startup, SameScenarioGivesTheSameTranscript) {
  auto once = [] {
    ScenarioOptions options;
    options.files = {{"B_KA.DFU", corruptFile()}};
    options.secondInstance = true;
    options.dumpState = true;
    Scenario scenario(options);
    scenario.run();
    return scenario.transcript();
  };
  EXPECT_EQ(once(), once());
}

}  // namespace
