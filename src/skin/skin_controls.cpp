#include "skin/skin_controls.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHash>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QStatusBar>
#include <QStyleFactory>
#include <QStyleOption>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <algorithm>

#include "skin/skin_data.h"
#include "skin/skin_form.h"

namespace {

struct TEntry {
  TSkinControl* Object;
  TServedRole Role;
};

QHash<const QWidget*, TEntry>& Registry() {
  static QHash<const QWidget*, TEntry> registry;
  return registry;
}

// Paints into a transparent picture of rect's size and draws it: for
// drawings that leave the skin's transparent colour out.
template <class Draw>
void PaintKeyed(QPainter* p, const QRect& rect, Draw draw) {
  if (rect.width() <= 0 || rect.height() <= 0) return;
  QImage image(rect.size(), QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  draw(image);
  p->drawImage(rect.topLeft(), image);
}

// ---------------------------------------------------------------------------
// The one style of every skinned control.

class TSkinControlStyle : public QProxyStyle {
 public:
  TSkinControlStyle() : QProxyStyle(BaseStyle()) { setObjectName("SkinControlStyle"); }

  static TSkinControlStyle& Instance() {
    static QPointer<TSkinControlStyle> style;
    if (!style) {
      style = new TSkinControlStyle;
      // Goes with the application, after every widget.
      style->setParent(qApp);
    }
    return *style;
  }

  void polish(QWidget* w) override {
    QProxyStyle::polish(w);
    if (Registry().contains(w)) w->setAttribute(Qt::WA_Hover, true);
  }
  using QProxyStyle::polish;

  void drawPrimitive(PrimitiveElement e, const QStyleOption* o, QPainter* p, const QWidget* w) const override {
    TServedRole role;
    if (TSkinControl* c = Live(w, role); c != nullptr && c->DrawPrimitive(e, o, p, w, role)) return;
    QProxyStyle::drawPrimitive(e, o, p, w);
  }
  void drawControl(ControlElement e, const QStyleOption* o, QPainter* p, const QWidget* w) const override {
    TServedRole role;
    TSkinControl* c = Live(w, role);
    if (c != nullptr && c->DrawControl(e, o, p, w, role)) return;
    if (c != nullptr && DrawSkinnedLabel(e, o, p, w, *c->Data())) return;
    QProxyStyle::drawControl(e, o, p, w);
  }
  void drawComplexControl(ComplexControl cc, const QStyleOptionComplex* o, QPainter* p,
                          const QWidget* w) const override {
    TServedRole role;
    if (TSkinControl* c = Live(w, role); c != nullptr && c->DrawComplex(cc, o, p, w, role)) return;
    QProxyStyle::drawComplexControl(cc, o, p, w);
  }
  QRect subControlRect(ComplexControl cc, const QStyleOptionComplex* o, SubControl sc,
                       const QWidget* w) const override {
    TServedRole role;
    if (TSkinControl* c = Live(w, role)) {
      if (std::optional<QRect> r = c->SubControlRect(cc, o, sc, w, role)) return *r;
    }
    return QProxyStyle::subControlRect(cc, o, sc, w);
  }
  SubControl hitTestComplexControl(ComplexControl cc, const QStyleOptionComplex* o, const QPoint& pt,
                                   const QWidget* w) const override {
    TServedRole role;
    if (TSkinControl* c = Live(w, role)) {
      if (std::optional<SubControl> s = c->HitTest(cc, o, pt, w, role)) return *s;
    }
    return QProxyStyle::hitTestComplexControl(cc, o, pt, w);
  }
  int pixelMetric(PixelMetric m, const QStyleOption* o, const QWidget* w) const override {
    TServedRole role;
    if (TSkinControl* c = Live(w, role)) {
      if (std::optional<int> v = c->PixelMetric(m, o, w, role)) return *v;
    }
    return QProxyStyle::pixelMetric(m, o, w);
  }

 private:
  // A copy of the application's style: a proxy owns its base, so it is
  // never the application's own.
  static QStyle* BaseStyle() {
    QStyle* copy = QApplication::style() != nullptr ? QStyleFactory::create(QApplication::style()->name()) : nullptr;
    return copy != nullptr ? copy : QStyleFactory::create("fusion");
  }

  // A button's label as the application's style draws it, but for a dark
  // glyph, which takes the skin's button-text colour.
  bool DrawSkinnedLabel(ControlElement e, const QStyleOption* o, QPainter* p, const QWidget* w,
                        const TSkinData& data) const {
    if (!(o->state & State_Enabled)) return false;
    const qreal ratio = p->device() != nullptr ? p->device()->devicePixelRatio() : 1.0;
    const QIcon::State state = (o->state & State_On) ? QIcon::On : QIcon::Off;
    if (e == CE_ToolButtonLabel) {
      const auto* t = qstyleoption_cast<const QStyleOptionToolButton*>(o);
      if (t == nullptr || t->icon.isNull()) return false;
      QStyleOptionToolButton label(*t);
      label.icon = SkinnedIcon(t->icon, t->rect.size().boundedTo(t->iconSize), ratio, state, data);
      QProxyStyle::drawControl(e, &label, p, w);
      return true;
    }
    if (e == CE_PushButtonLabel) {
      const auto* b = qstyleoption_cast<const QStyleOptionButton*>(o);
      if (b == nullptr || b->icon.isNull()) return false;
      QStyleOptionButton label(*b);
      label.icon = SkinnedIcon(b->icon, b->iconSize, ratio, state, data);
      QProxyStyle::drawControl(e, &label, p, w);
      return true;
    }
    return false;
  }

  static TSkinControl* Live(const QWidget* w, TServedRole& role) {
    TSkinControl* c = SkinControlOf(w, &role);
    if (c == nullptr || c->Restored() || c->Data() == nullptr) return nullptr;
    return c;
  }
};

const TSkinData& SkinOf(const TSkinControl& c) { return *c.Data(); }

// The application's look, for what the skin leaves to it.
const QStyle* Base() { return TSkinControlStyle::Instance().baseStyle(); }

TButtonState StateOf(const QStyleOption& o, const TSkinControl& c) {
  TButtonState s;
  s.Enabled = (o.state & QStyle::State_Enabled) != 0;
  s.Focused = (o.state & QStyle::State_HasFocus) != 0;
  s.Pressed = (o.state & QStyle::State_Sunken) != 0;
  s.Down = (o.state & QStyle::State_On) != 0;
  s.Hot = c.Hot() && s.Enabled;
  return s;
}

QImage PropertyImage(const QWidget& w, const char* name) {
  const QVariant v = w.property(name);
  if (v.canConvert<QImage>()) return v.value<QImage>();
  if (v.canConvert<QPixmap>()) return v.value<QPixmap>().toImage();
  return {};
}

int IntProperty(const QWidget& w, const char* name, int fallback) {
  const QVariant v = w.property(name);
  return v.isValid() ? v.toInt() : fallback;
}

// ---------------------------------------------------------------------------
// Buttons

class TSkinButton : public TSkinControl {
 public:
  using TSkinControl::TSkinControl;

  bool DrawControl(QStyle::ControlElement e, const QStyleOption* o, QPainter* p, const QWidget* w,
                   TServedRole role) override {
    if (e != QStyle::CE_PushButton || role != srControl) return false;
    const auto* b = qstyleoption_cast<const QStyleOptionButton*>(o);
    if (b == nullptr) return false;
    TButtonState s = StateOf(*o, *this);
    s.Pressed = s.Pressed || s.Down;
    TButtonPicture pic;
    pic.Size = o->rect.size();
    pic.Frame = ButtonFrame(s);
    pic.Caption = b->text;
    pic.Font = w->font();
    pic.TextColour = ButtonTextColour(SkinOf(*this), pic.Frame, s.Enabled);
    Glyph(*b, *w, s, pic);
    const QImage image = ComposeButton(SkinOf(*this), pic);
    if (image.isNull()) return false;
    p->drawImage(o->rect.topLeft(), image);
    return true;
  }

 protected:
  virtual void Glyph(const QStyleOptionButton&, const QWidget&, const TButtonState&, TButtonPicture&) {}
};

// A push button with a picture: its glyph strip is the "Glyph" property
// (NumGlyphs images side by side) or, without one, its icon; "Layout",
// "Margin" and "Spacing" place it (glyph left, -1, 4 by default).
class TSkinBitButton : public TSkinButton {
 public:
  using TSkinButton::TSkinButton;

 protected:
  void Glyph(const QStyleOptionButton& b, const QWidget& w, const TButtonState& s, TButtonPicture& pic) override {
    pic.Glyph = PropertyImage(w, "Glyph");
    pic.NumGlyphs = std::max(1, IntProperty(w, "NumGlyphs", 1));
    if (pic.Glyph.isNull() && !b.icon.isNull()) {
      pic.Glyph = b.icon.pixmap(b.iconSize, s.Enabled ? QIcon::Normal : QIcon::Disabled).toImage();
      if (s.Enabled) pic.Glyph = SkinnedIcon(pic.Glyph, SkinOf(*this));
      pic.NumGlyphs = 1;
    }
    pic.Layout = static_cast<TButtonLayout>(std::clamp(IntProperty(w, "Layout", blGlyphLeft), 0, 3));
    pic.Margin = IntProperty(w, "Margin", -1);
    pic.Spacing = IntProperty(w, "Spacing", 4);
  }
};

// A tool button: a speed button of the skin.
class TSkinSpeedButton : public TSkinControl {
 public:
  using TSkinControl::TSkinControl;

  bool DrawComplex(QStyle::ComplexControl cc, const QStyleOptionComplex* o, QPainter* p, const QWidget* w,
                   TServedRole role) override {
    if (cc != QStyle::CC_ToolButton || role != srControl) return false;
    const auto* t = qstyleoption_cast<const QStyleOptionToolButton*>(o);
    if (t == nullptr) return false;
    const TButtonState s = StateOf(*o, *this);
    TButtonPicture pic;
    pic.Size = o->rect.size();
    pic.Frame = SpeedButtonFrame(s);
    pic.Font = w->font();
    pic.TextColour = ButtonTextColour(SkinOf(*this), pic.Frame, s.Enabled);
    const bool iconShown = t->toolButtonStyle != Qt::ToolButtonTextOnly && !t->icon.isNull();
    const bool textShown = t->toolButtonStyle != Qt::ToolButtonIconOnly || t->icon.isNull();
    if (textShown) pic.Caption = t->text;
    pic.Glyph = PropertyImage(*w, "Glyph");
    pic.NumGlyphs = std::max(1, IntProperty(*w, "NumGlyphs", 1));
    if (pic.Glyph.isNull() && iconShown) {
      pic.Glyph = t->icon.pixmap(t->iconSize, s.Enabled ? QIcon::Normal : QIcon::Disabled).toImage();
      if (s.Enabled) pic.Glyph = SkinnedIcon(pic.Glyph, SkinOf(*this));
      pic.NumGlyphs = 1;
    }
    pic.GlyphIndex = SpeedButtonGlyph(pic.Frame, pic.NumGlyphs);
    pic.Layout = t->toolButtonStyle == Qt::ToolButtonTextUnderIcon ? blGlyphTop : blGlyphLeft;
    pic.Layout = static_cast<TButtonLayout>(std::clamp(IntProperty(*w, "Layout", pic.Layout), 0, 3));
    pic.Margin = IntProperty(*w, "Margin", -1);
    pic.Spacing = IntProperty(*w, "Spacing", pic.Caption.isEmpty() ? 0 : 4);
    const QImage image = ComposeButton(SkinOf(*this), pic);
    if (image.isNull()) return false;
    p->drawImage(o->rect.topLeft(), image);
    return true;
  }
};

// ---------------------------------------------------------------------------
// Check boxes and radio buttons

class TSkinCheckBox : public TSkinControl {
 public:
  TSkinCheckBox(const TSkinChildRequest& r, bool radio) : TSkinControl(r), radio_(radio) {}

  std::optional<int> PixelMetric(QStyle::PixelMetric m, const QStyleOption*, const QWidget*,
                                 TServedRole role) override {
    const QSize cell = Cell();
    if (role != srControl || cell.isEmpty()) return std::nullopt;
    const bool width = m == (radio_ ? QStyle::PM_ExclusiveIndicatorWidth : QStyle::PM_IndicatorWidth);
    const bool height = m == (radio_ ? QStyle::PM_ExclusiveIndicatorHeight : QStyle::PM_IndicatorHeight);
    if (width) return cell.width() < 15 ? 14 : cell.width() + 1;
    if (height) return cell.height();
    return std::nullopt;
  }

  bool DrawPrimitive(QStyle::PrimitiveElement e, const QStyleOption* o, QPainter* p, const QWidget* w,
                     TServedRole role) override {
    if (role != srControl || e != (radio_ ? QStyle::PE_IndicatorRadioButton : QStyle::PE_IndicatorCheckBox)) {
      return false;
    }
    const QSize cell = Cell();
    if (cell.isEmpty() || w == nullptr) return false;
    const bool checked = (o->state & (QStyle::State_On | QStyle::State_NoChange)) != 0;
    const bool enabled = (o->state & QStyle::State_Enabled) != 0;
    const TDataSkinButton& b = SkinOf(*this).Skin().Buttons;
    const int frame = radio_ ? RadioFrame(checked, enabled) : CheckFrame(checked, enabled);
    const QRect at = CheckCell(w->size(), cell, w->layoutDirection() == Qt::RightToLeft);
    QImage image(cell, QImage::Format_RGB32);
    FillFace(image, image.rect(), SkinOf(*this));
    DrawStripFrame(image, image.rect(), radio_ ? b.RadioBitmap : b.CheckBitmap, frame,
                   radio_ ? b.RadioFrameCount : b.CheckFrameCount);
    p->drawImage(at.topLeft(), image);
    return true;
  }

 protected:
  bool BeforeMessage(QWidget* watched, QEvent* event, TServedRole role) override {
    if (event->type() == QEvent::MouseButtonDblClick) Repaint();
    return TSkinControl::BeforeMessage(watched, event, role);
  }

 private:
  QSize Cell() const {
    if (Data() == nullptr) return {};
    const TDataSkinButton& b = Data()->Skin().Buttons;
    const QImage& bitmap = radio_ ? b.RadioBitmap : b.CheckBitmap;
    if (bitmap.isNull()) return {};
    return {bitmap.width() / std::max(1, radio_ ? b.RadioFrameCount : b.CheckFrameCount), bitmap.height()};
  }
  bool radio_;
};

// ---------------------------------------------------------------------------
// Boxes: the face colour only; a group box's title in the button text.

class TSkinBox : public TSkinControl {
 public:
  using TSkinControl::TSkinControl;
  void Init() override {
    TSkinControl::Init();
    ColourTitle();
  }
  void Recolour() override {
    TSkinControl::Recolour();
    ColourTitle();
  }

 private:
  void ColourTitle() {
    auto* box = qobject_cast<QGroupBox*>(control_.data());
    if (box == nullptr || Data() == nullptr) return;
    QPalette p = box->palette();
    p.setColor(QPalette::Active, QPalette::WindowText, Data()->Colours().ButtonText);
    p.setColor(QPalette::Inactive, QPalette::WindowText, Data()->Colours().ButtonText);
    box->setPalette(p);
  }
};

// ---------------------------------------------------------------------------
// Edits and spin boxes (an edit with its up-down buttons inside)

void DrawEditFrame(QPainter* p, const QRect& rect, const QColor& brush, const TSkinData& data, int rings) {
  p->save();
  p->setBrush(Qt::NoBrush);
  p->setPen(brush);
  for (int i = 1; i <= rings; ++i) p->drawRect(rect.adjusted(i, i, -i - 1, -i - 1));
  p->setPen(data.Colours().ButtonShadow);
  p->drawRect(rect.adjusted(0, 0, -1, -1));
  p->restore();
}

class TSkinEdit : public TSkinControl {
 public:
  using TSkinControl::TSkinControl;

  void Init() override {
    TSkinControl::Init();
    if (auto* spin = qobject_cast<QAbstractSpinBox*>(control_.data())) {
      if (auto* edit = spin->findChild<QLineEdit*>(QString(), Qt::FindDirectChildrenOnly)) Serve(edit, srInner);
    }
  }

  bool DrawPrimitive(QStyle::PrimitiveElement e, const QStyleOption* o, QPainter* p, const QWidget*,
                     TServedRole role) override {
    if (e != QStyle::PE_PanelLineEdit || role != srControl) return false;
    const auto* f = qstyleoption_cast<const QStyleOptionFrame*>(o);
    if (f == nullptr || f->lineWidth <= 0) return false;
    const QColor base = o->palette.color(QPalette::Base);
    p->fillRect(o->rect, base);
    DrawEditFrame(p, o->rect, base, SkinOf(*this), 2);
    return true;
  }

  bool DrawComplex(QStyle::ComplexControl cc, const QStyleOptionComplex* o, QPainter* p, const QWidget* w,
                   TServedRole role) override {
    if (cc != QStyle::CC_SpinBox || role != srControl) return false;
    const auto* s = qstyleoption_cast<const QStyleOptionSpinBox*>(o);
    if (s == nullptr) return false;
    const QColor base = o->palette.color(QPalette::Base);
    if (s->frame) {
      p->fillRect(o->rect, base);
      DrawEditFrame(p, o->rect, base, SkinOf(*this), 1);
    }
    if (s->buttonSymbols == QAbstractSpinBox::NoButtons) return true;
    const QRect area = ButtonArea(o, w);
    const auto [first, second] = UpDownButtons(area, false);
    const bool enabled = (o->state & QStyle::State_Enabled) != 0;
    const bool sunken = (o->state & QStyle::State_Sunken) != 0;
    const bool hot = (o->state & QStyle::State_MouseOver) != 0;
    const int upState = UpDownState(enabled, (s->activeSubControls & QStyle::SC_SpinBoxUp) != 0, sunken, hot);
    const int downState = UpDownState(enabled, (s->activeSubControls & QStyle::SC_SpinBoxDown) != 0, sunken, hot);
    QImage image(area.size(), QImage::Format_RGB32);
    FillFace(image, image.rect(), SkinOf(*this));
    DrawUpDownButton(image, first.translated(-area.topLeft()), SkinOf(*this), 0, upState);
    DrawUpDownButton(image, second.translated(-area.topLeft()), SkinOf(*this), 1, downState);
    p->drawImage(area.topLeft(), image);
    return true;
  }

  std::optional<QRect> SubControlRect(QStyle::ComplexControl cc, const QStyleOptionComplex* o, QStyle::SubControl sc,
                                      const QWidget* w, TServedRole role) override {
    if (cc != QStyle::CC_SpinBox || role != srControl || w == nullptr) return std::nullopt;
    const auto* s = qstyleoption_cast<const QStyleOptionSpinBox*>(o);
    if (s == nullptr || s->buttonSymbols == QAbstractSpinBox::NoButtons) return std::nullopt;
    const QRect area = ButtonArea(o, w);
    const auto [first, second] = UpDownButtons(area, false);
    if (sc == QStyle::SC_SpinBoxUp) return first;
    if (sc == QStyle::SC_SpinBoxDown) return second;
    if (sc == QStyle::SC_SpinBoxEditField) return QRect(o->rect.left() + 3, o->rect.top() + 2,
                                                         area.left() - o->rect.left() - 4, o->rect.height() - 4);
    return std::nullopt;
  }

 private:
  // The up-down buttons of a spin box lie 1 pixel inside the edit's edge,
  // where the application's style puts its buttons.
  static QRect ButtonArea(const QStyleOptionComplex* o, const QWidget* w) {
    const QRect up = Base()->subControlRect(QStyle::CC_SpinBox, o, QStyle::SC_SpinBoxUp, w);
    const QRect down = Base()->subControlRect(QStyle::CC_SpinBox, o, QStyle::SC_SpinBoxDown, w);
    QRect area = up.united(down);
    area.setTop(o->rect.top() + 1);
    area.setBottom(o->rect.bottom() - 1);
    area.setRight(o->rect.right() - 1);
    return area;
  }
};

// ---------------------------------------------------------------------------
// Combo boxes

class TSkinComBox : public TSkinControl {
 public:
  using TSkinControl::TSkinControl;

  void Init() override {
    TSkinControl::Init();
    if (auto* combo = qobject_cast<QComboBox*>(control_.data()); combo != nullptr && combo->lineEdit() != nullptr) {
      Serve(combo->lineEdit(), srInner);
    }
  }

  bool DrawComplex(QStyle::ComplexControl cc, const QStyleOptionComplex* o, QPainter* p, const QWidget*,
                   TServedRole role) override {
    if (cc != QStyle::CC_ComboBox || role != srControl) return false;
    const bool enabled = (o->state & QStyle::State_Enabled) != 0;
    const bool pressed = (o->state & (QStyle::State_Sunken | QStyle::State_On)) != 0;
    const bool hot = (hot_ && enabled) || (o->state & QStyle::State_HasFocus) != 0;
    QImage image(o->rect.size(), QImage::Format_RGB32);
    const QColor brush = o->palette.color(QPalette::Base);
    image.fill(brush);
    if (!DrawSkinCombo(image, SkinOf(*this), brush, ButtonWidth(), ComboFrame(enabled, pressed, hot))) return false;
    p->drawImage(o->rect.topLeft(), image);
    return true;
  }

  // The text lies on the box's base colour: it takes the base's text
  // colour, also where the application draws a combo box like a button.
  bool DrawControl(QStyle::ControlElement e, const QStyleOption* o, QPainter* p, const QWidget* w,
                   TServedRole role) override {
    if (e != QStyle::CE_ComboBoxLabel || role != srControl || !Drawn()) return false;
    const auto* c = qstyleoption_cast<const QStyleOptionComboBox*>(o);
    if (c == nullptr) return false;
    QStyleOptionComboBox label(*c);
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
      label.palette.setColor(g, QPalette::ButtonText, c->palette.color(g, QPalette::Text));
      label.palette.setColor(g, QPalette::WindowText, c->palette.color(g, QPalette::Text));
    }
    Base()->drawControl(e, &label, p, w);
    return true;
  }

  std::optional<QRect> SubControlRect(QStyle::ComplexControl cc, const QStyleOptionComplex* o, QStyle::SubControl sc,
                                      const QWidget*, TServedRole role) override {
    if (cc != QStyle::CC_ComboBox || role != srControl || !Drawn()) return std::nullopt;
    const QRect button = ComboButtonRect(o->rect.size(), ButtonWidth()).translated(o->rect.topLeft());
    if (sc == QStyle::SC_ComboBoxArrow) return button;
    if (sc == QStyle::SC_ComboBoxEditField) {
      return QRect(o->rect.left() + 3, o->rect.top() + 2, button.left() - o->rect.left() - 4, o->rect.height() - 4);
    }
    if (sc == QStyle::SC_ComboBoxFrame) return o->rect;
    return std::nullopt;
  }

 private:
  bool Drawn() const {
    const TSkinData* d = Data();
    return d != nullptr && d->Skin().ComboButton && !d->Skin().ComboButton->Bitmap.isNull() && d->Skin().SunkEdge &&
           !d->Skin().SunkEdge->Bitmap.isNull();
  }
  int ButtonWidth() const {
    return Base()->pixelMetric(QStyle::PM_ScrollBarExtent) + 2;
  }
};

// ---------------------------------------------------------------------------
// Scroll bars: those of a scrolling control (its frame's), and the
// scroll-bar control.

QStyle::SubControl ToSub(TScrollPart part) {
  switch (part) {
    case spLineUp:
      return QStyle::SC_ScrollBarSubLine;
    case spPageUp:
      return QStyle::SC_ScrollBarSubPage;
    case spThumb:
      return QStyle::SC_ScrollBarSlider;
    case spPageDown:
      return QStyle::SC_ScrollBarAddPage;
    case spLineDown:
      return QStyle::SC_ScrollBarAddLine;
    default:
      return QStyle::SC_None;
  }
}

TScrollPart ActivePart(QStyle::SubControls active) {
  if (active & QStyle::SC_ScrollBarSubLine) return spLineUp;
  if (active & QStyle::SC_ScrollBarAddLine) return spLineDown;
  if (active & QStyle::SC_ScrollBarSlider) return spThumb;
  return spNone;
}

// The bars of a frame are not drawn by the skin beyond this length.
constexpr int LongestFrameBar = 10000;

class TSkinScrollBars : public TSkinControl {
 public:
  using TSkinControl::TSkinControl;

