#pragma once
// The largest single allocation made while a watch is alive, by any code
// of the test program (libraries included where the sanitizers see their
// allocations). A reader that refuses a file before allocating its
// picture is seen to do so without timing anything.

#include <cstddef>

namespace testsupport {

class TLargestAllocation {
 public:
  // Starts watching from nothing; one watch at a time.
  TLargestAllocation();
  ~TLargestAllocation();
  TLargestAllocation(const TLargestAllocation&) = delete;
  TLargestAllocation& operator=(const TLargestAllocation&) = delete;

  // The largest allocation since the watch started, in bytes.
  std::size_t Bytes() const;
};

}  // namespace testsupport
