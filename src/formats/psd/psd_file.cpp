#include "formats/psd/psd_file.h"

#include <vector>

#include "core/streams.h"
#include "formats/common/byte_order.h"
#include "formats/common/decode_limits.h"

std::optional<TPSDHeader> ParsePSDHeader(std::span<const std::uint8_t> b) {
  if (b.size() < kPSDHeaderSize || b[0] != '8' || b[1] != 'B' || b[2] != 'P' || b[3] != 'S') return std::nullopt;
  TPSDHeader h;
  h.Version = GetU16BE(&b[4]);
  h.Channels = GetU16BE(&b[12]);
  h.Height = GetU32BE(&b[14]);
  h.Width = GetU32BE(&b[18]);
  h.Depth = GetU16BE(&b[22]);
  h.Mode = GetU16BE(&b[24]);
  return h;
}

std::uint16_t PeekPSDCompression(TStream& stream, const std::string& formatName) {
  std::uint16_t compression = 0;
  const std::int64_t after = stream.Position();
  for (int section = 0; section < 3; ++section) {
    const std::vector<std::uint8_t> length = ReadStreamBytesUpTo(stream, 4, formatName);
    if (length.size() < 4) break;
    stream.Seek(GetU32BE(length.data()), TSeekOrigin::soCurrent);
    if (section == 2) {
      const std::vector<std::uint8_t> code = ReadStreamBytesUpTo(stream, 2, formatName);
      if (code.size() == 2) compression = GetU16BE(code.data());
    }
  }
  stream.SetPosition(after);
  return compression;
}

TPSDSections ReadPSDSections(TByteReader<EInvalidGraphic>& in) {
  TPSDSections s;
  s.ModeData = in.Bytes(in.U32BE());
  in.Skip(in.U32BE());  // image resources
  in.Skip(in.U32BE());  // layers and masks
  s.Compression = in.U16BE();
  return s;
}

int TPSDHeader::Planes() const {
  switch (Mode) {
    case psdBitmap:
    case psdGrayscale:
    case psdDuotone:
    case psdIndexed: return 1;
    case psdRGB:
    case psdMultichannel: return Channels >= 4 ? 4 : Channels == 3 ? 3 : 0;
    case psdCMYK: return Channels >= 4 ? 4 : 0;
    case psdLab: return Channels >= 3 ? 3 : 0;
    default: return 0;
  }
}

bool TPSDHeader::DepthFits() const {
  return Mode == psdBitmap ? Depth == 1 : (Depth == 8 || (Depth == 16 && Mode != psdIndexed));
}
