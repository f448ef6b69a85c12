// The mark record, mark files and the mark set's bookkeeping.

#include "imaging/mark.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "app/messages.h"
#include "app/routines.h"
#include "app/settings.h"
#include "core/bmp.h"
#include "core/byte_reader.h"
#include "core/byte_writer.h"
#include "core/files.h"
#include "core/streams.h"

namespace {

constexpr std::size_t kTextPieceStride = 101;
constexpr std::size_t kTextPieceCapacity = 100;

[[noreturn]] void RaiseDamaged() {
  std::string text = GetMessageText(msg::MarkFileDamaged);
  if (text.empty()) text = "Message " + std::to_string(msg::MarkFileDamaged);
  throw EMarkFileError(text);
}

// The mark picture of a file must be usable as 24-bit rows at once.
void LoadPictureStream(std::span<const std::uint8_t> stream, TBitmap& into) {
  ReadBmp(stream, into);
  into.SetPixelFormat(pf24bit);
}

// The BMP file image of a picture, as 24 bits; none for an empty one.
std::vector<std::uint8_t> PictureStream(const TBitmap& picture) {
  if (picture.Empty()) return {};
  if (picture.PixelFormat() == pf24bit || picture.PixelFormat() == pfDevice) return WriteBmp(picture);
  TBitmap copy(picture);
  copy.SetPixelFormat(pf24bit);
  return WriteBmp(copy);
}

// A path holding a NUL, or a ".." step that could lead out of its folder.
bool UnsafePath(std::string_view path) {
  if (path.find('\0') != std::string_view::npos) return true;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    if (path.substr(start, end - start) == "..") return true;
    start = end + 1;
  }
  return false;
}

// A mark file must not lead out of its folder, and its name part is a
// mark name.
bool IsMarkFilePath(const std::string& fileName) {
  return !UnsafePath(fileName) && IsPlainMarkName(ExtractFileNameNoExt(ExtractFileName(fileName)));
}

}  // namespace

// ---------------------------------------------------------------------------
// TMarkInfo

TMarkInfo::TMarkInfo() : head_(kHeadSize, 0) {}

TMarkInfo::TMarkInfo(std::span<const std::uint8_t> bytes) : TMarkInfo() { SetBytes(bytes); }

void TMarkInfo::SetBytes(std::span<const std::uint8_t> bytes) {
  if (bytes.size() != Size) throw ERangeError("A mark record has " + std::to_string(Size) + " bytes");
  tail_.clear();
  SetRaw(0, bytes);
}

std::vector<std::uint8_t> TMarkInfo::Bytes() const {
  std::vector<std::uint8_t> out;
  out.reserve(Size);
  for (std::span<const std::uint8_t> piece : Pieces()) out.insert(out.end(), piece.begin(), piece.end());
  return out;
}

// The reserved tail's worth of zero bytes.
const std::uint8_t* TMarkInfo::Zeros() {
  static const std::array<std::uint8_t, kTailSize> zeros{};
  return zeros.data();
}

// Whether bytes (at most a tail long) are all zero; one comparison of
// memory, as the tail is nearly the whole record.
bool TMarkInfo::AllZero(std::span<const std::uint8_t> bytes) {
  return bytes.empty() || std::memcmp(bytes.data(), Zeros(), bytes.size()) == 0;
}

std::array<std::span<const std::uint8_t>, 2> TMarkInfo::Pieces() const {
  return {std::span<const std::uint8_t>(head_),
          tail_.empty() ? std::span<const std::uint8_t>(Zeros(), kTailSize) : std::span<const std::uint8_t>(tail_)};
}

void TMarkInfo::SetRaw(std::size_t offset, std::span<const std::uint8_t> bytes) {
  Check(offset, bytes.size());
  if (offset < kHeadSize) {
    const std::size_t n = std::min(bytes.size(), kHeadSize - offset);
    std::memcpy(head_.data() + offset, bytes.data(), n);
    bytes = bytes.subspan(n);
    offset = kHeadSize;
  }
  if (bytes.empty()) return;
  if (tail_.empty()) {
    if (AllZero(bytes)) return;
    tail_.assign(kTailSize, 0);
  }
  std::memcpy(tail_.data() + (offset - kHeadSize), bytes.data(), bytes.size());
}

void TMarkInfo::Get(std::size_t offset, std::size_t size, std::uint8_t* to) const {
  Check(offset, size);
  if (offset < kHeadSize) {
    const std::size_t n = std::min(size, kHeadSize - offset);
    std::memcpy(to, head_.data() + offset, n);
    to += n;
    size -= n;
    offset = kHeadSize;
  }
  if (size == 0) return;
  if (tail_.empty()) {
    std::memset(to, 0, size);
  } else {
    std::memcpy(to, tail_.data() + (offset - kHeadSize), size);
  }
}

