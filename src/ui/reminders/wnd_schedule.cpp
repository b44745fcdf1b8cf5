#include "ui/reminders/wnd_schedule.h"

#include <QAction>
#include <QEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTextLayout>
#include <QToolBar>
#include <QVBoxLayout>

#include "ui/app/qt_text.h"
#include "core/app/prompts.h"
#include "core/reminders/reminder_form.h"
#include "core/reminders/reminder_text.h"
#include "ui/calendar/xcalendar.h"
#include "ui/reminders/schedule_dialogs.h"
#include "ui/report/report_ctrl.h"

static void InitScheduleResources() { Q_INIT_RESOURCE(zorbek); }

namespace zorbek {
namespace {


QString WithNewlines(const QString& s) {
  QString t = s;
  t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  return t;
}

constexpr int kFrame = 2;  // the blue frame along the window's edges
const QColor kFrameColor(0, 100, 255);

namespace msg {
constexpr const char* kSelectToModify = "请选择一项待修改项。";
constexpr const char* kSelectForDetails = "请选择一项待详情项。";
constexpr const char* kSelectToDelete = "请选择需删除的选项。";
constexpr const char* kConfirmDelete = "决定继续删除选择项吗？";
}  // namespace msg

// text wrapped at the width of box, each line at its own height (Chinese lines come from a
// taller fallback font); what does not fit ends in an ellipsis on the last line that does.
void DrawWrappedElided(QPainter& p, const QRect& box, const QString& text) {
  if (box.width() <= 0 || box.height() <= 0) return;
  QString laidOut = text;
  laidOut.replace(QLatin1Char('\n'), QChar::LineSeparator);
  QTextLayout layout(laidOut, p.font());
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  layout.setTextOption(option);
  layout.beginLayout();
  qreal y = 0;
  int shown = 0;
  bool more = false;
  for (;;) {
    QTextLine line = layout.createLine();
    if (!line.isValid()) break;
    line.setLineWidth(box.width());
    if (shown > 0 && y + line.height() > box.height()) {
      more = true;
      break;
    }
    line.setPosition(QPointF(0, y));
    y += line.height();
    ++shown;
  }
  layout.endLayout();
  const QPointF origin = box.topLeft();
  for (int i = 0; i < shown; ++i) {
    QTextLine line = layout.lineAt(i);
    if (i < shown - 1 || !more) {
      line.draw(&p, origin);
      continue;
    }
    QString part = laidOut.mid(line.textStart(), line.textLength());
    while (!part.isEmpty() && (part.back() == QChar::LineSeparator || part.back().isSpace()))
      part.chop(1);
    const QString ellipsis(QChar(0x2026));
    const QFontMetrics fm = p.fontMetrics();
    part = fm.horizontalAdvance(part + ellipsis) <= box.width()
               ? part + ellipsis
               : fm.elidedText(part + ellipsis + ellipsis, Qt::ElideRight, box.width());
    const QRectF r(origin.x(), origin.y() + line.y(), box.width(), line.height());
    p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, part);
  }
}

QPointer<CWndSchedule>& OpenWindow() {
  static QPointer<CWndSchedule> window;
  return window;
}

}  // namespace

