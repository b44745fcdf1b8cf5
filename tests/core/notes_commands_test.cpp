#include <gtest/gtest.h>

#include <filesystem>

#include "core/app/clock.h"
#include "core/app/prompts.h"
#include "core/db/database.h"
#include "core/db/store_paths.h"
#include "core/io/file_util.h"
#include "core/notes/note_commands.h"
#include "core/notes/note_opener.h"
#include "support/fake_prompts.h"
#include "support/temp_dir.h"
#include "support/file_box.h"

namespace zorbek {
namespace {
namespace fs = std::filesystem;
using testing::FakePrompts;
using testing::ReadFile;
using testing::RunCli;
using testing::TempDir;
using testing::WriteFile;

// A database in a directory whose path holds Chinese characters and spaces, and its store.
class NotesCommandsTest : public ::testing::Test {
 protected:
  void Open(const std::string& archive) {
    WriteFile(db, "<list><hotkey/><filetree><archive>" + archive + "</archive></filetree></list>");
    OpenDatabaseFile(doc, db);
    store = NoteStoreDirectory(db);
  }
  // A file of the store, with content.
  void Put(const std::string& relative, std::string_view content = "") {
    WriteFile(store + "/" + relative, content);
  }
  void Dir(const std::string& relative) { fs::create_directories(store + "/" + relative); }
  bool Exists(const std::string& relative) const { return fs::exists(store + "/" + relative); }
  // The archive as it was saved last.
  std::string Saved() const {
    const std::string file = ReadFile(db);
    const auto a = file.find("<archive"), b = file.find("</filetree>");
    return file.substr(a, b - a);
  }
  // The archive as it is in memory.
  std::string Memory() const {
    const std::string text = doc.ToString();
    const auto a = text.find("<archive"), b = text.find("</filetree>");
    return text.substr(a, b - a);
  }
  // Everything in the store, as sorted relative paths.
  std::vector<std::string> Disk() const {
    std::vector<std::string> out;
    if (!fs::exists(store)) return out;
    for (const auto& e : fs::recursive_directory_iterator(store))
      out.push_back(fs::relative(e.path(), store).string() + (e.is_directory() ? "/" : ""));
    std::sort(out.begin(), out.end());
    return out;
  }
  // Asserts that a refused command left disk, memory and file as they were.
  void ExpectUnchanged(const std::vector<std::string>& disk, const std::string& memory,
                       const std::string& saved) {
    EXPECT_EQ(Disk(), disk);
    EXPECT_EQ(Memory(), memory);
    EXPECT_EQ(Saved(), saved);
  }

  FakePrompts prompts;
  TempDir dir{"zorbek notes"};
  std::string db = dir / "我的 笔记/Zorbek.xml";
  std::string store;
  CXmlDocument doc;
  NoteCommands cmd{doc};
};

TEST_F(NotesCommandsTest, NewNoteTakesTheFirstFreeNameAndGoesFirstIntoAFolder) {
  Open("<f type=\"dir\"><x type=\"esr\"/></f>");
  Put("f/新建ESR文档.esr", "old");
  Put("f/新建ESR文档1.esr", "old");
  int told = 0;
  cmd.SetPublisher([&](const std::vector<NotebookEvent>& events) {
    ++told;
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].newItem, testing::FileBoxItem({"f", "新建ESR文档2"}));
    EXPECT_EQ(events[0].index, 0);
    // The windows are told once the change is saved.
    EXPECT_NE(Saved().find("新建ESR文档2"), std::string::npos);
  });
  const NoteOutcome out = cmd.NewNote(testing::FileBoxItem({"f"}));
  ASSERT_TRUE(out.done);
  EXPECT_EQ(told, 1);
  EXPECT_EQ(out.item, testing::FileBoxItem({"f", "新建ESR文档2"}));
  EXPECT_EQ(out.kind, ItemKind::Note);
  EXPECT_EQ(Saved(), "<archive><f type=\"dir\"><新建ESR文档2 type=\"esr\"/><x type=\"esr\"/></f></archive>");
  EXPECT_EQ(ReadFile(store + "/f/新建ESR文档2.esr"), "");
  EXPECT_EQ(ReadFile(store + "/f/新建ESR文档.esr"), "old");
}

