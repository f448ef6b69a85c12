// The batch on several workers: what the user sees (questions, log lines,
// progress, readers' warnings) comes in list order on the calling thread,
// exactly as one file at a time, whatever order the workers finish in;
// Stop leaves nothing behind; a file that reads an earlier file's output
// waits for it; and the rules that size the pool.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "app/messages.h"
#include "app/routines.h"
#include "core/jpeg.h"
#include "formats/common/reader_warnings.h"
#include "imaging/batch.h"
#include "imaging/mark.h"
#include "imaging_fixture.h"

namespace {

namespace fs = std::filesystem;

// The threads of this process now.
int ThreadCount() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Threads:", 0) == 0) return std::stoi(line.substr(8));
  }
  return -1;
}

// Every name in a folder, hidden ones too.
std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& f : fs::directory_iterator(folder)) names.push_back(f.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class BatchWorkersTest : public ImagingTest {
 protected:
  void SetUp() override {
    ImagingTest::SetUp();
    fs::create_directories(Dir() + "in");
    fs::create_directories(Dir() + "out");
    hooks_.QueryOverwrite = [this](const std::string& q) {
      EXPECT_EQ(std::this_thread::get_id(), caller_);
      questions_.push_back(q);
      // Each question sees the outputs of every file before it written.
      writtenAtQuestion_.push_back(progress_.size());
      const int a = answers_.empty() ? owNo : answers_.front();
      if (!answers_.empty()) answers_.erase(answers_.begin());
      return a;
    };
    hooks_.StopRequested = [this] { return stopAfter_ >= 0 && static_cast<int>(progress_.size()) >= stopAfter_; };
    hooks_.ProcessMessages = [this] {
      EXPECT_EQ(std::this_thread::get_id(), caller_);
      ++pumps_;
    };
    hooks_.Progress = [this](int position, const std::string& name) {
      EXPECT_EQ(std::this_thread::get_id(), caller_);
      progress_.emplace_back(position, name);
    };
  }

  // A JPEG source; a larger picture takes a worker longer, so a list of
  // large files before small ones finishes out of its order.
  std::string Source(const std::string& name, int w, int h, int seed) {
    const std::string path = Dir() + "in/" + name;
    testsupport::WriteBytes(path, EncodeJpeg(PatternBitmap(w, h, seed), 90));
    return path;
  }
  std::string Mark() {
    TMark m;
    m.AddMark("");
    m.Records[0].SetPictureType(".bmp");
    m.MarkPictures[0] = PatternBitmap(9, 5, 3);
    m.Records[0].SetAnchor(4);
    m.Records[0].SetTransparency(40);
    const std::string path = Dir() + "m.spm";
    EXPECT_TRUE(m.SaveMarkFile(0, path));
    return path;
  }
  std::string Out(const std::string& name) const { return Dir() + "out/" + name; }

  TBatchHooks hooks_;
  std::thread::id caller_ = std::this_thread::get_id();
  std::vector<int> answers_;
  std::vector<std::string> questions_;
  std::vector<std::size_t> writtenAtQuestion_;
  std::vector<std::pair<int, std::string>> progress_;
  int pumps_ = 0;
  int stopAfter_ = -1;
};

}  // namespace

TEST(BatchWorkerCount, OnePerCoreWithinHalfThePhysicalMemory) {
  constexpr std::uint64_t GiB = std::uint64_t{1} << 30;
  struct {
    int Cores;
    std::uint64_t Memory, PerFile;
    int Expected;
  } const cases[] = {
      {8, 24 * GiB, 0, 8},             // the need is not known yet
      {8, 0, 4 * GiB, 8},              // nor the memory
      {8, 24 * GiB, 144 * (1 << 20), 8},  // a 12-megapixel photo
      {8, 24 * GiB, 3 * GiB, 4},       // 4 x 3 GiB is half of 24
      {8, 24 * GiB, 3 * GiB + 1, 3},
      {8, 24 * GiB, 13 * GiB, 1},      // one file alone passes the half: still one
      {1, 24 * GiB, 1, 1},             // one core
      {0, 24 * GiB, 0, 1},             // a machine that reports no core
      {64, 256 * GiB, 2 * GiB, 64},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BatchWorkerCount(c.Cores, c.Memory, c.PerFile), c.Expected)
        << c.Cores << " cores, " << c.Memory << " bytes, " << c.PerFile << " a file";
  }
  EXPECT_EQ(FileMemoryNeed(0), 0u);
  EXPECT_EQ(FileMemoryNeed(36000000), 144000000u);
  EXPECT_GE(MachineCores(), 1);
  EXPECT_GT(PhysicalMemory(), 0u);
}

