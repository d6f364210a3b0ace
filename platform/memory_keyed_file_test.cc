#include "platform/memory_keyed_file.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "platform/runtime_error_state.h"
#include "platform/transaction.h"

namespace morlan {
namespace {

constexpr std::uint8_t kReadWrite = kAccessReadWrite | kShareDenyNone;

enum Field { kId = 0, kName = 1, kCity = 2 };

RecordLayout TestLayout() {
  RecordLayout layout;
  layout.AddField("T:ID", FieldType::kLong);
  layout.AddField("T:NAME", FieldType::kText, 10);
  layout.AddField("T:CITY", FieldType::kText, 8);
  layout.set_blob_count(1);
  return layout;
}

FileKey MakeKey(std::string name, std::vector<KeyComponent> components, bool dups = false,
                bool no_case = false) {
  return FileKey{std::move(name), std::move(components), dups, no_case};
}

StatusCode Code() { return RuntimeErrorState::code(); }

class RecordingSink final : public FileCallbackInterface {
 public:
  bool DriverNotify(std::uint32_t operation, std::span<const std::uint32_t> parameters) override {
    std::array<std::uint32_t, kNotificationWords> words{};
    std::copy(parameters.begin(), parameters.end(), words.begin());
    calls.emplace_back(operation, words);
    return true;
  }
  bool DriverNotifyDone() override { return true; }

  std::vector<std::pair<std::uint32_t, std::array<std::uint32_t, kNotificationWords>>> calls;
};

class MemoryKeyedFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    file_.Create();
    file_.Open(kReadWrite);
    ASSERT_EQ(Code(), StatusOk);
    by_id_ = file_.AddKey(MakeKey("T:BYID", {{kId, true}}));
    by_name_ = file_.AddKey(MakeKey("T:BYNAME", {{kName, true}}, true));
    ASSERT_NE(by_id_, nullptr);
    ASSERT_NE(by_name_, nullptr);
  }

  static void Fill(DataFile& f, int id, std::string_view name, std::string_view city = "") {
    f.ClearRecord();
    f.field(kId).Set(FieldValue::Number(id));
    f.field(kName).Set(FieldValue::Text(name));
    f.field(kCity).Set(FieldValue::Text(city));
  }

  void AddRow(int id, std::string_view name, std::string_view city = "") {
    Fill(file_, id, name, city);
    file_.Add();
    ASSERT_EQ(Code(), StatusOk) << "adding " << id;
  }

  static int IdOf(DataFile& f) { return static_cast<int>(f.field(kId).Get().number()); }

  // Ids read by Next (or Previous) until the first failure, which `stop` receives. Bounded, so
  // a position that never moves fails the test instead of hanging it.
  static std::vector<int> ReadAll(DataFile& f, bool forward = true, StatusCode* stop = nullptr) {
    std::vector<int> ids;
    while (ids.size() < 100) {
      forward ? f.Next() : f.Previous();
      if (Code() != StatusOk) break;
      ids.push_back(IdOf(f));
    }
    if (stop != nullptr) *stop = Code();
    return ids;
  }

  MemoryKeyedFile file_{"TEST", TestLayout()};
  const FileKey* by_id_ = nullptr;
  const FileKey* by_name_ = nullptr;
};

using Ids = std::vector<int>;

// --- Keys and reading ---

TEST_F(MemoryKeyedFileTest, ReadsInPhysicalAndKeyOrders) {
  AddRow(3, "carl", "OSLO");
  AddRow(1, "bob", "ROME");
  AddRow(2, "bob", "OSLO");
  AddRow(4, "anna", "ROME");

  file_.SetStart();
  StatusCode stop = StatusOk;
  EXPECT_EQ(ReadAll(file_, true, &stop), (Ids{3, 1, 2, 4}));
  EXPECT_EQ(stop, StatusNoRecord);

  file_.SetKeyStart(*by_id_);
  EXPECT_EQ(ReadAll(file_), (Ids{1, 2, 3, 4}));
  file_.SetKeyStart(*by_id_);
  EXPECT_EQ(ReadAll(file_, false), (Ids{4, 3, 2, 1}));

  // Equal names keep the order they were added in, both ways.
  file_.SetKeyStart(*by_name_);
  EXPECT_EQ(ReadAll(file_), (Ids{4, 1, 2, 3}));
  file_.SetKeyStart(*by_name_);
  EXPECT_EQ(ReadAll(file_, false), (Ids{3, 2, 1, 4}));

  const FileKey city_desc_name = MakeKey("T:CN", {{kCity, false}, {kName, true}}, true);
  file_.SetKeyStart(city_desc_name);
  EXPECT_EQ(ReadAll(file_), (Ids{4, 1, 2, 3}));  // ROME anna, ROME bob, OSLO bob, OSLO carl
}

