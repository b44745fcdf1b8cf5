#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <filesystem>

#include "core/app/clock.h"
#include "core/db/store_paths.h"
#include "core/notes/note_opener.h"
#include "core/notes/note_transfer.h"
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

struct MenuEntry {
  QString text;  // empty for a separator
  bool enabled;
  bool operator==(const MenuEntry&) const = default;
};

// A tree on a database in a directory whose path holds Chinese characters and spaces, with the
// desktop, the editor and the menus replaced by recorders.
class TreeCtrlTest : public ::testing::Test {
 protected:
  void Open(const std::string& archive, bool write = true) {
    if (write)
      WriteFile(db, "<list><hotkey/><filetree><archive state=\"expanded\">" + archive +
                        "</archive></filetree></list>");
    tree.reset();
    notebook = std::make_unique<Notebook>();
    tree = std::make_unique<CXmlTreeCtrl>(*notebook);
    tree->SetUrlOpener([this](const QUrl& url) {
      urls.push_back(url);
      return true;
    });
    tree->SetFileBrowser([this](const QString& path, bool select) {
      browsed.emplace_back(path, select);
    });
    tree->SetMenuRunner([this](QMenu& menu, const QPoint&) -> QAction* {
      shownMenu.clear();
      QAction* chosen = nullptr;
      for (QAction* a : menu.actions()) {
        shownMenu.push_back({a->isSeparator() ? QString() : a->text(), a->isEnabled()});
        if (!a->isSeparator() && a->data().toInt() == choose) chosen = a;
      }
      ++menusShown;
      return chosen;
    });
    tree->resize(300, 600);
    tree->show();
    notebook->Open(db);  // the tree fills itself as the notebook tells it
    store = NoteStoreDirectory(db);
  }
  void TearDown() override {
    tree.reset();
    notebook.reset();
    SetOpenNoteEditor({});
  }

  QTreeWidgetItem* At(std::initializer_list<std::string> names) {
    ItemPath path{"文件箱"};
    path.insert(path.end(), names);
    return tree->ItemOfPath(path);
  }
  // The texts of the children of item.
  std::vector<std::string> Children(QTreeWidgetItem* item) {
    std::vector<std::string> out;
    for (int i = 0; i < item->childCount(); ++i) out.push_back(item->child(i)->text(0).toStdString());
    return out;
  }
  void Run(QTreeWidgetItem* item, int command) {
    tree->setCurrentItem(item);
    tree->RunCommand(command);
  }
  // A right click at x pixels into the item's row (on its image by default).
  void RightClick(QTreeWidgetItem* item, int x = 10) {
    const QRect r = tree->visualItemRect(item);
    RightClickAt(QPoint(r.left() + x, r.center().y()));
  }
  void RightClickAt(const QPoint& pos) {
    shownMenu.clear();
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, tree->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(tree->viewport(), &event);
  }
  QLineEdit* Editor() {
    for (QLineEdit* e : tree->viewport()->findChildren<QLineEdit*>())
      if (e->isVisible()) return e;
    return nullptr;
  }
  // Ends the open label edit with text and a key (Return commits, Escape cancels).
  void FinishEdit(const QString& text, Qt::Key key) {
    QLineEdit* editor = Editor();
    ASSERT_NE(editor, nullptr);
    editor->setText(text);
    QTest::keyClick(editor, key);
    // The editor commits, then the rename runs, each once the event before it is done.
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
  }
  // What the saved file holds inside the archive element.
  std::string Saved() const {
    const std::string file = ReadFile(db);
    const auto a = file.find('>', file.find("<archive")) + 1, b = file.find("</archive>");
    return b == std::string::npos ? std::string() : file.substr(a, b - a);
  }

