// platform::Kernel for one simulated process.
#pragma once

#include <optional>
#include <string>

#include "platform/kernel.h"

namespace sim {

class Process;

class SimKernel : public platform::Kernel {
 public:
  explicit SimKernel(Process& process) : process_(process) {}

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
  platform::UINT getSystemDirectoryA(char* buffer, platform::UINT size) override;
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

 private:
  platform::BOOL fail(platform::DWORD error);
  std::optional<std::string> absolute(const char* path);
  Process& process_;
};

}  // namespace sim