CWndSchedule::CWndSchedule(ReminderStore& store, QWidget* parent)
    : QWidget(parent, Qt::Window), store_(store) {
  InitScheduleResources();
  setObjectName(QStringLiteral("Schedule"));
  setWindowTitle(QStringLiteral("Schedule"));
  setAttribute(Qt::WA_DeleteOnClose);
  setFixedSize(kWidth, kHeight);

  toolbar_ = new QToolBar(this);
  toolbar_->setWindowTitle(QStringLiteral("Main"));
  toolbar_->setIconSize(QSize(36, 32));
  toolbar_->setMovable(false);
  toolbar_->setFloatable(false);
  toolbar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
  struct Button {
    int command;
    const char* icon;
    const char* tip;
  };
  const Button buttons[] = {
      {schedulecmd::kAdd, "add", "增加提醒"},
      {schedulecmd::kModify, "modify", "修改选中的提醒"},
      {schedulecmd::kDetails, "details", "查看提醒详情"},
      {schedulecmd::kDelete, "delete", "删除选中的提醒"},
      {schedulecmd::kCalendar, "calendar", "日历"},
  };
  bool first = true;
  for (const Button& b : buttons) {
    if (!first) toolbar_->addSeparator();
    first = false;
    QIcon icon(QStringLiteral(":/icons/schedule/%1.png").arg(QLatin1String(b.icon)));
    QAction* a = toolbar_->addAction(icon, QString::fromUtf8(b.tip));
    a->setToolTip(QString::fromUtf8(b.tip));
    a->setData(b.command);
    const int command = b.command;
    connect(a, &QAction::triggered, this, [this, command] { RunCommand(command); });
    actions_.insert(b.command, a);
  }
  actions_[schedulecmd::kCalendar]->setCheckable(true);

  calendar_ = new XCalendar(this);
  list_ = new CReportCtrl(this);
  for (QWidget* w : {static_cast<QWidget*>(calendar_), static_cast<QWidget*>(list_)})
    if (auto* frame = qobject_cast<QFrame*>(w)) frame->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  list_->InsertColumn(kColumnId, QStringLiteral("ID"), 100);
  list_->InsertColumn(kColumnTime, QStringLiteral("提醒时间"), 100);
  list_->InsertColumn(kColumnMode, QStringLiteral("提醒模式"), 100);
  list_->InsertColumn(kColumnValidity, QStringLiteral("有效期"), 100);
  list_->HideColumn(kColumnId);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(kFrame, kFrame, kFrame, kFrame);
  layout->setSpacing(0);
  layout->addWidget(toolbar_);
  layout->addWidget(list_, 1);
  layout->addWidget(calendar_, 1);

  // The heights of the preview rule, in the list's font.
  oneLine_ = list_->MeasureTextHeight(QStringLiteral("你"));
  threeLines_ = list_->MeasureTextHeight(QStringLiteral("你\r\n好\r\n吗"));
  eightLines_ = list_->MeasureTextHeight(QStringLiteral("元\r\n旦\r\n节\r\n当\r\n天\r\n你\r\n好\r\n吗"));

  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - QPoint(kWidth / 2, kHeight / 2));

  connect(list_, &CReportCtrl::itemSelectionChanged, this, &CWndSchedule::OnSelectionChanged);
  connect(list_, &CReportCtrl::emptyAreaClicked, this, &CWndSchedule::OnEmptyAreaClicked);
  connect(list_, &CReportCtrl::itemDoubleClicked, this, &CWndSchedule::OnDoubleClicked);
  connect(list_, &CReportCtrl::drawPreview, this, &CWndSchedule::DrawPreview);
  list_->viewport()->installEventFilter(this);
  list_->SetPreviewMeasure([this](int row) {
    return PreviewHeight(contents_.value(list_->GetItemText(row, kColumnId)), 3);
  });

  Refill();
  calendar_->hide();
  list_->show();
  UpdateCommandStates();
  LayoutColumns();
}

void CWndSchedule::Refill() {
  ResetExpandedRow();
  list_->DeleteAllItems();
  contents_.clear();
  list_->BeginBatch();
  store_.ForEach([this](const ReminderRecord& r) {
    SetReminderRow(r.id, r.start, r.stop, r.mode, r.content);
  });
  list_->EndBatch();
  UpdateCommandStates();
}

CWndSchedule::CWndSchedule(Notebook& notebook, QWidget* parent)
    : CWndSchedule(notebook.Reminders(), parent) {
  notebook_ = &notebook;
  // The database read again from disk brings its own reminders.
  listener_ = notebook.AddListener([this](const std::vector<NotebookEvent>& events) {
    for (const NotebookEvent& e : events)
      if (e.kind == NotebookEventKind::kReloaded) {
        Refill();
        return;
      }
  });
}

CWndSchedule::~CWndSchedule() {
  if (notebook_) notebook_->RemoveListener(listener_);
  // The list outlives this object's own members while QWidget takes its children down.
  list_->SetPreviewMeasure({});
  list_->disconnect(this);
  list_->viewport()->removeEventFilter(this);
}

QAction* CWndSchedule::Action(int command) const { return actions_.value(command, nullptr); }

int CWndSchedule::ExpandedRow() const { return expanded_.isValid() ? expanded_.row() : -2; }

bool CWndSchedule::CalendarShown() const { return !calendar_->isHidden(); }

int CWndSchedule::PreviewTextWidth() const {
  // The window has a fixed size: the list's width is known before it is laid out.
  const int scrollBar = list_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list_);
  const int viewport = list_->viewport()->width() > 150 && list_->isVisible()
                           ? list_->viewport()->width()
                           : kWidth - 2 * kFrame - 2 * list_->frameWidth() - scrollBar;
  return std::max(40, viewport - 120);
}

