#include "dialogs.h"

#include <algorithm>
#include <cstring>

#include "controls.h"
#include "process.h"
#include "transcript.h"
#include "ui.h"
#include "windows.h"

namespace sim {

using namespace platform;

namespace {

constexpr DWORD kErrorInvalidWindowHandle = 1400;
constexpr DWORD kErrorResourceNameNotFound = 1814;
constexpr WPARAM kAboutCommand = 16;  // what a program may add; the sim only looks it up

bool isButton(ControlKind kind) {
  return kind == ControlKind::DefPushButton || kind == ControlKind::PushButton;
}

bool isStatic(ControlKind kind) {
  return kind == ControlKind::CentredText || kind == ControlKind::LeftText ||
         kind == ControlKind::LeftTextNoPrefix || kind == ControlKind::Icon;
}

bool takesFocus(ControlKind kind) {
  return isButton(kind) || kind == ControlKind::ReadOnlyEdit;
}

WPARAM commandOf(int id, UINT code) {
  return (static_cast<WPARAM>(code) << 16) | (static_cast<WPARAM>(id) & 0xFFFF);
}

}  // namespace

// One control of a dialog model. Messages that reach it by handle go to its
// progress-bar model; texts, visibility and enabling go through SimDialogs.
class ControlModel : public SimControl {
 public:
  ControlModel(DialogWindow& dialog, ControlState state)
      : dialog(dialog), state(std::move(state)) {}
  LRESULT send(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (progress) return progress->send(message, wParam, lParam);
    return 0;
  }

  DialogWindow& dialog;
  ControlState state;
  HWND hwnd = 0;
  bool needsPaint = false;
  std::unique_ptr<ProgressControl> progress;
};

// The model of one open dialog: a window on the simulated screen the
// scripted user acts on, and a window that messages reach by handle.
class DialogWindow : public SimWindow, public SimControl {
 public:
  DialogWindow(SimDialogs& owner, const DialogResource& resource, bool japanese,
               DialogProc proc, LPARAM param)
      : SimWindow(owner.process()),
        owner_(owner),
        resource_(resource),
        proc_(proc),
        param_(param),
        thread(owner.process().pc().scheduler().current()) {
    UINT cp = owner.process().pc().config().codePage;
    caption = fromUtf8(japanese ? resource.japaneseCaption : resource.englishCaption, cp);
    for (const ControlResource& c : resource.controls) {
      ControlState state{c.kind, c.id,
                         fromUtf8(japanese ? c.japanese : c.english, cp),
                         japanese ? c.japaneseVisible : c.englishVisible, true};
      auto model = std::make_unique<ControlModel>(*this, std::move(state));
      if (c.kind == ControlKind::ProgressBar) {
        model->progress = std::make_unique<ProgressControl>(owner.process());
      }
      model->needsPaint = isStatic(c.kind);
      controls.push_back(std::move(model));
    }
    sysMenu = resource.frame != DialogFrame::Plain;
    width = japanese ? resource.japaneseWidth : resource.englishWidth;
    height = japanese ? resource.japaneseHeight : resource.englishHeight;
  }

  UINT id() const { return resource_.id; }
  std::string name(int controlId) const {
    return std::to_string(id()) + "." + std::to_string(controlId);
  }

  // The dialog procedure, then what DefDlgProc would do with what it left.
  LRESULT deliver(UINT message, WPARAM wParam, LPARAM lParam) {
    INT_PTR handled = proc_(param_, hwnd, message, wParam, lParam);
    switch (message) {
      case WM_INITDIALOG:
      case WM_CTLCOLORSTATIC:
      case WM_QUERYDRAGICON:
        return handled;
      case WM_DEVICECHANGE:
      case WM_QUERYENDSESSION:
        if (handled) return msgResult;
        return 1;
      default:
        break;
    }
    if (!handled) return defaultProcessing(message, wParam, lParam);
    return msgResult;
  }

  LRESULT defaultProcessing(UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    switch (message) {
      case WM_CLOSE: {
        HWND cancel = controlHwnd(IDCANCEL);
        return deliver(WM_COMMAND, commandOf(IDCANCEL, BN_CLICKED),
                       static_cast<LPARAM>(cancel));
      }
      case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) return deliver(WM_CLOSE, 0, 0);
        return 0;
      default:
        return 0;
    }
  }

  HWND controlHwnd(int controlId) const {
    for (const auto& c : controls) {
      if (c->state.id == controlId) return c->hwnd;
    }
    return 0;
  }
  ControlModel* controlById(int controlId) const {
    for (const auto& c : controls) {
      if (c->state.id == controlId) return c.get();
    }
    return nullptr;
  }