  FakePrompts prompts;
  TempDir dir{"zorbek tree"};
  std::string db = dir / "数据 目录/Zorbek.xml";
  std::string store;
  std::unique_ptr<Notebook> notebook;
  std::unique_ptr<CXmlTreeCtrl> tree;
  std::vector<QUrl> urls;
  std::vector<std::pair<QString, bool>> browsed;
  std::vector<MenuEntry> shownMenu;
  int menusShown = 0;
  int choose = 0;  // the command the next menu returns
};

TEST_F(TreeCtrlTest, AFreshDatabaseShowsTheThreeTopLevelItems) {
  Open("", false);
  ASSERT_EQ(tree->topLevelItemCount(), 3);
  EXPECT_EQ(tree->topLevelItem(0)->text(0), "文件箱");
  EXPECT_EQ(tree->topLevelItem(1)->text(0), "时间表");
  EXPECT_EQ(tree->topLevelItem(2)->text(0), "主页");
  const int images[3][2] = {{0, 1}, {2, 3}, {6, 7}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(CXmlTreeCtrl::NormalImageOf(tree->topLevelItem(i)), images[i][0]);
    EXPECT_EQ(CXmlTreeCtrl::SelectedImageOf(tree->topLevelItem(i)), images[i][1]);
  }
  for (int index : {0, 1, 2, 3, 6, 7, 8, 9, 10, 11})
    EXPECT_EQ(CXmlTreeCtrl::ImageAt(index).size(), QSize(16, 16)) << index;
  EXPECT_EQ(tree->FileBoxItem()->childCount(), 0);
  EXPECT_FALSE(tree->FileBoxItem()->isExpanded());
  EXPECT_EQ(ReadFile(db), "<list><hotkey/><filetree><archive/></filetree></list>");
}

// The tree changes only on the notebook's events: what another part of the program does to the
// notebook shows in the tree as what the tree's own commands do.
TEST_F(TreeCtrlTest, TheTreeFollowsChangesMadeElsewhereThroughTheNotebooksEvents) {
  Open("<f type=\"dir\" state=\"expanded\"><g type=\"dir\" state=\"expanded\">"
       "<m type=\"esr\"/></g><n type=\"esr\"/></f><h type=\"dir\"/><a type=\"esr\"/>");
  for (const char* f : {"f/g/m.esr", "f/n.esr", "a.esr"}) WriteFile(store + "/" + f, "{\\rtf1 x}");
  std::filesystem::create_directories(store + "/h");
  NoteCommands& commands = notebook->Commands();
  ASSERT_TRUE(commands.NewNote({"文件箱", "f", "n"}).done);
  EXPECT_EQ(Children(At({"f"})), (std::vector<std::string>{"g", "n", "新建ESR文档"}));
  ASSERT_TRUE(commands.Rename({"文件箱", "f", "新建ESR文档"}, "新").done);
  ASSERT_TRUE(commands.Paste({"文件箱", "a"}, {"文件箱", "h"}).done);
  EXPECT_EQ(Children(At({"h"})), (std::vector<std::string>{"a"}));
  ASSERT_TRUE(commands.Move({"文件箱", "f", "新"}, MoveTo::Top).done);
  EXPECT_EQ(Children(At({"f"})), (std::vector<std::string>{"新", "g", "n"}));
  // A folder dragged into another folder takes what lies below it, collapsed.
  NoteTransfer transfer(commands);
  ASSERT_TRUE(transfer.Drop({"文件箱", "f", "g"}, ItemPath{"文件箱", "h"}).done);
  EXPECT_EQ(Children(At({"f"})), (std::vector<std::string>{"新", "n"}));
  EXPECT_EQ(Children(At({"h"})), (std::vector<std::string>{"g", "a"}));
  EXPECT_EQ(Children(At({"h", "g"})), (std::vector<std::string>{"m"}));
  EXPECT_FALSE(At({"h", "g"})->isExpanded());
  // An expansion told by the notebook is shown, and is not written again as the user's.
  const std::string before = ReadFile(db);
  ASSERT_TRUE(commands.SetExpanded({"文件箱", "h"}, true).done);
  EXPECT_TRUE(At({"h"})->isExpanded());
  EXPECT_NE(ReadFile(db), before);
  ASSERT_TRUE(commands.Delete({"文件箱", "h"}).done);
  EXPECT_EQ(At({"h"}), nullptr);
  EXPECT_EQ(At({"h", "g", "m"}), nullptr);
  // Another program's version: the tree is filled again from what was read.
  WriteFile(db, "<list><hotkey/><filetree><archive state=\"expanded\"><从别处 type=\"dir\"/>"
                "</archive></filetree></list>");
  ASSERT_EQ(notebook->ReloadIfChanged(), ReloadResult::kReloaded);
  EXPECT_EQ(Children(tree->FileBoxItem()), (std::vector<std::string>{"从别处"}));
}

