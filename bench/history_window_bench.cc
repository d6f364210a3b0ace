// Times opening and refreshing the error history window over a short and a long history.
// Usage: history_window_bench
//
// The error manager shows its history in the prepared history window under the headless
// presenter. Each run opens the window (ShowHistory), has a scripted person switch away from it
// and back a few times (each return refreshes the window and refetches its list), then press
// Help, which closes it. Runs alternate between a history of 10 entries and one of 100,000; the
// best time of each counts. Prints both and last "ratio: X" (100,000 entries over 10); the
// target is at most 2, since the list fetches only the rows on screen.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "errors/error_manager.h"
#include "errors/history_window_definition.h"
#include "errors/prepared_history_window.h"
#include "platform/headless_presenter.h"
#include "platform/runtime.h"
#include "platform/user_action.h"

namespace morlan {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRuns = 200;
constexpr int kRefreshes = 5;
constexpr int kShort = 10;
constexpr int kLong = 100000;

double Microseconds(Clock::duration duration) {
  return std::chrono::duration<double, std::micro>(duration).count();
}

class History final {
 public:
  explicit History(int entries) {
    Runtime::InstallPresenter(&presenter_);
    errors_.InitStandard();
    errors_.HISTORYTHRESHOLD = -1;
    errors_.SetHistoryView(&view_);
    for (int i = 1; i <= entries; ++i) {
      ErrorManager::HistoryEntry entry;
      entry.ID = ErrNoRecordsToProcess;
      entry.CATEGORY = "KWT";
      entry.TXT = "Message " + std::to_string(i) + ": there are no records available to process.";
      errors_.AppendHistoryEntry(entry);
    }
    entries_ = entries;
  }
  ~History() {
    errors_.Kill();
    Runtime::Reset();
  }

  // One timed run; a negative time when the window did not show the whole history.
  double Run() {
    Runtime::InstallPresenter(&presenter_);
    presenter_.Clear();
    std::vector<UserAction> person;
    for (int i = 0; i < kRefreshes; ++i) {
      person.push_back(UserAction::Activate(false));
      person.push_back(UserAction::Activate(true));
    }
    person.push_back(UserAction::Click(kHistoryFirstButton));  // Help, the rightmost
    presenter_.ScriptFor(std::string(kHistoryWindowId), std::move(person));

    const Clock::time_point start = Clock::now();
    errors_.ShowHistory();
    const Clock::time_point end = Clock::now();

    const std::vector<WindowSnapshot> shown = presenter_.window_history();
    if (shown.empty()) return -1;
    for (const ControlSnapshot& c : shown.back().controls) {
      if (c.number != kHistoryListControl) continue;
      if (c.total_rows != entries_ || c.value != entries_ || c.rows.empty()) return -1;
      return Microseconds(end - start);
    }
    return -1;
  }

 private:
  HeadlessPresenter presenter_;
  PreparedHistoryWindow view_;
  ErrorManager errors_;
  int entries_ = 0;
};

int Run() {
  History small(kShort);
  History large(kLong);
  double best_small = 1e18;
  double best_large = 1e18;
  for (int run = 0; run < kRuns; ++run) {
    const double s = small.Run();
    const double l = large.Run();
    if (s < 0 || l < 0) {
      std::fprintf(stderr, "the history window did not show the whole history, newest selected\n");
      return 1;
    }
    best_small = std::min(best_small, s);
    best_large = std::min(best_large, l);
  }
  std::printf("refreshes per run: %d\n", kRefreshes);
  std::printf("open+refresh, %d entries: %.1f us\n", kShort, best_small);
  std::printf("open+refresh, %d entries: %.1f us\n", kLong, best_large);
  std::printf("ratio: %.2f\n", best_large / best_small);
  return 0;
}

}  // namespace
}  // namespace morlan

int main(int argc, char** argv) {
  (void)argv;
  if (argc > 1) {
    std::fprintf(stderr, "usage: history_window_bench\n");
    return 2;
  }
  return morlan::Run();
}
