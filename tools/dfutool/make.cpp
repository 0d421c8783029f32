// `dfutool make`: writes a valid update file through the testkit maker.
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dfutool.h"
#include "testkit/update_file_maker.h"

namespace dfutool {

namespace {

using norbix::testkit::UpdateFileOptions;

bool parseUnsigned(const char* text, int base, unsigned long long limit,
                   unsigned long long& value) {
  if (text[0] == '\0' || text[0] == '-' || text[0] == '+' ||
      std::isspace(static_cast<unsigned char>(text[0]))) {
    return false;
  }
  errno = 0;
  char* end = nullptr;
  unsigned long long parsed = std::strtoull(text, &end, base);
  if (errno != 0 || *end != '\0' || parsed > limit) return false;
  value = parsed;
  return true;
}

// Four hex digits at most, with or without 0x.
bool parseId(const char* text, std::uint16_t& id) {
  if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text += 2;
  std::size_t length = std::strlen(text);
  if (length == 0 || length > 4) return false;
  for (std::size_t i = 0; i < length; ++i) {
    if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  unsigned long long value = 0;
  if (!parseUnsigned(text, 16, 0xFFFF, value)) return false;
  id = static_cast<std::uint16_t>(value);
  return true;
}

// Twelve hex digits, stored upper-case as the block wants them.
bool parseIdentity(const char* text, std::string& identity) {
  if (std::strlen(text) != 12) return false;
  identity.clear();
  for (const char* c = text; *c != '\0'; ++c) {
    if (!std::isxdigit(static_cast<unsigned char>(*c))) return false;
    identity += static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
  }
  return true;
}

int usageError(const char* what, const char* arg) {
  std::fprintf(stderr, "dfutool make: %s%s%s\n", what, arg ? ": " : "",
               arg ? arg : "");
  printUsage();
  return kExitUsage;
}

// One option and its value; false after reporting a usage error.
bool applyOption(const char* option, const char* value,
                 UpdateFileOptions& options, bool& sawVersion) {
  unsigned long long number = 0;
  if (std::strcmp(option, "--version") == 0) {
    if (std::strlen(value) != 4) return false;
    options.versionText = value;
    sawVersion = true;
  } else if (std::strcmp(option, "--marker-at") == 0) {
    if (!parseUnsigned(value, 0, 0xFFFFFFFFull, number)) return false;
    options.markerOffset = static_cast<std::size_t>(number);
  } else if (std::strcmp(option, "--product") == 0) {
    return parseId(value, options.productId);
  } else if (std::strcmp(option, "--vendor") == 0) {
    return parseId(value, options.vendorId);
  } else if (std::strcmp(option, "--seed") == 0) {
    if (!parseUnsigned(value, 0, 0xFFFFFFFFull, number)) return false;
    options.seed = static_cast<std::uint32_t>(number);
  } else if (std::strcmp(option, "--identity") == 0) {
    return parseIdentity(value, options.identity);
  } else if (std::strcmp(option, "--kind") == 0) {
    if (std::strcmp(value, "0") != 0 && std::strcmp(value, "1") != 0) {
      return false;
    }
    options.kindDigit = value[0];
  } else {
    return false;
  }
  return true;
}

bool takesValue(const char* option) {
  static const char* const kValued[] = {"--version", "--marker-at",
                                        "--product", "--vendor",
                                        "--seed",    "--identity",
                                        "--kind"};
  for (const char* name : kValued) {
    if (std::strcmp(option, name) == 0) return true;
  }
  return false;
}

bool writeFile(const char* path, const std::vector<std::uint8_t>& bytes) {
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  ok = std::fclose(file) == 0 && ok;
  return ok;
}

}  // namespace

int runMake(int argc, char** argv) {
  if (argc < 1 || argv[0][0] == '-') return usageError("missing OUT", nullptr);
  const char* out = argv[0];
  UpdateFileOptions options;
  bool sawVersion = false;
  bool sawNoVersion = false;
  for (int i = 1; i < argc; ++i) {
    const char* option = argv[i];
    if (std::strcmp(option, "--no-version") == 0) {
      sawNoVersion = true;
      options.hasVersion = false;
      continue;
    }
    if (!takesValue(option)) return usageError("unknown option", option);
    if (i + 1 >= argc) return usageError("missing value for", option);
    const char* value = argv[++i];
    if (!applyOption(option, value, options, sawVersion)) {
      return usageError(option, value);
    }
  }
  if (sawVersion && sawNoVersion) {
    return usageError("--version and --no-version exclude each other",
                      nullptr);
  }
  std::string problem = norbix::testkit::checkOptions(options);
  if (!problem.empty()) return usageError(problem.c_str(), nullptr);
  if (!writeFile(out, norbix::testkit::makeUpdateFile(options))) {
    std::fprintf(stderr, "dfutool make: cannot write %s\n", out);
    return kExitBad;
  }
  return kExitOk;
}

}  // namespace dfutool
