#include "ui/app/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <memory>
#include <vector>

namespace zorbek {
namespace {
std::vector<std::unique_ptr<QTranslator>>& Installed() {
  static std::vector<std::unique_ptr<QTranslator>> translators;
  return translators;
}
}  // namespace

bool InstallQtChineseTranslations() {
  if (!Installed().empty()) return true;
  // The program's texts are Simplified Chinese, whatever the desktop's language is.
  const QLocale chinese(QLocale::Chinese, QLocale::SimplifiedChineseScript, QLocale::China);
  const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  bool any = false;
  for (const char* catalogue : {"qtbase"}) {
    auto t = std::make_unique<QTranslator>();
    if (!t->load(chinese, QString::fromLatin1(catalogue), QStringLiteral("_"), dir)) continue;
    QCoreApplication::installTranslator(t.get());
    Installed().push_back(std::move(t));
    any = true;
  }
  return any;
}

void RemoveQtChineseTranslations() {
  for (auto& t : Installed()) QCoreApplication::removeTranslator(t.get());
  Installed().clear();
}

}  // namespace zorbek
