#include "skin/window_manager.h"

#include <dlfcn.h>

#include <QGuiApplication>
#include <QWindow>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#if __has_include(<xcb/xcb.h>)
#include <xcb/xcb.h>
#define SW_HAVE_XCB_TYPES 1
#endif

namespace {

std::optional<bool>& Answer() {
  static std::optional<bool> answer;
  return answer;
}

std::optional<QPoint>& OriginAnswer() {
  static std::optional<QPoint> answer;
  return answer;
}

#if defined(SW_HAVE_XCB_TYPES) && QT_CONFIG(xcb)

// The X connection is Qt's own; the few calls go to the library the xcb
// platform has loaded already, so the program itself links no X library.
struct TXcbCalls {
  decltype(&xcb_intern_atom) InternAtom = nullptr;
  decltype(&xcb_intern_atom_reply) InternAtomReply = nullptr;
  decltype(&xcb_get_property) GetProperty = nullptr;
  decltype(&xcb_get_property_reply) GetPropertyReply = nullptr;
  decltype(&xcb_get_property_value) PropertyValue = nullptr;
  decltype(&xcb_get_property_value_length) PropertyValueLength = nullptr;
  decltype(&xcb_get_setup) GetSetup = nullptr;
  decltype(&xcb_setup_roots_iterator) RootsIterator = nullptr;
  decltype(&xcb_translate_coordinates) TranslateCoordinates = nullptr;
  decltype(&xcb_translate_coordinates_reply) TranslateCoordinatesReply = nullptr;
  decltype(&xcb_configure_window) ConfigureWindow = nullptr;
  decltype(&xcb_change_property) ChangeProperty = nullptr;
  decltype(&xcb_flush) Flush = nullptr;
  bool Complete() const {
    return InternAtom && InternAtomReply && GetProperty && GetPropertyReply && PropertyValue && PropertyValueLength &&
           GetSetup && RootsIterator && TranslateCoordinates && TranslateCoordinatesReply && ConfigureWindow &&
           ChangeProperty && Flush;
  }
};

template <typename F>
void Resolve(void* library, const char* name, F& into) {
  into = reinterpret_cast<F>(dlsym(library, name));
}

// The window a property of type WINDOW names, or 0.
xcb_window_t WindowProperty(const TXcbCalls& x, xcb_connection_t* c, xcb_window_t window, xcb_atom_t property) {
  xcb_get_property_reply_t* reply =
      x.GetPropertyReply(c, x.GetProperty(c, 0, window, property, XCB_ATOM_WINDOW, 0, 1), nullptr);
  if (reply == nullptr) return 0;
  xcb_window_t named = 0;
  if (reply->type == XCB_ATOM_WINDOW && reply->format == 32 && x.PropertyValueLength(reply) >= 4) {
    std::memcpy(&named, x.PropertyValue(reply), sizeof named);
  }
  std::free(reply);
  return named;
}

// Qt's X connection and the calls, while the library stays open.
class TXcb {
 public:
  TXcb() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    connection_ = x11 ? x11->connection() : nullptr;
    if (connection_ == nullptr) return;
    library_ = dlopen("libxcb.so.1", RTLD_LAZY | RTLD_NOLOAD);
    if (library_ == nullptr) return;
    Resolve(library_, "xcb_intern_atom", calls_.InternAtom);
    Resolve(library_, "xcb_intern_atom_reply", calls_.InternAtomReply);
    Resolve(library_, "xcb_get_property", calls_.GetProperty);
    Resolve(library_, "xcb_get_property_reply", calls_.GetPropertyReply);
    Resolve(library_, "xcb_get_property_value", calls_.PropertyValue);
    Resolve(library_, "xcb_get_property_value_length", calls_.PropertyValueLength);
    Resolve(library_, "xcb_get_setup", calls_.GetSetup);
    Resolve(library_, "xcb_setup_roots_iterator", calls_.RootsIterator);
    Resolve(library_, "xcb_translate_coordinates", calls_.TranslateCoordinates);
    Resolve(library_, "xcb_translate_coordinates_reply", calls_.TranslateCoordinatesReply);
    Resolve(library_, "xcb_configure_window", calls_.ConfigureWindow);
    Resolve(library_, "xcb_change_property", calls_.ChangeProperty);
    Resolve(library_, "xcb_flush", calls_.Flush);
  }
  ~TXcb() {
    if (library_ != nullptr) dlclose(library_);
  }
  TXcb(const TXcb&) = delete;
  TXcb& operator=(const TXcb&) = delete;

  bool Usable() const { return library_ != nullptr && calls_.Complete(); }
  const TXcbCalls& Calls() const { return calls_; }
  xcb_connection_t* Connection() const { return connection_; }
  const xcb_screen_t* Screen() const { return calls_.RootsIterator(calls_.GetSetup(connection_)).data; }

 private:
  xcb_connection_t* connection_ = nullptr;
  void* library_ = nullptr;
  TXcbCalls calls_;
};

