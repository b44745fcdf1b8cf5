// The desktop's handlers for addresses (web pages, mail, files), and the program's own two
// addresses: the home page (the user guide installed beside the program) and the author's mail.
#pragma once

#include <QString>
#include <QUrl>
#include <functional>

namespace zorbek {

// Opens url with the desktop's default handler; false when nothing could open it.
bool OpenUrl(const QUrl& url);
// Opens url as OpenUrl does; when nothing could open it (the desktop has no handler, no
// xdg-open), tells the user which address or file could not be opened. Whether it opened.
bool OpenUrlOrTell(const QUrl& url);
// Tells the user that url could not be opened.
void TellCannotOpen(const QUrl& url);
// Replaces the handler (tests); an empty function restores the desktop's.
void SetUrlOpener(std::function<bool(const QUrl&)> opener);

// The user guide beside the program file.
QUrl HomePageUrl();
// A new mail to the author.
QUrl ContactMailUrl();
// What the About box shows for them.
QString HomePageLabel();
QString ContactMailAddress();

}  // namespace zorbek
