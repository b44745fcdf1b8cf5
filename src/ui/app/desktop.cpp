#include "ui/app/desktop.h"

#include <QCoreApplication>
#include <QDesktopServices>

#include "core/app/install_layout.h"

namespace zorbek {
namespace {
std::function<bool(const QUrl&)>& Opener() {
  static std::function<bool(const QUrl&)> opener;
  return opener;
}
}  // namespace

bool OpenUrl(const QUrl& url) {
  if (Opener()) return Opener()(url);
  return QDesktopServices::openUrl(url);
}

void SetUrlOpener(std::function<bool(const QUrl&)> opener) { Opener() = std::move(opener); }

QUrl HomePageUrl() {
  return QUrl::fromLocalFile(QString::fromStdString(
      UserGuidePath(QCoreApplication::applicationFilePath().toStdString())));
}

QString ContactMailAddress() { return QStringLiteral("zorbek-feedback@example.org"); }

QUrl ContactMailUrl() { return QUrl(QStringLiteral("mailto:") + ContactMailAddress()); }

QString HomePageLabel() { return QStringLiteral("Zorbek 使用说明"); }

}  // namespace zorbek