TEST_F(MemoryKeyedFileTest, CaseInsensitiveKeysOrderAndMatchIgnoringCase) {
  const FileKey* no_case = file_.AddKey(MakeKey("T:NC", {{kName, true}}, false, true));
  ASSERT_NE(no_case, nullptr);
  AddRow(1, "bob");
  AddRow(2, "Alice");
  AddRow(3, "carl");

  file_.SetKeyStart(*by_name_);
  EXPECT_EQ(ReadAll(file_), (Ids{2, 1, 3}));  // "A" sorts before lower case
  file_.SetKeyStart(*no_case);
  EXPECT_EQ(ReadAll(file_), (Ids{2, 1, 3}));
  Fill(file_, 0, "ALICE");
  file_.Get(*by_name_);  // a case-sensitive look-up must not find it
  EXPECT_EQ(Code(), StatusRecordNotFound);
  file_.Get(*no_case);
  EXPECT_EQ(Code(), StatusOk);
  EXPECT_EQ(IdOf(file_), 2);

  // "BOB" duplicates "bob" on the case-insensitive key.
  AddRow(4, "Zed");
  Fill(file_, 5, "BOB");
  file_.Add();
  EXPECT_EQ(Code(), StatusDuplicateKey);
}

TEST_F(MemoryKeyedFileTest, SetKeyPositionStartsAtValueInBothDirections) {
  AddRow(20, "b");
  AddRow(10, "a");
  AddRow(30, "c");
  AddRow(21, "b");

  Fill(file_, 0, "b");
  file_.SetKeyPosition(*by_name_);
  EXPECT_EQ(ReadAll(file_), (Ids{20, 21, 30}));
  Fill(file_, 0, "b");
  file_.SetKeyPosition(*by_name_);
  EXPECT_EQ(ReadAll(file_, false), (Ids{21, 20, 10}));

  Fill(file_, 0, "bb");  // between entries
  file_.SetKeyPosition(*by_name_);
  EXPECT_EQ(ReadAll(file_), (Ids{30}));
  Fill(file_, 0, "bb");
  file_.SetKeyPosition(*by_name_);
  EXPECT_EQ(ReadAll(file_, false), (Ids{21, 20, 10}));

  // Descending component: "at or after" follows the key's own order.
  const FileKey desc = MakeKey("T:DESC", {{kId, false}});
  Fill(file_, 25, "");
  file_.SetKeyPosition(desc);
  EXPECT_EQ(ReadAll(file_), (Ids{21, 20, 10}));
}

TEST_F(MemoryKeyedFileTest, ReadingTurnsRoundAtEitherEnd) {
  AddRow(1, "a");
  AddRow(2, "b");
  AddRow(3, "c");
  file_.SetKeyStart(*by_id_);
  EXPECT_EQ(ReadAll(file_), (Ids{1, 2, 3}));
  file_.Previous();
  EXPECT_EQ(IdOf(file_), 3);
  EXPECT_EQ(ReadAll(file_, false), (Ids{2, 1}));
  file_.Next();
  EXPECT_EQ(IdOf(file_), 1);

  file_.Next();
  file_.Previous();  // after a read, Previous goes back from that record
  EXPECT_EQ(IdOf(file_), 1);
}

