// The tables the update worker judges by: the ids a reader of each variant
// may show, the default identity, and which saved copies restore.
#include <gtest/gtest.h>

#include "engine/accepted_ids.h"
#include "engine/last_eeprom.h"

namespace {

struct IdsCase {
  std::int32_t variant;
  std::uint16_t vendorId;
  std::uint16_t productId;
  bool fits;
};

TEST(AcceptedReaderIds, Table) {
  const IdsCase cases[] = {
      {1, 0x1C3A, 0x1101, true},  {1, 0x1C3A, 0x0000, true},  {1, 0x1C3A, 0x1103, true},
      {1, 0x1C3A, 0x1105, false}, {1, 0x2E51, 0x1101, false}, {2, 0x2E51, 0x2201, true},
      {2, 0x2E51, 0x2202, false}, {2, 0x2E51, 0x0000, false}, {3, 0x2E51, 0x2202, true},
      {4, 0x3A17, 0x3301, true},  {4, 0x3A17, 0x0000, false}, {5, 0x4B62, 0x0000, true},
      {5, 0x4B62, 0x4402, true},  {5, 0x4B62, 0x4403, false}, {6, 0x4B62, 0x4403, true},
      {7, 0x5D08, 0x0000, true},  {8, 0x5D08, 0x5502, true},  {8, 0x5D08, 0x5503, false},
      // A variant the table does not know accepts anything.
      {0, 0x1234, 0x5678, true},  {9, 0x0000, 0x0000, true},
  };
  for (const IdsCase& c : cases) {
    EXPECT_EQ(c.fits, norbix::fitsAcceptedReaderIds(c.variant, c.vendorId, c.productId))
        << c.variant << " " << std::hex << c.vendorId << "/" << c.productId;
  }
}

TEST(DefaultIdentity, EitherIdSuffices) {
  EXPECT_TRUE(norbix::showsDefaultIdentity(0x6F29, 0x6601));
  EXPECT_TRUE(norbix::showsDefaultIdentity(0x6F29, 0x2201));
  EXPECT_TRUE(norbix::showsDefaultIdentity(0x2E51, 0x6601));
  EXPECT_FALSE(norbix::showsDefaultIdentity(0x2E51, 0x2201));
  EXPECT_FALSE(norbix::showsDefaultIdentity(0x6601, 0x6F29));
}

norbix::EepromBlock validCopy() {
  norbix::EepromBlock block{};
  block.setIdentityText("0123456789AB");
  block.setValidMarker();
  block.setKindDigit('1');
  return block;
}

TEST(RestorableCopy, MarkerKindDigitAndUpperCaseHexIdentity) {
  struct Case {
    const char* name;
    std::size_t offset;
    std::uint8_t byte;
    bool restorable;
  };
  const Case cases[] = {
      {"as saved", 0, 0, true},
      {"lower-case a at 4", 4, 'a', false},
      {"G in the text", 24, 'G', false},
      {"high byte is not looked at", 3, 'x', true},
      {"marker", 253, 'T', false},
      {"kind digit 2", 255, '2', false},
      {"kind digit 0", 255, '0', true},
  };
  for (const Case& c : cases) {
    norbix::EepromBlock copy = validCopy();
    if (c.offset != 0) copy[c.offset] = c.byte;
    EXPECT_EQ(c.restorable, norbix::isRestorableCopy(copy)) << c.name;
  }
}

}  // namespace
