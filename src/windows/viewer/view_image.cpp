#include "windows/viewer/view_image.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCursor>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QRandomGenerator>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWheelEvent>
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
#include "windows/copy_files.h"
#include "windows/form_support.h"
#include "windows/gl_panel.h"
#include "windows/image_convert.h"
#include "windows/setup.h"

namespace {

// The version shown after the product name at the end of the caption.
const char* const ViewerVersion = "V3.09";

// Captions of the popup menu and hints of the tool bar.
struct TViewerCaption {
  const char* Name;
  int Number;
};
constexpr TViewerCaption MenuCaptions[] = {
    {"mnuNext", 1230},         {"mnuPrevious", 1231},        {"mnuSlideshow", 1232},
    {"mnuZoomIn", 1233},       {"mnuZoomOut", 1234},         {"mnuZoomActual", 1235},
    {"mnuZoomBest", 1236},     {"mnuZoomLock", 1237},        {"mnuReload", 1238},
    {"mnuFullScreen", 1239},   {"mnuEdit", 1242},            {"mnuCopy", 1243},
    {"mnuCopyToClip", 1244},   {"mnuDelete", 1245},          {"mnuCopyFileTo", 1246},
    {"mnuSaveAs", 1247},       {"mnuSave", 1248},            {"mnuOptions", 1250},
    {"mnuExit", 1251},         {"mnuLocationLock", 1252},    {"mnuRotate", 1260},
    {"mnuRotate90", 1261},     {"mnuRotate180", 1262},       {"mnuRotate270", 1263},
    {"mnuFilpHorizontal", 1264}, {"mnuFilpVertical", 1265},  {"mnuEffect", 1270},
    {"mnuBlur", 1271},         {"mnuSharpen", 1272},         {"mnuGrayscale", 1273},
    {"mnuIncreaseBrightness", 1274}, {"mnuDiminishBrightness", 1275},
    {"mnuIncreasecontrast", 1276}, {"mnuDiminishcontrast", 1277},
};
constexpr TViewerCaption ToolHints[] = {
    {"tbNext", 1350},       {"tbPrevious", 1351}, {"tbSlideshow", 1352}, {"tbZoomIn", 1353},
    {"tbZoomOut", 1354},    {"tbZoomActual", 1355}, {"tbZoomBest", 1356}, {"tbZoomLock", 1357},
    {"tbReload", 1358},     {"tbOptions", 1359},  {"tbExit", 1360},
};
constexpr int AskDeleteFile = 1290;  // followed by a blank, the file and "?"

// The information overlay's brush and line height.
const QColor OverlayBrush(255, 255, 180);
constexpr int OverlayLineHeight = 13;

// The GIF timer's first wait and its step once a GIF animates.
constexpr int GifFirstInterval = 100;
constexpr int GifInterval = 50;

template <class F>
QAction* ViewerAction(QWidget* owner, const char* name, F&& handler) {
  auto* action = new QAction(owner);
  action->setObjectName(name);
  QObject::connect(action, &QAction::triggered, owner, [handler] { Guarded(handler); });
  // Shortcuts work while the popup menu is closed.
  owner->addAction(action);
  return action;
}

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
      mode_(mode == 0 || mode == 1 ? mode : 2),
      fileName_(fileName),
      given_(bitmap),
      list_(list),
      markFiles_(markFiles),
      loader_(Services().LoadPicture ? Services().LoadPicture : SourcePictureLoader()),
      prefetcher_(loader_) {
  if (mode_ != 2 && !list_.Valid()) mode_ = 2;
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

void TfrmViewImage::CreateMenus() {
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName("PopupMenu1");
  const auto key = [this](int k, Qt::KeyboardModifiers m = Qt::NoModifier) {
    return [this, k, m] { FormKeyDown(k, m); };
  };
  mnuNext = ViewerAction(this, "mnuNext", key(Qt::Key_PageDown));
  mnuPrevious = ViewerAction(this, "mnuPrevious", key(Qt::Key_PageUp));
  mnuSlideshow = ViewerAction(this, "mnuSlideshow", [this] { mnuSlideshowClick(); });
  mnuSlideshow->setCheckable(true);
  mnuZoomIn = ViewerAction(this, "mnuZoomIn", key(Qt::Key_Plus, Qt::KeypadModifier));
  mnuZoomOut = ViewerAction(this, "mnuZoomOut", key(Qt::Key_Minus, Qt::KeypadModifier));
  mnuZoomActual = ViewerAction(this, "mnuZoomActual", key(Qt::Key_Slash, Qt::KeypadModifier));
  mnuZoomBest = ViewerAction(this, "mnuZoomBest", key(Qt::Key_Asterisk, Qt::KeypadModifier));
  mnuZoomLock = ViewerAction(this, "mnuZoomLock", [this] {
    zoom_.ToggleZoomLock();
    ShowLocks();
  });
  mnuZoomLock->setCheckable(true);
  mnuZoomLock->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
  mnuLocationLock = ViewerAction(this, "mnuLocationLock", [this] {
    zoom_.ToggleLocationLock();
    ShowLocks();
  });
  mnuLocationLock->setCheckable(true);
  mnuReload = ViewerAction(this, "mnuReload", [this] { mnuReloadClick(); });
  mnuReload->setShortcut(QKeySequence(Qt::Key_F5));
  mnuFullScreen = ViewerAction(this, "mnuFullScreen", key(Qt::Key_F, Qt::ControlModifier));
  mnuFullScreen->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
  mnuFullScreen->setCheckable(true);

  mnuEdit = new QMenu(PopupMenu1);
  mnuEdit->setObjectName("mnuEdit");
  mnuCopy = ViewerAction(this, "mnuCopy", [this] { mnuCopyClick(); });
  mnuCopy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
  mnuCopyToClip = ViewerAction(this, "mnuCopyToClip", [this] { mnuCopyToClipClick(); });
  mnuCopyToClip->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
  mnuCopyFileTo = ViewerAction(this, "mnuCopyFileTo", [this] { mnuCopyFileToClick(); });
  mnuCopyFileTo->setShortcut(QKeySequence(Qt::Key_F4));
  mnuSave = ViewerAction(this, "mnuSave", [this] { mnuSaveClick(); });
  mnuSave->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  mnuSaveAs = ViewerAction(this, "mnuSaveAs", [this] { mnuSaveAsClick(); });
  mnuSaveAs->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
  mnuDelete = ViewerAction(this, "mnuDelete", [this] { mnuDeleteClick(); });
  mnuDelete->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
  for (QAction* a : {mnuCopy, mnuCopyToClip, mnuCopyFileTo, mnuSave, mnuSaveAs, mnuDelete}) mnuEdit->addAction(a);

  const auto effect = [this](void (*op)(TBitmap&)) { return [this, op] { ApplyEffect(op); }; };
  mnuRotate = new QMenu(PopupMenu1);
  mnuRotate->setObjectName("mnuRotate");
  mnuRotate90 = ViewerAction(this, "mnuRotate90", effect(RotateBitmap90));
  mnuRotate90->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_5));
  mnuRotate180 = ViewerAction(this, "mnuRotate180", effect(RotateBitmap180));
  mnuRotate180->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_6));
  mnuRotate270 = ViewerAction(this, "mnuRotate270", effect(RotateBitmap270));
  mnuRotate270->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_7));
  mnuFilpHorizontal = ViewerAction(this, "mnuFilpHorizontal", effect(FlipBitmapHorz));
  mnuFilpHorizontal->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
  mnuFilpVertical = ViewerAction(this, "mnuFilpVertical", effect(FlipBitmapVert));
  mnuFilpVertical->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
  for (QAction* a : {mnuRotate90, mnuRotate180, mnuRotate270, mnuFilpHorizontal, mnuFilpVertical}) {
    mnuRotate->addAction(a);
  }

  mnuEffect = new QMenu(PopupMenu1);
  mnuEffect->setObjectName("mnuEffect");
  mnuBlur = ViewerAction(this, "mnuBlur", effect(Filter3x3));
  mnuBlur->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
  mnuSharpen = ViewerAction(this, "mnuSharpen", effect(SharpenBitmap));
  mnuSharpen->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
  mnuGrayscale = ViewerAction(this, "mnuGrayscale", effect(ToGrayscale));
  mnuGrayscale->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
  const auto adjust = [this](void (*op)(TBitmap&, TBitmap&, int), int step) {
    return [this, op, step] { ApplyEffect([op, step](TBitmap& b) { op(b, b, step); }); };
  };
  mnuIncreaseBrightness = ViewerAction(this, "mnuIncreaseBrightness", adjust(AdjustBrightness, 10));
  mnuIncreaseBrightness->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_BracketRight));
  mnuDiminishBrightness = ViewerAction(this, "mnuDiminishBrightness", adjust(AdjustBrightness, -10));
  mnuDiminishBrightness->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_BracketLeft));
  mnuIncreasecontrast = ViewerAction(this, "mnuIncreasecontrast", adjust(AdjustContrast, 10));
  mnuIncreasecontrast->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Period));
  mnuDiminishcontrast = ViewerAction(this, "mnuDiminishcontrast", adjust(AdjustContrast, -10));
  mnuDiminishcontrast->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
  for (QAction* a : {mnuBlur, mnuSharpen, mnuGrayscale, mnuIncreaseBrightness, mnuDiminishBrightness,
                     mnuIncreasecontrast, mnuDiminishcontrast}) {
    mnuEffect->addAction(a);
  }

  mnuOptions = ViewerAction(this, "mnuOptions", [this] { mnuOptionsClick(); });
  System1 = new QMenu(PopupMenu1);
  System1->setObjectName("System1");
  System1->setTitle("System");
  mnuDisplaypertain = ViewerAction(this, "mnuDisplaypertain", [this] { mnuDisplaypertainClick(); });
  mnuDisplaypertain->setCheckable(true);
  mnuDisplaypertain->setText("Display pertain");
  System1->addAction(mnuDisplaypertain);
  mnuExit = ViewerAction(this, "mnuExit", [this] { close(); });

  for (QAction* a : {mnuNext, mnuPrevious, mnuSlideshow}) PopupMenu1->addAction(a);
  PopupMenu1->addSeparator();
  for (QAction* a : {mnuZoomIn, mnuZoomOut, mnuZoomActual, mnuZoomBest, mnuZoomLock, mnuLocationLock}) {
    PopupMenu1->addAction(a);
  }
  PopupMenu1->addSeparator();
  PopupMenu1->addAction(mnuReload);
  PopupMenu1->addAction(mnuFullScreen);
  PopupMenu1->addMenu(mnuEdit);
  PopupMenu1->addMenu(mnuRotate);
  PopupMenu1->addMenu(mnuEffect);
  PopupMenu1->addSeparator();
  PopupMenu1->addAction(mnuOptions);
  PopupMenu1->addMenu(System1);
  PopupMenu1->addSeparator();
  PopupMenu1->addAction(mnuExit);
}

