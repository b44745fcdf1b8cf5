#include "ui/calendar/xcalendar.h"

#include <QFontDatabase>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QStringList>

#include "ui/app/qt_text.h"
#include "core/app/clock.h"

namespace zorbek {

namespace {

constexpr int kTitleHeight = 30;
constexpr int kWeekdayHeight = 30;
constexpr int kButtonSize = 24;
constexpr int kItemGap = 1;
constexpr int kItemLeft = 3, kItemTop = 3;

const QColor kTitleBackground(181, 184, 71);
const QColor kWeekdayBackground(205, 205, 166);
const QColor kGridBackground(238, 238, 225);
const QColor kGridLine(128, 128, 128);
const QColor kToday(0, 255, 0);
const QColor kSelected(255, 255, 0);
const QColor kRed(255, 0, 0);
const QColor kGrey(128, 128, 128);
// The 3-D edge of a raised or sunken button.
const QColor kEdgeLight(255, 255, 255), kEdgeFace(227, 227, 227);
const QColor kEdgeShadow(160, 160, 160), kEdgeDark(105, 105, 105);

// The panel's face is 宋体; where it is not installed, the first CJK serif (or sans) face found.
QString CalendarFamily() {
  static const QString family = [] {
    const QStringList wanted = {QStringLiteral("宋体"),         QStringLiteral("SimSun"),
                                QStringLiteral("Noto Serif CJK SC"), QStringLiteral("AR PL UMing CN"),
                                QStringLiteral("Noto Sans CJK SC"),  QStringLiteral("WenQuanYi Zen Hei")};
    const QStringList installed = QFontDatabase::families();
    for (const QString& f : wanted)
      if (installed.contains(f, Qt::CaseInsensitive)) return f;
    return wanted.first();
  }();
  return family;
}

QFont CalendarFont(int pixels, bool bold) {
  QFont font(CalendarFamily());
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}


// Float positions cut to whole pixels.
int Cut(double v) { return static_cast<int>(v); }

}  // namespace

XCalendar::XCalendar(QWidget* parent)
    : QWidget(parent),
      view_([] {
        const SystemTime now = clock().LocalNow();
        return calendar::Date{now.year, now.month, now.day};
      }()),
      description_(QStringLiteral("[牛] 农历一凑年")),
      boldSmall_(CalendarFont(12, true)),
      boldLarge_(CalendarFont(24, true)),
      normalSmall_(CalendarFont(12, false)) {
  setObjectName(QStringLiteral("XCalendar"));
  setCursor(Qt::ArrowCursor);
  // Every pixel is painted: no background to erase first.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

QSize XCalendar::sizeHint() const { return {560, 420}; }

QRect XCalendar::itemRect(Item item) const {
  int left = kItemLeft;
  for (int i = 0; i < item; ++i)
    left += (i == kTitle ? 3 * kButtonSize : kButtonSize) + kItemGap;
  const int width = item == kTitle ? 3 * kButtonSize : kButtonSize;
  return {left, kItemTop, width, kButtonSize};
}

QRect XCalendar::descriptionRect() const {
  const int left = itemRect(kNextYear).right() + 1 + kItemGap;
  return QRect(QPoint(left, kItemTop), QPoint(width() - 8 - 1, kItemTop + kButtonSize - 1));
}

QRect XCalendar::gridRect() const {
  const int top = kTitleHeight + kWeekdayHeight;
  return {0, top, width(), std::max(0, height() - top)};
}

QRect XCalendar::cellRect(int index) const {
  const QRect g = gridRect();
  const int column = index % calendar::MonthView::kColumns;
  const int row = index / calendar::MonthView::kColumns;
  const double w = g.width() / 7.0, h = g.height() / 6.0;
  const int left = Cut(column * w), right = Cut((column + 1) * w);
  const int top = g.top() + Cut(row * h), bottom = g.top() + Cut((row + 1) * h);
  return {left, top, right - left, bottom - top};
}

int XCalendar::ButtonAt(const QPoint& pos) const {
  for (int i = 0; i < kItemCount; ++i)
    if (IsButton(i) && itemRect(static_cast<Item>(i)).contains(pos)) return i;
  return -1;
}

int XCalendar::CellAt(const QPoint& pos) const {
  if (!gridRect().contains(pos)) return -1;
  for (int i = 0; i < calendar::MonthView::kCells; ++i)
    if (cellRect(i).contains(pos)) return i;
  return -1;
}

void XCalendar::PaintEdge(QPainter& p, const QRect& r, bool sunken) {
  const QColor outerTopLeft = sunken ? kEdgeDark : kEdgeFace;
  const QColor innerTopLeft = sunken ? kEdgeShadow : kEdgeLight;
  const QColor outerBottomRight = sunken ? kEdgeLight : kEdgeDark;
  const QColor innerBottomRight = sunken ? kEdgeFace : kEdgeShadow;
  const int l = r.left(), t = r.top(), rt = r.right(), b = r.bottom();
  p.setPen(outerTopLeft);
  p.drawLine(l, t, rt - 1, t);
  p.drawLine(l, t, l, b - 1);
  p.setPen(outerBottomRight);
  p.drawLine(l, b, rt, b);
  p.drawLine(rt, t, rt, b);
  p.setPen(innerTopLeft);
  p.drawLine(l + 1, t + 1, rt - 2, t + 1);
  p.drawLine(l + 1, t + 1, l + 1, b - 2);
  p.setPen(innerBottomRight);
  p.drawLine(l + 1, b - 1, rt - 1, b - 1);
  p.drawLine(rt - 1, t + 1, rt - 1, b - 1);
}

void XCalendar::PaintTitleRow(QPainter& p) {
  p.fillRect(0, 0, width(), kTitleHeight, kTitleBackground);
  // A raised line along the bottom of the row.
  p.setPen(kEdgeShadow);
  p.drawLine(0, kTitleHeight - 2, width() - 1, kTitleHeight - 2);
  p.setPen(kEdgeDark);
  p.drawLine(0, kTitleHeight - 1, width() - 1, kTitleHeight - 1);

  static const char* const kLabels[kItemCount] = {"<<", "<", "", ">", ">>"};
  p.setFont(boldSmall_);
  for (int i = 0; i < kItemCount; ++i) {
    const QRect r = itemRect(static_cast<Item>(i));
    PaintEdge(p, r, i == pressed_);
    // A held button's text moves with its face.
    const QRect text = i == pressed_ ? r.translated(1, 1) : r;
    if (i == kTitle) {
      p.setPen(Qt::blue);
      p.drawText(r, Qt::AlignCenter | Qt::TextSingleLine, Q(view_.Title()));
    } else {
      p.setPen(Qt::black);
      p.drawText(text, Qt::AlignCenter | Qt::TextSingleLine, QString::fromLatin1(kLabels[i]));
    }
  }

  description_ = Q(view_.Description());
  p.setFont(normalSmall_);
  p.setPen(Qt::blue);
  p.drawText(descriptionRect(), Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine,
             description_);
}

void XCalendar::PaintWeekdayRow(QPainter& p) {
  static const char* const kWeekdays[7] = {"星期日", "星期一", "星期二", "星期三",
                                           "星期四", "星期五", "星期六"};
  p.fillRect(0, kTitleHeight, width(), kWeekdayHeight, kWeekdayBackground);
  p.setFont(boldSmall_);
  p.setPen(Qt::black);
  const double w = width() / 7.0;
  for (int c = 0; c < 7; ++c) {
    const QRect r(Cut(c * w), kTitleHeight, Cut((c + 1) * w) - Cut(c * w), kWeekdayHeight);
    p.drawText(r, Qt::AlignCenter | Qt::TextSingleLine, QString::fromUtf8(kWeekdays[c]));
  }
}

void XCalendar::PaintCell(QPainter& p, int index) {
  const calendar::CellLook look = view_.Look(index);
  const QRect r = cellRect(index);
  const QRect inset = r.adjusted(3, 3, -3, -3);
  const QColor mark = look.today ? kToday : kSelected;
  if (look.shownMonth) {
    if (look.today || look.selected) p.fillRect(inset, mark);
  } else if (look.today || look.selected) {
    p.setPen(mark);
    p.setBrush(Qt::NoBrush);
    p.drawRect(inset.adjusted(0, 0, -1, -1));
  }

  const int split = r.top() + r.height() / 2 + 4;
  const QRect upper(QPoint(r.left(), r.top()), QPoint(r.right(), split - 1));
  const QRect lower(QPoint(r.left(), split), QPoint(r.right(), r.bottom()));

  QColor dayColor = look.weekend ? kRed : QColor(Qt::black);
  QColor lunarColor = look.lunarIsTerm ? kRed : QColor(Qt::black);
  if (!look.shownMonth) dayColor = lunarColor = kGrey;

  p.setFont(boldLarge_);
  p.setPen(dayColor);
  p.drawText(upper, Qt::AlignHCenter | Qt::AlignBottom | Qt::TextSingleLine, Q(look.dayText));
  p.setFont(normalSmall_);
  p.setPen(lunarColor);
  p.drawText(lower, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, Q(look.lunarText));
}

void XCalendar::PaintGrid(QPainter& p) {
  const QRect g = gridRect();
  if (g.isEmpty()) return;
  p.fillRect(g, kGridBackground);
  p.setPen(kGridLine);
  const double w = g.width() / 7.0, h = g.height() / 6.0;
  for (int c = 1; c < 7; ++c) p.drawLine(Cut(c * w), g.top(), Cut(c * w), g.bottom());
  for (int r = 1; r < 6; ++r)
    p.drawLine(g.left(), g.top() + Cut(r * h), g.right(), g.top() + Cut(r * h));
  for (int i = 0; i < calendar::MonthView::kCells; ++i) PaintCell(p, i);
}

void XCalendar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  PaintTitleRow(p);
  PaintWeekdayRow(p);
  PaintGrid(p);
}

void XCalendar::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const int button = ButtonAt(event->position().toPoint());
  if (button < 0) return;
  pressed_ = button;
  update(itemRect(static_cast<Item>(button)));
}

void XCalendar::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint pos = event->position().toPoint();
  if (pressed_ >= 0) {
    // Whatever happens next, the held button comes back up.
    update(itemRect(static_cast<Item>(pressed_)));
    pressed_ = -1;
  }

  const int button = ButtonAt(pos);
  if (button >= 0) {
    const calendar::DateMove move = button == kPreviousYear    ? calendar::DateMove::PreviousYear
                                    : button == kPreviousMonth ? calendar::DateMove::PreviousMonth
                                    : button == kNextMonth     ? calendar::DateMove::NextMonth
                                                               : calendar::DateMove::NextYear;
    view_.Move(move);
    update();
    return;
  }

  const int cell = CellAt(pos);
  if (cell < 0) return;
  const int before = view_.selectedCell();
  switch (view_.ClickCell(cell)) {
    case calendar::MonthView::ClickOutcome::Nothing:
      break;
    case calendar::MonthView::ClickOutcome::SameMonth:
      update(cellRect(before));
      update(cellRect(cell));
      update(descriptionRect());
      break;
    case calendar::MonthView::ClickOutcome::OtherMonth:
      update();
      break;
  }
}

}  // namespace zorbek
