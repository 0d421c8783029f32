// Ids of the updater's string catalog (texts in catalog.def) and of its
// dialog templates (dialogs.def).
#pragma once

#include "platform/types.h"

namespace norbix {

inline constexpr platform::UINT kStrAboutMenuItem = 101;
inline constexpr platform::UINT kStrAttentionText = 102;
inline constexpr platform::UINT kStrCloseWarningCaption = 103;
inline constexpr platform::UINT kStrUpdateFileErrorCaption = 105;
inline constexpr platform::UINT kStrUpdateFileErrorText = 106;
inline constexpr platform::UINT kStrCloseWarningText = 112;
inline constexpr platform::UINT kStrUnknownVersion = 137;
inline constexpr platform::UINT kStrFilesFailedStatus = 151;
inline constexpr platform::UINT kStrOpenFileFilter = 152;
inline constexpr platform::UINT kStrNoReader = 154;
inline constexpr platform::UINT kStrUpdateSucceeded = 155;
inline constexpr platform::UINT kStrUpdateNotNeeded = 156;
inline constexpr platform::UINT kStrNotAReader = 157;
inline constexpr platform::UINT kStrClickEnd = 158;
inline constexpr platform::UINT kStrUpdateFailed = 162;
inline constexpr platform::UINT kStrOneFileVersion = 205;
inline constexpr platform::UINT kStrTwoFileVersions = 206;

inline constexpr platform::UINT kDialogAbout = 100;
inline constexpr platform::UINT kDialogMain = 102;
inline constexpr platform::UINT kDialogFinish = 133;
inline constexpr platform::UINT kDialogAttention = 134;
inline constexpr platform::UINT kIconMain = 128;

// Control ids of the templates.
inline constexpr int kCtlStartUpdate = 1000;
inline constexpr int kCtlProgress = 1001;
inline constexpr int kCtlReaderVersion = 1002;
inline constexpr int kCtlFileVersion = 1005;
inline constexpr int kCtlReferPath = 1008;
inline constexpr int kCtlReferTo = 1009;
inline constexpr int kCtlStatusLine = 1010;
inline constexpr int kCtlReaderText = 1012;
inline constexpr int kCtlResultText = 1014;
inline constexpr int kCtlWarningText = 1015;
inline constexpr int kCtlDeviceText = 1017;

}  // namespace norbix
