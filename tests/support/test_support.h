#pragma once
// Helpers for tests: temporary folders, running Debian's tools as
// independent oracles, and reading files.

#include <cstdint>
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

}  // namespace testsupport
