// The skinned controls on a skinned window: pixel probes of each state,
// the click that needs its press, what unskinning gives back, a control
// destroyed while skinned, and the glyphs on the bars and buttons of every
// stored skin.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyleOption>
#include <QTabWidget>
#include <QToolBar>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

#include "skin/author/skin_check.h"
#include "skin/skin_control_draw.h"
#include "skin/skin_controls.h"
#include "skin/skin_form.h"
#include "skin/skin_manager.h"
#include "skin/skin_control_pictures.h"
#include "skin/skin_window_fixture.h"
#include "skin/stored_skins.h"

using namespace skintest;

namespace {

const std::vector<QColor> CheckColours = {{0, 10, 0}, {0, 20, 0}, {0, 30, 0}};
const std::vector<QColor> RadioColours = {{0, 0, 10}, {0, 0, 20}, {0, 0, 30}, {0, 0, 40}};
const std::vector<QColor> TabColours = {{60, 0, 0}, {70, 0, 0}, {80, 0, 0}, {90, 0, 0}, {100, 0, 0}};

class SkinControlsTest : public SkinWindowTest {
 protected:
  void SetUp() override {
    SkinWindowTest::SetUp();
    InstallSkinControls();
    TSkinData& data = ActiveSkin();
    TDataSkinButton& b = data.Skin().Buttons;
    b.Bitmap = SolidFrames(12, 12, ButtonColours);
    b.LeftWidth = b.RightWidth = b.TopHeight = b.BottomHeight = 2;
    b.CheckBitmap = SolidFrames(13, 13, CheckColours);
    b.CheckFrameCount = 3;
    b.RadioBitmap = SolidFrames(13, 13, RadioColours);
    b.RadioFrameCount = 4;
    auto tabs = std::make_unique<TDataSkinBorder>("Tabs");
    tabs->Bitmap = SolidFrames(10, 10, TabColours);
    tabs->FrameCount = 5;
    data.Skin().Tabs = std::move(tabs);
    form_.resize(300, 400);
    layout_ = new QVBoxLayout(&form_);
  }

  template <class T>
  T* Add(T* w, const char* name) {
    w->setObjectName(name);
    layout_->addWidget(w);
    return w;
  }

  void Skin() {
    if (TSkinManage::Instance()->SkinnedWindow(&form_) == nullptr) {
      ASSERT_TRUE(TSkinManage::Instance()->SkinWindow(&form_));
    }
    form_.show();
    Settle();
  }
  TWinSkinForm& Window() { return *TSkinManage::Instance()->SkinnedWindow(&form_); }

