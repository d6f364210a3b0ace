// FileManager set-up, opening, use and closing, its error reports, and the FileUsageTracker.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "data/file_manager.h"
#include "data/file_relations.h"
#include "data/file_usage_tracker.h"
#include "errors/error_manager.h"
#include "platform/fault_injecting_file.h"
#include "platform/memory_keyed_file.h"
#include "platform/runtime.h"
#include "platform/runtime_error_state.h"
#include "platform/text_line_file.h"
#include "testing/data_fixture.h"
#include "testing/records.h"
#include "testing/temp_dir.h"
#include "testing/unwritable_file.h"

namespace morlan {
namespace {

using testing::RecordText;

RecordLayout LineLayout() { return testing::LineLayout(40, "OUT:F1"); }

RecordLayout TableLayout() {
  RecordLayout layout;
  layout.AddField("T:ID", FieldType::kLong);
  layout.AddField("T:NAME", FieldType::kText, 10);
  return layout;
}

void SetLine(DataFile& file, std::string_view text) {
  AssignText({file.record(), file.record_size()}, text);
}

// A table that exists, with `count` records numbered 1, 2, ... and named N1, N2, ...
std::shared_ptr<MemoryTable> Table(int count) {
  return testing::FilledTable("T", TableLayout(), count, [](DataFile& station, int i) {
    station.field(0).Set(FieldValue::Number(i + 1));
    station.field(1).Set(FieldValue::Text("N" + std::to_string(i + 1)));
  });
}

// A station of Table(count), with a manager of it.
struct ManagedTable {
  ManagedTable(ErrorManager* errors, int count) : file("T", TableLayout(), Table(count)) {
    manager.Init(&file, errors);
  }

  MemoryKeyedFile file;
  FileManager manager;
};

// The table T behind the fault wrapper, with a manager of it. Unless `lazy`, the manager opens
// the file at once (LAZYOPEN 0); unless `exists` is false, the table is created first. Faults and
// switches set after this are in place before the first open.
struct WrappedTable {
  explicit WrappedTable(ErrorManager* errors, bool lazy = false, bool exists = true)
      : inner("T", TableLayout()), file(inner) {
    if (exists) inner.Create();
    manager.Init(&file, errors);
    if (!lazy) manager.LAZYOPEN = 0;
  }

