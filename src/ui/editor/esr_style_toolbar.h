// The formatting toolbar of a note editor: the font-name and font-size boxes and the
// character and paragraph buttons, which the editor window adds as its commands.
#pragma once

#include <QComboBox>
#include <QPointer>
#include <QToolBar>
#include <vector>

namespace zorbek {

class CXRichEditCtrl;

// A drop-down list that gives the keyboard focus back to the text once it closes.
class EsrFontBox : public QComboBox {
  Q_OBJECT
 public:
  using QComboBox::QComboBox;
  void SetFocusTarget(QWidget* target) { focusTarget_ = target; }
  void hidePopup() override;

 private:
  QPointer<QWidget> focusTarget_;
};

class CEsrStyleToolBar : public QToolBar {
  Q_OBJECT
 public:
  // The sizes the size box offers, in points.
  static const std::vector<int>& FontSizes();

  explicit CEsrStyleToolBar(QWidget* parent = nullptr);

  void SetRichEdit(CXRichEditCtrl* richEdit);
  // Adds the box widgets at this point of the button row (the editor adds its buttons around).
  void AddFontNameBox();
  void AddFontSizeBox();

  QComboBox* FontNameBox() const { return nameBox_; }
  QComboBox* FontSizeBox() const { return sizeBox_; }

  // The width the whole bar needs with the font-name box at its full width.
  int FullWidth() const;
  // Narrows the font-name box (down to a third of its width) so that the whole bar fits in
  // width, or gives it back its full width when there is room.
  void FitWidth(int width);

  // Shows the selection's face and size, unless the user is working in one of the boxes.
  void RefreshBoxes();

  // The scalable font families installed, sorted, with the editor's default face.
  static QStringList FontFamilies();

 private:
  bool BoxHasFocus() const;
  void OnFaceChosen(int index);
  void OnSizeChosen(int index);

  CXRichEditCtrl* richEdit_ = nullptr;
  EsrFontBox* nameBox_;
  EsrFontBox* sizeBox_;
  int nameBoxWidth_ = 0;  // the font-name box's full width
};

}  // namespace zorbek
