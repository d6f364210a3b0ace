// The Qt presenter tests' own main: the offscreen platform must be chosen before the
// QApplication exists, also when CTest only lists the cases.
#include <unistd.h>

#include <QApplication>
#include <cstdlib>

#include "gtest/gtest.h"
#include "platform/qt/qt_test_support.h"
#include "platform/runtime.h"

namespace morlan::qt_test {

namespace {
QtPresenter* installed = nullptr;
}  // namespace

QtPresenter& Presenter() { return *installed; }

bool PumpUntil(const std::function<bool()>& done) {
  const std::int64_t limit = Runtime::clock().Now() + kPatience;
  while (!done()) {
    if (Runtime::clock().Now() >= limit) return false;
    installed->PumpUntilWoken(Runtime::clock().Now() + 1);
  }
  return true;
}

void Settle() { QCoreApplication::processEvents(); }

std::vector<Event> TakeEvents(Window& window) {
  std::vector<Event> events;
  Event event;
  while (window.queue()->TakeFor(window.id(), &event)) events.push_back(event);
  return events;
}

std::filesystem::path ScreenshotPath(const std::string& name) {
  const std::filesystem::path dir = std::filesystem::path(MORLAN_BUILD_DIR) / "screenshots";
  std::filesystem::create_directories(dir);
  return dir / name;
}

}  // namespace morlan::qt_test

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  char runtime_dir[] = "/tmp/morlan-qt-test-XXXXXX";
  const bool have_runtime_dir = mkdtemp(runtime_dir) != nullptr;
  if (have_runtime_dir) setenv("XDG_RUNTIME_DIR", runtime_dir, 1);

  testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  morlan::Runtime::Start();
  int rc = 0;
  {
    morlan::QtPresenter presenter;
    morlan::qt_test::installed = &presenter;
    morlan::Runtime::InstallPresenter(&presenter);
    rc = RUN_ALL_TESTS();
    // A worker left behind by a failed case may still be using the presenter.
    morlan::qt_test::PumpUntil([] { return morlan::Runtime::RunningThreads() == 0; });
    morlan::Runtime::Reset();
    morlan::qt_test::installed = nullptr;
  }
  if (have_runtime_dir) rmdir(runtime_dir);
  return rc;
}
