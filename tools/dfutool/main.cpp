#include <cstdio>
#include <cstring>

#include "dfutool.h"

namespace dfutool {

void printUsage() {
  std::fputs(
      "usage: dfutool check [--config] FILE...\n"
      "       dfutool make OUT [--version T | --no-version] "
      "[--marker-at OFFSET]\n"
      "                    [--product HEX] [--vendor HEX] [--seed N]\n"
      "                    [--identity 12HEX] [--kind 0|1]\n",
      stderr);
}

std::string escapeBytes(const char* bytes, std::size_t length) {
  std::string out;
  for (std::size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    switch (c) {
      case '\\': out += "\\\\"; continue;
      case '"': out += "\\\""; continue;
      case '\r': out += "\\r"; continue;
      case '\n': out += "\\n"; continue;
      case '\t': out += "\\t"; continue;
      default: break;
    }
    if (c < 0x20 || c >= 0x80) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace dfutool

int main(int argc, char** argv) {
  if (argc < 2) {
    dfutool::printUsage();
    return dfutool::kExitUsage;
  }
  if (std::strcmp(argv[1], "check") == 0) {
    return dfutool::runCheck(argc - 2, argv + 2);
  }
  if (std::strcmp(argv[1], "make") == 0) {
    return dfutool::runMake(argc - 2, argv + 2);
  }
  dfutool::printUsage();
  return dfutool::kExitUsage;
}
