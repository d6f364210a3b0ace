// Record forms run like a person uses them: a small customer form over the in-memory keyed
// driver, its controls bound to the customer record, with an order file related to it (update
// and delete cascade). The person's actions and answers come from the headless presenter's
// scripts; failures come from the fault wrapper around the customer file.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "data/file_manager.h"
#include "data/file_relations.h"
#include "data/file_usage_tracker.h"
#include "gtest/gtest.h"
#include "platform/event_loop.h"
#include "platform/fault_injecting_file.h"
#include "platform/headless_presenter.h"
#include "platform/key_codes.h"
#include "platform/memory_keyed_file.h"
#include "platform/transaction.h"
#include "platform/user_action.h"
#include "platform/window.h"
#include "testing/bounded_wait.h"
#include "testing/data_fixture.h"
#include "testing/records.h"
#include "window/shared_requests.h"
#include "window/toolbar_router.h"
#include "window/window_controller.h"

namespace morlan {
namespace {

constexpr std::uint8_t kReadWrite = kAccessReadWrite | kShareDenyNone;
constexpr char kFormId[] = "CUSFORM";
constexpr int kHistoryKey = kKeyF3;

// Controls of the form: the customer's fields, a second entry showing the name, OK, Cancel and
// the toolbar's restore-field command (a command keeps the focus where it is).
constexpr int kId = 1;
constexpr int kName = 2;
constexpr int kCity = 3;
constexpr int kOk = 4;
constexpr int kCancel = 5;
constexpr int kNick = 6;
constexpr int kRestoreField = WindowController::kToolbarRestoreField;

enum CustomerField { kCusId = 0, kCusName = 1, kCusCity = 2 };
enum OrderField { kOrdId = 0, kOrdCustomer = 1, kOrdItem = 2 };

WindowDefinition FormDefinition() {
  WindowDefinition d;
  d.id = kFormId;
  d.caption = "Customer";
  d.width = 200;
  d.height = 100;
  const auto control = [](int number, ControlType type) {
    ControlDefinition c;
    c.number = number;
    c.name = "?C" + std::to_string(number);
    c.type = type;
    return c;
  };
  d.controls = {control(kId, ControlType::kEntry),
                control(kName, ControlType::kEntry),
                control(kCity, ControlType::kEntry),
                control(kOk, ControlType::kButton),
                control(kCancel, ControlType::kButton),
                control(kNick, ControlType::kEntry),
                control(kRestoreField, ControlType::kMenuItem)};
  return d;
}

// One data file: a memory table, the station its manager works on (behind the fault wrapper),
// a loader station for filling and reading the table, the manager and its relation manager.
struct FormFile final {
  FormFile(const std::string& label, RecordLayout layout, ErrorManager* errors)
      : table(std::make_shared<MemoryTable>()),
        inner(label, layout, table),
        wrapper(inner),
        loader(label + "-loader", layout, table) {
    loader.Create();
    loader.Open(kReadWrite);
    manager.Init(&wrapper, errors);
    manager.BUFFER = &wrapper;
    relations.Init(&manager, true);
  }
  ~FormFile() {
    relations.Kill();
    manager.Kill();
  }

  void Add(double id, double second, const std::string& text) {
    loader.ClearRecord();
    loader.field(0).Set(FieldValue::Number(id));
    loader.field(1).Set(FieldValue::Number(second));
    loader.field(2).Set(FieldValue::Text(text));
    loader.Add();
  }
  // Every record as "field:field:field", in physical order.
  std::vector<std::string> Rows() {
    std::vector<std::string> rows;
    loader.SetStart();
    for (loader.Next(); RuntimeErrorState::code() == StatusOk; loader.Next()) {
      rows.push_back(RowText(loader));
    }
    return rows;
  }
  static std::string RowText(DataFile& file) {
    std::string row;
    for (int i = 0; i < file.layout().field_count(); ++i) {
      const FieldRef field = file.field(i);
      if (i > 0) row += ":";
      row += field.is_text() ? testing::FieldText(file, i)
                             : std::to_string(static_cast<int>(field.Get().number()));
    }
    return row;
  }

