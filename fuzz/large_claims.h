#pragma once
// Fuzzing skips pictures of more than a target's few hundred thousand
// pixels: decoding millions of pixels costs the fuzzer its time, not its
// reach. The inputs kept in regressions/<target>/large-claims/ are small
// files that claim such pictures without the bytes to hold them; the
// readers must refuse them before the picture is allocated, so
// run_fuzzer.sh replays them with STAMPWISE_FUZZ_LARGE_CLAIMS set, which
// turns the skip off, and with a limit on any single allocation.

#include <cstdlib>

namespace fuzzclaims {

inline bool LoadLargePictures() {
  static const bool load = std::getenv("STAMPWISE_FUZZ_LARGE_CLAIMS") != nullptr;
  return load;
}

}  // namespace fuzzclaims
