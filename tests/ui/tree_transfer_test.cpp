#include <gtest/gtest.h>

#include <QApplication>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <filesystem>
#include <memory>

#include "core/db/store_paths.h"
#include "rtf/note_converter_engine.h"
#include "support/fake_prompts.h"
#include "support/temp_dir.h"
#include "ui/db/xml_tree_ctrl.h"

namespace zorbek {
namespace {
namespace fs = std::filesystem;
using testing::FakePrompts;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

// The tree's import, export and drag and drop, driven headless with drag events and real
// files, on a database whose path holds Chinese characters and spaces.
class TreeTransferTest : public ::testing::Test {
 protected:
  void Open(const std::string& archive) {
    WriteFile(db, "<list><hotkey/><filetree><archive state=\"expanded\">" + archive +
                      "</archive></filetree></list>");
    InstallNoteConverter();
    tree.reset();
    notebook = std::make_unique<Notebook>();
    tree = std::make_unique<CXmlTreeCtrl>(*notebook);
    tree->resize(300, 600);
    tree->show();
    notebook->Open(db);
    tree->expandAll();
    store = NoteStoreDirectory(db);
  }
  QTreeWidgetItem* At(std::initializer_list<std::string> names) {
    ItemPath path{"文件箱"};
    path.insert(path.end(), names);
    return tree->ItemOfPath(path);
  }
  std::vector<std::string> Children(QTreeWidgetItem* item) {
    std::vector<std::string> out;
    for (int i = 0; i < item->childCount(); ++i) out.push_back(item->child(i)->text(0).toStdString());
    return out;
  }
  QPoint Center(QTreeWidgetItem* item) { return tree->visualItemRect(item).center(); }
  // A drag of data moved over pos; whether the tree would take a drop there.
  bool DragOver(const QMimeData* data, QPoint pos) {
    QDragEnterEvent enter(pos, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree->viewport(), &enter);
    QDragMoveEvent move(pos, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree->viewport(), &move);
    return move.isAccepted();
  }
  // The drag moved over pos and released there; the work queued by the drop is done.
  bool DragAndDrop(const QMimeData* data, QPoint pos) {
    const bool accepted = DragOver(data, pos);
    QDropEvent drop(pos, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree->viewport(), &drop);
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    return accepted && drop.isAccepted();
  }
  std::unique_ptr<QMimeData> Drag(QTreeWidgetItem* item) {
    return std::unique_ptr<QMimeData>(tree->DragData(item));
  }
  std::unique_ptr<QMimeData> Files(const QStringList& paths) {
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString& p : paths) urls.push_back(QUrl::fromLocalFile(p));
    data->setUrls(urls);
    return data;
  }
  std::string Saved() const {
    const std::string file = ReadFile(db);
    const auto a = file.find('>', file.find("<archive")) + 1, b = file.find("</archive>");
    return file.substr(a, b - a);
  }