TEST_F(BatchWorkersTest, ASourceThatAnEarlierFileWritesWaitsForIt) {
  fs::create_directories(Dir() + "in/sub");
  fs::create_directory_symlink(Dir() + "out", Dir() + "link");
  for (const char* name : {"in/a.jpg", "in/b.jpg", "out/a.jpg", "out/c.jpg"}) {
    testsupport::WriteBytes(Dir() + name, {1});
  }
  const std::vector<std::string> sources = {Dir() + "in/a.jpg", Dir() + "in/b.jpg", Dir() + "out/a.jpg",
                                            Dir() + "in/sub/../b.jpg", Dir() + "link/b.jpg", Dir() + "out/c.jpg",
                                            Dir() + "in/a.jpg"};
  std::vector<std::string> outputs;
  for (const std::string& s : sources) outputs.push_back(Dir() + "out/" + ExtractFileName(s));
  // out/a.jpg is written by 0 and read by 2; out/b.jpg is written by 1,
  // 3 and 4 (4 reads it through a link); nothing writes in/a.jpg or
  // out/c.jpg before they are read.
  EXPECT_EQ(SourceDependencies(sources, outputs), (std::vector<int>{-1, -1, 0, -1, 3, -1, -1}));
}

TEST_F(BatchWorkersTest, AFileReadsTheOutputAnEarlierFileWroteAsOneAtATime) {
  // a.jpg is marked into out/a.jpg, which the list then takes as its next
  // source: marked twice, as one file at a time does it. A worker that
  // read out/a.jpg before it was written would mark the old picture.
  ProgramInfo().OutputFileType = otSameAsSource;
  const std::string mark = Mark();
  // Large enough that the next file's worker would start long before
  // this one is written.
  const std::string first = Source("a.jpg", 1200, 900, 1);
  const std::vector<std::uint8_t> old = EncodeJpeg(PatternBitmap(64, 48, 7), 90);
  // One file at a time, file by file through the mark set.
  testsupport::WriteBytes(Out("a.jpg"), old);
  TMark marks;
  marks.AddMarkFiles(std::vector<std::string>{mark});
  marks.LoadMarks();
  ASSERT_TRUE(marks.ProcessFile(first, Out("a.jpg")));
  ASSERT_TRUE(marks.ProcessFile(Out("a.jpg"), Out("a.jpg")));
  const std::vector<std::uint8_t> expected = testsupport::ReadBytes(Out("a.jpg"));
  for (int workers : {1, 4}) {
    SCOPED_TRACE(workers);
    testsupport::WriteBytes(Out("a.jpg"), old);
    std::vector<std::string> sources = {first, Out("a.jpg")};
    // Padding after it gives the workers something to run ahead on.
    for (int i = 0; i < 6; ++i) sources.push_back(Source("p" + std::to_string(i) + ".jpg", 40, 30, i));
    answers_ = {owAllYes};
    hooks_.Workers = workers;
    const TBatchResult r = RunBatch({mark}, sources, Dir() + "out", hooks_);
    EXPECT_EQ(r.Converted, 8);
    EXPECT_TRUE(testsupport::ReadBytes(Out("a.jpg")) == expected);
  }
}

