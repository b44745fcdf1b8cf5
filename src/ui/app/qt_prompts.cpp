#include "ui/app/qt_prompts.h"
#include "ui/app/qt_text.h"

#include <QAbstractButton>
#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

namespace zorbek {
namespace {

bool OnGuiThread() {
  return QCoreApplication::instance() &&
         QThread::currentThread() == QCoreApplication::instance()->thread();
}

QMessageBox::Icon ToQtIcon(MsgIcon icon) {
  switch (icon) {
    case MsgIcon::Information: return QMessageBox::Information;
    case MsgIcon::Warning: return QMessageBox::Warning;
    case MsgIcon::Error: return QMessageBox::Critical;
    case MsgIcon::Question: return QMessageBox::Question;
    default: return QMessageBox::NoIcon;
  }
}

}  // namespace

QWidget* QtPrompts::DialogParent() const {
  if (QWidget* w = QApplication::activeWindow()) return w;
  return parent_;
}

QString QtPrompts::ToQtFilter(std::string_view filter) {
  const QStringList parts = Q(filter).split('|');
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].isEmpty()) break;
    QString patterns = parts[i + 1];
    patterns.replace(';', ' ');
    // A description that shows its patterns already, "图片(*.png;*.jpg)", shows them once, in
    // the form the dialog reads them from.
    QString text = parts[i];
    const int open = text.lastIndexOf('(');
    if (text.endsWith(')') && open >= 0) text.truncate(open);
    out << text + "(" + patterns + ")";
  }
  return out.join(";;");
}

MsgResult QtPrompts::Message(std::string_view text, MsgButtons buttons, MsgIcon icon,
                             std::string_view caption) {
  const QString title = caption.empty() ? QStringLiteral("Zorbek") : Q(caption);
  if (!OnGuiThread()) {
    // A worker thread never waits for the user: the message is shown when the main thread
    // gets to it, and an informational answer is returned at once.
    const QString body = Q(text);
    if (auto* app = QCoreApplication::instance()) {
      QMetaObject::invokeMethod(app, [title, body, icon] {
        QMessageBox box(ToQtIcon(icon), title, body, QMessageBox::Ok);
        box.exec();
      }, Qt::QueuedConnection);
    }
    return buttons == MsgButtons::Ok ? MsgResult::Ok
                                     : (buttons == MsgButtons::YesNo ? MsgResult::No
                                                                     : MsgResult::Cancel);
  }
  QMessageBox::StandardButtons qb;
  switch (buttons) {
    case MsgButtons::Ok: qb = QMessageBox::Ok; break;
    case MsgButtons::OkCancel: qb = QMessageBox::Ok | QMessageBox::Cancel; break;
    case MsgButtons::YesNo: qb = QMessageBox::Yes | QMessageBox::No; break;
    case MsgButtons::YesNoCancel: qb = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel; break;
    case MsgButtons::RetryCancel: qb = QMessageBox::Retry | QMessageBox::Cancel; break;
  }
  QMessageBox box(ToQtIcon(icon), title, Q(text), qb, DialogParent());
  // A question with a warning asks about something that may do harm: Enter gives the answer
  // that does nothing.
  if (icon == MsgIcon::Warning && buttons == MsgButtons::YesNo) box.setDefaultButton(QMessageBox::No);
  const std::pair<QMessageBox::StandardButton, const char*> labels[] = {
      {QMessageBox::Ok, "确定"}, {QMessageBox::Cancel, "取消"}, {QMessageBox::Yes, "是(&Y)"},
      {QMessageBox::No, "否(&N)"}, {QMessageBox::Retry, "重试(&R)"}};
  for (const auto& [which, label] : labels)
    if (QAbstractButton* b = box.button(which)) b->setText(QString::fromUtf8(label));
  switch (box.exec()) {
    case QMessageBox::Ok: return MsgResult::Ok;
    case QMessageBox::Yes: return MsgResult::Yes;
    case QMessageBox::No: return MsgResult::No;
    case QMessageBox::Retry: return MsgResult::Retry;
    default: return MsgResult::Cancel;
  }
}

std::optional<std::string> QtPrompts::BrowseFolder(std::string_view title,
                                                   std::string_view initialDir) {
  const QString dir = QFileDialog::getExistingDirectory(DialogParent(), Q(title), Q(initialDir));
  if (dir.isEmpty()) return std::nullopt;
  return S(dir);
}

std::vector<std::string> QtPrompts::OpenFiles(std::string_view title, std::string_view filter,
                                              std::string_view initialDir, bool multiple) {
  std::vector<std::string> out;
  if (multiple) {
    for (const QString& f :
         QFileDialog::getOpenFileNames(DialogParent(), Q(title), Q(initialDir), ToQtFilter(filter)))
      out.push_back(S(f));
  } else {
    const QString f =
        QFileDialog::getOpenFileName(DialogParent(), Q(title), Q(initialDir), ToQtFilter(filter));
    if (!f.isEmpty()) out.push_back(S(f));
  }
  return out;
}

std::optional<std::string> QtPrompts::SaveFile(std::string_view title, std::string_view filter,
                                               std::string_view suggestedName,
                                               std::string_view defaultExtension) {
  QFileDialog dialog(DialogParent(), Q(title), QString(), ToQtFilter(filter));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  if (!defaultExtension.empty()) dialog.setDefaultSuffix(Q(defaultExtension));
  if (!suggestedName.empty()) dialog.selectFile(Q(suggestedName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return S(dialog.selectedFiles().first());
}

std::optional<Rgb> QtPrompts::ChooseColor(Rgb initial) {
  const QColor c = QColorDialog::getColor(QColor(initial.r, initial.g, initial.b), DialogParent());
  if (!c.isValid()) return std::nullopt;
  return Rgb{static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
             static_cast<std::uint8_t>(c.blue())};
}

std::optional<FontChoice> QtPrompts::ChooseFont(const FontChoice& initial) {
  QFont font(Q(initial.face));
  font.setPointSizeF(initial.pointSize > 0 ? initial.pointSize : 9.0);
  font.setBold(initial.bold);
  font.setItalic(initial.italic);
  font.setUnderline(initial.underline);
  font.setStrikeOut(initial.strikeOut);
  QFontDialog dialog(font, DialogParent());
  // What the dialog shows for the font it was given: a face this system lacks shows as the
  // one it falls back to, and a face with an oblique style may show as italic. Whatever the
  // user leaves as shown is reported as it was given.
  const QFont shown = dialog.currentFont();
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QFont chosen = dialog.selectedFont();
  FontChoice out = initial;
  if (chosen.family() != shown.family()) out.face = S(chosen.family());
  if (chosen.pointSizeF() != shown.pointSizeF()) out.pointSize = chosen.pointSizeF();
  if (chosen.bold() != shown.bold()) out.bold = chosen.bold();
  if (chosen.italic() != shown.italic()) out.italic = chosen.italic();
  if (chosen.underline() != shown.underline()) out.underline = chosen.underline();
  if (chosen.strikeOut() != shown.strikeOut()) out.strikeOut = chosen.strikeOut();
  return out;
}

}  // namespace zorbek
