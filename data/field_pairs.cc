#include "data/field_pairs.h"

#include <utility>

namespace morlan {

void FieldPairs::AddPair(const FieldRef& left, const FieldRef& right) {
  // A pair added before Init would otherwise be lost without a trace.
  if (REALLIST == nullptr) Init();
  FieldPair pair;
  pair.LEFT = left;
  pair.RIGHT = right;
  // The blank of right's kind is built directly: right is never written, so it keeps its value
  // even for a field whose clearing would not round-trip (a number in a text field, say).
  pair.BUFFER = right.is_text() ? FieldValue() : FieldValue::Number(0);
  REALLIST->push_back(std::move(pair));
}

void FieldPairs::Init() {
  Kill();
  REALLIST = std::make_unique<FieldPairList>();
  LIST = REALLIST.get();
}

void FieldPairs::Kill() {
  if (REALLIST == nullptr) return;
  REALLIST.reset();
  LIST = REALLIST.get();
}

bool FieldPairs::EqualLeftRight() const {
  if (LIST == nullptr) return true;
  for (const FieldPair& pair : *LIST) {
    if (!pair.RIGHT.Holds(pair.LEFT)) return false;
  }
  return true;
}

bool FieldPairs::EqualLeftBuffer() const {
  if (LIST == nullptr) return true;
  for (const FieldPair& pair : *LIST) {
    if (!pair.LEFT.Holds(pair.BUFFER)) return false;
  }
  return true;
}

bool FieldPairs::EqualRightBuffer() const {
  if (LIST == nullptr) return true;
  for (const FieldPair& pair : *LIST) {
    if (!pair.RIGHT.Holds(pair.BUFFER)) return false;
  }
  return true;
}

void FieldPairs::AssignLeftToRight() {
  if (LIST == nullptr) return;
  for (FieldPair& pair : *LIST) pair.RIGHT.Set(pair.LEFT.Get());
}

void FieldPairs::AssignRightToLeft() {
  if (LIST == nullptr) return;
  for (FieldPair& pair : *LIST) pair.LEFT.Set(pair.RIGHT.Get());
}

void FieldPairs::AssignLeftToBuffer() {
  if (LIST == nullptr) return;
  // Kept whole: a value cut to RIGHT would differ from LEFT at once, and an update of any other
  // field would look like a change of the link.
  for (FieldPair& pair : *LIST) pair.BUFFER = pair.LEFT.Get();
}

void FieldPairs::AssignRightToBuffer() {
  if (LIST == nullptr) return;
  for (FieldPair& pair : *LIST) pair.BUFFER = pair.RIGHT.Get();
}

void FieldPairs::AssignBufferToLeft() {
  if (LIST == nullptr) return;
  for (FieldPair& pair : *LIST) pair.LEFT.Set(pair.BUFFER);
}

void FieldPairs::AssignBufferToRight() {
  if (LIST == nullptr) return;
  for (FieldPair& pair : *LIST) pair.RIGHT.Set(pair.BUFFER);
}

void FieldPairs::ClearRight() {
  if (LIST == nullptr) return;
  for (FieldPair& pair : *LIST) pair.RIGHT.Clear();
}

}  // namespace morlan
