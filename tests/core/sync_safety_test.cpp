// A database in a folder a sync tool writes to: a save never replaces a version it did not read,
// however fast the other versions arrive; files from outside are read with limits; nothing is
// put beside a file that is not a database.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <cstring>
#include <functional>
#include <set>
#include <thread>
#include <vector>

#include "core/db/database.h"
#include "core/db/database_lock.h"
#include "core/io/file_util.h"
#include "support/fake_prompts.h"
#include "support/temp_dir.h"

namespace zorbek {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::RunCli;
using testing::TempDir;
using testing::WriteFile;

// The number in attribute name of the root element of xml, or -1.
long RootNumber(const std::string& xml, const char* name) {
  CXmlDocument doc;
  if (!doc.LoadFromString(xml)) return -1;
  const std::string value = Attribute(doc.DocumentElement(), name);
  return value.empty() ? -1 : std::atol(value.c_str());
}

struct RaceFigures {
  long outsideVersions = 0;  // versions the simulated sync tool put in place
  long lost = 0;             // of those, replaced by a save that had not read them
  long saves = 0;            // saves that wrote
  long refusals = 0;         // saves that found another version and read it instead
  // Before each new version the sync tool looks at the file: a save made from an older version
  // than the last one it put there is a loss, or the moment between a save's exchange and its
  // exchange back. It then waits for its version to come back (in place, or kept aside).
  long seenStale = 0;
  long cameBack = 0;      // ... in place (the save's exchange back) or
  long cameBackKept = 0;  // ... kept aside (a newer version had arrived meanwhile)
};

// How the program saves in the race: true when it wrote, false when it found another version.
using RaceSave = std::function<bool(CXmlDocument&)>;
// How the simulated sync tool puts a version in place: by a rename, as sync tools do, or by an
// exchange of names, which replaces the name as atomically and shows what it replaced.
enum class Writer { kRename, kExchange };

// A sync tool puts a new version in place every interval, while the program changes its
// document and saves as fast as it can, reading the new version whenever a save is refused.
// Each outside version carries its number ("v"); each save the number of the version it was
// made from and its own ("ours").
//
// What was lost is counted two ways. With either writer, whenever the sync tool finds a save
// made from an older version than its last, it stops and waits for that version to come back:
// one that does not is lost. That count can miss losses (a save can replace a version unread
// just before the sync tool's next version replaces the save, and nobody sees it); with the
// exchange writer the count is exact: every outside version ends read by the program, replaced
// by the sync tool's own next version (it sees what came out), still there (in place or kept
// aside), or lost.
RaceFigures Race(std::chrono::microseconds interval, std::chrono::milliseconds duration,
                 Writer writer, const RaceSave& save) {
  TempDir dir;
  const std::string path = dir / "Zorbek.xml";
  WriteFile(path, "<list v=\"0\"/>");
  CXmlDocument doc;
  EXPECT_EQ(doc.Load(path), LoadStatus::Loaded);

  // Whether outside version v is kept aside (with inPlace: or in place).
  const auto present = [&](long v, bool inPlace) {
    for (const auto& e : fs::directory_iterator(dir.path())) {
      const std::string name = e.path().filename().string();
      const std::string text = ReadFile(e.path().string());
      if ((name.rfind("Zorbek.xml.outside-", 0) == 0 || (inPlace && name == "Zorbek.xml")) &&
          RootNumber(text, "ours") < 0 && RootNumber(text, "v") == v)
        return true;
    }
    return false;
  };
  RaceFigures f;
  std::set<long> read{0}, replacedBySync;
  long lostSeen = 0;
  std::atomic<bool> stop{false};
  std::thread sync([&] {
    const std::string temp = dir / ".syncthing.Zorbek.xml.tmp";
    for (long v = 1; !stop; ++v) {
      if (interval.count() > 0) std::this_thread::sleep_for(interval);
      const std::string now = ReadFile(path);
      if (RootNumber(now, "ours") >= 0 && RootNumber(now, "v") < v - 1) {
        ++f.seenStale;
        // A save being put back takes microseconds; a busy machine may pause it for a while.
        bool back = false, kept = false;
        for (int i = 0; i < 2000 && !back; ++i) {
          back = RootNumber(ReadFile(path), "v") == v - 1;
          if (!back) back = kept = present(v - 1, false);
          if (!back) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ++(back ? f.cameBack : lostSeen);
        if (kept) ++f.cameBackKept;
      }
      WriteFile(temp, "<list v=\"" + std::to_string(v) + "\"/>");
      if (writer == Writer::kRename) {
        fs::rename(temp, path);
      } else if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE) == 0) {
        const std::string out = ReadFile(temp);
        if (RootNumber(out, "ours") < 0) replacedBySync.insert(RootNumber(out, "v"));
        fs::remove(temp);
      } else {
        ADD_FAILURE() << "exchange: " << std::strerror(errno);
      }
      ++f.outsideVersions;
    }
  });
  const auto end = std::chrono::steady_clock::now() + duration;
  for (long n = 1; std::chrono::steady_clock::now() < end; ++n) {
    SetAttribute(doc.DocumentElement(), "ours", std::to_string(n));
    if (save(doc)) {
      ++f.saves;
    } else {
      ++f.refusals;
      doc.Reload();
    }
    // Whatever outside version the document now holds has been read.
    if (Attribute(doc.DocumentElement(), "ours").empty())
      read.insert(std::atol(Attribute(doc.DocumentElement(), "v").c_str()));
  }
  stop = true;
  sync.join();
  // Nothing is left beside the file but versions kept aside in the double race (a newer outside
  // version arrived while a save was being put back): no temporary file.
  for (const auto& e : fs::directory_iterator(dir.path())) {
    const std::string name = e.path().filename().string();
    EXPECT_TRUE(name == "Zorbek.xml" || name.rfind("Zorbek.xml.outside-", 0) == 0) << e.path();
  }
  f.lost = lostSeen;
  if (writer == Writer::kExchange) {
    long exact = 0;
    for (long v = 0; v <= f.outsideVersions; ++v)
      if (!read.count(v) && !replacedBySync.count(v) && !present(v, true)) ++exact;
    // What was seen lost is lost.
    EXPECT_GE(exact, lostSeen);
    f.lost = exact;
  }
  return f;
}

