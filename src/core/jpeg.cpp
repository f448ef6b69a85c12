#include "core/jpeg.h"

// clang-format off
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "core/exceptions.h"
#include "core/streams.h"

// libjpeg reports errors through a callback that must not return. It
// longjmps back into the small "Guarded..." functions below. Those are
// written like C: between their setjmp and the libjpeg calls no object
// with a destructor lives, so the jump never skips one. Everything that
// owns memory (bitmaps, vectors) lives in the C++ caller, outside the
// jump, and libjpeg's own state is torn down by a guard object there.

namespace {

// Progressive files may repeat scans endlessly; real ones have a few
// dozen at most.
constexpr int kMaxScans = 1000;

struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void OnError(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  std::longjmp(err->jump, 1);
}

// Warnings (corrupt or missing data) are not printed: a damaged scan
// still gives its picture, the missing part grey, as other viewers show it.
void OnOutputMessage(j_common_ptr) {}

void OnProgress(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (d->progressive_mode && d->input_scan_number > kMaxScans) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::snprintf(err->message, sizeof err->message, "JPEG image has more than %d scans", kMaxScans);
    std::longjmp(err->jump, 1);
  }
}

void InitErrors(ErrorManager& err, jpeg_error_mgr*& slot) {
  slot = jpeg_std_error(&err.pub);
  err.pub.error_exit = OnError;
  err.pub.output_message = OnOutputMessage;
  err.message[0] = '\0';
}

// ---------------------------------------------------------------------------
// Decoding

struct DecodeJob {
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  jpeg_progress_mgr progress;
  bool created;
  const unsigned char* data;
  unsigned long size;
  // From the header.
  JDIMENSION width;
  JDIMENSION height;
  bool cmyk;
  bool inverted;  // Adobe's CMYK files store 255 - ink
  // Where the rows go.
  unsigned char* pixels;
  std::size_t stride;
  unsigned char* scratch;  // one CMYK row
  bool finishing;
  // The quantisation tables of the first component and, when it has one
  // of its own, of the second (natural order).
  std::uint16_t luminance[DCTSIZE2];
  std::uint16_t chrominance[DCTSIZE2];
  bool hasLuminance;
  bool hasChrominance;
};

// Copies the table a component uses; false when it has none (yet).
bool CopyComponentTable(j_decompress_ptr c, int component, std::uint16_t* into) {
  const int slot = c->comp_info[component].quant_tbl_no;
  if (slot < 0 || slot >= NUM_QUANT_TBLS || c->quant_tbl_ptrs[slot] == NULL) return false;
  for (int i = 0; i < DCTSIZE2; ++i) into[i] = c->quant_tbl_ptrs[slot]->quantval[i];
  return true;
}

bool GuardedReadHeader(DecodeJob* job) {
  if (setjmp(job->err.jump)) return false;
  jpeg_create_decompress(&job->cinfo);
  job->created = true;
  job->progress.progress_monitor = OnProgress;
  job->cinfo.progress = &job->progress;
  jpeg_mem_src(&job->cinfo, job->data, job->size);
  jpeg_read_header(&job->cinfo, TRUE);
  job->width = job->cinfo.image_width;
  job->height = job->cinfo.image_height;
  job->cmyk = job->cinfo.jpeg_color_space == JCS_CMYK || job->cinfo.jpeg_color_space == JCS_YCCK;
  job->inverted = job->cmyk && job->cinfo.saw_Adobe_marker;
  // Grey, YCbCr and RGB come out as B,G,R rows directly; CMYK (and YCCK,
  // which libjpeg turns into CMYK) is converted below.
  job->cinfo.out_color_space = job->cmyk ? JCS_CMYK : JCS_EXT_BGR;
  j_decompress_ptr c = &job->cinfo;
  job->hasLuminance = c->num_components >= 1 && CopyComponentTable(c, 0, job->luminance);
  job->hasChrominance = c->num_components >= 3 && c->comp_info[1].quant_tbl_no != c->comp_info[0].quant_tbl_no &&
                        CopyComponentTable(c, 1, job->chrominance);
  return true;
}

