#include "skin/skin_form.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QLayout>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QWidget>
#include <QWindow>

#include <algorithm>

#include "skin/skin_data.h"
#include "skin/skin_draw.h"
#include "skin/skin_events.h"
#include "skin/skin_manager.h"
#include "skin/skin_menu_draw.h"
#include "skin/skin_style.h"
#include "skin/window_flags.h"
#include "skin/window_manager.h"

// What the control table changed on a control, to be put back.
struct TWinSkinForm::TControlChange {
  QPointer<QWidget> Control;
  TChildEffect Effect = TChildEffect::None;
  bool OwnPalette = false;
  QPalette Palette;
  bool AutoFill = false;
  bool Grip = false;
};

namespace {

constexpr int HoverInterval = 250;
constexpr int MenuCaptionLimit = 80;

int CaptionButtonsOf(Qt::WindowFlags flags) {
  Qt::WindowFlags hints = flags;
  if (!(flags & Qt::CustomizeWindowHint)) {
    // Without hints of its own a window has the buttons of its kind.
    hints |= Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if ((flags & Qt::WindowType_Mask) == Qt::Window) hints |= Qt::WindowMinMaxButtonsHint;
  }
  int buttons = 0;
  if (hints & Qt::WindowSystemMenuHint) buttons |= cbSystemMenu;
  if (hints & Qt::WindowMinimizeButtonHint) buttons |= cbMinimize;
  if (hints & Qt::WindowMaximizeButtonHint) buttons |= cbMaximize;
  return buttons;
}

int BaseFrameKindOf(Qt::WindowFlags flags) {
  if (flags & Qt::FramelessWindowHint) return fkBorderless;
  if ((flags & Qt::CustomizeWindowHint) && !(flags & Qt::WindowTitleHint)) return fkThin;
  return fkFramed;
}

int ShowStateOf(const QWidget& w) {
  const Qt::WindowStates s = w.windowState();
  if (s & Qt::WindowMinimized) return ssMinimized;
  if (s & Qt::WindowMaximized) return ssMaximized;
  return ssNormal;
}

// The title a window shows: its own, with the modified mark resolved.
QString ShownTitle(const QWidget& w) {
  QString title = w.windowTitle();
  title.replace(QStringLiteral("[*]"), w.isWindowModified() ? QStringLiteral("*") : QString());
  return title;
}

// Switches the window system's frame off or on. A window on screen that
// is not a dialog is made anew (a dialog may be inside exec(), which
// hiding it would end); a window being shown, or a dialog, keeps its
// native window and has the window system told.
void SwitchFrameless(QWidget& w, bool on, QSize clientSize = QSize()) {
  const QWindow* native = w.windowHandle();
  const bool onScreen = native != nullptr && native->isVisible();
  if (onScreen && !qobject_cast<QDialog*>(&w)) {
    RecreateWithFlag(w, Qt::FramelessWindowHint, on, clientSize);
  } else {
    SetWindowFlagLive(w, Qt::FramelessWindowHint, on);
  }
}

bool OnScreen(const QWidget& w) {
  const QWindow* native = w.windowHandle();
  return native != nullptr && native->isVisible();
}

// A window's corner moved, when it must be, so that the window's top-left
// part (where its caption is) lies on the screen's available area.
QPoint KeptOnScreen(const QWidget& w, QPoint corner) {
  const QScreen* screen = w.screen();
  if (screen == nullptr) return corner;
  const QRect area = screen->availableVirtualGeometry();
  if (area.isEmpty()) return corner;
  return {std::max(corner.x(), area.left()), std::max(corner.y(), area.top())};
}

QSize Grown(QSize size, const QMargins& m) {
  const auto grow = [](int v, int by) { return v >= QWIDGETSIZE_MAX ? v : std::min(QWIDGETSIZE_MAX, v + by); };
  return {grow(size.width(), m.left() + m.right()), grow(size.height(), m.top() + m.bottom())};
}

QColor FaceColour(const TSkinData* data) { return data ? data->Colours().ButtonFace : QColor(); }

void SetRole(QWidget& w, QPalette::ColorRole role, const QColor& colour) {
  QPalette p = w.palette();
  p.setColor(role, colour);
  w.setPalette(p);
}

// A form's colours under a skin: the face colour for its background and
// its buttons and, so that what it draws on them stays readable, the
// skin's window and button text colours (a disabled text in the skin's
// shadow colour) and its highlight. Text boxes keep their own colours.
void SetSkinColours(QWidget& w, const TSkinData& data) {
  const TSkinColours& c = data.Colours();
  QPalette p = w.palette();
  p.setColor(QPalette::Window, c.ButtonFace);
  p.setColor(QPalette::Button, c.ButtonFace);
  p.setColor(QPalette::Highlight, c.Hilight);
  p.setColor(QPalette::HighlightedText, c.HilightText);
  // Links are drawn on the face in the skin's accent, which the skin
  // check holds to text contrast there (the system's blue is not).
  p.setColor(QPalette::Link, c.Hilight);
  p.setColor(QPalette::LinkVisited, c.Hilight);
  const QColor disabled = DisabledMenuTextColour(data);
  const std::pair<QPalette::ColorRole, QColor> texts[] = {{QPalette::WindowText, c.WindowText},
                                                          {QPalette::ButtonText, c.ButtonText}};
  for (const auto& [role, colour] : texts) {
    p.setColor(QPalette::Active, role, colour);
    p.setColor(QPalette::Inactive, role, colour);
    p.setColor(QPalette::Disabled, role, disabled);
  }
  w.setPalette(p);
}

// A view draws on its own base colour: its text keeps the system's.
void SetViewColours(QWidget& w) {
  const QPalette system = QApplication::palette(&w);
  QPalette p = w.palette();
  for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    p.setColor(g, QPalette::WindowText, system.color(g, QPalette::WindowText));
  }
  w.setPalette(p);
}

