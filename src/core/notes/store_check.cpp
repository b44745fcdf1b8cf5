#include "core/notes/store_check.h"

#include <filesystem>
#include <map>
#include <mutex>

#include "core/db/change_journal.h"
#include "core/db/database.h"
#include "core/db/store_paths.h"
#include "core/io/file_util.h"
#include "core/notes/item_path.h"
#include "core/text/cp936.h"

namespace zorbek {
namespace {

namespace fs = std::filesystem;

// What the database expects in one directory: names folded, with the element path.
struct Expected {
  std::map<std::string, std::string> directories;  // folded name -> element path
  std::map<std::string, std::string> files;        // folded file name -> element path
  std::map<std::string, XmlNode> folders;          // folded name -> element (to descend)
};

Expected ExpectedIn(XmlNode folder, const std::string& elementPath) {
  Expected out;
  for (XmlNode child : ShownChildren(folder)) {
    const std::string name = ElementName(child);
    const std::string path = elementPath + "/" + name;
    const std::string type = Attribute(child, "type");
    if (KindOfType(type) == ItemKind::Folder) {
      out.directories[FoldLatinCase(name)] = path;
      out.folders[FoldLatinCase(name)] = child;
    } else {
      out.files[FoldLatinCase(name + "." + type)] = path;
    }
  }
  return out;
}

}  // namespace

StoreAgreement CheckStoreAgreement(CXmlDocument& doc) {
  StoreAgreement result;
  struct Pending {
    std::string directory;
    std::string elementPath;
    Expected expected;
  };
  std::vector<Pending> work;
  {
    const std::string store = NoteStoreDirectory(doc.GetPath());
    XmlNode archive = doc.Select(kArchivePath);
    if (!archive) return result;
    // Every folder's expectations, gathered under the lock; the disk is read afterwards.
    std::vector<std::tuple<XmlNode, std::string, std::string>> folders{
        {archive, store, kArchivePath}};
    while (!folders.empty()) {
      auto [element, directory, path] = folders.back();
      folders.pop_back();
      Pending p{directory, path, ExpectedIn(element, path)};
      for (const auto& [folded, child] : p.expected.folders)
        folders.emplace_back(child, directory + "/" + ElementName(child),
                             p.expected.directories[folded]);
      work.push_back(std::move(p));
    }
  }
  for (auto& p : work) {
    std::map<std::string, bool> seenDirs, seenFiles;
    std::error_code ec;
    for (fs::directory_iterator it(p.directory, ec), end; !ec && it != end; it.increment(ec)) {
      const std::string name = it->path().filename().string();
      const std::string folded = FoldLatinCase(name);
      std::error_code e;
      if (it->is_directory(e)) {
        if (p.expected.directories.count(folded)) seenDirs[folded] = true;
        else result.filesWithoutElement.push_back(it->path().string());
      } else if (IsAtomicWriteLeftover(name)) {
        result.leftovers.push_back(it->path().string());
      } else if (p.expected.files.count(folded)) {
        seenFiles[folded] = true;
      } else if (folded.size() > 4 && folded.compare(folded.size() - 4, 4, ".esr") == 0) {
        result.filesWithoutElement.push_back(it->path().string());
      }
    }
    for (const auto& [folded, path] : p.expected.directories)
      if (!seenDirs.count(folded)) result.elementsWithoutFile.push_back(path);
    for (const auto& [folded, path] : p.expected.files)
      if (!seenFiles.count(folded)) result.elementsWithoutFile.push_back(path);
  }
  // What deletes set aside beside the store, and the change journal, are gone once a change is
  // whole and the database was opened again.
  const std::string base = DirectoryOf(NoteStoreDirectory(doc.GetPath()));
  std::error_code ec;
  for (std::filesystem::directory_iterator it(base.empty() ? "." : base, ec), end; !ec && it != end;
       it.increment(ec))
    if (IsDeletedFilesDirectoryName(it->path().filename().string()))
      result.leftovers.push_back(it->path().string());
  return result;
}

}  // namespace zorbek
