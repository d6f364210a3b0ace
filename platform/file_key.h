// A key of a data file: an ordered list of record fields, each ascending or descending.
#pragma once

#include <string>
#include <vector>

namespace morlan {

struct KeyComponent {
  int field = 0;  // index in the file's record layout
  bool ascending = true;
};

struct FileKey {
  std::string name;  // "CUS:KEYNAME"; the framework shows its own description, not this
  std::vector<KeyComponent> components;
  bool duplicates_allowed = false;
  bool no_case = false;  // text components compare case-insensitively
};

}  // namespace morlan
