// The simulated PC's drives and files, kept in a sandbox folder on the host
// (one folder per drive letter). Names are matched without regard to case,
// as on Windows, and keep the case they were created with; a folder listing
// comes in the order NTFS keeps names (bytes compared after mapping a-z to
// A-Z).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pc.h"

namespace sim {

class FileSystem {
 public:
  FileSystem(std::string sandbox, std::vector<DriveSpec> drives);

  // "C:\A\B" from any Windows path (relative, "\x", "x\..\y", forward
  // slashes) and the current folder; nullopt for a name that is not a path
  // on a simulated drive.
  std::optional<std::string> absolute(const std::string& path,
                                      const std::string& currentFolder) const;
  // The host path of an existing file or folder.
  std::optional<std::string> existingHostPath(const std::string& winPath) const;
  // The host path at which a new entry would be created (its folder must
  // exist); an existing entry of another case keeps its name.
  std::optional<std::string> creatableHostPath(const std::string& winPath) const;

  struct Entry {
    std::string name;
    bool folder;
    std::uint64_t size;
  };
  // The entries of a folder matching a pattern (* and ?), in listing order.
  std::vector<Entry> list(const std::string& winFolder,
                          const std::string& pattern) const;
  bool isFolder(const std::string& winPath) const;

  platform::UINT driveType(char letter) const;
  platform::DWORD logicalDrives() const;
  const std::vector<DriveSpec>& drives() const { return drives_; }
  // Hardware that comes and goes (a card reader's slots) adds and removes
  // its letters; false when the letter is taken or not there.
  bool addDrive(DriveSpec drive);
  bool removeDrive(char letter);

  // For tests and the scenario runner (folders are created as needed).
  bool writeFile(const std::string& winPath, const std::string& bytes);
  std::optional<std::string> readFile(const std::string& winPath) const;
  bool makeFolder(const std::string& winPath);

 private:
  std::string sandbox_;
  std::vector<DriveSpec> drives_;
};

bool wildcardMatch(const std::string& pattern, const std::string& name);
// Names compare as NTFS orders them.
bool listingLess(const std::string& a, const std::string& b);
std::string upperAscii(std::string text);

}  // namespace sim