bool TMarkInfo::TailIsZero() const {
  return AllZero(tail_);
}

bool operator==(const TMarkInfo& a, const TMarkInfo& b) {
  if (a.head_ != b.head_) return false;
  if (a.tail_.empty() || b.tail_.empty()) return a.TailIsZero() && b.TailIsZero();
  return a.tail_ == b.tail_;
}

void TMarkInfo::Check(std::size_t offset, std::size_t size) const {
  if (offset > Size || size > Size - offset) throw ERangeError("Mark record offset out of range");
}

std::uint8_t TMarkInfo::U8(std::size_t offset) const {
  std::uint8_t b;
  Get(offset, 1, &b);
  return b;
}

std::uint16_t TMarkInfo::U16(std::size_t offset) const {
  std::uint8_t b[2];
  Get(offset, 2, b);
  return TByteReader<ERangeError>(b, "").U16LE();
}

std::uint32_t TMarkInfo::U32(std::size_t offset) const {
  std::uint8_t b[4];
  Get(offset, 4, b);
  return TByteReader<ERangeError>(b, "").U32LE();
}

float TMarkInfo::F32(std::size_t offset) const { return std::bit_cast<float>(U32(offset)); }

std::string TMarkInfo::ShortString(std::size_t offset, std::size_t capacity) const {
  Check(offset, capacity + 1);
  std::string text(capacity + 1, '\0');
  Get(offset, capacity + 1, reinterpret_cast<std::uint8_t*>(text.data()));
  const std::size_t length = std::min<std::size_t>(static_cast<std::uint8_t>(text[0]), capacity);
  return text.substr(1, length);
}

void TMarkInfo::SetU8(std::size_t offset, std::uint8_t v) { SetRaw(offset, {&v, 1}); }

void TMarkInfo::SetU16(std::size_t offset, std::uint16_t v) {
  std::uint8_t b[2];
  TByteWriter(b).U16LE(v);
  SetRaw(offset, b);
}

void TMarkInfo::SetU32(std::size_t offset, std::uint32_t v) {
  std::uint8_t b[4];
  TByteWriter(b).U32LE(v);
  SetRaw(offset, b);
}

void TMarkInfo::SetF32(std::size_t offset, float v) { SetU32(offset, std::bit_cast<std::uint32_t>(v)); }

void TMarkInfo::SetShortString(std::size_t offset, std::size_t capacity, std::string_view text) {
  Check(offset, capacity + 1);
  const std::string cut = Utf8Prefix(text, capacity);
  SetU8(offset, static_cast<std::uint8_t>(cut.size()));
  SetRaw(offset + 1, {reinterpret_cast<const std::uint8_t*>(cut.data()), cut.size()});
}

std::string TMarkInfo::TextPiece(int index) const {
  if (index < 0 || index >= TextPieces) throw ERangeError("Text piece index out of range");
  return ShortString(oTextPieces + kTextPieceStride * static_cast<std::size_t>(index), kTextPieceCapacity);
}

void TMarkInfo::SetTextPiece(int index, std::string_view s) {
  if (index < 0 || index >= TextPieces) throw ERangeError("Text piece index out of range");
  SetShortString(oTextPieces + kTextPieceStride * static_cast<std::size_t>(index), kTextPieceCapacity, s);
}

void TMarkInfo::SetRotateBackColor(TColor c) {
  SetU8(oRotateBackRed, static_cast<std::uint8_t>(GetRValue(c)));
  SetU8(oRotateBackGreen, static_cast<std::uint8_t>(GetGValue(c)));
  SetU8(oRotateBackBlue, static_cast<std::uint8_t>(GetBValue(c)));
}

TRect TMarkInfo::MaskRect() const {
  return TRect{I32(oMaskRect), I32(oMaskRect + 4), I32(oMaskRect + 8), I32(oMaskRect + 12)};
}

void TMarkInfo::SetMaskRect(const TRect& r) {
  SetI32(oMaskRect, r.Left);
  SetI32(oMaskRect + 4, r.Top);
  SetI32(oMaskRect + 8, r.Right);
  SetI32(oMaskRect + 12, r.Bottom);
}

