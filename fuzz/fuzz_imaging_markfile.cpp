// Mark files from untrusted bytes. Loading either fails with the mark
// file's own error or the BMP reader's, leaving the caller's record and
// pictures as they were, or gives a mark that saves and loads back with
// the same record and pixels.
//
// Input byte 0 chooses how the rest is used: even, as a whole mark file;
// odd, as the fields that place the embedded pictures (seven 32-bit
// lengths and offsets) followed by the payload after the record, which the
// harness packs itself, so that the fuzzer reaches the offset checks and
// the BMP reader instead of stopping in zlib.
//
// The record is 134,214 bytes, nearly all of them a reserved tail of
// zeros; the harness never holds it in one piece, so that an input costs
// what its pictures cost and not a record's worth of fresh memory.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "app/routines.h"
#include "core/bitmap.h"
#include "core/exceptions.h"
#include "core/zlib_stream.h"
#include "imaging/mark.h"

namespace {

std::uint32_t Le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// An unpacked payload: the record and the bytes after it.
struct TPayload {
  TMarkInfo record;
  std::vector<std::uint8_t> rest;

  std::uint64_t Size() const { return TMarkInfo::Size + rest.size(); }
  // n bytes from offset, zeros past the end.
  void Read(std::uint64_t offset, std::uint8_t* to, std::size_t n) const {
    std::memset(to, 0, n);
    for (std::size_t i = 0; i < n && offset + i < Size(); ++i) {
      const std::uint64_t at = offset + i;
      to[i] = at < TMarkInfo::Size ? record.U8(static_cast<std::size_t>(at)) : rest[at - TMarkInfo::Size];
    }
  }
};

// A BMP stream whose header asks for more than a small picture decodes
// correctly and slowly, and is packed again by the round trip; it only
// costs the fuzzer time and memory. The size checks themselves are
// reached by headers beyond the pixel cap, which still run.
bool TooLarge(const TPayload& payload, std::uint64_t offset, std::uint64_t length) {
  const std::uint64_t size = payload.Size();
  if (length < 26 || offset > size || length > size - offset) return false;
  std::uint8_t dib[12];
  payload.Read(offset + 14, dib, sizeof dib);
  std::int64_t w, h;
  if (Le32(dib) == 12) {
    w = dib[4] | dib[5] << 8;
    h = dib[6] | dib[7] << 8;
  } else {
    w = static_cast<std::int32_t>(Le32(dib + 4));
    h = static_cast<std::int32_t>(Le32(dib + 8));
  }
  if (h < 0) h = -h;
  return w > 0 && WithinPixelCap(w, h) && w * h > (std::int64_t{1} << 16);
}

bool SkipSlow(const TPayload& payload) {
  const TMarkInfo& r = payload.record;
  return TooLarge(payload, TMarkInfo::Size, r.PictureLength()) ||
         TooLarge(payload, r.BackgroundOffset(), r.BackgroundLength()) ||
         TooLarge(payload, r.FrameOffset(), r.FrameLength()) || TooLarge(payload, r.MaskOffset(), r.MaskLength());
}

bool Unpack(std::span<const std::uint8_t> file, TPayload& payload) {
  std::uint64_t size = 0;
  const bool ok = UnpackBytes(file, [&](std::uint64_t offset, std::span<const std::uint8_t> piece) {
    size = offset + piece.size();
    if (offset < TMarkInfo::Size) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), TMarkInfo::Size - offset));
      payload.record.SetRaw(static_cast<std::size_t>(offset), piece.first(n));
      piece = piece.subspan(n);
    }
    payload.rest.insert(payload.rest.end(), piece.begin(), piece.end());
  });
  return ok && size >= TMarkInfo::Size;
}

// What a failed load must leave: the record as the harness set it.
const TMarkInfo& UntouchedRecord() {
  static const TMarkInfo record = [] {
    TMarkInfo r;
    InitMarkInfo(r);
    r.SetAnchor(9);
    return r;
  }();
  return record;
}

bool SamePixels(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  const std::size_t bytes = static_cast<std::size_t>(a.Width()) * 3;
  for (int y = 0; y < a.Height(); ++y) {
    if (std::memcmp(a.ScanLine(y), b.ScanLine(y), bytes) != 0) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  std::vector<std::uint8_t> file;
  if ((data[0] & 1) == 0) {
    file.assign(data + 1, data + size);
    TPayload payload;
    if (Unpack(file, payload) && SkipSlow(payload)) return 0;
  } else {
    if (size < 1 + 28) return 0;
    TPayload payload;
    InitMarkInfo(payload.record);
    payload.record.SetPictureType(".bmp");
    const std::size_t fields[] = {TMarkInfo::oPictureLength, TMarkInfo::oBackgroundLength,
                                  TMarkInfo::oBackgroundOffset, TMarkInfo::oFrameLength,
                                  TMarkInfo::oFrameOffset, TMarkInfo::oMaskLength, TMarkInfo::oMaskOffset};
    for (int i = 0; i < 7; ++i) payload.record.SetU32(fields[i], Le32(data + 1 + 4 * i));
    payload.rest.assign(data + 29, data + size);
    if (SkipSlow(payload)) return 0;
    const auto record = payload.record.Pieces();
    const std::span<const std::uint8_t> pieces[] = {record[0], record[1], payload.rest};
    // One zlib state for the whole run: starting zlib afresh for every
    // input costs more than the rest of the input does.
    static TZlibStream deflater(TZlibStream::zdDeflate, Z_BEST_SPEED);
    file = PackBytes(deflater, pieces);
  }

  TMark marks;
  marks.AddMark("");
  TMarkInfo& record = marks.Records[0];
  record.SetAnchor(9);  // a value loading must not leave behind on failure
  const TMarkInfo& before = UntouchedRecord();
  try {
    TMark::LoadMarkData(file, record, &marks.Masks[0], &marks.Frames[0], &marks.Backgrounds[0],
                        &marks.MarkPictures[0]);
  } catch (const EMarkFileError&) {
    if (!(record == before) || !marks.MarkPictures[0].Empty() || !marks.Masks[0].Empty()) std::abort();
    return 0;
  } catch (const EInvalidGraphic&) {
    if (!(record == before) || !marks.MarkPictures[0].Empty() || !marks.Masks[0].Empty()) std::abort();
    return 0;
  } catch (const EOutOfResources&) {
    return 0;
  }

  // Whatever loaded saves and loads back unchanged.
  for (TBitmap* b : {&marks.MarkPictures[0], &marks.Backgrounds[0], &marks.Frames[0], &marks.Masks[0]}) {
    if (!b->Empty() && b->PixelFormat() != pf24bit) std::abort();
  }
  const std::vector<std::uint8_t> saved = marks.BuildMarkFile(0);
  TMark back;
  back.AddMark("");
  TMark::LoadMarkData(saved, back.Records[0], &back.Masks[0], &back.Frames[0], &back.Backgrounds[0],
                      &back.MarkPictures[0]);
  if (!(back.Records[0] == marks.Records[0])) std::abort();
  if (!marks.Records[0].PictureType().empty()) {
    if (!SamePixels(back.MarkPictures[0], marks.MarkPictures[0]) ||
        !SamePixels(back.Backgrounds[0], marks.Backgrounds[0]) || !SamePixels(back.Frames[0], marks.Frames[0]) ||
        !SamePixels(back.Masks[0], marks.Masks[0])) {
      std::abort();
    }
  }
  return 0;
}
