// One open window of the runtime on screen: a top-level main window that mirrors the snapshots of
// a window model and tells the model what a person does in it.
//
// Mapping: positions and sizes are dialog units (a quarter of the font's average character width
// across, an eighth of its height down). Texts become labels, entries line edits, buttons push
// buttons, thermometers progress bars (value clamped to low..high), checks check boxes, lists
// tables of their columns (QtListView) holding only the page of rows the model sent, images
// labels showing their icon (a named icon as the style's standard one, any other a generic
// icon). Menus and menu entries form the menu bar: a menu with parent 0 drops down from the bar,
// an entry belongs to the menu `parent`, an entry with parent 0 is a command on the bar itself;
// "&" marks mnemonics and `message` is the status tip.
//
// What a person does goes through the shared translator (UserInput), so it becomes the same
// events, with the same changes and key codes, as a scripted person's in the headless presenter:
//   a mouse press on an entry, button, check or list   the focus moves there
//   a button or check clicked (or its mnemonic, or Space on it), a menu entry triggered
//                                                      Click
//   typing into an entry                               Type (nothing is posted yet)
//   a list row selected, double-clicked; the list scrolled or resized
//                                                      PickRow, ActivateRow; Scroll
//   keys: every key with a code (qt_key_code.h) goes to PressKey first; what it takes (Enter,
//         Escape, Tab, alert keys) the widget never sees, other keys reach the widget
//   the close box                                      CloseBox; the window stays until the
//                                                      model closes it
//   the client area resized, in dialog units           Resize
//   the window losing the focus, and getting it back   Activate (coming up is not reported)
// The keyboard focus follows the translator's: where a person's action or the model puts it.
//
// Snapshots replace only what the model changed (UserInput::Apply), so a model change elsewhere
// never overwrites what the person is typing into an entry, and an input the model refused is
// shown as the model has it again.
//
// An application frame (WindowSnapshot::is_frame) has a workspace (QMdiArea) as its client
// area, and a status bar that shows the message of the menu entry the person rests on. Other
// windows may live in a frame's workspace as its children (see the constructor): there the
// child's sub-window carries its caption, close box and activation; switching between children
// is reported as switching windows, and a child moves the keyboard focus only while it is the
// frame's current child, so a procedure's window never takes the focus from the one the person
// works in. A frame leaves the focus with its children when none of its own controls has it.
//
// Threading: GUI thread only.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <map>
#include <memory>
#include <vector>

#include "platform/user_input.h"
#include "platform/window_snapshot.h"

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenu;

namespace morlan {

class QtListView;

class QtWindow final : public QMainWindow {
 public:
  // Builds the window from the state it opens with; shows it when `snapshot.visible`. With a
  // `workspace` (a frame's) the window is a child there, placed as given or centred in it and
  // made the current child; without one it is a top-level window, placed as given or centred
  // on the screen.
  explicit QtWindow(const WindowSnapshot& snapshot, QMdiArea* workspace = nullptr);
  // A child leaves its workspace with it.
  ~QtWindow() override;

  // Brings the window up to `snapshot`, a later state of the same window.
  void Apply(const WindowSnapshot& snapshot);

  int window_id() const { return id_; }
  // The widget showing `control` (nullptr for menu entries and unknown controls).
  QWidget* control_widget(int control) const;
  // The action of menu entry or menu `control`, or nullptr.
  QAction* control_action(int control) const;

  // A frame's workspace (nullptr for other windows).
  QMdiArea* mdi_area() const { return workspace_; }
  // The sub-window holding this window in a frame's workspace (nullptr for a top-level window).
  QMdiSubWindow* subwindow() const;
  // Takes a child out of its workspace: it becomes a top-level window, centred on the screen
  // unless it has a position, and shown when its model shows it. For a frame about to go.
  void LeaveWorkspace();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Control {
    ControlSnapshot shown;  // the state last applied
    QWidget* widget = nullptr;
    QtListView* list = nullptr;
    QAction* action = nullptr;  // menu entries; for menus, the menu's own action
    QMenu* menu = nullptr;      // menus
  };

  void BuildMenus(const WindowSnapshot& snapshot);
  void BuildControl(Control& control, QWidget* parent);
  void ApplyControl(Control& control, const ControlSnapshot& next, bool first);
  void ShowList(Control& control, const ControlSnapshot& next);
  void ShowImage(Control& control, const ControlSnapshot& next);
  void Place(const WindowSnapshot& snapshot);
  // Top-level: centred on the screen unless it has a position.
  void PlaceOnScreen();
  // In a workspace: at its position, or centred in the workspace.
  void PlaceInWorkspace();
  // Shows or hides the window (a child: its sub-window).
  void ShowWindow(bool shown);
  // The window became, or stopped being, the one the person works in.
  void Activated(bool active);
  // Makes `control` the default push button (0: none).
  void MakeDefault(int control);

  // After a person's action: the focus, checks and list selections as the translator has them.
  void FollowInput();
  // Moves the keyboard focus to the translator's focused control (or the client area).
  void FollowFocus();
  // The control `watched` belongs to, or 0.
  int OwnerOf(const QObject* watched) const;
  const Control* Find(int control) const;
  // A key pressed in the window; true when the window takes it (the widget never sees it).
  bool TakeKey(int key);

  int DialogX(int units) const;
  int DialogY(int units) const;
  int UnitsX(int pixels) const;
  int UnitsY(int pixels) const;

  const int id_;
  const int x_, y_;  // position in dialog units; -1: placed by the presenter
  UserInput input_;
  QMdiArea* workspace_ = nullptr;      // a frame's client area
  QPointer<QMdiSubWindow> subwindow_;  // a child's sub-window
  std::map<int, Control> controls_;
  std::map<const QObject*, int> owners_;  // control widgets (and list viewports) -> control
  bool visible_ = false;
  int default_button_ = 0;
  bool activated_ = false;  // has been the active window once
  QSize client_size_;       // the client area's size the model knows, in pixels
  bool closing_ = false;    // being destroyed: widgets report nothing more
};

}  // namespace morlan
