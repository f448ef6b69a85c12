#pragma once
// The skin component: it holds one skin package, turns its description
// and pictures into skin elements, and tells the skin manager to skin,
// re-skin or unskin the program's windows.
//
// The main window drives it in two ways only: a stored skin is chosen with
// LoadFromCollection(store, index) followed by SetActive(true) when it was
// off; the plain look with SetActive(false).
//
// A load that fails (a package that does not unpack, a container that is
// not sound, another version, no description) changes nothing: the skin
// loaded before stays, and so does the package it came from.

#include <QBrush>
#include <QColor>
#include <QImage>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/streams.h"
#include "skin/package/skin_store.h"
#include "skin/skin_elements.h"

enum TSkinControlType {
  xcMainMenu,
  xcPopupMenu,
  xcToolbar,
  xcControlbar,
  xcCombo,
  xcCheckBox,
  xcRadioButton,
  xcProgress,
  xcScrollbar,
  xcEdit,
  xcButton,
  xcBitBtn,
  xcSpeedButton,
  xcPanel,
  xcGroupBox,
  xcStatusBar,
  xcTab,
  xcFastReport
};

// A set of control kinds.
class TSkinControls {
 public:
  TSkinControls() = default;
  // Every kind but xcFastReport.
  static TSkinControls Default();
  bool Contains(TSkinControlType kind) const { return (bits_ >> kind) & 1u; }
  void Include(TSkinControlType kind) { bits_ |= 1u << kind; }
  void Exclude(TSkinControlType kind) { bits_ &= ~(1u << kind); }
  friend bool operator==(const TSkinControls&, const TSkinControls&) = default;

 private:
  std::uint32_t bits_ = 0;
};

enum TSkinFormType { sfMainform, sfOnlyThisForm, sfDialog };

class QWidget;
class TSkinData;

// What the skin component needs of the skin manager. The manager is made
// by the first component (through the factory its unit installs) and
// lives until DestroySkinManager.
class TSkinManagerLink {
 public:
  // SetAction's actions.
  static constexpr int SkinAll = 1;
  static constexpr int UnskinAll = 2;
  static constexpr int SkinChanged = 3;

  virtual ~TSkinManagerLink() = default;
  virtual void AddSkinData(TSkinData& data) = 0;
  virtual void RemoveSkinData(TSkinData& data) = 0;
  virtual void SetAction(int action) = 0;
  // The component that applied a skin last (cleared once its
  // OnSkinChanged has fired).
  virtual void SetCurrentSkinData(TSkinData* data) = 0;
  // Every skinned window reloads its skin from its component.
  virtual void ReloadAll() = 0;
};

using TSkinManagerFactory = std::function<std::unique_ptr<TSkinManagerLink>()>;
// Installs how the manager is made (nullptr: no manager is made).
void SetSkinManagerFactory(TSkinManagerFactory factory);
// The manager, or null when none has been made.
TSkinManagerLink* SkinManager();
// Destroys the manager (at the end of the program; tests).
void DestroySkinManager();

class TSkinData {
 public:
  // Makes the skin manager if none exists and registers with it.
  TSkinData();
  ~TSkinData();
  TSkinData(const TSkinData&) = delete;
  TSkinData& operator=(const TSkinData&) = delete;

  bool Active() const { return active_; }
  // On a change: False asks the manager to unskin everything; True to
  // skin everything, when a skin is loaded. Only for SkinFormtype
  // sfMainform, and not while the component is being loaded.
  void SetActive(bool value);

  // A control whose Tag mod 100 equals this is left unskinned.
  int DisableTag = 99;
  TSkinControls SkinControls = TSkinControls::Default();
  TSkinFormType SkinFormtype = sfMainform;
  // The form that carries the component (an sfOnlyThisForm component
  // skins that form alone).
  QWidget* OwnerForm = nullptr;
  // The last say on whether a window class is skinned.
  std::function<void(TSkinData& sender, const std::string& className, bool& doSkin)> OnFormSkin;
  // Fired after the manager has re-skinned for a new skin.
  std::function<void(TSkinData& sender)> OnSkinChanged;

  const std::string& SkinFile() const { return skinFile_; }
  // Stores the name; an existing file that holds a package is loaded and
  // applied. A missing or bad file changes nothing else.
  void SetSkinFile(const std::string& fileName);
  // A pseudo-property for editing: reads "(none)"; writing does nothing.
  std::string SkinStore() const { return "(none)"; }
  void SetSkinStore(const std::string&) {}

  // Loads stored package index (0-based) and applies it; an index outside
  // the store does nothing.
  void LoadFromCollection(const TSkinStore& store, int index);

  // The stored form of the skin stream: its size as int32 LE, then its
  // bytes. Reading a size below 1 changes nothing; otherwise the package
  // is loaded (not applied). A size beyond the stream raises EReadError.
  void WriteSkinStream(TStream& out) const;
  void ReadSkinStream(TStream& in);

  // Around reading the component's stored properties: Active does not
  // talk to the manager in between. Loaded turns Active off silently when
  // no skin is loaded, and asks the manager to skin everything otherwise.
  void BeginLoading() { loading_ = true; }
  void Loaded();

  // Re-reads the current skin stream; false (nothing changed) when it
  // holds no sound package.
  bool LoadSkin();
  // Makes this the manager's current component, reloads the skinned
  // windows and asks for action 3 (only for sfMainform, not while loading).
  void ApplySkin();

  // Asked by the manager for every window class it may skin.
  void CanSkinForm(const std::string& className, bool& doSkin);
  void DoSkinChanged();

  // True once a skin description has been read completely.
  bool SkinLoaded() const { return !notLoaded_; }
  const TMemoryStream& SkinStream() const { return skinStream_; }

  // The loaded skin.
  const std::string& SkinName() const { return skin_.SkinName; }
  const TSkinDescription& Skin() const { return skin_; }
  TSkinDescription& Skin() { return skin_; }
  const TSkinColours& Colours() const { return skin_.Colours; }
  // A brush of the skin's button-face colour.
  QBrush ButtonFaceBrush() const { return QBrush(skin_.Colours.ButtonFace); }
  // The caption text colour: [Personality] ActiveText / InActiveText when
  // the skin gives them, else [Colours] TitleTextActive for an active
  // window and the system's inactive caption colour for an inactive one.
  QColor CaptionTextColour(bool active) const;
  // A picture for general use (the window icon when a window has none).
  QImage Bitmap;

 private:
  bool LoadPackage(TMemoryStream&& package);
  bool RunTime() const { return !loading_ && SkinFormtype == sfMainform; }

  bool active_ = false;
  bool loading_ = false;
  bool notLoaded_ = true;
  std::string skinFile_;
  TMemoryStream skinStream_;
  TSkinDescription skin_;
};
