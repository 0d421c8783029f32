#include "kernel.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "devices.h"
#include "filesystem.h"
#include "process.h"

namespace sim {

using namespace platform;

namespace {

class FileObject : public KernelObject {
 public:
  FileObject(int fd, std::string hostPath, bool deleteOnClose)
      : fd_(fd), hostPath_(std::move(hostPath)), deleteOnClose_(deleteOnClose) {}
  ~FileObject() override {
    ::close(fd_);
    if (deleteOnClose_) ::unlink(hostPath_.c_str());
  }
  int fd() const { return fd_; }
  std::uint64_t position = 0;
  bool canRead = false;
  bool canWrite = false;

 private:
  int fd_;
  std::string hostPath_;
  bool deleteOnClose_;
};

class FindObject : public KernelObject {
 public:
  std::vector<FileSystem::Entry> entries;
  std::size_t next = 0;
};

class MutexObject : public KernelObject {};

class ThreadObject : public KernelObject {
 public:
  explicit ThreadObject(Scheduler::ThreadId id) : id(id) {}
  Scheduler::ThreadId id;
};

class ProcessObject : public KernelObject {
 public:
  explicit ProcessObject(Process& process) : process(process) {}
  Process& process;
};

void fillFindData(const FileSystem::Entry& e, FindDataA* found) {
  std::memset(found, 0, sizeof *found);
  found->dwFileAttributes =
      e.folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  found->nFileSizeHigh = static_cast<DWORD>(e.size >> 32);
  found->nFileSizeLow = static_cast<DWORD>(e.size);
  std::snprintf(found->cFileName, sizeof found->cFileName, "%s",
                e.name.c_str());
}

// Copies a string result the way the Win32 folder queries do: the length
// without the NUL when it fits, else the size needed with the NUL.
DWORD copyOut(const std::string& text, char* buffer, DWORD size) {
  if (buffer == nullptr || text.size() + 1 > size) {
    return static_cast<DWORD>(text.size() + 1);
  }
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<DWORD>(text.size());
}

bool hostExists(const std::string& host) {
  struct stat st;
  return ::stat(host.c_str(), &st) == 0;
}

}  // namespace

BOOL SimKernel::fail(DWORD error) {
  process_.lastError() = error;
  return 0;
}

std::optional<std::string> SimKernel::absolute(const char* path) {
  if (path == nullptr) return std::nullopt;
  return process_.pc().files().absolute(path, process_.currentFolder());
}

DWORD SimKernel::getLastError() { return process_.lastError(); }
void SimKernel::setLastError(DWORD code) { process_.lastError() = code; }

Handle SimKernel::createFileA(const char* name, DWORD access, DWORD shareMode,
                              DWORD creation, DWORD flags) {
  if (name == nullptr) {
    fail(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::string text = name;
  if (text.rfind("\\\\.\\", 0) == 0) {
    std::string device = text.substr(4);
    DWORD error = ERROR_FILE_NOT_FOUND;
    for (DeviceProvider* provider : process_.pc().deviceProviders()) {
      DWORD providerError = ERROR_FILE_NOT_FOUND;
      auto object = provider->open(process_, device, access, shareMode,
                                   creation, flags, &providerError);
      process_.checkAlive();
      if (object) return process_.handles().add(object);
      if (providerError != ERROR_FILE_NOT_FOUND) error = providerError;
    }
    fail(error);
    return INVALID_HANDLE_VALUE;
  }
  auto path = absolute(name);
  FileSystem& fs = process_.pc().files();
  auto host = path ? fs.creatableHostPath(*path) : std::nullopt;
  if (!host) {
    fail(path ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_NAME);
    return INVALID_HANDLE_VALUE;
  }
  if (fs.isFolder(*path)) {
    fail(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  bool exists = hostExists(*host);
  int mode = (access & GENERIC_WRITE) ? ((access & GENERIC_READ) ? O_RDWR : O_WRONLY)
                                      : O_RDONLY;
  switch (creation) {
    case CREATE_NEW:
      if (exists) {
        fail(ERROR_FILE_EXISTS);
        return INVALID_HANDLE_VALUE;
      }
      mode |= O_CREAT;
      break;
    case CREATE_ALWAYS:
      mode |= O_CREAT | O_TRUNC;
      break;
    case OPEN_EXISTING:
      if (!exists) {
        fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
      }
      break;
    case OPEN_ALWAYS:
      mode |= O_CREAT;
      break;
    case TRUNCATE_EXISTING:
      if (!exists) {
        fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
      }
      mode |= O_TRUNC;
      break;
    default:
      fail(ERROR_INVALID_PARAMETER);
      return INVALID_HANDLE_VALUE;
  }
  if ((mode & (O_CREAT | O_TRUNC)) && !(access & GENERIC_WRITE)) {
    // Windows creates the file even for read access; the host needs a
    // writable descriptor for that, so create first and reopen.
    int create = ::open(host->c_str(), O_WRONLY | (mode & (O_CREAT | O_TRUNC)), 0644);
    if (create < 0) {
      fail(ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
    ::close(create);
    mode &= ~(O_CREAT | O_TRUNC);
  }
  int fd = ::open(host->c_str(), mode, 0644);
  if (fd < 0) {
    fail(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  auto file = std::make_shared<FileObject>(
      fd, *host, (flags & FILE_FLAG_DELETE_ON_CLOSE) != 0);
  file->canRead = (access & GENERIC_READ) != 0;
  file->canWrite = (access & GENERIC_WRITE) != 0;
  if (creation == OPEN_ALWAYS || creation == CREATE_ALWAYS) {
    process_.lastError() = exists ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
  }
  return process_.handles().add(file);
}

BOOL SimKernel::readFile(Handle h, void* buffer, DWORD toRead, DWORD* read) {
  auto file = process_.handles().get<FileObject>(h);
  if (!file) return fail(ERROR_INVALID_HANDLE);
  if (!file->canRead) return fail(ERROR_ACCESS_DENIED);
  ssize_t n = ::pread(file->fd(), buffer, toRead, static_cast<off_t>(file->position));
  if (n < 0) return fail(ERROR_GEN_FAILURE);
  file->position += static_cast<std::uint64_t>(n);
  if (read != nullptr) *read = static_cast<DWORD>(n);
  return 1;
}

BOOL SimKernel::writeFile(Handle h, const void* buffer, DWORD toWrite,
                          DWORD* written) {
  auto file = process_.handles().get<FileObject>(h);
  if (!file) return fail(ERROR_INVALID_HANDLE);
  if (!file->canWrite) return fail(ERROR_ACCESS_DENIED);
  ssize_t n = ::pwrite(file->fd(), buffer, toWrite, static_cast<off_t>(file->position));
  if (n < 0) return fail(ERROR_GEN_FAILURE);
  file->position += static_cast<std::uint64_t>(n);
  if (written != nullptr) *written = static_cast<DWORD>(n);
  return 1;
}

DWORD SimKernel::setFilePointer(Handle h, LONG distance, DWORD method) {
  auto file = process_.handles().get<FileObject>(h);
  if (!file) {
    fail(ERROR_INVALID_HANDLE);
    return INVALID_SET_FILE_POINTER;
  }
  struct stat st;
  ::fstat(file->fd(), &st);
  std::int64_t base = method == FILE_BEGIN     ? 0
                      : method == FILE_CURRENT ? static_cast<std::int64_t>(file->position)
                                               : static_cast<std::int64_t>(st.st_size);
  std::int64_t target = base + distance;
  if (target < 0) {
    fail(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  file->position = static_cast<std::uint64_t>(target);
  return static_cast<DWORD>(target);
}

DWORD SimKernel::getFileSize(Handle h, DWORD* sizeHigh) {
  auto file = process_.handles().get<FileObject>(h);
  if (!file) {
    fail(ERROR_INVALID_HANDLE);
    return INVALID_FILE_SIZE;
  }
  struct stat st;
  ::fstat(file->fd(), &st);
  auto size = static_cast<std::uint64_t>(st.st_size);
  if (sizeHigh != nullptr) *sizeHigh = static_cast<DWORD>(size >> 32);
  return static_cast<DWORD>(size);
}

BOOL SimKernel::deviceIoControl(Handle h, DWORD code, void* in, DWORD inSize,
                                void* out, DWORD outSize, DWORD* returned) {
  auto device = process_.handles().get<DeviceObject>(h);
  if (!device) return fail(ERROR_INVALID_HANDLE);
  DWORD error = ERROR_SUCCESS;
  DWORD count = 0;
  BOOL ok = device->deviceIoControl(process_, code, in, inSize, out, outSize,
                                    &count, &error);
  // A request that cost the PC its power ends the caller right here.
  process_.checkAlive();
  if (returned != nullptr) *returned = count;
  if (!ok) return fail(error == ERROR_SUCCESS ? ERROR_GEN_FAILURE : error);
  return 1;
}

BOOL SimKernel::closeHandle(Handle h) {
  if (!process_.handles().remove(h)) return fail(ERROR_INVALID_HANDLE);
  return 1;
}

Handle SimKernel::findFirstFileA(const char* pattern, FindDataA* found) {
  auto path = absolute(pattern);
  if (!path) {
    fail(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  std::size_t slash = path->find_last_of('\\');
  std::string folder = path->substr(0, slash == 2 ? 3 : slash);
  std::string mask = path->substr(slash + 1);
  FileSystem& fs = process_.pc().files();
  if (!fs.isFolder(folder)) {
    fail(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  auto search = std::make_shared<FindObject>();
  search->entries = fs.list(folder, mask);
  if (search->entries.empty()) {
    fail(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  fillFindData(search->entries[search->next++], found);
  return process_.handles().add(search);
}

BOOL SimKernel::findNextFileA(Handle h, FindDataA* found) {
  auto search = process_.handles().get<FindObject>(h);
  if (!search) return fail(ERROR_INVALID_HANDLE);
  if (search->next >= search->entries.size()) return fail(ERROR_NO_MORE_FILES);
  fillFindData(search->entries[search->next++], found);
  return 1;
}

BOOL SimKernel::findClose(Handle h) {
  if (!process_.handles().get<FindObject>(h)) return fail(ERROR_INVALID_HANDLE);
  process_.handles().remove(h);
  return 1;
}

BOOL SimKernel::copyFileA(const char* from, const char* to, BOOL failIfExists) {
  auto src = absolute(from);
  auto dst = absolute(to);
  FileSystem& fs = process_.pc().files();
  if (!src || !dst) return fail(ERROR_INVALID_NAME);
  auto bytes = fs.readFile(*src);
  if (!bytes) return fail(ERROR_FILE_NOT_FOUND);
  if (fs.existingHostPath(*dst)) {
    if (failIfExists) return fail(ERROR_FILE_EXISTS);
    if (fs.isFolder(*dst)) return fail(ERROR_ACCESS_DENIED);
  } else if (!fs.creatableHostPath(*dst)) {
    return fail(ERROR_PATH_NOT_FOUND);
  }
  if (!fs.writeFile(*dst, *bytes)) return fail(ERROR_ACCESS_DENIED);
  return 1;
}

BOOL SimKernel::moveFileA(const char* from, const char* to) {
  auto src = absolute(from);
  auto dst = absolute(to);
  FileSystem& fs = process_.pc().files();
  if (!src || !dst) return fail(ERROR_INVALID_NAME);
  auto srcHost = fs.existingHostPath(*src);
  if (!srcHost) return fail(ERROR_FILE_NOT_FOUND);
  auto dstExisting = fs.existingHostPath(*dst);
  // A rename that only changes the case of the name is allowed.
  if (dstExisting && *dstExisting != *srcHost) return fail(ERROR_ALREADY_EXISTS);
  auto dstHost = fs.creatableHostPath(*dst);
  if (!dstHost) return fail(ERROR_PATH_NOT_FOUND);
  if (dstExisting) {
    std::size_t slash = dstHost->find_last_of('/');
    std::size_t winSlash = dst->find_last_of('\\');
    *dstHost = dstHost->substr(0, slash + 1) + dst->substr(winSlash + 1);
  }
  if (std::rename(srcHost->c_str(), dstHost->c_str()) != 0) {
    return fail(ERROR_ACCESS_DENIED);
  }
  return 1;
}

BOOL SimKernel::deleteFileA(const char* name) {
  auto path = absolute(name);
  FileSystem& fs = process_.pc().files();
  if (!path) return fail(ERROR_INVALID_NAME);
  auto host = fs.existingHostPath(*path);
  if (!host) return fail(ERROR_FILE_NOT_FOUND);
  if (fs.isFolder(*path)) return fail(ERROR_ACCESS_DENIED);
  if (::unlink(host->c_str()) != 0) return fail(ERROR_ACCESS_DENIED);
  return 1;
}

DWORD SimKernel::getFileAttributesA(const char* name) {
  auto path = absolute(name);
  FileSystem& fs = process_.pc().files();
  if (!path || !fs.existingHostPath(*path)) {
    fail(ERROR_FILE_NOT_FOUND);
    return 0xFFFFFFFFu;
  }
  return fs.isFolder(*path) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
}

DWORD SimKernel::getModuleFileNameA(char* buffer, DWORD size) {
  // Win32 truncates to the buffer and returns the size when it does not fit.
  const std::string& path = process_.imagePath();
  if (buffer == nullptr || size == 0) return 0;
  std::size_t n = std::min<std::size_t>(path.size(), size - 1);
  std::memcpy(buffer, path.data(), n);
  buffer[n] = '\0';
  if (path.size() >= size) {
    process_.lastError() = ERROR_INSUFFICIENT_BUFFER;
    return size;
  }
  return static_cast<DWORD>(n);
}

UINT SimKernel::getSystemDirectoryA(char* buffer, UINT size) {
  return copyOut(process_.pc().systemFolder(), buffer, size);
}

UINT SimKernel::getWindowsDirectoryA(char* buffer, UINT size) {
  return copyOut(process_.pc().windowsFolder(), buffer, size);
}

DWORD SimKernel::getCurrentDirectoryA(DWORD size, char* buffer) {
  return copyOut(process_.currentFolder(), buffer, size);
}

UINT SimKernel::getDriveTypeA(const char* rootPath) {
  if (rootPath == nullptr || rootPath[0] == '\0' || rootPath[1] != ':') {
    return DRIVE_NO_ROOT_DIR;
  }
  return process_.pc().files().driveType(rootPath[0]);
}

DWORD SimKernel::getLogicalDrives() { return process_.pc().files().logicalDrives(); }

Handle SimKernel::createMutexA(BOOL /*initialOwner*/, const char* name) {
  auto& named = process_.pc().namedObjects();
  if (name != nullptr && *name != '\0') {
    auto it = named.find(name);
    if (it != named.end()) {
      if (auto existing = it->second.lock()) {
        auto mutex = std::static_pointer_cast<MutexObject>(existing);
        Handle h = process_.handles().add(mutex);
        process_.lastError() = ERROR_ALREADY_EXISTS;
        return h;
      }
    }
  }
  auto mutex = std::make_shared<MutexObject>();
  if (name != nullptr && *name != '\0') named[name] = mutex;
  process_.lastError() = ERROR_SUCCESS;
  return process_.handles().add(mutex);
}

BOOL SimKernel::releaseMutex(Handle h) {
  if (!process_.handles().get<MutexObject>(h)) return fail(ERROR_INVALID_HANDLE);
  return 1;
}

BOOL SimKernel::getVersionExA(OSVERSIONINFOA* info) {
  if (info == nullptr || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
    return fail(ERROR_INSUFFICIENT_BUFFER);
  }
  *info = versionInfo(process_.pc().config().os);
  return 1;
}

UINT SimKernel::getACP() { return process_.pc().config().codePage; }
UINT SimKernel::getOEMCP() {
  return process_.pc().config().codePage == 932 ? 932 : 437;
}

const char* SimKernel::getCommandLineA() { return process_.commandLine().c_str(); }

void SimKernel::sleep(DWORD milliseconds) {
  process_.pc().scheduler().sleepFor(milliseconds);
}

DWORD SimKernel::getTickCount() {
  return static_cast<DWORD>(process_.pc().scheduler().now());
}

Handle SimKernel::createThread(ThreadProc proc, void* param, DWORD flags,
                               DWORD* threadId) {
  Scheduler& scheduler = process_.pc().scheduler();
  std::string name = process_.imageName() + "#" +
                     std::to_string(process_.number()) + " thread " +
                     std::to_string(process_.threads().size());
  auto id = scheduler.spawn(name, [proc, param] { proc(param); },
                            (flags & CREATE_SUSPENDED) != 0);
  process_.threads().push_back(id);
  if (threadId != nullptr) *threadId = static_cast<DWORD>(id + 1);
  return process_.handles().add(std::make_shared<ThreadObject>(id));
}

BOOL SimKernel::setThreadPriority(Handle h, int /*priority*/) {
  // One thread runs at a time in a fixed order; priorities change nothing.
  if (!process_.handles().get<ThreadObject>(h)) return fail(ERROR_INVALID_HANDLE);
  return 1;
}

DWORD SimKernel::resumeThread(Handle h) {
  auto thread = process_.handles().get<ThreadObject>(h);
  if (!thread) {
    fail(ERROR_INVALID_HANDLE);
    return 0xFFFFFFFFu;
  }
  process_.pc().scheduler().start(thread->id);
  return 1;
}

DWORD SimKernel::waitForSingleObject(Handle h, DWORD milliseconds) {
  Scheduler& scheduler = process_.pc().scheduler();
  std::optional<Millis> timeout;
  if (milliseconds != INFINITE) timeout = milliseconds;
  if (auto p = process_.handles().get<ProcessObject>(h)) {
    Process* target = &p->process;
    return scheduler.waitFor([target] { return target->ended(); }, timeout)
               ? WAIT_OBJECT_0
               : WAIT_TIMEOUT;
  }
  if (auto t = process_.handles().get<ThreadObject>(h)) {
    auto id = t->id;
    return scheduler.waitFor([&scheduler, id] { return scheduler.finished(id); },
                             timeout)
               ? WAIT_OBJECT_0
               : WAIT_TIMEOUT;
  }
  if (process_.handles().get<MutexObject>(h)) return WAIT_OBJECT_0;
  fail(ERROR_INVALID_HANDLE);
  return WAIT_FAILED;
}

BOOL SimKernel::createProcessA(const char* application, char* commandLine,
                               DWORD /*flags*/, ProcessInformation* info) {
  std::string line = commandLine != nullptr ? commandLine : "";
  std::string image = application != nullptr ? application : "";
  if (image.empty()) {
    std::size_t i = 0;
    while (i < line.size() && line[i] == ' ') ++i;
    if (i < line.size() && line[i] == '"') {
      std::size_t end = line.find('"', i + 1);
      image = line.substr(i + 1, end == std::string::npos ? std::string::npos
                                                          : end - i - 1);
    } else {
      std::size_t end = line.find_first_of(" \t", i);
      image = line.substr(i, end == std::string::npos ? std::string::npos : end - i);
    }
  }
  if (image.empty()) return fail(ERROR_FILE_NOT_FOUND);
  std::size_t slash = image.find_last_of("\\/");
  std::string fileName = slash == std::string::npos ? image : image.substr(slash + 1);
  if (fileName.find('.') == std::string::npos) fileName += ".exe";
  SimPc& pc = process_.pc();
  if (pc.program(fileName) == nullptr) return fail(ERROR_FILE_NOT_FOUND);
  std::string imagePath;
  if (slash != std::string::npos) {
    auto path = absolute(image.c_str());
    if (!path) return fail(ERROR_PATH_NOT_FOUND);
    imagePath = *path;
  } else {
    // The search order of CreateProcessA: the starter's folder first, then
    // the current folder, then the system folder.
    std::string own = process_.imagePath().substr(0, process_.imagePath().find_last_of('\\'));
    for (const std::string& folder : {own, process_.currentFolder(), pc.systemFolder()}) {
      std::string candidate = folder + "\\" + fileName;
      if (pc.files().existingHostPath(candidate)) {
        imagePath = candidate;
        break;
      }
    }
    if (imagePath.empty()) imagePath = pc.systemFolder() + "\\" + fileName;
  }
  Process* child = pc.startProcess(imagePath, line, process_.currentFolder());
  if (child == nullptr) return fail(ERROR_FILE_NOT_FOUND);
  if (info != nullptr) {
    info->hProcess = process_.handles().add(std::make_shared<ProcessObject>(*child));
    info->hThread = process_.handles().add(
        std::make_shared<ThreadObject>(child->threads().front()));
    info->dwProcessId = static_cast<DWORD>(child->number());
    info->dwThreadId = static_cast<DWORD>(child->threads().front() + 1);
  }
  return 1;
}

BOOL SimKernel::getExitCodeProcess(Handle h, DWORD* exitCode) {
  auto p = process_.handles().get<ProcessObject>(h);
  if (!p) return fail(ERROR_INVALID_HANDLE);
  if (exitCode != nullptr) *exitCode = p->process.exitCode();
  return 1;
}

}  // namespace sim
