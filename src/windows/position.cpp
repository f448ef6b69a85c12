#include "windows/position.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cstdint>

#include "core/files.h"
#include "core/inifile.h"
#include "skin/skin_manager.h"
#include "skin/window_manager.h"
#include "windows/form_support.h"

namespace {

const char* const kLeft = "Left";
const char* const kTop = "Top";
const char* const kWidth = "Width";
const char* const kHeight = "Height";
const char* const kWindowState = "WindowState";

std::int64_t Overlap(std::int64_t a0, std::int64_t a1, std::int64_t b0, std::int64_t b1) {
  return std::max<std::int64_t>(0, std::min(a1, b1) - std::max(a0, b0));
}

// The screen the area from (left, top) to (right, bottom) overlaps most,
// the first of equals; the first screen when it overlaps none. screens is
// not empty.
const TRect& MostOverlappedScreen(std::int64_t left, std::int64_t top, std::int64_t right, std::int64_t bottom,
                                  const std::vector<TRect>& screens) {
  std::size_t best = 0;
  std::int64_t bestArea = 0;
  for (std::size_t i = 0; i < screens.size(); ++i) {
    const TRect& s = screens[i];
    const std::int64_t area = Overlap(left, right, s.Left, s.Right) * Overlap(top, bottom, s.Top, s.Bottom);
    if (area > bestArea) {
      best = i;
      bestArea = area;
    }
  }
  return screens[best];
}

// Where a span of size starting at start begins once moved into lo..hi;
// a span longer than that begins at lo.
int MovedInto(std::int64_t start, std::int64_t size, std::int64_t lo, std::int64_t hi) {
  return static_cast<int>(std::clamp<std::int64_t>(start, lo, std::max<std::int64_t>(lo, hi - size)));
}

int StateOf(const QWidget* form) {
  const Qt::WindowStates s = form->windowState();
  if (s & Qt::WindowMinimized) return 1;
  if (s & (Qt::WindowMaximized | Qt::WindowFullScreen)) return 2;
  return 0;
}

std::vector<TRect> VisibleScreens() {
  std::vector<TRect> screens;
  for (const QScreen* screen : QGuiApplication::screens()) {
    const QRect r = screen->availableGeometry();
    if (r.isEmpty()) continue;
    screens.push_back(Rect(r.left(), r.top(), r.left() + r.width(), r.top() + r.height()));
  }
  return screens;
}

}  // namespace

std::string PositionFileName() { return ProgramDir() + ProgramName() + ".ini"; }

std::string PositionSection(const std::string& formName) { return formName + " Position"; }

TPositionRecord ReadPosition(const std::string& fileName, const std::string& formName,
                             const TPositionRecord& defaults) {
  const TIniFile ini(fileName);
  const std::string section = PositionSection(formName);
  TPositionRecord r;
  r.Left = ini.ReadInteger(section, kLeft, defaults.Left);
  r.Top = ini.ReadInteger(section, kTop, defaults.Top);
  r.Width = ini.ReadInteger(section, kWidth, defaults.Width);
  r.Height = ini.ReadInteger(section, kHeight, defaults.Height);
  r.WindowState = ini.ReadInteger(section, kWindowState, 0);
  if (r.WindowState < 0 || r.WindowState > 2) r.WindowState = 0;
  return r;
}

void WritePosition(const std::string& fileName, const std::string& formName, const TPositionRecord& record) {
  TIniFile ini(fileName);
  const std::string section = PositionSection(formName);
  ini.WriteInteger(section, kWindowState, record.WindowState);
  ini.WriteInteger(section, kLeft, record.Left);
  ini.WriteInteger(section, kTop, record.Top);
  ini.WriteInteger(section, kWidth, record.Width);
  ini.WriteInteger(section, kHeight, record.Height);
  ini.UpdateFile();
}

TPositionRecord ClampToScreens(TPositionRecord record, const std::vector<TRect>& screens,
                               const TPositionRecord& fallback) {
  if (record.Width <= 0) record.Width = fallback.Width;
  if (record.Height <= 0) record.Height = fallback.Height;
  if (screens.empty()) return record;

  const std::int64_t left = record.Left;
  const std::int64_t top = record.Top;
  const std::int64_t right = left + record.Width;
  const std::int64_t bottom = top + record.Height;
  const TRect& s = MostOverlappedScreen(left, top, right, bottom, screens);
  const std::int64_t sw = static_cast<std::int64_t>(s.Right) - s.Left;
  const std::int64_t sh = static_cast<std::int64_t>(s.Bottom) - s.Top;
  const std::int64_t w = std::max<std::int64_t>(1, std::min<std::int64_t>(record.Width, sw));
  const std::int64_t h = std::max<std::int64_t>(1, std::min<std::int64_t>(record.Height, sh));
  record.Width = static_cast<int>(w);
  record.Height = static_cast<int>(h);
  record.Left = MovedInto(left, w, s.Left, s.Right);
  record.Top = MovedInto(top, h, s.Top, s.Bottom);
  return record;
}

TPoint TitleBarOnScreens(const TRect& frame, int titleHeight, const std::vector<TRect>& screens) {
  const TPoint unmoved{frame.Left, frame.Top};
  if (screens.empty() || titleHeight <= 0 || frame.Width() <= 0) return unmoved;
  const std::int64_t left = frame.Left;
  const std::int64_t top = frame.Top;
  const std::int64_t right = left + frame.Width();
  const std::int64_t bottom = top + titleHeight;
  const TRect& s = MostOverlappedScreen(left, top, right, bottom, screens);
  const std::int64_t w = std::min<std::int64_t>(frame.Width(), static_cast<std::int64_t>(s.Right) - s.Left);
  const std::int64_t h = std::min<std::int64_t>(titleHeight, static_cast<std::int64_t>(s.Bottom) - s.Top);
  return {MovedInto(left, w, s.Left, s.Right), MovedInto(top, h, s.Top, s.Bottom)};
}

