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
#include "core/exif.h"
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

// Stored rows set into the picture's columns at once where the picture is
// turned a quarter: each picture row then gets this many pixels side by
// side, not one.
constexpr JDIMENSION kBandRows = 16;

struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  // The first warning that the data ended before the picture, in
  // libjpeg's words; empty while there is none.
  char endedEarly[JMSG_LENGTH_MAX];
};

void OnError(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  std::longjmp(err->jump, 1);
}

// Warnings (corrupt or missing data) are not printed: a damaged scan
// still gives its picture, the missing part grey, as other viewers show it.
void OnOutputMessage(j_common_ptr) {}

// Notes the warnings that tell the data ended before the picture did (the
// file ends, or a scan's data end at a marker), which a caller may count
// as a damaged file. Trace messages (level 0 and above) are dropped.
void OnEmitMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  ++err->pub.num_warnings;
  const int code = err->pub.msg_code;
  if (err->endedEarly[0] == '\0' && (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER)) {
    (*err->pub.format_message)(cinfo, err->endedEarly);
  }
}

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
  err.pub.emit_message = OnEmitMessage;
  err.message[0] = '\0';
  err.endedEarly[0] = '\0';
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
  bool arithmetic;
  std::int64_t fewestBlocks;  // of the component with the fewest
  // How the stored rows are turned upright (Exif orientation 1..8).
  int orientation;
  // Where the rows go: the picture's pixels, upright.
  unsigned char* pixels;
  std::size_t stride;
  unsigned char* scratch;  // one CMYK row
  // Orientations 5 to 8 turn rows into columns: a band of decoded rows
  // is kept until it is full and then set into the picture's columns.
  unsigned char* band;
  JDIMENSION bandFirst;  // the stored row of the band's first row
  bool finishing;
  bool rowsMissing;  // the decoder stopped before the last row
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
  job->arithmetic = c->arith_code != FALSE;
  job->fewestBlocks = -1;
  for (int i = 0; i < c->num_components; ++i) {
    const std::int64_t blocks =
        static_cast<std::int64_t>(c->comp_info[i].width_in_blocks) * c->comp_info[i].height_in_blocks;
    if (job->fewestBlocks < 0 || blocks < job->fewestBlocks) job->fewestBlocks = blocks;
  }
  return true;
}

// The upright picture's pixel that stored pixel (x, y) of a width x height
// picture becomes under an orientation that turns rows into columns.
void TurnedPlace(int orientation, JDIMENSION width, JDIMENSION height, JDIMENSION x, JDIMENSION y, JDIMENSION& column,
                 JDIMENSION& row) {
  switch (orientation) {
    case 5: column = y, row = x; break;
    case 6: column = height - 1 - y, row = x; break;
    case 7: column = height - 1 - y, row = width - 1 - x; break;
    default: column = y, row = width - 1 - x; break;  // 8
  }
}

// Sets the band's rows (stored rows bandFirst .. bandFirst + count - 1)
// into the columns they become. Each stored column goes to one picture
// row, the band's pixels side by side there.
void PlaceBand(DecodeJob* job, JDIMENSION count) {
  const std::size_t bandStride = static_cast<std::size_t>(job->width) * 3;
  for (JDIMENSION x = 0; x < job->width; ++x) {
    JDIMENSION column, row;
    TurnedPlace(job->orientation, job->width, job->height, x, job->bandFirst, column, row);
    unsigned char* line = job->pixels + static_cast<std::size_t>(row) * job->stride;
    // Orientations 6 and 7 put later stored rows further left.
    const bool leftwards = job->orientation == 6 || job->orientation == 7;
    const unsigned char* in = job->band + static_cast<std::size_t>(x) * 3;
    for (JDIMENSION i = 0; i < count; ++i, in += bandStride) {
      unsigned char* out = line + static_cast<std::size_t>(leftwards ? column - i : column + i) * 3;
      out[0] = in[0];
      out[1] = in[1];
      out[2] = in[2];
    }
  }
}