  MemoryKeyedFile inner;
  FaultInjectingFile file;
  FileManager manager;
};

using FileManagerLifecycleTest = testing::DataFixture<>;

// --- Lazy opening and first use ---

TEST_F(FileManagerLifecycleTest, LazyOpenWaitsForFirstUseWhichCreatesTheMissingFile) {
  testing::TempDir dir;
  const std::string name = dir.File("VRSQ2.qdl");
  TextLineFile file(name, LineLayout());
  FileManager manager;
  manager.Init(&file, &errors_);
  ASSERT_EQ(manager.LAZYOPEN, 1);
  ASSERT_EQ(manager.CREATE, 1);

  EXPECT_EQ(manager.Open(), FatalityNone);
  EXPECT_FALSE(std::filesystem::exists(name));
  EXPECT_EQ(manager.thread_info().OPENED, 1);
  EXPECT_EQ(manager.thread_info().USED, 0);

  // The caller prepares the record before the deferred open; the open must not disturb it.
  SetLine(file, "first line");
  EXPECT_EQ(manager.UseFile(FileUse::kRecords), FatalityNone);
  EXPECT_TRUE(std::filesystem::exists(name));
  EXPECT_EQ(manager.thread_info().USED, 1);
  EXPECT_EQ(RecordText(file), "first line");

  EXPECT_EQ(manager.Insert(), FatalityNone);
  EXPECT_EQ(manager.Close(), FatalityNone);
  EXPECT_EQ(dir.Read("VRSQ2.qdl"), "first line\n");
  EXPECT_TRUE(presenter_.message_boxes().empty());
  EXPECT_EQ(errors_.file_name(), name);
}

TEST_F(FileManagerLifecycleTest, UseBeforeOpenIsAFileUsageErrorThatEndsTheProgram) {
  testing::TempDir dir;
  TextLineFile file(dir.File("never.qdl"), LineLayout());
  FileManager manager;
  manager.Init(&file, &errors_);

  EXPECT_EQ(manager.UseFile(FileUse::kRecords), FatalityHalt);
  ASSERT_EQ(Captions(), std::vector<std::string>{"File Usage Error"});
  EXPECT_NE(presenter_.message_boxes()[0].text.find(dir.File("never.qdl")), std::string::npos);
  EXPECT_EQ(presenter_.halts().size(), 1u);
  EXPECT_EQ(manager.thread_info().LASTERROR, ErrFileNotOpened);
  EXPECT_EQ(manager.INUSEFILE, 0);

  // Record operations stop at once with the same report.
  EXPECT_EQ(manager.Insert(), FatalityHalt);
  EXPECT_EQ(presenter_.halts().size(), 2u);
  EXPECT_FALSE(std::filesystem::exists(dir.File("never.qdl")));
}

TEST_F(FileManagerLifecycleTest, OnlyTheLastCloseClosesAndAnUnmatchedCloseDoesNothing) {
  auto&& [inner, file, manager] = WrappedTable(&errors_);

  EXPECT_EQ(manager.Open(), FatalityNone);
  EXPECT_EQ(manager.Open(), FatalityNone);
  EXPECT_EQ(file.calls(FileOperation::kOpen), 1);
  EXPECT_EQ(manager.thread_info().OPENED, 2);

  EXPECT_EQ(manager.Close(), FatalityNone);
  EXPECT_TRUE(inner.IsOpen());
  EXPECT_EQ(manager.Close(), FatalityNone);
  EXPECT_FALSE(inner.IsOpen());
  EXPECT_EQ(manager.thread_info().USED, 0);
  EXPECT_EQ(manager.Close(), FatalityNone);
  EXPECT_EQ(file.calls(FileOperation::kClose), 1);
  EXPECT_EQ(manager.thread_info().OPENED, 0);
}

TEST_F(FileManagerLifecycleTest, PerThreadFilesKeepTheirOpenStateByThread) {
  MemoryKeyedFile file("T", TableLayout());
  file.Create();
  file.set_per_thread(true);
  FileManager manager;
  manager.Init(&file, &errors_);
  ASSERT_EQ(manager.Open(), FatalityNone);
  ASSERT_EQ(manager.UseFile(FileUse::kRecords), FatalityNone);

  // Another thread never opened the file: its own entry says so.
  Level other = FatalityNone;
  std::thread([&] { other = manager.UseFile(FileUse::kRecords); }).join();
  EXPECT_EQ(other, FatalityHalt);
  EXPECT_EQ(Captions(), std::vector<std::string>{"File Usage Error"});
  ASSERT_EQ(manager.INFO->size(), 2u);
  EXPECT_LT(manager.INFO->entries()[0].ID, manager.INFO->entries()[1].ID);

  manager.SelectThreadInfo();
  EXPECT_EQ(manager.thread_info().OPENED, 1);
  EXPECT_EQ(manager.Close(), FatalityNone);
}

// A reader held inside the driver's Next keeps its own entry while other threads make theirs:
// the end of file it meets is recorded where it will look for it.
TEST_F(FileManagerLifecycleTest, AThreadInsideTheDriverKeepsItsEntryWhileOthersAddTheirs) {
  MemoryKeyedFile file("T", TableLayout());
  file.Create();
  file.set_per_thread(true);
  FileManager manager;
  manager.Init(&file, &errors_);
  manager.LAZYOPEN = 0;
  ASSERT_EQ(manager.Open(), FatalityNone);

  std::mutex mutex;
  std::condition_variable changed;
  bool inside = false;
  bool release = false;
  file.set_before_read([&] {
    std::unique_lock lock(mutex);
    inside = true;
    changed.notify_all();
    changed.wait_for(lock, std::chrono::seconds(5), [&] { return release; });
  });
  Level read = FatalityHalt;
  bool at_end = false;
  std::thread reader([&] {
    if (manager.Open() != FatalityNone) return;
    read = manager.Next();  // the table is empty
    at_end = manager.AtEndOfFile();
  });
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(5), [&] { return inside; }))
        << "the reader never reached the driver";
  }
  for (int i = 0; i < 8; ++i) std::thread([&] { manager.Open(); }).join();
  {
    std::lock_guard lock(mutex);
    release = true;
  }
  changed.notify_all();
  reader.join();

  EXPECT_EQ(read, FatalityNotify);
  EXPECT_TRUE(at_end);
  EXPECT_EQ(manager.INFO->size(), 10u);
  EXPECT_TRUE(presenter_.message_boxes().empty());
}