// ---------------------------------------------------------------------------

TPosition::TPosition(QWidget* owner) : QObject(owner), form_(owner) {
  setObjectName("Position");
  if (owner) {
    RestorePosition(owner);
    owner->installEventFilter(this);
  }
}

TPosition::~TPosition() {
  // The owner is being torn down around us: only what was followed while
  // it lived is used here.
  Save();
}

void TPosition::RestorePosition(QWidget* form) {
  formName_ = form->objectName().toStdString();
  const QRect g = form->geometry();
  const TPositionRecord designed{g.x(), g.y(), g.width(), g.height(), 0};
  last_ = designed;
  TPositionRecord r = designed;
  try {
    // A form never stored keeps its designed bounds, and its placement
    // (centred on its owner) with them.
    if (!TIniFile(PositionFileName()).SectionExists(PositionSection(formName_))) return;
    r = ReadPosition(PositionFileName(), formName_, designed);
  } catch (...) {
    return;  // an unreadable position file leaves the designed bounds
  }
  const int state = r.WindowState;
  r = ClampToScreens(r, VisibleScreens(), designed);
  // A move before the window is shown places its frame's corner; the
  // frame, a window manager's or a skin's, comes round the inner size.
  form->resize(r.Width, r.Height);
  form->move(r.Left, r.Top);
  // A window brought back minimised would be invisible (and a modal one
  // would block the program unseen), so that state reopens as normal.
  if (state == 2) {
    form->setWindowState(form->windowState() | Qt::WindowMaximized);
  } else {
    form->setWindowState(form->windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized));
  }
  last_ = {r.Left, r.Top, r.Width, r.Height, state == 2 ? 2 : 0};
  known_ = true;
}

void TPosition::SavePosition(QWidget* form) {
  Track(form);
  Save();
}

void TPosition::Track(QWidget* form) {
  // A window being hidden or not yet shown is moved about by the window
  // system (to 0,0 while it is unmapped): only a window on screen tells
  // where it is.
  if (!form->isVisible()) return;
  known_ = true;
  last_.WindowState = StateOf(form);
  QRect g;
  if (last_.WindowState == 0) {
    g = form->geometry();
  } else if (last_.WindowState == 2 && form->isWindow()) {
    g = form->normalGeometry();
  }
  if (!g.isValid()) return;
  // The window manager's frame lies round the window, a skinned frame
  // inside it: the corner stored is the outer one, the size the inner one.
  const QRect now = form->geometry();
  const QPoint outside = now.topLeft() - form->frameGeometry().topLeft();
  const QMargins skin = SkinFrameMarginsOf(form);
  const QRect inner = g.marginsRemoved(skin);
  if (!inner.isValid()) return;
  const QPoint corner = g.topLeft() - outside;
  last_ = {corner.x(), corner.y(), inner.width(), inner.height(), last_.WindowState};
}

void TPosition::KeepTitleBarOnScreen() {
  QWidget* form = form_;
  if (form == nullptr || !form->isVisible() || form->windowState() != Qt::WindowNoState) return;
  const QRect frame = form->frameGeometry();
  const QRect inner = form->geometry();
  const int titleHeight = inner.top() - frame.top() + SkinFrameMarginsOf(form).top();
  const QWindow* native = form->windowHandle();
  // The window manager frames a window only after it is shown: until its
  // frame is known, a later move checks again.
  const bool frameKnown = !HasWindowManager() || inner.top() != frame.top() ||
                          (form->windowFlags() & Qt::FramelessWindowHint) ||
                          (native != nullptr && !native->frameMargins().isNull());
  if (frameKnown) checkTitleBar_ = false;
  const TPoint to = TitleBarOnScreens(Rect(frame.left(), frame.top(), frame.left() + frame.width(),
                                           frame.top() + frame.height()),
                                      titleHeight, VisibleScreens());
  if (to.X != frame.left() || to.Y != frame.top()) form->move(to.X, to.Y);
}

void TPosition::Save() {
  // A form never shown and never stored has no place of its own yet.
  if (formName_.empty() || !known_) return;
  try {
    WritePosition(PositionFileName(), formName_, last_);
  } catch (...) {
    // A position that cannot be stored is not worth an error on closing.
  }
}

bool TPosition::eventFilter(QObject* watched, QEvent* event) {
  if (watched == form_) {
    switch (event->type()) {
      case QEvent::Show:
        checkTitleBar_ = true;
        Guarded([this] {
          KeepTitleBarOnScreen();
          Track(form_);
        });
        break;
      case QEvent::Move:
      case QEvent::Resize:
      case QEvent::WindowStateChange:
      // A window placed by Qt before the window manager framed it (a
      // dialog centred on its owner) does not move when the frame comes
      // round it: by its activation the frame is known, and the corner
      // seen before it was the inner area's.
      case QEvent::WindowActivate:
        Guarded([this] {
          if (checkTitleBar_) KeepTitleBarOnScreen();
          Track(form_);
        });
        break;
      default:
        break;
    }
  }
  return QObject::eventFilter(watched, event);
}
