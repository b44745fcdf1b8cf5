// The table dialog: how many rows and columns the empty table gets.
#pragma once

#include <QDialog>

class QLineEdit;

namespace zorbek {

class CXRichEditCtrl;

class CWndTable : public QDialog {
  Q_OBJECT
 public:
  explicit CWndTable(QWidget* parent = nullptr);

  // After OK.
  int Rows() const { return rows_; }
  int Columns() const { return columns_; }

  QLineEdit* RowsBox() const { return rowsBox_; }
  QLineEdit* ColumnsBox() const { return columnsBox_; }

  void accept() override;

 private:
  int rows_ = 0, columns_ = 0;
  QLineEdit* rowsBox_;
  QLineEdit* columnsBox_;
};

// What the table dialog says when the numbers exceed what a table may hold.
QString TableSizeLimitMessage();

// The editor's insert-table command: the dialog, then the table in place of the selection.
void InsertTableWithDialog(CXRichEditCtrl* richEdit, QWidget* parent);

}  // namespace zorbek