void Print(const char* how, Writer writer, std::chrono::microseconds interval, const RaceFigures& f) {
  std::printf("%s, %s, a version every %lld us: %ld outside versions, %ld saves, %ld refused, "
              "%ld lost; a save seen in place of a newer version %ld times, which came back %ld "
              "(%ld of them kept aside)\n",
              how, writer == Writer::kRename ? "rename" : "exchange",
              static_cast<long long>(interval.count()), f.outsideVersions, f.saves, f.refusals,
              f.lost, f.seenStale, f.cameBack, f.cameBackKept);
}

TEST(SyncSafety, ASaveNeverReplacesAVersionItDidNotRead) {
  const RaceSave guarded = [](CXmlDocument& doc) {
    if (doc.Save()) return true;
    EXPECT_EQ(doc.LastSaveError(), kChangedOnDiskReason);
    return false;
  };
  // A version every 20 ms, as a busy sync tool; every millisecond; as fast as the machine allows.
  for (const Writer writer : {Writer::kRename, Writer::kExchange}) {
    for (const long us : {20000L, 1000L, 0L}) {
      const std::chrono::microseconds interval(us);
      const RaceFigures f = Race(interval, std::chrono::milliseconds(1000), writer, guarded);
      Print("guarded save", writer, interval, f);
      EXPECT_EQ(f.lost, 0) << "of " << f.outsideVersions << " outside versions";
      EXPECT_EQ(f.cameBack, f.seenStale);
      EXPECT_GT(f.outsideVersions, 20);
      // A writer that pauses less than a save takes (every millisecond under the sanitizers on
      // a busy machine, or not at all) may win every time: every save is then refused, which is
      // right. At a sync tool's pace, saves get through.
      if (us >= 20000) {
        EXPECT_GT(f.saves, 0);
      }
      EXPECT_GT(f.refusals, 0);  // the race was run
    }
  }
  // The counts see a loss where there is one: a save that checks the version and then renames
  // in a second step loses outside versions at full speed.
  const RaceSave twoSteps = [](CXmlDocument& doc) {
    if (doc.ChangedOnDisk()) return false;
    if (!WriteFileAtomically(doc.GetPath(), doc.ToString())) return false;
    doc.Reload();  // to take the signature of what it wrote (or of what came after it)
    return true;
  };
  // A loss needs an outside version to land in the moment between the check and the rename;
  // on a busy machine a second may not bring one, so the race runs again, up to five seconds.
  for (const Writer writer : {Writer::kRename, Writer::kExchange}) {
    const std::chrono::microseconds none(0);
    long lost = 0;
    for (int round = 0; round < 5 && lost == 0; ++round) {
      const RaceFigures f = Race(none, std::chrono::milliseconds(1000), writer, twoSteps);
      Print("check, then rename", writer, none, f);
      lost += f.lost;
    }
    EXPECT_GT(lost, 0);
  }
}

