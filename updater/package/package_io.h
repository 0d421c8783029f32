// Update files and dat files read through the kernel interface. The format
// rules themselves are in update_format.h, dfu_crc.h and dat_text.h.
#pragma once

#include <cstdint>
#include <memory>

#include "package/eeprom_block.h"
#include "platform/kernel.h"

namespace norbix {

// One loaded update file: kUpdateFileSize bytes, or empty.
using ImageSlot = std::unique_ptr<std::uint8_t[]>;

// Always true. Overwrites byte i of `block` for each value i the dat file of
// `updateFileName` supplies (see datFileNameFor); without a dat file, or when
// it cannot be read to the point where parsing stops, `block` is unchanged.
bool readDatFile(platform::Kernel& kernel, EepromBlock& block,
                 const char* updateFileName);

// Empties `slot`, then loads and tests the file (length, markers, CRC). On
// success the slot holds the file with its dat file's values merged over the
// configuration region at 0xFE80; bytes the dat file does not supply keep
// the file's own values. The CRC covers the file as stored, not the merge.
bool checkUpdateFile(platform::Kernel& kernel, const char* name,
                     ImageSlot& slot);

}  // namespace norbix