  void Init() override {
    TSkinControl::Init();
    if (auto* area = qobject_cast<QAbstractScrollArea*>(control_.data())) {
      Serve(area->horizontalScrollBar(), srScrollBar);
      Serve(area->verticalScrollBar(), srScrollBar);
      if (kind_ == TSkinChildKind::ListView) {
        if (auto* tree = qobject_cast<QTreeView*>(area)) Serve(tree->header(), srHeader);
        if (auto* table = qobject_cast<QTableView*>(area)) {
          Serve(table->horizontalHeader(), srHeader);
          Serve(table->verticalHeader(), srHeader);
        }
      }
    }
  }

  bool DrawPrimitive(QStyle::PrimitiveElement e, const QStyleOption* o, QPainter* p, const QWidget*,
                     TServedRole role) override {
    if (e == QStyle::PE_PanelScrollAreaCorner && role == srControl && Bars()) {
      p->fillRect(o->rect, SkinOf(*this).Colours().ButtonFace);
      return true;
    }
    return false;
  }

  bool DrawComplex(QStyle::ComplexControl cc, const QStyleOptionComplex* o, QPainter* p, const QWidget*,
                   TServedRole role) override {
    if (cc != QStyle::CC_ScrollBar || !Bar(role)) return false;
    const auto* s = qstyleoption_cast<const QStyleOptionSlider*>(o);
    if (s == nullptr || !Skinned(*s)) return false;
    const bool horizontal = s->orientation == Qt::Horizontal;
    const bool sunken = (o->state & QStyle::State_Sunken) != 0;
    const int pressed = sunken ? PressedScrollPart(ActivePart(s->activeSubControls), horizontal) : 0;
    const QImage image = ComposeScrollBar(SkinOf(*this), o->rect.size(), horizontal, Geometry(*s), pressed);
    if (image.isNull()) return false;
    p->drawImage(o->rect.topLeft(), image);
    return true;
  }

