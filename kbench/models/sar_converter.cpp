// SPDX-License-Identifier: GPL-2.0
#include "sar_converter.h"

namespace kb {

uint16_t SarConverter::peek(uint32_t offset) const {
  auto it = regs_.find(offset);
  return it == regs_.end() ? 0 : it->second;
}

void SarConverter::complete() {
  busy_ = false;
  regs_[kCtrl] = peek(kCtrl) & ~kStart;
  for (unsigned n = 0; n < kChannels; ++n) regs_[data(n)] = inputs_[n];
  ++completions_;
}

uint32_t SarConverter::read(uint32_t offset, unsigned width) {
  if (width != 32 || offset % 4 != 0) ++odd_accesses_;
  offset &= ~3u;
  if (offset == kCtrl) {
    ++ctrl_reads_;
    if (busy_ && left_) {
      if (*left_ == 0)
        complete();
      else
        --*left_;
    }
  }
  // The upper half of every bus word reads as zero.
  return peek(offset);
}

void SarConverter::write(uint32_t offset, uint32_t value, unsigned width) {
  if (width != 32 || offset % 4 != 0) ++odd_accesses_;
  offset &= ~3u;
  if (offset >= kData0 && offset < data(kChannels)) return;  // read-only
  regs_[offset] = static_cast<uint16_t>(value);
  if (offset == kCtrl && (value & kStart)) {
    // Writing the start bit (again) restarts the conversion.
    busy_ = true;
    left_ = busy_reads_;
    ++starts_;
  }
}

}  // namespace kb
