// The Windows implementations of the platform interfaces, one class per
// interface and one translation unit per class (kernel.cpp, registry.cpp,
// security.cpp, ui.cpp, shell.cpp). Declared without <windows.h> so that
// win32_platform.h, which the programs' WinMain includes, stays free of it.
//
// The classes hold no state: every call goes straight to the A-form Win32
// function of the same name, so one object per program run is enough.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/dialogs.h"
#include "platform/kernel.h"
#include "platform/registry.h"
#include "platform/security.h"
#include "platform/shell.h"
#include "platform/ui.h"

namespace platform::win32 {

class Win32Kernel final : public platform::Kernel {
 public:
  platform::DWORD getLastError() override;
  void setLastError(platform::DWORD code) override;

  platform::Handle createFileA(const char* name, platform::DWORD access,
                               platform::DWORD shareMode,
                               platform::DWORD creation,
                               platform::DWORD flags) override;
  platform::BOOL readFile(platform::Handle file, void* buffer,
                          platform::DWORD toRead,
                          platform::DWORD* read) override;
  platform::BOOL writeFile(platform::Handle file, const void* buffer,
                           platform::DWORD toWrite,
                           platform::DWORD* written) override;
  platform::DWORD setFilePointer(platform::Handle file, platform::LONG distance,
                                 platform::DWORD method) override;
  platform::DWORD getFileSize(platform::Handle file,
                              platform::DWORD* sizeHigh) override;
  platform::BOOL deviceIoControl(platform::Handle device, platform::DWORD code,
                                 void* in, platform::DWORD inSize, void* out,
                                 platform::DWORD outSize,
                                 platform::DWORD* returned) override;
  platform::BOOL closeHandle(platform::Handle object) override;

  platform::Handle findFirstFileA(const char* pattern,
                                  platform::FindDataA* found) override;
  platform::BOOL findNextFileA(platform::Handle search,
                               platform::FindDataA* found) override;
  platform::BOOL findClose(platform::Handle search) override;

  platform::BOOL copyFileA(const char* from, const char* to,
                           platform::BOOL failIfExists) override;
  platform::BOOL moveFileA(const char* from, const char* to) override;
  platform::BOOL deleteFileA(const char* name) override;
  platform::DWORD getFileAttributesA(const char* name) override;

  platform::DWORD getModuleFileNameA(char* buffer,
                                     platform::DWORD size) override;
  platform::UINT getSystemDirectoryA(char* buffer,
                                     platform::UINT size) override;
  platform::UINT getWindowsDirectoryA(char* buffer,
                                      platform::UINT size) override;
  platform::DWORD getCurrentDirectoryA(platform::DWORD size,
                                       char* buffer) override;
  platform::UINT getDriveTypeA(const char* rootPath) override;
  platform::DWORD getLogicalDrives() override;

  platform::Handle createMutexA(platform::BOOL initialOwner,
                                const char* name) override;
  platform::BOOL releaseMutex(platform::Handle mutex) override;

  platform::BOOL getVersionExA(platform::OSVERSIONINFOA* info) override;
  platform::UINT getACP() override;
  platform::UINT getOEMCP() override;
  const char* getCommandLineA() override;

  void sleep(platform::DWORD milliseconds) override;
  platform::DWORD getTickCount() override;

  platform::Handle createThread(platform::ThreadProc proc, void* param,
                                platform::DWORD flags,
                                platform::DWORD* threadId) override;
  platform::BOOL setThreadPriority(platform::Handle thread,
                                   int priority) override;
  platform::DWORD resumeThread(platform::Handle thread) override;
  platform::DWORD waitForSingleObject(platform::Handle object,
                                      platform::DWORD milliseconds) override;

