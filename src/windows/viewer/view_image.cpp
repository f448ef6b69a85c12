#include "windows/viewer/view_image.h"

#include <QApplication>
#include <QCursor>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QRandomGenerator>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWindow>

#include <algorithm>
#include <utility>

#include "app/gui_handler.h"
#include "app/messages.h"
#include "app/routines.h"
#include "app/settings.h"
#include "core/exceptions.h"
#include "core/files.h"
#include "formats/gif/gif_image.h"
#include "imaging/bitmap_ops.h"
#include "imaging/drawing.h"
#include "imaging/process.h"
#include "imaging/source_picture.h"
#include "skin/skin_manager.h"
#include "skin/window_flags.h"
#include "windows/form_support.h"
#include "windows/gl_panel.h"
#include "windows/image_convert.h"
#include "windows/setup.h"

namespace {

// The information overlay's brush and line height.
const QColor OverlayBrush(255, 255, 180);
constexpr int OverlayLineHeight = 13;

// The GIF timer's first wait and its step once a GIF animates.
constexpr int GifFirstInterval = 100;
constexpr int GifInterval = 50;

}  // namespace

// ---------------------------------------------------------------------------

TViewerServices& TfrmViewImage::Services() {
  static TViewerServices services = DefaultServices();
  return services;
}

TViewerServices TfrmViewImage::DefaultServices() {
  TViewerServices s;
  s.ExecuteSetup = [](int page) { return TfrmSetup::Execute(page); };
  s.ChooseSaveName = [](QWidget* owner, const std::string& startName,
                        int& filterIndex) -> std::optional<std::string> {
    QFileDialog dialog(owner);
    dialog.setObjectName("spdSave");
    // Qt's own dialog, which tells the chosen filter; the viewer asks
    // about an existing file itself.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    const QStringList filters = {"JPEG (*.jpg)", "JPEG (*.jpeg)", "GIF (*.gif)", "Bitmap (*.bmp)", "PNG (*.png)"};
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(QString::fromStdString(SaveDefaultExt(1)));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, filters](const QString& filter) {
      // spdSaveTypeChange: the default extension follows the filter.
      dialog.setDefaultSuffix(QString::fromStdString(SaveDefaultExt(static_cast<int>(filters.indexOf(filter)) + 1)));
    });
    dialog.selectFile(QString::fromStdString(startName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    filterIndex = static_cast<int>(filters.indexOf(dialog.selectedNameFilter())) + 1;
    return dialog.selectedFiles().first().toStdString();
  };
  s.LoadPicture = SourcePictureLoader();
  s.RandomIndex = [](int count) { return static_cast<int>(QRandomGenerator::global()->bounded(count)); };
  return s;
}

void TfrmViewImage::Execute(QWidget* owner, const TBitmap& bitmap, int mode, const std::string& fileName,
                            const TViewList& list, const std::vector<std::string>& markFiles) {
  TfrmViewImage viewer(owner, bitmap, mode, fileName, list, markFiles);
  viewer.exec();
}

