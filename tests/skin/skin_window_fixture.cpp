#include "skin/skin_window_fixture.h"

#include <QPainter>
#include <QTest>

#include <functional>

#include "core/streams.h"
#include "skin/skin_child.h"
#include "skin/skin_manager.h"
#include "skin/skin_test_packages.h"

namespace {

// One application for the whole test program.
class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "test_skin";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { app_.reset(); }

 private:
  std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const kQt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

const QColor Magenta(255, 0, 255);

TBitmap Painted(int w, int h, const std::function<QColor(int x, int y)>& colour) {
  TBitmap b(w, h, pf24bit);
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      const QColor c = colour(x, y);
      row[3 * x] = static_cast<std::uint8_t>(c.blue());
      row[3 * x + 1] = static_cast<std::uint8_t>(c.green());
      row[3 * x + 2] = static_cast<std::uint8_t>(c.red());
    }
  }
  return b;
}

TBitmap Frames(int w, int h, const std::vector<QColor>& colours) {
  return Painted(w * static_cast<int>(colours.size()), h, [&](int x, int) { return colours[x / w]; });
}

}  // namespace

namespace skintest {

std::vector<std::uint8_t> TestSkinPackage(const std::string& extra) {
  using namespace skintest;
  // Side edges: frames side by side, the outer top corner cut.
  const TBitmap left = Painted(2 * EdgeWidth, 40, [](int x, int y) {
    const int fx = x % EdgeWidth;
    if (fx + y < 2) return Magenta;
    return x < EdgeWidth ? LeftActive : LeftInactive;
  });
  const TBitmap right = Painted(2 * EdgeWidth, 40, [](int x, int y) {
    const int fx = x % EdgeWidth;
    if ((EdgeWidth - 1 - fx) + y < 2) return Magenta;
    return x < EdgeWidth ? RightActive : RightInactive;
  });
  // Top: stacked frames, row 0 of the middle cut.
  const TBitmap top = Painted(40, 2 * TopHeight, [](int x, int y) {
    const int fy = y % TopHeight;
    if (fy == 0 && x >= 4 && x < 36) return Magenta;
    return y < TopHeight ? TopActive : TopInactive;
  });
  const TBitmap bottom =
      Painted(40, 2 * BottomHeight, [](int, int y) { return y < BottomHeight ? BottomActive : BottomInactive; });
  const TBitmap close = Frames(ButtonWidth, ButtonHeight, {CloseFrames[0], CloseFrames[1], CloseFrames[2], CloseFrames[3]});
  const TBitmap max = Frames(ButtonWidth, ButtonHeight, {MaxFrames[0], MaxFrames[1], MaxFrames[2]});
  const TBitmap custom =
      Frames(ButtonWidth, ButtonHeight, {CustomFrames[0], CustomFrames[1], CustomFrames[2], CustomFrames[3]});
  const TBitmap item = Painted(100, 10, [](int x, int y) {
    const int frame = x / 20;
    if (frame == 1 && y >= 8) return SeparatorRows;
    if (frame == 3) return ItemSelected;
    return Magenta;
  });
  const TBitmap back = Painted(12, 12, [](int x, int y) {
    return (x < 3 || y < 3 || x >= 9 || y >= 9) ? PopupBorder : PopupMiddle;
  });
  const TBitmap bar = Painted(20, 40, [](int, int y) { return y < 20 ? BarActive : BarInactive; });

  std::string ini =
      "[TitlebarSkin]\r\nSkinName=Test\r\n"
      "[Personality]\r\n"
      "Left=left.bmp\r\nLeftTopHeight=20\r\nLeftBotHeight=4\r\nLeftFrame=2\r\nLeftStretch=1\r\nLeftTrans=1\r\n"
      "Right=right.bmp\r\nRightTopHeight=20\r\nRightBotHeight=4\r\nRightFrame=2\r\nRightStretch=1\r\nRightTrans=1\r\n"
      "Top=top.bmp\r\nTopTopHeight=4\r\nTopBotHeight=4\r\nTopFrame=2\r\nTopStretch=1\r\nTopTrans=1\r\n"
      "Bottom=bottom.bmp\r\nBottomTopHeight=4\r\nBottomBotHeight=4\r\nBottomFrame=2\r\nBottomStretch=1\r\n"
      "BottomTrans=1\r\n"
      "menuBar=menubar.bmp\r\nTileMenu=0\r\nTileLeftMenu=2\r\nTileRightMenu=2\r\n"
      "TextShift=30\r\nTextAlignment=0\r\nActiveTextR=255\r\nActiveTextG=255\r\nActiveTextB=255\r\n"
      "[Colours]\r\nButtonFace=210,220,230\r\nMenu=250,250,240\r\nMenuText=1,2,3\r\nButtonShadow=4,5,6\r\n"
      "Hilight=11,12,13\r\nHilightText=14,15,16\r\nMenubar=17,18,19\r\nMenuBarText=20,21,22\r\n"
      "ButtonHilight=23,24,25\r\nWindowText=26,27,28\r\nButtonText=29,30,31\r\n"
      "[BUTTON1]\r\nButtonImage=close.bmp\r\nAction=0\r\nAlign=1\r\nXcoord=22\r\nYcoord=3\r\nframe=4\r\n"
      "[BUTTON2]\r\nButtonImage=max.bmp\r\nAction=1\r\nAlign=1\r\nXcoord=42\r\nYcoord=3\r\nVisibility=2\r\n"
      "frame=3\r\n"
      "[BUTTON3]\r\nButtonImage=custom.bmp\r\nAction=40\r\nAlign=0\r\nXcoord=4\r\nYcoord=3\r\nVisibility=3\r\n"
      "frame=4\r\n"
      "[MenuItem]\r\nImage=menuitem.bmp\r\nLeftWidth=2\r\nTopHeight=2\r\nRightWidth=2\r\nBottomHeight=2\r\n"
      "Trans=1\r\n"
      "[MenuBackground]\r\nImage=menuback.bmp\r\nLeftWidth=3\r\nTopHeight=3\r\nRightWidth=3\r\nBottomHeight=3\r\n";
  ini += extra;
  return Package("test.ini", ini,
                 {{"left.bmp", left},
                  {"right.bmp", right},
                  {"top.bmp", top},
                  {"bottom.bmp", bottom},
                  {"close.bmp", close},
                  {"max.bmp", max},
                  {"custom.bmp", custom},
                  {"menuitem.bmp", item},
                  {"menuback.bmp", back},
                  {"menubar.bmp", bar}});
}

std::unique_ptr<TSkinData> LoadTestSkin(const std::vector<std::uint8_t>& package) {
  auto data = std::make_unique<TSkinData>();
  TMemoryStream stream;
  stream.WriteDWord(static_cast<std::uint32_t>(package.size()));
  stream.WriteBuffer(package.data(), static_cast<std::int64_t>(package.size()));
  stream.SetPosition(0);
  data->ReadSkinStream(stream);
  return data;
}

QColor At(const QImage& image, int x, int y) { return QColor(image.pixel(x, y)); }

QImage Rendered(QWidget& window, QColor sentinel) {
  QImage image(window.size(), QImage::Format_RGB32);
  image.fill(sentinel);
  window.render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
  return image;
}

}  // namespace skintest

void SkinWindowTest::SetUp() {
  InstallSkinManager();
  SetSkinChildFactory(nullptr);
}

void SkinWindowTest::TearDown() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->isVisible()) w->hide();
  }
  QCoreApplication::processEvents();
  skin_.reset();
  DestroySkinManager();
  SetSkinManagerFactory(nullptr);
  SetSkinChildFactory(nullptr);
  QCoreApplication::processEvents();
}

TSkinData& SkinWindowTest::ActiveSkin(const std::vector<std::uint8_t>& package) {
  skin_ = skintest::LoadTestSkin(package);
  EXPECT_TRUE(skin_->SkinLoaded());
  skin_->SetActive(true);
  return *skin_;
}

void SkinWindowTest::RunAction() {
  EXPECT_TRUE(QTest::qWaitFor(
      [] {
        const TSkinManage* m = TSkinManage::Instance();
        return m == nullptr || !m->ActionTimerActive();
      },
      5000));
  Settle();
}

void SkinWindowTest::Settle(int ms) {
  QCoreApplication::processEvents();
  if (ms > 0) QTest::qWait(ms);
  QCoreApplication::processEvents();
}
