// A view: reading over one or more data files in a chosen order, with an optional filter. The
// first file is the primary file; the view reads its records into the primary file's record
// buffer. Further files ride along (file(i)) and are not read by the view.
//
// Files are not owned and must outlive the view. A view never opens or closes its files: the
// framework opens them itself before it opens the view, and closing a view leaves them open.
//
// Order: an empty order text reads the primary file in file order. An order text that names the
// components of one of the primary file's keys, in key order, reads along that key. The text form
// of a key is its component field names joined by ",", each preceded by "-" when descending
// ("NAME,-DATE"); the match ignores case and blanks, and a field name may be given with or
// without its "LABEL:" prefix. Any other order text is refused with 47.
//
// Filter: an expression over the fields of the view's files; Next and Previous deliver only the
// records of the primary file for which it holds, skipping the others inside the call, so the
// caller sees the primary file's own status at the end (33) and for a record it cannot read
// (43, ...). An empty (or blank) filter delivers every record. The text is parsed once, when it
// is set, into a form that evaluates each record without allocating.
//
//   filter     := or
//   or         := and { OR and }
//   and        := not { AND not }
//   not        := NOT not | comparison
//   comparison := operand [ relation operand ]
//   operand    := number | text | field | function "(" arguments ")" | "(" or ")"
//
//   - Words (AND, OR, NOT, function names, field names) ignore letter case. A field is "NAME" or
//     "LABEL:NAME"; names resolve against the record layouts of the files the view has when the
//     filter is set, and the field is read from its file's record buffer when a record is tested
//     (secondary files are not read by the view: their buffers hold what the caller put there).
//     A bare name that fields of two files share is ambiguous and refused.
//   - Texts are between apostrophes, an apostrophe inside doubled ('o''brien'). Numbers are
//     decimal with an optional sign, fraction and exponent ("-12.5", "1e+21"); "." is the point
//     whatever the locale.
//   - Relations are written with the characters < > = ~, each at most once, "=" only last:
//     = <> < > <= >= as usual (>< is <>); "~" anywhere in a relation negates the rest, so ~= is
//     <>, ~< is >=, ~> is <=, ~<= is >, ~>= is <, ~<> is =, and a lone ~ means ~=. (Operator
//     completion of query-by-example values writes these forms.) <>= is refused.
//   - Comparison: two texts compare byte by byte with trailing blanks ignored (case matters; use
//     UPPER for a case-free test); two numbers compare as doubles, exactly. A text and a number
//     compare as numbers when the text (blanks around ignored) is a decimal number, a blank text
//     counting as 0; otherwise as texts, the number in its shortest decimal form. Number fields
//     are numbers, text fields texts.
//   - Truth: a comparison is 1 or 0; AND, OR and NOT take a value as true when it is a non-zero
//     number or a non-blank text, so "A = 'North' AND (B)" holds when B is filled in. AND and OR
//     stop at the first operand that decides them.
//   - Functions: UPPER(t), LOWER(t) (A-Z only, no locale); CLIP(t) (without trailing blanks);
//     SUB(t, start, length) (1-based; the part of those positions inside t);
//     INSTRING(sub, t, step, start) (the position of sub, without its trailing blanks, in t,
//     trying start, start+step, ...; a negative step searches backwards from start; 0 when not
//     found, for an empty sub and for step 0; a constant step 0 is refused);
//     FORMAT(value, @picture) (the value through a display picture, see platform/picture.h; for
//     a number picture the alignment blanks in front are left out, so "begins with" tests work;
//     an unsupported picture is refused). A number given where a text is expected is taken in
//     its shortest decimal form; a text given where a number is expected is read as a number,
//     0 when it is none.
//   - Limits: nesting deeper than 64 (parentheses, NOT chains, function arguments) is refused, so
//     evaluation cannot run out of stack; so is a filter whose working buffers would pass 4 MiB.
//     Any length of text is handled safely.
//
// A refused filter fails SetFilter with 47 and a text that names the column (1-based, counted in
// bytes) and what was wrong or expected: "Filter: unknown field 'F9' at column 12",
// "Filter: expected ')' at column 20", "Filter: unsupported picture '@D6' at column 9". The
// previous filter stays.
//
// SetOrder and SetFilter take effect at the next Open or SetStart; a view that is already reading
// reads on in the order and with the filter it started with.
//
// Error state: every operation except the plain accessors leaves the calling thread's
// RuntimeErrorState set (0 on success). Reading passes on the primary file's status (33 at the
// end, 43 for a held record, ...).
//
// Threading: not internally synchronised; one thread at a time, as its files.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/data_file.h"
#include "platform/file_key.h"
#include "platform/filter_expression.h"