  std::optional<QRect> SubControlRect(QStyle::ComplexControl cc, const QStyleOptionComplex* o, QStyle::SubControl sc,
                                      const QWidget*, TServedRole role) override {
    if (cc != QStyle::CC_ScrollBar || !Bar(role)) return std::nullopt;
    const auto* s = qstyleoption_cast<const QStyleOptionSlider*>(o);
    if (s == nullptr || !Skinned(*s)) return std::nullopt;
    const bool horizontal = s->orientation == Qt::Horizontal;
    const TScrollGeometry g = Geometry(*s);
    QRect r;
    switch (sc) {
      case QStyle::SC_ScrollBarSubLine:
        r = ScrollPartRect(g, spLineUp, o->rect.size(), horizontal);
        break;
      case QStyle::SC_ScrollBarAddLine:
        r = ScrollPartRect(g, spLineDown, o->rect.size(), horizontal);
        break;
      case QStyle::SC_ScrollBarSubPage:
        r = ScrollPartRect(g, spPageUp, o->rect.size(), horizontal);
        break;
      case QStyle::SC_ScrollBarAddPage:
        r = ScrollPartRect(g, spPageDown, o->rect.size(), horizontal);
        break;
      case QStyle::SC_ScrollBarSlider:
        r = ScrollPartRect(g, spThumb, o->rect.size(), horizontal);
        break;
      case QStyle::SC_ScrollBarGroove:
        r = horizontal ? QRect(g.Arrow, 0, g.Track, o->rect.height()) : QRect(0, g.Arrow, o->rect.width(), g.Track);
        break;
      default:
        return std::nullopt;
    }
    return r.translated(o->rect.topLeft());
  }

