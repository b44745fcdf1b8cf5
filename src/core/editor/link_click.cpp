#include "core/editor/link_click.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <array>
#include <filesystem>

#include "core/app/prompts.h"
#include "core/text/cp936.h"

namespace zorbek::editor {
namespace {

namespace fs = std::filesystem;

std::string_view Trim(std::string_view s) {
  constexpr std::string_view kBlank = " \t\r\n\v\f";
  const std::size_t first = s.find_first_not_of(kBlank);
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(kBlank) - first + 1);
}

bool IsAsciiAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// The scheme of an address (RFC 3986: a letter, then letters, digits, "+", "-" or "."), in
// lower case; "" when the text does not start with one.
std::string SchemeOf(std::string_view text) {
  if (text.empty() || !IsAsciiAlpha(text[0])) return {};
  for (std::size_t i = 1; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ':') return FoldLatinCase(text.substr(0, i));
    if (!IsAsciiAlpha(c) && !IsAsciiDigit(c) && c != '+' && c != '-' && c != '.') return {};
  }
  return {};
}

int HexValue(char c) {
  if (IsAsciiDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecoded(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      const int hi = HexValue(s[i + 1]), lo = HexValue(s[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
        continue;
      }
    }
    out.push_back(s[i]);
  }
  return out;
}

// Whether a mailto address carries only recipients, a subject and a body. Any other field
// ("attach", "attachment" and whatever a mail program may read) is the user's to allow.
bool PlainMail(std::string_view address) {
  const std::size_t question = address.find('?');
  if (question == std::string_view::npos) return true;
  std::string_view query = address.substr(question + 1);
  while (!query.empty()) {
    const std::size_t amp = query.find_first_of("&;");
    const std::string_view field = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    if (field.empty()) continue;
    const std::string name = FoldLatinCase(Trim(PercentDecoded(field.substr(0, field.find('=')))));
    static constexpr std::array<std::string_view, 5> kPlain = {"to", "cc", "bcc", "subject",
                                                               "body"};
    if (std::find(kPlain.begin(), kPlain.end(), name) == kPlain.end()) return false;
  }
  return true;
}

// The file a "file:" address names: "file:///p", "file://localhost/p" or "file:/p". Empty
// when it names a file of another machine or no absolute path.
std::string FileOfFileAddress(std::string_view address) {
  std::string_view rest = address.substr(5);  // after "file:"
  if (rest.substr(0, 2) == "//") {
    rest.remove_prefix(2);
    const std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos) return {};
    const std::string host = FoldLatinCase(rest.substr(0, slash));
    if (!host.empty() && host != "localhost") return {};
    rest.remove_prefix(slash);
  }
  if (rest.empty() || rest[0] != '/') return {};
  const std::size_t end = rest.find_first_of("?#");
  return PercentDecoded(rest.substr(0, end));
}

bool EndsWithName(const std::string& text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(),
                                                      suffix) == 0;
}

// Whether the path lies below the directory (both resolved).
bool IsBelow(const std::string& path, const std::string& directory) {
  if (directory.empty()) return false;
  std::string prefix = directory;
  if (prefix.back() != '/') prefix += '/';
  return path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0;
}

std::string Resolved(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::weakly_canonical(fs::path(path), ec);
  if (ec) p = fs::path(path).lexically_normal();
  std::string out = p.string();
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

LinkClick ForFile(const std::string& path, std::string_view fileStoreDirectory) {
  LinkClick click;
  click.target.kind = LinkTarget::Kind::File;
  click.target.target = path;
  if (path.empty() || path[0] != '/') {  // a Windows drive path names nothing here
    click.reason = LinkClick::Reason::NoSuchFile;
    return click;
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    click.target.target = fs::path(path).lexically_normal().string();
    click.reason = LinkClick::Reason::NoSuchFile;
    return click;
  }
  // What is opened is the file itself, with "..", "." and links resolved: its name and place
  // are what the decision looked at, and what the question shows.
  click.target.target = Resolved(path);
  const bool inStore = IsBelow(click.target.target, Resolved(std::string(fileStoreDirectory)));
  if (MayRunAProgram(click.target.target)) {
    click.action = LinkClick::Action::Ask;
    click.reason = LinkClick::Reason::Program;
  } else if (!inStore) {
    click.action = LinkClick::Action::Ask;
    click.reason = LinkClick::Reason::OutsideFileStore;
  } else {
    click.action = LinkClick::Action::Open;
    click.reason = LinkClick::Reason::None;
  }
  return click;
}

}  // namespace

