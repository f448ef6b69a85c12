#pragma once
// What the benchmarks share: their command lines of "--name value" pairs,
// the clock and the median of a run's times, the peak memory of the
// process, and the floor's decoding of a JPEG by libjpeg-turbo alone.

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "core/files.h"

namespace bench {

using TClock = std::chrono::steady_clock;

// ---- The command line ---------------------------------------------------------

// One option: its name ("--count") and what takes its value; false when
// the value is refused.
struct TOption {
  const char* Name;
  std::function<bool(const std::string& value)> Take;
};

inline TOption IntOption(const char* name, int& to) {
  return {name, [&to](const std::string& value) {
            to = std::atoi(value.c_str());
            return true;
          }};
}

inline TOption TextOption(const char* name, std::string& to) {
  return {name, [&to](const std::string& value) {
            to = value;
            return true;
          }};
}

[[noreturn]] inline void Usage(const char* usage) {
  std::fputs(usage, stderr);
  std::exit(2);
}

// Reads the "--name value" pairs of the command line into the options.
// A name no option has, a name without its value and a refused value print
// the usage and end the program with 2.
inline void ParseOptions(int argc, char** argv, const char* usage, const std::vector<TOption>& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (i + 1 >= argc) Usage(usage);
    const std::string value = argv[++i];
    const auto option =
        std::find_if(options.begin(), options.end(), [&name](const TOption& o) { return name == o.Name; });
    if (option == options.end() || !option->Take(value)) Usage(usage);
  }
}

// ---- Times ---------------------------------------------------------------------

inline double Ms(TClock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

inline double MsSince(TClock::time_point start) { return Ms(TClock::now() - start); }

// The middle time (the mean of the two middle ones for an even count); 0
// for none.
inline double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// ---- Memory --------------------------------------------------------------------

// Resets the kernel's peak resident size of this process (Linux 4.0+),
// after the allocator has given back what it holds free, so the peak
// counts memory in use and not what an earlier step left to the heap.
inline void ResetPeakMemory() {
  malloc_trim(0);
  std::ofstream f("/proc/self/clear_refs");
  f << "5";
}

// A size line of /proc/self/status ("VmRSS:", "VmHWM:") in MiB.
inline double StatusMiB(const char* key) {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line)) {
    if (line.rfind(key, 0) == 0) return std::atof(line.c_str() + std::char_traits<char>::length(key)) / 1024.0;
  }
  return 0;
}

// The peak resident size since the last ResetPeakMemory, in MiB.
inline double PeakMemoryMiB() { return StatusMiB("VmHWM:"); }

// ---- The floor -----------------------------------------------------------------

// Reads a JPEG file and decodes it with libjpeg-turbo alone into BGR rows
// in pixels, which are kept from file to file (growing within them
// touches no new page). Gives the width and height.
inline std::pair<unsigned, unsigned> DecodeJpegFloor(const std::string& file, std::vector<std::uint8_t>& pixels) {
  std::vector<std::uint8_t> in = ReadFileBytes(file);
  jpeg_decompress_struct d{};
  jpeg_error_mgr err{};
  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, in.data(), static_cast<unsigned long>(in.size()));
  jpeg_read_header(&d, TRUE);
  d.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&d);
  const std::size_t stride = static_cast<std::size_t>(d.output_width) * 3;
  if (pixels.size() < stride * d.output_height) pixels.resize(stride * d.output_height);
  while (d.output_scanline < d.output_height) {
    JSAMPROW row = pixels.data() + stride * d.output_scanline;
    jpeg_read_scanlines(&d, &row, 1);
  }
  const std::pair<unsigned, unsigned> size{d.output_width, d.output_height};
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  return size;
}

}  // namespace bench
