// The skin component: loading packages from a store, a file and its
// stored stream, keeping the old skin when a load fails, and what it asks
// of the skin manager (a recording stand-in here).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "skin/skin_data.h"
#include "skin/skin_test_packages.h"
#include "support/test_support.h"

namespace {

using skintest::Picture;

struct Calls {
  std::vector<std::string> Log;
};

class TRecordingManager : public TSkinManagerLink {
 public:
  explicit TRecordingManager(Calls& calls) : calls_(calls) {}
  void AddSkinData(TSkinData&) override { calls_.Log.push_back("add"); }
  void RemoveSkinData(TSkinData&) override { calls_.Log.push_back("remove"); }
  void SetAction(int action) override { calls_.Log.push_back("action " + std::to_string(action)); }
  void SetCurrentSkinData(TSkinData* data) override { calls_.Log.push_back(data ? "current" : "no current"); }
  void ReloadAll() override { calls_.Log.push_back("reload"); }

 private:
  Calls& calls_;
};

std::vector<std::uint8_t> Named(const std::string& name) {
  return skintest::Package("skin.ini",
                           "[TitlebarSkin]\r\nSkinName=" + name +
                               "\r\n[Personality]\r\nTop=top.bmp\r\nTopFrame=2\r\n[Colours]\r\nTitleTextActive=1,2,3\r\n",
                           {{"top.bmp", Picture(10, 8)}});
}

class SkinDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetSkinManagerFactory([this] { return std::make_unique<TRecordingManager>(calls_); });
    TSkinCollection& items = store_.Store();
    items.Add().Data().WriteBuffer(Named("First"));
    items.Add().Data().WriteBuffer(Named("Second"));
    items.Add().Data().WriteBuffer(std::vector<std::uint8_t>{1, 2, 3});  // no package
    items.Add().Data().WriteBuffer(skintest::Package("", "", {{"top.bmp", Picture(4, 4)}}));  // no description
  }
  void TearDown() override {
    DestroySkinManager();
    SetSkinManagerFactory(nullptr);
  }
  using Log = std::vector<std::string>;
  Log Take() { return std::exchange(calls_.Log, {}); }

  Calls calls_;
  TSkinStore store_;
};

TEST_F(SkinDataTest, ChoosingAStoredSkinLoadsAndAppliesIt) {
  TSkinData data;
  EXPECT_EQ(Take(), Log({"add"}));
  EXPECT_FALSE(data.SkinLoaded());
  EXPECT_EQ(data.SkinStore(), "(none)");
  data.LoadFromCollection(store_, 1);
  EXPECT_TRUE(data.SkinLoaded());
  EXPECT_EQ(data.SkinName(), "Second");
  EXPECT_EQ(data.Skin().Top.FrameCount, 2);
  EXPECT_EQ(Take(), Log({"current", "reload", "action 3"}));
  data.SetActive(true);
  data.SetActive(true);
  data.SetActive(false);
  EXPECT_EQ(Take(), Log({"action 1", "action 2"}));
}

TEST_F(SkinDataTest, AFailedLoadKeepsTheSkinAndAppliesNothing) {
  TSkinData data;
  data.LoadFromCollection(store_, 0);
  Take();
  for (int index : {2, 3, 4, -1}) {
    SCOPED_TRACE(index);
    data.LoadFromCollection(store_, index);
    EXPECT_TRUE(data.SkinLoaded());
    EXPECT_EQ(data.SkinName(), "First");
    EXPECT_EQ(Take(), Log{});
  }
  // The package it keeps is the one it loaded.
  EXPECT_TRUE(data.LoadSkin());
  EXPECT_EQ(data.SkinName(), "First");
}

TEST_F(SkinDataTest, ANewSkinStartsFromNothing) {
  TSkinData data;
  data.LoadFromCollection(store_, 0);
  data.Skin().SysButtons.emplace_back("BUTTON9");
  data.Skin().Tabs = std::make_unique<TDataSkinBorder>("Tabs");
  data.LoadFromCollection(store_, 1);
  EXPECT_TRUE(data.Skin().SysButtons.empty());
  EXPECT_FALSE(data.Skin().Tabs);
  EXPECT_EQ(data.CaptionTextColour(true), QColor(1, 2, 3));
}

