// The paragraph dialog: alignment and the left, right and first-line indents of the selected
// paragraphs, in twips. A box left empty stands for a value the paragraphs do not share.
#pragma once

#include <QDialog>

#include "core/editor/format_rules.h"

class QComboBox;
class QLineEdit;

namespace zorbek {

class CParagraphDialog : public QDialog {
  Q_OBJECT
 public:
  explicit CParagraphDialog(const editor::ParagraphFormat& format, QWidget* parent = nullptr);

  // The values the dialog was opened with.
  const editor::ParagraphDialogValues& InitialValues() const { return initial_; }
  // The format to apply once the dialog was closed with OK.
  const editor::ParagraphFormat& Result() const { return result_; }

  QComboBox* AlignmentBox() const { return alignment_; }
  QLineEdit* LeftBox() const { return left_; }
  QLineEdit* RightBox() const { return right_; }
  QLineEdit* FirstLineBox() const { return firstLine_; }

  void accept() override;

 private:
  editor::ParagraphDialogValues initial_;
  editor::ParagraphFormat result_;
  QComboBox* alignment_;
  QLineEdit* left_;
  QLineEdit* right_;
  QLineEdit* firstLine_;
};

}  // namespace zorbek