TEST_F(BatchWorkersTest, LogNumberingProgressAndFailuresStayInListOrder) {
  // Large pictures first: the later, smaller ones finish first on their
  // workers, and damaged ones fail there.
  ProgramInfo().OutputFileType = otBmp;
  std::vector<std::string> sources;
  std::vector<bool> good;
  for (int i = 0; i < 14; ++i) {
    const std::string name = "s" + std::to_string(10 + i) + ".jpg";
    if (i % 4 == 2) {
      testsupport::WriteBytes(Dir() + "in/" + name, {0xFF, 0xD8, 0xFF, 0x00, 3, 4});
      sources.push_back(Dir() + "in/" + name);
      good.push_back(false);
    } else {
      const int side = 400 - 25 * i;
      sources.push_back(Source(name, side, side * 3 / 4, i));
      good.push_back(true);
    }
  }
  const std::string mark = Mark();
  for (int workers : {1, 3, 8}) {
    SCOPED_TRACE(workers);
    fs::remove_all(Dir() + "out");
    fs::create_directories(Dir() + "out");
    progress_.clear();
    pumps_ = 0;
    hooks_.Workers = workers;
    const TBatchResult r = RunBatch({mark}, sources, Dir() + "out", hooks_);
    ASSERT_EQ(r.Log.Count(), 3 + 14);
    int converted = 0;
    const std::string info = "jpg " + GetMessageText(msg::JpegQuality) + ":90% ";
    for (int i = 0; i < 14; ++i) {
      const std::string dest = Out("s" + std::to_string(10 + i) + ".bmp");
      const std::string expected = good[static_cast<std::size_t>(i)]
                                       ? std::to_string(++converted) + "." + info + sources[static_cast<std::size_t>(i)] +
                                             " => " + dest
                                       : GetMessageText(msg::LogFailed) + " " + sources[static_cast<std::size_t>(i)] +
                                             " => " + dest;
      EXPECT_EQ(r.Log[3 + i], expected);
      EXPECT_EQ(fs::exists(dest), good[static_cast<std::size_t>(i)]) << dest;
      ASSERT_EQ(progress_[static_cast<std::size_t>(i)].first, i);
      EXPECT_EQ(progress_[static_cast<std::size_t>(i)].second, ExtractFileName(dest));
    }
    EXPECT_EQ(r.Converted, converted);
    EXPECT_EQ(r.Log[1], GetMessageText(msg::LogConvertedCount) + std::to_string(converted) + "/14");
    EXPECT_EQ(pumps_, 14);
  }
}

TEST_F(BatchWorkersTest, QuestionsAnsweredEveryWayMatchOneFileAtATime) {
  // Five files; the outputs of a, c, d and e exist before the run. Each
  // case: the answers given in turn, then which files are asked about and
  // which outputs end up new.
  struct {
    const char* Name;
    std::vector<int> Answers;
    std::vector<std::string> Asked;
    std::string Written;  // the files whose outputs are new, in list order
  } const cases[] = {
      {"yes to each", {owYes, owYes, owYes, owYes}, {"a", "c", "d", "e"}, "abcde"},
      {"no to each", {owNo, owNo, owNo, owNo}, {"a", "c", "d", "e"}, "b"},
      {"closed", {}, {"a", "c", "d", "e"}, "b"},
      {"yes then no then all yes", {owYes, owNo, owAllYes}, {"a", "c", "d"}, "abde"},
      {"no then all no", {owNo, owAllNo}, {"a", "c"}, "b"},
      {"all yes", {owAllYes}, {"a"}, "abcde"},
      {"all no", {owAllNo}, {"a"}, "b"},
      {"yes then all no", {owYes, owAllNo}, {"a", "c"}, "ab"},
  };
  ProgramInfo().OutputFileType = otJpeg;
  std::vector<std::string> sources;
  int seed = 0;
  for (const char* n : {"a", "b", "c", "d", "e"}) sources.push_back(Source(std::string(n) + ".jpg", 90, 60, ++seed));
  const std::string mark = Mark();
  const std::vector<std::uint8_t> old = {7, 7, 7};
  for (const auto& c : cases) {
    for (int workers : {1, 4}) {
      SCOPED_TRACE(std::string(c.Name) + ", workers " + std::to_string(workers));
      fs::remove_all(Dir() + "out");
      fs::create_directories(Dir() + "out");
      for (const char* n : {"a", "c", "d", "e"}) testsupport::WriteBytes(Out(std::string(n) + ".jpeg"), old);
      answers_ = c.Answers;
      questions_.clear();
      progress_.clear();
      hooks_.Workers = workers;
      const TBatchResult r = RunBatch({mark}, sources, Dir() + "out", hooks_);
      std::vector<std::string> asked;
      for (const std::string& q : questions_) {
        ASSERT_EQ(q.substr(q.size() - GetMessageText(msg::OverwriteQuestion).size()),
                  GetMessageText(msg::OverwriteQuestion));
        asked.push_back(
            ExtractFileNameNoExt(ExtractFileName(q.substr(0, q.size() - GetMessageText(msg::OverwriteQuestion).size()))));
      }
      EXPECT_EQ(asked, c.Asked);
      std::string written;
      for (const char* n : {"a", "b", "c", "d", "e"}) {
        if (testsupport::ReadBytes(Out(std::string(n) + ".jpeg")) != old) written += n;
      }
      EXPECT_EQ(written, c.Written);
      EXPECT_EQ(r.Converted, static_cast<int>(written.size()));
      EXPECT_EQ(r.Log.Count(), 3 + static_cast<int>(written.size()));
      EXPECT_EQ(progress_.size(), written.size());
      // Nothing but the outputs: no temporary file of a dropped one.
      EXPECT_EQ(Names(Dir() + "out"), (std::vector<std::string>{"a.jpeg", "b.jpeg", "c.jpeg", "d.jpeg", "e.jpeg"}));
    }
  }
}

