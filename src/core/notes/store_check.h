// Whether the note store and the database agree: every folder element has its directory,
// every note element its file, and every directory and note file under the store its element.
// Read only; the command line's "check" and the crash tests use it.
#pragma once

#include <string>
#include <vector>

#include "core/db/xml_document.h"

namespace zorbek {

struct StoreAgreement {
  std::vector<std::string> elementsWithoutFile;  // element paths
  std::vector<std::string> filesWithoutElement;  // paths on disk
  std::vector<std::string> leftovers;            // temporary files of an interrupted save
  bool Agrees() const {
    return elementsWithoutFile.empty() && filesWithoutElement.empty() && leftovers.empty();
  }
};

// Compares the archive of doc with the note store beside doc's path. Names on disk match element names ignoring Latin case, as the
// store's names are compared everywhere.
StoreAgreement CheckStoreAgreement(CXmlDocument& doc);

}  // namespace zorbek
