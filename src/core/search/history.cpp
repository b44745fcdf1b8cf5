#include "core/search/history.h"

#include <algorithm>

#include "core/db/database.h"
#include "core/db/store_paths.h"

namespace zorbek {

std::vector<NoteEntry> LatestNotes(std::vector<NoteEntry> notes, std::size_t rows) {
  const auto later = [](const NoteEntry& a, const NoteEntry& b) { return a.lastTime > b.lastTime; };
  if (notes.size() > rows) {
    // Only the first rows are ordered; among equal times the walk order decides, as a stable
    // sort of the whole list would.
    std::vector<std::size_t> order(notes.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(rows), order.end(),
                      [&](std::size_t a, std::size_t b) {
                        if (notes[a].lastTime != notes[b].lastTime)
                          return notes[a].lastTime > notes[b].lastTime;
                        return a < b;
                      });
    std::vector<NoteEntry> out;
    out.reserve(rows);
    for (std::size_t k = 0; k < rows; ++k) out.push_back(std::move(notes[order[k]]));
    return out;
  }
  std::stable_sort(notes.begin(), notes.end(), later);
  return notes;
}

std::vector<NoteEntry> HistoryOf(CXmlDocument& doc, std::size_t rows) {
  std::string databasePath;
  {
    databasePath = doc.GetPath();
  }
  return LatestNotes(CollectNotes(doc, ElementPath(kArchivePath), NoteStoreDirectory(databasePath)), rows);
}

}  // namespace zorbek
