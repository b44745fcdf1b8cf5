// Small file helpers shared by the core. Paths are UTF-8 and use "/".
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zorbek {

// The whole file, or nullopt when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Writes data to path atomically: a temporary file in the same directory is written, flushed
// to disk and renamed over path, so that a crash leaves either the old or the new file; the
// directory is flushed too, so the rename survives a power cut. An existing file keeps its
// permission bits. A path that is a symbolic link is written through: the file it points to is
// replaced, beside itself, and the link stays. On failure *error (when given) says why, in the
// system's words, and path is untouched.
bool WriteFileAtomically(const std::string& path, std::string_view data,
                         std::string* error = nullptr);

// The path with every symbolic link of its last component followed (a link to a link too); a
// relative target counts from the link's directory. A dangling link gives the path it names.
// Anything else is returned as it is.
std::string ResolveSymbolicLinks(const std::string& path);

// Flushes a directory's entries (new, renamed and removed names) to disk. False on failure.
bool SyncDirectory(const std::string& directory);

// The name pattern of the temporary files WriteFileAtomically leaves when it is killed:
// "." + the file's name + ".tmp-" + six characters.
bool IsAtomicWriteLeftover(std::string_view fileName);
// Removes such leftovers of ours in directory (and, with recursive, below it); returns how
// many were removed. Only call it while no other process of ours can be writing there.
int RemoveAtomicWriteLeftovers(const std::string& directory, bool recursive);

// The reason of a failed file operation (an errno value) in the user's words.
std::string SystemReason(int error);

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
