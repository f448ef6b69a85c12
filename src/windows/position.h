#pragma once
// Window positions kept between runs. Every form that owns a TPosition
// gets its bounds back when it is made and stores them when it goes away,
// in the ".ini" named after the program in the program folder: section
// "<form name> Position", keys "Left", "Top" (the top-left corner of the
// visible window, the frame included, whether the window manager's or the
// skin's), "Width", "Height" (the form's inner area, without a frame) and
// "WindowState" (0 normal, 1 minimised, 2 maximised).

#include <QObject>
#include <QPointer>

#include <string>
#include <vector>

#include "core/types.h"

class QWidget;

// What the position file holds for one form: its normal (neither
// maximised nor minimised) bounds and its state.
struct TPositionRecord {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
  int WindowState = 0;  // 0 normal, 1 minimised, 2 maximised
  friend bool operator==(const TPositionRecord&, const TPositionRecord&) = default;
};

// The position file: program folder + program name + ".ini".
std::string PositionFileName();
std::string PositionSection(const std::string& formName);

// Reads the record of a form; keys that are missing or unreadable keep the
// values of defaults.
TPositionRecord ReadPosition(const std::string& fileName, const std::string& formName,
                             const TPositionRecord& defaults);
// Writes the record ("WindowState" first, then the bounds). Raises on a
// file that cannot be written.
void WritePosition(const std::string& fileName, const std::string& formName, const TPositionRecord& record);

// Fits the bounds of a record onto the visible screens (rectangles of
// their available areas): a width or height that is not positive takes
// the fallback's, the size is cut to the screen the bounds overlap most
// (the first screen when they overlap none) and the bounds are moved
// until they lie wholly on it. No screens leaves the bounds as they are.
TPositionRecord ClampToScreens(TPositionRecord record, const std::vector<TRect>& screens,
                               const TPositionRecord& fallback);

// Where a window's frame goes so that its whole title bar (titleHeight
// high along the frame's top) lies on one of the screens: on the screen
// the bar overlaps most (the first when it overlaps none), moved no more
// than needed; a bar wider than that screen keeps its left end on it.
// Nothing moves without screens or without a title bar.
TPoint TitleBarOnScreens(const TRect& frame, int titleHeight, const std::vector<TRect>& screens);

// The form's position keeper. Restores the owner's bounds and state at
// once (create it after the form's name and designed size are set) and
// saves them when the owner is destroyed. The normal bounds are followed
// while the form lives, so a form closed maximised or minimised stores the
// bounds it had before.
class TPosition : public QObject {
  Q_OBJECT

 public:
  explicit TPosition(QWidget* owner);
  ~TPosition() override;

  void RestorePosition(QWidget* form);
  void SavePosition(QWidget* form);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Track(QWidget* form);
  void Save();
  // Brings a title bar that lies (partly) off the screens back onto one,
  // once the frame the window is shown with is known.
  void KeepTitleBarOnScreen();

  QPointer<QWidget> form_;
  std::string formName_;
  TPositionRecord last_;
  bool known_ = false;
  // From a showing until its frame was known and checked.
  bool checkTitleBar_ = false;
};