  std::optional<QStyle::SubControl> HitTest(QStyle::ComplexControl cc, const QStyleOptionComplex* o, QPoint pt,
                                            const QWidget*, TServedRole role) override {
    if (cc != QStyle::CC_ScrollBar || !Bar(role)) return std::nullopt;
    const auto* s = qstyleoption_cast<const QStyleOptionSlider*>(o);
    if (s == nullptr || !Skinned(*s) || !o->rect.contains(pt)) return std::nullopt;
    const QPoint at = pt - o->rect.topLeft();
    return ToSub(ScrollHitTest(Geometry(*s), s->orientation == Qt::Horizontal ? at.x() : at.y()));
  }

 protected:
  // The scroll-bar control is served as the control itself; a scrolling
  // control's bars as its parts.
  virtual bool Bar(TServedRole role) const { return role == srScrollBar; }
  virtual bool IsControl() const { return false; }

  bool Bars() const {
    const TSkinData* d = Data();
    return d != nullptr && d->Skin().Scrollbar && !d->Skin().Scrollbar->Bitmap.isNull();
  }
  bool Skinned(const QStyleOptionSlider& s) const {
    const int n = s.orientation == Qt::Horizontal ? s.rect.width() : s.rect.height();
    return Bars() && n >= 0 && (IsControl() || n <= LongestFrameBar);
  }
  TScrollGeometry Geometry(const QStyleOptionSlider& s) const {
    const bool horizontal = s.orientation == Qt::Horizontal;
    const int n = horizontal ? s.rect.width() : s.rect.height();
    const int a = horizontal ? s.rect.height() : s.rect.width();
    return ScrollGeometry(n, a, ScrollRangeFromQt(s.minimum, s.maximum, s.pageStep, s.sliderPosition), IsControl());
  }
};

class TSkinScControl : public TSkinScrollBars {
 public:
  using TSkinScrollBars::TSkinScrollBars;

