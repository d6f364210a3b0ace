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
// Filter: an empty filter delivers every record. Filter expressions are not evaluated yet, so a
// non-empty filter is refused with 47 rather than ignored.
//
// SetOrder and SetFilter take effect at the next Open or SetStart; a view that is already reading
// reads on in the order it started with.
//
// Error state: every operation except the plain accessors leaves the calling thread's
// RuntimeErrorState set (0 on success). Reading passes on the primary file's status (33 at the
// end, 43 for a held record, ...).
//
// Threading: not internally synchronised; one thread at a time, as its files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/data_file.h"
#include "platform/file_key.h"

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

  // Sets the filter (see above). 47 for a non-empty filter; the previous filter stays.
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
  // Starts the primary file reading along the order set now.
  void StartOrder();

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
};

}  // namespace morlan
