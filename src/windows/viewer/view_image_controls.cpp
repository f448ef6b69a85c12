// The viewer's construction: its popup menu and commands, its tool bar,
// and the captions from its language table (view_image_captions.cpp).

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>

#include "app/messages.h"
#include "imaging/bitmap_ops.h"
#include "imaging/drawing.h"
#include "windows/form_support.h"
#include "windows/viewer/view_image.h"
#include "windows/viewer/view_image_captions.h"

namespace {

// The version shown after the product name at the end of the caption.
const char* const ViewerVersion = "V3.09";

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

  CreateEditMenu();
  CreateRotateMenu();
  CreateEffectMenu();

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

  const auto connectTo = [this](QToolButton* b, QAction* action, TCursorButton cursorButton) {
    connect(b, &QToolButton::clicked, this, [this, action, cursorButton] {
      Guarded([&] {
        if (cursorButton == TCursorButton::None) {
          action->trigger();
        } else {
          ToolButtonCommand(cursorButton, [action] { action->trigger(); });
        }
      });
    });
  };
  connectTo(tbNext, mnuNext, TCursorButton::Next);
  connectTo(tbPrevious, mnuPrevious, TCursorButton::Previous);
  connectTo(tbZoomIn, mnuZoomIn, TCursorButton::ZoomIn);
  connectTo(tbZoomOut, mnuZoomOut, TCursorButton::ZoomOut);
  connectTo(tbZoomActual, mnuZoomActual, TCursorButton::None);
  connectTo(tbZoomBest, mnuZoomBest, TCursorButton::None);
  connectTo(tbReload, mnuReload, TCursorButton::None);
  connectTo(tbOptions, mnuOptions, TCursorButton::None);
  connectTo(tbExit, mnuExit, TCursorButton::None);
  connect(tbSlideshow, &QToolButton::clicked, this, [this] {
    Guarded([this] {
      // tbSlideshowClick: the cursor stays on the button while it runs.
      ToolButtonCommand(TCursorButton::Slideshow, [this] { mnuSlideshowClick(); });
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

void TfrmViewImage::CreateEditMenu() {
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
}

void TfrmViewImage::CreateRotateMenu() {
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
}

void TfrmViewImage::CreateEffectMenu() {
  const auto effect = [this](void (*op)(TBitmap&)) { return [this, op] { ApplyEffect(op); }; };
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
}

void TfrmViewImage::ApplyLanguage() {
  titleText_ = MessageText(msg::ProductTitle) + " " + ViewerVersion;
  for (const TControlCaption& c : ViewerMenuCaptions()) {
    const QString text = MessageText(c.Number);
    if (auto* action = findChild<QAction*>(c.Name)) action->setText(text);
    if (auto* menu = findChild<QMenu*>(c.Name)) menu->setTitle(text);
  }
  for (const TControlCaption& c : ViewerToolHints()) {
    if (auto* b = findChild<QToolButton*>(c.Name)) b->setToolTip(MessageText(c.Number));
  }
}

void TfrmViewImage::ShowLocks() {
  mnuZoomLock->setChecked(zoom_.ZoomLock);
  tbZoomLock->setChecked(zoom_.ZoomLock);
  mnuLocationLock->setChecked(zoom_.LocationLock);
}
