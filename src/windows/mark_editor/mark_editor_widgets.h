#pragma once
// The small widgets of the mark editor: colour swatches that are pressed
// like buttons, the number edits, the link label, the position buttons,
// and the font dialog that also chooses the text colour. Its paint boxes
// are the shared TPaintBox (paint_box.h).

#include <QDialog>
#include <QIcon>
#include <QLabel>
#include <QPalette>
#include <QSpinBox>
#include <QToolButton>
#include <QWidget>

#include <functional>
#include <optional>

#include "core/types.h"
#include "windows/mark_editor/mark_editor_model.h"
#include "windows/paint_box.h"

class QFontDialog;

// A panel showing a colour (and optionally a caption in a colour of its
// own). Pressing it shows it sunken until the button is released; a
// release over it is a click.
class TColorSwatch : public QLabel {
  Q_OBJECT

 public:
  explicit TColorSwatch(QWidget* parent = nullptr);

  TColor Color() const { return color_; }
  void SetColor(TColor color);
  TColor FontColor() const { return fontColor_; }
  void SetFontColor(TColor color);
  // The caption takes black or white by the swatch's colour from now on.
  void SetCaptionFollowsColor(bool follows);

 signals:
  void clicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void UpdateLook();
  TColor color_ = clWhite;
  TColor fontColor_ = clBlack;
  bool captionFollows_ = false;
};

// A number edit of the mark editor. Any whole number may be typed, one
// outside the range too ("-1" where the range starts at 0, "70000" where it
// ends at 65537): the text stays as typed while the user types and stands
// for the nearest value of the range; once typing ends (Enter, or the
// focus leaves the box) the box shows that value. A text that is not yet
// a number ("", "-") goes back to the last value then.
class TNumberEdit : public QSpinBox {
  Q_OBJECT

 public:
  explicit TNumberEdit(QWidget* parent = nullptr);

 protected:
  QValidator::State validate(QString& input, int& pos) const override;
  int valueFromText(const QString& text) const override;
};

// A label showing one link. Qt draws a rich-text link in the
// application's link colour; this one takes its own palette's, so that a
// skin's link colour reaches it (the system's blue is lost on a dark face).
class TLinkLabel : public QLabel {
  Q_OBJECT

 public:
  explicit TLinkLabel(QWidget* parent = nullptr);
  void SetLink(const QString& target, const QString& text);

 protected:
  void changeEvent(QEvent* event) override;

 private:
  void UpdateText();
  QString target_;
  QString link_;
};

// The glyph of a position button: a frame with the mark's place (anchor 0
// to 8) in it, in its own grey and blue where they stand out from the
// button (3:1), else in the button's text and highlight colours.
QIcon PositionGlyph(int anchor, const QPalette& palette);

// A position button: its glyph follows the colours it is drawn in.
class TPositionButton : public QToolButton {
  Q_OBJECT

 public:
  TPositionButton(int anchor, QWidget* parent = nullptr);

 protected:
  void changeEvent(QEvent* event) override;

 private:
  int anchor_;
};

// The font dialog of a text mark: family, size and style, and the text
// colour below them.
class TMarkFontDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TMarkFontDialog(const TMarkFont& initial, QWidget* owner = nullptr);
  TMarkFont ChosenFont() const;

  QFontDialog* fontPicker;
  TColorSwatch* pnlFontColor;

 private:
  void ChooseColor();
};
