#pragma once
// The batch run without its window: loads the mark set once, takes every
// source file through it into the output folder with the overwrite rule,
// and builds the log with its summary lines. The main window supplies the
// overwrite query, the stop flag, the message pump, the progress display
// and the clock, and shows the log.

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "core/strings.h"

// Overwrite answers.
enum TOverwriteAnswer : int { owNo = 0, owYes = 1, owAllYes = 2, owAllNo = 3 };

struct TBatchHooks {
  // Asks whether to replace an existing output; the question is the
  // output's path followed by message 9012. Returns a TOverwriteAnswer.
  std::function<int(const std::string& question)> QueryOverwrite;
  // Tested before every file.
  std::function<bool()> StopRequested;
  // Lets pending window events through after each processed file.
  std::function<void()> ProcessMessages;
  // After each processed file: its 0-based place in the list and the file
  // name of its output.
  std::function<void(int position, const std::string& outputName)> Progress;
  // A monotonic clock for the elapsed time (steady_clock when empty).
  std::function<std::chrono::steady_clock::time_point()> Clock;
};

struct TBatchResult {
  TStringList Log;     // the three summary lines, then one line per processed file
  int Converted = 0;
  int Total = 0;
  bool Stopped = false;
  std::int64_t ElapsedSeconds = 0;
};

// Runs the batch: markFiles bottom layer first, sources in list order,
// folder the output folder (with or without a final "/"). A mark file that
// does not unpack raises EMarkFileError before any file is touched.
TBatchResult RunBatch(const std::vector<std::string>& markFiles, const std::vector<std::string>& sources,
                      const std::string& folder, const TBatchHooks& hooks);