  std::shared_ptr<MemoryTable> table;
  MemoryKeyedFile inner;
  FaultInjectingFile wrapper;
  MemoryKeyedFile loader;
  FileManager manager;
  FileRelations relations;
};

// A customer form as a procedure writes one: its Init opens the file through the relation
// manager, reads the record (or prepares a new, auto-numbered one), binds the controls to the
// record's fields, lets the test add what it needs, calls PrepareUpdate and, unless that leaves
// nothing to show, opens the window. `ends` notes how each completion and close request ended:
// "completed <level> @<focused control>", "close <level> @<focused control>".
class CustomerForm final : public WindowController {
 public:
  CustomerForm(Window* window, FormFile* customers, ErrorManager* errors, std::uint8_t request,
               int record_id = 0)
      : window_(window),
        customers_(customers),
        errors_(errors),
        request_(request),
        record_id_(record_id) {}

  std::function<void(CustomerForm&)> set_up;  // after the record is read, before PrepareUpdate
  std::function<void(CustomerForm&)> prime;   // PrimeNewRecord
  Level prepared = FatalityNone;              // what PrepareUpdate answered
  int primes = 0;
  std::vector<std::string> ends;

  Level Init() override {
    REQUEST = request_;
    if (const Level r = WindowController::Init(); r != FatalityNone) return r;
    WINDOW = window_;
    ERRORS = errors_;
    VCRREQUEST = &NavigationRequest;
    FIRSTFIELD = kName;
    OKCONTROL = kOk;
    PRIMARY = &customers_->relations;
    AddButton(kCancel, ResponseCancelled);
    if (PRIMARY->Open(false) != FatalityNone) return FatalityHalt;
    FILESOPENED = true;
    DataFile& record = customers_->wrapper;
    if (REQUEST == RequestInsert) {
      if (customers_->manager.PrepareRecord(false) != FatalityNone) return FatalityHalt;
    } else {
      record.ClearRecord();
      record.field(kCusId).Set(FieldValue::Number(record_id_));
      if (customers_->manager.TryFetch(record.key(0)) != FatalityNone) return FatalityHalt;
    }
    window_->BindField(kId, record.field(kCusId));
    window_->BindField(kName, record.field(kCusName));
    window_->BindField(kNick, record.field(kCusName));
    window_->BindField(kCity, record.field(kCusCity));
    if (set_up) set_up(*this);
    prepared = PrepareUpdate();
    if (prepared != FatalityNone) return prepared;
    window_->Open();
    OPENED = true;
    RegisterAlerts();
    return FatalityNone;
  }
  Level Kill() override {
    if (const Level r = WindowController::Kill(); r != FatalityNone) return r;
    if (FILESOPENED) PRIMARY->Close(false);
    return FatalityNone;
  }
  void PrimeNewRecord() override {
    ++primes;
    if (prime) prime(*this);
  }
  Level TakeCompleted() override { return Note("completed", WindowController::TakeCompleted()); }
  Level TakeCloseEvent() override { return Note("close", WindowController::TakeCloseEvent()); }

 private:
  Level Note(const std::string& what, Level level) {
    ends.push_back(what + " " + std::to_string(level) + " @" +
                   std::to_string(window_->focused_control()));
    return level;
  }

  Window* window_;
  FormFile* customers_;
  ErrorManager* errors_;
  std::uint8_t request_;
  int record_id_;
};

// Answers No (or OK) once a test has seen too many boxes, so a retry loop fails the test instead
// of hanging it.
class FormPresenter final : public HeadlessPresenter {
 public:
  ButtonFlags ShowMessageBox(const MessageBoxRequest& request) override {
    if (message_boxes().size() < 20) return HeadlessPresenter::ShowMessageBox(request);
    return (request.buttons & ButtonNo) != 0 ? ButtonNo : ButtonOk;
  }
};

class RecordFormTest : public testing::DataFixture<FormPresenter> {
 protected:
  void SetUp() override {
    DataFixture::SetUp();
    NavigationRequest = 0;
    EventLoop::set_key_code(0);
    MakeFiles();
  }
  void TearDown() override {
    EXPECT_TRUE(presenter_.scripts_ran_dry().empty()) << "a form outlived its script";
    Transaction::Rollback();
    DropFiles();
    DataFixture::TearDown();
  }