TEST_F(MemoryKeyedFileTest, GetReadsExactMatchWithoutMovingSequence) {
  AddRow(1, "a");
  AddRow(2, "b");
  AddRow(3, "c");
  file_.SetStart();
  file_.Next();
  Fill(file_, 3, "");
  file_.Get(*by_id_);
  ASSERT_EQ(Code(), StatusOk);
  EXPECT_EQ(file_.field(kName).Get(), FieldValue::Text("c"));
  file_.Next();
  EXPECT_EQ(IdOf(file_), 2);

  Fill(file_, 9, "kept");
  file_.Get(*by_id_);
  EXPECT_EQ(Code(), StatusRecordNotFound);
  EXPECT_EQ(file_.field(kName).Get(), FieldValue::Text("kept"));

  file_.Get(MakeKey("BAD", {{7, true}}));
  EXPECT_EQ(Code(), StatusInvalidRequest);
}

TEST_F(MemoryKeyedFileTest, PositionsRegetAndContinueAlongTheirOrder) {
  AddRow(3, "c");
  AddRow(1, "a");
  AddRow(2, "b");
  file_.ForgetCurrent();
  EXPECT_EQ(file_.Position(by_id_), "");
  EXPECT_EQ(Code(), StatusNoRecord);

  Fill(file_, 1, "");
  file_.Get(*by_id_);
  const std::string pos = file_.Position(by_id_);
  ASSERT_EQ(Code(), StatusOk);
  ASSERT_FALSE(pos.empty());

  file_.SetStart();
  file_.Next();
  file_.Reget(by_id_, pos);
  ASSERT_EQ(Code(), StatusOk);
  EXPECT_EQ(IdOf(file_), 1);
  EXPECT_EQ(ReadAll(file_), (Ids{2, 3}));

  file_.Reget(nullptr, pos);  // physically: 1 was added second
  EXPECT_EQ(ReadAll(file_), (Ids{2}));

  file_.Reget(nullptr, pos);
  file_.Delete();
  file_.Reget(by_id_, pos);
  EXPECT_EQ(Code(), StatusRecordNotFound);
  file_.Reget(by_id_, "12x");
  EXPECT_EQ(Code(), StatusRecordNotFound);
}

// --- Conflicts between stations ---

TEST_F(MemoryKeyedFileTest, HeldRecordsFailWith43AndAreSkipped) {
  AddRow(1, "a");
  AddRow(2, "b");
  const std::uint64_t held = file_.current_record_id();
  AddRow(3, "c");
  file_.table()->Hold(held);

  file_.SetKeyStart(*by_id_);
  file_.Next();
  file_.Next();
  EXPECT_EQ(Code(), StatusRecordHeld);
  EXPECT_EQ(file_.current_record_id(), 0u);
  file_.Next();
  EXPECT_EQ(IdOf(file_), 3);
  file_.Previous();
  EXPECT_EQ(Code(), StatusRecordHeld);
  file_.Previous();
  EXPECT_EQ(IdOf(file_), 1);

  Fill(file_, 2, "");
  file_.Get(*by_id_);
  EXPECT_EQ(Code(), StatusRecordHeld);

  // Held after this station read it: writes are refused too.
  file_.table()->Release(held);
  file_.Get(*by_id_);
  ASSERT_EQ(Code(), StatusOk);
  file_.table()->Hold(held);
  file_.Put();
  EXPECT_EQ(Code(), StatusRecordHeld);
  file_.Delete();
  EXPECT_EQ(Code(), StatusRecordHeld);
  file_.table()->Release(held);
  file_.Put();
  EXPECT_EQ(Code(), StatusOk);
}

TEST_F(MemoryKeyedFileTest, ChangesByAnotherStationGive89UntilWatched) {
  AddRow(1, "a");
  MemoryKeyedFile other("TEST", TestLayout(), file_.table());
  other.Open(kReadWrite);
  ASSERT_EQ(Code(), StatusOk);
  EXPECT_EQ(other.key_count(), 2);

  Fill(file_, 1, "");
  file_.Get(*by_id_);
  Fill(other, 1, "");
  other.Get(*by_id_);
  other.field(kName).Set(FieldValue::Text("other"));
  other.Put();
  ASSERT_EQ(Code(), StatusOk);

  file_.field(kName).Set(FieldValue::Text("mine"));
  file_.Put();
  EXPECT_EQ(Code(), StatusChangedElsewhere);
  file_.Watch();
  file_.Put();
  EXPECT_EQ(Code(), StatusOk);
  other.Put();  // its read is now out of date
  EXPECT_EQ(Code(), StatusChangedElsewhere);

  // A record deleted elsewhere: Put reports the change, Delete finds nothing.
  other.Get(*by_id_);
  other.Delete();
  ASSERT_EQ(Code(), StatusOk);
  file_.Put();
  EXPECT_EQ(Code(), StatusChangedElsewhere);
  file_.Delete();
  EXPECT_EQ(Code(), StatusRecordNotFound);
  other.ForgetCurrent();
  other.Delete();
  EXPECT_EQ(Code(), StatusNoRecord);
}

