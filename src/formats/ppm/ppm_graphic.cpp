#include "formats/ppm/ppm_graphic.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "core/exceptions.h"
#include "core/streams.h"
#include "formats/common/decode_limits.h"
#include "formats/common/reader_steps.h"
#include "formats/common/reader_texts.h"
#include "formats/reader_classes.h"

namespace {

const std::string kFormat = "PBM, PGM or PPM";

bool IsDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }

}  // namespace

const TGraphicClass& TPPMGraphic::StaticClass() {
  static const TGraphicClass graphicClass{"TPPMGraphic", [] { return std::unique_ptr<TGraphic>(new TPPMGraphic); }};
  return graphicClass;
}

const TGraphicClass& PPMGraphicClass() { return TPPMGraphic::StaticClass(); }

bool TPPMGraphic::ProbeStream(TStream& stream) const {
  std::uint8_t magic[2];
  if (stream.Read(magic, 2) != 2) return false;
  return magic[0] == 'P' && magic[1] >= '1' && magic[1] <= '6';
}

std::uint8_t TPPMGraphic::GetByte() {
  std::uint8_t v;
  if (!PeekByte(v)) RaiseInvalidGraphicFmt(readertext::StreamReadError, {"PPM"});
  ++index_;
  return v;
}

bool TPPMGraphic::PeekByte(std::uint8_t& value) {
  if (index_ >= count_) {
    const std::int64_t got = source_->Read(buffer_.data(), kBufferSize);
    if (got <= 0) {
      ResetBuffer();
      return false;
    }
    count_ = static_cast<std::size_t>(got);
    index_ = 0;
  }
  value = buffer_[index_];
  return true;
}

void TPPMGraphic::ReadBlock(std::uint8_t* dest, std::size_t count) {
  while (count > 0) {
    std::uint8_t first;
    if (!PeekByte(first)) RaiseInvalidGraphicFmt(readertext::StreamReadError, {"PPM"});
    const std::size_t n = std::min(count, count_ - index_);
    std::memcpy(dest, buffer_.data() + index_, n);
    index_ += n;
    dest += n;
    count -= n;
  }
}

std::int64_t TPPMGraphic::BytesLeft() {
  return static_cast<std::int64_t>(count_ - std::min(index_, count_)) + std::max<std::int64_t>(source_->Remaining(), 0);
}

std::string TPPMGraphic::ReadLine() {
  std::string line;
  bool comment = false;
  for (;;) {
    const std::uint8_t c = GetByte();
    if (c == '\n') break;
    if (c == '\r') {
      std::uint8_t next;
      if (PeekByte(next) && next == '\n') ++index_;
      break;
    }
    if (c == '#') comment = true;
    if (!comment) line.push_back(static_cast<char>(c));
  }
  return line;
}

std::uint32_t TPPMGraphic::ReadNumber() {
  std::uint8_t c = GetByte();
  while (!IsDigit(c)) {
    if (c == '#') {
      while (c != '\n' && c != '\r') c = GetByte();
    }
    c = GetByte();
  }
  std::uint64_t value = 0;
  for (;;) {
    // Numbers beyond any picture's size stop growing, so they cannot wrap.
    value = std::min<std::uint64_t>(value * 10 + (c - '0'), 0xFFFFFFFFu);
    // The character after the digits is used up; a file may end right
    // after its last number.
    if (!PeekByte(c)) break;
    ++index_;
    if (!IsDigit(c)) break;
  }
  return static_cast<std::uint32_t>(value);
}

std::uint8_t TPPMGraphic::ReadBit() {
  std::uint8_t c = GetByte();
  while (!IsDigit(c)) {
    if (c == '#') {
      while (c != '\n' && c != '\r') c = GetByte();
    }
    c = GetByte();
  }
  return static_cast<std::uint8_t>((c - '0') & 1);
}

