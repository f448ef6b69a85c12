#include "formats/common/byte_order.h"

#include <utility>

#include "core/exceptions.h"

namespace {

void CheckCount(std::span<std::uint8_t> data, std::size_t count, std::size_t width) {
  if (count > data.size() / width) throw ERangeError("Range check error");
}

}  // namespace

void SwapShortArray(std::span<std::uint8_t> data, std::size_t count) {
  CheckCount(data, count, 2);
  std::uint8_t* p = data.data();
  for (std::size_t i = 0; i < count; ++i, p += 2) std::swap(p[0], p[1]);
}

void SwapLongArray(std::span<std::uint8_t> data, std::size_t count) {
  CheckCount(data, count, 4);
  std::uint8_t* p = data.data();
  for (std::size_t i = 0; i < count; ++i, p += 4) {
    std::swap(p[0], p[3]);
    std::swap(p[1], p[2]);
  }
}
