#include "skin/skin_manager.h"

#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QWidget>

#include <algorithm>
#include <cctype>

#include "skin/skin_events.h"
#include "skin/skin_form.h"
#include "skin/skin_menu_draw.h"
#include "skin/skin_popup.h"
#include "skin/skin_style.h"

namespace {

constexpr int ActionInterval = 250;

TSkinManage*& InstancePointer() {
  static TSkinManage* instance = nullptr;
  return instance;
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

// Message boxes and the standard dialogs, which a dialog-kind skin
// component serves.
bool IsSystemDialogClass(const std::string& lowerName) {
  static const char* const names[] = {"qmessagebox", "qfiledialog",     "qcolordialog",  "qfontdialog",
                                      "qinputdialog", "qprogressdialog", "qerrormessage", "qprintdialog"};
  return std::any_of(std::begin(names), std::end(names), [&](const char* n) { return lowerName == n; });
}

// Qt's own windows that are never skinned: popups (menus have skins of
// their own), tool tips, splash screens and the like.
bool IsQtOwnWindow(const QWidget& w) {
  switch (w.windowType()) {
    case Qt::Popup:
    case Qt::ToolTip:
    case Qt::SplashScreen:
    case Qt::Desktop:
    case Qt::ForeignWindow:
    case Qt::SubWindow:
      return true;
    default:
      return (w.windowFlags() & Qt::BypassWindowManagerHint) != 0;
  }
}

}  // namespace

int TagOf(const QObject* object) {
  if (object == nullptr) return 0;
  bool ok = false;
  const int tag = object->property("Tag").toInt(&ok);
  return ok ? tag : 0;
}

QMargins SkinFrameMarginsOf(const QWidget* window) {
  TSkinManage* manager = TSkinManage::Instance();
  if (manager == nullptr || window == nullptr) return {};
  TWinSkinForm* form = manager->SkinnedWindow(window);
  return form != nullptr ? form->AppliedFrame() : QMargins();
}

TSkinManage::TSkinManage() : style_(std::make_unique<TSkinStyle>(*this)) {
  InstancePointer() = this;
  timer_.setInterval(ActionInterval);
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, [this] { DoTimer(); });
  InstallHook();
}

TSkinManage::~TSkinManage() {
  timer_.stop();
  if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(this);
  for (std::size_t i = windows_.size(); i-- > 0;) {
    windows_[i]->State = TWinSkinForm::wsClosing;
    windows_[i]->Unskin();
  }
  windows_.clear();
  popups_.clear();
  // Menus keep the application's style once the skin has gone.
  for (const QPointer<QMenu>& m : watchedMenus_) {
    if (m && m->style() == style_.get()) m->setStyle(nullptr);
  }
  watchedMenus_.clear();
  if (InstancePointer() == this) InstancePointer() = nullptr;
}

TSkinManage* TSkinManage::Instance() { return InstancePointer(); }

void TSkinManage::InstallHook() {
  if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(this);
}

// ---------------------------------------------------------------------------
// The skin components

void TSkinManage::AddSkinData(TSkinData& data) {
  if (std::find(skinData_.begin(), skinData_.end(), &data) == skinData_.end()) skinData_.push_back(&data);
}

void TSkinManage::RemoveSkinData(TSkinData& data) {
  skinData_.erase(std::remove(skinData_.begin(), skinData_.end(), &data), skinData_.end());
  if (current_ == &data) current_ = nullptr;
  for (const auto& w : windows_) {
    if (w->Data() == &data) w->ClearSkinData();
  }
  for (const auto& p : popups_) {
    if (p->Data() == &data) p->ClearSkinData();
  }
}

void TSkinManage::SetAction(int action) {
  pendingAction_ = action;
  if (activationCount_ > 0) {
    // A newer action replaces one that waits; the wait is not prolonged.
    if (!timer_.isActive()) timer_.start();
    return;
  }
  // The program is still starting: windows are skinned as they come.
  if (action == TSkinManagerLink::SkinAll) enabled_ = true;
  if (action == TSkinManagerLink::UnskinAll) enabled_ = false;
}

void TSkinManage::SetCurrentSkinData(TSkinData* data) { current_ = data; }

void TSkinManage::ReloadAll() {
  for (std::size_t i = 0; i < windows_.size(); ++i) windows_[i]->ReloadSkin();
}

