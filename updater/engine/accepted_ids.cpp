#include "engine/accepted_ids.h"

#include "device/reader_protocol.h"

namespace norbix {

namespace {

struct AcceptedIds {
  std::int32_t variant;
  std::uint16_t vendorId;
  std::uint16_t productIds[5];
  int productCount;
};

// `acceptedReaderIds`. Product 0000 is a real entry where it appears.
constexpr AcceptedIds kAcceptedReaderIds[] = {
    {1, 0x1C3A, {0x1101, 0x0000, 0x1102, 0x1104, 0x1103}, 5},
    {2, 0x2E51, {0x2201}, 1},
    {3, 0x2E51, {0x2202}, 1},
    {4, 0x3A17, {0x3301}, 1},
    {5, 0x4B62, {0x4401, 0x0000, 0x4402}, 3},
    {6, 0x4B62, {0x4403}, 1},
    {7, 0x5D08, {0x5501, 0x0000, 0x5502}, 3},
    {8, 0x5D08, {0x5501, 0x0000, 0x5502}, 3},
};

}  // namespace

bool showsDefaultIdentity(std::uint16_t vendorId, std::uint16_t productId) {
  return vendorId == protocol::kDefaultVendorId ||
         productId == protocol::kDefaultProductId;
}

bool fitsAcceptedReaderIds(std::int32_t readerVariant, std::uint16_t vendorId,
                           std::uint16_t productId) {
  for (const AcceptedIds& row : kAcceptedReaderIds) {
    if (row.variant != readerVariant) continue;
    if (row.vendorId != vendorId) return false;
    for (int i = 0; i < row.productCount; ++i) {
      if (row.productIds[i] == productId) return true;
    }
    return false;
  }
  return true;
}

}  // namespace norbix