  static QColor Probe(QWidget& w, QPoint at) {
    QImage image(w.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    w.render(&image);
    return QColor(image.pixel(at));
  }

  QWidget form_;
  QVBoxLayout* layout_ = nullptr;
};

}  // namespace

TEST_F(SkinControlsTest, PushButtonStates) {
  auto* button = Add(new QPushButton("OK"), "button");
  auto* off = Add(new QPushButton("Off"), "off");
  off->setEnabled(false);
  Add(new QPushButton("Other"), "other")->setFocus();
  Skin();
  const QPoint corner(1, 1);
  EXPECT_EQ(Probe(*button, corner), ButtonColours[0]);  // normal
  EXPECT_EQ(Probe(*off, corner), ButtonColours[2]);     // disabled
  QEvent enter(QEvent::Enter);
  QApplication::sendEvent(button, &enter);
  EXPECT_EQ(Probe(*button, corner), ButtonColours[3]);  // hot
  EXPECT_EQ(Window().HotChild()->Control(), button);
  QTest::mousePress(button, Qt::LeftButton, {}, button->rect().center());
  EXPECT_EQ(Probe(*button, corner), ButtonColours[1]);  // pressed
  QTest::mouseRelease(button, Qt::LeftButton, {}, button->rect().center());
  // The hover timer tells a hot control that the mouse left.
  Window().HotChild()->MouseLeave();
  EXPECT_EQ(Window().HotChild(), nullptr);
  QApplication::setActiveWindow(&form_);
  button->setFocus();
  Settle();
  ASSERT_TRUE(button->hasFocus());
  EXPECT_EQ(Probe(*button, corner), ButtonColours[3]);  // focused
}

TEST_F(SkinControlsTest, ClickNeedsThePressOnTheButton) {
  auto* a = Add(new QPushButton("A"), "a");
  auto* b = Add(new QPushButton("B"), "b");
  Skin();
  QSignalSpy clickedA(a, &QPushButton::clicked);
  QSignalSpy clickedB(b, &QPushButton::clicked);
  // Press on A, move out, release over B: neither clicks.
  QTest::mousePress(a, Qt::LeftButton, {}, a->rect().center());
  const QPoint outside(a->width() / 2, a->height() + 20);
  QMouseEvent move(QEvent::MouseMove, outside, a->mapToGlobal(outside), Qt::NoButton, Qt::LeftButton, {});
  QApplication::sendEvent(a, &move);
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(a, &leave);
  EXPECT_NE(Probe(*a, {1, 1}), ButtonColours[1]);  // drawn unpressed again
  QTest::mouseRelease(b, Qt::LeftButton, {}, b->rect().center());
  QTest::mouseRelease(a, Qt::LeftButton, {}, outside);
  EXPECT_EQ(clickedA.count(), 0);
  EXPECT_EQ(clickedB.count(), 0);
  // A press and release on the button clicks it.
  QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
  EXPECT_EQ(clickedB.count(), 1);
}

TEST_F(SkinControlsTest, SpeedButtonDownAndChecks) {
  auto* speed = Add(new QToolButton, "speed");
  speed->setText("S");
  speed->setCheckable(true);
  auto* check = Add(new QCheckBox("check"), "check");
  auto* leftText = Add(new QCheckBox("left"), "left");
  leftText->setLayoutDirection(Qt::RightToLeft);
  leftText->setChecked(true);
  auto* radio = Add(new QRadioButton("radio"), "radio");
  Skin();
  EXPECT_EQ(Probe(*speed, {1, 1}), ButtonColours[0]);
  speed->setChecked(true);
  EXPECT_EQ(Probe(*speed, {1, 1}), ButtonColours[1]);  // down: frame 2
  speed->setEnabled(false);
  EXPECT_EQ(Probe(*speed, {1, 1}), ButtonColours[2]);

  const auto cell = [](QWidget& w, bool left) { return CheckCell(w.size(), {13, 13}, left).center(); };
  EXPECT_EQ(Probe(*check, cell(*check, false)), CheckColours[0]);
  check->setChecked(true);
  EXPECT_EQ(Probe(*check, cell(*check, false)), CheckColours[1]);
  check->setEnabled(false);
  EXPECT_EQ(Probe(*check, cell(*check, false)), CheckColours[2]);
  // Text on the left: the check image at the right edge.
  EXPECT_EQ(Probe(*leftText, cell(*leftText, true)), CheckColours[1]);
  // A disabled radio button that is checked takes frame 4.
  radio->setChecked(true);
  EXPECT_EQ(Probe(*radio, cell(*radio, false)), RadioColours[1]);
  radio->setEnabled(false);
  EXPECT_EQ(Probe(*radio, cell(*radio, false)), RadioColours[3]);
  radio->setChecked(false);
  EXPECT_EQ(Probe(*radio, cell(*radio, false)), RadioColours[2]);
  // Check boxes take the face colour while skinned, and a new skin's.
  EXPECT_EQ(check->palette().color(QPalette::Window), Face);
  skin_->Skin().Colours.ButtonFace = QColor(5, 6, 7);
  Window().ReloadSkin();
  EXPECT_EQ(check->palette().color(QPalette::Window), QColor(5, 6, 7));
}

TEST_F(SkinControlsTest, TabsOnEveryEdge) {
  for (QTabWidget::TabPosition position : {QTabWidget::North, QTabWidget::South, QTabWidget::West,
                                           QTabWidget::East}) {
    auto* pages = Add(new QTabWidget, "pages");
    pages->setTabPosition(position);
    pages->addTab(new QWidget, "One");
    pages->addTab(new QWidget, "Two");
    pages->setCurrentIndex(1);
    pages->setMinimumHeight(120);
    Skin();
    QTabBar* bar = pages->tabBar();
    // The current tab shows frame 2, the other frame 1, at their places
    // whatever the edge (the strip is composed upright and turned).
    QImage image(bar->size(), QImage::Format_RGB32);
    bar->render(&image);
    EXPECT_EQ(QColor(image.pixel(bar->tabRect(0).topLeft() + QPoint(1, 1))), TabColours[0]) << position;
    EXPECT_EQ(QColor(image.pixel(bar->tabRect(1).bottomRight() - QPoint(1, 1))), TabColours[1]) << position;
    ASSERT_TRUE(TSkinManage::Instance()->UnskinWindow(&form_));
    delete pages;
  }
}

TEST_F(SkinControlsTest, ScrollBarPartsFollowTheSkinGeometry) {
  const std::vector<QColor> arrows = ArrowColours();
  skin_->Skin().Scrollbar = SolidElement("Scrollbar", 16, 16, arrows);
  auto* bar = Add(new QScrollBar(Qt::Horizontal), "bar");
  bar->setRange(0, 90);
  bar->setPageStep(10);
  bar->setFixedSize(200, 16);
  auto* list = Add(new QListWidget, "list");
  for (int i = 0; i < 100; ++i) list->addItem(QString::number(i));
  Skin();
  QStyleOptionSlider opt;
  opt.initFrom(bar);
  opt.orientation = Qt::Horizontal;
  opt.minimum = 0;
  opt.maximum = 90;
  opt.pageStep = 10;
  opt.sliderPosition = opt.sliderValue = 45;
  const TScrollGeometry g = ScrollGeometry(200, 16, ScrollRangeFromQt(0, 90, 10, 45), true);
  EXPECT_EQ(bar->style()->subControlRect(QStyle::CC_ScrollBar, &opt, QStyle::SC_ScrollBarSlider, bar),
            ScrollPartRect(g, spThumb, {200, 16}, true));
  EXPECT_EQ(bar->style()->hitTestComplexControl(QStyle::CC_ScrollBar, &opt, {g.Arrow + g.Offset + 1, 8}, bar),
            QStyle::SC_ScrollBarSlider);
  EXPECT_EQ(Probe(*bar, {8, 8}), arrows[0]);
  EXPECT_EQ(Probe(*bar, {191, 8}), arrows[4]);
  // The list's own bars are the skin's too, and go back with it.
  QScrollBar* vertical = list->verticalScrollBar();
  EXPECT_EQ(SkinControlOf(vertical) != nullptr, true);
  EXPECT_EQ(vertical->style(), bar->style());
  ASSERT_TRUE(TSkinManage::Instance()->UnskinWindow(&form_));
  EXPECT_EQ(vertical->style(), QApplication::style());
  EXPECT_FALSE(vertical->testAttribute(Qt::WA_SetStyle));
  EXPECT_EQ(SkinControlOf(vertical), nullptr);
}

TEST_F(SkinControlsTest, StatusBarPanelsAndGrip) {
  auto* bar = Add(new QStatusBar, "status");
  auto* first = new QLabel("first");
  auto* second = new QLabel("second");
  second->setProperty("Bevel", pbRaised);
  bar->addWidget(first);
  bar->addWidget(second, 1);
  bar->setSizeGripEnabled(true);
  Skin();
  EXPECT_FALSE(bar->isSizeGripEnabled());
  const TStatusPanels panels = StatusPanelsOf(*bar);
  ASSERT_EQ(panels.Panels.size(), 2u);
  EXPECT_EQ(panels.Panels[0].Text, "first");
  EXPECT_EQ(panels.Panels[1].Bevel, pbRaised);
  EXPECT_FALSE(panels.Simple);
  bar->showMessage("busy");
  EXPECT_TRUE(StatusPanelsOf(*bar).Simple);
  ASSERT_TRUE(TSkinManage::Instance()->UnskinWindow(&form_));
  EXPECT_TRUE(bar->isSizeGripEnabled());
}

TEST_F(SkinControlsTest, RestoreGivesBackAndSurvivesDeletedControls) {
  auto* button = Add(new QPushButton("gone"), "gone");
  auto* check = Add(new QCheckBox("kept"), "kept");
  auto* spin = Add(new QSpinBox, "spin");
  auto* tree = Add(new QTreeWidget, "view");
  tree->setRootIsDecorated(false);
  QPalette own = check->palette();
  own.setColor(QPalette::Window, QColor(1, 2, 3));
  check->setPalette(own);
  Skin();
  const std::size_t count = Window().ChildObjects().size();
  ASSERT_GE(count, 4u);
  EXPECT_NE(SkinControlOf(tree->header()), nullptr);
  EXPECT_NE(SkinControlOf(spin->findChild<QLineEdit*>()), nullptr);
  // Restore twice is harmless.
  for (const auto& child : Window().ChildObjects()) {
    if (child->Control() == check) {
      child->Restore();
      child->Restore();
    }
  }
  EXPECT_EQ(check->palette().color(QPalette::Window), QColor(1, 2, 3));
  // A control destroyed while skinned: its object is dropped and
  // unskinning touches nothing freed.
  QEvent enter(QEvent::Enter);
  QApplication::sendEvent(button, &enter);
  delete button;
  EXPECT_EQ(Window().HotChild(), nullptr);
  Settle();
  EXPECT_EQ(Window().ChildObjects().size(), count - 1);
  ASSERT_TRUE(TSkinManage::Instance()->UnskinWindow(&form_));
  EXPECT_EQ(check->palette().color(QPalette::Window), QColor(1, 2, 3));
  EXPECT_FALSE(spin->testAttribute(Qt::WA_SetStyle));
  EXPECT_FALSE(tree->header()->testAttribute(Qt::WA_SetStyle));
  // Skinned again and destroyed with its window.
  Skin();
  delete tree;
  Settle();
}

// A header label that fits its rectangle is drawn whole: the skin's indent
// gives way rather than cut the text's end off.
TEST_F(SkinControlsTest, HeaderLabelThatFitsIsDrawnWhole) {
  const QColor bar(230, 230, 230);
  TSkinData& data = *skin_;
  data.Skin().Headerbar = SolidElement("Headerbar", 10, 10, {bar, bar, bar, bar, bar});
  auto* tree = Add(new QTreeWidget, "layers");
  tree->setRootIsDecorated(false);
  tree->setColumnCount(1);
  const QString text = "Layers, the top one first";
  tree->setHeaderLabel(text);
  QPalette p = tree->header()->palette();
  p.setColor(QPalette::ButtonText, Qt::black);
  tree->header()->setPalette(p);
  Skin();
  ASSERT_NE(SkinControlOf(tree->header()), nullptr);
  // The dark pixels of the label in a section of the given width.
  const auto ink = [&](int width) {
    tree->setFixedWidth(width + 2 * tree->frameWidth());
    tree->header()->setStretchLastSection(true);
    Settle();
    QHeaderView* h = tree->header();
    QImage image(h->size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    h->render(&image);
    int dark = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) dark += qGray(image.pixel(x, y)) < 128;
    }
    return dark;
  };
  const int whole = ink(400);
  ASSERT_GT(whole, 0);
  const int margin = tree->header()->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, tree->header());
  const int fits = QFontMetrics(tree->header()->font()).horizontalAdvance(text) + 2 * margin + 2;
  EXPECT_EQ(ink(fits), whole);
}

