#include "platform/event_loop.h"

#include "platform/frame_actions.h"
#include "platform/runtime.h"

namespace morlan {

namespace {

thread_local EventLoop* current_loop = nullptr;
thread_local int thread_key_code = 0;

void Carry(StandardAction action, Window& window) {
  Presenter* presenter = Runtime::presenter();
  if (action == StandardAction::kCloseWindow) return window.Post(EventCloseWindow);
  if (presenter == nullptr) return;
  FrameActions& actions = presenter->frame_actions();
  switch (action) {
    case StandardAction::kNone:
    case StandardAction::kCloseWindow:
      return;
    case StandardAction::kPrinterSetup:
      return actions.PrinterSetup();
    case StandardAction::kCut:
      return actions.Cut();
    case StandardAction::kCopy:
      return actions.Copy();
    case StandardAction::kPaste:
      return actions.Paste();
    case StandardAction::kTile:
      return actions.Tile();
    case StandardAction::kCascade:
      return actions.Cascade();
    case StandardAction::kArrangeIcons:
      return actions.ArrangeIcons();
    case StandardAction::kHelpContents:
      return actions.HelpContents();
    case StandardAction::kHelpSearch:
      return actions.HelpSearch();
    case StandardAction::kHelpOnHelp:
      return actions.HelpOnHelp();
  }
}

}  // namespace

EventLoop::EventLoop(Window& window) : window_(window), outer_(current_loop) {
  current_loop = this;
}

EventLoop::~EventLoop() { current_loop = outer_; }

EventLoop* EventLoop::Current() { return current_loop; }
int EventLoop::key_code() { return thread_key_code; }
void EventLoop::set_key_code(int code) { thread_key_code = code; }

bool EventLoop::NextEvent() {
  // An event left without an end gets the default handling before the next one.
  if (in_event_ && EndEvent(0)) return false;
  for (;;) {
    if (over()) return false;
    window_.Flush();
    const std::shared_ptr<EventQueue> queue = window_.queue();
    if (queue->TakeFor(window_.id(), &current_)) {
      if (TakeInput()) break;
      continue;
    }
    const std::int64_t due = window_.next_timer_due();
    if (due >= 0 && Runtime::clock().Now() >= due) {
      window_.TimerDelivered(Runtime::clock().Now());
      current_ = Event{};
      current_.code = EventTimer;
      current_.window = window_.id();
      break;
    }
    // The presenter may post to the window now (a scripted person's next action); the wait
    // then returns at once.
    if (Presenter* presenter = Runtime::presenter()) presenter->BeforeWait(window_.id());
    queue->Wait(window_.id(), due);
  }
  if (current_.code == EventAccepted) accepted_ = current_.control;
  if (current_.code == EventCompleted) window_.AcceptAllDone();
  in_event_ = true;
  return true;
}

bool EventLoop::TakeInput() {
  // The rest of a person's action whose input the model refused never happened.
  if (current_.action != 0 && current_.action == refused_action_) return false;
  if (current_.key != 0) thread_key_code = current_.key;
  const EventCode reported = current_.code;
  const bool deliver = window_.TakeInput(current_);
  if (current_.code == EventRejected && reported != EventRejected)
    refused_action_ = current_.action;
  return deliver;
}

bool EventLoop::EndEvent(int code) {
  in_event_ = false;
  if (code < 0) over_ = true;
  if (code == 0) DefaultHandling();
  window_.Flush();
  return over();
}

void EventLoop::DefaultHandling() {
  switch (current_.code) {
    case EventCloseWindow:
    case EventCloseDown:
      window_.Close();
      return;
    case EventAccepted:
      for (const ControlDefinition& c : window_.definition().controls) {
        if (c.number == current_.control) return Carry(c.action, window_);
      }
      return;
    default:
      return;
  }
}

}  // namespace morlan
