#include "data/field_pairs.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "common/fixed_text.h"
#include "common/record_layout.h"

namespace morlan {
namespace {

// Two record buffers, "parent" and "child", each with a text, a long, a real and a short text.
class FieldPairsTest : public ::testing::Test {
 protected:
  enum Field { kName = 0, kId = 1, kAmount = 2, kCode = 3 };

  FieldPairsTest() {
    layout_.AddField("NAME", FieldType::kText, 8);
    layout_.AddField("ID", FieldType::kLong);
    layout_.AddField("AMOUNT", FieldType::kReal);
    layout_.AddField("CODE", FieldType::kText, 3);
    parent_.assign(layout_.size(), '\0');
    child_.assign(layout_.size(), '\0');
    for (int i = 0; i < layout_.field_count(); ++i) {
      Parent(i).Clear();
      Child(i).Clear();
    }
  }

  FieldRef Parent(int i) { return FieldRef(layout_.field(i), parent_.data()); }
  FieldRef Child(int i) { return FieldRef(layout_.field(i), child_.data()); }
  static std::string Text(const FieldRef& f) { return std::string(ClipText(f.Get().text())); }

  // Initialises `pairs` with a pair (parent field, child field) for each of `fields`, in order.
  void Link(FieldPairs& pairs, std::initializer_list<std::pair<int, int>> fields) {
    pairs.Init();
    for (const auto& [parent, child] : fields) pairs.AddPair(Parent(parent), Child(child));
  }