TfrmViewImage::TfrmViewImage(QWidget* owner, const TBitmap& bitmap, int mode, const std::string& fileName,
                             const TViewList& list, const std::vector<std::string>& markFiles)
    : QDialog(owner),
      boxOwner_(this),
      mode_(mode == vmShellList || mode == vmConvList ? static_cast<TViewMode>(mode) : vmBitmap),
      fileName_(fileName),
      given_(bitmap),
      list_(list),
      markFiles_(markFiles),
      loader_(Services().LoadPicture ? Services().LoadPicture : SourcePictureLoader()),
      prefetcher_(loader_) {
  if (mode_ != vmBitmap && !list_.Valid()) mode_ = vmBitmap;
  setObjectName("frmViewImage");
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                 Qt::WindowCloseButtonHint);
  setSizeGripEnabled(false);
  const TProgramInfo& settings = ProgramInfo();
  zoom_.ReadFitSettings(settings);

  given_.SetPixelFormat(pf24bit);
  base_ = given_;
  for (TBitmap* b : {&pictureBitmap_, &cropBitmap_, &displayBitmap_, &backgroundBitmap_, &backBuffer_}) {
    b->SetPixelFormat(pf24bit);
  }

  cbTools = NewNamed<QWidget>(this, "cbTools");
  tbTools = new QToolBar(cbTools);
  tbTools->setObjectName("tbTools");
  tbTools->setIconSize(QSize(20, 20));
  opGL = new TGLPanel(this);
  opGL->setObjectName("opGL");
  opGL->setAutoFillBackground(true);
  QPalette black = opGL->palette();
  black.setColor(QPalette::Window, Qt::black);
  opGL->setPalette(black);
  pbPreview = NewNamed<TPaintBox>(opGL, "pbPreview");
  pbPreview->setAttribute(Qt::WA_OpaquePaintEvent);
  pbPreview->OnPaint = [this](QPainter& painter) { PaintPreview(painter, *pbPreview); };
  pbPreview->OnMouseDown = [this](Qt::MouseButton button, Qt::MouseButtons, QPoint pos) {
    PreviewMouseDown(button, pos);
  };
  pbPreview->OnMouseMove = [this](Qt::MouseButtons buttons, QPoint pos) { PreviewMouseMove(buttons, pos); };
  pbPreview->OnMouseUp = [this](Qt::MouseButton button, QPoint) { PreviewMouseUp(button); };
  pbPreview->OnDoubleClick = [this](Qt::MouseButton, QPoint) { close(); };
  pbPreview->OnContextMenu = [this](QPoint globalPos) { PopupMenu1->popup(globalPos); };
  pbPreview->OnWheel = [this](int delta) { PreviewWheel(delta); };

  timSlideshow = new QTimer(this);
  timSlideshow->setObjectName("timSlideshow");
  timSlideshow->setSingleShot(true);
  connect(timSlideshow, &QTimer::timeout, this, [this] { Guarded([this] { timSlideshowTimer(); }); });
  timGIF = new QTimer(this);
  timGIF->setObjectName("timGIF");
  timGIF->setInterval(GifFirstInterval);
  connect(timGIF, &QTimer::timeout, this, [this] { Guarded([this] { timGIFTimer(); }); });

  CreateMenus();
  CreateToolBar();
  // The key table holds whatever was clicked: no control of the window
  // takes the keyboard (a focused tool button would take the arrows to
  // move its focus and Space to press itself), the window keeps it.
  for (QWidget* w : cbTools->findChildren<QWidget*>()) w->setFocusPolicy(Qt::NoFocus);
  for (QWidget* w : {static_cast<QWidget*>(cbTools), static_cast<QWidget*>(opGL), static_cast<QWidget*>(pbPreview)}) {
    w->setFocusPolicy(Qt::NoFocus);
  }
  setFocusPolicy(Qt::StrongFocus);

  zoom_.ReadLocks(settings);
  ShowLocks();
  LoadTilePicture();
  zoom_.FullScreen = settings.ViewImageFullScreen;
  cbTools->setVisible(settings.ViewShowToolbar && !zoom_.FullScreen);
  UpdateCursor();
  setMinimumSize(120, ToolbarHeight() + 10);
  resize(640, 480);
  ApplyLanguageFont(this);
}

TfrmViewImage::~TfrmViewImage() { FormDestroy(); }

// ---- Life ----------------------------------------------------------------

void TfrmViewImage::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  Guarded([this] { FormShow(); });
}

