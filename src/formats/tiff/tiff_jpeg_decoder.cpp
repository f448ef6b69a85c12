#include "formats/tiff/tiff_jpeg_decoder.h"

// clang-format off
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include "core/exceptions.h"
#include "formats/common/reader_texts.h"

// libjpeg reports errors through a callback that must not return: it
// longjmps back into the small "Guarded..." functions below, written like
// C, with no object that has a destructor alive between their setjmp and
// the libjpeg calls. Warnings are only noted while libjpeg runs and handed
// to the hook once it has returned, so no C++ exception ever passes
// through libjpeg's frames.

namespace t = readertext;

struct TTIFFJPEGDecoder::TState {
  struct TErrors {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
  };
  struct TSource {
    jpeg_source_mgr pub;
    TState* state;
  };
  jpeg_decompress_struct cinfo;
  TErrors errors;
  TSource source;
  bool created;
  bool warned;  // a warning waits for the hook
  char warning[JMSG_LENGTH_MAX];
};

namespace {

using TState = TTIFFJPEGDecoder::TState;

constexpr JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

TState* StateOf(j_common_ptr cinfo) { return static_cast<TState*>(cinfo->client_data); }
TState* StateOf(j_decompress_ptr cinfo) { return static_cast<TState*>(cinfo->client_data); }

void NoteWarning(TState* s, const char* text) {
  if (s->warned) return;
  std::snprintf(s->warning, sizeof s->warning, "%s", text);
  s->warned = true;
}

void OnErrorExit(j_common_ptr cinfo) {
  auto* errors = reinterpret_cast<TState::TErrors*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, errors->message);
  std::longjmp(errors->jump, 1);
}

void OnOutputMessage(j_common_ptr cinfo) {
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  NoteWarning(StateOf(cinfo), text);
}

// Warnings (level -1) are noted; trace messages are not.
void OnEmitMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;
  ++cinfo->err->num_warnings;
  OnOutputMessage(cinfo);
}

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

// Asked for more than the data hold: the image ends here.
boolean FillInputBuffer(j_decompress_ptr cinfo) {
  NoteWarning(StateOf(cinfo), t::JPEGEndOfInput);
  cinfo->src->next_input_byte = kEndOfImage;
  cinfo->src->bytes_in_buffer = sizeof kEndOfImage;
  return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  jpeg_source_mgr* src = cinfo->src;
  if (static_cast<unsigned long>(count) > src->bytes_in_buffer) {
    FillInputBuffer(cinfo);
    return;
  }
  src->next_input_byte += count;
  src->bytes_in_buffer -= static_cast<std::size_t>(count);
}

void SetSource(TState* s, const std::uint8_t* data, std::size_t size) {
  s->source.pub.next_input_byte = data;
  s->source.pub.bytes_in_buffer = size;
  s->cinfo.src = &s->source.pub;
}

bool GuardedCreate(TState* s) {
  if (setjmp(s->errors.jump)) return false;
  jpeg_create_decompress(&s->cinfo);
  s->cinfo.client_data = s;
  s->created = true;
  return true;
}

bool GuardedReadTables(TState* s, const std::uint8_t* data, std::size_t size) {
  if (setjmp(s->errors.jump)) return false;
  SetSource(s, data, size);
  return jpeg_read_header(&s->cinfo, FALSE) == JPEG_HEADER_TABLES_ONLY;
}

bool GuardedReadHeader(TState* s, const std::uint8_t* data, std::size_t size) {
  if (setjmp(s->errors.jump)) return false;
  SetSource(s, data, size);
  if (jpeg_read_header(&s->cinfo, TRUE) != JPEG_HEADER_OK) {
    std::snprintf(s->errors.message, sizeof s->errors.message, "%s", t::JPEGEndOfInput);
    return false;
  }
  return true;
}

bool GuardedDecodeRows(TState* s, std::uint8_t* dest, std::size_t rowBytes) {
  if (setjmp(s->errors.jump)) return false;
  j_decompress_ptr c = &s->cinfo;
  jpeg_start_decompress(c);
  if (static_cast<std::size_t>(c->output_width) * static_cast<std::size_t>(c->output_components) != rowBytes) {
    std::snprintf(s->errors.message, sizeof s->errors.message, "%s", t::JPEGComponentCount);
    return false;
  }
  while (c->output_scanline < c->output_height) {
    JSAMPROW row = dest + static_cast<std::size_t>(c->output_scanline) * rowBytes;
    if (jpeg_read_scanlines(c, &row, 1) != 1) break;
  }
  return true;
}

}  // namespace

TTIFFJPEGDecoder::TTIFFJPEGDecoder(const TImageProperties& properties, TWarningHook warning)
    : properties_(properties), warning_(std::move(warning)) {}

TTIFFJPEGDecoder::~TTIFFJPEGDecoder() { DecodeEnd(); }

