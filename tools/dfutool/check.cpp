// `dfutool check`: the updater's own tests (length, markers, CRC, dat-file
// merge, version text) run over host files, so the two cannot disagree.
#include <dirent.h>
#include <strings.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dfutool.h"
#include "package/dat_text.h"
#include "package/eeprom_block.h"
#include "package/update_format.h"
#include "package/version_text.h"

namespace dfutool {

namespace {

using norbix::EepromBlock;
using norbix::kUpdateFileSize;

enum class Loaded { Ok, Unreadable, Length };

// Reads at most one byte more than an update file holds: enough to tell a
// longer file without reading all of it.
Loaded loadFile(const char* path, std::vector<std::uint8_t>& bytes) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return Loaded::Unreadable;
  bytes.assign(kUpdateFileSize + 1, 0);
  std::size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
  bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) return Loaded::Unreadable;
  bytes.resize(got);
  return got == kUpdateFileSize ? Loaded::Ok : Loaded::Length;
}

void splitPath(const std::string& path, std::string& folder,
               std::string& base) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    folder = ".";
    base = path;
  } else {
    folder = slash == 0 ? "/" : path.substr(0, slash);
    base = path.substr(slash + 1);
  }
}

// The folder entry whose name matches without regard to case, as Windows
// would open it; of several, the first in byte order, so runs agree.
bool findIgnoringCase(const std::string& folder, const char* name,
                      std::string& found) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return false;
  bool any = false;
  while (dirent* entry = readdir(dir)) {
    if (strcasecmp(entry->d_name, name) != 0) continue;
    if (!any || std::strcmp(entry->d_name, found.c_str()) < 0) {
      found = entry->d_name;
      any = true;
    }
  }
  closedir(dir);
  return any;
}

// The same rule as the updater's readDatFile: values are kept only when the
// file could be read as far as the parser went.
void mergeDatFile(const char* path, std::uint8_t* image) {
  std::string folder, base, datName;
  splitPath(path, folder, base);
  std::vector<char> name(base.size() + 1);
  if (!norbix::datFileNameFor(base.c_str(), name.data(), name.size())) return;
  if (!findIgnoringCase(folder, name.data(), datName)) return;
  std::FILE* file = std::fopen((folder + "/" + datName).c_str(), "rb");
  if (file == nullptr) return;
  EepromBlock block;
  std::memcpy(block.bytes, image + norbix::kConfigRegionOffset,
              EepromBlock::kSize);
  norbix::DatTextParser parser(block);
  std::uint8_t chunk[512];
  bool complete = false;
  for (;;) {
    std::size_t got = std::fread(chunk, 1, sizeof chunk, file);
    if (got > 0 && !parser.feed(chunk, got)) {
      complete = true;
      break;
    }
    if (got < sizeof chunk) {
      complete = std::ferror(file) == 0;
      break;
    }
  }
  std::fclose(file);
  if (complete) {
    std::memcpy(image + norbix::kConfigRegionOffset, block.bytes,
                EepromBlock::kSize);
  }
}

const char* reasonFor(norbix::UpdateImageCheck result) {
  switch (result) {
    case norbix::UpdateImageCheck::Ok: return nullptr;
    case norbix::UpdateImageCheck::Length: return "length";
    case norbix::UpdateImageCheck::Markers: return "markers";
    case norbix::UpdateImageCheck::Crc: return "crc";
  }
  return "crc";
}

void printConfig(const char* path, const std::uint8_t* image) {
  std::printf("%s: config ", path);
  for (std::size_t i = 0; i < EepromBlock::kSize; ++i) {
    std::printf("%02x", image[norbix::kConfigRegionOffset + i]);
  }
  std::printf("\n");
}

bool checkOne(const char* path, bool showConfig) {
  std::vector<std::uint8_t> bytes;
  Loaded loaded = loadFile(path, bytes);
  if (loaded == Loaded::Unreadable) {
    std::printf("%s: bad unreadable\n", path);
    return false;
  }
  if (loaded == Loaded::Length) {
    std::printf("%s: bad length\n", path);
    return false;
  }
  const char* reason = reasonFor(norbix::checkUpdateImage(bytes.data(),
                                                          bytes.size()));
  if (reason != nullptr) {
    std::printf("%s: bad %s\n", path, reason);
    return false;
  }
  mergeDatFile(path, bytes.data());
  char text[norbix::kVersionTextSize];
  std::string version =
      norbix::findVersionText(bytes.data(), text)
          ? escapeBytes(text, sizeof text)
          : std::string("unknown");
  std::printf("%s: ok version=%s product=0x%04x\n", path, version.c_str(),
              norbix::suffixProductId(bytes.data()));
  if (showConfig) printConfig(path, bytes.data());
  return true;
}

}  // namespace

int runCheck(int argc, char** argv) {
  bool showConfig = false;
  std::vector<const char*> files;
  bool optionsDone = false;
  for (int i = 0; i < argc; ++i) {
    const char* arg = argv[i];
    if (!optionsDone && std::strcmp(arg, "--") == 0) {
      optionsDone = true;
    } else if (!optionsDone && std::strcmp(arg, "--config") == 0) {
      showConfig = true;
    } else if (!optionsDone && arg[0] == '-' && arg[1] != '\0') {
      std::fprintf(stderr, "dfutool: unknown option %s\n", arg);
      printUsage();
      return kExitUsage;
    } else {
      files.push_back(arg);
    }
  }
  if (files.empty()) {
    printUsage();
    return kExitUsage;
  }
  bool allOk = true;
  for (const char* file : files) allOk = checkOne(file, showConfig) && allOk;
  return allOk ? kExitOk : kExitBad;
}

}  // namespace dfutool