// Run under ThreadSanitizer too: the list of entries is shared, each entry is its thread's own.
TEST_F(FileManagerLifecycleTest, TwoThreadsUseOneManagerOfAPerThreadFile) {
  MemoryKeyedFile file("T", TableLayout());
  file.Create();
  file.set_per_thread(true);
  FileManager manager;
  manager.Init(&file, &errors_);  // lazy: Open and Close only count
  constexpr int kRounds = 20000;
  std::atomic<int> mixups{0};
  std::atomic<int> ready{0};
  FileUsageTracker& tracker = FileUsageTracker::Instance();
  const auto work = [&](ErrorId mine) {
    errors_.EnterProcedure("worker");
    ++ready;
    while (ready.load() < 2) std::this_thread::yield();
    for (int i = 0; i < kRounds; ++i) {
      if (manager.Open() != FatalityNone) {
        ++mixups;
        break;
      }
      tracker.RecordUse(manager, FileUse::kRecords);  // the scopes share the tracker's lists
      manager.SetError(mine);
      const FileThreadInfo& info = manager.thread_info();
      if (info.LASTERROR != mine || info.OPENED != 1) ++mixups;
      FileUsageTracker::UseStateEntry scope;
      if (tracker.FindInnermostScope(manager, &scope) != FatalityNone ||
          scope.THREAD != Runtime::CurrentThreadId() || scope.SCOPELEVEL != 1) {
        ++mixups;
      }
      manager.Close();
      if (manager.thread_info().OPENED != 0) ++mixups;
    }
    errors_.LeaveProcedure();
  };
  std::thread first(work, ErrRecordInsert);
  std::thread second(work, ErrRecordRetrieval);
  first.join();
  second.join();

  EXPECT_EQ(mixups, 0);
  EXPECT_EQ(manager.INFO->size(), 2u);
  EXPECT_TRUE(tracker.use_states().empty());
  EXPECT_TRUE(presenter_.message_boxes().empty());
}

// --- The physical open ---

TEST_F(FileManagerLifecycleTest, ALockedFileGetsRecoverBeforeAnythingElse) {
  auto&& [inner, file, manager] = WrappedTable(&errors_);
  file.FailOnce(FileOperation::kOpen, StatusAccessDenied);

  EXPECT_EQ(manager.Open(), FatalityNone);
  ASSERT_FALSE(file.sent_options().empty());
  EXPECT_EQ(file.sent_options()[0], "Recover=10");
  EXPECT_EQ(file.sent_options().size(), 1u);
  EXPECT_EQ(file.calls(FileOperation::kOpen), 2);
  EXPECT_EQ(manager.OPENMODE, 0x42);
  EXPECT_TRUE(presenter_.message_boxes().empty());
  manager.Close();

  manager.LOCKRECOVER = 25;
  file.ResetCounts();
  file.FailOnce(FileOperation::kOpen, StatusAccessDenied);
  EXPECT_EQ(manager.Open(), FatalityNone);
  EXPECT_EQ(file.sent_options(), std::vector<std::string>{"Recover=25"});
}

TEST_F(FileManagerLifecycleTest, WriteAccessDeniedFallsBackToReadOnlyWithOneNotice) {
  auto&& [inner, file, manager] = WrappedTable(&errors_);
  inner.set_deny_access(2);  // both opens of the first attempt

  EXPECT_EQ(manager.Open(), FatalityNone);
  ASSERT_EQ(Captions(), std::vector<std::string>{"Access Denied"});
  EXPECT_EQ(presenter_.message_boxes()[0].text,
            "Could not get write access to T so trying read-only.");
  EXPECT_EQ(manager.OPENMODE, 0x40);  // access 0, sharing kept
  EXPECT_EQ(file.calls(FileOperation::kOpen), 3);

  // Opened for reading only: writes are refused by the driver, and later opens stay read-only
  // without a second notice.
  EXPECT_EQ(manager.TryInsert(), FatalityNotify);
  EXPECT_EQ(errors_.save_error_code(), StatusAccessDenied);
  manager.Close();
  EXPECT_EQ(manager.Open(), FatalityNone);
  EXPECT_EQ(manager.OPENMODE, 0x40);
  EXPECT_EQ(presenter_.message_boxes().size(), 1u);
}

TEST_F(FileManagerLifecycleTest, AnUnwritableRealFileIsOpenedReadOnly) {
  testing::TempDir dir;
  const std::string name = dir.Write("VRSQ1.qdl", "  CUS:NAME STRING(20)\n");
  const testing::UnwritableFile unwritable(name);
  if (!unwritable.made()) GTEST_SKIP() << "cannot make a file unwritable here";
  TextLineFile file(name, LineLayout());
  FileManager manager;
  manager.Init(&file, &errors_);
  const Level opened = manager.Open();
  const Level used = manager.UseFile(FileUse::kRecords);
  const Level read = manager.Next();
  const std::string line = RecordText(file);
  manager.Close();

  EXPECT_EQ(opened, FatalityNone);
  EXPECT_EQ(used, FatalityNone);
  EXPECT_EQ(read, FatalityNone);
  EXPECT_EQ(line, "  CUS:NAME STRING(20)");
  EXPECT_EQ(Captions(), std::vector<std::string>{"Access Denied"});
  EXPECT_EQ(manager.OPENMODE, 0x40);
}