Qt::CursorShape CursorOf(int hit) {
  switch (hit) {
    case fhLeft:
    case fhRight:
      return Qt::SizeHorCursor;
    case fhTop:
    case fhBottom:
      return Qt::SizeVerCursor;
    case fhTopLeft:
    case fhBottomRight:
      return Qt::SizeFDiagCursor;
    case fhTopRight:
    case fhBottomLeft:
      return Qt::SizeBDiagCursor;
    default:
      return Qt::ArrowCursor;
  }
}

Qt::Edges EdgesOf(int hit) {
  switch (hit) {
    case fhLeft:
      return Qt::LeftEdge;
    case fhRight:
      return Qt::RightEdge;
    case fhTop:
      return Qt::TopEdge;
    case fhBottom:
      return Qt::BottomEdge;
    case fhTopLeft:
      return Qt::TopEdge | Qt::LeftEdge;
    case fhTopRight:
      return Qt::TopEdge | Qt::RightEdge;
    case fhBottomLeft:
      return Qt::BottomEdge | Qt::LeftEdge;
    case fhBottomRight:
      return Qt::BottomEdge | Qt::RightEdge;
    default:
      return {};
  }
}

void AddMenuTree(QMenu* menu, std::vector<QPointer<QMenu>>& into) {
  if (menu == nullptr) return;
  for (const QPointer<QMenu>& m : into) {
    if (m == menu) return;
  }
  into.emplace_back(menu);
  for (QAction* a : menu->actions()) AddMenuTree(a->menu(), into);
}

bool InMenuTree(const QList<QAction*>& actions, const QMenu* menu, int depth = 0) {
  if (depth > 32) return false;
  for (const QAction* a : actions) {
    const QMenu* sub = a->menu();
    if (sub == nullptr) continue;
    if (sub == menu || InMenuTree(sub->actions(), menu, depth + 1)) return true;
  }
  return false;
}

}  // namespace

// ---------------------------------------------------------------------------
// Frame objects

void TNCObject::MouseDown() {
  if (TNCObject* hot = owner_.HotObject(); hot != nullptr && hot != this) hot->MouseLeave();
  if (!Enabled) return;
  owner_.SetHotObject(this);
  State = 2;
  Paint();
}

void TNCObject::MouseUp() {
  if (!Enabled) return;
  State = 3;
  Paint();
}

void TNCObject::MouseEnter() {
  if (TNCObject* hot = owner_.HotObject(); hot != nullptr && hot != this) hot->MouseLeave();
  if (!Enabled) return;
  owner_.SetHotObject(this);
  State = 3;
  Paint();
}

void TNCObject::MouseLeave() {
  if (!Enabled) return;
  owner_.SetHotObject(nullptr);
  State = 1;
  Paint();
}

const TDataSkinSysButton& TWinSysButton::Element() const { return owner_.Data()->Skin().SysButtons.at(Index); }

void TWinSysButton::Paint() { owner_.InvalidateFrame(Bounds); }

TMenuBtn::TMenuBtn(TWinSkinForm& owner, int index, QAction* action) : TNCObject(owner), Index(index) {
  Command = action;
  if (action == nullptr) return;
  Caption = action->text().left(MenuCaptionLimit);
  ItemEnabled = action->isEnabled();
  SubMenu = action->menu();
}

void TMenuBtn::Paint() {
  if (TWinSkinMenu* menu = owner_.MenuBar(); menu != nullptr && menu->Bar() != nullptr && Command) {
    menu->Bar()->update(menu->Bar()->actionGeometry(Command));
  }
}

TWinSkinMenu::TWinSkinMenu(TWinSkinForm& owner, QMenuBar& bar, int height)
    : owner_(owner), bar_(&bar), height_(std::max(1, height)) {
  ownStyle_ = bar.testAttribute(Qt::WA_SetStyle);
  if (ownStyle_) oldStyle_ = bar.style();
  if (TSkinManage* m = TSkinManage::Instance()) bar.setStyle(&m->Style());
  bar.updateGeometry();
  LoadMenu();
}

TWinSkinMenu::~TWinSkinMenu() = default;

void TWinSkinMenu::LoadMenu() {
  items_.clear();
  if (!bar_) return;
  QWidget* window = owner_.Handle();
  const QList<QAction*> actions = bar_->actions();
  for (int i = 0; i < actions.size(); ++i) {
    auto item = std::make_unique<TMenuBtn>(owner_, i, actions[i]);
    QRect r = bar_->actionGeometry(actions[i]);
    if (window != nullptr) r.translate(bar_->mapTo(window, QPoint(0, 0)));
    item->Bounds = r;
    item->Enabled = item->ItemEnabled;
    items_.push_back(std::move(item));
  }
}

const QImage& TWinSkinMenu::Background() {
  const QSize size = bar_ ? bar_->size() : QSize();
  const bool active = owner_.Active();
  if (owner_.Data() == nullptr) {
    background_ = QImage();
  } else if (background_.size() != size || active != backgroundActive_) {
    background_ = MakeMenuBarImage(*owner_.Data(), size, active);
    backgroundActive_ = active;
  }
  return background_;
}

void TWinSkinMenu::Invalidate() {
  background_ = QImage();
  if (bar_) bar_->update();
}

void TWinSkinMenu::Restore() {
  if (!bar_) return;
  bar_->setStyle(ownStyle_ ? oldStyle_.data() : nullptr);
  bar_->updateGeometry();
  bar_->update();
}

// ---------------------------------------------------------------------------
// Set-up and giving back

TWinSkinForm::TWinSkinForm(TSkinManage& manager) : manager_(manager) {
  hover_.setInterval(HoverInterval);
  connect(&hover_, &QTimer::timeout, this, [this] { HoverTick(); });
}

TWinSkinForm::~TWinSkinForm() {
  hover_.stop();
  if (systemMenu_) delete systemMenu_.data();
}

void TWinSkinForm::InitFromForm(TSkinData& data, QWidget& form) {
  window_ = &form;
  data_ = &data;
  ownPalette_ = form.testAttribute(Qt::WA_SetPalette);
  if (ownPalette_) oldPalette_ = form.palette();
  InitFromHandle(data);
  SetSkinColours(form, data);
  CollectPopupMenus();
}

