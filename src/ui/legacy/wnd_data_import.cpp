#include "ui/legacy/wnd_data_import.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QVBoxLayout>
#include <filesystem>

#include "core/app/prompts.h"
#include "core/io/file_util.h"
#include "core/legacy/ramulo_convert.h"
#include "ui/app/commands.h"
#include "ui/app/main_frame.h"
#include "ui/app/navigator.h"
#include "core/notes/notebook.h"

namespace zorbek {
namespace {

QPlainTextEdit* PathEdit(QWidget* parent) {
  auto* edit = new QPlainTextEdit(parent);
  edit->setReadOnly(true);
  edit->setLineWrapMode(QPlainTextEdit::NoWrap);
  edit->setFixedHeight(edit->fontMetrics().lineSpacing() * 2 + 14);
  edit->setMinimumWidth(380);
  return edit;
}

QPushButton* BrowseButton(QWidget* parent) {
  auto* b = new QPushButton(QStringLiteral("..."), parent);
  b->setAutoDefault(false);
  b->setFixedWidth(32);
  return b;
}

// The same file, whichever way the two paths spell it.
bool SameFile(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  std::error_code ec1, ec2;
  const auto ca = std::filesystem::weakly_canonical(a, ec1);
  const auto cb = std::filesystem::weakly_canonical(b, ec2);
  if (ec1 || ec2) return a == b;
  return ca == cb;
}

}  // namespace

CWndDataImport::CWndDataImport(std::string settingsFile, std::string openDatabase,
                               QWidget* parent)
    : QDialog(parent),
      settingsFile_(std::move(settingsFile)),
      openDatabase_(std::move(openDatabase)),
      lastDirectory_(QDir::homePath().toStdString()) {
  setWindowTitle(QString::fromUtf8(kRamuloTitle));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

  legacyEdit_ = PathEdit(this);
  targetEdit_ = PathEdit(this);
  legacyButton_ = BrowseButton(this);
  targetButton_ = BrowseButton(this);
  convertButton_ = new QPushButton(QStringLiteral("转换"), this);
  convertButton_->setAutoDefault(false);
  exitButton_ = new QPushButton(QStringLiteral("退出"), this);
  exitButton_->setAutoDefault(false);
  connect(legacyButton_, &QPushButton::clicked, this, &CWndDataImport::ChooseLegacyDirectory);
  connect(targetButton_, &QPushButton::clicked, this, &CWndDataImport::ChooseTargetDirectory);
  connect(convertButton_, &QPushButton::clicked, this, &CWndDataImport::Convert);
  connect(exitButton_, &QPushButton::clicked, this, &QDialog::reject);

  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(QStringLiteral("Ramulo数据目录"), this), 0, 0, 1, 2);
  grid->addWidget(legacyEdit_, 1, 0);
  grid->addWidget(legacyButton_, 1, 1, Qt::AlignTop);
  grid->addWidget(new QLabel(QStringLiteral("Zorbek数据库保存目录"), this), 2, 0, 1, 2);
  grid->addWidget(targetEdit_, 3, 0);
  grid->addWidget(targetButton_, 3, 1, Qt::AlignTop);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(convertButton_);
  buttons->addWidget(exitButton_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addLayout(buttons);
}

// The edits always show the paths in effect: a path that was cleared is not shown any more.
void CWndDataImport::SetLegacyPaths(std::string treeFiles, std::string treeStru) {
  treeFiles_ = std::move(treeFiles);
  treeStru_ = std::move(treeStru);
  legacyEdit_->setPlainText(treeFiles_.empty() ? QString()
                                               : QString::fromStdString(treeFiles_ + "\n" + treeStru_));
}

void CWndDataImport::SetTarget(std::string target, bool replaceConfirmed) {
  target_ = std::move(target);
  replaceConfirmed_ = replaceConfirmed && !target_.empty();
  targetEdit_->setPlainText(QString::fromStdString(target_));
}

void CWndDataImport::ChooseLegacyDirectory() {
  SetLegacyPaths({}, {});
  const auto dir = prompts().BrowseFolder(kRamuloBrowseTitle, lastDirectory_);
  if (!dir || dir->empty()) return;
  lastDirectory_ = *dir;
  const RamuloFiles files = LocateRamuloFiles(*dir);
  if (!files) {
    prompts().Message(files.message, MsgButtons::Ok, MsgIcon::Warning);
    return;
  }
  SetLegacyPaths(files.treeFiles, files.treeStru);
}

void CWndDataImport::ChooseTargetDirectory() {
  SetTarget({}, false);
  const auto dir = prompts().BrowseFolder(kRamuloBrowseTitle, lastDirectory_);
  if (!dir || dir->empty()) return;
  lastDirectory_ = *dir;
  const std::string target = JoinDirectoryFile(*dir, kConvertedDatabaseName);
  if (SameFile(target, openDatabase_)) {
    prompts().Message(kMsgTargetInUse, MsgButtons::Ok, MsgIcon::Warning);
    return;
  }
  bool replace = false;
  if (PathExists(target)) {
    // Nothing is deleted yet: the old notes go when the conversion starts.
    if (prompts().Message(kAskOverwriteDatabase, MsgButtons::OkCancel, MsgIcon::Question) !=
        MsgResult::Ok)
      return;
    replace = true;
  }
  SetTarget(target, replace);
}

void CWndDataImport::Convert() {
  if (target_.empty() || treeFiles_.empty() || treeStru_.empty()) {
    prompts().Message(kMsgChoosePaths, MsgButtons::Ok, MsgIcon::Warning);
    return;
  }
  // A database that appeared since it was chosen (a conversion made it) is not replaced
  // without the question.
  if (PathExists(target_) && !replaceConfirmed_) {
    if (prompts().Message(kAskOverwriteDatabase, MsgButtons::OkCancel, MsgIcon::Question) !=
        MsgResult::Ok)
      return;
    replaceConfirmed_ = true;
  }

  QProgressDialog progress(QString::fromUtf8(kProgressText), QString(), 0, 0, this);
  progress.setWindowTitle(QString::fromUtf8(kRamuloTitle));
  progress.setWindowModality(Qt::ApplicationModal);
  progress.setMinimumDuration(300);
  progress.setAutoClose(false);
  progress.setAutoReset(false);
  progress.setMinimumWidth(360);
  QElapsedTimer sinceUpdate;
  sinceUpdate.start();

  RamuloOptions options;
  options.treeFilesPath = treeFiles_;
  options.treeStruPath = treeStru_;
  options.targetPath = target_;
  options.replaceStore = replaceConfirmed_;
  options.progress = [&](std::size_t done, std::size_t total) {
    // The windows stay painted; a few updates a second are enough.
    if (done < total && sinceUpdate.elapsed() < 50) return;
    sinceUpdate.restart();
    progress.setMaximum(static_cast<int>(total));
    progress.setValue(static_cast<int>(done));
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  };
  // The progress dialog is application-modal: no other window takes input while it runs.
  const RamuloReport report = ConvertRamulo(options);
  progress.close();

  if (!report.done) {
    if (!report.message.empty())
      prompts().Message(report.message, MsgButtons::Ok, MsgIcon::Warning);
    return;
  }
  if (const std::string notice = ConversionNotice(report); !notice.empty())
    prompts().Message(notice, MsgButtons::Ok, MsgIcon::Information);
  if (prompts().Message(kAskUseConverted, MsgButtons::OkCancel, MsgIcon::Question) !=
      MsgResult::Ok)
    return;
  // The running program keeps its open database; the converted one opens at the next start.
  const UseOutcome used = UseConvertedDatabase(settingsFile_, target_);
  prompts().Message(used.message, MsgButtons::Ok,
                    used.written ? MsgIcon::None : MsgIcon::Error);
}

void InstallDataImport(CMainFrame& frame) {
  frame.SetCommandHandler(cmd::kConvertRamulo, [&frame] {
    // The open database is no target: the dialog refuses it.
    CWndDataImport dialog(frame.settingsFile(),
                          frame.navigator() ? frame.navigator()->notebook().DatabasePath()
                                            : std::string(),
                          &frame);
    dialog.exec();
  });
}

}  // namespace zorbek
