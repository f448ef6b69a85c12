// Reading a skin description: colour texts, image values, defaults, frame
// counts and which sections are title buttons.

#include <gtest/gtest.h>

#include "skin/skin_description.h"
#include "skin/skin_test_packages.h"

namespace {

using skintest::Picture;

TEST(SkinColourText, IsReadAsAtMostThreeNumbersEachHeldToAByte) {
  const QColor fallback(1, 2, 3);
  struct Case {
    const char* Text;
    QColor Expected;
  };
  const Case cases[] = {
      {"255,128,0", QColor(255, 128, 0)},
      {"", fallback},
      {"   ", fallback},
      {"255, 128, 0", QColor(255, 128, 0)},
      {"255,,128,,0", QColor(255, 128, 0)},  // a run of separators is one
      {"(10;20;30)", QColor(10, 20, 30)},
      {"300,5,70000", QColor(255, 5, 255)},
      {"1,2,3,4,5", QColor(1, 2, 3)},
      {"10 20", QColor(10, 20, 0)},
      {"none", QColor(0, 0, 0)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseSkinColour(c.Text, fallback), c.Expected) << '"' << c.Text << '"';
  }
}

class SkinPackageTest : public ::testing::Test {
 protected:
  void Load(const std::string& ini, const std::vector<skintest::TPicture>& pictures, bool withIni = true) {
    TMemoryStream packed(skintest::Package(withIni ? "test.ini" : "", ini, pictures));
    reader_.OnMessage = [](const std::string&) {};
    ASSERT_TRUE(reader_.LoadFromStream(packed));
  }
  TSkinReader reader_;
};

TEST_F(SkinPackageTest, ImageValuesNameAnEntryByTheirFileName) {
  Load("", {{"top.bmp", Picture(6, 4)}});
  struct Case {
    const char* Value;
    bool Loads;
  };
  const Case cases[] = {
      {"top.bmp", true},
      {"skins\\Blue\\Top.bmp", true},
      {"skins/TOP.bmp", true},
      {"top.BMP", false},  // the extension is compared exactly
      {"skins\\", false},
      {"", false},
      {"top", false},
      {"left.bmp", false},
  };
  for (const Case& c : cases) {
    const QImage image = LoadSkinImage(reader_, c.Value);
    EXPECT_EQ(!image.isNull(), c.Loads) << c.Value;
    if (c.Loads) {
      EXPECT_EQ(image.size(), QSize(6, 4));
    }
  }
}

TEST_F(SkinPackageTest, DefaultsAndFrameCountsFollowTheDescription) {
  Load(
      "[TitlebarSkin]\r\nSkinName=Test\r\n"
      "[Personality]\r\nTop=top.bmp\r\nTopFrame=0\r\nTopTopHeight=7\r\nLeft=top.bmp\r\nLeftFrame=-3\r\n"
      "LeftTopHeight=9\r\nmenuBar=top.bmp\r\nActiveTextR=10\r\nActiveTextG=20\r\nActiveTextB=300\r\n"
      "InActiveTextR=-1\r\nInActiveTextG=5\r\nInActiveTextB=5\r\nTextShift=26\r\n"
      "[Colours]\r\nButtonFace=100,110,120\r\nMenuText=1,2,3\r\nButtonText=5,6,7\r\n"
      "[Colour1]\r\ncolor=9,8,7\r\n"
      "[Buttons]\r\nCheckButton=check.bmp\r\nRadioButton=radio.bmp\r\n"
      "[Tabs]\r\nImage=top.bmp\r\nBorder=check.bmp\r\nNormalColour2=\r\nMouseOverColour2=200,0,0\r\n"
      "NormalColour=255\r\n"
      "[HorzScrollThumb]\r\nImage=top.bmp\r\nFrameCount=0\r\n"
      "[VertScrollThumb]\r\nImage=top.bmp\r\n"
      "[Scrollbar]\r\nLeftWidth=3\r\n",
      {{"top.bmp", Picture(8, 8)}, {"check.bmp", Picture(39, 13)}, {"radio.bmp", Picture(64, 16)}});
  TSkinDescription skin;
  ReadSkinIni(TIniFile::FromText(""), reader_, skin);  // nothing given: the defaults
  EXPECT_EQ(skin.Colours.MenuBarText, skin.Colours.MenuText);
  EXPECT_EQ(skin.Top.FrameCount, 1);
  EXPECT_EQ(skin.Top.Tile, 1);
  EXPECT_EQ(skin.Top.Trans, 1);
  EXPECT_FALSE(skin.Title.ActiveText.isValid());
  EXPECT_EQ(skin.Title.FontHeight, 14);

  TSkinDescription s;
  ASSERT_TRUE(ReadSkinDescription(reader_, s));
  EXPECT_EQ(s.SkinName, "Test");
  EXPECT_EQ(s.Top.FrameCount, 1);   // 0 would leave no frame
  EXPECT_EQ(s.Left.FrameCount, 1);  // and so would -3
  EXPECT_EQ(s.Top.LeftWidth, 7);
  EXPECT_EQ(s.Top.TopHeight, 0);
  EXPECT_EQ(s.Left.TopHeight, 9);
  EXPECT_EQ(s.Left.LeftWidth, 0);
  ASSERT_TRUE(s.MenuBar);
  EXPECT_EQ(s.MenuBar->LeftWidth, 1);
  EXPECT_EQ(s.MenuBar->RightWidth, 1);
  EXPECT_EQ(s.MenuBar->FrameCount, 2);
  EXPECT_EQ(s.Title.ActiveText, QColor(10, 20, 255));
  EXPECT_FALSE(s.Title.InActiveText.isValid());
  EXPECT_EQ(s.Title.TextShift, 26);
  EXPECT_EQ(s.Colours.Menubar, QColor(100, 110, 120));  // the button face just read
  EXPECT_EQ(s.Colours.MenuBarText, QColor(1, 2, 3));    // the menu text, not the menu
  ASSERT_EQ(s.ExtraColours.size(), 1u);
  EXPECT_EQ(s.ExtraColours[0], QColor(9, 8, 7));
  // 39 x 13 is three cells of 13; 64 x 16 four of 16.
  EXPECT_EQ(s.Buttons.CheckFrameCount, 3);
  EXPECT_EQ(s.Buttons.RadioFrameCount, 4);
  EXPECT_EQ(s.Buttons.FrameCount, 5);
  ASSERT_TRUE(s.Tabs);
  EXPECT_EQ(s.Tabs->FrameCount, 5);
  EXPECT_EQ(s.Tabs->Bitmap2.size(), QSize(39, 13));
  // Text colours default to the button text colour, which they colour.
  EXPECT_EQ(s.Tabs->NormalColour2, QColor(5, 6, 7));
  EXPECT_EQ(s.Tabs->PressedColour2, QColor(5, 6, 7));
  EXPECT_EQ(s.Tabs->MouseOverColour2, QColor(200, 0, 0));
  EXPECT_EQ(s.Tabs->NormalColour, QColor(255, 0, 0));
  EXPECT_FALSE(s.Tabs->PressedColour.isValid());
  ASSERT_TRUE(s.HorzScrollThumb && s.VertScrollThumb);
  EXPECT_EQ(s.HorzScrollThumb->FrameCount, 1);
  EXPECT_EQ(s.VertScrollThumb->FrameCount, 3);
  EXPECT_FALSE(s.Scrollbar);  // a section without an image
  EXPECT_FALSE(s.UpDownVert);
}

TEST_F(SkinPackageTest, TitleButtonsComeFromButtonSectionsInAnyCase) {
  Load(
      "[Button1]\r\nButtonImage=narrow.bmp\r\nAction=0\r\nAlign=1\r\nXcoord=30\r\n"
      "[BUTTON2]\r\nButtonImage=wide.bmp\r\nAction=1\r\n"
      "[button3]\r\nButtonImage=narrow.bmp\r\nAction=3\r\n"
      "[BUTTON4]\r\nButtonImage=narrow.bmp\r\nAction=-1\r\n"
      "[Button5]\r\nButtonImage=narrow.bmp\r\nframe=-2\r\n"
      "[Button6]\r\nButtonImage=narrow.bmp\r\nframe=4\r\nAction=11\r\nVisibility=100\r\nCombineOp=2\r\n"
      "[Buttons]\r\nLeftWidth=2\r\n[button.radio]\r\nAction=0\r\n[BUTTON.CheckBox]\r\nAction=0\r\n",
      {{"narrow.bmp", Picture(60, 20)}, {"wide.bmp", Picture(100, 10)}});
  TSkinDescription s;
  ASSERT_TRUE(ReadSkinDescription(reader_, s));
  ASSERT_EQ(s.SysButtons.size(), 6u);
  const auto& b = s.SysButtons;
  EXPECT_EQ(b[0].Name, "BUTTON1");
  EXPECT_EQ(b[0].FrameCount, 3);  // at most 3.8 times as wide as high
  EXPECT_EQ(b[0].Xcoord, 30);
  EXPECT_EQ(b[0].CombineOp, -1);
  EXPECT_EQ(b[1].FrameCount, 6);  // wider
  EXPECT_EQ(b[2].Name, "BUTTON3");
  EXPECT_TRUE(b[2].Bitmap.isNull());  // the system menu shows the icon
  EXPECT_EQ(b[3].FrameCount, 6);      // a negative action
  EXPECT_EQ(b[4].FrameCount, 1);      // a negative count
  EXPECT_EQ(b[5].FrameCount, 4);      // given: kept, and so is the image
  EXPECT_FALSE(b[5].Bitmap.isNull());
  EXPECT_EQ(b[5].Visibility, 100);
  EXPECT_EQ(b[5].CombineOp, 2);
  EXPECT_EQ(s.Buttons.LeftWidth, 2);
}

TEST_F(SkinPackageTest, APackageWithoutADescriptionIsNoSkin) {
  Load("", {{"top.bmp", Picture(4, 4)}}, false);
  TSkinDescription s;
  EXPECT_FALSE(ReadSkinDescription(reader_, s));
}

}  // namespace