void TWinSkinForm::InitFromHandle(TSkinData& data) {
  data_ = &data;
  QWidget& w = *window_;
  w.installEventFilter(this);
  active_ = w.isActiveWindow();
  if (!data.SkinControls.Contains(xcMainMenu)) {
    // The window keeps the window system's frame; only its controls are
    // skinned.
    frameTaken_ = false;
    FrameMetrics();
    SkinChildControls(w);
    return;
  }
  if (frameTaken_) return;
  captionFont_ = QFontDatabase::systemFont(QFontDatabase::TitleFont);
  // Sized in pixels: the caption is drawn on a picture, not on the screen.
  captionFont_.setPixelSize(QFontInfo(captionFont_).pixelSize());
  flags_ = w.windowFlags();
  caption_ = ShownTitle(w);
  captionButtons_ = CaptionButtonsOf(flags_);
  // Only a window manager can minimise a window: without one the window
  // would stay on screen with its frame left unpainted.
  if (!HasWindowManager()) captionButtons_ &= ~cbMinimize;
  showState_ = ShowStateOf(w);
  baseFrameKind_ = BaseFrameKindOf(flags_);
  appliedKind_ = FrameKind();
  MakeIconBitmap();
  QMenuBar* bar = nullptr;
  if (auto* main = qobject_cast<QMainWindow*>(&w)) {
    bar = qobject_cast<QMenuBar*>(main->menuWidget());
  } else if (w.layout() != nullptr) {
    bar = qobject_cast<QMenuBar*>(w.layout()->menuBar());
  }
  if (bar != nullptr) {
    const int height = bar->sizeHint().height();
    menu_ = std::make_unique<TWinSkinMenu>(*this, *bar, height);
    bar->installEventFilter(this);
  }
  oldMargins_ = w.contentsMargins();
  oldMin_ = w.minimumSize();
  oldMax_ = w.maximumSize();
  oldTracking_ = w.hasMouseTracking();
  frameTaken_ = true;
  FrameMetrics();
  TakeFrame();
  SkinChildControls(w);
  InvalidateFrame(w.rect());
}

void TWinSkinForm::TakeFrame() {
  QWidget& w = *window_;
  // The window's visible corner, the window system's frame included: the
  // skinned frame takes its place.
  const QPoint corner = w.pos();
  if (baseFrameKind_ != fkBorderless) {
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")) &&
        !w.testAttribute(Qt::WA_WState_Created)) {
      // There the shape only takes the input: what lies outside it is
      // painted fully transparent instead.
      translucent_ = !w.testAttribute(Qt::WA_TranslucentBackground);
      if (translucent_) w.setAttribute(Qt::WA_TranslucentBackground);
    }
    SwitchFrameless(w, true);
    addedFrameless_ = true;
  }
  w.setMouseTracking(true);
  if (auto* dialog = qobject_cast<QDialog*>(&w)) {
    dialogGrip_ = dialog->isSizeGripEnabled();
    dialog->setSizeGripEnabled(false);
  }
  ApplyMargins(frame_.Margins(), true, corner);
}

void TWinSkinForm::KeepPlaceShown() {
  QWidget* w = window_;
  if (w == nullptr || !frameTaken_ || !w->isVisible() || w->windowState() != Qt::WindowNoState) return;
  const QWindow* native = w->windowHandle();
  if (native == nullptr) return;
  const std::optional<QPoint> shown = WindowOriginOnScreen(*native);
  if (!shown || *shown == w->geometry().topLeft()) return;
  // Asked to go where it is, the window manager answers with the place.
  if (!AskToPlaceWindow(*native, *shown)) w->move(*shown);
}

void TWinSkinForm::GiveFrameBack() {
  QWidget& w = *window_;
  placeCheck_ = false;
  // The window system's frame takes the place the skinned window is shown
  // at, which Qt may not know: a window manager can report a borderless
  // window at its new frame's corner (0,0) after the check made when the
  // window was first exposed. Qt is told at once, since the place is read
  // below (asking the window manager would answer only later).
  if (w.isVisible() && w.windowState() == Qt::WindowNoState && w.windowHandle() != nullptr) {
    const std::optional<QPoint> shown = WindowOriginOnScreen(*w.windowHandle());
    if (shown && *shown != w.pos()) w.move(*shown);
  }
  // Giving the frame back resizes the window, and showing it made anew
  // sends its resize at once, while this filter still watches it: the
  // frame is no longer ours from here on, or a shape would be cut again
  // and stay on the plain window, hiding whatever grows beyond it (the
  // frame of a skin without cut-outs, a larger window).
  frameTaken_ = false;
  if (QWindow* native = w.windowHandle()) native->removeEventFilter(this);
  const QRect client = ClientGeometry();
  const bool keepPlace = !(w.windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)) &&
                         w.testAttribute(Qt::WA_Resized);
  if (maskSet_) w.clearMask();
  maskSet_ = false;
  regionSize_ = QSize();
  applied_ = QMargins();
  w.setContentsMargins(oldMargins_);
  if (limitsGrown_) {
    w.setMinimumSize(oldMin_);
    w.setMaximumSize(oldMax_);
    limitsGrown_ = false;
  }
  const bool onScreen = OnScreen(w);
  const bool recreated = onScreen && addedFrameless_ && !qobject_cast<QDialog*>(&w);
  // The window system's frame takes the corner the skinned one had.
  const QPoint corner = w.pos();
  if (addedFrameless_) SwitchFrameless(w, false, keepPlace ? client.size() : QSize());
  addedFrameless_ = false;
  if (keepPlace && !recreated) {
    w.resize(client.size());
    if (onScreen || w.testAttribute(Qt::WA_Moved)) w.move(corner);
  }
  w.setMouseTracking(oldTracking_);
  if (auto* dialog = qobject_cast<QDialog*>(&w)) dialog->setSizeGripEnabled(dialogGrip_);
  if (translucent_) w.setAttribute(Qt::WA_TranslucentBackground, false);
  translucent_ = false;
  frameTaken_ = false;
}