 protected:
  bool Bar(TServedRole role) const override { return role == srControl; }
  bool IsControl() const override { return true; }
};

// ---------------------------------------------------------------------------
// Headers (of list views)

class TSkinHeaderPart {
 public:
  static bool Draw(const TSkinData& data, QStyle::ControlElement e, const QStyleOption* o, QPainter* p,
                   const QWidget*) {
    const TDataSkinObject* bar = data.Skin().Headerbar.get();
    if (bar == nullptr || bar->Bitmap.isNull()) return false;
    if (e == QStyle::CE_HeaderSection || e == QStyle::CE_HeaderEmptyArea) {
      if (o->rect.isEmpty()) return true;
      QImage image(o->rect.size(), QImage::Format_RGB32);
      DrawSkinElement(image, image.rect(), bar->Bitmap, false, bar->Tile == 1, false, bar->FrameCount, 1,
                      bar->Margins());
      p->drawImage(o->rect.topLeft(), image);
      return true;
    }
    if (e == QStyle::CE_HeaderLabel) {
      const auto* h = qstyleoption_cast<const QStyleOptionHeader*>(o);
      if (h == nullptr) return false;
      // Measured in the font it is drawn in: the header may set its own on
      // the painter (a bold section, the language's font).
      const QFontMetrics fm(p->font());
      const QSize text(fm.horizontalAdvance(h->text), fm.height());
      QRect at = HeaderTextRect(o->rect, text, h->textAlignment);
      // The label's rectangle is the one the plain look fits its text in:
      // a text that fits there is drawn whole, its indent given up first.
      if (at.left() + at.width() > o->rect.left() + o->rect.width()) {
        at.moveLeft(std::max(o->rect.left(), o->rect.left() + o->rect.width() - at.width()));
      }
      p->save();
      p->setPen(o->palette.color(QPalette::ButtonText));
      p->setClipRect(o->rect);
      p->drawText(at, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, h->text);
      p->restore();
      return true;
    }
    return false;
  }
};

class TSkinListView : public TSkinScrollBars {
 public:
  using TSkinScrollBars::TSkinScrollBars;