void InitMarkInfo(TMarkInfo& record) {
  // A new record starts from zero bytes: every text empty, the reserved
  // areas (the short string at offset 11 included) zero.
  record = TMarkInfo();
  record.SetVersion("V3.09");
  record.SetName("mark1");
  record.SetFontName("Arial");
  record.SetFontColor(0);
  record.SetTextBackColor(clWhite);
  record.SetFontSize(9);
  record.SetKeyColor(clWhite);
  record.SetRotateBackColor(clWhite);
  record.SetResizeX(100);
  record.SetResizeY(100);
  record.SetSourceWidth(100);
  record.SetSourceHeight(100);
  record.SetSourceBackColor(clWhite);
  record.SetFrameWidthX(5);
  record.SetFrameWidthY(5);
  record.SetFrameColor(clWhite);
  record.SetColorContrast(50);
  record.SetBevelInner(0);
  record.SetBevelOuter(2);
  record.SetBevelWidth(1);
  record.SetSourceScale(100.0f);
}

bool IsPlainMarkName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

std::string GetMarkFileName(const std::string& name) {
  if (!IsPlainMarkName(name)) return "";
  const std::string folder = ProgramDir() + "spm";
  if (!DirectoryExists(folder) && !ForceDirectories(folder)) return "";
  return folder + "/" + name + ".spm";
}

// ---------------------------------------------------------------------------
// TMark

TMark::TMark() { Composite.SetPixelFormat(pf24bit); }

TMark::TMark(const TBitmap& picture) : Composite(picture) { Composite.SetPixelFormat(pf24bit); }

void TMark::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) throw ERangeError("Mark index out of range (" + std::to_string(index) + ")");
}

void TMark::AddMark(const std::string& fileName) {
  auto newPicture = [] {
    TBitmap b;
    b.SetPixelFormat(pf24bit);
    return b;
  };
  TMarkInfo record;
  InitMarkInfo(record);
  // Grow every list first, so that a failure leaves them all of one length.
  FileNames.Add(fileName);
  MarkPictures.push_back(newPicture());
  PristineMarks.push_back(newPicture());
  Backgrounds.push_back(newPicture());
  Frames.push_back(newPicture());
  Masks.push_back(newPicture());
  Records.push_back(std::move(record));
}

void TMark::AddMarkFiles(const std::vector<std::string>& files) {
  for (const std::string& f : files) AddMark(f);
}

void TMark::AddMarkFiles(const TStringList& files) {
  for (const std::string& f : files) AddMark(f);
}

void TMark::LoadMarks() {
  for (int i = 0; i < Count(); ++i) {
    const auto k = static_cast<std::size_t>(i);
    LoadMarkFile(FileNames[i], Records[k], &Masks[k], &Frames[k], &Backgrounds[k], &MarkPictures[k]);
    PristineMarks[k] = MarkPictures[k];
  }
}

void TMark::LoadMarkFile(const std::string& fileName, TMarkInfo& record, TBitmap* mask, TBitmap* frame,
                         TBitmap* background, TBitmap* picture) {
  if (fileName.empty() || !FileExists(fileName)) return;
  const std::vector<std::uint8_t> bytes = ReadFileBytes(fileName);
  LoadMarkData(bytes, record, mask, frame, background, picture);
}

void TMark::LoadMarkData(std::span<const std::uint8_t> fileBytes, TMarkInfo& record, TBitmap* mask,
                         TBitmap* frame, TBitmap* background, TBitmap* picture) {
  // The record is filled as the unpacked data arrive; what follows it (the
  // pictures) is kept. Everything is read into locals first and handed
  // over at the end, so a damaged file leaves the caller's mark as it was.
  TMarkInfo loaded;
  std::vector<std::uint8_t> rest;
  std::uint64_t size = 0;
  const bool unpacked = UnpackBytes(fileBytes, [&](std::uint64_t offset, std::span<const std::uint8_t> piece) {
    size = offset + piece.size();
    if (offset < TMarkInfo::Size) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), TMarkInfo::Size - offset));
      loaded.SetRaw(static_cast<std::size_t>(offset), piece.first(n));
      piece = piece.subspan(n);
    }
    rest.insert(rest.end(), piece.begin(), piece.end());
  });
  if (!unpacked || size < TMarkInfo::Size) RaiseDamaged();
  // The bytes of the unpacked data from offset on; a picture that starts
  // inside the record is read from a copy of both.
  std::vector<std::uint8_t> joined;
  auto bytesAt = [&](std::uint64_t offset, std::uint64_t length) -> std::span<const std::uint8_t> {
    if (offset >= TMarkInfo::Size) {
      return std::span<const std::uint8_t>(rest).subspan(static_cast<std::size_t>(offset - TMarkInfo::Size),
                                                         static_cast<std::size_t>(length));
    }
    if (joined.empty()) {
      joined = loaded.Bytes();
      joined.insert(joined.end(), rest.begin(), rest.end());
    }
    return std::span<const std::uint8_t>(joined).subspan(static_cast<std::size_t>(offset),
                                                         static_cast<std::size_t>(length));
  };
  struct TPart {
    TBitmap* target;
    std::uint64_t offset;
    std::uint64_t length;
    TBitmap result;
  };
  std::vector<TPart> parts;
  if (!loaded.PictureType().empty()) {
    parts.push_back({picture, TMarkInfo::Size, loaded.PictureLength(), {}});
    parts.push_back({background, loaded.BackgroundOffset(), loaded.BackgroundLength(), {}});
    parts.push_back({frame, loaded.FrameOffset(), loaded.FrameLength(), {}});
    parts.push_back({mask, loaded.MaskOffset(), loaded.MaskLength(), {}});
  }
  for (TPart& part : parts) {
    if (part.target == nullptr || part.length == 0) continue;
    // 64-bit: offset + length of two 32-bit fields cannot wrap.
    if (part.offset > size || part.length > size - part.offset) RaiseDamaged();
    LoadPictureStream(bytesAt(part.offset, part.length), part.result);
  }
  record = std::move(loaded);
  for (TPart& part : parts) {
    if (part.target != nullptr && part.length != 0) part.target->Assign(part.result);
  }
}