void TSkinManage::DoTimer() {
  timer_.stop();
  const int action = pendingAction_;
  pendingAction_ = 0;
  switch (action) {
    case TSkinManagerLink::SkinAll: {
      enabled_ = true;
      bulk_ = true;
      const QWidgetList forms = QApplication::topLevelWidgets();
      for (qsizetype i = forms.size(); i-- > 0;) SkinWindow(forms[i]);
      bulk_ = false;
      break;
    }
    case TSkinManagerLink::UnskinAll:
      enabled_ = false;
      UnskinAllWindows();
      break;
    case TSkinManagerLink::SkinChanged: {
      for (std::size_t i = 0; i < windows_.size(); ++i) windows_[i]->ReloadSkin();
      for (std::size_t i = 0; i < windows_.size(); ++i) {
        windows_[i]->RepaintFrame();
        if (QWidget* w = windows_[i]->Handle()) w->update();
      }
      if (TSkinData* data = current_) {
        data->DoSkinChanged();
        current_ = nullptr;
      }
      break;
    }
    default:
      break;
  }
}

void TSkinManage::UnskinAllWindows() {
  for (std::size_t i = windows_.size(); i-- > 0;) {
    windows_[i]->Unskin();
    RemoveWindowObject(i);
  }
}

bool TSkinManage::CanSkin(const std::string& className) {
  bool doSkin = true;
  for (TSkinData* data : skinData_) {
    if (data->SkinFormtype == sfMainform) {
      data->CanSkinForm(className, doSkin);
      return doSkin;
    }
  }
  return doSkin;
}

TSkinData* TSkinManage::ChooseSkinData(const QWidget* window) const {
  TSkinData* chosen = nullptr;
  for (TSkinData* data : skinData_) {
    if (data->SkinFormtype == sfOnlyThisForm && window != nullptr && data->OwnerForm == window) chosen = data;
  }
  if (chosen != nullptr) return chosen;
  if (window != nullptr && IsSystemDialogClass(Lower(window->metaObject()->className()))) {
    for (TSkinData* data : skinData_) {
      if (data->SkinFormtype == sfDialog) chosen = data;
    }
    if (chosen != nullptr) return chosen;
  }
  for (TSkinData* data : skinData_) {
    if (data->SkinFormtype == sfMainform) chosen = data;
  }
  if (chosen != nullptr) return chosen;
  return skinData_.empty() ? nullptr : skinData_.front();
}

// ---------------------------------------------------------------------------
// Windows

bool TSkinManage::SkinWindow(QWidget* window) {
  if (!enabled_ || window == nullptr) return false;
  if (SkinnedWindow(window) != nullptr) return false;
  if (!bulk_ && !window->isWindow()) return false;
  if (!window->isWindow()) return false;
  if (window->width() <= 0 || window->height() <= 0) return false;
  if (TagOf(window) == NeverSkinTag) return false;
  if (IsQtOwnWindow(*window)) return false;
  if (!CanSkin(window->metaObject()->className())) return false;
  TSkinData* data = ChooseSkinData(window);
  if (data == nullptr || !data->SkinLoaded()) return false;

  auto form = std::make_unique<TWinSkinForm>(*this);
  TWinSkinForm* raw = form.get();
  windows_.push_back(std::move(form));
  connect(window, &QObject::destroyed, this, [this](QObject* gone) { WindowDestroyed(gone); });
  raw->InitFromForm(*data, *window);
  PostSkinMessage(window, smFinishSetup, 0, 1000);
  return true;
}

bool TSkinManage::UnskinWindow(QWidget* window) {
  for (std::size_t i = 0; i < windows_.size(); ++i) {
    if (windows_[i]->Handle() == window) {
      windows_[i]->State = TWinSkinForm::wsClosing;
      windows_[i]->Unskin();
      RemoveWindowObject(i);
      return true;
    }
  }
  return false;
}

void TSkinManage::RemoveWindowObject(std::size_t index) {
  std::unique_ptr<TWinSkinForm> form = std::move(windows_[index]);
  windows_.erase(windows_.begin() + static_cast<std::ptrdiff_t>(index));
  if (QWidget* w = form->Handle()) disconnect(w, &QObject::destroyed, this, nullptr);
}

