#include "transcript.h"

#include <iconv.h>

#include <cstdio>

namespace sim {

void Transcript::add(std::uint64_t time, const std::string& tag,
                     const std::string& event) {
  std::string line = std::to_string(time) + " ";
  if (!tag.empty()) line += tag + " ";
  line += event;
  lines_.push_back(line);
  lastTime_ = time;
  if (echo) echo(line);
}

namespace {

const char* iconvName(unsigned codePage) {
  return codePage == 932 ? "CP932" : "CP1252";
}

bool isLeadByte932(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Converts one character; false when the code page has no such character.
bool convertOne(iconv_t cd, const char* in, std::size_t length,
                std::string& out) {
  char buffer[16];
  char* src = const_cast<char*>(in);
  std::size_t srcLeft = length;
  char* dst = buffer;
  std::size_t dstLeft = sizeof buffer;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1) ||
      srcLeft != 0) {
    return false;
  }
  out.append(buffer, static_cast<std::size_t>(dst - buffer));
  return true;
}

void appendHex(std::string& out, unsigned char c) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "\\x%02X", c);
  out += hex;
}

}  // namespace

std::string escapeText(const std::string& text, unsigned codePage) {
  iconv_t cd = iconv_open("UTF-8", iconvName(codePage));
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '\\': out += "\\\\"; ++i; continue;
      case '"': out += "\\\""; ++i; continue;
      case '\r': out += "\\r"; ++i; continue;
      case '\n': out += "\\n"; ++i; continue;
      case '\t': out += "\\t"; ++i; continue;
      default: break;
    }
    if (c < 0x20) {
      appendHex(out, c);
      ++i;
      continue;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    std::size_t length =
        (codePage == 932 && isLeadByte932(c) && i + 1 < text.size()) ? 2 : 1;
    if (cd == reinterpret_cast<iconv_t>(-1) ||
        !convertOne(cd, text.data() + i, length, out)) {
      for (std::size_t k = 0; k < length; ++k) {
        appendHex(out, static_cast<unsigned char>(text[i + k]));
      }
    }
    i += length;
  }
  if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  return out;
}

std::string fromUtf8(const std::string& utf8, unsigned codePage) {
  iconv_t cd = iconv_open(iconvName(codePage), "UTF-8");
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    std::size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    if (i + length > utf8.size()) length = utf8.size() - i;
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (cd == reinterpret_cast<iconv_t>(-1) ||
               !convertOne(cd, utf8.data() + i, length, out)) {
      out += '?';
    }
    i += length;
  }
  if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  return out;
}

}  // namespace sim
