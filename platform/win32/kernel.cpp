// platform::Kernel on the real kernel32, A forms only (Windows 98/Me have no
// working W functions). Every Windows out-parameter is a local of Windows'
// own type, copied out afterwards: our DWORD is not Windows' DWORD as a C++
// type, and Windows 9x faults on a null byte count or thread id where NT
// accepts one.
#include <cstddef>
#include <cstring>
#include <new>

#include "platform/kernel.h"
#include "platform/types.h"
#include "win32/win32_checks.h"
#include "win32/win32_services.h"

namespace {
// clang-format off
#define NORBIX_KERNEL_CONSTANTS(X)                                            \
  X(GENERIC_READ) X(GENERIC_WRITE) X(FILE_SHARE_READ) X(FILE_SHARE_WRITE)     \
  X(CREATE_NEW) X(CREATE_ALWAYS) X(OPEN_EXISTING) X(OPEN_ALWAYS)              \
  X(TRUNCATE_EXISTING) X(FILE_ATTRIBUTE_READONLY) X(FILE_ATTRIBUTE_HIDDEN)    \
  X(FILE_ATTRIBUTE_DIRECTORY) X(FILE_ATTRIBUTE_ARCHIVE)                       \
  X(FILE_ATTRIBUTE_NORMAL) X(FILE_FLAG_DELETE_ON_CLOSE) X(INVALID_FILE_SIZE)  \
  X(INVALID_SET_FILE_POINTER) X(FILE_BEGIN) X(FILE_CURRENT) X(FILE_END)       \
  X(DRIVE_UNKNOWN) X(DRIVE_NO_ROOT_DIR) X(DRIVE_REMOVABLE) X(DRIVE_FIXED)     \
  X(DRIVE_REMOTE) X(DRIVE_CDROM) X(DRIVE_RAMDISK) X(VER_PLATFORM_WIN32s)      \
  X(VER_PLATFORM_WIN32_WINDOWS) X(VER_PLATFORM_WIN32_NT)                      \
  X(THREAD_PRIORITY_NORMAL) X(THREAD_PRIORITY_ABOVE_NORMAL)                   \
  X(THREAD_PRIORITY_HIGHEST) X(CREATE_SUSPENDED) X(CREATE_NO_WINDOW)          \
  X(WAIT_OBJECT_0) X(WAIT_TIMEOUT) X(WAIT_FAILED) X(MAX_PATH) X(INFINITE)
// clang-format on

// getLastError hands these on as they are, so the programs compare Windows'
// own codes with ours.
// clang-format off
#define NORBIX_ERROR_CONSTANTS(X)                                             \
  X(ERROR_SUCCESS) X(ERROR_INVALID_FUNCTION) X(ERROR_FILE_NOT_FOUND)          \
  X(ERROR_PATH_NOT_FOUND) X(ERROR_ACCESS_DENIED) X(ERROR_INVALID_HANDLE)      \
  X(ERROR_NOT_ENOUGH_MEMORY) X(ERROR_NOT_READY) X(ERROR_GEN_FAILURE)          \
  X(ERROR_SHARING_VIOLATION) X(ERROR_HANDLE_EOF) X(ERROR_NOT_SUPPORTED)       \
  X(ERROR_FILE_EXISTS) X(ERROR_INVALID_PARAMETER) X(ERROR_INSUFFICIENT_BUFFER)\
  X(ERROR_INVALID_NAME) X(ERROR_DIR_NOT_EMPTY) X(ERROR_ALREADY_EXISTS)        \
  X(ERROR_MORE_DATA) X(ERROR_NO_MORE_ITEMS) X(ERROR_NO_MORE_FILES)            \
  X(ERROR_DEVICE_NOT_CONNECTED) X(ERROR_NO_TOKEN) X(ERROR_KEY_DELETED)        \
  X(ERROR_CALL_NOT_IMPLEMENTED) X(ERROR_NOT_ALL_ASSIGNED)                     \
  X(ERROR_NO_SUCH_PRIVILEGE)
// clang-format on

NORBIX_KERNEL_CONSTANTS(NORBIX_CAPTURE)
NORBIX_ERROR_CONSTANTS(NORBIX_CAPTURE)
}  // namespace

#include "win32/win32_windows.h"

NORBIX_KERNEL_CONSTANTS(NORBIX_SAME_VALUE)
NORBIX_ERROR_CONSTANTS(NORBIX_SAME_VALUE)

static_assert(sizeof(platform::OSVERSIONINFOA) == sizeof(::OSVERSIONINFOA));
static_assert(offsetof(platform::OSVERSIONINFOA, dwPlatformId) ==
              offsetof(::OSVERSIONINFOA, dwPlatformId));
static_assert(offsetof(platform::OSVERSIONINFOA, szCSDVersion) ==
              offsetof(::OSVERSIONINFOA, szCSDVersion));
static_assert(sizeof(platform::OSVERSIONINFOA::szCSDVersion) ==
              sizeof(::OSVERSIONINFOA::szCSDVersion));
static_assert(sizeof(platform::FindDataA::cFileName) ==
              sizeof(::WIN32_FIND_DATAA::cFileName));

