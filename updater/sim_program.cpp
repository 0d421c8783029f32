#include "sim_program.h"

namespace norbix {

std::vector<sim::StringResource> updaterStrings() {
  return {
#define NORBIX_STRING(id, english, japanese) {id, english, japanese},
#include "resources/catalog.def"
#undef NORBIX_STRING
  };
}

namespace {

// dialogs.def spelled as the simulated PC's template rows.
constexpr sim::DialogFrame kFrameMAIN = sim::DialogFrame::Main;
constexpr sim::DialogFrame kFrameABOUT = sim::DialogFrame::About;
constexpr sim::DialogFrame kFramePLAIN = sim::DialogFrame::Plain;
constexpr sim::ControlKind kKindDEFPUSH = sim::ControlKind::DefPushButton;
constexpr sim::ControlKind kKindPUSH = sim::ControlKind::PushButton;
constexpr sim::ControlKind kKindCTEXT = sim::ControlKind::CentredText;
constexpr sim::ControlKind kKindLTEXT = sim::ControlKind::LeftText;
constexpr sim::ControlKind kKindLTEXT_NOPREFIX = sim::ControlKind::LeftTextNoPrefix;
constexpr sim::ControlKind kKindGROUP = sim::ControlKind::GroupBox;
constexpr sim::ControlKind kKindPROGRESS = sim::ControlKind::ProgressBar;
constexpr sim::ControlKind kKindEDIT_RO = sim::ControlKind::ReadOnlyEdit;
constexpr sim::ControlKind kKindICON = sim::ControlKind::Icon;
constexpr bool kStateSHOWN = true;
constexpr bool kStateHIDDEN = false;

}  // namespace

std::vector<sim::DialogResource> updaterDialogs() {
  std::vector<sim::DialogResource> dialogs;
#define NORBIX_DIALOG(id, frame, ec, jc, ef, jf, ep, jp, ew, eh, jw, jh) \
  dialogs.push_back({id, kFrame##frame, ec, jc, ef, jf, ep, jp, ew, eh, jw, jh, {}});
#define NORBIX_CONTROL(kind, id, et, jt, ex, ey, ew, eh, jx, jy, jw, jh, es, js) \
  dialogs.back().controls.push_back(                                           \
      {kKind##kind, id, et, jt, {ex, ey, ew, eh}, {jx, jy, jw, jh}, kState##es, kState##js});
#define NORBIX_DIALOG_END()
#include "resources/dialogs.def"
#undef NORBIX_DIALOG
#undef NORBIX_CONTROL
#undef NORBIX_DIALOG_END
  return dialogs;
}

void installUpdater(sim::SimPc& pc, const std::string& imageName,
                    std::function<void(UpdaterApp&)> atEnd) {
  pc.installProgram(
      imageName,
      [atEnd](platform::Platform& platform) { return runUpdater(platform, atEnd); },
      updaterStrings(), updaterDialogs());
}

}  // namespace norbix
