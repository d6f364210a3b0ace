// Reading through a filtered view allocates nothing per record. This file replaces the global
// operator new for its whole test program; it only counts, and allocates as malloc does.
#include <cstdlib>
#include <new>
#include <string>

#include "gtest/gtest.h"
#include "platform/runtime_error_state.h"
#include "platform/text_line_file.h"
#include "platform/view.h"
#include "testing/temp_dir.h"

namespace {
thread_local bool counting_allocations = false;
thread_local long allocations = 0;
}  // namespace

// GCC pairs its own knowledge of operator new with the free below and warns; both are ours.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  if (counting_allocations) ++allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

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
  counting_allocations = true;
  for (;;) {
    view.Next();
    if (RuntimeErrorState::code() != StatusOk) break;
    ++read;
  }
  counting_allocations = false;
  EXPECT_EQ(RuntimeErrorState::code(), StatusNoRecord);
  EXPECT_EQ(read, expected);
  EXPECT_EQ(allocations, 0);
}

}  // namespace
}  // namespace morlan
