/* SPDX-License-Identifier: GPL-2.0 */
// Model of the SoC's four-channel SAR converter as its register window shows
// it: 16-bit registers, each in the low half of its own 32-bit bus word.
//
//   bus 0x000  control: bit 14 (start) set by software, cleared by the
//              converter when the conversion is done
//   bus 0x044  channel select: plain storage
//   bus 0x100 + 4n  result of channel n (read-only), latched from the
//              channel's input when a conversion completes
//
// The conversion finishes after a configurable number of control reads, or
// never; the bench's virtual clock is left alone, so timing stays the
// driver's own busy-waiting.
#ifndef KBENCH_MODELS_SAR_CONVERTER_H
#define KBENCH_MODELS_SAR_CONVERTER_H

#include <array>
#include <cstdint>
#include <map>
#include <optional>

#include "mmio.h"

namespace kb {

class SarConverter : public mmio::Device {
 public:
  static constexpr uint32_t kCtrl = 0x000;
  static constexpr uint32_t kChan = 0x044;
  static constexpr uint32_t kData0 = 0x100;
  static constexpr uint16_t kStart = 0x4000;
  static constexpr unsigned kChannels = 4;
  static constexpr size_t kWindowSize = 0x1000;

  static constexpr uint32_t data(unsigned channel) { return kData0 + 4 * channel; }

  // How many control reads after a start still see the start bit; nullopt
  // keeps it set for ever. Applies to conversions started from now on.
  void set_busy_reads(std::optional<unsigned> reads) { busy_reads_ = reads; }
  // What the next completed conversion latches into channel n's result.
  void set_input(unsigned channel, uint16_t value) { inputs_.at(channel) = value; }

  // Test-side access to a register's 16 bits, not seen as bus traffic.
  uint16_t peek(uint32_t offset) const;
  void poke(uint32_t offset, uint16_t value) { regs_[offset] = value; }

  bool busy() const { return busy_; }
  unsigned starts() const { return starts_; }  // conversions started
  unsigned completions() const { return completions_; }
  unsigned ctrl_reads() const { return ctrl_reads_; }  // all control reads
  // Accesses that were not one aligned 32-bit word.
  unsigned odd_accesses() const { return odd_accesses_; }

  uint32_t read(uint32_t offset, unsigned width) override;
  void write(uint32_t offset, uint32_t value, unsigned width) override;

 private:
  void complete();

  std::map<uint32_t, uint16_t> regs_;
  std::array<uint16_t, kChannels> inputs_{};
  std::optional<unsigned> busy_reads_ = 2;
  bool busy_ = false;
  // Control reads left that still see the start bit; nullopt: never done.
  std::optional<unsigned> left_;
  unsigned starts_ = 0;
  unsigned completions_ = 0;
  unsigned ctrl_reads_ = 0;
  unsigned odd_accesses_ = 0;
};

}  // namespace kb

#endif
