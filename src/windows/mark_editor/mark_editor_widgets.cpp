#include "windows/mark_editor/mark_editor_widgets.h"

#include <QDialogButtonBox>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "app/messages.h"
#include "windows/form_support.h"
#include "windows/image_convert.h"
#include "windows/shared_commands.h"
#include "windows/mark_editor/mark_text.h"

namespace {

// The font lists inside the font dialog of a text mark. To Qt they are a
// dialog of their own, which Esc (or Enter in a list) would close alone,
// leaving an empty frame with the colour and the buttons. Keys go on to
// the whole font dialog, and whatever would still end the lists ends it.
class TEmbeddedFontPicker : public QFontDialog {
 public:
  explicit TEmbeddedFontPicker(QDialog* owner) : QFontDialog(owner), owner_(owner) {}

 protected:
  void keyPressEvent(QKeyEvent* event) override { QWidget::keyPressEvent(event); }
  void done(int result) override { owner_->done(result); }

 private:
  QDialog* owner_;
};

// Non-text contrast: 3:1 or more.
bool StandsOut(const QColor& a, const QColor& b) {
  return ContrastRatio(RGB(a.red(), a.green(), a.blue()), RGB(b.red(), b.green(), b.blue())) >= 3.0;
}

}  // namespace

TLinkLabel::TLinkLabel(QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::RichText);
}

void TLinkLabel::SetLink(const QString& target, const QString& text) {
  target_ = target;
  link_ = text;
  UpdateText();
}

void TLinkLabel::changeEvent(QEvent* event) {
  QLabel::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) UpdateText();
}

void TLinkLabel::UpdateText() {
  setText(QString("<a href=\"%1\" style=\"color: %2\">%3</a>")
              .arg(target_.toHtmlEscaped(), palette().color(QPalette::Link).name(), link_.toHtmlEscaped()));
}

QIcon PositionGlyph(int anchor, const QPalette& palette) {
  const QColor button = palette.color(QPalette::Button);
  const QColor ownFrame(110, 110, 110);
  const QColor ownPlace(0, 70, 160);
  const QColor text = palette.color(QPalette::ButtonText);
  const QColor highlight = palette.color(QPalette::Highlight);
  const QColor frame = StandsOut(ownFrame, button) ? ownFrame : text;
  QColor place = ownPlace;
  if (!StandsOut(place, button)) place = StandsOut(highlight, button) ? highlight : text;
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setPen(frame);
  painter.drawRect(1, 1, 13, 13);
  const int x = 3 + (anchor % 3) * 4, y = 3 + (anchor / 3) * 4;
  painter.fillRect(x, y, 4, 4, place);
  return QIcon(pixmap);
}

TPositionButton::TPositionButton(int anchor, QWidget* parent) : QToolButton(parent), anchor_(anchor) {
  setIcon(PositionGlyph(anchor_, palette()));
}

void TPositionButton::changeEvent(QEvent* event) {
  QToolButton::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) setIcon(PositionGlyph(anchor_, palette()));
}

// ---------------------------------------------------------------------------

TColorSwatch::TColorSwatch(QWidget* parent) : QLabel(parent) {
  setAutoFillBackground(true);
  setFrameShape(QFrame::Panel);
  setAlignment(Qt::AlignCenter);
  setMinimumSize(40, 21);
  setCursor(Qt::PointingHandCursor);
  UpdateLook();
}

void TColorSwatch::SetColor(TColor color) {
  color_ = color;
  if (captionFollows_) fontColor_ = CaptionColorOn(color);
  UpdateLook();
}

void TColorSwatch::SetCaptionFollowsColor(bool follows) {
  captionFollows_ = follows;
  SetColor(color_);
}

void TColorSwatch::SetFontColor(TColor color) {
  fontColor_ = color;
  UpdateLook();
}

void TColorSwatch::UpdateLook() {
  QPalette p = palette();
  p.setColor(QPalette::Window, ToQColor(color_));
  p.setColor(QPalette::WindowText, ToQColor(fontColor_));
  setPalette(p);
  setFrameShadow(QFrame::Raised);
}

void TColorSwatch::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) setFrameShadow(QFrame::Sunken);
  event->accept();
}

void TColorSwatch::mouseReleaseEvent(QMouseEvent* event) {
  setFrameShadow(QFrame::Raised);
  event->accept();
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}

// ---------------------------------------------------------------------------

TNumberEdit::TNumberEdit(QWidget* parent) : QSpinBox(parent) {}

QValidator::State TNumberEdit::validate(QString& input, int& /*pos*/) const {
  const std::string text = input.toStdString();
  if (text.empty() || text == "-") return QValidator::Intermediate;
  return ParseInteger(text) ? QValidator::Acceptable : QValidator::Invalid;
}

int TNumberEdit::valueFromText(const QString& text) const {
  const std::optional<std::int64_t> value = ParseInteger(text.toStdString());
  return static_cast<int>(std::clamp<std::int64_t>(value.value_or(minimum()), minimum(), maximum()));
}

// ---------------------------------------------------------------------------

TMarkFontDialog::TMarkFontDialog(const TMarkFont& initial, QWidget* owner) : QDialog(owner) {
  setObjectName("fdFont");
  setWindowTitle(MessageText(msg::MarkFontCaption));
  fontPicker = new TEmbeddedFontPicker(this);
  fontPicker->setObjectName("fontPicker");
  fontPicker->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
  fontPicker->setWindowFlags(Qt::Widget);
  fontPicker->setCurrentFont(MarkQFont(initial));
  pnlFontColor = NewNamed<TColorSwatch>(this, "pnlFontColor");
  pnlFontColor->SetColor(initial.Color);
  pnlFontColor->setMinimumSize(60, 24);
  auto* colorLabel = NewNamed<QLabel>(this, "lblFontColor");
  colorLabel->setText(MessageText(msg::MarkFontColor));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(MessageText(msg::ButtonOK));
  // Enter in the font lists confirms the font, as it does everywhere else.
  buttons->button(QDialogButtonBox::Ok)->setDefault(true);
  auto* row = new QHBoxLayout;
  row->addWidget(colorLabel);
  row->addWidget(pnlFontColor);
  row->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(fontPicker, 1);
  layout->addLayout(row);
  layout->addWidget(buttons);
  connect(pnlFontColor, &TColorSwatch::clicked, this, [this] { Guarded([this] { ChooseColor(); }); });
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void TMarkFontDialog::ChooseColor() {
  if (const std::optional<TColor> c = ChooseColorDialog(this, pnlFontColor->Color())) pnlFontColor->SetColor(*c);
}

TMarkFont TMarkFontDialog::ChosenFont() const { return MarkFontOf(fontPicker->currentFont(), pnlFontColor->Color()); }
