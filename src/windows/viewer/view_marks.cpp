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
  if (Count() == 0 || base.Width() <= 0 || base.Height() <= 0) {
    marked = base;
    marked.SetPixelFormat(pf24bit);
    return;
  }
  try {
    TBitmap& work = marks_->Composite;
    // The work image of the last picture is reused when the size is the
    // same: pages already mapped are written, not faulted in again.
    if (work.Width() == base.Width() && work.Height() == base.Height() && work.PixelFormat() == pf24bit &&
        base.PixelFormat() == pf24bit) {
      std::memcpy(work.Bits(), base.Bits(),
                  static_cast<std::size_t>(base.RowStride()) * static_cast<std::size_t>(base.Height()));
    } else {
      work = base;
      work.SetPixelFormat(pf24bit);
    }
    marks_->DrawMarks(base.Width(), base.Height());
    std::swap(marked, work);
    // The work picture takes the last marked picture's memory for the
    // next one only while that could use it.
    work.KeepMemoryFor(marked);
  } catch (const std::exception&) {
    marked = base;
    marks_->Composite.Clear();
  }
  marked.SetPixelFormat(pf24bit);
  // Rotation and effects of one picture never carry over to the next.
  try {
    marks_->RestoreMarkPictures();
  } catch (const std::exception&) {
    marks_.reset();
  }
}
