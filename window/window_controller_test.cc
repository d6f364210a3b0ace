#include "window/window_controller.h"

#include <atomic>
#include <functional>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include "gtest/gtest.h"
#include "platform/event_loop.h"
#include "platform/headless_presenter.h"
#include "platform/key_codes.h"
#include "platform/name_binding_scope.h"
#include "platform/user_action.h"
#include "platform/window.h"
#include "testing/bounded_wait.h"
#include "testing/data_fixture.h"
#include "window/shared_requests.h"
#include "window/toolbar_router.h"
#include "window/window_component.h"

namespace morlan {
namespace {

// Controls of the test window.
constexpr int kName = 1;    // entry
constexpr int kCity = 2;    // entry
constexpr int kList = 3;    // list
constexpr int kCancel = 4;  // button
constexpr int kOk = 5;      // button
constexpr int kAge = 6;     // entry bound to a number: refuses text that is not one
constexpr char kFormId[] = "TESTFORM";

WindowDefinition FormDefinition() {
  WindowDefinition d;
  d.id = kFormId;
  d.caption = "Customer";
  d.width = 200;
  d.height = 100;
  auto control = [](int number, const char* name, ControlType type, const char* text) {
    ControlDefinition c;
    c.number = number;
    c.name = name;
    c.type = type;
    c.text = text;
    return c;
  };
  d.controls = {control(kName, "?NAME", ControlType::kEntry, ""),
                control(kCity, "?CITY", ControlType::kEntry, ""),
                control(kList, "?LIST", ControlType::kList, ""),
                control(kCancel, "?CANCEL", ControlType::kButton, "Cancel"),
                control(kOk, "?OK", ControlType::kButton, "OK"),
                control(kAge, "?AGE", ControlType::kEntry, "")};
  return d;
}

// What the controller and its components were asked, in order.
class Journal final {
 public:
  void Add(std::string entry) { entries_.push_back(std::move(entry)); }
  const std::vector<std::string>& all() const { return entries_; }
  // The entries that begin with `prefix`.
  std::vector<std::string> For(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& e : entries_) {
      if (e.rfind(prefix, 0) == 0) found.push_back(e);
    }
    return found;
  }
  int Count(const std::string& entry) const {
    int n = 0;
    for (const std::string& e : entries_) n += e == entry ? 1 : 0;
    return n;
  }

 private:
  std::vector<std::string> entries_;
};

// A component that writes every call into the journal as "<name>.<operation>", and answers
// TakeEvent and NeedsReset as the test scripts it.
class ProbeComponent final : public WindowComponent {
 public:
  ProbeComponent(std::string name, Journal* journal) : name_(std::move(name)), journal_(journal) {}

  // TakeEvent answers `level` for events of `code`; answers only the first `times` of them
  // (-1: all).
  void AnswerTo(EventCode code, Level level, int times = -1) {
    answer_code_ = code;
    answer_ = level;
    answer_times_ = times;
  }
  // NeedsReset answers true after events of `code`.
  void NeedsResetAfter(EventCode code) { reset_code_ = code; }
  // RegisterAlerts makes `key` alert key `index` of `control` in `window`.
  void AlertOn(Window* window, int control, int index, int key) {
    alert_window_ = window;
    alert_control_ = control;
    alert_index_ = index;
    alert_key_ = key;
  }

  void Kill() override { Log("Kill"); }
  void Reset(std::uint8_t force) override { Log("Reset " + std::to_string(force)); }
  bool NeedsReset() override {
    Log("NeedsReset");
    return reset_code_ != 0 && WindowController::CurrentEvent() == reset_code_;
  }
  void RegisterAlerts() override {
    Log("RegisterAlerts");
    if (alert_window_ != nullptr) {
      alert_window_->SetAlertKey(alert_control_, alert_index_, alert_key_);
    }
  }
  Level TakeEvent() override {
    const EventCode code = WindowController::CurrentEvent();
    Log("TakeEvent " + std::to_string(code));
    if (code != answer_code_ || answer_times_ == 0) return FatalityNone;
    if (answer_times_ > 0) --answer_times_;
    return answer_;
  }
  void Update() override { Log("Update"); }
  void Redraw() override { Log("Redraw"); }

