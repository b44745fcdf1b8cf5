// Showing the note store in the desktop's file manager.
#pragma once

#include <QString>

namespace zorbek {

// selectFile: a new file-manager window shows the file selected (the freedesktop FileManager1
// service), else its directory is opened. Otherwise path, a directory, is opened.
void ShowInFileManager(const QString& path, bool selectFile);

}  // namespace zorbek
