// Ids of the updater's string catalog (texts in catalog.def).
#pragma once

#include "platform/types.h"

namespace norbix {

inline constexpr platform::UINT kStrUpdateFileErrorCaption = 105;
inline constexpr platform::UINT kStrUpdateFileErrorText = 106;

}  // namespace norbix