  // SimControl: messages by the dialog's handle.
  LRESULT send(UINT message, WPARAM wParam, LPARAM lParam) override;
  BOOL post(UINT message, WPARAM wParam, LPARAM lParam) override {
    owner_.enqueue(thread, {hwnd, message, wParam, lParam, nullptr, nullptr});
    return 1;
  }

  // SimWindow: the scripted user.
  std::string answerKey() const override {
    switch (resource_.id) {
      case 134: return "attention";
      case 133: return "finish";
      case 100: return "about";
      default: return "";  // the main window waits for the idle rule
    }
  }
  bool answer(const std::string& word) override { return userAction(word); }
  void pressDefault() override {
    // Enter: the default button when it can be pressed, else nothing.
    for (const auto& c : controls) {
      if (c->state.kind != ControlKind::DefPushButton) continue;
      if (c->state.enabled) click(*c);
      return;
    }
  }
  bool userAction(const std::string& action) override {
    struct Word {
      const char* word;
      int button;
    };
    static constexpr Word kButtons[] = {
        {"start", 1000}, {"end", IDOK}, {"ok", IDOK}, {"shutdown", IDOK},
        {"cancel", IDCANCEL}};
    for (const Word& w : kButtons) {
      if (action != w.word) continue;
      ControlModel* c = controlById(w.button);
      if (c == nullptr || !c->state.visible || !c->state.enabled) return false;
      click(*c);
      return true;
    }
    if (action == "enter") {
      pressDefault();
      return true;
    }
    if (action == "escape") {
      post(WM_COMMAND, commandOf(IDCANCEL, BN_CLICKED),
           static_cast<LPARAM>(controlHwnd(IDCANCEL)));
      return true;
    }
    if (action == "close") {
      if (!sysMenu) return false;
      post(WM_SYSCOMMAND, SC_CLOSE, 0);
      return true;
    }
    if (action == "about") {
      bool present = std::any_of(menuItems.begin(), menuItems.end(),
                                 [](UINT_PTR id) { return id == kAboutCommand; });
      if (!present) return false;
      post(WM_SYSCOMMAND, kAboutCommand, 0);
      return true;
    }
    return false;
  }

  void click(const ControlModel& c) {
    post(WM_COMMAND, commandOf(c.state.id, BN_CLICKED), static_cast<LPARAM>(c.hwnd));
  }

  bool needsPaint() const {
    if (paintWindow) return true;
    return std::any_of(controls.begin(), controls.end(),
                       [](const auto& c) { return c->needsPaint; });
  }

  SimDialogs& owner_;
  const DialogResource& resource_;
  DialogProc proc_;
  LPARAM param_;
  Scheduler::ThreadId thread;
  HWND hwnd = 0;
  std::string caption;
  std::vector<std::unique_ptr<ControlModel>> controls;
  HWND focus = 0;
  bool ended = false;
  INT_PTR result = 0;
  LONG_PTR msgResult = 0;
  LONG_PTR user = 0;
  bool sysMenu = false;
  std::vector<UINT_PTR> menuItems;
  bool iconic = false;
  bool paintWindow = false;
  int width = 0;
  int height = 0;
  HICON bigIcon = 0;
  HICON smallIcon = 0;
};

LRESULT DialogWindow::send(UINT message, WPARAM wParam, LPARAM lParam) {
  Scheduler& scheduler = owner_.process().pc().scheduler();
  if (scheduler.current() == thread) {
    if (message == WM_SETICON) {
      HICON& slot = wParam == ICON_BIG ? bigIcon : smallIcon;
      HICON old = slot;
      slot = static_cast<HICON>(lParam);
      return static_cast<LRESULT>(old);
    }
    return deliver(message, wParam, lParam);
  }
  // From another thread: the dialog's thread handles it in its modal loop
  // and the sender waits, as SendMessage does across threads.
  auto result = std::make_shared<LRESULT>(0);
  auto done = std::make_shared<bool>(false);
  owner_.enqueue(thread, {hwnd, message, wParam, lParam, result, done});
  scheduler.waitFor([done] { return *done; }, std::nullopt);
  return *result;
}

struct SimDialogs::FoundControl {
  DialogWindow* dialog = nullptr;
  ControlModel* control = nullptr;  // null: the dialog itself
};