  FakePrompts prompts;
  TempDir dir{"zorbek 拖放"};
  std::string db = dir / "数据 目录/Zorbek.xml";
  std::string outside = dir / "桌面 文件";
  std::string store;
  std::unique_ptr<Notebook> notebook;  // declared first: the tree goes before it
  std::unique_ptr<CXmlTreeCtrl> tree;
};

const char* kArchive =
    "<工作 type=\"dir\"><子目录 type=\"dir\"><深处 type=\"esr\"/></子目录><甲 type=\"esr\"/></工作>"
    "<生活 type=\"dir\"><甲 type=\"esr\"/><乙 type=\"esr\"/></生活>";

TEST_F(TreeTransferTest, ADraggedNoteOffersItsFileForCopyingOnly) {
  Open(kArchive);
  WriteFile(store + "/工作/甲.esr", "{\\rtf1 x}");
  auto note = Drag(At({"工作", "甲"}));
  ASSERT_NE(note, nullptr);
  ASSERT_TRUE(note->hasUrls());
  ASSERT_EQ(note->urls().size(), 1);
  EXPECT_EQ(note->urls()[0], QUrl::fromLocalFile(QString::fromStdString(store + "/工作/甲.esr")));
  EXPECT_EQ(note->urls()[0].toLocalFile().toStdString(), store + "/工作/甲.esr");
  EXPECT_EQ(CXmlTreeCtrl::kDragActions, Qt::DropActions(Qt::CopyAction));
  EXPECT_EQ(tree->DraggedItemOf(note.get()), At({"工作", "甲"}));

  // A folder carries no file; a note without its file says so.
  auto folder = Drag(At({"工作"}));
  ASSERT_NE(folder, nullptr);
  EXPECT_FALSE(folder->hasUrls());
  std::string missing;
  std::unique_ptr<QMimeData> gone(tree->DragData(At({"生活", "甲"}), &missing));
  EXPECT_FALSE(gone->hasUrls());
  EXPECT_EQ(missing, "文件不存在。");
  // The top-level items are not dragged.
  EXPECT_EQ(Drag(tree->FileBoxItem()), nullptr);
  EXPECT_EQ(Drag(tree->ScheduleItem()), nullptr);
  EXPECT_EQ(Drag(tree->HomePageItem()), nullptr);
  // Data from another process names no item of this tree.
  QMimeData foreign;
  foreign.setData(CXmlTreeCtrl::kItemMimeType, "1\n文件箱\n工作");
  EXPECT_EQ(tree->DraggedItemOf(&foreign), nullptr);
}

TEST_F(TreeTransferTest, ANoteDroppedOnANoteOfAnotherFolderMovesThereUnderAFreeName) {
  Open(kArchive);
  WriteFile(store + "/工作/甲.esr", "work");
  WriteFile(store + "/生活/甲.esr", "life");
  WriteFile(store + "/生活/乙.esr", "b");
  auto data = Drag(At({"工作", "甲"}));
  // The item under the cursor is highlighted while the drag is over it.
  EXPECT_TRUE(DragOver(data.get(), Center(At({"生活"}))));
  EXPECT_EQ(tree->DropHighlightItem(), At({"生活"}));
  EXPECT_TRUE(DragOver(data.get(), Center(At({"生活", "乙"}))));
  EXPECT_EQ(tree->DropHighlightItem(), At({"生活", "乙"}));
  EXPECT_TRUE(At({"生活", "乙"})->background(0).style() != Qt::NoBrush);
  EXPECT_TRUE(At({"生活"})->background(0).style() == Qt::NoBrush);

  ASSERT_TRUE(DragAndDrop(data.get(), Center(At({"生活", "乙"}))));
  EXPECT_EQ(tree->DropHighlightItem(), nullptr);
  EXPECT_EQ(Children(At({"生活"})), (std::vector<std::string>{"甲", "甲1", "乙"}));
  EXPECT_EQ(Children(At({"工作"})), (std::vector<std::string>{"子目录"}));
  EXPECT_EQ(tree->currentItem(), At({"生活", "甲1"}));
  EXPECT_EQ(ReadFile(store + "/生活/甲1.esr"), "work");
  const std::string saved = Saved();
  const auto life = saved.find("<生活");
  EXPECT_LT(saved.find("<甲 ", life), saved.find("<甲1 ", life));
  EXPECT_LT(saved.find("<甲1 ", life), saved.find("<乙 ", life));

  // Within its own folder it is only reordered.
  auto again = Drag(At({"生活", "乙"}));
  ASSERT_TRUE(DragAndDrop(again.get(), Center(At({"生活", "甲"}))));
  EXPECT_EQ(Children(At({"生活"})), (std::vector<std::string>{"乙", "甲", "甲1"}));
  EXPECT_TRUE(fs::exists(store + "/生活/乙.esr"));
}

TEST_F(TreeTransferTest, FoldersMoveWithTheirSubtreeAndNeverIntoThemselves) {
  Open(kArchive);
  WriteFile(store + "/工作/子目录/深处.esr", "d");
  WriteFile(store + "/工作/甲.esr", "a");
  At({"工作"})->setExpanded(false);
  // Onto its own parent: nothing moves, the parent is expanded.
  auto sub = Drag(At({"工作", "子目录"}));
  tree->expandAll();
  ASSERT_TRUE(DragOver(sub.get(), Center(At({"工作"}))));
  At({"工作"})->setExpanded(false);
  {
    QDropEvent drop(Center(At({"工作"})), Qt::CopyAction, sub.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree->viewport(), &drop);
    QCoreApplication::processEvents();
  }
  EXPECT_TRUE(At({"工作"})->isExpanded());
  EXPECT_EQ(Children(At({"工作"})), (std::vector<std::string>{"子目录", "甲"}));
  // Onto itself or below it: refused already while dragging over.
  EXPECT_FALSE(DragOver(sub.get(), Center(At({"工作", "子目录"}))));
  auto work = Drag(At({"工作"}));
  EXPECT_FALSE(DragOver(work.get(), Center(At({"工作", "子目录", "深处"}))));
  tree->DropItem(At({"工作"}), At({"工作", "子目录"}));
  EXPECT_EQ(Children(tree->FileBoxItem()), (std::vector<std::string>{"工作", "生活"}));

  // Onto the file box: its first child, the whole subtree along, collapsed.
  ASSERT_TRUE(DragAndDrop(sub.get(), Center(tree->FileBoxItem())));
  EXPECT_EQ(Children(tree->FileBoxItem()), (std::vector<std::string>{"子目录", "工作", "生活"}));
  EXPECT_EQ(Children(At({"子目录"})), std::vector<std::string>{"深处"});
  EXPECT_FALSE(At({"子目录"})->isExpanded());
  EXPECT_EQ(tree->currentItem(), At({"子目录"}));
  EXPECT_EQ(ReadFile(store + "/子目录/深处.esr"), "d");
}

TEST_F(TreeTransferTest, NothingIsDroppedOnTheTimetableOrTheHomePage) {
  Open(kArchive);
  WriteFile(store + "/工作/甲.esr", "a");
  const std::string before = ReadFile(db);
  auto data = Drag(At({"工作", "甲"}));
  for (QTreeWidgetItem* top : {tree->ScheduleItem(), tree->HomePageItem()}) {
    EXPECT_FALSE(DragOver(data.get(), Center(top)));
    tree->DropItem(At({"工作", "甲"}), top);
  }
  tree->DropItem(At({"工作", "甲"}), nullptr);
  EXPECT_EQ(Children(At({"工作"})), (std::vector<std::string>{"子目录", "甲"}));
  EXPECT_EQ(ReadFile(db), before);
  EXPECT_TRUE(prompts.Messages().empty());
}

TEST_F(TreeTransferTest, FilesFromAFileManagerSelectTheItemUnderTheCursorAndOnlyEsrBecomeNotes) {
  Open(kArchive);
  WriteFile(store + "/生活/a.esr", "taken");
  WriteFile(outside + "/a.esr", "{\\rtf1 dropped}");
  WriteFile(outside + "/b.txt", "text");
  WriteFile(outside + "/README", "none");
  auto files = Files({QString::fromStdString(outside + "/a.esr"),
                      QString::fromStdString(outside + "/b.txt"),
                      QString::fromStdString(outside + "/README")});
  EXPECT_TRUE(DragOver(files.get(), Center(At({"工作"}))));
  EXPECT_EQ(tree->SelectedItem(), At({"工作"}));
  EXPECT_TRUE(DragOver(files.get(), Center(At({"生活"}))));
  EXPECT_EQ(tree->SelectedItem(), At({"生活"}));
  ASSERT_TRUE(DragAndDrop(files.get(), Center(At({"生活"}))));
  EXPECT_EQ(Children(At({"生活"})), (std::vector<std::string>{"a1", "甲", "乙"}));
  EXPECT_EQ(tree->currentItem(), At({"生活", "a1"}));
  EXPECT_EQ(ReadFile(store + "/生活/a1.esr"), "{\\rtf1 dropped}");
  EXPECT_FALSE(fs::exists(store + "/生活/b.esr"));
  // Over empty space nothing is selected and nothing can be dropped.
  EXPECT_FALSE(DragOver(files.get(), QPoint(5, tree->viewport()->height() - 5)));
  EXPECT_EQ(tree->SelectedItem(), nullptr);
}

TEST_F(TreeTransferTest, ImportAndExportCommandsGoThroughTheirDialogs) {
  Open(kArchive);
  WriteFile(store + "/生活/甲.esr", "{\\rtf1\\ansi\\ansicpg936 \\'d6\\'d0}");
  WriteFile(outside + "/一.txt", "一");
  WriteFile(outside + "/二.rtf", "{\\rtf1 two}");
  prompts.NextOpenFiles({outside + "/一.txt", outside + "/二.rtf"});
  tree->setCurrentItem(At({"生活", "甲"}));
  tree->RunCommand(treecmd::kImport);
  EXPECT_EQ(Children(At({"生活"})), (std::vector<std::string>{"甲", "一", "二", "乙"}));
  EXPECT_EQ(tree->currentItem(), At({"生活", "二"}));
  EXPECT_EQ(prompts.DialogCount(), 1);
  // Cancelled: nothing.
  tree->RunCommand(treecmd::kImport);
  EXPECT_EQ(At({"生活"})->childCount(), 4);

  prompts.NextSaveFile(outside + "/导出.txt");
  tree->setCurrentItem(At({"生活", "甲"}));
  tree->RunCommand(treecmd::kExport);
  EXPECT_EQ(ReadFile(outside + "/导出.txt"), "中");
  // A folder is not exported, and no dialog is shown for it.
  const int dialogs = prompts.DialogCount();
  tree->setCurrentItem(At({"生活"}));
  tree->RunCommand(treecmd::kExport);
  EXPECT_EQ(prompts.LastMessage(), "只支持ESR文件导出");
  EXPECT_EQ(prompts.DialogCount(), dialogs);
}

}  // namespace
}  // namespace zorbek
