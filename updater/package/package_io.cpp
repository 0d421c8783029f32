#include "package/package_io.h"

#include <cstring>
#include <new>

#include "package/dat_text.h"
#include "package/update_format.h"

namespace norbix {

namespace {

using platform::DWORD;
using platform::Handle;

// Dat files are parsed as they are read, so memory stays at one chunk
// however long the file; a line may carry any amount of comment, so no cap
// on the bytes read could be proven harmless. Reading ends where parsing
// does.
constexpr DWORD kDatChunkSize = 512;

Handle openForReading(platform::Kernel& kernel, const char* name) {
  return kernel.createFileA(name, platform::GENERIC_READ,
                            platform::FILE_SHARE_READ, platform::OPEN_EXISTING,
                            platform::FILE_ATTRIBUTE_NORMAL);
}

// True when the file could be read up to the point where parsing stopped.
bool parseDatStream(platform::Kernel& kernel, Handle file,
                    EepromBlock& block) {
  DatTextParser parser(block);
  std::uint8_t chunk[kDatChunkSize];
  for (;;) {
    DWORD got = 0;
    if (!kernel.readFile(file, chunk, kDatChunkSize, &got)) return false;
    if (got == 0) return true;
    if (got > kDatChunkSize) got = kDatChunkSize;
    if (!parser.feed(chunk, got)) return true;
  }
}

bool readExactly(platform::Kernel& kernel, Handle file, std::uint8_t* buffer,
                 DWORD size) {
  DWORD done = 0;
  while (done < size) {
    DWORD got = 0;
    if (!kernel.readFile(file, buffer + done, size - done, &got) || got == 0) {
      return false;
    }
    done += got < size - done ? got : size - done;
  }
  return true;
}

// The whole file in a new buffer, or null when it has the wrong length (not
// read at all then) or cannot be read.
ImageSlot readUpdateFile(platform::Kernel& kernel, Handle file) {
  DWORD sizeHigh = 0;
  DWORD size = kernel.getFileSize(file, &sizeHigh);
  if (sizeHigh != 0 || size != kUpdateFileSize) return nullptr;
  ImageSlot image(new (std::nothrow) std::uint8_t[kUpdateFileSize]);
  if (!image) return nullptr;
  if (!readExactly(kernel, file, image.get(), kUpdateFileSize)) return nullptr;
  return image;
}

// The working block starts as the file's own region, so bytes that no dat
// file supplies keep the values the file was built with.
void mergeDatFile(platform::Kernel& kernel, std::uint8_t* image,
                  const char* name) {
  EepromBlock block;
  std::memcpy(block.bytes, image + kConfigRegionOffset, EepromBlock::kSize);
  readDatFile(kernel, block, name);
  std::memcpy(image + kConfigRegionOffset, block.bytes, EepromBlock::kSize);
}

}  // namespace

bool readDatFile(platform::Kernel& kernel, EepromBlock& block,
                 const char* updateFileName) {
  char datName[platform::MAX_PATH];
  if (!datFileNameFor(updateFileName, datName, sizeof datName,
                      kernel.getACP())) {
    return true;
  }
  Handle file = openForReading(kernel, datName);
  if (file == platform::INVALID_HANDLE_VALUE) return true;
  // A read error part way must not leave half a dat file in the block.
  EepromBlock work = block;
  bool complete = parseDatStream(kernel, file, work);
  kernel.closeHandle(file);
  if (complete) block = work;
  return true;
}

bool checkUpdateFile(platform::Kernel& kernel, const char* name,
                     ImageSlot& slot) {
  slot.reset();
  Handle file = openForReading(kernel, name);
  if (file == platform::INVALID_HANDLE_VALUE) return false;
  ImageSlot image = readUpdateFile(kernel, file);
  kernel.closeHandle(file);
  if (!image) return false;
  if (checkUpdateImage(image.get(), kUpdateFileSize) != UpdateImageCheck::Ok) {
    return false;
  }
  mergeDatFile(kernel, image.get(), name);
  slot = std::move(image);
  return true;
}

}  // namespace norbix
