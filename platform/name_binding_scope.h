// Name-binding scopes: the names that run-time expressions can see are bound while a window
// runs. Scopes nest per thread; Open and Close must pair up.
#pragma once

namespace morlan {

class NameBindingScope {
 public:
  static void Open();
  static void Close();  // a Close without an Open does nothing
  // Scopes open on the calling thread.
  static int depth();
};

}  // namespace morlan