  // Customers 1 and 2 (key BYID, auto-numbered); orders 10 and 11 of customer 1 and 20 of 2
  // (key BYCUSTOMER); a customer's ID change or delete cascades to its orders.
  void MakeFiles() {
    RecordLayout customers;
    customers.AddField("CUS:ID", FieldType::kLong);
    customers.AddField("CUS:NAME", FieldType::kText, 10);
    customers.AddField("CUS:CITY", FieldType::kText, 8);
    RecordLayout orders;
    orders.AddField("ORD:ID", FieldType::kLong);
    orders.AddField("ORD:CUSTOMER", FieldType::kLong);
    orders.AddField("ORD:ITEM", FieldType::kText, 8);
    customers_ = std::make_unique<FormFile>("CUS", customers, &errors_);
    orders_ = std::make_unique<FormFile>("ORD", orders, &errors_);
    ASSERT_NE(customers_->manager.AddKey(FileKey{"CUS:BYID", {{kCusId, true}}}, "by id", 1),
              nullptr);
    const FileKey* by_customer = orders_->manager.AddKey(
        FileKey{"ORD:BYCUSTOMER", {{kOrdCustomer, true}, {kOrdId, true}}}, "by customer");
    ASSERT_NE(by_customer, nullptr);
    FieldPairs* link = customers_->relations.AddRelation(&orders_->relations, by_customer,
                                                         RelationModeCascade, RelationModeCascade);
    ASSERT_NE(link, nullptr);
    link->AddPair(customers_->wrapper.field(kCusId), orders_->wrapper.field(kOrdCustomer));
    SetCustomerRow(1, "Adams", "Oslo");
    SetCustomerRow(2, "Baker", "Rome");
    orders_->Add(10, 1, "pen");
    orders_->Add(11, 1, "ink");
    orders_->Add(20, 2, "cap");
  }
  void SetCustomerRow(int id, const std::string& name, const std::string& city) {
    testing::SetCustomer(customers_->loader, id, name, city);
    customers_->loader.Add();
  }
  void DropFiles() {
    customers_.reset();
    orders_.reset();
    FileUsageTracker::Instance().Clear();
  }
  // Fresh files and presenter, for the next case of a table.
  void Restart() {
    EXPECT_TRUE(presenter_.scripts_ran_dry().empty()) << "a form outlived its script";
    DropFiles();
    presenter_.Clear();
    NavigationRequest = 0;
    MakeFiles();
  }

  void Person(std::vector<UserAction> actions) {
    presenter_.ScriptFor(kFormId, std::move(actions));
  }
  std::uint8_t Run(CustomerForm& form) {
    testing::Watchdog watchdog("the form's run to end");
    return form.Run();
  }
  // The customer record in the form's buffer.
  std::string Buffer() { return FormFile::RowText(customers_->wrapper); }