namespace {

// A 16 x 16 icon, clear but for a black square (a glyph as the style
// draws one for a light face) when inked.
QIcon Glyph(bool inked) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  if (inked) QPainter(&pixmap).fillRect(3, 3, 10, 10, Qt::black);
  return QIcon(pixmap);
}

QImage Grabbed(QToolButton& b) { return b.grab().toImage().convertToFormat(QImage::Format_RGB32); }

// The pixels where a button with its glyph differs from itself with a
// clear one: how many, the first one's colour, and their least contrast
// with what lies under them.
struct TGlyphInk {
  int Pixels = 0;
  QRgb First = 0;
  double LeastContrast = 21;
};
TGlyphInk InkOf(QToolButton& b) {
  const QImage with = Grabbed(b);
  b.setIcon(Glyph(false));
  const QImage without = Grabbed(b);
  b.setIcon(Glyph(true));
  TGlyphInk ink;
  for (int y = 0; y < with.height(); ++y) {
    for (int x = 0; x < with.width(); ++x) {
      const QRgb a = with.pixel(x, y), under = without.pixel(x, y);
      if (a == under) continue;
      if (ink.Pixels++ == 0) ink.First = a;
      ink.LeastContrast = std::min(ink.LeastContrast, ContrastRatio(Rgb(qRed(a), qGreen(a), qBlue(a)),
                                                                    Rgb(qRed(under), qGreen(under), qBlue(under))));
    }
  }
  return ink;
}

}  // namespace