TEST_F(FileManagerLifecycleTest, TwoFailedAttemptsEndInFileAccessError) {
  auto&& [inner, file, manager] = WrappedTable(&errors_);
  file.FailFromNow(FileOperation::kOpen, StatusAccessDenied);

  EXPECT_EQ(manager.Open(), FatalityHalt);
  // Each attempt opens twice, around its Recover= command; the second is read-only.
  EXPECT_EQ(file.calls(FileOperation::kOpen), 4);
  EXPECT_EQ(file.sent_options(), (std::vector<std::string>{"Recover=10", "Recover=10"}));
  EXPECT_EQ(Captions(), (std::vector<std::string>{"Access Denied", "File Access Error"}));
  EXPECT_EQ(presenter_.halts().size(), 1u);
  EXPECT_EQ(manager.thread_info().LASTERROR, ErrFileAccess);
  EXPECT_EQ(manager.thread_info().OPENED, 0);  // a failure never leaves the count raised
}

TEST_F(FileManagerLifecycleTest, TryOpenFailsQuietlyAfterTheReadOnlyNotice) {
  auto&& [inner, file, manager] = WrappedTable(&errors_);
  file.FailFromNow(FileOperation::kOpen, StatusAccessDenied);

  EXPECT_EQ(manager.TryOpen(), FatalityNotify);
  EXPECT_EQ(Captions(), std::vector<std::string>{"Access Denied"});
  EXPECT_TRUE(presenter_.halts().empty());
  EXPECT_EQ(manager.thread_info().LASTERROR, ErrFileAccess);
  EXPECT_EQ(errors_.save_error_code(), StatusAccessDenied);
  EXPECT_EQ(manager.thread_info().OPENED, 0);
}

TEST_F(FileManagerLifecycleTest, AMissingFileIsAnAccessErrorWithoutCreate) {
  testing::TempDir dir;
  const std::string name = dir.File("missing.qdl");
  TextLineFile file(name, LineLayout());
  FileManager manager;
  manager.Init(&file, &errors_);
  manager.CREATE = 0;
  manager.LAZYOPEN = 0;

  EXPECT_EQ(manager.Open(), FatalityHalt);
  EXPECT_EQ(Captions(), std::vector<std::string>{"File Access Error"});
  EXPECT_FALSE(std::filesystem::exists(name));
  EXPECT_EQ(errors_.save_error_code(), StatusNotFound);
}

TEST_F(FileManagerLifecycleTest, AFailedCreateIsAFileCreationError) {
  auto&& [inner, file, manager] = WrappedTable(&errors_, /*lazy=*/false, /*exists=*/false);
  file.FailFromNow(FileOperation::kCreate, StatusAccessDenied);

  EXPECT_EQ(manager.TryOpen(), FatalityNotify);
  EXPECT_TRUE(presenter_.message_boxes().empty());
  EXPECT_EQ(manager.thread_info().LASTERROR, ErrFileCreation);

  EXPECT_EQ(manager.Open(), FatalityHalt);
  EXPECT_EQ(Captions(), std::vector<std::string>{"File Creation Error"});
  EXPECT_EQ(presenter_.halts().size(), 1u);

  file.ClearFaults();
  EXPECT_EQ(manager.Open(), FatalityNone);  // created, then opened in the second attempt
  EXPECT_TRUE(inner.Exists());
}

TEST_F(FileManagerLifecycleTest, KeysThatNeedRebuildingAreRebuiltWhenReporting) {
  auto&& [inner, file, manager] = WrappedTable(&errors_);
  inner.table()->set_keys_need_rebuild(true);

  EXPECT_EQ(manager.TryOpen(), FatalityNotify);
  EXPECT_TRUE(presenter_.message_boxes().empty());
  EXPECT_EQ(manager.thread_info().LASTERROR, ErrKeyInvalid);
  EXPECT_EQ(file.calls(FileOperation::kBuildKeys), 0);

  EXPECT_EQ(manager.Open(), FatalityNone);
  EXPECT_EQ(Captions(), std::vector<std::string>{"Invalid Key"});
  EXPECT_EQ(file.calls(FileOperation::kBuildKeys), 1);
  EXPECT_TRUE(inner.IsOpen());
}

TEST_F(FileManagerLifecycleTest, AKeyRebuildThatFailsEndsTheProgram) {
  auto&& [inner, file, manager] = WrappedTable(&errors_);
  inner.table()->set_keys_need_rebuild(true);
  file.FailOnce(FileOperation::kBuildKeys, InjectedFault::Driver("17", "index damaged"));

  EXPECT_EQ(manager.Open(), FatalityHalt);
  EXPECT_EQ(Captions(), (std::vector<std::string>{"Invalid Key", "Key was not built"}));
  EXPECT_NE(presenter_.message_boxes()[1].text.find("index damaged"), std::string::npos);
  EXPECT_EQ(manager.thread_info().OPENED, 0);
}