SimDialogs::SimDialogs(Process& process) : process_(process) {
  process.pc().deviceChangeListeners.push_back(
      [this](UINT event, const std::string& deviceInterface) {
        if (!process_.ended()) broadcast(event, deviceInterface);
      });
}

void SimDialogs::broadcast(UINT event, const std::string& deviceInterface) {
  if (deviceInterface.empty()) {
    deviceChange(event, 0);
    return;
  }
  // Arrivals and removals of a device interface go to the windows that
  // registered for notifications, with the interface's name in the data.
  std::vector<char>& data = broadcastData_.emplace_back(
      sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) + deviceInterface.size(), '\0');
  auto* header = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(data.data());
  header->dbcc_size = static_cast<DWORD>(data.size());
  header->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  std::memcpy(header->dbcc_name, deviceInterface.c_str(), deviceInterface.size() + 1);
  for (DialogWindow* d : open_) {
    if (std::find(recipients_.begin(), recipients_.end(), d->hwnd) == recipients_.end()) continue;
    enqueue(d->thread, {d->hwnd, WM_DEVICECHANGE, event,
                        reinterpret_cast<LPARAM>(data.data()), nullptr, nullptr});
  }
}

SimDialogs::~SimDialogs() = default;

void SimDialogs::enqueue(Scheduler::ThreadId thread, Queued message) {
  queues_[thread].push_back(std::move(message));
}

void SimDialogs::dropMessagesFor(HWND window, Scheduler::ThreadId thread) {
  // A destroyed window gets nothing more; a sender waiting on it gets 0.
  std::deque<Queued>& queue = queues_[thread];
  for (auto it = queue.begin(); it != queue.end();) {
    if (it->window != window) {
      ++it;
      continue;
    }
    if (it->sentDone) *it->sentDone = true;
    it = queue.erase(it);
  }
}

DialogWindow* SimDialogs::dialogOf(HWND window) const {
  for (DialogWindow* d : open_) {
    if (d->hwnd == window) return d;
  }
  return nullptr;
}

SimDialogs::FoundControl SimDialogs::find(HWND window) const {
  for (DialogWindow* d : open_) {
    if (d->hwnd == window) return {d, nullptr};
    for (const auto& c : d->controls) {
      if (c->hwnd == window) return {d, c.get()};
    }
  }
  return {};
}

const DialogResource* SimDialogs::templateOf(UINT id) const {
  const Program* program = process_.program();
  if (program == nullptr) return nullptr;
  for (const DialogResource& d : program->dialogs) {
    if (d.id == id) return &d;
  }
  return nullptr;
}

namespace {

// Keeps a dialog registered, on screen and findable by handle for the scope,
// also when the process is ended while the dialog waits.
class DialogRegistration {
 public:
  DialogRegistration(SimDialogs& dialogs, Process& process,
                     std::vector<DialogWindow*>& open, DialogWindow& dialog)
      : dialogs_(dialogs), process_(process), open_(open), dialog_(dialog) {
    ControlTable& table = process.pc().controls();
    dialog.hwnd = table.add(&dialog);
    for (auto& c : dialog.controls) c->hwnd = table.add(c.get());
    open.push_back(&dialog);
  }
  ~DialogRegistration() {
    ControlTable& table = process_.pc().controls();
    for (auto& c : dialog_.controls) table.remove(c->hwnd);
    table.remove(dialog_.hwnd);
    process_.pc().windows().close(&dialog_);
    open_.erase(std::remove(open_.begin(), open_.end(), &dialog_), open_.end());
    dialogs_.dropMessagesFor(dialog_.hwnd, dialog_.thread);
  }
  DialogRegistration(const DialogRegistration&) = delete;
  DialogRegistration& operator=(const DialogRegistration&) = delete;

 private:
  SimDialogs& dialogs_;
  Process& process_;
  std::vector<DialogWindow*>& open_;
  DialogWindow& dialog_;
};

}  // namespace

