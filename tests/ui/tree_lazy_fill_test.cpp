#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <memory>

#include "core/db/store_paths.h"
#include "support/fake_prompts.h"
#include "support/temp_dir.h"
#include "ui/db/xml_tree_ctrl.h"
#include "ui/search/search_panel.h"

namespace zorbek {
namespace {
namespace fs = std::filesystem;
using testing::FakePrompts;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

// The items of a collapsed folder are made when they are first needed: the tree of a large
// notebook starts with what shows. Whatever the user does with such a folder works as if its
// items had been there all along.
class TreeLazyFillTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(db,
              "<list><hotkey/><filetree><archive state=\"expanded\">"
              "<收起 type=\"dir\" state=\"collapsed\"><甲 type=\"esr\" lasttime=\"1796640480\"/>"
              "<里面 type=\"dir\" state=\"expanded\"><深处 type=\"esr\"/></里面></收起>"
              "<打开 type=\"dir\" state=\"expanded\"><乙 type=\"esr\"/></打开>"
              "<空的 type=\"dir\"/>"
              "</archive></filetree></list>");
    store = NoteStoreDirectory(db);
    WriteFile(store + "/收起/甲.esr", "{\\rtf1\\ansi polaris and more\\par}");
    WriteFile(store + "/收起/里面/深处.esr", "{\\rtf1\\ansi x\\par}");
    WriteFile(store + "/打开/乙.esr", "{\\rtf1\\ansi y\\par}");
    fs::create_directories(store + "/空的");
    notebook = std::make_unique<Notebook>();
    tree = std::make_unique<CXmlTreeCtrl>(*notebook);
    tree->resize(300, 600);
    tree->show();
    notebook->Open(db);
  }
  // The shown child of item with this text, without making anything.
  static QTreeWidgetItem* Shown(QTreeWidgetItem* item, const char* text) {
    for (int i = 0; item && i < item->childCount(); ++i)
      if (item->child(i)->text(0) == QString::fromUtf8(text)) return item->child(i);
    return nullptr;
  }
  QTreeWidgetItem* Collapsed() const { return Shown(tree->FileBoxItem(), "收起"); }
  static std::vector<std::string> Children(QTreeWidgetItem* item) {
    std::vector<std::string> out;
    for (int i = 0; i < item->childCount(); ++i) out.push_back(item->child(i)->text(0).toStdString());
    return out;
  }

  FakePrompts prompts;
  TempDir dir{"zorbek 树"};
  std::string db = dir / "Zorbek.xml";
  std::string store;
  std::unique_ptr<Notebook> notebook;  // declared first: the tree goes before it
  std::unique_ptr<CXmlTreeCtrl> tree;
};

