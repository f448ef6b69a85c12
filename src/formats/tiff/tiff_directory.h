#pragma once
// The structure of a TIFF over checked reads: the 8-byte header, the chain
// of image file directories, their entries and the values of the entries,
// in either byte order. Nothing here trusts a count or an offset: a value
// whose bytes lie outside the data counts as absent, a type the format
// does not define is skipped, and the chain is followed at most
// kMaxDirectories steps, so a loop in it ends.

#include <cstdint>
#include <span>
#include <vector>

// An entry as it stands in its directory; Value holds the four bytes of
// the value field in the file's order.
struct TTIFFEntry {
  std::uint16_t Tag = 0;
  std::uint16_t Type = 0;
  std::uint32_t Count = 0;
  std::uint8_t Value[4] = {};
};

// Bytes of one value of a field type (1 to 13); 0 for a type the format
// does not define.
int TIFFTypeSize(std::uint16_t type);

class TTIFFDirectory {
 public:
  static constexpr int kMaxDirectories = 4096;

  // data: the TIFF from its header on.
  explicit TTIFFDirectory(std::span<const std::uint8_t> data) : data_(data) {}

  // Reads the header: false unless it starts "II" or "MM". The version
  // and the first directory's offset follow.
  bool ReadHeader();
  bool BigEndian() const { return bigEndian_; }
  std::uint16_t Version() const { return version_; }
  std::uint32_t FirstIFD() const { return firstIFD_; }

  // Reads the entries of directory `index` of the chain, sorted by tag.
  // False when the chain ends before it, or its entry table does not lie
  // in the data.
  bool ReadDirectory(int index);
  const std::vector<TTIFFEntry>& Entries() const { return entries_; }

  // The entry of a tag (binary search), or nullptr.
  const TTIFFEntry* Find(std::uint16_t tag) const;

  // The bytes of an entry's values: in the entry itself up to 4 bytes,
  // else at its offset. Empty when they do not lie in the data.
  std::span<const std::uint8_t> ValueBytes(const TTIFFEntry& entry) const;
  // The values of an integer field (bytes, shorts, longs, signed or not,
  // directory offsets), at most `limit` of them; empty for another type.
  std::vector<std::uint32_t> Integers(const TTIFFEntry& entry, std::size_t limit = SIZE_MAX) const;
  // The first value of a tag's integer field, or fallback when the tag is
  // absent or holds no integer.
  std::uint32_t Integer(std::uint16_t tag, std::uint32_t fallback) const;
  // Every value of a tag's integer field (empty when absent).
  std::vector<std::uint32_t> IntegerArray(std::uint16_t tag) const;
  // The values of a numeric field (integers, rationals, floats, doubles)
  // as numbers, at most `limit`; empty when absent or not numeric.
  std::vector<double> Numbers(std::uint16_t tag, std::size_t limit = SIZE_MAX) const;
  double Number(std::uint16_t tag, double fallback) const;

  std::uint16_t U16(const std::uint8_t* p) const;
  std::uint32_t U32(const std::uint8_t* p) const;

 private:
  std::span<const std::uint8_t> data_;
  bool bigEndian_ = false;
  std::uint16_t version_ = 0;
  std::uint32_t firstIFD_ = 0;
  std::vector<TTIFFEntry> entries_;
};
