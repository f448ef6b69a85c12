#pragma once
// The marks the viewer draws: the mark files are read once for the
// viewer's life and drawn onto a copy of each picture (and of each GIF
// frame), so the picture without marks stays for the effects.

#include <memory>
#include <string>
#include <vector>

#include "core/bitmap.h"

class TMark;

// to := a 24-bit copy of from, in to's own memory when it fits there.
void CopyPictureInto(const TBitmap& from, TBitmap& to);

class TViewMarks {
 public:
  TViewMarks();
  ~TViewMarks();
  TViewMarks(const TViewMarks&) = delete;
  TViewMarks& operator=(const TViewMarks&) = delete;

  // Reads the mark files (bottom layer first). A damaged file leaves no
  // marks at all, as a damaged mark file stops a batch; false then.
  bool Load(const std::vector<std::string>& files);
  int Count() const;
  // marked := base with the marks drawn on it (base itself when there are
  // none, or when drawing fails), in marked's own memory when the picture
  // fits there.
  void Apply(const TBitmap& base, TBitmap& marked);
  // Draws the marks onto picture where it lies (no work picture of their
  // own), which becomes 24-bit. False when drawing failed, which may leave
  // it partly drawn.
  bool ApplyInPlace(TBitmap& picture);
  // Pixel memory the marks keep between pictures.
  std::size_t WorkMemoryBytes() const;

 private:
  std::unique_ptr<TMark> marks_;
};
