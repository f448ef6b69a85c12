#include "skin/package/skin_reader.h"

#include <algorithm>

#include "app/routines.h"
#include "core/byte_reader.h"
#include "skin/package/lzh.h"

namespace {

// Bad containers are told apart from good ones here; nothing reaches the
// caller but False.
struct EBadContainer : Exception {
  using Exception::Exception;
};

}  // namespace

TSkinReader::TSkinReader() {
  OnMessage = [](const std::string& text) { ShowMsg(text, mkInformation, ""); };
}

void TSkinReader::UnpackStream(TStream& source, TStream& target) {
  source.SetPosition(0);
  target.SetPosition(0);
  // A source too short for the size field unpacks to nothing.
  std::uint8_t b[4] = {0, 0, 0, 0};
  if (source.Read(b, 4) != 4) std::fill(std::begin(b), std::end(b), 0);
  const std::int64_t unpacked =
      static_cast<std::int32_t>(static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
                                (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24));
  if (unpacked < 0 || unpacked > MaxSkinUnpackedSize) {
    throw ElzhException("LZH : The unpacked size " + std::to_string(unpacked) + " is not believable");
  }
  TLZH decoder(source, target);
  decoder.Decode(unpacked);
}

bool TSkinReader::LoadFromStream(TStream& source) {
  TMemoryStream unpacked;
  try {
    UnpackStream(source, unpacked);
  } catch (const Exception&) {
    return false;
  }
  return LoadFromContainer(unpacked.Bytes());
}

bool TSkinReader::LoadFromContainer(std::span<const std::uint8_t> bytes) {
  TByteReader<EBadContainer> in(bytes, "bad skin container");
  std::int32_t header[4];
  std::vector<std::int32_t> sizes;
  std::vector<std::int64_t> offsets;
  TStringList names;
  std::span<const std::uint8_t> data;
  try {
    if (in.Remaining() < SkinContainerHeaderSize) {
      // Too short to hold a version: as good as another version.
      OnMessage(OlderSkinMessage);
      return false;
    }
    for (std::int32_t& field : header) field = in.I32LE();
    if (header[0] != SkinContainerVersion) {
      OnMessage(OlderSkinMessage);
      return false;
    }
    if (header[1] < 0) return false;
    const auto list = in.Bytes(static_cast<std::uint64_t>(header[1]));
    names.SetText(LowerCase(std::string_view(reinterpret_cast<const char*>(list.data()), list.size())));
    if (names.Count() > MaxSkinEntries) return false;
    in.Need(static_cast<std::uint64_t>(names.Count()) * 4);
    std::int64_t total = 0;
    for (int i = 0; i < names.Count(); ++i) {
      const std::int32_t size = in.I32LE();
      if (size < 0) return false;
      offsets.push_back(total);
      sizes.push_back(size);
      total += size;
    }
    if (static_cast<std::uint64_t>(total) > in.Remaining()) return false;
    data = in.Bytes(in.Remaining());
  } catch (const EBadContainer&) {
    return false;
  }
  names_ = std::move(names);
  sizes_ = std::move(sizes);
  offsets_ = std::move(offsets);
  data_.Clear();
  data_.WriteBuffer(data);
  std::copy(std::begin(header), std::end(header), header_);
  return true;
}

void TSkinReader::CopyEntry(int index, TMemoryStream& target) const {
  const auto i = static_cast<std::size_t>(index);
  const std::uint8_t* from = data_.Bytes().data() + offsets_[i];
  target.WriteBuffer(from, sizes_[i]);
  target.SetPosition(0);
}

void TSkinReader::ExtractByName(const std::string& name, TMemoryStream& target) const {
  target.Clear();
  const std::string wanted = LowerCase(name);
  for (int i = 0; i < names_.Count(); ++i) {
    if (names_[i] == wanted) {
      CopyEntry(i, target);
      return;
    }
  }
}

void TSkinReader::ExtractFirstContaining(const std::string& part, TMemoryStream& target,
                                         std::string& entryName) const {
  target.Clear();
  for (int i = 0; i < names_.Count(); ++i) {
    if (names_[i].find(part) != std::string::npos) {
      CopyEntry(i, target);
      entryName = names_[i];
      return;
    }
  }
}
