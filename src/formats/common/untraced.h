#pragma once

// Marks a per-pixel kernel that has no branch of its own. A
// coverage-guided fuzzer learns nothing from its comparisons (they are all
// the sanitizers' own checks on each load and store), yet tracing them
// costs most of the time of a picture-sized input. The sanitizers' checks
// stay; only the coverage feedback is left out. Decisions about sizes and
// bounds belong outside such a kernel, where they are traced.
#if defined(__clang__)
#define SW_UNTRACED __attribute__((no_sanitize("coverage")))
#else
#define SW_UNTRACED
#endif
