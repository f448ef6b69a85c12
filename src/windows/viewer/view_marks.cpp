#include "windows/viewer/view_marks.h"

#include <cstring>
#include <exception>
#include <utility>

#include "imaging/mark.h"

TViewMarks::TViewMarks() = default;
TViewMarks::~TViewMarks() = default;

bool TViewMarks::Load(const std::vector<std::string>& files) {
  marks_.reset();
  if (files.empty()) return true;
  try {
    auto marks = std::make_unique<TMark>();
    marks->AddMarkFiles(files);
    marks->LoadMarks();
    marks_ = std::move(marks);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

int TViewMarks::Count() const { return marks_ ? marks_->Count() : 0; }

std::size_t TViewMarks::WorkMemoryBytes() const { return marks_ ? marks_->WorkMemoryBytes() : 0; }

void TViewMarks::Apply(const TBitmap& base, TBitmap& marked) {
  CopyPictureInto(base, marked);
  if (!ApplyInPlace(marked)) CopyPictureInto(base, marked);
}

bool TViewMarks::ApplyInPlace(TBitmap& picture) {
  picture.SetPixelFormat(pf24bit);
  if (Count() == 0 || picture.Width() <= 0 || picture.Height() <= 0) return true;
  // The marks draw on their work picture: the picture is lent to it and
  // comes back.
  TBitmap& work = marks_->Composite;
  work.Clear();
  work.SwapPicture(picture);
  bool drawn = true;
  try {
    marks_->DrawMarks(work.Width(), work.Height());
  } catch (const std::exception&) {
    drawn = false;
  }
  picture.SwapPicture(work);
  work.Clear();
  picture.SetPixelFormat(pf24bit);
  // Rotation and effects of one picture never carry over to the next.
  try {
    marks_->RestoreMarkPictures();
  } catch (const std::exception&) {
    marks_.reset();
  }
  return drawn;
}

void CopyPictureInto(const TBitmap& from, TBitmap& to) {
  if (from.PixelFormat() != pf24bit) {
    to = from;
    to.SetPixelFormat(pf24bit);
    return;
  }
  to.SetSizeForDecoding(from.Width(), from.Height(), pf24bit);
  if (from.Width() > 0 && from.Height() > 0) {
    std::memcpy(to.Bits(), from.Bits(),
                static_cast<std::size_t>(from.RowStride()) * static_cast<std::size_t>(from.Height()));
  }
}