TEST_F(TreeLazyFillTest, ACollapsedFolderShowsItsIndicatorAndGetsItsItemsWhenOpened) {
  QTreeWidgetItem* folded = Collapsed();
  ASSERT_NE(folded, nullptr);
  EXPECT_EQ(folded->childCount(), 0);
  EXPECT_TRUE(CXmlTreeCtrl::ChildrenLeftOut(folded));
  EXPECT_EQ(folded->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
  // An expanded folder shows its items; an empty one has no indicator.
  EXPECT_EQ(Children(Shown(tree->FileBoxItem(), "打开")), std::vector<std::string>{"乙"});
  EXPECT_FALSE(CXmlTreeCtrl::ChildrenLeftOut(Shown(tree->FileBoxItem(), "空的")));
  const std::string saved = ReadFile(db);

  folded->setExpanded(true);  // the user opens it
  EXPECT_EQ(Children(folded), (std::vector<std::string>{"甲", "里面"}));
  EXPECT_TRUE(Shown(folded, "里面")->isExpanded());  // as its element says
  EXPECT_EQ(Children(Shown(folded, "里面")), std::vector<std::string>{"深处"});
  EXPECT_NE(ReadFile(db).find("<收起 type=\"dir\" state=\"expanded\">"), std::string::npos);
  EXPECT_NE(saved, ReadFile(db));
}

TEST_F(TreeLazyFillTest, SearchHistoryAndLocatingReachNotesOfACollapsedFolder) {
  // The search, scoped to the collapsed folder, and the history read the notebook.
  CWndSearch search(*notebook, [] { return ItemPath{"文件箱", "收起"}; });
  search.UpdateScope();
  bool finished = false;
  QObject::connect(&search, &CWndSearch::searchFinished, [&] { finished = true; });
  search.Search("polaris");
  // The search runs on its own thread; a loaded machine may take seconds to get to it.
  ASSERT_TRUE(QTest::qWaitFor([&] { return finished; }, 30'000));
  ASSERT_EQ(search.results().size(), 1u);
  EXPECT_NE(search.results()[0].str().find("收起/甲.esr"), std::string::npos);
  CWndHistory history(*notebook);
  history.Refresh();
  ASSERT_FALSE(history.records().empty());
  EXPECT_NE(history.records()[0].documentPath.str().find("收起/甲.esr"), std::string::npos);

  // Locating a hit makes the items on the way down; nothing is written, nothing expands.
  const std::string saved = ReadFile(db);
  QTreeWidgetItem* deep = tree->ItemOfPath({"文件箱", "收起", "里面", "深处"});
  ASSERT_NE(deep, nullptr);
  EXPECT_EQ(deep->parent()->parent(), Collapsed());
  EXPECT_FALSE(Collapsed()->isExpanded());
  EXPECT_EQ(Children(Collapsed()), (std::vector<std::string>{"甲", "里面"}));
  EXPECT_EQ(ReadFile(db), saved);
}

TEST_F(TreeLazyFillTest, ANoteDroppedOnACollapsedFolderGoesIntoIt) {
  QTreeWidgetItem* note = tree->ItemOfPath({"文件箱", "打开", "乙"});
  ASSERT_NE(note, nullptr);
  QTreeWidgetItem* target = Collapsed();
  ASSERT_EQ(target->childCount(), 0);
  tree->DropItem(note, target);
  EXPECT_TRUE(fs::exists(store + "/收起/乙.esr"));
  EXPECT_FALSE(fs::exists(store + "/打开/乙.esr"));
  EXPECT_EQ(Children(Shown(tree->FileBoxItem(), "打开")), std::vector<std::string>{});
  // The moved note is selected where it went, once.
  QTreeWidgetItem* moved = tree->ItemOfPath({"文件箱", "收起", "乙"});
  ASSERT_NE(moved, nullptr);
  EXPECT_EQ(tree->SelectedItem(), moved);
  const auto names = Children(Collapsed());
  EXPECT_EQ(std::count(names.begin(), names.end(), "乙"), 1);
}

TEST_F(TreeLazyFillTest, ChangesInsideAFolderNotYetFilledShowOnceWhenItIsOpened) {
  // A new note, a rename and a delete below the collapsed folder, and a move out of it.
  ASSERT_TRUE(notebook->Commands().NewNote({"文件箱", "收起"}).done);
  ASSERT_TRUE(notebook->Commands().Rename({"文件箱", "收起", "甲"}, "甲二").done);
  ASSERT_TRUE(notebook->Commands().Move({"文件箱", "收起", "甲二"}, MoveTo::Bottom).done);
  EXPECT_EQ(Collapsed()->childCount(), 0);
  EXPECT_TRUE(CXmlTreeCtrl::ChildrenLeftOut(Collapsed()));
  Collapsed()->setExpanded(true);
  const auto names = Children(Collapsed());
  ASSERT_EQ(names.size(), 3u);
  EXPECT_EQ(names.back(), "甲二");
  EXPECT_EQ(std::count(names.begin(), names.end(), "里面"), 1);

  // A folder that shows (empty) gets its new entry at once.
  QTreeWidgetItem* empty = Shown(tree->FileBoxItem(), "空的");
  ASSERT_TRUE(notebook->Commands().NewFolder({"文件箱", "空的"}).done);
  EXPECT_EQ(empty->childCount(), 1);
}

TEST_F(TreeLazyFillTest, AReloadKeepsCollapsedFoldersUnfilledAndTheSelection) {
  tree->setCurrentItem(tree->ItemOfPath({"文件箱", "收起", "甲"}));
  tree->Refill();
  ASSERT_NE(tree->SelectedItem(), nullptr);
  EXPECT_EQ(CXmlTreeCtrl::ItemPathOf(tree->SelectedItem()),
            (ItemPath{"文件箱", "收起", "甲"}));
  QTreeWidgetItem* open = Shown(tree->FileBoxItem(), "打开");
  ASSERT_NE(open, nullptr);
  EXPECT_EQ(Children(open), std::vector<std::string>{"乙"});
}

// At start, deep expanded folders show open wherever they lie among their siblings, below a
// note that has entries of its own too; the rest stays as the elements say. A rename reaches
// the item's text and the tree's own signal.
TEST(TreeFill, ExpandedFoldersShowOpenAtEveryDepth) {
  FakePrompts prompts;
  TempDir dir{"zorbek 深"};
  const std::string db = dir / "Zorbek.xml";
  WriteFile(db,
            "<list><hotkey/><filetree><archive state=\"expanded\">"
            "<a type=\"dir\"/><b type=\"dir\" state=\"collapsed\"><x type=\"esr\"/></b>"
            "<c type=\"dir\" state=\"expanded\"><n type=\"esr\"/>"
            "<d type=\"dir\" state=\"collapsed\"><y type=\"esr\"/></d>"
            "<e type=\"dir\" state=\"expanded\"><m type=\"esr\">"
            "<f type=\"dir\" state=\"expanded\"><z type=\"esr\"/></f></m></e></c>"
            "</archive></filetree></list>");
  WriteFile(NoteStoreDirectory(db) + "/c/n.esr", "{\\rtf1\\ansi n\\par}");
  Notebook notebook;
  CXmlTreeCtrl tree(notebook);
  tree.show();
  notebook.Open(db);
  const auto item = [&](ItemPath path) {
    path.insert(path.begin(), "文件箱");
    return tree.ItemOfPath(path);
  };
  ASSERT_NE(item({"c", "e", "m", "f", "z"}), nullptr);
  EXPECT_TRUE(tree.FileBoxItem()->isExpanded());
  EXPECT_TRUE(item({"c"})->isExpanded());
  EXPECT_TRUE(item({"c", "e"})->isExpanded());
  EXPECT_TRUE(item({"c", "e", "m", "f"})->isExpanded());
  EXPECT_FALSE(item({"b"})->isExpanded());
  EXPECT_FALSE(item({"c", "d"})->isExpanded());
  EXPECT_FALSE(item({"c", "e", "m"})->isExpanded());

  int changed = 0;
  QObject::connect(&tree, &QTreeWidget::itemChanged, [&](QTreeWidgetItem* i, int) {
    changed += i->text(0) == QStringLiteral("改名");
  });
  ASSERT_TRUE(notebook.Commands().Rename({"文件箱", "c", "n"}, "改名").done);
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(item({"c"})->child(0)->text(0), QStringLiteral("改名"));
  EXPECT_EQ(item({"c"})->child(0)->data(0, Qt::EditRole).toString(), QStringLiteral("改名"));
}

}  // namespace
}  // namespace zorbek