void TWinSkinForm::ApplyMargins(const QMargins& frame, bool keepClient, std::optional<QPoint> keptCorner) {
  QWidget& w = *window_;
  if (frame == applied_) return;
  const QRect client = ClientGeometry();
  const bool keepPlace = keepClient &&
                         !(w.windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)) &&
                         w.testAttribute(Qt::WA_Resized);
  // The visible window keeps its top-left corner, on screen or not: a
  // window placed by its stored position (its frame's) opens there.
  const QPoint corner = keptCorner.value_or(w.pos());
  applied_ = frame;
  // Limits the window sets itself grow by the frame; a layout's limits
  // take the margins in by themselves.
  const bool layoutFixes = w.layout() != nullptr && w.layout()->sizeConstraint() == QLayout::SetFixedSize;
  if (!layoutFixes && (w.layout() == nullptr || oldMin_ == oldMax_)) {
    limitsGrown_ = true;
    w.setMinimumSize(Grown(oldMin_, frame));
    w.setMaximumSize(Grown(oldMax_, frame));
  }
  w.setContentsMargins(oldMargins_ + frame);
  if (!keepPlace) return;
  const QSize outer = client.size().grownBy(frame);
  if (OnScreen(w) || w.testAttribute(Qt::WA_Moved)) {
    w.setGeometry(QRect(KeptOnScreen(w, corner), outer));
  } else {
    w.resize(outer);
  }
}

QRect TWinSkinForm::ClientGeometry() const {
  if (!window_) return {};
  return window_->geometry().marginsRemoved(applied_);
}

void TWinSkinForm::Unskin() {
  hover_.stop();
  drag_ = dgNone;
  for (auto it = children_.rbegin(); it != children_.rend(); ++it) (*it)->Restore();
  children_.clear();
  hotChild_ = nullptr;
  hot_ = pressed_ = nullptr;
  popupMenus_.clear();
  QWidget* w = window_;
  if (w != nullptr) {
    RestoreCursor();
    RestoreControls();
    if (menu_) menu_->Restore();
    if (frameTaken_) GiveFrameBack();
    if (ownPalette_) {
      w->setPalette(oldPalette_);
    } else {
      w->setPalette(QPalette());
    }
    w->removeEventFilter(this);
    if (menu_ && menu_->Bar() != nullptr) menu_->Bar()->removeEventFilter(this);
    w->update();
  }
  menu_.reset();
  icon_ = QImage();
  frameTaken_ = false;
  if (systemMenu_) delete systemMenu_.data();
}

void TWinSkinForm::Forget() {
  window_ = nullptr;
  if (menu_) menu_->Forget();
  changes_.clear();
}

void TWinSkinForm::ClearSkinData() {
  data_ = nullptr;
  hover_.stop();
  pictureDirty_ = true;
}

void TWinSkinForm::FinishSetup() {
  if (State == wsStarting && showState_ != ssMinimized && FrameKind() != fkBorderless) {
    State = wsSizing;
    ReSizeToFrame();
    State = wsRunning;
    UpdateRegion();
  }
  State = wsRunning;
  if (active_) hover_.start();
  // Until now the window painted itself without the frame (a window on
  // screen may have been painted whole already): the frame is drawn now.
  RepaintFrame();
}

void TWinSkinForm::ReSizeToFrame() {
  if (!window_ || !frameTaken_) return;
  ApplyMargins(frame_.Margins());
  QWidget& w = *window_;
  if ((w.windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) || !w.testAttribute(Qt::WA_Resized)) return;
  const QSize wanted = ClientGeometry().size().grownBy(applied_);
  if (w.size() != wanted) w.resize(wanted);
}

void TWinSkinForm::FrameMetrics() {
  if (data_ == nullptr || !data_->SkinLoaded()) return;
  frame_ = frameTaken_ ? SkinFrameSizes(data_->Skin(), FrameKind()) : TFrameSizes{};
  buttons_.clear();
  hot_ = pressed_ = nullptr;
  for (std::size_t i = 0; i < data_->Skin().SysButtons.size(); ++i) {
    buttons_.push_back(std::make_unique<TWinSysButton>(*this, i));
  }
  pictureDirty_ = true;
}

void TWinSkinForm::MakeIconBitmap() {
  const int size = QApplication::style()->pixelMetric(QStyle::PM_SmallIconSize);
  QImage icon(size, size, QImage::Format_RGB32);
  icon.fill(SkinTransparent);
  const QIcon own = window_ ? window_->windowIcon() : QIcon();
  if (!own.isNull()) {
    // Half-transparent edges would show the transparent colour: each pixel
    // is either the icon's own colour or left out.
    const QImage picture = own.pixmap(QSize(size, size), 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < std::min(size, picture.height()); ++y) {
      for (int x = 0; x < std::min(size, picture.width()); ++x) {
        const QRgb c = picture.pixel(x, y);
        if (qAlpha(c) >= 128) icon.setPixel(x, y, 0xFF000000 | (c & 0xFFFFFF));
      }
    }
    icon_ = icon;
    return;
  }
  if (data_ != nullptr && !data_->Bitmap.isNull()) {
    icon_ = data_->Bitmap;
    return;
  }
  const std::vector<TSkinData*>& list = manager_.SkinDataList();
  for (auto it = list.rbegin(); it != list.rend(); ++it) {
    if ((*it)->SkinFormtype == sfMainform && !(*it)->Bitmap.isNull()) {
      icon_ = (*it)->Bitmap;
      return;
    }
  }
  icon_ = icon;
}

void TWinSkinForm::CollectPopupMenus() {
  popupMenus_.clear();
  if (!window_ || data_ == nullptr || !data_->SkinControls.Contains(xcPopupMenu)) return;
  const QList<QAction*> barActions = (menu_ && menu_->Bar() != nullptr) ? menu_->Bar()->actions() : QList<QAction*>();
  for (QMenu* m : window_->findChildren<QMenu*>()) {
    if (m == systemMenu_) continue;
    // Submenus come with the menu that opens them.
    QWidget* parent = m->parentWidget();
    if (qobject_cast<QMenu*>(parent) != nullptr || qobject_cast<QMenuBar*>(parent) != nullptr) continue;
    if (InMenuTree(barActions, m)) continue;
    if (TagOf(m) % 100 == data_->DisableTag) continue;
    AddMenuTree(m, popupMenus_);
  }
}