  std::unique_ptr<FormFile> customers_;
  std::unique_ptr<FormFile> orders_;
};

using Strings = std::vector<std::string>;
const Strings kCustomers = {"1:Adams:Oslo", "2:Baker:Rome"};
const Strings kOrders = {"10:1:pen", "11:1:ink", "20:2:cap"};

// ---- Insert ----

TEST_F(RecordFormTest, InsertCompletesOrAsksForAnotherRecord) {
  // INSERTACTION 2: OK stores the auto-numbered record and completes the form.
  {
    Window window(FormDefinition());
    CustomerForm form(&window, customers_.get(), &errors_, RequestInsert);
    form.prime = [&](CustomerForm&) {
      customers_->wrapper.field(kCusCity).Set(FieldValue::Text("Lima"));
    };
    Person({UserAction::Type(kName, "Cole"), UserAction::Click(kOk)});
    EXPECT_EQ(Run(form), ResponseCompleted);
    EXPECT_EQ(customers_->Rows(), (Strings{"1:Adams:Oslo", "2:Baker:Rome", "3:Cole:Lima"}));
    EXPECT_EQ(form.primes, 1);
    EXPECT_TRUE(Captions().empty());
    EXPECT_FALSE(window.is_open());
  }
  // INSERTACTION 4: "Record Added" asks for another; Yes starts it, No completes the form.
  Restart();
  Window window(FormDefinition());
  CustomerForm form(&window, customers_.get(), &errors_, RequestInsert);
  form.set_up = [](CustomerForm& f) { f.INSERTACTION = WindowController::kInsertAsksForAnother; };
  presenter_.ScriptAnswers({ButtonYes, ButtonNo});
  Person({UserAction::Type(kName, "Cole"), UserAction::Type(kCity, "Lima"), UserAction::Click(kOk),
          UserAction::Type(kName, "Dunn"), UserAction::Click(kOk)});
  EXPECT_EQ(Run(form), ResponseCompleted);
  EXPECT_EQ(customers_->Rows(),
            (Strings{"1:Adams:Oslo", "2:Baker:Rome", "3:Cole:Lima", "4:Dunn:"}));
  EXPECT_EQ(Captions(), (Strings{"Record Added", "Record Added"}));
  EXPECT_EQ(form.primes, 2);
  EXPECT_EQ(Buffer(), "4:Dunn:");
}

TEST_F(RecordFormTest, NextRecordAtOnceTwiceThenCloseReadsTheLastInsertedBack) {
  // The order buffer is an update file: each new record starts from what it held before the
  // form, whatever priming did to it.
  orders_->wrapper.field(kOrdItem).Set(FieldValue::Text("before"));
  Strings items_when_primed;
  Window window(FormDefinition());
  CustomerForm form(&window, customers_.get(), &errors_, RequestInsert);
  form.set_up = [&](CustomerForm& f) {
    f.INSERTACTION = WindowController::kInsertNextRecord;
    f.AddUpdateFile(&orders_->manager);
  };
  form.prime = [&](CustomerForm&) {
    items_when_primed.push_back(testing::FieldText(orders_->wrapper, kOrdItem));
    orders_->wrapper.field(kOrdItem).Set(FieldValue::Text("primed"));
  };
  Person({UserAction::Type(kName, "Cole"), UserAction::Click(kOk), UserAction::Type(kName, "Dunn"),
          UserAction::Click(kOk), UserAction::CloseBox()});

  EXPECT_EQ(Run(form), ResponseCompleted);

  // The third record, auto-numbered and never filled in, went again when the form closed.
  EXPECT_EQ(customers_->Rows(), (Strings{"1:Adams:Oslo", "2:Baker:Rome", "3:Cole:", "4:Dunn:"}));
  EXPECT_EQ(Buffer(), "4:Dunn:");
  EXPECT_EQ(items_when_primed, (Strings{"before", "before", "before"}));
  EXPECT_TRUE(Captions().empty());
  EXPECT_EQ(form.ends, (Strings{"completed 5 @2", "completed 5 @2", "close 0 @2"}));
  // No saved copy outlives the form.
  EXPECT_TRUE(customers_->manager.BUFFERS->empty());
  EXPECT_TRUE(orders_->manager.BUFFERS->empty());
}

TEST_F(RecordFormTest, InsertActionsZeroAndOtherStoreTheRecordAndDoNothingMore) {
  for (const std::uint8_t action : {0, 1}) {
    SCOPED_TRACE(action);
    Window window(FormDefinition());
    CustomerForm form(&window, customers_.get(), &errors_, RequestInsert);
    form.set_up = [&](CustomerForm& f) {
      f.INSERTACTION = action;
      f.CANCELACTION = 0;
    };
    Person({UserAction::Type(kName, "Cole"), UserAction::Click(kOk), UserAction::Click(kCancel)});
    EXPECT_EQ(Run(form), ResponseCancelled);
    EXPECT_EQ(customers_->Rows(), (Strings{"1:Adams:Oslo", "2:Baker:Rome", "3:Cole:"}));
    EXPECT_EQ(form.primes, action == 0 ? 0 : 1);
    EXPECT_EQ(form.ends, (Strings{"completed 0 @4", "close 0 @5"}));
    Restart();
  }
}

TEST_F(RecordFormTest, ARefusedInsertKeepsTheFormOnItsFirstFieldUntilOkSucceeds) {
  customers_->wrapper.FailOnce(FileOperation::kPut, StatusAccessDenied);
  Window window(FormDefinition());
  CustomerForm form(&window, customers_.get(), &errors_, RequestInsert);
  Person({UserAction::Type(kName, "Cole"), UserAction::Click(kOk), UserAction::Click(kOk)});

  EXPECT_EQ(Run(form), ResponseCompleted);

  EXPECT_EQ(Captions(), Strings{"Record Insert Error"});
  EXPECT_EQ(form.ends, (Strings{"completed 5 @2", "completed 0 @4", "close 0 @4"}));
  EXPECT_EQ(customers_->Rows(), (Strings{"1:Adams:Oslo", "2:Baker:Rome", "3:Cole:"}));
}

TEST_F(RecordFormTest, AutoNumberingFailingForTheNextRecordClosesTheForm) {
  // The first add (the record the form starts with) passes; every later one fails, and after
  // three tries the person is asked and says No.
  customers_->wrapper.FailAfter(FileOperation::kAdd, 1, StatusAccessDenied,
                                FaultDuration::kPersistent);
  presenter_.ScriptAnswers({ButtonNo});
  Window window(FormDefinition());
  CustomerForm form(&window, customers_.get(), &errors_, RequestInsert);
  form.set_up = [](CustomerForm& f) { f.INSERTACTION = WindowController::kInsertNextRecord; };
  Person({UserAction::Type(kName, "Cole"), UserAction::Click(kOk)});

  EXPECT_EQ(Run(form), ResponseCompleted);

  EXPECT_EQ(Captions(), Strings{"Auto Increment Error"});
  EXPECT_EQ(customers_->wrapper.failures(FileOperation::kAdd), 3);
  EXPECT_EQ(customers_->Rows(), (Strings{"1:Adams:Oslo", "2:Baker:Rome", "3:Cole:"}));
  EXPECT_EQ(Buffer(), "3:Cole:");
}

TEST_F(RecordFormTest, CancellingAnAutoNumberedInsertRemovesItsRecord) {
  presenter_.ScriptAnswers({ButtonNo});
  Window window(FormDefinition());
  CustomerForm form(&window, customers_.get(), &errors_, RequestInsert);
  Person({UserAction::Type(kName, "Cole"), UserAction::Tab(), UserAction::CloseBox()});

  EXPECT_EQ(Run(form), ResponseCancelled);

  EXPECT_EQ(Captions(), Strings{"Save Record"});
  EXPECT_EQ(customers_->Rows(), kCustomers);
}

TEST_F(RecordFormTest, AnAutoNumberedRecordThatCannotBeRemovedKeepsTheFormWithWhatWasTyped) {
  // The removal fails and the person declines to try again: the form stays, and OK then stores
  // what the person typed, not the blank record the removal read back.
  customers_->wrapper.FailOnce(FileOperation::kDelete, StatusAccessDenied);
  presenter_.ScriptAnswers({ButtonNo, ButtonOk, ButtonNo});
  Window window(FormDefinition());
  CustomerForm form(&window, customers_.get(), &errors_, RequestInsert);
  Person({UserAction::Type(kName, "Cole"), UserAction::Tab(), UserAction::CloseBox(),
          UserAction::Click(kOk)});

  EXPECT_EQ(Run(form), ResponseCompleted);

  EXPECT_EQ(Captions(), (Strings{"Save Record", "Record was not deleted", "Record Delete Error"}));
  EXPECT_EQ(form.ends, (Strings{"close 5 @2", "completed 0 @4", "close 0 @4"}));
  EXPECT_EQ(customers_->Rows(), (Strings{"1:Adams:Oslo", "2:Baker:Rome", "3:Cole:"}));
}

TEST_F(RecordFormTest, AnInsertTheHookRefusesLeavesNoAutoNumberedRecordBehind) {
  Window window(FormDefinition());
  CustomerForm form(&window, customers_.get(), &errors_, RequestInsert);
  form.prime = [](CustomerForm& f) { f.RESPONSE = ResponseCancelled; };

  EXPECT_EQ(Run(form), ResponseCancelled);

  EXPECT_EQ(form.prepared, FatalityHalt);
  EXPECT_TRUE(presenter_.window_history().empty()) << "the form was shown";
  EXPECT_EQ(customers_->Rows(), kCustomers);
}

// ---- Change ----

TEST_F(RecordFormTest, OkOnAnUnchangedRecordWritesNothing) {
  struct Case {
    bool toolbar;
    std::int32_t navigation;
    std::uint8_t response;
  };
  // Unchanged, the form completes only as a toolbar's form with no move pending.
  for (const Case c : {Case{false, 0, ResponseCancelled}, Case{true, 0, ResponseCompleted},
                       Case{true, 5, ResponseCancelled}}) {
    SCOPED_TRACE(std::to_string(c.toolbar) + " " + std::to_string(c.navigation));
    ToolbarRouter router;
    Window window(FormDefinition());
    CustomerForm form(&window, customers_.get(), &errors_, RequestChange, 2);
    form.set_up = [&](CustomerForm& f) {
      if (c.toolbar) f.SetToolbar(&router);
    };
    NavigationRequest = c.navigation;
    Person({UserAction::Click(kOk)});
    EXPECT_EQ(Run(form), c.response);
    EXPECT_EQ(customers_->wrapper.calls(FileOperation::kPut), 0);
    EXPECT_TRUE(Captions().empty());
    Restart();
  }
}

TEST_F(RecordFormTest, AChangedRecordIsWrittenAndItsNewIdReachesItsOrders) {
  Window window(FormDefinition());
  CustomerForm form(&window, customers_.get(), &errors_, RequestChange, 1);
  Person({UserAction::Type(kId, "7"), UserAction::Type(kCity, "Bern"), UserAction::Click(kOk)});

  EXPECT_EQ(Run(form), ResponseCompleted);

  EXPECT_EQ(customers_->Rows(), (Strings{"7:Adams:Bern", "2:Baker:Rome"}));
  EXPECT_EQ(orders_->Rows(), (Strings{"10:7:pen", "11:7:ink", "20:2:cap"}));
  EXPECT_TRUE(Captions().empty());
}

TEST_F(RecordFormTest, AFailedChangeIsTriedAgainClosedOrKeptAsThePersonAnswers) {
  struct Case {
    ButtonFlags retry;  // the answer to "Record Update Error"
    std::vector<UserAction> then;
    std::vector<ButtonFlags> more_answers;
    std::uint8_t response;
    Strings customers;
    Strings captions;
  };
  const Strings changed = {"1:Adams:Bern", "2:Baker:Rome"};
  const Strings failed = {"Record was not updated", "Record Update Error"};
  const Case cases[] = {
      {ButtonYes, {}, {}, ResponseCompleted, changed, failed},
      // No closes the form; the close request then finds the change unsaved and asks.
      {ButtonNo,
       {},
       {ButtonNo},
       ResponseCancelled,
       kCustomers,
       {"Record was not updated", "Record Update Error", "Save Record"}},
      // Cancel stays on the form, whose next OK writes the change.
      {ButtonCancel, {UserAction::Click(kOk)}, {}, ResponseCompleted, changed, failed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.retry);
    customers_->wrapper.FailOnce(FileOperation::kPut, StatusAccessDenied);
    std::vector<ButtonFlags> answers = {ButtonOk, c.retry};
    answers.insert(answers.end(), c.more_answers.begin(), c.more_answers.end());
    presenter_.ScriptAnswers(answers);
    std::vector<UserAction> actions = {UserAction::Type(kCity, "Bern"), UserAction::Click(kOk)};
    actions.insert(actions.end(), c.then.begin(), c.then.end());
    Person(actions);
    Window window(FormDefinition());
    CustomerForm form(&window, customers_.get(), &errors_, RequestChange, 1);
    EXPECT_EQ(Run(form), c.response);
    EXPECT_EQ(customers_->Rows(), c.customers);
    EXPECT_EQ(Captions(), c.captions);
    Restart();
  }
}

TEST_F(RecordFormTest, AChangeByAnotherStationIsShownAndTheHistoryKeyRecallsThePersonsValue) {
  Window window(FormDefinition());
  CustomerForm form(&window, customers_.get(), &errors_, RequestChange, 1);
  form.set_up = [&](CustomerForm& f) {
    f.HISTORYKEY = kHistoryKey;
    f.AddHistoryField(kName, customers_->wrapper.field(kCusName));
    // Another station changes the customer after the form read it.
    MemoryKeyedFile other("CUS-other", customers_->inner.layout(), customers_->table);
    other.Open(kReadWrite);
    other.SetStart();
    other.Next();
    other.field(kCusCity).Set(FieldValue::Text("Kiev"));
    other.Put();
  };
  Person({UserAction::Type(kName, "Jones"), UserAction::Click(kOk), UserAction::Focus(kName),
          UserAction::Key(kHistoryKey), UserAction::Click(kOk)});

  EXPECT_EQ(Run(form), ResponseCompleted);

  EXPECT_EQ(Captions(), Strings{"Record Was Not Updated"});
  EXPECT_NE(presenter_.message_boxes()[0].text.find("recall your changes"), std::string::npos);
  EXPECT_EQ(form.ends, (Strings{"completed 0 @2", "completed 0 @4", "close 0 @4"}));
  EXPECT_EQ(customers_->Rows(), (Strings{"1:Jones:Kiev", "2:Baker:Rome"}));
}

// The history key pressed while typed text is still in the entry puts the saved value back on
// screen too, even when the field already holds it: what the person then sees is what is stored.
TEST_F(RecordFormTest, TheHistoryKeyOverTypedTextShowsAndKeepsTheSavedValue) {
  Window window(FormDefinition());
  CustomerForm form(&window, customers_.get(), &errors_, RequestChange, 1);
  form.set_up = [&](CustomerForm& f) {
    f.HISTORYKEY = kHistoryKey;
    f.AddHistoryField(kName, customers_->wrapper.field(kCusName));
  };
  Person({UserAction::Focus(kName), UserAction::Type(kName, "Xavier"), UserAction::Key(kHistoryKey),
          UserAction::Click(kOk)});

  Run(form);

  EXPECT_EQ(customers_->Rows(), kCustomers);
  EXPECT_TRUE(Captions().empty());
}

// ---- Delete ----

TEST_F(RecordFormTest, DeleteActionsTwoAndFourDeleteBeforeTheFormShows) {
  struct Case {
    std::uint8_t action;
    std::vector<ButtonFlags> answers;
    std::uint8_t response;
    Strings captions;
    Strings customers;
    Strings orders;
  };
  const Case cases[] = {
      {WindowController::kDeleteConfirmed,
       {ButtonYes},
       ResponseCompleted,
       {"Confirm Delete"},
       {"2:Baker:Rome"},
       {"20:2:cap"}},
      {WindowController::kDeleteConfirmed,
       {ButtonNo},
       ResponseCancelled,
       {"Confirm Delete"},
       kCustomers,
       kOrders},
      {WindowController::kDeleteAtOnce, {}, ResponseCompleted, {}, {"2:Baker:Rome"}, {"20:2:cap"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.action) + " " + std::to_string(c.answers.size()));
    presenter_.ScriptAnswers(c.answers);
    Window window(FormDefinition());
    CustomerForm form(&window, customers_.get(), &errors_, RequestDelete, 1);
    form.set_up = [&](CustomerForm& f) { f.DELETEACTION = c.action; };
    EXPECT_EQ(Run(form), c.response);
    EXPECT_EQ(form.prepared, FatalityHalt);
    EXPECT_TRUE(presenter_.window_history().empty()) << "the form was shown";
    EXPECT_EQ(Captions(), c.captions);
    EXPECT_EQ(customers_->Rows(), c.customers);
    EXPECT_EQ(orders_->Rows(), c.orders);
    Restart();
  }
}

TEST_F(RecordFormTest, AFailedDeleteOnOkIsTriedAgainClosedOrKeptAsThePersonAnswers) {
  struct Case {
    ButtonFlags retry;  // the answer to the form's "Record Delete Error"
    std::uint8_t response;
    Strings customers;
    Strings ends;
  };
  const Case cases[] = {
      {ButtonYes, ResponseCompleted, {"2:Baker:Rome"}, {"completed 0 @4", "close 0 @4"}},
      {ButtonNo, ResponseCancelled, kCustomers, {"completed 0 @4", "close 0 @4"}},
      // Cancel stays on the form, which the person then leaves with Cancel.
      {ButtonCancel, ResponseCancelled, kCustomers, {"completed 0 @2", "close 0 @5"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.retry);
    // The relation manager offers its own retry first; the person declines it.
    customers_->wrapper.FailOnce(FileOperation::kDelete, StatusAccessDenied);
    presenter_.ScriptAnswers({ButtonOk, ButtonNo, c.retry});
    std::vector<UserAction> actions = {UserAction::Click(kOk)};
    if (c.retry == ButtonCancel) actions.push_back(UserAction::Click(kCancel));
    Person(actions);
    Window window(FormDefinition());
    CustomerForm form(&window, customers_.get(), &errors_, RequestDelete, 1);
    form.set_up = [](CustomerForm& f) { f.DELETEACTION = 1; };  // the form shows; OK deletes
    EXPECT_EQ(Run(form), c.response);
    EXPECT_EQ(Captions(),
              (Strings{"Record was not deleted", "Record Delete Error", "Record Delete Error"}));
    EXPECT_EQ(customers_->Rows(), c.customers);
    EXPECT_EQ(form.ends, c.ends);
    Restart();
  }
}

// ---- Close requests ----

TEST_F(RecordFormTest, ACloseRequestOnAChangedFormSavesDiscardsOrStaysByCancelAction) {
  struct Case {
    std::uint8_t cancel_action;
    bool change;
    int closes;
    std::vector<ButtonFlags> answers;
    std::uint8_t response;
    Strings captions;
    std::string stored_name;
  };
  const Case cases[] = {
      {3, true, 1, {ButtonYes}, ResponseCompleted, {"Save Record"}, "Jones"},
      {3, true, 1, {ButtonNo}, ResponseCancelled, {"Save Record"}, "Adams"},
      {3,
       true,
       2,
       {ButtonCancel, ButtonNo},
       ResponseCancelled,
       {"Save Record", "Save Record"},
       "Adams"},
      {3, false, 1, {}, ResponseCancelled, {}, "Adams"},
      {1, true, 1, {}, ResponseCompleted, {}, "Jones"},
      {2,
       true,
       2,
       {ButtonNo, ButtonYes},
       ResponseCancelled,
       {"Changes will be lost!", "Changes will be lost!"},
       "Adams"},
      {0, true, 1, {}, ResponseCancelled, {}, "Adams"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.cancel_action) + " " + std::to_string(c.answers.size()));
    presenter_.ScriptAnswers(c.answers);
    std::vector<UserAction> actions;
    if (c.change) actions = {UserAction::Type(kName, "Jones"), UserAction::Tab()};
    for (int i = 0; i < c.closes; ++i) actions.push_back(UserAction::CloseBox());
    Person(actions);
    Window window(FormDefinition());
    CustomerForm form(&window, customers_.get(), &errors_, RequestChange, 1);
    form.set_up = [&](CustomerForm& f) { f.CANCELACTION = c.cancel_action; };
    EXPECT_EQ(Run(form), c.response);
    EXPECT_EQ(Captions(), c.captions);
    EXPECT_EQ(customers_->Rows(), (Strings{"1:" + c.stored_name + ":Oslo", "2:Baker:Rome"}));
    // A close request that keeps the form puts the person back on its first field.
    if (c.closes == 2) {
      EXPECT_EQ(form.ends.front(), "close 5 @2");
    }
    Restart();
  }
}

// ---- Field history ----

TEST_F(RecordFormTest, TheHistoryKeyAndTheRestoreButtonPutBackTheLastCompletedValues) {
  ToolbarRouter router;
  Window window(FormDefinition());
  CustomerForm form(&window, customers_.get(), &errors_, RequestInsert);
  form.set_up = [&](CustomerForm& f) {
    f.INSERTACTION = WindowController::kInsertNextRecord;
    f.HISTORYKEY = kHistoryKey;
    f.SetToolbar(&router);
    // The name is shown by two controls: both put back the same value.
    f.AddHistoryField(kName, customers_->wrapper.field(kCusName));
    f.AddHistoryField(kNick, customers_->wrapper.field(kCusName));
    f.AddHistoryField(kCity, customers_->wrapper.field(kCusCity));
  };
  Person({UserAction::Type(kName, "Cole"), UserAction::Type(kCity, "Lima"), UserAction::Click(kOk),
          // The next record: the name back through the second control, the city through the
          // toolbar.
          UserAction::Focus(kNick), UserAction::Key(kHistoryKey), UserAction::Focus(kCity),
          UserAction::Click(kRestoreField), UserAction::Click(kOk), UserAction::Click(kCancel)});

  EXPECT_EQ(Run(form), ResponseCompleted);

  EXPECT_EQ(customers_->Rows(),
            (Strings{"1:Adams:Oslo", "2:Baker:Rome", "3:Cole:Lima", "4:Cole:Lima"}));
  EXPECT_TRUE(Captions().empty());
}

}  // namespace
}  // namespace morlan
