#pragma once
// Runs a cleanup when the scope it was made in ends, however it ends: the
// undoing half of a pair (a depth count, a flag, a suspended notice) stays
// next to the doing half, and an exception cannot skip it.

#include <utility>

template <class F>
class TScopeExit {
 public:
  explicit TScopeExit(F cleanup) : cleanup_(std::move(cleanup)) {}
  ~TScopeExit() { cleanup_(); }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;

 private:
  F cleanup_;
};
