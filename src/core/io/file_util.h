// Small file helpers shared by the core. Paths are UTF-8 and use "/".
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zorbek {

// The whole file, or nullopt when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Writes data to path atomically: a temporary file in the same directory is written, flushed
// to disk and renamed over path, so that a crash leaves either the old or the new file. An
// existing file keeps its permission bits. On failure *error (when given) says why and path is
// untouched.
bool WriteFileAtomically(const std::string& path, std::string_view data,
                         std::string* error = nullptr);

bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);
bool IsRegularFile(const std::string& path);

// The name a file is kept aside under before it is replaced or given up:
// "<path>.<tag>-YYYYMMDD-HHMMSS" at the clock's local time, with "-1", "-2", ... added when a
// file of that name exists already, so that a second copy in the same second never overwrites
// the first.
std::string KeptAsideName(const std::string& path, std::string_view tag);

// The directory part (everything before the last "/" or "\"), or "" when there is none.
std::string DirectoryOf(std::string_view path);
// The last component.
std::string FileNameOf(std::string_view path);

}  // namespace zorbek
