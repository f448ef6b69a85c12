#include "skin/window_manager.h"

#include <dlfcn.h>

#include <QGuiApplication>

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
  bool Complete() const {
    return InternAtom && InternAtomReply && GetProperty && GetPropertyReply && PropertyValue && PropertyValueLength &&
           GetSetup && RootsIterator;
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

// A window manager that follows the desktop conventions names a check
// window on the root window, and that window names itself again.
std::optional<bool> AskX11() {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  xcb_connection_t* c = x11 ? x11->connection() : nullptr;
  if (c == nullptr) return std::nullopt;
  void* library = dlopen("libxcb.so.1", RTLD_LAZY | RTLD_NOLOAD);
  if (library == nullptr) return std::nullopt;
  TXcbCalls x;
  Resolve(library, "xcb_intern_atom", x.InternAtom);
  Resolve(library, "xcb_intern_atom_reply", x.InternAtomReply);
  Resolve(library, "xcb_get_property", x.GetProperty);
  Resolve(library, "xcb_get_property_reply", x.GetPropertyReply);
  Resolve(library, "xcb_get_property_value", x.PropertyValue);
  Resolve(library, "xcb_get_property_value_length", x.PropertyValueLength);
  Resolve(library, "xcb_get_setup", x.GetSetup);
  Resolve(library, "xcb_setup_roots_iterator", x.RootsIterator);
  std::optional<bool> found;
  if (x.Complete()) {
    static const char name[] = "_NET_SUPPORTING_WM_CHECK";
    xcb_intern_atom_reply_t* atom =
        x.InternAtomReply(c, x.InternAtom(c, 1, static_cast<std::uint16_t>(sizeof name - 1), name), nullptr);
    const xcb_screen_t* screen = x.RootsIterator(x.GetSetup(c)).data;
    if (atom != nullptr && screen != nullptr) {
      const xcb_window_t check = atom->atom == XCB_ATOM_NONE ? 0 : WindowProperty(x, c, screen->root, atom->atom);
      found = check != 0 && WindowProperty(x, c, check, atom->atom) == check;
    }
    std::free(atom);
  }
  dlclose(library);
  return found;
}

#else

std::optional<bool> AskX11() { return std::nullopt; }

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
