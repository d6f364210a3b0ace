// The view reader's per-record path allocates nothing: Next over the text-line driver, Next and
// Previous with a range over the memory driver (beyond what its view costs), and RefreshRange
// when no range value changed. A test program of its own, since counting allocations replaces
// the global operator new.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "data/file_manager.h"
#include "data/file_relations.h"
#include "data/view_reader.h"
#include "platform/memory_keyed_file.h"
#include "platform/runtime_error_state.h"
#include "platform/text_line_file.h"
#include "platform/view.h"
#include "testing/allocation_counter.h"
#include "testing/customer_view.h"
#include "testing/data_fixture.h"
#include "testing/records.h"
#include "testing/temp_dir.h"

namespace morlan {
namespace {

// Calls `step` until it answers non-zero, counting the allocations of all but the first `warm`
// calls; returns the number of records read.
template <typename Step>
int CountedReads(Step step, int warm, long* counted) {
  int read = 0;
  for (; read < warm; ++read) {
    if (step() != FatalityNone) return read;
  }
  const testing::AllocationCounter allocations;
  while (step() == FatalityNone) ++read;
  *counted = static_cast<long>(allocations.count());
  return read;
}

using ViewReaderAllocationTest = testing::DataFixture<>;

TEST_F(ViewReaderAllocationTest, ReadingALineFileAllocatesNothing) {
  testing::TempDir dir;
  std::string lines;
  for (int i = 0; i < 3000; ++i) lines += "  INP:FIELD" + std::to_string(i) + "  STRING(20)\n";
  TextLineFile file(dir.Write("a-rather-long-input-dictionary-name.qdl", lines),
                    testing::LineLayout(255, "INP:F1"));
  FileManager manager;
  manager.Init(&file, &errors_);
  FileRelations relations;
  relations.Init(&manager, false);
  ASSERT_EQ(relations.Open(false), FatalityNone);
  View view(file);
  ViewReader reader;
  reader.Init(&view, &relations, nullptr);
  reader.AddSortOrder(nullptr);
  reader.Reset();

  long counted = -1;
  EXPECT_EQ(CountedReads([&] { return reader.Next(); }, 10, &counted), 3000);
  EXPECT_EQ(counted, 0);
  EXPECT_TRUE(presenter_.message_boxes().empty());
  reader.Close();
  reader.Kill();
  relations.Close(false);
  relations.Kill();
  manager.Kill();
}

TEST_F(ViewReaderAllocationTest, ReadingAlongAKeyWithARangeAllocatesNothing) {
  constexpr int kRecords = 2000;
  const auto table = testing::FilledTable(
      "CUS", testing::CustomerLayout(), kRecords, [](DataFile& station, int i) {
        testing::SetCustomer(station, i, "N" + std::to_string(i % 97), i % 2 ? "Rome" : "Oslo");
      });
  MemoryKeyedFile file("CUS", testing::CustomerLayout(), table);
  FileManager manager;
  manager.Init(&file, &errors_);
  const FileKey* key =
      manager.AddKey(FileKey{"CUS:BYCITY",
                             {{testing::kCustomerCity, true}, {testing::kCustomerName, true}},
                             false,
                             false},
                     "By city");
  ASSERT_NE(key, nullptr);
  FileRelations relations;
  relations.Init(&manager, false);
  ASSERT_EQ(relations.Open(false), FatalityNone);
  View view(file);
  ViewReader reader;
  reader.Init(&view, &relations, nullptr);
  reader.AddSortOrder(key);
  testing::RangeValues left;
  testing::RangeValues right;
  testing::PutText(left.City(), "Rome");
  testing::PutText(right.City(), "Rome");
  ASSERT_EQ(reader.SetRange(LimitFollowLast, {{left.City(), right.City()}}), FatalityNone);

  // The memory driver is a test double that allocates as it steps: the reader must add nothing
  // to what reading the same records through the view itself costs.
  const auto through_view = [&](bool forward) {
    return [&view, forward] {
      forward ? view.Next() : view.Previous();
      return RuntimeErrorState::code() == StatusOk ? FatalityNone : FatalityNotify;
    };
  };
  for (const bool forward : {true, false}) {
    long view_cost = -1;
    long reader_cost = -1;
    reader.Reset();
    const int direct = CountedReads(through_view(forward), 10, &view_cost);
    reader.Reset();
    const int read =
        CountedReads([&] { return forward ? reader.Next() : reader.Previous(); }, 10, &reader_cost);
    EXPECT_EQ(read, kRecords / 2) << forward;  // the range holds half of them
    EXPECT_EQ(read, direct) << forward;
    EXPECT_EQ(reader_cost, view_cost) << forward;
  }

  // Asked before each record of a nested reading: nothing changed, nothing allocated.
  const testing::AllocationCounter allocations;
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(reader.RefreshRange(), 0);
  EXPECT_EQ(allocations.count(), 0);
  reader.Close();
  reader.Kill();
  relations.Close(false);
  relations.Kill();
  manager.Kill();
}

}  // namespace
}  // namespace morlan
