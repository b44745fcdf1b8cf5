// The program's side of a sync tool's conflict copies: it takes them in for the open notebook as
// soon as it sees them (core/db/conflict_merge.h has the rules).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zorbek {

class Notebook;

// How often the note store is looked through for conflict copies of notes, on a thread of its
// own (the database's directory is watched; the store, which may be large, is not).
inline constexpr int kConflictScanMilliseconds = 30000;
// The first look after the opening, once the window has shown.
inline constexpr int kFirstConflictScanMilliseconds = 1000;

// Merges the conflict copies beside the notebook's database and the notes' conflict copies found
// in its store (noteCopies, from a walk of the store: ConflictCopyScan), reads the database again
// and tells the user what was merged (a copy or failure is told once). Nothing when there are
// none, or while the notebook may not write. Main thread, no lock held. True when something was
// merged. When the database copies wait for the sync tool, *retryAfterMillis (when given) says
// how soon to look again, else it is 0.
bool TakeConflictCopies(Notebook& notebook, const std::vector<std::string>& noteCopies,
                        std::int64_t* retryAfterMillis = nullptr);

}  // namespace zorbek
