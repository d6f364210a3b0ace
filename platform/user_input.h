// Turns what a person does in one shown window into the events its model gets, the same way for
// every presenter. It keeps what the person sees (the focus, each entry's text as typed, check
// states, list selections and pages) from the window's snapshots and the person's own actions,
// and posts each event with the change it reports to the window's queue, where the model's
// event loop applies the change before it delivers the event (see Event, Window::TakeInput).
//
// What a person does, and what the window gets:
//   typing into an entry          nothing yet: the text is kept as typed
//   leaving an entry (focus moves, Enter, a click elsewhere) whose text was changed
//                                 accepted (1) for the entry, with the text
//   focus moving to a control     selected (257) for it, with the focus
//   clicking a button             the focus moves to it (above), then accepted (1)
//   clicking a menu entry         accepted (1); the focus stays
//   clicking a check              the focus moves to it, then accepted (1) with the new state
//   picking a list row            the focus moves to the list, then new selection (2) with the row
//   activating a list row         as picking it, then accepted (1) for the list
//   a key that is an alert key of the focused control
//                                 the focused entry is accepted (1) when its text was typed,
//                                 then alert key (15) with the key
//   Escape, the close box         close window (513); Escape in an application frame
//                                 does nothing (the frame's widget may use the key)
//   Enter                         the focused entry is accepted (1) with its text, then the
//                                 default button (accepted) when there is one; without one, a
//                                 focused button or list is accepted
//   Tab, Shift+Tab                the focus moves to the next or previous control that can take
//                                 it (entries, buttons, checks, lists; shown ones, in order)
//   scrolling a list              a change-only event with the new page (not delivered)
//   resizing the window           sized (561) with the new size
//   switching away and back       lose focus (517), gain focus (518)
// Whether an entry's input is refused (rejected, 26) is the model's decision; a refused entry
// shows the model's text again once the snapshot says so (ControlSnapshot::restored).
//
// A change the model makes replaces what the person sees only when the model's own value changed
// since its previous snapshot, so a snapshot that crossed the person's action on its way never
// overwrites what the person just did. When the model refused an input (a control's `restored`
// count moved), the rest of that action was dropped: the entry's text and the focus are the
// model's again. After Apply, focused() is where the focus belongs; a toolkit's presenter moves
// its widgets' focus there when it differs.
//
// Threading: not thread-safe; one thread at a time (the GUI thread for a toolkit's presenter,
// under the headless presenter's lock there). Posting is thread-safe, so the window's thread
// needs nothing from it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/event.h"
#include "platform/user_action.h"
#include "platform/window_snapshot.h"

namespace morlan {

class UserInput final {
 public:
  UserInput() = default;
  // Starts from the state the window opens with.
  explicit UserInput(const WindowSnapshot& snapshot);

  // A later state of the same window.
  void Apply(const WindowSnapshot& snapshot);

  // The person's actions. Each answers whether it did anything (an action on a control that is
  // unknown, hidden, greyed or of the wrong kind, or on a hidden window, does nothing).
  bool Type(int control, std::string_view text);
  bool Focus(int control, int key = 0);
  bool Click(int control, int button = kKeyMouseLeft);
  bool Check(int control, bool checked);
  bool PickRow(int control, int row);
  bool ActivateRow(int control, int row);
  // With the focused control. False for a key that means nothing to the window (a presenter
  // then lets its widget have it).
  bool PressKey(int key);
  bool Scroll(int control, int first_row, int page_rows);
  bool Resize(int width, int height);
  bool CloseBox();
  bool Activate(bool active);
  bool Perform(const UserAction& action);

  // What the person sees.
  int window_id() const { return window_; }
  int focused() const { return focused_; }
  // An entry's text as typed (or as the model last showed it).
  std::string_view text(int control) const;
  // A check's state or a list's selected row as shown.
  int value(int control) const;
  int first_row(int control) const;
  int page_rows(int control) const;
  // Events posted so far.
  std::uint64_t events_posted() const { return posted_; }

 private:
  struct Shown {
    ControlSnapshot model;  // the model's state in the last snapshot
    std::string text;       // as the person sees it
    bool typed = false;     // text differs from the model's by the person's typing
    int value = 0;
    int first_row = 1;
    int page_rows = 0;
  };

  Shown* Find(int control);
  const Shown* Find(int control) const;
  bool CanFocus(const Shown& c) const;
  // Moves the focus within the current action, accepting a changed entry that loses it.
  void MoveFocus(int control, int key);
  // Posts accepted for the focused entry when its text was typed (or always when `always`).
  void AcceptFocusedEntry(int key, bool always);
  bool Tab(bool backwards, int key);
  // Posts `event` as part of the current action.
  void Post(Event event);

  int window_ = 0;
  std::shared_ptr<EventQueue> queue_;
  bool visible_ = true;
  bool is_frame_ = false;
  int focused_ = 0;
  int model_focused_ = 0;
  int default_button_ = 0;
  int width_ = 0, height_ = 0;
  std::uint32_t action_ = 0;  // the person's current action
  std::uint64_t posted_ = 0;
  std::vector<Shown> controls_;
};

}  // namespace morlan