INT_PTR SimDialogs::dialogBoxParamA(UINT templateId, HWND /*owner*/,
                                    DialogProc proc, LPARAM param) {
  process_.checkAlive();
  const DialogResource* resource = templateOf(templateId);
  if (resource == nullptr || proc == nullptr) {
    process_.lastError() = kErrorResourceNameNotFound;
    return -1;
  }
  bool japanese = process_.pc().config().codePage == 932;
  DialogWindow dialog(*this, *resource, japanese, proc, param);
  DialogRegistration registration(*this, process_, open_, dialog);
  process_.log("dialog " + std::to_string(templateId) + " open");
  LRESULT focusDefault = dialog.deliver(WM_INITDIALOG, 0, param);
  if (focusDefault && dialog.focus == 0) {
    // The dialog manager's own choice: no transcript line.
    for (const auto& c : dialog.controls) {
      if (takesFocus(c->state.kind) && c->state.visible && c->state.enabled) {
        dialog.focus = c->hwnd;
        break;
      }
    }
  }
  INT_PTR result = dialog.ended ? dialog.result : 0;
  if (!dialog.ended) {
    openWindow(process_, dialog);
    result = runModal(dialog);
  }
  process_.log("dialog " + std::to_string(templateId) + " end " + std::to_string(result));
  return result;
}

INT_PTR SimDialogs::runModal(DialogWindow& dialog) {
  Scheduler& scheduler = process_.pc().scheduler();
  Scheduler::ThreadId thread = dialog.thread;
  bool quit = false;
  while (!dialog.ended && !quit) {
    scheduler.waitFor(
        [this, &dialog, thread] {
          if (dialog.ended || !queues_[thread].empty()) return true;
          for (DialogWindow* d : open_) {
            if (d->thread == thread && d->needsPaint()) return true;
          }
          return false;
        },
        std::nullopt);
    process_.checkAlive();
    dispatchNext(dialog, &quit);
  }
  if (!quit) return dialog.result;
  // The loop that met WM_QUIT puts it back for the next loop of the thread,
  // as Windows does; the program has to remove it itself.
  enqueue(thread, {0, WM_QUIT, 0, 0, nullptr, nullptr});
  return IDOK;
}

void SimDialogs::dispatchNext(DialogWindow& running, bool* quit) {
  if (running.ended) return;
  std::deque<Queued>& queue = queues_[running.thread];
  if (!queue.empty()) {
    Queued m = queue.front();
    queue.pop_front();
    if (m.message == WM_QUIT) {
      *quit = true;
      return;
    }
    // Every dialog of the thread gets its messages, as a nested modal loop
    // dispatches them too.
    DialogWindow* target = dialogOf(m.window);
    LRESULT result = target ? target->send(m.message, m.wParam, m.lParam) : 0;
    if (m.sentDone) {
      *m.sentResult = result;
      *m.sentDone = true;
    }
    return;
  }
  // Nothing queued: paint, as WM_PAINT comes when the queue is empty.
  for (DialogWindow* d : open_) {
    if (d->thread != running.thread) continue;
    if (d->paintWindow) {
      d->paintWindow = false;
      d->deliver(WM_PAINT, 0, 0);
      return;
    }
    for (auto& c : d->controls) {
      if (!c->needsPaint) continue;
      c->needsPaint = false;
      HDC dc = nextDc_++;
      dcs_[dc] = Dc{c->hwnd, OPAQUE, 0};
      d->deliver(WM_CTLCOLORSTATIC, static_cast<WPARAM>(dc), static_cast<LPARAM>(c->hwnd));
      c->state.drawn = true;
      c->state.bkMode = dcs_[dc].bkMode;
      c->state.textColor = dcs_[dc].textColor;
      dcs_.erase(dc);
      return;
    }
  }
}

BOOL SimDialogs::endDialog(HWND window, INT_PTR result) {
  DialogWindow* dialog = dialogOf(window);
  if (dialog == nullptr) {
    process_.lastError() = kErrorInvalidWindowHandle;
    return 0;
  }
  dialog->ended = true;
  dialog->result = result;
  return 1;
}

HWND SimDialogs::getDlgItem(HWND window, int id) {
  DialogWindow* dialog = dialogOf(window);
  HWND item = dialog ? dialog->controlHwnd(id) : 0;
  if (item == 0) process_.lastError() = kErrorInvalidWindowHandle;
  return item;
}

BOOL SimDialogs::setWindowTextA(HWND window, const char* text) {
  process_.checkAlive();
  FoundControl found = find(window);
  if (found.dialog == nullptr) {
    process_.lastError() = kErrorInvalidWindowHandle;
    return 0;
  }
  std::string value = text ? text : "";
  if (found.control == nullptr) {
    found.dialog->caption = value;
    return 1;
  }
  ControlState& state = found.control->state;
  if (state.text == value) return 1;
  state.text = value;
  found.control->needsPaint = isStatic(state.kind);
  process_.log("text " + found.dialog->name(state.id) + " \"" +
               escapeText(value, process_.pc().config().codePage) + "\"");
  return 1;
}