TEST_F(NotesCommandsTest, NewNoteOnANoteGoesDirectlyAfterIt) {
  Open("<f type=\"dir\"><a type=\"esr\"/><b type=\"esr\"/></f>");
  const NoteOutcome out = cmd.NewNote(testing::FileBoxItem({"f", "a"}));
  ASSERT_TRUE(out.done);
  EXPECT_EQ(cmd.IndexOf(out.item), 1);
  EXPECT_EQ(Saved(), "<archive><f type=\"dir\"><a type=\"esr\"/><新建ESR文档 type=\"esr\"/>"
                     "<b type=\"esr\"/></f></archive>");
  EXPECT_TRUE(Exists("f/新建ESR文档.esr"));
}

TEST_F(NotesCommandsTest, NewFolderInTheFileBoxMakesItsDirectory) {
  Open("");
  const NoteOutcome out = cmd.NewFolder(testing::FileBoxItem({}));
  ASSERT_TRUE(out.done);
  EXPECT_EQ(out.kind, ItemKind::Folder);
  EXPECT_EQ(Saved(), "<archive><新建文件夹 type=\"dir\"/></archive>");
  EXPECT_EQ(Disk(), std::vector<std::string>{"新建文件夹/"});
  // A note of the base name is a sibling of the same element name: the next name is taken.
  Open("<新建文件夹 type=\"esr\"/>");
  Put("新建文件夹.esr");
  fs::remove(store + "/新建文件夹");
  EXPECT_EQ(cmd.NewFolder(testing::FileBoxItem({})).name, "新建文件夹1");
}

TEST_F(NotesCommandsTest, NewEntriesStayInsideTheFileBox) {
  Open("");
  const auto cwd = fs::current_path();
  fs::current_path(dir.path());
  EXPECT_FALSE(cmd.NewNote({"时间表"}).done);
  EXPECT_FALSE(cmd.NewFolder({"主页"}).done);
  EXPECT_FALSE(cmd.NewNote(testing::FileBoxItem({".."})).done);
  fs::current_path(cwd);
  EXPECT_FALSE(fs::exists(dir / "schedule"));
  EXPECT_FALSE(fs::exists(dir / "主页"));
  EXPECT_TRUE(Disk().empty());
}

TEST_F(NotesCommandsTest, RenameRefusalsChangeNothing) {
  Open("<f type=\"dir\"><Abc type=\"esr\"/><other type=\"esr\"/><sub type=\"dir\"/></f>");
  Put("f/Abc.esr", "A");
  Put("f/other.esr", "O");
  Dir("f/sub");
  const auto disk = Disk();
  const std::string memory = Memory(), saved = Saved();
  const ItemPath abc = testing::FileBoxItem({"f", "Abc"});
  struct Case {
    const char* text;
    const char* message;
  } cases[] = {
      {"a b", kMsgIllegalName}, {"a,b", kMsgIllegalName}, {"1abc", kMsgIllegalName},
      {"../../evil", kMsgIllegalName}, {"x/y", kMsgIllegalName}, {"a:b", kMsgIllegalName},
      {"other", kMsgFileExists}, {"OTHER", kMsgFileExists},
      // A folder beside it of that name would share its element path.
      {"sub", kMsgFolderExists},
      {"abc", ""},    // the same name ignoring case
      {"   ", ""},    // empty once trimmed
  };
  for (const Case& c : cases) {
    prompts.Clear();
    const NoteOutcome out = cmd.Rename(abc, c.text);
    EXPECT_FALSE(out.done) << c.text;
    EXPECT_EQ(out.message, c.message) << c.text;
    ExpectUnchanged(disk, memory, saved);
  }
  // A top-level item is never renamed.
  EXPECT_FALSE(cmd.Rename(testing::FileBoxItem({}), "x").done);
  EXPECT_FALSE(fs::exists(dir / "../evil.esr"));
}

