// Shared by the Qt presenter's tests: the presenter main() installs, bounded pumping of the GUI
// thread, and the events a window's queue holds.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/event.h"
#include "platform/qt/qt_presenter.h"
#include "platform/window.h"

namespace morlan::qt_test {

// Hundredths a test waits for the GUI at most.
inline constexpr std::int64_t kPatience = 500;

// The presenter installed for every test.
QtPresenter& Presenter();

// Pumps the GUI thread until `done` answers true or the patience runs out.
bool PumpUntil(const std::function<bool()>& done);

// Runs every update queued to the GUI thread.
void Settle();

// Takes every event queued for `window`, in order.
std::vector<Event> TakeEvents(Window& window);

// Where screenshots go (created when missing): <build dir>/screenshots/<name>.
std::filesystem::path ScreenshotPath(const std::string& name);

}  // namespace morlan::qt_test
