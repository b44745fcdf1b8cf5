#include "ui/search/search_panel.h"

#include <QFontDatabase>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPointer>
#include <QResizeEvent>
#include <mutex>

#include "core/app/prompts.h"
#include "core/db/database.h"
#include "core/db/store_paths.h"
#include "core/notes/item_path.h"
#include "core/notes/note_commands.h"
#include "core/search/history.h"
#include "core/text/cp936.h"

namespace zorbek {
namespace {

constexpr int kLabelHeight = 30;
constexpr int kListTop = 32;
constexpr int kProgressHeight = 18;
const char kSearchAgain[] = "决定重新搜索吗？";

QString FromUtf8(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

QFont SearchPanelFont() {
  QFont font;
  QStringList faces = {QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("新宋体")};
  // Where none of those is installed, the CJK faces this system has.
  for (const QString& family : QFontDatabase::families(QFontDatabase::SimplifiedChinese))
    if (faces.size() < 8) faces << family;
  faces << QStringLiteral("Noto Sans CJK SC") << QStringLiteral("Noto Serif CJK SC");
  font.setFamilies(faces);
  font.setPixelSize(12);
  font.setWeight(QFont::Normal);
  return font;
}

// ---- the list ---------------------------------------------------------------------------------
CNoteList::CNoteList(const QString& nameHeader, QWidget* parent) : QTableWidget(0, 2, parent) {
  setHorizontalHeaderLabels({QStringLiteral("序号"), nameHeader});
  horizontalHeaderItem(0)->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  horizontalHeaderItem(1)->setTextAlignment(Qt::AlignCenter);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  horizontalHeader()->setStretchLastSection(false);
  horizontalHeader()->setHighlightSections(false);
  verticalHeader()->hide();
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  setShowGrid(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setWordWrap(false);
  setFrameShape(QFrame::StyledPanel);
  setFrameShadow(QFrame::Sunken);
  connect(this, &QTableWidget::cellDoubleClicked, this, [this] { emit openRequested(); });
}

void CNoteList::AppendRow(const QString& fileName) {
  const int row = rowCount();
  insertRow(row);
  auto* number = new QTableWidgetItem(QString::number(row));
  number->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  auto* name = new QTableWidgetItem(fileName);
  name->setTextAlignment(Qt::AlignCenter);
  setItem(row, 0, number);
  setItem(row, 1, name);
}

void CNoteList::FitColumns(int width) {
  setColumnWidth(0, 37);
  setColumnWidth(1, std::max(0, width - 41));
}

void CNoteList::RemoveRowAt(int row) {
  removeRow(row);
  for (int r = row; r < rowCount(); ++r)
    if (QTableWidgetItem* number = item(r, 0)) number->setText(QString::number(r));
}

QString CNoteList::SelectedFileName() const {
  const QList<QTableWidgetSelectionRange> ranges = selectedRanges();
  if (ranges.isEmpty()) return {};
  int row = ranges.front().topRow();
  for (const auto& r : ranges) row = std::min(row, r.topRow());
  const QTableWidgetItem* name = item(row, 1);
  return name ? name->text() : QString();
}

void CNoteList::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
    emit openRequested();
    return;
  }
  QTableWidget::keyPressEvent(e);
}

const DocumentPath* FirstPathWithFileName(const std::vector<DocumentPath>& paths,
                                          const std::string& name) {
  for (const DocumentPath& p : paths)
    if (EqualsIgnoreLatinCase(FileNameOf(p), name)) return &p;
  return nullptr;
}

bool FollowNotePaths(const NotePathList& list, const std::vector<NotebookEvent>& events) {
  bool changed = false;
  for (const NotebookEvent& e : events) {
    if (e.item != ItemKind::Note || e.oldDocumentPath.empty()) continue;
    const bool follows = e.kind == NotebookEventKind::kRenamed || e.kind == NotebookEventKind::kMoved;
    const bool gone = e.kind == NotebookEventKind::kDeleted;
    if (!follows && !gone) continue;
    for (std::size_t i = list.count(); i-- > 0;) {
      DocumentPath& path = list.pathAt(i);
      // The list's paths keep the type as the element writes it; the event's is in lower case.
      if (!EqualsIgnoreLatinCase(path.str(), e.oldDocumentPath.str())) continue;
      changed = true;
      if (follows) {
        path = e.newDocumentPath;
        list.renamed(i);
      } else {
        list.removed(i);
      }
    }
  }
  return changed;
}

bool OpenNoteOfDocumentPath(Notebook& notebook, const DocumentPath& documentPath) {
  const auto element = ElementPathFromDocumentPath(documentPath, notebook.DatabasePath());
  if (!element) return false;
  const auto item = ItemPathOfElementPath(*element);
  if (!item) return false;
  // lasttime, the editor and the save of the database, as a double-click in the tree does;
  // an element that is gone or no longer a note is refused without a word.
  return notebook.Commands().OpenNote(*item).done;
}

// ---- the search panel -------------------------------------------------------------------------
CWndSearch::CWndSearch(Notebook& notebook, SelectionFn selection, QWidget* parent)
    : QWidget(parent),
      notebook_(notebook),
      selection_(std::move(selection)),
      label_(new QLabel(FromUtf8(ScopeLabelOf({}, {})), this)),
      progress_(new QLabel(this)),
      list_(new CNoteList(QStringLiteral("文件名"), this)) {
  setObjectName(QStringLiteral("SearchPanel"));
  const QFont font = SearchPanelFont();
  label_->setObjectName(QStringLiteral("scope"));
  label_->setFont(font);
  label_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  label_->setMargin(4);
  label_->setAutoFillBackground(true);
  QPalette pal = label_->palette();
  pal.setColor(QPalette::Window, QColor(232, 240, 254));
  label_->setPalette(pal);
  progress_->setObjectName(QStringLiteral("progress"));
  progress_->setFont(font);
  progress_->setMargin(2);
  progress_->hide();
  list_->setObjectName(QStringLiteral("results"));
  list_->setFont(font);
  setFocusProxy(list_);
  connect(list_, &CNoteList::openRequested, this, &CWndSearch::OpenSelected);
  Layout();
  listener_ = notebook_.AddListener(
      [this](const std::vector<NotebookEvent>& events) { Follow(events); });
}

// The search's workers stop and are joined.
CWndSearch::~CWndSearch() { notebook_.RemoveListener(listener_); }

void CWndSearch::Follow(const std::vector<NotebookEvent>& events) {
  FollowNotePaths(
      NotePathList{[&]() { return results_.size(); },
                   [&](std::size_t i) -> DocumentPath& { return results_[i]; },
                   [&](std::size_t i) {
                     if (QTableWidgetItem* name = list_->item(static_cast<int>(i), 1))
                       name->setText(FromUtf8(FileNameOf(results_[i])));
                   },
                   [&](std::size_t i) {
                     results_.erase(results_.begin() + static_cast<std::ptrdiff_t>(i));
                     list_->RemoveRowAt(static_cast<int>(i));
                   }},
      events);
}

void CWndSearch::Layout() {
  const int w = width();
  const int h = height();
  label_->setGeometry(0, 0, w, kLabelHeight);
  int top = kListTop;
  if (progress_->isVisibleTo(this)) {
    progress_->setGeometry(0, kListTop, w, kProgressHeight);
    top += kProgressHeight;
  }
  list_->setGeometry(0, top, w, std::max(0, h - top));
  list_->FitColumns(w);
}

void CWndSearch::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  Layout();
}

void CWndSearch::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  UpdateScope();
}

