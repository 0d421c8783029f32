#include "engine/last_eeprom.h"

#include <cstring>

namespace norbix {

using namespace platform;

namespace {

bool isUpperHexDigit(std::uint8_t c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

}  // namespace

bool readLastEeprom(Registry& registry, EepromBlock& copy) {
  std::memset(copy.bytes, 0, sizeof copy.bytes);
  HKEY key = 0;
  if (registry.regOpenKeyExA(HKEY_CURRENT_USER, kLastEepromKey, 0,
                             KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
    return false;
  }
  DWORD type = 0;
  DWORD size = EepromBlock::kSize;
  registry.regQueryValueExA(key, kLastEepromValue, &type, copy.bytes, &size);
  registry.regCloseKey(key);
  return true;
}

bool isRestorableCopy(const EepromBlock& copy) {
  if (!copy.isValid()) return false;
  for (std::size_t i = 0; i < EepromBlock::kIdentityChars; ++i) {
    if (!isUpperHexDigit(copy.identityChar(i))) return false;
  }
  return true;
}

void saveLastEeprom(Registry& registry, const EepromBlock& block) {
  HKEY key = 0;
  DWORD disposition = 0;
  if (registry.regCreateKeyExA(HKEY_CURRENT_USER, kLastEepromKey,
                               KEY_ALL_ACCESS, &key,
                               &disposition) != ERROR_SUCCESS) {
    return;
  }
  registry.regSetValueExA(key, kLastEepromValue, REG_BINARY, block.bytes,
                          EepromBlock::kSize);
  registry.regCloseKey(key);
}

void deleteLastEepromKey(Registry& registry) {
  registry.regDeleteKeyA(HKEY_CURRENT_USER, kLastEepromKey);
}

}  // namespace norbix
