#pragma once
// The one narrow door through which decoders read untrusted bytes: every
// read checks what is left and raises the decoder's own error when the
// data runs out. Offsets and lengths are 64-bit.

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <utility>

template <class E>
class TByteReader {
 public:
  TByteReader(std::span<const std::uint8_t> data, std::string errorText)
      : data_(data), error_(std::move(errorText)) {}

  std::uint64_t Size() const { return data_.size(); }
  std::uint64_t Position() const { return pos_; }
  std::uint64_t Remaining() const { return data_.size() - pos_; }
  bool AtEnd() const { return pos_ >= data_.size(); }

  void Seek(std::uint64_t pos) {
    if (pos > data_.size()) Fail();
    pos_ = pos;
  }
  void Skip(std::uint64_t count) {
    Need(count);
    pos_ += count;
  }
  // Raises unless count more bytes are there.
  void Need(std::uint64_t count) const {
    if (count > Remaining()) Fail();
  }

  std::uint8_t U8() {
    Need(1);
    return data_[pos_++];
  }
  std::uint16_t U16LE() {
    Need(2);
    std::uint16_t v = static_cast<std::uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
    pos_ += 2;
    return v;
  }
  std::uint32_t U32LE() {
    Need(4);
    std::uint32_t v = static_cast<std::uint32_t>(data_[pos_]) |
                      (static_cast<std::uint32_t>(data_[pos_ + 1]) << 8) |
                      (static_cast<std::uint32_t>(data_[pos_ + 2]) << 16) |
                      (static_cast<std::uint32_t>(data_[pos_ + 3]) << 24);
    pos_ += 4;
    return v;
  }
  std::int32_t I32LE() { return static_cast<std::int32_t>(U32LE()); }
  std::int16_t I16LE() { return static_cast<std::int16_t>(U16LE()); }
  std::uint16_t U16BE() {
    Need(2);
    std::uint16_t v = static_cast<std::uint16_t>((data_[pos_] << 8) | data_[pos_ + 1]);
    pos_ += 2;
    return v;
  }
  std::uint32_t U32BE() {
    Need(4);
    std::uint32_t v = (static_cast<std::uint32_t>(data_[pos_]) << 24) |
                      (static_cast<std::uint32_t>(data_[pos_ + 1]) << 16) |
                      (static_cast<std::uint32_t>(data_[pos_ + 2]) << 8) |
                      static_cast<std::uint32_t>(data_[pos_ + 3]);
    pos_ += 4;
    return v;
  }
  // A view of the next count bytes; the position moves past them.
  std::span<const std::uint8_t> Bytes(std::uint64_t count) {
    Need(count);
    auto view = data_.subspan(static_cast<std::size_t>(pos_), static_cast<std::size_t>(count));
    pos_ += count;
    return view;
  }
  void Read(void* out, std::uint64_t count) {
    auto view = Bytes(count);
    if (count) std::memcpy(out, view.data(), view.size());
  }
  // A reader over a part of this one, sharing the error text.
  TByteReader Sub(std::uint64_t offset, std::uint64_t count) const {
    if (offset > data_.size() || count > data_.size() - offset) Fail();
    return TByteReader(data_.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(count)),
                       error_);
  }

  [[noreturn]] void Fail() const { throw E(error_); }

 private:
  std::span<const std::uint8_t> data_;
  std::uint64_t pos_ = 0;
  std::string error_;
};
