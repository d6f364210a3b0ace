#include "data/file_relations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "data/file_manager.h"
#include "errors/error_manager.h"
#include "platform/fault_injecting_file.h"
#include "platform/headless_presenter.h"
#include "platform/memory_keyed_file.h"
#include "platform/runtime_error_state.h"
#include "platform/text_line_file.h"
#include "platform/transaction.h"
#include "testing/data_fixture.h"
#include "testing/records.h"
#include "testing/temp_dir.h"

namespace morlan {
namespace {

constexpr std::uint8_t kReadWrite = kAccessReadWrite | kShareDenyNone;
enum Field { kId = 0, kLink = 1, kName = 2, kCode = 3, kRef = 4 };

// Records wait-cursor switches beside what the headless presenter records, and answers No once
// a test has seen too many boxes, so that a retry loop fails the test instead of hanging it.
class CursorPresenter final : public HeadlessPresenter {
 public:
  ButtonFlags ShowMessageBox(const MessageBoxRequest& request) override {
    if (message_boxes().size() < 20) return HeadlessPresenter::ShowMessageBox(request);
    return (request.buttons & ButtonNo) != 0 ? ButtonNo : ButtonOk;
  }
  void SetWaitCursor(bool on) override {
    cursor_on = on;
    ++cursor_calls;
  }
  bool cursor_on = false;
  int cursor_calls = 0;
};

// A memory file whose commit can be made to fail (the fault wrapper cannot reach it: the
// transaction frame talks to the file that enlisted itself).
class CommitFailingFile final : public MemoryKeyedFile {
 public:
  using MemoryKeyedFile::MemoryKeyedFile;
  void CommitTransaction() override {
    if (commit_failure == StatusOk) return MemoryKeyedFile::CommitTransaction();
    RuntimeErrorState::Set(commit_failure);
  }
  StatusCode commit_failure = StatusOk;
};

// The fault wrapper, also logging every delete as "<label><id>" into a shared log.
class LoggingFile final : public FaultInjectingFile {
 public:
  LoggingFile(DataFile& inner, std::string label, std::vector<std::string>* log)
      : FaultInjectingFile(inner), label_(std::move(label)), log_(log) {}
  void Delete() override {
    log_->push_back(label_ + std::to_string(static_cast<int>(field(kId).Get().number())));
    FaultInjectingFile::Delete();
  }

 private:
  std::string label_;
  std::vector<std::string>* log_;
};

// A manager that asks a delete cascade to pass over the records whose ID is listed.
class SkippingManager final : public FileManager {
 public:
  bool SkipInCascade() override {
    const int id = static_cast<int>(BUFFER->field(kId).Get().number());
    return std::find(skipped.begin(), skipped.end(), id) != skipped.end();
  }
  std::vector<int> skipped;
};

RecordLayout Layout(const std::string& label) {
  RecordLayout layout;
  layout.AddField(label + ":ID", FieldType::kLong);
  layout.AddField(label + ":LINK", FieldType::kLong);  // the parent's ID
  layout.AddField(label + ":NAME", FieldType::kText, 10);
  layout.AddField(label + ":CODE", FieldType::kText, 8);
  layout.AddField(label + ":REF", FieldType::kText, 3);  // a parent's CODE, cut short
  return layout;
}

// One file of a family: a memory table, the station its manager works on (behind the logging
// fault wrapper), a loader station for filling and inspecting the table, the manager with keys
// BYLINK (LINK, ID), BYID (ID) and BYREF (REF, ID), and its relation manager (USELOGOUT set).
struct TestFile final {
  TestFile(const std::string& label, ErrorManager* errors, std::vector<std::string>* log)
      : table(std::make_shared<MemoryTable>()),
        inner(label, Layout(label), table),
        wrapper(inner, label, log),
        loader(label + "-loader", Layout(label), table) {
    loader.Create();
    loader.Open(kReadWrite);
    manager.Init(&wrapper, errors);
    manager.BUFFER = &wrapper;
    by_link = manager.AddKey(FileKey{label + ":BYLINK", {{kLink, true}, {kId, true}}}, "by link");
    by_id = manager.AddKey(FileKey{label + ":BYID", {{kId, true}}}, "by id");
    by_ref = manager.AddKey(FileKey{label + ":BYREF", {{kRef, true}, {kId, true}}}, "by ref");
    relations.Init(&manager, true);
  }
  ~TestFile() {
    relations.Kill();
    manager.Kill();
  }

