// FileManager record operations: auto-numbering, inserts, updates, reading, aliases and
// validation, and the per-record path's freedom from allocation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/file_manager.h"
#include "data/file_relations.h"
#include "errors/error_manager.h"
#include "platform/fault_injecting_file.h"
#include "platform/memory_keyed_file.h"
#include "platform/runtime_error_state.h"
#include "platform/text_line_file.h"
#include "testing/allocation_counter.h"
#include "testing/data_fixture.h"
#include "testing/records.h"
#include "testing/temp_dir.h"

namespace morlan {
namespace {

using testing::CustomerLayout;
using testing::CustomerTable;
using testing::FieldText;
using testing::SetCustomer;

constexpr int kId = testing::kCustomerId;
constexpr int kName = testing::kCustomerName;
constexpr int kCity = testing::kCustomerCity;

constexpr std::uint8_t kReadWrite = kAccessReadWrite | kShareDenyNone;

FileKey MakeKey(std::string name, std::vector<KeyComponent> components) {
  return FileKey{std::move(name), std::move(components), false, false};
}

double Id(DataFile& file) { return file.field(kId).Get().number(); }

// A station of `table`, built with CustomerLayout(blobs), with a manager of it.
struct Customers {
  Customers(ErrorManager* errors, std::shared_ptr<MemoryTable> table, int blobs = 0)
      : file("CUS", CustomerLayout(blobs), std::move(table)) {
    manager.Init(&file, errors);
  }

