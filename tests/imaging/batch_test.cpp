// The batch run without its window: log and summary lines, the overwrite
// rule with a scripted query, Stop, the elapsed time and damaged marks.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "app/messages.h"
#include "app/routines.h"
#include "core/jpeg.h"
#include "imaging/batch.h"
#include "imaging/mark.h"
#include "imaging/process.h"
#include "imaging_fixture.h"

namespace {

class BatchTest : public ImagingTest {
 protected:
  void SetUp() override {
    ImagingTest::SetUp();
    std::filesystem::create_directories(Dir() + "in");
    std::filesystem::create_directories(Dir() + "out");
    hooks_.QueryOverwrite = [this](const std::string& q) {
      questions_.push_back(q);
      const int a = answers_.empty() ? owNo : answers_.front();
      if (!answers_.empty()) answers_.erase(answers_.begin());
      return a;
    };
    hooks_.StopRequested = [this] { return stopAfter_ >= 0 && static_cast<int>(progress_.size()) >= stopAfter_; };
    hooks_.ProcessMessages = [this] { ++pumps_; };
    hooks_.Progress = [this](int position, const std::string& name) { progress_.emplace_back(position, name); };
  }

  std::string Source(const std::string& name, int seed = 0) {
    const std::string path = Dir() + "in/" + name;
    testsupport::WriteBytes(path, EncodeJpeg(PatternBitmap(12, 8, seed), 90));
    return path;
  }
  std::string Mark() {
    TMark m;
    m.AddMark("");
    m.Records[0].SetPictureType(".bmp");
    m.MarkPictures[0] = SolidBitmap(3, 2, clWhite);
    const std::string path = Dir() + "m.spm";
    EXPECT_TRUE(m.SaveMarkFile(0, path));
    return path;
  }
  std::string Line(int n) const { return GetMessageText(n); }

  TBatchHooks hooks_;
  std::vector<int> answers_;
  std::vector<std::string> questions_;
  std::vector<std::pair<int, std::string>> progress_;
  int pumps_ = 0;
  int stopAfter_ = -1;
};

}  // namespace

TEST_F(BatchTest, ConvertsEveryFileAndLogsIt) {
  ProgramInfo().OutputFileType = otSameAsSource;
  const std::vector<std::string> sources = {Source("a.jpg"), Source("b.jpg", 1), Source("c.jpg", 2)};
  const TBatchResult r = RunBatch({Mark()}, sources, Dir() + "out", hooks_);
  EXPECT_EQ(r.Converted, 3);
  EXPECT_FALSE(r.Stopped);
  ASSERT_EQ(r.Log.Count(), 6);
  EXPECT_EQ(r.Log[0], Line(msg::LogHead));
  EXPECT_EQ(r.Log[1], Line(msg::LogConvertedCount) + "3/3");
  EXPECT_EQ(r.Log[2], Line(msg::LogElapsedSeconds) + "0");
  const std::string info = "jpg " + Line(msg::JpegQuality) + ":90%";
  EXPECT_EQ(r.Log[3], "1." + info + " " + sources[0] + " => " + Dir() + "out/a.jpg");
  EXPECT_EQ(r.Log[5], "3." + info + " " + sources[2] + " => " + Dir() + "out/c.jpg");
  ASSERT_EQ(progress_.size(), 3u);
  EXPECT_EQ(progress_.back(), (std::pair<int, std::string>{2, "c.jpg"}));
  EXPECT_EQ(pumps_, 3);
  EXPECT_TRUE(questions_.empty());
  // The mark is on the output: its top-left corner is the blended white.
  TJPEGImage out;
  out.LoadFromFile(Dir() + "out/a.jpg");
  EXPECT_GT(PixelAt(out.Bitmap(), 0, 0).R, 200);
}

