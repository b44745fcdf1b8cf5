// Where the XML library's nodes live. A large database makes many of them (the nodes of 100,000
// notes take some 16 MB); page by page, the kernel's work of handing out that memory costs more
// than the parse itself. While a large file is parsed, its nodes are therefore placed in
// regions of their own, which the kernel may back with huge pages.
#pragma once

#include <cstddef>

namespace zorbek {

// While an object made with on = true lives, the nodes the XML library makes on this thread
// come from such regions. A region is given back to the system once nothing in it is used.
class BulkXmlMemory {
 public:
  explicit BulkXmlMemory(bool on);
  ~BulkXmlMemory();
  BulkXmlMemory(const BulkXmlMemory&) = delete;
  BulkXmlMemory& operator=(const BulkXmlMemory&) = delete;

 private:
  bool previous_;
};

// From how many bytes of text a parse takes its nodes from regions.
inline constexpr std::size_t kBulkXmlBytes = 1 << 20;

// How many regions are held now.
std::size_t BulkXmlRegions();

}  // namespace zorbek