TEST_F(BatchWorkersTest, TheSameOutputNameTwiceAsksBecauseTheFirstWasJustWritten) {
  ProgramInfo().OutputFileType = otSameAsSource;
  fs::create_directories(Dir() + "in/sub");
  const std::string first = Source("x.jpg", 120, 90, 1);
  const std::string second = Dir() + "in/sub/x.jpg";
  testsupport::WriteBytes(second, EncodeJpeg(PatternBitmap(50, 70, 2), 90));
  const std::string mark = Mark();
  // The output of each source alone.
  std::map<std::string, std::vector<std::uint8_t>> alone;
  for (const std::string& s : {first, second}) {
    fs::remove(Out("x.jpg"));
    hooks_.Workers = 1;
    ASSERT_EQ(RunBatch({mark}, {s}, Dir() + "out", hooks_).Converted, 1);
    alone[s] = testsupport::ReadBytes(Out("x.jpg"));
  }
  ASSERT_NE(alone[first], alone[second]);
  for (int workers : {1, 2, 6}) {
    for (int answer : {owYes, owNo, owAllYes, owAllNo}) {
      SCOPED_TRACE("workers " + std::to_string(workers) + ", answer " + std::to_string(answer));
      fs::remove(Out("x.jpg"));
      questions_.clear();
      writtenAtQuestion_.clear();
      progress_.clear();
      answers_ = {answer};
      hooks_.Workers = workers;
      const TBatchResult r = RunBatch({mark}, {first, second}, Dir() + "out", hooks_);
      ASSERT_EQ(questions_.size(), 1u);
      EXPECT_EQ(questions_[0], Out("x.jpg") + GetMessageText(msg::OverwriteQuestion));
      EXPECT_EQ(writtenAtQuestion_[0], 1u) << "asked before the first output was written";
      const bool replaced = answer == owYes || answer == owAllYes;
      EXPECT_EQ(r.Converted, replaced ? 2 : 1);
      EXPECT_TRUE(testsupport::ReadBytes(Out("x.jpg")) == alone[replaced ? second : first]);
      EXPECT_EQ(Names(Dir() + "out"), std::vector<std::string>{"x.jpg"});
    }
  }
}