TEST(SyncSafety, AGuardedWriteTakesOnlyTheVersionItNames) {
  TempDir dir;
  const std::string path = dir / "a.txt";
  std::string error;
  FileSignature written;
  // No file, and none expected: written.
  ASSERT_TRUE(WriteFileAtomically(path, "1", &error, ReplaceGuard{std::nullopt, "changed"}, &written));
  EXPECT_EQ(FileSignatureOf(path), written);
  // The version named: replaced; its successor is what the next write must name.
  const FileSignature first = written;
  ASSERT_TRUE(WriteFileAtomically(path, "2", &error, ReplaceGuard{first, "changed"}, &written));
  EXPECT_EQ(ReadFile(path), "2");
  // An older version named: refused, nothing left beside.
  EXPECT_FALSE(WriteFileAtomically(path, "3", &error, ReplaceGuard{first, "changed"}, nullptr));
  EXPECT_EQ(error, "changed");
  EXPECT_EQ(ReadFile(path), "2");
  // A file that appeared where none was expected: refused.
  EXPECT_FALSE(WriteFileAtomically(path, "4", &error, ReplaceGuard{std::nullopt, "changed"}, nullptr));
  // A file that is gone is written again.
  fs::remove(path);
  EXPECT_TRUE(WriteFileAtomically(path, "5", &error, ReplaceGuard{written, "changed"}, nullptr));
  EXPECT_EQ(ReadFile(path), "5");
  // A write in place, keeping the inode, is another version too.
  ASSERT_TRUE(WriteFileAtomically(path, "6", &error, ReplaceGuard{FileSignatureOf(path), "x"}, &written));
  WriteFile(path, "7");
  EXPECT_FALSE(WriteFileAtomically(path, "8", &error, ReplaceGuard{written, "changed"}, nullptr));
  EXPECT_EQ(ReadFile(path), "7");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(SyncSafety, ADatabaseTooLargeIsKeptAsideUnreadWithinBoundedMemory) {
  TempDir dir;
  const std::string db = dir / "Zorbek.xml";
  // 1 GB of nothing (a sparse file: no disk is used, but every byte would be read).
  {
    WriteFile(db, "<list>");
    ASSERT_EQ(::truncate(db.c_str(), 1LL << 30), 0);
  }
  // In a child, so that its peak memory is its own.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    testing::FakePrompts prompts;
    struct rusage before {};
    ::getrusage(RUSAGE_SELF, &before);
    CXmlDocument doc;
    const OpenedDatabase opened = OpenDatabaseFile(doc, db);
    struct rusage after {};
    ::getrusage(RUSAGE_SELF, &after);
    const long grewKb = after.ru_maxrss - before.ru_maxrss;
    const bool ok = opened.status == LoadStatus::Unparsable && !opened.keptAs.empty() &&
                    fs::file_size(opened.keptAs) == (1ULL << 30) &&
                    ReadFile(db) == "<list><hotkey/><filetree><archive/></filetree></list>" &&
                    grewKb < 64 * 1024 && prompts.Messages().size() == 1;
    if (!ok) std::fprintf(stderr, "status %d, kept as %s, grew %ld kB\n", int(opened.status),
                          opened.keptAs.c_str(), grewKb);
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  // A reading command refuses it the same way, without reading it.
  ASSERT_EQ(::truncate(db.c_str(), kMaxDatabaseBytes + 1), 0);
  std::string err;
  EXPECT_EQ(RunCli({"--db", db, "tree"}, nullptr, &err), 1);
  // The limit itself is readable.
  WriteFile(db, "<list/>");
  ASSERT_EQ(::truncate(db.c_str(), kMaxDatabaseBytes), 0);
  bool tooLarge = true;
  EXPECT_TRUE(ReadWholeFile(db, nullptr, kMaxDatabaseBytes, &tooLarge).has_value());
  EXPECT_FALSE(tooLarge);
}

TEST(SyncSafety, NoLockIsPutBesideAFileThatIsNoDatabase) {
  TempDir dir;
  fs::create_directories(dir / "etc");
  WriteFile(dir / "etc/passwd", "root:x:0:0:root:/root:/bin/bash\n");
  const std::string link = dir / "Zorbek.xml";
  fs::create_symlink(dir / "etc/passwd", link);
  std::string err;
  EXPECT_EQ(RunCli({"--db", link, "new-folder", "/"}, nullptr, &err), 1) << err;
  EXPECT_NE(err.find("不是可以使用的数据库文件"), std::string::npos) << err;
  EXPECT_FALSE(PathExists(dir / "etc/.passwd.lock"));
  EXPECT_EQ(ReadFile(dir / "etc/passwd"), "root:x:0:0:root:/root:/bin/bash\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "etc"), fs::directory_iterator()), 1);
  // The same with the system's own file, which a run as root could write beside.
  if (PathExists("/etc/passwd") && !PathExists("/etc/.passwd.lock")) {
    const std::string system = dir / "系统/Zorbek.xml";
    fs::create_directories(dir / "系统");
    fs::create_symlink("/etc/passwd", system);
    const std::string passwd = ReadFile("/etc/passwd");
    EXPECT_EQ(RunCli({"--db", system, "new-note", "/"}, nullptr, &err), 1) << err;
    EXPECT_NE(err.find("不是可以使用的数据库文件"), std::string::npos) << err;
    const bool leftLock = PathExists("/etc/.passwd.lock");
    EXPECT_FALSE(leftLock);
    if (leftLock) fs::remove("/etc/.passwd.lock");
    EXPECT_EQ(ReadFile("/etc/passwd"), passwd);
  }

  EXPECT_NE(DatabasePathProblem(dir / "notes.XML.bak"), "");
  EXPECT_NE(DatabasePathProblem(dir / "etc"), "");  // a directory
  EXPECT_EQ(DatabasePathProblem(dir / "new/below/Zorbek.xml"), "");  // made on the way
  WriteFile(dir / "Other.Xml", "<list/>");
  EXPECT_EQ(DatabasePathProblem(dir / "Other.Xml"), "");
  // A new database only in a directory of the user's.
  if (::geteuid() == 0) {
    fs::create_directories(dir / "theirs");
    ASSERT_EQ(::chown((dir / "theirs").c_str(), 65534, 65534), 0);
    EXPECT_NE(DatabasePathProblem(dir / "theirs/Zorbek.xml"), "");
  }
  // The program, opening such a path, reads it but writes nothing and says why.
  SetWriterRole(WriterRole::Program);
  testing::FakePrompts prompts;
  CXmlDocument doc;
  const OpenedDatabase opened = OpenDatabaseFile(doc, link);
  SetWriterRole(WriterRole::None);
  EXPECT_TRUE(opened.lockRefused);
  EXPECT_TRUE(doc.WriteProtected());
  EXPECT_EQ(ReadFile(dir / "etc/passwd"), "root:x:0:0:root:/root:/bin/bash\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "etc"), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace zorbek
