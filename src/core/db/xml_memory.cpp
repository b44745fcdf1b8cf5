#include "core/db/xml_memory.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <mutex>
#include <pugixml.hpp>
#include <vector>

namespace zorbek {
namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kRegionBytes = std::size_t{8} << 20;
// Anything larger (a very long text) is left to the C library.
constexpr std::size_t kLargestPiece = kRegionBytes / 4;
constexpr std::size_t kAlignment = alignof(std::max_align_t);

struct Region {
  char* base;
  std::size_t used;
  std::size_t live;  // pieces handed out and not yet given back
};

// Never destroyed: a document may still give its memory back while the program ends.
std::mutex& regionsMutex = *new std::mutex;
std::vector<Region>& regions = *new std::vector<Region>;  // few: a region holds 8 MB
thread_local bool bulk = false;

}  // namespace

char* MapHugePageAligned(std::size_t length) {
  void* raw = ::mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
  if (aligned > start) ::munmap(raw, aligned - start);
  const std::uintptr_t end = start + length + kHugePage;
  if (end > aligned + length) ::munmap(reinterpret_cast<void*>(aligned + length),
                                       end - (aligned + length));
  auto* base = reinterpret_cast<char*>(aligned);
  ::madvise(base, length, MADV_HUGEPAGE);  // a hint: without it, plain pages
  return base;
}

namespace {

bool NewRegion() {
  char* base = MapHugePageAligned(kRegionBytes);
  if (!base) return false;
  regions.push_back(Region{base, 0, 0});
  return true;
}

void* Allocate(std::size_t size) {
  if (!bulk || size == 0 || size > kLargestPiece) return std::malloc(size);
  size = (size + kAlignment - 1) & ~(kAlignment - 1);
  std::lock_guard<std::mutex> lock(regionsMutex);
  if ((regions.empty() || regions.back().used + size > kRegionBytes) && !NewRegion())
    return std::malloc(size);
  Region& r = regions.back();
  void* piece = r.base + r.used;
  r.used += size;
  ++r.live;
  return piece;
}

void Deallocate(void* piece) {
  if (!piece) return;
  {
    std::lock_guard<std::mutex> lock(regionsMutex);
    const auto* p = static_cast<const char*>(piece);
    for (auto it = regions.begin(); it != regions.end(); ++it) {
      if (p < it->base || p >= it->base + kRegionBytes) continue;
      if (--it->live == 0) {
        ::munmap(it->base, kRegionBytes);
        regions.erase(it);
      }
      return;
    }
  }
  std::free(piece);
}

// The library's allocation goes through here from the start, so that whatever it allocated
// (in a region or not) is given back the right way.
const bool installed = [] {
  pugi::set_memory_management_functions(Allocate, Deallocate);
  return true;
}();

}  // namespace

BulkXmlMemory::BulkXmlMemory(bool on) : previous_(bulk) { bulk = on && installed; }

BulkXmlMemory::~BulkXmlMemory() { bulk = previous_; }

namespace {
void Release(char* data, std::size_t mapped) {
  if (mapped) ::munmap(data, mapped);
  else std::free(data);
}
}  // namespace

XmlText::~XmlText() { Release(data_, mapped_); }

char* XmlText::Reserve(std::size_t n) {
  if (n <= capacity_) return data_;
  char* fresh = nullptr;
  std::size_t mapped = 0;
  if (n >= kBulkXmlBytes) {
    mapped = (n + kHugePage - 1) & ~(kHugePage - 1);
    fresh = MapHugePageAligned(mapped);
    if (!fresh) mapped = 0;
  }
  if (!fresh) fresh = static_cast<char*>(std::malloc(n));
  if (!fresh) throw std::bad_alloc();
  if (capacity_) std::memcpy(fresh, data_, capacity_);
  Release(data_, mapped_);
  data_ = fresh;
  capacity_ = n;
  mapped_ = mapped;
  return data_;
}

void ReserveHeapForBulk(std::size_t bytes) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  (void)bytes;  // the sanitizers' own allocator lays out memory its own way
#else
  // Only the main thread's allocations come from the heap that grows by the program break.
  if (::gettid() != ::getpid()) return;
  constexpr std::size_t kMostBytes = std::size_t{64} << 20;
  constexpr std::size_t kMapApart = std::size_t{4} << 20;
  const std::size_t pad = (std::min(bytes, kMostBytes) + kHugePage - 1) & ~(kHugePage - 1);
  // The heap's top keeps at least `pad` bytes from now on, and a growth takes them at once.
  // Setting it ends the library's own tuning of when to map large blocks apart and when to give
  // the top back, so both are set as that tuning would leave them after blocks of a few MB.
  ::mallopt(M_TOP_PAD, static_cast<int>(pad));
  ::mallopt(M_MMAP_THRESHOLD, static_cast<int>(kMapApart));
  ::mallopt(M_TRIM_THRESHOLD, static_cast<int>(2 * pad));
  // The top: the free end of the heap, which small blocks are cut from when no freed block fits.
  const std::size_t top = ::mallinfo2().keepcost;
  auto* const topStart = static_cast<char*>(::sbrk(0)) - top;
  if (top < pad && top + kHugePage < kMapApart) {
    // A block larger than the top makes the heap grow; given back, it joins the top again.
    // The growth is fresh memory nothing has touched, so the advice holds when it is first used.
    void* volatile block = std::malloc(top + kHugePage);  // volatile: made, not optimised away
    std::free(block);
  }
  const auto start =
      (reinterpret_cast<std::uintptr_t>(topStart) + kHugePage - 1) & ~(kHugePage - 1);
  const auto end = reinterpret_cast<std::uintptr_t>(::sbrk(0)) & ~(kHugePage - 1);
  if (end > start) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#endif
}

std::size_t BulkXmlRegions() {
  std::lock_guard<std::mutex> lock(regionsMutex);
  return regions.size();
}

}  // namespace zorbek
