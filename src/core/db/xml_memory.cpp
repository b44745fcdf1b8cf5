#include "core/db/xml_memory.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
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

// A region aligned to a huge page, so that the kernel can back all of it with huge pages.
bool NewRegion() {
  void* raw = ::mmap(nullptr, kRegionBytes + kHugePage, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return false;
  const auto start = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
  if (aligned > start) ::munmap(raw, aligned - start);
  const std::uintptr_t end = start + kRegionBytes + kHugePage;
  if (end > aligned + kRegionBytes) ::munmap(reinterpret_cast<void*>(aligned + kRegionBytes),
                                             end - (aligned + kRegionBytes));
  auto* base = reinterpret_cast<char*>(aligned);
  ::madvise(base, kRegionBytes, MADV_HUGEPAGE);  // a hint: without it, plain pages
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

std::size_t BulkXmlRegions() {
  std::lock_guard<std::mutex> lock(regionsMutex);
  return regions.size();
}

}  // namespace zorbek
