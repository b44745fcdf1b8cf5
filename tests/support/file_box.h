#pragma once

#include <initializer_list>
#include <string>

#include "core/notes/item_path.h"

namespace zorbek::testing {

// The tree path of an item below the file box, given the names under it.
inline ItemPath FileBoxItem(std::initializer_list<std::string> names) {
  ItemPath item{"文件箱"};
  item.insert(item.end(), names);
  return item;
}

}  // namespace zorbek::testing
