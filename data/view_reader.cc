#include "data/view_reader.h"

#include <charconv>
#include <optional>
#include <string>
#include <utility>

#include "common/codes.h"
#include "data/file_manager.h"
#include "data/file_relations.h"
#include "data/file_usage_tracker.h"
#include "platform/runtime_error_state.h"
#include "platform/view.h"

namespace morlan {

namespace {

constexpr std::string_view kAnd = " AND ";

StatusCode Code() { return RuntimeErrorState::code(); }

// The value of `pair`'s RIGHT side as a filter compares it: text when LEFT is a text field, a
// number otherwise. Nothing for a text that is no number where a number is wanted: written
// unquoted it would be read as part of the expression.
std::optional<FieldValue> RangeValue(const FieldPair& pair) {
  const FieldValue value = pair.RIGHT.Get();
  if (pair.LEFT.is_text()) {
    if (value.is_text()) return FieldValue::Text(ClipText(value.text()));
    char digits[32];
    const auto result = std::to_chars(digits, digits + sizeof digits, value.number());
    return FieldValue::Text({digits, static_cast<std::size_t>(result.ptr - digits)});
  }
  if (!value.is_text()) return value;
  double number = 0;
  if (ClipText(value.text()).empty()) return FieldValue::Number(0);
  if (!ParseNumber(value.text(), &number)) return std::nullopt;
  return FieldValue::Number(number);
}

}  // namespace

// --- Set-up and sort orders ---

void ViewReader::Init(View* view, FileRelations* primary, ViewOrderList* order) {
  VIEW = view;
  PRIMARY = primary;
  if (order == nullptr) {
    own_order_ = std::make_unique<ViewOrderList>();
    ORDER = own_order_.get();
    DISPOSEORDER = 1;
  } else {
    own_order_.reset();
    ORDER = order;
    DISPOSEORDER = 0;
  }
  PAGESIZE = 20;
  PAGESBEHIND = 2;
  PAGESAHEAD = 0;
  TIMEOUT = 60;
  UseViewFiles();
}

int ViewReader::AddSortOrder(const FileKey* key) {
  if (ORDER == nullptr) return 0;
  FileManager* manager = PrimaryManager();
  ViewOrderEntry entry;
  entry.MAINKEY = key;
  entry.RANGELIST = std::make_unique<FieldPairs>();
  entry.RANGELIST->Init();
  if (key != nullptr && manager != nullptr && manager->KeyComponentCount(key) != 0) {
    entry.FREEELEMENT = manager->KeyComponentField(key, 1);
  }
  ORDER->ENTRIES.push_back(std::move(entry));
  ORDER->CURRENT = ORDER->ENTRIES.size();
  SetOrder(manager != nullptr ? manager->KeyOrderText(key, 1) : std::string());
  return static_cast<int>(ORDER->ENTRIES.size());
}

ViewOrderEntry* ViewReader::CurrentOrder() {
  if (ORDER == nullptr || ORDER->CURRENT == 0 || ORDER->CURRENT > ORDER->ENTRIES.size()) {
    return nullptr;
  }
  return &ORDER->ENTRIES[ORDER->CURRENT - 1];
}

std::uint8_t ViewReader::SelectSortOrder(std::uint8_t n) {
  if (ORDER == nullptr) return 0;
  const std::size_t position = n == 0 ? 1 : n;
  if (position == ORDER->CURRENT || position > ORDER->ENTRIES.size()) return 0;
  ORDER->CURRENT = position;
  return 1;
}

void ViewReader::SetOrder(std::string_view text) {
  ViewOrderEntry* entry = CurrentOrder();
  if (entry == nullptr) return;
  const std::string_view clipped = ClipText(text);
  if (clipped.empty()) {
    entry->ORDER.reset();
    return;
  }
  // Built before the old text goes: `text` may be part of it.
  std::string order(clipped);
  entry->ORDER = std::move(order);
}

void ViewReader::AddOrderText(std::string_view text) {
  ViewOrderEntry* entry = CurrentOrder();
  if (entry == nullptr) return;
  if (!entry->ORDER) return SetOrder(text);
  // Nothing to add: a trailing "," would only make the view refuse the order.
  if (ClipText(text).empty()) return;
  if (text.front() == '*') return SetOrder(text.substr(1));
  std::string order = *entry->ORDER;
  order += ',';
  order += text;
  SetOrder(order);
}

void ViewReader::SetFilter(std::string_view text) { SetFilter(text, kDefaultFilterName); }

void ViewReader::SetFilter(std::string_view text, std::string_view name) {
  ViewOrderEntry* entry = CurrentOrder();
  if (entry == nullptr) return;
  if (!entry->FILTER) entry->FILTER = std::make_unique<std::vector<ViewFilterEntry>>();
  std::vector<ViewFilterEntry>& filters = *entry->FILTER;
  const FixedText<30> id(name);
  // Descending names: the place of `id` is before the first smaller name.
  auto place = filters.begin();
  while (place != filters.end() && place->ID.view() > id.view()) ++place;
  const bool found = place != filters.end() && place->ID.view() == id.view();
  const std::string_view clipped = ClipText(text);
  if (clipped.empty()) {
    if (found) filters.erase(place);
    return;
  }
  if (found) {
    place->FILTER = std::string(clipped);
    return;
  }
  filters.insert(place, ViewFilterEntry{id, std::string(clipped)});
}

// --- Range limits ---

std::size_t ViewReader::PairCount(const ViewOrderEntry& entry) {
  return entry.RANGELIST != nullptr ? entry.RANGELIST->Count() : 0;
}

std::string ViewReader::RangeProblem(std::uint8_t limit_type, std::size_t pairs,
                                     const FileKey* key) {
  if (limit_type > LimitFollowAll) {
    return "Unknown kind of range limit " + std::to_string(limit_type);
  }
  if (limit_type == LimitNone) {
    return pairs == 0 ? std::string() : "Range pairs given without a kind of range limit";
  }
  if (pairs == 0) return "A range limit without range pairs";
  if (limit_type == LimitBetween && pairs < 2) return "A range between bounds needs 2 pairs";
  if (pairs > kMaxRangePairs) return "More than 255 range pairs";
  FileManager* manager = PrimaryManager();
  const int components = key != nullptr && manager != nullptr ? manager->KeyComponentCount(key) : 0;
  if (components == 0) return "A range limit needs a key of the primary file";
  const std::size_t limited = limit_type == LimitBetween ? pairs - 1 : pairs;
  if (limited > static_cast<std::size_t>(components)) {
    return "The range limits " + std::to_string(limited) + " key components; the key has " +
           std::to_string(components);
  }
  return {};
}

std::string ViewReader::RangeProblem(const ViewOrderEntry& entry) {
  // Pairs left over without a kind are never used.
  if (entry.LIMITTYPE == LimitNone) return {};
  return RangeProblem(entry.LIMITTYPE, PairCount(entry), entry.MAINKEY);
}

Level ViewReader::SetRange(std::uint8_t limit_type, const std::vector<RangePair>& pairs) {
  ViewOrderEntry* entry = CurrentOrder();
  if (entry == nullptr) return Refuse(ErrViewOpen, "There is no sort order to limit");
  const std::string problem = RangeProblem(limit_type, pairs.size(), entry->MAINKEY);
  if (!problem.empty()) return Refuse(ErrViewOpen, problem);
  for (const RangePair& pair : pairs) {
    if (!pair.LEFT.valid() || !pair.RIGHT.valid()) {
      return Refuse(ErrViewOpen, "A range pair refers to no field");
    }
  }
  if (entry->RANGELIST == nullptr) entry->RANGELIST = std::make_unique<FieldPairs>();
  entry->RANGELIST->Init();
  for (const RangePair& pair : pairs) entry->RANGELIST->AddPair(pair.LEFT, pair.RIGHT);
  entry->LIMITTYPE = limit_type;
  FileManager* manager = PrimaryManager();
  const std::uint8_t free = FreeComponentPosition();
  entry->FREEELEMENT = free != 0 && manager != nullptr
                           ? manager->KeyComponentField(entry->MAINKEY, free)
                           : FieldRef();
  return FatalityNone;
}

std::uint8_t ViewReader::FreeComponentPosition() {
  ViewOrderEntry* entry = CurrentOrder();
  FileManager* manager = PrimaryManager();
  if (entry == nullptr || entry->MAINKEY == nullptr || manager == nullptr) return 0;
  if (!RangeProblem(*entry).empty()) return 0;
  std::size_t position = entry->LIMITTYPE == LimitNone ? 0 : PairCount(*entry);
  if (entry->LIMITTYPE != LimitBetween) ++position;
  const int count = manager->KeyComponentCount(entry->MAINKEY);
  // Past the key, or past what a byte can name: no free component.
  if (position > static_cast<std::size_t>(count) || position > 255) return 0;
  return static_cast<std::uint8_t>(position);
}

std::string ViewReader::FreeComponentName() {
  const std::uint8_t position = FreeComponentPosition();
  if (position == 0) return {};
  return PrimaryManager()->KeyComponentLabel(CurrentOrder()->MAINKEY, position);
}

std::uint8_t ViewReader::RefreshRange() {
  ViewOrderEntry* entry = CurrentOrder();
  if (entry == nullptr || entry->RANGELIST == nullptr || !RangeProblem(*entry).empty()) return 0;
  FieldPairs& range = *entry->RANGELIST;
  const std::size_t n = range.Count();
  switch (entry->LIMITTYPE) {
    case LimitBetween: {
      FieldPair& low = (*range.LIST)[n - 2];
      if (!low.RIGHT.Holds(low.LEFT)) {
        FieldPair& high = (*range.LIST)[n - 1];
        low.RIGHT.Set(low.LEFT.Get());
        high.RIGHT.Set(high.LEFT.Get());
        WriteViewFilter();
        return 1;
      }
      [[fallthrough]];
    }
    case LimitFollowLast: {
      FieldPair& last = (*range.LIST)[n - 1];
      if (last.RIGHT.Holds(last.LEFT)) return 0;
      last.RIGHT.Set(last.LEFT.Get());
      WriteViewFilter();
      return 1;
    }
    case LimitFollowAll:
      if (range.EqualRightBuffer()) return 0;
      range.AssignRightToBuffer();
      WriteViewFilter();
      return 1;
    default:
      return 0;
  }
}

// --- Texts for the view ---

bool ViewReader::AppendCondition(std::string* text, std::string_view separator,
                                 std::string_view name, std::string_view op, const FieldPair& pair,
                                 std::string* reason) {
  // Cutting either text would change the condition or break the expression: refuse instead.
  if (name.size() > kComponentTextCapacity) {
    *reason = "The key component label " + std::string(name.substr(0, 60)) +
              "... is longer than 499 characters";
    return false;
  }
  const std::optional<FieldValue> value = RangeValue(pair);
  if (!value) {
    *reason = "The range value for " + std::string(name) + " is not a number";
    return false;
  }
  const std::optional<std::string> quoted = FileManager::QuoteValue(*value, name);
  if (!quoted || quoted->size() > kComponentTextCapacity) {
    *reason = "The range value for " + std::string(name) + " is too long for the filter";
    return false;
  }
  *text += separator;
  *text += name;
  *text += op;
  *text += *quoted;
  return true;
}

bool ViewReader::AppendRange(const ViewOrderEntry& entry, std::string* text, std::string* reason) {
  *reason = RangeProblem(entry);
  if (!reason->empty()) return false;
  FileManager* manager = PrimaryManager();
  const std::size_t n = PairCount(entry);
  if (manager == nullptr || n == 0) return true;
  const FieldPairList& pairs = *entry.RANGELIST->LIST;
  const auto name = [&](std::size_t i) {
    return manager->KeyComponentLabel(entry.MAINKEY, static_cast<int>(i));
  };
  const auto sep = [&]() { return text->empty() ? std::string_view() : kAnd; };
  switch (entry.LIMITTYPE) {
    case LimitFixed:
    case LimitFollowLast:
    case LimitFollowAll:
      for (std::size_t i = 1; i <= n; ++i) {
        if (!AppendCondition(text, sep(), name(i), " = ", pairs[i - 1], reason)) return false;
      }
      return true;
    case LimitBetween: {
      for (std::size_t i = 1; i + 2 <= n; ++i) {
        if (!AppendCondition(text, sep(), name(i), " = ", pairs[i - 1], reason)) return false;
      }
      // Both bounds are conditions on component n-1.
      const std::string bounded = name(n - 1);
      return AppendCondition(text, sep(), bounded, " >= ", pairs[n - 2], reason) &&
             AppendCondition(text, kAnd, bounded, " <= ", pairs[n - 1], reason);
    }
    default:
      return true;
  }
}

bool ViewReader::BuildFilterText(std::string* text, std::string* reason) {
  text->clear();
  reason->clear();
  const ViewOrderEntry* entry = CurrentOrder();
  if (entry == nullptr) return true;
  if (!AppendRange(*entry, text, reason)) {
    text->clear();
    return false;
  }
  if (entry->FILTER) {
    for (const ViewFilterEntry& filter : *entry->FILTER) {
      *text += text->empty() ? "(" : " AND (";
      *text += filter.FILTER;
      *text += ')';
    }
  }
  if (text->size() > kFilterCapacity) {
    // A cut filter would select other records, or none.
    text->clear();
    *reason = "The filter is longer than 4999 characters";
    return false;
  }
  return true;
}

void ViewReader::WriteViewFilter() {
  if (VIEW == nullptr) return;
  std::string text;
  std::string reason;
  if (!BuildFilterText(&text, &reason)) {
    Refuse(ErrViewOpen, reason);
    VIEW->SetFilter({});
    return;
  }
  VIEW->SetFilter(text);
  if (Code() == StatusOk) return;
  Post(ErrViewOpen);
  // "Filter and Range Limits ignored": the view must not go on with an earlier filter.
  VIEW->SetFilter({});
}

void ViewReader::WriteViewOrder() {
  if (VIEW == nullptr) return;
  const ViewOrderEntry* entry = CurrentOrder();
  VIEW->SetOrder(entry != nullptr && entry->ORDER ? std::string_view(*entry->ORDER)
                                                  : std::string_view());
  if (Code() != StatusOk) Post(ErrViewOpen);
}

// --- The view ---

void ViewReader::Open() {
  if (VIEW == nullptr) return;
  if (OPENED == 0) {
    VIEW->Open(kViewAccessMode);
    const StatusCode code = Code();
    // A view that did not open is not this reader's: a later Open tries again.
    if (code == StatusOk || code == StatusAlreadyOpen) {
      OPENED = 1;
    } else {
      Post(ErrViewOpen);
    }
    VIEW->SetBuffering(PAGESIZE, PAGESBEHIND, PAGESAHEAD, TIMEOUT);
  }
  WriteViewOrder();
  WriteViewFilter();
}

void ViewReader::Reset(std::uint8_t position) {
  Open();
  // A view that could not be opened has been reported; positioning it would say so again.
  if (VIEW == nullptr || OPENED == 0) return;
  VIEW->SetStart(position);
  if (Code() != StatusOk) Post(ErrViewOpen);
}

void ViewReader::Reset() { Reset(0); }

Level ViewReader::Next() { return Read(true); }

Level ViewReader::Previous() { return Read(false); }

Level ViewReader::Read(bool forward) {
  if (VIEW == nullptr) {
    RuntimeErrorState::Set(StatusNotOpen);
    Post(ErrRecordRetrieval);
    return FatalityHalt;
  }
  for (;;) {
    forward ? VIEW->Next() : VIEW->Previous();
    const StatusCode code = Code();
    if (code == StatusNoRecord) return FatalityNotify;
    if (code != StatusOk) {
      Post(ErrRecordRetrieval);
      return FatalityHalt;
    }
    const std::uint8_t verdict = CheckRecord();
    if (verdict == 0) return FatalityNone;
    if (verdict == 1) return FatalityNotify;
  }
}

std::uint8_t ViewReader::CheckRecord() { return 0; }

Level ViewReader::PrepareNewRecord(bool keep_buffers) {
  if (!keep_buffers && VIEW != nullptr) {
    for (int i = 0; i < VIEW->file_count(); ++i) VIEW->file(i)->ClearRecord();
  }
  FileManager* manager = PrimaryManager();
  if (manager == nullptr) return FatalityHalt;
  const ViewOrderEntry* entry = CurrentOrder();
  // A range that does not fit its key is not applied (writing the filter reports it).
  if (entry != nullptr && entry->RANGELIST != nullptr && RangeProblem(*entry).empty()) {
    const std::size_t n = PairCount(*entry);
    std::size_t limited = 0;
    switch (entry->LIMITTYPE) {
      case LimitFixed:
      case LimitFollowLast:
      case LimitFollowAll:
        limited = n;
        break;
      case LimitBetween:
        limited = n - 2;
        break;
      default:
        break;
    }
    const FieldPairList& pairs = *entry->RANGELIST->LIST;
    for (std::size_t i = 1; i <= limited; ++i) {
      manager->KeyComponentField(entry->MAINKEY, static_cast<int>(i)).Set(pairs[i - 1].RIGHT.Get());
    }
  }
  return manager->PrepareRecord(true);
}

void ViewReader::Close() {
  if (OPENED != 0 && VIEW != nullptr) VIEW->Close();
  OPENED = 0;
}

void ViewReader::Kill() {
  if (ORDER != nullptr) {
    for (ViewOrderEntry& entry : ORDER->ENTRIES) {
      if (entry.RANGELIST != nullptr) {
        entry.RANGELIST->Kill();
        entry.RANGELIST.reset();
      }
      // The range went with its pairs.
      entry.LIMITTYPE = LimitNone;
      entry.FILTER.reset();
      entry.ORDER.reset();
      entry.FREEELEMENT = FieldRef();
    }
  }
  if (DISPOSEORDER != 0) {
    own_order_.reset();
    ORDER = nullptr;
  }
}

Level ViewReader::UseViewFiles() {
  if (VIEW == nullptr) return FatalityNone;
  FileUsageTracker& tracker = FileUsageTracker::Instance();
  for (int i = 0; i < VIEW->file_count(); ++i) {
    FileManager* manager = tracker.FindFile(FileUsageTracker::FileLabel(*VIEW->file(i)));
    if (manager == nullptr) continue;
    const Level level = manager->UseFile(FileUse::kRecords);
    if (level != FatalityNone) return level;
  }
  return FatalityNone;
}

// --- Failures ---

FileManager* ViewReader::PrimaryManager() const {
  return PRIMARY != nullptr ? PRIMARY->ME : nullptr;
}

Level ViewReader::Post(ErrorId id) {
  FileManager* manager = PrimaryManager();
  if (manager == nullptr) return FatalityNotify;
  // The message names the primary file, whichever file the error manager last heard of.
  manager->SelectThreadInfo();
  return manager->PostError(id);
}

Level ViewReader::Refuse(ErrorId id, std::string_view reason) {
  RuntimeErrorState::Set(StatusInvalidRequest, reason);
  const Level level = Post(id);
  return level != FatalityNone ? level : FatalityNotify;
}

}  // namespace morlan