void CWndSearch::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Escape && Searching()) {
    StopSearch();
    return;
  }
  QWidget::keyPressEvent(e);
}

void CWndSearch::UpdateScope() {
  ElementPath path;
  std::string type;
  if (const ItemPath item = selection_ ? selection_() : ItemPath(); !item.empty()) {
    path = ElementPathOfItem(item);
    type = ItemTypeOf(notebook_.Document(), item);
  }
  label_->setText(FromUtf8(ScopeLabelOf(path, type)));
}

bool CWndSearch::Searching() const { return search_ && !search_->Finished(); }

void CWndSearch::StopSearch() {
  if (!search_) return;
  search_->Cancel();
  PollSearch();
}

void CWndSearch::Search(const std::string& keyword) {
  if (list_->rowCount() > 0 &&
      prompts().Message(kSearchAgain, MsgButtons::OkCancel, MsgIcon::Question) != MsgResult::Ok)
    return;
  search_.reset();  // a running search stops here
  pollQueued_ = false;
  keyword_ = keyword;
  results_.clear();
  list_->setRowCount(0);
  const SearchStart start =
      SearchStartOf(label_->text().toStdString(), notebook_.DatabasePath());
  std::vector<NoteEntry> notes =
      CollectNotes(notebook_.Document(), start.elementPath, start.directory);
  progress_->show();
  Layout();
  QPointer<CWndSearch> self(this);
  search_ = std::make_unique<NoteSearch>(std::move(notes), SearchKeyword(keyword), 0, [self] {
    // A worker thread: the results are taken on the main thread.
    QMetaObject::invokeMethod(
        self.data(), [self] { if (self) self->PollSearch(); }, Qt::QueuedConnection);
  });
  ShowProgress(0, search_->notes().size(), false);
}

