// Small file helpers shared by the core. Paths are UTF-8 and use "/".
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/io/file_signature.h"

namespace zorbek {

// The whole file, or nullopt when it cannot be opened or read. With signature, *signature is
// set to that of the file read (taken from the open file, so it names exactly what was read).
// With limit, a file of more bytes is not read (its size is asked first, and the reading stops
// past the limit, for a file that grows meanwhile): nullopt, and *tooLarge set when given.
std::optional<std::string> ReadWholeFile(const std::string& path,
                                         FileSignature* signature = nullptr,
                                         std::int64_t limit = -1, bool* tooLarge = nullptr);
// The same, into memory the caller provides: room(n) hands out a buffer of n bytes that holds
// the bytes read so far (it is asked again when the file grew while it was read). The number
// of bytes read, or nullopt.
std::optional<std::size_t> ReadWholeFileInto(const std::string& path,
                                             const std::function<char*(std::size_t)>& room,
                                             FileSignature* signature = nullptr,
                                             std::int64_t limit = -1, bool* tooLarge = nullptr);

// What the program creates for the user's notes, database and settings is private to the user,
// whatever the umask: directories 0700, files 0600. Only files the user exports for others to
// read are made as the umask says.
inline constexpr unsigned kPrivateDirectoryMode = 0700;
inline constexpr unsigned kPrivateFileMode = 0600;
enum class NewFileAccess { Private, Shared };

// Writes data to path atomically: a temporary file in the same directory is written, flushed
// to disk and renamed over path, so that a crash leaves either the old or the new file; the
// directory is flushed too, so the rename survives a power cut. An existing file keeps its
// permission bits; a new file is private (kPrivateFileMode) unless access is Shared, when it
// gets 0666 less the umask. A path that is a symbolic link is written through: the file it points
// to is replaced, beside itself, and the link stays. On failure *error (when given) says why, in the
// system's words, and path is untouched.
bool WriteFileAtomically(const std::string& path, std::string_view data,
                         std::string* error = nullptr,
                         NewFileAccess access = NewFileAccess::Private);
// Which version of a file a write may replace (see the guarded WriteFileAtomically).
struct ReplaceGuard {
  // The version that may be replaced; nullopt when there was no file.
  std::optional<FileSignature> version;
  // What *error says when another version is found there.
  std::string refusal;
};

// The same, replacing only the version the guard names: when another program has put another
// version in place (renamed a file over it, written it), nothing of it is replaced, the temporary
// file goes, *error is the guard's refusal and the result is false. A file that is gone is
// written again, unless another one appears at the same moment. The check and the replacement
// are one step on file systems that can exchange two names (Linux renameat2 RENAME_EXCHANGE):
// the new file is exchanged with the old one, and when what comes out is not the version
// expected (another program got in between), it is put back. Elsewhere the version is checked
// right before the rename. *written, when given, is set to the signature of the file written.
bool WriteFileAtomically(const std::string& path, std::string_view data, std::string* error,
                         const ReplaceGuard& guard, FileSignature* written);

// Writes all of data to an open file, again after an interrupted write. False (errno set) when
// a write fails.
bool WriteAll(int fd, std::string_view data);

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

// Whether a and b name the same file as the file system sees it: the same device and inode
// when both exist (links and letter case as the file system treats them); when neither does,
// the same path once links, "." and ".." are resolved.
bool SameFile(const std::string& a, const std::string& b);

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
