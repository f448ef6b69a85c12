#include <unistd.h>

#include <QDir>
#include <QFileSystemModel>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>

#include <cstdlib>

#include "app/messages.h"
#include "app/routines.h"
#include "windows/form_support.h"
#include "core/inifile.h"
#include "windows/position.h"
#include "windows/select_dir.h"
#include "windows/shell_tree.h"
#include "windows/windows_fixture.h"

namespace {

class SelectDirTest : public WindowsTest {
 protected:
  void SetUp() override {
    WindowsTest::SetUp();
    for (const char* dir : {"photos/2023/summer", "photos/Best", "photos/.cache"}) ForceDirectories(Dir() + dir);
    testsupport::WriteBytes(Dir() + "photos/file.jpg", {'x'});
  }
  // Opens the picker at start, types text and presses OK (then Exit when OK
  // refuses). Returns Execute's result.
  bool PickTyped(std::string& path, const std::string& text) {
    WhenModal<TfrmSelectDir>([text](TfrmSelectDir* form) {
      form->edtPath->setText(QString::fromStdString(text));
      ClickChild(form, "btnOK");
      if (form->isVisible()) ClickChild(form, "btnExit");
    });
    return TfrmSelectDir::Execute(path);
  }
};

// Changes the current folder for one test.
class CurrentDir {
 public:
  explicit CurrentDir(const std::string& dir) {
    char* old = ::getcwd(nullptr, 0);
    old_ = old;
    std::free(old);
    EXPECT_EQ(::chdir(dir.c_str()), 0);
  }
  ~CurrentDir() { (void)::chdir(old_.c_str()); }