  platform::BOOL createProcessA(const char* application, char* commandLine,
                                platform::DWORD flags,
                                platform::ProcessInformation* info) override;
  platform::BOOL getExitCodeProcess(platform::Handle process,
                                    platform::DWORD* exitCode) override;
};

class Win32Registry final : public platform::Registry {
 public:
  platform::LONG regCreateKeyExA(platform::HKEY root, const char* subKey,
                                 platform::DWORD access, platform::HKEY* result,
                                 platform::DWORD* disposition) override;
  platform::LONG regOpenKeyA(platform::HKEY root, const char* subKey,
                             platform::HKEY* result) override;
  platform::LONG regOpenKeyExA(platform::HKEY root, const char* subKey,
                               platform::DWORD options, platform::DWORD access,
                               platform::HKEY* result) override;
  platform::LONG regCloseKey(platform::HKEY key) override;

  platform::LONG regQueryValueExA(platform::HKEY key, const char* name,
                                  platform::DWORD* type, platform::BYTE* data,
                                  platform::DWORD* size) override;
  platform::LONG regSetValueExA(platform::HKEY key, const char* name,
                                platform::DWORD type,
                                const platform::BYTE* data,
                                platform::DWORD size) override;
  platform::LONG regDeleteValueA(platform::HKEY key, const char* name) override;

  platform::LONG regEnumKeyA(platform::HKEY key, platform::DWORD index,
                             char* name, platform::DWORD nameSize) override;
  platform::LONG regQueryInfoKeyA(platform::HKEY key, platform::DWORD* subKeys,
                                  platform::DWORD* maxSubKeyLength,
                                  platform::DWORD* values) override;

  platform::LONG regSetKeySecurity(
      platform::HKEY key, platform::DWORD information,
      const platform::SECURITY_DESCRIPTOR* descriptor) override;

  platform::LONG regDeleteKeyA(platform::HKEY root,
                               const char* subKey) override;
};

class Win32Security final : public platform::Security {
 public:
  platform::BOOL openProcessToken(platform::DWORD access,
                                  platform::Handle* token) override;
  platform::BOOL openThreadToken(platform::DWORD access,
                                 platform::BOOL openAsSelf,
                                 platform::Handle* token) override;
  platform::BOOL getTokenInformation(platform::Handle token,
                                     int informationClass, void* buffer,
                                     platform::DWORD length,
                                     platform::DWORD* returnLength) override;
  platform::BOOL lookupPrivilegeValueA(const char* system, const char* name,
                                       platform::LUID* luid) override;
  platform::BOOL adjustTokenPrivileges(
      platform::Handle token, platform::BOOL disableAll,
      const platform::TOKEN_PRIVILEGES* privileges) override;

  platform::BOOL allocateAndInitializeSid(
      const platform::SID_IDENTIFIER_AUTHORITY* auth,
      platform::BYTE subAuthorityCount, platform::DWORD sub0,
      platform::DWORD sub1, platform::DWORD sub2, platform::DWORD sub3,
      platform::DWORD sub4, platform::DWORD sub5, platform::DWORD sub6,
      platform::DWORD sub7, platform::PSID* sid) override;
  void freeSid(platform::PSID sid) override;
  platform::BOOL equalSid(platform::PSID a, platform::PSID b) override;
  platform::DWORD getLengthSid(platform::PSID sid) override;
  platform::BOOL initializeAcl(platform::ACL* acl, platform::DWORD length,
                               platform::DWORD revision) override;
  platform::BOOL addAccessAllowedAce(platform::ACL* acl,
                                     platform::DWORD revision,
                                     platform::DWORD mask,
                                     platform::PSID sid) override;
  platform::BOOL initializeSecurityDescriptor(
      platform::SECURITY_DESCRIPTOR* descriptor,
      platform::DWORD revision) override;
  platform::BOOL setSecurityDescriptorDacl(
      platform::SECURITY_DESCRIPTOR* descriptor, platform::BOOL present,
      platform::ACL* dacl, platform::BOOL defaulted) override;

