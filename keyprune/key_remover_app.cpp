#include "keyprune/key_remover_app.h"

#include <cstdio>

#include "keytree/key_tree.h"

namespace keyprune {

using namespace platform;

namespace {

Options readCommandLine(Kernel& kernel) {
  // Upper-cased before it is split, so switch letters and the path compare
  // in one case; the path is shown and removed in upper case.
  std::string text = argumentsOf(kernel.getCommandLineA());
  upperCaseInPlace(text, kernel.getACP());
  return parseWords(text);
}

int stringBaseFor(Language language, UINT oemCodePage) {
  switch (language) {
    case Language::English: return kEnglishBase;
    case Language::Japanese: return kJapaneseBase;
    case Language::FromCodePage: break;
  }
  return oemCodePage == 932 ? kJapaneseBase : kEnglishBase;
}

std::string versionSuffix(const OSVERSIONINFOA& version) {
  char suffix[64];
  std::snprintf(suffix, sizeof suffix, "\n(%u.%u.%x.%u.%u)",
                static_cast<unsigned>(version.dwMajorVersion),
                static_cast<unsigned>(version.dwMinorVersion),
                static_cast<unsigned>(version.dwBuildNumber >> 16),
                static_cast<unsigned>(version.dwBuildNumber & 0xFFFFu),
                static_cast<unsigned>(version.dwPlatformId));
  return suffix;
}

}  // namespace

bool KeyRemoverApp::initInstance() {
  Platform& p = platform();
  const Options options = readCommandLine(p.kernel);
  stringBase_ = stringBaseFor(options.language, p.kernel.getOEMCP());
  captionText_ = framework::loadString(p.ui, static_cast<UINT>(stringBase_ + kCaption));

  if (!checkWindowsVersion(options)) return false;
  // Silent mode deletes without asking, so anything but a device key tree
  // is refused as if no path had been given: one mistyped word must not
  // take a Windows installation apart.
  if (options.keyPath.empty() || !isDeviceKeyPath(options.keyPath)) {
    loadMessage(kParameterError);
    if (!options.silent) show(MB_ICONERROR);
    return false;
  }
  if (!keytree::isAdministrator(p)) {
    loadMessage(kNotAdministrator);
    show(MB_ICONERROR);
    return false;
  }
  if (!confirm(options)) return false;
  removeTree(options);
  return false;
}

bool KeyRemoverApp::checkWindowsVersion(const Options& options) {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (!platform().kernel.getVersionExA(&version)) {
    loadMessage(kNoVersionInfo);
    if (!options.silent) show(MB_ICONERROR);
    return false;
  }
  if (version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 5) {
    return true;
  }
  loadMessage(kWrongWindows);
  messageText_ += versionSuffix(version);
  if (!options.silent) show(MB_ICONERROR);
  return false;
}

bool KeyRemoverApp::confirm(const Options& options) {
  loadMessage(kConfirmRemoval);
  messageText_ = "<" + options.keyPath + ">:\n" + messageText_;
  if (options.silent) return true;
  return show(MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void KeyRemoverApp::removeTree(const Options& options) {
  keytree::AdminAccessDescriptor descriptor(platform().security);
  if (!descriptor.create()) {
    loadMessage(kDescriptorFailed);
    show(MB_ICONWARNING);
    return;
  }
  keytree::removeKeyTree(platform(), descriptor, options.keyPath.c_str());
  descriptor.release();
  if (options.silent) return;
  // A key that refused its new access list, or kept a subkey, is still
  // there: announcing success then would tell the user the opposite of
  // what happened, so the success text is only shown for a tree that went.
  if (!treeIsGone(options.keyPath)) return;
  loadMessage(kRemoved);
  show(MB_ICONINFORMATION);
}

bool KeyRemoverApp::treeIsGone(const std::string& path) {
  Registry& registry = platform().registry;
  HKEY key = 0;
  LONG result = registry.regOpenKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &key);
  if (result == ERROR_SUCCESS) {
    registry.regCloseKey(key);
    return false;
  }
  return result == static_cast<LONG>(ERROR_FILE_NOT_FOUND);
}

void KeyRemoverApp::loadMessage(int offset) {
  messageText_ = framework::loadString(platform().ui, static_cast<UINT>(stringBase_ + offset));
}

int KeyRemoverApp::show(UINT type) {
  return platform().ui.messageBoxA(0, messageText_.c_str(), captionText_.c_str(), type);
}

DWORD runKeyRemover(Platform& platform) {
  KeyRemoverApp app(platform);
  app.initInstance();
  return 0;
}

}  // namespace keyprune
