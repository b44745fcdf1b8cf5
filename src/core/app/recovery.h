// Text that could not be saved because the program was ended without anyone to ask (logout,
// SIGTERM, SIGHUP): each modified note's content goes to a file of its own in the recovery
// directory, outside the note store, and the next start tells the user where.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorbek {

// "recovery" beside the program's files: ~/.local/share/Zorbek/recovery for the base
// ~/.local/share/Zorbek/Zorbek.
std::string RecoveryDirectory(std::string_view base);

// Writes content (a note's RTF) as "<note>-YYYYMMDD-HHMMSS.rtf" (local time of the clock; a
// number is added when that name is taken) and lists it for the next start. The path written,
// or nullopt when it could not be written.
std::optional<std::string> WriteRecoveryFile(std::string_view base, std::string_view noteName,
                                             std::string_view content);

// The recovery files written since the last call that still exist, oldest first; the list is
// emptied, so each file is announced once.
std::vector<std::string> TakeUnannouncedRecoveryFiles(std::string_view base);

// What the user is told at the start after: where the text of the notes lies.
std::string RecoveryMessage(std::string_view base, const std::vector<std::string>& files);

}  // namespace zorbek
