// The batch run: mark sets for the whole list, workers that prepare the
// files, and the GUI side that asks, writes and logs them in list order.

#include "imaging/batch.h"

#include <sched.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "app/messages.h"
#include "app/routines.h"
#include "app/settings.h"
#include "core/files.h"
#include "formats/common/reader_warnings.h"
#include "imaging/mark.h"

namespace {

std::chrono::steady_clock::time_point ClockNow(const TBatchHooks& hooks) {
  return hooks.Clock ? hooks.Clock() : std::chrono::steady_clock::now();
}

// One file of the list as the workers see it.
struct TBatchFile {
  std::string Source;
  std::string Dest;
  int WaitFor = -1;  // the earlier file whose output this one reads
};

// What a worker made of a file.
struct TBatchFileResult {
  bool Ready = false;
  TMark::TPreparedFile Prepared;
  std::vector<std::string> Warnings;  // the readers' warnings of its loading
};

// Raised into a file's work when Stop came while it waited for memory.
struct EBatchStopped : std::exception {
  const char* what() const noexcept override { return "The batch was stopped."; }
};

// The workers and what they hand over. Files are handed out in list order;
// a worker starts one only while
// - it lies less than the look-ahead past the file the GUI side is at
//   (so that finished outputs waiting for their turn stay few),
// - the file whose output it reads, if any, has been dealt with, and
// - fewer files are in work than the memory rule allows for the largest
//   picture seen so far.
// Once its picture is loaded, a file goes on only while the needs of the
// files that went on fit in half of the memory, or none is in work.
class TBatchPool {
 public:
  TBatchPool(std::vector<TBatchFile> files, std::vector<std::unique_ptr<TMark>> markSets, int cores,
             std::uint64_t physicalMemory)
      : files_(std::move(files)),
        results_(files_.size()),
        markSets_(std::move(markSets)),
        cores_(cores),
        physicalMemory_(physicalMemory),
        allowed_(BatchWorkerCount(cores, physicalMemory, 0)),
        lookAhead_(static_cast<int>(markSets_.size()) * 2),
        budget_(physicalMemory / 2) {
    try {
      for (std::unique_ptr<TMark>& marks : markSets_) {
        TMark* m = marks.get();
        threads_.emplace_back([this, m] { Work(*m); });
      }
    } catch (const std::system_error&) {
      // Fewer threads than asked for still do the work; none at all
      // cannot.
      if (threads_.empty()) throw;
    }
  }

  ~TBatchPool() { Stop(); }

  TBatchPool(const TBatchPool&) = delete;
  TBatchPool& operator=(const TBatchPool&) = delete;

  // Waits until file i is prepared and takes what was made of it.
  TBatchFileResult Take(int i) {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto k = static_cast<std::size_t>(i);
    done_.wait(lock, [&] { return results_[k].Ready; });
    TBatchFileResult taken = std::move(results_[k]);
    results_[k] = TBatchFileResult{};
    return taken;
  }

  // File i is dealt with (written, failed or passed over): what a worker
  // made of it and has not been taken is dropped, and the files after it
  // may go ahead.
  void Resolved(int i) {
    TBatchFileResult dropped;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      resolved_ = i + 1;
      dropped = std::move(results_[static_cast<std::size_t>(i)]);
      results_[static_cast<std::size_t>(i)] = TBatchFileResult{};
    }
    work_.notify_all();
  }

  int MostFilesAtOnce() {
    std::lock_guard<std::mutex> lock(mutex_);
    return mostHolders_;
  }

