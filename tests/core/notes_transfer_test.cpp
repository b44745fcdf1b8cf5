#include <gtest/gtest.h>

#include <filesystem>

#include "core/db/database.h"
#include "core/db/store_paths.h"
#include "core/notes/note_transfer.h"
#include "support/fake_prompts.h"
#include "support/temp_dir.h"
#include "support/file_box.h"

namespace zorbek {
namespace {
namespace fs = std::filesystem;
using testing::FakePrompts;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

// A database in a directory whose path holds Chinese characters and spaces, and its store.
class NotesTransferTest : public ::testing::Test {
 protected:
  void Open(const std::string& archive) {
    WriteFile(db, "<list><hotkey/><filetree><archive>" + archive + "</archive></filetree></list>");
    OpenDatabaseFile(doc, db);
    store = NoteStoreDirectory(db);
  }
  void Put(const std::string& relative, std::string_view content = "") {
    WriteFile(store + "/" + relative, content);
  }
  void Dir(const std::string& relative) { fs::create_directories(store + "/" + relative); }
  std::string Saved() const {
    const std::string file = ReadFile(db);
    const auto a = file.find("<archive"), b = file.find("</filetree>");
    return file.substr(a, b - a);
  }
  std::string Memory() const {
    const std::string text = doc.ToString();
    const auto a = text.find("<archive"), b = text.find("</filetree>");
    return text.substr(a, b - a);
  }
  std::vector<std::string> Disk() const {
    std::vector<std::string> out;
    if (!fs::exists(store)) return out;
    for (const auto& e : fs::recursive_directory_iterator(store))
      out.push_back(fs::relative(e.path(), store).string() + (e.is_directory() ? "/" : ""));
    std::sort(out.begin(), out.end());
    return out;
  }
  // A refused command leaves disk, memory and file as they were.
  struct Snapshot {
    std::vector<std::string> disk;
    std::string memory, saved;
  };
  Snapshot Snap() const { return {Disk(), Memory(), Saved()}; }
  void ExpectUnchanged(const Snapshot& s) const {
    EXPECT_EQ(Disk(), s.disk);
    EXPECT_EQ(Memory(), s.memory);
    EXPECT_EQ(Saved(), s.saved);
  }