int SimDialogs::getWindowTextA(HWND window, char* buffer, int bufferSize) {
  if (buffer == nullptr || bufferSize <= 0) return 0;
  FoundControl found = find(window);
  if (found.dialog == nullptr) {
    process_.lastError() = kErrorInvalidWindowHandle;
    buffer[0] = '\0';
    return 0;
  }
  const std::string& text = found.control ? found.control->state.text : found.dialog->caption;
  std::size_t n = std::min(text.size(), static_cast<std::size_t>(bufferSize - 1));
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return static_cast<int>(n);
}

BOOL SimDialogs::showWindow(HWND window, int command) {
  process_.checkAlive();
  FoundControl found = find(window);
  if (found.control == nullptr) return 0;
  ControlState& state = found.control->state;
  BOOL was = state.visible;
  bool visible = command != SW_HIDE;
  if (state.visible != visible) {
    state.visible = visible;
    process_.log("show " + found.dialog->name(state.id) + (visible ? " 1" : " 0"));
  }
  return was;
}

BOOL SimDialogs::isWindowVisible(HWND window) {
  FoundControl found = find(window);
  if (found.control == nullptr) return found.dialog != nullptr;
  return found.control->state.visible;
}

BOOL SimDialogs::enableWindow(HWND window, BOOL enable) {
  process_.checkAlive();
  FoundControl found = find(window);
  if (found.control == nullptr) return 0;
  ControlState& state = found.control->state;
  BOOL wasDisabled = !state.enabled;
  bool enabled = enable != 0;
  if (state.enabled != enabled) {
    state.enabled = enabled;
    process_.log("enable " + found.dialog->name(state.id) + (enabled ? " 1" : " 0"));
  }
  return wasDisabled;
}

BOOL SimDialogs::isWindowEnabled(HWND window) {
  FoundControl found = find(window);
  if (found.control == nullptr) return found.dialog != nullptr;
  return found.control->state.enabled;
}

HWND SimDialogs::setFocus(HWND window) {
  process_.checkAlive();
  FoundControl found = find(window);
  if (found.control == nullptr) return 0;
  HWND previous = found.dialog->focus;
  if (previous != window) {
    found.dialog->focus = window;
    process_.log("focus " + found.dialog->name(found.control->state.id));
  }
  return previous;
}

BOOL SimDialogs::isIconic(HWND window) {
  DialogWindow* dialog = dialogOf(window);
  return dialog != nullptr && dialog->iconic;
}

BOOL SimDialogs::getClientRect(HWND window, RECT* rect) {
  DialogWindow* dialog = dialogOf(window);
  if (dialog == nullptr || rect == nullptr) return 0;
  // Dialog units at a base of 8 x 16 pixels: two pixels per unit each way.
  *rect = RECT{0, 0, dialog->width * 2, dialog->height * 2};
  if (dialog->iconic) *rect = RECT{0, 0, 36, 36};
  return 1;
}

LONG_PTR SimDialogs::setWindowLongPtrA(HWND window, int index, LONG_PTR value) {
  DialogWindow* dialog = dialogOf(window);
  if (dialog == nullptr) {
    process_.lastError() = kErrorInvalidWindowHandle;
    return 0;
  }
  LONG_PTR* slot = index == DWLP_MSGRESULT ? &dialog->msgResult
                   : index == DWLP_USER    ? &dialog->user
                                           : nullptr;
  if (slot == nullptr) return 0;
  LONG_PTR old = *slot;
  *slot = value;
  return old;
}

LONG_PTR SimDialogs::getWindowLongPtrA(HWND window, int index) {
  DialogWindow* dialog = dialogOf(window);
  if (dialog == nullptr) return 0;
  if (index == DWLP_MSGRESULT) return dialog->msgResult;
  if (index == DWLP_USER) return dialog->user;
  return 0;
}

BOOL SimDialogs::peekMessageA(MSG* message, HWND window, UINT first, UINT last,
                              UINT remove) {
  std::deque<Queued>& queue = queues_[process_.pc().scheduler().current()];
  for (auto it = queue.begin(); it != queue.end(); ++it) {
    if (window != 0 && it->window != window) continue;
    if ((first != 0 || last != 0) && (it->message < first || it->message > last)) continue;
    if (it->sentDone) continue;  // sent messages are not in the posted queue
    if (message != nullptr) {
      *message = MSG{it->window, it->message, it->wParam, it->lParam,
                     static_cast<DWORD>(process_.pc().scheduler().now()), {0, 0}};
    }
    if (remove & PM_REMOVE) queue.erase(it);
    return 1;
  }
  return 0;
}