void CWndSearch::PollSearch() {
  if (!search_) return;
  const NoteSearch::Progress p = search_->Poll();
  if (!p.newHits.empty()) {
    list_->setUpdatesEnabled(false);
    for (std::size_t i : p.newHits) {
      const DocumentPath& path = search_->notes()[i].documentPath;
      results_.push_back(path);
      list_->AppendRow(FromUtf8(FileNameOf(path)));
    }
    list_->setUpdatesEnabled(true);
  }
  ShowProgress(p.tested, p.total, p.finished);
  if (p.finished) {
    search_.reset();
    emit searchFinished();
  }
}

void CWndSearch::ShowProgress(std::size_t tested, std::size_t total, bool finished) {
  QString text;
  if (!finished)
    text = QStringLiteral("已搜索 %1/%2").arg(tested).arg(total);
  else if (tested < total)
    text = QStringLiteral("已停止：已搜索 %1/%2，找到 %3 个").arg(tested).arg(total).arg(results_.size());
  else
    text = QStringLiteral("搜索完成：共 %1 个文件，找到 %2 个").arg(total).arg(results_.size());
  progress_->setText(text);
}

void CWndSearch::OpenSelected() {
  const QString name = list_->SelectedFileName();
  if (name.isEmpty()) return;
  if (const DocumentPath* path = FirstPathWithFileName(results_, name.toStdString()))
    OpenNoteOfDocumentPath(notebook_, *path);
}

// ---- the history panel ------------------------------------------------------------------------
CWndHistory::CWndHistory(Notebook& notebook, QWidget* parent)
    : QWidget(parent),
      notebook_(notebook),
      list_(new CNoteList(QStringLiteral("最近访问文件名"), this)) {
  setObjectName(QStringLiteral("HistoryPanel"));
  list_->setObjectName(QStringLiteral("history"));
  list_->setFont(SearchPanelFont());
  setFocusProxy(list_);
  connect(list_, &CNoteList::openRequested, this, &CWndHistory::OpenSelected);
  listener_ = notebook_.AddListener(
      [this](const std::vector<NotebookEvent>& events) { Follow(events); });
}

CWndHistory::~CWndHistory() { notebook_.RemoveListener(listener_); }

void CWndHistory::Follow(const std::vector<NotebookEvent>& events) {
  FollowNotePaths(
      NotePathList{[&]() { return records_.size(); },
                   [&](std::size_t i) -> DocumentPath& { return records_[i].documentPath; },
                   [&](std::size_t i) {
                     if (QTableWidgetItem* name = list_->item(static_cast<int>(i), 1))
                       name->setText(FromUtf8(FileNameOf(records_[i].documentPath)));
                   },
                   [&](std::size_t i) {
                     records_.erase(records_.begin() + static_cast<std::ptrdiff_t>(i));
                     list_->RemoveRowAt(static_cast<int>(i));
                   }},
      events);
}

void CWndHistory::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  Refresh();
}

void CWndHistory::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  list_->setGeometry(0, 0, width(), height());
  list_->FitColumns(width());
}

void CWndHistory::Refresh() {
  records_.clear();
  list_->setRowCount(0);
  records_ = HistoryOf(notebook_.Document());
  list_->setUpdatesEnabled(false);
  for (const NoteEntry& r : records_) list_->AppendRow(FromUtf8(FileNameOf(r.documentPath)));
  list_->setUpdatesEnabled(true);
}

void CWndHistory::OpenSelected() {
  const QString name = list_->SelectedFileName();
  if (name.isEmpty()) return;
  const std::string wanted = name.toStdString();
  for (const NoteEntry& r : records_)
    if (EqualsIgnoreLatinCase(FileNameOf(r.documentPath), wanted)) {
      // The list is not rebuilt: the new order shows the next time the panel shows.
      OpenNoteOfDocumentPath(notebook_, r.documentPath);
      return;
    }
}

}  // namespace zorbek
