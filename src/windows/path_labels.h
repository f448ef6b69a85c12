#pragma once
// Labels for texts that hold a file name or a path. A path may be a
// thousand characters long; a plain label asks for room to show all of it
// and widens its window beyond the screen. These labels ask for a width of
// their own choosing and fit the text into the width they get.

#include <QLabel>
#include <QString>

// One line: the text elided in the middle (the start of the path and the
// file name stay) to the label's width; the whole text is the label's
// tip while it is elided. It asks for no width beyond the least one set.
// text() gives what is shown, FullText() what was set.
class TElidedLabel : public QLabel {
  Q_OBJECT

 public:
  explicit TElidedLabel(QWidget* parent = nullptr);

  void SetFullText(const QString& text);
  const QString& FullText() const { return full_; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void Elide();
  QString full_;
};

// Several lines: the text broken between words and, inside a word longer
// than a line (a path), anywhere. It asks for lines of about 60 characters
// and is as tall as its lines at the width it gets.
class TWrappedLabel : public QLabel {
  Q_OBJECT

 public:
  explicit TWrappedLabel(QWidget* parent = nullptr);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // The height of the text laid out in lines of width pixels.
  int TextHeight(int width) const;
  // The room around the text (frame, margin, indent) in each direction.
  QSize Extra() const;
};
