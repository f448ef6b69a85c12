// The main window's run state without a window: which commands are on
// while a batch or a folder search runs, and closing during a run.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "windows/main_run_state.h"

namespace {

// The commands as one word: C convert, S stop batch, A add folder, T stop
// search, U setup, L the log is shown; a dash where it is off.
std::string Commands(const TMainRunState& r) {
  std::string s;
  s += r.ConvertEnabled() ? 'C' : '-';
  s += r.StopBatchEnabled() ? 'S' : '-';
  s += r.AddFolderEnabled() ? 'A' : '-';
  s += r.StopSearchEnabled() ? 'T' : '-';
  s += r.SetupEnabled() ? 'U' : '-';
  s += r.ShowsLog() ? 'L' : '-';
  return s;
}

struct TStep {
  const char* What;
  // The answer a start or a close gives (ignored for the other steps).
  bool Answer;
  const char* Commands;
};

struct TCase {
  const char* Name;
  std::vector<TStep> Steps;
};

bool Apply(TMainRunState& r, const std::string& what) {
  if (what == "files") r.SetHasFiles(true);
  if (what == "empty") r.SetHasFiles(false);
  if (what == "batch") return r.StartBatch();
  if (what == "stop") r.RequestStop();
  if (what == "end batch") r.EndBatch();
  if (what == "search") return r.StartSearch();
  if (what == "end search") r.EndSearch();
  if (what == "close") return r.RequestClose();
  if (what == "take close") return r.TakePendingClose();
  return false;
}

TEST(MainRunState, CommandsFollowTheRuns) {
  const std::vector<TCase> cases = {
      {"idle",
       {{"", false, "--A-UL"}, {"files", false, "C-A-UL"}, {"empty", false, "--A-UL"}}},
      {"batch then stop",
       {{"files", false, "C-A-UL"},
        {"batch", true, "-S---L"},
        // A change of the list does not bring the convert commands back.
        {"files", false, "-S---L"},
        {"batch", false, "-S---L"},
        {"search", false, "-S---L"},
        {"stop", false, "-----L"},
        {"stop", false, "-----L"},
        {"end batch", false, "C-A-UL"}}},
      {"search then batch is refused",
       {{"files", false, "C-A-UL"},
        {"search", true, "---TUL"},
        {"search", false, "---TUL"},
        {"batch", false, "---TUL"},
        {"end search", false, "C-A-UL"},
        {"batch", true, "-S---L"}}},
      {"stop without a batch does nothing",
       {{"stop", false, "--A-UL"}, {"files", false, "C-A-UL"}, {"batch", true, "-S---L"}}},
      {"close while idle",
       {{"close", true, "--A-UL"}, {"take close", false, "--A-UL"}}},
      {"close during a batch waits for its end",
       {{"files", false, "C-A-UL"},
        {"batch", true, "-S---L"},
        {"close", false, "-S----"},
        {"take close", false, "-S----"},
        {"stop", false, "------"},
        {"end batch", false, "C-A-U-"},
        {"take close", true, "C-A-UL"},
        {"take close", false, "C-A-UL"}}},
      {"close during a search waits for its end",
       {{"search", true, "---TUL"},
        {"close", false, "---TU-"},
        {"end search", false, "--A-U-"},
        {"take close", true, "--A-UL"}}},
  };
  for (const TCase& c : cases) {
    TMainRunState r;
    for (size_t i = 0; i < c.Steps.size(); ++i) {
      const TStep& step = c.Steps[i];
      const bool answer = Apply(r, step.What);
      const std::string what = step.What;
      if (what == "batch" || what == "search" || what == "close" || what == "take close") {
        EXPECT_EQ(answer, step.Answer) << c.Name << ", step " << i << " (" << what << ")";
      }
      EXPECT_EQ(Commands(r), step.Commands) << c.Name << ", step " << i << " (" << what << ")";
    }
  }
}

TEST(MainRunState, StopRequestLastsUntilTheBatchEnds) {
  TMainRunState r;
  ASSERT_TRUE(r.StartBatch());
  EXPECT_FALSE(r.StopRequested());
  r.RequestStop();
  EXPECT_TRUE(r.StopRequested());
  r.EndBatch();
  EXPECT_FALSE(r.StopRequested());
  EXPECT_FALSE(r.BatchRunning());
  // The next batch starts without the old request.
  ASSERT_TRUE(r.StartBatch());
  EXPECT_FALSE(r.StopRequested());
}

}  // namespace
