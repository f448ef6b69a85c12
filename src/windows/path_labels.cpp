#include "windows/path_labels.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QStyle>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace {

// The characters a wrapped label asks for per line.
constexpr int kWrappedLineChars = 60;
// The characters an elided label asks for: enough to tell a file by.
constexpr int kElidedHintChars = 40;

// The text of a wrapped label as the text layout takes it: line breaks
// as line separators.
QString LayoutText(QString text) {
  text.replace(QLatin1String("\r\n"), QString(QChar::LineSeparator));
  text.replace(QLatin1Char('\n'), QChar::LineSeparator);
  text.replace(QLatin1Char('\r'), QChar::LineSeparator);
  return text;
}

// Lays text out in lines of width pixels; gives the height they take.
qreal LayOut(QTextLayout& layout, int width) {
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  layout.setTextOption(option);
  qreal y = 0;
  layout.beginLayout();
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(std::max(width, 1));
    line.setPosition(QPointF(0, y));
    y += line.height();
  }
  layout.endLayout();
  return y;
}

}  // namespace

// ---------------------------------------------------------------------------

TElidedLabel::TElidedLabel(QWidget* parent) : QLabel(parent) {
  // A file name is shown as it is, never read as markup.
  setTextFormat(Qt::PlainText);
}

void TElidedLabel::SetFullText(const QString& text) {
  if (text == full_) return;
  full_ = text;
  Elide();
  // The room asked for follows the text, up to its bound.
  updateGeometry();
}

QSize TElidedLabel::sizeHint() const {
  const QFontMetrics metrics = fontMetrics();
  const int extra = 2 * (frameWidth() + margin()) + std::max(indent(), 0);
  const int text = std::min(metrics.horizontalAdvance(full_), metrics.averageCharWidth() * kElidedHintChars);
  return QSize(std::max(text + extra, minimumWidth()), QLabel::sizeHint().height());
}

QSize TElidedLabel::minimumSizeHint() const {
  return QSize(std::max(minimumWidth(), 2 * (frameWidth() + margin())), QLabel::minimumSizeHint().height());
}

void TElidedLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  Elide();
}

void TElidedLabel::changeEvent(QEvent* event) {
  QLabel::changeEvent(event);
  if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) Elide();
}

void TElidedLabel::Elide() {
  const int room = std::max(contentsRect().width() - 2 * margin() - std::max(indent(), 0), 0);
  const QString shown = fontMetrics().elidedText(full_, Qt::ElideMiddle, room);
  if (shown != text()) setText(shown);
  setToolTip(shown == full_ ? QString() : full_);
}

// ---------------------------------------------------------------------------

TWrappedLabel::TWrappedLabel(QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::PlainText);
  setWordWrap(true);
  QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
}

QSize TWrappedLabel::Extra() const {
  const int frame = 2 * (frameWidth() + margin());
  const int indentation = std::max(indent(), 0);
  return QSize(frame + indentation, frame);
}

int TWrappedLabel::TextHeight(int width) const {
  QTextLayout layout(LayoutText(text()), font());
  return static_cast<int>(std::ceil(LayOut(layout, width)));
}

int TWrappedLabel::heightForWidth(int width) const {
  return TextHeight(width - Extra().width()) + Extra().height();
}

QSize TWrappedLabel::sizeHint() const {
  const QFontMetrics metrics = fontMetrics();
  // As wide as the longest line, up to the width asked for.
  int longest = 0;
  for (const QString& line : LayoutText(text()).split(QChar::LineSeparator)) {
    longest = std::max(longest, metrics.horizontalAdvance(line));
  }
  const int width = std::min(longest, metrics.averageCharWidth() * kWrappedLineChars) + Extra().width() + 1;
  return QSize(width, heightForWidth(width)).expandedTo(minimumSize());
}

QSize TWrappedLabel::minimumSizeHint() const {
  const int width = fontMetrics().averageCharWidth() * 10 + Extra().width();
  return QSize(width, fontMetrics().height() + Extra().height());
}

void TWrappedLabel::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  const QRect area = contentsRect().adjusted(margin() + std::max(indent(), 0), margin(), -margin(), -margin());
  QTextLayout layout(LayoutText(text()), font());
  LayOut(layout, area.width());
  QPainter painter(this);
  painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
  layout.draw(&painter, area.topLeft());
}
