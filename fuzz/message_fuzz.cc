// Fuzz target for the error manager's messages: a message, its title and every value a
// placeholder can take come from the input, and the message is raised through a manager whose
// message box and history window only record what they are given.
//
// Input: a first byte of options, then LF-separated lines: the message, the title, the file name,
// the message text, the error text, the driver's error code, the driver's error text, the
// procedure name, the category and an earlier message of the same id (for %Previous).
// Options: bit 0 the driver reported the error (code 90, else 2); bits 1-2 the entry's fatality
// (notify, ask, cancelled, none); bit 3 history on; bit 4 the earlier message is loaded; bit 5 the
// procedure is entered; bit 6 the answer to a question is Yes; bit 7 an id without entry is raised.
//
// Checked: no crash and no hang; what is shown, recorded or expanded stays within its capacity;
// the box shows the expansion with the entry's title and the raise returns the level its fatality
// and the answer call for; and values are inserted as they are: expanding with every "%" of the
// values swapped for another byte gives the same text once swapped back, so no placeholder a
// value brings in is ever replaced. A breach traps, so the fuzzer (and the corpus replay in the
// normal test suite) reports it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/codes.h"
#include "common/levels.h"
#include "errors/error_manager.h"
#include "errors/message_expansion.h"
#include "fuzz/fuzz_support.h"
#include "platform/runtime_error_state.h"

namespace morlan {
namespace {

using fuzzing::Require;
using fuzzing::Trap;

constexpr ErrorId kId = 900;
constexpr ErrorId kMissingId = 60000;
// Stands in for "%" in the values of the second expansion; taken out of the input beforehand.
constexpr char kStandIn = '\x01';

// Records what would be shown instead of showing it.
class RecordingErrorManager final : public ErrorManager {
 public:
  ButtonFlags ShowMessageBox(std::string_view text, std::string_view caption, MessageIcon,
                             ButtonFlags buttons, ButtonFlags, int) override {
    ++shown;
    text_ = std::string(text);
    caption_ = std::string(caption);
    return (buttons & ButtonYes) != 0 && answer_yes ? ButtonYes : ButtonNo;
  }
  ButtonFlags RunHistoryWindow(std::string_view caption, int, ButtonFlags,
                               ButtonFlags default_button) override {
    ++shown;
    caption_ = std::string(caption);
    text_.clear();
    return default_button;
  }

