#include "formats/cut/cut_graphic.h"

#include <algorithm>
#include <filesystem>
#include <memory>

#include "core/exceptions.h"
#include "core/streams.h"
#include "formats/common/byte_order.h"
#include "formats/common/decode_limits.h"
#include "formats/common/reader_steps.h"
#include "formats/common/reader_texts.h"
#include "formats/cut/cut_file.h"

namespace {

// Far more than the 4 blocks 256 entries take.
constexpr std::int64_t kMaxPaletteFile = 64 * 1024;

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  });
  return s;
}

}  // namespace

std::string FindCUTPaletteFile(const std::string& cutFileName) {
  namespace fs = std::filesystem;
  const fs::path wanted = fs::path(cutFileName).replace_extension(".pal");
  std::error_code ec;
  if (fs::is_regular_file(wanted, ec)) return wanted.string();
  const fs::path folder = wanted.has_parent_path() ? wanted.parent_path() : fs::path(".");
  const std::string name = Lower(wanted.filename().string());
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (Lower(it->path().filename().string()) == name && it->is_regular_file(ec)) return it->path().string();
  }
  return wanted.string();
}

void TCUTGraphic::LoadFromFile(const std::string& fileName) {
  paletteFile_ = FindCUTPaletteFile(fileName);
  TReaderGraphic::LoadFromFile(fileName);
}

bool TCUTGraphic::ReadImageHeader(TStream& stream, int imageIndex) {
  TReaderGraphic::ReadImageHeader(stream, imageIndex);
  const std::vector<std::uint8_t> b = ReadStreamBytesUpTo(stream, kCUTHeaderSize, kFormatName);
  if (b.size() < kCUTHeaderSize) return false;
  TImageProperties& p = ImageProperties();
  p.Width = GetU16LE(&b[0]);
  p.Height = GetU16LE(&b[2]);
  SetImageLayout(p, TColorScheme::Indexed, 8, 1, TCompressionType::RLE);
  return true;
}

void TCUTGraphic::LoadPixels(TStream& stream) {
  const int width = static_cast<int>(ImageProperties().Width);
  const int height = static_cast<int>(ImageProperties().Height);
  ProgressStart(readertext::Transfering, width, 0);

  std::vector<TPaletteEntry> palette;
  std::unique_ptr<TFileStream> paletteStream;
  if (!paletteFile_.empty()) {
    try {
      paletteStream = std::make_unique<TFileStream>(paletteFile_, TFileMode::fmOpenRead);
    } catch (const EFOpenError&) {
      // No palette file: the grey ramp below.
    }
  }
  if (paletteStream) {
    palette = ReadCUTPalette(ReadStreamBytesUpTo(*paletteStream, kMaxPaletteFile, kFormatName));
  } else {
    for (int i = 0; i < 256; ++i) {
      palette.push_back({static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i), 0});
    }
  }

  const std::vector<std::uint8_t> data = ReadStreamRest(stream, kFormatName);
  std::span<const std::uint8_t> source = data;
  source = source.subspan(std::min(data.size(), kCUTHeaderSize));
  // Two packet bytes give at most 127 pixels.
  CheckPackedData(static_cast<std::int64_t>(source.size()), static_cast<std::int64_t>(width) * height, 64, kFormatName);
  SetSizeForDecoding(width, height, pf8bit);
  SetPalette(std::move(palette));
  TCUTRLEDecoder decoder;
  for (int y = 0; y < height; ++y) {
    std::span<std::uint8_t> dest(ScanLine(y), static_cast<std::size_t>(width));
    decoder.Decode(source, dest);
    if (!dest.empty()) RaiseInvalidImage(kFormatName);
    ProgressRow(y, height);
  }
  ProgressEnd();
}
