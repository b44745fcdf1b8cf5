// The search and history panels in the navigator, driven headless over a real database and
// real note files.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QHeaderView>
#include <QTest>
#include <QTimer>

#include "core/app/clock.h"
#include "core/db/store_paths.h"
#include "core/notes/note_opener.h"
#include "core/text/cp936.h"
#include "support/fake_prompts.h"
#include "support/temp_dir.h"
#include "ui/app/navigator.h"
#include "ui/db/xml_tree_ctrl.h"
#include "ui/search/search_panel.h"

namespace zorbek {
namespace {
using testing::FakePrompts;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

std::string Rtf(std::string_view utf8) {
  std::string body;
  for (unsigned char c : Utf8ToCp936(utf8)) {
    if (c >= 0x80) {
      static const char* hex = "0123456789abcdef";
      body += "\\'";
      body += hex[c >> 4];
      body += hex[c & 15];
    } else {
      body += static_cast<char>(c);
    }
  }
  return "{\\rtf1\\ansi\\ansicpg936{\\fonttbl{\\f0\\fcharset134 SimSun;}}\\f0 " + body + "\\par}";
}

class SearchPanelTest : public ::testing::Test {
 protected:
  void Open(const std::string& archive,
            const std::vector<std::pair<std::string, std::string>>& notes = {}) {
    WriteFile(db, "<list><hotkey/><filetree><archive state=\"expanded\">" + archive +
                      "</archive></filetree></list>");
    for (const auto& [rel, rtf] : notes) WriteFile(store + "/" + rel, rtf);
    SetOpenNoteEditor([this](const DocumentPath& d, const ElementPath& e) {
      opened.push_back({d.str(), e.str()});
    });
    nav = std::make_unique<CWndNavigator>(db);
    nav->resize(240, 500);
    nav->show();
    search = qobject_cast<CWndSearch*>(nav->searchView());
    history = qobject_cast<CWndHistory*>(nav->historyView());
    ASSERT_NE(search, nullptr);
    ASSERT_NE(history, nullptr);
  }
  void TearDown() override {
    nav.reset();
    SetOpenNoteEditor({});
    SetClock(nullptr);
  }
  void Select(std::initializer_list<std::string> names) {
    ItemPath path{"文件箱"};
    path.insert(path.end(), names);
    QTreeWidgetItem* item = nav->tree()->ItemOfPath(path);
    ASSERT_NE(item, nullptr);
    nav->tree()->setCurrentItem(item);
  }
  void ShowSearch() {
    nav->setMode(CWndNavigator::kTree);
    nav->setMode(CWndNavigator::kSearch);
  }
  void WaitForSearch() {
    QElapsedTimer t;
    t.start();
    while (search->Searching() && t.elapsed() < 60000) QTest::qWait(5);
    QCoreApplication::processEvents();
    ASSERT_FALSE(search->Searching());
  }
  std::vector<std::string> Column(CNoteList* list, int column) {
    std::vector<std::string> out;
    for (int r = 0; r < list->rowCount(); ++r) out.push_back(list->item(r, column)->text().toStdString());
    return out;
  }
  std::string Relative(const std::string& path) { return path.substr(store.size()); }
  std::string Relative(const DocumentPath& path) { return Relative(path.str()); }

