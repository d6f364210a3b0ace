#include "common/text_compare.h"

#include <gtest/gtest.h>

#include <string>

namespace morlan {
namespace {

TEST(TextCompareTest, EqualsNoCaseFoldsOnlyAsciiLetters) {
  EXPECT_TRUE(EqualsNoCase("__Dont_Touch_Me__", "__DONT_touch_me__"));
  EXPECT_TRUE(EqualsNoCase("", ""));
  EXPECT_FALSE(EqualsNoCase("Sectors", "Sectors_1"));
  EXPECT_FALSE(EqualsNoCase("abc", "abd"));
  // Neighbours of the letters differ from them by the same bit as the letter cases do.
  EXPECT_FALSE(EqualsNoCase("@[\\]^_", "`{|}~\x7f"));
  // Bytes outside ASCII compare as they are, whatever the locale.
  EXPECT_FALSE(EqualsNoCase("\xC3\xA4", "\xC3\x84"));
  EXPECT_TRUE(EqualsNoCase("\xC3\xA4x", "\xC3\xA4X"));
}

// The comparison reads whole words where it can; a difference in any byte, at every length,
// must still be seen.
TEST(TextCompareTest, SameTextSeesADifferenceAtEveryPosition) {
  for (std::size_t size = 0; size <= 24; ++size) {
    const std::string a(size, 'x');
    EXPECT_TRUE(SameText(a, std::string(size, 'x'))) << size;
    EXPECT_FALSE(SameText(a, std::string(size + 1, 'x'))) << size;
    for (std::size_t at = 0; at < size; ++at) {
      std::string b = a;
      b[at] = 'y';
      EXPECT_FALSE(SameText(a, b)) << size << " at " << at;
    }
  }
  EXPECT_FALSE(SameText("Name", "name")) << "letter case counts";
}

}  // namespace
}  // namespace morlan
