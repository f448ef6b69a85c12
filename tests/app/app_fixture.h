#pragma once
// A program folder of its own for each test, a recording window side, and
// an independent re-implementation of the config scrambler in Python.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "app/gui_handler.h"
#include "app/settings.h"
#include "core/files.h"
#include "support/recording_gui_handler.h"
#include "support/test_support.h"

using TRecordingHandler = testsupport::TRecordingGuiHandler;

class AppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetProgramDir(dir_.Path());
    SetGuiHandler(&handler_);
  }
  void TearDown() override {
    FreeProgramInfo();
    SetGuiHandler(nullptr);
    SetProgramDir("");
  }
  const std::string& Dir() const { return dir_.Path(); }

  testsupport::TempDir dir_;
  TRecordingHandler handler_;
};

// The scrambler as the file format defines it, written apart from ours.
inline const char* kPythonScrambler = R"(
import sys
RANGES = [(33,51),(52,62),(63,80),(81,89),(90,108),(109,124),(125,138),(139,144),
          (145,151),(152,167),(168,180),(181,185),(186,191),(192,208),(209,216),
          (217,227),(228,245),(246,248),(249,252),(253,255)]
KEY = sum(b"qzk")
def conv(c, enc):
    for lo, hi in RANGES:
        if lo <= c <= hi:
            n = hi - lo + 1; s = KEY % n
            if enc: return c + s if c + s <= hi else c + s - n
            return c - s if c - s >= lo else c - s + n
    return c
enc = sys.argv[1] == "encode"
data = sys.stdin.buffer.read()
sys.stdout.buffer.write(bytes(conv(c, enc) for c in data))
)";

inline std::string PythonScramble(const std::string& data, bool encode) {
  auto r = testsupport::Run({"/usr/bin/python3", "-c", kPythonScrambler, encode ? "encode" : "decode"}, data);
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  return r.Out;
}
