// The history: the notes of the archive opened most recently, from their "lasttime".
#pragma once

#include <cstddef>
#include <vector>

#include "core/db/xml_document.h"
#include "core/search/note_walk.h"

namespace zorbek {

inline constexpr std::size_t kHistoryRows = 30;

// The notes latest first, the first `rows` of them. Notes with equal times keep their walk
// (document) order, so never-opened notes follow the opened ones in the order of the tree.
std::vector<NoteEntry> LatestNotes(std::vector<NoteEntry> notes, std::size_t rows = kHistoryRows);

// Every note of the archive of the document, walked from "/list/filetree/archive", latest first.
std::vector<NoteEntry> HistoryOf(CXmlDocument& doc, std::size_t rows = kHistoryRows);

}  // namespace zorbek
