/* SPDX-License-Identifier: GPL-2.0 */
// Reads a fuzzer input front to back, so that seeds can be written by hand:
// each field takes the next bytes, and a field past the end reads as zero.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  size_t remaining() const { return size_ - pos_; }
  bool empty() const { return pos_ == size_; }

  uint8_t byte() { return empty() ? 0 : data_[pos_++]; }
  // n in [0, limit).
  unsigned below(unsigned limit) { return byte() % limit; }
  // Little-endian.
  uint32_t u32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(byte()) << (8 * i);
    return v;
  }
  uint64_t u64() { return u32() | uint64_t(u32()) << 32; }
  // Up to n bytes: fewer at the end of the input.
  std::vector<uint8_t> bytes(size_t n) {
    if (n > remaining()) n = remaining();
    std::vector<uint8_t> out(data_ + pos_, data_ + pos_ + n);
    pos_ += n;
    return out;
  }
  std::string rest() {
    std::string out(reinterpret_cast<const char*>(data_ + pos_), remaining());
    pos_ = size_;
    return out;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace fuzz