int TWinSkinForm::MenuRoad(const QMenu* menu) const {
  if (menu == nullptr || data_ == nullptr) return mrSystem;
  for (const QPointer<QMenu>& m : popupMenus_) {
    if (m == menu) return mrFormPopup;
  }
  if (menu_ && menu_->Bar() != nullptr && data_->SkinControls.Contains(xcMainMenu) &&
      InMenuTree(menu_->Bar()->actions(), menu)) {
    return mrWindowMenu;
  }
  return mrSystem;
}

// ---------------------------------------------------------------------------
// The controls

void TWinSkinForm::AddControlChange(QWidget& control, TChildEffect effect) {
  TControlChange c;
  c.Control = &control;
  c.Effect = effect;
  c.OwnPalette = control.testAttribute(Qt::WA_SetPalette);
  if (c.OwnPalette) c.Palette = control.palette();
  c.AutoFill = control.autoFillBackground();
  if (auto* bar = qobject_cast<QStatusBar*>(&control)) c.Grip = bar->isSizeGripEnabled();
  changes_.push_back(c);
}

void TWinSkinForm::ApplyColour() {
  if (data_ == nullptr) return;
  const QColor face = FaceColour(data_);
  if (window_) SetSkinColours(*window_, *data_);
  for (TControlChange& c : changes_) {
    if (!c.Control) continue;
    switch (c.Effect) {
      case TChildEffect::ToolBarColour:
      case TChildEffect::FormColour:
        SetSkinColours(*c.Control, *data_);
        break;
      case TChildEffect::GridColour:
        SetRole(*c.Control, QPalette::Base, face);
        break;
      default:
        break;
    }
  }
}

void TWinSkinForm::SkinChildControls(QWidget& parent) {
  if (data_ == nullptr) return;
  const QColor face = FaceColour(data_);
  for (QObject* object : parent.children()) {
    auto* control = qobject_cast<QWidget*>(object);
    if (control == nullptr || control->isWindow()) continue;
    if (TagOf(control) % 100 == data_->DisableTag) continue;
    const bool served = std::any_of(children_.begin(), children_.end(),
                                    [&](const auto& child) { return child->Control() == control; });
    if (served) continue;
    const TChildDecision d = DecideChildControl(*control, *data_);
    if (d.Rule == 0) continue;
    if (d.Effect != TChildEffect::None) {
      AddControlChange(*control, d.Effect);
      switch (d.Effect) {
        case TChildEffect::ToolBarColour:
          SetSkinColours(*control, *data_);
          control->setAutoFillBackground(false);
          break;
        case TChildEffect::StatusBarGrip:
          static_cast<QStatusBar*>(control)->setSizeGripEnabled(false);
          break;
        case TChildEffect::GridColour:
          SetRole(*control, QPalette::Base, face);
          SetViewColours(*control);
          break;
        case TChildEffect::ViewText:
          SetViewColours(*control);
          break;
        case TChildEffect::FormColour:
          SetSkinColours(*control, *data_);
          break;
        default:
          break;
      }
    }
    const TSkinChildFactory& factory = SkinChildFactory();
    const auto attach = [&](TSkinChildKind kind, QWidget& w, int option) {
      if (!factory) return;
      if (std::unique_ptr<TSkinChildObject> child = factory({kind, &w, data_, option, this})) {
        children_.push_back(std::move(child));
      }
    };
    if (d.Kind) attach(*d.Kind, *control, d.Option);
    if (d.RadioButtons) {
      for (QObject* o : control->children()) {
        auto* radio = qobject_cast<QWidget*>(o);
        if (radio != nullptr && radio->inherits("QRadioButton") && TagOf(radio) % 100 != data_->DisableTag) {
          attach(TSkinChildKind::RadioButton, *radio, 1);
        }
      }
    }
    if (d.Recurse) SkinChildControls(*control);
  }
}

void TWinSkinForm::RestoreControls() {
  for (auto it = changes_.rbegin(); it != changes_.rend(); ++it) {
    QWidget* c = it->Control;
    if (c == nullptr) continue;
    c->setPalette(it->OwnPalette ? it->Palette : QPalette());
    c->setAutoFillBackground(it->AutoFill);
    if (auto* bar = qobject_cast<QStatusBar*>(c)) bar->setSizeGripEnabled(it->Grip);
  }
  changes_.clear();
}

void TWinSkinForm::Recolour() {
  ApplyColour();
  for (const auto& child : children_) child->Recolour();
  const int state = State;
  State = wsReloading;
  CollectPopupMenus();
  ReSizeToFrame();
  State = state == wsStarting ? wsStarting : wsRunning;
  RepaintFrame();
}

void TWinSkinForm::ReloadSkin() {
  if (!window_ || data_ == nullptr || !data_->SkinLoaded()) return;
  const int state = State;
  State = wsReloading;
  FrameMetrics();
  MakeIconBitmap();
  if (menu_) menu_->Invalidate();
  ApplyColour();
  for (const auto& child : children_) child->Refresh();
  CollectPopupMenus();
  ReSizeToFrame();
  State = state;
  if (State != wsStarting) UpdateRegion(true);
  RepaintFrame();
}

// ---------------------------------------------------------------------------
// The look of the frame

int TWinSkinForm::FrameKind() const {
  if (!window_) return baseFrameKind_;
  // Full screen as the widget has it or as the window system does (without
  // a window manager the two can differ).
  const QWindow* native = window_->windowHandle();
  if ((window_->windowState() & Qt::WindowFullScreen) ||
      (native != nullptr && (native->windowStates() & Qt::WindowFullScreen))) {
    return fkBorderless;
  }
  return baseFrameKind_;
}

void TWinSkinForm::SyncFrameKind() {
  if (!frameTaken_ || !window_) return;
  const int kind = FrameKind();
  if (kind == appliedKind_) return;
  appliedKind_ = kind;
  // Full screen has no frame; the window system sizes the window, so only
  // the margins follow.
  FrameMetrics();
  ApplyMargins(frame_.Margins(), false);
  UpdateRegion(true);
  RepaintFrame();
}

