#pragma once
// The main window's preview panel (pnlPreview): the view (pnlView) with the
// GL panel (opGL) and its paint box (pbPreview), and the scroll bars of the
// 1:1 view (sbWidth, sbHeight). It keeps the loaded picture (the hidden
// image "imgTemp"), the picture with the layered marks drawn on it and what
// the paint box shows, fits the picture into the view or scrolls it 1:1,
// and pans it with the mouse. Where the pieces go is worked out by
// LayoutPreviewArea (main_models.h).

#include <QPoint>
#include <QWidget>

#include <string>
#include <vector>

#include "core/bitmap.h"
#include "windows/paint_box.h"

class QPainter;
class QScrollBar;
class TGLPanel;

class TPreviewPanel : public QWidget {
  Q_OBJECT

 public:
  explicit TPreviewPanel(QWidget* parent);

  QWidget* pnlView;
  QScrollBar* sbWidth;
  QScrollBar* sbHeight;
  TGLPanel* opGL;
  TPaintBox* pbPreview;

  // Takes a loaded picture in place of the last one; the marks are drawn
  // on it by the next UpdateMarks.
  void SetPicture(TBitmap picture);
  // Drops the picture and everything drawn from it, and lays out the
  // empty panel.
  void Clear();
  bool HasPicture() const { return hasPicture_; }

  // Draws the mark files (bottom layer first) onto a copy of the loaded
  // picture; both scroll positions go back to 0. Without a picture nothing
  // happens. Raises what reading a mark raises.
  void UpdateMarks(const std::vector<std::string>& markFiles);
  // Places the view, the scroll bars and the paint box for the current
  // picture and fitting, and makes what the paint box shows.
  void Relayout();

  // Auto-fit (the picture shrunk into the view) or 1:1 with scroll bars.
  // A change puts both scroll positions back to 0 and lays out again.
  void SetAutoFit(bool autoFit);
  bool AutoFit() const { return autoFit_; }

  const TBitmap& PreviewBitmap() const { return previewBitmap_; }
  const TBitmap& DisplayBitmap() const { return displayBitmap_; }
  // The last UpdateMarks had at least one mark.
  bool HasMarks() const { return hasMarks_; }
  // Pixel memory held by the panel's pictures, the kept scratch included.
  std::size_t PictureMemoryBytes() const;

  // Panning of the 1:1 view, as the paint box reports the mouse.
  void MouseDown(Qt::MouseButton button, const QPoint& pos);
  void MouseMove(Qt::MouseButtons buttons, const QPoint& pos);
  void MouseUp(Qt::MouseButton button);
  void Paint(QPainter& painter, const QWidget& box) const;

 signals:
  // The paint box asks for its popup menu (global position).
  void ContextMenuRequested(const QPoint& globalPos);
  // A double click on the paint box.
  void DoubleClicked();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void ResetScroll();

  bool autoFit_ = true;
  bool hasPicture_ = false;  // imgTemp_ holds a loaded picture
  TBitmap imgTemp_;
  TBitmap previewBitmap_;
  TBitmap markedScratch_;  // the next marked picture is drawn here
  TBitmap displayBitmap_;
  bool hasMarks_ = false;
  bool panning_ = false;
  QPoint panStart_;
  int panStartPosX_ = 0;
  int panStartPosY_ = 0;
};