  void* heapAlloc(std::size_t bytes) override;
  platform::BOOL heapFree(void* block) override;
};

class Win32Ui final : public platform::Ui {
 public:
  int messageBoxA(platform::HWND owner, const char* text, const char* caption,
                  platform::UINT type) override;
  int loadStringA(platform::UINT id, char* buffer, int bufferSize) override;
  platform::BOOL exitWindowsEx(platform::UINT flags,
                               platform::DWORD reason) override;
  platform::LRESULT sendMessageA(platform::HWND window, platform::UINT message,
                                 platform::WPARAM wParam,
                                 platform::LPARAM lParam) override;
  platform::BOOL postMessageA(platform::HWND window, platform::UINT message,
                              platform::WPARAM wParam,
                              platform::LPARAM lParam) override;
};

class Win32Shell final : public platform::Shell {
 public:
  std::intptr_t shellExecuteA(platform::HWND owner, const char* verb,
                              const char* file, const char* parameters,
                              const char* directory, int show) override;
};

// The one member is the paint structure of the WM_PAINT in progress:
// painting is done on a dialog's own thread, one window at a time.
class Win32Dialogs final : public platform::Dialogs {
 public:
  platform::INT_PTR dialogBoxParamA(platform::UINT templateId,
                                    platform::HWND owner,
                                    platform::DialogProc proc,
                                    platform::LPARAM param) override;
  platform::BOOL endDialog(platform::HWND dialog,
                           platform::INT_PTR result) override;
  platform::HWND getDlgItem(platform::HWND dialog, int id) override;
  platform::BOOL setWindowTextA(platform::HWND window,
                                const char* text) override;
  int getWindowTextA(platform::HWND window, char* buffer,
                     int bufferSize) override;
  platform::BOOL showWindow(platform::HWND window, int command) override;
  platform::BOOL isWindowVisible(platform::HWND window) override;
  platform::BOOL enableWindow(platform::HWND window,
                              platform::BOOL enable) override;
  platform::BOOL isWindowEnabled(platform::HWND window) override;
  platform::HWND setFocus(platform::HWND window) override;
  platform::BOOL isIconic(platform::HWND window) override;
  platform::BOOL getClientRect(platform::HWND window,
                               platform::RECT* rect) override;
  platform::LONG_PTR setWindowLongPtrA(platform::HWND window, int index,
                                       platform::LONG_PTR value) override;
  platform::LONG_PTR getWindowLongPtrA(platform::HWND window,
                                       int index) override;
  platform::BOOL peekMessageA(platform::MSG* message, platform::HWND window,
                              platform::UINT first, platform::UINT last,
                              platform::UINT remove) override;
  platform::HMENU getSystemMenu(platform::HWND window,
                                platform::BOOL revert) override;
  platform::BOOL appendMenuA(platform::HMENU menu, platform::UINT flags,
                             platform::UINT_PTR id, const char* text) override;
  platform::HICON loadIconA(platform::UINT id) override;
  int getSystemMetrics(int index) override;
  platform::HDC beginPaint(platform::HWND window) override;
  void endPaint(platform::HWND window, platform::HDC dc) override;
  platform::BOOL drawIcon(platform::HDC dc, int x, int y,
                          platform::HICON icon) override;
  int setBkMode(platform::HDC dc, int mode) override;
  platform::COLORREF setTextColor(platform::HDC dc,
                                  platform::COLORREF color) override;
  platform::HBRUSH getSysColorBrush(int index) override;
  platform::HDEVNOTIFY registerDeviceNotificationA(
      platform::HWND recipient, const void* filter,
      platform::DWORD flags) override;
  platform::BOOL getOpenFileNameA(platform::OpenFileNameA* request) override;

 private:
  // PAINTSTRUCT, which this header cannot name without <windows.h>; 72
  // bytes on 64-bit Windows, 64 on 32-bit.
  alignas(8) unsigned char paint_[80] = {};
};

}  // namespace platform::win32