  // No file starts any more; the files in work are finished and dropped
  // with everything not taken, and every worker has ended on return.
  void Stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopped_ = true;
    }
    work_.notify_all();
    done_.notify_all();
    for (std::thread& t : threads_) {
      if (t.joinable()) t.join();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    for (TBatchFileResult& r : results_) r = TBatchFileResult{};
  }

 private:
  // Counts a loaded file's need against the memory, once it fits there;
  // returns what it counted.
  std::uint64_t WaitForMemory(std::int64_t pictureBytes) {
    const std::uint64_t need = std::max<std::uint64_t>(FileMemoryNeed(pictureBytes), 1);
    std::unique_lock<std::mutex> lock(mutex_);
    if (need > largestNeed_) {
      largestNeed_ = need;
      allowed_ = BatchWorkerCount(cores_, physicalMemory_, largestNeed_);
    }
    done_.wait(lock, [&] { return stopped_ || holders_ == 0 || budget_ == 0 || held_ + need <= budget_; });
    if (stopped_) throw EBatchStopped();
    held_ += need;
    ++holders_;
    mostHolders_ = std::max(mostHolders_, holders_);
    return need;
  }

  bool MayStart() const {
    if (next_ >= static_cast<int>(files_.size())) return false;
    return busy_ < allowed_ && next_ < resolved_ + lookAhead_ &&
           files_[static_cast<std::size_t>(next_)].WaitFor < resolved_;
  }

  void Work(TMark& marks) {
    // The rotating and resizing of marks scratch in here, never in the
    // settings object's bitmap, which the GUI thread's preview uses.
    TBitmap scratch;
    marks.ScratchBitmap = &scratch;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      // Files the GUI side has passed over need no work.
      next_ = std::max(next_, resolved_);
      work_.wait(lock, [&] {
        next_ = std::max(next_, resolved_);
        return stopped_ || next_ >= static_cast<int>(files_.size()) || MayStart();
      });
      if (stopped_ || next_ >= static_cast<int>(files_.size())) break;
      const int i = next_++;
      ++busy_;
      const TBatchFile& file = files_[static_cast<std::size_t>(i)];
      lock.unlock();

      TBatchFileResult made;
      std::uint64_t held = 0;  // what this file counts against the memory
      {
        TReaderWarningCapture capture;
        try {
          made.Prepared = marks.PrepareFile(file.Source, file.Dest, nullptr,
                                            [this, &held](std::int64_t bytes) { held = WaitForMemory(bytes); });
        } catch (...) {
          // Whatever escapes the file's work fails that file alone.
          made.Prepared = TMark::TPreparedFile{};
        }
        made.Warnings = capture.Take();
      }
      made.Ready = true;

      lock.lock();
      --busy_;
      held_ -= held;
      if (held > 0) --holders_;
      // A file the GUI side has passed over meanwhile is dropped.
      if (i >= resolved_ && !stopped_) results_[static_cast<std::size_t>(i)] = std::move(made);
      done_.notify_all();
      work_.notify_all();
    }
    lock.unlock();
    marks.ScratchBitmap = nullptr;
  }

  const std::vector<TBatchFile> files_;
  std::vector<TBatchFileResult> results_;
  std::vector<std::unique_ptr<TMark>> markSets_;
  const int cores_;
  const std::uint64_t physicalMemory_;

  std::mutex mutex_;
  std::condition_variable work_;  // a worker may start a file, or must end
  std::condition_variable done_;  // a file is prepared
  int allowed_;
  const int lookAhead_;
  std::uint64_t largestNeed_ = 0;
  const std::uint64_t budget_;  // half the physical memory (0: not known)
  std::uint64_t held_ = 0;      // the needs of the files that went on
  int holders_ = 0;             // those files
  int mostHolders_ = 0;
  int next_ = 0;      // the next file to hand out
  int resolved_ = 0;  // the files before this one are dealt with
  int busy_ = 0;      // files in work
  bool stopped_ = false;
  std::vector<std::thread> threads_;  // last: they end before the rest goes
};

// The file a path names, with links and "." or ".." steps resolved as far
// as they lead: the whole path when it exists, else its folder.
std::string ResolvedPath(const std::string& path) {
  if (char* full = ::realpath(path.c_str(), nullptr)) {
    std::string resolved(full);
    std::free(full);
    return resolved;
  }
  const std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) return path;
  const std::string folder = slash == 0 ? std::string("/") : path.substr(0, slash);
  if (char* full = ::realpath(folder.c_str(), nullptr)) {
    std::string resolved(full);
    std::free(full);
    if (resolved.back() != '/') resolved += '/';
    return resolved + path.substr(slash + 1);
  }
  return path;
}

}  // namespace

int BatchWorkerCount(int cores, std::uint64_t physicalMemory, std::uint64_t memoryPerFile) {
  int workers = std::max(cores, 1);
  if (physicalMemory > 0 && memoryPerFile > 0) {
    const std::uint64_t fit = (physicalMemory / 2) / memoryPerFile;
    if (fit < static_cast<std::uint64_t>(workers)) workers = static_cast<int>(fit);
  }
  return std::max(workers, 1);
}

std::uint64_t FileMemoryNeed(std::int64_t pictureBytes) {
  return pictureBytes > 0 ? static_cast<std::uint64_t>(pictureBytes) * 4 : 0;
}

int MachineCores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return count;
  }
  return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

std::uint64_t PhysicalMemory() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return 0;
  return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
}

std::vector<int> SourceDependencies(const std::vector<std::string>& sources, const std::vector<std::string>& outputs) {
  std::vector<int> waitFor(sources.size(), -1);
  std::map<std::string, int> written;  // a resolved output path and the last file writing it
  for (std::size_t i = 0; i < sources.size(); ++i) {
    const auto found = written.find(ResolvedPath(sources[i]));
    if (found != written.end()) waitFor[i] = found->second;
    if (i >= outputs.size()) continue;
    // The name itself, and where it leads when it is a link that a write
    // goes through.
    const std::string& output = outputs[i];
    const std::string::size_type slash = output.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : output.substr(0, slash + 1);
    std::string named = ResolvedPath(folder);
    if (named.back() != '/') named += '/';
    written[named + output.substr(slash == std::string::npos ? 0 : slash + 1)] = static_cast<int>(i);
    written[ResolvedPath(output)] = static_cast<int>(i);
  }
  return waitFor;
}

