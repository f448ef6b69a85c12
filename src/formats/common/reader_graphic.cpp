#include "formats/common/reader_graphic.h"

#include <cstring>

#include "core/exceptions.h"
#include "core/numbers.h"
#include "core/streams.h"
#include "formats/common/reader_steps.h"
#include "formats/common/reader_texts.h"
#include "formats/common/reader_warnings.h"

std::string FormatText(const char* pattern, std::initializer_list<std::string> arguments) {
  std::string text;
  auto next = arguments.begin();
  for (const char* p = pattern; *p; ++p) {
    if (p[0] == '%' && p[1] == 's') {
      if (next != arguments.end()) text += *next++;
      ++p;
    } else if (p[0] == '%' && p[1] == '%') {
      text += '%';
      ++p;
    } else {
      text += *p;
    }
  }
  return text;
}

void RaiseInvalidGraphic(const std::string& message) { throw EInvalidGraphic(message); }

void RaiseInvalidImage(const std::string& formatName) { RaiseInvalidGraphicFmt(readertext::InvalidImage, {formatName}); }

void RaiseInvalidGraphicFmt(const char* pattern, std::initializer_list<std::string> arguments) {
  throw EInvalidGraphic(FormatText(pattern, arguments));
}

// ---------------------------------------------------------------------------

namespace {

// Puts a stream back where it was, whatever happens between.
class TPositionKeeper {
 public:
  explicit TPositionKeeper(TStream& stream) : stream_(stream), position_(stream.Position()) {}
  ~TPositionKeeper() {
    try {
      stream_.SetPosition(position_);
    } catch (...) {
      // A stream that cannot seek back to where it was a moment ago has
      // nothing more to lose.
    }
  }
  TPositionKeeper(const TPositionKeeper&) = delete;
  TPositionKeeper& operator=(const TPositionKeeper&) = delete;

 private:
  TStream& stream_;
  std::int64_t position_;
};

}  // namespace

TReaderGraphic::TReaderGraphic() = default;
TReaderGraphic::~TReaderGraphic() = default;

void TReaderGraphic::Assign(const TGraphic& source) {
  if (&source == this) return;
  if (const auto* reader = dynamic_cast<const TReaderGraphic*>(&source)) properties_ = reader->properties_;
  TBitmap::Assign(source);
}

bool TReaderGraphic::CanLoadStream(TStream& stream) const {
  TPositionKeeper keep(stream);
  try {
    return ProbeStream(stream);
  } catch (const Exception&) {
    // A probe that runs out of bytes or meets nonsense is not this format.
    return false;
  }
}

bool TReaderGraphic::CanLoadFile(const std::string& fileName) const {
  TFileStream file(fileName, TFileMode::fmOpenRead);
  return CanLoadStream(file);
}

bool TReaderGraphic::ProbeStream(TStream& /*stream*/) const { return false; }

void TReaderGraphic::LoadFromStream(TStream& stream) {
  BeginLoad(stream);
  if (!ReadLoadHeader(stream)) RaiseInvalidImage(FormatName());
  stream.SetPosition(basePosition_);
  CheckLoadHeader();
  LoadPixels(stream);
}

const std::string& TReaderGraphic::FormatName() const {
  static const std::string none;
  return none;
}

bool TReaderGraphic::ReadLoadHeader(TStream& stream) { return ReadImageHeader(stream, 0); }

void TReaderGraphic::CheckLoadHeader() { CheckPictureSize(properties_.Width, properties_.Height, FormatName()); }

void TReaderGraphic::LoadPixels(TStream& /*stream*/) { RaiseInvalidImage(FormatName()); }

bool TReaderGraphic::ReadImageHeader(TStream& /*stream*/, int /*imageIndex*/) {
  properties_.Clear();
  properties_.FileGamma = 1.0f;
  return false;
}

void TReaderGraphic::BeginLoad(TStream& stream) {
  SetSize(0, 0);
  SetPalette({});
  stream_ = &stream;
  basePosition_ = stream.Position();
  warned_ = false;
}

void TReaderGraphic::Warning(const std::string& text) {
  if (warned_) return;
  warned_ = true;
  PostReaderWarning(text);
}

void TReaderGraphic::ProgressStart(const std::string& message, int width, int firstBandHeight) {
  progressRect_ = Rect(0, 0, width, firstBandHeight);
  progressMessage_ = message;
  Progress(TProgressStage::psStarting, 0, message);
}

void TReaderGraphic::ProgressRow(int row, int height) {
  const int percent = height > 0 ? MulDiv(row, 100, height) : 100;
  Progress(TProgressStage::psRunning, percent, progressMessage_);
  progressRect_.Top += 1;
  progressRect_.Bottom += 1;
}

void TReaderGraphic::ProgressEnd() { Progress(TProgressStage::psEnding, 0, std::string()); }
