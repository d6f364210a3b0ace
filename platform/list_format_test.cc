#include "platform/list_format.h"

#include "gtest/gtest.h"

namespace morlan {
namespace {

TEST(ListFormatTest, TheHistoryListHasTwoTitledColumns) {
  const ListFormat format =
      ListFormat::Parse("217L(2)|M~Message~S(255)@s255@42L(2)|M~Category~L(1)@s255@");
  ASSERT_TRUE(format.ok()) << "fault at " << format.error_at();
  ASSERT_EQ(format.column_count(), 2);
  const ListColumn& message = format.columns()[0];
  EXPECT_EQ(message.title, "Message");
  EXPECT_EQ(message.width, 217);
  EXPECT_EQ(message.alignment, ColumnAlignment::kLeft);
  EXPECT_EQ(message.offset, 2);
  EXPECT_TRUE(message.right_border);
  EXPECT_TRUE(message.resizable);
  EXPECT_EQ(message.scroll_width, 255);  // a flag after the title still belongs to its column
  EXPECT_EQ(message.picture, "s255");
  const ListColumn& category = format.columns()[1];
  EXPECT_EQ(category.title, "Category");
  EXPECT_EQ(category.width, 42);
  EXPECT_EQ(category.title_alignment, ColumnAlignment::kLeft);
  EXPECT_EQ(category.title_offset, 1);
  EXPECT_EQ(category.scroll_width, 0);
}

TEST(ListFormatTest, AlignmentsOffsetsAndTitlesAreReadPerColumn) {
  const ListFormat format = ListFormat::Parse("40R(3)~Amount~C@n10.2@30C@s20@25D~Rate~R(4)@n6.3@");
  ASSERT_TRUE(format.ok());
  ASSERT_EQ(format.column_count(), 3);
  EXPECT_EQ(format.columns()[0].alignment, ColumnAlignment::kRight);
  EXPECT_EQ(format.columns()[0].offset, 3);
  EXPECT_EQ(format.columns()[0].title_alignment, ColumnAlignment::kCentre);
  EXPECT_EQ(format.columns()[0].picture, "n10.2");
  // No title: the column is untitled, not the next column's title.
  EXPECT_EQ(format.columns()[1].title, "");
  EXPECT_EQ(format.columns()[1].alignment, ColumnAlignment::kCentre);
  EXPECT_EQ(format.columns()[2].alignment, ColumnAlignment::kDecimal);
  EXPECT_EQ(format.columns()[2].title, "Rate");
  EXPECT_EQ(format.columns()[2].title_alignment, ColumnAlignment::kRight);
  EXPECT_EQ(format.columns()[2].title_offset, 4);
  // A title without an alignment of its own is placed like its column.
  EXPECT_EQ(ListFormat::Parse("20R~Sum~@n5@").columns()[0].title_alignment,
            ColumnAlignment::kRight);
}

TEST(ListFormatTest, NoFormatIsOnePlainColumn) {
  const ListFormat format = ListFormat::Parse("");
  EXPECT_TRUE(format.ok());
  ASSERT_EQ(format.column_count(), 1);
  EXPECT_EQ(format.columns()[0], ListColumn{});
}

TEST(ListFormatTest, AFaultKeepsTheColumnsReadBeforeIt) {
  struct Case {
    const char* format;
    int columns;
    std::size_t error_at;
  };
  const Case cases[] = {
      {"30L~Name~@s20@40X@s10@", 1, 14},       // an unknown alignment
      {"30L~Name~@s20@40L~Open@s10@", 1, 14},  // a title never closed
      {"30L~Name~@s20", 1, 0},                 // a picture never closed: no column at all
      {"30L(2~Name~@s20@", 1, 0},              // an offset never closed
      {"L~Name~@s20@", 1, 0},                  // no width
      {"99999999999L@s1@", 1, 0},              // a width past any screen
  };
  for (const Case& c : cases) {
    const ListFormat format = ListFormat::Parse(c.format);
    EXPECT_FALSE(format.ok()) << c.format;
    EXPECT_EQ(format.column_count(), c.columns) << c.format;
    EXPECT_EQ(format.error_at(), c.error_at) << c.format;
  }
  EXPECT_EQ(ListFormat::Parse("30L~Name~@s20@40X@s10@").columns()[0].title, "Name");
}

}  // namespace
}  // namespace morlan
