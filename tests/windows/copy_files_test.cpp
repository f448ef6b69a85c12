#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QLabel>

#include <string>
#include <vector>

#include "app/messages.h"
#include "windows/copy_files.h"
#include "windows/query_over.h"
#include "windows/windows_fixture.h"

namespace {

std::string ReadText(const std::string& path) {
  const auto bytes = testsupport::ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

void WriteText(const std::string& path, const std::string& text) {
  testsupport::WriteBytes(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

class CopyFilesTest : public WindowsTest {
 protected:
  void SetUp() override {
    WindowsTest::SetUp();
    ForceDirectories(Dir() + "from");
    ForceDirectories(Dir() + "to");
    for (const char* name : {"1.spm", "2.spm", "3.spm", "4.spm"}) {
      WriteText(Dir() + "from/" + name, std::string("new ") + name);
      files_.Add(Dir() + "from/" + name);
    }
  }
  void MakeTargets() {
    for (const char* name : {"1.spm", "2.spm", "3.spm", "4.spm"}) WriteText(To(name), std::string("old ") + name);
  }
  std::string To(const std::string& name) const { return Dir() + "to/" + name; }
  // Answers the questions in turn and records them.
  TOverwriteQuery Answers(std::vector<int> answers) {
    return [this, answers](const std::string& text) {
      questions_.push_back(text);
      return answers.at(questions_.size() - 1);
    };
  }

  TStringList files_;
  std::vector<std::string> questions_;
};

TEST_F(CopyFilesTest, AllNoOnTheSecondSkipsTheRestWithoutAsking) {
  MakeTargets();
  CopyFilesTo(files_, Dir() + "to/", Answers({owYes, owAllNo}));
  ASSERT_EQ(questions_.size(), 2u);
  EXPECT_EQ(questions_[0], To("1.spm") + GetMessageText(msg::OverwriteQuestion));
  EXPECT_EQ(questions_[1], To("2.spm") + GetMessageText(msg::OverwriteQuestion));
  EXPECT_EQ(ReadText(To("1.spm")), "new 1.spm");
  for (const char* name : {"2.spm", "3.spm", "4.spm"}) EXPECT_EQ(ReadText(To(name)), std::string("old ") + name);
}

TEST_F(CopyFilesTest, AllYesCopiesTheRestWithoutAsking) {
  MakeTargets();
  CopyFilesTo(files_, Dir() + "to", Answers({owNo, owAllYes}));  // the final "/" is supplied
  EXPECT_EQ(questions_.size(), 2u);
  EXPECT_EQ(ReadText(To("1.spm")), "old 1.spm");
  for (const char* name : {"2.spm", "3.spm", "4.spm"}) EXPECT_EQ(ReadText(To(name)), std::string("new ") + name);
}

TEST_F(CopyFilesTest, MissingTargetsAreCopiedEvenAfterAllNo) {
  WriteText(To("1.spm"), "old");
  WriteText(To("3.spm"), "old");
  CopyFilesTo(files_, Dir() + "to/", Answers({owAllNo}));
  EXPECT_EQ(questions_.size(), 1u);
  EXPECT_EQ(ReadText(To("1.spm")), "old");
  EXPECT_EQ(ReadText(To("2.spm")), "new 2.spm");
  EXPECT_EQ(ReadText(To("3.spm")), "old");
  EXPECT_EQ(ReadText(To("4.spm")), "new 4.spm");
}

TEST_F(CopyFilesTest, CopyingAFileOntoItselfLeavesItWhole) {
  TStringList same;
  same.Add(Dir() + "from/1.spm");
  CopyFilesTo(same, Dir() + "from/", Answers({owAllYes}));
  EXPECT_TRUE(questions_.empty());
  EXPECT_EQ(ReadText(Dir() + "from/1.spm"), "new 1.spm");
  // Also when reached through a link to the folder.
  ASSERT_EQ(::symlink((Dir() + "from").c_str(), (Dir() + "alias").c_str()), 0);
  EXPECT_FALSE(CopyFileOver(Dir() + "from/1.spm", Dir() + "alias/1.spm"));
  EXPECT_EQ(ReadText(Dir() + "from/1.spm"), "new 1.spm");
}

TEST_F(CopyFilesTest, CopyKeepsModeAndTime) {
  const std::string source = Dir() + "from/1.spm";
  ASSERT_EQ(::chmod(source.c_str(), 0640), 0);
  const struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, source.c_str(), times, 0), 0);
  ASSERT_TRUE(CopyFileOver(source, To("1.spm")));
  struct stat st {};
  ASSERT_EQ(::stat(To("1.spm").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);

  // Not a file, or missing: nothing happens.
  EXPECT_FALSE(CopyFileOver(Dir() + "from", To("x")));
  EXPECT_FALSE(CopyFileOver(Dir() + "from/none", To("x")));
  EXPECT_FALSE(FileExists(To("x")));
}

TEST_F(CopyFilesTest, AFailedCopyKeepsTheOldTarget) {
  // A file whose reading fails part-way: the process's own memory file
  // cannot be read at offset 0.
  const std::string failing = "/proc/self/mem";
  if (!FileExists(failing)) GTEST_SKIP() << failing << " is not available";
  WriteText(To("2.spm"), "old");
  EXPECT_FALSE(CopyFileOver(failing, To("2.spm")));
  EXPECT_EQ(ReadText(To("2.spm")), "old");
  // No temporary file is left behind.
  EXPECT_EQ(testsupport::Run({"/usr/bin/ls", "-A", Dir() + "to"}).Out, "2.spm\n");
}

TEST_F(CopyFilesTest, AsksThroughTheOverwriteWindow) {
  MakeTargets();
  WhenModal<TfrmQueryOver>([](TfrmQueryOver* form) {
    EXPECT_NE(form->lblTitle->text().indexOf("1.spm"), -1);
    ClickChild(form, "btnAllYes");
  });
  CopyFilesTo(files_, Dir() + "to/");
  for (const char* name : {"1.spm", "2.spm", "3.spm", "4.spm"}) EXPECT_EQ(ReadText(To(name)), std::string("new ") + name);
}

}  // namespace