int CWndSchedule::PreviewHeight(const QString& content, int lines) const {
  const int cap = lines <= 3 ? threeLines_ : eightLines_;
  const QString text = WithNewlines(content);
  // Most reminders are one short line: no layout is needed to know their height.
  int height;
  if (!text.contains(QLatin1Char('\n')) &&
      list_->fontMetrics().horizontalAdvance(text) <= PreviewTextWidth())
    height = oneLine_;
  else
    height = std::min(cap, list_->MeasureTextHeight(text, PreviewTextWidth()));
  return std::min(height, cap) + 10;
}

int CWndSchedule::FindRow(const QString& id, std::int32_t mode) const {
  if (mode == reminder_mode::kHalfHourly || mode == reminder_mode::kHourly) {
    for (int row = 0, n = list_->GetItemCount(); row < n; ++row)
      if (list_->GetItemText(row, kColumnId) == id) return row;
    return -1;
  }
  for (int row = list_->GetFirstSelectedItem(); row >= 0; row = list_->GetNextSelectedItem(row))
    if (list_->GetItemText(row, kColumnId) == id) return row;
  return -1;
}

void CWndSchedule::SetReminderRow(const std::string& id, const SystemTime& start,
                                  const SystemTime& stop, std::int32_t mode,
                                  const std::string& content) {
  const QString qid = Q(id);
  int row = FindRow(qid, mode);
  const QStringList texts{qid, Q(ReminderTimeColumn(mode, start, stop)),
                          Q(ReminderModeColumn(mode)), Q(ReminderValidityColumn(mode))};
  if (row < 0) {
    row = list_->InsertItem(0, texts);
  } else {
    for (int c = kColumnTime; c <= kColumnValidity; ++c) list_->SetItemText(row, c, texts[c]);
  }
  contents_.insert(qid, Q(content));
  const bool expanded = expanded_.isValid() && expanded_.row() == row;
  // Three lines are measured when the row is first laid out.
  list_->SetItemPreviewHeight(row, expanded ? PreviewHeight(Q(content), 8) : -1);
}

// ---- selection and clicks ----------------------------------------------------------------

void CWndSchedule::ResetExpandedRow() {
  if (expanded_.isValid()) {
    const int row = expanded_.row();
    list_->SetItemPreviewHeight(row, -1);
  }
  expanded_ = QPersistentModelIndex();
}

void CWndSchedule::OnSelectionChanged(int row, bool selected) {
  if (!selected) return;
  ResetExpandedRow();
  expanded_ = QPersistentModelIndex(list_->Model()->index(row, 0));
  list_->SetItemPreviewHeight(
      row, PreviewHeight(contents_.value(list_->GetItemText(row, kColumnId)), 8));
}

void CWndSchedule::OnEmptyAreaClicked() {
  if (list_->GetFirstSelectedItem() < 0) return;
  list_->ClearSelection();
  // The row goes back to its three lines with the selection.
  ResetExpandedRow();
}

void CWndSchedule::OnDoubleClicked(int row) {
  RunCommand(row >= 0 ? schedulecmd::kModify : schedulecmd::kAdd);
}

void CWndSchedule::DrawPreview(QPainter* painter, int row, bool selected, const QRect& rect) {
  const std::optional<ReminderRecord> r = store_.Get(list_->GetItemText(row, kColumnId).toStdString());
  if (!r) return;
  const QPalette& pal = list_->palette();
  // Selected rows sit on the selection colour; the others show their text in it.
  const QPalette::ColorGroup group = list_->hasFocus() ? QPalette::Active : QPalette::Inactive;
  painter->setPen(selected ? pal.color(group, QPalette::HighlightedText)
                           : pal.color(QPalette::Active, QPalette::Highlight));
  painter->setFont(list_->font());
  const QRect inner(rect.left(), rect.top() + 5, rect.width(), rect.height() - 10);
  painter->drawText(QRect(0, inner.top(), rect.left() + 80, inner.height()),
                    Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine,
                    QStringLiteral("内容："));
  const QRect box(rect.left() + 80, inner.top(), rect.width() - 120, inner.height());
  DrawWrappedElided(*painter, box, WithNewlines(Q(r->content)));
}

// ---- commands ------------------------------------------------------------------------------

bool CWndSchedule::CommandEnabled(int command) const {
  const QAction* a = Action(command);
  return a && a->isEnabled();
}

void CWndSchedule::RunCommand(int command) {
  if (!CommandEnabled(command)) return;
  switch (command) {
    case schedulecmd::kAdd: Add(); break;
    case schedulecmd::kModify: Modify(); break;
    case schedulecmd::kDetails: Details(); break;
    case schedulecmd::kDelete: Delete(); break;
    case schedulecmd::kCalendar: ToggleCalendar(); break;
    default: break;
  }
}