TEST_F(FileManagerLifecycleTest, AWriteLostAtCloseIsReported) {
  auto&& [inner, file, manager] = WrappedTable(&errors_, /*lazy=*/true);
  ASSERT_EQ(manager.Open(), FatalityNone);
  ASSERT_EQ(manager.UseFile(FileUse::kRecords), FatalityNone);
  file.FailOnce(FileOperation::kClose, InjectedFault::Driver("28", "No space left on device"));

  EXPECT_EQ(manager.Close(), FatalityNone);  // a close pass goes on to the other files
  EXPECT_EQ(Captions(), std::vector<std::string>{"Record Insert Error"});
  EXPECT_EQ(manager.thread_info().LASTERROR, ErrRecordInsert);
  EXPECT_FALSE(inner.IsOpen());
  EXPECT_EQ(manager.thread_info().USED, 0);
}

// --- Errors ---

TEST_F(FileManagerLifecycleTest, ErrorsCarryTheFileNameAndThePlatformError) {
  MemoryKeyedFile file("CUSTOMERS", TableLayout());
  FileManager manager;
  manager.Init(&file, &errors_);
  manager.FILENAME = FieldValue::Text("C:\\DATA\\CUS.TPS");
  EXPECT_EQ(manager.GetFileName(), "C:\\DATA\\CUS.TPS");

  RuntimeErrorState::Set(StatusRecordHeld);
  manager.SelectThreadInfo();
  manager.SetError(ErrRecordHeldElsewhere);
  RuntimeErrorState::SetOk();  // what the message shows was captured by SetError
  EXPECT_EQ(manager.PostLastError(), FatalityNotify);
  ASSERT_EQ(Captions(), std::vector<std::string>{"Record not read"});
  EXPECT_NE(presenter_.message_boxes()[0].text.find("C:\\DATA\\CUS.TPS"), std::string::npos);
  EXPECT_EQ(errors_.save_error_code(), StatusRecordHeld);

  // A message with its own text leaves the recorded id alone.
  EXPECT_EQ(manager.PostErrorWithText(ErrDuplicateKeyEntry, "By name"), FatalityNotify);
  EXPECT_NE(presenter_.message_boxes()[1].text.find("By name"), std::string::npos);
  EXPECT_EQ(manager.thread_info().LASTERROR, ErrRecordHeldElsewhere);

  manager.FILENAME.reset();
  EXPECT_EQ(manager.GetFileName(), "CUSTOMERS");
}

TEST_F(FileManagerLifecycleTest, MessagesNameTheFileUsedLast) {
  MemoryKeyedFile first("FIRST", TableLayout(), Table(1));
  MemoryKeyedFile second("SECOND.DAT", TableLayout(), Table(1));
  FileManager a;
  FileManager b;
  a.Init(&first, &errors_);
  b.Init(&second, &errors_);
  ASSERT_EQ(a.Open(), FatalityNone);
  ASSERT_EQ(b.Open(), FatalityNone);
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(a.UseFile(FileUse::kRecords), FatalityNone);
    EXPECT_EQ(errors_.file_name(), "FIRST");
    ASSERT_EQ(b.UseFile(FileUse::kRecords), FatalityNone);
    EXPECT_EQ(errors_.file_name(), "SECOND.DAT");
  }
  first.table()->Hold(1);
  EXPECT_EQ(a.Next(), FatalityNotify);
  ASSERT_EQ(Captions(), std::vector<std::string>{"Record not read"});
  EXPECT_NE(presenter_.message_boxes()[0].text.find("FIRST"), std::string::npos);
  a.Close();
  b.Close();
}

// --- Teardown and notifications ---

TEST_F(FileManagerLifecycleTest, KillCleansUpOnceAndIsSafeTwice) {
  auto&& [inner, file, manager] = WrappedTable(&errors_, /*lazy=*/true);
  const std::uint64_t label = FileUsageTracker::FileLabel(file);
  ASSERT_EQ(FileUsageTracker::Instance().FindFile(label), &manager);
  ASSERT_EQ(file.notification_sink(), &manager);
  ASSERT_EQ(manager.Open(), FatalityNone);
  ASSERT_EQ(manager.UseFile(FileUse::kRecords), FatalityNone);
  ASSERT_NE(manager.SaveState(), 0);

  manager.Kill();
  EXPECT_EQ(manager.CLEANEDUP, 1);
  EXPECT_EQ(FileUsageTracker::Instance().FindFile(label), nullptr);
  EXPECT_EQ(manager.INFO, nullptr);
  EXPECT_EQ(manager.SAVED, nullptr);
  EXPECT_EQ(manager.BUFFERS, nullptr);
  EXPECT_EQ(file.calls(FileOperation::kFreeState), 1);
  EXPECT_EQ(file.notification_sink(), nullptr);
  EXPECT_TRUE(inner.IsOpen());  // Kill does not close the file

  // The second Kill only unregisters the sink again.
  file.SetNotificationSink(&manager);
  manager.Kill();
  EXPECT_EQ(file.notification_sink(), nullptr);
  EXPECT_EQ(file.calls(FileOperation::kFreeState), 1);
  manager.Destroy();
}