// A window manager that follows the desktop conventions names a check
// window on the root window, and that window names itself again.
std::optional<bool> AskX11() {
  const TXcb xcb;
  if (!xcb.Usable()) return std::nullopt;
  const TXcbCalls& x = xcb.Calls();
  xcb_connection_t* c = xcb.Connection();
  static const char name[] = "_NET_SUPPORTING_WM_CHECK";
  xcb_intern_atom_reply_t* atom =
      x.InternAtomReply(c, x.InternAtom(c, 1, static_cast<std::uint16_t>(sizeof name - 1), name), nullptr);
  const xcb_screen_t* screen = xcb.Screen();
  std::optional<bool> found;
  if (atom != nullptr && screen != nullptr) {
    const xcb_window_t check = atom->atom == XCB_ATOM_NONE ? 0 : WindowProperty(x, c, screen->root, atom->atom);
    found = check != 0 && WindowProperty(x, c, check, atom->atom) == check;
  }
  std::free(atom);
  return found;
}

std::optional<QPoint> AskX11Origin(const QWindow& window) {
  if (QGuiApplication::platformName() != "xcb" || window.handle() == nullptr) return std::nullopt;
  const TXcb xcb;
  if (!xcb.Usable()) return std::nullopt;
  const xcb_screen_t* screen = xcb.Screen();
  if (screen == nullptr) return std::nullopt;
  const TXcbCalls& x = xcb.Calls();
  xcb_connection_t* c = xcb.Connection();
  xcb_translate_coordinates_reply_t* reply = x.TranslateCoordinatesReply(
      c, x.TranslateCoordinates(c, static_cast<xcb_window_t>(window.winId()), screen->root, 0, 0), nullptr);
  if (reply == nullptr) return std::nullopt;
  const QPoint origin(reply->dst_x, reply->dst_y);
  std::free(reply);
  return origin;
}

bool AskX11ToPlace(const QWindow& window, QPoint origin) {
  if (QGuiApplication::platformName() != "xcb" || window.handle() == nullptr) return false;
  const TXcb xcb;
  if (!xcb.Usable()) return false;
  const std::uint32_t place[] = {static_cast<std::uint32_t>(origin.x()), static_cast<std::uint32_t>(origin.y())};
  xcb.Calls().ConfigureWindow(xcb.Connection(), static_cast<xcb_window_t>(window.winId()),
                              XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, place);
  xcb.Calls().Flush(xcb.Connection());
  return true;
}

// The hints a window gives the window manager (ICCCM WM_HINTS): a flag
// word, then the input field and the state the window is to be shown in
// when it is mapped.
constexpr std::uint32_t HintsStateFlag = 1U << 1;
constexpr std::uint32_t NormalStart = 1;
constexpr std::uint32_t IconicStart = 3;

bool AskX11ForNormalStart(const QWindow& window) {
  if (QGuiApplication::platformName() != "xcb" || window.handle() == nullptr) return false;
  const TXcb xcb;
  if (!xcb.Usable()) return false;
  const TXcbCalls& x = xcb.Calls();
  xcb_connection_t* c = xcb.Connection();
  const auto id = static_cast<xcb_window_t>(window.winId());
  xcb_get_property_reply_t* reply =
      x.GetPropertyReply(c, x.GetProperty(c, 0, id, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 0, 9), nullptr);
  if (reply == nullptr) return false;
  std::uint32_t hints[9] = {};
  const int length = x.PropertyValueLength(reply);
  const bool read = reply->type == XCB_ATOM_WM_HINTS && reply->format == 32 && length >= 12 &&
                    length <= static_cast<int>(sizeof hints);
  if (read) std::memcpy(hints, x.PropertyValue(reply), static_cast<std::size_t>(length));
  std::free(reply);
  if (!read || !(hints[0] & HintsStateFlag) || hints[2] != IconicStart) return false;
  hints[2] = NormalStart;
  x.ChangeProperty(c, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32,
                   static_cast<std::uint32_t>(length / 4), hints);
  x.Flush(c);
  return true;
}

#else

std::optional<bool> AskX11() { return std::nullopt; }
std::optional<QPoint> AskX11Origin(const QWindow&) { return std::nullopt; }
bool AskX11ToPlace(const QWindow&, QPoint) { return false; }
bool AskX11ForNormalStart(const QWindow&) { return false; }

#endif

}  // namespace

bool WindowManagerPresent(const std::string& platform, std::optional<bool> x11ManagerCheck) {
  if (platform == "xcb") return x11ManagerCheck.value_or(true);
  // Plain frame buffers and remote pictures have nobody to manage windows.
  for (const char* bare : {"minimal", "linuxfb", "eglfs", "vnc", "vkkhrdisplay"}) {
    if (platform == bare) return false;
  }
  // The compositors of Wayland, the other desktops, and the offscreen
  // platform, which keeps every state a window asks for, all play the part.
  return true;
}

bool HasWindowManager() {
  std::optional<bool>& answer = Answer();
  if (!answer) {
    const std::string platform = QGuiApplication::platformName().toStdString();
    answer = WindowManagerPresent(platform, platform == "xcb" ? AskX11() : std::nullopt);
  }
  return *answer;
}

void SetWindowManagerAnswer(std::optional<bool> present) { Answer() = present; }

std::optional<QPoint> WindowOriginOnScreen(const QWindow& window) {
  if (OriginAnswer()) return OriginAnswer();
  return AskX11Origin(window);
}

bool AskToPlaceWindow(const QWindow& window, QPoint origin) {
  if (OriginAnswer()) return false;
  return AskX11ToPlace(window, origin);
}

void SetWindowOriginAnswer(std::optional<QPoint> origin) { OriginAnswer() = origin; }

bool ForgetIconicStart(const QWindow& window) { return AskX11ForNormalStart(window); }