TEST_F(NotesCommandsTest, RenameOfAFolderKeepsItsPlaceAttributesAndChildren) {
  Open("<a type=\"esr\"/><旧 type=\"dir\" state=\"expanded\"><n type=\"esr\" lasttime=\"5\"/>"
       "<hidden type=\"rtf\"/></旧><z type=\"esr\"/>");
  Put("旧/n.esr", "N");
  const NoteOutcome out = cmd.Rename(testing::FileBoxItem({"旧"}), "  新目录  ");
  ASSERT_TRUE(out.done);
  EXPECT_EQ(out.name, "新目录");
  EXPECT_EQ(Saved(), "<archive><a type=\"esr\"/><新目录 type=\"dir\" state=\"expanded\">"
                     "<n type=\"esr\" lasttime=\"5\"/><hidden type=\"rtf\"/></新目录>"
                     "<z type=\"esr\"/></archive>");
  EXPECT_EQ(ReadFile(store + "/新目录/n.esr"), "N");
  EXPECT_FALSE(Exists("旧"));
}

TEST_F(NotesCommandsTest, RenameOfANoteMovesItsFileAndCutsLongTexts) {
  Open("<a type=\"Esr\" lasttime=\"7\"/>");
  Put("a.esr", "A");
  ASSERT_TRUE(cmd.Rename(testing::FileBoxItem({"a"}), "日记").done);
  EXPECT_EQ(ReadFile(store + "/日记.esr"), "A");
  EXPECT_EQ(Saved(), "<archive><日记 type=\"Esr\" lasttime=\"7\"/></archive>");
  // At most 259 characters of the text count, then the spaces at both ends go.
  ASSERT_TRUE(cmd.Rename(testing::FileBoxItem({"日记"}), "周记" + std::string(257, ' ') + "tail").done);
  EXPECT_EQ(ReadFile(store + "/周记.esr"), "A");
  // 259 Chinese characters are 777 bytes, more than a file name may have: a valid name, but
  // too long, and the message says so rather than blaming its characters.
  std::string longName;
  for (int i = 0; i < 300; ++i) longName += "字";
  const NoteOutcome out = cmd.Rename(testing::FileBoxItem({"周记"}), longName);
  EXPECT_FALSE(out.done);
  EXPECT_EQ(out.message, kMsgNameTooLong);
  // Within the file system's limit, but not with the temporary file a save goes through.
  std::string nearly;
  while (nearly.size() + 3 + 4 <= 255) nearly += "字";
  EXPECT_EQ(cmd.Rename(testing::FileBoxItem({"周记"}), nearly).message, kMsgNameTooLong);
  EXPECT_EQ(ReadFile(store + "/周记.esr"), "A");
  // A name whose file fits but whose save's temporary file would not (80 characters: 240
  // bytes, 244 with ".esr", 256 with the temporary file's additions) is refused too; one
  // character less still fits, and such a note can be saved.
  const std::string fits = longName.substr(0, 79 * 3);
  const NoteOutcome tooLong = cmd.Rename(testing::FileBoxItem({"周记"}), longName.substr(0, 80 * 3));
  EXPECT_FALSE(tooLong.done);
  EXPECT_EQ(tooLong.message, kMsgNameTooLong);
  ASSERT_TRUE(cmd.Rename(testing::FileBoxItem({"周记"}), fits).done);
  std::string error;
  EXPECT_TRUE(WriteFileAtomically(store + "/" + fits + ".esr", "B", &error)) << error;
}

TEST_F(NotesCommandsTest, RenameWithoutFileOrElementIsRefusedBeforeTheDisk) {
  Open("<gone type=\"esr\"/><d type=\"dir\"/>");
  Dir("d");
  EXPECT_EQ(cmd.Rename(testing::FileBoxItem({"gone"}), "x").message, kMsgRenameFailed);
  // An item whose element is missing (the file was edited by hand) keeps its directory.
  Dir("lost");
  EXPECT_EQ(cmd.Rename(testing::FileBoxItem({"lost"}), "found").message, kMsgRenameFailed);
  EXPECT_TRUE(Exists("lost"));
  EXPECT_FALSE(Exists("found"));
}

