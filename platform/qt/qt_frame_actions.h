// The frame's standard menu actions under Qt:
// - printer set-up: the print dialog, application-modal, over the frame; it chooses the printer
//   and its settings, which the next set-up starts from. It opens without blocking the caller
//   (the GUI thread's event loop goes on, the dialog's modality keeps the person in it), and
//   choosing it again while it is up only brings it to the front.
// - cut, copy and paste: on the widget that has the keyboard focus, when it edits text (entry
//   fields, text views); a read-only one only copies. Other widgets ignore them.
// - tile, cascade: the children in the shown frame's workspace; arrange icons lines its
//   minimised children up along the workspace's bottom edge, left to right, in rows upwards.
//   Without a shown frame they do nothing.
// - help contents, search and help on help: one help window (QtHelpWindow) with the program's
//   own help text, opened at the top, with its search field focused, or at the part on using
//   the help.
//
// Threading: meant for the GUI thread's event loop; a call from another thread is carried out on
// the GUI thread without waiting. The accessors belong to the GUI thread.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

#include "platform/frame_actions.h"

class QDialog;
class QMdiArea;
class QPrinter;

namespace morlan {

class QtHelpWindow;

class QtFrameActions final : public FrameActions {
 public:
  // `gui` lives on the GUI thread and outlives this object. `frame_workspace` answers, on the
  // GUI thread, the workspace of the frame shown (nullptr when there is none).
  QtFrameActions(QObject* gui, std::function<QMdiArea*()> frame_workspace);
  ~QtFrameActions() override;

  QtFrameActions(const QtFrameActions&) = delete;
  QtFrameActions& operator=(const QtFrameActions&) = delete;

  void PrinterSetup() override;
  void Cut() override;
  void Copy() override;
  void Paste() override;
  void Tile() override;
  void Cascade() override;
  void ArrangeIcons() override;
  void HelpContents() override;
  void HelpSearch() override;
  void HelpOnHelp() override;

  // The printer set-up dialog while it is up, else nullptr.
  QDialog* printer_setup_dialog() const;
  // The help window once it has been opened and until it goes with the frame, else nullptr.
  QtHelpWindow* help_window() const;

 private:
  void OnGuiThread(std::function<void()> action);
  // The shown frame's window, the parent of the dialogs (nullptr: none is shown).
  QWidget* Frame() const;
  // The help window, made on first use.
  QtHelpWindow& Help();

  QObject* const gui_;
  const std::function<QMdiArea*()> frame_workspace_;
  std::unique_ptr<QPrinter> printer_;  // made at the first set-up; keeps the person's choices
  QPointer<QDialog> printer_setup_;
  QPointer<QtHelpWindow> help_;
};

}  // namespace morlan
