// One open window of the runtime on screen: a top-level main window that mirrors the snapshots of
// a window model and turns what the user does into events on the model's queue.
//
// Mapping: positions and sizes are dialog units (a quarter of the font's average character width
// across, an eighth of its height down). Texts become labels, entries line edits, buttons push
// buttons, thermometers progress bars (value clamped to low..high), checks check boxes (value
// non-zero: checked), lists list widgets (value: 1-based selected row, 0 none), images empty
// labels. Menus and menu entries form the menu bar: a menu with parent 0 drops down from the bar,
// an entry belongs to the menu `parent`, an entry with parent 0 is a command on the bar itself;
// "&" marks mnemonics and `message` is the status tip.
//
// What the user does: a button or check clicked, a list row activated or a menu entry triggered
// posts EventAccepted for its control; the close box posts EventCloseWindow and is refused, so the
// model's thread decides and the window goes only when the presenter is told it closed.
//
// Snapshots are applied as differences from the previous one, so a model change elsewhere never
// overwrites what the user is typing into an entry whose text the model did not change.
//
// Threading: GUI thread only.
#pragma once

#include <QMainWindow>
#include <map>
#include <memory>

#include "platform/event_queue.h"
#include "platform/window_snapshot.h"

class QAction;
class QMenu;

namespace morlan {

class QtWindow final : public QMainWindow {
 public:
  // Builds the window from the state it opens with; shows it when `snapshot.visible`.
  explicit QtWindow(const WindowSnapshot& snapshot);

  // Brings the window up to `snapshot`, a later state of the same window.
  void Apply(const WindowSnapshot& snapshot);

  int window_id() const { return id_; }
  // The widget showing `control` (nullptr for menu entries and unknown controls).
  QWidget* control_widget(int control) const;
  // The action of menu entry or menu `control`, or nullptr.
  QAction* control_action(int control) const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  struct Control {
    ControlSnapshot shown;  // the state last applied
    QWidget* widget = nullptr;
    QAction* action = nullptr;  // menu entries; for menus, the menu's own action
    QMenu* menu = nullptr;      // menus
  };

  void BuildMenus(const WindowSnapshot& snapshot);
  void BuildControl(Control& control, QWidget* parent);
  void ApplyControl(Control& control, const ControlSnapshot& next, bool first);
  void Place(const WindowSnapshot& snapshot);
  void Focus(int control);
  // Makes `control` the default push button (0: none).
  void MakeDefault(int control);
  void Post(int code, int control);
  int DialogX(int units) const;
  int DialogY(int units) const;

  const int id_;
  std::shared_ptr<EventQueue> queue_;
  std::map<int, Control> controls_;
  bool visible_ = false;
  int focused_ = 0;
  int default_button_ = 0;
};

}  // namespace morlan