  bool DrawControl(QStyle::ControlElement e, const QStyleOption* o, QPainter* p, const QWidget* w,
                   TServedRole role) override {
    if (role != srHeader) return false;
    return TSkinHeaderPart::Draw(SkinOf(*this), e, o, p, w);
  }
};

// ---------------------------------------------------------------------------
// Status bars: composed from their panels.

class TSkinStatusBar : public TSkinControl {
 public:
  using TSkinControl::TSkinControl;

  void Init() override {
    TSkinControl::Init();
    for (QLabel* label : control_->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly)) {
      Serve(label, srPanel);
    }
  }

 protected:
  bool BeforeMessage(QWidget* watched, QEvent* event, TServedRole role) override {
    if (event->type() == QEvent::Paint && Data() != nullptr) {
      if (role == srPanel) return false;  // the bar draws its panels' texts
      if (role == srControl) {
        auto* bar = static_cast<QStatusBar*>(watched);
        const QImage image = ComposeStatusBar(*Data(), bar->size(), StatusPanelsOf(*bar), bar->font(),
                                              bar->palette().color(QPalette::WindowText));
        QPainter p(bar);
        p.drawImage(0, 0, image);
        return false;
      }
    }
    if (role == srPanel && event->type() == QEvent::Show && control_) control_->update();
    return TSkinControl::BeforeMessage(watched, event, role);
  }
};

// ---------------------------------------------------------------------------
// Tool bars: drawn by the application's style on the skin's face; only
// their buttons' dark glyphs change (the shared style's labels).

class TSkinToolBar : public TSkinControl {
 public:
  using TSkinControl::TSkinControl;

  void Init() override {
    TSkinControl::Init();
    for (QToolButton* b : control_->findChildren<QToolButton*>(QString(), Qt::FindDirectChildrenOnly)) {
      Serve(b, srBarButton);
    }
  }

 protected:
  bool BeforeMessage(QWidget* watched, QEvent* event, TServedRole role) override {
    // A button put on the bar while it is skinned.
    if (role == srControl && (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildPolished)) {
      auto* b = qobject_cast<QToolButton*>(static_cast<QChildEvent*>(event)->child());
      if (b != nullptr && b->parent() == watched) Serve(b, srBarButton);
    }
    // The application's style shows the hot and pressed buttons.
    return true;
  }
};

// ---------------------------------------------------------------------------
// Tabs: page controls and tab bars.

TTabPosition PositionOf(QTabBar::Shape shape) {
  switch (shape) {
    case QTabBar::RoundedSouth:
    case QTabBar::TriangularSouth:
      return tpBottom;
    case QTabBar::RoundedWest:
    case QTabBar::TriangularWest:
      return tpLeft;
    case QTabBar::RoundedEast:
    case QTabBar::TriangularEast:
      return tpRight;
    default:
      return tpTop;
  }
}

class TSkinTab : public TSkinControl {
 public:
  using TSkinControl::TSkinControl;

  void Init() override {
    TSkinControl::Init();
    QTabBar* bar = qobject_cast<QTabBar*>(control_.data());
    if (auto* pages = qobject_cast<QTabWidget*>(control_.data())) {
      bar = pages->tabBar();
      if (bar != nullptr) Serve(bar, srTabBar);
    }
    if (bar != nullptr) {
      for (QToolButton* b : bar->findChildren<QToolButton*>(QString(), Qt::FindDirectChildrenOnly)) {
        Serve(b, srScrollButton);
      }
    }
    // The controls on the pages keep the application's look, but on the
    // skin's face: the dark glyphs of their buttons take the skin's text
    // colour like those of the skinned buttons.
    if (auto* pages = qobject_cast<QTabWidget*>(control_.data())) {
      for (QAbstractButton* b : pages->findChildren<QAbstractButton*>()) {
        if (b->parent() != bar && (qobject_cast<QToolButton*>(b) != nullptr || qobject_cast<QPushButton*>(b) != nullptr)) {
          Serve(b, srPageButton);
        }
      }
    }
  }
  void Refresh() override {
    prepared_ = false;
    TSkinControl::Refresh();
  }

  bool DrawPrimitive(QStyle::PrimitiveElement e, const QStyleOption* o, QPainter* p, const QWidget*,
                     TServedRole role) override {
    if (e != QStyle::PE_FrameTabWidget || role != srControl) return false;
    const TTabImages& images = Images(CurrentPosition());
    if (images.Tab.isNull()) return false;
    QImage image(o->rect.size(), QImage::Format_RGB32);
    FillFace(image, image.rect(), SkinOf(*this));
    if (!images.Border.isNull()) DrawSkinBorder(image, image.rect(), images.Border, false, 1, 1, {4, 5, 4, 4});
    p->drawImage(o->rect.topLeft(), image);
    return true;
  }

  bool DrawComplex(QStyle::ComplexControl cc, const QStyleOptionComplex* o, QPainter* p, const QWidget* w,
                   TServedRole role) override {
    if (cc != QStyle::CC_ToolButton || role != srScrollButton) return false;
    const auto* t = qstyleoption_cast<const QStyleOptionToolButton*>(o);
    if (t == nullptr) return false;
    int direction = 3;
    if (t->arrowType == Qt::LeftArrow) direction = 2;
    if (t->arrowType == Qt::UpArrow) direction = 0;
    if (t->arrowType == Qt::DownArrow) direction = 1;
    const bool enabled = (o->state & QStyle::State_Enabled) != 0;
    const bool sunken = (o->state & QStyle::State_Sunken) != 0;
    const bool hot = w != nullptr && w->underMouse();
    QImage image(o->rect.size(), QImage::Format_RGB32);
    FillFace(image, image.rect(), SkinOf(*this));
    DrawUpDownButton(image, image.rect(), SkinOf(*this), direction, UpDownState(enabled, true, sunken, hot));
    p->drawImage(o->rect.topLeft(), image);
    return true;
  }

 protected:
  bool BeforeMessage(QWidget* watched, QEvent* event, TServedRole role) override {
    if (role == srPageButton) return true;
    const bool strip = role == srTabBar || (role == srControl && qobject_cast<QTabBar*>(watched) != nullptr);
    if (event->type() == QEvent::Paint && strip && Data() != nullptr) {
      auto* bar = static_cast<QTabBar*>(watched);
      const TTabPosition position = PositionOf(bar->shape());
      std::vector<TTabItem> items;
      for (int i = 0; i < bar->count(); ++i) {
        items.push_back({bar->tabRect(i), bar->tabText(i), bar->tabIcon(i), i == bar->currentIndex()});
      }
      const QImage image = ComposeTabStrip(*Data(), Images(position), position, bar->size(), items, bar->font());
      if (!image.isNull()) {
        QPainter p(bar);
        p.drawImage(0, 0, image);
        return false;
      }
    }
    return TSkinControl::BeforeMessage(watched, event, role);
  }