TEST_F(FileManagerLifecycleTest, TheDriverEndingTheFileRunsTheCleanUp) {
  auto file = std::make_unique<MemoryKeyedFile>("T", TableLayout());
  file->Create();
  FileManager manager;
  manager.Init(file.get(), &errors_);
  const std::uint64_t label = FileUsageTracker::FileLabel(*file);

  // Word 9 not zero: the driver keeps what the sink holds.
  std::array<std::uint32_t, kNotificationWords> keep{};
  keep[8] = 1;
  file->SendNotification(kNotifyDestroy, keep);
  EXPECT_EQ(manager.CLEANEDUP, 0);
  EXPECT_EQ(manager.INCALLBACK, 0);

  file.reset();  // the destroy notification with word 9 zero
  EXPECT_EQ(manager.CLEANEDUP, 1);
  EXPECT_EQ(manager.FILE, nullptr);
  EXPECT_EQ(FileUsageTracker::Instance().FindFile(label), nullptr);

  // The relation manager over it must not reach for the file that is gone.
  FileRelations relations;
  relations.Init(&manager, true);
  relations.SetQuickScan(true, 0);
  EXPECT_NE(relations.Update(false), FatalityNone);
  EXPECT_NE(relations.Delete(false), FatalityNone);
  EXPECT_EQ(relations.EnlistInTransaction(), FatalityNotify);
  relations.Kill();

  manager.Kill();  // nothing left to reach
  EXPECT_EQ(manager.UseFile(FileUse::kRecords), FatalityHalt);
}

// A destroy notification whose word 9 is not zero asks the manager to keep what it holds: the
// file stays the manager's, and every operation goes on working on it.
TEST_F(FileManagerLifecycleTest, ADestroyNotificationThatKeepsTheFileLeavesEveryOperationWorking) {
  MemoryKeyedFile inner("T", TableLayout(), Table(3));
  FaultInjectingFile file(inner);
  FileManager manager;
  manager.Init(&file, &errors_);
  const FileKey* by_id = manager.AddKey(FileKey{"T:BYID", {{0, true}}, false, false}, "By id", 1);
  ASSERT_NE(by_id, nullptr);
  FileRelations relations;
  relations.Init(&manager, true);
  ASSERT_EQ(relations.Open(false), FatalityNone);
  ASSERT_EQ(manager.Next(), FatalityNone);

  std::array<std::uint32_t, kNotificationWords> keep{};
  keep[8] = 1;
  inner.SendNotification(kNotifyDestroy, keep);
  EXPECT_EQ(manager.FILE, &file);
  EXPECT_EQ(manager.CLEANEDUP, 0);
  EXPECT_EQ(manager.INCALLBACK, 0);
  const auto id = [&] { return file.field(0).Get().number(); };

  // Reading, positions and saved states.
  EXPECT_EQ(manager.Next(), FatalityNone);
  EXPECT_EQ(id(), 2);
  const std::string position = manager.Position();
  EXPECT_EQ(position, "2");
  EXPECT_EQ(manager.Previous(), FatalityNone);
  EXPECT_EQ(manager.Reget(position), FatalityNone);
  EXPECT_EQ(id(), 2);
  std::uint16_t state = manager.SaveState();
  EXPECT_NE(state, 0);
  EXPECT_EQ(manager.TryNext(), FatalityNone);
  FileManager::RestoreState(manager, &state, manager, true);
  EXPECT_EQ(id(), 2);
  file.field(0).Set(FieldValue::Number(3));
  EXPECT_EQ(manager.TryFetch(by_id), FatalityNone);
  EXPECT_EQ(file.field(1).Get(), FieldValue::Text("N3"));

  // Writing: an update framed in a transaction, an auto-numbered insert, a cancelled one.
  file.field(1).Set(FieldValue::Text("changed"));
  EXPECT_EQ(relations.Update(false), FatalityNone);
  EXPECT_EQ(manager.PrepareRecord(false), FatalityNone);
  EXPECT_EQ(id(), 4);
  EXPECT_EQ(manager.Insert(), FatalityNone);
  EXPECT_EQ(manager.PrepareRecord(false), FatalityNone);
  EXPECT_EQ(manager.CancelAutoNumber(nullptr), FatalityNone);
  EXPECT_EQ(inner.RecordCount(), 4);
  relations.SetQuickScan(true, 0);
  EXPECT_EQ(file.sent_options(), std::vector<std::string>{"QUICKSCAN=on"});

  // Closing and opening again.
  EXPECT_EQ(relations.Close(false), FatalityNone);
  EXPECT_FALSE(inner.IsOpen());
  EXPECT_EQ(relations.Open(false), FatalityNone);
  EXPECT_TRUE(inner.IsOpen());
  EXPECT_EQ(relations.Close(false), FatalityNone);
  EXPECT_TRUE(presenter_.message_boxes().empty());
  relations.Kill();
}

