#include "ui/editor/esr_style_toolbar.h"

#include <algorithm>

#include <QAbstractItemView>
#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>

#include "ui/editor/editor_commands.h"
#include "ui/editor/xrich_edit_ctrl.h"

namespace zorbek {

void EsrFontBox::hidePopup() {
  QComboBox::hidePopup();
  if (focusTarget_) focusTarget_->setFocus();
}

const std::vector<int>& CEsrStyleToolBar::FontSizes() {
  static const std::vector<int> sizes = {8,  9,  10, 11, 12, 14, 16, 18, 20,
                                         22, 24, 26, 28, 32, 36, 48, 72};
  return sizes;
}

QStringList CEsrStyleToolBar::FontFamilies() {
  QStringList families;
  for (const QString& family : QFontDatabase::families()) {
    if (QFontDatabase::isPrivateFamily(family)) continue;
    if (!QFontDatabase::isSmoothlyScalable(family)) continue;
    families << family;
  }
  // The default face of every note is offered even where it is shown by a stand-in.
  const QString defaultFace = QString::fromUtf8(CXRichEditCtrl::kDefaultFace);
  if (!families.contains(defaultFace)) families << defaultFace;
  std::sort(families.begin(), families.end(), [](const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) < 0;
  });
  families.removeDuplicates();
  return families;
}

CEsrStyleToolBar::CEsrStyleToolBar(QWidget* parent) : QToolBar(parent) {
  setWindowTitle(QStringLiteral("Styles"));
  setObjectName(QStringLiteral("Styles"));
  setMovable(false);
  setFloatable(false);
  setIconSize(QSize(16, 16));

  QFont boxFont(QStringLiteral("MS Sans Serif"));
  boxFont.setPointSize(8);
  const QFontMetrics metrics(boxFont);
  const int h = metrics.height() + metrics.leading();
  const int w = metrics.averageCharWidth();

  nameBox_ = new EsrFontBox(this);
  nameBox_->setObjectName(QStringLiteral("FontName"));
  nameBox_->setProperty("commandId", cmd::kFontName);
  nameBox_->setFont(boxFont);
  nameBoxWidth_ = 32 * w;
  nameBox_->setFixedWidth(nameBoxWidth_);
  nameBox_->setMaxVisibleItems(std::max(4, 16 * h / std::max(1, metrics.height()) - 1));
  nameBox_->setToolTip(QStringLiteral("字体"));
  nameBox_->addItems(FontFamilies());
  nameBox_->setCurrentIndex(-1);

  sizeBox_ = new EsrFontBox(this);
  sizeBox_->setObjectName(QStringLiteral("FontSize"));
  sizeBox_->setProperty("commandId", cmd::kFontSize);
  sizeBox_->setFont(boxFont);
  sizeBox_->setFixedWidth(12 * w);
  sizeBox_->setMaxVisibleItems(std::max(4, 14 * h / std::max(1, metrics.height()) - 1));
  sizeBox_->setToolTip(QStringLiteral("字号"));
  for (int size : FontSizes()) sizeBox_->addItem(QString::number(size));
  sizeBox_->setCurrentIndex(-1);

  connect(nameBox_, &QComboBox::activated, this, &CEsrStyleToolBar::OnFaceChosen);
  connect(sizeBox_, &QComboBox::activated, this, &CEsrStyleToolBar::OnSizeChosen);
}

void CEsrStyleToolBar::AddFontNameBox() { addWidget(nameBox_); }

int CEsrStyleToolBar::FullWidth() const {
  return sizeHint().width() - nameBox_->width() + nameBoxWidth_;
}

void CEsrStyleToolBar::FitWidth(int width) {
  const int over = FullWidth() - width;
  const int box = std::clamp(nameBoxWidth_ - std::max(0, over), nameBoxWidth_ / 3, nameBoxWidth_);
  if (box != nameBox_->width()) nameBox_->setFixedWidth(box);
}
void CEsrStyleToolBar::AddFontSizeBox() { addWidget(sizeBox_); }

void CEsrStyleToolBar::SetRichEdit(CXRichEditCtrl* richEdit) {
  richEdit_ = richEdit;
  nameBox_->SetFocusTarget(richEdit);
  sizeBox_->SetFocusTarget(richEdit);
}

void CEsrStyleToolBar::OnFaceChosen(int index) {
  if (!richEdit_ || index < 0) return;
  richEdit_->SetFontFace(nameBox_->itemText(index).left(31));
}

void CEsrStyleToolBar::OnSizeChosen(int index) {
  if (!richEdit_ || index < 0) return;
  const int points = sizeBox_->itemText(index).toInt();
  richEdit_->SetFontHeight(20 * points);
}

bool CEsrStyleToolBar::BoxHasFocus() const {
  const QWidget* focus = QApplication::focusWidget();
  if (!focus) return false;
  for (const QComboBox* box : {static_cast<const QComboBox*>(nameBox_),
                               static_cast<const QComboBox*>(sizeBox_)}) {
    if (focus == box || box->isAncestorOf(focus) || focus == box->view() ||
        box->view()->isAncestorOf(focus))
      return true;
  }
  return false;
}

void CEsrStyleToolBar::RefreshBoxes() {
  if (!richEdit_ || BoxHasFocus()) return;
  const CXRichEditCtrl::CharFormat& f = richEdit_->SelectionCharFormat();
  const QString face = f.face.value_or(QString()).left(31);
  if (face != nameBox_->currentText().left(31)) {
    int index = face.isEmpty() ? -1 : nameBox_->findText(face, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0 && !face.isEmpty()) {
      // A face the note names but this system lacks (tables name "Times New Roman", notes from
      // elsewhere their own): the box shows the name the text keeps, in its sorted place.
      index = 0;
      while (index < nameBox_->count() &&
             nameBox_->itemText(index).compare(face, Qt::CaseInsensitive) < 0)
        ++index;
      nameBox_->insertItem(index, face);
    }
    nameBox_->setCurrentIndex(index);
  }
  const int size = f.heightTwips.value_or(-1);
  if (sizeBox_->currentText().toInt() != size / 20) {
    const int index = size == -1 ? -1 : sizeBox_->findText(QString::number(size / 20));
    sizeBox_->setCurrentIndex(index);
  }
}

}  // namespace zorbek
