#include "core/db/block_pool.h"

#include <sys/mman.h>

#include <algorithm>

#include "core/db/xml_memory.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
// A block given back is poisoned until it is handed out again, so that a use after its object
// was deleted is caught as it would be with the C library's memory.
#define ZORBEK_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define ZORBEK_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define ZORBEK_POISON(p, n) static_cast<void>(0)
#define ZORBEK_UNPOISON(p, n) static_cast<void>(0)
#endif

namespace zorbek {

namespace {
constexpr std::size_t kAlignment = alignof(std::max_align_t);
}

BlockPool::BlockPool(std::size_t blockSize)
    : blockSize_((std::max(blockSize, sizeof(void*)) + kAlignment - 1) & ~(kAlignment - 1)) {}

BlockPool::~BlockPool() {
  for (auto& [base, region] : regions_) {
    ZORBEK_UNPOISON(region.base, kRegionBytes);
    ::munmap(region.base, kRegionBytes);
  }
}

BlockPool::Region* BlockPool::WithRoom() {
  const auto hasRoom = [this](const Region& r) {
    return !r.freed.empty() || r.bumped + blockSize_ <= kRegionBytes;
  };
  if (current_ && hasRoom(*current_)) return current_;
  for (auto& [base, region] : regions_)
    if (hasRoom(region)) return current_ = &region;
  char* base = MapHugePageAligned(kRegionBytes);
  if (!base) return nullptr;
  ZORBEK_POISON(base, kRegionBytes);
  Region& region = regions_[reinterpret_cast<std::uintptr_t>(base)];
  region.base = base;
  return current_ = &region;
}

void* BlockPool::Allocate() {
  Region* region = WithRoom();
  if (!region) return nullptr;
  void* block;
  if (!region->freed.empty()) {
    block = region->freed.back();
    region->freed.pop_back();
  } else {
    block = region->base + region->bumped;
    region->bumped += blockSize_;
  }
  ++region->live;
  ++inUse_;
  ZORBEK_UNPOISON(block, blockSize_);
  return block;
}

bool BlockPool::Free(void* block) {
  if (!block) return false;
  const auto base = reinterpret_cast<std::uintptr_t>(block) & ~(kRegionBytes - 1);
  const auto it = regions_.find(base);
  if (it == regions_.end()) return false;
  Region& region = it->second;
  ZORBEK_POISON(block, blockSize_);
  --inUse_;
  if (--region.live > 0) {
    // The next blocks fill the gaps first, in memory already handed out once.
    region.freed.push_back(block);
    current_ = &region;
    return true;
  }
  if (regions_.size() == 1) {
    // The last region is kept for the next blocks, as new.
    region.bumped = 0;
    region.freed.clear();
    return true;
  }
  ZORBEK_UNPOISON(region.base, kRegionBytes);
  ::munmap(region.base, kRegionBytes);
  if (current_ == &region) current_ = nullptr;
  regions_.erase(it);
  return true;
}

}  // namespace zorbek