bool TWinSkinForm::Sizeable() const {
  if (!window_) return false;
  return window_->minimumSize() != window_->maximumSize() && !(flags_ & Qt::MSWindowsFixedSizeDialogHint);
}

bool TWinSkinForm::FramePainted() const {
  return window_ && frameTaken_ && data_ != nullptr && data_->SkinLoaded() && State != wsStarting &&
         State != wsClosing && showState_ != ssMinimized && FrameKind() != fkBorderless;
}

const TFramePicture& TWinSkinForm::Picture() {
  const QSize size = window_ ? window_->size() : QSize();
  if (data_ == nullptr) {
    picture_ = TFramePicture();
    return picture_;
  }
  if (pictureDirty_ || picture_.Size != size || picture_.Active != active_) {
    TFrameLook look;
    look.Size = size;
    look.Active = active_;
    look.ShowState = showState_;
    look.FrameKind = FrameKind();
    look.CaptionButtons = captionButtons_;
    look.Caption = caption_;
    look.CaptionFont = captionFont_;
    look.Icon = icon_;
    std::vector<int> states;
    states.reserve(buttons_.size());
    for (const auto& b : buttons_) states.push_back(b->State);
    picture_ = ComposeFrame(*data_, look, states);
    for (std::size_t i = 0; i < buttons_.size() && i < picture_.Buttons.size(); ++i) {
      buttons_[i]->Bounds = picture_.Buttons[i].Bounds;
    }
    pictureDirty_ = false;
  }
  return picture_;
}

TNCObject* TWinSkinForm::ObjectAt(QPoint point) {
  if (data_ == nullptr) return nullptr;
  const TFramePicture& picture = Picture();
  for (std::size_t i = 0; i < buttons_.size() && i < picture.Buttons.size(); ++i) {
    const TWinSysButton& b = *buttons_[i];
    if (picture.Buttons[i].Shown && b.Element().Action >= 0 && picture.Buttons[i].Bounds.contains(point)) {
      return buttons_[i].get();
    }
  }
  return nullptr;
}

void TWinSkinForm::InvalidateFrame(const QRect& area) {
  pictureDirty_ = true;
  if (window_ && frameTaken_) window_->update(area);
}

void TWinSkinForm::RepaintFrame() {
  for (const auto& b : buttons_) b->State = 1;
  hot_ = nullptr;
  pictureDirty_ = true;
  if (!window_ || !frameTaken_) return;
  window_->update(QRegion(window_->rect()).subtracted(window_->contentsRect()));
  if (menu_) menu_->Invalidate();
}

void TWinSkinForm::UpdateRegion(bool force) {
  if (!window_ || !frameTaken_) return;
  QWidget& w = *window_;
  const QSize size = w.size();
  if (size.isEmpty()) return;
  if (!FramePainted()) {
    if (maskSet_) w.clearMask();
    maskSet_ = false;
    regionSize_ = QSize();
    return;
  }
  if (!force && size == regionSize_) return;
  // The strip is composed at the new size first, so the top edge's shape
  // is the one of this size.
  pictureDirty_ = true;
  const std::optional<QRegion> region = FrameRegion(data_->Skin(), Picture());
  if (!region) {
    if (maskSet_) w.clearMask();
    maskSet_ = false;
    regionSize_ = QSize();
    return;
  }
  regionSize_ = size;
  region_ = *region;
  w.setMask(*region);
  maskSet_ = true;
}

void TWinSkinForm::PaintNonClient() {
  QWidget& w = *window_;
  QPainter painter(&w);
  if (translucent_ && maskSet_) {
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setClipRegion(QRegion(w.rect()).subtracted(region_));
    painter.fillRect(w.rect(), Qt::transparent);
    painter.restore();
  }
  PaintFramePicture(painter, Picture());
}

// ---------------------------------------------------------------------------
// The window's events

bool TWinSkinForm::eventFilter(QObject* watched, QEvent* event) {
  if (window_ == nullptr) return false;
  if (menu_ && watched == menu_->Bar()) {
    switch (event->type()) {
      case QEvent::ActionAdded:
      case QEvent::ActionChanged:
      case QEvent::ActionRemoved:
        QTimer::singleShot(0, this, [this] {
          if (menu_) menu_->LoadMenu();
        });
        break;
      case QEvent::Resize:
        menu_->LoadMenu();
        break;
      default:
        break;
    }
    return false;
  }
  if (placeCheck_ && event->type() == QEvent::Expose && watched == window_->windowHandle() &&
      window_->windowHandle()->isExposed()) {
    placeCheck_ = false;
    QTimer::singleShot(0, this, [this] { KeepPlaceShown(); });
    return false;
  }
  if (watched != window_) return false;
  QWidget& w = *window_;
  switch (event->type()) {
    case QEvent::Show:
      // A window manager that frames a borderless window may have told Qt
      // a place the window never took: once the window is exposed, the
      // window system says where it is.
      if (frameTaken_ && (w.windowFlags() & Qt::FramelessWindowHint) && HasWindowManager() &&
          w.windowHandle() != nullptr) {
        placeCheck_ = true;
        w.windowHandle()->installEventFilter(this);
      }
      break;
    case QEvent::Paint:
      if (FramePainted()) {
        // The window paints first; the frame goes over its margins.
        static_cast<QObject&>(w).event(event);
        PaintNonClient();
        return true;
      }
      break;
    case QEvent::Resize:
      pictureDirty_ = true;
      SyncFrameKind();
      if ((State == wsRunning || State == wsReloading) && showState_ != ssMinimized) UpdateRegion();
      break;
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate:
      active_ = event->type() == QEvent::WindowActivate;
      if (active_ && State == wsRunning && data_ != nullptr) {
        hover_.start();
      } else {
        hover_.stop();
      }
      RepaintFrame();
      break;
    case QEvent::WindowTitleChange:
      caption_ = ShownTitle(w);
      RepaintFrame();
      break;
    case QEvent::ModifiedChange:
      caption_ = ShownTitle(w);
      RepaintFrame();
      break;
    case QEvent::WindowIconChange:
      MakeIconBitmap();
      RepaintFrame();
      break;
    case QEvent::WindowStateChange:
      showState_ = ShowStateOf(w);
      // Minimised by the skin's button or menu and restored from the
      // window manager's side, the window would be shown minimised the
      // next time it is mapped.
      if (showState_ != ssMinimized && w.windowHandle() != nullptr) ForgetIconicStart(*w.windowHandle());
      SyncFrameKind();
      UpdateRegion(true);
      RepaintFrame();
      break;
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
      if (FramePainted() || drag_ != dgNone) return HandleMouse(static_cast<QMouseEvent*>(event));
      break;
    case QEvent::ContextMenu: {
      // A right click on the frame has shown the system menu: the window's
      // own context menu must not open over it.
      const auto* menuEvent = static_cast<QContextMenuEvent*>(event);
      if (FramePainted() && menuEvent->reason() == QContextMenuEvent::Mouse &&
          !w.rect().marginsRemoved(applied_).contains(menuEvent->pos())) {
        return true;
      }
      break;
    }
    default:
      switch (SkinMessageOf(event)) {
        case smFinishSetup:
          FinishSetup();
          return true;
        case smRepaintFrame:
          if (FramePainted()) RepaintFrame();
          return true;
        case smRecolour:
          Recolour();
          return true;
        default:
          break;
      }
      break;
  }
  return false;
}

