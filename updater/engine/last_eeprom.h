// The registry value "Last EEPROM Data": the configuration block of a reader
// whose update has not been verified yet. It exists from the save before an
// attempt's firmware comparison until a run verifies the new firmware (or
// finds it already there), so a value found at start belongs to a run that
// did not finish.
#pragma once

#include "package/eeprom_block.h"
#include "platform/registry.h"

namespace norbix {

inline constexpr char kLastEepromKey[] = "Software\\VELDANIX\\Norbix";
inline constexpr char kLastEepromValue[] = "Last EEPROM Data";

// Zero-fills `copy`, then reads at most 256 bytes of the value into it.
// False when the key does not open; what the read itself answers does not
// matter (a missing value leaves the zeros).
bool readLastEeprom(platform::Registry& registry, EepromBlock& copy);

// A copy a run may restore from: "ata" and a kind digit of '0' or '1', and
// upper-case hexadecimal digits in the low bytes of the identity text.
bool isRestorableCopy(const EepromBlock& copy);

// Creates the key and writes the value; a failure is not reported.
void saveLastEeprom(platform::Registry& registry, const EepromBlock& block);

// Deletes the whole key.
void deleteLastEepromKey(platform::Registry& registry);

}  // namespace norbix
