#include <QClipboard>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>

#include "app/routines.h"
#include "windows/gui_handler_qt.h"
#include "windows/windows_fixture.h"

namespace {

class QtHandlerTest : public WindowsTest {
 protected:
  void SetUp() override {
    WindowsTest::SetUp();
    SetGuiHandler(&InstallGuiHandler());
  }
  // Shows a box of the kind through ShowMsg and presses one of its buttons.
  int Press(int kind, QMessageBox::StandardButton button, QMessageBox::Icon* icon = nullptr,
            QString* caption = nullptr) {
    WhenModal<QMessageBox>([=](QMessageBox* box) {
      if (icon) *icon = box->icon();
      if (caption) *caption = box->windowTitle();
      QAbstractButton* b = box->button(button);
      ASSERT_NE(b, nullptr) << "the box lacks the button";
      QTest::mouseClick(b, Qt::LeftButton);
    });
    return ::ShowMsg("text", kind, SystemMessageCaption);
  }
};

TEST_F(QtHandlerTest, MessageBoxesFollowTheKindTable) {
  QMessageBox::Icon icon{};
  QString caption;
  EXPECT_EQ(Press(0, QMessageBox::Ok, &icon, &caption), idOK);
  EXPECT_EQ(icon, QMessageBox::Critical);
  EXPECT_EQ(caption, "System message");
  EXPECT_EQ(Press(3, QMessageBox::Ok, &icon), idOK);
  EXPECT_EQ(icon, QMessageBox::Critical);
  EXPECT_EQ(Press(1, QMessageBox::Ok, &icon), idOK);
  EXPECT_EQ(icon, QMessageBox::Information);
  EXPECT_EQ(Press(2, QMessageBox::Ok, &icon), idOK);
  EXPECT_EQ(icon, QMessageBox::Warning);
  EXPECT_EQ(Press(4, QMessageBox::Cancel, &icon), idCancel);
  EXPECT_EQ(icon, QMessageBox::Information);
  EXPECT_EQ(Press(4, QMessageBox::Ok), idOK);
  EXPECT_EQ(Press(5, QMessageBox::No, &icon), idNo);
  EXPECT_EQ(icon, QMessageBox::Question);
  EXPECT_EQ(Press(5, QMessageBox::Yes), idYes);
  EXPECT_EQ(Press(77, QMessageBox::Ok, &icon), idOK);
  EXPECT_EQ(icon, QMessageBox::Information);
  // Escape on a question answers No.
  WhenModal<QMessageBox>([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
  EXPECT_EQ(::ShowMsg("text", 5, SystemMessageCaption), idNo);
}

TEST_F(QtHandlerTest, PumpClipboardAndFont) {
  bool ran = false;
  QTimer::singleShot(0, [&ran] { ran = true; });
  ::ProcessMessages();
  EXPECT_TRUE(ran);

  ASSERT_TRUE(InstallGuiHandler().SetClipboard({{"text/uri-list", "file:///tmp/a.jpg\r\n"},
                                                {"x-special/gnome-copied-files", "copy\nfile:///tmp/a.jpg"}}));
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->data("x-special/gnome-copied-files"), QByteArray("copy\nfile:///tmp/a.jpg"));
  ASSERT_EQ(data->urls().size(), 1);
  EXPECT_EQ(data->urls()[0].toLocalFile(), "/tmp/a.jpg");

  QWidget form;
  InstallGuiHandler().ApplyFont(&form, ChineseWindowFont());
  EXPECT_EQ(form.font().families().value(0).toStdString(), "宋体");
  EXPECT_EQ(form.font().families().value(1), "SimSun");
  EXPECT_EQ(form.font().pointSize(), 9);

  EXPECT_FALSE(InstallGuiHandler().OpenWithDesktop(""));
}

}  // namespace

// The caption is shown as given: a short message does not cut it, and no
// program name is added to it.
TEST_F(QtHandlerTest, AShortMessageKeepsItsWholeCaption) {
  for (const std::string& caption : {std::string(SystemMessageCaption), std::string(40, 'W')}) {
    int width = 0;
    QString title;
    WhenModal<QMessageBox>([&](QMessageBox* box) {
      width = box->width();
      title = box->windowTitle();
      QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    ::ShowMsg("x", 1, caption);
    EXPECT_EQ(title.toStdString(), caption);
    const QFontMetrics metrics(QApplication::font("QMdiSubWindowTitleBar"));
    EXPECT_GE(width, metrics.horizontalAdvance(QString::fromStdString(caption)) + 100) << caption;
  }
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
}

// Which window a message box sits on: a dialog that is up, else the owner
// of the boxes while it is on screen, else the active window.
TEST_F(QtHandlerTest, MessageBoxesSitOnTheModalWindowOrTheirOwner) {
  QWidget active, viewer, hidden;
  active.show();
  active.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&active));
  EXPECT_EQ(MessageBoxParent(), &active);
  {
    TMessageBoxOwner owner(&viewer);
    // Not on screen: it owns nothing yet.
    EXPECT_EQ(MessageBoxParent(), &active);
    viewer.show();
    EXPECT_EQ(MessageBoxParent(), &viewer);
    {
      TMessageBoxOwner inner(&hidden);
      EXPECT_EQ(MessageBoxParent(), &active);
    }
    EXPECT_EQ(MessageBoxParent(), &viewer);
    // A dialog up over the owner takes its own boxes.
    QWidget* parentInDialog = nullptr;
    QDialog dialog(&viewer);
    QTimer::singleShot(0, &dialog, [&] {
      parentInDialog = MessageBoxParent();
      dialog.accept();
    });
    dialog.exec();
    EXPECT_EQ(parentInDialog, &dialog);
    // The box itself is made over that window.
    QWidget* boxParent = nullptr;
    WhenModal<QMessageBox>([&](QMessageBox* box) {
      boxParent = box->parentWidget();
      box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(::ShowMsg("text", 5, SystemMessageCaption), idNo);
    EXPECT_EQ(boxParent, &viewer);
  }
  // Without an owner, the box goes where the activation happens to be.
  EXPECT_EQ(MessageBoxParent(), QApplication::activeWindow());
  EXPECT_NE(MessageBoxParent(), &viewer);
  active.hide();
  viewer.hide();
}
