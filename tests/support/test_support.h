#pragma once
// Helpers for tests: temporary folders, running Debian's tools as
// independent oracles, and reading files.

#include <signal.h>
#include <sys/resource.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TBitmap;

namespace testsupport {

// A fresh folder under the system's temporary folder, removed with
// everything in it when the object goes away. Path() ends with "/".
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

// The result of a command: exit code and what it printed.
struct CommandResult {
  int ExitCode = -1;
  std::string Out;
  std::string Err;
};

// Runs argv[0] with the arguments (no shell), feeding stdinData on its
// standard input. Tools are named by absolute path.
CommandResult Run(const std::vector<std::string>& argv, const std::string& stdinData = std::string());

// True when the program exists and is executable. Tests that need a tool
// skip with GTEST_SKIP() << SkipReason(tool) when it is missing.
bool HaveTool(const std::string& path);
std::string SkipReason(const std::string& path);

// True when /usr/bin/python3 can import PIL.
bool HavePillow();

std::vector<std::uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

// ImageMagick's converter. Always by this path: another "convert" may
// stand earlier on the PATH.
inline const std::string kConvert = "/usr/bin/convert";

// Appends little-endian 16- and 32-bit values, for hand-made file headers.
inline void Put16(std::vector<std::uint8_t>& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void Put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

// The source tree's root (from STAMPWISE_SOURCE_DIR, set by CTest).
std::string SourceDir();

// A binary PPM (P6) of a bitmap's colours, for the tools that read one.
std::string PpmOf(const TBitmap& bitmap);

// Parses a binary PNM/PAM (P4, P5, P6, P7 with 8-bit samples) into RGB
// bytes, 3 per pixel, rows top first. Raises std::runtime_error on
// anything else.
struct RgbImage {
  int Width = 0;
  int Height = 0;
  std::vector<std::uint8_t> Rgb;
};
RgbImage ParsePnm(const std::string& data);

// The names in a folder, sorted.
std::vector<std::string> FolderEntries(const std::string& dir);

// Limits the size of files this process may write, for the duration of a
// scope; writing beyond it then fails with EFBIG instead of a signal (the
// disk is "full").
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  sighandler_t oldHandler_;
};

// How a child process ended: its exit code, or the signal that killed it.
struct ChildEnd {
  bool Signalled = false;
  int Code = -1;  // exit code or signal number
  bool TimedOut = false;  // killed by the watchdog of RunInChild
};

// Runs work in a forked child and waits for it; the child exits with what
// work returns. Files it leaves behind are the test's to look at.
ChildEnd RunInChild(const std::function<int()>& work);
// The same with a watchdog for work that must never block: a child still
// running after watchdogSeconds is killed and reported as TimedOut, so
// that a fault hangs no test run. The bound is generous; it measures
// nothing.
ChildEnd RunInChild(const std::function<int()>& work, int watchdogSeconds);

}  // namespace testsupport
