#pragma once
// The base of every picture class and the picture-format registry that
// maps a file extension to the class that loads it.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/types.h"

class TBitmap;
class TCanvas;
class TGraphic;
class TStream;

enum class TProgressStage { psStarting, psRunning, psEnding };

// Progress of a long operation: stage, percent done, and a text such as
// "Loading...".
using TProgressEvent =
    std::function<void(TGraphic& sender, TProgressStage stage, int percentDone, const std::string& message)>;

// Identifies a picture class in the registry; compared by address.
struct TGraphicClass {
  const char* Name;
  std::unique_ptr<TGraphic> (*Create)();
};

class TGraphic {
 public:
  virtual ~TGraphic() = default;

  virtual const TGraphicClass& ClassType() const = 0;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual bool Empty() const { return Width() <= 0 || Height() <= 0; }
  virtual bool Transparent() const { return transparent_; }
  virtual void SetTransparent(bool value) { transparent_ = value; }

  virtual void LoadFromStream(TStream& stream) = 0;
  virtual void SaveToStream(TStream& stream) = 0;
  // Reads the whole file into memory and calls LoadFromStream; a file that
  // cannot be opened raises EFOpenError.
  virtual void LoadFromFile(const std::string& fileName);
  // Saves through a temporary file that is renamed over fileName only when
  // everything was written.
  virtual void SaveToFile(const std::string& fileName);

  // Takes the picture of another graphic. The default knows no source and
  // raises EConvertError ("Cannot assign a X to a Y").
  virtual void Assign(const TGraphic& source);
  // Puts this picture into a bitmap (size, pixels, palette). The default
  // raises EConvertError.
  virtual void AssignTo(TBitmap& dest) const;
  // Paints the picture stretched onto rect of the canvas. The default
  // renders into a bitmap with AssignTo and stretches that.
  virtual void Draw(TCanvas& canvas, const TRect& rect) const;

  TProgressEvent OnProgress;

 protected:
  void Progress(TProgressStage stage, int percentDone, const std::string& message);
  [[noreturn]] void AssignError(const TGraphic* source, const char* destName) const;

  bool transparent_ = false;
};

// A picture class whose file can give its pixels an opacity that the
// bitmap it loads into does not hold (a PNG's alpha channel or its
// transparency table). Icons ask for it; everybody else pays nothing.
class TOpacitySource {
 public:
  virtual ~TOpacitySource() = default;
  // Asks the picture to keep the opacity of its pixels when it next loads.
  virtual void KeepOpacity(bool keep) = 0;
  // One byte per pixel of the loaded picture (0 transparent, 255 opaque),
  // rows top first. False when it kept none or every pixel is opaque.
  virtual bool GetOpacity(std::vector<std::uint8_t>& opacity) const = 0;
};

struct TFileFormatInfo {
  std::string Extension;    // lower case, without the dot
  std::string Description;
  const TGraphicClass* GraphicClass;
};

// A picture holder: loads a file through the registry and owns the
// graphic it made.
class TPicture {
 public:
  // Adds a registration; the extension is lower-cased and looked up from
  // the newest registration backwards, so the last one wins.
  static void RegisterFileFormat(const std::string& extension, const std::string& description,
                                 const TGraphicClass& graphicClass);
  // Removes every registration of the class.
  static void UnregisterGraphicClass(const TGraphicClass& graphicClass);
  // The class serving an extension (without dot, any case), or nullptr.
  static const TGraphicClass* FindFileFormat(const std::string& extension);
  // Every registration, oldest first.
  static std::vector<TFileFormatInfo> FileFormats();

  // Picks the class by the file's extension (after the last dot, lower
  // case); raises EInvalidGraphic "Unknown picture file extension (.ext)"
  // when none is registered. On failure the old graphic stays.
  void LoadFromFile(const std::string& fileName);

  TGraphic* Graphic() const { return graphic_.get(); }
  void SetGraphic(std::unique_ptr<TGraphic> graphic) { graphic_ = std::move(graphic); }
  int Width() const;
  int Height() const;

  TProgressEvent OnProgress;

 private:
  std::unique_ptr<TGraphic> graphic_;
};

// Registers the picture classes of the core: BMP ("bmp", "dib", "rle"),
// icons ("ico"), metafiles ("wmf", "emf") and JPEG ("jpg", "jpeg", "jpe",
// "jfif"). Safe to call more than once.
void RegisterCoreGraphics();
