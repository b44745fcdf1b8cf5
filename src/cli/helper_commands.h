// The commands that need the RTF engine run in the helper program, which loads Qt. Their names
// and texts live here, so that zorbek-cli itself names every command in its usage text and
// manual page without starting the helper: the helper registers them with their code,
// zorbek-cli (helper_commands.cpp) without, and runs the helper for them.
#pragma once

namespace zorbek::cli {

struct CommandText {
  const char* name;
  const char* usage;
  const char* summary;
};

inline constexpr CommandText kHelperCommands[] = {
    {"convert", "IN OUT",
     "convert a note file: IN is RTF when it begins with {\\rtf, else text; OUT is RTF when its "
     "extension is esr or begins with rtf, else UTF-8 text"},
    {"convert-ramulo", "LEGACYDIR TARGETDIR [--replace] [--use]",
     "convert the TreeStru.dat, TreeFiles.dat and doc/ of the older program Ramulo into "
     "TARGETDIR/Zorbek.xml; an existing database is refused unless --replace (its notes are "
     "replaced, the rest kept); --use makes it the database of the program's next start"},
    {"import", "ITEM FILE...",
     "import .rtf, .txt and .esr files as notes by ITEM (after a note, else first in it), in "
     "order; print the name of each note added"},
    {"export", "ITEM OUT",
     "write the note ITEM to OUT: RTF when OUT's extension begins with \"rtf\", else UTF-8 text"},
    {"drag", "ITEM TARGET",
     "move ITEM as a drag released on TARGET does (into a folder, or before a note); print its "
     "new item path, nothing when nothing moved"},
    {"drop", "ITEM FILE...",
     "add the .esr files among FILE as notes, as dropping them from a file manager on ITEM "
     "does; print the name of each note added"},
};

// The texts of the helper command called name (one of the above).
constexpr const CommandText& HelperCommandText(const char* name) {
  for (const CommandText& c : kHelperCommands) {
    const char* a = c.name;
    const char* b = name;
    while (*a && *a == *b) ++a, ++b;
    if (*a == *b) return c;
  }
  return kHelperCommands[0];
}

}  // namespace zorbek::cli