TEST_F(MemoryKeyedFileTest, DuplicatesAreRefusedOnAddAndPut) {
  AddRow(1, "a");
  AddRow(2, "a");  // the name key allows duplicates
  Fill(file_, 1, "z");
  file_.Add();
  EXPECT_EQ(Code(), StatusDuplicateKey);
  EXPECT_EQ(file_.RecordCount(), 2);

  Fill(file_, 2, "");
  file_.Get(*by_id_);
  EXPECT_FALSE(file_.HasDuplicate(*by_id_));  // its own value
  file_.Put();
  EXPECT_EQ(Code(), StatusOk);
  file_.field(kId).Set(FieldValue::Number(1));
  EXPECT_TRUE(file_.HasDuplicate(*by_id_));
  EXPECT_FALSE(file_.HasDuplicate(*by_name_));
  file_.Put();
  EXPECT_EQ(Code(), StatusDuplicateKey);

  file_.field(kId).Set(FieldValue::Number(2));
  EXPECT_FALSE(file_.HasDuplicate(*by_id_));
  file_.ForgetCurrent();  // now it would be a new record
  EXPECT_TRUE(file_.HasDuplicate(*by_id_));
}

// --- Saved states, large objects, counts ---

TEST_F(MemoryKeyedFileTest, SavedStateRestoresPositionCurrentRecordAndBuffer) {
  AddRow(1, "a");
  AddRow(2, "b");
  AddRow(3, "c");
  file_.SetKeyStart(*by_id_);
  file_.Next();
  file_.Next();
  file_.blob(0) = "memo";
  file_.null_flags()[kCity] = 1;
  const FileStateHandle state = file_.SaveState();
  ASSERT_NE(state, 0u);

  file_.SetStart();
  file_.Next();
  Fill(file_, 9, "zz");
  file_.blob(0) = "other";
  file_.RestoreState(state);
  ASSERT_EQ(Code(), StatusOk);
  EXPECT_EQ(IdOf(file_), 2);
  EXPECT_EQ(file_.blob(0), "memo");
  EXPECT_EQ(file_.null_flags()[kCity], 1);
  file_.Put();  // the current record came back with it
  EXPECT_EQ(Code(), StatusOk);
  EXPECT_EQ(ReadAll(file_), (Ids{3}));

  file_.RestoreState(state);  // still valid
  EXPECT_EQ(Code(), StatusOk);
  file_.FreeState(state);
  file_.RestoreState(state);
  EXPECT_EQ(Code(), StatusInvalidRequest);
}

TEST_F(MemoryKeyedFileTest, SkippedBlobsAreNeitherReadNorOverwritten) {
  Fill(file_, 1, "a");
  file_.blob(0) = "stored";
  file_.Add();
  file_.SetSkipBlobs(true);
  file_.blob(0) = "untouched";
  file_.Get(*by_id_);
  EXPECT_EQ(file_.blob(0), "untouched");
  file_.Put();
  ASSERT_EQ(Code(), StatusOk);
  file_.SetSkipBlobs(false);
  file_.Get(*by_id_);
  EXPECT_EQ(file_.blob(0), "stored");
  EXPECT_EQ(file_.Size(), static_cast<std::int64_t>(file_.record_size() + 6));
}

TEST_F(MemoryKeyedFileTest, StationsShareKeyDefinitionsByName) {
  MemoryKeyedFile other("TEST", TestLayout(), file_.table());
  EXPECT_EQ(other.AddKey(MakeKey("T:BYID", {{kId, true}})), by_id_);
  EXPECT_EQ(other.AddKey(MakeKey("T:BYID", {{kId, false}})), nullptr);
  EXPECT_EQ(Code(), StatusInvalidRequest);
  EXPECT_EQ(other.AddKey(MakeKey("T:EMPTY", {})), nullptr);
  EXPECT_EQ(file_.key_count(), 2);
  EXPECT_EQ(other.key(1), by_name_);
}

