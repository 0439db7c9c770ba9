#include "xml/XmlPool.h"

#include <new>
#include <utility>

namespace voltrane {

namespace {

constexpr size_t kGranule = 16;
constexpr size_t kSizes = kXmlPoolLargest / kGranule;

struct TFreeBlock {
  TFreeBlock* Next;
};

struct TLargeBlock {
  void* Block;
  size_t Size;
};

// Plain data, so that reaching it costs no initialisation check; the guard below empties
// it when the thread ends.
struct TThreadPool {
  TFreeBlock* Heads[kSizes];
  size_t Bytes[kSizes];
  TLargeBlock Large[kXmlPoolLargeBlocks];
  int NextLarge;  // the slot to give up when all are taken
  bool Guarded;
  bool Closed;  // the thread is ending: blocks go straight to the general allocator
};

thread_local TThreadPool pool;

struct TPoolGuard {
  ~TPoolGuard();
};
thread_local TPoolGuard guard;

// Registers the guard the first time the thread keeps a block.
void Guard(TThreadPool& p) {
  if (p.Guarded) return;
  p.Guarded = true;
  [[maybe_unused]] TPoolGuard* registered = &guard;
}

TPoolGuard::~TPoolGuard() {
  TThreadPool& p = pool;
  p.Closed = true;
  for (TFreeBlock*& head : p.Heads) {
    while (head) {
      TFreeBlock* next = head->Next;
      ::operator delete(head);
      head = next;
    }
  }
  for (TLargeBlock& large : p.Large) ::operator delete(std::exchange(large.Block, nullptr));
}

void* AllocateLarge(TThreadPool& p, size_t size) {
  for (TLargeBlock& large : p.Large) {
    if (large.Block && large.Size == size) return std::exchange(large.Block, nullptr);
  }
  return ::operator new(size);
}

void FreeLarge(TThreadPool& p, void* block, size_t size) {
  TLargeBlock* slot = nullptr;
  for (TLargeBlock& large : p.Large)
    if (!large.Block) slot = &large;
  if (!slot) {
    slot = &p.Large[p.NextLarge];
    p.NextLarge = (p.NextLarge + 1) % kXmlPoolLargeBlocks;
    ::operator delete(slot->Block);
  }
  slot->Block = block;
  slot->Size = size;
}

size_t SizeIndex(size_t size) {
  return size == 0 ? 0 : (size - 1) / kGranule;
}

}  // namespace

void* XmlPoolAllocate(size_t size) {
  TThreadPool& p = pool;
  if (!kXmlPoolOn || p.Closed) return ::operator new(size);
  if (size > kXmlPoolLargest) return AllocateLarge(p, size);
  size_t index = SizeIndex(size);
  if (TFreeBlock* block = p.Heads[index]) {
    p.Heads[index] = block->Next;
    p.Bytes[index] -= (index + 1) * kGranule;
    return block;
  }
  return ::operator new((index + 1) * kGranule);
}

void XmlPoolFree(void* block, size_t size) noexcept {
  if (!block) return;
  TThreadPool& p = pool;
  if (!kXmlPoolOn || p.Closed) {
    ::operator delete(block);
    return;
  }
  Guard(p);
  if (size > kXmlPoolLargestKept) {
    ::operator delete(block);
    return;
  }
  if (size > kXmlPoolLargest) {
    FreeLarge(p, block, size);
    return;
  }
  size_t index = SizeIndex(size);
  size_t blockSize = (index + 1) * kGranule;
  if (p.Bytes[index] + blockSize > kXmlPoolBytesPerSize) {
    ::operator delete(block);
    return;
  }
  auto* free = static_cast<TFreeBlock*>(block);
  free->Next = p.Heads[index];
  p.Heads[index] = free;
  p.Bytes[index] += blockSize;
}

}  // namespace voltrane
