#pragma once
// The batch run without its window: loads the mark sets once, takes every
// source file through them into the output folder with the overwrite rule,
// and builds the log with its summary lines. The main window supplies the
// overwrite query, the stop flag, the message pump, the progress display
// and the clock, and shows the log.
//
// Files are loaded, marked and encoded on worker threads, each with a mark
// set of its own, while everything the user sees stays on the calling
// (GUI) thread in list order, as when one file is done at a time: the stop
// check, the existence check and the overwrite question, putting the
// output in place, the log line, the progress, the readers' warnings and
// the message pump. A worker writes its output under no name (or a
// temporary one) beside the target; it takes the output's name only when
// its turn comes, so an output answered No, or one left when Stop ends the
// run, never appears. Every hook is called on the calling thread only.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/routines.h"
#include "core/strings.h"

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
  // How many files may be worked on at once; 0 for one per core of the
  // machine. The memory rule of BatchWorkerCount holds either way.
  int Workers = 0;
  // The physical memory the memory rule counts with; 0 for the machine's.
  std::uint64_t Memory = 0;
};

struct TBatchResult {
  TStringList Log;     // the three summary lines, then one line per processed file
  int Converted = 0;
  int Total = 0;
  bool Stopped = false;
  std::int64_t ElapsedSeconds = 0;
  int MostFilesAtOnce = 0;  // the most loaded files in work at one time
};

// Runs the batch: markFiles bottom layer first, sources in list order,
// folder the output folder (with or without a final "/"). A mark file that
// does not unpack raises EMarkFileError before any file is touched. The
// output type and the output options are those of the settings when the
// run starts; the run never writes the settings.
TBatchResult RunBatch(const std::vector<std::string>& markFiles, const std::vector<std::string>& sources,
                      const std::string& folder, const TBatchHooks& hooks);

// How many files a batch works on at once: one per core, fewer when
// memoryPerFile times the workers would pass half of the physical memory,
// never fewer than one. A memory or a need of 0 (not known) leaves one per
// core. A run counts with the largest file it has loaded so far; and since
// the first files start before any is loaded, a worker that has loaded its
// picture also waits until the needs of the files in work, its own added,
// fit in half of the memory (or no other file is in work).
int BatchWorkerCount(int cores, std::uint64_t physicalMemory, std::uint64_t memoryPerFile);
// The memory a file takes while it is worked on, from its decoded picture:
// the work picture, the scratch pictures of the source treatment and what
// the encoders hold.
std::uint64_t FileMemoryNeed(std::int64_t pictureBytes);
// The cores this process may run on (at least 1), and the machine's
// physical memory in bytes (0 when not known).
int MachineCores();
std::uint64_t PhysicalMemory();

// For each file of the list, the last earlier file whose output is the
// very file it reads (the same path after links and "." or ".." steps are
// resolved), or -1. Such a file is loaded only after that output has been
// written or passed over, as it would be one file at a time.
std::vector<int> SourceDependencies(const std::vector<std::string>& sources, const std::vector<std::string>& outputs);