// R = (255 - C)(255 - K) / 255 and so on, in the ink values; inverted
// files already hold 255 - ink.
void CmykToBgr(const unsigned char* src, unsigned char* dst, JDIMENSION width, bool inverted) {
  for (JDIMENSION x = 0; x < width; ++x, src += 4, dst += 3) {
    unsigned c = src[0], m = src[1], y = src[2], k = src[3];
    if (!inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    dst[0] = static_cast<unsigned char>((y * k + 127) / 255);
    dst[1] = static_cast<unsigned char>((m * k + 127) / 255);
    dst[2] = static_cast<unsigned char>((c * k + 127) / 255);
  }
}

bool GuardedDecompress(DecodeJob* job) {
  // An error in the trailing markers after every row was read leaves a
  // complete picture.
  if (setjmp(job->err.jump)) return job->finishing;
  j_decompress_ptr c = &job->cinfo;
  jpeg_start_decompress(c);
  if (c->output_width != job->width || c->output_height != job->height ||
      c->output_components != (job->cmyk ? 4 : 3)) {
    std::snprintf(job->err.message, sizeof job->err.message, "JPEG image is not valid");
    return false;
  }
  while (c->output_scanline < c->output_height) {
    unsigned char* row = job->pixels + static_cast<std::size_t>(c->output_scanline) * job->stride;
    JSAMPROW target = job->cmyk ? job->scratch : row;
    if (jpeg_read_scanlines(c, &target, 1) != 1) break;
    if (job->cmyk) CmykToBgr(job->scratch, row, job->width, job->inverted);
  }
  // Rows the decoder did not deliver show grey, as a cut-short scan does.
  for (JDIMENSION y = c->output_scanline; y < c->output_height; ++y) {
    std::memset(job->pixels + static_cast<std::size_t>(y) * job->stride, 128, static_cast<std::size_t>(job->width) * 3);
  }
  job->finishing = true;
  jpeg_finish_decompress(c);
  return true;
}

struct DecodeCleanup {
  DecodeJob* job;
  ~DecodeCleanup() {
    if (job->created) jpeg_destroy_decompress(&job->cinfo);
  }
};

// ---------------------------------------------------------------------------
// Encoding

// A growing malloc'd output buffer owned by the job (libjpeg's own memory
// destination may free a buffer the caller still points to when an error
// strikes mid-way).
struct Destination {
  jpeg_destination_mgr pub;
  unsigned char* buffer;
  std::size_t capacity;
  std::size_t size;
};

void DestinationInit(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<Destination*>(cinfo->dest);
  d->capacity = 64 * 1024;
  d->buffer = static_cast<unsigned char*>(std::malloc(d->capacity));
  if (!d->buffer) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
  d->pub.next_output_byte = d->buffer;
  d->pub.free_in_buffer = d->capacity;
}

boolean DestinationEmpty(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<Destination*>(cinfo->dest);
  std::size_t grown = d->capacity * 2;
  auto* more = static_cast<unsigned char*>(std::realloc(d->buffer, grown));
  if (!more) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
  d->buffer = more;
  d->pub.next_output_byte = more + d->capacity;
  d->pub.free_in_buffer = grown - d->capacity;
  d->capacity = grown;
  return TRUE;
}

void DestinationTerm(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<Destination*>(cinfo->dest);
  d->size = d->capacity - d->pub.free_in_buffer;
}

struct EncodeJob {
  jpeg_compress_struct cinfo;
  ErrorManager err;
  Destination dest;
  bool created;
  const unsigned char* pixels;
  std::size_t stride;
  JDIMENSION width;
  JDIMENSION height;
  bool fourBytes;  // B,G,R,X rows
  int quality;
};

bool GuardedCompress(EncodeJob* job) {
  if (setjmp(job->err.jump)) return false;
  j_compress_ptr c = &job->cinfo;
  jpeg_create_compress(c);
  job->created = true;
  job->dest.pub.init_destination = DestinationInit;
  job->dest.pub.empty_output_buffer = DestinationEmpty;
  job->dest.pub.term_destination = DestinationTerm;
  c->dest = &job->dest.pub;
  c->image_width = job->width;
  c->image_height = job->height;
  c->input_components = job->fourBytes ? 4 : 3;
  c->in_color_space = job->fourBytes ? JCS_EXT_BGRX : JCS_EXT_BGR;
  jpeg_set_defaults(c);
  jpeg_set_quality(c, job->quality, TRUE);
  jpeg_start_compress(c, TRUE);
  while (c->next_scanline < c->image_height) {
    // libjpeg's row type is not const, but it only reads input rows.
    JSAMPROW row = const_cast<unsigned char*>(job->pixels + static_cast<std::size_t>(c->next_scanline) * job->stride);
    jpeg_write_scanlines(c, &row, 1);
  }
  jpeg_finish_compress(c);
  return true;
}

struct EncodeCleanup {
  EncodeJob* job;
  ~EncodeCleanup() {
    if (job->created) jpeg_destroy_compress(&job->cinfo);
    std::free(job->dest.buffer);
  }
};

void CheckQuality(int quality) {
  if (quality < 1 || quality > 100) {
    throw ERangeError("JPEG quality " + std::to_string(quality) + " is outside 1..100");
  }
}

// The standard tables of the JPEG standard's annex K, natural order.
constexpr std::uint16_t kStandardLuminance[64] = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
constexpr std::uint16_t kStandardChrominance[64] = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
    99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

// How far a file's table lies from a standard table scaled by percent
// (entries rounded, then kept within 1..limit, as libjpeg scales them).
std::int64_t TableDistance(const std::uint16_t* table, const std::uint16_t* standard, int percent, int limit) {
  std::int64_t distance = 0;
  for (int i = 0; i < 64; ++i) {
    const std::int64_t scaled = std::clamp<std::int64_t>((std::int64_t{standard[i]} * percent + 50) / 100, 1, limit);
    distance += std::abs(scaled - std::int64_t{table[i]});
  }
  return distance;
}

// Decodes into picture's own memory (a picture that fits in it takes no
// new memory). A failure before the pixels leaves picture as it was; one
// after them leaves it empty.
void DecodeInto(const std::uint8_t* data, std::size_t size, int* quality, TBitmap& picture) {
  auto job = std::make_unique<DecodeJob>();
  DecodeCleanup cleanup{job.get()};
  InitErrors(job->err, job->cinfo.err);
  job->data = data;
  job->size = static_cast<unsigned long>(size);
  if (!GuardedReadHeader(job.get())) throw EJPEG(job->err.message);
  if (!WithinPixelCap(job->width, job->height)) {
    throw EJPEG("JPEG image is too large (" + std::to_string(job->width) + " x " + std::to_string(job->height) +
                " pixels)");
  }
  std::vector<unsigned char> scratch(job->cmyk ? static_cast<std::size_t>(job->width) * 4 : 0);
  // libjpeg writes every row (a cut-short scan is filled in), so the
  // picture needs no fill of its own first.
  picture.SetSizeForDecoding(static_cast<int>(job->width), static_cast<int>(job->height), pf24bit);
  job->pixels = picture.Bits();
  job->stride = static_cast<std::size_t>(picture.RowStride());
  job->scratch = scratch.data();
  if (!GuardedDecompress(job.get())) {
    picture.SetSize(0, 0);
    throw EJPEG(job->err.message);
  }
  if (quality != nullptr) {
    *quality = job->hasLuminance
                   ? EstimateJpegQuality(job->luminance, job->hasChrominance ? job->chrominance : nullptr)
                   : TJPEGImage::DefaultQuality;
  }
}

TBitmap Decode(const std::uint8_t* data, std::size_t size, int* quality) {
  TBitmap picture;
  DecodeInto(data, size, quality, picture);
  return picture;
}

}  // namespace

