#pragma once
// Skin packages. A package is a packed stream (the unpacked size as a
// signed 32-bit little-endian number, then the LZHUF body) of a
// container:
//
//   offset 0    version, int32 LE, 20000
//          4    L, the length of the name list, int32 LE
//          8    two int32 fields the reader does not interpret
//          16   the name list: L bytes, names separated by CR LF
//          16+L one int32 LE size per name, in name order
//          then the entries' bytes, in name order, without padding
//
// Names are lower-cased (ASCII) on loading, so lookups ignore case.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "core/streams.h"
#include "core/strings.h"

inline constexpr std::int32_t SkinContainerVersion = 20000;
inline constexpr int SkinContainerHeaderSize = 16;
// A package holds at most this many entries.
inline constexpr int MaxSkinEntries = 1001;
// The largest unpacked size believed; the stored packages unpack to well
// under a megabyte.
inline constexpr std::int64_t MaxSkinUnpackedSize = std::int64_t{64} << 20;

inline constexpr const char* OlderSkinMessage = "This is Older Skin File\rPlease update to new version !";

class TSkinReader {
 public:
  TSkinReader();

  // Unpacks the packed stream that starts at position 0 of source into
  // target (from its position 0). A size field below 0 or above
  // MaxSkinUnpackedSize, or a body that runs out before the size is
  // reached, raises ElzhException.
  static void UnpackStream(TStream& source, TStream& target);

  // Unpacks and parses a package. False, with the reader unchanged, for
  // a package that does not unpack or whose container is not sound; a
  // container of another version also shows OlderSkinMessage.
  bool LoadFromStream(TStream& source);
  // Parses unpacked container bytes (as LoadFromStream does after
  // unpacking). Every length, count and size is checked against what is
  // there; False, with the reader unchanged, for anything that does not
  // fit. A final line break of the name list ends the last name; it does
  // not add an empty one.
  bool LoadFromContainer(std::span<const std::uint8_t> bytes);

  // Clears target, then copies the entry whose name equals name
  // (lower-cased) into it and rewinds it; no match leaves it empty.
  void ExtractByName(const std::string& name, TMemoryStream& target) const;
  // Clears target, then copies the first entry whose name contains part
  // (as given: only lower-case parts can match) and rewinds it; entryName
  // takes that entry's name. No match leaves target empty and entryName
  // unchanged.
  void ExtractFirstContaining(const std::string& part, TMemoryStream& target, std::string& entryName) const;

  const TStringList& Names() const { return names_; }
  int Count() const { return names_.Count(); }
  std::int32_t EntrySize(int index) const { return sizes_.at(static_cast<std::size_t>(index)); }
  // The 16-byte header as read: version, L and the two other fields.
  const std::int32_t* Header() const { return header_; }

  // Shows the message of a package of another version. By default a
  // plain message box (ShowMsg); tests and fuzzing replace it.
  std::function<void(const std::string&)> OnMessage;

 private:
  void CopyEntry(int index, TMemoryStream& target) const;

  TStringList names_;
  std::vector<std::int32_t> sizes_;
  std::vector<std::int64_t> offsets_;
  TMemoryStream data_;
  std::int32_t header_[4] = {0, 0, 0, 0};
};