TBatchResult RunBatch(const std::vector<std::string>& markFiles, const std::vector<std::string>& sources,
                      const std::string& folder, const TBatchHooks& hooks) {
  TBatchResult result;
  result.Total = static_cast<int>(sources.size());
  const auto start = ClockNow(hooks);

  // The settings as they stand now serve the whole run; the workers get
  // copies and never read the settings object.
  const TProgramInfo& settings = ProgramInfo();
  const TOutputOptions options = CurrentOutputOptions();
  const int outputType = settings.OutputFileType;
  const int workers =
      std::clamp(hooks.Workers > 0 ? hooks.Workers : MachineCores(), 1, std::max(1, result.Total));

  // One mark set per worker, all loaded here: a damaged mark file ends the
  // run before any file.
  std::vector<std::unique_ptr<TMark>> markSets;
  for (int w = 0; w < workers; ++w) {
    auto marks = std::make_unique<TMark>();
    marks->ProgramDir = ProgramDir();
    marks->GifDisableAnimate = settings.GifDisableAnimate;
    marks->GifMarkFirst = settings.GifMarkFirst;
    marks->OutputOptions = options;
    marks->AddMarkFiles(markFiles);
    marks->LoadMarks();
    markSets.push_back(std::move(marks));
  }

  // Texts are joined piece by piece: a language text is never a pattern.
  const std::string failedText = GetMessageText(msg::LogFailed);
  const std::string questionText = GetMessageText(msg::OverwriteQuestion);
  const std::string outputFolder = folder.empty() || folder.back() == '/' ? folder : folder + "/";

  std::vector<std::string> dests;
  dests.reserve(sources.size());
  for (const std::string& source : sources) {
    dests.push_back(MakeOutputFileName(outputFolder + ExtractFileName(source), outputType));
  }
  std::vector<TBatchFile> files;
  const std::vector<int> waitFor = SourceDependencies(sources, dests);
  for (std::size_t i = 0; i < sources.size(); ++i) files.push_back({sources[i], dests[i], waitFor[i]});

  std::unique_ptr<TBatchPool> pool;
  if (!files.empty()) {
    pool = std::make_unique<TBatchPool>(std::move(files), std::move(markSets), workers,
                                        hooks.Memory > 0 ? hooks.Memory : PhysicalMemory());
  }

  int answer = owNo;
  for (std::size_t i = 0; i < sources.size(); ++i) {
    const int index = static_cast<int>(i);
    if (hooks.StopRequested && hooks.StopRequested()) {
      result.Log.Add("Stop Convert");
      result.Stopped = true;
      break;
    }
    const std::string& source = sources[i];
    const std::string& dest = dests[i];

    // A link at the output name counts as a file there: answered Yes, the
    // link itself is replaced, so the output never lands outside the
    // folder.
    if (answer != owAllYes && NameTaken(dest)) {
      bool skip = answer == owAllNo;
      if (!skip) {
        answer = hooks.QueryOverwrite ? hooks.QueryOverwrite(dest + questionText) : owNo;
        if (answer != owYes && answer != owAllYes) {
          // Anything but a yes keeps the file; only All No holds for the rest.
          if (answer != owAllNo) answer = owNo;
          skip = true;
        }
      }
      if (skip) {
        pool->Resolved(index);
        continue;
      }
    }

    TBatchFileResult made = pool->Take(index);
    const bool converted = CommitPreparedFile(made.Prepared);
    pool->Resolved(index);
    for (const std::string& warning : made.Warnings) PostReaderWarning(warning);
    if (converted) {
      ++result.Converted;
      result.Log.Add(std::to_string(result.Converted) + "." + OutputDescription(made.Prepared.JpegQuality) + " " +
                     source + " => " + dest);
    } else {
      result.Log.Add(failedText + " " + source + " => " + dest);
    }
    if (hooks.Progress) hooks.Progress(index, ExtractFileName(dest));
    if (hooks.ProcessMessages) hooks.ProcessMessages();
  }
  // Nothing after the last written file: the workers end, and what they
  // made beyond it goes without a trace.
  if (pool) {
    pool->Stop();
    result.MostFilesAtOnce = pool->MostFilesAtOnce();
    pool.reset();
  }

  result.ElapsedSeconds = std::chrono::duration_cast<std::chrono::seconds>(ClockNow(hooks) - start).count();
  result.Log.Insert(0, GetMessageText(msg::LogElapsedSeconds) + std::to_string(result.ElapsedSeconds));
  result.Log.Insert(0, GetMessageText(msg::LogConvertedCount) + std::to_string(result.Converted) + "/" +
                           std::to_string(result.Total));
  result.Log.Insert(0, GetMessageText(msg::LogHead));
  return result;
}
