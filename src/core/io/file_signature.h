// Which version of a file is on disk, told without reading it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zorbek {

// What tells one version of a file from another without reading it: which file it is (device
// and inode: a file replaced by a rename is another inode) and when it last changed. The change
// time is set by the kernel at every write and rename and cannot be put back by a program, so a
// write that keeps the size and restores the modification time is told apart too.
struct FileSignature {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t modifiedNs = 0;  // modification time, nanoseconds since the epoch
  std::int64_t changedNs = 0;   // status change time, likewise
  friend bool operator==(const FileSignature&, const FileSignature&) = default;
};

// The signature of the file at path (a symbolic link is followed); nullopt when there is no
// such file.
std::optional<FileSignature> FileSignatureOf(const std::string& path);

}  // namespace zorbek
