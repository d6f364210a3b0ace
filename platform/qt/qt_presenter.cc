#include "platform/qt/qt_presenter.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <mutex>
#include <utility>

#include "platform/qt/qt_window.h"
#include "platform/runtime.h"

namespace morlan {

namespace {

struct ButtonPair {
  ButtonFlags flag;
  QMessageBox::StandardButton button;
};

constexpr std::array<ButtonPair, 8> kButtons = {{
    {ButtonOk, QMessageBox::Ok},
    {ButtonYes, QMessageBox::Yes},
    {ButtonNo, QMessageBox::No},
    {ButtonAbort, QMessageBox::Abort},
    {ButtonRetry, QMessageBox::Retry},
    {ButtonIgnore, QMessageBox::Ignore},
    {ButtonCancel, QMessageBox::Cancel},
    {ButtonHelp, QMessageBox::Help},
}};

QMessageBox::StandardButton ToQt(ButtonFlags flag) {
  for (const ButtonPair& pair : kButtons) {
    if (pair.flag == flag) return pair.button;
  }
  return QMessageBox::NoButton;
}

ButtonFlags FromQt(QMessageBox::StandardButton button) {
  for (const ButtonPair& pair : kButtons) {
    if (pair.button == button) return pair.flag;
  }
  return 0;
}

// The lowest button flag in `buttons`.
ButtonFlags FirstButton(ButtonFlags buttons) {
  for (const ButtonPair& pair : kButtons) {
    if ((buttons & pair.flag) != 0) return pair.flag;
  }
  return 0;
}

}  // namespace

QtPresenter::QtPresenter()
    : gui_(std::make_unique<QObject>()),
      dispatcher_(QAbstractEventDispatcher::instance()),
      deadline_timer_(std::make_unique<QTimer>()),
      frame_actions_(std::make_unique<QtFrameActions>(gui_.get())) {
  deadline_timer_->setSingleShot(true);
  deadline_timer_->setTimerType(Qt::PreciseTimer);
}

// Widgets go before the context object, so nothing queued to it can reach them afterwards.
QtPresenter::~QtPresenter() { windows_.clear(); }

bool QtPresenter::OnGuiThread() const { return QThread::currentThread() == gui_->thread(); }

void QtPresenter::Queue(std::function<void()> task) {
  // Queued even on the GUI thread: every update then takes the same road, in the order given.
  QMetaObject::invokeMethod(gui_.get(), std::move(task), Qt::QueuedConnection);
}

void QtPresenter::WindowOpened(const WindowSnapshot& snapshot) {
  Queue([this, snapshot] {
    // Opening again an id still shown (closed and reopened) starts from a fresh widget.
    windows_[snapshot.id] = std::make_unique<QtWindow>(snapshot);
  });
}

void QtPresenter::WindowChanged(const WindowSnapshot& snapshot) {
  Queue([this, snapshot] {
    const auto it = windows_.find(snapshot.id);
    if (it != windows_.end()) it->second->Apply(snapshot);
  });
}

void QtPresenter::WindowClosed(int window_id) {
  Queue([this, window_id] { windows_.erase(window_id); });
}

QtWindow* QtPresenter::widget(int window_id) const {
  const auto it = windows_.find(window_id);
  return it != windows_.end() ? it->second.get() : nullptr;
}

ButtonFlags QtPresenter::ShowMessageBox(const MessageBoxRequest& request) {
  if (OnGuiThread()) return ShowMessageBoxHere(request);
  // The caller waits until the GUI thread has run the box. The hand-over goes through a
  // standard mutex rather than a blocking queued connection: same effect, but visible to the
  // thread sanitizer, which cannot see Qt's futex-based semaphore.
  struct Handover {
    std::mutex mutex;
    std::condition_variable answered;
    MessageBoxRequest request;
    ButtonFlags answer = 0;
    bool done = false;
  };
  auto handover = std::make_shared<Handover>();
  {
    std::lock_guard lock(handover->mutex);
    handover->request = request;
  }
  Queue([this, handover] {
    MessageBoxRequest request;
    {
      std::lock_guard lock(handover->mutex);
      request = handover->request;
    }
    const ButtonFlags answer = ShowMessageBoxHere(request);
    {
      std::lock_guard lock(handover->mutex);
      handover->answer = answer;
      handover->done = true;
    }
    handover->answered.notify_all();
  });
  std::unique_lock lock(handover->mutex);
  handover->answered.wait(lock, [&] { return handover->done; });
  return handover->answer;
}

ButtonFlags QtPresenter::ShowMessageBoxHere(const MessageBoxRequest& request) {
  ButtonFlags buttons = request.buttons;
  if (FirstButton(buttons) == 0) buttons = ButtonOk;
  ButtonFlags preselected = request.default_button;
  if ((buttons & preselected) == 0 || FirstButton(preselected) != preselected) {
    preselected = FirstButton(buttons);
  }

  QMessageBox box;
  box.setWindowTitle(QString::fromStdString(request.caption));
  // The program's text is shown as it is, never read as markup.
  box.setTextFormat(Qt::PlainText);
  box.setText(QString::fromStdString(request.text).replace(QLatin1Char('|'), QLatin1Char('\n')));
  switch (request.icon) {
    case MessageIcon::kNone:
      box.setIcon(QMessageBox::NoIcon);
      break;
    case MessageIcon::kExclamation:
      box.setIcon(QMessageBox::Warning);
      break;
    case MessageIcon::kQuestion:
      box.setIcon(QMessageBox::Question);
      break;
  }
  QMessageBox::StandardButtons standard;
  for (const ButtonPair& pair : kButtons) {
    if ((buttons & pair.flag) != 0) standard |= pair.button;
  }
  box.setStandardButtons(standard);
  box.setDefaultButton(ToQt(preselected));
  ButtonFlags escape = preselected;
  if ((buttons & ButtonNo) != 0) escape = ButtonNo;
  if ((buttons & ButtonCancel) != 0) escape = ButtonCancel;
  box.setEscapeButton(ToQt(escape));

  box.exec();
  const ButtonFlags answer = FromQt(box.standardButton(box.clickedButton()));
  return answer != 0 ? answer : escape;
}

void QtPresenter::Halt(int exit_code, std::string_view text) {
  if (!text.empty()) {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
  }
  std::fflush(nullptr);
  std::_Exit(exit_code);
}

void QtPresenter::PumpUntilWoken(std::int64_t deadline_hundredths) {
  if (!OnGuiThread()) return;
  while (!woken_.exchange(false)) {
    if (deadline_hundredths >= 0) {
      const std::int64_t left = deadline_hundredths - Runtime::clock().Now();
      if (left <= 0) break;
      // The timer only makes the wait below return; the loop then looks at the clock again.
      const std::int64_t ms = std::min<std::int64_t>(left * 10, std::numeric_limits<int>::max());
      deadline_timer_->start(static_cast<int>(ms));
    }
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    // Outside any QEventLoop::exec nothing else deletes objects Qt handed to deleteLater.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  deadline_timer_->stop();
}

void QtPresenter::Wake() {
  // A wake already pending has woken the dispatcher, or will be seen before the pump waits.
  if (woken_.exchange(true)) return;
  if (dispatcher_ != nullptr) dispatcher_->wakeUp();
}

void QtPresenter::SetWaitCursor(bool on) {
  Queue([this, on] {
    // The override cursor stacks; keep one level at most so an extra "off" never pops a cursor
    // someone else set and a repeated "on" never needs two.
    if (on == wait_cursor_) return;
    wait_cursor_ = on;
    if (on) return QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    QGuiApplication::restoreOverrideCursor();
  });
}

void QtPresenter::Beep(int frequency, int duration) {
  (void)frequency;
  (void)duration;
  Queue([] { QApplication::beep(); });
}

}  // namespace morlan
