#pragma once

#include <cstdint>

namespace norbix {

// The reader variant an update file's name selects: the first code of the
// table found anywhere in the name (upper case only), else variant 2.
std::int32_t readerVariantFromName(const char* fileName);

}  // namespace norbix
