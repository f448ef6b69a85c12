// The four skins stored in the program: each loads into the skin
// component and has every element the skinned windows draw.

#include <gtest/gtest.h>

#include <set>

#include "skin/skin_data.h"
#include "skin/stored_skins.h"

namespace {

TEST(StoredSkins, EachLoadsWithEveryElementTheWindowsUse) {
  TSkinStore store;
  LoadStoredSkins(store);
  ASSERT_EQ(store.Store().Count(), StoredSkinCount);
  std::set<std::string> names;
  for (int i = 0; i < StoredSkinCount; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(store.Store().Items(i).Name(), "SkinItem" + std::to_string(4 + i));
    TSkinData data;
    data.LoadFromCollection(store, i);
    ASSERT_TRUE(data.SkinLoaded());
    const TSkinDescription& s = data.Skin();
    names.insert(s.SkinName);

    // The frame: sides of whole frames, the top as tall as a title.
    for (const TDataSkinBorder* edge : {&s.Left, &s.Right, &s.Top, &s.Bottom}) {
      SCOPED_TRACE(edge->Name);
      ASSERT_FALSE(edge->Bitmap.isNull());
      EXPECT_EQ(edge->FrameCount, 2);
    }
    EXPECT_EQ(s.Left.Bitmap.width() % 2, 0);
    EXPECT_GE(s.Top.Bitmap.height() / 2, 24);
    EXPECT_EQ(s.Left.TopHeight, s.Top.Bitmap.height() / 2);
    EXPECT_FALSE(s.Title.Bitmap.isNull());
    EXPECT_TRUE(s.Title.ActiveText.isValid() && s.Title.InActiveText.isValid());

    std::set<int> actions;
    for (const TDataSkinSysButton& b : s.SysButtons) {
      actions.insert(b.Action);
      if (b.Bitmap.isNull()) {
        EXPECT_EQ(b.FrameCount, 1);  // the window icon takes its place
      } else {
        EXPECT_EQ(b.FrameCount, 4);
        EXPECT_EQ(b.Bitmap.width() % 4, 0);
      }
    }
    EXPECT_EQ(actions, std::set<int>({0, 1, 2, 3}));

    EXPECT_FALSE(s.Buttons.Bitmap.isNull());
    EXPECT_EQ(s.Buttons.CheckFrameCount, 3);
    EXPECT_EQ(s.Buttons.RadioFrameCount, 4);
    const TDataSkinObject* elements[] = {s.Progress.get(),  s.MenuBar.get(),        s.Tabs.get(),
                                         s.StatusBarEdges.get(), s.ComboButton.get(), s.SunkEdge.get(),
                                         s.ExtraImages.get(), s.Headerbar.get(),   s.MenuItem.get(),
                                         s.MenuBackground.get(), s.Scrollbar.get(), s.HorzScroll.get(),
                                         s.VertScroll.get(), s.HorzScrollThumb.get(), s.VertScrollThumb.get(),
                                         s.UpDownHorz.get(), s.UpDownVert.get()};
    for (const TDataSkinObject* e : elements) {
      ASSERT_NE(e, nullptr);
      SCOPED_TRACE(e->Name);
      EXPECT_FALSE(e->Bitmap.isNull());
      EXPECT_EQ(e->Bitmap.width() % e->FrameCount, 0);
    }
    EXPECT_FALSE(s.Tabs->Bitmap2.isNull());
    EXPECT_FALSE(s.UpDownVert->Bitmap2.isNull());
    EXPECT_FALSE(s.UpDownHorz->Bitmap2.isNull());
    EXPECT_NE(s.Colours.ButtonFace, s.Colours.WindowText);
    EXPECT_NE(s.Colours.MenuBarText, s.Colours.Menubar);
  }
  EXPECT_EQ(names, std::set<std::string>({"Slate", "Graphite", "Meadow", "Rosewood"}));
}

}  // namespace
