// FileManager's saved copies of the record buffer and saved file states.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "data/file_manager.h"
#include "platform/fault_injecting_file.h"
#include "platform/memory_keyed_file.h"
#include "testing/data_fixture.h"
#include "testing/records.h"

namespace morlan {
namespace {

using testing::CustomerLayout;
using testing::CustomerTable;
using testing::FieldText;
using testing::SetCustomer;

constexpr int kId = testing::kCustomerId;
constexpr int kName = testing::kCustomerName;
constexpr int kCity = testing::kCustomerCity;

double Id(DataFile& file) { return file.field(kId).Get().number(); }

using FileManagerSavedStateTest = testing::DataFixture<>;

TEST_F(FileManagerSavedStateTest, SavedBuffersTakeConsecutiveIdsForLargeObjectsAndNullFlags) {
  MemoryKeyedFile file("CUS", CustomerLayout(2));
  FileManager manager;
  manager.Init(&file, &errors_);
  SetCustomer(file, 7, "Ann", "Rome");
  file.blob(0) = "notes ending in blanks  ";
  file.blob(1) = "";
  file.null_flags()[kCity] = 1;

  std::uint32_t first = manager.SaveBuffer();
  std::uint32_t second = manager.SaveBuffer();
  EXPECT_EQ(first, 1u);
  EXPECT_EQ(second, 5u);  // 1 the record, 2 and 3 the large objects, 4 the null flags
  EXPECT_EQ(manager.BUFFERS->size(), 8u);

  file.ClearRecord();
  FileManager::RestoreBuffer(manager, &second, manager, true);
  EXPECT_EQ(second, 0u);
  EXPECT_EQ(Id(file), 7);
  EXPECT_EQ(FieldText(file, kName), "Ann");
  EXPECT_EQ(file.blob(0), "notes ending in blanks  ");
  EXPECT_EQ(file.blob(1), "");
  EXPECT_EQ(file.null_flags()[kCity], 1);
  EXPECT_EQ(manager.BUFFERS->size(), 4u);

  // Without restore the copy is dropped, yet the null flags come back.
  file.ClearRecord();
  FileManager::RestoreBuffer(manager, &first, manager, false);
  EXPECT_EQ(first, 0u);
  EXPECT_EQ(Id(file), 0);
  EXPECT_EQ(file.blob(0), "");
  EXPECT_EQ(file.null_flags()[kCity], 1);
  EXPECT_TRUE(manager.BUFFERS->empty());
  FileManager::RestoreBuffer(manager, &first, manager, true);  // id 0: nothing
  EXPECT_EQ(Id(file), 0);
}

TEST_F(FileManagerSavedStateTest, EqualsSavedBufferComparesRecordAndLargeObjects) {
  MemoryKeyedFile file("CUS", CustomerLayout(1), CustomerTable({}, 1));
  FileManager manager;
  manager.Init(&file, &errors_);
  ASSERT_EQ(manager.Open(), FatalityNone);
  SetCustomer(file, 1, "Ann", "Rome");
  file.blob(0) = "memo";
  const std::uint32_t id = manager.SaveBuffer();
  EXPECT_TRUE(manager.EqualsSavedBuffer(id));
  file.null_flags()[kName] = 1;  // null flags do not count
  EXPECT_TRUE(manager.EqualsSavedBuffer(id));
  file.blob(0) = "memo  ";  // nor trailing blanks
  EXPECT_TRUE(manager.EqualsSavedBuffer(id));
  file.blob(0) = "memo 2";
  EXPECT_FALSE(manager.EqualsSavedBuffer(id));
  file.blob(0) = "memo";
  file.field(kCity).Set(FieldValue::Text("Oslo"));
  EXPECT_FALSE(manager.EqualsSavedBuffer(id));
  EXPECT_FALSE(manager.EqualsSavedBuffer(99));
}

TEST_F(FileManagerSavedStateTest, RestoreStatePutsBackRecordPositionAndAutoNumberFlag) {
  MemoryKeyedFile file("CUS", CustomerLayout(),
                       CustomerTable({{1, "a", "X"}, {2, "b", "X"}, {3, "c", "X"}}));
  FaultInjectingFile wrapper(file);
  FileManager manager;
  manager.Init(&wrapper, &errors_);
  ASSERT_EQ(manager.Open(), FatalityNone);
  ASSERT_EQ(manager.Next(), FatalityNone);
  ASSERT_EQ(manager.Next(), FatalityNone);
  manager.thread_info().AUTOINCDONE = 1;
  manager.thread_info().AUTOINCPOS = "2";
  std::uint16_t state = manager.SaveState();
  EXPECT_EQ(state, 1);
  EXPECT_EQ(manager.SAVED->back().POS, "2");

  ASSERT_EQ(manager.Next(), FatalityNone);
  file.field(kName).Set(FieldValue::Text("changed"));
  manager.thread_info().AUTOINCDONE = 0;
  manager.thread_info().AUTOINCPOS = "3";
  FileManager::RestoreState(manager, &state, manager, true);
  EXPECT_EQ(state, 0);
  EXPECT_EQ(Id(file), 2);
  EXPECT_EQ(FieldText(file, kName), "b");
  EXPECT_EQ(manager.thread_info().AUTOINCDONE, 1);
  EXPECT_EQ(manager.thread_info().AUTOINCPOS, "2");  // the record an Insert would complete
  EXPECT_TRUE(manager.SAVED->empty());
  EXPECT_TRUE(manager.BUFFERS->empty());
  EXPECT_EQ(wrapper.calls(FileOperation::kFreeState), 1);
  ASSERT_EQ(manager.Next(), FatalityNone);
  EXPECT_EQ(Id(file), 3);

  // Without restore the state is only discarded.
  state = manager.SaveState();
  ASSERT_EQ(manager.Previous(), FatalityNone);
  FileManager::RestoreState(manager, &state, manager, false);
  EXPECT_EQ(Id(file), 2);
  EXPECT_EQ(wrapper.calls(FileOperation::kFreeState), 2);
}

}  // namespace
}  // namespace morlan
