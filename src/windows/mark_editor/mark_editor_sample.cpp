// The mark editor's marked sample: the sample picture, the preview built
// from it (or from the checkerboard) through the mark set's own drawing,
// the read-outs and colour picking on it, dragging the mark with the
// mouse, and the commands on the sample.

#include <QCheckBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>

#include <optional>
#include <string>

#include "app/messages.h"
#include "app/routines.h"
#include "app/settings.h"
#include "core/files.h"
#include "imaging/process.h"
#include "windows/form_support.h"
#include "windows/gl_panel.h"
#include "windows/image_convert.h"
#include "windows/mark_editor/mark_editor.h"
#include "windows/mark_editor/mark_editor_widgets.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

void SetLabelColor(QLabel* label, TColor back, TColor font) {
  QPalette p = label->palette();
  p.setColor(QPalette::Window, ToQColor(back));
  p.setColor(QPalette::WindowText, ToQColor(font));
  label->setPalette(p);
  label->setAutoFillBackground(true);
}

}  // namespace

bool TfrmMakeMark::SampleInUse() const {
  const std::string name = edtPreviewFile->text().toStdString();
  return !name.empty() && name == sampleName_ && !sample_.Empty() && FileExists(name);
}

void TfrmMakeMark::SpeedButton3Click() {
  const TMakeMarkServices& services = Services();
  if (!services.ChoosePicture) return;
  TProgramInfo& settings = ProgramInfo();
  const std::optional<std::string> file = services.ChoosePicture(this, std::string(), settings.DefaultPreviewPath);
  if (!file) return;
  settings.DefaultPreviewPath = ExtractFilePathSlash(*file);
  edtPreviewFile->setText(Q(*file));
}

void TfrmMakeMark::edtPreviewFileChange() {
  const std::string name = edtPreviewFile->text().toStdString();
  if (!name.empty() && FileExists(name)) {
    // A sample that does not load is left out, as previews do.
    sample_ = LoadPicture(name, true);
    sampleName_ = sample_.Empty() ? std::string() : name;
  }
  RefreshPreview();
}

void TfrmMakeMark::sbClearClick() {
  edtPreviewFile->clear();
  RefreshPreview();
}

void TfrmMakeMark::RefreshPreview() {
  if (!ready_) return;
  previewPending_ = true;
  refreshTimer_->start();
}

void TfrmMakeMark::ProcessPendingRefresh() {
  refreshTimer_->stop();
  if (!ready_) {
    markImagePending_ = previewPending_ = false;
    return;
  }
  if (markImagePending_) BuildMarkImage();
  if (previewPending_) {
    previewPending_ = false;
    BuildPreview();
    PaintPreview();
  }
}

void TfrmMakeMark::BuildPreview() {
  if (!ready_) return;
  // The preview takes every number at its nearest bound; the boxes keep
  // what is being typed until the typing ends.
  TMarkOptions options = FormOptions();
  if (!::ValidateOptions(options)) return;
  ++builds_;
  const bool haveSample = SampleInUse();
  const TCompositePlan plan = PlanComposite(
      options.Has(mfResizeSource),
      TPoint{static_cast<int>(NumberValue(options, nfSourceWidth)), static_cast<int>(NumberValue(options, nfSourceHeight))},
      haveSample, TPoint{sample_.Width(), sample_.Height()}, TPoint{pnlPreview->width(), pnlPreview->height()});
  TBitmap& composite = markSet_.Composite;
  lblPreviewMessage->clear();
  composite = TBitmap();
  composite.SetPixelFormat(pf24bit);
  if (!plan.Fits) {
    lblPreviewMessage->setText(MessageText(msg::PreviewTooLarge));
    return;
  }
  try {
    if (plan.UseSample) {
      composite = sample_;
      composite.SetPixelFormat(pf24bit);
    } else {
      composite.SetSize(plan.Size.X, plan.Size.Y);
      DrawCheckerboard(composite);
    }
    markSet_.MarkPictures[0] = markPicture_;
    ::FormToMark(options, markSet_.Records[0]);
    markSet_.DrawMarks(plan.Base.X, plan.Base.Y);
  } catch (const EOutOfResources&) {
    composite = TBitmap();
    lblPreviewMessage->setText(MessageText(msg::PreviewTooLarge));
  } catch (const std::exception& e) {
    // A preview that cannot be drawn says why instead.
    composite = TBitmap();
    lblPreviewMessage->setText(Q(e.what()));
  }
}