void TfrmViewImage::FormShow() {
  if (!firstShow_) return;
  firstShow_ = false;
  if (QWindow* native = windowHandle()) native->installEventFilter(this);
  imageType_ = GetImageType(fileName_);
  ApplyLanguage();
  // One mark set for the viewer's life: the files are read once, not for
  // every picture or every GIF frame.
  if (mode_ != vmBitmap) marks_.Load(markFiles_);
  std::string failure;
  if (mode_ != vmBitmap) {
    failure = ReadPicture(false);
  } else {
    MarkPicture();
  }
  zoom_.CenterX = zoom_.CenterY = 0;
  ready_ = false;
  if (zoom_.FullScreen) {
    SetFullScreen(true);
  } else {
    AdjustWindowToPicture();
  }
  LayoutView();
  ComputeInitialZoom();
  RenderVisiblePart();
  PaintView();
  ready_ = true;
  ApplyOptions();
  timGIF->start();
  if (mode_ != vmBitmap) {
    // The picture after this one is read while this one is looked at.
    const int count = list_.Count();
    const int index = list_.ItemIndex();
    prefetchTarget_ = index >= 0 && index + 1 < count ? index + 1 : -1;
    nextFileName_ = prefetchTarget_ >= 0 ? list_.FileName(prefetchTarget_) : std::string();
    PrefetchNeighbour();
  }
  if (!failure.empty()) {
    // The viewer stays on the file that did not load, so that stepping
    // goes on from it; why it did not load is shown once it is on screen.
    QMetaObject::invokeMethod(
        this, [failure] { Guarded([&] { ShowMsg(failure, mkError, SystemMessageCaption); }); }, Qt::QueuedConnection);
  }
}

void TfrmViewImage::StopLoader() {
  timSlideshow->stop();
  timGIF->stop();
  slideRunning_ = false;
  // Every loader thread must be done before the viewer goes.
  prefetcher_.Wait();
}

void TfrmViewImage::closeEvent(QCloseEvent* event) {
  Guarded([this] { StopLoader(); });
  QDialog::closeEvent(event);
}

void TfrmViewImage::done(int result) {
  Guarded([this] { StopLoader(); });
  QDialog::done(result);
}

void TfrmViewImage::FormDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  try {
    StopLoader();
    if (gif_) gif_->StopDraw();
    unsetCursor();
    TProgramInfo& settings = ProgramInfo();
    settings.ViewImageFullScreen = zoom_.FullScreen;
    zoom_.WriteLocks(settings);
  } catch (...) {
    // Going away must not throw; the settings keep their values.
  }
}

// ---- Language and options --------------------------------------------------

void TfrmViewImage::ApplyOptions() {
  const TProgramInfo& settings = ProgramInfo();
  zoom_.ReadFitSettings(settings);
  const bool toolbarChanges = !zoom_.FullScreen && cbTools->isVisibleTo(this) != settings.ViewShowToolbar;
  if (toolbarChanges) cbTools->setVisible(settings.ViewShowToolbar);
  timSlideshow->setInterval(SlideInterval(settings.SlideDelay));
  // The window keeps its native window (and so stays in exec(), keeping
  // every other flag, the skin's borderless one too).
  SetWindowFlagLive(*this, Qt::WindowStaysOnTopHint, settings.ViewAlwaysTop);
  if (settings.ViewImageFullScreen != zoom_.FullScreen) SetFullScreen(settings.ViewImageFullScreen);
  mnuFullScreen->setChecked(zoom_.FullScreen);
  mnuSlideshow->setChecked(slideRunning_);
  tbSlideshow->setChecked(slideRunning_);
  const bool hasFile = mode_ != vmBitmap;
  if (!hasFile) {
    mnuNext->setEnabled(false);
    mnuPrevious->setEnabled(false);
  } else {
    const int count = list_.Count();
    const int index = list_.ItemIndex();
    mnuPrevious->setEnabled(count > 0 && index > 0);
    mnuNext->setEnabled(count > 0 && index < count - 1);
  }
  tbNext->setEnabled(mnuNext->isEnabled());
  tbPrevious->setEnabled(mnuPrevious->isEnabled());
  mnuSlideshow->setEnabled(hasFile);
  tbSlideshow->setEnabled(hasFile);
  // Commands on the file need a file.
  for (QAction* a : {mnuCopy, mnuCopyFileTo, mnuDelete}) a->setEnabled(hasFile && !fileName_.empty());
  mnuSave->setEnabled(CanSaveInPlace(mode_, fileName_));
  UpdateCursor();
  if (toolbarChanges && ready_) {
    // The picture takes the tool bar's band, or gives it back, at once.
    LayoutView();
    RenderVisiblePart();
    PaintView();
  }
}