TEST_F(NotesCommandsTest, RenameFindsAFileWrittenInAnotherCase) {
  Open("<Notes type=\"dir\"><Abc type=\"esr\"/></Notes>");
  Put("notes/abc.esr", "A");
  ASSERT_TRUE(cmd.Rename(testing::FileBoxItem({"Notes", "Abc"}), "Xyz").done);
  EXPECT_EQ(ReadFile(store + "/notes/Xyz.esr"), "A");
}

TEST_F(NotesCommandsTest, CopyOfAFolderIsRefused) {
  Open("<f type=\"dir\"/><n type=\"esr\"/>");
  EXPECT_EQ(cmd.Copy(testing::FileBoxItem({"f"})).message, kMsgNoFolderCopy);
  EXPECT_FALSE(cmd.Copy(testing::FileBoxItem({"f"})).done);
  EXPECT_TRUE(cmd.Copy(testing::FileBoxItem({"n"})).done);
  EXPECT_EQ(cmd.Copy(testing::FileBoxItem({"missing"})).message, kMsgNoFolderCopy);  // no element: a folder
}

TEST_F(NotesCommandsTest, PasteTwiceOntoAFolderNumbersTheCopies) {
  Open("<src type=\"esr\" lasttime=\"9\"/><f type=\"dir\"><x type=\"esr\"/></f>");
  Put("src.esr", "S");
  Dir("f");
  const NoteOutcome first = cmd.Paste(testing::FileBoxItem({"src"}), testing::FileBoxItem({"f"}));
  const NoteOutcome second = cmd.Paste(testing::FileBoxItem({"src"}), testing::FileBoxItem({"f"}));
  ASSERT_TRUE(first.done && second.done);
  EXPECT_EQ(first.name, "src");
  EXPECT_EQ(second.name, "src1");
  EXPECT_EQ(cmd.IndexOf(second.item), 0);
  EXPECT_EQ(Saved(), "<archive><src type=\"esr\" lasttime=\"9\"/><f type=\"dir\">"
                     "<src1 type=\"esr\" lasttime=\"9\"/><src type=\"esr\" lasttime=\"9\"/>"
                     "<x type=\"esr\"/></f></archive>");
  EXPECT_EQ(ReadFile(store + "/f/src.esr"), "S");
  EXPECT_EQ(ReadFile(store + "/f/src1.esr"), "S");
}

TEST_F(NotesCommandsTest, PasteOntoANoteGoesAfterItAndNeverOverwrites) {
  Open("<a type=\"esr\"/><b type=\"esr\"/>");
  Put("a.esr", "A");
  Put("b.esr", "B");
  Put("a1.esr", "stray file the database does not know");
  const NoteOutcome out = cmd.Paste(testing::FileBoxItem({"a"}), testing::FileBoxItem({"b"}));
  ASSERT_TRUE(out.done);
  EXPECT_EQ(cmd.IndexOf(out.item), 2);
  EXPECT_EQ(out.name, "a2");
  EXPECT_EQ(Saved(), "<archive><a type=\"esr\"/><b type=\"esr\"/><a2 type=\"esr\"/></archive>");
  EXPECT_EQ(ReadFile(store + "/a1.esr"), "stray file the database does not know");
}

TEST_F(NotesCommandsTest, PasteRefusals) {
  Open("<a type=\"esr\"/><f type=\"dir\"/>");
  Dir("f");
  const auto disk = Disk();
  const std::string memory = Memory(), saved = Saved();
  // Nothing copied, or the copied item is gone.
  EXPECT_EQ(cmd.Paste({}, testing::FileBoxItem({"f"})).message, kMsgCopiedGone);
  EXPECT_EQ(cmd.Paste(testing::FileBoxItem({"deleted"}), testing::FileBoxItem({"f"})).message, kMsgCopiedGone);
  // The copied note's file is missing.
  EXPECT_EQ(cmd.Paste(testing::FileBoxItem({"a"}), testing::FileBoxItem({"f"})).message, kMsgCopyFailed);
  // Onto the file box nothing is pasted.
  Put("a.esr", "A");
  const NoteOutcome box = cmd.Paste(testing::FileBoxItem({"a"}), testing::FileBoxItem({}));
  EXPECT_FALSE(box.done);
  EXPECT_TRUE(box.message.empty());
  fs::remove(store + "/a.esr");
  ExpectUnchanged(disk, memory, saved);
}

