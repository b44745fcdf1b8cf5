#include "ui/db/wnd_recycle_bin.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstdio>

#include "core/app/prompts.h"
#include "core/notes/notebook.h"
#include "ui/app/commands.h"
#include "ui/app/main_frame.h"
#include "ui/app/navigator.h"
#include "ui/app/qt_text.h"

namespace zorbek {
namespace {

enum Column { kName, kFrom, kWhen, kSize, kNotes };

}  // namespace

std::string SizeText(std::uint64_t bytes) {
  char text[32];
  if (bytes < 1024) std::snprintf(text, sizeof text, "%llu B", static_cast<unsigned long long>(bytes));
  else if (bytes < 1024 * 1024) std::snprintf(text, sizeof text, "%.0f KB", bytes / 1024.0 + 0.5);
  else std::snprintf(text, sizeof text, "%.1f MB", bytes / (1024.0 * 1024.0));
  return text;
}

CWndRecycleBin::CWndRecycleBin(Notebook& notebook,
                               std::function<void(const RestoreOutcome&)> restored,
                               QWidget* parent)
    : QWidget(parent, Qt::Window), notebook_(notebook), restored_(std::move(restored)) {
  setObjectName(QStringLiteral("RecycleBin"));
  setWindowTitle(Q(kBinTitle));
  resize(640, 360);
  list_ = new QTreeWidget(this);
  list_->setObjectName(QStringLiteral("RecycleBinList"));
  list_->setRootIsDecorated(false);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setHeaderLabels({QStringLiteral("名称"), QStringLiteral("原来的位置"),
                          QStringLiteral("删除时间"), QStringLiteral("大小"),
                          QStringLiteral("笔记数")});
  list_->header()->setSectionResizeMode(kFrom, QHeaderView::Stretch);
  list_->header()->setStretchLastSection(false);
  restore_ = new QPushButton(QStringLiteral("恢复"), this);
  purge_ = new QPushButton(QStringLiteral("彻底删除"), this);
  empty_ = new QPushButton(QStringLiteral("清空回收站"), this);
  auto* close = new QPushButton(QStringLiteral("关闭"), this);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(restore_);
  buttons->addWidget(purge_);
  buttons->addStretch(1);
  buttons->addWidget(empty_);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_);
  layout->addLayout(buttons);
  connect(restore_, &QPushButton::clicked, this, &CWndRecycleBin::RestoreSelected);
  connect(purge_, &QPushButton::clicked, this, &CWndRecycleBin::PurgeSelected);
  connect(empty_, &QPushButton::clicked, this, &CWndRecycleBin::EmptyBin);
  connect(close, &QPushButton::clicked, this, &QWidget::close);
  connect(list_, &QTreeWidget::itemSelectionChanged, this, &CWndRecycleBin::UpdateButtons);
  connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { RestoreSelected(); });
  Refill();
}

void CWndRecycleBin::showEvent(QShowEvent* event) {
  Refill();
  QWidget::showEvent(event);
}

void CWndRecycleBin::Refill() {
  list_->clear();
  for (const TrashEntry& e : RecycleBin(notebook_.DatabasePath()).List()) {
    auto* row = new QTreeWidgetItem(list_);
    row->setData(kName, Qt::UserRole, Q(e.id));
    row->setText(kName, Q(e.fileBox ? std::string("文件箱（全部笔记）") : e.name));
    const std::string path = e.TreePath();
    row->setText(kFrom, Q(path.substr(0, e.fileBox ? path.size() : path.rfind('/'))));
    row->setText(kWhen, QDateTime::fromSecsSinceEpoch(e.deletedAt)
                            .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    row->setText(kSize, Q(SizeText(e.bytes)));
    row->setText(kNotes, QString::number(e.notes));
    row->setTextAlignment(kSize, Qt::AlignRight | Qt::AlignVCenter);
    row->setTextAlignment(kNotes, Qt::AlignRight | Qt::AlignVCenter);
  }
  for (int c = 0; c < list_->columnCount(); ++c)
    if (c != kFrom) list_->resizeColumnToContents(c);
  if (list_->topLevelItemCount() > 0) list_->setCurrentItem(list_->topLevelItem(0));
  UpdateButtons();
}

std::vector<std::string> CWndRecycleBin::SelectedIds() const {
  std::vector<std::string> ids;
  for (QTreeWidgetItem* row : list_->selectedItems())
    ids.push_back(row->data(kName, Qt::UserRole).toString().toStdString());
  return ids;
}

void CWndRecycleBin::UpdateButtons() {
  const bool any = !list_->selectedItems().isEmpty();
  restore_->setEnabled(any);
  purge_->setEnabled(any);
  empty_->setEnabled(list_->topLevelItemCount() > 0);
}

void CWndRecycleBin::RestoreSelected() {
  for (const std::string& id : SelectedIds()) {
    const RestoreOutcome out = notebook_.Commands().Restore(id);
    if (out.done) {
      if (restored_) restored_(out);
    } else if (!out.saved) {
      notebook_.ReportSaveFailure(out.reason);
    } else {
      prompts().Message(out.reason.empty() ? out.message : out.message + "\n" + out.reason,
                        MsgButtons::Ok, MsgIcon::Warning);
    }
  }
  Refill();
}

void CWndRecycleBin::PurgeSelected() {
  const auto rows = list_->selectedItems();
  if (rows.isEmpty()) return;
  const std::string question =
      rows.size() == 1
          ? FormatMessage(kAskPurgeOne, rows[0]->text(kName).toStdString())
          : FormatMessage(kAskPurgeMany, std::to_string(rows.size()));
  if (prompts().Message(question, MsgButtons::OkCancel, MsgIcon::Question) != MsgResult::Ok)
    return;
  const RecycleBin bin(notebook_.DatabasePath());
  for (const std::string& id : SelectedIds()) {
    std::string error;
    if (!bin.Purge(id, &error))
      prompts().Message(std::string(kMsgTrashPurgeFailed) + "\n" + error, MsgButtons::Ok,
                        MsgIcon::Warning);
  }
  Refill();
}

void CWndRecycleBin::EmptyBin() {
  const RecycleBin bin(notebook_.DatabasePath());
  int notes = 0;
  for (const TrashEntry& e : bin.List()) notes += e.notes;
  if (prompts().Message(FormatMessage(kAskEmptyBin, std::to_string(notes)), MsgButtons::OkCancel,
                        MsgIcon::Question) != MsgResult::Ok)
    return;
  bin.Empty();
  Refill();
}

void InstallRecycleBin(CMainFrame& frame) {
  frame.SetCommandHandler(cmd::kShowRecycleBin, [&frame] {
    CWndNavigator* navigator = frame.navigator();
    if (!navigator) return;
    auto* bin = frame.findChild<CWndRecycleBin*>();
    // The note tree follows a restore from the notebook's events.
    if (!bin) bin = new CWndRecycleBin(navigator->notebook(), {}, &frame);
    bin->show();
    bin->raise();
    bin->activateWindow();
  });
}

}  // namespace zorbek