TEST_F(BatchTest, FailedFilesAreLoggedAndTheRunGoesOn) {
  ProgramInfo().OutputFileType = otBmp;
  testsupport::WriteBytes(Dir() + "in/bad.jpg", {1, 2, 3});
  const std::vector<std::string> sources = {Dir() + "in/bad.jpg", Source("good.png.jpg")};
  const TBatchResult r = RunBatch({}, sources, Dir() + "out/", hooks_);
  EXPECT_EQ(r.Converted, 1);
  EXPECT_EQ(r.Log[1], Line(msg::LogConvertedCount) + "1/2");
  EXPECT_EQ(r.Log[3], Line(msg::LogFailed) + " " + sources[0] + " => " + Dir() + "out/bad.bmp");
  EXPECT_EQ(r.Log[4], "1.jpg " + Line(msg::JpegQuality) + ":90% " + sources[1] + " => " + Dir() + "out/good.png.bmp");
  EXPECT_EQ(progress_.size(), 2u);
}

TEST_F(BatchTest, AllNoSkipsEveryExistingOutputWithoutAsking) {
  ProgramInfo().OutputFileType = otJpeg;
  std::vector<std::string> sources;
  for (const char* n : {"a", "b", "c", "d"}) sources.push_back(Source(std::string(n) + ".jpg"));
  for (const char* n : {"a", "c", "d"}) testsupport::WriteBytes(Dir() + "out/" + n + ".jpeg", {7});
  answers_ = {owAllNo};
  const TBatchResult r = RunBatch({}, sources, Dir() + "out", hooks_);
  ASSERT_EQ(questions_.size(), 1u);
  EXPECT_EQ(questions_[0], Dir() + "out/a.jpeg" + Line(msg::OverwriteQuestion));
  EXPECT_EQ(r.Converted, 1);
  EXPECT_EQ(r.Log.Count(), 4);  // three summary lines and b
  EXPECT_EQ(progress_.size(), 1u);
  EXPECT_EQ(pumps_, 1);
  for (const char* n : {"a", "c", "d"}) {
    EXPECT_EQ(testsupport::ReadBytes(Dir() + "out/" + n + ".jpeg"), std::vector<std::uint8_t>{7});
  }
}

TEST_F(BatchTest, YesAsksAgainAndAllYesStopsAsking) {
  ProgramInfo().OutputFileType = otJpeg;
  std::vector<std::string> sources;
  for (const char* n : {"a", "b", "c", "d", "e"}) {
    sources.push_back(Source(std::string(n) + ".jpg"));
    testsupport::WriteBytes(Dir() + "out/" + n + ".jpeg", {7});
  }
  answers_ = {owYes, owNo, owAllYes};
  const TBatchResult r = RunBatch({}, sources, Dir() + "out", hooks_);
  EXPECT_EQ(questions_.size(), 3u);
  EXPECT_EQ(r.Converted, 4);
  EXPECT_EQ(testsupport::ReadBytes(Dir() + "out/b.jpeg"), std::vector<std::uint8_t>{7});
  EXPECT_NE(testsupport::ReadBytes(Dir() + "out/e.jpeg"), std::vector<std::uint8_t>{7});
}

TEST_F(BatchTest, SameNameFromTwoFoldersMeetsTheOverwriteRule) {
  ProgramInfo().OutputFileType = otSameAsSource;
  std::filesystem::create_directories(Dir() + "in/sub");
  const std::string first = Source("x.jpg");
  const std::string second = Dir() + "in/sub/x.jpg";
  std::filesystem::copy_file(first, second);
  answers_ = {owNo};
  const TBatchResult r = RunBatch({}, {first, second}, Dir() + "out", hooks_);
  EXPECT_EQ(questions_.size(), 1u);
  EXPECT_EQ(r.Converted, 1);
}

TEST_F(BatchTest, StopEndsTheRunBeforeTheNextFile) {
  ProgramInfo().OutputFileType = otJpeg;
  std::vector<std::string> sources;
  for (int i = 0; i < 5; ++i) sources.push_back(Source("s" + std::to_string(i) + ".jpg"));
  stopAfter_ = 2;  // pressed while the second file was in work
  const TBatchResult r = RunBatch({Mark()}, sources, Dir() + "out", hooks_);
  EXPECT_TRUE(r.Stopped);
  EXPECT_EQ(r.Converted, 2);
  EXPECT_EQ(r.Log[1], Line(msg::LogConvertedCount) + "2/5");
  EXPECT_EQ(r.Log[r.Log.Count() - 1], "Stop Convert");
  EXPECT_EQ(r.Log.Count(), 6);
  EXPECT_FALSE(std::filesystem::exists(Dir() + "out/s2.jpeg"));
}

