#include "data/field_pairs.h"

#include <algorithm>
#include <string>
#include <utility>

namespace morlan {

namespace {

// `value` as `field` would hold it: BUFFER keeps RIGHT's type, so a value taken from LEFT is cut
// to RIGHT's width or converted to its number type, exactly as writing it into RIGHT would. A
// BUFFER that kept more than RIGHT can hold would never compare equal to the related records.
FieldValue AsValueOf(const FieldRef& field, const FieldValue& value) {
  if (!field.valid()) return value;
  std::string scratch(std::max<std::size_t>(field.size(), sizeof(double)), ' ');
  const FieldRef copy(field.type(), scratch.data(), field.size());
  copy.Set(value);
  return copy.Get();
}

}  // namespace

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
    if (!(pair.LEFT.Get() == pair.RIGHT.Get())) return false;
  }
  return true;
}

bool FieldPairs::EqualLeftBuffer() const {
  if (LIST == nullptr) return true;
  for (const FieldPair& pair : *LIST) {
    if (!(pair.LEFT.Get() == pair.BUFFER)) return false;
  }
  return true;
}

bool FieldPairs::EqualRightBuffer() const {
  if (LIST == nullptr) return true;
  for (const FieldPair& pair : *LIST) {
    if (!(pair.RIGHT.Get() == pair.BUFFER)) return false;
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
  for (FieldPair& pair : *LIST) pair.BUFFER = AsValueOf(pair.RIGHT, pair.LEFT.Get());
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
