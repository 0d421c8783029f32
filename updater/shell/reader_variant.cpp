#include "reader_variant.h"

#include <cstring>

namespace norbix {

namespace {

struct VariantCode {
  const char* code;
  std::int32_t variant;
};

// Tried in this order; the first code found wins.
constexpr VariantCode kVariantCodes[] = {
    {"KA", 1}, {"LB", 3}, {"MC", 4}, {"ND", 5},
    {"PE", 6}, {"QF", 7}, {"RG", 8},
};
constexpr std::int32_t kVariantWithoutCode = 2;

}  // namespace

std::int32_t readerVariantFromName(const char* fileName) {
  for (const VariantCode& entry : kVariantCodes) {
    if (std::strstr(fileName, entry.code) != nullptr) return entry.variant;
  }
  return kVariantWithoutCode;
}

}  // namespace norbix
