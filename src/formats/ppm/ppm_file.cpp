#include "formats/ppm/ppm_file.h"

#include <algorithm>
#include <cstring>

#include "core/streams.h"
#include "formats/common/reader_graphic.h"
#include "formats/common/reader_texts.h"

namespace {

bool IsDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }

}  // namespace

void TPPMSource::Start(TStream& stream) {
  stream_ = &stream;
  ResetBuffer();
}

std::uint8_t TPPMSource::GetByte() {
  std::uint8_t v;
  if (!PeekByte(v)) RaiseInvalidGraphicFmt(readertext::StreamReadError, {"PPM"});
  ++index_;
  return v;
}

bool TPPMSource::PeekByte(std::uint8_t& value) {
  if (index_ >= count_) {
    const std::int64_t got = stream_->Read(buffer_.data(), kBufferSize);
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

void TPPMSource::ReadBlock(std::uint8_t* dest, std::size_t count) {
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

std::int64_t TPPMSource::BytesLeft() {
  return static_cast<std::int64_t>(count_ - std::min(index_, count_)) + std::max<std::int64_t>(stream_->Remaining(), 0);
}

std::string TPPMSource::ReadLine() {
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

std::uint8_t TPPMSource::NextDigit() {
  std::uint8_t c = GetByte();
  while (!IsDigit(c)) {
    if (c == '#') {
      while (c != '\n' && c != '\r') c = GetByte();
    }
    c = GetByte();
  }
  return c;
}

std::uint32_t TPPMSource::ReadNumber() {
  std::uint8_t c = NextDigit();
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

std::uint8_t TPPMSource::ReadBit() { return static_cast<std::uint8_t>((NextDigit() - '0') & 1); }

std::optional<TPPMHeader> ReadPPMHeader(TPPMSource& source) {
  const std::string first = source.ReadLine();
  if (first.size() < 2 || first[0] != 'P' || first[1] < '1' || first[1] > '6') return std::nullopt;
  TPPMHeader h;
  h.Type = first[1] - '0';
  h.Width = source.ReadNumber();
  h.Height = source.ReadNumber();
  h.MaxValue = h.Bitmap() ? 1 : source.ReadNumber();
  return h;
}
