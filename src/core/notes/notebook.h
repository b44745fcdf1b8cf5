// The open notebook: the one owner of the open database document, the commands that change its
// note tree and the reminder store over its schedule, and the model every window follows. The
// program has one, opened at start-up and closed at exit; the command line opens the same object.
//
// The notebook publishes, the windows listen. Every change (the commands, the transfers, a
// reload from disk, the reminders) ends in a list of typed events (notebook_event.h) handed to
// every listener, in the order they were added, once the change is complete. The windows change
// only on events; they call the notebook's commands and never patch their items from a
// command's outcome.
//
// Ownership and order. The document is built first and destroyed last; the reminder store's
// check thread points to the store, so Close (and the destructor) stops that thread before
// anything else goes.
//
// Threads. The notebook, its document and its listeners belong to the main thread, the only
// writer of the document; there is no document lock. The reminder check thread decides on the
// store's list in memory and posts its decisions to the main thread (ReminderStore), which
// writes, saves and tells the pop-up. Nothing here shows a message while a lock is held.
//
// Another program's changes. The document never writes over a file another program changed
// (CXmlDocument::Save refuses); ReloadIfChanged reads such a file again.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/db/database.h"
#include "core/db/xml_document.h"
#include "core/notes/note_commands.h"
#include "core/notes/notebook_event.h"
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
  // yet. The listeners are told kReloaded. Messages are shown by OpenDatabaseFile, except the
  // lock message it returns.
  OpenedDatabase Open(const std::string& path);
  bool IsOpen() const { return open_; }
  // Stops the reminder check and, with save, saves once more (a failed save is shown), as the
  // program does at exit. Idempotent: the destructor closes with save.
  void Close(bool save = true);

  // Starts the reminder check thread. What it decides is posted to the main thread (post), which
  // writes it and hands fired reminders to sink (the pop-up). Until this is called no reminder
  // is consumed unseen.
  void StartReminderCheck(ReminderSink* sink, OwnerPost post);

  CXmlDocument& Document() { return document_; }
  const CXmlDocument& Document() const { return document_; }
  NoteCommands& Commands() { return commands_; }
  ReminderStore& Reminders() { return reminders_; }
  std::string DatabasePath() const { return document_.GetPath(); }

  // Saves the document. False on failure; nothing is shown.
  bool Save();
  // Saves and, on failure, tells the user.
  bool SaveAndReport();
  // Tells the user that a save of this notebook failed.
  // reason: the system's reason when known to the caller; else the document's last one.
  void ReportSaveFailure(std::string_view reason = {}) const;

  // ---- events ----
  // Adds a listener; the id removes it again. Main thread.
  int AddListener(NotebookListener listener);
  void RemoveListener(int id);
  // Tells every listener. Main thread.
  void Publish(const std::vector<NotebookEvent>& events);

  // ---- changes from outside ----
  // When another program changed the database file since the document read or wrote it, reads
  // it again: the document is replaced, the reminders are read again (the check goes on), and
  // the listeners are told kReloaded. A new version that cannot be read is left as it is and
  // the user is told, once until a version is read again; meanwhile every save is refused
  // (CXmlDocument::Save). Main thread.
  ReloadResult ReloadIfChanged();

 private:
  CXmlDocument document_;
  NoteCommands commands_{document_};
  ReminderStore reminders_;
  bool open_ = false;
  bool unreadableTold_ = false;   // the user knows that the file on disk cannot be read
  std::optional<FileSignature> unreadableSeen_;  // the version found unreadable last

  std::map<int, NotebookListener> listeners_;
  int nextListener_ = 1;
};

}  // namespace zorbek
