// Kernel services as the programs use them: files and devices through one
// handle space (CreateFileA opens both), folder search, named mutexes, version
// and code-page queries, sleeping, threads and processes.
//
// Every call keeps the Win32 argument list and result convention: BOOL 1/0
// with the reason in getLastError(), handles with INVALID_HANDLE_VALUE (or 0
// where Win32 returns NULL) on failure. Tests assert on these exact calls.
#pragma once

#include "platform/types.h"

namespace platform {

// CreateFileA access, share, creation and flag values.
inline constexpr DWORD GENERIC_READ = 0x80000000u;
inline constexpr DWORD GENERIC_WRITE = 0x40000000u;
inline constexpr DWORD FILE_SHARE_READ = 0x1;
inline constexpr DWORD FILE_SHARE_WRITE = 0x2;
inline constexpr DWORD CREATE_NEW = 1;
inline constexpr DWORD CREATE_ALWAYS = 2;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD OPEN_ALWAYS = 4;
inline constexpr DWORD TRUNCATE_EXISTING = 5;
inline constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
inline constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x2;
inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
inline constexpr DWORD FILE_FLAG_DELETE_ON_CLOSE = 0x04000000u;
inline constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFFu;
inline constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;
inline constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFFu;
inline constexpr DWORD FILE_BEGIN = 0;
inline constexpr DWORD FILE_CURRENT = 1;
inline constexpr DWORD FILE_END = 2;

// GetDriveTypeA results.
inline constexpr UINT DRIVE_UNKNOWN = 0;
inline constexpr UINT DRIVE_NO_ROOT_DIR = 1;
inline constexpr UINT DRIVE_REMOVABLE = 2;
inline constexpr UINT DRIVE_FIXED = 3;
inline constexpr UINT DRIVE_REMOTE = 4;
inline constexpr UINT DRIVE_CDROM = 5;
inline constexpr UINT DRIVE_RAMDISK = 6;

// GetVersionExA.
inline constexpr DWORD VER_PLATFORM_WIN32s = 0;
inline constexpr DWORD VER_PLATFORM_WIN32_WINDOWS = 1;
inline constexpr DWORD VER_PLATFORM_WIN32_NT = 2;

struct OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;  // 148 for this layout
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  char szCSDVersion[128];
};
static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA layout");

// FindFirstFileA result; only what the programs read.
struct FindDataA {
  DWORD dwFileAttributes;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  char cFileName[MAX_PATH];
};

// Thread priorities and creation flags.
inline constexpr int THREAD_PRIORITY_NORMAL = 0;
inline constexpr int THREAD_PRIORITY_ABOVE_NORMAL = 1;
inline constexpr int THREAD_PRIORITY_HIGHEST = 2;
inline constexpr DWORD CREATE_SUSPENDED = 0x4;
inline constexpr DWORD CREATE_NO_WINDOW = 0x08000000u;

// WaitForSingleObject results.
inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_TIMEOUT = 258;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;

using ThreadProc = DWORD (*)(void* param);

struct ProcessInformation {
  Handle hProcess;
  Handle hThread;
  DWORD dwProcessId;
  DWORD dwThreadId;
};

class Kernel {
 public:
  virtual ~Kernel() = default;

  virtual DWORD getLastError() = 0;
  virtual void setLastError(DWORD code) = 0;

  // Files and devices ("\\.\NAME" opens a device).
  virtual Handle createFileA(const char* name, DWORD access, DWORD shareMode,
                             DWORD creation, DWORD flags) = 0;
  virtual BOOL readFile(Handle file, void* buffer, DWORD toRead,
                        DWORD* read) = 0;
  virtual BOOL writeFile(Handle file, const void* buffer, DWORD toWrite,
                         DWORD* written) = 0;
  virtual DWORD setFilePointer(Handle file, LONG distance, DWORD method) = 0;
  virtual DWORD getFileSize(Handle file, DWORD* sizeHigh) = 0;
  virtual BOOL deviceIoControl(Handle device, DWORD code, void* in,
                               DWORD inSize, void* out, DWORD outSize,
                               DWORD* returned) = 0;
  virtual BOOL closeHandle(Handle object) = 0;

  // Folder search, in the order the file system lists names.
  virtual Handle findFirstFileA(const char* pattern, FindDataA* found) = 0;
  virtual BOOL findNextFileA(Handle search, FindDataA* found) = 0;
  virtual BOOL findClose(Handle search) = 0;

  virtual BOOL copyFileA(const char* from, const char* to,
                         BOOL failIfExists) = 0;
  // Fails with ERROR_ALREADY_EXISTS when `to` exists.
  virtual BOOL moveFileA(const char* from, const char* to) = 0;
  virtual BOOL deleteFileA(const char* name) = 0;
  virtual DWORD getFileAttributesA(const char* name) = 0;

  // Folders and drives. The string calls return the length written (without
  // the NUL), or the size needed when the buffer is too small, as Win32 does.
  virtual DWORD getModuleFileNameA(char* buffer, DWORD size) = 0;
  virtual UINT getSystemDirectoryA(char* buffer, UINT size) = 0;
  virtual UINT getWindowsDirectoryA(char* buffer, UINT size) = 0;
  virtual DWORD getCurrentDirectoryA(DWORD size, char* buffer) = 0;
  virtual UINT getDriveTypeA(const char* rootPath) = 0;
  virtual DWORD getLogicalDrives() = 0;

  // Named mutex: a second create of an existing name returns a handle and
  // getLastError() == ERROR_ALREADY_EXISTS.
  virtual Handle createMutexA(BOOL initialOwner, const char* name) = 0;
  virtual BOOL releaseMutex(Handle mutex) = 0;

  virtual BOOL getVersionExA(OSVERSIONINFOA* info) = 0;
  virtual UINT getACP() = 0;
  virtual UINT getOEMCP() = 0;
  virtual const char* getCommandLineA() = 0;

  virtual void sleep(DWORD milliseconds) = 0;
  virtual DWORD getTickCount() = 0;

  // Threads: the created thread runs proc(param) once resumed (or at once).
  virtual Handle createThread(ThreadProc proc, void* param, DWORD flags,
                              DWORD* threadId) = 0;
  virtual BOOL setThreadPriority(Handle thread, int priority) = 0;
  virtual DWORD resumeThread(Handle thread) = 0;
  virtual DWORD waitForSingleObject(Handle object, DWORD milliseconds) = 0;

  // Processes. The current folder and environment are the caller's.
  virtual BOOL createProcessA(const char* application, char* commandLine,
                              DWORD flags, ProcessInformation* info) = 0;
  virtual BOOL getExitCodeProcess(Handle process, DWORD* exitCode) = 0;
};

}  // namespace platform
