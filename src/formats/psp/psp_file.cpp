#include "formats/psp/psp_file.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char kSignature[] = "Paint Shop Pro Image File";
constexpr std::size_t kSignatureLength = sizeof kSignature - 1;  // 25

bool ReadFields(std::span<const std::uint8_t> data, TPSPHeader& h) {
  TPSPReader r(data, "");
  if (!IsPSPSignature(data)) return false;
  r.Skip(32);
  h.Version = r.U16LE();
  r.U16LE();  // minor
  TPSPBlock block;
  if (!ReadPSPBlock(r, h.Version, block) || block.Id != pspImage) return false;
  if (h.Version > 3) r.U32LE();  // the chunk's size
  if (r.Remaining() < 42) return false;
  h.Width = r.U32LE();
  h.Height = r.U32LE();
  r.Read(&h.Resolution, 8);
  h.Unit = r.U8();
  h.Compression = r.U16LE();
  h.Depth = r.U16LE();
  r.Skip(2 + 4);  // planes, colours
  h.Grey = r.U8() != 0;
  r.Seek(block.End);
  return h.Width != 0 && h.Height != 0;
}

}  // namespace

bool IsPSPSignature(std::span<const std::uint8_t> b) {
  return b.size() >= kPSPHeaderSize && std::memcmp(b.data(), kSignature, kSignatureLength) == 0 &&
         (b[32] | (b[33] << 8)) >= 3;
}

bool ReadPSPBlock(TPSPReader& reader, std::uint32_t version, TPSPBlock& block) {
  const std::uint64_t headerSize = version == 3 ? 14 : 10;
  if (reader.Remaining() < headerSize) return false;
  const std::uint8_t marker = reader.U8();
  reader.Skip(3);
  if (marker != '~') return false;
  block.Id = reader.U16LE();
  if (version == 3) reader.U32LE();  // the initial length
  const std::uint64_t length = reader.U32LE();
  block.Data = reader.Position();
  block.End = block.Data + std::min<std::uint64_t>(length, reader.Remaining());
  return true;
}

bool ParsePSPHeader(std::span<const std::uint8_t> data, TPSPHeader& header) {
  try {
    return ReadFields(data, header);
  } catch (const EInvalidGraphic&) {
    return false;  // a header cut short is not this format
  }
}