std::vector<std::uint8_t> TMark::BuildMarkFile(int index) {
  CheckIndex(index);
  const auto k = static_cast<std::size_t>(index);
  TMarkInfo& record = Records[k];
  const std::vector<std::uint8_t> pictureStream = PictureStream(MarkPictures[k]);
  const std::vector<std::uint8_t> backgroundStream = PictureStream(Backgrounds[k]);
  const std::vector<std::uint8_t> frameStream = PictureStream(Frames[k]);
  const std::vector<std::uint8_t> maskStream = PictureStream(Masks[k]);

  const std::uint64_t total = std::uint64_t{TMarkInfo::Size} + pictureStream.size() + backgroundStream.size() +
                              frameStream.size() + maskStream.size();
  // Offsets are 32-bit fields, and a reader takes no more than this.
  if (total > MaxUnpackedLength) throw ERangeError("The mark's pictures are too large for a mark file");

  TMarkInfo updated = record;
  updated.SetPictureLength(static_cast<std::uint32_t>(pictureStream.size()));
  std::uint64_t running = TMarkInfo::Size + pictureStream.size();
  // An absent picture has length 0 and keeps its old offset.
  auto place = [&](const std::vector<std::uint8_t>& stream, std::size_t lengthField, std::size_t offsetField) {
    updated.SetU32(lengthField, static_cast<std::uint32_t>(stream.size()));
    if (!stream.empty()) updated.SetU32(offsetField, static_cast<std::uint32_t>(running));
    running += stream.size();
  };
  place(backgroundStream, TMarkInfo::oBackgroundLength, TMarkInfo::oBackgroundOffset);
  place(frameStream, TMarkInfo::oFrameLength, TMarkInfo::oFrameOffset);
  place(maskStream, TMarkInfo::oMaskLength, TMarkInfo::oMaskOffset);

  const auto fields = updated.Pieces();
  const std::span<const std::uint8_t> payload[] = {fields[0],        fields[1],   pictureStream,
                                                   backgroundStream, frameStream, maskStream};
  std::vector<std::uint8_t> packed;
  try {
    packed = PackBytes(zcDefault, payload);
  } catch (const Exception&) {
    throw Exception("The mark file could not be packed");
  }
  record = std::move(updated);
  return packed;
}

void TMark::WriteMarkFile(int index, const std::string& fileName) {
  if (!IsMarkFilePath(fileName)) throw EFCreateError("Not a mark file name: " + fileName);
  WriteFileAtomic(fileName, BuildMarkFile(index));
}

bool TMark::SaveMarkFile(int index, const std::string& fileName) {
  // Packing failures are told by the result alone, writing failures by a
  // message too.
  const bool safeName = IsMarkFilePath(fileName);
  std::vector<std::uint8_t> bytes;
  if (safeName) {
    try {
      bytes = BuildMarkFile(index);
    } catch (const std::exception&) {
      return false;
    }
  }
  try {
    if (!safeName) throw EFCreateError("Not a mark file name: " + fileName);
    WriteFileAtomic(fileName, bytes);
    return true;
  } catch (const std::exception&) {
    ShowMsg(GetMessageText(msg::MarkFileNotWritten), mkInformation, SystemMessageCaption);
    return false;
  }
}

void TMark::RestoreMarkPictures() {
  for (std::size_t k = 0; k < MarkPictures.size() && k < PristineMarks.size(); ++k) {
    MarkPictures[k] = PristineMarks[k];
  }
}
