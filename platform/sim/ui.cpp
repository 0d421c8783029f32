#include "ui.h"

#include <cstring>

#include "controls.h"
#include "filesystem.h"
#include "process.h"
#include "registry.h"
#include "transcript.h"
#include "windows.h"

namespace sim {

using namespace platform;

namespace {

const char* iconName(UINT type) {
  switch (type & MB_ICONMASK) {
    case MB_ICONHAND: return "hand";
    case MB_ICONQUESTION: return "question";
    case MB_ICONEXCLAMATION: return "exclamation";
    case MB_ICONASTERISK: return "asterisk";
    default: return "none";
  }
}

struct Button {
  const char* word;
  int id;
};

std::vector<Button> buttonsOf(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: return {{"ok", IDOK}, {"cancel", IDCANCEL}};
    case MB_YESNOCANCEL: return {{"yes", IDYES}, {"no", IDNO}, {"cancel", IDCANCEL}};
    case MB_YESNO: return {{"yes", IDYES}, {"no", IDNO}};
    default: return {{"ok", IDOK}};
  }
}

class MessageBoxWindow : public SimWindow {
 public:
  MessageBoxWindow(Process& owner, UINT type)
      : SimWindow(owner), buttons_(buttonsOf(type)), type_(type) {}
  std::string answerKey() const override { return "box"; }
  bool answer(const std::string& word) override {
    for (const Button& b : buttons_) {
      if (word == b.word) {
        result = b.id;
        return true;
      }
    }
    return false;
  }
  void pressDefault() override {
    std::size_t index = (type_ & MB_DEFBUTTON2) && buttons_.size() > 1 ? 1 : 0;
    result = buttons_[index].id;
  }
  bool userAction(const std::string& action) override {
    // Escape and the close box cancel a box that has a Cancel button (and
    // close a lone OK box); a box without either ignores them.
    if (action != "escape" && action != "close") return false;
    for (const Button& b : buttons_) {
      if (b.id == IDCANCEL) {
        result = IDCANCEL;
        return true;
      }
    }
    if (buttons_.size() == 1) {
      result = IDOK;
      return true;
    }
    return false;
  }
  const char* wordOf(int id) const {
    for (const Button& b : buttons_) {
      if (b.id == id) return b.word;
    }
    return "none";
  }
  int result = 0;

 private:
  std::vector<Button> buttons_;
  UINT type_;
};

// Keeps a window on screen for the scope, also when the process is ended
// while the window waits.
class WindowOnScreen {
 public:
  WindowOnScreen(Process& process, SimWindow& window)
      : process_(process), window_(window) {
    openWindow(process, window);
  }
  ~WindowOnScreen() { process_.pc().windows().close(&window_); }

 private:
  Process& process_;
  SimWindow& window_;
};

}  // namespace

void openWindow(Process& process, SimWindow& window) {
  SimPc& pc = process.pc();
  window.openedAt = pc.scheduler().now();
  pc.windows().open(&window);
  if (!process.sawFirstWindow) {
    process.sawFirstWindow = true;
    if (pc.onFirstWindow) pc.onFirstWindow(process);
  }
}

int SimUi::messageBoxA(HWND /*owner*/, const char* text, const char* caption,
                       UINT type) {
  process_.checkAlive();
  MessageBoxWindow box(process_, type);
  {
    WindowOnScreen shown(process_, box);
    process_.pc().scheduler().waitFor([&box] { return box.result != 0; },
                                      std::nullopt);
  }
  UINT cp = process_.pc().config().codePage;
  process_.log("msgbox \"" + escapeText(caption ? caption : "Error", cp) +
               "\" \"" + escapeText(text ? text : "", cp) + "\" " +
               iconName(type) + " -> " + box.wordOf(box.result));
  return box.result;
}

int SimUi::loadStringA(UINT id, char* buffer, int bufferSize) {
  if (buffer == nullptr || bufferSize <= 0) return 0;
  buffer[0] = '\0';
  const Program* program = process_.program();
  if (program == nullptr) return 0;
  UINT cp = process_.pc().config().codePage;
  for (const StringResource& s : program->strings) {
    if (s.id != id) continue;
    std::string text = fromUtf8(cp == 932 ? s.japanese : s.english, cp);
    // Truncate to the buffer without splitting a double-byte character.
    std::size_t limit = static_cast<std::size_t>(bufferSize - 1);
    std::size_t n = 0;
    while (n < text.size()) {
      auto c = static_cast<unsigned char>(text[n]);
      bool lead = cp == 932 && ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC));
      std::size_t width = lead && n + 1 < text.size() ? 2 : 1;
      if (n + width > limit) break;
      n += width;
    }
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
  }
  process_.lastError() = 1814;  // ERROR_RESOURCE_NAME_NOT_FOUND
  return 0;
}

BOOL SimUi::exitWindowsEx(UINT flags, DWORD /*reason*/) {
  SimPc& pc = process_.pc();
  // NT refuses unless the caller enabled the shutdown privilege first.
  if (pc.nt() && !pc.registry().privilegeEnabled(process_.number(), "SeShutdownPrivilege")) {
    process_.log("note exitwindows refused");
    process_.lastError() = 1314;  // ERROR_PRIVILEGE_NOT_HELD
    return 0;
  }
  if (flags & EWX_POWEROFF) {
    process_.log("poweroff");
    ++process_.pc().powerOffRequests;
  } else {
    process_.log("note exitwindows " + std::to_string(flags));
  }
  return 1;
}

LRESULT SimUi::sendMessageA(HWND window, UINT message, WPARAM wParam,
                            LPARAM lParam) {
  process_.checkAlive();
  SimControl* control = process_.pc().controls().find(window);
  if (control == nullptr) {
    process_.lastError() = 1400;  // ERROR_INVALID_WINDOW_HANDLE
    return 0;
  }
  return control->send(message, wParam, lParam);
}

BOOL SimUi::postMessageA(HWND window, UINT message, WPARAM wParam,
                         LPARAM lParam) {
  process_.checkAlive();
  SimControl* control = process_.pc().controls().find(window);
  if (control == nullptr) {
    process_.lastError() = 1400;  // ERROR_INVALID_WINDOW_HANDLE
    return 0;
  }
  return control->post(message, wParam, lParam);
}

std::intptr_t SimShell::shellExecuteA(HWND /*owner*/, const char* /*verb*/,
                                      const char* file, const char* parameters,
                                      const char* directory, int /*show*/) {
  process_.checkAlive();
  UINT cp = process_.pc().config().codePage;
  std::string fileText = file ? file : "";
  std::string params = parameters ? parameters : "";
  process_.log("launch \"" + escapeText(fileText, cp) + "\" \"" +
               escapeText(params, cp) + "\"");
  SimPc& pc = process_.pc();
  std::string folder = directory && *directory ? directory : process_.currentFolder();
  auto path = pc.files().absolute(fileText, process_.currentFolder());
  std::size_t slash = fileText.find_last_of("\\/");
  std::string fileName = slash == std::string::npos ? fileText : fileText.substr(slash + 1);
  if (!path || pc.program(fileName) == nullptr) {
    return 2;  // SE_ERR_FNF
  }
  // The started program sees its full path in quotes, then the parameters.
  std::string commandLine = "\"" + *path + "\"";
  if (!params.empty()) commandLine += " " + params;
  if (pc.startProcess(*path, commandLine, folder) == nullptr) return 2;
  return 42;
}

}  // namespace sim
