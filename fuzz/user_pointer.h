/* SPDX-License-Identifier: GPL-2.0 */
// User pointers for the kernel fuzzers: where an ioctl's argument points,
// chosen by the input. Most are good; the others fail at the start, part-way
// through or only when the driver writes back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "kbench.h"
#include "reader.h"

namespace fuzz {

// The bench, like a real process, maps nothing in the first 64 KiB.
constexpr uintptr_t kLowUnmapped = 0xFFFF;

struct UserPointer {
  uintptr_t addr = 0;
  bool readable = false;  // the whole record can be copied in
  bool writable = false;  // ... and back out
};

// Maps `bytes` (the record as the caller filled it) or picks a pointer with
// nothing behind it. Input: a kind byte, then one parameter byte or word.
inline UserPointer user_pointer(Reader& in, const std::vector<uint8_t>& bytes) {
  UserPointer p;
  const size_t size = bytes.size();
  switch (in.below(16)) {
    case 1:  // faults part-way through the record
      p.addr = kb::user::map(bytes);
      kb::user::fault_from(p.addr, in.below(unsigned(size)));
      return p;
    case 2:  // can be read, not written
      p.addr = kb::user::map(bytes);
      kb::user::read_only(p.addr);
      p.readable = true;
      return p;
    case 3: {  // a mapping shorter than the record: the copy runs off its end
      const size_t n = 1 + in.below(unsigned(size - 1));
      p.addr = kb::user::map(std::vector<uint8_t>(bytes.begin(), bytes.begin() + n));
      return p;
    }
    case 4:  // ending in kernel space
      p.addr = kb::user::kTaskSize - in.below(unsigned(size));
      return p;
    case 5:  // below every mapping, null included
      p.addr = in.u32() & kLowUnmapped;
      return p;
    case 6:  // anywhere above user space
      p.addr = kb::user::kTaskSize + (in.u64() % (UINTPTR_MAX - kb::user::kTaskSize + 1));
      return p;
    default:
      p.addr = kb::user::map(bytes);
      p.readable = p.writable = true;
      return p;
  }
}

}  // namespace fuzz