 private:
  TTabPosition CurrentPosition() const {
    if (auto* pages = qobject_cast<QTabWidget*>(control_.data())) return PositionOf(pages->tabBar()->shape());
    if (auto* bar = qobject_cast<QTabBar*>(control_.data())) return PositionOf(bar->shape());
    return tpTop;
  }
  const TTabImages& Images(TTabPosition position) {
    if (!prepared_ || position != position_) {
      images_ = Data() != nullptr ? PrepareTabImages(*Data(), position) : TTabImages{};
      position_ = position;
      prepared_ = true;
    }
    return images_;
  }

  bool prepared_ = false;
  TTabPosition position_ = tpTop;
  TTabImages images_;
};

// ---------------------------------------------------------------------------
// Track bars: the thumb only.

class TSkinTrackBar : public TSkinControl {
 public:
  using TSkinControl::TSkinControl;

  bool DrawComplex(QStyle::ComplexControl cc, const QStyleOptionComplex* o, QPainter* p, const QWidget* w,
                   TServedRole role) override {
    if (cc != QStyle::CC_Slider || role != srControl) return false;
    const auto* s = qstyleoption_cast<const QStyleOptionSlider*>(o);
    if (s == nullptr) return false;
    const QStyle* base = Base();
    QStyleOptionSlider rest(*s);
    rest.subControls &= ~QStyle::SC_SliderHandle;
    base->drawComplexControl(cc, &rest, p, w);
    if ((s->subControls & QStyle::SC_SliderHandle) == 0) return true;
    const QRect thumb = base->subControlRect(cc, s, QStyle::SC_SliderHandle, w);
    const TSkinData& data = SkinOf(*this);
    const QImage& buttons = data.Skin().Buttons.Bitmap;
    if (!buttons.isNull()) {
      PaintKeyed(p, thumb, [&](QImage& image) { DrawStripFrame(image, image.rect(), buttons, 4, 5); });
    } else {
      p->save();
      p->setPen(data.Colours().ButtonShadow);
      p->setBrush(data.Colours().ButtonFace);
      p->drawRect(thumb.adjusted(0, 0, -1, -1));
      p->restore();
    }
    return true;
  }
};

// ---------------------------------------------------------------------------
// Progress bars

class TSkinProgress : public TSkinControl {
 public:
  using TSkinControl::TSkinControl;

  bool DrawControl(QStyle::ControlElement e, const QStyleOption* o, QPainter* p, const QWidget*,
                   TServedRole role) override {
    if (e != QStyle::CE_ProgressBar || role != srControl) return false;
    const auto* b = qstyleoption_cast<const QStyleOptionProgressBar*>(o);
    if (b == nullptr) return false;
    const QImage image = ComposeProgress(SkinOf(*this), o->rect.size(),
                                         ProgressFill(o->rect.width(), b->minimum, b->maximum, b->progress));
    if (image.isNull()) return false;
    p->drawImage(o->rect.topLeft(), image);
    return true;
  }
};

}  // namespace

// ---------------------------------------------------------------------------
// The base

TSkinControl::TSkinControl(const TSkinChildRequest& request)
    : control_(request.Control), kind_(request.Kind), option_(request.Option), owner_(request.Owner),
      data_(request.Data) {}

TSkinControl::~TSkinControl() {
  Restore();
  if (owner_ && owner_->HotChild() == this) owner_->SetHotChild(nullptr);
}

const TSkinData* TSkinControl::Data() const {
  if (restored_ || data_ == nullptr) return nullptr;
  if (owner_ && owner_->Data() != data_) return nullptr;
  return data_->SkinLoaded() ? data_ : nullptr;
}

void TSkinControl::Init() {
  QWidget* c = control_;
  if (c == nullptr) return;
  connect(c, &QObject::destroyed, this, [this] { ControlGone(); });
  // The table's option 1: the control takes the skin's face colour.
  if (option_ == 1 && kind_ != TSkinChildKind::ScrollBar && data_ != nullptr) {
    ownPalette_ = c->testAttribute(Qt::WA_SetPalette);
    oldPalette_ = c->palette();
    colourTaken_ = true;
    Recolour();
  }
  Serve(c, srControl);
  Repaint();
}

void TSkinControl::Serve(QWidget* w, TServedRole role) {
  if (w == nullptr || Registry().contains(w)) return;
  TServed s{w, role, w->testAttribute(Qt::WA_SetStyle), w->testAttribute(Qt::WA_SetStyle) ? w->style() : nullptr,
            w->testAttribute(Qt::WA_Hover)};
  Registry().insert(w, {this, role});
  if (w != control_.data()) {
    connect(w, &QObject::destroyed, this, [this, w] {
      Registry().remove(w);
      std::erase_if(served_, [w](const TServed& e) { return e.Widget.isNull() || e.Widget.data() == w; });
    });
  }
  w->installEventFilter(this);
  w->setStyle(&TSkinControlStyle::Instance());
  w->update();
  served_.push_back(s);
}

void TSkinControl::Unserve(TServed& s) {
  QWidget* w = s.Widget;
  if (w == nullptr) return;
  Registry().remove(w);
  w->removeEventFilter(this);
  w->setStyle(s.OwnStyle ? s.OldStyle.data() : nullptr);
  w->setAttribute(Qt::WA_Hover, s.Hover);
  w->update();
}

void TSkinControl::Restore() {
  if (restored_) return;
  restored_ = true;
  for (auto it = served_.rbegin(); it != served_.rend(); ++it) Unserve(*it);
  served_.clear();
  if (colourTaken_ && control_) {
    // Not while the window closes: the colour goes with it.
    if (!owner_ || owner_->State != TWinSkinForm::wsClosing) {
      control_->setPalette(ownPalette_ ? oldPalette_ : QPalette());
    }
  }
  colourTaken_ = false;
  hot_ = pressed_ = false;
}