 private:
  std::string old_;
};

TEST_F(SelectDirTest, AcceptedPathsEndInOneSlash) {
  EXPECT_EQ(AcceptedFolderPath(Dir() + "photos"), Dir() + "photos/");
  EXPECT_EQ(AcceptedFolderPath(Dir() + "photos/"), Dir() + "photos/");
  EXPECT_EQ(AcceptedFolderPath("/"), "/");
  EXPECT_FALSE(AcceptedFolderPath(Dir() + "photos/file.jpg"));
  EXPECT_FALSE(AcceptedFolderPath(Dir() + "nothing"));
  EXPECT_FALSE(AcceptedFolderPath(""));
  CurrentDir cwd(Dir());
  EXPECT_EQ(AcceptedFolderPath("photos/Best"), Dir() + "photos/Best/");
  EXPECT_EQ(AbsoluteFolderPath("a b"), Dir() + "a b");
}

TEST_F(SelectDirTest, OkHandsBackTheFolderWithASlash) {
  std::string path = Dir() + "photos/2023";
  EXPECT_TRUE(PickTyped(path, Dir() + "photos/Best"));
  EXPECT_EQ(path, Dir() + "photos/Best/");

  path = Dir();
  EXPECT_TRUE(PickTyped(path, "/"));
  EXPECT_EQ(path, "/");

  CurrentDir cwd(Dir() + "photos");
  EXPECT_TRUE(PickTyped(path, "2023/summer"));
  EXPECT_EQ(path, Dir() + "photos/2023/summer/");
  EXPECT_TRUE(handler_.Boxes.empty());
}

TEST_F(SelectDirTest, MissingFolderIsRefusedAndExitKeepsThePath) {
  std::string path = Dir() + "photos";
  EXPECT_FALSE(PickTyped(path, Dir() + "nothing"));
  EXPECT_EQ(path, Dir() + "photos");
  ASSERT_EQ(handler_.Boxes.size(), 1u);
  EXPECT_EQ(handler_.Boxes[0].Kind, mkInformation);
  EXPECT_EQ(handler_.Boxes[0].Caption, "System message");
  EXPECT_EQ(handler_.Boxes[0].Text, "\"" + Dir() + "nothing\"" + GetMessageText(msg::FolderDoesNotExist));

  WhenModal<TfrmSelectDir>([](TfrmSelectDir* form) { form->close(); });
  EXPECT_FALSE(TfrmSelectDir::Execute(path));
  EXPECT_EQ(path, Dir() + "photos");
}

TEST_F(SelectDirTest, ShowingGoesToThePathAndSetsTheCaptions) {
  std::string path = Dir() + "photos/2023/summer";
  WhenModal<TfrmSelectDir>([this](TfrmSelectDir* form) {
    EXPECT_EQ(form->windowTitle(), MessageText(msg::SelectFolderCaption));
    EXPECT_EQ(form->btnCreateDir->text(), MessageText(msg::NewFolderCaption));
    EXPECT_EQ(form->btnOK->text(), MessageText(msg::ButtonOK));
    EXPECT_EQ(form->btnExit->text(), MessageText(msg::ButtonClose));
    EXPECT_TRUE(form->btnOK->isDefault());
    EXPECT_EQ(form->edtPath->text().toStdString(), Dir() + "photos/2023/summer");
    EXPECT_EQ(form->dirPath->Path(), Dir() + "photos/2023/summer");
    // The tree's moves leave the typed text alone until the tree is clicked.
    ShellTreeGotoPath(*form->dirPath, Dir() + "photos/Best");
    EXPECT_EQ(form->edtPath->text().toStdString(), Dir() + "photos/2023/summer");
    const QRect row = form->dirPath->visualRect(form->dirPath->currentIndex());
    QTest::mouseClick(form->dirPath->viewport(), Qt::LeftButton, {}, row.center());
    EXPECT_EQ(form->edtPath->text().toStdString(), Dir() + "photos/Best");
    ShellTreeGotoPath(*form->dirPath, Dir() + "photos/2023");
    EXPECT_EQ(form->edtPath->text().toStdString(), Dir() + "photos/2023");
    ClickChild(form, "btnExit");
  });
  EXPECT_FALSE(TfrmSelectDir::Execute(path));
  // Its bounds went into the position file.
  EXPECT_TRUE(TIniFile(PositionFileName()).SectionExists("frmSelectDir Position"));
}

TEST_F(SelectDirTest, CreatesAFolderInTheTreesFolder) {
  std::string path = Dir() + "photos";
  WhenModal<TfrmSelectDir>([this](TfrmSelectDir* form) {
    WhenModal<QInputDialog>([this](QInputDialog* input) {
      EXPECT_EQ(input->windowTitle(), MessageText(msg::NewFolderCaption));
      EXPECT_EQ(input->labelText().toStdString(),
                GetMessageText(msg::NewFolderPrompt) + Dir() + "photos       ");
      EXPECT_TRUE(input->textValue().isEmpty());
      input->setTextValue("fresh");
      input->accept();
    });
    ClickChild(form, "btnCreateDir");
    EXPECT_TRUE(DirectoryExists(Dir() + "photos/fresh"));
    EXPECT_TRUE(FindChildNode(*form->dirPath, form->dirPath->SelectedNode(), "fresh").Exists);
    ClickChild(form, "btnExit");
  });
  TfrmSelectDir::Execute(path);
  EXPECT_TRUE(handler_.Boxes.empty());
}

TEST_F(SelectDirTest, NewFolderNeedsAnExistingTreeFolder) {
  TfrmSelectDir form;
  form.show();
  ShellTreeGotoPath(*form.dirPath, Dir() + "photos/Best");
  ASSERT_EQ(form.dirPath->Path(), Dir() + "photos/Best");
  ASSERT_EQ(::rmdir((Dir() + "photos/Best").c_str()), 0);
  ClickChild(&form, "btnCreateDir");
  ASSERT_EQ(handler_.Boxes.size(), 1u);
  EXPECT_EQ(handler_.Boxes[0].Kind, mkInformation);
  EXPECT_EQ(handler_.Boxes[0].Text, GetMessageText(msg::FolderDoesNotExist));
}

TEST_F(SelectDirTest, GoToPathWalksTheTreeOnePartAtATime) {
  TShellTreeView tree;
  EXPECT_EQ(tree.Path(), QDir::homePath().toStdString());
  tree.resize(300, 400);
  tree.show();
  int announced = 0;
  QString last;
  QObject::connect(&tree, &TShellTreeView::FolderChanged, [&](const QString& p) {
    ++announced;
    last = p;
  });
  ShellTreeGotoPath(tree, Dir() + "photos/2023/summer");
  EXPECT_EQ(tree.Path(), Dir() + "photos/2023/summer");
  EXPECT_EQ(announced, 1);  // once, at the end
  EXPECT_EQ(last.toStdString(), Dir() + "photos/2023/summer");
  // Every folder on the way is open, so the target is visible.
  for (TShellNode n = tree.ParentNode(tree.SelectedNode()); n.Exists && !n.IsComputer(); n = tree.ParentNode(n)) {
    EXPECT_TRUE(tree.isExpanded(n.Index)) << tree.NodePath(n);
  }
  EXPECT_TRUE(tree.visualRect(tree.currentIndex()).isValid());
  // The folders arriving from the background later keep the selection.
  const TShellNode photos = tree.ParentNode(tree.ParentNode(tree.SelectedNode()));
  EXPECT_TRUE(WaitFor([&] { return tree.Model()->rowCount(photos.Index) >= 2; }));
  EXPECT_EQ(tree.Path(), Dir() + "photos/2023/summer");

  // The root, and a trailing slash.
  ShellTreeGotoPath(tree, "/");
  EXPECT_EQ(tree.Path(), "/");
  ShellTreeGotoPath(tree, Dir() + "photos/Best/");
  EXPECT_EQ(tree.Path(), Dir() + "photos/Best");

  // A part that is not there (or a file, a hidden folder, other letter
  // case) selects nothing new.
  for (const std::string& bad : {Dir() + "photos/nothing/2023", Dir() + "photos/best", Dir() + "photos/file.jpg",
                                 Dir() + "photos/.cache",
                                 std::string("relative/path"), Dir() + "photos/../photos/Best"}) {
    ShellTreeGotoPath(tree, Dir() + "photos/2023");
    ShellTreeGotoPath(tree, bad);
    EXPECT_EQ(tree.Path(), Dir() + "photos/2023") << bad;
  }
  // The file never became a node of the folder tree.
  for (int row = 0; row < tree.Model()->rowCount(photos.Index); ++row) {
    EXPECT_NE(tree.Model()->index(row, 0, photos.Index).data().toString(), "file.jpg");
  }

  const TShellNode computer = TShellNode::Computer();
  EXPECT_EQ(tree.NodeText(computer), GetMyComputerName());
  EXPECT_FALSE(FindChildNode(tree, TShellNode::None(), "/").Exists);
  EXPECT_TRUE(FindChildNode(tree, computer, "/").Exists);
  EXPECT_FALSE(FindChildNode(tree, computer, "tmp").Exists);
}

}  // namespace
