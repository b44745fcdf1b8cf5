// Where the program finds the files it ships with. A build directory holds them beside the
// program; an installed program finds them in its data directory (<prefix>/share/zorbek for a
// program in <prefix>/bin).
#pragma once

#include <string>
#include <string_view>

namespace zorbek {

// The user guide (the home page) of the program at programPath: guide.html beside the program
// when it lies there, else in the installed data directory when it lies there, else the path
// beside the program (which the opener then reports as missing).
std::string UserGuidePath(std::string_view programPath);

// The installed data directory that belongs to a program in bindir, found through the layout
// the build was configured with (lexically normal, "/" separated).
std::string InstalledDataDirectory(std::string_view bindir);

}  // namespace zorbek