TEST_F(TreeCtrlTest, FillingShowsFoldersAndNotesWithRememberedExpansion) {
  const std::string archive =
      "<A type=\"Dir\" state=\"EXPANDED\"><n type=\"ESR\"/><x type=\"rtf\"><y type=\"esr\"/></x>"
      "</A><B type=\"dir\" state=\"collapsed\"><m type=\"esr\"/></B><C type=\"dir\" state=\"odd\">"
      "<k type=\"esr\"/></C><untyped><z type=\"esr\"/></untyped><文件箱 type=\"dir\"/>";
  Open(archive);
  const std::string before = ReadFile(db);
  EXPECT_EQ(Children(tree->FileBoxItem()),
            (std::vector<std::string>{"A", "B", "C", "文件箱"}));
  EXPECT_EQ(Children(At({"A"})), std::vector<std::string>{"n"});
  EXPECT_TRUE(At({"A"})->isExpanded());
  EXPECT_FALSE(At({"B"})->isExpanded());
  EXPECT_FALSE(At({"C"})->isExpanded());
  EXPECT_EQ(CXmlTreeCtrl::NormalImageOf(At({"A"})), kImageFolder);
  EXPECT_EQ(CXmlTreeCtrl::SelectedImageOf(At({"A", "n"})), kImageNoteSelected);
  EXPECT_EQ(tree->ElementPathOfItem(At({"文件箱"})).str(), "/list/filetree/archive/文件箱");
  EXPECT_EQ(ReadFile(db), before);  // filling writes nothing

  // The user's expanding and collapsing is remembered at once.
  At({"B"})->setExpanded(true);
  At({"A"})->setExpanded(false);
  EXPECT_NE(Saved().find("<B type=\"dir\" state=\"expanded\">"), std::string::npos);
  EXPECT_NE(Saved().find("<A type=\"Dir\" state=\"collapsed\">"), std::string::npos);
  // The hidden elements are kept in the file.
  EXPECT_NE(Saved().find("<x type=\"rtf\"><y type=\"esr\"/></x>"), std::string::npos);
  EXPECT_NE(Saved().find("<untyped><z type=\"esr\"/></untyped>"), std::string::npos);
}

