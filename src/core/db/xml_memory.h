// Where the XML library's nodes live. A large database makes many of them (the nodes of 100,000
// notes take some 16 MB); page by page, the kernel's work of handing out that memory costs more
// than the parse itself. While a large file is parsed, its nodes are therefore placed in
// regions of their own, which the kernel may back with huge pages.
#pragma once

#include <cstddef>
#include <string_view>

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

// length bytes of zeroed memory (a multiple of 2 MB) aligned to a huge page, so that the kernel
// can back all of it with huge pages; null when the system has none to give. munmap gives it
// back.
char* MapHugePageAligned(std::size_t length);

// Room for about `bytes` of small objects on the C library's heap, in memory the kernel may back
// with huge pages. A large notebook's load is followed by tens of thousands of small objects (the
// tree's rows, their names, their lists), and page by page the memory they fill costs a fault per
// 4 KB: some 10 us each on a virtual machine, 25 ms for 10 MB. Called on the main thread as a
// large file is read; on another thread it does nothing, and when the heap's top already has the
// room it only advises it.
void ReserveHeapForBulk(std::size_t bytes);

// A file's text, to be parsed where it lies; from kBulkXmlBytes on it lies in memory the kernel
// may back with huge pages too.
class XmlText {
 public:
  XmlText() = default;
  ~XmlText();
  XmlText(const XmlText&) = delete;
  XmlText& operator=(const XmlText&) = delete;

  // Room for n bytes; what the text held is kept.
  char* Reserve(std::size_t n);
  void SetSize(std::size_t n) { size_ = n; }
  char* data() { return data_; }
  std::size_t size() const { return size_; }
  std::string_view view() const { return {data_, size_}; }

 private:
  char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  std::size_t mapped_ = 0;  // the length of its mapping, when it has one
};

}  // namespace zorbek
