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

void TViewMarks::Apply(const TBitmap& base, TBitmap& marked) {
  CopyPictureInto(base, marked);
  if (Count() == 0 || marked.Width() <= 0 || marked.Height() <= 0) return;
  // The marks draw on their work picture: the copy is lent to it and
  // comes back.
  TBitmap& work = marks_->Composite;
  work.Clear();
  work.SwapPicture(marked);
  bool drawn = true;
  try {
    marks_->DrawMarks(base.Width(), base.Height());
  } catch (const std::exception&) {
    drawn = false;
  }
  marked.SwapPicture(work);
  work.Clear();
  if (!drawn) CopyPictureInto(base, marked);
  marked.SetPixelFormat(pf24bit);
  // Rotation and effects of one picture never carry over to the next.
  try {
    marks_->RestoreMarkPictures();
  } catch (const std::exception&) {
    marks_.reset();
  }
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
