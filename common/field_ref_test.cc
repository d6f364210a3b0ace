#include "common/field_ref.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "common/fixed_text.h"

namespace morlan {
namespace {

// One record buffer with a field of every type, each reachable through a FieldRef.
class FieldRefTest : public ::testing::Test {
 protected:
  FieldRefTest() {
    text_ = layout_.AddField("T", FieldType::kText, 6);
    byte_ = layout_.AddField("B", FieldType::kByte);
    short_ = layout_.AddField("S", FieldType::kShort);
    long_ = layout_.AddField("L", FieldType::kLong);
    real_ = layout_.AddField("R", FieldType::kReal);
    record_.assign(layout_.size(), '\x5A');  // garbage, so unwritten bytes would show
  }

  FieldRef Field(int i) { return FieldRef(layout_.field(i), record_.data()); }
  std::string Bytes(int i) {
    const FieldDesc& d = layout_.field(i);
    return std::string(record_.data() + d.offset, d.size);
  }
  double Number(int i) { return Field(i).Get().number(); }

  RecordLayout layout_;
  std::vector<char> record_;
  int text_, byte_, short_, long_, real_;
};

TEST_F(FieldRefTest, NumbersAreClampedToTheFieldsRange) {
  const struct {
    int field;
    double value;
    double stored;
  } cases[] = {
      {byte_, 300, 255},
      {byte_, -5, 0},
      {byte_, 7.9, 7},
      {short_, 40000, 32767},
      {short_, -40000, -32768},
      {long_, 1e12, 2147483647},
      {long_, -1e12, -2147483648.0},
      {long_, std::numeric_limits<double>::quiet_NaN(), 0},
      {real_, -1.25, -1.25},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    Field(c.field).Set(FieldValue::Number(c.value));
    EXPECT_EQ(Number(c.field), c.stored);
  }
}

TEST_F(FieldRefTest, TextAndNumberConvertOnAssignment) {
  Field(text_).Set(FieldValue::Number(12.5));
  EXPECT_EQ(Bytes(text_), "12.5  ");
  Field(text_).Set(FieldValue::Number(-3));
  EXPECT_EQ(Bytes(text_), "-3    ");
  Field(text_).Set(FieldValue::Text("abcdefgh"));  // cut to the field
  EXPECT_EQ(Bytes(text_), "abcdef");

  Field(long_).Set(FieldValue::Text(" 42   "));
  EXPECT_EQ(Number(long_), 42);
  // Only a whole decimal number counts; anything else reads as 0.
  for (const char* not_a_number : {"abc", "12abc", "0x1F", "1 2"}) {
    Field(long_).Set(FieldValue::Number(7));
    Field(long_).Set(FieldValue::Text(not_a_number));
    EXPECT_EQ(Number(long_), 0) << not_a_number;
  }
  EXPECT_FALSE(FieldValue::Text("12abc") == FieldValue::Number(12));
  Field(byte_).Set(FieldValue::Text("999"));
  EXPECT_EQ(Number(byte_), 255);

  // Reading and writing through refs of different types copies field to field.
  Field(text_).Set(FieldValue::Text("-17"));
  Field(short_).Set(Field(text_).Get());
  EXPECT_EQ(Number(short_), -17);
  EXPECT_TRUE(Field(text_).Get() == FieldValue::Number(-17));
}

// Holds must agree with Set: a field holds what was just written into it, from a value or from
// another field, whatever the two types; only a text that is not a number, which Set writes as
// 0, is held by no number field (or every cleared link would match it).
TEST_F(FieldRefTest, HoldsWhatSetWouldStore) {
  const FieldValue values[] = {
      FieldValue::Text("abcdefgh"), FieldValue::Text(" 42  "), FieldValue::Text(""),
      FieldValue::Text("-3.5"),     FieldValue::Number(12345), FieldValue::Number(-0.125),
      FieldValue::Number(300),      FieldValue::Number(1e12),  FieldValue::Number(0),
  };
  char source[8];
  const FieldRef real_source(FieldType::kReal, source, sizeof source);
  for (const int field : {text_, byte_, short_, long_, real_}) {
    for (const FieldValue& value : values) {
      SCOPED_TRACE(testing::Message() << field << " " << value.text() << value.number());
      Field(field).Set(value);
      double number = 0;
      const bool readable =
          !value.is_text() || ClipText(value.text()).empty() || ParseNumber(value.text(), &number);
      EXPECT_EQ(Field(field).Holds(value), field == text_ || readable);
      if (value.is_text()) continue;
      real_source.Set(value);
      EXPECT_TRUE(Field(field).Holds(real_source));
    }
    Field(field).Set(FieldValue::Number(7));
    EXPECT_FALSE(Field(field).Holds(FieldValue::Number(8)));
    EXPECT_FALSE(Field(field).Holds(FieldValue::Text("8")));
  }

  Field(text_).Clear();  // a blank text and zero are both blank
  EXPECT_TRUE(Field(text_).Holds(FieldValue::Number(0)));
  EXPECT_TRUE(FieldRef().Holds(FieldValue::Number(0)));
  EXPECT_FALSE(FieldRef().Holds(FieldValue::Text("x")));
}

TEST_F(FieldRefTest, ClearLowestAndHighest) {
  Field(text_).Clear();
  EXPECT_EQ(Bytes(text_), "      ");
  Field(real_).Clear();
  EXPECT_EQ(Number(real_), 0);

  Field(text_).SetLowest();
  EXPECT_EQ(Bytes(text_), std::string(6, '\0'));
  Field(text_).SetHighest();
  EXPECT_EQ(Bytes(text_), std::string(6, '\xFF'));

  Field(byte_).SetLowest();
  Field(short_).SetLowest();
  Field(long_).SetHighest();
  Field(real_).SetLowest();
  EXPECT_EQ(Number(byte_), 0);
  EXPECT_EQ(Number(short_), -32768);
  EXPECT_EQ(Number(long_), 2147483647);
  EXPECT_EQ(Number(real_), std::numeric_limits<double>::lowest());
  // Fields do not spill into their neighbours.
  EXPECT_EQ(Bytes(text_), std::string(6, '\xFF'));
}

TEST(FieldRefCompareTest, OrdersTextAndNumbers) {
  char a[4], b[6];
  const FieldRef ta(FieldType::kText, a, sizeof a);
  const FieldRef tb(FieldType::kText, b, sizeof b);
  const auto compare = [&](const char* x, const char* y, bool no_case = false) {
    ta.Set(FieldValue::Text(x));
    tb.Set(FieldValue::Text(y));
    return ta.Compare(tb, no_case);
  };
  EXPECT_EQ(compare("ab", "ab"), 0);  // different widths, trailing blanks ignored
  EXPECT_LT(compare("ab", "abc"), 0);
  EXPECT_GT(compare("b", "abc"), 0);
  EXPECT_LT(compare("ABC", "abc"), 0);
  EXPECT_EQ(compare("ABC", "abc", true), 0);
  EXPECT_LT(compare("abc", "ABD", true), 0);
  EXPECT_GT(compare("\xE9", "z"), 0);  // bytes compare unsigned

  // A number on either side compares by value, not by digits.
  std::int32_t nine = 9;
  std::int16_t minus_one = -1;
  const FieldRef lg(FieldType::kLong, reinterpret_cast<char*>(&nine), 4);
  const FieldRef sh(FieldType::kShort, reinterpret_cast<char*>(&minus_one), 2);
  ta.Set(FieldValue::Text("10"));
  EXPECT_GT(ta.Compare(lg), 0);
  EXPECT_LT(lg.Compare(ta), 0);
  EXPECT_LT(sh.Compare(lg), 0);
}

TEST(FieldRefCompareTest, NoCaseFoldsAsciiLettersOnly) {
  char a[] = "\xC9t\xE9";  // accented bytes of an 8-bit code page
  char b[] = "\xE9T\xC9";
  char c[] = "ABC";
  char d[] = "abc";
  EXPECT_EQ(FieldRef(FieldType::kText, c, 3).Compare(FieldRef(FieldType::kText, d, 3), true), 0);
  EXPECT_NE(FieldRef(FieldType::kText, a, 3).Compare(FieldRef(FieldType::kText, b, 3), true), 0);
}

TEST(FieldRefCompareTest, UnboundRefReadsBlankAndIgnoresWrites) {
  const FieldRef none;
  EXPECT_FALSE(none.valid());
  EXPECT_TRUE(none.Get() == FieldValue::Text(""));
  none.Set(FieldValue::Number(5));
  none.Clear();
  none.SetHighest();
}

}  // namespace
}  // namespace morlan