TEST_F(FileManagerLifecycleTest, ACloseNotificationDuringRestoreDropsTheOpenCount) {
  MemoryKeyedFile file("T", TableLayout());
  file.Create();
  FileManager manager;
  manager.Init(&file, &errors_);
  manager.LAZYOPEN = 0;
  ASSERT_EQ(manager.Open(), FatalityNone);
  ASSERT_EQ(manager.Open(), FatalityNone);

  file.SendNotification(kNotifyClose);  // INRESTORE not set: ignored
  EXPECT_EQ(manager.thread_info().OPENED, 2);

  manager.INRESTORE = 1;
  file.SendNotification(kNotifyClose);
  EXPECT_EQ(manager.thread_info().OPENED, 0);
  EXPECT_EQ(manager.thread_info().USED, 0);
  EXPECT_TRUE(manager.DriverNotifyDone());
}

// --- The tracker ---

TEST_F(FileManagerLifecycleTest, FileLabelsAreTheFilesSixtyFourBitIdentities) {
  MemoryKeyedFile file("T", TableLayout());
  static_assert(std::is_same_v<decltype(FileUsageTracker::FileLabel(file)), std::uint64_t>);
  static_assert(
      std::is_same_v<decltype(FileUsageTracker::OpenFileEntry::FILELABEL), std::uint64_t>);
  EXPECT_EQ(FileUsageTracker::FileLabel(file), file.identity());

  // A second manager of the same file is registered beside the first.
  FileManager first;
  FileManager second;
  first.Init(&file, &errors_);
  second.Init(&file, &errors_);
  FileUsageTracker& tracker = FileUsageTracker::Instance();
  EXPECT_EQ(tracker.open_files().size(), 2u);
  EXPECT_EQ(tracker.FindFile(file.identity()), &first);
  EXPECT_EQ(tracker.errors(), &errors_);
  first.Kill();
  EXPECT_EQ(tracker.FindFile(file.identity()), &second);
  second.Kill();
  EXPECT_EQ(tracker.FindFile(file.identity()), nullptr);
  EXPECT_EQ(tracker.errors(), nullptr);
}

TEST_F(FileManagerLifecycleTest, ANestedProcedureGetsItsOwnScopeAndTheOuterStateComesBack) {
  auto&& [file, manager] = ManagedTable(&errors_, 3);
  FileUsageTracker& tracker = FileUsageTracker::Instance();

  errors_.EnterProcedure("Outer");
  ASSERT_EQ(manager.Open(), FatalityNone);
  ASSERT_EQ(manager.Next(), FatalityNone);
  ASSERT_EQ(manager.Next(), FatalityNone);  // the outer procedure stands on record 2
  FileUsageTracker::UseStateEntry scope;
  ASSERT_EQ(tracker.FindInnermostScope(manager, &scope), FatalityNone);
  EXPECT_EQ(scope.PROC, "Outer");
  EXPECT_EQ(scope.SCOPELEVEL, 1);
  EXPECT_EQ(scope.USTAT, FileUse::kRecords);
  EXPECT_EQ(scope.HOLD, 0);

  errors_.EnterProcedure("Inner");
  ASSERT_EQ(manager.Open(), FatalityNone);
  ASSERT_EQ(manager.Next(), FatalityNone);
  ASSERT_EQ(tracker.FindInnermostScope(manager, &scope), FatalityNone);
  EXPECT_EQ(scope.PROC, "Inner");
  EXPECT_EQ(scope.SCOPELEVEL, 2);
  EXPECT_NE(scope.HOLD, 0);
  EXPECT_EQ(file.field(0).Get().number(), 3);
  file.field(1).Set(FieldValue::Text("changed"));
  EXPECT_EQ(manager.Close(), FatalityNone);
  errors_.LeaveProcedure();

  // Back in the outer procedure: its record and its position are as it left them.
  EXPECT_EQ(file.field(0).Get().number(), 2);
  EXPECT_EQ(file.field(1).Get(), FieldValue::Text("N2"));
  EXPECT_EQ(tracker.use_states().size(), 1u);
  EXPECT_EQ(manager.Next(), FatalityNone);
  EXPECT_EQ(file.field(0).Get().number(), 3);
  EXPECT_EQ(manager.SAVED->size(), 0u);

  EXPECT_EQ(manager.Close(), FatalityNone);
  EXPECT_EQ(tracker.FindInnermostScope(manager), FatalityNotify);
  errors_.LeaveProcedure();
}

