#include <sys/stat.h>
#include <unistd.h>

#include <QLabel>
#include <QTimer>

#include <string>
#include <vector>

#include "app/routines.h"
#include "windows/file_finder.h"
#include "windows/windows_fixture.h"

namespace {

class FileFinderTest : public WindowsTest {
 protected:
  void SetUp() override {
    WindowsTest::SetUp();
    root_ = Dir() + "tree/";
    for (const char* dir : {"", ".hidden", "sub1", "sub1/deep", "sub2", "Sub3"}) ForceDirectories(root_ + dir);
    for (const char* file : {"c.txt", "B.JPG", "a.jpg", ".hidden/x.jpg", "sub1/d.jpg", "sub1/deep/e.jpg",
                             "sub2/f.jpg", "Sub3/g.jpg"}) {
      testsupport::WriteBytes(root_ + file, {'x'});
    }
    // A link back up the tree: followed once, never round and round.
    ASSERT_EQ(::symlink(root_.c_str(), (root_ + "sub2/loop").c_str()), 0);
    finder_.Root = root_;
    finder_.Filename = "*.jpg";
    finder_.FuzzySearch = true;
    finder_.OnFileFound = [this](TFileFinder&, const std::string& dir, const TSearchRec& rec, bool& stop) {
      found_.push_back(dir.substr(root_.size()) + rec.Name);
      attrs_.push_back(rec.Attr);
      if (stopAfter_ > 0 && static_cast<int>(found_.size()) == stopAfter_) stop = true;
    };
    finder_.OnStop = [this](TFileFinder&) { ++stops_; };
  }

  std::string root_;
  TFileFinder finder_;
  std::vector<std::string> found_;
  std::vector<int> attrs_;
  int stops_ = 0;
  int stopAfter_ = 0;
};

TEST_F(FileFinderTest, WalksTheTreeInNameOrderSkippingDotFoldersAndLoops) {
  finder_.Execute();
  EXPECT_EQ(found_, (std::vector<std::string>{"a.jpg", "B.JPG", "sub1/d.jpg", "sub1/deep/e.jpg", "sub2/f.jpg",
                                              "Sub3/g.jpg"}));
  EXPECT_EQ(stops_, 1);
  EXPECT_FALSE(finder_.Stopped());
  EXPECT_FALSE(finder_.Searching());
  EXPECT_GT(handler_.Pumps, 0);
}

TEST_F(FileFinderTest, OptionsNarrowTheSearch) {
  finder_.SubFolders = false;
  finder_.Execute();
  EXPECT_EQ(found_, (std::vector<std::string>{"a.jpg", "B.JPG"}));
  EXPECT_EQ(stops_, 1);

  found_.clear();
  finder_.SubFolders = true;
  finder_.IgnoreCase = false;
  finder_.Execute();
  EXPECT_EQ(found_, (std::vector<std::string>{"a.jpg", "sub1/d.jpg", "sub1/deep/e.jpg", "sub2/f.jpg",
                                              "Sub3/g.jpg"}));

  // An exact name, with and without regard to case.
  found_.clear();
  finder_.FuzzySearch = false;
  finder_.Filename = "D.JPG";
  finder_.Execute();
  EXPECT_TRUE(found_.empty());
  finder_.IgnoreCase = true;
  finder_.Execute();
  EXPECT_EQ(found_, (std::vector<std::string>{"sub1/d.jpg"}));

  // No pumping when told not to; an empty name finds nothing.
  found_.clear();
  handler_.Pumps = 0;
  finder_.ProcessMessages = false;
  finder_.Filename.clear();
  finder_.Execute();
  EXPECT_TRUE(found_.empty());
  EXPECT_EQ(handler_.Pumps, 0);
  EXPECT_EQ(stops_, 5);
}

TEST_F(FileFinderTest, FoldersMatchToo) {
  finder_.Filename = "sub?";
  finder_.Execute();
  ASSERT_EQ(found_, (std::vector<std::string>{"sub1", "sub2", "Sub3"}));
  for (int attr : attrs_) EXPECT_TRUE(attr & faDirectory);

  // Without folders in the attribute mask no folder is reported or entered.
  found_.clear();
  finder_.FileAttr = faAnyFile & ~faDirectory;
  finder_.Filename = "*";
  finder_.Execute();
  EXPECT_EQ(found_, (std::vector<std::string>{"a.jpg", "B.JPG", "c.txt"}));
}

TEST_F(FileFinderTest, StopFromTheEventEndsTheSearchAndOnStopFiresOnce) {
  stopAfter_ = 1;
  finder_.Execute();
  EXPECT_EQ(found_, (std::vector<std::string>{"a.jpg"}));
  EXPECT_TRUE(finder_.Stopped());
  EXPECT_EQ(stops_, 1);

  // A new search starts afresh.
  found_.clear();
  stopAfter_ = 0;
  finder_.Execute();
  EXPECT_EQ(found_.size(), 6u);
  EXPECT_FALSE(finder_.Stopped());
}

TEST_F(FileFinderTest, StopWhileTheEventPumpsStaysAStop) {
  // The Stop command is handled while OnFileFound itself lets window
  // events through; the event's own stop flag (left false) must not undo
  // it.
  finder_.Root = root_ + "sub1";  // the final "/" is supplied
  finder_.Filename = "*";
  finder_.OnFileFound = [this](TFileFinder& sender, const std::string& dir, const TSearchRec& rec, bool&) {
    found_.push_back(dir.substr(root_.size()) + rec.Name);
    QTimer::singleShot(0, [&sender] { sender.Stop(); });
    ProcessMessages();
  };
  finder_.Execute();
  EXPECT_TRUE(finder_.Stopped());
  EXPECT_EQ(found_, (std::vector<std::string>{"sub1/d.jpg"}));  // "deep" never reached
  EXPECT_EQ(stops_, 1);
}

TEST_F(FileFinderTest, StatusLabelShowsTheFolderBeingScanned) {
  QLabel label;
  finder_.StatusLabel = &label;
  finder_.SubFolders = false;
  finder_.Execute();
  EXPECT_EQ(label.text().toStdString(), root_);
  {
    auto* gone = new QLabel;
    finder_.StatusLabel = gone;
    delete gone;
  }
  finder_.Execute();  // a label that went away is left alone
  EXPECT_EQ(stops_, 2);
}

TEST_F(FileFinderTest, MissingRootFindsNothing) {
  finder_.Root = root_ + "nothing/";
  finder_.Execute();
  EXPECT_TRUE(found_.empty());
  EXPECT_EQ(stops_, 1);
}

}  // namespace