TEST_F(NotesCommandsTest, DeleteNoteFolderAndTheFileBox) {
  Open("<a type=\"esr\"/><f type=\"dir\"><n type=\"esr\"/></f><keep type=\"esr\"/>"
       "<h type=\"rtf\"/>");
  Put("a.esr");
  Put("f/n.esr");
  Put("keep.esr");
  EXPECT_EQ(cmd.DeleteQuestion(testing::FileBoxItem({"a"})), "确定删除选择的<a>文件吗?");
  EXPECT_EQ(cmd.DeleteQuestion(testing::FileBoxItem({"f"})), "确定删除选择的<f>文件夹吗?");
  EXPECT_EQ(cmd.DeleteQuestion(testing::FileBoxItem({})), "确定删除选择的<文件箱>文件夹吗?");
  ASSERT_TRUE(cmd.Delete(testing::FileBoxItem({"a"})).done);
  ASSERT_TRUE(cmd.Delete(testing::FileBoxItem({"f"})).done);
  EXPECT_EQ(Saved(), "<archive><keep type=\"esr\"/><h type=\"rtf\"/></archive>");
  EXPECT_EQ(Disk(), std::vector<std::string>{"keep.esr"});
  ASSERT_TRUE(cmd.Delete(testing::FileBoxItem({})).done);
  EXPECT_EQ(Saved(), "<archive/>");
  EXPECT_FALSE(fs::exists(store));
  // The store comes back when it is needed.
  EXPECT_TRUE(cmd.NewNote(testing::FileBoxItem({})).done);
  EXPECT_TRUE(Exists("新建ESR文档.esr"));
}

TEST_F(NotesCommandsTest, DeleteOfANoteWhoseFileCannotGoKeepsIt) {
  Open("<a type=\"esr\"/><gone type=\"esr\"/>");
  Dir("a.esr/inside");  // not a file: it cannot be unlinked
  const NoteOutcome out = cmd.Delete(testing::FileBoxItem({"a"}));
  EXPECT_FALSE(out.done);
  EXPECT_EQ(out.message, kMsgDeleteFailed);
  EXPECT_NE(Saved().find("<a type=\"esr\"/>"), std::string::npos);
  // A note whose file is already gone is taken off all the same.
  EXPECT_TRUE(cmd.Delete(testing::FileBoxItem({"gone"})).done);
  EXPECT_EQ(Saved(), "<archive><a type=\"esr\"/></archive>");
}

TEST_F(NotesCommandsTest, NamesThatDifferOnlyInCaseNeverTakeTheOthersFile) {
  // From a store merged on a case-insensitive system: two elements, one file.
  Open("<Note type=\"esr\"/><note type=\"esr\"/><Dir type=\"dir\"/><dir type=\"dir\"/>");
  Put("Note.esr", "Note's text");
  Put("Dir/x.esr", "x");
  const std::string saved = Saved();
  for (const ItemPath& item : {testing::FileBoxItem({"note"}), testing::FileBoxItem({"Note"}), testing::FileBoxItem({"dir"})}) {
    SCOPED_TRACE(item.back());
    NoteOutcome out = cmd.Delete(item);
    EXPECT_FALSE(out.done);
    EXPECT_EQ(out.message, FormatMessage(kMsgCaseTwins, item.back()));
    out = cmd.Rename(item, "other");
    EXPECT_FALSE(out.done);
    EXPECT_EQ(out.message, FormatMessage(kMsgCaseTwins, item.back()));
  }
  EXPECT_EQ(Saved(), saved);
  EXPECT_EQ(ReadFile(store + "/Note.esr"), "Note's text");
  // Each with a file of its own: a delete takes only its own.
  Put("note.esr", "note's text");
  ASSERT_TRUE(cmd.Delete(testing::FileBoxItem({"note"})).done);
  EXPECT_EQ(ReadFile(store + "/Note.esr"), "Note's text");
  EXPECT_FALSE(Exists("note.esr"));
}