// --- Open, close and access ---

TEST_F(MemoryKeyedFileTest, OpenReportsTheFailuresTestsAskFor) {
  file_.Open(kReadWrite);
  EXPECT_EQ(Code(), StatusAlreadyOpen);
  EXPECT_TRUE(file_.IsOpen());
  file_.Create();
  EXPECT_EQ(Code(), StatusAlreadyOpen);
  file_.Close();
  file_.Close();
  EXPECT_EQ(Code(), StatusNotOpen);
  file_.Next();
  EXPECT_EQ(Code(), StatusNotOpen);

  file_.set_deny_access(2);
  file_.Open(kReadWrite);
  EXPECT_EQ(Code(), StatusAccessDenied);
  file_.Open(kReadWrite);
  EXPECT_EQ(Code(), StatusAccessDenied);
  EXPECT_FALSE(file_.IsOpen());
  file_.Open(kReadWrite);
  EXPECT_EQ(Code(), StatusOk);
  file_.Close();

  file_.table()->set_keys_need_rebuild(true);
  file_.Open(kReadWrite);
  EXPECT_EQ(Code(), StatusKeysNeedRebuild);
  EXPECT_FALSE(file_.IsOpen());
  file_.BuildKeys();
  file_.Open(kReadWrite);
  EXPECT_EQ(Code(), StatusOk);
  file_.Close();

  file_.Remove();
  EXPECT_FALSE(file_.Exists());
  file_.Remove();
  EXPECT_EQ(Code(), StatusNotFound);
  file_.Open(kReadWrite);
  EXPECT_EQ(Code(), StatusNotFound);
}

TEST_F(MemoryKeyedFileTest, AccessBitsOfTheOpenModeAreHonoured) {
  AddRow(1, "a");
  file_.Close();
  file_.Open(kAccessRead | kShareDenyNone);
  file_.SetStart();
  file_.Next();
  ASSERT_EQ(Code(), StatusOk);
  file_.Put();
  EXPECT_EQ(Code(), StatusAccessDenied);
  file_.Delete();
  EXPECT_EQ(Code(), StatusAccessDenied);
  file_.Add();
  EXPECT_EQ(Code(), StatusAccessDenied);
  file_.Close();

  file_.Open(kAccessWrite | kShareDenyNone);
  file_.SetStart();
  file_.Next();
  EXPECT_EQ(Code(), StatusAccessDenied);
  Fill(file_, 2, "b");
  file_.Add();
  EXPECT_EQ(Code(), StatusOk);
  EXPECT_EQ(file_.RecordCount(), 2);
}

TEST(MemoryKeyedFileNotifyTest, CloseDestroyAndHookReachTheSink) {
  RecordingSink sink;
  {
    MemoryKeyedFile file("N", TestLayout());
    file.SetNotificationSink(&sink);
    file.Create();
    file.Open(kReadWrite);
    file.Close();
    const std::uint32_t words[] = {4, 5};
    file.SendNotification(42, words);
  }
  ASSERT_EQ(sink.calls.size(), 3u);
  EXPECT_EQ(sink.calls[0].first, kNotifyClose);
  EXPECT_EQ(sink.calls[1].first, 42u);
  EXPECT_EQ(sink.calls[1].second[1], 5u);
  EXPECT_EQ(sink.calls[2].first, kNotifyDestroy);
  EXPECT_EQ(sink.calls[2].second[8], 0u);
}

// --- Transactions ---

class TransactionTest : public MemoryKeyedFileTest {
 protected:
  void TearDown() override { Transaction::Rollback(); }

  std::vector<std::string> Names() {
    std::vector<std::string> names;
    file_.SetKeyStart(*by_id_);
    while (names.size() < 100 && (file_.Next(), Code() == StatusOk)) {
      names.emplace_back(ClipText(file_.field(kName).Get().text()));
    }
    return names;
  }
};

