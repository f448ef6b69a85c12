#pragma once
// Skin pictures for the skinned-control tests: strips of solid frames, so
// that a pixel tells which frame was drawn.

#include <QColor>
#include <QImage>

#include <memory>
#include <string>
#include <vector>

#include "skin/skin_elements.h"

namespace skintest {

// A strip of solid frames, w x h each, side by side.
inline QImage SolidFrames(int w, int h, const std::vector<QColor>& colours) {
  QImage image(w * static_cast<int>(colours.size()), h, QImage::Format_RGB32);
  for (int x = 0; x < image.width(); ++x) {
    for (int y = 0; y < h; ++y) image.setPixel(x, y, colours[x / w].rgb());
  }
  return image;
}

// The five frames of a push button: normal, pressed, disabled, hot, spare.
inline const std::vector<QColor> ButtonColours = {{10, 0, 0}, {20, 0, 0}, {30, 0, 0}, {40, 0, 0}, {50, 0, 0}};

// An element of solid frames.
inline std::unique_ptr<TDataSkinObject> SolidElement(const std::string& name, int w, int h,
                                                     const std::vector<QColor>& colours) {
  auto e = std::make_unique<TDataSkinObject>(name);
  e->Bitmap = SolidFrames(w, h, colours);
  e->FrameCount = static_cast<int>(colours.size());
  return e;
}

// The 23 frames of the scroll-bar arrows, each a colour of its own.
inline std::vector<QColor> ArrowColours() {
  std::vector<QColor> arrows;
  for (int i = 0; i < 23; ++i) arrows.push_back(QColor(i * 10, 100, 100));
  return arrows;
}

}  // namespace skintest
