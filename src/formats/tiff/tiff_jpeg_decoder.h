#pragma once
// JPEG-compressed TIFF strips on libjpeg-turbo, through source managers of
// our own: one over the file's JPEG tables (tag 347), which abbreviated
// strips take their tables from, and one over each strip's bytes.
//
// Each strip is checked against the image before it is decoded: its size
// (the image width and the strip's rows), component count, precision and
// sampling factors. Rows come out interleaved, 8 bits a sample: blue,
// green, red for RGB and YCbCr images (libjpeg turns YCbCr into colour
// itself), grey, or the components as stored for other schemes.
//
// Data that end before the JPEG does are no error: the missing part is
// given an end-of-image marker and the warning "JPEG decompression
// error. Unexpected end of input." goes to the warning hook, as do the
// library's own warnings. Errors raise EGraphicCompression.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "formats/common/decoder.h"
#include "formats/common/reader_graphic.h"

class TTIFFJPEGDecoder : public TDecoder {
 public:
  using TWarningHook = std::function<void(const std::string&)>;

  // The properties (size, samples, depth, scheme, subsampling, tables)
  // must outlive the decoder.
  TTIFFJPEGDecoder(const TImageProperties& properties, TWarningHook warning);
  ~TTIFFJPEGDecoder() override;
  TTIFFJPEGDecoder(const TTIFFJPEGDecoder&) = delete;
  TTIFFJPEGDecoder& operator=(const TTIFFJPEGDecoder&) = delete;

  // Creates the decompressor and reads the JPEG tables, if the file has
  // them ("Bogus JPEG tables field." when libjpeg cannot).
  void DecodeInit() override;
  void DecodeEnd() override;
  // Decodes one strip: source is its bytes, dest its rows.
  void Decode(std::span<const std::uint8_t>& source, std::span<std::uint8_t>& dest) override;

  // The components a decoded pixel has (3 for RGB and YCbCr images).
  int OutputComponents() const;

  struct TState;

 private:
  const TImageProperties& properties_;
  TWarningHook warning_;
  std::unique_ptr<TState> state_;
};
