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

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "app/routines.h"
#include "core/bitmap.h"
#include "core/exceptions.h"
#include "imaging/mark.h"

namespace {

std::uint32_t Le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// A BMP stream whose header asks for millions of pixels decodes correctly
// and slowly; it only costs the fuzzer time and memory.
bool TooLarge(std::span<const std::uint8_t> payload, std::uint64_t offset, std::uint64_t length) {
  if (length == 0 || offset > payload.size() || length > payload.size() - offset || length < 26) return false;
  const std::uint8_t* dib = payload.data() + offset + 14;
  std::int64_t w, h;
  if (Le32(dib) == 12) {
    w = dib[4] | dib[5] << 8;
    h = dib[6] | dib[7] << 8;
  } else {
    if (length < 14 + 12) return false;
    w = static_cast<std::int32_t>(Le32(dib + 4));
    h = static_cast<std::int32_t>(Le32(dib + 8));
  }
  if (h < 0) h = -h;
  return w > 0 && w * h > (std::int64_t{1} << 18);
}

bool SkipSlow(std::span<const std::uint8_t> payload) {
  if (payload.size() < TMarkInfo::Size) return false;
  TMarkInfo r;
  r.SetBytes(payload.first(TMarkInfo::Size));
  return TooLarge(payload, TMarkInfo::Size, r.PictureLength()) ||
         TooLarge(payload, r.BackgroundOffset(), r.BackgroundLength()) ||
         TooLarge(payload, r.FrameOffset(), r.FrameLength()) || TooLarge(payload, r.MaskOffset(), r.MaskLength());
}

bool SamePixels(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  const std::size_t bytes = static_cast<std::size_t>(a.Width()) * 3;
  for (int y = 0; y < a.Height(); ++y) {
    if (std::memcmp(a.ScanLine(y), b.ScanLine(y), bytes) != 0) return false;
  }
  return true;
}

std::vector<std::uint8_t> Pack(const std::vector<std::uint8_t>& payload) {
  TMemoryStream source(payload);
  TMemoryStream dest;
  if (!CompressStream(zcNone, source, dest)) std::abort();
  return dest.TakeBytes();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  std::vector<std::uint8_t> file;
  if ((data[0] & 1) == 0) {
    file.assign(data + 1, data + size);
    TMemoryStream source(file);
    TMemoryStream unpacked;
    if (DecompressStream(source, unpacked) && SkipSlow(unpacked.Bytes())) return 0;
  } else {
    if (size < 1 + 28) return 0;
    TMarkInfo record;
    InitMarkInfo(record);
    record.SetPictureType(".bmp");
    const std::size_t fields[] = {TMarkInfo::oPictureLength, TMarkInfo::oBackgroundLength,
                                  TMarkInfo::oBackgroundOffset, TMarkInfo::oFrameLength,
                                  TMarkInfo::oFrameOffset, TMarkInfo::oMaskLength, TMarkInfo::oMaskOffset};
    for (int i = 0; i < 7; ++i) record.SetU32(fields[i], Le32(data + 1 + 4 * i));
    std::vector<std::uint8_t> payload(record.Bytes().begin(), record.Bytes().end());
    payload.insert(payload.end(), data + 29, data + size);
    if (SkipSlow(payload)) return 0;
    file = Pack(payload);
  }

  TMark marks;
  marks.AddMark("");
  TMarkInfo& record = marks.Records[0];
  record.SetAnchor(9);  // a value loading must not leave behind on failure
  const TMarkInfo before = record;
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