 private:
  void Log(const std::string& what) { journal_->Add(name_ + "." + what); }

  std::string name_;
  Journal* journal_;
  EventCode answer_code_ = 0;
  Level answer_ = FatalityNone;
  int answer_times_ = -1;
  EventCode reset_code_ = 0;
  Window* alert_window_ = nullptr;
  int alert_control_ = 0;
  int alert_index_ = 0;
  int alert_key_ = 0;
};

// A procedure built on the controller, as the application's procedures are: its Init calls the
// base first, then sets up and opens its window (the age entry bound to a number, the list with
// three rows); every handler writes its name into the journal and goes on with the base
// behaviour.
class ProbeController : public WindowController {
 public:
  ProbeController(Window* window, Journal* journal) : window_(window), journal_(journal) {}

  // Runs after the base Init and before the window opens.
  std::function<void(ProbeController&)> set_up;
  // Runs once the window is open (events posted here come right after the open-window event).
  std::function<void(ProbeController&)> opened;
  // Init fails with this level after the base Init (0: it does not).
  Level fail_init = FatalityNone;
  // TakeCompleted ends the form with this response (0: it does nothing).
  std::uint8_t complete_with = 0;

  Level Init() override {
    journal_->Add("Init");
    if (const Level r = WindowController::Init(); r != FatalityNone) return r;
    if (fail_init != FatalityNone) return fail_init;
    WINDOW = window_;
    VCRREQUEST = &NavigationRequest;
    FIRSTFIELD = kName;
    window_->BindField(kAge, FieldRef(FieldType::kLong, reinterpret_cast<char*>(&age_), 4));
    window_->SetListSource(
        kList, {[] { return 3; }, [](int row, int) { return "row " + std::to_string(row); },
                [] { return false; }});
    if (set_up) set_up(*this);
    window_->Open();
    OPENED = true;
    RegisterAlerts();
    if (opened) opened(*this);
    return FatalityNone;
  }
  Level Kill() override {
    journal_->Add("Kill");
    return WindowController::Kill();
  }
  void Open() override {
    journal_->Add("Open");
    WindowController::Open();
  }
  void Reset(std::uint8_t force) override {
    journal_->Add("Reset " + std::to_string(force));
    WindowController::Reset(force);
  }
  void RestoreFieldValue(std::int32_t control) override {
    journal_->Add("RestoreFieldValue " + std::to_string(control));
  }
  void SetResponse(std::uint8_t response) override {
    journal_->Add("SetResponse " + std::to_string(response));
    WindowController::SetResponse(response);
  }
  Level TakeAccepted() override {
    journal_->Add("TakeAccepted");
    return WindowController::TakeAccepted();
  }
  Level TakeCompleted() override {
    journal_->Add("TakeCompleted");
    if (complete_with != 0) SetResponse(complete_with);
    return WindowController::TakeCompleted();
  }
  Level TakeCloseEvent() override {
    journal_->Add("TakeCloseEvent");
    return WindowController::TakeCloseEvent();
  }
  Level TakeFieldEvent() override {
    journal_->Add("TakeFieldEvent");
    return WindowController::TakeFieldEvent();
  }
  Level TakeNewSelection() override {
    journal_->Add("TakeNewSelection");
    return WindowController::TakeNewSelection();
  }
  Level TakeRejected() override {
    journal_->Add("TakeRejected");
    return WindowController::TakeRejected();
  }
  Level TakeSelected() override {
    journal_->Add("TakeSelected");
    return WindowController::TakeSelected();
  }
  Level TakeWindowEvent() override {
    journal_->Add("TakeWindowEvent");
    return WindowController::TakeWindowEvent();
  }

