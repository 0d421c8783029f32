// A program's dialog templates as the simulated PC keeps them: the same rows
// the resource script compiles, with both languages side by side. The
// simulated dialog manager builds its model of a dialog from them and picks
// the Japanese column on a code-page-932 PC, as the resource loader does on
// a Japanese Windows.
#pragma once

#include <vector>

#include "platform/types.h"

namespace sim {

enum class ControlKind {
  DefPushButton,
  PushButton,
  CentredText,
  LeftText,
  LeftTextNoPrefix,
  GroupBox,
  ProgressBar,
  ReadOnlyEdit,
  Icon,  // shows icon resource 128
};

// Which frame a dialog has: Main and About carry a system menu (close box),
// Main is also visible on creation and in the task bar.
enum class DialogFrame { Main, About, Plain };

struct DialogRect {
  int x, y, width, height;  // dialog units
};

struct ControlResource {
  ControlKind kind;
  int id;  // -1: nothing addresses it
  const char* english;
  const char* japanese;
  DialogRect englishRect;
  DialogRect japaneseRect;
  bool englishVisible;
  bool japaneseVisible;
};

struct DialogResource {
  platform::UINT id;
  DialogFrame frame;
  const char* englishCaption;
  const char* japaneseCaption;
  const char* englishFont;
  const char* japaneseFont;
  int englishPoints;
  int japanesePoints;
  int englishWidth, englishHeight;
  int japaneseWidth, japaneseHeight;
  std::vector<ControlResource> controls;  // in tab order
};

}  // namespace sim