int JpegScalePercent(int quality) {
  quality = std::clamp(quality, 1, 100);
  return quality < 50 ? 5000 / quality : 200 - 2 * quality;
}

namespace {

// The quality whose scaled standard table lies nearest to a file's table,
// the highest of equally near ones, and its distance. With two tables the
// distances add up.
struct TNearest {
  int Quality = 100;
  std::int64_t Distance = -1;
};

TNearest NearestQuality(const std::uint16_t* luminance, const std::uint16_t* chrominance, int limit) {
  TNearest best;
  for (int q = 100; q >= 1; --q) {
    const int percent = JpegScalePercent(q);
    std::int64_t distance = 0;
    if (luminance != nullptr) distance += TableDistance(luminance, kStandardLuminance, percent, limit);
    if (chrominance != nullptr) distance += TableDistance(chrominance, kStandardChrominance, percent, limit);
    if (best.Distance < 0 || distance < best.Distance) best = {q, distance};
  }
  return best;
}

}  // namespace

int EstimateJpegQuality(const std::uint16_t* luminance, const std::uint16_t* chrominance) {
  // Tables with entries beyond 255 were written without the baseline
  // limit; those within it may have been written either way, and the
  // limit then makes no difference to a match.
  bool wide = false;
  for (int i = 0; i < 64; ++i) {
    wide = wide || luminance[i] > 255 || (chrominance != nullptr && chrominance[i] > 255);
  }
  const int limit = wide ? 32767 : 255;
  const TNearest both = NearestQuality(luminance, chrominance, limit);
  // Standard tables of one quality match exactly. Others are not one
  // quality's: each table's own nearest quality counts half, since the
  // chrominance table's larger entries would outweigh the luminance's.
  if (chrominance == nullptr || both.Distance == 0) return both.Quality;
  const int lum = NearestQuality(luminance, nullptr, limit).Quality;
  const int chrom = NearestQuality(nullptr, chrominance, limit).Quality;
  return (lum + chrom + 1) / 2;
}