void TSkinManage::WindowDestroyed(QObject* window) {
  // The window is half gone: its object is let go without touching it.
  for (std::size_t i = 0; i < windows_.size(); ++i) {
    TWinSkinForm& form = *windows_[i];
    if (form.Handle() == nullptr || form.Handle() == window) {
      form.State = TWinSkinForm::wsClosing;
      form.Forget();
      form.Unskin();
      windows_.erase(windows_.begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
  }
}

TWinSkinForm* TSkinManage::SkinnedWindow(const QWidget* window) const {
  for (const auto& w : windows_) {
    if (w->Handle() == window && window != nullptr) return w.get();
  }
  return nullptr;
}

TWinSkinForm* TSkinManage::WindowOfMenuBar(const QWidget* bar) const {
  if (bar == nullptr) return nullptr;
  for (const auto& w : windows_) {
    if (w->MenuBar() != nullptr && w->MenuBar()->Bar() == bar) return w.get();
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// Popup menus

void TSkinManage::WatchMenu(QMenu* menu) {
  for (const QPointer<QMenu>& m : watchedMenus_) {
    if (m == menu) return;
  }
  watchedMenus_.erase(std::remove_if(watchedMenus_.begin(), watchedMenus_.end(),
                                     [](const QPointer<QMenu>& m) { return m.isNull(); }),
                      watchedMenus_.end());
  watchedMenus_.emplace_back(menu);
  if (!menu->testAttribute(Qt::WA_SetStyle)) menu->setStyle(style_.get());
  // Before it sizes itself, so that the skin measures its items.
  connect(menu, &QMenu::aboutToShow, this, [this, menu] { SkinPopupMenu(menu); });
  connect(menu, &QMenu::aboutToHide, this, [this, menu] { DetachPopup(menu); });
  connect(menu, &QObject::destroyed, this, [this, menu] { DetachPopup(menu, true); });
}

void TSkinManage::SkinPopupMenu(QMenu* menu) {
  if (!enabled_ || menu == nullptr || PopupSkin(menu) != nullptr) return;
  TSkinData* data = ChooseSkinData(menu);
  if (data == nullptr || !data->SkinLoaded()) return;
  if (!menu->testAttribute(Qt::WA_SetStyle)) menu->setStyle(style_.get());
  int road = mrSystem;
  for (const auto& w : windows_) {
    road = w->MenuRoad(menu);
    if (road != mrSystem) break;
  }
  auto popup = std::make_unique<TWinSkinPopMenu>();
  popup->Attach(menu, data, road);
  popups_.push_back(std::move(popup));
  popupOpen_ = true;
}

void TSkinManage::DetachPopup(const QMenu* menu, bool gone) {
  for (std::size_t i = 0; i < popups_.size(); ++i) {
    if (popups_[i]->Menu() == menu || popups_[i]->Menu() == nullptr) {
      if (gone) popups_[i]->Forget();
      popups_[i]->Detach();
      popups_.erase(popups_.begin() + static_cast<std::ptrdiff_t>(i));
      break;
    }
  }
  if (popups_.empty()) popupOpen_ = false;
}

TWinSkinPopMenu* TSkinManage::PopupSkin(const QMenu* menu) const {
  for (const auto& p : popups_) {
    if (p->Menu() == menu && menu != nullptr) return p.get();
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// The hook

bool TSkinManage::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::Polish && type != QEvent::Show && type != QEvent::Hide && type != QEvent::WindowActivate) {
    return false;
  }
  if (auto* menu = qobject_cast<QMenu*>(watched)) {
    switch (type) {
      case QEvent::Polish:
        WatchMenu(menu);
        break;
      case QEvent::Show:
        WatchMenu(menu);
        SkinPopupMenu(menu);
        break;
      case QEvent::Hide:
        DetachPopup(menu);
        break;
      default:
        break;
    }
    return false;
  }
  auto* window = qobject_cast<QWidget*>(watched);
  if (window == nullptr || !window->isWindow()) return false;
  switch (type) {
    case QEvent::Polish:
      // Before the first showing: the window's frame goes before its native
      // window is on screen.
      if (!window->isVisible()) SkinWindow(window);
      break;
    case QEvent::Show:
      SkinWindow(window);
      break;
    case QEvent::WindowActivate:
      if (activationCount_ == 0) {
        activationCount_ = 1;
        if (pendingAction_ != 0) timer_.start();
      }
      SkinWindow(window);
      break;
    default:
      break;
  }
  return false;
}

void InstallSkinManager() {
  SetSkinManagerFactory([] { return std::make_unique<TSkinManage>(); });
}
