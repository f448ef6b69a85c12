#include "formats/tiff/tiff_directory.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "formats/common/byte_order.h"

int TIFFTypeSize(std::uint16_t type) {
  switch (type) {
    case 1:   // byte
    case 2:   // ASCII
    case 6:   // signed byte
    case 7:   // undefined
      return 1;
    case 3:   // short
    case 8:   // signed short
      return 2;
    case 4:   // long
    case 9:   // signed long
    case 11:  // float
    case 13:  // directory offset
      return 4;
    case 5:   // rational
    case 10:  // signed rational
    case 12:  // double
      return 8;
    default:
      return 0;
  }
}

std::uint16_t TTIFFDirectory::U16(const std::uint8_t* p) const { return bigEndian_ ? GetU16BE(p) : GetU16LE(p); }
std::uint32_t TTIFFDirectory::U32(const std::uint8_t* p) const { return bigEndian_ ? GetU32BE(p) : GetU32LE(p); }

bool TTIFFDirectory::ReadHeader() {
  if (data_.size() < 8) return false;
  if (data_[0] == 'I' && data_[1] == 'I') {
    bigEndian_ = false;
  } else if (data_[0] == 'M' && data_[1] == 'M') {
    bigEndian_ = true;
  } else {
    return false;
  }
  version_ = U16(&data_[2]);
  firstIFD_ = U32(&data_[4]);
  return true;
}

bool TTIFFDirectory::ReadDirectory(int index) {
  entries_.clear();
  std::uint64_t offset = firstIFD_;
  for (int hop = 0; hop < kMaxDirectories; ++hop) {
    if (offset == 0 || offset > data_.size() || data_.size() - offset < 2) return false;
    const std::uint16_t count = U16(&data_[offset]);
    const std::uint64_t table = offset + 2;
    const std::uint64_t tableBytes = std::uint64_t{count} * 12;
    if (tableBytes > data_.size() - table) return false;
    if (index == 0) {
      entries_.reserve(count);
      for (std::uint16_t i = 0; i < count; ++i) {
        const std::uint8_t* e = &data_[table + std::uint64_t{i} * 12];
        TTIFFEntry entry;
        entry.Tag = U16(e);
        entry.Type = U16(e + 2);
        entry.Count = U32(e + 4);
        std::memcpy(entry.Value, e + 8, 4);
        // A type the format does not define has no size: skipped.
        if (TIFFTypeSize(entry.Type) != 0) entries_.push_back(entry);
      }
      std::stable_sort(entries_.begin(), entries_.end(),
                       [](const TTIFFEntry& a, const TTIFFEntry& b) { return a.Tag < b.Tag; });
      return true;
    }
    if (data_.size() - table - tableBytes < 4) return false;
    offset = U32(&data_[table + tableBytes]);
    --index;
  }
  return false;
}

const TTIFFEntry* TTIFFDirectory::Find(std::uint16_t tag) const {
  auto it = std::lower_bound(entries_.begin(), entries_.end(), tag,
                             [](const TTIFFEntry& e, std::uint16_t t) { return e.Tag < t; });
  return it != entries_.end() && it->Tag == tag ? &*it : nullptr;
}

std::span<const std::uint8_t> TTIFFDirectory::ValueBytes(const TTIFFEntry& entry) const {
  const std::uint64_t size = std::uint64_t{entry.Count} * static_cast<std::uint64_t>(TIFFTypeSize(entry.Type));
  if (size <= 4) return std::span<const std::uint8_t>(entry.Value, static_cast<std::size_t>(size));
  const std::uint64_t offset = U32(entry.Value);
  if (offset > data_.size() || size > data_.size() - offset) return {};
  return data_.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(size));
}

std::vector<std::uint32_t> TTIFFDirectory::Integers(const TTIFFEntry& entry, std::size_t limit) const {
  std::vector<std::uint32_t> values;
  const int size = TIFFTypeSize(entry.Type);
  const bool integer = entry.Type == 1 || entry.Type == 3 || entry.Type == 4 || entry.Type == 6 ||
                       entry.Type == 8 || entry.Type == 9 || entry.Type == 13;
  if (!integer) return values;
  const std::span<const std::uint8_t> bytes = ValueBytes(entry);
  const std::size_t n = std::min(bytes.size() / static_cast<std::size_t>(size), limit);
  values.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    // Each value in the file's order by its own size: two shorts side by
    // side in the entry stay in their order.
    const std::uint8_t* p = bytes.data() + i * static_cast<std::size_t>(size);
    switch (entry.Type) {
      case 1: values.push_back(p[0]); break;
      case 6: values.push_back(static_cast<std::uint32_t>(static_cast<std::int8_t>(p[0]))); break;
      case 3: values.push_back(U16(p)); break;
      case 8: values.push_back(static_cast<std::uint32_t>(static_cast<std::int16_t>(U16(p)))); break;
      default: values.push_back(U32(p)); break;
    }
  }
  return values;
}

std::uint32_t TTIFFDirectory::Integer(std::uint16_t tag, std::uint32_t fallback) const {
  const TTIFFEntry* e = Find(tag);
  if (!e) return fallback;
  const std::vector<std::uint32_t> v = Integers(*e, 1);
  return v.empty() ? fallback : v[0];
}

std::vector<std::uint32_t> TTIFFDirectory::IntegerArray(std::uint16_t tag) const {
  const TTIFFEntry* e = Find(tag);
  return e ? Integers(*e) : std::vector<std::uint32_t>{};
}

std::vector<double> TTIFFDirectory::Numbers(std::uint16_t tag, std::size_t limit) const {
  std::vector<double> values;
  const TTIFFEntry* e = Find(tag);
  if (!e) return values;
  switch (e->Type) {
    case 5:
    case 10:
    case 11:
    case 12: {
      const std::span<const std::uint8_t> bytes = ValueBytes(*e);
      const std::size_t size = static_cast<std::size_t>(TIFFTypeSize(e->Type));
      const std::size_t n = std::min(bytes.size() / size, limit);
      for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t* p = bytes.data() + i * size;
        double v = 0;
        if (e->Type == 5 || e->Type == 10) {
          const std::uint32_t num = U32(p), den = U32(p + 4);
          const double top = e->Type == 10 ? static_cast<std::int32_t>(num) : static_cast<double>(num);
          const double bottom = e->Type == 10 ? static_cast<std::int32_t>(den) : static_cast<double>(den);
          v = bottom != 0 ? top / bottom : 0;
        } else if (e->Type == 11) {
          v = std::bit_cast<float>(U32(p));
        } else {
          const std::uint64_t hi = U32(bigEndian_ ? p : p + 4), lo = U32(bigEndian_ ? p + 4 : p);
          v = std::bit_cast<double>((hi << 32) | lo);
        }
        values.push_back(v);
      }
      break;
    }
    default:
      for (std::uint32_t i : Integers(*e, limit)) {
        const bool isSigned = e->Type == 6 || e->Type == 8 || e->Type == 9;
        values.push_back(isSigned ? static_cast<double>(static_cast<std::int32_t>(i)) : static_cast<double>(i));
      }
      break;
  }
  return values;
}

double TTIFFDirectory::Number(std::uint16_t tag, double fallback) const {
  const std::vector<double> v = Numbers(tag, 1);
  return v.empty() ? fallback : v[0];
}
