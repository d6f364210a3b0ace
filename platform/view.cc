#include "platform/view.h"

#include <string>

#include "common/text_compare.h"
#include "platform/filter_parser.h"
#include "platform/runtime_error_state.h"

namespace morlan {

namespace {

std::string WithoutBlanks(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (const char c : text) {
    if (c != ' ') result.push_back(c);
  }
  return result;
}

// True when `order` (blanks removed, not empty) is the text form of `key`: its components in
// order, joined by ",", each descending one preceded by "-".
bool OrderNamesKey(std::string_view order, const FileKey& key, const RecordLayout& layout) {
  std::size_t begin = 0;
  for (std::size_t c = 0; c < key.components.size(); ++c) {
    if (begin > order.size()) return false;
    std::size_t end = order.find(',', begin);
    if (end == std::string_view::npos) end = order.size();
    std::string_view part = order.substr(begin, end - begin);
    begin = end + 1;

    const KeyComponent& component = key.components[c];
    const bool descending = !part.empty() && part.front() == '-';
    if (descending) part.remove_prefix(1);
    if (descending == component.ascending) return false;
    if (component.field < 0 || component.field >= layout.field_count()) return false;
    if (part.empty() || !layout.Names(component.field, part)) return false;
  }
  // Every component matched; the text must hold nothing more.
  return begin == order.size() + 1;
}

}  // namespace

View::View(DataFile& primary) { files_.push_back(&primary); }

void View::AddFile(DataFile& file) { files_.push_back(&file); }

DataFile* View::file(int i) const {
  if (i < 0 || i >= file_count()) return nullptr;
  return files_[static_cast<std::size_t>(i)];
}

const FileKey* View::order_key() const {
  if (order_key_ < 0) return nullptr;
  return primary().key(order_key_);
}

void View::Open(std::uint8_t access_mode) {
  if (open_) return RuntimeErrorState::Set(StatusAlreadyOpen);
  // The framework opens the files; a view over a closed primary file could read nothing.
  if (!primary().IsOpen()) return RuntimeErrorState::Set(StatusNotOpen);
  StartOrder();
  if (RuntimeErrorState::code() != StatusOk) return;
  open_ = true;
  access_mode_ = access_mode;
}

void View::Close() {
  if (!open_) return RuntimeErrorState::Set(StatusNotOpen);
  open_ = false;
  RuntimeErrorState::SetOk();
}

void View::SetBuffering(int page_size, int pages_behind, int pages_ahead, int timeout) {
  page_size_ = page_size;
  pages_behind_ = pages_behind;
  pages_ahead_ = pages_ahead;
  buffer_timeout_ = timeout;
  RuntimeErrorState::SetOk();
}

void View::SetOrder(std::string_view text) {
  const std::string order = WithoutBlanks(text);
  if (order.empty()) {
    order_text_ = std::string(text);
    order_key_ = -1;
    return RuntimeErrorState::SetOk();
  }
  const DataFile& file = primary();
  for (int k = 0; k < file.key_count(); ++k) {
    const FileKey* key = file.key(k);
    if (key == nullptr || !OrderNamesKey(order, *key, file.layout())) continue;
    order_text_ = std::string(text);
    order_key_ = k;
    return RuntimeErrorState::SetOk();
  }
  RuntimeErrorState::Set(StatusInvalidRequest, "Order not supported: " + std::string(text));
}

void View::SetFilter(std::string_view text) {
  auto parsed = std::make_shared<FilterExpression>();
  std::string error;
  if (!FilterParser::Parse(text, files_, parsed.get(), &error)) {
    return RuntimeErrorState::Set(StatusInvalidRequest, error);
  }
  if (parsed->empty()) {
    filter_text_.clear();
    filter_.reset();
  } else {
    filter_text_ = std::string(text);
    filter_ = std::move(parsed);
  }
  RuntimeErrorState::SetOk();
}

void View::SetStart(std::uint8_t position) {
  if (!open_) return RuntimeErrorState::Set(StatusNotOpen);
  if (position != 0) {
    return RuntimeErrorState::Set(StatusInvalidRequest,
                                  "Start position not supported: " + std::to_string(position));
  }
  StartOrder();
}

void View::Next() { Read(&DataFile::Next); }

void View::Previous() { Read(&DataFile::Previous); }

void View::Read(void (DataFile::*step)()) {
  if (!open_) return RuntimeErrorState::Set(StatusNotOpen);
  DataFile& file = primary();
  for (;;) {
    (file.*step)();
    if (RuntimeErrorState::code() != StatusOk) return;
    if (reading_filter_ == nullptr || reading_filter_->Matches()) return;
  }
}

void View::StartOrder() {
  const FileKey* key = order_key();
  if (key == nullptr) {
    primary().SetStart();
  } else {
    primary().SetKeyStart(*key);
  }
  if (RuntimeErrorState::code() == StatusOk) reading_filter_ = filter_;
}

}  // namespace morlan