TEST_F(SkinDataTest, SwitchingOnWithoutASkinAsksForNothing) {
  TSkinData data;
  Take();
  data.SetActive(true);
  EXPECT_TRUE(data.Active());
  EXPECT_EQ(Take(), Log{});
  data.SkinFormtype = sfDialog;
  data.LoadFromCollection(store_, 0);
  data.SetActive(false);
  EXPECT_EQ(Take(), Log{});  // only the main form's component drives the manager
}

TEST_F(SkinDataTest, TheStoredStreamLoadsWithoutApplying) {
  TSkinData source;
  source.LoadFromCollection(store_, 1);
  TMemoryStream stored;
  source.WriteSkinStream(stored);
  EXPECT_EQ(stored.Size(), 4 + static_cast<std::int64_t>(source.SkinStream().Bytes().size()));
  Take();

  // As a form is read: an empty stream, then Active, then Loaded.
  {
    TSkinData data;
    TMemoryStream empty;
    empty.WriteDWord(0);
    empty.SetPosition(0);
    data.BeginLoading();
    data.ReadSkinStream(empty);
    data.SetActive(true);
    data.Loaded();
    EXPECT_FALSE(data.Active());  // nothing loaded: switched off silently
    EXPECT_FALSE(data.SkinLoaded());
  }
  EXPECT_EQ(Take(), Log({"add", "remove"}));
  {
    TSkinData data;
    stored.SetPosition(0);
    data.BeginLoading();
    data.ReadSkinStream(stored);
    data.SetActive(true);
    EXPECT_EQ(data.SkinName(), "Second");
    data.Loaded();
    EXPECT_TRUE(data.Active());
  }
  EXPECT_EQ(Take(), Log({"add", "action 1", "remove"}));

  TSkinData data;
  TMemoryStream cut;
  cut.WriteDWord(100);
  cut.WriteBuffer("short", 5);
  cut.SetPosition(0);
  EXPECT_THROW(data.ReadSkinStream(cut), EReadError);
  EXPECT_FALSE(data.SkinLoaded());
}

TEST_F(SkinDataTest, ASkinFileIsLoadedWhenItExists) {
  testsupport::TempDir dir;
  TSkinData data;
  data.SetSkinFile(dir.File("missing.swk"));
  EXPECT_EQ(data.SkinFile(), dir.File("missing.swk"));
  EXPECT_FALSE(data.SkinLoaded());
  testsupport::WriteBytes(dir.File("first.swk"), Named("First"));
  Take();
  data.SetSkinFile(dir.File("first.swk"));
  EXPECT_EQ(data.SkinName(), "First");
  EXPECT_EQ(Take(), Log({"current", "reload", "action 3"}));
}

TEST_F(SkinDataTest, SomeWindowClassesAreNeverSkinned) {
  TSkinData data;
  struct Case {
    const char* ClassName;
    bool FastReport;
    bool Expected;
  };
  const Case cases[] = {
      {"TQRStandardPreview", false, false}, {"SysMonthCal32", false, false}, {"TppPrintPreview", false, false},
      {"sysmonthcal32", false, true},       {"TfrPreview", false, true},      {"TfrPreview", true, false},
      {"TfrmMain", true, false},            {"TfrmMain", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ClassName);
    data.SkinControls = TSkinControls::Default();
    if (c.FastReport) data.SkinControls.Include(xcFastReport);
    bool doSkin = true;
    data.CanSkinForm(c.ClassName, doSkin);
    EXPECT_EQ(doSkin, c.Expected);
  }
  data.OnFormSkin = [](TSkinData&, const std::string& name, bool& doSkin) { doSkin = name != "TfrmSetup"; };
  bool doSkin = true;
  data.CanSkinForm("TfrmSetup", doSkin);
  EXPECT_FALSE(doSkin);
  EXPECT_FALSE(TSkinControls::Default().Contains(xcFastReport));
  EXPECT_TRUE(TSkinControls::Default().Contains(xcTab));
  int changed = 0;
  data.OnSkinChanged = [&](TSkinData& sender) { changed += &sender == &data; };
  data.DoSkinChanged();
  EXPECT_EQ(changed, 1);
}

}  // namespace
