// A batch over well over a thousand damaged pictures of every format the
// program reads: each seed picture of the fuzz corpora, cut short, with
// bits flipped and with header fields set to extremes (written by
// damaged_images.py at test time), and the small files kept for the fuzz
// targets that claim pictures of 16384 x 16384 their bytes cannot hold.
// The batch must get through all of them, log every file (a failed line
// for each claim), convert the good ones as it does when they are alone
// (byte for byte: nothing of a damaged file carries over) and leave only
// whole output files behind.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "app/messages.h"
#include "core/graphic.h"
#include "imaging/batch.h"
#include "imaging/mark.h"
#include "imaging_fixture.h"

namespace {

namespace fs = std::filesystem;

// Every seed picture whose extension the program reads.
std::vector<std::string> SeedPictures() {
  std::vector<std::string> seeds;
  for (const auto& folder : fs::directory_iterator(testsupport::SourceDir() + "/fuzz/corpus")) {
    for (const auto& file : fs::directory_iterator(folder.path())) {
      std::string ext = file.path().extension().string();
      if (ext.size() > 1 && TPicture::FindFileFormat(ext.substr(1)) != nullptr) seeds.push_back(file.path().string());
    }
  }
  std::sort(seeds.begin(), seeds.end());
  return seeds;
}

std::string Basename(const std::string& path) { return fs::path(path).filename().string(); }

// The kept inputs of the fuzz targets that claim large pictures.
std::vector<std::string> LargeClaims() {
  std::vector<std::string> claims;
  for (const auto& target : fs::directory_iterator(testsupport::SourceDir() + "/fuzz/regressions")) {
    const fs::path folder = target.path() / "large-claims";
    if (!fs::is_directory(folder)) continue;
    for (const auto& file : fs::directory_iterator(folder)) claims.push_back(file.path().string());
  }
  std::sort(claims.begin(), claims.end());
  return claims;
}

}  // namespace

TEST_F(ImagingTest, ABatchOfDamagedPicturesCompletesLogsEveryFileAndLeavesOnlyWholeOutputs) {
  if (!testsupport::HaveTool("/usr/bin/python3")) GTEST_SKIP() << testsupport::SkipReason("/usr/bin/python3");
  const std::vector<std::string> seeds = SeedPictures();
  std::set<std::string> kinds;
  for (const std::string& s : seeds) kinds.insert(fs::path(s).extension().string());
  ASSERT_GE(kinds.size(), 15u) << "the corpora lack formats";

  std::vector<std::string> args = {"/usr/bin/python3", testsupport::SourceDir() + "/tests/imaging/damaged_images.py",
                                   Dir() + "in"};
  args.insert(args.end(), seeds.begin(), seeds.end());
  const testsupport::CommandResult made = testsupport::Run(args);
  ASSERT_EQ(made.ExitCode, 0) << made.Err;
  std::vector<std::string> sources;
  for (const auto& f : fs::directory_iterator(Dir() + "in")) sources.push_back(f.path().string());
  ASSERT_GE(sources.size(), 1000u);
  ASSERT_EQ(std::to_string(sources.size()) + "\n", made.Out);
  const std::vector<std::string> claims = LargeClaims();
  ASSERT_GE(claims.size(), 8u);
  for (std::size_t i = 0; i < claims.size(); ++i) {
    const std::string copy = Dir() + "in/claim-" + std::to_string(i) + "-" + Basename(claims[i]);
    fs::copy_file(claims[i], copy);
    sources.push_back(copy);
  }
  std::sort(sources.begin(), sources.end());

  TMark m;
  m.AddMark("");
  m.Records[0].SetPictureType(".bmp");
  m.MarkPictures[0] = PatternBitmap(5, 3);
  ASSERT_TRUE(m.SaveMarkFile(0, Dir() + "m.spm"));
  fs::create_directories(Dir() + "out");
  fs::create_directories(Dir() + "alone");
  ProgramInfo().OutputFileType = 3;  // BMP

  // The good pictures alone first: what they convert to (a few seeds are
  // pictures the readers refuse on purpose).
  std::vector<std::string> goodSources;
  for (const std::string& s : sources) {
    if (Basename(s).rfind("good-", 0) == 0) goodSources.push_back(s);
  }
  ASSERT_EQ(goodSources.size(), seeds.size());
  const TBatchResult alone = RunBatch({Dir() + "m.spm"}, goodSources, Dir() + "alone", TBatchHooks{});
  EXPECT_GE(alone.Converted * 10, alone.Total * 9);

  const TBatchResult r = RunBatch({Dir() + "m.spm"}, sources, Dir() + "out", TBatchHooks{});
  EXPECT_FALSE(r.Stopped);
  EXPECT_EQ(r.Total, static_cast<int>(sources.size()));
  ASSERT_EQ(r.Log.Count(), 3 + static_cast<int>(sources.size()));

  // One line per file in list order: converted or failed, nothing else.
  const std::string failed = GetMessageText(msg::LogFailed) + " ";
  std::set<std::string> expected;  // the outputs of converted files
  int failures = 0;
  for (std::size_t i = 0; i < sources.size(); ++i) {
    const std::string& line = r.Log[static_cast<int>(i) + 3];
    const std::string dest = Dir() + "out/" + fs::path(sources[i]).stem().string() + ".bmp";
    ASSERT_NE(line.find(" " + sources[i] + " => " + dest), std::string::npos) << line;
    const bool converted = line.rfind(failed, 0) != 0;
    if (Basename(sources[i]).rfind("claim-", 0) == 0) {
      EXPECT_FALSE(converted) << line;
    }
    if (converted) {
      expected.insert(Basename(dest));
    } else {
      ++failures;
    }
    const std::string aloneDest = Dir() + "alone/" + Basename(dest);
    if (Basename(sources[i]).rfind("good-", 0) == 0) {
      EXPECT_EQ(converted, fs::exists(aloneDest)) << line;
      if (converted && fs::exists(aloneDest)) {
        EXPECT_EQ(testsupport::ReadBytes(dest), testsupport::ReadBytes(aloneDest)) << dest;
      }
    }
  }
  EXPECT_EQ(r.Converted + failures, static_cast<int>(sources.size()));
  EXPECT_GT(failures, 0);

  // The output folder holds exactly the converted files (no temporary
  // ones), each a whole BMP: its stated size is its size and it loads.
  std::set<std::string> present;
  std::vector<std::string> outputs;
  for (const auto& f : fs::directory_iterator(Dir() + "out")) {
    present.insert(f.path().filename().string());
    outputs.push_back(f.path().string());
  }
  EXPECT_EQ(present, expected);
  for (const std::string& out : outputs) {
    const std::vector<std::uint8_t> bytes = testsupport::ReadBytes(out);
    ASSERT_GE(bytes.size(), 54u) << out;
    const std::uint32_t stated = bytes[2] | bytes[3] << 8 | bytes[4] << 16 | static_cast<std::uint32_t>(bytes[5]) << 24;
    EXPECT_EQ(stated, bytes.size()) << out;
  }
  if (testsupport::HavePillow()) {
    std::vector<std::string> check = {"/usr/bin/python3", "-c",
                                      "import sys\nfrom PIL import Image\n"
                                      "for name in sys.argv[1:]:\n"
                                      "    with Image.open(name) as im:\n"
                                      "        im.load()\n"};
    check.insert(check.end(), outputs.begin(), outputs.end());
    const testsupport::CommandResult verified = testsupport::Run(check);
    EXPECT_EQ(verified.ExitCode, 0) << verified.Err;
  }
}
