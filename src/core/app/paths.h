// Where the program keeps its files: the settings file, the default database, its note store and
// the file store all live in the user's data directory, never beside the program file.
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

// The user's data directory of the program: $XDG_DATA_HOME/Zorbek when that variable holds an
// absolute path, else ~/.local/share/Zorbek (the home directory from HOME, else from the user
// database). Asking creates nothing.
std::string UserDataDirectory();
// Creates the user's data directory (mode 0700) and its parents when missing, and takes the
// group's and others' access away when it exists with them; whether it exists afterwards. The program does so at start, before it reads its settings.
bool CreateUserDataDirectory();
// The path the program's files are named after: "Zorbek" in the user's data directory, whatever
// the program file is called and wherever it lies. So the settings file is
// ~/.local/share/Zorbek/Zorbek.ini, the default database Zorbek.xml beside it, its note store
// Zorbek/archive and the file store Zorbek/FileStore. The program file never lies there, so no
// default path meets it (next to the program "Zorbek/archive" would need a directory of the
// program's own name). The program and zorbek-cli agree on it.
std::string ProgramBase();

std::string SettingsFilePath(std::string_view base);        // Zorbek.ini
std::string DefaultDatabasePath(std::string_view base);     // Zorbek.xml
std::string FileStoreDirectory(std::string_view base);      // Zorbek/FileStore

// "WorkPath" of section "Project" in the settings file when it is not empty, else the default
// database in the user's data directory.
std::string ComputeDatabasePath(std::string_view base);

// Settings keys.
inline constexpr const char* kProjectSection = "Project";
inline constexpr const char* kWorkPathKey = "WorkPath";
inline constexpr const char* kWindowRectSection = "WindowRect";
inline constexpr const char* kLastPositionKey = "LastPosition";
// The main window's size "width,height", kept where the window system places windows itself.
inline constexpr const char* kLastSizeKey = "LastSize";

}  // namespace zorbek
