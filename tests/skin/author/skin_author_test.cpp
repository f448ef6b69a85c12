// The skin author's checks: the four stored designs pass them, and each
// kind of fault they look for is caught when it is put into a skin.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "core/bitmap.h"
#include "core/bmp.h"
#include "core/inifile.h"
#include "skin/author/skin_builder.h"
#include "skin/author/skin_check.h"

namespace {

bool Mentions(const std::vector<std::string>& problems, const std::string& part) {
  return std::any_of(problems.begin(), problems.end(),
                     [&](const std::string& p) { return p.find(part) != std::string::npos; });
}

std::string Joined(const std::vector<std::string>& problems) {
  std::string all;
  for (const std::string& p : problems) all += p + "\n";
  return all;
}

TSkinPicture& PictureOf(TSkinSource& s, const std::string& name) {
  for (auto& [entry, picture] : s.Pictures) {
    if (entry == name) return picture;
  }
  throw std::runtime_error("no picture " + name);
}

void SetKey(TSkinSource& s, const std::string& section, const std::string& key, const std::string& value) {
  TIniFile ini = TIniFile::FromText(s.Ini);
  ini.WriteString(section, key, value);
  s.Ini = ini.Text();
}

TEST(SkinAuthor, TheFourStoredSkinsPassEveryCheck) {
  std::set<std::string> names;
  for (const TSkinDesign& design : StoredSkinDesigns()) {
    SCOPED_TRACE(design.SkinName);
    const TSkinSource source = BuildSkin(design);
    const auto problems = CheckSkin(source);
    EXPECT_TRUE(problems.empty()) << Joined(problems);
    names.insert(design.SkinName);
    // Every picture is written as a 24-bit BMP our reader takes back
    // pixel for pixel, transparent pixels as magenta.
    for (const auto& [name, picture] : source.Pictures) {
      TBitmap bitmap;
      ReadBmp(picture.ToBmp(), bitmap);
      ASSERT_EQ(bitmap.Width(), picture.Width()) << name;
      ASSERT_EQ(bitmap.Height(), picture.Height()) << name;
      for (int y = 0; y < picture.Height(); y += 3) {
        for (int x = 0; x < picture.Width(); x += 3) {
          const TRgb want = picture.Opaque(x, y) ? picture.At(x, y) : SkinKey;
          ASSERT_EQ(bitmap.GetPixelColor(x, y), RGB(want.R, want.G, want.B)) << name << " at " << x << "," << y;
        }
      }
    }
  }
  EXPECT_EQ(names.size(), 4u);
}

TEST(SkinAuthor, TheChecksCatchEachKindOfFault) {
  struct Case {
    const char* Name;
    void (*Break)(TSkinSource&);
    const char* Expected;
  };
  const Case cases[] = {
      {"an image the description names is missing",
       [](TSkinSource& s) {
         s.Pictures.erase(std::remove_if(s.Pictures.begin(), s.Pictures.end(),
                                         [](const auto& p) { return p.first == "tabs.bmp"; }),
                          s.Pictures.end());
       },
       "[Tabs] Image \"tabs.bmp\" is not in the skin"},
      {"a width that does not divide into its frames",
       [](TSkinSource& s) {
         TSkinPicture& p = PictureOf(s, "scrollbar.bmp");
         p = p.Crop(0, 0, p.Width() - 1, p.Height());
       },
       "does not divide into 23 frames"},
      {"a stacked edge whose height does not divide",
       [](TSkinSource& s) {
         TSkinPicture& p = PictureOf(s, "top.bmp");
         p = p.Crop(0, 0, p.Width(), p.Height() - 1);
       },
       "[Personality] Top \"top.bmp\" does not divide into 2 frames"},
      {"an opaque pixel of the transparent magenta",
       [](TSkinSource& s) { PictureOf(s, "button.bmp").Set(10, 10, SkinKey); },
       "button.bmp: the opaque pixel (10, 10)"},
      {"an opaque pixel the window shape would cut out",
       [](TSkinSource& s) { PictureOf(s, "left.bmp").Set(1, 40, SkinKeyNear); },
       "left.bmp: the opaque pixel (1, 40)"},
      {"menu text the colour of the menu",
       [](TSkinSource& s) { SetKey(s, "Colours", "MenuText", "250,251,252"); },
       "menu text: contrast"},
      {"links in the system's blue on a dark face",
       [](TSkinSource& s) {
         SetKey(s, "Colours", "ButtonFace", "47,50,55");
         SetKey(s, "Colours", "Hilight", "0,0,255");
       },
       "link text: contrast"},
      {"dark button pictures under light captions but the light skin's dark glyphs",
       [](TSkinSource& s) {
         TSkinPicture& p = PictureOf(s, "button.bmp");
         p.Fill(0, 0, p.Width(), p.Height(), Rgb(47, 50, 55));
         for (const char* key : {"NormalColour2", "MouseOverColour2", "PressedColour2"}) {
           SetKey(s, "Buttons", key, "237,237,237");
         }
       },
       "glyphs on the normal button: contrast"},
      {"glyphs the colour of the face",
       [](TSkinSource& s) { SetKey(s, "Colours", "ButtonText", "200,205,212"); },
       "glyphs on the bars: contrast"},
      {"a caption lost in its title",
       [](TSkinSource& s) {
         SetKey(s, "Personality", "ActiveTextR", "60");
         SetKey(s, "Personality", "ActiveTextG", "90");
         SetKey(s, "Personality", "ActiveTextB", "140");
       },
       "active caption: contrast"},
      {"margins wider than a frame",
       [](TSkinSource& s) { SetKey(s, "Buttons", "LeftWidth", "40"); },
       "[Buttons] Bitmap: its margins leave no middle"},
      {"a key the skinned windows read is left out",
       [](TSkinSource& s) {
         TIniFile ini = TIniFile::FromText(s.Ini);
         ini.DeleteKey("Colours", "Hilight");
         s.Ini = ini.Text();
       },
       "[Colours] Hilight is missing"},
      {"a title button's frame count left to guessing",
       [](TSkinSource& s) {
         TIniFile ini = TIniFile::FromText(s.Ini);
         ini.DeleteKey("BUTTON1", "frame");
         s.Ini = ini.Text();
       },
       "[BUTTON1] frame is missing"},
      {"no close button",
       [](TSkinSource& s) { SetKey(s, "BUTTON1", "Action", "40"); },
       "no title button has the action 0"},
      {"an image name in capitals",
       [](TSkinSource& s) { SetKey(s, "Progress", "Bitmap", "Progress.BMP"); },
       "is not a lower-case .bmp name"},
  };
  const TSkinSource sound = BuildSkin(StoredSkinDesigns()[0]);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TSkinSource broken = sound;
    c.Break(broken);
    const auto problems = CheckSkin(broken);
    EXPECT_TRUE(Mentions(problems, c.Expected)) << Joined(problems);
  }
}

TEST(SkinAuthor, ContrastRatiosFollowLuminance) {
  EXPECT_NEAR(ContrastRatio(Rgb(0, 0, 0), Rgb(255, 255, 255)), 21.0, 1e-9);
  EXPECT_NEAR(ContrastRatio(Rgb(118, 118, 118), Rgb(255, 255, 255)), 4.54, 0.01);
  EXPECT_DOUBLE_EQ(ContrastRatio(Rgb(10, 200, 30), Rgb(10, 200, 30)), 1.0);
}

}  // namespace