TEST_F(BatchWorkersTest, StopInTheMiddleWritesNothingMoreLeavesNoTemporaryFileAndEndsEveryWorker) {
  ProgramInfo().OutputFileType = otPng;
  std::vector<std::string> sources;
  for (int i = 0; i < 16; ++i) sources.push_back(Source("s" + std::to_string(10 + i) + ".jpg", 160, 120, i));
  const std::string mark = Mark();
  // A sanitizer starts a thread of its own with the first thread made.
  std::thread([] {}).join();
  const int before = ThreadCount();
  for (int workers : {1, 4, 8}) {
    SCOPED_TRACE(workers);
    fs::remove_all(Dir() + "out");
    fs::create_directories(Dir() + "out");
    progress_.clear();
    stopAfter_ = 3;  // pressed while the third file was in work
    hooks_.Workers = workers;
    const TBatchResult r = RunBatch({mark}, sources, Dir() + "out", hooks_);
    EXPECT_TRUE(r.Stopped);
    EXPECT_EQ(r.Converted, 3);
    EXPECT_EQ(r.Log[1], GetMessageText(msg::LogConvertedCount) + "3/16");
    EXPECT_EQ(r.Log[r.Log.Count() - 1], "Stop Convert");
    EXPECT_EQ(r.Log.Count(), 3 + 3 + 1);
    EXPECT_EQ(Names(Dir() + "out"), (std::vector<std::string>{"s10.png", "s11.png", "s12.png"}));
    EXPECT_EQ(ThreadCount(), before) << "a worker outlived the run";
  }
}

TEST_F(BatchWorkersTest, TheRunKeepsTheSettingsItStartedWithAndNeverWritesThem) {
  // The window may change the settings while the run pumps its events
  // (another window's settings dialog): files already prepared and files
  // still to come are written alike, with the settings of the start.
  ProgramInfo().OutputFileType = otJpeg;
  ProgramInfo().KeepJpgCompress = false;
  ProgramInfo().JpgCompress = 35;
  std::vector<std::string> sources;
  for (int i = 0; i < 8; ++i) sources.push_back(Source("s" + std::to_string(i) + ".jpg", 80, 60, i));
  hooks_.ProcessMessages = [] {
    ProgramInfo().JpgCompress = static_cast<std::uint8_t>(ProgramInfo().JpgCompress + 10);
    ProgramInfo().OutputFileType = otBmp;
  };
  hooks_.Workers = 4;
  const TBatchResult r = RunBatch({Mark()}, sources, Dir() + "out", hooks_);
  EXPECT_EQ(r.Converted, 8);
  for (int i = 0; i < 8; ++i) {
    const std::vector<std::uint8_t> bytes = testsupport::ReadBytes(Out("s" + std::to_string(i) + ".jpeg"));
    TBitmap decoded;
    int quality = 0;
    DecodeJpeg(bytes.data(), bytes.size(), decoded, &quality);
    EXPECT_EQ(quality, 35) << i;
  }
}

TEST_F(BatchWorkersTest, LoadedFilesInWorkFitInHalfTheMemory) {
  // 200 x 150 pictures need 4 x 90000 bytes each while they are worked on.
  ProgramInfo().OutputFileType = otBmp;
  std::vector<std::string> sources;
  for (int i = 0; i < 10; ++i) sources.push_back(Source("s" + std::to_string(i) + ".jpg", 200, 150, i));
  const std::string mark = Mark();
  struct {
    std::uint64_t Memory;
    int Most;  // the most files at once it allows
  } const cases[] = {{100000, 1}, {1000000, 1}, {1500000, 2}, {2200000, 3}, {0, 4}};
  std::vector<std::vector<std::uint8_t>> first;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Memory);
    fs::remove_all(Dir() + "out");
    fs::create_directories(Dir() + "out");
    hooks_.Workers = 4;
    hooks_.Memory = c.Memory;
    const TBatchResult r = RunBatch({mark}, sources, Dir() + "out", hooks_);
    EXPECT_EQ(r.Converted, 10);
    EXPECT_GE(r.MostFilesAtOnce, 1);
    EXPECT_LE(r.MostFilesAtOnce, c.Most);
    std::vector<std::vector<std::uint8_t>> outputs;
    for (int i = 0; i < 10; ++i) outputs.push_back(testsupport::ReadBytes(Out("s" + std::to_string(i) + ".bmp")));
    if (first.empty()) first = outputs;
    EXPECT_TRUE(outputs == first);
  }
}