void TSkinControl::ControlGone() {
  // Nothing is given back to a control that no longer exists.
  for (const TServed& s : served_) Registry().remove(s.Widget.data());
  for (auto it = Registry().begin(); it != Registry().end();) {
    it = it->Object == this ? Registry().erase(it) : std::next(it);
  }
  served_.clear();
  restored_ = true;
  colourTaken_ = false;
  if (owner_ && owner_->HotChild() == this) owner_->SetHotChild(nullptr);
  // The window drops the object once the control's destruction is over.
  if (owner_) {
    const QPointer<TSkinControl> self(this);
    const QPointer<TWinSkinForm> owner(owner_);
    QTimer::singleShot(0, owner_.data(), [self, owner] {
      if (!self || !owner) return;
      std::erase_if(owner->ChildObjects(), [&](const auto& child) { return child.get() == self.data(); });
    });
  }
}

void TSkinControl::Recolour() {
  if (!colourTaken_ || !control_ || data_ == nullptr) return;
  QPalette p = control_->palette();
  p.setColor(QPalette::Window, data_->Colours().ButtonFace);
  p.setColor(QPalette::Button, data_->Colours().ButtonFace);
  control_->setPalette(p);
}

void TSkinControl::Refresh() {
  Recolour();
  Repaint();
}

void TSkinControl::Repaint() {
  if (restored_) return;
  for (const TServed& s : served_) {
    if (s.Widget) s.Widget->update();
  }
}

void TSkinControl::SetHot(bool hot) {
  if (hot == hot_) return;
  hot_ = hot;
  if (!hot) pressed_ = false;
  if (owner_) {
    if (hot) {
      TSkinChildObject* before = owner_->HotChild();
      owner_->SetHotChild(this);
      if (before != nullptr && before != this) before->MouseLeave();
    } else if (owner_->HotChild() == this) {
      owner_->SetHotChild(nullptr);
    }
  }
  Repaint();
}

void TSkinControl::MouseLeave() { SetHot(false); }

bool TSkinControl::eventFilter(QObject* watched, QEvent* event) {
  if (restored_) return false;
  auto* w = qobject_cast<QWidget*>(watched);
  const auto it = Registry().constFind(w);
  if (w == nullptr || it == Registry().constEnd() || it->Object != this) return false;
  return !BeforeMessage(w, event, it->Role);
}

bool TSkinControl::BeforeMessage(QWidget* watched, QEvent* event, TServedRole) {
  const bool enabled = control_ && control_->isEnabled();
  switch (event->type()) {
    case QEvent::Enter:
    case QEvent::HoverEnter:
    case QEvent::MouseMove:
      if (enabled && !hot_) SetHot(true);
      break;
    case QEvent::Leave:
      if (watched == control_.data()) SetHot(false);
      break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && enabled) {
        pressed_ = true;
        Repaint();
      }
      break;
    case QEvent::MouseButtonRelease:
      if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        pressed_ = false;
        Repaint();
      }
      break;
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
      if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space && !static_cast<QKeyEvent*>(event)->isAutoRepeat()) {
        pressed_ = event->type() == QEvent::KeyPress;
        Repaint();
      }
      break;
    case QEvent::FocusIn:
    case QEvent::FocusOut:
    case QEvent::EnabledChange:
      Repaint();
      break;
    default:
      break;
  }
  return true;
}

TSkinControl* SkinControlOf(const QWidget* widget, TServedRole* role) {
  const auto it = Registry().constFind(widget);
  if (it == Registry().constEnd()) return nullptr;
  if (role != nullptr) *role = it->Role;
  return it->Object;
}

TStatusPanels StatusPanelsOf(const QStatusBar& bar) {
  TStatusPanels panels;
  panels.SimpleText = bar.currentMessage();
  panels.Simple = !panels.SimpleText.isEmpty() || bar.property("SimplePanel").toBool();
  for (const QLabel* label : bar.findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (!label->isVisible()) continue;
    TStatusPanel p;
    p.Rect = label->geometry();
    p.Text = label->text();
    const int bevel = label->property("Bevel").isValid() ? label->property("Bevel").toInt() : pbLowered;
    p.Bevel = static_cast<TPanelBevel>(std::clamp(bevel, 1, 3));
    const Qt::Alignment h = label->alignment() & Qt::AlignHorizontal_Mask;
    p.Alignment = (h & Qt::AlignRight) ? Qt::AlignRight : (h & Qt::AlignHCenter) ? Qt::AlignHCenter : Qt::AlignLeft;
    panels.Panels.push_back(p);
  }
  std::sort(panels.Panels.begin(), panels.Panels.end(),
            [](const TStatusPanel& a, const TStatusPanel& b) { return a.Rect.left() < b.Rect.left(); });
  return panels;
}

void InstallSkinControls() {
  SetSkinChildFactory([](const TSkinChildRequest& r) -> std::unique_ptr<TSkinChildObject> {
    std::unique_ptr<TSkinControl> c;
    switch (r.Kind) {
      case TSkinChildKind::Button:
        c = std::make_unique<TSkinButton>(r);
        break;
      case TSkinChildKind::BitButton:
        c = std::make_unique<TSkinBitButton>(r);
        break;
      case TSkinChildKind::SpeedButton:
        c = std::make_unique<TSkinSpeedButton>(r);
        break;
      case TSkinChildKind::CheckBox:
        c = std::make_unique<TSkinCheckBox>(r, false);
        break;
      case TSkinChildKind::RadioButton:
        c = std::make_unique<TSkinCheckBox>(r, true);
        break;
      case TSkinChildKind::Box:
        c = std::make_unique<TSkinBox>(r);
        break;
      case TSkinChildKind::Edit:
        c = std::make_unique<TSkinEdit>(r);
        break;
      case TSkinChildKind::ComBox:
        c = std::make_unique<TSkinComBox>(r);
        break;
      case TSkinChildKind::ScrollBar:
        c = std::make_unique<TSkinScrollBars>(r);
        break;
      case TSkinChildKind::ListView:
        c = std::make_unique<TSkinListView>(r);
        break;
      case TSkinChildKind::ScControl:
        c = std::make_unique<TSkinScControl>(r);
        break;
      case TSkinChildKind::StatusBar:
        c = std::make_unique<TSkinStatusBar>(r);
        break;
      case TSkinChildKind::Tab:
        c = std::make_unique<TSkinTab>(r);
        break;
      case TSkinChildKind::TrackBar:
        c = std::make_unique<TSkinTrackBar>(r);
        break;
      case TSkinChildKind::Progress:
        c = std::make_unique<TSkinProgress>(r);
        break;
      case TSkinChildKind::ToolBar:
        c = std::make_unique<TSkinToolBar>(r);
        break;
    }
    if (c == nullptr || r.Control == nullptr) return nullptr;
    c->Init();
    return c;
  });
}
