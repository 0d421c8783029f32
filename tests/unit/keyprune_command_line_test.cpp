// keyprune's command-line handling: the program name skipped as the start-up
// code skips it, upper-casing that leaves double-byte characters whole, the
// split into switches and path, and which paths count as device key trees.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "keyprune/command_line.h"

namespace {

using keyprune::Language;

struct SkipCase {
  const char* commandLine;
  const char* arguments;
};

TEST(KeypruneCommandLine, ProgramNameIsSkippedAsTheStartUpCodeDoes) {
  const SkipCase cases[] = {
      {"keyprune.exe /V", "/V"},
      {"\"C:\\Program Files\\keyprune.exe\" /V x", "/V x"},
      {"\"C:\\a b\\keyprune.exe\"", ""},
      {"keyprune.exe\t\t/V", "/V"},
      {"keyprune.exe \x01\x1f x", "x"},
      {"a\"b c\"d e", "e"},
      {"\"never closed /V", ""},
      {"k\xe9.exe x", "x"},
      {"", ""},
  };
  for (const SkipCase& c : cases) {
    EXPECT_STREQ(keyprune::argumentsOf(c.commandLine), c.arguments) << c.commandLine;
  }
}

struct UpperCase {
  const char* text;
  unsigned codePage;
  const char* upper;
};

TEST(KeypruneCommandLine, UpperCasingMapsOnlyLettersAndKeepsDoubleByteCharacters) {
  const UpperCase cases[] = {
      {"system\\vid_2e51&pid_2201", 1252, "SYSTEM\\VID_2E51&PID_2201"},
      // 0x82 0x61 is one character on code page 932; its second byte must
      // not become 'A'.
      {"\x82\x61" "b", 932, "\x82\x61" "B"},
      {"\x83\x61\x83\x61z", 932, "\x83\x61\x83\x61Z"},
      {"\xe0\x7a" "a", 932, "\xe0\x7a" "A"},
      // Half-width katakana are single bytes.
      {"\xb1" "a", 932, "\xb1" "A"},
      // On 1252 the same bytes are single characters.
      {"\x82\x61" "b", 1252, "\x82\x41" "B"},
      {"\xe9x", 1252, "\xe9X"},
      // A lead byte at the very end has no partner to skip.
      {"a\x82", 932, "A\x82"},
  };
  for (const UpperCase& c : cases) {
    std::string text = c.text;
    keyprune::upperCaseInPlace(text, c.codePage);
    EXPECT_EQ(text, c.upper) << c.text << " on " << c.codePage;
  }
}

struct WordsCase {
  const char* name;
  const char* text;
  const char* keyPath;
  bool silent;
  Language language;
};

// Test names and ctest's listing show the case by its name.
void PrintTo(const WordsCase& c, std::ostream* os) { *os << c.name; }

class KeypruneWords : public ::testing::TestWithParam<WordsCase> {};

TEST_P(KeypruneWords, SwitchesAndPath) {
  const WordsCase& c = GetParam();
  keyprune::Options options = keyprune::parseWords(c.text);
  EXPECT_EQ(options.keyPath, c.keyPath);
  EXPECT_EQ(options.silent, c.silent);
  EXPECT_EQ(options.language, c.language);
}

INSTANTIATE_TEST_SUITE_P(
    Table, KeypruneWords,
    ::testing::Values(
        WordsCase{"Empty", "", "", true, Language::FromCodePage},
        WordsCase{"Verbose", "/V", "", false, Language::FromCodePage},
        WordsCase{"LastOfVAndSWins", "-V /S", "", true, Language::FromCodePage},
        WordsCase{"LastOfSAndVWins", "/S -V", "", false, Language::FromCodePage},
        WordsCase{"LastOfEAndJWins", "/E /J", "", true, Language::Japanese},
        WordsCase{"LastOfJAndEWins", "-J -E", "", true, Language::English},
        WordsCase{"DSwitchIgnoresItsValue", "/DANYTHING", "", true, Language::FromCodePage},
        WordsCase{"UnknownAndBareSwitchesIgnored", "/X A /", "A", true, Language::FromCodePage},
        WordsCase{"DashAlone", "-", "", true, Language::FromCodePage},
        WordsCase{"LastPathWins", "A B", "B", true, Language::FromCodePage},
        WordsCase{"RunsOfBlanks", "  A   /V  ", "A", false, Language::FromCodePage},
        WordsCase{"QuotesDropped", "\"A\\B\"", "A\\B", true, Language::FromCodePage},
        WordsCase{"QuotesDoNotProtectBlanks", "\"A B\"", "B", true, Language::FromCodePage},
        WordsCase{"OnlyOneQuoteEachEnd", "\"\"A\"\"", "\"A\"", true, Language::FromCodePage},
        WordsCase{"TabIsPartOfAWord", "A\tB", "A\tB", true, Language::FromCodePage},
        WordsCase{"TabAfterSwitchLetter", "/V\tX", "", false, Language::FromCodePage}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(KeypruneCommandLine, OnlyDeviceKeyTreesAreAccepted) {
  const std::pair<const char*, bool> cases[] = {
      {"SYSTEM\\CURRENTCONTROLSET\\ENUM\\USB\\VID_2E51&PID_2201", true},
      {"SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_2e51&Pid_2201", true},
      {"system\\currentcontrolset\\enum\\usb\\vid_1\\inst", true},
      {"ENUM\\USB\\VID_2E51&PID_2201", true},
      {"Enum\\Usb\\x", true},
      {"", false},
      {"SYSTEM", false},
      {"SYSTEM\\CURRENTCONTROLSET", false},
      {"SYSTEM\\CURRENTCONTROLSET\\ENUM\\USB", false},
      {"SYSTEM\\CURRENTCONTROLSET\\ENUM\\USB\\", false},
      {"SYSTEM\\CURRENTCONTROLSET\\ENUM\\USB\\\\X", false},
      {"SYSTEM\\CURRENTCONTROLSET\\ENUM\\USB\\X\\", false},
      {"SYSTEM\\CURRENTCONTROLSET\\ENUM\\USB\\X\\\\Y", false},
      {"SYSTEM\\CURRENTCONTROLSET\\ENUM\\USBSTOR\\X", false},
      {"SYSTEM\\CURRENTCONTROLSET\\ENUM\\PCI\\X", false},
      {"ENUM\\USB", false},
      {"SOFTWARE\\ENUM\\USB\\X", false},
      {"\\SYSTEM\\CURRENTCONTROLSET\\ENUM\\USB\\X", false},
      {"SYSTEM\\CONTROLSET001\\ENUM\\USB\\X", false},
  };
  for (const auto& [path, accepted] : cases) {
    EXPECT_EQ(keyprune::isDeviceKeyPath(path), accepted) << path;
  }
}

}  // namespace
