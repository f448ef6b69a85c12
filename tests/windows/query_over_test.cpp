#include <QLabel>
#include <QPushButton>

#include "app/messages.h"
#include "windows/form_support.h"
#include "windows/query_over.h"
#include "windows/windows_fixture.h"

namespace {

class QueryOverTest : public WindowsTest {
 protected:
  // Shows the question and presses the named button.
  int AnswerWith(const char* button) {
    WhenModal<TfrmQueryOver>([button](TfrmQueryOver* form) { ClickChild(form, button); });
    return QueryOverwrite("/out/a.jpg already exists.");
  }
};

TEST_F(QueryOverTest, EachButtonGivesItsAnswer) {
  EXPECT_EQ(AnswerWith("btnYes"), owYes);
  EXPECT_EQ(AnswerWith("btnNo"), owNo);
  EXPECT_EQ(AnswerWith("btnAllYes"), owAllYes);
  EXPECT_EQ(AnswerWith("btnAllNo"), owAllNo);
}

// The default output folder is the source folder: Enter, or Space on the
// focused button, must not replace the user's original.
TEST_F(QueryOverTest, EnterAndSpaceAnswerNo) {
  for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
    WhenModal<TfrmQueryOver>([key](TfrmQueryOver* form) {
      // The keys go to the focused button once the question is active.
      form->activateWindow();
      EXPECT_TRUE(QTest::qWaitForWindowActive(form));
      EXPECT_TRUE(form->btnNo->isDefault());
      QWidget* focused = QApplication::focusWidget();
      EXPECT_EQ(focused, form->btnNo);
      if (focused == nullptr) {
        form->reject();
        return;
      }
      QTest::keyClick(focused, key);
    });
    EXPECT_EQ(QueryOverwrite("/out/a.jpg already exists."), owNo) << key;
  }
}

TEST_F(QueryOverTest, ClosingOtherwiseAnswersNo) {
  WhenModal<TfrmQueryOver>([](TfrmQueryOver* form) { form->close(); });
  EXPECT_EQ(QueryOverwrite("x"), owNo);
  WhenModal<TfrmQueryOver>([](TfrmQueryOver* form) { QTest::keyClick(form, Qt::Key_Escape); });
  EXPECT_EQ(QueryOverwrite("x"), owNo);
}

TEST_F(QueryOverTest, ShowsTheTextAndTheLanguageCaptions) {
  SetText(msg::OverwriteAllYes, "  ");  // blank: the built-in caption stays
  SetText(msg::OverwriteAllNo, "Never");
  WhenModal<TfrmQueryOver>([](TfrmQueryOver* form) {
    EXPECT_EQ(form->windowTitle(), ApplicationTitle());
    EXPECT_EQ(form->lblTitle->text(), "/out/b.png already exists.");
    EXPECT_TRUE(form->lblTitle->wordWrap());
    EXPECT_EQ(form->btnYes->text(), "&Yes");
    EXPECT_EQ(form->btnNo->text(), "&No");
    EXPECT_EQ(form->btnAllYes->text(), "&All Yes");
    EXPECT_EQ(form->btnAllNo->text(), "Never");
    // Left to right: Yes, No, All Yes, All No.
    EXPECT_LT(form->btnYes->x(), form->btnNo->x());
    EXPECT_LT(form->btnNo->x(), form->btnAllYes->x());
    EXPECT_LT(form->btnAllYes->x(), form->btnAllNo->x());
    EXPECT_GE(form->width(), 389);
    ClickChild(form, "btnNo");
  });
  QueryOverwrite("/out/b.png already exists.");
}

}  // namespace

// On a Chinese (simplified) system every window takes the system font
// while it is created.
TEST_F(QueryOverTest, TakesTheChineseSystemFontOnAChineseSystem) {
  const char* old = std::getenv("LC_ALL");
  const std::string saved = old ? old : "";
  ::setenv("LC_ALL", "zh_CN.UTF-8", 1);
  {
    TfrmQueryOver form(nullptr);
    ASSERT_EQ(handler_.FontForms.size(), 1u);
    EXPECT_EQ(handler_.FontForms[0], static_cast<void*>(static_cast<QWidget*>(&form)));
  }
  if (old) ::setenv("LC_ALL", saved.c_str(), 1); else ::unsetenv("LC_ALL");
  TfrmQueryOver plain(nullptr);
  EXPECT_EQ(handler_.FontForms.size(), 1u);
}
