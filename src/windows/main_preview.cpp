#include "windows/main_preview.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>

#include <algorithm>

#include "imaging/mark.h"
#include "windows/form_support.h"
#include "windows/gl_panel.h"
#include "windows/image_convert.h"
#include "windows/main_models.h"
#include "windows/paint_box.h"

TPreviewPanel::TPreviewPanel(QWidget* parent) : QWidget(parent) {
  setObjectName("pnlPreview");
  // Never smaller than this, so the window can always be resized.
  setMinimumSize(PreviewMinimumSize, PreviewMinimumSize);
  pnlView = NewNamed<QWidget>(this, "pnlView");
  sbWidth = new QScrollBar(Qt::Horizontal, this);
  sbWidth->setObjectName("sbWidth");
  sbHeight = new QScrollBar(Qt::Vertical, this);
  sbHeight->setObjectName("sbHeight");
  sbWidth->hide();
  sbHeight->hide();
  opGL = NewNamed<TGLPanel>(pnlView, "opGL");
  pbPreview = NewNamed<TPaintBox>(opGL, "pbPreview");
  pbPreview->OnPaint = [this](QPainter& painter) { Paint(painter, *pbPreview); };
  pbPreview->OnMouseDown = [this](Qt::MouseButton button, Qt::MouseButtons, QPoint pos) { MouseDown(button, pos); };
  pbPreview->OnMouseMove = [this](Qt::MouseButtons buttons, QPoint pos) { MouseMove(buttons, pos); };
  pbPreview->OnMouseUp = [this](Qt::MouseButton button, QPoint) { MouseUp(button); };
  // The second click of a double click presses as the first did.
  pbPreview->OnDoubleClick = [this](Qt::MouseButton button, QPoint pos) {
    MouseDown(button, pos);
    if (button == Qt::LeftButton) emit DoubleClicked();
  };
  pbPreview->OnContextMenu = [this](QPoint globalPos) { emit ContextMenuRequested(globalPos); };
  previewBitmap_.SetPixelFormat(pf24bit);
  displayBitmap_.SetPixelFormat(pf24bit);
  connect(sbWidth, &QScrollBar::valueChanged, pbPreview, [this] { pbPreview->update(); });
  connect(sbHeight, &QScrollBar::valueChanged, pbPreview, [this] { pbPreview->update(); });
}

void TPreviewPanel::SetPicture(TBitmap picture) {
  imgTemp_ = std::move(picture);
  hasPicture_ = true;
}

void TPreviewPanel::Clear() {
  imgTemp_ = TBitmap();
  hasPicture_ = false;
  previewBitmap_ = TBitmap();
  previewBitmap_.SetPixelFormat(pf24bit);
  markedScratch_ = TBitmap();
  displayBitmap_ = TBitmap();
  displayBitmap_.SetPixelFormat(pf24bit);
  hasMarks_ = false;
  Relayout();
}

void TPreviewPanel::ResetScroll() {
  sbWidth->setValue(0);
  sbHeight->setValue(0);
}

void TPreviewPanel::UpdateMarks(const std::vector<std::string>& markFiles) {
  if (!hasPicture_) return;
  ResetScroll();
  // Drawn in the kept scratch picture, in the memory of the preview before
  // last, which then takes the old preview's memory.
  TBitmap& marked = markedScratch_;
  marked = imgTemp_;
  marked.SetPixelFormat(pf24bit);
  hasMarks_ = !markFiles.empty();
  if (hasMarks_) TMark::ApplyMarksToPicture(marked, markFiles);
  previewBitmap_.SwapPicture(marked);
  // The old preview's memory waits for the next one only while that one
  // could use it: a huge picture's memory is not kept for small ones.
  marked.KeepMemoryFor(previewBitmap_);
}

std::size_t TPreviewPanel::PictureMemoryBytes() const {
  return imgTemp_.MemoryBytes() + previewBitmap_.MemoryBytes() + markedScratch_.MemoryBytes() +
         displayBitmap_.MemoryBytes();
}