namespace platform::win32 {
namespace {

void copyFindData(const ::WIN32_FIND_DATAA& from, platform::FindDataA* to) {
  if (to == nullptr) return;
  to->dwFileAttributes = from.dwFileAttributes;
  to->nFileSizeHigh = from.nFileSizeHigh;
  to->nFileSizeLow = from.nFileSizeLow;
  // Same size on both sides; the explicit end keeps the copy bounded even if
  // Windows ever handed back an unterminated name.
  std::memcpy(to->cFileName, from.cFileName, sizeof to->cFileName);
  to->cFileName[sizeof to->cFileName - 1] = '\0';
}

// Windows starts a thread with the WINAPI calling convention, our ThreadProc
// uses the default one, so every thread begins here. The record is on the
// heap because a suspended thread may first run long after createThread has
// returned; the new thread frees it before calling the program's function.
struct ThreadStart {
  platform::ThreadProc proc;
  void* param;
};

::DWORD WINAPI threadStart(LPVOID raw) {
  auto* record = static_cast<ThreadStart*>(raw);
  const ThreadStart start = *record;
  delete record;
  return start.proc(start.param);
}

}  // namespace

platform::DWORD Win32Kernel::getLastError() { return GetLastError(); }

void Win32Kernel::setLastError(platform::DWORD code) { SetLastError(code); }

platform::Handle Win32Kernel::createFileA(const char* name,
                                          platform::DWORD access,
                                          platform::DWORD shareMode,
                                          platform::DWORD creation,
                                          platform::DWORD flags) {
  // No security attributes and no template: Windows 9x fails with a template.
  return fromWin(
      CreateFileA(name, access, shareMode, nullptr, creation, flags, nullptr));
}

platform::BOOL Win32Kernel::readFile(platform::Handle file, void* buffer,
                                     platform::DWORD toRead,
                                     platform::DWORD* read) {
  ::DWORD done = 0;
  const ::BOOL ok = ReadFile(toWin(file), buffer, toRead, &done, nullptr);
  if (read != nullptr) *read = done;
  return ok;
}

platform::BOOL Win32Kernel::writeFile(platform::Handle file, const void* buffer,
                                      platform::DWORD toWrite,
                                      platform::DWORD* written) {
  ::DWORD done = 0;
  const ::BOOL ok = WriteFile(toWin(file), buffer, toWrite, &done, nullptr);
  if (written != nullptr) *written = done;
  return ok;
}

platform::DWORD Win32Kernel::setFilePointer(platform::Handle file,
                                            platform::LONG distance,
                                            platform::DWORD method) {
  return SetFilePointer(toWin(file), distance, nullptr, method);
}

platform::DWORD Win32Kernel::getFileSize(platform::Handle file,
                                         platform::DWORD* sizeHigh) {
  ::DWORD high = 0;
  const ::DWORD low = GetFileSize(toWin(file), &high);
  if (sizeHigh != nullptr) *sizeHigh = high;
  return low;
}

platform::BOOL Win32Kernel::deviceIoControl(platform::Handle device,
                                            platform::DWORD code, void* in,
                                            platform::DWORD inSize, void* out,
                                            platform::DWORD outSize,
                                            platform::DWORD* returned) {
  ::DWORD done = 0;
  const ::BOOL ok = DeviceIoControl(toWin(device), code, in, inSize, out,
                                    outSize, &done, nullptr);
  if (returned != nullptr) *returned = done;
  return ok;
}

platform::BOOL Win32Kernel::closeHandle(platform::Handle object) {
  return CloseHandle(toWin(object));
}

platform::Handle Win32Kernel::findFirstFileA(const char* pattern,
                                             platform::FindDataA* found) {
  ::WIN32_FIND_DATAA data{};
  const ::HANDLE search = FindFirstFileA(pattern, &data);
  if (search != INVALID_HANDLE_VALUE) copyFindData(data, found);
  return fromWin(search);
}

platform::BOOL Win32Kernel::findNextFileA(platform::Handle search,
                                          platform::FindDataA* found) {
  ::WIN32_FIND_DATAA data{};
  if (!FindNextFileA(toWin(search), &data)) return FALSE;
  copyFindData(data, found);
  return TRUE;
}

platform::BOOL Win32Kernel::findClose(platform::Handle search) {
  return FindClose(toWin(search));
}

platform::BOOL Win32Kernel::copyFileA(const char* from, const char* to,
                                      platform::BOOL failIfExists) {
  return CopyFileA(from, to, failIfExists);
}

platform::BOOL Win32Kernel::moveFileA(const char* from, const char* to) {
  return MoveFileA(from, to);
}

platform::BOOL Win32Kernel::deleteFileA(const char* name) {
  return DeleteFileA(name);
}

platform::DWORD Win32Kernel::getFileAttributesA(const char* name) {
  return GetFileAttributesA(name);
}

platform::DWORD Win32Kernel::getModuleFileNameA(char* buffer,
                                                platform::DWORD size) {
  const ::DWORD length = GetModuleFileNameA(nullptr, buffer, size);
  // A name that does not fit comes back as `size` characters; Windows XP
  // and older leave it without its NUL. Terminate it, as later Windows does,
  // so that no caller reads past the buffer.
  if (size > 0 && length >= size) {
    buffer[size - 1] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
  }
  return length;
}

platform::UINT Win32Kernel::getSystemDirectoryA(char* buffer,
                                                platform::UINT size) {
  return GetSystemDirectoryA(buffer, size);
}

platform::UINT Win32Kernel::getWindowsDirectoryA(char* buffer,
                                                 platform::UINT size) {
  return GetWindowsDirectoryA(buffer, size);
}

platform::DWORD Win32Kernel::getCurrentDirectoryA(platform::DWORD size,
                                                  char* buffer) {
  return GetCurrentDirectoryA(size, buffer);
}

platform::UINT Win32Kernel::getDriveTypeA(const char* rootPath) {
  return GetDriveTypeA(rootPath);
}

platform::DWORD Win32Kernel::getLogicalDrives() { return GetLogicalDrives(); }

platform::Handle Win32Kernel::createMutexA(platform::BOOL initialOwner,
                                           const char* name) {
  return fromWin(CreateMutexA(nullptr, initialOwner, name));
}

platform::BOOL Win32Kernel::releaseMutex(platform::Handle mutex) {
  return ReleaseMutex(toWin(mutex));
}

platform::BOOL Win32Kernel::getVersionExA(platform::OSVERSIONINFOA* info) {
  if (info == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // Windows would accept the larger OSVERSIONINFOEXA size too and write
  // past the end of our structure; ask only for the one we have.
  if (info->dwOSVersionInfoSize != sizeof(platform::OSVERSIONINFOA)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  ::OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExA(&version)) return FALSE;
  info->dwMajorVersion = version.dwMajorVersion;
  info->dwMinorVersion = version.dwMinorVersion;
  info->dwBuildNumber = version.dwBuildNumber;
  info->dwPlatformId = version.dwPlatformId;
  std::memcpy(info->szCSDVersion, version.szCSDVersion,
              sizeof info->szCSDVersion);
  info->szCSDVersion[sizeof info->szCSDVersion - 1] = '\0';
  return TRUE;
}

platform::UINT Win32Kernel::getACP() { return GetACP(); }

platform::UINT Win32Kernel::getOEMCP() { return GetOEMCP(); }

const char* Win32Kernel::getCommandLineA() { return GetCommandLineA(); }

void Win32Kernel::sleep(platform::DWORD milliseconds) { Sleep(milliseconds); }

platform::DWORD Win32Kernel::getTickCount() { return GetTickCount(); }

platform::Handle Win32Kernel::createThread(platform::ThreadProc proc,
                                           void* param, platform::DWORD flags,
                                           platform::DWORD* threadId) {
  if (proc == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  auto* record = new (std::nothrow) ThreadStart{proc, param};
  if (record == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  ::DWORD id = 0;
  const ::HANDLE thread =
      CreateThread(nullptr, 0, threadStart, record, flags, &id);
  if (thread == nullptr) {
    const ::DWORD error = GetLastError();
    delete record;  // the thread never existed, so nobody else frees it
    SetLastError(error);
    return 0;
  }
  if (threadId != nullptr) *threadId = id;
  return fromWin(thread);
}

platform::BOOL Win32Kernel::setThreadPriority(platform::Handle thread,
                                              int priority) {
  return SetThreadPriority(toWin(thread), priority);
}

platform::DWORD Win32Kernel::resumeThread(platform::Handle thread) {
  return ResumeThread(toWin(thread));
}

platform::DWORD Win32Kernel::waitForSingleObject(platform::Handle object,
                                                 platform::DWORD milliseconds) {
  return WaitForSingleObject(toWin(object), milliseconds);
}

platform::BOOL Win32Kernel::createProcessA(const char* application,
                                           char* commandLine,
                                           platform::DWORD flags,
                                           platform::ProcessInformation* info) {
  // Everything the child is not told comes from the caller: no security
  // attributes, no inherited handles, our environment and current folder.
  ::STARTUPINFOA startup;
  std::memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  ::PROCESS_INFORMATION process{};
  if (!CreateProcessA(application, commandLine, nullptr, nullptr, FALSE, flags,
                      nullptr, nullptr, &startup, &process)) {
    return FALSE;
  }
  if (info == nullptr) {
    // Nobody can close what they were not given.
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return TRUE;
  }
  info->hProcess = fromWin(process.hProcess);
  info->hThread = fromWin(process.hThread);
  info->dwProcessId = process.dwProcessId;
  info->dwThreadId = process.dwThreadId;
  return TRUE;
}

platform::BOOL Win32Kernel::getExitCodeProcess(platform::Handle process,
                                               platform::DWORD* exitCode) {
  ::DWORD code = 0;
  if (!GetExitCodeProcess(toWin(process), &code)) return FALSE;
  if (exitCode != nullptr) *exitCode = code;
  return TRUE;
}

}  // namespace platform::win32
