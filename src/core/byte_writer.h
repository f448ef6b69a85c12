#pragma once
// The twin of TByteReader for the headers our writers lay out: values go
// into a span of bytes at the position, which moves past them. The span
// is made the size of the header it receives, so a write beyond its end
// is a fault of ours, not of a file: it raises ERangeError and writes
// nothing.

#include <cstdint>
#include <cstring>
#include <span>

#include "core/exceptions.h"

class TByteWriter {
 public:
  explicit TByteWriter(std::span<std::uint8_t> data) : data_(data) {}

  std::uint64_t Size() const { return data_.size(); }
  std::uint64_t Position() const { return pos_; }
  std::uint64_t Remaining() const { return data_.size() - pos_; }

  // Moves on without writing: the bytes passed over keep what they hold
  // (the zeros of a fresh header).
  void Skip(std::uint64_t count) {
    Need(count);
    pos_ += count;
  }

  void U8(std::uint8_t v) {
    Need(1);
    data_[pos_++] = v;
  }
  void U16LE(std::uint16_t v) {
    Need(2);
    data_[pos_] = static_cast<std::uint8_t>(v);
    data_[pos_ + 1] = static_cast<std::uint8_t>(v >> 8);
    pos_ += 2;
  }
  void U32LE(std::uint32_t v) {
    Need(4);
    for (int i = 0; i < 4; ++i) data_[pos_ + static_cast<std::uint64_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    pos_ += 4;
  }
  void U16BE(std::uint16_t v) {
    Need(2);
    data_[pos_] = static_cast<std::uint8_t>(v >> 8);
    data_[pos_ + 1] = static_cast<std::uint8_t>(v);
    pos_ += 2;
  }
  void U32BE(std::uint32_t v) {
    Need(4);
    for (int i = 0; i < 4; ++i) {
      data_[pos_ + static_cast<std::uint64_t>(i)] = static_cast<std::uint8_t>(v >> (8 * (3 - i)));
    }
    pos_ += 4;
  }
  void Bytes(std::span<const std::uint8_t> bytes) {
    Need(bytes.size());
    if (!bytes.empty()) std::memcpy(data_.data() + pos_, bytes.data(), bytes.size());
    pos_ += bytes.size();
  }

 private:
  void Need(std::uint64_t count) const {
    if (count > Remaining()) throw ERangeError("A header was written beyond its size");
  }

  std::span<std::uint8_t> data_;
  std::uint64_t pos_ = 0;
};