TEST_F(NotesCommandsTest, MovesAmongShownSiblings) {
  Open("<a type=\"esr\"/><h type=\"rtf\"/><b type=\"esr\"/><c type=\"dir\"/>");
  const std::string saved = Saved();
  EXPECT_FALSE(cmd.Move(testing::FileBoxItem({"a"}), MoveTo::Up).done);
  EXPECT_FALSE(cmd.Move(testing::FileBoxItem({"a"}), MoveTo::Top).done);
  EXPECT_FALSE(cmd.Move(testing::FileBoxItem({"c"}), MoveTo::Down).done);
  EXPECT_FALSE(cmd.Move(testing::FileBoxItem({"c"}), MoveTo::Bottom).done);
  EXPECT_FALSE(cmd.Move(testing::FileBoxItem({}), MoveTo::Down).done);
  EXPECT_FALSE(cmd.Move(testing::FileBoxItem({"h"}), MoveTo::Up).done);  // not shown
  EXPECT_EQ(Saved(), saved);
  // Up on the third child: it becomes the second.
  ASSERT_TRUE(cmd.Move(testing::FileBoxItem({"c"}), MoveTo::Up).done);
  EXPECT_EQ(Saved(), "<archive><a type=\"esr\"/><h type=\"rtf\"/><c type=\"dir\"/>"
                     "<b type=\"esr\"/></archive>");
  // Up on the second goes to the very front.
  ASSERT_TRUE(cmd.Move(testing::FileBoxItem({"c"}), MoveTo::Up).done);
  EXPECT_EQ(Saved(), "<archive><c type=\"dir\"/><a type=\"esr\"/><h type=\"rtf\"/>"
                     "<b type=\"esr\"/></archive>");
  ASSERT_TRUE(cmd.Move(testing::FileBoxItem({"c"}), MoveTo::Down).done);
  EXPECT_EQ(Saved(), "<archive><a type=\"esr\"/><c type=\"dir\"/><h type=\"rtf\"/>"
                     "<b type=\"esr\"/></archive>");
  ASSERT_TRUE(cmd.Move(testing::FileBoxItem({"a"}), MoveTo::Bottom).done);
  ASSERT_TRUE(cmd.Move(testing::FileBoxItem({"b"}), MoveTo::Top).done);
  EXPECT_EQ(Saved(), "<archive><b type=\"esr\"/><c type=\"dir\"/><h type=\"rtf\"/>"
                     "<a type=\"esr\"/></archive>");
}

TEST_F(NotesCommandsTest, TheThreeSorts) {
  const std::string children =
      "<b type=\"esr\"/><Z type=\"dir\"/><a type=\"esr\"/><y type=\"dir\"/>";
  Open("<f type=\"dir\">" + children + "</f>");
  const std::string before = Saved();
  ASSERT_TRUE(cmd.Sort(testing::FileBoxItem({"f"}), SortMode::Folders).done);
  // Saved at once, as every other change: an order seen in the tree is the order in the file.
  EXPECT_NE(Saved(), before);
  EXPECT_EQ(Saved(), "<archive><f type=\"dir\"><y type=\"dir\"/><Z type=\"dir\"/>"
                     "<b type=\"esr\"/><a type=\"esr\"/></f></archive>");
  Open("<f type=\"dir\">" + children + "</f>");
  ASSERT_TRUE(cmd.Sort(testing::FileBoxItem({"f"}), SortMode::Files).done);
  EXPECT_EQ(Saved(), "<archive><f type=\"dir\"><Z type=\"dir\"/><y type=\"dir\"/>"
                     "<a type=\"esr\"/><b type=\"esr\"/></f></archive>");
  Open("<f type=\"dir\">" + children + "<中 type=\"esr\"/><啊 type=\"dir\"/></f>");
  ASSERT_TRUE(cmd.Sort(testing::FileBoxItem({"f"}), SortMode::Mixed).done);
  EXPECT_EQ(Saved(), "<archive><f type=\"dir\"><a type=\"esr\"/><b type=\"esr\"/>"
                     "<y type=\"dir\"/><Z type=\"dir\"/><啊 type=\"dir\"/><中 type=\"esr\"/>"
                     "</f></archive>");
  // A note has nothing to sort.
  EXPECT_TRUE(cmd.Sort(testing::FileBoxItem({"f", "a"}), SortMode::Mixed).done);
}

