// The viewer's commands: the tool buttons and the slideshow, effects and
// reload, the clipboard and the file commands.

#include <QClipboard>
#include <QCursor>
#include <QGuiApplication>
#include <QTimer>
#include <QToolButton>

#include "app/gui_handler.h"
#include "app/messages.h"
#include "app/routines.h"
#include "app/settings.h"
#include "core/exceptions.h"
#include "core/files.h"
#include "formats/gif/gif_image.h"
#include "imaging/process.h"
#include "skin/window_flags.h"
#include "windows/copy_files.h"
#include "windows/form_support.h"
#include "windows/image_convert.h"
#include "windows/setup.h"
#include "windows/viewer/view_image.h"

namespace {

constexpr int AskDeleteFile = 1290;  // followed by a blank, the file and "?"

}  // namespace

// ---- Tool buttons and the slideshow ----------------------------------------

void TfrmViewImage::ToolButtonCommand(TCursorButton cursorButton, const std::function<void()>& action) {
  keepCursor_ = true;
  cursorButton_ = cursorButton;
  action();
  KeepCursorOnButton();
  keepCursor_ = false;
}

QToolButton* TfrmViewImage::CursorButton(TCursorButton button) const {
  switch (button) {
    case TCursorButton::Next: return tbNext;
    case TCursorButton::Previous: return tbPrevious;
    case TCursorButton::Slideshow: return tbSlideshow;
    case TCursorButton::ZoomIn: return tbZoomIn;
    case TCursorButton::ZoomOut: return tbZoomOut;
    case TCursorButton::None: break;
  }
  return nullptr;
}

void TfrmViewImage::KeepCursorOnButton() {
  if (!keepCursor_) return;
  QToolButton* b = CursorButton(cursorButton_);
  if (b == nullptr || !b->isVisible()) return;
  // The window may have been resized under the mouse: the next click
  // should hit the same button.
  QCursor::setPos(b->mapToGlobal(b->rect().center()));
}

void TfrmViewImage::StartSlideshow() {
  slideRunning_ = true;
  timSlideshow->start(SlideInterval(ProgramInfo().SlideDelay));
}

void TfrmViewImage::StopSlideshow() {
  slideRunning_ = false;
  timSlideshow->stop();
  keepCursor_ = false;
}

void TfrmViewImage::mnuSlideshowClick() {
  if (mode_ == vmBitmap) return;
  if (slideRunning_) {
    StopSlideshow();
  } else {
    StartSlideshow();
  }
  mnuSlideshow->setChecked(slideRunning_);
  tbSlideshow->setChecked(slideRunning_);
}

void TfrmViewImage::timSlideshowTimer() {
  if (!slideRunning_) return;
  FormKeyDown(Qt::Key_Space, Qt::NoModifier);
  cursorButton_ = TCursorButton::Slideshow;
  KeepCursorOnButton();
  // The next wait starts once this picture is shown, so a short delay
  // never piles up steps.
  if (slideRunning_) timSlideshow->start(SlideInterval(ProgramInfo().SlideDelay));
}

bool TfrmViewImage::PauseSlideshow() {
  const bool was = slideRunning_;
  timSlideshow->stop();
  slideRunning_ = false;
  // The dialog must come up above the viewer. Only the window system is
  // told: setWindowFlag would make the native window anew, hiding the
  // viewer, which ends its exec() under the dialog. ApplyOptions raises
  // it again.
  SetWindowFlagLive(*this, Qt::WindowStaysOnTopHint, false);
  return was;
}

void TfrmViewImage::ResumeSlideshow(bool wasRunning) {
  if (wasRunning) StartSlideshow();
  ApplyOptions();
}

void TfrmViewImage::WithSlideshowPaused(const std::function<void()>& command) {
  const bool running = PauseSlideshow();
  try {
    command();
  } catch (...) {
    ResumeSlideshow(running);
    throw;
  }
  ResumeSlideshow(running);
}

// ---- Effects and reload ----------------------------------------------------

void TfrmViewImage::ApplyEffect(const std::function<void(TBitmap&)>& effect) {
  if (pictureBitmap_.Width() <= 0 || pictureBitmap_.Height() <= 0) return;
  // The effect works on the picture without marks, and the marks are
  // drawn once on its result. An animation stops at the changed frame.
  EnsureBase();
  if (base_.Width() <= 0 || base_.Height() <= 0) return;
  if (gif_) {
    gif_->StopDraw();
    gif_.reset();
  }
  base_.SetPixelFormat(pf24bit);
  effect(base_);
  base_.SetPixelFormat(pf24bit);
  MarkPicture();
  PaintBackground();
  ShowNewPicture();
}

