// uiprobe: reads and drives the windows of another program under Wine, for
// the Wine tests. A test tool, not a deliverable: it may use the W functions
// and prints UTF-8.
//
//   uiprobe list  [--exe NAME] [--title TEXT]   top-level windows and controls
//   uiprobe wait  [--exe NAME] [--title TEXT] [--timeout SECONDS] [--gone]
//   uiprobe click [--exe NAME] [--title TEXT] --id ID
//   uiprobe close [--exe NAME] [--title TEXT]
//   uiprobe acp                                   the ANSI code page in force
//   uiprobe exes                                  running programs
//
// Windows are matched by the program's file name (without regard to case)
// and by a part of their title. Exit codes: 0 done, 1 no such window (or
// timeout), 2 usage.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

struct Filter {
  std::wstring exe;
  std::wstring title;
};

std::string utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                              nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n,
                      nullptr, nullptr);
  return out;
}

std::wstring wide(const char* text) {
  int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n > 0 ? n - 1 : 0), L'\0');
  if (n > 1) MultiByteToWideChar(CP_UTF8, 0, text, -1, &out[0], n);
  return out;
}

std::string escaped(const std::wstring& text) {
  std::string out;
  for (char c : utf8(text)) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
          out += hex;
        } else {
          out += c;
        }
    }
  }
  return out;
}

std::wstring lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(towlower(c));
  return text;
}

std::wstring exeOf(DWORD pid) {
  std::wstring name;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return name;
  PROCESSENTRY32W entry;
  entry.dwSize = sizeof entry;
  for (BOOL ok = Process32FirstW(snapshot, &entry); ok; ok = Process32NextW(snapshot, &entry)) {
    if (entry.th32ProcessID == pid) {
      name = entry.szExeFile;
      break;
    }
  }
  CloseHandle(snapshot);
  std::size_t slash = name.find_last_of(L"\\/");
  return slash == std::wstring::npos ? name : name.substr(slash + 1);
}

std::wstring textOf(HWND window) {
  wchar_t buffer[4096];
  // WM_GETTEXT works across processes, where GetWindowText would not.
  LRESULT n = SendMessageW(window, WM_GETTEXT, sizeof buffer / sizeof buffer[0],
                           reinterpret_cast<LPARAM>(buffer));
  return std::wstring(buffer, static_cast<std::size_t>(n > 0 ? n : 0));
}

std::wstring classOf(HWND window) {
  wchar_t buffer[256];
  int n = GetClassNameW(window, buffer, 256);
  return std::wstring(buffer, static_cast<std::size_t>(n > 0 ? n : 0));
}

struct Found {
  const Filter* filter;
  std::vector<HWND> windows;
};

BOOL CALLBACK collectTopLevel(HWND window, LPARAM param) {
  Found* found = reinterpret_cast<Found*>(param);
  if (!IsWindowVisible(window)) return TRUE;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (!found->filter->exe.empty() && lower(exeOf(pid)) != lower(found->filter->exe)) return TRUE;
  if (!found->filter->title.empty() &&
      textOf(window).find(found->filter->title) == std::wstring::npos) {
    return TRUE;
  }
  found->windows.push_back(window);
  return TRUE;
}

std::vector<HWND> findWindows(const Filter& filter) {
  Found found{&filter, {}};
  EnumWindows(collectTopLevel, reinterpret_cast<LPARAM>(&found));
  return found.windows;
}

BOOL CALLBACK printControl(HWND control, LPARAM) {
  std::printf("  control %d class=\"%s\" text=\"%s\" visible=%d enabled=%d\n",
              GetDlgCtrlID(control), escaped(classOf(control)).c_str(),
              escaped(textOf(control)).c_str(), IsWindowVisible(control) ? 1 : 0,
              IsWindowEnabled(control) ? 1 : 0);
  return TRUE;
}

int list(const Filter& filter) {
  std::vector<HWND> windows = findWindows(filter);
  for (HWND window : windows) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    std::printf("window exe=%s class=\"%s\" title=\"%s\" visible=%d enabled=%d\n",
                escaped(exeOf(pid)).c_str(), escaped(classOf(window)).c_str(),
                escaped(textOf(window)).c_str(), IsWindowVisible(window) ? 1 : 0,
                IsWindowEnabled(window) ? 1 : 0);
    EnumChildWindows(window, printControl, 0);
  }
  return windows.empty() ? 1 : 0;
}

int wait(const Filter& filter, double seconds, bool gone) {
  DWORD deadline = GetTickCount() + static_cast<DWORD>(seconds * 1000);
  for (;;) {
    bool present = !findWindows(filter).empty();
    if (present != gone) return 0;
    if (static_cast<LONG>(GetTickCount() - deadline) >= 0) return 1;
    Sleep(100);
  }
}

int click(const Filter& filter, int id) {
  std::vector<HWND> windows = findWindows(filter);
  if (windows.empty()) return 1;
  HWND button = GetDlgItem(windows.front(), id);
  // A posted command leaves the probe free while the program reacts (a
  // click may open a modal box).
  PostMessageW(windows.front(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(button));
  return 0;
}

int close(const Filter& filter) {
  std::vector<HWND> windows = findWindows(filter);
  if (windows.empty()) return 1;
  PostMessageW(windows.front(), WM_CLOSE, 0, 0);
  return 0;
}

int usage() {
  std::fprintf(stderr, "usage: uiprobe list|wait|click|close|acp|exes [--exe NAME] [--title TEXT] "
                       "[--id ID] [--timeout SECONDS] [--gone]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  std::string command = argv[1];
  Filter filter;
  int id = -1;
  double timeout = 30;
  bool gone = false;
  for (int i = 2; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--exe" && i + 1 < argc) {
      filter.exe = wide(argv[++i]);
    } else if (arg == "--title" && i + 1 < argc) {
      filter.title = wide(argv[++i]);
    } else if (arg == "--id" && i + 1 < argc) {
      id = std::atoi(argv[++i]);
    } else if (arg == "--timeout" && i + 1 < argc) {
      timeout = std::atof(argv[++i]);
    } else if (arg == "--gone") {
      gone = true;
    } else {
      return usage();
    }
  }
  if (command == "list") return list(filter);
  if (command == "wait") return wait(filter, timeout, gone);
  if (command == "click") return id < 0 ? usage() : click(filter, id);
  if (command == "close") return close(filter);
  if (command == "acp") {
    std::printf("%u\n", GetACP());
    return 0;
  }
  if (command == "exes") {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    for (BOOL ok = Process32FirstW(snapshot, &entry); ok; ok = Process32NextW(snapshot, &entry)) {
      std::printf("%lu %s\n", static_cast<unsigned long>(entry.th32ProcessID),
                  escaped(entry.szExeFile).c_str());
    }
    CloseHandle(snapshot);
    return 0;
  }
  return usage();
}
