// Where the program keeps its files: the settings file, the default database and the file store
// are named after the program file.
#pragma once

#include <string>
#include <string_view>

namespace zorbek {

// Replaces everything from the last "." of the file name by ext (".ini"); a name without a dot
// gets ext appended. A dot in a directory name never counts.
std::string ReplaceLastExtension(std::string_view path, std::string_view ext);
// Removes everything from the last "." of the file name (nothing when it has none).
std::string RemoveLastExtension(std::string_view path);

// The running executable's full path.
std::string CurrentExecutablePath();
// A program called name in the same directory as exe.
std::string SiblingProgramPath(std::string_view exe, std::string_view name);

// The path the program's files are named after: the program path itself when its directory is
// writable, else the same file name in the user's data directory ($XDG_DATA_HOME/Zorbek, by
// default ~/.local/share/Zorbek), which is then created.
std::string ProgramBase(std::string_view programPath);

std::string SettingsFilePath(std::string_view base);        // Zorbek.ini
std::string DefaultDatabasePath(std::string_view base);     // Zorbek.xml
std::string FileStoreDirectory(std::string_view base);      // Zorbek/FileStore

// "WorkPath" of section "Project" in the settings file when it is not empty, else the default
// database beside the program.
std::string ComputeDatabasePath(std::string_view base);

// Settings keys.
inline constexpr const char* kProjectSection = "Project";
inline constexpr const char* kWorkPathKey = "WorkPath";
inline constexpr const char* kWindowRectSection = "WindowRect";
inline constexpr const char* kLastPositionKey = "LastPosition";

}  // namespace zorbek