  FakePrompts prompts;
  TempDir dir{"zorbek transfer"};
  std::string db = dir / "我的 笔记/Zorbek.xml";
  std::string store;
  CXmlDocument doc;
  NoteCommands cmd{doc};
  NoteTransfer transfer{cmd};
  // What the commands told, in order.
  std::vector<NotebookEvent> heard;
  void SetUp() override {
    cmd.SetPublisher([this](const std::vector<NotebookEvent>& events) {
      heard.insert(heard.end(), events.begin(), events.end());
    });
  }
};

// ---- moves by dragging ----------------------------------------------------------------------

const char* kTree =
    "<工作 type=\"dir\" state=\"expanded\">"
    "<子目录 type=\"dir\"><深处 type=\"esr\"/></子目录>"
    "<甲 type=\"esr\" lasttime=\"42\"/>"
    "</工作>"
    "<生活 type=\"dir\"><甲 type=\"esr\"/><乙 type=\"esr\"/></生活>";


TEST_F(NotesTransferTest, AFolderOntoItsParentItselfOrASubfolderChangesNothing) {
  Open(kTree);
  Put("工作/子目录/深处.esr", "d");
  Put("工作/甲.esr", "a");
  doc.Save();
  const Snapshot before = Snap();
  for (const ItemPath& target : {testing::FileBoxItem({"工作"}), testing::FileBoxItem({"工作", "子目录"})}) {
    const TransferOutcome out = transfer.Drop(testing::FileBoxItem({"工作", "子目录"}), target);
    EXPECT_FALSE(out.done);
    EXPECT_TRUE(out.message.empty());
    ExpectUnchanged(before);
  }
  // Onto a note below itself.
  EXPECT_FALSE(transfer.Drop(testing::FileBoxItem({"工作"}), testing::FileBoxItem({"工作", "子目录", "深处"})).done);
  EXPECT_FALSE(transfer.MoveFolderTo(testing::FileBoxItem({"工作"}), testing::FileBoxItem({"工作", "子目录"})).done);
  ExpectUnchanged(before);
  EXPECT_TRUE(heard.empty());
}

TEST_F(NotesTransferTest, ANoteOntoANoteOfAnotherFolderMovesBeforeItUnderAFreeName) {
  Open(kTree);
  Put("工作/甲.esr", "work note");
  Put("生活/甲.esr", "life note");
  Put("生活/乙.esr", "b");
  bool savedWhenTold = false;
  cmd.SetPublisher([&](const std::vector<NotebookEvent>& events) {
    heard = events;
    // The windows are told once the move is saved.
    savedWhenTold = Saved().find("甲1") != std::string::npos;
  });
  const TransferOutcome out = transfer.Drop(testing::FileBoxItem({"工作", "甲"}), testing::FileBoxItem({"生活", "乙"}));
  ASSERT_TRUE(out.done);
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_TRUE(savedWhenTold);
  EXPECT_EQ(heard[0].kind, NotebookEventKind::kMoved);
  EXPECT_EQ(heard[0].oldItem, testing::FileBoxItem({"工作", "甲"}));
  EXPECT_EQ(heard[0].newItem, testing::FileBoxItem({"生活", "甲1"}));
  EXPECT_EQ(heard[0].index, 1);  // directly before the target
  EXPECT_EQ(out.item, testing::FileBoxItem({"生活", "甲1"}));
  EXPECT_EQ(Saved(),
            "<archive><工作 type=\"dir\" state=\"expanded\"><子目录 type=\"dir\"><深处 type=\"esr\"/>"
            "</子目录></工作><生活 type=\"dir\"><甲 type=\"esr\"/><甲1 type=\"esr\" lasttime=\"42\"/>"
            "<乙 type=\"esr\"/></生活></archive>");
  EXPECT_EQ(ReadFile(store + "/生活/甲1.esr"), "work note");
  EXPECT_EQ(ReadFile(store + "/生活/甲.esr"), "life note");
  EXPECT_FALSE(fs::exists(store + "/工作/甲.esr"));
}

TEST_F(NotesTransferTest, ANoteOntoANoteOfItsOwnFolderIsReorderedWithoutTouchingTheDisk) {
  Open(kTree);
  Put("生活/甲.esr", "a");
  Put("生活/乙.esr", "b");
  const auto disk = Disk();
  const TransferOutcome out = transfer.Drop(testing::FileBoxItem({"生活", "乙"}), testing::FileBoxItem({"生活", "甲"}));
  ASSERT_TRUE(out.done);
  EXPECT_EQ(out.item, testing::FileBoxItem({"生活", "乙"}));
  EXPECT_NE(Saved().find("<生活 type=\"dir\"><乙 type=\"esr\"/><甲 type=\"esr\"/></生活>"),
            std::string::npos);
  EXPECT_EQ(Disk(), disk);
  // Dropped on its own parent folder: nothing at all.
  const Snapshot before = Snap();
  EXPECT_FALSE(transfer.Drop(testing::FileBoxItem({"生活", "乙"}), testing::FileBoxItem({"生活"})).done);
  ExpectUnchanged(before);
}

TEST_F(NotesTransferTest, ANoteIntoAFolderGoesFirstAndAFolderOntoTheFileBoxTakesItsSubtree) {
  Open(kTree);
  Put("工作/甲.esr", "a");
  Put("工作/子目录/深处.esr", "d");
  Put("生活/乙.esr", "b");
  ASSERT_TRUE(transfer.Drop(testing::FileBoxItem({"生活", "乙"}), testing::FileBoxItem({"工作"})).done);
  EXPECT_EQ(ReadFile(store + "/工作/乙.esr"), "b");
  EXPECT_NE(Saved().find("<工作 type=\"dir\" state=\"expanded\"><乙 type=\"esr\"/><子目录"),
            std::string::npos);

  heard.clear();
  const TransferOutcome out = transfer.Drop(testing::FileBoxItem({"工作", "子目录"}), testing::FileBoxItem({}));
  ASSERT_TRUE(out.done);
  EXPECT_EQ(out.item, testing::FileBoxItem({"子目录"}));
  // The folder, first in the file box, then the note below it.
  ASSERT_EQ(heard.size(), 2u);
  EXPECT_EQ(heard[0].index, 0);
  EXPECT_FALSE(heard[0].below);
  EXPECT_EQ(heard[1].newItem, testing::FileBoxItem({"子目录", "深处"}));
  EXPECT_TRUE(heard[1].below);
  EXPECT_EQ(Saved().rfind("<archive><子目录 type=\"dir\"><深处 type=\"esr\"/></子目录><工作", 0), 0u);
  EXPECT_EQ(ReadFile(store + "/子目录/深处.esr"), "d");
  EXPECT_FALSE(fs::exists(store + "/工作/子目录"));

  // Next to a note of another folder, a folder takes a free name there too.
  Dir("生活/子目录");  // a directory without element holds the name on disk
  const TransferOutcome next = transfer.Drop(testing::FileBoxItem({"子目录"}), testing::FileBoxItem({"生活", "甲"}));
  ASSERT_TRUE(next.done);
  EXPECT_EQ(next.item, testing::FileBoxItem({"生活", "子目录1"}));
  EXPECT_EQ(cmd.IndexOf(next.item), 0);  // before the target note
  EXPECT_NE(Saved().find("<生活 type=\"dir\"><子目录1 type=\"dir\"><深处 type=\"esr\"/></子目录1><甲"),
            std::string::npos);
  EXPECT_EQ(ReadFile(store + "/生活/子目录1/深处.esr"), "d");
}

TEST_F(NotesTransferTest, NothingMovesOutsideTheFileBoxOrFromTheTopLevel) {
  Open(kTree);
  Put("工作/甲.esr", "a");
  doc.Save();
  const Snapshot before = Snap();
  EXPECT_FALSE(transfer.Drop(testing::FileBoxItem({"工作", "甲"}), ItemPath{"时间表"}).done);
  EXPECT_FALSE(transfer.Drop(testing::FileBoxItem({"工作", "甲"}), ItemPath{"主页"}).done);
  EXPECT_FALSE(transfer.Drop(testing::FileBoxItem({"工作", "甲"}), std::nullopt).done);
  EXPECT_FALSE(transfer.Drop(testing::FileBoxItem({}), testing::FileBoxItem({"工作"})).done);
  EXPECT_FALSE(transfer.Drop(ItemPath{"时间表"}, testing::FileBoxItem({"工作"})).done);
  EXPECT_FALSE(transfer.Drop(ItemPath{"时间表", "x"}, testing::FileBoxItem({"工作"})).done);
  ExpectUnchanged(before);
  EXPECT_FALSE(CanDragItem(testing::FileBoxItem({})));
  EXPECT_FALSE(CanDragItem(ItemPath{"时间表"}));
  EXPECT_FALSE(CanDragItem(ItemPath{"主页"}));
  EXPECT_TRUE(CanDragItem(testing::FileBoxItem({"工作"})));
}

TEST_F(NotesTransferTest, AFailedDiskMoveIsReportedAndChangesNothing) {
  Open(kTree);
  // The note's file is gone: the rename fails.
  Put("生活/甲.esr", "a");
  const Snapshot before = Snap();
  const TransferOutcome out = transfer.Drop(testing::FileBoxItem({"工作", "甲"}), testing::FileBoxItem({"生活"}));
  EXPECT_FALSE(out.done);
  EXPECT_EQ(out.message, kMsgMoveFailed);
  EXPECT_EQ(Disk(), before.disk);
  EXPECT_EQ(Memory(), before.memory);
  // The release still saves the database.
  EXPECT_EQ(Saved(), Memory());
}

// From a store merged on a case-insensitive system: "note" and "Note" on one file, "dir" and
// "Dir" on one directory. Dragged into another folder, either would take its twin's along:
// refused, as delete and rename are. Once each has its own file it moves, under a name that is
// free ignoring case; a paste picks its name the same way and copies only its own file.
TEST_F(NotesTransferTest, CaseTwinsOnOneFileAreNotDraggedAwayAndNamesStayFreeIgnoringCase) {
  Open("<Note type=\"esr\"/><note type=\"esr\"/><Dir type=\"dir\"/><dir type=\"dir\"/>"
       "<f type=\"dir\"><NOTE type=\"esr\"/></f>");
  Put("Note.esr", "Note's text");
  Put("Dir/x.esr", "x");
  Put("f/NOTE.esr", "f's text");
  const Snapshot before = Snap();
  for (const ItemPath& item : {testing::FileBoxItem({"note"}), testing::FileBoxItem({"Note"}), testing::FileBoxItem({"dir"}), testing::FileBoxItem({"Dir"})}) {
    SCOPED_TRACE(item.back());
    const TransferOutcome out = transfer.Drop(item, testing::FileBoxItem({"f"}));
    EXPECT_FALSE(out.done);
    EXPECT_EQ(out.message, FormatMessage(kMsgCaseTwins, item.back()));
    ExpectUnchanged(before);
  }
  // Within its own folder nothing on disk changes: the order may.
  EXPECT_TRUE(transfer.Drop(testing::FileBoxItem({"note"}), testing::FileBoxItem({"Note"})).done);
  EXPECT_EQ(Disk(), before.disk);
  EXPECT_EQ(Saved().find("<note type=\"esr\"/><Note type=\"esr\"/>"), 9u) << Saved();

  Put("note.esr", "note's text");
  const TransferOutcome moved = transfer.Drop(testing::FileBoxItem({"note"}), testing::FileBoxItem({"f"}));
  ASSERT_TRUE(moved.done) << moved.message;
  EXPECT_EQ(moved.item, testing::FileBoxItem({"f", "note1"}));
  EXPECT_EQ(ReadFile(store + "/f/note1.esr"), "note's text");
  EXPECT_EQ(ReadFile(store + "/f/NOTE.esr"), "f's text");
  EXPECT_EQ(ReadFile(store + "/Note.esr"), "Note's text");

  const NoteOutcome pasted = cmd.Paste(testing::FileBoxItem({"Note"}), testing::FileBoxItem({"f"}));
  ASSERT_TRUE(pasted.done) << pasted.message;
  EXPECT_EQ(pasted.item, testing::FileBoxItem({"f", "Note2"}));
  EXPECT_EQ(ReadFile(store + "/f/Note2.esr"), "Note's text");
  EXPECT_EQ(ReadFile(store + "/f/NOTE.esr"), "f's text");
  EXPECT_EQ(ReadFile(store + "/f/note1.esr"), "note's text");
}

// ---- adding note files and dropping them -----------------------------------------------------

TEST_F(NotesTransferTest, DroppedFilesOnlyEsrBecomeNotesFirstInTheFolder) {
  Open("<收件 type=\"dir\"><旧 type=\"esr\"/></收件>");
  Put("收件/旧.esr");
  Put("收件/a.esr", "taken on disk");
  const std::string outside = dir / "桌面 文件";
  WriteFile(outside + "/a.esr", "{\\rtf1 dropped}");
  WriteFile(outside + "/b.txt", "text");
  WriteFile(outside + "/README", "no extension");
  WriteFile(outside + "/c.ESR", "{\\rtf1 upper}");
  const auto results = transfer.DropFiles(
      testing::FileBoxItem({"收件"}), {outside + "/a.esr", outside + "/b.txt", outside + "/README", outside + "/c.ESR"});
  std::vector<std::string> names;
  std::vector<int> places;
  for (const NotebookEvent& e : heard) {
    EXPECT_EQ(e.kind, NotebookEventKind::kAdded);
    names.push_back(e.newItem.back());
    places.push_back(e.index);
  }
  ASSERT_EQ(results.size(), 4u);
  EXPECT_TRUE(results[0].done);
  EXPECT_TRUE(results[1].skipped);
  EXPECT_TRUE(results[2].skipped);
  EXPECT_TRUE(results[3].done);
  EXPECT_EQ(names, (std::vector<std::string>{"a1", "c"}));
  EXPECT_EQ(places, (std::vector<int>{0, 1}));
  // The first is the folder's first child, the next one follows it.
  EXPECT_EQ(Saved(), "<archive><收件 type=\"dir\"><a1 type=\"esr\"/><c type=\"esr\"/>"
                     "<旧 type=\"esr\"/></收件></archive>");
  EXPECT_EQ(ReadFile(store + "/收件/a1.esr"), "{\\rtf1 dropped}");
  EXPECT_EQ(ReadFile(store + "/收件/a.esr"), "taken on disk");
  EXPECT_EQ(ReadFile(outside + "/a.esr"), "{\\rtf1 dropped}");  // a copy; the source stays
  EXPECT_FALSE(fs::exists(store + "/收件/b.esr"));
}

TEST_F(NotesTransferTest, AnEsrAlreadyInTheFolderDirectoryIsRecordedWithoutCopying) {
  Open("<收件 type=\"dir\"><旧 type=\"esr\"/></收件>");
  Put("收件/旧.esr", "old");
  Put("收件/孤儿.esr", "orphan");
  const auto disk = Disk();
  const auto results = transfer.DropFiles(testing::FileBoxItem({"收件", "旧"}), {store + "/收件/孤儿.esr"});
  ASSERT_TRUE(results[0].done);
  EXPECT_EQ(cmd.IndexOf(results[0].item), 1);
  EXPECT_EQ(results[0].name, "孤儿");
  EXPECT_EQ(Disk(), disk);
  EXPECT_EQ(Saved(), "<archive><收件 type=\"dir\"><旧 type=\"esr\"/><孤儿 type=\"esr\"/></收件></archive>");
  // Recorded already: nothing more, silently.
  const Snapshot before = Snap();
  const TransferOutcome again = transfer.AddNoteFile(testing::FileBoxItem({"收件"}), store + "/收件/孤儿.esr");
  EXPECT_FALSE(again.done);
  EXPECT_TRUE(again.message.empty());
  ExpectUnchanged(before);
  // The note's own file dropped on another folder is copied there.
  Open("<收件 type=\"dir\"><旧 type=\"esr\"/></收件><别处 type=\"dir\"/>");
  EXPECT_EQ(transfer.AddNoteFile(testing::FileBoxItem({"别处"}), store + "/收件/旧.esr").name, "旧");
  EXPECT_EQ(ReadFile(store + "/别处/旧.esr"), "old");
}

TEST_F(NotesTransferTest, AddNoteFileRefusalsAndErrors) {
  Open("<收件 type=\"dir\"/>");
  const std::string outside = dir / "外面";
  WriteFile(outside + "/1号.esr", "x");
  WriteFile(outside + "/有 空格.esr", "x");
  doc.Save();
  const Snapshot before = Snap();
  // Outside the file box: nothing, silently. Names that are no element names: nothing, and
  // the message says which file and why.
  EXPECT_FALSE(transfer.AddNoteFile(ItemPath{"时间表"}, outside + "/1号.esr").done);
  for (const char* f : {"1号.esr", "有 空格.esr"}) {
    const TransferOutcome out = transfer.AddNoteFile(testing::FileBoxItem({"收件"}), outside + "/" + f);
    EXPECT_FALSE(out.done);
    EXPECT_EQ(out.message, std::string("未能添加：") + f + "\n" + kMsgIllegalName);
  }
  // A source that cannot be read is a copy error, not "already exists".
  EXPECT_EQ(transfer.AddNoteFile(testing::FileBoxItem({"收件"}), outside + "/没有.esr").message, kMsgFileCopyError);
  ExpectUnchanged(before);
}

TEST_F(NotesTransferTest, ANoteDraggedOutOffersItsFile) {
  Open("<收件 type=\"dir\"><甲 type=\"ESR\"/><乙 type=\"esr\"/></收件>");
  Put("收件/甲.esr", "x");
  const TransferOutcome out = transfer.DragOutFile(testing::FileBoxItem({"收件", "甲"}));
  ASSERT_TRUE(out.done);
  EXPECT_EQ(out.file, store + "/收件/甲.esr");
  EXPECT_EQ(transfer.DragOutFile(testing::FileBoxItem({"收件", "乙"})).message, kMsgDraggedFileMissing);
  const TransferOutcome folder = transfer.DragOutFile(testing::FileBoxItem({"收件"}));
  EXPECT_FALSE(folder.done);
  EXPECT_TRUE(folder.message.empty());
}

}  // namespace
}  // namespace zorbek
