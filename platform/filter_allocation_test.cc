// Reading through a filtered view allocates nothing per record. Its test program counts
// allocations (testing/allocation_counter.h), which replaces the global operator new.
#include <cstdint>
#include <string>

#include "gtest/gtest.h"
#include "platform/runtime_error_state.h"
#include "platform/text_line_file.h"
#include "platform/view.h"
#include "testing/allocation_counter.h"
#include "testing/temp_dir.h"

namespace morlan {
namespace {

TEST(FilterAllocationTest, ReadingThroughAFilteredViewAllocatesNothingPerRecord) {
  testing::TempDir dir;
  std::string lines;
  int expected = 0;
  for (int i = 0; i < 2000; ++i) {
    const bool declaration = i % 3 == 0;
    const bool comment = i % 7 == 0;
    lines += comment ? "! " : "";
    lines += declaration ? "Name" + std::to_string(i) + "  string(20)\n" : "  KEY(x),dup\n";
    if (declaration && !comment) ++expected;
  }
  RecordLayout layout;
  layout.AddField("INP:F1", FieldType::kText, 255);
  TextLineFile file(dir.Write("in.qdl", lines), layout);
  file.Open(0x42);
  ASSERT_EQ(RuntimeErrorState::code(), StatusOk);
  View view(file);
  // Every function and kind of comparison the engine has, so each of them is counted.
  view.SetFilter(
      "INSTRING('STRING',UPPER(F1),1,1) <> 0 AND SUB(F1,1,1) <> '!' AND "
      "LOWER(CLIP(F1)) <> 'x' AND FORMAT(INSTRING('#',F1,1,1),@N9.2) = '0.00' AND "
      "FORMAT(F1,@S4) <> 'zz' AND (F1 > 3 OR UPPER(INSTRING('#',F1,1,1)) = '0') AND "
      "NOT INSTRING(SUB(F1,1,1),F1,-1,255) < 0");
  ASSERT_EQ(RuntimeErrorState::code(), StatusOk) << RuntimeErrorState::text();
  view.Open(0x22);
  ASSERT_EQ(RuntimeErrorState::code(), StatusOk);

  int read = 0;
  const testing::AllocationCounter allocations;
  for (;;) {
    view.Next();
    if (RuntimeErrorState::code() != StatusOk) break;
    ++read;
  }
  const std::int64_t made = allocations.count();
  EXPECT_EQ(RuntimeErrorState::code(), StatusNoRecord);
  EXPECT_EQ(read, expected);
  EXPECT_EQ(made, 0);
}

}  // namespace
}  // namespace morlan
