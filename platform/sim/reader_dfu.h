// The card reader's firmware side under the update driver: a 65534-byte
// firmware memory, the 256-byte configuration block (EEPROM) and a state
// machine after the USB Device Firmware Upgrade 1.1 standard for
// GETSTATE, GETSTATUS, UPLOAD, DNLOAD, ABORT and CLRSTATUS.
//
// The reader is manifestation tolerant, reports a poll timeout of 0 and
// leaves dfuDNBUSY and dfuMANIFEST as soon as it has answered the status
// request that entered them, so two status requests in a row carry a block
// from dfuDNLOAD-SYNC to dfuDNLOAD-IDLE.
//
// Where the updater leaves the DFU 1.1 state diagram, this reader accepts
// what the updater does, as its firmware evidently does; everything else
// that the diagram forbids is stalled and leaves the machine in dfuERROR
// (bStatus errSTALLEDPKT) until CLRSTATUS. The accepted departures:
//   1. A DNLOAD of block 0 in dfuUPLOAD-IDLE: the updater downloads right
//      after a full comparison without an ABORT. The upload is dropped and
//      the download starts as from dfuIDLE.
//   2. The vendor requests 0x46 (read the configuration block) and 0x00
//      (pre-update) in dfuIDLE and in dfuUPLOAD-IDLE, where a run that
//      ended after its verification leaves the reader for the next run:
//      the diagram knows no vendor requests. They change no DFU state, and
//      a stalled vendor request does not either.
//   3. An upload that ends exactly at the end of the memory with a full
//      frame stays in dfuUPLOAD-IDLE (no short frame told the host it was
//      done); the updater's GETSTATE and GETSTATUS that follow are legal
//      there and it never sends the ABORT that would end the upload.
//   4. Blocks are addressed: block b of an upload or download is memory
//      offset b * 4096. A download must send blocks 0, 1, 2 ... in order;
//      a block out of order or past the memory is stalled with errADDRESS.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

class ReaderFirmware {
 public:
  static constexpr std::size_t kMemorySize = 65534;
  static constexpr std::size_t kEepromSize = 256;
  static constexpr std::size_t kTransferSize = 4096;

  ReaderFirmware();

  // What one request did: stalled requests fail on the bus.
  struct Answer {
    bool ok = false;
    std::size_t length = 0;  // data-stage bytes sent to the host
  };

  Answer getState(std::uint8_t* out, std::size_t wLength);
  Answer getStatus(std::uint8_t* out, std::size_t wLength);
  Answer upload(int block, std::size_t wLength, std::uint8_t* out);
  Answer download(int block, const std::uint8_t* data, std::size_t wLength);
  Answer abort();
  Answer clearStatus();
  // Any request the machine does not know in the present state.
  Answer stall();
  // Whether a vendor request may run now (departure 2).
  bool vendorRequestAllowed() const;

  // A bus reset or power-up in DFU mode: dfuIDLE, no transfer in progress.
  void reset();

  std::uint8_t state() const { return state_; }
  std::uint8_t status() const { return status_; }

  // Firmware memory and configuration block.
  std::vector<std::uint8_t>& memory() { return memory_; }
  const std::vector<std::uint8_t>& memory() const { return memory_; }
  std::array<std::uint8_t, kEepromSize>& eeprom() { return eeprom_; }
  const std::array<std::uint8_t, kEepromSize>& eeprom() const { return eeprom_; }
  // False from the first byte a download writes until a download has
  // written every block and ended with the zero-length block.
  bool intact() const { return intact_; }
  void setIntact(bool intact) { intact_ = intact; }

 private:
  Answer fail(std::uint8_t status);
  void writeBlock();  // the block received in dfuDNLOAD-SYNC
  void manifest();

  std::vector<std::uint8_t> memory_;
  std::array<std::uint8_t, kEepromSize> eeprom_{};
  std::uint8_t state_;
  std::uint8_t status_;
  bool intact_ = true;
  // Download in progress.
  int nextBlock_ = 0;
  std::size_t written_ = 0;
  std::vector<std::uint8_t> pending_;  // received, not yet written
  int pendingBlock_ = -1;
  bool blockWritten_ = false;
  std::array<std::uint8_t, kEepromSize> newConfig_{};
  bool manifested_ = false;
};

// The version text of a firmware memory as a BCD number (0x0205 for 2.05),
// found after the first "USB 2" marker as update images carry it; 0 when
// there is none.
std::uint16_t firmwareVersion(const std::vector<std::uint8_t>& memory);
// The same four characters ("2.05"), or "0.00".
std::string firmwareVersionText(const std::vector<std::uint8_t>& memory);

}  // namespace sim
