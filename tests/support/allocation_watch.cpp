#include "support/allocation_watch.h"

#include <atomic>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define STAMPWISE_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define STAMPWISE_SANITIZED 1
#endif
#endif

#ifdef STAMPWISE_SANITIZED
// The sanitizers' runtime (declared here: GCC installs no header for it).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, std::size_t),
                                                        void (*free_hook)(const volatile void*));
#endif

namespace {

std::atomic<bool> watching{false};
std::atomic<std::size_t> largest{0};

void Note(std::size_t size) {
  if (!watching.load(std::memory_order_relaxed)) return;
  std::size_t seen = largest.load(std::memory_order_relaxed);
  while (size > seen && !largest.compare_exchange_weak(seen, size, std::memory_order_relaxed)) {
  }
}

#ifdef STAMPWISE_SANITIZED
// The sanitizers' allocator calls these for malloc and operator new alike.
void OnMalloc(const volatile void*, std::size_t size) { Note(size); }
void OnFree(const volatile void*) {}

void Install() {
  static const bool installed = __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree) != 0;
  (void)installed;
}
#else
void Install() {}
#endif

}  // namespace

#ifndef STAMPWISE_SANITIZED
// Without a sanitizer the program's own allocations are watched through
// operator new (the default operator delete frees what malloc gave).
void* operator new(std::size_t size) {
  Note(size);
  if (void* p = std::malloc(size != 0 ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
#endif

namespace testsupport {

TLargestAllocation::TLargestAllocation() {
  Install();
  largest.store(0);
  watching.store(true);
}

TLargestAllocation::~TLargestAllocation() { watching.store(false); }

std::size_t TLargestAllocation::Bytes() const { return largest.load(); }

}  // namespace testsupport
