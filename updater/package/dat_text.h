// The dat file: an optional text file beside an update file that supplies
// the bytes of an EepromBlock, one value per line as two hexadecimal digits
// at the start of the line. Pure text handling; reading the file from disk is
// in package_io.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "package/eeprom_block.h"

namespace norbix {

// True when both are hexadecimal digits; *result is then c1 * 16 + c2 and is
// left alone otherwise.
bool parseHexPair(char c1, char c2, std::uint8_t* result);

// Reads dat text in pieces of any size and stores value i at block[i] as it
// goes. Reading stops at a NUL, a Ctrl-Z, the 256th value or a line that does
// not start with two hexadecimal digits; the end of the input stops it too.
// A CR LF ends a line. A CR not followed by LF is skipped together with the
// byte after it, whatever that byte is, so a line can run on past it.
// Only the byte in hand is ever looked at, so the split of the input into
// pieces cannot change the result.
class DatTextParser {
 public:
  explicit DatTextParser(EepromBlock& block) : block_(block) {}

  // Returns false once reading has stopped; later input is ignored.
  bool feed(const std::uint8_t* data, std::size_t length);
  bool stopped() const { return state_ == State::Stopped; }
  std::size_t valueCount() const { return index_; }

 private:
  enum class State { FirstDigit, SecondDigit, RestOfLine, AfterCr, Stopped };
  void step(std::uint8_t c);

  EepromBlock& block_;
  State state_ = State::FirstDigit;
  std::uint8_t firstDigit_ = 0;
  std::size_t index_ = 0;
};

// The whole text at once; bytes the text does not supply keep their value.
void parseDatText(const std::uint8_t* text, std::size_t length,
                  EepromBlock& block);

inline constexpr unsigned kCodePageWestern = 1252;
inline constexpr unsigned kCodePageJapanese = 932;

// The dat file's name for an update file: the name in upper case with the
// first "DFU" of its last path component replaced by "DAT" (UPDATE_KA.DFU
// gives UPDATE_KA.DAT, DFUTOOL_KA.DFU gives DATTOOL_KA.DFU); any folder part
// is kept, so the dat file is looked for beside the update file. In code page
// 932 double-byte characters are left intact and never matched. False, with
// nothing promised about `out`, when there is no "DFU" or the name and its
// NUL do not fit in outSize bytes.
bool datFileNameFor(const char* updateFileName, char* out, std::size_t outSize,
                    unsigned codePage = kCodePageWestern);

}  // namespace norbix