void TfrmMakeMark::PaintPreview() {
  if (!ready_) return;
  const TBitmap& composite = markSet_.Composite;
  const QSize panel = pnlPreview->size();
  lblPreviewMessage->setGeometry(0, 0, panel.width(), panel.height());
  lblPreviewMessage->setVisible(!lblPreviewMessage->text().isEmpty());
  workBitmap_ = TBitmap();
  workBitmap_.SetPixelFormat(pf24bit);
  const TRect r = composite.Empty() ? TRect{} : PreviewRect(TPoint{panel.width(), panel.height()},
                                                            TPoint{composite.Width(), composite.Height()});
  opGL->setGeometry(r.Left, r.Top, r.Width(), r.Height());
  pbPreview->setGeometry(0, 0, r.Width(), r.Height());
  if (r.Width() > 0 && r.Height() > 0) {
    workBitmap_.SetSize(r.Width(), r.Height());
    workBitmap_.Canvas().StretchDraw(TRect{0, 0, r.Width(), r.Height()}, composite);
  }
  pbPreview->update();
}

void TfrmMakeMark::ShowPixelInfo(TPaintBox* box, int x, int y) {
  const std::optional<TPixelReadout> readout = ReadPixel(box == pbView ? viewBitmap_ : workBitmap_, x, y);
  if (!readout) return;
  lblColor->setText(Q(readout->ColorText));
  SetLabelColor(lblColor, readout->Color, readout->FontColor);
  lblLocate->setText(Q(readout->LocateText));
}

void TfrmMakeMark::PickColorAt(TPaintBox* box, Qt::MouseButton button, int x, int y) {
  const std::optional<TPixelReadout> readout = ReadPixel(box == pbView ? viewBitmap_ : workBitmap_, x, y);
  if (!readout) return;
  const bool angleSet = NumberValue(FormOptions(), nfAngle) != 0;
  switch (PickTarget(button == Qt::LeftButton, button == Qt::RightButton, angleSet, chkFlag->isChecked())) {
    case ptRotateBack:
      pnlRotateBackColor->SetColor(readout->Color);
      pnlRotateBackColor->SetFontColor(ContrastColor(readout->Color));
      break;
    case ptKeyColor:
      pnlColor->SetColor(readout->Color);
      break;
    case ptNone:
      break;
  }
  RefreshPreview();
}

void TfrmMakeMark::pbPreviewMouseDown(Qt::MouseButton button, QPoint pos) {
  if (chkDrag->isChecked() && button == Qt::LeftButton) {
    drag_.Begin(TPoint{pos.x(), pos.y()}, TPoint{edtXEX->value(), edtYEX->value()});
    return;
  }
  PickColorAt(pbPreview, button, pos.x(), pos.y());
}

void TfrmMakeMark::pbPreviewMouseMove(Qt::MouseButtons buttons, QPoint pos) {
  if (drag_.Active() && buttons == Qt::LeftButton) {
    const TPoint offsets = drag_.OffsetsAt(TPoint{pos.x(), pos.y()});
    {
      // Both offsets first, then one build.
      const QSignalBlocker detachedX(edtXEX);
      const QSignalBlocker detachedY(edtYEX);
      edtXEX->setValue(offsets.X);
      edtYEX->setValue(offsets.Y);
    }
    RefreshPreview();
  }
  ShowPixelInfo(pbPreview, pos.x(), pos.y());
}

void TfrmMakeMark::pbPreviewMouseUp(Qt::MouseButton button) {
  if (button == Qt::LeftButton) drag_.End();
}

void TfrmMakeMark::chkDragClick() {
  pbPreview->setCursor(chkDrag->isChecked() ? Qt::PointingHandCursor : Qt::CrossCursor);
}

void TfrmMakeMark::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  if (isVisible()) RefreshPreview();
}

bool TfrmMakeMark::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize) {
    Guarded([&] {
      if (watched == pnlPreview) {
        RefreshPreview();
      } else if (watched == ScrollBox1->viewport() && ready_) {
        LayoutMarkView();
      }
    });
  }
  return QDialog::eventFilter(watched, event);
}

void TfrmMakeMark::lblSaveAsClick() {
  if (markSet_.Composite.Empty()) return;
  const TMakeMarkServices& services = Services();
  if (!services.ChooseSaveName) return;
  const std::optional<std::string> file = services.ChooseSaveName(this, "sample");
  if (!file) return;
  if (FileExists(*file) &&
      ShowMsg(GetMessageText(msg::AskReplaceExisting), mkQuestion, SystemMessageCaption) != idYes) {
    return;
  }
  SaveImageFile(markSet_.Composite, *file);
}

void TfrmMakeMark::tbBrowseImageClick() {
  const TMakeMarkServices& services = Services();
  if (services.ViewPicture && !markSet_.Composite.Empty()) services.ViewPicture(this, markSet_.Composite);
}