 private:
  Window* window_;
  Journal* journal_;
  std::int32_t age_ = 0;
};

// A router that notes its Kill.
class CountingRouter final : public ToolbarRouter {
 public:
  void Kill() override {
    ++kills;
    ToolbarRouter::Kill();
  }
  int kills = 0;
};

// A toolbar target that notes the navigation request of every press.
class NotingTarget final : public ToolbarTarget {
 public:
  void ShowButtons() override {}
  void BecomeTarget() override {}
  bool WantsToBeTarget() override { return true; }
  void TakeRequest(std::atomic<std::int32_t>* request) override {
    requests.push_back(request->load());
  }
  std::vector<std::int32_t> requests;
};

class BeepingPresenter final : public HeadlessPresenter {
 public:
  void Beep(int frequency, int duration) override {
    (void)frequency;
    (void)duration;
    ++beeps;
  }
  std::atomic<int> beeps{0};
};

class WindowControllerTest : public testing::DataFixture<BeepingPresenter> {
 protected:
  void SetUp() override {
    DataFixture::SetUp();
    PendingRequest = 0;
    LastResponse = 0;
    NavigationRequest = 0;
    EventLoop::set_key_code(0);
  }

  // The person's actions in the next test window that opens.
  void Person(std::vector<UserAction> actions) {
    presenter_.ScriptFor(kFormId, std::move(actions));
  }

  // Runs `controller` with a bound on the whole run.
  std::uint8_t RunBounded(WindowController& controller) {
    testing::Watchdog watchdog("the controller's run to end");
    return controller.Run();
  }

  // Every window ended by what the program did, not by the presenter closing a window whose
  // script ran dry.
  void TearDown() override {
    EXPECT_TRUE(presenter_.scripts_ran_dry().empty()) << "a window outlived its script";
    DataFixture::TearDown();
  }