TEST_F(BatchTest, ElapsedSecondsComeFromTheMonotonicClock) {
  // A run that crosses midnight or a clock change still counts the
  // seconds that passed.
  auto t = std::chrono::steady_clock::time_point{} + std::chrono::hours(23) + std::chrono::minutes(59);
  hooks_.Clock = [&t] {
    const auto now = t;
    t += std::chrono::milliseconds(1862500);
    return now;
  };
  const TBatchResult r = RunBatch({}, {Source("a.jpg")}, Dir() + "out", hooks_);
  EXPECT_EQ(r.ElapsedSeconds, 1862);
  EXPECT_EQ(r.Log[2], Line(msg::LogElapsedSeconds) + "1862");
}

TEST_F(BatchTest, DamagedMarkFileEndsTheRunBeforeAnyFile) {
  testsupport::WriteBytes(Dir() + "bad.spm", {9, 9, 9, 9, 9});
  const std::string src = Source("a.jpg");
  EXPECT_THROW(RunBatch({Mark(), Dir() + "bad.spm"}, {src}, Dir() + "out", hooks_), EMarkFileError);
  EXPECT_TRUE(std::filesystem::is_empty(Dir() + "out"));
  EXPECT_TRUE(progress_.empty());
}

namespace {

// The names in a folder with their bytes (a folder's as "<folder>").
std::vector<std::pair<std::string, std::vector<std::uint8_t>>> Snapshot(const std::string& folder) {
  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> entries;
  for (const std::string& name : testsupport::FolderEntries(folder)) {
    const std::string path = folder + "/" + name;
    entries.emplace_back(name, std::filesystem::is_regular_file(path) ? testsupport::ReadBytes(path)
                                                                      : std::vector<std::uint8_t>{'<', '>'});
  }
  return entries;
}

}  // namespace

// A symbolic link at an output name is a file there: the batch asks about
// it, and replacing it replaces the link itself with the output. Whether
// the link dangles or points at a file, whatever the answer and the
// output type (the GIF-to-GIF road too), nothing outside the output
// folder is created or changed.
TEST_F(BatchTest, ALinkAtTheOutputNameIsAskedAboutAndNeverWrittenThrough) {
  std::filesystem::create_directories(Dir() + "in");
  SaveImageFile(PatternBitmap(12, 8, 3), Dir() + "in/anim.gif");
  struct TOutput {
    int Type;
    const char* Source;
    const char* Output;
  };
  const TOutput outputs[] = {{1, "photo.jpg", "photo.jpeg"}, {2, "photo.jpg", "photo.gif"},
                             {3, "photo.jpg", "photo.bmp"},  {4, "photo.jpg", "photo.png"},
                             {5, "photo.jpg", "photo.pcx"},  {6, "photo.jpg", "photo.tga"},
                             {0, "anim.gif", "anim.gif"}};
  struct TCase {
    bool TargetExists;
    int Answer;
  };
  const TCase cases[] = {{false, owNo}, {false, owYes}, {false, owAllYes}, {false, owAllNo},
                         {true, owNo},  {true, owYes},  {true, owAllYes},  {true, owAllNo}};
  const std::string mark = Mark();
  const std::string photo = Source("photo.jpg");
  int run = 0;
  for (const TOutput& o : outputs) {
    ProgramInfo().OutputFileType = static_cast<std::uint8_t>(o.Type);
    const std::string source = std::string(o.Source) == "photo.jpg" ? photo : Dir() + "in/anim.gif";
    for (const TCase& c : cases) {
      SCOPED_TRACE(testing::Message() << o.Output << (c.TargetExists ? ", link to a file" : ", dangling link")
                                      << ", answer " << c.Answer);
      const std::string out = Dir() + "out" + std::to_string(run) + "/";
      const std::string outside = Dir() + "outside" + std::to_string(run);
      ++run;
      std::filesystem::create_directories(out);
      std::filesystem::create_directories(outside);
      if (c.TargetExists) testsupport::WriteBytes(outside + "/pwned", {'o', 'l', 'd'});
      const std::string link = "../outside" + std::to_string(run - 1) + "/pwned";
      ASSERT_EQ(::symlink(link.c_str(), (out + o.Output).c_str()), 0);
      const auto before = Snapshot(outside);
      questions_.clear();
      answers_ = {c.Answer};

      const TBatchResult r = RunBatch({mark}, {source}, out, hooks_);

      EXPECT_EQ(questions_, (std::vector<std::string>{out + o.Output + Line(msg::OverwriteQuestion)}));
      EXPECT_EQ(Snapshot(outside), before) << "a file outside the output folder was created or changed";
      const bool replaced = c.Answer == owYes || c.Answer == owAllYes;
      EXPECT_EQ(r.Converted, replaced ? 1 : 0);
      struct stat st {};
      ASSERT_EQ(::lstat((out + o.Output).c_str(), &st), 0);
      if (replaced) {
        EXPECT_TRUE(S_ISREG(st.st_mode)) << "the link was not replaced";
        EXPECT_GT(st.st_size, 16);
      } else {
        ASSERT_TRUE(S_ISLNK(st.st_mode));
        EXPECT_EQ(std::filesystem::read_symlink(out + o.Output).string(), link);
      }
      EXPECT_EQ(testsupport::FolderEntries(out), (std::vector<std::string>{o.Output}));
    }
  }
}