HMENU SimDialogs::getSystemMenu(HWND window, BOOL /*revert*/) {
  DialogWindow* dialog = dialogOf(window);
  if (dialog == nullptr || !dialog->sysMenu) return 0;
  return dialog->hwnd | 1;  // the menu is found through its window
}

BOOL SimDialogs::appendMenuA(HMENU menu, UINT flags, UINT_PTR id, const char* /*text*/) {
  DialogWindow* dialog = dialogOf(menu & ~HMENU{1});
  if (dialog == nullptr || (menu & 1) == 0) return 0;
  if ((flags & MF_SEPARATOR) == 0) dialog->menuItems.push_back(id);
  return 1;
}

HICON SimDialogs::loadIconA(UINT id) {
  // The simulated PC keeps no icon images; a handle per resource id is
  // enough to see which icon was set and drawn.
  return 0x20000 | static_cast<HICON>(id);
}

int SimDialogs::getSystemMetrics(int index) {
  if (index == SM_CXICON || index == SM_CYICON) return 32;
  return 0;
}

HDC SimDialogs::beginPaint(HWND window) {
  HDC dc = nextDc_++;
  dcs_[dc] = Dc{window, OPAQUE, 0};
  return dc;
}

void SimDialogs::endPaint(HWND /*window*/, HDC dc) { dcs_.erase(dc); }

BOOL SimDialogs::drawIcon(HDC dc, int x, int y, HICON icon) {
  auto it = dcs_.find(dc);
  if (it == dcs_.end()) return 0;
  DialogWindow* dialog = dialogOf(it->second.window);
  if (dialog == nullptr) return 0;
  process_.log("note icon " + std::to_string(icon & 0xFFFF) + " drawn at " +
               std::to_string(x) + "," + std::to_string(y));
  return 1;
}

int SimDialogs::setBkMode(HDC dc, int mode) {
  auto it = dcs_.find(dc);
  if (it == dcs_.end()) return 0;
  int old = it->second.bkMode;
  it->second.bkMode = mode;
  return old;
}

COLORREF SimDialogs::setTextColor(HDC dc, COLORREF color) {
  auto it = dcs_.find(dc);
  if (it == dcs_.end()) return 0xFFFFFFFFu;  // CLR_INVALID
  COLORREF old = it->second.textColor;
  it->second.textColor = color;
  return old;
}

HBRUSH SimDialogs::getSysColorBrush(int index) {
  return 0x30000 | static_cast<HBRUSH>(index);
}

HDEVNOTIFY SimDialogs::registerDeviceNotificationA(HWND recipient, const void* filter,
                                                   DWORD flags) {
  const auto* header = static_cast<const DEV_BROADCAST_HDR*>(filter);
  if (dialogOf(recipient) == nullptr || header == nullptr ||
      flags != DEVICE_NOTIFY_WINDOW_HANDLE ||
      header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE ||
      header->dbch_size < sizeof(DEV_BROADCAST_DEVICEINTERFACE_A)) {
    process_.lastError() = ERROR_INVALID_PARAMETER;
    return 0;
  }
  const auto* filterInterface = static_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(filter);
  registeredClasses_.push_back(filterInterface->dbcc_classguid.Data1);
  recipients_.push_back(recipient);
  return nextNotify_++;
}

BOOL SimDialogs::getOpenFileNameA(OpenFileNameA* /*request*/) {
  // Nobody sits at a file-open dialog in the simulation: it is cancelled.
  process_.log("note open-file dialog cancelled");
  return 0;
}

void SimDialogs::deviceChange(WPARAM event, LPARAM data) {
  for (DialogWindow* d : open_) {
    enqueue(d->thread, {d->hwnd, WM_DEVICECHANGE, event, data, nullptr, nullptr});
  }
}

const DialogWindow* SimDialogs::openDialog(UINT templateId) const {
  for (DialogWindow* d : open_) {
    if (d->id() == templateId) return d;
  }
  return nullptr;
}

const ControlState* SimDialogs::control(UINT templateId, int id) const {
  const DialogWindow* d = openDialog(templateId);
  if (d == nullptr) return nullptr;
  const ControlModel* c = d->controlById(id);
  return c ? &c->state : nullptr;
}

bool SimDialogs::minimise(UINT templateId) {
  for (DialogWindow* d : open_) {
    if (d->id() != templateId) continue;
    d->iconic = true;
    d->paintWindow = true;
    return true;
  }
  return false;
}

}  // namespace sim
