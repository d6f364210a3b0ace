// A list of pairs of record-buffer fields, for copying or comparing one set of fields against
// another: the linking fields of a relation (LEFT in the parent file, RIGHT in the related file)
// and the range limits of a view's sort order. Each pair also keeps BUFFER, a private copy of a
// value, used to remember linking values before a change and to notice changed range values.
//
// BUFFER keeps a value as the field it was taken from holds it (LEFT's type and width after
// AssignLeftToBuffer, RIGHT's after AssignRightToBuffer), so that side compares equal to it at
// once and gets it back whole. Copies into a field, and comparisons of a field with BUFFER or of
// RIGHT with LEFT, take the value as that field would hold it (FieldRef::Holds): a wide LEFT
// linked to a narrow RIGHT finds the related records by what RIGHT can hold.
//
// Lifecycle: Init creates the list (discarding any earlier one), Kill releases it; Kill may be
// called any number of times. Every operation walks the pairs in the order they were added and
// touches every pair; on an empty or killed list comparisons answer true and assignments do
// nothing.
//
// Fields are referred to, not owned: the record buffers must outlive the pairs that name them.
//
// Threading: none; use an object from one thread at a time.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "common/field_ref.h"
#include "common/field_value.h"

namespace morlan {

struct FieldPair final {
  FieldRef LEFT;
  FieldRef RIGHT;
  FieldValue BUFFER;  // blank of RIGHT's kind when added; then as taken from LEFT or RIGHT
};

using FieldPairList = std::vector<FieldPair>;

class FieldPairs final {
 public:
  FieldPairs() = default;
  virtual ~FieldPairs() = default;

  FieldPairs(const FieldPairs&) = delete;
  FieldPairs& operator=(const FieldPairs&) = delete;

  // --- Virtual operations ---

  // Appends a pair of `left` and `right` whose BUFFER is a blank value of `right`'s kind (empty
  // text, or the number 0). `right` keeps its value. Creates the list when Init has not.
  virtual void AddPair(const FieldRef& left, const FieldRef& right);

  // --- Non-virtual operations ---

  // Kill, then a new empty list.
  void Init();
  // Releases the pairs and the list; does nothing when there is no list.
  void Kill();

  // Number of pairs; 0 without a list.
  std::size_t Count() const { return LIST != nullptr ? LIST->size() : 0; }

  // True when every pair's two values are equal, false at the first difference: the field named
  // first holds the other value as it would be stored in it (FieldRef::Holds; texts ignore
  // trailing blanks). EqualLeftRight asks whether RIGHT holds LEFT's value, as AssignLeftToRight
  // would write it.
  bool EqualLeftRight() const;
  bool EqualLeftBuffer() const;
  bool EqualRightBuffer() const;

  // Copies values pair by pair. Text is cut or padded to the target field; a number written to a
  // text field takes its decimal form, a text written to a number field is read as a number.
  // BUFFER takes the source field's value unchanged.
  void AssignLeftToRight();
  void AssignRightToLeft();
  void AssignLeftToBuffer();
  void AssignRightToBuffer();
  void AssignBufferToLeft();
  void AssignBufferToRight();
  // Blank text or zero in every RIGHT field.
  void ClearRight();

  // --- Fields, in declared order ---

  FieldPairList* LIST = nullptr;  // always REALLIST's list; null before Init and after Kill
  std::unique_ptr<FieldPairList> REALLIST;
};

}  // namespace morlan
