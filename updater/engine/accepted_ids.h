// Which USB ids a reader of each variant may show, and the default identity
// of a reader whose firmware did not finish a download. The update worker
// and the reconnect check judge a reader by these; the identification of a
// reader in normal mode has a stricter table of its own.
#pragma once

#include <cstdint>

namespace norbix {

// Vendor 0x6F29 or product 0x6601, either one.
bool showsDefaultIdentity(std::uint16_t vendorId, std::uint16_t productId);

// True when `acceptedReaderIds` lists the pair for `readerVariant`; a
// variant the table does not know accepts any ids.
bool fitsAcceptedReaderIds(std::int32_t readerVariant, std::uint16_t vendorId,
                           std::uint16_t productId);

}  // namespace norbix
