#include "filesystem.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace sim {

std::string upperAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

bool listingLess(const std::string& a, const std::string& b) {
  std::string ua = upperAscii(a);
  std::string ub = upperAscii(b);
  return std::lexicographical_compare(
      ua.begin(), ua.end(), ub.begin(), ub.end(), [](char x, char y) {
        return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
      });
}

bool wildcardMatch(const std::string& pattern, const std::string& name) {
  std::string p = upperAscii(pattern);
  std::string n = upperAscii(name);
  // Windows matches "*.*" against names without a dot too.
  if (p == "*.*") return true;
  std::size_t pi = 0, ni = 0, star = std::string::npos, mark = 0;
  while (ni < n.size()) {
    if (pi < p.size() && (p[pi] == '?' || p[pi] == n[ni])) {
      ++pi;
      ++ni;
    } else if (pi < p.size() && p[pi] == '*') {
      star = pi++;
      mark = ni;
    } else if (star != std::string::npos) {
      pi = star + 1;
      ni = ++mark;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size();
}

namespace {

std::vector<std::string> splitPath(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path) {
    if (c == '\\' || c == '/') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

bool hostIsFolder(const std::string& host) {
  struct stat st;
  return ::stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}


// The entry of `hostFolder` whose name equals `name` without regard to case.
std::optional<std::string> findEntry(const std::string& hostFolder,
                                     const std::string& name) {
  DIR* dir = ::opendir(hostFolder.c_str());
  if (dir == nullptr) return std::nullopt;
  std::optional<std::string> found;
  std::string wanted = upperAscii(name);
  while (dirent* e = ::readdir(dir)) {
    std::string entry = e->d_name;
    if (entry == "." || entry == "..") continue;
    if (upperAscii(entry) == wanted) {
      found = entry;
      break;
    }
  }
  ::closedir(dir);
  return found;
}

}  // namespace

FileSystem::FileSystem(std::string sandbox, std::vector<DriveSpec> drives)
    : sandbox_(std::move(sandbox)), drives_(std::move(drives)) {
  for (const DriveSpec& d : drives_) {
    std::string host = sandbox_ + "/" + std::string(1, d.letter);
    ::mkdir(host.c_str(), 0755);
  }
}

std::optional<std::string> FileSystem::absolute(
    const std::string& path, const std::string& currentFolder) const {
  if (path.empty()) return std::nullopt;
  if (path.rfind("\\\\", 0) == 0) return std::nullopt;  // device or UNC
  char drive;
  std::string rest;
  if (path.size() >= 2 && path[1] == ':') {
    drive = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
    rest = path.substr(2);
    if (rest.empty() || (rest[0] != '\\' && rest[0] != '/')) {
      // "C:name" is relative to the drive's current folder; only the
      // current drive has one here.
      if (currentFolder.size() >= 2 &&
          std::toupper(static_cast<unsigned char>(currentFolder[0])) == drive) {
        rest = currentFolder.substr(2) + "\\" + rest;
      } else {
        rest = "\\" + rest;
      }
    }
  } else if (path[0] == '\\' || path[0] == '/') {
    if (currentFolder.size() < 2) return std::nullopt;
    drive = static_cast<char>(std::toupper(static_cast<unsigned char>(currentFolder[0])));
    rest = path;
  } else {
    if (currentFolder.size() < 2) return std::nullopt;
    drive = static_cast<char>(std::toupper(static_cast<unsigned char>(currentFolder[0])));
    rest = currentFolder.substr(2) + "\\" + path;
  }
  std::vector<std::string> parts;
  for (const std::string& part : splitPath(rest)) {
    if (part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string result(1, drive);
  result += ":";
  if (parts.empty()) return result + "\\";
  for (const std::string& part : parts) result += "\\" + part;
  return result;
}

std::optional<std::string> FileSystem::existingHostPath(
    const std::string& winPath) const {
  if (winPath.size() < 2 || winPath[1] != ':') return std::nullopt;
  char drive = static_cast<char>(std::toupper(static_cast<unsigned char>(winPath[0])));
  bool known = std::any_of(drives_.begin(), drives_.end(),
                           [drive](const DriveSpec& d) { return d.letter == drive; });
  if (!known) return std::nullopt;
  std::string host = sandbox_ + "/" + std::string(1, drive);
  for (const std::string& part : splitPath(winPath.substr(2))) {
    auto entry = findEntry(host, part);
    if (!entry) return std::nullopt;
    host += "/" + *entry;
  }
  return host;
}

std::optional<std::string> FileSystem::creatableHostPath(
    const std::string& winPath) const {
  if (auto existing = existingHostPath(winPath)) return existing;
  std::size_t slash = winPath.find_last_of('\\');
  if (slash == std::string::npos || slash + 1 >= winPath.size()) return std::nullopt;
  std::string folder = winPath.substr(0, slash);
  if (folder.size() == 2) folder += "\\";
  auto hostFolder = existingHostPath(folder);
  if (!hostFolder || !hostIsFolder(*hostFolder)) return std::nullopt;
  return *hostFolder + "/" + winPath.substr(slash + 1);
}

std::vector<FileSystem::Entry> FileSystem::list(
    const std::string& winFolder, const std::string& pattern) const {
  std::vector<Entry> entries;
  auto host = existingHostPath(winFolder);
  if (!host) return entries;
  DIR* dir = ::opendir(host->c_str());
  if (dir == nullptr) return entries;
  while (dirent* e = ::readdir(dir)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    if (!wildcardMatch(pattern, name)) continue;
    struct stat st;
    std::string full = *host + "/" + name;
    if (::stat(full.c_str(), &st) != 0) continue;
    entries.push_back(Entry{name, S_ISDIR(st.st_mode),
                            static_cast<std::uint64_t>(st.st_size)});
  }
  ::closedir(dir);
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    return listingLess(a.name, b.name);
  });
  return entries;
}

bool FileSystem::isFolder(const std::string& winPath) const {
  auto host = existingHostPath(winPath);
  return host && hostIsFolder(*host);
}

platform::UINT FileSystem::driveType(char letter) const {
  char drive = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  for (const DriveSpec& d : drives_) {
    if (d.letter == drive) return d.type;
  }
  return 1;  // DRIVE_NO_ROOT_DIR
}

bool FileSystem::addDrive(DriveSpec drive) {
  drive.letter = static_cast<char>(std::toupper(static_cast<unsigned char>(drive.letter)));
  if (drive.letter < 'A' || drive.letter > 'Z') return false;
  for (const DriveSpec& d : drives_) {
    if (d.letter == drive.letter) return false;
  }
  std::string host = sandbox_ + "/" + std::string(1, drive.letter);
  ::mkdir(host.c_str(), 0755);
  drives_.push_back(drive);
  return true;
}

bool FileSystem::removeDrive(char letter) {
  letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  auto it = std::find_if(drives_.begin(), drives_.end(),
                         [letter](const DriveSpec& d) { return d.letter == letter; });
  if (it == drives_.end()) return false;
  drives_.erase(it);
  return true;
}

platform::DWORD FileSystem::logicalDrives() const {
  platform::DWORD mask = 0;
  for (const DriveSpec& d : drives_) mask |= 1u << (d.letter - 'A');
  return mask;
}

bool FileSystem::makeFolder(const std::string& winPath) {
  if (winPath.size() < 2 || winPath[1] != ':') return false;
  std::string current = winPath.substr(0, 2) + "\\";
  for (const std::string& part : splitPath(winPath.substr(2))) {
    std::string next = current + (current.back() == '\\' ? "" : "\\") + part;
    if (!existingHostPath(next)) {
      auto host = creatableHostPath(next);
      if (!host || ::mkdir(host->c_str(), 0755) != 0) return false;
    }
    current = next;
  }
  return isFolder(winPath);
}

bool FileSystem::writeFile(const std::string& winPath, const std::string& bytes) {
  std::size_t slash = winPath.find_last_of('\\');
  if (slash == std::string::npos) return false;
  if (slash > 2 && !makeFolder(winPath.substr(0, slash))) return false;
  auto host = creatableHostPath(winPath);
  if (!host) return false;
  std::FILE* f = std::fopen(host->c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

std::optional<std::string> FileSystem::readFile(const std::string& winPath) const {
  auto host = existingHostPath(winPath);
  if (!host || hostIsFolder(*host)) return std::nullopt;
  std::FILE* f = std::fopen(host->c_str(), "rb");
  if (f == nullptr) return std::nullopt;
  std::string bytes;
  char buffer[65536];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
  std::fclose(f);
  return bytes;
}

}  // namespace sim