  // A record with NAME "N<id>"; `code` goes into CODE and (cut) REF.
  void Add(int id, int link, const std::string& code = "") {
    loader.ClearRecord();
    loader.field(kId).Set(FieldValue::Number(id));
    loader.field(kLink).Set(FieldValue::Number(link));
    loader.field(kName).Set(FieldValue::Text("N" + std::to_string(id)));
    loader.field(kCode).Set(FieldValue::Text(code));
    loader.field(kRef).Set(FieldValue::Text(code));
    loader.Add();
    EXPECT_EQ(RuntimeErrorState::code(), StatusOk);
  }
  // "id:link" of every record, in physical order.
  std::vector<std::string> Contents() {
    std::vector<std::string> rows;
    loader.SetStart();
    for (loader.Next(); RuntimeErrorState::code() == StatusOk; loader.Next()) {
      rows.push_back(std::to_string(Value(loader, kId)) + ":" +
                     std::to_string(Value(loader, kLink)));
    }
    return rows;
  }
  // "id:text" of every record, in physical order, for the text field `field`.
  std::vector<std::string> Texts(int field) {
    std::vector<std::string> rows;
    loader.SetStart();
    for (loader.Next(); RuntimeErrorState::code() == StatusOk; loader.Next()) {
      rows.push_back(std::to_string(Value(loader, kId)) + ":" +
                     std::string(ClipText(loader.field(field).Get().text())));
    }
    return rows;
  }
  // Opens through the manager and reads up to the record `id`.
  void OpenAt(int id) {
    ASSERT_EQ(manager.Open(), FatalityNone);
    ASSERT_EQ(manager.UseFile(FileUse::kRecords), FatalityNone);
    wrapper.SetStart();
    do {
      ASSERT_EQ(manager.TryNext(), FatalityNone);
    } while (Value(wrapper, kId) != id);
  }
  FieldRef Field(int i) { return wrapper.field(i); }
  int OpenCount() {
    manager.SelectThreadInfo();
    return manager.thread_info().OPENED;
  }
  static int Value(DataFile& file, int i) { return static_cast<int>(file.field(i).Get().number()); }

  std::shared_ptr<MemoryTable> table;
  CommitFailingFile inner;
  LoggingFile wrapper;
  MemoryKeyedFile loader;
  SkippingManager manager;
  const FileKey* by_link = nullptr;
  const FileKey* by_id = nullptr;
  const FileKey* by_ref = nullptr;
  FileRelations relations;
};

class FileRelationsTest : public testing::DataFixture<CursorPresenter> {
 protected:
  void TearDown() override {
    Transaction::Rollback();
    files_.clear();
    DataFixture::TearDown();
  }

  TestFile& NewFile(const std::string& label) {
    files_.push_back(std::make_unique<TestFile>(label, &errors_, &log_));
    return *files_.back();
  }
  // A relation from `parent` to `child` linking parent ID to child LINK.
  static void Relate(TestFile& parent, TestFile& child, std::uint8_t update, std::uint8_t del) {
    FieldPairs* pairs = parent.relations.AddRelation(&child.relations, child.by_link, update, del);
    ASSERT_NE(pairs, nullptr);
    pairs->AddPair(parent.Field(kId), child.Field(kLink));
  }
  // Parent P (1, 2), children C (10, 11 of 1; 20 of 2), grandchildren G (100, 101 of 10; 110 of
  // 11; 200 of 20).
  void ThreeLevels(std::uint8_t parent_mode, std::uint8_t child_mode) {
    p_ = &NewFile("P");
    c_ = &NewFile("C");
    g_ = &NewFile("G");
    p_->Add(1, 0);
    p_->Add(2, 0);
    c_->Add(10, 1);
    c_->Add(11, 1);
    c_->Add(20, 2);
    g_->Add(100, 10);
    g_->Add(101, 10);
    g_->Add(110, 11);
    g_->Add(200, 20);
    Relate(*p_, *c_, RelationModeNone, parent_mode);
    Relate(*c_, *g_, RelationModeNone, child_mode);
  }

