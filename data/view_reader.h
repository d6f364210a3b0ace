// The view reader: reads the records of a primary data file through a platform view, in the
// order, within the range limits and under the named filters of its current sort order.
//
// Sort orders: the reader keeps a list of them (ViewOrderList); each has its own order text, an
// optional key of the primary file (MAINKEY), range limits on that key's leading components
// (LIMITTYPE and the pairs of RANGELIST) and named filters. The stored state reaches the view
// only at the next Open, Reset, WriteViewOrder or WriteViewFilter. The filter text written for a
// sort order is its range conditions, then each named filter in parentheses, in descending name
// order, joined by " AND ": with a key component labelled A, range value North and one filter B,
// "A = 'North' AND (B)".
//
// Range limits are declared with SetRange (kind and pairs; see there). Pair i belongs to key
// component i; for LimitBetween the last two pairs are the lower and upper bound of the
// component before them. The value written for a pair is its RIGHT side's, quoted as text when
// its LEFT side is a text field.
//
// Calling order: Init, then AddSortOrder at least once, then Reset (which opens the view), then
// Next or Previous repeatedly; Close and Kill at the end. Operations on sort-order state do
// nothing (or answer 0 or empty) while there is no current sort order.
//
// Failures are posted through the primary file's manager (the relation manager's ME) and the
// error manager; the operations without a result carry on after posting:
// - the view cannot be opened (any status but 52, already open), its order or filter text is
//   refused, or it cannot be positioned: "View Open Error" (ErrViewOpen), whose %ErrorText tells
//   why. A filter that is refused is not kept: the view then reads without filter and range
//   limits, as the message says, rather than under an earlier sort order's filter;
// - a read fails for any reason but the end of the records (33): "Record Retrieval Error"
//   (ErrRecordRetrieval), naming the primary file; Next/Previous return 3.
// The filter text is written whole or not at all: a range value too long to quote, a component
// text over 499 characters or a filter over 4,999 characters refuses the filter (a cut would
// break the expression or change what it selects), with status 47 and a text saying why.
//
// Ownership: the reader owns the order list it creates (DISPOSEORDER 1); each entry owns its
// order text, filters and range pairs. The view, the relation manager and the keys are not owned
// and must outlive the reader's use of them.
//
// Cost: Next and Previous allocate nothing; CheckRecord runs once for every record read.
//
// Threading: a reader belongs to the thread that created it, as its view and files do; it takes
// no locks. The record process derives from it (overriding Kill and Reset()).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/error_ids.h"
#include "common/field_ref.h"
#include "common/fixed_text.h"
#include "common/levels.h"
#include "data/field_pairs.h"
#include "platform/file_key.h"

namespace morlan {

class FileManager;
class FileRelations;
class View;

// Kinds of range limit of a sort order (LIMITTYPE), with n range pairs:
inline constexpr std::uint8_t LimitNone = 0;
// Components 1..n each equal to pair i; never refreshed.
inline constexpr std::uint8_t LimitFixed = 1;
// As LimitFixed; RefreshRange follows the last pair's LEFT.
inline constexpr std::uint8_t LimitFollowLast = 2;
// Components 1..n-2 equal to pairs 1..n-2; component n-1 from pair n-1 up to pair n. n >= 2.
inline constexpr std::uint8_t LimitBetween = 3;
// As LimitFixed; RefreshRange follows every RIGHT against its BUFFER.
inline constexpr std::uint8_t LimitFollowAll = 4;

// One named filter of a sort order.
struct ViewFilterEntry final {
  FixedText<30> ID;    // the name; the list is kept in descending ID order
  std::string FILTER;  // the expression, trailing blanks clipped
};

// One sort order.
struct ViewOrderEntry final {
  std::unique_ptr<std::vector<ViewFilterEntry>> FILTER;  // null until the first filter
  FieldRef
      FREEELEMENT;  // the key component after the range-limited ones; refers to nothing if none
  std::uint8_t LIMITTYPE = LimitNone;
  const FileKey* MAINKEY = nullptr;       // a key of the primary file, or null
  std::optional<std::string> ORDER;       // the order text, none when empty
  std::unique_ptr<FieldPairs> RANGELIST;  // range pairs in key order; null after Kill
};

// The sort orders of a reader. A caller may supply the list (Init), e.g. to keep it.
struct ViewOrderList final {
  std::vector<ViewOrderEntry> ENTRIES;
  std::size_t CURRENT = 0;  // 1-based position of the current sort order; 0 none
};

// A range pair as SetRange takes it: LEFT is followed by RefreshRange, RIGHT holds the value.
struct RangePair final {
  FieldRef LEFT;
  FieldRef RIGHT;
};

class ViewReader {
 public:
  // The name SetFilter(text) stores its filter under.
  static constexpr std::string_view kDefaultFilterName = "5 Standard";
  // Longest filter text written to the view.
  static constexpr std::size_t kFilterCapacity = 4999;
  // Longest key component label, or quoted range value, within a filter text.
  static constexpr std::size_t kComponentTextCapacity = 499;
  // Most range pairs of a sort order (the count is a byte).
  static constexpr std::size_t kMaxRangePairs = 255;
  // Access mode the view is opened with: read/write, deny write.
  static constexpr std::uint8_t kViewAccessMode = 0x22;