int TTIFFJPEGDecoder::OutputComponents() const {
  switch (properties_.ColorScheme) {
    case TColorScheme::RGB:
    case TColorScheme::YCbCr: return 3;
    default: return properties_.SamplesPerPixel;
  }
}

void TTIFFJPEGDecoder::DecodeInit() {
  DecodeEnd();
  state_ = std::make_unique<TState>();
  TState* s = state_.get();
  std::memset(s, 0, sizeof *s);
  s->cinfo.err = jpeg_std_error(&s->errors.pub);
  s->cinfo.client_data = s;
  s->errors.pub.error_exit = OnErrorExit;
  s->errors.pub.emit_message = OnEmitMessage;
  s->errors.pub.output_message = OnOutputMessage;
  s->source.state = s;
  s->source.pub.init_source = InitSource;
  s->source.pub.fill_input_buffer = FillInputBuffer;
  s->source.pub.skip_input_data = SkipInputData;
  s->source.pub.resync_to_restart = jpeg_resync_to_restart;
  s->source.pub.term_source = TermSource;
  if (!GuardedCreate(s)) RaiseCompressionError(s->errors.message);
  const TByteArray& tables = properties_.JPEGTables;
  if (!tables.empty()) {
    const bool read = GuardedReadTables(s, tables.data(), tables.size());
    s->warned = false;  // the tables' own complaints are the error below
    if (!read) RaiseCompressionError(t::JPEGBogusTables);
  }
}

void TTIFFJPEGDecoder::DecodeEnd() {
  if (state_ && state_->created) jpeg_destroy_decompress(&state_->cinfo);
  state_.reset();
}

void TTIFFJPEGDecoder::Decode(std::span<const std::uint8_t>& source, std::span<std::uint8_t>& dest) {
  if (!state_) DecodeInit();
  TState* s = state_.get();
  const std::size_t rowBytes = static_cast<std::size_t>(properties_.Width) * static_cast<std::size_t>(OutputComponents());
  if (rowBytes == 0 || dest.size() % rowBytes != 0) RaiseCompressionError(t::JPEGFractionalScanline);
  const std::size_t rows = dest.size() / rowBytes;

  // Hands a noted warning over, and raises a failure, once libjpeg is out
  // of the way.
  auto finish = [&](const char* error) {
    jpeg_abort_decompress(&s->cinfo);
    if (s->warned && warning_) {
      s->warned = false;
      warning_(s->warning);
    }
    s->warned = false;
    if (error) RaiseCompressionError(error);
  };

  if (!GuardedReadHeader(s, source.data(), source.size())) finish(s->errors.message);
  const jpeg_decompress_struct& c = s->cinfo;
  if (c.image_width != properties_.Width || c.image_height != rows) finish(t::JPEGStripSize);
  if (c.num_components != properties_.SamplesPerPixel) finish(t::JPEGComponentCount);
  if (c.data_precision != properties_.BitsPerSample) finish(t::JPEGDataPrecision);
  const bool ycbcr = properties_.ColorScheme == TColorScheme::YCbCr;
  const TByteArray& sub = properties_.YCbCrSubsampling;
  const int wantH = ycbcr && sub.size() >= 2 ? sub[0] : 1;
  const int wantV = ycbcr && sub.size() >= 2 ? sub[1] : 1;
  for (int i = 0; i < c.num_components; ++i) {
    const int h = i == 0 ? wantH : 1, v = i == 0 ? wantV : 1;
    if (c.comp_info[i].h_samp_factor != h || c.comp_info[i].v_samp_factor != v) finish(t::JPEGSamplingFactors);
  }
  switch (properties_.ColorScheme) {
    case TColorScheme::YCbCr:
      s->cinfo.jpeg_color_space = JCS_YCbCr;
      s->cinfo.out_color_space = JCS_EXT_BGR;
      break;
    case TColorScheme::RGB:
      s->cinfo.jpeg_color_space = JCS_RGB;
      s->cinfo.out_color_space = JCS_EXT_BGR;
      break;
    case TColorScheme::Gray:
      s->cinfo.jpeg_color_space = JCS_GRAYSCALE;
      s->cinfo.out_color_space = JCS_GRAYSCALE;
      break;
    case TColorScheme::CMYK:
      s->cinfo.jpeg_color_space = JCS_CMYK;
      s->cinfo.out_color_space = JCS_CMYK;
      break;
    default:
      s->cinfo.jpeg_color_space = JCS_UNKNOWN;
      s->cinfo.out_color_space = JCS_UNKNOWN;
      break;
  }
  if (!GuardedDecodeRows(s, dest.data(), rowBytes)) finish(s->errors.message);
  finish(nullptr);
  source = source.subspan(source.size());
  dest = dest.subspan(rows * rowBytes);
}
