// The program as a person runs it, on screen: start-up, the frame, "Fix QDL" chosen from its
// menu bar, the progress window inside the frame, Exit. Runs the same start-up main() runs, in a
// scratch folder holding a copy of the sample dictionary. Leaves screenshots/program_menu.png
// (the frame with its File menu open) and program_run.png (a run part-way).
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/dictionary.h"
#include "app/fix_procedure.h"
#include "app/frame_procedure.h"
#include "app/globals.h"
#include "app/program.h"
#include "gtest/gtest.h"
#include "platform/drag_setting.h"
#include "platform/presenter.h"
#include "platform/qt/qt_test_support.h"
#include "platform/qt/qt_window.h"
#include "platform/runtime.h"
#include "platform/steady_clock.h"
#include "testing/bounded_wait.h"
#include "testing/read_hook_file.h"
#include "testing/temp_dir.h"

namespace morlan {
namespace {

using namespace std::chrono_literals;

constexpr char kProgressId[] = "P1$PROGRESSWINDOW";
// The sample repeated this often (about 4.5 MB, 144,000 lines).
constexpr int kCopies = 500;
// A timer event of the progress window goes on for half a second, and the window shows the run
// between events; a disk this slow (1 ms every 50 lines) makes the long input a run of about
// three seconds, so the person sees it part-way.
constexpr int kLinesPerPause = 50;

std::string Source(const std::string& file) {
  std::ifstream in(std::string(MORLAN_SOURCE_DIR) + "/" + file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Repeated(const std::string& text, int copies) {
  std::string all;
  all.reserve(text.size() * static_cast<std::size_t>(copies));
  for (int i = 0; i < copies; ++i) all += text;
  return all;
}

const ControlSnapshot* Control(const WindowSnapshot& window, int number) {
  for (const ControlSnapshot& c : window.controls) {
    if (c.number == number) return &c;
  }
  return nullptr;
}

// Passes everything on to the Qt presenter. Once armed, it holds the fix run's thread at the
// first progress update showing at least `hold_at` percent, with the percent text agreeing, until
// the test lets it go or close-down begins: the test sees a run part-way however fast it goes.
class HoldingPresenter final : public Presenter {
 public:
  explicit HoldingPresenter(Presenter& inner) : inner_(inner) {}

  void Arm(int hold_at) {
    hold_at_ = hold_at;
    held_ = false;
    released_ = false;
  }
  bool held() const { return held_; }
  void Release() { released_ = true; }
  int progress_window() const { return progress_window_; }
  int held_percent() const { return held_percent_; }

  void WindowOpened(const WindowSnapshot& snapshot) override {
    if (snapshot.definition_id == kProgressId) progress_window_ = snapshot.id;
    inner_.WindowOpened(snapshot);
  }
  void WindowChanged(const WindowSnapshot& snapshot) override {
    inner_.WindowChanged(snapshot);
    if (snapshot.definition_id != kProgressId || hold_at_ == 0) return;
    const ControlSnapshot* bar = Control(snapshot, kProgressThermometer);
    const ControlSnapshot* percent = Control(snapshot, kProgressPercentText);
    if (bar == nullptr || percent == nullptr || bar->value < hold_at_) return;
    if (percent->text != std::to_string(bar->value) + "% Complete") return;
    hold_at_ = 0;
    held_percent_ = bar->value;
    held_ = true;
    // Bounded: a test that never lets go fails on its own waits, not here.
    (void)testing::WaitUntil([this] { return released_.load() || Runtime::ClosingDown(); }, 20s);
  }
  void WindowClosed(int window_id) override { inner_.WindowClosed(window_id); }
  ButtonFlags ShowMessageBox(const MessageBoxRequest& request) override {
    return inner_.ShowMessageBox(request);
  }
  void Halt(int exit_code, std::string_view text) override { inner_.Halt(exit_code, text); }
  bool PumpsEvents() const override { return inner_.PumpsEvents(); }
  void PumpUntilWoken(std::int64_t deadline_hundredths) override {
    inner_.PumpUntilWoken(deadline_hundredths);
  }
  void Wake() override { inner_.Wake(); }
  void BeforeWait(int window_id) override { inner_.BeforeWait(window_id); }
  void SetWaitCursor(bool on) override { inner_.SetWaitCursor(on); }
  void Beep(int frequency, int duration) override { inner_.Beep(frequency, duration); }
  FrameActions& frame_actions() override { return inner_.frame_actions(); }

 private:
  Presenter& inner_;
  std::atomic<int> hold_at_{0};
  std::atomic<bool> held_{false};
  std::atomic<bool> released_{false};
  std::atomic<int> progress_window_{0};
  std::atomic<int> held_percent_{0};
};

// What a person does while the program runs, one step after another: each step is asked every
// 10 ms on the GUI thread (from inside the program's own event loop) until it answers true.
// A step that does not within its patience fails the test and the person chooses Exit.
class Person final {
 public:
  void Then(std::string what, std::function<bool()> step, std::chrono::seconds patience = 10s) {
    steps_.push_back({std::move(what), std::move(step), patience});
  }

  void Start() {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start(10);
  }
  bool done() const { return next_ == steps_.size(); }

  // The program's frame on screen, or nullptr.
  static QtWindow* Frame() {
    for (QWidget* top : QApplication::topLevelWidgets()) {
      auto* window = dynamic_cast<QtWindow*>(top);
      if (window != nullptr && window->mdi_area() != nullptr && window->isVisible()) {
        return window;
      }
    }
    return nullptr;
  }

 private:
  struct Step {
    std::string what;
    std::function<bool()> step;
    std::chrono::seconds patience;
  };

  void Poll() {
    if (done()) return;
    const auto now = std::chrono::steady_clock::now();
    if (!started_) {
      started_ = true;
      since_ = now;
    }
    Step& step = steps_[next_];
    if (step.step()) {
      ++next_;
      started_ = false;
      return;
    }
    if (now - since_ < step.patience) return;
    ADD_FAILURE() << "never happened: " << step.what;
    next_ = steps_.size();
    if (QtWindow* frame = Frame()) frame->control_action(kMenuExit)->trigger();
  }

  QTimer timer_;
  std::vector<Step> steps_;
  std::size_t next_ = 0;
  bool started_ = false;
  std::chrono::steady_clock::time_point since_;
};

// The frame and every popup menu over it, as a person sees them.
QImage Screen(QtWindow& frame) {
  QImage image = frame.grab().toImage();
  QPainter painter(&image);
  for (QWidget* top : QApplication::topLevelWidgets()) {
    auto* menu = qobject_cast<QMenu*>(top);
    if (menu == nullptr || !menu->isVisible()) continue;
    painter.drawPixmap(frame.mapFromGlobal(menu->geometry().topLeft()), menu->grab());
  }
  return image;
}

void SaveScreenshot(const QImage& image, const std::string& name) {
  const std::filesystem::path png = qt_test::ScreenshotPath(name);
  std::filesystem::remove(png);
  EXPECT_TRUE(image.save(QString::fromStdString(png.string()), "PNG")) << png;
}

// Each test runs the program as main() does, in a scratch folder of its own, over the Qt
// presenter the test main installed, and then gives the runtime back as it found it.
class ProgramScreenshotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char cwd[PATH_MAX];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    home_ = cwd;
    ASSERT_EQ(::chdir(dir_.path().c_str()), 0);
  }

  void TearDown() override {
    Runtime::Reset();
    Runtime::InstallPresenter(&qt_test::Presenter());
    Runtime::Start();
    EXPECT_EQ(::chdir(home_.c_str()), 0);
  }

  // The program from its module set-ups to its end, with `person` acting on the screen.
  int RunTheProgram(Person& person) {
    ModuleInitialisers modules;
    SteadyClock clock;
    Runtime::InstallClock(&clock);
    Runtime::InstallPresenter(&presenter_);
    UseDictionaryFiles(&slow_input_, nullptr);
    SystemDragSetting drag;
    person.Start();
    testing::Watchdog watchdog("the program to end", 60s);
    const int exit_code = RunProgram(drag);
    EXPECT_EQ(Runtime::RunningThreads(), 0) << "a fix run outlived the program";
    UseDictionaryFiles(nullptr, nullptr);
    Runtime::InstallClock(nullptr);
    return exit_code;
  }

  // Chooses `control` on the frame's menu bar.
  static bool Choose(int control) {
    QtWindow* frame = Person::Frame();
    if (frame == nullptr) return false;
    QAction* action = frame->control_action(control);
    if (action == nullptr || !action->isEnabled()) return false;
    action->trigger();
    return true;
  }

  static QAction* FixQdl() {
    QtWindow* frame = Person::Frame();
    return frame != nullptr ? frame->control_action(kMenuFixQdl) : nullptr;
  }

  QtWindow* Progress() const { return qt_test::Presenter().widget(presenter_.progress_window()); }

  std::string Output() const { return dir_.Read(kOutputFileName); }

  testing::TempDir dir_;
  std::string home_;
  HoldingPresenter presenter_{qt_test::Presenter()};
  testing::ReadHookFile slow_input_{InpFile(), [](int reads) {
                                      if (reads % kLinesPerPause == 0) {
                                        std::this_thread::sleep_for(1ms);
                                      }
                                    }};
};

TEST_F(ProgramScreenshotTest, FixQdlFromTheMenuBarRewritesTheDictionaryWithItsProgressInTheFrame) {
  const std::string sample = Source("examples/VRSQ1.qdl");
  const std::string expected = Source("examples/expected/VRSQ2.qdl");
  ASSERT_FALSE(sample.empty());
  ASSERT_FALSE(expected.empty());
  dir_.Write(kInputFileName, sample);

  Person person;
  QtWindow* frame = nullptr;
  person.Then("the frame shows", [&] {
    frame = Person::Frame();
    return frame != nullptr && frame->windowTitle() == "Application";
  });
  person.Then("the File menu opens", [&] {
    frame->activateWindow();
    QAction* file = frame->control_action(kMenuFile);
    frame->menuBar()->setActiveAction(file);
    if (!file->menu()->isVisible()) return false;
    file->menu()->setActiveAction(frame->control_action(kMenuExit));
    qt_test::Settle();
    EXPECT_EQ(frame->statusBar()->currentMessage(), "Exit this application");
    SaveScreenshot(Screen(*frame), "program_menu.png");
    file->menu()->hide();
    return true;
  });

  // The sample, from the menu bar's own command: exactly the expected dictionary.
  person.Then("Fix QDL is chosen", [] { return Choose(kMenuFixQdl); });
  person.Then("the sample run ends", [&] {
    return Runtime::RunningThreads() == 0 && FixQdl()->isEnabled() &&
           std::filesystem::exists(dir_.File(kOutputFileName));
  });
  person.Then("the sample output is checked", [&] {
    EXPECT_EQ(Output(), expected);
    return true;
  });

  // A long run, held part-way: the progress window shows inside the frame and the command is
  // greyed until the run ends.
  person.Then("a long input is written", [&] {
    dir_.Write(kInputFileName, Repeated(sample, kCopies));
    presenter_.Arm(40);
    return true;
  });
  person.Then("Fix QDL is chosen again", [] { return Choose(kMenuFixQdl); });
  person.Then("the run is part-way", [&] {
    if (!presenter_.held()) return false;
    qt_test::Settle();
    QtWindow* progress = Progress();
    if (progress == nullptr) return false;
    if (progress->subwindow() == nullptr) {
      ADD_FAILURE() << "the progress window opened outside the frame";
      presenter_.Release();
      return true;
    }
    auto* bar = qobject_cast<QProgressBar*>(progress->control_widget(kProgressThermometer));
    auto* percent = qobject_cast<QLabel*>(progress->control_widget(kProgressPercentText));
    if (bar == nullptr || percent == nullptr || bar->value() != presenter_.held_percent()) {
      return false;
    }
    EXPECT_EQ(progress->subwindow()->mdiArea(), frame->mdi_area());
    EXPECT_TRUE(progress->subwindow()->isVisible());
    EXPECT_EQ(progress->subwindow()->windowTitle(), "Processing Records");
    EXPECT_GT(bar->value(), 0);
    EXPECT_LT(bar->value(), 100);
    EXPECT_EQ(percent->text(), QString::number(bar->value()) + "% Complete");
    EXPECT_TRUE(frame->mdi_area()->viewport()->rect().contains(progress->subwindow()->geometry()))
        << "the progress window lies inside the frame";
    EXPECT_FALSE(FixQdl()->isEnabled()) << "Fix QDL is greyed while a run is in progress";
    SaveScreenshot(Screen(*frame), "program_run.png");
    presenter_.Release();
    return true;
  });
  person.Then(
      "the long run ends",
      [&] {
        return Runtime::RunningThreads() == 0 && FixQdl()->isEnabled() &&
               frame->mdi_area()->subWindowList().isEmpty();
      },
      30s);
  person.Then("Exit is chosen", [] { return Choose(kMenuExit); });

  EXPECT_EQ(RunTheProgram(person), 0);
  EXPECT_TRUE(person.done());
  EXPECT_TRUE(Output() == Repeated(expected, kCopies)) << "the long run's output differs";
  EXPECT_TRUE(dir_.Read(kInputFileName) == Repeated(sample, kCopies)) << "the input was written";
}

TEST_F(ProgramScreenshotTest, ExitDuringARunStopsItWithWholeLinesWrittenAndEndsTheProgram) {
  const std::string sample = Source("examples/VRSQ1.qdl");
  const std::string expected = Repeated(Source("examples/expected/VRSQ2.qdl"), kCopies);
  dir_.Write(kInputFileName, Repeated(sample, kCopies));

  Person person;
  presenter_.Arm(20);
  person.Then("Fix QDL is chosen", [] { return Choose(kMenuFixQdl); });
  person.Then("the run is part-way", [&] { return presenter_.held(); });
  // The frame closes while the run is held: close-down reaches the run, which stops.
  person.Then("Exit is chosen", [] {
    QtWindow* frame = Person::Frame();
    if (frame == nullptr) return false;
    frame->control_action(kMenuExit)->trigger();
    return true;
  });

  EXPECT_EQ(RunTheProgram(person), 0);
  EXPECT_TRUE(person.done());
  const std::string output = Output();
  EXPECT_FALSE(output.empty());
  EXPECT_LT(output.size(), expected.size()) << "the run went on to the end";
  EXPECT_TRUE(expected.compare(0, output.size(), output) == 0)
      << "the output is not a prefix of the complete one";
  EXPECT_TRUE(output.empty() || output.back() == '\n') << "a line was cut";
  // Its closing may still be queued to the GUI thread.
  EXPECT_TRUE(qt_test::PumpUntil([&] {
    return qt_test::Presenter().widget(presenter_.progress_window()) == nullptr;
  })) << "the progress window stayed";
}

}  // namespace
}  // namespace morlan