  ViewReader() = default;
  virtual ~ViewReader() = default;

  ViewReader(const ViewReader&) = delete;
  ViewReader& operator=(const ViewReader&) = delete;

  // --- Virtual operations, in slot order ---

  // Extends the current order text with `text` (SetOrder): without an order text, `text` itself;
  // `text` beginning with "*" replaces the order text by the rest of it; any other text is
  // appended after a ",". A blank `text` leaves an existing order text as it is.
  virtual void AddOrderText(std::string_view text);
  // Builds the filter text of the current sort order (BuildFilterText) and sets it on the view.
  virtual void WriteViewFilter();
  // Sets the current order text on the view (empty when none).
  virtual void WriteViewOrder();
  // Takes over changed range values (LimitFollowLast, LimitBetween, LimitFollowAll) and then
  // writes the filter again: 1 when something changed, else 0. Allocates nothing when nothing
  // changed.
  virtual std::uint8_t RefreshRange();
  // Closes the view if this reader opened it.
  virtual void Close();
  // Label of the free key component (FreeComponentPosition), or empty.
  virtual std::string FreeComponentName();
  // Position of the key component after the range-limited ones; 0 without a key, or when the
  // range takes every component.
  virtual std::uint8_t FreeComponentPosition();
  // Releases the sort orders' texts, filters and range pairs, and the order list when the reader
  // made it. Does not close the view. Safe to call twice.
  virtual void Kill();
  // Reads the next record CheckRecord accepts: 0 read; 5 no further record or out of range
  // (nothing posted); 3 a read error (posted).
  virtual Level Next();
  // Opens the view unless this reader has it open, then writes order and filter (every time).
  virtual void Open();
  // As Next, reading backwards.
  virtual Level Previous();
  // Prepares a new record inside the range: unless `keep_buffers`, clears the record buffers of
  // the view's files; sets the range-limited key components to their range values; then returns
  // the primary manager's PrepareRecord(true).
  virtual Level PrepareNewRecord(bool keep_buffers);
  // Open (dispatched virtually), then positions the view at `position` (0: the start).
  virtual void Reset(std::uint8_t position);
  virtual void Reset();
  // SetFilter under kDefaultFilterName.
  virtual void SetFilter(std::string_view text);
  // Stores `text` as the filter named `name` (cut to 30 characters) of the current sort order,
  // replacing a filter of that name in place; a blank `text` removes it.
  virtual void SetFilter(std::string_view text, std::string_view name);
  // Replaces the current order text; a blank text leaves none.
  virtual void SetOrder(std::string_view text);
  // Makes sort order `n` current (0 counts as 1): 1 when the current sort order changed. 0, with
  // nothing changed, for the current one or one past the end of the list. Writes nothing.
  virtual std::uint8_t SelectSortOrder(std::uint8_t n);
  // Verdict on the record just read: 0 accept, 1 out of range (ends the reading), any other
  // value skips it. The base accepts every record.
  virtual std::uint8_t CheckRecord();

