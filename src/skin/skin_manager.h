#pragma once
// The skin manager: one for the program, made by the first skin component
// (InstallSkinManager installs its factory) and destroyed with
// DestroySkinManager at the end. It watches the GUI thread's windows with
// an application-wide event filter and decides which are skinned:
//
// - a top-level window is skinned when it is polished before its first
//   showing (so that it loses the window system's frame before its native
//   window exists), when it is shown and when it is activated;
// - a popup menu gets a popup skin when it is about to show (before it
//   sizes itself) or shows, and loses it when it hides or goes away;
// - the skin component's actions (skin everything, unskin everything, the
//   skin changed) run 250 ms after they are asked for, a newer one
//   replacing one not yet run; before the first window is activated they
//   only switch skinning on or off, and a waiting action runs 250 ms after
//   that first activation.
//
// Windows that are never skinned: child widgets, windows of no size,
// forms whose "Tag" property is 99, Qt's own popups (combo drop-downs,
// completers), tool tips and splash screens, and classes the skin
// component refuses.

#include <QMargins>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <string>
#include <vector>

#include "skin/skin_data.h"

class QMenu;
class QWidget;
class TSkinStyle;
class TWinSkinForm;
class TWinSkinPopMenu;

// The "Tag" of a widget or action: its dynamic property "Tag" (0 when it
// has none).
int TagOf(const QObject* object);
inline constexpr int NeverSkinTag = 99;

// The skinned frame's margins of a window (none when it is not skinned):
// its geometry less these is its client area, the part the window system's
// frame would lie around.
QMargins SkinFrameMarginsOf(const QWidget* window);

class TSkinManage : public QObject, public TSkinManagerLink {
  Q_OBJECT

 public:
  TSkinManage();
  ~TSkinManage() override;
  TSkinManage(const TSkinManage&) = delete;
  TSkinManage& operator=(const TSkinManage&) = delete;

  // The program's manager, when one of this kind has been made.
  static TSkinManage* Instance();

  // ---- What the skin component asks ----
  void AddSkinData(TSkinData& data) override;
  // Also clears every reference to it: the current skin data, the
  // skinned windows and popups that use it.
  void RemoveSkinData(TSkinData& data) override;
  void SetAction(int action) override;
  void SetCurrentSkinData(TSkinData* data) override;
  void ReloadAll() override;

  // ---- Windows and popups ----
  // Skins a window when every test passes; true when it did.
  bool SkinWindow(QWidget* window);
  // Gives a skinned window back its own look; true when it was skinned.
  bool UnskinWindow(QWidget* window);
  // Gives a popup menu its popup skin.
  void SkinPopupMenu(QMenu* menu);
  // Whether the first skin component of the main-form kind lets a window
  // class be skinned (true without one).
  bool CanSkin(const std::string& className);
  // The skin component a window is skinned with: one made for this very
  // form, the dialog kind for message boxes and standard dialogs, the
  // main-form kind, the first one; null without components.
  TSkinData* ChooseSkinData(const QWidget* window) const;

  bool Enabled() const { return enabled_; }
  int PendingAction() const { return pendingAction_; }
  bool ActionTimerActive() const { return timer_.isActive(); }
  int ActivationCount() const { return activationCount_; }
  bool PopupOpen() const { return popupOpen_; }
  TSkinData* CurrentSkinData() const { return current_; }
  const std::vector<TSkinData*>& SkinDataList() const { return skinData_; }
  std::size_t SkinnedWindowCount() const { return windows_.size(); }
  TWinSkinForm* SkinnedWindow(const QWidget* window) const;
  TWinSkinForm* SkinnedWindowAt(std::size_t index) const { return windows_.at(index).get(); }
  TWinSkinPopMenu* PopupSkin(const QMenu* menu) const;
  // The skinned window whose menu bar this is.
  TWinSkinForm* WindowOfMenuBar(const QWidget* bar) const;
  // The style the skin gives menus and menu bars.
  TSkinStyle& Style() const { return *style_; }

 protected:
  // The creation and activation hook.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void InstallHook();
  void DoTimer();
  void WatchMenu(QMenu* menu);
  // gone: the menu is being destroyed and is not touched.
  void DetachPopup(const QMenu* menu, bool gone = false);
  void WindowDestroyed(QObject* window);
  void RemoveWindowObject(std::size_t index);
  void UnskinAllWindows();

  QTimer timer_;
  std::vector<std::unique_ptr<TWinSkinForm>> windows_;
  std::vector<std::unique_ptr<TWinSkinPopMenu>> popups_;
  std::vector<TSkinData*> skinData_;
  std::vector<QPointer<QMenu>> watchedMenus_;
  std::unique_ptr<TSkinStyle> style_;
  bool enabled_ = false;
  bool bulk_ = false;
  int activationCount_ = 0;
  bool popupOpen_ = false;
  int pendingAction_ = 0;
  TSkinData* current_ = nullptr;
};

// Makes the skin manager the one the first skin component creates. Call
// before any skin component is made.
void InstallSkinManager();