TEST_F(TreeCtrlTest, ContextMenusAndTheirGreyedCommands) {
  Open("<f type=\"dir\"><n type=\"esr\"/></f>");
  At({"f"})->setExpanded(true);
  RightClick(At({"f", "n"}));
  EXPECT_EQ(tree->currentItem(), At({"f", "n"}));  // the right click selects
  const std::vector<MenuEntry> fileBoxMenu = {
      {"打开", true}, {"新建ESR文件", true}, {"新建文件夹", true}, {"打开目录", true},
      {"重命名", true}, {"复制", true}, {"粘贴", false}, {"删除", true}, {"", true},
      {"搜索该目录", false}, {"", true}, {"混合排序", true}, {"目录排序", true},
      {"文件排序", true}, {"", true}, {"导入文件", true}, {"导出文件", true}, {"", true},
      {"移上一位置", true}, {"移下一位置", true}, {"移到目录最前", true}, {"移到目录最后", true}};
  EXPECT_EQ(shownMenu, fileBoxMenu);

  // Copy a note: paste is offered; on a folder, searching is offered.
  Run(At({"f", "n"}), treecmd::kCopy);
  RightClick(At({"f"}));
  EXPECT_TRUE(shownMenu[6].enabled);
  EXPECT_TRUE(shownMenu[9].enabled);
  RightClick(tree->FileBoxItem());
  EXPECT_TRUE(shownMenu[9].enabled);

  RightClick(tree->ScheduleItem());
  EXPECT_EQ(shownMenu, (std::vector<MenuEntry>{{"打开计划", true}}));
  RightClick(tree->HomePageItem());
  EXPECT_EQ(shownMenu, (std::vector<MenuEntry>{{"打开主页", true}, {"联系我", false}}));
  tree->SetContactAddress("author@example.org");
  choose = treecmd::kContactMe;
  RightClick(tree->HomePageItem());
  ASSERT_EQ(urls.size(), 1u);
  EXPECT_EQ(urls[0].toString(), "mailto:author@example.org");

  // Empty space, and the row beyond the label, offer nothing.
  const int before = menusShown;
  RightClickAt(QPoint(5, tree->viewport()->height() - 5));
  RightClick(At({"f"}), tree->viewport()->width() - 5);
  EXPECT_EQ(menusShown, before);
}

TEST_F(TreeCtrlTest, NewNoteIsSelectedAndItsLabelOpenForTheName) {
  Open("<f type=\"dir\"><a type=\"esr\"/></f>");
  WriteFile(store + "/f/a.esr", "");
  WriteFile(store + "/f/新建ESR文档.esr", "");
  choose = treecmd::kNewNote;
  RightClick(At({"f"}));
  QTreeWidgetItem* item = At({"f", "新建ESR文档1"});
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(At({"f"})->indexOfChild(item), 0);
  EXPECT_TRUE(At({"f"})->isExpanded());
  EXPECT_EQ(tree->currentItem(), item);
  EXPECT_TRUE(tree->IsEditingLabel());
  EXPECT_EQ(CXmlTreeCtrl::NormalImageOf(item), kImageNote);
  // The folder the command opened is remembered open.
  EXPECT_EQ(Saved(),
            "<f type=\"dir\" state=\"expanded\"><新建ESR文档1 type=\"esr\"/><a type=\"esr\"/></f>");
  FinishEdit("会议 记录", Qt::Key_Return);  // a space: refused, the label stays
  EXPECT_EQ(prompts.LastMessage(), kMsgIllegalName);
  EXPECT_EQ(item->text(0), "新建ESR文档1");
  // What was typed is back in the label editor, to be corrected.
  ASSERT_TRUE(tree->IsEditingLabel());
  ASSERT_NE(Editor(), nullptr);
  EXPECT_EQ(Editor()->text(), "会议 记录");
  FinishEdit("会议记录", Qt::Key_Return);
  EXPECT_EQ(item->text(0), "会议记录");
  EXPECT_TRUE(fs::exists(store + "/f/会议记录.esr"));

  // A new note on a note goes after it; a new folder on the file box goes first into it.
  tree->setCurrentItem(At({"f", "会议记录"}));
  tree->RunCommand(treecmd::kNewNote);
  EXPECT_EQ(Children(At({"f"})), (std::vector<std::string>{"会议记录", "新建ESR文档1", "a"}));
  QCoreApplication::processEvents();
  Run(tree->FileBoxItem(), treecmd::kNewFolder);
  EXPECT_EQ(Children(tree->FileBoxItem()), (std::vector<std::string>{"新建文件夹", "f"}));
  EXPECT_EQ(CXmlTreeCtrl::NormalImageOf(At({"新建文件夹"})), kImageFolder);
  EXPECT_TRUE(fs::is_directory(store + "/新建文件夹"));
}

