// Opening the database file as the program does at start-up.
#pragma once

#include <string>

#include "core/db/xml_document.h"

namespace zorbek {

inline constexpr const char* kHotkeyPath = "/list/hotkey";
inline constexpr const char* kArchivePath = "/list/filetree/archive";
inline constexpr const char* kSchedulePath = "/list/filetree/schedule";
inline constexpr const char* kToolsPath = "/list/tools";

struct OpenedDatabase {
  LoadStatus status = LoadStatus::Missing;
  // Where an unreadable file was kept; empty when nothing had to be kept aside.
  std::string keptAs;
  XmlNode archive;
  // False when elements had to be created and the file could not be written (the user was
  // told).
  bool saved = true;
  // The writer lock could not be had (another process writes this database): the document was
  // loaded for reading and is write-protected.
  bool lockRefused = false;
  std::string lockMessage;  // why, for the user
  // What settling an interrupted change could not put back, for the user; empty when nothing.
  std::string recoveryMessage;
};

// Takes the writer lock of the process's role (database_lock.h), removes temporary files a killed
// writer left beside the database and in its note store, makes the database's directory, loads the file and creates /list/hotkey and
// /list/filetree/archive when missing (saving the file then).
//
// A file that exists but cannot be read as a database (it does not parse, or its root element is
// not "list") is never overwritten: it is renamed (or, failing that, copied) to
// "<path>.unreadable-YYYYMMDD-HHMMSS", the user is told where, and a fresh database is started.
// When it cannot be kept aside at all, the document is write-protected so that it is not lost.
// Every message but the lock message (lockMessage, for the caller to show) is shown here.
OpenedDatabase OpenDatabaseFile(CXmlDocument& doc, const std::string& path);

// Loads for reading only: nothing is created or written. Returns the status; an unreadable
// file leaves the document empty.
LoadStatus LoadDatabaseReadOnly(CXmlDocument& doc, const std::string& path);

// The message shown when an unreadable database was kept aside.
std::string KeptAsideMessage(const std::string& keptAs);

}  // namespace zorbek
