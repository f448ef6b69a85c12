#include "windows/viewer/view_marks.h"

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
  if (Count() == 0 || base.Width() <= 0 || base.Height() <= 0) {
    marked = base;
    marked.SetPixelFormat(pf24bit);
    return;
  }
  try {
    marks_->Composite = base;
    marks_->DrawMarks(base.Width(), base.Height());
    marked = std::move(marks_->Composite);
  } catch (const std::exception&) {
    marked = base;
  }
  marked.SetPixelFormat(pf24bit);
  marks_->Composite.Clear();
  // Rotation and effects of one picture never carry over to the next.
  try {
    marks_->RestoreMarkPictures();
  } catch (const std::exception&) {
    marks_.reset();
  }
}