namespace morlan {

class View {
 public:
  explicit View(DataFile& primary);

  View(const View&) = delete;
  View& operator=(const View&) = delete;

  // Adds a secondary file after those already there.
  void AddFile(DataFile& file);

  int file_count() const { return static_cast<int>(files_.size()); }
  // File i, 0-based: 0 is the primary file. nullptr when i is out of range.
  DataFile* file(int i) const;
  DataFile& primary() const { return *files_.front(); }

  // Opens the view and sets reading to the start of its order. `access_mode` is an open-mode byte
  // (see data_file.h), kept for the caller. 52 when already open (the view stays open and keeps
  // its position); 37 when the primary file is not open; the primary file's status when it
  // cannot start reading (the view then stays closed).
  void Open(std::uint8_t access_mode);
  // Closes the view; its files stay open. 37 when not open.
  void Close();
  bool IsOpen() const { return open_; }
  std::uint8_t access_mode() const { return access_mode_; }

  // Read-ahead hints, kept for the caller; they change nothing yet. Status 0.
  void SetBuffering(int page_size, int pages_behind, int pages_ahead, int timeout);
  int page_size() const { return page_size_; }
  int pages_behind() const { return pages_behind_; }
  int pages_ahead() const { return pages_ahead_; }
  int buffer_timeout() const { return buffer_timeout_; }

  // Sets the order (see above). 47 with "Order not supported: <text>" when the text names no key
  // of the primary file; the previous order stays.
  void SetOrder(std::string_view text);
  const std::string& order() const { return order_text_; }
  // The key the order reads along, nullptr for file order.
  const FileKey* order_key() const;

  // Sets the filter (see above): 0 when it parses and binds; 47 with the "Filter: ..." text when
  // it is refused, the previous filter then staying.
  void SetFilter(std::string_view text);
  const std::string& filter() const { return filter_text_; }

  // Sets reading to a starting point of the order: 0 is the start of the whole order, and is
  // the only one offered (47 for any other). 37 when not open.
  void SetStart(std::uint8_t position);

  // Reads the next (previous) record of the order into the primary file's record buffer. 37 when
  // the view is not open; 33 at the end.
  void Next();
  void Previous();

 private:
  // Starts the primary file reading along the order set now, with the filter set now.
  void StartOrder();
  // Reads with `step` until a record the filter holds for, or a failure.
  void Read(void (DataFile::*step)());

  std::vector<DataFile*> files_;
  bool open_ = false;
  std::uint8_t access_mode_ = 0;

  int page_size_ = 0;
  int pages_behind_ = 0;
  int pages_ahead_ = 0;
  int buffer_timeout_ = 0;

  std::string order_text_;
  // Index of the primary file's key the order reads along, -1 for file order. An index, not a
  // pointer, so the order survives keys the file declares later.
  int order_key_ = -1;
  std::string filter_text_;
  // The filter set last, and the one reading started with; null for no filter. Shared, so that
  // starting with the filter set costs no copy.
  std::shared_ptr<FilterExpression> filter_;
  std::shared_ptr<FilterExpression> reading_filter_;
};

}  // namespace morlan
