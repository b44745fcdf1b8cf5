// Blocks of one size for objects made by the ten thousand, such as the note tree's items. A
// notebook of many folders makes that many objects at start; from the C library, each costs an
// allocation, and the fresh memory under them costs the kernel a page fault per 4 KB, which on
// some machines takes longer than making the object. The pool hands out blocks from 2 MB regions
// the kernel may back with huge pages, and keeps blocks given back for the next ones. A region
// is given back to the system once none of its blocks is used (the last one is kept).
//
// One thread only (the pool has no lock).
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace zorbek {

class BlockPool {
 public:
  // Blocks of blockSize bytes (at least that of a pointer), aligned for any object.
  explicit BlockPool(std::size_t blockSize);
  ~BlockPool();
  BlockPool(const BlockPool&) = delete;
  BlockPool& operator=(const BlockPool&) = delete;

  // A block; null when the system gives no region (then the caller allocates another way).
  void* Allocate();
  // Gives a block back; false (and nothing done) when block is not one of this pool's.
  bool Free(void* block);

  std::size_t BlockSize() const { return blockSize_; }
  static constexpr std::size_t kRegionBytes = std::size_t{2} << 20;
  // How many regions are held, and how many blocks are in use.
  std::size_t Regions() const { return regions_.size(); }
  std::size_t BlocksInUse() const { return inUse_; }

 private:
  struct Region {
    char* base = nullptr;
    std::size_t bumped = 0;      // bytes handed out from the start, never given back in between
    std::size_t live = 0;        // blocks in use
    std::vector<void*> freed;    // blocks given back, handed out first
  };
  Region* WithRoom();

  std::size_t blockSize_;
  std::unordered_map<std::uintptr_t, Region> regions_;  // by base
  Region* current_ = nullptr;  // where the last block came from
  std::size_t inUse_ = 0;
};

}  // namespace zorbek
