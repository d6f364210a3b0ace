#include "platform/name_binding_scope.h"

namespace morlan {

namespace {

thread_local int open_scopes = 0;

}  // namespace

void NameBindingScope::Open() { ++open_scopes; }

void NameBindingScope::Close() {
  if (open_scopes > 0) --open_scopes;
}

int NameBindingScope::depth() { return open_scopes; }

}  // namespace morlan