void TfrmViewImage::LoadTilePicture() {
  const TProgramInfo& settings = ProgramInfo();
  tilePicture_ = TBitmap();
  if (!settings.ViewEnableTiledImage || !FileExists(settings.ViewTiledImage)) return;
  try {
    tilePicture_ = LoadSourcePicture(settings.ViewTiledImage);
  } catch (const std::exception&) {
    tilePicture_ = TBitmap();  // an unreadable tile gives the solid colour
  }
}

void TfrmViewImage::UpdateCursor() {
  const bool hide = zoom_.FullScreen && ProgramInfo().ViewHideMouse;
  if (hide) {
    setCursor(Qt::BlankCursor);
    pbPreview->setCursor(Qt::BlankCursor);
  } else {
    unsetCursor();
    pbPreview->unsetCursor();
  }
}

void TfrmViewImage::SetFullScreen(bool on) {
  zoom_.FullScreen = on;
  ProgramInfo().ViewImageFullScreen = on;
  settingBounds_ = true;
  if (on) {
    cbTools->hide();
    setWindowState(windowState() | Qt::WindowFullScreen);
    if (QScreen* s = screen()) setGeometry(s->geometry());
  } else {
    setWindowState(windowState() & ~Qt::WindowFullScreen);
    cbTools->setVisible(true);
  }
  settingBounds_ = false;
  mnuFullScreen->setChecked(on);
  UpdateCursor();
}

// ---- Pictures --------------------------------------------------------------

std::string TfrmViewImage::ReadPicture(bool useAhead) {
  imageType_ = GetImageType(fileName_);
  if (gif_) gif_->StopDraw();
  gif_.reset();
  // What was loaded ahead is used when it is this file. Otherwise it is
  // dropped, its memory kept for the next load ahead.
  std::optional<TBitmap> ahead;
  if (useAhead && imageType_ != itGif && prefetcher_.Pending() == fileName_) {
    ahead = prefetcher_.Take(fileName_);
  } else {
    KeepSpare(prefetcher_.Drop());
  }
  // The picture without marks is the file's until an effect changes it:
  // read again from the file when one asks for it.
  KeepSpare(std::move(base_));
  base_ = TBitmap();
  std::string failure;
  try {
    if (imageType_ == itGif) {
      auto gif = std::make_unique<TGIFImage>();
      gif->LoadFromFile(fileName_);
      PaintFirstGifFrame(*gif, base_);
      ++directLoads_;
      if (gif->Images().Count() >= 2) {
        gifCanvas_ = TBitmap(base_.Width(), base_.Height(), pf24bit);
        gif_ = std::move(gif);
        timGIF->setInterval(GifFirstInterval);
      }
      MarkPicture();
      return failure;
    }
    if (ahead) {
      // The picture shown before is kept for the next load ahead.
      KeepSpare(std::move(pictureBitmap_));
      pictureBitmap_ = std::move(*ahead);
      ++prefetchHits_;
    } else {
      // Read into the memory of the picture shown before.
      loader_(fileName_, pictureBitmap_);
      ++directLoads_;
    }
  } catch (const std::exception& e) {
    base_.Clear();
    pictureBitmap_.Clear();  // a picture that does not load shows as none
    gif_.reset();
    failure = e.what();
  }
  pictureBitmap_.SetPixelFormat(pf24bit);
  // The marks are drawn on the picture read, where it lies: a step copies
  // no picture. Should drawing fail half-way, the file's picture is shown
  // without marks.
  if (!marks_.ApplyInPlace(pictureBitmap_)) {
    try {
      loader_(fileName_, pictureBitmap_);
    } catch (const std::exception&) {
      pictureBitmap_.Clear();
    }
    pictureBitmap_.SetPixelFormat(pf24bit);
  }
  // Whatever a picture was read into is the shown picture's now, so no
  // step faults in fresh memory for it.
  return failure;
}

int TfrmViewImage::PicturesHeld() const {
  int held = static_cast<int>(prefetcher_.Retired()) + (prefetcher_.Pending().empty() ? 0 : 1);
  for (const TBitmap* b : {&base_, &spare_, &pictureBitmap_}) {
    if (b->Width() > 0 && b->Height() > 0) ++held;
  }
  return held;
}

void TfrmViewImage::KeepSpare(TBitmap picture) {
  if (spare_.Width() <= 0 || spare_.Height() <= 0) spare_ = std::move(picture);
}

