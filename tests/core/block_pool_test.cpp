// The pool of equal blocks the note tree's items come from.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <vector>

#include "core/db/block_pool.h"

namespace zorbek {
namespace {

// Blocks are distinct, aligned and writable over their whole size across several regions;
// blocks given back are handed out again before new memory; a region whose blocks are all
// given back goes back to the system, except the last one; a pointer not from the pool is
// refused and left alone.
TEST(BlockPool, HandsOutReusesAndGivesBackRegions) {
  BlockPool pool(100);
  ASSERT_EQ(pool.BlockSize() % alignof(std::max_align_t), 0u);
  ASSERT_GE(pool.BlockSize(), 100u);
  const std::size_t perRegion = BlockPool::kRegionBytes / pool.BlockSize();
  std::vector<void*> blocks;
  std::set<void*> distinct;
  for (std::size_t i = 0; i < perRegion * 2 + 10; ++i) {
    void* b = pool.Allocate();
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(reinterpret_cast<std::uintptr_t>(b) % alignof(std::max_align_t), 0u);
    std::memset(b, static_cast<int>(i), pool.BlockSize());
    blocks.push_back(b);
    distinct.insert(b);
  }
  EXPECT_EQ(distinct.size(), blocks.size());
  EXPECT_EQ(pool.Regions(), 3u);
  EXPECT_EQ(pool.BlocksInUse(), blocks.size());
  // What one block holds is not touched by the others.
  EXPECT_EQ(*static_cast<unsigned char*>(blocks[7]), 7u);

  // A block given back is the next one handed out.
  void* again = blocks[5];
  ASSERT_TRUE(pool.Free(again));
  EXPECT_EQ(pool.Allocate(), again);

  // The first region emptied goes back; the pool still works.
  for (std::size_t i = 0; i < perRegion; ++i) ASSERT_TRUE(pool.Free(blocks[i]));
  EXPECT_EQ(pool.Regions(), 2u);
  EXPECT_EQ(pool.BlocksInUse(), perRegion + 10);
  for (std::size_t i = perRegion; i < blocks.size(); ++i) ASSERT_TRUE(pool.Free(blocks[i]));
  EXPECT_EQ(pool.Regions(), 1u);
  EXPECT_EQ(pool.BlocksInUse(), 0u);
  void* fresh = pool.Allocate();
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(pool.Regions(), 1u);

  int outside = 0;
  EXPECT_FALSE(pool.Free(&outside));
  EXPECT_FALSE(pool.Free(nullptr));
  EXPECT_EQ(pool.BlocksInUse(), 1u);
  EXPECT_TRUE(pool.Free(fresh));
}

}  // namespace
}  // namespace zorbek
