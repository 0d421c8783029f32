// The updater's catalog and templates against the texts and tables of the
// product description, transcribed separately into the .inc files.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "sim/dialog_resource.h"
#include "sim/transcript.h"
#include "sim_program.h"
#include "support/sim_fixture.h"

namespace {

struct ExpectedString {
  unsigned id;
  const char* english;
  const char* japanese;
};

const ExpectedString kExpectedStrings[] = {
#include "unit/catalog_expected.inc"
};

// The description writes CR, LF and tab as \r, \n and \t; every other
// backslash is a backslash.
std::string decodeNotation(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      char next = text[i + 1];
      if (next == 'r' || next == 'n' || next == 't') {
        out += next == 'r' ? '\r' : next == 'n' ? '\n' : '\t';
        ++i;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

TEST(Catalog, HoldsExactlyTheListedIds) {
  std::set<unsigned> expected;
  for (unsigned id = 101; id <= 115; ++id) expected.insert(id);
  for (unsigned id = 121; id <= 137; ++id) expected.insert(id);
  for (unsigned id = 151; id <= 167; ++id) expected.insert(id);
  for (unsigned id = 201; id <= 206; ++id) expected.insert(id);
  for (unsigned id = 210; id <= 217; ++id) expected.insert(id);
  std::multiset<unsigned> actual;
  for (const auto& s : norbix::updaterStrings()) actual.insert(s.id);
  EXPECT_EQ(std::multiset<unsigned>(expected.begin(), expected.end()), actual);
}

TEST(Catalog, EveryTextMatchesByteForByte) {
  std::map<unsigned, sim::StringResource> byId;
  for (const auto& s : norbix::updaterStrings()) byId.emplace(s.id, s);
  ASSERT_EQ(std::size(kExpectedStrings), byId.size());
  for (const ExpectedString& e : kExpectedStrings) {
    SCOPED_TRACE(e.id);
    auto it = byId.find(e.id);
    ASSERT_NE(it, byId.end());
    EXPECT_EQ(decodeNotation(e.english), it->second.english);
    EXPECT_EQ(decodeNotation(e.japanese), it->second.japanese);
  }
}

TEST(Catalog, TabsAndLiteralBackslashesSurviveTheEscapes) {
  std::map<unsigned, std::string> english;
  for (const auto& s : norbix::updaterStrings()) english[s.id] = s.english;
  EXPECT_NE(english[211].find("correctly, \then"), std::string::npos);
  EXPECT_NE(english[213].find("SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_2E51&PID_2206"),
            std::string::npos);
  EXPECT_NE(english[102].find("this  update.\r\n\r\nNote"), std::string::npos);
}

// What the program gets from LoadStringA: English on a code-page-1252 PC,
// CP932 bytes on a Japanese one, ideographic spaces and half-width katakana
// intact.
struct LoadCase {
  unsigned codePage;
  unsigned id;
  std::string bytes;
};

void PrintTo(const LoadCase& c, std::ostream* os) {
  *os << "cp" << c.codePage << " id " << c.id;
}

class CatalogLoad : public ::testing::TestWithParam<LoadCase> {};

TEST_P(CatalogLoad, LoadStringGivesTheCodePageBytes) {
  const LoadCase& c = GetParam();
  sim::PcConfig config;
  config.codePage = c.codePage;
  testsupport::TestPc pc(config);
  std::string loaded;
  pc->installProgram(
      "Norbix.exe",
      [&](platform::Platform& p) -> platform::DWORD {
        char buffer[512];
        int n = p.ui.loadStringA(c.id, buffer, sizeof buffer);
        loaded.assign(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
        return 0;
      },
      norbix::updaterStrings());
  pc->startProcess("C:\\NORBIX\\Norbix.exe", "Norbix.exe", "C:\\NORBIX");
  ASSERT_EQ(sim::RunEnd::Finished, pc->run(60000));
  EXPECT_EQ(c.bytes, loaded);
}

INSTANTIATE_TEST_SUITE_P(
    Languages, CatalogLoad,
    ::testing::Values(
        LoadCase{1252, 103, "Attention !!"},
        // 注意！！: full-width exclamation marks are 81 49.
        LoadCase{932, 103, "\x92\x8D\x88\xD3\x81\x49\x81\x49"},
        // ・・・　接続中　・・・: middle dots 81 45, ideographic space 81 40.
        LoadCase{932, 160,
                 "\x81\x45\x81\x45\x81\x45\x81\x40\x90\xDA\x91\xB1\x92\x86"
                 "\x81\x40\x81\x45\x81\x45\x81\x45"},
        // ｷｬﾝｾﾙ is not in the string table; 137 不明 is.
        LoadCase{932, 137, "\x95\x73\x96\xBE"},
        LoadCase{1252, 201, "Firmware Version : %02x.%02x"},
        LoadCase{932, 201, "Firmware Version : %02x.%02x"}));

TEST(Catalog, HalfWidthKatakanaStaySingleBytes) {
  std::string ja;
  for (const auto& s : norbix::updaterStrings()) {
    if (s.id == 101) ja = sim::fromUtf8(s.japanese, 932);
  }
  // "Firmware Updater の" then ﾊﾞｰｼﾞｮﾝ: CA DE B0 BC DE AE DD.
  EXPECT_NE(ja.find("\x82\xCC\xCA\xDE\xB0\xBC\xDE\xAE\xDD"), std::string::npos);
}

// Template tables.
struct ExpectedControl {
  int id;
  const char* kind;
  const char* english;
  const char* japanese;
  sim::DialogRect englishRect;
  sim::DialogRect japaneseRect;
  const char* state;
};

struct ExpectedDialog {
  unsigned id;
  const char* caption[2];
  const char* font[2];
  int points[2];
  int size[4];
  std::vector<ExpectedControl> controls;
};

const ExpectedDialog kExpectedDialogs[] = {
#include "unit/catalog_templates_expected.inc"
};

sim::ControlKind kindOf(const std::string& text) {
  if (text == "push button, default") return sim::ControlKind::DefPushButton;
  if (text == "push button") return sim::ControlKind::PushButton;
  if (text == "group box") return sim::ControlKind::GroupBox;
  if (text == "progress bar, smooth, bordered") return sim::ControlKind::ProgressBar;
  if (text == "edit, read-only, bordered") return sim::ControlKind::ReadOnlyEdit;
  if (text == "icon") return sim::ControlKind::Icon;
  if (text == "text, left, no mnemonic") return sim::ControlKind::LeftTextNoPrefix;
  if (text.rfind("text, centred", 0) == 0) return sim::ControlKind::CentredText;
  if (text.rfind("text, left", 0) == 0) return sim::ControlKind::LeftText;
  ADD_FAILURE() << "unknown kind " << text;
  return sim::ControlKind::Icon;
}

void expectRect(const sim::DialogRect& want, const sim::DialogRect& got) {
  EXPECT_EQ(want.x, got.x);
  EXPECT_EQ(want.y, got.y);
  EXPECT_EQ(want.width, got.width);
  EXPECT_EQ(want.height, got.height);
}

// "<...>" marks a text the description leaves open or gives as a resource.
void expectText(const std::string& want, const std::string& got) {
  if (want == "<icon 128>") return;
  if (!want.empty() && want.front() == '<') {
    EXPECT_FALSE(got.empty());
    return;
  }
  EXPECT_EQ(decodeNotation(want), got);
}

TEST(Templates, MatchTheTablesInBothLanguages) {
  auto dialogs = norbix::updaterDialogs();
  ASSERT_EQ(std::size(kExpectedDialogs), dialogs.size());
  for (const ExpectedDialog& want : kExpectedDialogs) {
    SCOPED_TRACE(want.id);
    const sim::DialogResource* got = nullptr;
    for (const auto& d : dialogs) {
      if (d.id == want.id) got = &d;
    }
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(std::string(want.caption[0]), got->englishCaption);
    EXPECT_EQ(std::string(want.caption[1]), got->japaneseCaption);
    EXPECT_EQ(std::string(want.font[0]), got->englishFont);
    EXPECT_EQ(std::string(want.font[1]), got->japaneseFont);
    EXPECT_EQ(want.points[0], got->englishPoints);
    EXPECT_EQ(want.points[1], got->japanesePoints);
    EXPECT_EQ(want.size[0], got->englishWidth);
    EXPECT_EQ(want.size[1], got->englishHeight);
    EXPECT_EQ(want.size[2], got->japaneseWidth);
    EXPECT_EQ(want.size[3], got->japaneseHeight);
    ASSERT_EQ(want.controls.size(), got->controls.size());
    for (std::size_t i = 0; i < want.controls.size(); ++i) {
      SCOPED_TRACE(i);
      const ExpectedControl& wc = want.controls[i];
      const sim::ControlResource& gc = got->controls[i];
      EXPECT_EQ(wc.id, gc.id);
      EXPECT_EQ(kindOf(wc.kind), gc.kind);
      expectText(wc.english, gc.english);
      expectText(wc.japanese, gc.japanese);
      expectRect(wc.englishRect, gc.englishRect);
      expectRect(wc.japaneseRect, gc.japaneseRect);
      std::string state = wc.state;
      bool englishVisible = state == "visible" || state == "EN visible, JA hidden";
      bool japaneseVisible = state == "visible" || state == "EN hidden, JA visible";
      EXPECT_EQ(englishVisible, gc.englishVisible);
      EXPECT_EQ(japaneseVisible, gc.japaneseVisible);
    }
  }
}

TEST(Templates, FramesFollowTheDialogKinds) {
  std::map<unsigned, sim::DialogFrame> frames;
  for (const auto& d : norbix::updaterDialogs()) frames[d.id] = d.frame;
  EXPECT_EQ(sim::DialogFrame::About, frames[100]);
  EXPECT_EQ(sim::DialogFrame::Main, frames[102]);
  EXPECT_EQ(sim::DialogFrame::Plain, frames[133]);
  EXPECT_EQ(sim::DialogFrame::Plain, frames[134]);
}

}  // namespace
