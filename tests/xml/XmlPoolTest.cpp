// The small-object pool keeps freed blocks for reuse, except under AddressSanitizer, where
// a kept block would hide a use after free. The runtime's own answer tells whether it is
// there, whatever the compiler's macros say.
#include <gtest/gtest.h>

#include "xml/XmlPool.h"

extern "C" int __asan_address_is_poisoned(void const volatile* address) __attribute__((weak));

namespace voltrane {
namespace {

bool UnderAddressSanitizer() {
  return __asan_address_is_poisoned != nullptr;
}

TEST(XmlPool, FreedBlocksReturnToTheAllocatorUnderAddressSanitizer) {
  if (!UnderAddressSanitizer()) GTEST_SKIP() << "built without AddressSanitizer";
  for (size_t size : {size_t(1), size_t(48), kXmlPoolLargest, kXmlPoolLargest + 1, size_t(16384)}) {
    void* block = XmlPoolAllocate(size);
    XmlPoolFree(block, size);
    EXPECT_TRUE(__asan_address_is_poisoned(block)) << size;
  }
}

TEST(XmlPool, FreedBlocksAreReusedOtherwise) {
  if (UnderAddressSanitizer()) GTEST_SKIP() << "the pool is off under AddressSanitizer";
  for (size_t size : {size_t(48), kXmlPoolLargest + 1}) {
    void* block = XmlPoolAllocate(size);
    XmlPoolFree(block, size);
    void* again = XmlPoolAllocate(size);
    EXPECT_EQ(again, block) << size;
    XmlPoolFree(again, size);
  }
}

}  // namespace
}  // namespace voltrane
