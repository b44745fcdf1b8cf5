// zorbek-cli --man: the manual page zorbek-cli(1) in roff, written from the same command table
// that --help prints, so that the two never disagree. The build installs its output.
#include "cli/man_page.h"

#include <algorithm>
#include <ostream>

#include "cli/command.h"

#ifndef ZORBEK_VERSION
#define ZORBEK_VERSION ""
#endif

namespace zorbek::cli {
namespace {

// Text for a roff text line: backslashes and dashes escaped, a leading control character
// neutralised.
std::string RoffText(std::string_view s) {
  std::string out;
  if (!s.empty() && (s.front() == '.' || s.front() == '\'')) out += "\\&";
  for (char c : s) {
    if (c == '\\') out += "\\e";
    else if (c == '-') out += "\\-";
    else if (c == '\n') out += ' ';
    else out += c;
  }
  return out;
}

// A usage string: words in capitals and "N" are placeholders (italic); the rest (options,
// literal keywords such as up|down) stays roman.
std::string RoffUsage(std::string_view usage) {
  std::string out;
  std::string word;
  const auto flush = [&] {
    if (word.empty()) return;
    std::string core;
    for (char c : word)
      if (c != '[' && c != ']' && c != '.' && c != '|') core += c;
    const bool placeholder =
        !core.empty() && std::all_of(core.begin(), core.end(), [](char c) {
          return (c >= 'A' && c <= 'Z') || c == '_' || c == '-' || c == ':' || c == '"' ||
                 (c >= '0' && c <= '9');
        }) && core.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ") != std::string::npos &&
        core.front() != '-';
    out += placeholder ? "\\fI" + RoffText(word) + "\\fR" : RoffText(word);
    word.clear();
  };
  for (char c : usage) {
    if (c == ' ') {
      flush();
      out += ' ';
    } else {
      word += c;
    }
  }
  flush();
  return out;
}

}  // namespace

void WriteManPage(std::ostream& out) {
  auto commands = Registry();
  std::sort(commands.begin(), commands.end(),
            [](const Command& a, const Command& b) { return a.name < b.name; });

  out << ".\\\" zorbek-cli(1), written by \"zorbek-cli --man\" from its command table.\n"
      << ".TH ZORBEK\\-CLI 1 \"\" \"Zorbek " ZORBEK_VERSION "\" \"User Commands\"\n"
      << ".nh\n"
      << ".SH NAME\n"
      << "zorbek\\-cli \\- the command\\-line companion of the Zorbek note keeper\n"
      << ".SH SYNOPSIS\n"
      << ".B zorbek\\-cli\n"
      << "[\\fB\\-\\-db\\fR \\fIPATH\\fR] \\fICOMMAND\\fR [\\fIARGS\\fR...]\n"
      << ".br\n"
      << ".B zorbek\\-cli \\-\\-help\n"
      << ".SH DESCRIPTION\n"
      << "Zorbek keeps notes as a tree of folders and rich\\-text notes, and reminds of dated\n"
      << "events. Its database\n.I Zorbek.xml\n"
      << "holds the note tree and the reminders; beside it the note store\n"
      << ".I Zorbek/archive/\n"
      << "holds every folder as a directory and every note as an RTF file ending in\n"
      << ".IR .esr .\n"
      << ".PP\n"
      << "zorbek\\-cli works on the same data over the same core as the program Zorbek,\n"
      << "for scripts and for checking the data without a screen. Read\\-only commands never\n"
      << "write or create anything; commands that change the database open it as the program\n"
      << "does and save it atomically. A database that cannot be read is never overwritten.\n"
      << ".PP\n"
      << "An \\fIITEM\\fR names a folder or note below the file box by its path in the tree,\n"
      << "the names joined by \"/\"; \"/\" alone is the file box.\n"
      << ".SH OPTIONS\n"
      << ".TP\n\\fB\\-\\-db\\fR \\fIPATH\\fR, \\fB\\-\\-db=\\fR\\fIPATH\\fR\n"
      << "The database to work on. Without it, the database the program opens: the\n"
      << "\\fBWorkPath\\fR of section \\fBProject\\fR in the settings file when it is set, else\n"
      << "the default database.\n"
      << ".TP\n\\fB\\-h\\fR, \\fB\\-\\-help\\fR\n"
      << "Print every command with its arguments and exit.\n"
      << ".TP\n\\fB\\-\\-man\\fR\n"
      << "Print this manual page in roff and exit.\n"
      << ".SH COMMANDS\n";
  for (const auto& c : commands) {
    out << ".TP\n\\fB" << RoffText(c.name) << "\\fR";
    if (!c.usage.empty()) out << " " << RoffUsage(c.usage);
    out << "\n" << RoffText(c.summary) << "\n";
  }
  out << ".SH EXIT STATUS\n"
      << ".TP\n0\nDone.\n"
      << ".TP\n1\nRefused: the program's message is on standard error, and nothing was changed.\n"
      << ".TP\n2\nBad usage: the command's usage is on standard error.\n"
      << ".SH FILES\n"
      << "Zorbek and zorbek\\-cli keep their files in the user's data directory,\n"
      << ".IR $XDG_DATA_HOME/Zorbek/ ,\n"
      << "by default\n.IR ~/.local/share/Zorbek/ :\n"
      << ".TP\n.I Zorbek.ini\n"
      << "The settings: section \\fBProject\\fR, key \\fBWorkPath\\fR chooses another database\n"
      << "from the next start on; section \\fBWindowRect\\fR, key \\fBLastPosition\\fR is the\n"
      << "main window's place.\n"
      << ".TP\n.I Zorbek.xml\n"
      << "The default database: the note tree and the reminders.\n"
      << ".TP\n.I Zorbek/archive/\n"
      << "The note store of the default database: a directory for every folder, an\n"
      << ".I .esr\nfile for every note.\n"
      << ".TP\n.I Zorbek/FileStore/\n"
      << "Files that notes link to.\n"
      << ".SH SEE ALSO\n"
      << "The user guide, opened by the home page item of the program's note tree.\n";
}

}  // namespace zorbek::cli
