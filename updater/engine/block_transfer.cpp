#include "engine/block_transfer.h"

#include <cstring>

#include "device/reader_protocol.h"
#include "engine/reader_commands.h"

namespace norbix {

using namespace platform;

namespace {

constexpr int kBlocks = protocol::kFirmwareBlocks;
constexpr int kEndOfTransferBlock = kBlocks;  // the zero-length download
constexpr std::size_t kBlockSize = protocol::kTransferBlockSize;

std::uint16_t blockLength(int block) {
  if (block == kEndOfTransferBlock) return 0;
  std::size_t start = static_cast<std::size_t>(block) * kBlockSize;
  std::size_t rest = protocol::kFirmwareBytes - start;
  return static_cast<std::uint16_t>(rest < kBlockSize ? rest : kBlockSize);
}

// The progress bar moves after every fourth block.
bool isStepBlock(int block) { return block % 4 == 3; }

class Progress {
 public:
  Progress(Ui& ui, HWND control, int step)
      : ui_(ui), control_(control), step_(step) {
    position_ = static_cast<int>(ui_.sendMessageA(control_, PBM_GETPOS, 0, 0));
  }
  void advance() {
    position_ += step_;
    ui_.sendMessageA(control_, PBM_SETPOS, static_cast<WPARAM>(position_), 0);
  }

 private:
  Ui& ui_;
  HWND control_;
  int step_;
  int position_;
};

int progressStep(const SharedState& state, int ntStep) {
  return load(state.isWin9x) == 1 ? 7 : ntStep;
}

// Compares `length` bytes of `got` with the image at `offset`.
bool same(const std::uint8_t* got, std::size_t gotOffset,
          const std::uint8_t* image, std::size_t offset, std::size_t length) {
  return std::memcmp(got + gotOffset, image + offset, length) == 0;
}

// Block 0 skips the reader's own data at 0x400-0x6FF, block 15 the
// configuration region; both differ from every image by design.
bool blockMatches(int block, const std::uint8_t* got, const std::uint8_t* image) {
  const std::size_t start = static_cast<std::size_t>(block) * kBlockSize;
  if (block == 0) {
    return same(got, 0, image, 0, protocol::kReaderDataBegin) &&
           same(got, protocol::kReaderDataEnd, image, protocol::kReaderDataEnd,
                kBlockSize - protocol::kReaderDataEnd);
  }
  if (block == kBlocks - 1) {
    const std::size_t before = protocol::kConfigRegionBegin - start;
    const std::size_t after = protocol::kConfigRegionEnd - start;
    return same(got, 0, image, start, before) &&
           same(got, after, image, protocol::kConfigRegionEnd,
                blockLength(block) - after);
  }
  return same(got, 0, image, start, kBlockSize);
}

}  // namespace

int compareFirmware(Platform& platform, const SharedState& state,
                    HWND progressControl, const std::uint8_t* image) {
  Kernel& kernel = platform.kernel;
  Progress progress(platform.ui, progressControl, progressStep(state, 5));
  if (!dfuGetState(kernel, state)) return kCompareRequestFailed;
  int result = kCompareEqual;
  std::uint8_t got[kBlockSize];
  for (int b = 0; b < kBlocks; ++b) {
    if (!dfuUpload(kernel, state, static_cast<std::uint8_t>(b), blockLength(b),
                   got)) {
      result = kCompareRequestFailed;
      break;
    }
    // A difference does not end the loop: every block is read, so that a
    // failing upload later on still reports as a failure.
    if (!blockMatches(b, got, image)) result = kCompareDiffers;
    if (isStepBlock(b)) progress.advance();
  }
  // The state and status requests close the upload even after a failure.
  if (!dfuGetState(kernel, state)) result = kCompareRequestFailed;
  std::uint8_t status[kDfuStatusSize];
  if (!dfuGetStatus(kernel, state, status)) return kCompareRequestFailed;
  return result;
}

int downloadFirmware(Platform& platform, const SharedState& state,
                     HWND progressControl, const std::uint8_t* image) {
  Kernel& kernel = platform.kernel;
  Progress progress(platform.ui, progressControl, progressStep(state, 4));
  if (!dfuGetState(kernel, state)) return kDownloadStatusFailed;
  std::uint8_t status[kDfuStatusSize];
  // Blocks 0 to 15 carry the firmware; block 16 is the zero-length
  // download that ends the transfer and makes the reader take the image.
  for (int b = 0; b <= kEndOfTransferBlock; ++b) {
    const std::uint8_t* data =
        b == kEndOfTransferBlock ? nullptr
                                 : image + static_cast<std::size_t>(b) * kBlockSize;
    if (!dfuDownload(kernel, state, static_cast<std::uint8_t>(b), blockLength(b),
                     data)) {
      return kDownloadRequestFailed;
    }
    // Two status requests per block, sent at once: the first starts the
    // reader's write of the block, the second finds it done. The poll
    // timeout the answers carry is not waited for.
    if (!dfuGetStatus(kernel, state, status)) return kDownloadStatusFailed;
    if (!dfuGetStatus(kernel, state, status)) return kDownloadStatusFailed;
    if (b < kEndOfTransferBlock && isStepBlock(b)) progress.advance();
  }
  return kDownloadDone;
}

}  // namespace norbix
