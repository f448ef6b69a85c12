#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QToolButton>

#include "app/messages.h"
#include "windows/form_support.h"
#include "windows/show_info.h"
#include "windows/windows_fixture.h"

namespace {

std::string ReadText(const std::string& path) {
  const auto bytes = testsupport::ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

TEST(LogSaveDialog, FilterAndDefaultExtensions) {
  const auto pairs = ParseDialogFilter(LogSaveFilter);
  ASSERT_EQ(pairs.size(), 3u);
  EXPECT_EQ(pairs[0], (std::pair<std::string, std::string>{"Text File(*.txt)", "*.txt"}));
  EXPECT_EQ(pairs[1], (std::pair<std::string, std::string>{"Log File(*.log)", "*.log"}));
  EXPECT_EQ(pairs[2], (std::pair<std::string, std::string>{"All File(*.*)", "*.*"}));
  EXPECT_EQ(LogDefaultExt(1), "txt");
  EXPECT_EQ(LogDefaultExt(2), "log");
  EXPECT_EQ(LogDefaultExt(3), "");
  EXPECT_EQ(LogDefaultExt(0), "");
  EXPECT_TRUE(ParseDialogFilter("lonely").empty());
}

// A dialog shows each filter's text once, with its patterns in brackets.
TEST(DialogNameFilters, EachTextOnceWithItsPatterns) {
  using Names = std::vector<std::string>;
  const struct {
    const char* Filter;
    Names Expected;
  } cases[] = {
      {"Mark file(*.spm)|*.spm", {"Mark file(*.spm)"}},
      {"Pictures|*.jpg;*.png|All (*.*)|*.*", {"Pictures (*.jpg;*.png)", "All (*.*)"}},
      // Brackets that are not its patterns are part of the text.
      {"Old (*.spm)|*.sp2", {"Old (*.spm) (*.sp2)"}},
      {LogSaveFilter, {"Text File(*.txt)", "Log File(*.log)", "All File(*.*)"}},
      {"lonely", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(DialogNameFilters(c.Filter), c.Expected) << c.Filter;
}

class ShowInfoTest : public WindowsTest {
 protected:
  void SetUp() override {
    WindowsTest::SetUp();
    lines_.Add("Conversion finished.");
    lines_.Add("Converted files: 1/2");
    lines_.Add("Failed: /in/b.gif");
  }
  // Opens the log, presses Save, picks the file type (counted from 1) and
  // types name in the save dialog, then closes the log.
  void SaveAs(int fileType, const std::string& name) {
    WhenModal<TfrmShowInfo>([fileType, name](TfrmShowInfo* form) {
      WhenModal<QFileDialog>([fileType, name](QFileDialog* dialog) {
        EXPECT_EQ(dialog->objectName(), "sdSave");
        auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
        ASSERT_NE(types, nullptr);
        EXPECT_EQ(dialog->defaultSuffix(), "txt");
        // The user steps through the list of file types.
        for (int i = 1; i < fileType; ++i) QTest::keyClick(types, Qt::Key_Down);
        EXPECT_EQ(types->currentIndex(), fileType - 1);
        auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(edit, nullptr);
        edit->setText(QString::fromStdString(name));
        static_cast<QDialog*>(dialog)->accept();
      });
      ClickChild(form, "tbSave");
      ClickChild(form, "tbExit");
    });
    TfrmShowInfo::Execute(lines_);
  }

  TStringList lines_;
};

TEST_F(ShowInfoTest, ShowsTheLinesWithTheLanguageCaptions) {
  WhenModal<TfrmShowInfo>([this](TfrmShowInfo* form) {
    EXPECT_EQ(form->windowTitle(), MessageText(msg::LogWindowCaption));
    EXPECT_EQ(form->tbSave->text(), MessageText(msg::ButtonSave));
    EXPECT_EQ(form->tbExit->text(), MessageText(msg::ButtonClose));
    EXPECT_EQ(form->edtInfo->toPlainText(), "Conversion finished.\nConverted files: 1/2\nFailed: /in/b.gif");
    EXPECT_EQ(form->Lines().Lines(), lines_.Lines());
    ClickChild(form, "tbExit");
  });
  TfrmShowInfo::Execute(lines_);
}

TEST_F(ShowInfoTest, TheChosenFileTypeGivesTheExtension) {
  SaveAs(2, Dir() + "run");
  EXPECT_EQ(ReadText(Dir() + "run.log"), "Conversion finished.\r\nConverted files: 1/2\r\nFailed: /in/b.gif\r\n");
  SaveAs(1, Dir() + "run");
  EXPECT_TRUE(FileExists(Dir() + "run.txt"));
  SaveAs(3, Dir() + "run");
  EXPECT_TRUE(FileExists(Dir() + "run"));
  SaveAs(1, Dir() + "named.csv");  // a name with an extension keeps it
  EXPECT_TRUE(FileExists(Dir() + "named.csv"));
  EXPECT_TRUE(handler_.Boxes.empty());
}

TEST_F(ShowInfoTest, ReplacingAFileNeedsYes) {
  testsupport::WriteBytes(Dir() + "old.txt", {'o', 'l', 'd'});
  handler_.Answer = idNo;
  SaveAs(1, Dir() + "old.txt");
  ASSERT_EQ(handler_.Boxes.size(), 1u);
  EXPECT_EQ(handler_.Boxes[0].Kind, mkQuestion);
  EXPECT_EQ(handler_.Boxes[0].Text, GetMessageText(msg::AskReplaceFile));
  EXPECT_EQ(ReadText(Dir() + "old.txt"), "old");

  handler_.Answer = idYes;
  SaveAs(1, Dir() + "old.txt");
  EXPECT_EQ(ReadText(Dir() + "old.txt").substr(0, 10), "Conversion");
}

TEST_F(ShowInfoTest, AFailedSaveIsShownAsAnError) {
  ForceDirectories(Dir() + "gone");
  WhenModal<TfrmShowInfo>([this](TfrmShowInfo* form) {
    WhenModal<QFileDialog>([this](QFileDialog* dialog) {
      dialog->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(Dir() + "gone/run.txt"));
      // The folder disappears before the file is written.
      ::rmdir((Dir() + "gone").c_str());
      static_cast<QDialog*>(dialog)->accept();
    });
    ClickChild(form, "tbSave");
    ClickChild(form, "tbExit");
  });
  TfrmShowInfo::Execute(lines_);
  ASSERT_EQ(handler_.Boxes.size(), 1u);
  EXPECT_EQ(handler_.Boxes[0].Kind, mkError);
  EXPECT_EQ(handler_.Boxes[0].Caption, "System message");
  EXPECT_FALSE(handler_.Boxes[0].Text.empty());
}

}  // namespace
