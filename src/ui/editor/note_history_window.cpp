#include "ui/editor/note_history_window.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QSplitter>
#include <QTextEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/io/file_util.h"
#include "rtf/note_file.h"

namespace zorbek {

CWndNoteHistory::CWndNoteHistory(std::vector<NoteVersion> versions, Restore restore,
                                 QWidget* parent)
    : QDialog(parent), versions_(std::move(versions)), restoreTo_(std::move(restore)) {
  setObjectName(QStringLiteral("NoteHistory"));
  setWindowTitle(QString::fromUtf8(kHistoryTitle));
  resize(720, 420);
  list_ = new QTreeWidget(this);
  list_->setObjectName(QStringLiteral("NoteHistoryList"));
  list_->setRootIsDecorated(false);
  list_->setHeaderLabels({QStringLiteral("日期"), QStringLiteral("时间"), QStringLiteral("大小")});
  preview_ = new QTextEdit(this);
  preview_->setObjectName(QStringLiteral("NoteHistoryPreview"));
  preview_->setReadOnly(true);
  auto* split = new QSplitter(this);
  split->addWidget(list_);
  split->addWidget(preview_);
  split->setStretchFactor(1, 3);
  restore_ = new QPushButton(QStringLiteral("恢复"), this);
  auto* close = new QPushButton(QStringLiteral("关闭"), this);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(restore_);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(split);
  layout->addLayout(buttons);
  for (const NoteVersion& v : versions_) {
    const QDateTime when = QDateTime::fromSecsSinceEpoch(v.keptAt);
    auto* row = new QTreeWidgetItem(list_);
    row->setText(0, when.toString(QStringLiteral("yyyy-MM-dd")));
    row->setText(1, when.toString(QStringLiteral("HH:mm:ss")));
    row->setText(2, QStringLiteral("%1 KB").arg((v.bytes + 1023) / 1024));
    row->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
  }
  for (int c = 0; c < 3; ++c) list_->resizeColumnToContents(c);
  if (versions_.empty()) preview_->setPlainText(QString::fromUtf8(kNoHistory));
  connect(list_, &QTreeWidget::currentItemChanged, this, [this] { ShowSelected(); });
  connect(restore_, &QPushButton::clicked, this, &CWndNoteHistory::RestoreSelected);
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  if (!versions_.empty()) list_->setCurrentItem(list_->topLevelItem(0));
  ShowSelected();
}

void CWndNoteHistory::ShowSelected() {
  const int i = list_->currentItem() ? list_->indexOfTopLevelItem(list_->currentItem()) : -1;
  restore_->setEnabled(i >= 0);
  if (i < 0) return;
  const auto bytes = ReadWholeFile(versions_[static_cast<std::size_t>(i)].path);
  LoadContent(bytes ? QByteArray::fromStdString(*bytes) : QByteArray(), preview_->document());
}

void CWndNoteHistory::RestoreSelected() {
  const int i = list_->currentItem() ? list_->indexOfTopLevelItem(list_->currentItem()) : -1;
  if (i < 0) return;
  const auto bytes = ReadWholeFile(versions_[static_cast<std::size_t>(i)].path);
  if (!bytes) return;
  if (restoreTo_) restoreTo_(*bytes);
  accept();
}

}  // namespace zorbek