  Journal journal_;
  Window window_{FormDefinition()};
  ProbeComponent first_{"A", &journal_};
  ProbeComponent second_{"B", &journal_};
  ProbeController controller_{&window_, &journal_};
};

std::vector<std::string> Lines(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// ---- Dispatch ----

TEST_F(WindowControllerTest, EventsReachTheHandlersThenTheComponentsThenTheRefreshInOrder) {
  constexpr int kHistoryKey = kKeyF3;
  constexpr int kOtherKey = kKeyF4;
  first_.AlertOn(&window_, kCity, 1, kHistoryKey);
  second_.AlertOn(&window_, kCity, 2, kOtherKey);
  first_.NeedsResetAfter(EventAlertKey);  // A asks first: B is not asked then
  second_.NeedsResetAfter(EventAccepted);
  controller_.set_up = [&](ProbeController& c) {
    c.AddComponent(&first_);
    c.AddComponent(&second_);
    c.HISTORYKEY = kHistoryKey;
  };
  Person({UserAction::Type(kName, "Smith"), UserAction::Tab(), UserAction::Key(kHistoryKey),
          UserAction::Key(kOtherKey), UserAction::Type(kAge, "old"), UserAction::Tab(),
          UserAction::PickRow(kList, 2), UserAction::CloseBox()});

  EXPECT_EQ(RunBounded(controller_), ResponseCancelled);

  const auto both = [](const std::string& what) {
    return std::vector<std::string>{"A." + what, "B." + what};
  };
  const std::vector<std::string> refresh = {"Reset 0", "A.Reset 0", "B.Reset 0", "A.Redraw",
                                            "B.Redraw"};
  const std::vector<std::string> asked = {"A.NeedsReset", "B.NeedsReset"};
  const std::vector<std::string> field = {"TakeSelected", "TakeFieldEvent"};
  EXPECT_EQ(journal_.all(),
            Lines({{"Init"},
                   both("RegisterAlerts"),
                   // open-window: opened and refreshed, the first field selected
                   {"TakeWindowEvent", "Open"},
                   refresh,
                   both("TakeEvent 515"),
                   asked,
                   // Tab accepts the name (B asks for a refresh) and selects the city
                   {"TakeAccepted", "TakeFieldEvent"},
                   both("TakeEvent 1"),
                   asked,
                   refresh,
                   field,
                   both("TakeEvent 257"),
                   asked,
                   // the history key in the focused city puts its value back; A asks for a
                   // refresh, so B is not asked
                   {"RestoreFieldValue 2", "TakeFieldEvent"},
                   both("TakeEvent 15"),
                   {"A.NeedsReset"},
                   refresh,
                   // another alert key of the city is the components' business only
                   {"TakeFieldEvent"},
                   both("TakeEvent 15"),
                   {"A.NeedsReset"},
                   refresh,
                   // the age entry is selected, and refuses a text that is no number
                   field,
                   both("TakeEvent 257"),
                   asked,
                   {"TakeRejected", "TakeFieldEvent"},
                   both("TakeEvent 26"),
                   asked,
                   // a row picked in the list: the list is selected, its new selection refreshes
                   field,
                   both("TakeEvent 257"),
                   asked,
                   {"TakeNewSelection"},
                   refresh,
                   {"TakeFieldEvent"},
                   both("TakeEvent 2"),
                   asked,
                   // the close box
                   {"TakeWindowEvent", "TakeCloseEvent"},
                   both("TakeEvent 513"),
                   asked,
                   {"Kill"},
                   both("Kill")}));
  EXPECT_FALSE(window_.is_open());
  // The refused entry kept the focus, with a warning sound.
  EXPECT_EQ(presenter_.beeps.load(), 1);
}

TEST_F(WindowControllerTest, AComponentThatDealsWithAnEventStopsItThere) {
  // A deals with accepted entries; C with the first close request, which keeps the window open.
  ProbeComponent closer{"C", &journal_};
  first_.AnswerTo(EventAccepted, FatalityNotify);
  first_.NeedsResetAfter(EventAccepted);
  closer.AnswerTo(EventCloseWindow, FatalityNotify, 1);
  controller_.set_up = [&](ProbeController& c) {
    c.AddComponent(&first_);
    c.AddComponent(&closer);
    c.AddComponent(&second_);
  };
  Person({UserAction::Type(kName, "Smith"), UserAction::Tab(), UserAction::CloseBox(),
          UserAction::CloseBox()});

  EXPECT_EQ(RunBounded(controller_), ResponseCancelled);

  // Later components never saw what an earlier one dealt with, and no refresh was asked for it.
  EXPECT_EQ(journal_.For("B.TakeEvent"),
            (std::vector<std::string>{"B.TakeEvent 515", "B.TakeEvent 257", "B.TakeEvent 513"}));
  EXPECT_EQ(journal_.For("C.TakeEvent"),
            (std::vector<std::string>{"C.TakeEvent 515", "C.TakeEvent 257", "C.TakeEvent 513",
                                      "C.TakeEvent 513"}));
  EXPECT_EQ(journal_.Count("A.NeedsReset"), 3);  // after the open, the city's selection, the
                                                 // second close
  EXPECT_EQ(journal_.Count("Reset 0"), 1);       // the opening's
  EXPECT_FALSE(window_.is_open());
}

TEST_F(WindowControllerTest, AHandlerEndingTheLoopLeavesItAndKillStillRuns) {
  first_.AnswerTo(EventSelected, FatalityHalt);
  controller_.set_up = [&](ProbeController& c) {
    c.AddComponent(&first_);
    c.AddComponent(&second_);
  };
  Person({UserAction::Focus(kCity), UserAction::Click(kCancel)});

  EXPECT_EQ(RunBounded(controller_), ResponseCancelled);

  EXPECT_EQ(presenter_.actions_left(), 1u) << "the click came after the loop was left";
  EXPECT_EQ(journal_.Count("B.TakeEvent 257"), 0);
  EXPECT_EQ(journal_.For("Kill"), std::vector<std::string>{"Kill"});
  EXPECT_TRUE(controller_.DEAD);
  EXPECT_TRUE(window_.is_open());  // left, not closed
}

// ---- Buttons, responses and the toolbar ----

TEST_F(WindowControllerTest, AButtonSetsItsResponseAndClosesTheWindow) {
  controller_.set_up = [&](ProbeController& c) {
    c.AddComponent(&first_);
    c.AddButton(kCancel, ResponseCancelled);
    c.AddButton(kCancel, ResponseCompleted);  // the first entry for a control counts
  };
  Person({UserAction::Click(kCancel)});

  EXPECT_EQ(RunBounded(controller_), ResponseCancelled);

  EXPECT_EQ(controller_.RESPONSE, ResponseCancelled);
  // The button's event is dealt with: no field handler, no component sees it. The close request
  // it posted ends the window.
  EXPECT_EQ(journal_.For("SetResponse"), std::vector<std::string>{"SetResponse 2"});
  EXPECT_EQ(journal_.Count("TakeFieldEvent"), 1);  // the button's selection only
  EXPECT_EQ(journal_.Count("A.TakeEvent 1"), 0);
  EXPECT_EQ(journal_.Count("TakeCloseEvent"), 1);
  EXPECT_FALSE(window_.is_open());
}

TEST_F(WindowControllerTest, AWindowClosedWithoutAResponseReportsCancelled) {
  Person({UserAction::CloseBox()});
  EXPECT_EQ(RunBounded(controller_), ResponseCancelled);
  EXPECT_EQ(controller_.RESPONSE, 0);
  EXPECT_FALSE(window_.is_open());

  // The runtime's close-down closes it too.
  Journal journal;
  Window window(FormDefinition());
  ProbeController shut_down(&window, &journal);
  shut_down.opened = [&](ProbeController&) { window.Post(EventCloseDown); };
  EXPECT_EQ(RunBounded(shut_down), ResponseCancelled);
  EXPECT_FALSE(window.is_open());
}

TEST_F(WindowControllerTest, ACancelWithAToolbarClearsTheNavigationRequestAfterTheTargetSawIt) {
  CountingRouter router;
  NotingTarget target;
  controller_.set_up = [&](ProbeController& c) {
    c.SetToolbar(&router);
    router.AddTarget(1, &target);
    router.SelectTarget(1);
    c.AddButton(kCancel, ResponseCancelled);
  };
  Person({UserAction::Click(kCancel)});
  NavigationRequest = 7;

  EXPECT_EQ(RunBounded(controller_), ResponseCancelled);

  EXPECT_EQ(target.requests, std::vector<std::int32_t>{7});
  EXPECT_EQ(NavigationRequest.load(), 0);
  EXPECT_EQ(router.kills, 1);
}

TEST_F(WindowControllerTest, OtherResponsesAndWindowsWithoutAToolbarKeepTheNavigationRequest) {
  controller_.set_up = [&](ProbeController& c) { c.AddButton(kCancel, ResponseCancelled); };
  Person({UserAction::Click(kCancel)});
  NavigationRequest = 7;
  EXPECT_EQ(RunBounded(controller_), ResponseCancelled);
  EXPECT_EQ(NavigationRequest.load(), 7);

  CountingRouter router;
  Journal journal;
  Window window(FormDefinition());
  ProbeController completing(&window, &journal);
  completing.set_up = [&](ProbeController& c) {
    c.SetToolbar(&router);
    c.AddButton(kOk, ResponseCompleted);
  };
  Person({UserAction::Click(kOk)});
  EXPECT_EQ(RunBounded(completing), ResponseCompleted);
  EXPECT_EQ(NavigationRequest.load(), 7);
}

TEST_F(WindowControllerTest, AToolbarWithoutTargetsLetsPressesAndListSelectionsPass) {
  CountingRouter router;
  controller_.set_up = [&](ProbeController& c) {
    c.SetToolbar(&router);
    c.AddComponent(&first_);
  };
  Person({UserAction::Click(kOk), UserAction::PickRow(kList, 1), UserAction::CloseBox()});
  NavigationRequest = 4;

  EXPECT_EQ(RunBounded(controller_), ResponseCancelled);

  EXPECT_EQ(journal_.Count("A.TakeEvent 1"), 1);
  EXPECT_EQ(journal_.Count("A.TakeEvent 2"), 1);
  EXPECT_EQ(NavigationRequest.load(), 4);
  EXPECT_EQ(router.current(), nullptr);
}

TEST_F(WindowControllerTest, ANewSelectionInAListRetargetsTheToolbarOnlyWithAutoToolbar) {
  CountingRouter router;
  NotingTarget target;
  controller_.set_up = [&](ProbeController& c) {
    c.SetToolbar(&router);
    router.AddTarget(1, &target);
  };
  Person({UserAction::Click(kOk), UserAction::PickRow(kList, 1), UserAction::Click(kOk),
          UserAction::CloseBox()});
  NavigationRequest = 3;

  EXPECT_EQ(RunBounded(controller_), ResponseCancelled);
  // Only the press after the list's selection reached the target.
  EXPECT_EQ(target.requests, std::vector<std::int32_t>{3});

  Journal journal;
  Window window(FormDefinition());
  ProbeController manual(&window, &journal);
  ToolbarRouter manual_router;
  NotingTarget manual_target;
  manual.set_up = [&](ProbeController& c) {
    c.SetToolbar(&manual_router);
    manual_router.AddTarget(1, &manual_target);
    c.AUTOTOOLBAR = false;
  };
  Person({UserAction::PickRow(kList, 1), UserAction::Click(kOk), UserAction::CloseBox()});
  EXPECT_EQ(RunBounded(manual), ResponseCancelled);
  EXPECT_TRUE(manual_target.requests.empty());
}

// ---- OK and completion ----

TEST_F(WindowControllerTest, OkOnAFormValidatesFirstAndNoRefreshOverwritesTheFieldsMeanwhile) {
  controller_.REQUEST = RequestInsert;
  controller_.complete_with = ResponseCompleted;
  // A asks for a refresh right after OK, while every control is being validated again.
  first_.NeedsResetAfter(EventAccepted);
  controller_.set_up = [&](ProbeController& c) {
    c.AddComponent(&first_);
    c.OKCONTROL = kOk;
  };
  Person({UserAction::Click(kOk)});

  EXPECT_EQ(RunBounded(controller_), ResponseCompleted);

  EXPECT_EQ(journal_.For("A."),
            (std::vector<std::string>{
                "A.RegisterAlerts", "A.Reset 0", "A.Redraw", "A.TakeEvent 515", "A.NeedsReset",
                "A.TakeEvent 257", "A.NeedsReset", "A.TakeEvent 1", "A.NeedsReset",
                "A.TakeEvent 549", "A.NeedsReset", "A.TakeEvent 513", "A.NeedsReset", "A.Kill"}));
  EXPECT_EQ(journal_.Count("Reset 0"), 2);  // the opening's, and the one that did nothing
  EXPECT_EQ(journal_.Count("TakeCompleted"), 1);
}

TEST_F(WindowControllerTest, OkOnAWindowThatIsNoFormCompletesAtOnce) {
  controller_.complete_with = ResponseCompleted;
  controller_.set_up = [&](ProbeController& c) { c.OKCONTROL = kOk; };
  Person({UserAction::Click(kOk)});
  EXPECT_EQ(RunBounded(controller_), ResponseCompleted);
  EXPECT_EQ(journal_.Count("TakeCompleted"), 1);
  EXPECT_FALSE(window_.accept_all());
}

// ---- Refreshing ----

TEST_F(WindowControllerTest, OnlyTheSecondSizedEventRefreshes) {
  controller_.set_up = [&](ProbeController& c) { c.AddComponent(&first_); };
  Person({UserAction::Resize(300, 200), UserAction::Resize(320, 220), UserAction::CloseBox()});
  EXPECT_EQ(RunBounded(controller_), ResponseCancelled);
  EXPECT_EQ(journal_.For("A."),
            (std::vector<std::string>{
                "A.RegisterAlerts", "A.Reset 0", "A.Redraw", "A.TakeEvent 515", "A.NeedsReset",
                "A.TakeEvent 561", "A.NeedsReset", "A.Reset 0", "A.Redraw", "A.TakeEvent 561",
                "A.NeedsReset", "A.TakeEvent 513", "A.NeedsReset", "A.Kill"}));
}

TEST_F(WindowControllerTest, RegainingTheFocusRefreshesWithForceOnlyWhenAskedTo) {
  controller_.set_up = [&](ProbeController& c) {
    c.AddComponent(&first_);
    c.RESETONGAINFOCUS = true;
  };
  // The force is used up by the refresh on regaining the focus: the list's refresh has none.
  Person({UserAction::Activate(false), UserAction::Activate(true), UserAction::PickRow(kList, 1),
          UserAction::CloseBox()});
  EXPECT_EQ(RunBounded(controller_), ResponseCancelled);
  EXPECT_EQ(journal_.For("A.Reset"),
            (std::vector<std::string>{"A.Reset 0", "A.Reset 1", "A.Reset 0"}));

  Journal journal;
  Window window(FormDefinition());
  ProbeComponent component("A", &journal);
  ProbeController plain(&window, &journal);
  plain.set_up = [&](ProbeController& c) { c.AddComponent(&component); };
  Person({UserAction::Activate(false), UserAction::Activate(true), UserAction::CloseBox()});
  EXPECT_EQ(RunBounded(plain), ResponseCancelled);
  EXPECT_EQ(journal.For("A.Reset"), (std::vector<std::string>{"A.Reset 0", "A.Reset 0"}));
}

// ---- Life ----

TEST_F(WindowControllerTest, InitClearsAPendingMouseKeyAndSetsTheDefaults) {
  for (const int key : {kKeyMouseLeft, kKeyMouseLeftDouble}) {
    WindowController controller;
    EventLoop::set_key_code(key);
    controller.REQUEST = RequestChange;
    ASSERT_EQ(controller.Init(), FatalityNone);
    EXPECT_EQ(EventLoop::key_code(), kKeyNone) << "key code " << key;
    EXPECT_EQ(controller.ORIGINALREQUEST, RequestChange);
    EXPECT_TRUE(controller.AUTOREFRESH);
    EXPECT_TRUE(controller.AUTOTOOLBAR);
    EXPECT_EQ(controller.INSERTACTION, 2);
    EXPECT_EQ(controller.DELETEACTION, 2);
    EXPECT_EQ(controller.CHANGEACTION, 1);
    EXPECT_EQ(controller.CANCELACTION, 3);
    controller.Kill();
  }
  WindowController controller;
  EventLoop::set_key_code(kKeyEnter);
  ASSERT_EQ(controller.Init(), FatalityNone);
  EXPECT_EQ(EventLoop::key_code(), kKeyEnter);
  controller.Kill();
}

TEST_F(WindowControllerTest, KillRunsOnceAndLeavesAnOuterNameScopeOpen) {
  CountingRouter router;
  NameBindingScope::Open();  // the procedure that started this one
  ASSERT_EQ(controller_.Kill(), FatalityNotify) << "never set up";
  EXPECT_TRUE(journal_.For("A.").empty());

  ASSERT_EQ(controller_.WindowController::Init(), FatalityNone);
  controller_.AddComponent(&first_);
  controller_.AddComponent(&second_);
  controller_.SetToolbar(&router);
  EXPECT_EQ(NameBindingScope::depth(), 2);

  EXPECT_EQ(controller_.Kill(), FatalityNone);
  EXPECT_EQ(controller_.Kill(), FatalityNotify);
  EXPECT_EQ(journal_.For("A."), std::vector<std::string>{"A.Kill"});
  EXPECT_EQ(journal_.For("B."), std::vector<std::string>{"B.Kill"});
  EXPECT_EQ(router.kills, 1);
  EXPECT_EQ(controller_.CL, nullptr);
  EXPECT_EQ(controller_.BUTTONS, nullptr);
  EXPECT_EQ(NameBindingScope::depth(), 1);
  NameBindingScope::Close();
}

TEST_F(WindowControllerTest, ADeadControllersLoopReturnsAtOnce) {
  controller_.set_up = [&](ProbeController& c) { c.AddComponent(&first_); };
  ASSERT_EQ(controller_.Init(), FatalityNone);
  window_.Post(EventAccepted, kName);
  ASSERT_EQ(controller_.Kill(), FatalityNone);
  {
    testing::Watchdog watchdog("a dead controller's loop to return");
    controller_.RunEventLoop();
  }
  EXPECT_TRUE(journal_.For("TakeWindowEvent").empty());
  EXPECT_TRUE(window_.is_open());  // nothing handled, nothing closed
  window_.Close();
}

TEST_F(WindowControllerTest, AFailedInitSkipsTheLoopButStillKills) {
  controller_.fail_init = FatalityHalt;
  EXPECT_EQ(RunBounded(controller_), ResponseCancelled);
  EXPECT_EQ(journal_.all(), (std::vector<std::string>{"Init", "Kill"}));
  EXPECT_TRUE(controller_.DEAD);
  EXPECT_EQ(NameBindingScope::depth(), 0);
}

// ---- Shared values ----

// Two procedures on their own threads take the pending request, clear it, move the navigation
// request and store their response, at the same time: the values are shared without locks, so
// they must be atomic.
TEST_F(WindowControllerTest, ProceduresOnTwoThreadsShareTheRequestValues) {
  PendingRequest = RequestChange;
  Person({UserAction::Click(kCancel)});
  Person({UserAction::Click(kCancel)});
  auto procedure = [](std::atomic<std::uint8_t>* request_seen) {
    Journal journal;
    Window window(FormDefinition());
    ProbeController controller(&window, &journal);
    ToolbarRouter router;
    controller.REQUEST = PendingRequest;
    request_seen->store(controller.REQUEST);
    controller.set_up = [&](ProbeController& c) {
      PendingRequest = 0;
      LastResponse = 0;
      c.SetToolbar(&router);
      c.AddButton(kCancel, ResponseCancelled);
    };
    controller.opened = [&](ProbeController&) {
      NavigationRequest = 5;  // a browse asks to move on; then the person cancels
    };
    LastResponse = controller.Run();
  };
  std::atomic<std::uint8_t> seen_first{9};
  std::atomic<std::uint8_t> seen_second{9};
  {
    testing::Watchdog watchdog("both procedure threads to end");
    std::thread first(procedure, &seen_first);
    std::thread second(procedure, &seen_second);
    first.join();
    second.join();
  }
  // Either may have taken the request before the other cleared it.
  EXPECT_TRUE(seen_first.load() == RequestChange || seen_second.load() == RequestChange);
  EXPECT_EQ(PendingRequest.load(), 0);
  EXPECT_EQ(LastResponse.load(), ResponseCancelled);
  EXPECT_EQ(NavigationRequest.load(), 0);  // each cancel cleared it after its own move
}

}  // namespace
}  // namespace morlan