void TfrmViewImage::mnuReloadClick() {
  PaintBackground();
  if (mode_ == vmBitmap) {
    base_ = given_;
    MarkPicture();
  } else {
    prefetcher_.Discard();
    ReadPicture(false);
  }
  LayoutView();
  ApplyZoom();
}

void TfrmViewImage::mnuDisplaypertainClick() { mnuReloadClick(); }

// ---- Clipboard and files ---------------------------------------------------

void TfrmViewImage::mnuCopyClick() {
  if (mode_ == vmBitmap || fileName_.empty()) return;
  CopyFileToClipboard(fileName_);
}

void TfrmViewImage::mnuCopyToClipClick() {
  if (pictureBitmap_.Width() <= 0 || pictureBitmap_.Height() <= 0) return;
  QGuiApplication::clipboard()->setImage(BitmapToQImage(pictureBitmap_));
}

bool TfrmViewImage::AskReplace(const std::string& target) {
  if (!FileExists(target)) return true;
  return ShowMsg(GetMessageText(msg::AskReplaceFile), mkQuestion, SystemMessageCaption) == idYes;
}

void TfrmViewImage::mnuCopyFileToClick() {
  if (mode_ == vmBitmap || fileName_.empty()) return;
  WithSlideshowPaused([this] {
    int filter = 1;
    const std::optional<std::string> chosen =
        Services().ChooseSaveName ? Services().ChooseSaveName(this, SaveDialogName(mode_, fileName_), filter)
                                  : std::nullopt;
    if (!chosen || chosen->empty() || !AskReplace(*chosen)) return;
    // A copy onto the file itself would leave nothing behind.
    if (!IsSameFile(fileName_, *chosen) && !CopyFileOver(fileName_, *chosen)) {
      throw Exception("The file could not be copied to " + *chosen + ".");
    }
  });
}

void TfrmViewImage::mnuSaveAsClick() {
  if (pictureBitmap_.Width() <= 0 || pictureBitmap_.Height() <= 0) return;
  WithSlideshowPaused([this] {
    int filter = 1;
    const std::optional<std::string> chosen =
        Services().ChooseSaveName ? Services().ChooseSaveName(this, SaveDialogName(mode_, fileName_), filter)
                                  : std::nullopt;
    if (!chosen || chosen->empty()) return;
    const std::string target = SaveAsTarget(*chosen, filter);
    if (AskReplace(target)) SaveImageFile(pictureBitmap_, target);
  });
}

void TfrmViewImage::mnuSaveClick() {
  if (!CanSaveInPlace(mode_, fileName_) || pictureBitmap_.Width() <= 0 || pictureBitmap_.Height() <= 0) return;
  WithSlideshowPaused([this] {
    if (AskReplace(fileName_)) SaveImageFile(pictureBitmap_, fileName_);
  });
}

void TfrmViewImage::mnuDeleteClick() {
  if (mode_ == vmBitmap || fileName_.empty()) return;
  WithSlideshowPaused([this] {
    const std::string question = GetMessageText(AskDeleteFile) + " " + fileName_ + "?";
    const bool yes = ShowMsg(question, mkQuestion, SystemMessageCaption) == idYes;
    if (yes && FileExists(fileName_)) {
      // The loader may be reading it; it lets go first.
      prefetcher_.Discard();
      DeleteFile(fileName_);
    }
    if (FileExists(fileName_)) return;
    const std::string gone = fileName_;
    const int count = list_.Count();
    const int index = list_.ItemIndex();
    if (index >= 0 && index < count && list_.FileName(index) != gone) {
      // The list has let go of the file already: its place holds the next.
      list_.Select(index);
      fileName_ = list_.FileName(index);
      LoadPicture(index);
    } else if (index + 1 < count) {
      FormKeyDown(Qt::Key_PageDown, Qt::NoModifier);
    }
  });
}

void TfrmViewImage::mnuOptionsClick() {
  WithSlideshowPaused([] {
    if (Services().ExecuteSetup) Services().ExecuteSetup(TfrmSetup::pgViewer);
  });
  LoadTilePicture();
  PaintBackground();
  RenderVisiblePart();
  PaintView();
}
