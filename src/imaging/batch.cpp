// The batch run: one mark set for the whole list, the overwrite rule, the
// log and its summary.

#include "imaging/batch.h"

#include "app/messages.h"
#include "app/routines.h"
#include "app/settings.h"
#include "core/files.h"
#include "imaging/mark.h"

namespace {

std::chrono::steady_clock::time_point ClockNow(const TBatchHooks& hooks) {
  return hooks.Clock ? hooks.Clock() : std::chrono::steady_clock::now();
}

}  // namespace

TBatchResult RunBatch(const std::vector<std::string>& markFiles, const std::vector<std::string>& sources,
                      const std::string& folder, const TBatchHooks& hooks) {
  TBatchResult result;
  result.Total = static_cast<int>(sources.size());
  const auto start = ClockNow(hooks);

  TMark marks;
  marks.ProgramDir = ProgramDir();
  marks.GifDisableAnimate = ProgramInfo().GifDisableAnimate;
  marks.GifMarkFirst = ProgramInfo().GifMarkFirst;
  marks.AddMarkFiles(markFiles);
  marks.LoadMarks();

  // Texts are joined piece by piece: a language text is never a pattern.
  const std::string failedText = GetMessageText(msg::LogFailed);
  const std::string questionText = GetMessageText(msg::OverwriteQuestion);
  const std::string outputFolder = folder.empty() || folder.back() == '/' ? folder : folder + "/";

  int answer = owNo;
  for (std::size_t i = 0; i < sources.size(); ++i) {
    if (hooks.StopRequested && hooks.StopRequested()) {
      result.Log.Add("Stop Convert");
      result.Stopped = true;
      break;
    }
    const std::string& source = sources[i];
    const std::string dest = MakeOutputFileName(outputFolder + ExtractFileName(source));

    // A link at the output name counts as a file there: answered Yes, the
    // link itself is replaced, so the output never lands outside the
    // folder.
    if (answer != owAllYes && NameTaken(dest)) {
      if (answer == owAllNo) continue;
      answer = hooks.QueryOverwrite ? hooks.QueryOverwrite(dest + questionText) : owNo;
      if (answer != owYes && answer != owAllYes) {
        // Anything but a yes keeps the file; only All No holds for the rest.
        if (answer != owAllNo) answer = owNo;
        continue;
      }
    }

    if (marks.ProcessFile(source, dest)) {
      ++result.Converted;
      result.Log.Add(std::to_string(result.Converted) + "." + marks.Info + " " + source + " => " + dest);
    } else {
      result.Log.Add(failedText + " " + source + " => " + dest);
    }
    if (hooks.Progress) hooks.Progress(static_cast<int>(i), ExtractFileName(dest));
    if (hooks.ProcessMessages) hooks.ProcessMessages();
  }

  result.ElapsedSeconds = std::chrono::duration_cast<std::chrono::seconds>(ClockNow(hooks) - start).count();
  result.Log.Insert(0, GetMessageText(msg::LogElapsedSeconds) + std::to_string(result.ElapsedSeconds));
  result.Log.Insert(0, GetMessageText(msg::LogConvertedCount) + std::to_string(result.Converted) + "/" +
                           std::to_string(result.Total));
  result.Log.Insert(0, GetMessageText(msg::LogHead));
  return result;
}