TEST_F(TreeCtrlTest, AnEditCancelledWithEscapeRenamesNothing) {
  Open("<a type=\"esr\"/>");
  WriteFile(store + "/a.esr", "A");
  Run(At({"a"}), treecmd::kRename);
  FinishEdit("b", Qt::Key_Escape);
  EXPECT_EQ(At({"a"})->text(0), "a");
  EXPECT_TRUE(fs::exists(store + "/a.esr"));
  // The top-level items are never edited.
  Run(tree->FileBoxItem(), treecmd::kRename);
  EXPECT_FALSE(tree->IsEditingLabel());
  EXPECT_FALSE(tree->FileBoxItem()->flags() & Qt::ItemIsEditable);
}

TEST_F(TreeCtrlTest, RenameRefusalsKeepTheLabel) {
  Open("<Abc type=\"esr\"/><b type=\"esr\"/>");
  WriteFile(store + "/Abc.esr", "A");
  WriteFile(store + "/b.esr", "B");
  tree->EndLabelEdit(At({"Abc"}), "abc");
  EXPECT_EQ(At({"Abc"})->text(0), "Abc");
  EXPECT_TRUE(prompts.Messages().empty());
  tree->EndLabelEdit(At({"Abc"}), "b");
  EXPECT_EQ(prompts.LastMessage(), kMsgFileExists);
  EXPECT_NE(At({"Abc"}), nullptr);
  ASSERT_NE(Editor(), nullptr);
  EXPECT_EQ(Editor()->text(), "b");
  FinishEdit("b", Qt::Key_Escape);
  tree->EndLabelEdit(At({"Abc"}), "../b");
  EXPECT_EQ(prompts.LastMessage(), kMsgIllegalName);
  ASSERT_NE(Editor(), nullptr);
  EXPECT_EQ(Editor()->text(), "../b");
  FinishEdit("../b", Qt::Key_Escape);
  EXPECT_EQ(At({"Abc"})->text(0), "Abc");
  EXPECT_EQ(Children(tree->FileBoxItem()), (std::vector<std::string>{"Abc", "b"}));
}

TEST_F(TreeCtrlTest, CopyPasteAndTheItemTheyRemember) {
  Open("<src type=\"esr\"/><f type=\"dir\"><x type=\"esr\"/></f>");
  WriteFile(store + "/src.esr", "S");
  fs::create_directories(store + "/f");
  Run(At({"f"}), treecmd::kCopy);
  EXPECT_EQ(prompts.LastMessage(), kMsgNoFolderCopy);
  EXPECT_EQ(tree->CopiedItem(), nullptr);
  Run(At({"src"}), treecmd::kCopy);
  EXPECT_EQ(tree->CopiedItem(), At({"src"}));
  Run(At({"f"}), treecmd::kPaste);
  Run(At({"f"}), treecmd::kPaste);
  EXPECT_EQ(Children(At({"f"})), (std::vector<std::string>{"src1", "src", "x"}));
  EXPECT_EQ(tree->currentItem(), At({"f"}));  // the selection stays
  // Onto a note: after it.
  Run(At({"f", "x"}), treecmd::kPaste);
  EXPECT_EQ(Children(At({"f"})), (std::vector<std::string>{"src1", "src", "x", "src2"}));
  EXPECT_EQ(CXmlTreeCtrl::NormalImageOf(At({"f", "src2"})), kImageNote);
  // Onto the file box: nothing.
  Run(tree->FileBoxItem(), treecmd::kPaste);
  EXPECT_EQ(tree->FileBoxItem()->childCount(), 2);
  // The copied item renamed: the paste uses it as it is now.
  tree->EndLabelEdit(At({"src"}), "源");
  Run(At({"f"}), treecmd::kPaste);
  EXPECT_EQ(Children(At({"f"}))[0], "源");
  // Moved (the item is replaced) or deleted: it no longer exists.
  Run(At({"源"}), treecmd::kMoveDown);
  EXPECT_EQ(tree->CopiedItem(), nullptr);
  Run(At({"f"}), treecmd::kPaste);
  EXPECT_EQ(prompts.LastMessage(), kMsgCopiedGone);
  RightClick(At({"f"}));
  EXPECT_EQ(shownMenu[6], (MenuEntry{"粘贴", false}));
}

