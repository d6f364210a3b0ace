#include "platform/qt/qt_presenter.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <memory>
#include <mutex>
#include <string_view>
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

constexpr const char* kNoDisplay =
    "morlan: no display available: set DISPLAY (or QT_QPA_PLATFORM=offscreen), or run it under "
    "xvfb-run";

bool IsSet(const char* value) { return value != nullptr && value[0] != '\0'; }

// Whether the platform plugin `name` (its arguments after ":" left off) finds its display.
bool PluginUsable(std::string_view name, const QtPresenter::Environment& environment) {
  if (name == "xcb") return IsSet(environment("DISPLAY"));
  if (name.starts_with("wayland")) return IsSet(environment("WAYLAND_DISPLAY"));
  // offscreen, minimal, eglfs, linuxfb, vnc...: no display server to reach.
  return true;
}

// The program's icon: a dictionary page whose declaration lines carry an added part.
QIcon ProgramIcon() {
  QIcon icon;
  for (const int side : {16, 24, 32, 48, 64}) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal unit = side / 16.0;
    const QRectF page(2.5 * unit, 0.5 * unit, 11 * unit, 15 * unit);
    painter.setPen(QPen(QColor(70, 70, 70), std::max(1.0, unit * 0.75)));
    painter.setBrush(Qt::white);
    painter.drawRect(page);
    painter.setPen(Qt::NoPen);
    for (int line = 0; line < 5; ++line) {
      const qreal y = (3 + 2.4 * line) * unit;
      painter.setBrush(QColor(110, 110, 110));
      painter.drawRect(QRectF(4.5 * unit, y, (line % 2 == 0 ? 4.5 : 3.5) * unit, 1.2 * unit));
      if (line % 2 != 0) continue;
      painter.setBrush(QColor(30, 110, 200));
      painter.drawRect(QRectF(9.5 * unit, y, 2.5 * unit, 1.2 * unit));
    }
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
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
      frame_actions_(
          std::make_unique<QtFrameActions>(gui_.get(), [this] { return FrameWorkspace(); })) {
  deadline_timer_->setSingleShot(true);
  deadline_timer_->setTimerType(Qt::PreciseTimer);
  // Windows, children in a frame and images of the application icon show the program's own.
  if (QGuiApplication::windowIcon().isNull()) QGuiApplication::setWindowIcon(ProgramIcon());
}

// Widgets go before the context object, so nothing queued to it can reach them afterwards.
QtPresenter::~QtPresenter() {
  // Children first, so none has to leave a frame's workspace on the way.
  for (auto it = windows_.begin(); it != windows_.end();) {
    it = it->second->subwindow() != nullptr ? windows_.erase(it) : std::next(it);
  }
  while (!windows_.empty()) Drop(windows_.begin()->first);
}

bool QtPresenter::DisplayUsable(std::string* why) {
  return DisplayUsable([](const char* name) -> const char* { return std::getenv(name); }, why);
}

bool QtPresenter::DisplayUsable(const Environment& environment, std::string* why) {
#if defined(_WIN32) || defined(__APPLE__)
  (void)environment;
  (void)why;
  return true;
#else
  const char* platform = environment("QT_QPA_PLATFORM");
  bool usable = false;
  if (IsSet(platform)) {
    // "wayland;xcb": Qt tries each in turn; "xcb:nograb": the plugin's arguments follow ":".
    std::string_view plugins(platform);
    while (!usable && !plugins.empty()) {
      const std::size_t end = std::min(plugins.find(';'), plugins.size());
      const std::string_view plugin = plugins.substr(0, end);
      if (!plugin.empty()) usable = PluginUsable(plugin.substr(0, plugin.find(':')), environment);
      plugins.remove_prefix(std::min(end + 1, plugins.size()));
    }
  } else {
    usable = IsSet(environment("DISPLAY")) || IsSet(environment("WAYLAND_DISPLAY"));
  }
  if (!usable && why != nullptr) *why = kNoDisplay;
  return usable;
#endif
}

bool QtPresenter::OnGuiThread() const { return QThread::currentThread() == gui_->thread(); }

void QtPresenter::Queue(std::function<void()> task) {
  // Queued even on the GUI thread: every update then takes the same road, in the order given.
  QMetaObject::invokeMethod(gui_.get(), std::move(task), Qt::QueuedConnection);
}

void QtPresenter::WindowOpened(const WindowSnapshot& snapshot) {
  Queue([this, snapshot] {
    // Opening again an id still shown (closed and reopened) starts from a fresh widget.
    Drop(snapshot.id);
    QMdiArea* workspace = snapshot.is_frame ? nullptr : FrameWorkspace();
    windows_[snapshot.id] = std::make_unique<QtWindow>(snapshot, workspace);
  });
}

void QtPresenter::WindowChanged(const WindowSnapshot& snapshot) {
  Queue([this, snapshot] {
    const auto it = windows_.find(snapshot.id);
    if (it != windows_.end()) it->second->Apply(snapshot);
  });
}

void QtPresenter::WindowClosed(int window_id) {
  Queue([this, window_id] { Drop(window_id); });
}

void QtPresenter::Drop(int window_id) {
  const auto it = windows_.find(window_id);
  if (it == windows_.end()) return;
  // The widget leaves the map before it goes, so nothing its destruction sets off finds it.
  std::unique_ptr<QtWindow> gone = std::move(it->second);
  windows_.erase(it);
  if (QMdiArea* workspace = gone->mdi_area()) {
    for (auto& [id, window] : windows_) {
      if (window->subwindow() != nullptr && window->subwindow()->mdiArea() == workspace) {
        window->LeaveWorkspace();
      }
    }
  }
}

QMdiArea* QtPresenter::FrameWorkspace() const {
  // Ids grow as windows are made: the last frame found is the one made last.
  QMdiArea* workspace = nullptr;
  for (const auto& [id, window] : windows_) {
    if (window->mdi_area() != nullptr && window->isVisible()) workspace = window->mdi_area();
  }
  return workspace;
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