void DecodeJpeg(const std::uint8_t* data, std::size_t size, TBitmap& bitmap, int* quality) {
  DecodeInto(data, size, quality, bitmap);
}

std::vector<std::uint8_t> EncodeJpeg(const TBitmap& bitmap, int quality) {
  CheckQuality(quality);
  if (bitmap.Empty()) throw EJPEG("Cannot compress an empty picture");
  // 24- and 32-bit rows go to libjpeg as they are; other formats are
  // converted on a copy.
  const TBitmap* source = &bitmap;
  TBitmap converted;
  const TPixelFormat f = bitmap.PixelFormat();
  if (f != pf24bit && f != pfDevice && f != pf32bit) {
    converted = bitmap;
    converted.SetPixelFormat(pf24bit);
    source = &converted;
  }
  auto job = std::make_unique<EncodeJob>();
  EncodeCleanup cleanup{job.get()};
  InitErrors(job->err, job->cinfo.err);
  job->pixels = source->Bits();
  job->stride = static_cast<std::size_t>(source->RowStride());
  job->width = static_cast<JDIMENSION>(source->Width());
  job->height = static_cast<JDIMENSION>(source->Height());
  job->fourBytes = source->PixelFormat() == pf32bit;
  job->quality = quality;
  if (!GuardedCompress(job.get())) throw EJPEG(job->err.message);
  return std::vector<std::uint8_t>(job->dest.buffer, job->dest.buffer + job->dest.size);
}

// ---------------------------------------------------------------------------

const TGraphicClass& TJPEGImage::StaticClass() {
  static const TGraphicClass cls{"TJPEGImage", &TJPEGImage::CreateInstance};
  return cls;
}

std::unique_ptr<TGraphic> TJPEGImage::CreateInstance() { return std::make_unique<TJPEGImage>(); }

TJPEGImage::TJPEGImage() { bitmap_.SetPixelFormat(pf24bit); }
TJPEGImage::TJPEGImage(const TJPEGImage& other) = default;
TJPEGImage& TJPEGImage::operator=(const TJPEGImage& other) = default;
TJPEGImage::~TJPEGImage() = default;

void TJPEGImage::SetCompressionQuality(int quality) {
  CheckQuality(quality);
  // A new quality only matters for data still to be made; a picture that
  // is there is compressed again at it when saved.
  if (quality != quality_ && !bitmap_.Empty()) data_.clear();
  quality_ = quality;
}

void TJPEGImage::LoadFromStream(TStream& stream) {
  const std::int64_t remaining = std::max<std::int64_t>(stream.Size() - stream.Position(), 0);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(remaining));
  stream.ReadBuffer(bytes.data(), remaining);
  int quality = 0;
  TBitmap picture = Decode(bytes.data(), bytes.size(), &quality);
  bitmap_ = std::move(picture);
  data_ = std::move(bytes);
  // The data stay as they are; a save compresses again only at another
  // quality.
  quality_ = quality;
}

void TJPEGImage::SaveToStream(TStream& stream) {
  if (data_.empty()) Compress();
  stream.WriteBuffer(data_);
}

void TJPEGImage::Assign(const TGraphic& source) {
  if (&source == this) return;
  if (const auto* jpeg = dynamic_cast<const TJPEGImage*>(&source)) {
    bitmap_ = jpeg->bitmap_;
    data_ = jpeg->data_;
    quality_ = jpeg->quality_;
    return;
  }
  TBitmap picture;
  picture.Assign(source);
  picture.SetPixelFormat(pf24bit);
  bitmap_ = std::move(picture);
  data_.clear();
}

void TJPEGImage::AssignTo(TBitmap& dest) const { dest.Assign(bitmap_); }

void TJPEGImage::Draw(TCanvas& canvas, const TRect& rect) const { canvas.StretchDraw(rect, bitmap_); }

void TJPEGImage::Compress() { data_ = EncodeJpeg(bitmap_, quality_); }

TBitmap TJPEGImage::TakeBitmap() {
  TBitmap picture = std::move(bitmap_);
  bitmap_ = TBitmap();
  bitmap_.SetPixelFormat(pf24bit);
  data_.clear();
  return picture;
}