bool MayRunAProgram(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return true;  // what it is cannot be told
  if (S_ISDIR(st.st_mode)) return false;             // the file manager shows it
  if (!S_ISREG(st.st_mode)) return true;
  if (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) return true;

  const std::string name = FoldLatinCase(fs::path(path).filename().string());
  static constexpr std::string_view kRunnable[] = {
      // launchers, shell and other scripts
      ".desktop", ".sh", ".bash", ".zsh", ".csh", ".tcsh", ".ksh", ".fish", ".command", ".py",
      ".pyw", ".pyc", ".pyz", ".pl", ".rb", ".php", ".lua", ".tcl", ".js", ".mjs", ".jse",
      ".vbs", ".vbe", ".wsf", ".wsh", ".ps1", ".psm1", ".applescript", ".scpt",
      // programs and installers
      ".exe", ".com", ".bat", ".cmd", ".msi", ".msp", ".scr", ".pif", ".cpl", ".hta", ".lnk",
      ".reg", ".jar", ".jnlp", ".appimage", ".run", ".bin", ".elf", ".out", ".so", ".deb",
      ".rpm", ".snap", ".flatpak", ".flatpakref", ".flatpakrepo", ".apk", ".kwinscript",
      ".plasmoid", ".app", ".dmg", ".pkg", ".xpi", ".crx"};
  for (std::string_view ext : kRunnable)
    if (EndsWithName(name, ext)) return true;

  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return true;
  char head[512];
  ssize_t n;
  do {
    n = ::read(fd, head, sizeof head);
  } while (n < 0 && errno == EINTR);
  ::close(fd);
  if (n < 0) return true;
  const std::string_view first(head, static_cast<std::size_t>(n));
  if (first.substr(0, 2) == "#!" || first.substr(0, 4) == "\x7f" "ELF" || first.substr(0, 2) == "MZ")
    return true;
  return first.find("[Desktop Entry]") != std::string_view::npos;
}

LinkClick DecideLinkClick(std::string_view linkText, std::string_view fileStoreDirectory) {
  const std::string_view text = Trim(linkText);
  if (FoldLatinCase(text).find("localfile:") != std::string::npos) {
    const LinkTarget file = ResolveLinkTarget(text, fileStoreDirectory);
    return ForFile(file.target, fileStoreDirectory);
  }

  LinkClick click;
  click.target.kind = LinkTarget::Kind::Address;
  click.target.target = std::string(text);
  if (text.size() >= 4 && FoldLatinCase(text.substr(0, 4)) == "www.")
    click.target.target = "http://" + click.target.target;
  const std::string scheme = SchemeOf(click.target.target);
  if (scheme.size() < 2) {  // none, or a drive letter of a path written on Windows
    click.reason = LinkClick::Reason::NoAddress;  // nothing the desktop could take as an address
    return click;
  }
  if (scheme == "file") {
    const std::string path = FileOfFileAddress(click.target.target);
    if (!path.empty()) return ForFile(path, fileStoreDirectory);
    click.action = LinkClick::Action::Ask;
    click.reason = LinkClick::Reason::OtherScheme;
    return click;
  }
  if (scheme == "http" || scheme == "https" || scheme == "ftp") {
    click.action = LinkClick::Action::Open;
    click.reason = LinkClick::Reason::None;
  } else if (scheme == "mailto") {
    const bool plain = PlainMail(click.target.target);
    click.action = plain ? LinkClick::Action::Open : LinkClick::Action::Ask;
    click.reason = plain ? LinkClick::Reason::None : LinkClick::Reason::MailExtras;
  } else {
    click.action = LinkClick::Action::Ask;
    click.reason = LinkClick::Reason::OtherScheme;
  }
  return click;
}

std::string LinkClick::Question() const {
  const char* pattern = kAskOpenOtherScheme;
  switch (reason) {
    case Reason::Program: pattern = kAskOpenProgram; break;
    case Reason::OutsideFileStore: pattern = kAskOpenOutsideStore; break;
    case Reason::MailExtras: pattern = kAskOpenMailExtras; break;
    default: break;
  }
  return FormatMessage(pattern, target.target);
}

std::string LinkClick::CannotOpenMessage() const {
  return FormatMessage(target.kind == LinkTarget::Kind::File ? kCannotOpenLinkFile
                                                             : kCannotOpenLinkAddress,
                       target.target);
}

}  // namespace zorbek::editor