bool TPPMGraphic::ReadImageHeader(TStream& stream, int imageIndex) {
  TReaderGraphic::ReadImageHeader(stream, imageIndex);
  source_ = &stream;
  ResetBuffer();
  const std::string first = ReadLine();
  if (first.size() < 2 || first[0] != 'P' || first[1] < '1' || first[1] > '6') return false;
  type_ = first[1] - '0';
  TImageProperties& p = ImageProperties();
  p.Width = ReadNumber();
  p.Height = ReadNumber();
  maxValue_ = (type_ == 1 || type_ == 4) ? 1 : ReadNumber();
  // Raw samples of a maximum above 255 take two bytes each.
  const int bits = (type_ == 5 || type_ == 6) && maxValue_ > 255 ? 16 : 8;
  if (type_ == 1 || type_ == 4) {
    SetImageLayout(p, TColorScheme::Indexed, 1, 1, TCompressionType::None);
  } else if (type_ == 2 || type_ == 5) {
    SetImageLayout(p, TColorScheme::Indexed, bits, 1, TCompressionType::None);
  } else {
    SetImageLayout(p, TColorScheme::RGB, bits, 3, TCompressionType::None);
  }
  return true;
}

void TPPMGraphic::LoadFromStream(TStream& stream) {
  BeginLoad(stream);
  if (!ReadImageHeader(stream, 0)) RaiseInvalidFormat(kFormat);
  stream.SetPosition(BasePosition());
  const TImageProperties& p = ImageProperties();
  const int width = static_cast<int>(std::min<std::uint32_t>(p.Width, 0x7FFFFFFF));
  const int height = static_cast<int>(std::min<std::uint32_t>(p.Height, 0x7FFFFFFF));
  CheckPictureSize(p.Width, p.Height, kFormat);
  // Raw samples take one byte up to a maximum of 255, two (most
  // significant first) up to 65535; a larger maximum is no portable map.
  if ((type_ == 5 || type_ == 6) && maxValue_ > 65535) RaiseInvalidFormat(kFormat);
  const std::int64_t sampleBytes = p.BitsPerSample == 16 ? 2 : 1;

  ProgressStart(readertext::Transfering, width);
  // The header once more, from the base position, to reach the pixels.
  ReadImageHeader(stream, 0);
  const std::int64_t samples = static_cast<std::int64_t>(width) * p.SamplesPerPixel;
  const std::int64_t rowBytes = type_ == 1 || type_ == 4 ? (width + 7) / 8 : samples;
  // Every pixel or sample takes at least one byte of the file.
  CheckPackedData(BytesLeft(), (type_ == 1 ? width : rowBytes * sampleBytes) * static_cast<std::int64_t>(height), 1,
                  kFormat);

  TColorManager& cm = ColorManager();
  cm.SetSourceBitsPerSample(p.BitsPerSample);
  cm.SetTargetBitsPerSample(p.BitsPerSample == 16 ? 8 : p.BitsPerSample);
  cm.SetSourceSamplesPerPixel(p.SamplesPerPixel);
  cm.SetTargetSamplesPerPixel(p.SamplesPerPixel);
  const TPixelFormat format = type_ == 1 || type_ == 4 ? pf1bit : type_ == 2 || type_ == 5 ? pf8bit : pf24bit;
  SetSizeForDecoding(width, height, format);
  if (format != pf24bit) SetPalette(cm.CreateGrayscalePalette(format == pf1bit));

  // A row of two-byte samples, of which the high bytes are kept, as
  // samples of one byte are taken as they stand.
  std::vector<std::uint8_t> wide(sampleBytes == 2 ? static_cast<std::size_t>(samples) * 2 : 0);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = ScanLine(y);
    switch (type_) {
      case 1: {
        std::memset(row, 0, static_cast<std::size_t>(rowBytes));
        for (int x = 0; x < width; ++x) row[x / 8] |= static_cast<std::uint8_t>(ReadBit() << (7 - x % 8));
        break;
      }
      case 2:
      case 3:
        for (std::int64_t i = 0; i < samples; ++i) {
          const std::uint32_t v = ReadNumber();
          if (v > 255) throw ERangeError("A sample of the portable map lies above 255");
          row[i] = static_cast<std::uint8_t>(v);
        }
        break;
      default:
        if (wide.empty()) {
          ReadBlock(row, static_cast<std::size_t>(rowBytes));
        } else {
          ReadBlock(wide.data(), wide.size());
          for (std::int64_t i = 0; i < samples; ++i) row[i] = wide[static_cast<std::size_t>(2 * i)];
        }
        break;
    }
    if (type_ == 3 || type_ == 6) {
      for (std::int64_t x = 0; x < samples; x += 3) std::swap(row[x], row[x + 2]);
    }
    ProgressRow(y, height);
  }
  ProgressEnd();
  source_ = nullptr;
}