void CWndSchedule::Add() {
  CScheduleOperation dialog(nullptr, this);
  if (dialog.exec() != QDialog::Accepted) return;
  const ReminderFormResult& f = dialog.Result();
  const ReminderCommandOutcome out = AddReminderFromForm(store_, f);
  if (!out.ok) {
    prompts().Message(out.message);
    return;
  }
  SetReminderRow(f.id, f.start, f.stop, f.mode, f.content);
}

void CWndSchedule::Modify() {
  const int row = list_->GetFirstSelectedItem();
  if (row < 0) {
    prompts().Message(msg::kSelectToModify);
    return;
  }
  const std::string id = list_->GetItemText(row, kColumnId).toStdString();
  const std::optional<ReminderRecord> r = store_.Get(id);
  if (!r) return;
  CScheduleOperation dialog(&*r, this);
  if (dialog.exec() != QDialog::Accepted) return;
  const ReminderFormResult& f = dialog.Result();
  const ReminderCommandOutcome out = ModifyReminderFromForm(store_, id, f);
  if (!out.ok) {
    prompts().Message(out.message);
    return;
  }
  SetReminderRow(id, f.start, f.stop, f.mode, f.content);
}

void CWndSchedule::Details() {
  const int row = list_->GetFirstSelectedItem();
  if (row < 0) {
    prompts().Message(msg::kSelectForDetails);
    return;
  }
  const std::optional<ReminderRecord> r =
      store_.Get(list_->GetItemText(row, kColumnId).toStdString());
  if (!r) return;
  CScheduleDetail dialog(*r, this);
  dialog.exec();
}

void CWndSchedule::Delete() {
  if (list_->GetFirstSelectedItem() < 0) {
    prompts().Message(msg::kSelectToDelete);
    return;
  }
  if (prompts().Message(msg::kConfirmDelete, MsgButtons::OkCancel, MsgIcon::Information) !=
      MsgResult::Ok)
    return;
  for (int row = list_->GetFirstSelectedItem(); row >= 0; row = list_->GetFirstSelectedItem()) {
    const QString id = list_->GetItemText(row, kColumnId);
    store_.Delete(id.toStdString());
    if (expanded_.isValid() && expanded_.row() == row) expanded_ = QPersistentModelIndex();
    list_->DeleteItem(row);
    contents_.remove(id);
  }
}

void CWndSchedule::ToggleCalendar() {
  if (CalendarShown()) {
    calendar_->hide();
    list_->show();
  } else {
    list_->hide();
    calendar_->show();
  }
  UpdateCommandStates();
}

void CWndSchedule::UpdateCommandStates() {
  const bool calendar = CalendarShown();
  for (int c : {schedulecmd::kAdd, schedulecmd::kModify, schedulecmd::kDelete, schedulecmd::kDetails})
    actions_[c]->setEnabled(!calendar);
  actions_[schedulecmd::kCalendar]->setChecked(calendar);
}

// ---- look ----------------------------------------------------------------------------------

void CWndSchedule::LayoutColumns() {
  const int w = list_->viewport()->width();
  list_->SetColumnWidth(kColumnTime, static_cast<int>(w * 0.5));
  list_->SetColumnWidth(kColumnMode, static_cast<int>(w * 0.25));
  list_->SetColumnWidth(kColumnValidity, static_cast<int>(w * 0.25));
}

bool CWndSchedule::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list_->viewport() && event->type() == QEvent::Resize) LayoutColumns();
  return QWidget::eventFilter(watched, event);
}

void CWndSchedule::paintEvent(QPaintEvent* event) {
  QWidget::paintEvent(event);
  QPainter p(this);
  const QRect r = rect();
  for (int i = 0; i < kFrame; ++i) {
    p.setPen(kFrameColor);
    p.drawRect(r.adjusted(i, i, -1 - i, -1 - i));
  }
}

// ---- the one window ------------------------------------------------------------------------

CWndSchedule* OpenReminderListWindow(Notebook& notebook) {
  QPointer<CWndSchedule>& window = OpenWindow();
  if (!window) {
    window = new CWndSchedule(notebook);
    window->show();
  } else {
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
  }
  window->raise();
  window->activateWindow();
  return window;
}

CWndSchedule* ReminderListWindow() { return OpenWindow().data(); }

void CloseReminderListWindow() {
  QPointer<CWndSchedule>& window = OpenWindow();
  if (!window) return;
  CWndSchedule* w = window.data();
  window = nullptr;
  w->close();
  delete w;
}

}  // namespace zorbek