  // --- Non-virtual operations ---

  // Sets the reader up over `view`, whose first file is the primary file managed by `primary`'s
  // ME. With `order` null the reader makes its own order list (DISPOSEORDER 1). Then
  // UseViewFiles. Creates no sort order.
  void Init(View* view, FileRelations* primary, ViewOrderList* order);
  // Appends a sort order over `key` (may be null) and makes it current; its order text is the
  // key's (KeyOrderText). Returns the number of sort orders; 0 when there is no order list.
  int AddSortOrder(const FileKey* key);
  // Declares the range limits of the current sort order: `limit_type` and its pairs, pair i for
  // key component i (LimitBetween: the last two bound the component before them). LimitNone
  // with no pairs removes the limits. FREEELEMENT moves to the component after the limited ones.
  // Returns 0. A declaration that does not fit is refused, changing nothing: no current sort
  // order, an unknown kind, a kind without pairs (LimitBetween: fewer than 2), LimitNone with
  // pairs, more than 255 pairs, no MAINKEY, more limited components than the key has, or a field
  // that refers to nothing. "View Open Error" is then posted with the reason (status 47) and its
  // level returned (never 0).
  Level SetRange(std::uint8_t limit_type, const std::vector<RangePair>& pairs);
  // For each file of the view, its manager's UseFile(kRecords) (which opens a lazily opened
  // file); files without a manager are passed over. Stops at, and returns, the first non-zero
  // level.
  Level UseViewFiles();
  // The filter text of the current sort order, as WriteViewFilter sets it (empty without a sort
  // order). False, with `*text` empty and `*reason` saying why, when it cannot be written whole.
  bool BuildFilterText(std::string* text, std::string* reason);
  // The current sort order, or nullptr.
  ViewOrderEntry* CurrentOrder();

  // --- Fields, in declared order ---

  std::uint8_t DISPOSEORDER = 0;  // 1 when the reader made ORDER and disposes of it in Kill
  std::uint8_t OPENED = 0;        // 1 while this reader has the view open
  ViewOrderList* ORDER = nullptr;
  std::uint16_t PAGESAHEAD = 0;
  std::uint16_t PAGESBEHIND = 0;
  std::uint16_t PAGESIZE = 0;
  FileRelations* PRIMARY = nullptr;
  std::uint16_t TIMEOUT = 0;
  View* VIEW = nullptr;

 private:
  // The primary file's manager, or nullptr.
  FileManager* PrimaryManager() const;
  // Posts `id` through the primary file's manager, naming the primary file.
  Level Post(ErrorId id);
  // Sets status 47 with `reason`, then posts `id`.
  Level Refuse(ErrorId id, std::string_view reason);
  // Why a range of `limit_type` with `pairs` pairs on `key` cannot be used, or empty.
  std::string RangeProblem(std::uint8_t limit_type, std::size_t pairs, const FileKey* key);
  // RangeProblem of `entry`'s range as it stands (pairs may have been added to RANGELIST
  // directly); a range of kind LimitNone has none.
  std::string RangeProblem(const ViewOrderEntry& entry);
  // Number of range pairs of `entry`; 0 without a list.
  static std::size_t PairCount(const ViewOrderEntry& entry);
  // Appends the range conditions of `entry` to `*text`; false with `*reason` when they cannot
  // be written whole.
  bool AppendRange(const ViewOrderEntry& entry, std::string* text, std::string* reason);
  // Appends `name` & op & value text of `pair` to `*text`; false with `*reason` when it does
  // not fit.
  bool AppendCondition(std::string* text, std::string_view separator, std::string_view name,
                       std::string_view op, const FieldPair& pair, std::string* reason);
  // Reads forward or backward until CheckRecord accepts or ends.
  Level Read(bool forward);

  std::unique_ptr<ViewOrderList> own_order_;  // ORDER when DISPOSEORDER is 1
};

}  // namespace morlan
