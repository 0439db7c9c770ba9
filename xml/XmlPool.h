// Small-block memory for the XML objects. A program that builds and drops a document per
// record frees and allocates the same few hundred small blocks each time; keeping freed
// blocks on a per-thread list for the next document saves the general allocator's work.
#pragma once

#include <cstddef>

namespace voltrane {

// Blocks up to this size are kept; each thread keeps at most kXmlPoolBytesPerSize bytes of
// freed blocks of one size, and frees the rest. Of larger blocks (a reader's buffers, the
// buckets of a name table) each thread keeps the last few.
constexpr size_t kXmlPoolLargest = 2048;
constexpr size_t kXmlPoolBytesPerSize = 128 * 1024;
constexpr int kXmlPoolLargeBlocks = 4;
// Larger blocks than this (the text of a huge element) are never kept.
constexpr size_t kXmlPoolLargestKept = 256 * 1024;

// False under AddressSanitizer: every block then goes back to the general allocator at
// once, so that a use after free is caught rather than hidden in a kept block, and scratch
// storage that is kept for reuse is not kept either.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kXmlPoolOn = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kXmlPoolOn = false;
#else
constexpr bool kXmlPoolOn = true;
#endif
#else
constexpr bool kXmlPoolOn = true;
#endif

void* XmlPoolAllocate(size_t size);
// size must be the size given to XmlPoolAllocate. A block may be freed on any thread.
void XmlPoolFree(void* block, size_t size) noexcept;

template <class T>
struct TXmlPoolAllocator {
  using value_type = T;
  TXmlPoolAllocator() noexcept = default;
  template <class U>
  TXmlPoolAllocator(const TXmlPoolAllocator<U>&) noexcept {}
  T* allocate(size_t n) { return static_cast<T*>(XmlPoolAllocate(n * sizeof(T))); }
  void deallocate(T* p, size_t n) noexcept { XmlPoolFree(p, n * sizeof(T)); }
  template <class U>
  bool operator==(const TXmlPoolAllocator<U>&) const noexcept {
    return true;
  }
};

}  // namespace voltrane