// ---------------------------------------------------------------------------
// The mouse on the frame

bool TWinSkinForm::HandleMouse(QMouseEvent* e) {
  QWidget& w = *window_;
  const QPoint p = e->position().toPoint();
  const QPoint g = e->globalPosition().toPoint();
  if (drag_ != dgNone) {
    const bool held = (e->buttons() & Qt::LeftButton) != 0;
    if (e->type() == QEvent::MouseMove && (held || dragByMenu_)) {
      if (drag_ == dgPending && (g - dragStart_).manhattanLength() >= QApplication::startDragDistance()) {
        if (w.windowHandle() != nullptr && w.windowHandle()->startSystemMove()) {
          drag_ = dgNone;
          return true;
        }
        drag_ = dgMove;
      }
      if (drag_ == dgMove || drag_ == dgResize) DragTo(g);
      return true;
    }
    if (e->type() == QEvent::MouseButtonRelease || e->type() == QEvent::MouseButtonPress ||
        e->type() == QEvent::MouseMove) {
      // The button came up (or, moving by the menu, a click ends it).
      if (dragByMenu_) w.releaseMouse();
      const bool consumed = drag_ != dgPending || e->type() != QEvent::MouseMove;
      drag_ = dgNone;
      dragByMenu_ = false;
      if (consumed) return true;
    }
  }
  if (!FramePainted()) return false;
  const int hit = HitTestFrame(p, w.size(), frame_, Sizeable() && showState_ == ssNormal);
  if (hit == fhClient) {
    if (e->type() == QEvent::MouseMove) {
      RestoreCursor();
      if (hot_ != nullptr && active_) hot_->MouseLeave();
    }
    return false;
  }
  TNCObject* object = ObjectAt(p);
  switch (e->type()) {
    case QEvent::MouseMove:
      // Moves over an inactive window's frame are let go.
      if (!active_) return true;
      if (object != nullptr) {
        if (object != hot_) object->MouseEnter();
      } else if (hot_ != nullptr) {
        hot_->MouseLeave();
      }
      SetFrameCursor(object != nullptr ? fhCaption : hit);
      return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      if (e->button() == Qt::RightButton) {
        if (hit == fhCaption && e->type() == QEvent::MouseButtonPress) ShowSystemMenu(g);
        return true;
      }
      if (e->button() != Qt::LeftButton) return true;
      if (object != nullptr) {
        if (!active_) w.activateWindow();
        object->MouseDown();
        pressed_ = object;
        return true;
      }
      if (e->type() == QEvent::MouseButtonDblClick) {
        // Only the caption maximises and restores.
        if (hit == fhCaption) {
          if (showState_ != ssNormal) {
            w.showNormal();
          } else if (captionButtons_ & cbMaximize) {
            w.showMaximized();
          }
        }
        return true;
      }
      if (!active_) w.activateWindow();
      if (hit == fhCaption) {
        // A maximised window stays where it is.
        if (showState_ != ssMaximized) BeginMove(g);
      } else if (hit >= fhLeft) {
        BeginResize(hit, g);
      }
      return true;
    case QEvent::MouseButtonRelease:
      if (e->button() == Qt::LeftButton && object != nullptr && object == hot_ && object == pressed_) {
        object->MouseUp();
        if (auto* button = dynamic_cast<TWinSysButton*>(object)) PerformTitleAction(*button, g);
      }
      if (e->button() == Qt::LeftButton) pressed_ = nullptr;
      return true;
    default:
      return true;
  }
}

void TWinSkinForm::SetFrameCursor(int hit) {
  QWidget& w = *window_;
  const Qt::CursorShape shape = CursorOf(hit);
  if (shape == Qt::ArrowCursor) {
    RestoreCursor();
    return;
  }
  if (!cursorSet_) {
    hadCursor_ = w.testAttribute(Qt::WA_SetCursor);
    oldCursor_ = w.cursor();
    cursorSet_ = true;
  }
  w.setCursor(shape);
}

void TWinSkinForm::RestoreCursor() {
  if (!cursorSet_ || !window_) return;
  if (hadCursor_) {
    window_->setCursor(oldCursor_);
  } else {
    window_->unsetCursor();
  }
  cursorSet_ = false;
}

void TWinSkinForm::BeginMove(QPoint globalPoint) {
  drag_ = dgPending;
  dragStart_ = globalPoint;
  dragGeometry_ = window_->geometry();
}

void TWinSkinForm::BeginResize(int hit, QPoint globalPoint) {
  QWidget& w = *window_;
  if (w.windowHandle() != nullptr && w.windowHandle()->startSystemResize(EdgesOf(hit))) return;
  drag_ = dgResize;
  dragHit_ = hit;
  dragStart_ = globalPoint;
  dragGeometry_ = w.geometry();
}

