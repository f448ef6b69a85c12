#include <gtest/gtest.h>

#include <stdexcept>

#include "core/scope_exit.h"

// The cleanup runs once when the scope ends, by its end or by an exception.
TEST(ScopeExit, RunsOnceWhateverEndsTheScope) {
  for (const bool raise : {false, true}) {
    int depth = 0;
    try {
      ++depth;
      const TScopeExit undo([&depth] { --depth; });
      EXPECT_EQ(depth, 1);
      if (raise) throw std::runtime_error("stop");
    } catch (const std::runtime_error&) {
      EXPECT_TRUE(raise);
    }
    EXPECT_EQ(depth, 0) << (raise ? "after an exception" : "at the end");
  }
}