// A listed source that is no regular file (a named pipe, as a listed file
// replaced by one before the run; a folder; a device behind a link) is a
// failed line and the run goes on; reading never waits on it. The batch
// runs in a child with a watchdog, so a blocking read fails the test
// instead of hanging it.
TEST_F(BatchTest, ASourceThatIsNoRegularFileIsAFailedLineAndNothingWaits) {
  ProgramInfo().OutputFileType = otSameAsSource;
  const std::string first = Source("first.jpg");
  const std::string last = Source("last.jpg", 1);
  std::vector<std::string> sources = {first};
  for (const char* name : {"pipe.jpg", "pipe.png", "pipe.gif", "pipe.bmp"}) {
    ASSERT_EQ(::mkfifo((Dir() + "in/" + name).c_str(), 0600), 0) << name;
    sources.push_back(Dir() + "in/" + name);
  }
  std::filesystem::create_directories(Dir() + "in/folder.jpg");
  sources.push_back(Dir() + "in/folder.jpg");
  ASSERT_EQ(::symlink("/dev/zero", (Dir() + "in/zero.png").c_str()), 0);
  sources.push_back(Dir() + "in/zero.png");
  sources.push_back(last);
  const std::string logFile = Dir() + "log.txt";
  const std::string mark = Mark();

  const testsupport::ChildEnd end = testsupport::RunInChild(
      [&] {
        const TBatchResult r = RunBatch({mark}, sources, Dir() + "out", hooks_);
        r.Log.SaveToFile(logFile);
        return 0;
      },
      120);

  ASSERT_FALSE(end.TimedOut) << "the batch waited on a source";
  ASSERT_FALSE(end.Signalled);
  TStringList log;
  log.LoadFromFile(logFile);
  ASSERT_EQ(log.Count(), 3 + static_cast<int>(sources.size()));
  EXPECT_EQ(log[1], Line(msg::LogConvertedCount) + "2/" + std::to_string(sources.size()));
  for (std::size_t i = 1; i + 1 < sources.size(); ++i) {
    EXPECT_EQ(log[3 + static_cast<int>(i)],
              Line(msg::LogFailed) + " " + sources[i] + " => " + Dir() + "out/" + ExtractFileName(sources[i]));
  }
  EXPECT_EQ(testsupport::FolderEntries(Dir() + "out"), (std::vector<std::string>{"first.jpg", "last.jpg"}));
  struct stat st {};
  ASSERT_EQ(::lstat((Dir() + "in/pipe.jpg").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}