void TWinSkinForm::DragTo(QPoint globalPoint) {
  QWidget& w = *window_;
  const QPoint d = globalPoint - dragStart_;
  if (drag_ == dgMove) {
    w.move(dragGeometry_.topLeft() + d);
    return;
  }
  const Qt::Edges edges = EdgesOf(dragHit_);
  const QSize lo = w.minimumSize();
  const QSize hi = w.maximumSize();
  int left = dragGeometry_.left();
  int top = dragGeometry_.top();
  int width = dragGeometry_.width();
  int height = dragGeometry_.height();
  if (edges & Qt::RightEdge) width = std::clamp(width + d.x(), lo.width(), hi.width());
  if (edges & Qt::BottomEdge) height = std::clamp(height + d.y(), lo.height(), hi.height());
  if (edges & Qt::LeftEdge) {
    const int wanted = std::clamp(width - d.x(), lo.width(), hi.width());
    left += width - wanted;
    width = wanted;
  }
  if (edges & Qt::TopEdge) {
    const int wanted = std::clamp(height - d.y(), lo.height(), hi.height());
    top += height - wanted;
    height = wanted;
  }
  w.setGeometry(left, top, width, height);
}

void TWinSkinForm::HoverTick() {
  if (!window_) return;
  const QPoint cursor = window_->mapFromGlobal(QCursor::pos());
  if (hot_ != nullptr && !hot_->Bounds.contains(cursor)) hot_->MouseLeave();
  if (hotChild_ != nullptr) {
    QWidget* control = hotChild_->Control();
    if (control == nullptr || !control->rect().contains(control->mapFromGlobal(QCursor::pos()))) {
      TSkinChildObject* child = hotChild_;
      hotChild_ = nullptr;
      child->MouseLeave();
    }
  }
}

// ---------------------------------------------------------------------------
// Title actions and the system menu

void TWinSkinForm::PerformTitleAction(const TWinSysButton& button, QPoint globalPoint) {
  QWidget& w = *window_;
  const QPointer<QWidget> target(&w);
  const auto later = [&](auto&& call) { QTimer::singleShot(0, &w, [target, call] { if (target) call(*target); }); };
  switch (button.Element().Action) {
    case 0:
      hover_.stop();
      later([](QWidget& x) { x.close(); });
      break;
    case 1:
    case 22:
      if (showState_ == ssMaximized) {
        showState_ = ssNormal;
        later([](QWidget& x) { x.showNormal(); });
      } else {
        showState_ = ssMaximized;
        hot_ = nullptr;
        later([](QWidget& x) { x.showMaximized(); });
      }
      break;
    case 2:
    case 23:
      if (showState_ != ssMinimized) {
        showState_ = ssMinimized;
        later([](QWidget& x) { x.showMinimized(); });
      } else {
        later([](QWidget& x) { x.showNormal(); });
      }
      break;
    case 3:
    case 11:
    case 12:
      ShowSystemMenu(globalPoint);
      break;
    case 7:
    case 60:
    case 8:
    case 61:
    case 9:
    case 62:
      // The buttons of a multiple-document child: no such windows here.
      break;
    default:
      PostSkinMessage(&w, smTitleAction, button.Element().Action);
      break;
  }
}

QMenu* TWinSkinForm::SystemMenu() {
  if (!window_) return nullptr;
  if (!systemMenu_) {
    systemMenu_ = new QMenu(window_);
    systemMenu_->setObjectName("SystemMenu");
    const auto add = [this](const char* name, const char* text, auto&& call) {
      QAction* a = systemMenu_->addAction(QCoreApplication::translate("QMdiSubWindow", text));
      a->setObjectName(name);
      connect(a, &QAction::triggered, this, [this, call] {
        if (window_) call(*window_);
      });
      return a;
    };
    add("scRestore", "&Restore", [](QWidget& w) { w.showNormal(); });
    add("scMove", "&Move", [this](QWidget&) { StartMoveByMenu(); });
    add("scSize", "&Size", [this](QWidget&) { StartSizeByMenu(); });
    add("scMinimize", "Mi&nimize", [](QWidget& w) { w.showMinimized(); });
    add("scMaximize", "Ma&ximize", [](QWidget& w) { w.showMaximized(); });
    systemMenu_->addSeparator();
    QAction* close = add("scClose", "&Close", [](QWidget& w) { w.close(); });
    close->setText(close->text() + QStringLiteral("\tAlt+F4"));
  }
  const bool normal = showState_ == ssNormal;
  const auto set = [this](const char* name, bool on) {
    if (auto* a = systemMenu_->findChild<QAction*>(name)) a->setEnabled(on);
  };
  set("scRestore", !normal);
  set("scMove", normal);
  set("scSize", normal && Sizeable());
  set("scMinimize", (captionButtons_ & cbMinimize) != 0 && showState_ != ssMinimized);
  set("scMaximize", (captionButtons_ & cbMaximize) != 0 && showState_ != ssMaximized);
  return systemMenu_;
}

void TWinSkinForm::ShowSystemMenu(QPoint globalPoint) {
  if (QMenu* menu = SystemMenu()) menu->popup(globalPoint);
}

void TWinSkinForm::StartMoveByMenu() {
  QWidget& w = *window_;
  if (w.windowHandle() != nullptr && w.windowHandle()->startSystemMove()) return;
  // Without a window manager the window follows the mouse until a click.
  drag_ = dgMove;
  dragByMenu_ = true;
  dragStart_ = QCursor::pos();
  dragGeometry_ = w.geometry();
  w.grabMouse();
}

void TWinSkinForm::StartSizeByMenu() {
  QWidget& w = *window_;
  if (w.windowHandle() != nullptr && w.windowHandle()->startSystemResize(Qt::RightEdge | Qt::BottomEdge)) return;
  drag_ = dgResize;
  dragByMenu_ = true;
  dragHit_ = fhBottomRight;
  dragStart_ = QCursor::pos();
  dragGeometry_ = w.geometry();
  w.grabMouse();
}