TEST(ReaderWarningCapture, KeepsThisThreadsWarningsAndNoOtherThreads) {
  TakeReaderWarnings();
  std::vector<std::string> caught;
  {
    TReaderWarningCapture capture;
    PostReaderWarning("mine");
    std::thread([] { PostReaderWarning("another thread's"); }).join();
    {
      TReaderWarningCapture inner;
      PostReaderWarning("inner");
      EXPECT_EQ(inner.Take(), std::vector<std::string>{"inner"});
    }
    PostReaderWarning("mine again");
    caught = capture.Take();
  }
  PostReaderWarning("after");
  EXPECT_EQ(caught, (std::vector<std::string>{"mine", "mine again"}));
  EXPECT_EQ(TakeReaderWarnings(), (std::vector<std::string>{"another thread's", "after"}));
}

TEST_F(BatchWorkersTest, ReadersWarningsArePostedOnTheCallingThreadAtTheirFilesTurn) {
  if (!testsupport::HavePillow()) GTEST_SKIP() << testsupport::SkipReason("Pillow");
  // JPEG-coded TIFF files whose strip ends half-way: each loads with one
  // warning. Written by Pillow; the strip's byte count is then halved in
  // the file's directory.
  const testsupport::CommandResult made = testsupport::Run({"/usr/bin/python3", "-c", R"PY(
import struct, sys
from PIL import Image
for i, name in enumerate(sys.argv[1:]):
    im = Image.new('RGB', (160 - 30 * i, 96))
    im.putdata([((x * 3 + i) % 256, y * 2, (x + y) % 256) for y in range(96) for x in range(160 - 30 * i)])
    im.save(name, compression='jpeg')
    data = bytearray(open(name, 'rb').read())
    assert data[:2] == b'II'
    ifd = struct.unpack_from('<I', data, 4)[0]
    for e in range(struct.unpack_from('<H', data, ifd)[0]):
        at = ifd + 2 + 12 * e
        tag, kind, count = struct.unpack_from('<HHI', data, at)
        if tag == 279 and count == 1:
            if kind == 3:
                struct.pack_into('<H', data, at + 8, struct.unpack_from('<H', data, at + 8)[0] // 2)
            else:
                struct.pack_into('<I', data, at + 8, struct.unpack_from('<I', data, at + 8)[0] // 2)
    open(name, 'wb').write(data)
)PY", Dir() + "in/w0.tif", Dir() + "in/w1.tif", Dir() + "in/w2.tif"});
  ASSERT_EQ(made.ExitCode, 0) << made.Err;
  ProgramInfo().OutputFileType = otPng;
  // Warning files at 1, 3 and 4; the output of 4 exists and is kept, so
  // its file is never loaded one at a time and tells nothing.
  const std::vector<std::string> sources = {Source("a.jpg", 300, 200, 1), Dir() + "in/w0.tif",
                                            Source("b.jpg", 300, 200, 2), Dir() + "in/w1.tif", Dir() + "in/w2.tif",
                                            Source("c.jpg", 40, 30, 3)};
  const std::string mark = Mark();
  for (int workers : {1, 4}) {
    SCOPED_TRACE(workers);
    fs::remove_all(Dir() + "out");
    fs::create_directories(Dir() + "out");
    testsupport::WriteBytes(Out("w2.png"), {1});
    answers_ = {owNo};
    progress_.clear();
    TakeReaderWarnings();
    std::vector<std::size_t> postedAt;  // files done when each warning came
    SetReaderWarningNotifier([&] {
      EXPECT_EQ(std::this_thread::get_id(), caller_);
      postedAt.push_back(progress_.size());
    });
    hooks_.Workers = workers;
    const TBatchResult r = RunBatch({mark}, sources, Dir() + "out", hooks_);
    SetReaderWarningNotifier({});
    EXPECT_EQ(r.Converted, 5);
    EXPECT_EQ(postedAt, (std::vector<std::size_t>{1, 3}));
    EXPECT_EQ(TakeReaderWarnings().size(), 2u);
  }
}