TEST_F(TreeCtrlTest, DeleteAsksFirst) {
  Open("<a type=\"esr\"/><f type=\"dir\"><n type=\"esr\"/></f>");
  WriteFile(store + "/a.esr", "A");
  WriteFile(store + "/f/n.esr", "N");
  prompts.AnswerNext(MsgResult::Cancel);
  Run(At({"a"}), treecmd::kDelete);
  EXPECT_EQ(prompts.LastMessage(), "确定删除选择的<a>文件吗?");
  EXPECT_EQ(prompts.Messages().back().buttons, MsgButtons::OkCancel);
  EXPECT_NE(At({"a"}), nullptr);
  prompts.AnswerNext(MsgResult::Ok);
  Run(At({"a"}), treecmd::kDelete);
  EXPECT_EQ(At({"a"}), nullptr);
  EXPECT_FALSE(fs::exists(store + "/a.esr"));
  prompts.AnswerNext(MsgResult::Ok);
  Run(tree->FileBoxItem(), treecmd::kDelete);
  EXPECT_EQ(prompts.LastMessage(), "确定删除选择的<文件箱>文件夹吗?");
  EXPECT_EQ(tree->topLevelItemCount(), 3);
  EXPECT_EQ(tree->FileBoxItem()->childCount(), 0);
  EXPECT_EQ(Saved(), "");
  EXPECT_FALSE(fs::exists(store));
}

TEST_F(TreeCtrlTest, MovesSelectTheMovedItemAndCollapseIt) {
  Open("<a type=\"esr\"/><b type=\"esr\"/><c type=\"dir\" state=\"expanded\"><d type=\"esr\"/></c>");
  ASSERT_TRUE(At({"c"})->isExpanded());
  Run(At({"a"}), treecmd::kMoveUp);
  Run(At({"c"}), treecmd::kMoveDown);
  EXPECT_EQ(Children(tree->FileBoxItem()), (std::vector<std::string>{"a", "b", "c"}));
  Run(At({"c"}), treecmd::kMoveUp);
  EXPECT_EQ(Children(tree->FileBoxItem()), (std::vector<std::string>{"a", "c", "b"}));
  EXPECT_EQ(tree->currentItem(), At({"c"}));
  EXPECT_FALSE(At({"c"})->isExpanded());
  EXPECT_EQ(Children(At({"c"})), std::vector<std::string>{"d"});
  EXPECT_EQ(Saved(), "<a type=\"esr\"/><c type=\"dir\" state=\"expanded\"><d type=\"esr\"/>"
                     "</c><b type=\"esr\"/>");
  Run(At({"b"}), treecmd::kMoveTop);
  Run(At({"b"}), treecmd::kMoveBottom);
  Run(At({"a"}), treecmd::kMoveBottom);
  EXPECT_EQ(Children(tree->FileBoxItem()), (std::vector<std::string>{"c", "b", "a"}));
}

TEST_F(TreeCtrlTest, SortRebuildsTheFolderWithItsExpansion) {
  Open("<f type=\"dir\" state=\"expanded\"><b type=\"esr\"/><Z type=\"dir\" state=\"expanded\">"
       "<q type=\"esr\"/></Z><a type=\"esr\"/><y type=\"dir\"/></f>");
  Run(At({"f"}), treecmd::kSortFolders);
  EXPECT_EQ(Children(At({"f"})), (std::vector<std::string>{"y", "Z", "b", "a"}));
  EXPECT_TRUE(At({"f", "Z"})->isExpanded());
  // Saved at once, like every other change.
  EXPECT_NE(ReadFile(db).find("<f type=\"dir\" state=\"expanded\"><y type=\"dir\"/><Z"),
            std::string::npos)
      << ReadFile(db);
  Run(At({"f"}), treecmd::kSortFiles);
  EXPECT_EQ(Children(At({"f"})), (std::vector<std::string>{"y", "Z", "a", "b"}));
  Run(At({"f"}), treecmd::kSortMixed);
  EXPECT_EQ(Children(At({"f"})), (std::vector<std::string>{"a", "b", "y", "Z"}));
}

