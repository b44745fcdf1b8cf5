// The open notebook: the one owner of the open database document, the commands that change its
// note tree and the reminder store over its schedule. The program has one, opened at start-up
// and closed at exit; the tree widget shows it, the command line opens the same object.
//
// Ownership and order. The document is built first and destroyed last; the reminder store's
// check thread holds a pointer to it, so Close (and the destructor) stops that thread before
// anything else goes.
//
// Threads and locks. The document's Mutex() guards the document on every thread; the reminder
// store's lock is taken before it, never after. Nothing here shows a message while a lock is
// held: operations report a failed save in their result, and the *AndReport helpers show
// "请检查文件路径是否存在：%s" only after every lock is released. A check pass whose save fails
// reports it through prompts() from the check thread (the program's prompts queue it to the main
// thread), once, and again only after some save of the document has succeeded in between.
//
// Another program's changes. The document never writes over a file another program changed
// (CXmlDocument::Save refuses); ReloadIfChanged reads such a file again.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/db/database.h"
#include "core/db/xml_document.h"
#include "core/notes/note_change.h"
#include "core/notes/note_commands.h"
#include "core/reminders/reminder_store.h"

namespace zorbek {

// What ReloadIfChanged found.
enum class ReloadResult {
  kUnchanged,   // the file is the version the document holds: nothing was done
  kReloaded,    // another program's version was read; the listeners were told
  kUnreadable,  // the new version cannot be read: it is kept as it is, the document stays, and
                // nothing is written until it can be read
  kMissing,     // the file is gone: the document stays and the next save writes it again
};

class Notebook {
 public:
  Notebook();
  // Close().
  ~Notebook();
  Notebook(const Notebook&) = delete;
  Notebook& operator=(const Notebook&) = delete;

  // Opens the database at path as the program does (the directory is made, an unreadable file
  // kept aside, the required elements created) and loads the reminders; no check thread runs
  // yet. The caller must hold no lock. Messages are shown after the locks are released.
  OpenedDatabase Open(const std::string& path);
  bool IsOpen() const { return open_; }
  // Stops the reminder check and, with save, saves once more (a failed save is shown), as the
  // program does at exit. Idempotent: the destructor closes with save.
  void Close(bool save = true);

  // Starts the reminder check thread, handing fired reminders to sink (the pop-up). Until this
  // is called no reminder is consumed unseen.
  void StartReminderCheck(ReminderSink* sink);

  CXmlDocument& Document() { return document_; }
  const CXmlDocument& Document() const { return document_; }
  NoteCommands& Commands() { return commands_; }
  ReminderStore& Reminders() { return reminders_; }
  std::string DatabasePath() const { return document_.GetPath(); }

  // Saves the document under its lock. False on failure; nothing is shown.
  bool Save();
  // Saves and, on failure, tells the user. The caller must hold no lock.
  bool SaveAndReport();
  // Tells the user that a save of this notebook failed. Call it with no lock held.
  // reason: the system's reason when known to the caller; else the document's last one.
  void ReportSaveFailure(std::string_view reason = {}) const;

  // ---- change events ----
  // Listeners are told of every rename, move, replacement and delete, in the order they were
  // added, on the thread that made the change (see note_change.h). The id removes it again.
  int AddListener(NoteChangeListener listener);
  void RemoveListener(int id);
  // Tells the listeners (and the open editors, note_opener.h). The caller must hold no lock.
  void Publish(const std::vector<NoteChange>& changes);

  // ---- changes from outside ----
  // When another program changed the database file since the document read or wrote it, reads
  // it again: the reminder check stops, the document is replaced under its lock, the reminders
  // are read again and the check goes on; then the reload listeners are told (the tree refills).
  // A new version that cannot be read is left as it is and the user is told, once until a
  // version is read again; meanwhile every save is refused (CXmlDocument::Save). Main thread,
  // no lock held.
  ReloadResult ReloadIfChanged();
  // Called on the main thread after a reload, with no lock held. The id removes it again.
  int AddReloadListener(std::function<void()> listener);
  void RemoveReloadListener(int id);

 private:
  CXmlDocument document_;
  NoteCommands commands_{document_};
  ReminderStore reminders_;
  bool open_ = false;
  ReminderSink* sink_ = nullptr;  // where the check hands fired reminders, once started
  bool unreadableTold_ = false;   // the user knows that the file on disk cannot be read
  std::optional<FileSignature> unreadableSeen_;  // the version found unreadable last

  std::mutex listenersMutex_;
  std::map<int, NoteChangeListener> listeners_;
  std::map<int, std::function<void()>> reloadListeners_;
  int nextListener_ = 1;
};

// The process's open notebook (null when none is open): set by the program when it opens one.
Notebook* CurrentNotebook();
void SetCurrentNotebook(Notebook* notebook);

}  // namespace zorbek