// Mirrors a row of B,G,R pixels left to right.
void MirrorRow(unsigned char* row, JDIMENSION width) {
  unsigned char* a = row;
  unsigned char* b = row + static_cast<std::size_t>(width - 1) * 3;
  for (; a < b; a += 3, b -= 3) {
    for (int k = 0; k < 3; ++k) {
      const unsigned char t = a[k];
      a[k] = b[k];
      b[k] = t;
    }
  }
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

// Where stored row y is decoded to: its upright row for the orientations
// that keep rows rows (mirrored afterwards where they ask for it), else
// its row of the band.
unsigned char* StoredRow(DecodeJob* job, JDIMENSION y) {
  if (job->band != NULL) {
    return job->band + static_cast<std::size_t>(y - job->bandFirst) * job->width * 3;
  }
  const JDIMENSION upright = job->orientation == 3 || job->orientation == 4 ? job->height - 1 - y : y;
  return job->pixels + static_cast<std::size_t>(upright) * job->stride;
}

// After stored row y is in place: mirrors it, or sets a full band (or
// the last one) into the picture.
void StoredRowDone(DecodeJob* job, unsigned char* row, JDIMENSION y) {
  if (job->band == NULL) {
    if (job->orientation == 2 || job->orientation == 3) MirrorRow(row, job->width);
    return;
  }
  const JDIMENSION count = y + 1 - job->bandFirst;
  if (count == kBandRows || y + 1 == job->height) {
    PlaceBand(job, count);
    job->bandFirst = y + 1;
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
    const JDIMENSION y = c->output_scanline;
    unsigned char* row = StoredRow(job, y);
    JSAMPROW target = job->cmyk ? job->scratch : row;
    if (jpeg_read_scanlines(c, &target, 1) != 1) break;
    if (job->cmyk) CmykToBgr(job->scratch, row, job->width, job->inverted);
    StoredRowDone(job, row, y);
  }
  // Rows the decoder did not deliver show grey, as a cut-short scan does.
  job->rowsMissing = c->output_scanline < c->output_height;
  for (JDIMENSION y = c->output_scanline; y < c->output_height; ++y) {
    unsigned char* row = StoredRow(job, y);
    std::memset(row, 128, static_cast<std::size_t>(job->width) * 3);
    StoredRowDone(job, row, y);
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
// new memory), turned upright by the file's Exif orientation. A failure
// before the pixels leaves picture as it was; one after them leaves it
// empty.
void DecodeInto(const std::uint8_t* data, std::size_t size, TJpegDecodeInfo& info, TBitmap& picture) {
  auto job = std::make_unique<DecodeJob>();
  DecodeCleanup cleanup{job.get()};
  InitErrors(job->err, job->cinfo.err);
  job->data = data;
  job->size = static_cast<unsigned long>(size);
  if (!GuardedReadHeader(job.get())) throw EJPEG(job->err.message);
  const std::string dimensions = std::to_string(job->width) + " x " + std::to_string(job->height) + " pixels";
  if (!WithinPixelCap(job->width, job->height)) throw EJPEG("JPEG image is too large (" + dimensions + ")");
  // Huffman coding takes at least a bit for every block of a scan, and a
  // file has a scan of the DC values of at least one component (every
  // block of it) however its scans and restart intervals are laid out:
  // the bytes must hold a bit for each block of the component with the
  // fewest. Arithmetic coding can give thousands of blocks from one bit,
  // so a picture of the pixel cap fits in a few hundred bytes; it has no
  // such bound.
  if (!job->arithmetic && job->fewestBlocks > static_cast<std::int64_t>(size) * 8) {
    throw EJPEG("JPEG file is too short for its " + dimensions);
  }
  job->orientation = JpegExifOrientation(std::span<const std::uint8_t>(data, size));
  const bool turned = OrientationSwapsSides(job->orientation);
  std::vector<unsigned char> scratch(job->cmyk ? static_cast<std::size_t>(job->width) * 4 : 0);
  std::vector<unsigned char> band(turned ? static_cast<std::size_t>(job->width) * 3 * kBandRows : 0);
  // libjpeg writes every row (a cut-short scan is filled in), so the
  // picture needs no fill of its own first.
  picture.SetSizeForDecoding(static_cast<int>(turned ? job->height : job->width),
                             static_cast<int>(turned ? job->width : job->height), pf24bit);
  job->pixels = picture.Bits();
  job->stride = static_cast<std::size_t>(picture.RowStride());
  job->scratch = scratch.data();
  job->band = turned ? band.data() : nullptr;
  job->bandFirst = 0;
  if (!GuardedDecompress(job.get())) {
    picture.SetSize(0, 0);
    throw EJPEG(job->err.message);
  }
  info.Quality = job->hasLuminance
                     ? EstimateJpegQuality(job->luminance, job->hasChrominance ? job->chrominance : nullptr)
                     : TJPEGImage::DefaultQuality;
  info.Orientation = job->orientation;
  info.EndedEarly.clear();
  if (job->err.endedEarly[0] != '\0') {
    info.EndedEarly = job->err.endedEarly;
  } else if (job->rowsMissing) {
    info.EndedEarly = "JPEG data end before the last row";
  }
}

TBitmap Decode(const std::uint8_t* data, std::size_t size, TJpegDecodeInfo& info) {
  TBitmap picture;
  DecodeInto(data, size, info, picture);
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

void DecodeJpeg(const std::uint8_t* data, std::size_t size, TBitmap& bitmap, TJpegDecodeInfo& info) {
  DecodeInto(data, size, info, bitmap);
}

void DecodeJpeg(const std::uint8_t* data, std::size_t size, TBitmap& bitmap, int* quality) {
  TJpegDecodeInfo info;
  DecodeInto(data, size, info, bitmap);
  if (quality != nullptr) *quality = info.Quality;
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
  TJpegDecodeInfo info;
  TBitmap picture = Decode(bytes.data(), bytes.size(), info);
  bitmap_ = std::move(picture);
  data_ = std::move(bytes);
  // The data stay as they are; a save compresses again only at another
  // quality.
  quality_ = info.Quality;
  endedEarly_ = std::move(info.EndedEarly);
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
    endedEarly_ = jpeg->endedEarly_;
    return;
  }
  endedEarly_.clear();
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
  endedEarly_.clear();
  return picture;
}