TEST_F(NotesCommandsTest, OpenNoteRecordsTheTimeCallsTheEditorAndSaves) {
  Open("<f type=\"dir\"><n type=\"ESR\"/></f>");
  FakeClock clock(1700000000123);
  SetClock(&clock);
  std::vector<std::pair<std::string, std::string>> opened;
  SetOpenNoteEditor([&](const DocumentPath& d, const ElementPath& e) {
    // The time is recorded before the editor opens, and saved after.
    EXPECT_NE(Memory().find("lasttime=\"1700000000\""), std::string::npos);
    EXPECT_EQ(Saved().find("lasttime"), std::string::npos);
    opened.emplace_back(d.str(), e.str());
  });
  // The file is missing: the time is recorded all the same.
  ASSERT_TRUE(cmd.OpenNote(testing::FileBoxItem({"f", "n"})).done);
  EXPECT_EQ(Saved(), "<archive><f type=\"dir\"><n type=\"ESR\" lasttime=\"1700000000\"/></f>"
                     "</archive>");
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].first, store + "/f/n.esr");
  EXPECT_EQ(opened[0].second, "/list/filetree/archive/f/n");
  EXPECT_FALSE(cmd.OpenNote(testing::FileBoxItem({"f"})).done);
  EXPECT_FALSE(cmd.OpenNote(testing::FileBoxItem({"f", "missing"})).done);
  EXPECT_EQ(opened.size(), 1u);
  SetOpenNoteEditor({});
  SetClock(nullptr);
}

TEST_F(NotesCommandsTest, DirectoryToShow) {
  Open("<f type=\"dir\"><n type=\"esr\"/></f>");
  auto note = cmd.DirectoryToShow(testing::FileBoxItem({"f", "n"}));
  ASSERT_TRUE(note);
  EXPECT_TRUE(note->selectFile);
  EXPECT_EQ(note->path, store + "/f/n.esr");
  auto box = cmd.DirectoryToShow(testing::FileBoxItem({}));
  ASSERT_TRUE(box);
  EXPECT_FALSE(box->selectFile);
  EXPECT_EQ(box->path, store);
  EXPECT_TRUE(fs::is_directory(store));
  EXPECT_FALSE(cmd.DirectoryToShow({"时间表"}));
}

TEST_F(NotesCommandsTest, CliCommands) {
  Open("<f type=\"dir\"/>");
  Dir("f");
  std::string out, err;
  EXPECT_EQ(RunCli({"--db", db, "new-note", "f"}, &out, &err), 0) << err;
  EXPECT_EQ(out, "新建ESR文档\n");
  EXPECT_EQ(RunCli({"--db", db, "rename", "f/新建ESR文档", "日 记"}, &out, &err), 1);
  EXPECT_EQ(err, std::string(kMsgIllegalName) + "\n");
  EXPECT_EQ(RunCli({"--db", db, "rename", "f/新建ESR文档", "日记"}, &out, &err), 0) << err;
  EXPECT_EQ(RunCli({"--db", db, "paste", "f/日记", "/"}, &out, &err), 1);
  EXPECT_EQ(RunCli({"--db", db, "paste", "f/日记", "f"}, &out, &err), 0) << err;
  EXPECT_EQ(out, "日记1\n");
  EXPECT_EQ(RunCli({"--db", db, "paste", "f", "f"}, &out, &err), 1);
  EXPECT_EQ(err, std::string(kMsgNoFolderCopy) + "\n");
  EXPECT_EQ(RunCli({"--db", db, "move", "f/日记", "top"}, &out, &err), 0) << err;
  EXPECT_EQ(RunCli({"--db", db, "move", "f/日记", "sideways"}, &out, &err), 2);
  EXPECT_EQ(RunCli({"--db", db, "sort", "f", "files"}, &out, &err), 0) << err;
  EXPECT_EQ(RunCli({"--db", db, "open", "f/日记"}, &out, &err), 0) << err;
  EXPECT_EQ(RunCli({"--db", db, "open", "f"}, &out, &err), 1);
  EXPECT_EQ(RunCli({"--db", db, "delete", "f/../f"}, &out, &err), 1);
  EXPECT_EQ(RunCli({"--db", db, "new-folder"}, &out, &err), 2);
  EXPECT_EQ(RunCli({"--db", db, "tree"}, &out, &err), 0);
  EXPECT_EQ(out, "f [dir]\n  日记 [esr]\n  日记1 [esr]\n");
  EXPECT_NE(ReadFile(db).find("<日记 type=\"esr\" lasttime="), std::string::npos);
  EXPECT_EQ(RunCli({"--db", db, "delete", "/"}, &out, &err), 0) << err;
  EXPECT_EQ(RunCli({"--db", db, "tree"}, &out, &err), 0);
  EXPECT_EQ(out, "");
  EXPECT_FALSE(fs::exists(store));
}