  std::vector<std::string> log_;
  std::vector<std::unique_ptr<TestFile>> files_;
  TestFile* p_ = nullptr;
  TestFile* c_ = nullptr;
  TestFile* g_ = nullptr;
};

const std::vector<std::string> kAllParents = {"1:0", "2:0"};
const std::vector<std::string> kAllChildren = {"10:1", "11:1", "20:2"};
const std::vector<std::string> kAllGrandchildren = {"100:10", "101:10", "110:11", "200:20"};

// --- Open, Close, quick-scan ---

TEST_F(FileRelationsTest, OpenWithoutRelationsCreatesAndOpensAtOnceCloseCloses) {
  testing::TempDir dir;
  TextLineFile file(dir.File("new.qdl"), testing::LineLayout(255));
  FileManager manager;
  manager.Init(&file, &errors_);
  manager.BUFFER = &file;
  FileRelations relations;
  relations.Init(&manager, true);

  EXPECT_EQ(relations.Open(false), FatalityNone);
  EXPECT_TRUE(std::filesystem::exists(dir.File("new.qdl")));
  EXPECT_TRUE(file.IsOpen());
  EXPECT_EQ(relations.Close(false), FatalityNone);
  EXPECT_FALSE(file.IsOpen());
  EXPECT_TRUE(presenter_.message_boxes().empty());
  relations.Kill();
  manager.Kill();
}

TEST_F(FileRelationsTest, FilesRelatedBothWaysAreOpenedAndClosedOncePerPass) {
  TestFile& a = NewFile("A");
  TestFile& b = NewFile("B");
  Relate(a, b, RelationModeNone, RelationModeNone);
  Relate(b, a, RelationModeNone, RelationModeNone);
  b.manager.LAZYOPEN = 0;

  for (int pass = 0; pass < 2; ++pass) {
    const std::int32_t before = FileRelations::pass_counter();
    ASSERT_EQ(a.relations.Open(false), FatalityNone);
    EXPECT_EQ(FileRelations::pass_counter(), before + 1);
    EXPECT_EQ(a.OpenCount(), 1);
    EXPECT_EQ(b.OpenCount(), 1);
    EXPECT_TRUE(a.inner.IsOpen());  // the file asked for is opened at once
    EXPECT_EQ(b.wrapper.calls(FileOperation::kOpen), pass + 1);
    ASSERT_EQ(a.relations.Close(false), FatalityNone);
    EXPECT_EQ(a.OpenCount(), 0);
    EXPECT_EQ(b.OpenCount(), 0);
    EXPECT_FALSE(a.inner.IsOpen());
    EXPECT_FALSE(b.inner.IsOpen());
  }
}

TEST_F(FileRelationsTest, FailedOpenIsNotFollowedByAUseOfTheUnopenedFile) {
  TestFile& a = NewFile("A");
  a.manager.LAZYOPEN = 0;
  a.manager.CREATE = 0;
  a.wrapper.FailFromNow(FileOperation::kOpen, StatusNotFound);

  EXPECT_NE(a.relations.Open(false), FatalityNone);
  EXPECT_EQ(Captions(), std::vector<std::string>{"File Access Error"});
  EXPECT_EQ(presenter_.halts().size(), 1u);
}

TEST_F(FileRelationsTest, QuickScanReachesTheSelectedRelations) {
  TestFile& a = NewFile("A");
  TestFile& keyed = NewFile("K");
  TestFile& lookup = NewFile("L");
  Relate(a, keyed, RelationModeNone, RelationModeNone);
  ASSERT_NE(a.relations.AddRelation(&lookup.relations, nullptr, 0, 0), nullptr);

  a.relations.SetQuickScan(true, 0);
  EXPECT_EQ(a.wrapper.sent_options(), std::vector<std::string>{"QUICKSCAN=on"});
  EXPECT_TRUE(keyed.wrapper.sent_options().empty());
  EXPECT_TRUE(lookup.wrapper.sent_options().empty());

  a.relations.SetQuickScan(false, 2);  // those with a key
  EXPECT_EQ(keyed.wrapper.sent_options(), std::vector<std::string>{"QUICKSCAN=off"});
  EXPECT_TRUE(lookup.wrapper.sent_options().empty());

  a.relations.SetQuickScan(true, 1);  // those without
  EXPECT_EQ(lookup.wrapper.sent_options(), std::vector<std::string>{"QUICKSCAN=on"});
  EXPECT_EQ(keyed.wrapper.sent_options().size(), 1u);
}

// --- Adding relations ---

TEST_F(FileRelationsTest, AddRelationRefusesWhatCannotWork) {
  TestFile& a = NewFile("A");
  TestFile& b = NewFile("B");
  FileRelations uninitialised;
  EXPECT_EQ(uninitialised.AddRelation(&b.relations, b.by_link, 0, 0), nullptr);
  EXPECT_EQ(a.relations.AddRelation(nullptr, b.by_link, 0, 0), nullptr);
  EXPECT_EQ(a.relations.AddRelation(&b.relations, nullptr, RelationModeCascade, 0), nullptr);
  // Enlisting loops: a file cascading to itself, or two files cascading to each other.
  EXPECT_EQ(a.relations.AddRelation(&a.relations, a.by_link, 0, RelationModeCascade), nullptr);
  ASSERT_NE(a.relations.AddRelation(&b.relations, b.by_link, RelationModeCascade, 0), nullptr);
  EXPECT_EQ(b.relations.AddRelation(&a.relations, a.by_link, RelationModeClear, 0), nullptr);
  // A loop through a third file.
  TestFile& c = NewFile("C");
  ASSERT_NE(b.relations.AddRelation(&c.relations, c.by_link, RelationModeClear, 0), nullptr);
  EXPECT_EQ(c.relations.AddRelation(&a.relations, a.by_link, RelationModeCascade, 0), nullptr);
  // Clear on delete enlists the related file as for an update, which leads nowhere here.
  EXPECT_NE(c.relations.AddRelation(&a.relations, a.by_link, 0, RelationModeClear), nullptr);
  // Restrict enlists nothing, so it may point back.
  EXPECT_NE(
      b.relations.AddRelation(&a.relations, a.by_link, RelationModeRestrict, RelationModeRestrict),
      nullptr);
  EXPECT_EQ(a.relations.RELATIONS->size(), 1u);
  EXPECT_EQ(b.relations.RELATIONS->size(), 2u);
  EXPECT_EQ(c.relations.RELATIONS->size(), 1u);
  a.relations.Kill();
  a.relations.Kill();
  EXPECT_EQ(a.relations.RELATIONS, nullptr);
  EXPECT_EQ(a.relations.AddRelation(&b.relations, b.by_link, 0, 0), nullptr);
}

// --- Delete ---

TEST_F(FileRelationsTest, DeleteAnsweredNoTouchesNothing) {
  ThreeLevels(RelationModeCascade, RelationModeCascade);
  p_->OpenAt(1);
  const int opens = p_->OpenCount();
  presenter_.ScriptAnswers({ButtonNo});

  EXPECT_EQ(p_->relations.Delete(true), FatalityNotify);
  EXPECT_EQ(Captions(), std::vector<std::string>{"Confirm Delete"});
  EXPECT_EQ(p_->OpenCount(), opens);
  EXPECT_EQ(p_->wrapper.calls(FileOperation::kDelete), 0);
  EXPECT_EQ(c_->OpenCount(), 0);
  EXPECT_EQ(p_->Contents(), kAllParents);
  EXPECT_EQ(c_->Contents(), kAllChildren);
}

TEST_F(FileRelationsTest, RestrictDeletesNothingAndPutsTheChildBack) {
  ThreeLevels(RelationModeRestrict, RelationModeCascade);
  c_->OpenAt(20);
  const std::uint64_t child_record = c_->inner.current_record_id();
  p_->OpenAt(1);

  EXPECT_EQ(p_->relations.Delete(false), FatalityNotify);
  EXPECT_EQ(Captions(), std::vector<std::string>{"Referential Integrity Delete Error"});
  EXPECT_TRUE(log_.empty());
  EXPECT_EQ(p_->Contents(), kAllParents);
  EXPECT_EQ(c_->Contents(), kAllChildren);
  EXPECT_EQ(c_->inner.current_record_id(), child_record);
  EXPECT_EQ(TestFile::Value(c_->wrapper, kId), 20);
  EXPECT_EQ(c_->manager.TryNext(), FatalityNotify);  // 20 is the last: the position was kept
  EXPECT_FALSE(Transaction::active());
  EXPECT_FALSE(presenter_.cursor_on);
  EXPECT_GT(presenter_.cursor_calls, 0);
}

TEST_F(FileRelationsTest, CascadeDeletesGrandchildrenBeforeChildrenBeforeTheParent) {
  ThreeLevels(RelationModeCascade, RelationModeCascade);
  p_->OpenAt(1);

  EXPECT_EQ(p_->relations.Delete(false), FatalityNone);
  EXPECT_EQ(log_, (std::vector<std::string>{"G100", "G101", "C10", "G110", "C11", "P1"}));
  EXPECT_EQ(p_->Contents(), std::vector<std::string>{"2:0"});
  EXPECT_EQ(c_->Contents(), std::vector<std::string>{"20:2"});
  EXPECT_EQ(g_->Contents(), std::vector<std::string>{"200:20"});
  EXPECT_TRUE(presenter_.message_boxes().empty());
  EXPECT_FALSE(Transaction::active());
  EXPECT_EQ(Transaction::enlisted_count(), 0u);
}

// Children the manager skips survive a cascade delete, their own children with them, and count
// for no restrict; the others go as usual.
TEST_F(FileRelationsTest, ChildrenTheManagerSkipsSurviveTheCascade) {
  ThreeLevels(RelationModeCascade, RelationModeCascade);
  c_->manager.skipped = {10};
  p_->OpenAt(1);
  EXPECT_EQ(p_->relations.Delete(false), FatalityNone);
  EXPECT_EQ(log_, (std::vector<std::string>{"G110", "C11", "P1"}));
  EXPECT_EQ(c_->Contents(), (std::vector<std::string>{"10:1", "20:2"}));
  EXPECT_EQ(g_->Contents(), (std::vector<std::string>{"100:10", "101:10", "200:20"}));
  EXPECT_TRUE(presenter_.message_boxes().empty());

  files_.clear();
  log_.clear();
  ThreeLevels(RelationModeRestrict, RelationModeCascade);
  c_->manager.skipped = {10, 11};
  p_->OpenAt(1);
  EXPECT_EQ(p_->relations.Delete(false), FatalityNone);
  EXPECT_EQ(log_, std::vector<std::string>{"P1"});
  EXPECT_EQ(c_->Contents(), kAllChildren);
  EXPECT_TRUE(presenter_.message_boxes().empty());
}

TEST_F(FileRelationsTest, ClearOnDeleteBlanksTheChildrensLinks) {
  ThreeLevels(RelationModeClear, RelationModeCascade);
  p_->OpenAt(1);

  EXPECT_EQ(p_->relations.Delete(false), FatalityNone);
  EXPECT_EQ(p_->Contents(), std::vector<std::string>{"2:0"});
  EXPECT_EQ(c_->Contents(), (std::vector<std::string>{"10:0", "11:0", "20:2"}));
  EXPECT_EQ(g_->Contents(), kAllGrandchildren);
}

TEST_F(FileRelationsTest, DeleteRetryRepeatsWithoutAskingToConfirmAgain) {
  ThreeLevels(RelationModeCascade, RelationModeCascade);
  p_->OpenAt(2);
  p_->wrapper.FailOnce(FileOperation::kDelete, StatusRecordHeld);
  presenter_.ScriptAnswers({ButtonYes, ButtonOk, ButtonYes});

  EXPECT_EQ(p_->relations.Delete(true), FatalityNone);
  EXPECT_EQ(Captions(), (std::vector<std::string>{"Confirm Delete", "Record was not deleted",
                                                  "Record Delete Error"}));
  EXPECT_EQ(p_->Contents(), std::vector<std::string>{"1:0"});
  EXPECT_EQ(c_->Contents(), (std::vector<std::string>{"10:1", "11:1"}));
  EXPECT_EQ(g_->Contents(), (std::vector<std::string>{"100:10", "101:10", "110:11"}));
}

TEST_F(FileRelationsTest, FailedParentDeleteRollsTheCascadeBack) {
  ThreeLevels(RelationModeCascade, RelationModeCascade);
  p_->OpenAt(1);
  p_->wrapper.FailOnce(FileOperation::kDelete, StatusRecordHeld);
  presenter_.ScriptAnswers({ButtonOk, ButtonNo});

  EXPECT_EQ(p_->relations.Delete(false), FatalityNotify);
  EXPECT_EQ(log_.size(), 6u);  // everything was deleted before the parent failed
  EXPECT_EQ(Captions(),
            (std::vector<std::string>{"Record was not deleted", "Record Delete Error"}));
  EXPECT_EQ(p_->Contents(), kAllParents);
  EXPECT_EQ(c_->Contents(), kAllChildren);
  EXPECT_EQ(g_->Contents(), kAllGrandchildren);
  EXPECT_FALSE(Transaction::active());
}

TEST_F(FileRelationsTest, HeldChildEndsTheCascadeAndRollsBack) {
  ThreeLevels(RelationModeCascade, RelationModeCascade);
  c_->table->Hold(2);  // C11
  p_->OpenAt(1);

  EXPECT_EQ(p_->relations.Delete(false), FatalityNotify);
  EXPECT_EQ(Captions(), std::vector<std::string>{"Record not read"});
  // C10 and its children were deleted before the held record was met: all are back.
  c_->table->Release(2);
  EXPECT_EQ(c_->Contents(), kAllChildren);
  EXPECT_EQ(p_->Contents(), kAllParents);
  EXPECT_EQ(g_->Contents(), kAllGrandchildren);
}

TEST_F(FileRelationsTest, RecordThatCannotBeReadAgainIsNotDeletedNorAreItsChildren) {
  ThreeLevels(RelationModeCascade, RelationModeCascade);
  p_->relations.USELOGOUT = 0;  // no transaction to undo a wrong step
  p_->OpenAt(1);
  p_->table->Hold(1);
  presenter_.ScriptAnswers({ButtonOk, ButtonNo});

  EXPECT_EQ(p_->relations.Delete(false), FatalityNotify);
  EXPECT_EQ(Captions(),
            (std::vector<std::string>{"Record was not deleted", "Record Delete Error"}));
  EXPECT_TRUE(log_.empty());
  EXPECT_EQ(c_->Contents(), kAllChildren);
}

// A key position the related file refuses ends the cascade with a message. Reading on from
// wherever that file stood (here its last record) would find none of the related records: a
// restricted parent would be deleted, children would be orphaned.
TEST_F(FileRelationsTest, RefusedChildPositionEndsTheCascadeAndChangesNothing) {
  {
    SCOPED_TRACE("restrict delete without a transaction");
    ThreeLevels(RelationModeRestrict, RelationModeCascade);
    for (TestFile* file : {p_, c_, g_}) file->relations.USELOGOUT = 0;
    c_->OpenAt(20);
    p_->OpenAt(1);
    c_->wrapper.FailOnce(FileOperation::kSetKeyPosition, StatusKeysNeedRebuild);

    EXPECT_EQ(p_->relations.Delete(false), FatalityNotify);
    EXPECT_EQ(Captions(), std::vector<std::string>{"Record Retrieval Error"});
    EXPECT_TRUE(log_.empty());
    EXPECT_EQ(p_->Contents(), kAllParents);
    EXPECT_EQ(TestFile::Value(c_->wrapper, kId), 20);  // the child file's state is put back
  }
  {
    SCOPED_TRACE("grandchildren of a cascade delete");
    files_.clear();
    presenter_.Clear();
    ThreeLevels(RelationModeCascade, RelationModeCascade);
    g_->OpenAt(200);
    p_->OpenAt(1);
    g_->wrapper.FailOnce(FileOperation::kSetKeyPosition, StatusKeysNeedRebuild);

    EXPECT_EQ(p_->relations.Delete(false), FatalityNotify);
    EXPECT_EQ(Captions(), std::vector<std::string>{"Record Retrieval Error"});
    EXPECT_EQ(p_->Contents(), kAllParents);
    EXPECT_EQ(c_->Contents(), kAllChildren);
    EXPECT_EQ(g_->Contents(), kAllGrandchildren);
    EXPECT_FALSE(Transaction::active());
  }
  {
    SCOPED_TRACE("update cascade");
    files_.clear();
    presenter_.Clear();
    ThreeLevels(RelationModeNone, RelationModeNone);
    p_->relations.RELATIONS->front().UPDATEMODE = RelationModeCascade;
    c_->OpenAt(20);
    p_->OpenAt(1);
    p_->relations.SaveLinkValues();
    p_->Field(kId).Set(FieldValue::Number(5));
    c_->wrapper.FailOnce(FileOperation::kSetKeyPosition, StatusKeysNeedRebuild);

    EXPECT_EQ(p_->relations.Update(false), FatalityNotify);
    EXPECT_EQ(Captions(), std::vector<std::string>{"Record Retrieval Error"});
    EXPECT_EQ(TestFile::Value(p_->wrapper, kId), 1);
    EXPECT_EQ(p_->Contents(), kAllParents);
    EXPECT_EQ(c_->Contents(), kAllChildren);
    EXPECT_FALSE(Transaction::active());
  }
}

TEST_F(FileRelationsTest, DriverWithoutTransactionsTurnsLoggingOffAndGoesOn) {
  ThreeLevels(RelationModeNone, RelationModeNone);
  p_->inner.set_transactions_supported(false);
  p_->OpenAt(1);

  EXPECT_EQ(p_->relations.Delete(false), FatalityNone);
  EXPECT_EQ(p_->relations.USELOGOUT, 0);
  EXPECT_EQ(p_->Contents(), std::vector<std::string>{"2:0"});
  EXPECT_FALSE(Transaction::active());
  EXPECT_TRUE(presenter_.message_boxes().empty());

  // No frame was left behind: another file's transaction still works.
  c_->OpenAt(20);
  EXPECT_EQ(c_->relations.Delete(false), FatalityNone);
  EXPECT_EQ(c_->relations.USELOGOUT, 1);
  EXPECT_EQ(c_->Contents(), (std::vector<std::string>{"10:1", "11:1"}));
  EXPECT_TRUE(presenter_.message_boxes().empty());
}

TEST_F(FileRelationsTest, TransactionFailuresCancelTheDelete) {
  ThreeLevels(RelationModeCascade, RelationModeCascade);
  p_->OpenAt(1);

  c_->wrapper.FailOnce(FileOperation::kSetTransactionParticipation, StatusDriverError);
  EXPECT_EQ(p_->relations.Delete(false), FatalityNotify);
  EXPECT_EQ(Transaction::enlisted_count(), 0u);  // the parent enlisted first and was withdrawn

  p_->inner.set_begin_failure(StatusRecordHeld);
  EXPECT_EQ(p_->relations.Delete(false), FatalityNotify);
  p_->inner.set_begin_failure(StatusOk);

  p_->inner.commit_failure = StatusDriverError;
  EXPECT_EQ(p_->relations.Delete(false), FatalityNotify);

  EXPECT_EQ(Captions(), (std::vector<std::string>{"Transaction cancelled", "Transaction cancelled",
                                                  "Transaction cancelled"}));
  EXPECT_EQ(p_->wrapper.calls(FileOperation::kDelete), 1);  // only the attempt whose commit failed
  EXPECT_FALSE(Transaction::active());
}

// --- Update ---

class UpdateCascadeTest : public FileRelationsTest {
 protected:
  // Changes parent 1 to 5 and writes it.
  Level ChangeParent(std::uint8_t mode) {
    ThreeLevels(RelationModeNone, RelationModeNone);
    p_->relations.RELATIONS->front().UPDATEMODE = mode;
    p_->OpenAt(1);
    p_->relations.SaveLinkValues();
    p_->Field(kId).Set(FieldValue::Number(5));
    return p_->relations.Update(false);
  }
};

TEST_F(UpdateCascadeTest, CascadeCarriesTheNewValueToTheChildren) {
  EXPECT_EQ(ChangeParent(RelationModeCascade), FatalityNone);
  EXPECT_EQ(p_->Contents(), (std::vector<std::string>{"5:0", "2:0"}));
  EXPECT_EQ(c_->Contents(), (std::vector<std::string>{"10:5", "11:5", "20:2"}));
  EXPECT_EQ(g_->Contents(), kAllGrandchildren);
  EXPECT_TRUE(presenter_.message_boxes().empty());
  EXPECT_FALSE(Transaction::active());
}

TEST_F(UpdateCascadeTest, ClearBlanksTheChildrensLinks) {
  EXPECT_EQ(ChangeParent(RelationModeClear), FatalityNone);
  EXPECT_EQ(p_->Contents(), (std::vector<std::string>{"5:0", "2:0"}));
  EXPECT_EQ(c_->Contents(), (std::vector<std::string>{"10:0", "11:0", "20:2"}));
}

TEST_F(UpdateCascadeTest, RestrictResetsTheParentAndRollsBack) {
  EXPECT_EQ(ChangeParent(RelationModeRestrict), FatalityNotify);
  EXPECT_EQ(Captions(), std::vector<std::string>{"Referential Integrity Update Error"});
  EXPECT_EQ(TestFile::Value(p_->wrapper, kId), 1);  // the buffer's linking field is reset
  EXPECT_EQ(p_->Contents(), kAllParents);           // the written record was rolled back
  EXPECT_EQ(c_->Contents(), kAllChildren);
  EXPECT_FALSE(Transaction::active());
}

// Without a transaction nothing can be rolled back: the refused change must never reach the
// file, whether logging is off or the driver cannot take part (80).
TEST_F(UpdateCascadeTest, RestrictWithoutATransactionWritesNothing) {
  for (const bool driver_refuses : {false, true}) {
    SCOPED_TRACE(driver_refuses);
    files_.clear();
    presenter_.Clear();
    ThreeLevels(RelationModeNone, RelationModeNone);
    p_->relations.RELATIONS->front().UPDATEMODE = RelationModeRestrict;
    if (driver_refuses) {
      p_->inner.set_transactions_supported(false);
    } else {
      for (TestFile* file : {p_, c_, g_}) file->relations.USELOGOUT = 0;
    }
    p_->OpenAt(1);
    p_->relations.SaveLinkValues();
    p_->Field(kId).Set(FieldValue::Number(5));
    p_->Field(kName).Set(FieldValue::Text("RENAMED"));

    EXPECT_EQ(p_->relations.Update(false), FatalityNotify);
    EXPECT_EQ(Captions(), std::vector<std::string>{"Referential Integrity Update Error"});
    EXPECT_EQ(p_->relations.USELOGOUT, 0);
    EXPECT_EQ(TestFile::Value(p_->wrapper, kId), 1);
    EXPECT_EQ(p_->Contents(), kAllParents);
    EXPECT_EQ(p_->Texts(kName), (std::vector<std::string>{"1:N1", "2:N2"}));
    EXPECT_EQ(c_->Contents(), kAllChildren);
    EXPECT_FALSE(Transaction::active());
  }
}

TEST_F(UpdateCascadeTest, RestrictLetsOtherFieldsChange) {
  ThreeLevels(RelationModeNone, RelationModeNone);
  p_->relations.RELATIONS->front().UPDATEMODE = RelationModeRestrict;
  p_->OpenAt(1);
  p_->relations.SaveLinkValues();
  p_->Field(kName).Set(FieldValue::Text("RENAMED"));
  EXPECT_EQ(p_->relations.Update(false), FatalityNone);
  EXPECT_TRUE(presenter_.message_boxes().empty());
}

TEST_F(UpdateCascadeTest, RecordChangedElsewhere) {
  for (const bool from_form : {false, true}) {
    presenter_.Clear();
    TestFile& file = NewFile(from_form ? "F" : "S");
    file.Add(1, 0);
    file.OpenAt(1);
    // Another station changes the record after it was read.
    file.loader.SetStart();
    file.loader.Next();
    file.loader.field(kName).Set(FieldValue::Text("OTHER"));
    file.loader.Put();
    file.Field(kName).Set(FieldValue::Text("MINE"));

    EXPECT_EQ(file.relations.Update(from_form), FatalityNotify);
    const auto boxes = presenter_.message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Record Was Not Updated");
    EXPECT_EQ(boxes[0].text.find("Those changes will now be displayed") != std::string::npos,
              from_form);
    EXPECT_EQ(std::string(ClipText(file.Field(kName).Get().text())), "OTHER");
    EXPECT_FALSE(Transaction::active());
  }
}

// --- Links of different widths ---

// Parent P's 8-character CODE linked to child C's 3-character REF. P1 has CODE "ABCDEFG", P2
// "QRS"; C10 and C11 have REF "ABC", C20 "QRS".
class NarrowLinkTest : public FileRelationsTest {
 protected:
  void Family(std::uint8_t update, std::uint8_t del) {
    p_ = &NewFile("P");
    c_ = &NewFile("C");
    p_->Add(1, 0, "ABCDEFG");
    p_->Add(2, 0, "QRS");
    c_->Add(10, 0, "ABC");
    c_->Add(11, 0, "ABC");
    c_->Add(20, 0, "QRS");
    FieldPairs* pairs = p_->relations.AddRelation(&c_->relations, c_->by_ref, update, del);
    ASSERT_NE(pairs, nullptr);
    pairs->AddPair(p_->Field(kCode), c_->Field(kRef));
    c_->wrapper.ResetCounts();
  }
  // Reads P1, remembers its links, sets `field` to `text` and writes it.
  Level ChangeParent(int field, const std::string& text) {
    p_->OpenAt(1);
    p_->relations.SaveLinkValues();
    p_->Field(field).Set(FieldValue::Text(text));
    return p_->relations.Update(false);
  }
};

const std::vector<std::string> kNarrowRefs = {"10:ABC", "11:ABC", "20:QRS"};

TEST_F(NarrowLinkTest, ChangingAnotherFieldLeavesTheChildrenAlone) {
  for (const std::uint8_t mode : {RelationModeClear, RelationModeRestrict, RelationModeCascade}) {
    SCOPED_TRACE(static_cast<int>(mode));
    files_.clear();
    presenter_.Clear();
    Family(mode, RelationModeNone);

    EXPECT_EQ(ChangeParent(kName, "RENAMED"), FatalityNone);
    EXPECT_TRUE(presenter_.message_boxes().empty());
    EXPECT_EQ(c_->Texts(kRef), kNarrowRefs);
    EXPECT_EQ(c_->wrapper.calls(FileOperation::kPut), 0);
    EXPECT_EQ(p_->Texts(kName), (std::vector<std::string>{"1:RENAMED", "2:N2"}));
  }
}

TEST_F(NarrowLinkTest, ChangingTheCodeReachesTheChildrenByTheirShortRef) {
  Family(RelationModeCascade, RelationModeNone);
  EXPECT_EQ(ChangeParent(kCode, "XYZWVUT"), FatalityNone);
  EXPECT_EQ(c_->Texts(kRef), (std::vector<std::string>{"10:XYZ", "11:XYZ", "20:QRS"}));
  EXPECT_TRUE(presenter_.message_boxes().empty());

  // Restrict puts the whole code back, not the part the children hold.
  files_.clear();
  Family(RelationModeRestrict, RelationModeNone);
  EXPECT_EQ(ChangeParent(kCode, "XYZWVUT"), FatalityNotify);
  EXPECT_EQ(Captions(), std::vector<std::string>{"Referential Integrity Update Error"});
  EXPECT_EQ(std::string(ClipText(p_->Field(kCode).Get().text())), "ABCDEFG");
  EXPECT_EQ(p_->Texts(kCode), (std::vector<std::string>{"1:ABCDEFG", "2:QRS"}));
  EXPECT_EQ(c_->Texts(kRef), kNarrowRefs);
}

TEST_F(NarrowLinkTest, DeleteFindsTheChildrenByTheirShortRef) {
  Family(RelationModeNone, RelationModeRestrict);
  p_->OpenAt(1);
  EXPECT_EQ(p_->relations.Delete(false), FatalityNotify);
  EXPECT_EQ(Captions(), std::vector<std::string>{"Referential Integrity Delete Error"});
  EXPECT_EQ(p_->Texts(kCode), (std::vector<std::string>{"1:ABCDEFG", "2:QRS"}));

  files_.clear();
  log_.clear();
  Family(RelationModeNone, RelationModeCascade);
  p_->OpenAt(1);
  EXPECT_EQ(p_->relations.Delete(false), FatalityNone);
  EXPECT_EQ(log_, (std::vector<std::string>{"C10", "C11", "P1"}));
  EXPECT_EQ(c_->Texts(kRef), std::vector<std::string>{"20:QRS"});
}

}  // namespace
}  // namespace morlan
