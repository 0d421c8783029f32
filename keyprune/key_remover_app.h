// keyprune's application object: the whole run happens in its start-up
// routine, which removes at most one device key tree and then reports that
// initialisation failed, so the program ends without a message loop.
#pragma once

#include <string>

#include "framework/app.h"
#include "keyprune/command_line.h"

namespace keyprune {

// Offsets of the messages from stringBase (0 Japanese, 50 English).
inline constexpr int kCaption = 1;
inline constexpr int kConfirmRemoval = 6;
inline constexpr int kRemoved = 7;
inline constexpr int kNoVersionInfo = 12;
inline constexpr int kWrongWindows = 13;
inline constexpr int kDescriptorFailed = 15;
inline constexpr int kNotAdministrator = 19;
inline constexpr int kParameterError = 28;

inline constexpr int kJapaneseBase = 0;
inline constexpr int kEnglishBase = 50;

class KeyRemoverApp : public framework::App {
 public:
  explicit KeyRemoverApp(platform::Platform& platform) : App(platform) {}

  bool initInstance() override;

 private:
  bool checkWindowsVersion(const Options& options);
  bool confirm(const Options& options);
  void removeTree(const Options& options);
  bool treeIsGone(const std::string& path);

  void loadMessage(int offset);
  int show(platform::UINT type);

  std::string messageText_;
  std::string captionText_;
  int stringBase_ = kEnglishBase;
};

// One run of keyprune on `platform`. Returns the exit code, always 0.
platform::DWORD runKeyRemover(platform::Platform& platform);

}  // namespace keyprune
