#include "core/graphic.h"

#include "core/bitmap.h"
#include "core/exceptions.h"
#include "core/icon.h"
#include "core/jpeg.h"
#include "core/streams.h"
#include "core/strings.h"

namespace {

struct Registry {
  std::mutex Mutex;
  std::vector<TFileFormatInfo> Entries;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

void TGraphic::LoadFromFile(const std::string& fileName) {
  TMemoryStream stream(ReadFileBytes(fileName));
  LoadFromStream(stream);
}

void TGraphic::SaveToFile(const std::string& fileName) {
  TAtomicFileStream stream(fileName);
  SaveToStream(stream);
  stream.Commit();
}

void TGraphic::AssignError(const TGraphic* source, const char* destName) const {
  std::string from = source ? source->ClassType().Name : "nil";
  throw EConvertError("Cannot assign a " + from + " to a " + destName);
}

void TGraphic::Assign(const TGraphic& source) { AssignError(&source, ClassType().Name); }

void TGraphic::AssignTo(TBitmap& /*dest*/) const { AssignError(this, TBitmap::StaticClass().Name); }

void TGraphic::Draw(TCanvas& canvas, const TRect& rect) const {
  TBitmap picture;
  AssignTo(picture);
  canvas.StretchDraw(rect, picture);
}

void TGraphic::Progress(TProgressStage stage, int percentDone, const std::string& message) {
  if (OnProgress) OnProgress(*this, stage, percentDone, message);
}

// ---------------------------------------------------------------------------

void TPicture::RegisterFileFormat(const std::string& extension, const std::string& description,
                                  const TGraphicClass& graphicClass) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.Mutex);
  r.Entries.push_back({LowerCase(extension), description, &graphicClass});
}

void TPicture::UnregisterGraphicClass(const TGraphicClass& graphicClass) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.Mutex);
  std::erase_if(r.Entries, [&](const TFileFormatInfo& e) { return e.GraphicClass == &graphicClass; });
}

const TGraphicClass* TPicture::FindFileFormat(const std::string& extension) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.Mutex);
  std::string ext = LowerCase(extension);
  for (auto it = r.Entries.rbegin(); it != r.Entries.rend(); ++it) {
    if (it->Extension == ext) return it->GraphicClass;
  }
  return nullptr;
}

std::vector<TFileFormatInfo> TPicture::FileFormats() {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.Mutex);
  return r.Entries;
}

void TPicture::LoadFromFile(const std::string& fileName) {
  std::string::size_type slash = fileName.rfind('/');
  std::string::size_type dot = fileName.rfind('.');
  std::string ext;
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
    ext = LowerCase(fileName.substr(dot + 1));
  }
  const TGraphicClass* cls = ext.empty() ? nullptr : FindFileFormat(ext);
  if (!cls) throw EInvalidGraphic("Unknown picture file extension (." + ext + ")");
  std::unique_ptr<TGraphic> graphic = cls->Create();
  if (OnProgress) graphic->OnProgress = OnProgress;
  graphic->LoadFromFile(fileName);
  graphic_ = std::move(graphic);
}

int TPicture::Width() const { return graphic_ ? graphic_->Width() : 0; }
int TPicture::Height() const { return graphic_ ? graphic_->Height() : 0; }

void RegisterCoreGraphics() {
  static std::once_flag once;
  std::call_once(once, [] {
    TPicture::RegisterFileFormat("bmp", "Bitmaps", TBitmap::StaticClass());
    TPicture::RegisterFileFormat("dib", "Device independant Windows bitmaps", TBitmap::StaticClass());
    TPicture::RegisterFileFormat("rle", "Run length encoded Windows bitmaps", TBitmap::StaticClass());
    TPicture::RegisterFileFormat("ico", "Icons", TIcon::StaticClass());
    TPicture::RegisterFileFormat("emf", "Enhanced Metafiles", TMetafile::StaticClass());
    TPicture::RegisterFileFormat("wmf", "Metafiles", TMetafile::StaticClass());
    TPicture::RegisterFileFormat("jpg", "JPEG Image File", TJPEGImage::StaticClass());
    TPicture::RegisterFileFormat("jpeg", "JPEG Image File", TJPEGImage::StaticClass());
    TPicture::RegisterFileFormat("jpe", "JPEG Image File", TJPEGImage::StaticClass());
    TPicture::RegisterFileFormat("jfif", "JPEG Image File", TJPEGImage::StaticClass());
  });
}