  bool answer_yes = false;
  int shown = 0;
  std::string text_;
  std::string caption_;
};

std::string_view TakeLine(std::string_view& input) {
  const std::size_t lf = input.find('\n');
  const std::string_view line = input.substr(0, lf);
  input.remove_prefix(lf == std::string_view::npos ? input.size() : lf + 1);
  return line;
}

// One entry of an encoded message table; texts are cut to the format's 255 bytes.
void Encode(std::vector<std::uint8_t>& table, ErrorId id, Level fatality, std::string_view title,
            std::string_view message) {
  ++table[0];
  table.push_back(static_cast<std::uint8_t>(id & 0xFF));
  table.push_back(static_cast<std::uint8_t>(id >> 8));
  table.push_back(fatality);
  for (std::string_view text : {title, message}) {
    text = text.substr(0, 255);
    table.push_back(static_cast<std::uint8_t>(text.size()));
    table.insert(table.end(), text.begin(), text.end());
  }
}

std::string Swapped(std::string_view text, char from, char to) {
  std::string out(text);
  std::replace(out.begin(), out.end(), from, to);
  return out;
}

// Expands `message` directly, with values of any length, twice: as given, and with the values'
// "%" swapped for kStandIn. Both must agree once swapped back, and neither may pass the capacity.
void CheckExpansion(std::string_view message, const std::vector<std::string>& lines) {
  std::vector<std::string> swapped;
  for (const std::string& line : lines) swapped.push_back(Swapped(line, '%', kStandIn));
  const auto values = [](const std::vector<std::string>& v) {
    PlaceholderValues p;
    std::string_view PlaceholderValues::*const members[] = {&PlaceholderValues::file_error_code,
                                                            &PlaceholderValues::file_error,
                                                            &PlaceholderValues::file,
                                                            &PlaceholderValues::error_code,
                                                            &PlaceholderValues::error_text,
                                                            &PlaceholderValues::error,
                                                            &PlaceholderValues::message,
                                                            &PlaceholderValues::field,
                                                            &PlaceholderValues::procedure,
                                                            &PlaceholderValues::category,
                                                            &PlaceholderValues::previous};
    for (std::size_t i = 0; i < std::size(members); ++i) p.*members[i] = v[i % v.size()];
    return p;
  };
  const std::string plain = ExpandPlaceholders(message, values(lines));
  const std::string stand_in = ExpandPlaceholders(message, values(swapped));
  Require(plain.size() <= kMessageExpansionCapacity);
  Require(Swapped(stand_in, kStandIn, '%') == plain);
  // Without a "%" there is nothing to replace.
  if (message.find('%') == std::string_view::npos) {
    Require(plain == message.substr(0, kMessageExpansionCapacity));
  }
}

}  // namespace
}  // namespace morlan

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace morlan;
  if (size == 0) return 0;
  const unsigned options = data[0];
  const std::string text =
      Swapped({reinterpret_cast<const char*>(data) + 1, size - 1}, kStandIn, '\x02');
  std::string_view input = text;
  const std::string_view message = TakeLine(input);
  const std::string_view title = TakeLine(input);
  std::vector<std::string> lines;
  while (lines.size() < 8) lines.emplace_back(TakeLine(input));
  const std::string_view earlier = TakeLine(input);
  lines.emplace_back(earlier);

  CheckExpansion(message, lines);

  constexpr Level kFatalities[] = {FatalityNotify, FatalityAsk, FatalityCancelled, FatalityNone};
  const Level fatality = kFatalities[(options >> 1) & 3];
  std::vector<std::uint8_t> first = {0, 0};
  std::vector<std::uint8_t> second = {0, 0};
  Encode(first, kId, FatalityNotify, "earlier", earlier);
  Encode(second, kId, fatality, title, message);

  RecordingErrorManager errors;
  errors.InitStandard();
  errors.answer_yes = (options & 64) != 0;
  if ((options & 16) != 0) errors.LoadMessageTable(first);
  errors.LoadMessageTable(second);
  if ((options & 8) != 0) errors.HISTORYTHRESHOLD = 3;
  if ((options & 32) != 0) errors.EnterProcedure(lines[5]);
  errors.AssignCategory(kId, lines[6]);
  errors.SetFileName(lines[0]);

  RuntimeErrorState::Saved state;
  state.code = (options & 1) != 0 ? StatusDriverError : StatusNotFound;
  state.text.Assign(lines[2]);
  state.driver_code.Assign(lines[3]);
  state.driver_text.Assign(lines[4]);
  RuntimeErrorState::Restore(state);

  const ErrorId id = (options & 128) != 0 ? kMissingId : kId;
  const Level level = errors.RaiseWithText(id, lines[1]);
  errors.FindEntry(id);
  const std::string expanded = errors.ExpandMessage();
  Require(expanded.size() <= ErrorManager::kExpansionCapacity);

  if (id == kId && fatality == FatalityNone) {
    Require(level == FatalityNone && errors.shown == 0);
  } else if (id == kId && fatality != FatalityNotify) {
    Require(errors.shown == 1 && errors.text_ == expanded &&
            errors.caption_ == title.substr(0, 255));
    Require(level == (errors.answer_yes ? FatalityNone : FatalityCancelled));
  } else {
    Require(level == FatalityNotify);
    // With history on a notification is only recorded.
    if ((options & 8) == 0) {
      Require(errors.shown == 1 && errors.text_ == expanded);
      if (id == kId) Require(errors.caption_ == title.substr(0, 255));
    }
  }
  for (const ErrorManager::HistoryEntry& entry : errors.history()) {
    Require(entry.TXT.size() <= ErrorManager::kHistoryTextCapacity);
    Require(std::string_view(expanded).starts_with(entry.TXT));
  }
  if ((options & 32) != 0) errors.LeaveProcedure();
  errors.Kill();
  return 0;
}