  FakePrompts prompts;
  TempDir dir{"zorbek search"};
  std::string db = dir / "数据 目录/Zorbek.xml";
  std::string store = NoteStoreDirectory(db);
  std::unique_ptr<CWndNavigator> nav;
  CWndSearch* search = nullptr;
  CWndHistory* history = nullptr;
  std::vector<std::pair<std::string, std::string>> opened;
};

TEST_F(SearchPanelTest, ScopeFromTheSelectionRowsFromZeroAndTheSameNameOpensTheFirst) {
  Open("<甲 type=\"dir\"><同名 type=\"esr\"/><其他 type=\"esr\"/></甲>"
       "<乙 type=\"dir\"><同名 type=\"esr\"/></乙>",
       {{"甲/同名.esr", Rtf("关键词在这里")}, {"甲/其他.esr", Rtf("没有")},
        {"乙/同名.esr", Rtf("关键词也在这里")}});
  Select({"乙"});
  ShowSearch();
  EXPECT_EQ(search->scopeLabel()->text().toStdString(), "路径：/乙");
  Select({"乙", "同名"});
  ShowSearch();
  EXPECT_EQ(search->scopeLabel()->text().toStdString(), "路径：Root");
  nav->tree()->clearSelection();
  nav->tree()->setCurrentItem(nullptr);
  ShowSearch();
  EXPECT_EQ(search->scopeLabel()->text().toStdString(), "路径：Root");

  search->Search("关键词");
  WaitForSearch();
  EXPECT_EQ(Column(search->list(), 0), (std::vector<std::string>{"0", "1"}));
  EXPECT_EQ(Column(search->list(), 1), (std::vector<std::string>{"同名.esr", "同名.esr"}));
  EXPECT_EQ(search->list()->horizontalHeaderItem(0)->text(), QStringLiteral("序号"));
  EXPECT_EQ(search->list()->horizontalHeaderItem(1)->text(), QStringLiteral("文件名"));
  EXPECT_EQ(search->list()->columnWidth(0), 37);
  EXPECT_EQ(search->list()->columnWidth(1), search->width() - 41);
  EXPECT_TRUE(search->list()->showGrid());

  // Either row opens the first note of that name: lasttime, the editor, the save.
  FakeClock clock(1700000000000);
  SetClock(&clock);
  search->list()->selectRow(1);
  QTest::keyClick(search->list(), Qt::Key_Return);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(Relative(opened[0].first), "/甲/同名.esr");
  EXPECT_EQ(opened[0].second, "/list/filetree/archive/甲/同名");
  EXPECT_NE(ReadFile(db).find("<同名 type=\"esr\" lasttime=\"1700000000\""), std::string::npos);

  // A folder's scope searches its subtree only.
  Select({"乙"});
  ShowSearch();
  prompts.AnswerNext(MsgResult::Ok);
  search->Search("关键词");
  WaitForSearch();
  ASSERT_EQ(search->results().size(), 1u);
  EXPECT_EQ(Relative(search->results()[0]), "/乙/同名.esr");

  // A hit whose note is gone does nothing.
  Remove(nav->notebook().Document().Select("/list/filetree/archive/乙/同名"));
  opened.clear();
  search->list()->selectRow(0);
  search->OpenSelected();
  EXPECT_TRUE(opened.empty());
}

TEST_F(SearchPanelTest, SearchingAgainAsksAndCancelKeepsTheResults) {
  Open("<a type=\"esr\"/><b type=\"esr\"/>", {{"a.esr", Rtf("一")}, {"b.esr", Rtf("二")}});
  ShowSearch();
  search->Search("一");
  WaitForSearch();
  ASSERT_EQ(search->results().size(), 1u);
  EXPECT_TRUE(prompts.Messages().empty());  // no question while the list is empty

  prompts.AnswerNext(MsgResult::Cancel);
  search->Search("二");
  ASSERT_EQ(prompts.Messages().size(), 1u);
  EXPECT_EQ(prompts.Messages()[0].text, "决定重新搜索吗？");
  EXPECT_EQ(prompts.Messages()[0].buttons, MsgButtons::OkCancel);
  EXPECT_EQ(prompts.Messages()[0].icon, MsgIcon::Question);
  EXPECT_FALSE(search->Searching());
  EXPECT_EQ(Column(search->list(), 1), (std::vector<std::string>{"a.esr"}));
  EXPECT_EQ(search->keyword(), "一");

  prompts.AnswerNext(MsgResult::Ok);
  search->Search("二");
  WaitForSearch();
  EXPECT_EQ(Column(search->list(), 1), (std::vector<std::string>{"b.esr"}));
}

TEST_F(SearchPanelTest, TheWindowKeepsWorkingWhileASearchRunsAndANewSearchStopsIt) {
  std::string archive;
  std::vector<std::pair<std::string, std::string>> files;
  std::string filler;
  for (int i = 0; i < 60; ++i) filler += "普通的文字，没有要找的东西。";
  for (int i = 0; i < 3000; ++i) {
    const std::string name = "n" + std::to_string(i);
    archive += "<" + name + " type=\"esr\"/>";
    files.push_back({name + ".esr", Rtf((i % 100 == 0 ? "甲乙" : i % 100 == 50 ? "丙丁" : "") + filler)});
  }
  Open(archive, files);
  ShowSearch();
  int ticks = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
  timer.start(1);
  search->Search("甲乙");
  EXPECT_TRUE(search->Searching());
  // The event loop runs while the workers read: timers fire, the progress line moves.
  QElapsedTimer t;
  t.start();
  while (ticks < 5 && t.elapsed() < 30000) QTest::qWait(1);
  EXPECT_GE(ticks, 5);
  EXPECT_TRUE(search->progressLabel()->text().startsWith(QStringLiteral("已搜索 ")));

  // A second search while the first runs: the first stops, only the second's hits show.
  prompts.AnswerNext(MsgResult::Ok);
  search->Search("丙丁");
  WaitForSearch();
  ASSERT_EQ(search->results().size(), 30u);
  for (std::size_t k = 0; k < 30; ++k)
    EXPECT_EQ(Relative(search->results()[k]), "/n" + std::to_string(k * 100 + 50) + ".esr");
  EXPECT_EQ(search->progressLabel()->text(), QStringLiteral("搜索完成：共 3000 个文件，找到 30 个"));

  // Esc stops a running search and keeps what was found.
  prompts.AnswerNext(MsgResult::Ok);
  search->Search("甲乙");
  QTest::keyClick(search->list(), Qt::Key_Escape);
  WaitForSearch();
  if (search->results().size() < 30) {
    EXPECT_TRUE(search->progressLabel()->text().startsWith(QStringLiteral("已停止")));
  }
  for (std::size_t k = 0; k < search->results().size(); ++k)
    EXPECT_EQ(Relative(search->results()[k]), "/n" + std::to_string(k * 100) + ".esr");
}

TEST_F(SearchPanelTest, HistoryShowsThirtyLatestFirstAndAReopenedNoteAtTheTop) {
  std::string archive = "<bad type=\"esr\" lasttime=\"soon\"/>";
  for (int i = 0; i < 35; ++i) archive += "<n" + std::to_string(i) + " type=\"esr\"/>";
  archive += "<late type=\"esr\" lasttime=\"500\"/>";
  Open(archive);
  nav->setMode(CWndNavigator::kHistory);
  std::vector<std::string> names = Column(history->list(), 1);
  ASSERT_EQ(names.size(), 30u);
  EXPECT_EQ(names[0], "late.esr");
  EXPECT_EQ(names[1], "bad.esr");  // not a number: never opened, in the tree's order
  EXPECT_EQ(names[2], "n0.esr");
  EXPECT_EQ(names[29], "n27.esr");
  EXPECT_EQ(Column(history->list(), 0)[0], "0");
  EXPECT_EQ(history->list()->horizontalHeaderItem(1)->text(), QStringLiteral("最近访问文件名"));

  FakeClock clock(1800000000000);
  SetClock(&clock);
  history->list()->selectRow(10);  // n8
  emit history->list()->cellDoubleClicked(10, 1);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(Relative(opened[0].first), "/n8.esr");
  EXPECT_EQ(Column(history->list(), 1)[0], "late.esr");  // not rebuilt until shown again

  nav->setMode(CWndNavigator::kTree);
  nav->setMode(CWndNavigator::kHistory);
  names = Column(history->list(), 1);
  EXPECT_EQ(names[0], "n8.esr");
  EXPECT_EQ(names[1], "late.esr");
  // A note opened from the tree counts the same.
  clock.SetUnixMillis(1800000100000);
  nav->notebook().Commands().OpenNote({"文件箱", "n30"});
  nav->setMode(CWndNavigator::kTree);
  nav->setMode(CWndNavigator::kHistory);
  EXPECT_EQ(Column(history->list(), 1)[0], "n30.esr");
}

TEST_F(SearchPanelTest, HitsAndHistoryFollowARenameAndADeleteMadeInTheTree) {
  Open("<f type=\"dir\"><a type=\"esr\" lasttime=\"3\"/><b type=\"esr\" lasttime=\"2\"/>"
       "<c type=\"esr\" lasttime=\"1\"/></f>",
       {{"f/a.esr", Rtf("钥匙")}, {"f/b.esr", Rtf("钥匙")}, {"f/c.esr", Rtf("钥匙")}});
  ShowSearch();
  search->Search("钥匙");
  WaitForSearch();
  ASSERT_EQ(search->results().size(), 3u);
  nav->setMode(CWndNavigator::kHistory);
  ASSERT_EQ(Column(history->list(), 1), (std::vector<std::string>{"a.esr", "b.esr", "c.esr"}));
  nav->setMode(CWndNavigator::kTree);

  // A rename of a note, then of its folder: the rows keep their places under the new names.
  CXmlTreeCtrl* tree = nav->tree();
  tree->EndLabelEdit(tree->ItemOfPath({"文件箱", "f", "b"}), QStringLiteral("乙"));
  tree->EndLabelEdit(tree->ItemOfPath({"文件箱", "f"}), QStringLiteral("g"));
  EXPECT_EQ(Column(search->list(), 1), (std::vector<std::string>{"a.esr", "乙.esr", "c.esr"}));
  EXPECT_EQ(Relative(search->results()[1]), "/g/乙.esr");
  EXPECT_EQ(Column(history->list(), 1), (std::vector<std::string>{"a.esr", "乙.esr", "c.esr"}));
  EXPECT_EQ(Relative(history->records()[2].documentPath), "/g/c.esr");

  // A row of a deleted note goes; the rows below it are numbered again.
  Select({"g", "a"});
  prompts.AnswerNext(MsgResult::Ok);
  tree->RunCommand(treecmd::kDelete);
  EXPECT_EQ(Column(search->list(), 1), (std::vector<std::string>{"乙.esr", "c.esr"}));
  EXPECT_EQ(Column(search->list(), 0), (std::vector<std::string>{"0", "1"}));
  EXPECT_EQ(Column(history->list(), 1), (std::vector<std::string>{"乙.esr", "c.esr"}));

  // A click on a followed row opens the note where it is now.
  opened.clear();
  search->list()->selectRow(0);
  search->OpenSelected();
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(Relative(opened[0].first), "/g/乙.esr");
  opened.clear();
  history->list()->selectRow(1);
  history->OpenSelected();
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(Relative(opened[0].first), "/g/c.esr");
}

}  // namespace
}  // namespace zorbek