void TfrmViewImage::CreateToolBar() {
  const auto button = [this](const char* name, QStyle::StandardPixmap icon, const char* text) {
    auto* b = new QToolButton(tbTools);
    b->setObjectName(name);
    if (text != nullptr) {
      b->setText(text);
    } else {
      b->setIcon(style()->standardIcon(icon));
    }
    b->setAutoRaise(true);
    tbTools->addWidget(b);
    return b;
  };
  tbPrevious = button("tbPrevious", QStyle::SP_ArrowBack, nullptr);
  tbNext = button("tbNext", QStyle::SP_ArrowForward, nullptr);
  tbSlideshow = button("tbSlideshow", QStyle::SP_MediaPlay, nullptr);
  tbSlideshow->setCheckable(true);
  tbTools->addSeparator();
  tbZoomIn = button("tbZoomIn", QStyle::SP_CustomBase, "+");
  tbZoomOut = button("tbZoomOut", QStyle::SP_CustomBase, "-");
  tbZoomActual = button("tbZoomActual", QStyle::SP_CustomBase, "1:1");
  tbZoomBest = button("tbZoomBest", QStyle::SP_TitleBarMaxButton, nullptr);
  tbZoomLock = button("tbZoomLock", QStyle::SP_CustomBase, "L");
  tbZoomLock->setCheckable(true);
  tbTools->addSeparator();
  tbReload = button("tbReload", QStyle::SP_BrowserReload, nullptr);
  tbOptions = button("tbOptions", QStyle::SP_FileDialogContentsView, nullptr);
  tbExit = button("tbExit", QStyle::SP_DialogCloseButton, nullptr);

  const auto connectTo = [this](QToolButton* b, QAction* action, int cursorButton) {
    connect(b, &QToolButton::clicked, this, [this, action, cursorButton] {
      Guarded([&] {
        if (cursorButton < 0) {
          action->trigger();
        } else {
          ToolButtonCommand(cursorButton, [action] { action->trigger(); });
        }
      });
    });
  };
  connectTo(tbNext, mnuNext, 0);
  connectTo(tbPrevious, mnuPrevious, 1);
  connectTo(tbZoomIn, mnuZoomIn, 3);
  connectTo(tbZoomOut, mnuZoomOut, 4);
  connectTo(tbZoomActual, mnuZoomActual, -1);
  connectTo(tbZoomBest, mnuZoomBest, -1);
  connectTo(tbReload, mnuReload, -1);
  connectTo(tbOptions, mnuOptions, -1);
  connectTo(tbExit, mnuExit, -1);
  connect(tbSlideshow, &QToolButton::clicked, this, [this] {
    Guarded([this] {
      // tbSlideshowClick: the cursor stays on the button while it runs.
      ToolButtonCommand(2, [this] { mnuSlideshowClick(); });
      keepCursor_ = false;
    });
  });
  connect(tbZoomLock, &QToolButton::clicked, this, [this] {
    Guarded([this] {
      zoom_.ToggleZoomLock();
      ShowLocks();
    });
  });
  tbTools->adjustSize();
}

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
  if (mode_ != 2) marks_.Load(markFiles_);
  std::string failure;
  if (mode_ != 2) {
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
  if (mode_ != 2) {
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
        this, [failure] { Guarded([&] { ShowMsg(failure, 0, SystemMessageCaption); }); }, Qt::QueuedConnection);
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

void TfrmViewImage::ApplyLanguage() {
  titleText_ = MessageText(msg::ProductTitle) + " " + ViewerVersion;
  for (const TViewerCaption& c : MenuCaptions) {
    const QString text = MessageText(c.Number);
    if (auto* action = findChild<QAction*>(c.Name)) action->setText(text);
    if (auto* menu = findChild<QMenu*>(c.Name)) menu->setTitle(text);
  }
  for (const TViewerCaption& c : ToolHints) {
    if (auto* b = findChild<QToolButton*>(c.Name)) b->setToolTip(MessageText(c.Number));
  }
}

void TfrmViewImage::ShowLocks() {
  mnuZoomLock->setChecked(zoom_.ZoomLock);
  tbZoomLock->setChecked(zoom_.ZoomLock);
  mnuLocationLock->setChecked(zoom_.LocationLock);
}

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
  const bool hasFile = mode_ != 2;
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
  if (useAhead && imageType_ != 2 && prefetcher_.Pending() == fileName_) {
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
    if (imageType_ == 2) {
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
  if (mode_ == 2) {
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
  if (mode_ == 2) {
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
  if (mode_ == 2) return;
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
      GetImageType(nextFileName_) == 2 || GetImageType(fileName_) == 2) {
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

// ---- Tool buttons and the slideshow ----------------------------------------

void TfrmViewImage::ToolButtonCommand(int cursorButton, const std::function<void()>& action) {
  keepCursor_ = true;
  cursorButton_ = cursorButton;
  action();
  KeepCursorOnButton();
  keepCursor_ = false;
}

void TfrmViewImage::KeepCursorOnButton() {
  if (!keepCursor_) return;
  QToolButton* const buttons[] = {tbNext, tbPrevious, tbSlideshow, tbZoomIn, tbZoomOut};
  if (cursorButton_ < 0 || cursorButton_ > 4) return;
  QToolButton* b = buttons[cursorButton_];
  if (!b->isVisible()) return;
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
  if (mode_ == 2) return;
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
  cursorButton_ = 2;
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

// ---- GIF refresh -----------------------------------------------------------

void TfrmViewImage::timGIFTimer() {
  if (imageType_ != 2 || !gif_ || gif_->Images().Count() < 2) return;
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
  if (mode_ == 2) {
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
  if (mode_ == 2 || fileName_.empty()) return;
  CopyFileToClipboard(fileName_);
}

void TfrmViewImage::mnuCopyToClipClick() {
  if (pictureBitmap_.Width() <= 0 || pictureBitmap_.Height() <= 0) return;
  QGuiApplication::clipboard()->setImage(BitmapToQImage(pictureBitmap_));
}

bool TfrmViewImage::AskReplace(const std::string& target) {
  if (!FileExists(target)) return true;
  return ShowMsg(GetMessageText(msg::AskReplaceFile), 5, SystemMessageCaption) == idYes;
}

void TfrmViewImage::mnuCopyFileToClick() {
  if (mode_ == 2 || fileName_.empty()) return;
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
  if (mode_ == 2 || fileName_.empty()) return;
  WithSlideshowPaused([this] {
    const std::string question = GetMessageText(AskDeleteFile) + " " + fileName_ + "?";
    const bool yes = ShowMsg(question, 5, SystemMessageCaption) == idYes;
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