  MemoryKeyedFile file;
  FileManager manager;
};

using FileManagerRecordsTest = testing::DataFixture<>;

// --- Auto-numbering ---

TEST_F(FileManagerRecordsTest, AutoNumberingStartsAtOneAndInsertCompletesTheAddedRecord) {
  auto&& [file, manager] = Customers(&errors_, CustomerTable({}));
  ASSERT_NE(manager.AddKey(MakeKey("CUS:BYID", {{kId, true}}), "By number", 1), nullptr);
  EXPECT_EQ(manager.HASAUTOINC, 1);
  ASSERT_EQ(manager.Open(), FatalityNone);

  EXPECT_EQ(manager.PrepareRecord(false), FatalityNone);
  EXPECT_EQ(Id(file), 1);
  EXPECT_EQ(manager.thread_info().AUTOINCDONE, 1);
  EXPECT_EQ(file.RecordCount(), 1);  // the number is taken by a record in the file

  file.field(kName).Set(FieldValue::Text("Ann"));
  EXPECT_EQ(manager.Insert(), FatalityNone);  // written over the added record, not added again
  EXPECT_EQ(manager.thread_info().AUTOINCDONE, 0);
  EXPECT_EQ(file.RecordCount(), 1);
  file.SetStart();
  file.Next();
  EXPECT_EQ(FieldText(file, kName), "Ann");
  EXPECT_TRUE(presenter_.message_boxes().empty());
}

TEST_F(FileManagerRecordsTest, AutoNumberingFollowsTheHighestNumber) {
  const auto table = CustomerTable({{5, "a", "Rome"}, {41, "b", "Rome"}, {17, "c", "Oslo"}});
  auto&& [file, manager] = Customers(&errors_, table);
  ASSERT_NE(manager.AddKey(MakeKey("CUS:BYID", {{kId, true}}), "By number", 1), nullptr);
  ASSERT_EQ(manager.Open(), FatalityNone);
  EXPECT_EQ(manager.PrepareRecord(false), FatalityNone);
  EXPECT_EQ(Id(file), 42);

  // A descending component finds its highest value at the start of the key.
  auto&& [other, descending] = Customers(&errors_, table);
  ASSERT_NE(descending.AddKey(MakeKey("CUS:BYIDDESC", {{kId, false}}), "Newest first", 1), nullptr);
  ASSERT_EQ(descending.Open(), FatalityNone);
  EXPECT_EQ(descending.PrepareRecord(false), FatalityNone);
  EXPECT_EQ(Id(other), 43);
}

TEST_F(FileManagerRecordsTest, AutoNumberingCountsWithinTheLeadingComponents) {
  auto&& [file, manager] =
      Customers(&errors_, CustomerTable({{1, "a", "Rome"}, {2, "b", "Rome"}, {7, "c", "Oslo"}}));
  const FileKey* key =
      manager.AddKey(MakeKey("CUS:BYCITY", {{kCity, true}, {kId, true}}), "By city", 2);
  ASSERT_NE(key, nullptr);
  ASSERT_EQ(manager.Open(), FatalityNone);

  const auto number_for = [&](const char* city) {
    file.ClearRecord();
    file.field(kCity).Set(FieldValue::Text(city));
    EXPECT_EQ(manager.PrepareRecord(true), FatalityNone);
    const double id = Id(file);
    EXPECT_EQ(FieldText(file, kCity), city);
    EXPECT_EQ(manager.Insert(), FatalityNone);
    return id;
  };
  EXPECT_EQ(number_for("Rome"), 3);
  EXPECT_EQ(number_for("Oslo"), 8);
  EXPECT_EQ(number_for("Bern"), 1);   // nothing at or before it: end of file
  EXPECT_EQ(number_for("Paris"), 1);  // the record before it is Oslo's
  EXPECT_EQ(number_for("Rome"), 4);
  EXPECT_EQ(file.RecordCount(), 8);
}

TEST_F(FileManagerRecordsTest, AFailingAddIsRetriedTwiceSilentlyBeforeTheQuestion) {
  MemoryKeyedFile inner("CUS", CustomerLayout(), CustomerTable({{1, "a", "Rome"}}));
  FaultInjectingFile file(inner);
  FileManager manager;
  manager.Init(&file, &errors_);
  ASSERT_NE(manager.AddKey(MakeKey("CUS:BYID", {{kId, true}}), "By number", 1), nullptr);
  ASSERT_EQ(manager.Open(), FatalityNone);
  file.FailFromNow(FileOperation::kAdd, StatusDuplicateKey);

  // Yes starts three more tries; No gives up.
  presenter_.ScriptAnswers({ButtonYes, ButtonNo});
  EXPECT_EQ(manager.AssignAutoNumbers(), FatalityNotify);
  EXPECT_EQ(file.calls(FileOperation::kAdd), 6);
  EXPECT_EQ(Captions(), (std::vector<std::string>{"Auto Increment Error", "Auto Increment Error"}));
  EXPECT_EQ(presenter_.message_boxes()[0].buttons, ButtonYes | ButtonNo);

  file.ResetCounts();
  EXPECT_EQ(manager.TryAssignAutoNumbers(), FatalityNotify);
  EXPECT_EQ(file.calls(FileOperation::kAdd), 3);
  EXPECT_EQ(presenter_.message_boxes().size(), 2u);
  EXPECT_EQ(manager.thread_info().LASTERROR, ErrAutoNumberFailed);

  // An insert that cannot number its record adds nothing.
  EXPECT_EQ(manager.TryInsert(), FatalityNotify);
  EXPECT_EQ(inner.RecordCount(), 1);

  // Once the add goes through, the record is numbered after the highest.
  file.ClearFaults();
  presenter_.ScriptAnswers({});
  EXPECT_EQ(manager.AssignAutoNumbers(), FatalityNone);
  EXPECT_EQ(Id(file), 2);
}

TEST_F(FileManagerRecordsTest, CancelAutoNumberRemovesTheUnfinishedRecord) {
  auto&& [file, manager] = Customers(&errors_, CustomerTable({{1, "a", "Rome"}}));
  ASSERT_NE(manager.AddKey(MakeKey("CUS:BYID", {{kId, true}}), "By number", 1), nullptr);
  ASSERT_EQ(manager.Open(), FatalityNone);

  EXPECT_EQ(manager.CancelAutoNumber(nullptr), FatalityNone);  // nothing to cancel
  ASSERT_EQ(manager.PrepareRecord(false), FatalityNone);
  ASSERT_EQ(file.RecordCount(), 2);
  EXPECT_EQ(manager.CancelAutoNumber(nullptr), FatalityNone);
  EXPECT_EQ(file.RecordCount(), 1);
  EXPECT_EQ(manager.thread_info().AUTOINCDONE, 0);

  // Through the relation manager, so that cascades would apply.
  FileRelations relations;
  relations.Init(&manager, false);
  ASSERT_EQ(manager.PrepareRecord(false), FatalityNone);
  ASSERT_EQ(file.RecordCount(), 2);
  EXPECT_EQ(relations.CancelAutoNumber(), FatalityNone);
  EXPECT_EQ(file.RecordCount(), 1);
  EXPECT_EQ(manager.thread_info().AUTOINCDONE, 0);
  EXPECT_TRUE(presenter_.message_boxes().empty());
  relations.Kill();
}

// A look-up on the file between PrepareRecord and Insert (or CancelAutoNumber) makes another
// record current; the auto-numbered record is the one completed or removed all the same.
TEST_F(FileManagerRecordsTest, AutoNumberingCompletesOrRemovesItsOwnRecordAfterALookUp) {
  auto&& [file, manager] = Customers(&errors_, CustomerTable({{1, "Ann", "Rome"}}));
  const FileKey* by_id = manager.AddKey(MakeKey("CUS:BYID", {{kId, true}}), "By number", 1);
  ASSERT_NE(by_id, nullptr);
  ASSERT_EQ(manager.Open(), FatalityNone);
  FileRelations relations;
  relations.Init(&manager, false);
  const auto look_up_first = [&] {
    std::uint32_t mine = manager.SaveBuffer();
    file.field(kId).Set(FieldValue::Number(1));
    ASSERT_EQ(manager.TryFetch(by_id), FatalityNone);
    FileManager::RestoreBuffer(manager, &mine, manager, true);
  };
  const auto rows = [&] {
    std::vector<std::string> found;
    file.SetStart();
    for (file.Next(); RuntimeErrorState::code() == StatusOk; file.Next()) {
      found.push_back(std::to_string(static_cast<int>(Id(file))) + " " + FieldText(file, kName));
    }
    return found;
  };

  ASSERT_EQ(manager.PrepareRecord(false), FatalityNone);
  ASSERT_EQ(Id(file), 2);
  file.field(kName).Set(FieldValue::Text("Bob"));
  look_up_first();
  EXPECT_EQ(manager.Insert(), FatalityNone);
  EXPECT_EQ(FieldText(file, kName), "Bob");
  EXPECT_EQ(rows(), (std::vector<std::string>{"1 Ann", "2 Bob"}));

  for (FileRelations* through : {static_cast<FileRelations*>(nullptr), &relations}) {
    SCOPED_TRACE(through != nullptr ? "through the relation manager" : "directly");
    ASSERT_EQ(manager.PrepareRecord(false), FatalityNone);
    ASSERT_EQ(Id(file), 3);
    look_up_first();
    EXPECT_EQ(through != nullptr ? through->CancelAutoNumber() : manager.CancelAutoNumber(nullptr),
              FatalityNone);
    EXPECT_EQ(manager.thread_info().AUTOINCDONE, 0);
    EXPECT_EQ(rows(), (std::vector<std::string>{"1 Ann", "2 Bob"}));
  }
  EXPECT_TRUE(presenter_.message_boxes().empty());
  relations.Kill();
}

// --- Insert and update ---

TEST_F(FileManagerRecordsTest, ADuplicateKeyNamesTheKeyByItsDescription) {
  auto&& [file, manager] = Customers(&errors_, CustomerTable({}));
  ASSERT_NE(manager.AddKey(MakeKey("CUS:BYID", {{kId, true}}), "Customer number"), nullptr);
  ASSERT_NE(manager.AddKey(MakeKey("CUS:BYNAME", {{kName, true}}), "Customer name"), nullptr);
  EXPECT_EQ(manager.HASAUTOINC, 0);
  ASSERT_EQ(manager.Open(), FatalityNone);
  SetCustomer(file, 1, "Ann", "Rome");
  ASSERT_EQ(manager.Insert(), FatalityNone);

  SetCustomer(file, 2, "Ann", "Oslo");
  EXPECT_EQ(manager.Insert(), FatalityNotify);
  ASSERT_EQ(Captions(), std::vector<std::string>{"Duplicate Key Error"});
  EXPECT_EQ(presenter_.message_boxes()[0].text,
            "Adding this record creates a duplicate entry for the key: Customer name");

  EXPECT_EQ(manager.TryInsert(), FatalityNotify);
  EXPECT_EQ(presenter_.message_boxes().size(), 1u);
  EXPECT_EQ(manager.thread_info().LASTERROR, ErrDuplicateKeyEntry);
  EXPECT_EQ(file.RecordCount(), 1);
}

TEST_F(FileManagerRecordsTest, AnUpdateConflictLeavesTheOtherStationsValues) {
  const auto table = CustomerTable({{1, "Ann", "Rome"}});
  MemoryKeyedFile mine("CUS", CustomerLayout(), table);
  MemoryKeyedFile theirs("CUS", CustomerLayout(), table);
  FileManager manager;
  manager.Init(&mine, &errors_);
  ASSERT_EQ(manager.Open(), FatalityNone);
  ASSERT_EQ(manager.Next(), FatalityNone);
  theirs.Open(kReadWrite);

  const auto change_theirs = [&](const char* city) {
    theirs.SetStart();
    theirs.Next();
    theirs.field(kCity).Set(FieldValue::Text(city));
    theirs.Put();
    ASSERT_EQ(RuntimeErrorState::code(), StatusOk);
  };

  change_theirs("Oslo");
  mine.field(kName).Set(FieldValue::Text("Bob"));
  EXPECT_EQ(manager.Update(), FatalityNotify);
  ASSERT_EQ(Captions(), std::vector<std::string>{"Record Was Not Updated"});
  EXPECT_EQ(manager.thread_info().LASTERROR, ErrChangedElsewhere);
  EXPECT_EQ(FieldText(mine, kName), "Ann");
  EXPECT_EQ(FieldText(mine, kCity), "Oslo");

  // The record is watched again: the next write goes through.
  mine.field(kName).Set(FieldValue::Text("Bob"));
  EXPECT_EQ(manager.Update(), FatalityNone);

  change_theirs("Bern");
  EXPECT_EQ(manager.UpdateWithReport(UpdateReport::kShowForForm), FatalityNotify);
  EXPECT_EQ(manager.thread_info().LASTERROR, ErrChangedElsewhereShown);
  EXPECT_NE(presenter_.message_boxes().back().text.find("will now be displayed"),
            std::string::npos);
  EXPECT_EQ(FieldText(mine, kCity), "Bern");

  change_theirs("Kiel");
  mine.field(kName).Set(FieldValue::Text("Cid"));
  EXPECT_EQ(manager.TryUpdate(), FatalityNotify);
  EXPECT_EQ(presenter_.message_boxes().size(), 2u);
  EXPECT_EQ(FieldText(mine, kCity), "Kiel");
  EXPECT_EQ(FieldText(mine, kName), "Bob");
}

// A record another station deleted cannot be re-read: nothing of theirs is shown, the user's
// changes stay in the buffer, and the message says the record was not updated.
TEST_F(FileManagerRecordsTest, AnUpdateOfARecordDeletedElsewhereKeepsTheChangesAndSaysSo) {
  const auto table = CustomerTable({{1, "Ann", "Rome"}, {2, "Bob", "Oslo"}});
  MemoryKeyedFile mine("CUS", CustomerLayout(), table);
  MemoryKeyedFile theirs("CUS", CustomerLayout(), table);
  FileManager manager;
  manager.Init(&mine, &errors_);
  ASSERT_EQ(manager.Open(), FatalityNone);
  ASSERT_EQ(manager.Next(), FatalityNone);
  theirs.Open(kReadWrite);
  theirs.Next();
  theirs.Delete();
  ASSERT_EQ(RuntimeErrorState::code(), StatusOk);

  mine.field(kName).Set(FieldValue::Text("Cid"));
  EXPECT_EQ(manager.UpdateWithReport(UpdateReport::kShowForForm), FatalityNotify);
  ASSERT_EQ(Captions(), std::vector<std::string>{"Record was not updated"});
  EXPECT_EQ(presenter_.message_boxes()[0].text.find("will now be displayed"), std::string::npos);
  EXPECT_EQ(manager.thread_info().LASTERROR, ErrRecordNotUpdated);
  EXPECT_EQ(FieldText(mine, kName), "Cid");
  EXPECT_EQ(FieldText(mine, kCity), "Rome");

  EXPECT_EQ(manager.TryUpdate(), FatalityNotify);
  EXPECT_EQ(presenter_.message_boxes().size(), 1u);
  EXPECT_EQ(manager.thread_info().LASTERROR, ErrRecordNotUpdated);
  EXPECT_EQ(FieldText(mine, kName), "Cid");
  EXPECT_EQ(table->record_count(), 1);
}

// Every failure of the record operations shows its message once, through the reporting
// operation only, and records its id.
TEST_F(FileManagerRecordsTest, EachFailureIsReportedOnceWithItsLevel) {
  struct Case {
    const char* what;
    FileOperation op;
    InjectedFault fault;
    std::function<Level(FileManager&)> reporting;
    std::function<Level(FileManager&)> silent;
    const char* caption;
    ErrorId reporting_id;
    ErrorId silent_id;
    Level reporting_level;
    Level silent_level;
    bool numbered;
  };
  const InjectedFault broken = InjectedFault::Driver("EIO", "device error");
  const auto next = [](FileManager& m) { return m.Next(); };
  const auto try_next = [](FileManager& m) { return m.TryNext(); };
  const auto previous = [](FileManager& m) { return m.Previous(); };
  const auto try_previous = [](FileManager& m) { return m.TryPrevious(); };
  const auto insert = [](FileManager& m) { return m.Insert(); };
  const auto try_insert = [](FileManager& m) { return m.TryInsert(); };
  const auto update = [](FileManager& m) { return m.Update(); };
  const auto update_shown = [](FileManager& m) {
    return m.UpdateWithReport(UpdateReport::kShowForForm);
  };
  const auto try_update = [](FileManager& m) { return m.TryUpdate(); };
  const auto assign = [](FileManager& m) { return m.AssignAutoNumbers(); };
  const auto try_assign = [](FileManager& m) { return m.TryAssignAutoNumbers(); };
  const std::vector<Case> cases = {
      {"read", FileOperation::kNext, broken, next, try_next, "Record Retrieval Error",
       ErrRecordRetrieval, ErrRecordRetrieval, FatalityNotify, FatalityHalt, false},
      {"read back", FileOperation::kPrevious, broken, previous, try_previous,
       "Record Retrieval Error", ErrRecordRetrieval, ErrRecordRetrieval, FatalityNotify,
       FatalityHalt, false},
      {"held", FileOperation::kNext, StatusRecordHeld, next, try_next, "Record not read",
       ErrRecordHeldElsewhere, ErrRecordHeldElsewhere, FatalityNotify, FatalityNotify, false},
      {"insert", FileOperation::kAdd, broken, insert, try_insert, "Record Insert Error",
       ErrRecordInsert, ErrRecordInsert, FatalityNotify, FatalityNotify, false},
      {"update", FileOperation::kPut, broken, update, try_update, "Record was not updated",
       ErrRecordNotUpdated, ErrRecordNotUpdated, FatalityNotify, FatalityNotify, false},
      {"changed", FileOperation::kPut, StatusChangedElsewhere, update, try_update,
       "Record Was Not Updated", ErrChangedElsewhere, ErrChangedElsewhere, FatalityNotify,
       FatalityNotify, false},
      {"changed, shown", FileOperation::kPut, StatusChangedElsewhere, update_shown, try_update,
       "Record Was Not Updated", ErrChangedElsewhereShown, ErrChangedElsewhere, FatalityNotify,
       FatalityNotify, false},
      {"numbering read", FileOperation::kPrevious, broken, assign, try_assign,
       "Record Retrieval Error", ErrRecordRetrieval, ErrRecordRetrieval, FatalityNotify,
       FatalityNotify, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    presenter_.Clear();
    MemoryKeyedFile inner("CUS", CustomerLayout(),
                          CustomerTable({{1, "Ann", "Rome"}, {2, "Bob", "Oslo"}}));
    FaultInjectingFile file(inner);
    FileManager manager;
    manager.Init(&file, &errors_);
    if (c.numbered) manager.AddKey(MakeKey("CUS:BYID", {{kId, true}}), "By number", 1);
    ASSERT_EQ(manager.Open(), FatalityNone);
    ASSERT_EQ(manager.Next(), FatalityNone);  // a current record, for the updates

    file.FailOnce(c.op, c.fault);
    EXPECT_EQ(c.reporting(manager), c.reporting_level);
    EXPECT_EQ(Captions(), std::vector<std::string>{c.caption});
    EXPECT_EQ(manager.thread_info().LASTERROR, c.reporting_id);

    file.FailOnce(c.op, c.fault);
    EXPECT_EQ(c.silent(manager), c.silent_level);
    EXPECT_EQ(presenter_.message_boxes().size(), 1u);
    EXPECT_EQ(manager.thread_info().LASTERROR, c.silent_id);
    manager.Kill();
  }
}

// --- Reading ---

TEST_F(FileManagerRecordsTest, NextAtTheEndOfAnEmptyFileSetsAtEndQuietly) {
  auto&& [file, manager] = Customers(&errors_, CustomerTable({}));
  ASSERT_EQ(manager.Open(), FatalityNone);
  EXPECT_EQ(manager.Next(), FatalityNotify);
  EXPECT_TRUE(manager.AtEndOfFile());
  EXPECT_EQ(manager.Previous(), FatalityNotify);
  EXPECT_TRUE(manager.AtEndOfFile());
  EXPECT_TRUE(presenter_.message_boxes().empty());
}

TEST_F(FileManagerRecordsTest, HeldRecordsArePassedOverWhenSkipping) {
  const auto table = CustomerTable({{1, "a", "Rome"}, {2, "b", "Rome"}, {3, "c", "Rome"}});
  table->Hold(2);
  auto&& [file, manager] = Customers(&errors_, table);
  manager.SKIPHELDRECORDS = 1;
  ASSERT_EQ(manager.Open(), FatalityNone);
  EXPECT_EQ(manager.Next(), FatalityNone);
  EXPECT_EQ(Id(file), 1);
  EXPECT_EQ(manager.Next(), FatalityNone);
  EXPECT_EQ(Id(file), 3);
  EXPECT_FALSE(manager.AtEndOfFile());
  EXPECT_EQ(manager.Next(), FatalityNotify);
  EXPECT_TRUE(manager.AtEndOfFile());
  EXPECT_EQ(manager.Previous(), FatalityNone);
  EXPECT_EQ(Id(file), 3);
  EXPECT_EQ(manager.Previous(), FatalityNone);
  EXPECT_EQ(Id(file), 1);
  EXPECT_TRUE(presenter_.message_boxes().empty());

  // Not skipping: the held record stops the read with a notice; the next read goes on past it.
  manager.SKIPHELDRECORDS = 0;
  file.SetStart();
  EXPECT_EQ(manager.Next(), FatalityNone);
  EXPECT_EQ(manager.Next(), FatalityNotify);
  EXPECT_EQ(Captions(), std::vector<std::string>{"Record not read"});
  EXPECT_EQ(manager.Next(), FatalityNone);
  EXPECT_EQ(Id(file), 3);
}

TEST_F(FileManagerRecordsTest, FetchFindsByKeyAndFetchOrClearClearsWhatItCannotFind) {
  auto&& [file, manager] =
      Customers(&errors_, CustomerTable({{1, "Ann", "Rome"}, {2, "Bob", "Oslo"}}));
  const FileKey* by_id = manager.AddKey(MakeKey("CUS:BYID", {{kId, true}}), "By number");
  ASSERT_NE(by_id, nullptr);
  ASSERT_EQ(manager.Open(), FatalityNone);

  file.ClearRecord();
  file.field(kId).Set(FieldValue::Number(2));
  EXPECT_EQ(manager.TryFetch(by_id), FatalityNone);
  EXPECT_EQ(FieldText(file, kName), "Bob");

  file.field(kId).Set(FieldValue::Number(9));
  EXPECT_EQ(manager.TryFetch(by_id), FatalityNotify);
  EXPECT_EQ(FieldText(file, kName), "Bob");
  EXPECT_EQ(manager.FetchOrClear(by_id), FatalityNotify);
  EXPECT_EQ(FieldText(file, kName), "");
  EXPECT_EQ(Id(file), 0);
}

TEST_F(FileManagerRecordsTest, PositionsReadTheSameLineAgain) {
  testing::TempDir dir;
  TextLineFile file(dir.Write("VRSQ1.qdl", "one\ntwo\nthree\n"), testing::LineLayout(20, "INP:F1"));
  FileManager manager;
  manager.Init(&file, &errors_);
  ASSERT_EQ(manager.Open(), FatalityNone);
  ASSERT_EQ(manager.Next(), FatalityNone);
  ASSERT_EQ(manager.Next(), FatalityNone);
  const std::string position = manager.Position();
  EXPECT_EQ(position, "4");
  ASSERT_EQ(manager.Next(), FatalityNone);
  EXPECT_EQ(manager.Reget(position), FatalityNone);
  EXPECT_EQ(testing::RecordText(file), "two");
  EXPECT_EQ(manager.Reget("99999"), FatalityNotify);
}

// --- Aliases and validation ---

// Refuses a record without a name, and counts the fields it was asked about.
class NamedRecordManager : public FileManager {
 public:
  Level CheckField(int field, bool report) override {
    ++checks;
    if (field == kName + 1 && FieldText(*RecordFileForTest(), kName).empty()) return FatalityNotify;
    return FileManager::CheckField(field, report);
  }
  DataFile* RecordFileForTest() { return BUFFER; }
  int checks = 0;
};

TEST_F(FileManagerRecordsTest, ValidationOfAnAliasRunsOnTheAliasedFile) {
  const auto table = CustomerTable({{1, "Ann", "Rome"}});
  MemoryKeyedFile base_file("CUS", CustomerLayout(), table);
  MemoryKeyedFile alias_file("CUS", CustomerLayout(), table);
  NamedRecordManager base;
  base.Init(&base_file, &errors_);
  FileManager alias;
  alias.Init(&alias_file, &errors_);
  alias.ALIASEDFILE = &base;
  ASSERT_EQ(alias.Open(), FatalityNone);

  SetCustomer(base_file, 5, "Keep", "Base");
  SetCustomer(alias_file, 2, "", "Oslo");
  int failed = 0;
  EXPECT_EQ(alias.ValidateRecord(&failed), FatalityNotify);
  EXPECT_EQ(failed, kName + 1);
  EXPECT_EQ(FieldText(base_file, kName), "Keep");  // the aliased file's own record is back
  EXPECT_EQ(alias.Insert(), FatalityNotify);
  EXPECT_EQ(table->record_count(), 1);

  alias_file.field(kName).Set(FieldValue::Text("Bob"));
  EXPECT_EQ(alias.ValidateFieldSilent(kName + 1), FatalityNone);
  EXPECT_EQ(alias.Insert(), FatalityNone);
  EXPECT_EQ(table->record_count(), 2);
  EXPECT_GT(base.checks, 0);
  EXPECT_EQ(Id(base_file), 5);
}

TEST_F(FileManagerRecordsTest, PreparingAnAliasedRecordNumbersItThroughTheAliasedFile) {
  const auto table = CustomerTable({{1, "a", "X"}, {2, "b", "X"}});
  MemoryKeyedFile base_file("CUS", CustomerLayout(), table);
  MemoryKeyedFile alias_file("CUS", CustomerLayout(), table);
  FileManager base;
  base.Init(&base_file, &errors_);
  ASSERT_NE(base.AddKey(MakeKey("CUS:BYID", {{kId, true}}), "By number", 1), nullptr);
  FileManager alias;
  alias.Init(&alias_file, &errors_);
  alias.ALIASEDFILE = &base;
  ASSERT_EQ(alias.Open(), FatalityNone);
  SetCustomer(base_file, 9, "base", "B");

  EXPECT_EQ(alias.PrepareRecord(false), FatalityNone);
  EXPECT_EQ(Id(alias_file), 3);
  EXPECT_EQ(table->record_count(), 3);
  EXPECT_EQ(Id(base_file), 9);  // the aliased file's state is put back
  EXPECT_EQ(FieldText(base_file, kName), "base");
  EXPECT_EQ(base.thread_info().OPENED, 0);
  EXPECT_TRUE(base.SAVED->empty());
}

// --- The per-record path ---

TEST_F(FileManagerRecordsTest, ReadingAndInsertingAllocateNothingOnceUnderWay) {
  testing::TempDir dir;
  std::string lines;
  for (int i = 0; i < 3000; ++i) lines += "  CUS:FIELD" + std::to_string(i) + "  STRING(20)\n";
  const RecordLayout layout = testing::LineLayout(255);
  // Long names: the error manager is told them before every operation.
  TextLineFile in(dir.Write("a-rather-long-input-dictionary-name.qdl", lines), layout);
  TextLineFile out(dir.File("a-rather-long-output-dictionary-name.qdl"), layout);
  FileManager input;
  FileManager output;
  input.Init(&in, &errors_);
  output.Init(&out, &errors_);
  errors_.EnterProcedure("repqdl");
  ASSERT_EQ(input.Open(), FatalityNone);
  ASSERT_EQ(output.Open(), FatalityNone);

  const auto copy_line = [&] {
    if (input.Next() != FatalityNone) return false;
    std::copy_n(in.record(), in.record_size(), out.record());
    return output.Insert() == FatalityNone;
  };
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(copy_line());  // the first calls may allocate

  const testing::AllocationCounter allocations;
  int copied = 0;
  while (copy_line()) ++copied;
  EXPECT_EQ(allocations.count(), 0);
  EXPECT_EQ(copied, 2990);
  EXPECT_TRUE(input.AtEndOfFile());

  output.Close();
  input.Close();
  errors_.LeaveProcedure();
  EXPECT_EQ(dir.Read("a-rather-long-output-dictionary-name.qdl"), lines);
}

}  // namespace
}  // namespace morlan
