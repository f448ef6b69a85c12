#include "skin/skin_data.h"

#include "core/files.h"
#include "skin/package/skin_reader.h"
#include "skin/skin_description.h"

namespace {

TSkinManagerFactory& Factory() {
  static TSkinManagerFactory factory;
  return factory;
}

std::unique_ptr<TSkinManagerLink>& Manager() {
  static std::unique_ptr<TSkinManagerLink> manager;
  return manager;
}

}  // namespace

void SetSkinManagerFactory(TSkinManagerFactory factory) { Factory() = std::move(factory); }
TSkinManagerLink* SkinManager() { return Manager().get(); }
void DestroySkinManager() { Manager().reset(); }

TSkinControls TSkinControls::Default() {
  TSkinControls c;
  for (int k = xcMainMenu; k <= xcFastReport; ++k) c.Include(static_cast<TSkinControlType>(k));
  c.Exclude(xcFastReport);
  return c;
}

TSkinData::TSkinData() {
  if (!Manager() && Factory()) Manager() = Factory()();
  if (TSkinManagerLink* m = SkinManager()) m->AddSkinData(*this);
}

TSkinData::~TSkinData() {
  if (TSkinManagerLink* m = SkinManager()) m->RemoveSkinData(*this);
}

void TSkinData::SetActive(bool value) {
  if (value == active_) return;
  active_ = value;
  TSkinManagerLink* m = SkinManager();
  if (!m || !RunTime()) return;
  if (!value) {
    m->SetAction(TSkinManagerLink::UnskinAll);
  } else if (SkinLoaded()) {
    m->SetAction(TSkinManagerLink::SkinAll);
  }
}

void TSkinData::Loaded() {
  loading_ = false;
  if (!active_) return;
  if (!SkinLoaded()) {
    active_ = false;
  } else if (TSkinManagerLink* m = SkinManager()) {
    m->SetAction(TSkinManagerLink::SkinAll);
  }
}

bool TSkinData::LoadPackage(TMemoryStream&& package) {
  TSkinReader reader;
  if (!reader.LoadFromStream(package)) return false;
  TSkinDescription next;
  if (!ReadSkinDescription(reader, next)) return false;
  package.SetPosition(0);
  skinStream_ = std::move(package);
  skin_ = std::move(next);
  notLoaded_ = false;
  return true;
}

bool TSkinData::LoadSkin() {
  TMemoryStream copy(skinStream_.Bytes());
  return LoadPackage(std::move(copy));
}

void TSkinData::LoadFromCollection(const TSkinStore& store, int index) {
  if (index < 0 || index >= store.Store().Count()) return;
  TMemoryStream package(store.Store().Items(index).Data().Bytes());
  if (LoadPackage(std::move(package))) ApplySkin();
}

void TSkinData::SetSkinFile(const std::string& fileName) {
  skinFile_ = fileName;
  if (fileName.empty() || !FileExists(fileName)) return;
  TMemoryStream package;
  try {
    package.LoadFromFile(fileName);
  } catch (const Exception&) {
    return;
  }
  if (LoadPackage(std::move(package))) ApplySkin();
}

void TSkinData::WriteSkinStream(TStream& out) const {
  const std::vector<std::uint8_t>& bytes = skinStream_.Bytes();
  out.WriteDWord(static_cast<std::uint32_t>(bytes.size()));
  if (!bytes.empty()) out.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

void TSkinData::ReadSkinStream(TStream& in) {
  const auto size = static_cast<std::int32_t>(in.ReadDWord());
  if (size < 1) return;
  if (size > in.Remaining()) throw EReadError("Stream read error");
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  in.ReadBuffer(bytes.data(), size);
  LoadPackage(TMemoryStream(std::move(bytes)));
}

void TSkinData::ApplySkin() {
  TSkinManagerLink* m = SkinManager();
  if (!m || !RunTime()) return;
  m->SetCurrentSkinData(this);
  m->ReloadAll();
  m->SetAction(TSkinManagerLink::SkinChanged);
}

void TSkinData::CanSkinForm(const std::string& className, bool& doSkin) {
  if (className == "TQRStandardPreview" || className == "SysMonthCal32" || className == "TppPrintPreview") {
    doSkin = false;
    return;
  }
  if (SkinControls.Contains(xcFastReport) && className.rfind("Tfr", 0) == 0) {
    doSkin = false;
    return;
  }
  if (OnFormSkin) OnFormSkin(*this, className, doSkin);
}

void TSkinData::DoSkinChanged() {
  if (OnSkinChanged) OnSkinChanged(*this);
}

QColor TSkinData::CaptionTextColour(bool active) const {
  const TDataSkinTitle& t = skin_.Title;
  if (active) return t.ActiveText.isValid() ? t.ActiveText : skin_.Colours.TitleTextActive;
  return t.InActiveText.isValid() ? t.InActiveText : skin_.Colours.TitleTextInactive;
}