// The style's black glyphs vanish on a dark skin: on the bars and buttons
// of every stored skin a glyph stands out from what it is drawn on at 3:1
// or more (the tool bar's plain and checked buttons, drawn by the
// application's style on the face, buttons drawn from the skin's button
// picture, up and down, and a button on a page), while the plain look
// keeps it black.
TEST_F(SkinWindowTest, GlyphsOnTheBarsAndButtonsOfEveryStoredSkinStandOut) {
  InstallSkinControls();
  // The manager comes with the first component and sees the window's
  // activation.
  skin_ = std::make_unique<TSkinData>();
  QMainWindow window;
  QToolBar* bar = window.addToolBar("tools");
  const auto button = [&](const char* name, bool checked, QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setIcon(Glyph(true));
    b->setAutoRaise(true);
    b->setCheckable(checked);
    b->setChecked(checked);
    return b;
  };
  std::vector<QToolButton*> buttons = {button("onBar", false, &window), button("checkedOnBar", true, &window)};
  for (QToolButton* b : buttons) bar->addWidget(b);
  auto* panel = new QWidget;
  auto* row = new QHBoxLayout(panel);
  for (const auto& [name, checked] : {std::pair{"onPanel", false}, std::pair{"downOnPanel", true}}) {
    buttons.push_back(button(name, checked, panel));
    row->addWidget(buttons.back());
  }
  // A page control's page keeps the application's look on the skin's face.
  auto* pages = new QTabWidget;
  auto* page = new QWidget;
  buttons.push_back(button("onPage", false, page));
  pages->addTab(page, "page");
  row->addWidget(pages);
  window.setCentralWidget(panel);
  window.resize(300, 200);
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  Settle();

  std::vector<QImage> plain;
  for (QToolButton* b : buttons) {
    SCOPED_TRACE(b->objectName().toStdString());
    plain.push_back(Grabbed(*b));
    const TGlyphInk ink = InkOf(*b);
    ASSERT_GT(ink.Pixels, 50);
    EXPECT_EQ(QColor(ink.First), QColor(Qt::black));
  }

  TSkinStore store;
  LoadStoredSkins(store);
  for (int i = 0; i < StoredSkinCount; ++i) {
    skin_ = std::make_unique<TSkinData>();
    skin_->LoadFromCollection(store, i);
    ASSERT_TRUE(skin_->SkinLoaded());
    SCOPED_TRACE(skin_->SkinName());
    skin_->SetActive(true);
    RunAction();
    ASSERT_NE(TSkinManage::Instance()->SkinnedWindow(&window), nullptr);
    for (QToolButton* b : buttons) {
      SCOPED_TRACE(b->objectName().toStdString());
      ASSERT_NE(SkinControlOf(b), nullptr);
      const TGlyphInk ink = InkOf(*b);
      ASSERT_GT(ink.Pixels, 50);
      EXPECT_GE(ink.LeastContrast, 3.0);
    }
    skin_->SetActive(false);
    RunAction();
    ASSERT_EQ(TSkinManage::Instance()->SkinnedWindow(&window), nullptr);
    // Given back, the buttons look as they did.
    for (std::size_t b = 0; b < buttons.size(); ++b) {
      EXPECT_EQ(Grabbed(*buttons[b]), plain[b]) << buttons[b]->objectName().toStdString();
      EXPECT_FALSE(buttons[b]->testAttribute(Qt::WA_SetStyle));
    }
  }
}
