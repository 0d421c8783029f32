// Fuzz target: an update file of any length and content goes through the
// check, the version search and the version pass without reading past it.
#include <cstdint>
#include <cstring>
#include <vector>

#include "package/update_format.h"
#include "package/version_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  norbix::checkUpdateImage(data, size);
  // The version search reads a whole image: give it one, the input at its
  // start and the rest zero.
  std::vector<std::uint8_t> image(norbix::kUpdateFileSize, 0);
  std::memcpy(image.data(), data, size < image.size() ? size : image.size());
  if (size > 8) {
    std::size_t at = (static_cast<std::size_t>(data[0]) << 8 | data[1]) % 0xFE60;
    std::memcpy(image.data() + at, "USB 2", 5);
  }
  char text[4];
  if (norbix::findVersionText(image.data(), text)) norbix::versionNumber(text);
  const std::uint8_t* images[2] = {image.data(), image.data()};
  norbix::FileVersion versions[2];
  if (norbix::versionPass(images, 2, versions)) {
    char display[24];  // short on purpose: the formatter must cut, not overrun
    norbix::formatVersionDisplay("Firmware Version : 0%s", "Firmware Version : 0%s/0%s",
                                 versions, 2, display, sizeof display);
  }
  return 0;
}
