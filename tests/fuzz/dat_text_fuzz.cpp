// Fuzz target: dat-file text, whole and fed in two pieces, must give the
// same block and never read or write outside the buffers.
#include <cstdint>
#include <cstring>

#include "package/dat_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  norbix::EepromBlock whole{};
  norbix::parseDatText(data, size, whole);

  norbix::EepromBlock pieces{};
  norbix::DatTextParser parser(pieces);
  std::size_t split = size == 0 ? 0 : data[0] % (size + 1);
  if (parser.feed(data, split)) parser.feed(data + split, size - split);
  if (std::memcmp(whole.bytes, pieces.bytes, sizeof whole.bytes) != 0) __builtin_trap();

  // The name rule with whatever bytes the input holds, into a small buffer.
  char name[64];
  std::size_t n = size < sizeof name - 1 ? size : sizeof name - 1;
  std::memcpy(name, data, n);
  name[n] = '\0';
  char out[16];
  norbix::datFileNameFor(name, out, sizeof out, 932);
  norbix::datFileNameFor(name, out, sizeof out, 1252);
  return 0;
}