TEST_F(FileManagerLifecycleTest, ANestedFormUseKeepsNothingToPutBack) {
  auto&& [file, manager] = ManagedTable(&errors_, 3);
  errors_.EnterProcedure("Browse");
  ASSERT_EQ(manager.Open(), FatalityNone);
  ASSERT_EQ(manager.Next(), FatalityNone);

  errors_.EnterProcedure("Form");
  ASSERT_EQ(manager.Open(), FatalityNone);
  ASSERT_EQ(manager.UseFile(FileUse::kForm),
            FatalityNone);  // a window manager's use: no state saved
  FileUsageTracker::UseStateEntry scope;
  ASSERT_EQ(FileUsageTracker::Instance().FindInnermostScope(manager, &scope), FatalityNone);
  EXPECT_EQ(scope.HOLD, 0);
  EXPECT_EQ(scope.USTAT, FileUse::kForm);
  ASSERT_EQ(manager.Next(), FatalityNone);  // the strongest kind stays
  ASSERT_EQ(FileUsageTracker::Instance().FindInnermostScope(manager, &scope), FatalityNone);
  EXPECT_EQ(scope.USTAT, FileUse::kForm);
  manager.Close();
  errors_.LeaveProcedure();
  EXPECT_EQ(file.field(0).Get().number(), 2);  // nothing put back
  manager.Close();
  errors_.LeaveProcedure();
}

TEST_F(FileManagerLifecycleTest, OpensInsideAScopeNestAndOnlyTheLastCloseEndsIt) {
  auto&& [file, manager] = ManagedTable(&errors_, 1);
  FileUsageTracker& tracker = FileUsageTracker::Instance();
  errors_.EnterProcedure("repqdl");
  ASSERT_EQ(manager.Open(), FatalityNone);
  ASSERT_EQ(manager.UseFile(FileUse::kPassing), FatalityNone);
  ASSERT_EQ(manager.Open(), FatalityNone);
  FileUsageTracker::UseStateEntry scope;
  ASSERT_EQ(tracker.FindInnermostScope(manager, &scope), FatalityNone);
  EXPECT_EQ(scope.NESTEDOPEN, 1);
  EXPECT_EQ(scope.USTAT, FileUse::kPassing);
  ASSERT_EQ(manager.UseFile(FileUse::kRecords), FatalityNone);
  ASSERT_EQ(manager.UseFile(FileUse::kUntracked), FatalityNone);  // never recorded
  ASSERT_EQ(tracker.FindInnermostScope(manager, &scope), FatalityNone);
  EXPECT_EQ(scope.USTAT, FileUse::kRecords);

  manager.Close();
  EXPECT_EQ(tracker.FindInnermostScope(manager), FatalityNone);
  manager.Close();
  EXPECT_EQ(tracker.FindInnermostScope(manager), FatalityNotify);
  EXPECT_TRUE(tracker.use_states().empty());
  errors_.LeaveProcedure();
}

TEST_F(FileManagerLifecycleTest, ThreadsUseTheirFilesAtOnceWithScopesOfTheirOwn) {
  constexpr int kThreads = 4;
  constexpr int kRecords = 300;
  std::vector<std::unique_ptr<MemoryKeyedFile>> files;
  std::vector<std::unique_ptr<FileManager>> managers;
  for (int i = 0; i < kThreads; ++i) {
    files.push_back(std::make_unique<MemoryKeyedFile>("T" + std::to_string(i), TableLayout()));
    managers.push_back(std::make_unique<FileManager>());
    managers.back()->Init(files.back().get(), &errors_);
  }
  std::atomic<int> inserted{0};
  std::atomic<int> scopes_seen{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      errors_.EnterProcedure("worker");
      FileManager& manager = *managers[static_cast<std::size_t>(i)];
      if (manager.Open() != FatalityNone) return;
      for (int n = 0; n < kRecords; ++n) {
        files[static_cast<std::size_t>(i)]->field(0).Set(FieldValue::Number(n));
        if (manager.Insert() == FatalityNone) ++inserted;
      }
      FileUsageTracker::UseStateEntry scope;
      if (FileUsageTracker::Instance().FindInnermostScope(manager, &scope) == FatalityNone &&
          scope.THREAD == Runtime::CurrentThreadId() && scope.PROC == "worker") {
        ++scopes_seen;
      }
      manager.Close();
      errors_.LeaveProcedure();
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(inserted, kThreads * kRecords);
  EXPECT_EQ(scopes_seen, kThreads);
  EXPECT_TRUE(FileUsageTracker::Instance().use_states().empty());
  for (auto& file : files) EXPECT_EQ(file->RecordCount(), kRecords);
}

}  // namespace
}  // namespace morlan
