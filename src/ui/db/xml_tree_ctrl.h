// The note tree: the navigator's view of the folders and notes of the database. It owns the
// open database document; other windows reach it through CurrentNoteTree.
#pragma once

#include <QTreeWidget>
#include <memory>
#include <string>

#include "core/db/xml_document.h"

namespace zorbek {

class CXmlTreeCtrl : public QTreeWidget {
  Q_OBJECT
 public:
  explicit CXmlTreeCtrl(QWidget* parent = nullptr);
  // Saves the database once more.
  ~CXmlTreeCtrl() override;

  // Opens the database at path (creating what is missing) and fills the tree. Once per run.
  bool OpenDatabase(const std::string& path);
  CXmlDocument& GetDatabase() { return database_; }
  std::string DatabasePath() const { return database_.GetPath(); }

  QTreeWidgetItem* FileBoxItem() const { return fileBox_; }
  QTreeWidgetItem* ScheduleItem() const { return schedule_; }
  QTreeWidgetItem* HomePageItem() const { return homePage_; }

  // Appends the folders and notes below element under item, recursively, and expands item
  // when the element's state says so.
  void FillFolder(XmlNode element, QTreeWidgetItem* item);

 private:
  void OnExpansionChanged(QTreeWidgetItem* item, bool expanded);

  CXmlDocument database_;
  QTreeWidgetItem* fileBox_ = nullptr;
  QTreeWidgetItem* schedule_ = nullptr;
  QTreeWidgetItem* homePage_ = nullptr;
  bool filling_ = false;
};

// The one note tree of the process (null before it is created and after it is destroyed).
extern CXmlTreeCtrl* CurrentNoteTree;

}  // namespace zorbek