TEST_F(TreeCtrlTest, DoubleClicksAndOpenCommands) {
  Open("<f type=\"dir\"><n type=\"esr\"/></f>");
  FakeClock clock(1700000000000);
  SetClock(&clock);
  std::vector<std::string> editors, lists;
  SetOpenNoteEditor([&](const DocumentPath& d, const ElementPath&) { editors.push_back(d.str()); });
  QObject::connect(tree.get(), &CXmlTreeCtrl::reminderListRequested,
                   [&] { lists.push_back("requested"); });
  At({"f"})->setExpanded(true);
  tree->setCurrentItem(At({"f", "n"}));
  tree->ActivateItem(At({"f", "n"}));
  ASSERT_EQ(editors.size(), 1u);
  EXPECT_EQ(editors[0], store + "/f/n.esr");  // the file is missing: the editor says so
  EXPECT_NE(Saved().find("<n type=\"esr\" lasttime=\"1700000000\"/>"), std::string::npos);
  tree->ActivateItem(At({"f"}));
  tree->ActivateItem(tree->FileBoxItem());
  EXPECT_EQ(editors.size(), 1u);
  Run(At({"f", "n"}), treecmd::kOpen);
  EXPECT_EQ(editors.size(), 2u);

  tree->ActivateItem(tree->ScheduleItem());
  EXPECT_EQ(lists, std::vector<std::string>{"requested"});
  Run(tree->ScheduleItem(), treecmd::kOpenPlan);
  EXPECT_EQ(lists.size(), 2u);
  tree->SetHomePageUrl(QUrl("https://zorbek.example/"));
  tree->ActivateItem(tree->HomePageItem());
  Run(tree->HomePageItem(), treecmd::kOpenHomePage);
  ASSERT_EQ(urls.size(), 2u);
  EXPECT_EQ(urls[1].toString(), "https://zorbek.example/");

  Run(At({"f", "n"}), treecmd::kOpenDirectory);
  Run(At({"f"}), treecmd::kOpenDirectory);
  ASSERT_EQ(browsed.size(), 2u);
  EXPECT_EQ(browsed[0], std::make_pair(QString::fromStdString(store + "/f/n.esr"), true));
  EXPECT_EQ(browsed[1], std::make_pair(QString::fromStdString(store + "/f"), false));

  bool searched = false;
  QObject::connect(tree.get(), &CXmlTreeCtrl::searchFolderRequested, [&] { searched = true; });
  Run(At({"f"}), treecmd::kSearchFolder);
  EXPECT_TRUE(searched);
  SetClock(nullptr);
}

TEST_F(TreeCtrlTest, ExpansionByACommandComesBackAtTheNextStart) {
  // A fresh database: the file box has no state yet and shows collapsed.
  WriteFile(db, "<list><hotkey/><filetree><archive/></filetree></list>");
  Open("", false);
  EXPECT_FALSE(tree->FileBoxItem()->isExpanded());
  Run(tree->FileBoxItem(), treecmd::kNewFolder);
  FinishEdit("日记", Qt::Key_Return);
  Run(At({"日记"}), treecmd::kNewNote);
  FinishEdit("第一篇", Qt::Key_Return);
  EXPECT_NE(ReadFile(db).find("<archive state=\"expanded\"><日记 type=\"dir\" state=\"expanded\">"),
            std::string::npos)
      << ReadFile(db);
  // The next start shows the tree as it was left.
  Open("", false);
  ASSERT_NE(At({"日记", "第一篇"}), nullptr);
  EXPECT_TRUE(tree->FileBoxItem()->isExpanded());
  EXPECT_TRUE(At({"日记"})->isExpanded());
}