TEST_F(TransactionTest, RollbackPutsBackAddsPutsAndDeletes) {
  AddRow(1, "a");
  AddRow(2, "b");
  file_.SetTransactionParticipation(true);
  ASSERT_EQ(Code(), StatusOk);
  Transaction::Begin(5);
  ASSERT_EQ(Code(), StatusOk);
  EXPECT_TRUE(Transaction::active());

  AddRow(3, "c");
  Fill(file_, 1, "");
  file_.Get(*by_id_);
  file_.field(kName).Set(FieldValue::Text("changed"));
  file_.Put();
  Fill(file_, 2, "");
  file_.Get(*by_id_);
  file_.Delete();
  EXPECT_EQ(Names(), (std::vector<std::string>{"changed", "c"}));

  Transaction::Rollback();
  EXPECT_EQ(Code(), StatusOk);
  EXPECT_EQ(Names(), (std::vector<std::string>{"a", "b"}));
  EXPECT_FALSE(Transaction::active());
  EXPECT_EQ(Transaction::enlisted_count(), 0u);
  EXPECT_FALSE(file_.transaction_participation());
}

TEST_F(TransactionTest, CommitKeepsChangesAndEndsTheFrame) {
  AddRow(1, "a");
  file_.SetTransactionParticipation(true);
  Transaction::Begin(5);
  AddRow(2, "b");
  Transaction::Commit();
  EXPECT_EQ(Code(), StatusOk);
  EXPECT_FALSE(file_.transaction_participation());
  EXPECT_EQ(Transaction::enlisted_count(), 0u);
  Transaction::Rollback();  // nothing left to undo
  EXPECT_EQ(Names(), (std::vector<std::string>{"a", "b"}));

  Transaction::Commit();
  EXPECT_EQ(Code(), StatusInvalidRequest);
}

TEST_F(TransactionTest, FailedBeginRollsBackFilesAlreadyBegun) {
  MemoryKeyedFile second("S", TestLayout());
  second.Create();
  second.set_begin_failure(StatusRecordHeld);
  file_.SetTransactionParticipation(true);
  second.SetTransactionParticipation(true);
  EXPECT_EQ(Transaction::enlisted_count(), 2u);

  Transaction::Begin(1);
  EXPECT_EQ(Code(), StatusRecordHeld);
  EXPECT_FALSE(Transaction::active());
  EXPECT_EQ(Transaction::enlisted_count(), 0u);
  EXPECT_FALSE(file_.transaction_participation());

  // The first file's copy was dropped: later changes are not undone by a stray rollback.
  AddRow(1, "a");
  file_.RollbackTransaction();
  EXPECT_EQ(file_.RecordCount(), 1);
}

TEST_F(TransactionTest, ParticipationRulesOfTheFrame) {
  MemoryKeyedFile plain("P", TestLayout());
  plain.set_transactions_supported(false);
  plain.SetTransactionParticipation(true);
  EXPECT_EQ(Code(), StatusNotSupported);
  EXPECT_EQ(Transaction::enlisted_count(), 0u);

  file_.SetTransactionParticipation(true);
  file_.SetTransactionParticipation(true);
  EXPECT_EQ(Transaction::enlisted_count(), 1u);
  Transaction::Begin(5);
  MemoryKeyedFile late("L", TestLayout());
  late.SetTransactionParticipation(true);
  EXPECT_EQ(Code(), StatusInvalidRequest);
  EXPECT_FALSE(late.transaction_participation());
  Transaction::Begin(5);
  EXPECT_EQ(Code(), StatusInvalidRequest);
  EXPECT_TRUE(Transaction::active());
}

TEST_F(TransactionTest, DestroyingAnEnlistedFileRollsItBackAndWithdrawsIt) {
  auto table = file_.table();
  {
    MemoryKeyedFile station("TEST", TestLayout(), table);
    station.Open(kReadWrite);
    station.SetTransactionParticipation(true);
    Transaction::Begin(5);
    Fill(station, 1, "gone");
    station.Add();
    ASSERT_EQ(table->record_count(), 1);
  }
  EXPECT_EQ(table->record_count(), 0);
  EXPECT_EQ(Transaction::enlisted_count(), 0u);
  Transaction::Commit();  // must not reach the destroyed file
  EXPECT_EQ(Code(), StatusOk);
}

}  // namespace
}  // namespace morlan