void TPreviewPanel::SetAutoFit(bool autoFit) {
  if (autoFit == autoFit_) return;
  autoFit_ = autoFit;
  ResetScroll();
  Relayout();
}

void TPreviewPanel::Relayout() {
  const TPoint panel{width(), height()};
  if (previewBitmap_.Width() <= 0 || previewBitmap_.Height() <= 0) {
    sbWidth->hide();
    sbHeight->hide();
    pnlView->setGeometry(0, 0, panel.X, panel.Y);
    opGL->setGeometry(0, 0, 0, 0);
    pbPreview->setGeometry(0, 0, 0, 0);
    displayBitmap_ = TBitmap();
    displayBitmap_.SetPixelFormat(pf24bit);
    pbPreview->update();
    return;
  }
  const TPoint picture{previewBitmap_.Width(), previewBitmap_.Height()};
  const int barWidth = sbHeight->sizeHint().width();
  const int barHeight = sbWidth->sizeHint().height();
  const TPreviewLayout layout = LayoutPreviewArea(autoFit_, panel, picture, barWidth, barHeight);

  if (autoFit_) {
    sbWidth->hide();
    sbHeight->hide();
    TBitmap fitted;
    fitted.SetPixelFormat(pf24bit);
    if (layout.DisplaySize.X > 0 && layout.DisplaySize.Y > 0) {
      fitted.SetSize(layout.DisplaySize.X, layout.DisplaySize.Y);
      fitted.Canvas().StretchDraw(TRect{0, 0, layout.DisplaySize.X, layout.DisplaySize.Y}, previewBitmap_);
    }
    displayBitmap_ = std::move(fitted);
  } else {
    displayBitmap_ = previewBitmap_;
    const auto setUp = [](QScrollBar* bar, const TScrollSetup& s) {
      const QSignalBlocker blocker(bar);
      bar->setRange(0, s.Max);
      bar->setPageStep(std::max(1, s.PageStep));
      bar->setSingleStep(std::max(1, s.LineStep));
      bar->setValue(0);
    };
    setUp(sbWidth, layout.Horizontal);
    setUp(sbHeight, layout.Vertical);
    sbWidth->setGeometry(0, layout.ViewSize.Y, layout.ViewSize.X, barHeight);
    sbHeight->setGeometry(layout.ViewSize.X, 0, barWidth, layout.ViewSize.Y);
    sbWidth->show();
    sbHeight->show();
  }
  pnlView->setGeometry(0, 0, layout.ViewSize.X, layout.ViewSize.Y);
  const TRect& r = layout.PictureRect;
  opGL->setGeometry(r.Left, r.Top, r.Width(), r.Height());
  pbPreview->setGeometry(0, 0, r.Width(), r.Height());
  pbPreview->update();
}

void TPreviewPanel::Paint(QPainter& painter, const QWidget& box) const {
  painter.fillRect(box.rect(), box.palette().window());
  if (displayBitmap_.Width() <= 0 || displayBitmap_.Height() <= 0) return;
  const QImage image = WrapBitmap(displayBitmap_);
  const int x = autoFit_ ? 0 : -sbWidth->value();
  const int y = autoFit_ ? 0 : -sbHeight->value();
  painter.drawImage(x, y, image);
}

void TPreviewPanel::MouseDown(Qt::MouseButton button, const QPoint& pos) {
  if (button != Qt::LeftButton || autoFit_) return;
  panning_ = true;
  panStart_ = pos;
  panStartPosX_ = sbWidth->value();
  panStartPosY_ = sbHeight->value();
}

void TPreviewPanel::MouseMove(Qt::MouseButtons buttons, const QPoint& pos) {
  if (!panning_ || buttons != Qt::LeftButton) return;
  sbWidth->setValue(panStartPosX_ - (pos.x() - panStart_.x()));
  sbHeight->setValue(panStartPosY_ - (pos.y() - panStart_.y()));
}

void TPreviewPanel::MouseUp(Qt::MouseButton button) {
  if (button == Qt::LeftButton) panning_ = false;
}

void TPreviewPanel::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Guarded([this] { Relayout(); });
}
