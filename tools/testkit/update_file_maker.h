// Builds update files and dat files for tests, the demo and `dfutool make`.
// The same options always give the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "package/eeprom_block.h"

namespace norbix::testkit {

struct UpdateFileOptions {
  std::uint32_t seed = 1;
  // The version marker "USB 2" and, 16 bytes after its start, the four
  // version characters; no marker at all when hasVersion is false.
  bool hasVersion = true;
  std::string versionText = "2.05";
  std::size_t markerOffset = 0x1000;
  // The suffix's ids; the configuration block carries the same ones.
  std::uint16_t productId = 0x1101;
  std::uint16_t vendorId = 0x0B1E;
  std::string identity = "000000000001";  // twelve characters
  char kindDigit = '0';
  // Not interpreted by the updater; variable so tests can show that.
  std::uint16_t bcdDfu = 0x0100;
  std::uint8_t bLength = 16;
};

// The last offset at which a marker still leaves room for its text before
// the configuration region.
std::size_t lastMarkerOffset();

// Why `options` cannot make a file, or empty when they can: a version text
// of other than four characters, a marker whose text would not end before
// the configuration region, an identity of other than twelve characters.
std::string checkOptions(const UpdateFileOptions& options);

// A valid 65550-byte update file. The pseudo-random firmware bytes never
// contain 'U', so the only "USB 2" below 0xFE60 is the marker written on
// purpose. Returns an empty vector when checkOptions objects.
std::vector<std::uint8_t> makeUpdateFile(const UpdateFileOptions& options);

// Recomputes dwCRC after a test changed a file's bytes.
void resealUpdateFile(std::vector<std::uint8_t>& file);

// The configuration block makeUpdateFile puts at 0xFE80.
EepromBlock configBlockOf(const std::vector<std::uint8_t>& file);

// Dat text: `count` lines of two upper-case hex digits, each ended by CR LF.
std::string makeDatText(const std::uint8_t* values, std::size_t count);
std::string makeDatText(const EepromBlock& block,
                        std::size_t count = EepromBlock::kSize);

}  // namespace norbix::testkit
