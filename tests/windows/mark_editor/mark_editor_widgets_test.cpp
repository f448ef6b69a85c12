// The mark editor's small widgets on the offscreen platform: the font
// dialog with its embedded font lists.

#include <QDialogButtonBox>
#include <QFontDialog>
#include <QLineEdit>
#include <QListView>

#include "windows/mark_editor/mark_editor_widgets.h"
#include "windows/windows_fixture.h"

namespace {

class MarkEditorWidgetsTest : public WindowsTest {};

// The first visible control of a kind inside the font lists.
template <class W>
W* InsidePicker(TMarkFontDialog& dialog) {
  for (W* w : dialog.fontPicker->findChildren<W*>()) {
    if (w->isVisible()) return w;
  }
  return nullptr;
}

}  // namespace

TEST_F(MarkEditorWidgetsTest, KeysInsideTheFontListsEndTheWholeFontDialog) {
  struct Case {
    const char* What;
    Qt::Key Key;
    int Result;
    std::function<QWidget*(TMarkFontDialog&)> Target;
  };
  const Case cases[] = {
      {"Esc in the family box", Qt::Key_Escape, QDialog::Rejected,
       [](TMarkFontDialog& d) { return InsidePicker<QLineEdit>(d); }},
      {"Esc in a list", Qt::Key_Escape, QDialog::Rejected,
       [](TMarkFontDialog& d) { return InsidePicker<QListView>(d); }},
      {"Enter in the family box", Qt::Key_Return, QDialog::Accepted,
       [](TMarkFontDialog& d) { return InsidePicker<QLineEdit>(d); }},
      {"Enter in a list", Qt::Key_Return, QDialog::Accepted,
       [](TMarkFontDialog& d) { return InsidePicker<QListView>(d); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    TMarkFontDialog dialog(TMarkFont{"DejaVu Sans", 12, 0, RGB(200, 0, 0)});
    dialog.show();
    ASSERT_TRUE(WaitFor([&] { return dialog.isVisible(); }));
    QWidget* target = c.Target(dialog);
    ASSERT_NE(target, nullptr);
    QTest::keyClick(target, c.Key);
    // One key ends the dialog; the lists never close on their own.
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), c.Result);
    EXPECT_FALSE(dialog.fontPicker->isHidden());
    EXPECT_EQ(dialog.ChosenFont().Color, RGB(200, 0, 0));
  }
}
