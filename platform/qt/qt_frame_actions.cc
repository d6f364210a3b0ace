#include "platform/qt/qt_frame_actions.h"

#include <QApplication>
#include <QLineEdit>
#include <QThread>

namespace morlan {

namespace {

QLineEdit* FocusedEntry() { return qobject_cast<QLineEdit*>(QApplication::focusWidget()); }

}  // namespace

void QtFrameActions::Cut() {
  OnGuiThread([] {
    if (QLineEdit* entry = FocusedEntry()) entry->cut();
  });
}

void QtFrameActions::Copy() {
  OnGuiThread([] {
    if (QLineEdit* entry = FocusedEntry()) entry->copy();
  });
}

void QtFrameActions::Paste() {
  OnGuiThread([] {
    if (QLineEdit* entry = FocusedEntry()) entry->paste();
  });
}

void QtFrameActions::OnGuiThread(std::function<void()> action) {
  if (QThread::currentThread() == gui_->thread()) return action();
  QMetaObject::invokeMethod(gui_, std::move(action), Qt::QueuedConnection);
}

}  // namespace morlan
