// Path and name rules of the note store: the directory tree on disk that mirrors the note tree.
#pragma once

#include <string>
#include <string_view>

namespace zorbek {

// The database path without its extension, followed by "/archive".
std::string NoteStoreDirectory(std::string_view databasePath);

// Whether the file system of directory (or of its nearest existing ancestor) takes fileName and
// every name made from it: the longest is the temporary file a write goes through,
// "." + fileName + ".tmp-XXXXXX". The limit is the file system's NAME_MAX in bytes (255 when it
// cannot be asked).
bool NameFitsFileSystem(const std::string& directory, std::string_view fileName);
inline constexpr std::size_t kTemporaryNameExtra = 12;  // "." and ".tmp-XXXXXX"

// Makes sure the directory that holds path exists, creating every missing level private to the
// user (kPrivateDirectoryMode). True when it exists afterwards.
bool EnsureParentDirectories(std::string_view path);

// Deletes the directory and everything below it; read-only files too. Failures are ignored:
// what cannot be deleted stays (with the directories that hold it), everything else goes.
void DeleteDirectoryTree(std::string_view directory);

// Whether a file or directory called name exists in directory, without regard to the case of
// Latin letters (so that a store copied to a case-insensitive file system stays valid).
bool FileExistsIn(std::string_view directory, std::string_view name);

// The first of base+ext, base+"1"+ext, base+"2"+ext, ... that does not exist in directory.
std::string UniqueFileName(std::string_view directory, std::string_view base,
                           std::string_view ext);


// Same length and equal after lower-casing Latin letters, "\" and "/" counting as equal.
bool SamePath(std::string_view a, std::string_view b);

// Joins a directory and a name with "/".
std::string JoinPath(std::string_view directory, std::string_view name);

// The path as it exists on disk: every component that does not exist exactly as written is
// replaced by an entry of its directory with the same name ignoring Latin case, when there is
// one. A store written on a case-insensitive file system thus stays reachable. Components that
// match nothing are kept as written.
std::string ExistingPathIgnoringCase(std::string_view path);

// File operations of the note store that never replace what is already there.
// Renames a file or directory; false when "to" exists or the rename fails.
bool RenameNoReplace(const std::string& from, const std::string& to);
// Creates an empty file, private to the user; false when something of that name exists or creation fails.
bool CreateEmptyFile(const std::string& path);
// Copies a regular file to a new file, private to the user; false (and nothing left at "to") when "to" exists or any
// step fails.
bool CopyFileNoReplace(const std::string& from, const std::string& to);

}  // namespace zorbek
