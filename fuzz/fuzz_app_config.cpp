// "config.inf" from untrusted bytes: reading must never fail, and the
// settings read must survive a write and a second read unchanged.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/settings.h"
#include "core/files.h"

namespace {

// Everything ReadSettings fills, as text, for comparison.
std::string Fields(TProgramInfo& p) {
  TStringList lines;
  std::swap(lines, p.ConfigLines);
  p.WriteSettings();
  std::string text = p.ConfigLines.Text();
  std::swap(lines, p.ConfigLines);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // An empty program folder: no config file, no language files.
  static bool ready = [] {
    SetProgramDir("/nonexistent-stampwise-fuzz/");
    return true;
  }();
  (void)ready;
  static TProgramInfo info;

  const std::string bytes(reinterpret_cast<const char*>(data), size);
  info.ConfigLines.SetText(bytes);
  ScrambleLines(info.ConfigLines, ConfigScrambleKey, false);
  for (int i = 0; i < info.ConfigLines.Count(); ++i) {
    info.ConfigLines[i] = EscapeLineBreaks(info.ConfigLines[i], false);
  }
  info.ReadSettings();
  const std::string first = Fields(info);

  info.WriteSettings();
  info.ReadSettings();
  if (Fields(info) != first) std::abort();
  if (!info.UnreadableSettings.empty()) std::abort();
  // Back to the state of the start, so that the input's lines do not
  // outlive it: memory held past an input makes the fuzzer suspect a leak
  // and run the input again under the leak checker.
  info.ConfigLines = TStringList();
  info.SetDefaults();
  return 0;
}