const TBitmap& TfrmViewImage::BasePicture() {
  EnsureBase();
  return base_;
}

void TfrmViewImage::EnsureBase() {
  if (base_.Width() > 0 && base_.Height() > 0) return;
  if (mode_ == vmBitmap) {
    base_ = given_;
  } else if (pictureBitmap_.Width() > 0 && pictureBitmap_.Height() > 0) {
    // Read again into the spare picture's memory, if there is one.
    base_ = std::move(spare_);
    spare_ = TBitmap();
    loader_(fileName_, base_);
  }
  base_.SetPixelFormat(pf24bit);
}

void TfrmViewImage::MarkPicture() {
  if (mode_ == vmBitmap) {
    CopyPictureInto(base_, pictureBitmap_);
    return;
  }
  marks_.Apply(base_, pictureBitmap_);
}

void TfrmViewImage::LoadPicture(int) {
  ReadPicture(true);
  ShowNewPicture();
}

void TfrmViewImage::ShowNewPicture() {
  zoom_.ResetForNewPicture();
  AdjustWindowToPicture();
  LayoutView();
  ComputeInitialZoom();
  RenderVisiblePart();
  PaintView();
  ApplyOptions();
}

// ---- Geometry --------------------------------------------------------------

int TfrmViewImage::ToolbarHeight() const {
  return cbTools->isVisibleTo(this) ? std::max(tbTools->sizeHint().height(), 1) : 0;
}

int TfrmViewImage::ToolbarMinWidth() const {
  return cbTools->isVisibleTo(this) ? tbTools->sizeHint().width() + 5 : 0;
}

QMargins TfrmViewImage::WindowManagerFrame() const {
  const QWindow* native = windowHandle();
  return native != nullptr && isVisible() ? native->frameMargins() : QMargins();
}

QRect TfrmViewImage::RoomForClient() {
  // The whole window, frame and title bar included, must fit the screen.
  // A skin's frame lies inside the window; a window manager's lies
  // outside it and is known only once it has framed the window.
  fittedFrame_ = WindowManagerFrame();
  return screen()->availableGeometry().marginsRemoved(SkinFrameMarginsOf(this) + fittedFrame_);
}

void TfrmViewImage::PlaceClient(const QRect& room, const TRect& client, int toolbar) {
  settingBounds_ = true;
  setGeometry(QRect(room.left() + client.Left, room.top() + client.Top, client.Right - client.Left,
                    client.Bottom - client.Top + toolbar)
                  .marginsAdded(SkinFrameMarginsOf(this)));
  settingBounds_ = false;
}

void TfrmViewImage::AdjustWindowToPicture() {
  if (zoom_.FullScreen) {
    if (QScreen* s = screen()) {
      settingBounds_ = true;
      setGeometry(s->geometry());
      settingBounds_ = false;
    }
    return;
  }
  if (screen() == nullptr || (windowState() & Qt::WindowMaximized)) return;
  fittedToZoom_ = false;
  const QRect room = RoomForClient();
  const TPoint picture{pictureBitmap_.Width(), pictureBitmap_.Height()};
  zoom_.Picture = picture;
  const TPoint wanted = zoom_.WindowPictureSize();
  const int toolbar = ToolbarHeight();
  const TRect r = WindowRectForPicture(TPoint{room.width(), room.height() - toolbar}, wanted, zoom_.SettingZoomFit,
                                       zoom_.SettingShrinkFit, ToolbarMinWidth());
  PlaceClient(room, r, toolbar);
}

void TfrmViewImage::ApplyZoom() {
  if (!zoom_.FullScreen && !(windowState() & Qt::WindowMaximized) && screen() != nullptr) {
    fittedToZoom_ = true;
    const QRect room = RoomForClient();
    const int toolbar = ToolbarHeight();
    const bool mayEnlarge = zoom_.FitOverride ? zoom_.FitEnlarge : zoom_.SettingZoomFit;
    const TRect r = WindowRectForZoom(TPoint{room.width(), room.height() - toolbar}, zoom_.ZoomedSize(), mayEnlarge,
                                      ToolbarMinWidth());
    PlaceClient(room, r, toolbar);
  }
  LayoutView();
  RenderVisiblePart();
  PaintView();
  UpdateTitle();
}

