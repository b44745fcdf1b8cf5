#include "ui/app/desktop.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>

#include "core/app/prompts.h"

namespace zorbek {
namespace {
constexpr const char* kCannotOpenAddress = "无法打开地址：%s";
constexpr const char* kCannotOpenFile = "无法打开文件：%s";

std::function<bool(const QUrl&)>& Opener() {
  static std::function<bool(const QUrl&)> opener;
  return opener;
}
}  // namespace

bool OpenUrl(const QUrl& url) {
  if (Opener()) return Opener()(url);
  return QDesktopServices::openUrl(url);
}

bool OpenUrlOrTell(const QUrl& url) {
  if (OpenUrl(url)) return true;
  TellCannotOpen(url);
  return false;
}

void TellCannotOpen(const QUrl& url) {
  const bool file = url.isLocalFile();
  const QString shown = file ? url.toLocalFile() : url.toString();
  prompts().Message(FormatMessage(file ? kCannotOpenFile : kCannotOpenAddress, shown.toStdString()),
                    MsgButtons::Ok, MsgIcon::Warning);
}

void SetUrlOpener(std::function<bool(const QUrl&)> opener) { Opener() = std::move(opener); }

QUrl HomePageUrl() {
  return QUrl::fromLocalFile(QDir(QCoreApplication::applicationDirPath()).filePath("guide.html"));
}

QString ContactMailAddress() { return QStringLiteral("zorbek-feedback@example.org"); }

QUrl ContactMailUrl() { return QUrl(QStringLiteral("mailto:") + ContactMailAddress()); }

QString HomePageLabel() { return QStringLiteral("Zorbek 使用说明"); }

}  // namespace zorbek