// The walk of what the tree shows: a collapsed folder's children are left out (and said to be
// there only when one of them shows), other types are passed over with all below them, the
// state is read without regard to case, and the visitor can end the walk.
TEST_F(NotesCommandsTest, OutlineWalkShowsWhatTheTreeShowsInOrder) {
  Open("<a type=\"dir\" state=\"expanded\"><n1 type=\"esr\"/>"
       "<b type=\"dir\" state=\"collapsed\"><n2 type=\"esr\"/></b>"
       "<c type=\"dir\" state=\"collapsed\"><junk/></c>"
       "<hidden type=\"other\"><n3 type=\"esr\"/></hidden>"
       "<d type=\"DIR\" state=\"Expanded\"><n4 type=\"esr\"><n5 type=\"esr\"/></n4></d></a>"
       "<e type=\"dir\"><n6 type=\"esr\"/></e>");
  const ItemPath box = testing::FileBoxItem({});
  const auto walk = [&](OutlineDepth depth, const std::string& stopAt = {}) {
    std::vector<std::string> steps;
    const std::optional<bool> state = cmd.WalkOutline(box, depth, [&](const OutlineStep& s) {
      steps.push_back(std::string(s.name) + "/" + std::to_string(s.level) +
                      (s.kind == ItemKind::Folder ? "F" : "N") + (s.expanded ? "+" : "") +
                      (s.childrenLeftOut ? "..." : ""));
      return s.name != stopAt;
    });
    EXPECT_EQ(state, std::optional<bool>(false));
    return steps;
  };
  EXPECT_EQ(walk(OutlineDepth::Shown),
            (std::vector<std::string>{"a/0F+", "n1/1N", "b/1F...", "c/1F", "d/1F+", "n4/2N",
                                      "n5/3N", "e/0F..."}));
  EXPECT_EQ(walk(OutlineDepth::Whole),
            (std::vector<std::string>{"a/0F+", "n1/1N", "b/1F", "n2/2N", "c/1F", "d/1F+", "n4/2N",
                                      "n5/3N", "e/0F", "n6/1N"}));
  EXPECT_EQ(walk(OutlineDepth::Shown, "b"), (std::vector<std::string>{"a/0F+", "n1/1N", "b/1F..."}));

  // The outline built from the walk has the same shape.
  const TreeEntry outline = cmd.Outline(box, OutlineDepth::Shown);
  ASSERT_EQ(outline.children.size(), 2u);
  const TreeEntry& a = outline.children[0];
  ASSERT_EQ(a.children.size(), 4u);
  EXPECT_TRUE(a.children[1].childrenLeftOut);
  EXPECT_TRUE(a.children[1].children.empty());
  EXPECT_FALSE(a.children[2].childrenLeftOut);
  ASSERT_EQ(a.children[3].children.size(), 1u);
  EXPECT_EQ(a.children[3].children[0].children.at(0).name, "n5");
  EXPECT_TRUE(outline.children[1].childrenLeftOut);

  // No such folder: nothing is walked.
  int visits = 0;
  EXPECT_EQ(cmd.WalkOutline(testing::FileBoxItem({"nowhere"}), OutlineDepth::Whole,
                            [&](const OutlineStep&) { return ++visits, true; }),
            std::nullopt);
  EXPECT_EQ(visits, 0);
}

}  // namespace
}  // namespace zorbek