bool TfrmViewImage::eventFilter(QObject* watched, QEvent* event) {
  if (watched == windowHandle() && !refitPosted_ &&
      (event->type() == QEvent::Expose || event->type() == QEvent::Resize || event->type() == QEvent::Move)) {
    // A window manager frames the window after it was first fitted: once
    // its frame is known, the window is fitted again with it.
    if (ready_ && !settingBounds_ && WindowManagerFrame() != fittedFrame_) {
      refitPosted_ = true;
      QMetaObject::invokeMethod(this, [this] { Guarded([this] { RefitToFrame(); }); }, Qt::QueuedConnection);
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TfrmViewImage::RefitToFrame() {
  refitPosted_ = false;
  if (!ready_ || zoom_.FullScreen || (windowState() & Qt::WindowMaximized) || WindowManagerFrame() == fittedFrame_) {
    return;
  }
  if (fittedToZoom_) {
    ApplyZoom();
    return;
  }
  AdjustWindowToPicture();
  LayoutView();
  ComputeInitialZoom();
  RenderVisiblePart();
  PaintView();
}

void TfrmViewImage::ComputeInitialZoom() {
  zoom_.Picture = TPoint{pictureBitmap_.Width(), pictureBitmap_.Height()};
  zoom_.View = TPoint{pbPreview->width(), pbPreview->height()};
  zoom_.ComputeInitialZoom();
}

void TfrmViewImage::LayoutView() {
  const int toolbar = ToolbarHeight();
  // Inside the margins, where a skin draws its frame.
  const QRect inner = contentsRect();
  cbTools->setGeometry(inner.left(), inner.top(), inner.width(), toolbar);
  tbTools->setGeometry(0, 0, inner.width(), toolbar);
  opGL->setGeometry(inner.left(), inner.top() + toolbar, inner.width(), std::max(0, inner.height() - toolbar));
  pbPreview->setGeometry(0, 0, opGL->width(), opGL->height());
  zoom_.View = TPoint{pbPreview->width(), pbPreview->height()};
  if (backgroundBitmap_.Width() != zoom_.View.X || backgroundBitmap_.Height() != zoom_.View.Y) {
    backgroundBitmap_.SetSize(std::max(zoom_.View.X, 0), std::max(zoom_.View.Y, 0));
    PaintBackground();
  }
}

void TfrmViewImage::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  Guarded([this] {
    if (!isVisible() || firstShow_) return;
    // While the program itself moves or sizes the window, its caller
    // renders once it is done.
    if (!ready_ || settingBounds_) {
      LayoutView();
      return;
    }
    if (height() <= 0) {
      mnuReloadClick();
      return;
    }
    LayoutView();
    RenderVisiblePart();
    PaintView();
  });
}

// ---- Painting --------------------------------------------------------------

void TfrmViewImage::RenderVisiblePart() {
  zoom_.Picture = TPoint{pictureBitmap_.Width(), pictureBitmap_.Height()};
  zoom_.View = TPoint{pbPreview->width(), pbPreview->height()};
  plan_ = zoom_.RenderVisiblePart();
  RenderPlanInto(pictureBitmap_, plan_, cropBitmap_, displayBitmap_);
}

void TfrmViewImage::PaintBackground() {
  const TProgramInfo& settings = ProgramInfo();
  backgroundBitmap_.SetPixelFormat(pf24bit);
  if (backgroundBitmap_.Width() <= 0 || backgroundBitmap_.Height() <= 0) {
    backBuffer_ = backgroundBitmap_;
    return;
  }
  if (settings.ViewEnableTiledImage && tilePicture_.Width() > 0 && tilePicture_.Height() > 0) {
    TileBitmap(tilePicture_, backgroundBitmap_, 1);
  } else {
    backgroundBitmap_.Canvas().Brush.Color = settings.ViewSolidColor;
    backgroundBitmap_.Canvas().Brush.Style = bsSolid;
    backgroundBitmap_.Canvas().FillRect(TRect{0, 0, backgroundBitmap_.Width(), backgroundBitmap_.Height()});
  }
  backBuffer_ = backgroundBitmap_;
}

void TfrmViewImage::PaintView() {
  // The picture's old place may be larger than its new one.
  backBuffer_ = backgroundBitmap_;
  if (!plan_.Empty && displayBitmap_.Width() > 0) {
    backBuffer_.Canvas().Draw(plan_.Dest.Left, plan_.Dest.Top, displayBitmap_);
  }
  UpdateTitle();
  pbPreview->update();
}

void TfrmViewImage::PaintPreview(QPainter& painter, const QWidget& box) {
  if (!ready_ || settingBounds_ || backBuffer_.Width() <= 0) {
    painter.fillRect(box.rect(), ToQColor(ProgramInfo().ViewSolidColor));
    return;
  }
  painter.drawImage(0, 0, WrapBitmap(backBuffer_));
  if (!mnuDisplaypertain->isChecked()) return;
  const TProgramInfo& settings = ProgramInfo();
  const QString name = QString::fromStdString(settings.ViewShowFullPath ? fileName_ : ExtractFileName(fileName_));
  const QStringList lines = {
      QString(" Scale:%1 ").arg(static_cast<double>(zoom_.Zoom) / 10.0, 0, 'f', 2),
      QString(" Center:%1:%2 ").arg(zoom_.CenterX).arg(zoom_.CenterY),
      QString(" Size:%1x%2 ").arg(pictureBitmap_.Width()).arg(pictureBitmap_.Height()),
      QString(" Byte::%1 ").arg(fileName_.empty() ? 0 : std::max<std::int64_t>(GetFileSizeByName(fileName_), 0)),
      QString(" %1 ").arg(name),
  };
  QFont font = painter.font();
  font.setPixelSize(11);
  painter.setFont(font);
  const QFontMetrics metrics(font);
  for (int i = 0; i < lines.size(); ++i) {
    const QRect r(0, i * OverlayLineHeight, metrics.horizontalAdvance(lines[i]), OverlayLineHeight);
    painter.fillRect(r, OverlayBrush);
    painter.setPen(Qt::black);
    painter.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, lines[i]);
  }
}

void TfrmViewImage::UpdateTitle() {
  const TProgramInfo& settings = ProgramInfo();
  const std::string name = settings.ViewShowFullPath ? fileName_ : ExtractFileName(fileName_);
  setWindowTitle(QString("%1% - %2x%3 - %4 - %5")
                     .arg((zoom_.Zoom + 5) / 10)
                     .arg(pictureBitmap_.Width())
                     .arg(pictureBitmap_.Height())
                     .arg(QString::fromStdString(name))
                     .arg(titleText_));
}

// ---- Keyboard --------------------------------------------------------------

void TfrmViewImage::keyPressEvent(QKeyEvent* event) {
  bool handled = false;
  Guarded([&] { handled = FormKeyDown(event->key(), event->modifiers()); });
  if (handled) {
    event->accept();
  } else {
    QWidget::keyPressEvent(event);  // not QDialog's: Enter and Esc are ours
  }
}

bool TfrmViewImage::FormKeyDown(int key, Qt::KeyboardModifiers modifiers) {
  const auto renderExplicit = [this] {
    RenderVisiblePart();
    PaintView();
  };
  switch (key) {
    case Qt::Key_Left: zoom_.Move(-1, 0); renderExplicit(); return true;
    case Qt::Key_Right: zoom_.Move(1, 0); renderExplicit(); return true;
    case Qt::Key_Up: zoom_.Move(0, -1); renderExplicit(); return true;
    case Qt::Key_Down: zoom_.Move(0, 1); renderExplicit(); return true;
    case Qt::Key_Plus:
      if (zoom_.ZoomIn()) ApplyZoom();
      return true;
    case Qt::Key_Minus:
      if (zoom_.ZoomOut()) ApplyZoom();
      return true;
    case Qt::Key_Slash:
      zoom_.ZoomActual();
      ApplyZoom();
      return true;
    case Qt::Key_Asterisk:
      zoom_.View = TPoint{pbPreview->width(), pbPreview->height()};
      zoom_.ZoomBest();
      renderExplicit();
      return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
      if (slideRunning_) {
        StopSlideshow();
        ApplyOptions();
      } else {
        close();
      }
      return true;
    case Qt::Key_F:
      if (!(modifiers & Qt::ControlModifier)) return false;
      SetFullScreen(!zoom_.FullScreen);
      ApplyOptions();
      ApplyZoom();
      return true;
    case Qt::Key_Space: Navigate(TNavigateKey::Space); return true;
    case Qt::Key_PageUp: Navigate(TNavigateKey::PageUp); return true;
    case Qt::Key_PageDown: Navigate(TNavigateKey::PageDown); return true;
    case Qt::Key_Home: Navigate(TNavigateKey::Home); return true;
    case Qt::Key_End: Navigate(TNavigateKey::End); return true;
    case Qt::Key_Delete: mnuDeleteClick(); return true;
    case Qt::Key_Pause: mnuSlideshowClick(); return true;
    default: return false;
  }
}

void TfrmViewImage::Navigate(TNavigateKey key) {
  if (mode_ == vmBitmap) return;
  const int count = list_.Count();
  if (count <= 0) return;
  const TRandomIndex random = Services().RandomIndex ? Services().RandomIndex : DefaultServices().RandomIndex;
  const int index = NavigateIndex(key, list_.ItemIndex(), count, ProgramInfo().SlideSequence, random);
  if (index < 0) return;
  list_.Select(index);
  fileName_ = list_.FileName(index);
  zoom_.FitOverride = true;
  LoadPicture(index);
  prefetchTarget_ = PrefetchIndex(key, index, count, ProgramInfo().SlideSequence);
  nextFileName_ = prefetchTarget_ >= 0 ? list_.FileName(prefetchTarget_) : std::string();
  PrefetchNeighbour();
}

void TfrmViewImage::PrefetchNeighbour() {
  if (nextFileName_.empty() || nextFileName_ == fileName_ || !FileExists(nextFileName_) ||
      GetImageType(nextFileName_) == itGif || GetImageType(fileName_) == itGif) {
    prefetcher_.Discard();
    spare_ = TBitmap();
    return;
  }
  if (prefetcher_.Pending() == nextFileName_) return;  // on its way already
  prefetcher_.Start(nextFileName_, std::move(spare_));
  spare_ = TBitmap();
}

// ---- Mouse -----------------------------------------------------------------

void TfrmViewImage::PreviewMouseDown(Qt::MouseButton button, const QPoint& pos) {
  if (button != Qt::LeftButton) return;
  panning_ = true;
  panStart_ = pos;
  panCenter_ = TPoint{zoom_.CenterX, zoom_.CenterY};
}

void TfrmViewImage::PreviewMouseMove(Qt::MouseButtons buttons, const QPoint& pos) {
  if (!panning_ || buttons != Qt::LeftButton) return;
  zoom_.Pan(panCenter_, pos.x() - panStart_.x(), pos.y() - panStart_.y());
  RenderVisiblePart();
  PaintView();
}

void TfrmViewImage::PreviewMouseUp(Qt::MouseButton button) {
  if (button == Qt::LeftButton) panning_ = false;
}

void TfrmViewImage::PreviewWheel(int delta) { FormKeyDown(delta < 1 ? Qt::Key_PageDown : Qt::Key_PageUp, Qt::NoModifier); }

// ---- GIF refresh -----------------------------------------------------------

void TfrmViewImage::timGIFTimer() {
  if (imageType_ != itGif || !gif_ || gif_->Images().Count() < 2) return;
  timGIF->setInterval(GifInterval);
  // The GIF image's painter steps the frames; this samples the frame it
  // shows and marks it.
  gifCanvas_.Canvas().Brush.Color = clWhite;
  gif_->Draw(gifCanvas_.Canvas(), TRect{0, 0, gifCanvas_.Width(), gifCanvas_.Height()});
  CopyPictureInto(gifCanvas_, base_);
  MarkPicture();
  ++gifRedraws_;
  zoom_.OverrideFit();
  RenderVisiblePart();
  PaintView();
}
