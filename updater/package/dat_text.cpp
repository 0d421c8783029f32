#include "package/dat_text.h"

#include <cstring>

namespace norbix {

namespace {

constexpr std::uint8_t kCtrlZ = 0x1A;
constexpr std::uint8_t kCr = '\r';
constexpr std::uint8_t kLf = '\n';

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool isLeadByte(unsigned codePage, unsigned char c) {
  if (codePage != kCodePageJapanese) return false;
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

bool isPathSeparator(char c) { return c == '\\' || c == '/' || c == ':'; }

// Upper-cases the ASCII letters of single-byte characters into `out` and
// returns where the last path component starts, so that a trail byte that
// happens to equal '\\' or a letter is never taken for one.
std::size_t upperCaseName(const char* name, std::size_t length, char* out,
                          unsigned codePage) {
  std::size_t baseStart = 0;
  for (std::size_t i = 0; i < length; ++i) {
    char c = name[i];
    if (isLeadByte(codePage, static_cast<unsigned char>(c)) &&
        i + 1 < length) {
      out[i] = c;
      out[i + 1] = name[i + 1];
      ++i;
      continue;
    }
    out[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    if (isPathSeparator(c)) baseStart = i + 1;
  }
  out[length] = '\0';
  return baseStart;
}

}  // namespace

bool parseHexPair(char c1, char c2, std::uint8_t* result) {
  int high = hexValue(c1);
  int low = hexValue(c2);
  if (high < 0 || low < 0) return false;
  *result = static_cast<std::uint8_t>(high * 16 + low);
  return true;
}

void DatTextParser::step(std::uint8_t c) {
  switch (state_) {
    case State::FirstDigit:
      firstDigit_ = c;
      state_ = hexValue(static_cast<char>(c)) >= 0 ? State::SecondDigit
                                                   : State::Stopped;
      return;
    case State::SecondDigit: {
      std::uint8_t value = 0;
      if (!parseHexPair(static_cast<char>(firstDigit_), static_cast<char>(c),
                        &value)) {
        state_ = State::Stopped;
        return;
      }
      block_[index_++] = value;
      state_ = index_ == EepromBlock::kSize ? State::Stopped
                                            : State::RestOfLine;
      return;
    }
    case State::RestOfLine:
      if (c == 0 || c == kCtrlZ) {
        state_ = State::Stopped;
      } else if (c == kCr) {
        state_ = State::AfterCr;
      }
      return;
    case State::AfterCr:
      // Either the LF of a line end or the byte a lone CR swallows.
      state_ = c == kLf ? State::FirstDigit : State::RestOfLine;
      return;
    case State::Stopped:
      return;
  }
}

bool DatTextParser::feed(const std::uint8_t* data, std::size_t length) {
  for (std::size_t i = 0; i < length && state_ != State::Stopped; ++i) {
    step(data[i]);
  }
  return state_ != State::Stopped;
}

void parseDatText(const std::uint8_t* text, std::size_t length,
                  EepromBlock& block) {
  DatTextParser parser(block);
  parser.feed(text, length);
}

bool datFileNameFor(const char* updateFileName, char* out, std::size_t outSize,
                    unsigned codePage) {
  if (updateFileName == nullptr || out == nullptr) return false;
  std::size_t length = std::strlen(updateFileName);
  if (length >= outSize) return false;
  std::size_t i = upperCaseName(updateFileName, length, out, codePage);
  for (; i + 3 <= length; ++i) {
    if (std::memcmp(out + i, "DFU", 3) == 0) {
      std::memcpy(out + i, "DAT", 3);
      return true;
    }
    if (isLeadByte(codePage, static_cast<unsigned char>(out[i]))) ++i;
  }
  return false;
}

}  // namespace norbix
