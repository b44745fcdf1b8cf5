// Qt's own texts (the buttons of message boxes, the file, folder, colour and font dialogs) in
// Chinese, as the rest of the program speaks.
#pragma once

namespace zorbek {

// Loads Qt's Simplified Chinese translations (Debian qt6-translations-l10n) into the
// application; false when they are not installed (the dialogs then speak English).
bool InstallQtChineseTranslations();
// Removes them again (tests).
void RemoveQtChineseTranslations();

}  // namespace zorbek
