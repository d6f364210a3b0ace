#include "platform/runtime.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <clocale>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "platform/event_queue.h"
#include "platform/steady_clock.h"
#include "platform/text_line_file.h"

namespace morlan {

namespace {

std::atomic<Presenter*> installed_presenter{nullptr};
std::atomic<Clock*> installed_clock{nullptr};
std::atomic<ThreadId> last_thread_id{0};
std::atomic<int> running_threads{0};
std::atomic<ThreadId> gui_thread{0};

Clock& DefaultClock() {
  static SteadyClock clock;
  return clock;
}

std::string FormatWallTime(const char* format) {
  const std::time_t now = Runtime::clock().WallTime();
  std::tm parts{};
  localtime_r(&now, &parts);
  char text[128];
  const std::size_t n = std::strftime(text, sizeof text, format, &parts);
  return std::string(text, n);
}

// Lets close-down sleep until the last procedure thread returns.
struct ProcedureThreads {
  std::mutex mutex;
  std::condition_variable ended;
};

ProcedureThreads& procedure_threads() {
  // Never destroyed: a procedure thread may end while static objects are torn down.
  static ProcedureThreads* const threads = new ProcedureThreads;
  return *threads;
}

void* RunProcedure(void* arg) {
  std::unique_ptr<std::function<void()>> procedure(static_cast<std::function<void()>*>(arg));
  (*procedure)();
  procedure.reset();
  ProcedureThreads& threads = procedure_threads();
  {
    std::lock_guard lock(threads.mutex);
    --running_threads;
  }
  threads.ended.notify_all();
  return nullptr;
}

}  // namespace

void Runtime::InstallPresenter(Presenter* presenter) { installed_presenter = presenter; }
void Runtime::InstallClock(Clock* clock) { installed_clock = clock; }

void Runtime::Reset() {
  installed_presenter = nullptr;
  installed_clock = nullptr;
  gui_thread = 0;
  EventQueue::EndCloseDown();
}

Presenter* Runtime::presenter() { return installed_presenter.load(); }

Clock& Runtime::clock() {
  Clock* clock = installed_clock.load();
  return clock != nullptr ? *clock : DefaultClock();
}

void Runtime::Start() {
  std::setlocale(LC_TIME, "");
  MarkGuiThread();
}

bool Runtime::IsCompatible(int version) { return version >= 1 && version <= kVersion; }

bool Runtime::CloseDown() { return StopProcedures(kCloseDownPatience); }

bool Runtime::StopProcedures(std::chrono::milliseconds patience) {
  const auto limit = std::chrono::steady_clock::now() + patience;
  EventQueue::CloseDownEveryWindow();
  ProcedureThreads& threads = procedure_threads();
  while (RunningThreads() > 0) {
    if (std::chrono::steady_clock::now() >= limit) return false;
    // A procedure may be waiting for the GUI thread to answer a message box, so the GUI thread
    // keeps its toolkit going while it waits instead of blocking.
    Presenter* p = presenter();
    if (p != nullptr && p->PumpsEvents() && OnGuiThread()) {
      p->PumpUntilWoken(clock().Now() + 1);
      continue;
    }
    std::unique_lock lock(threads.mutex);
    threads.ended.wait_until(lock, limit, [] { return RunningThreads() == 0; });
  }
  return true;
}

bool Runtime::ClosingDown() { return EventQueue::closing_down(); }

void Runtime::MarkGuiThread() { gui_thread = CurrentThreadId(); }
bool Runtime::OnGuiThread() { return IsGuiThread(CurrentThreadId()); }
bool Runtime::IsGuiThread(ThreadId thread) { return thread != 0 && gui_thread.load() == thread; }

void Runtime::SetWaitCursor(bool on) {
  if (Presenter* p = presenter()) p->SetWaitCursor(on);
}

void Runtime::Beep(int frequency, int duration) {
  if (Presenter* p = presenter()) p->Beep(frequency, duration);
}

ThreadId Runtime::CurrentThreadId() {
  thread_local const ThreadId id = ++last_thread_id;
  return id;
}

bool Runtime::StartThread(std::function<void()> procedure, std::size_t stack_bytes) {
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) return false;
  // A stack sized for another language's frames is far too small for C++ code.
  pthread_attr_setstacksize(&attributes, std::max(stack_bytes, kMinimumStackBytes));
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  auto* arg = new std::function<void()>(std::move(procedure));
  ++running_threads;
  pthread_t thread;
  const int rc = pthread_create(&thread, &attributes, &RunProcedure, arg);
  pthread_attr_destroy(&attributes);
  if (rc == 0) return true;
  --running_threads;
  delete arg;
  return false;
}

int Runtime::RunningThreads() { return running_threads.load(); }

ButtonFlags Runtime::MessageBox(const MessageBoxRequest& request) {
  Presenter* p = presenter();
  if (p == nullptr) return request.default_button;
  return p->ShowMessageBox(request);
}

void Runtime::Halt(int exit_code, std::string_view text) {
  // Lines reported as added must reach their files: the presenter may end the process at once.
  TextLineFile::FlushAllOpen();
  Presenter* p = presenter();
  if (p != nullptr) return p->Halt(exit_code, text);
  std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
  std::exit(exit_code);
}

std::string Runtime::ShortDate() { return FormatWallTime("%x"); }
std::string Runtime::LongTime() { return FormatWallTime("%X"); }

}  // namespace morlan