TEST_F(TreeCtrlTest, KeysDeleteOpenRenameAndShowTheMenu) {
  Open("<f type=\"dir\"><n type=\"esr\"/></f><a type=\"esr\"/>");
  WriteFile(store + "/a.esr", "A");
  std::vector<std::string> editors;
  SetOpenNoteEditor([&](const DocumentPath& d, const ElementPath&) { editors.push_back(d.str()); });
  tree->setFocus();

  // Enter opens a note, as the double-click does; on a folder it opens and closes it.
  tree->setCurrentItem(At({"a"}));
  QTest::keyClick(tree.get(), Qt::Key_Return);
  EXPECT_EQ(editors, std::vector<std::string>{store + "/a.esr"});
  tree->setCurrentItem(At({"f"}));
  QTest::keyClick(tree.get(), Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_TRUE(At({"f"})->isExpanded());
  QTest::keyClick(tree.get(), Qt::Key_Return);
  EXPECT_FALSE(At({"f"})->isExpanded());
  EXPECT_EQ(editors.size(), 1u);

  // The context-menu key shows the selected item's menu, whatever lies under the pointer
  // (the platform aims the event at the middle of the current row).
  tree->setCurrentItem(tree->ScheduleItem());
  const QPoint middle = tree->inputMethodQuery(Qt::ImCursorRectangle).toRect().center();
  QContextMenuEvent key(QContextMenuEvent::Keyboard, middle, tree->mapToGlobal(middle));
  QApplication::sendEvent(tree.get(), &key);
  EXPECT_EQ(shownMenu, (std::vector<MenuEntry>{{"打开计划", true}}));
  // The focused item counts even when nothing shows selected (as when the tree takes the focus).
  tree->clearSelection();
  tree->setCurrentItem(At({"a"}), 0, QItemSelectionModel::NoUpdate);
  QContextMenuEvent again(QContextMenuEvent::Keyboard, QPoint(tree->width() - 3, 3),
                          tree->mapToGlobal(QPoint(tree->width() - 3, 3)));
  QApplication::sendEvent(tree.get(), &again);
  ASSERT_FALSE(shownMenu.empty());
  EXPECT_EQ(shownMenu[0].text, "打开");
  EXPECT_TRUE(At({"a"})->isSelected());

  // F2 edits the label.
  QTest::keyClick(tree.get(), Qt::Key_F2);
  EXPECT_TRUE(tree->IsEditingLabel());
  FinishEdit("b", Qt::Key_Return);
  ASSERT_NE(At({"b"}), nullptr);
  EXPECT_TRUE(fs::exists(store + "/b.esr"));

  // Delete asks the menu command's question; Cancel keeps the note, OK deletes it.
  tree->setCurrentItem(At({"b"}));
  prompts.AnswerNext(MsgResult::Cancel);
  QTest::keyClick(tree.get(), Qt::Key_Delete);
  EXPECT_EQ(prompts.LastMessage(), "确定删除选择的<b>文件吗?");
  EXPECT_TRUE(fs::exists(store + "/b.esr"));
  prompts.AnswerNext(MsgResult::Ok);
  QTest::keyClick(tree.get(), Qt::Key_Delete);
  EXPECT_EQ(At({"b"}), nullptr);
  EXPECT_FALSE(fs::exists(store + "/b.esr"));
  // The top-level items other than the file box are not deleted.
  tree->setCurrentItem(tree->ScheduleItem());
  const auto asked = prompts.Messages().size();
  QTest::keyClick(tree.get(), Qt::Key_Delete);
  EXPECT_EQ(prompts.Messages().size(), asked);
  EXPECT_EQ(tree->topLevelItemCount(), 3);
}

}  // namespace
}  // namespace zorbek