  RecordLayout layout_;
  std::vector<char> parent_;
  std::vector<char> child_;
};

TEST_F(FieldPairsTest, NewPairHasBlankBufferAndRightKeepsItsValue) {
  Child(kName).Set(FieldValue::Text("SMITH"));
  Child(kId).Set(FieldValue::Number(17));
  FieldPairs pairs;
  Link(pairs, {{kName, kName}, {kId, kId}});

  ASSERT_EQ(pairs.Count(), 2u);
  EXPECT_EQ(Text(Child(kName)), "SMITH");
  EXPECT_EQ(Child(kId).Get().number(), 17);
  const FieldPair& text_pair = (*pairs.LIST)[0];
  const FieldPair& number_pair = (*pairs.LIST)[1];
  EXPECT_TRUE(text_pair.BUFFER.is_text());
  EXPECT_EQ(text_pair.BUFFER.text(), "");
  EXPECT_FALSE(number_pair.BUFFER.is_text());
  EXPECT_EQ(number_pair.BUFFER.number(), 0);
  EXPECT_TRUE(text_pair.LEFT.SameField(Parent(kName)));
  EXPECT_TRUE(text_pair.RIGHT.SameField(Child(kName)));
}

TEST_F(FieldPairsTest, EmptyListComparesEqualAndAssignsNothing) {
  Parent(kName).Set(FieldValue::Text("LEFT"));
  Child(kName).Set(FieldValue::Text("RIGHT"));
  FieldPairs initialised;
  initialised.Init();
  FieldPairs never_initialised;
  for (FieldPairs* pairs : {&initialised, &never_initialised}) {
    EXPECT_TRUE(pairs->EqualLeftRight());
    EXPECT_TRUE(pairs->EqualLeftBuffer());
    EXPECT_TRUE(pairs->EqualRightBuffer());
    pairs->AssignLeftToRight();
    pairs->AssignRightToLeft();
    pairs->AssignLeftToBuffer();
    pairs->AssignRightToBuffer();
    pairs->AssignBufferToLeft();
    pairs->AssignBufferToRight();
    pairs->ClearRight();
  }
  EXPECT_EQ(Text(Parent(kName)), "LEFT");
  EXPECT_EQ(Text(Child(kName)), "RIGHT");
}

TEST_F(FieldPairsTest, KillIsIdempotentAndInitDiscardsOldPairs) {
  FieldPairs pairs;
  pairs.Kill();  // before Init: nothing to do
  EXPECT_EQ(pairs.LIST, nullptr);
  Link(pairs, {{kName, kName}, {kId, kId}});
  pairs.Init();
  EXPECT_EQ(pairs.Count(), 0u);
  EXPECT_EQ(pairs.LIST, pairs.REALLIST.get());
  pairs.AddPair(Parent(kAmount), Child(kAmount));
  EXPECT_EQ(pairs.Count(), 1u);
  pairs.Kill();
  EXPECT_EQ(pairs.LIST, nullptr);
  EXPECT_EQ(pairs.REALLIST, nullptr);
  pairs.Kill();
  EXPECT_EQ(pairs.Count(), 0u);
  pairs.AddPair(Parent(kId), Child(kId));  // after Kill (or before Init) the pair is not lost
  EXPECT_EQ(pairs.Count(), 1u);
  EXPECT_EQ(pairs.LIST, pairs.REALLIST.get());
}

TEST_F(FieldPairsTest, CopiesAndComparesTextAndNumberPairs) {
  FieldPairs pairs;
  Link(pairs, {{kName, kName}, {kId, kId}});
  Parent(kName).Set(FieldValue::Text("JONES"));
  Parent(kId).Set(FieldValue::Number(42));

  EXPECT_FALSE(pairs.EqualLeftRight());
  pairs.AssignLeftToRight();
  EXPECT_TRUE(pairs.EqualLeftRight());
  EXPECT_EQ(Text(Child(kName)), "JONES");
  EXPECT_EQ(Child(kId).Get().number(), 42);

  // The first difference decides, whichever pair it is in.
  Child(kId).Set(FieldValue::Number(43));
  EXPECT_FALSE(pairs.EqualLeftRight());
  pairs.AssignRightToLeft();
  EXPECT_EQ(Parent(kId).Get().number(), 43);
  EXPECT_TRUE(pairs.EqualLeftRight());

  // Remember the left values, change them, compare and put them back.
  pairs.AssignLeftToBuffer();
  EXPECT_TRUE(pairs.EqualLeftBuffer());
  Parent(kName).Set(FieldValue::Text("BROWN"));
  EXPECT_FALSE(pairs.EqualLeftBuffer());
  EXPECT_TRUE(pairs.EqualRightBuffer());
  pairs.AssignBufferToLeft();
  EXPECT_EQ(Text(Parent(kName)), "JONES");

  // Buffer to right, right to buffer, clearing.
  pairs.ClearRight();
  EXPECT_EQ(Text(Child(kName)), "");
  EXPECT_EQ(Child(kId).Get().number(), 0);
  EXPECT_FALSE(pairs.EqualRightBuffer());
  pairs.AssignBufferToRight();
  EXPECT_EQ(Text(Child(kName)), "JONES");
  EXPECT_EQ(Child(kId).Get().number(), 43);
  Child(kId).Set(FieldValue::Number(7));
  pairs.AssignRightToBuffer();
  EXPECT_TRUE(pairs.EqualRightBuffer());
  EXPECT_EQ((*pairs.LIST)[1].BUFFER.number(), 7);
}

TEST_F(FieldPairsTest, CopiesAcrossTextAndNumberFields) {
  FieldPairs pairs;
  Link(pairs, {{kName, kId}, {kAmount, kName}});  // text to number, number to text
  Parent(kName).Set(FieldValue::Text("125"));
  Parent(kAmount).Set(FieldValue::Number(2.5));

  pairs.AssignLeftToRight();
  EXPECT_EQ(Child(kId).Get().number(), 125);
  EXPECT_EQ(Text(Child(kName)), "2.5");
  EXPECT_TRUE(pairs.EqualLeftRight());

  pairs.AssignLeftToBuffer();
  EXPECT_TRUE(pairs.EqualLeftBuffer());
  EXPECT_TRUE(pairs.EqualRightBuffer());

  // A text that is not wholly a number never equals the number it was written as, nor does the
  // remembered text: the records whose link is 0 (cleared) do not belong to it.
  Parent(kName).Set(FieldValue::Text("12x"));
  pairs.AssignLeftToRight();
  EXPECT_FALSE(pairs.EqualLeftRight());
  pairs.AssignLeftToBuffer();
  EXPECT_EQ(Child(kId).Get().number(), 0);
  EXPECT_FALSE(pairs.EqualRightBuffer());
}

// LEFT wider than RIGHT, or of another type: remembering LEFT must compare equal to LEFT at
// once (or every update would look like a change of the link), must give LEFT back unchanged,
// and must meet RIGHT as RIGHT holds the value (or a cascade would never find the related
// records).
TEST_F(FieldPairsTest, BufferKeepsLeftExactlyAndMeetsRightAsRightHoldsIt) {
  const struct {
    int left;
    int right;
    FieldValue value;
    FieldValue other;  // a different LEFT that RIGHT cannot tell apart from `value`
    FieldValue in_right;
  } cases[] = {
      {kName, kCode, FieldValue::Text("ABCDEFG"), FieldValue::Text("ABCXYZ"),
       FieldValue::Text("ABC")},
      {kAmount, kId, FieldValue::Number(9.75), FieldValue::Number(9.5), FieldValue::Number(9)},
      {kId, kCode, FieldValue::Number(12345), FieldValue::Number(1239), FieldValue::Text("123")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.left);
    FieldPairs pairs;
    Link(pairs, {{c.left, c.right}});
    Parent(c.left).Set(c.value);
    pairs.AssignLeftToBuffer();
    EXPECT_EQ((*pairs.LIST)[0].BUFFER.is_text(), Parent(c.left).is_text());
    EXPECT_TRUE(pairs.EqualLeftBuffer());

    // Through BUFFER into RIGHT: RIGHT's width and type, and RIGHT then matches BUFFER and LEFT.
    pairs.AssignBufferToRight();
    EXPECT_TRUE(Child(c.right).Get() == c.in_right);
    EXPECT_TRUE(pairs.EqualRightBuffer());
    EXPECT_TRUE(pairs.EqualLeftRight());

    // A change RIGHT could not show is still a change of LEFT, and BUFFER puts LEFT back whole.
    Parent(c.left).Set(c.other);
    EXPECT_FALSE(pairs.EqualLeftBuffer());
    EXPECT_TRUE(pairs.EqualLeftRight());
    pairs.AssignBufferToLeft();
    EXPECT_TRUE(Parent(c.left).Get() == c.value);
    EXPECT_TRUE(pairs.EqualLeftBuffer());
  }
}

}  // namespace
}  // namespace morlan
