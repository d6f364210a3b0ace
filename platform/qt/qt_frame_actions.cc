#include "platform/qt/qt_frame_actions.h"

#include <QAbstractButton>
#include <QApplication>
#include <QByteArray>
#include <QDialogButtonBox>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPrintDialog>
#include <QPrinter>
#include <QThread>
#include <QWidget>
#include <algorithm>
#include <utility>

#include "platform/qt/qt_help_window.h"

namespace morlan {

namespace {

// Invokes the slot `name` (cut, copy or paste) of the focused widget when it has one: entry
// fields and text views do. One that is read-only only gives its text away.
void EditFocused(const char* name, bool changes_text) {
  QWidget* focused = QApplication::focusWidget();
  if (focused == nullptr) return;
  const bool read_only = focused->property("readOnly").toBool();
  if (read_only && changes_text) {
    // Cut on a text the person may not change copies it and leaves it; paste does nothing.
    if (QByteArray(name) != "cut") return;
    name = "copy";
  }
  const QByteArray signature = QByteArray(name) + "()";
  if (focused->metaObject()->indexOfSlot(signature.constData()) < 0) return;
  QMetaObject::invokeMethod(focused, name);
}

// Lines the minimised children up along the workspace's bottom edge, left to right; a row that
// is full continues above it.
void ArrangeMinimised(QMdiArea& workspace) {
  const QRect space = workspace.viewport()->rect();
  int left = 0;
  int bottom = space.bottom();
  int row_height = 0;
  for (QMdiSubWindow* sub : workspace.subWindowList(QMdiArea::CreationOrder)) {
    if (!sub->isMinimized() || sub->isHidden()) continue;
    const QSize size = sub->size();
    if (left > 0 && left + size.width() > space.width()) {
      left = 0;
      bottom -= row_height;
      row_height = 0;
    }
    sub->move(left, bottom - size.height() + 1);
    left += size.width();
    row_height = std::max(row_height, size.height());
  }
}

}  // namespace

QtFrameActions::QtFrameActions(QObject* gui, std::function<QMdiArea*()> frame_workspace)
    : gui_(gui), frame_workspace_(std::move(frame_workspace)) {}

// The dialogs may have no parent to take them along.
QtFrameActions::~QtFrameActions() {
  delete printer_setup_.data();
  delete help_.data();
}

QDialog* QtFrameActions::printer_setup_dialog() const { return printer_setup_; }

QtHelpWindow* QtFrameActions::help_window() const { return help_; }

void QtFrameActions::PrinterSetup() {
  OnGuiThread([this] {
    if (printer_setup_ != nullptr) {
      printer_setup_->raise();
      printer_setup_->activateWindow();
      return;
    }
    if (printer_ == nullptr) printer_ = std::make_unique<QPrinter>();
    auto* dialog = new QPrintDialog(printer_.get(), Frame());
    dialog->setWindowTitle(QObject::tr("Print Setup"));
    // Setting the printer up prints nothing: no page ranges, and the button that takes the
    // choices says OK.
    dialog->setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::ApplicationModal);
    printer_setup_ = dialog;
    dialog->show();
    for (QDialogButtonBox* box : dialog->findChildren<QDialogButtonBox*>()) {
      for (QAbstractButton* button : box->buttons()) {
        if (box->buttonRole(button) == QDialogButtonBox::AcceptRole) {
          button->setText(QObject::tr("OK"));
        }
      }
    }
  });
}

void QtFrameActions::Cut() {
  OnGuiThread([] { EditFocused("cut", true); });
}

void QtFrameActions::Copy() {
  OnGuiThread([] { EditFocused("copy", false); });
}

void QtFrameActions::Paste() {
  OnGuiThread([] { EditFocused("paste", true); });
}

void QtFrameActions::Tile() {
  OnGuiThread([this] {
    if (QMdiArea* workspace = frame_workspace_()) workspace->tileSubWindows();
  });
}

void QtFrameActions::Cascade() {
  OnGuiThread([this] {
    if (QMdiArea* workspace = frame_workspace_()) workspace->cascadeSubWindows();
  });
}

void QtFrameActions::ArrangeIcons() {
  OnGuiThread([this] {
    if (QMdiArea* workspace = frame_workspace_()) ArrangeMinimised(*workspace);
  });
}

void QtFrameActions::HelpContents() {
  OnGuiThread([this] { Help().ShowContents(); });
}

void QtFrameActions::HelpSearch() {
  OnGuiThread([this] { Help().ShowSearch(); });
}

void QtFrameActions::HelpOnHelp() {
  OnGuiThread([this] { Help().ShowHowToUse(); });
}

QWidget* QtFrameActions::Frame() const {
  QMdiArea* workspace = frame_workspace_();
  return workspace != nullptr ? workspace->window() : nullptr;
}

QtHelpWindow& QtFrameActions::Help() {
  if (help_ == nullptr) help_ = new QtHelpWindow(Frame());
  return *help_;
}

void QtFrameActions::OnGuiThread(std::function<void()> action) {
  if (QThread::currentThread() == gui_->thread()) return action();
  QMetaObject::invokeMethod(gui_, std::move(action), Qt::QueuedConnection);
}

}  // namespace morlan
