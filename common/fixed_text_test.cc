#include "common/fixed_text.h"

#include <gtest/gtest.h>

#include <string>

namespace morlan {
namespace {

TEST(FixedTextTest, AssignmentCutsAndPads) {
  FixedText<5> text;
  EXPECT_EQ(std::string(text.view()), "     ");

  text = "ab";
  EXPECT_EQ(std::string(text.view()), "ab   ");
  text = "abcdefg";
  EXPECT_EQ(std::string(text.view()), "abcde");
  text = "";  // a shorter value leaves nothing of the longer one
  EXPECT_EQ(std::string(text.view()), "     ");

  // Assigning part of the field to itself (overlapping bytes) keeps the right text.
  text = "abcde";
  text = text.view().substr(2);
  EXPECT_EQ(std::string(text.view()), "cde  ");
}

TEST(FixedTextTest, ClippingRemovesTrailingBlanksOnly) {
  EXPECT_EQ(FixedText<8>("  a b").Clipped(), "  a b");
  EXPECT_EQ(FixedText<8>("a\t").Clipped(), "a\t");  // a tab is not a blank
  EXPECT_EQ(FixedText<8>("").Clipped(), "");
  EXPECT_EQ(ClipText("   "), "");
}

TEST(FixedTextTest, EqualityIgnoresTrailingBlanks) {
  const FixedText<6> text("ab");
  EXPECT_TRUE(text == "ab");
  EXPECT_TRUE(text == "ab        ");
  EXPECT_FALSE(text == " ab");
  EXPECT_FALSE(text == "ab\t");
  EXPECT_FALSE(text == "abc");
  EXPECT_TRUE(text == FixedText<3>("ab"));  // fields of different widths
  EXPECT_FALSE(text == FixedText<3>("abc"));
}

}  // namespace
}  // namespace morlan
