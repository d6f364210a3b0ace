#include "query/query_builder.h"

#include <string>
#include <string_view>
#include <vector>

#include "common/record_layout.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/memory_keyed_file.h"
#include "platform/runtime_error_state.h"
#include "platform/view.h"

namespace morlan {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::StartsWith;

struct Typed {
  std::string_view low = {};
  std::string_view value = {};
  std::string_view high = {};
};

// The filter BuildFilter writes for `query`, or "refused: " and its error text. A refusal must
// leave the filter empty, and a success must leave no error text.
std::string Filter(const Query& query) {
  QueryBuilder builder;
  std::string filter = "left over";
  if (builder.BuildFilter(query, filter) != FatalityNone) {
    EXPECT_EQ(filter, "") << "a refused query left a filter behind";
    EXPECT_NE(builder.error_text(), "");
    return "refused: " + builder.error_text();
  }
  EXPECT_EQ(builder.error_text(), "");
  return filter;
}

// The filter for one queried field.
std::string Filter(std::string_view expression, std::string_view picture, Typed typed,
                   std::uint8_t flag = 0) {
  Query query;
  QueryField& field = query.AddField(expression, picture, flag);
  field.LOW = typed.low;
  field.VALUE = typed.value;
  field.HIGH = typed.high;
  return Filter(query);
}

std::string ValueFilter(std::string_view expression, std::string_view picture,
                        std::string_view value, std::uint8_t flag = 0) {
  return Filter(expression, picture, Typed{.value = value}, flag);
}

TEST(QueryBuilderTest, PatternsRangesAndQuotes) {
  EXPECT_EQ(ValueFilter("E", "", "*xyz"), "INSTRING('xyz',E,1,1) <> 0");
  EXPECT_EQ(ValueFilter("E", "", "xyz*"), "SUB(E,1,3) = 'xyz'");
  EXPECT_EQ(ValueFilter("NAME", "S20", "o'brien"), "(NAME = 'o''brien')");
  EXPECT_EQ(ValueFilter("NAME", "S20", "*o'b"), "INSTRING('o''b',NAME,1,1) <> 0");
  EXPECT_EQ(ValueFilter("NAME", "S20", "o'b*"), "SUB(NAME,1,3) = 'o''b'");

  // A range gives both bounds, each including its end; a bound alone gives one condition, and
  // the value box is not used once a bound is typed.
  EXPECT_EQ(Filter("E", "N9", {.low = "10", .high = "20"}), "(E >= 10) AND (E <= 20)");
  EXPECT_EQ(Filter("E", "N9", {.low = "10", .value = "15"}), "(E >= 10)");
  EXPECT_EQ(Filter("E", "N9", {.value = "15", .high = "20"}), "(E <= 20)");

  // Trailing blanks of the expression and of the typed text do not count.
  EXPECT_EQ(ValueFilter("NAME   ", "S20", "smith   "), "(NAME = 'smith')");
}

TEST(QueryBuilderTest, FieldsJoinInListOrderAndUntypedFieldsAddNothing) {
  Query query;
  query.AddField("CUS:CITY", "S8").VALUE = "Leeds";
  query.AddField("CUS:NOTE", "S99999999999999999999");  // nothing typed: not even looked at
  query.AddField("", "");
  query.AddField("CUS:ID", "N6").LOW = "3";
  EXPECT_EQ(Filter(query), "(CUS:CITY = 'Leeds') AND (CUS:ID >= 3)");

  query.ClearValues();
  EXPECT_EQ(Filter(query), "");
  EXPECT_EQ(Filter(Query{}), "");
}

// "*" alone asks for anything: it adds no condition, rather than one that finds nothing.
TEST(QueryBuilderTest, StarAloneAsksForAnything) {
  EXPECT_EQ(ValueFilter("NAME", "S20", "*"), "");
  EXPECT_EQ(ValueFilter("NAME", "S20", "^*"), "");
  Query query;
  query.AddField("NAME", "S20").VALUE = "*";
  query.AddField("CITY", "S8").VALUE = "Leeds";
  EXPECT_EQ(Filter(query), "(CITY = 'Leeds')");
}

// Comparison signs typed in front of a value make the operator. A typed value always brings an
// "=", so a typed "<" or ">" includes the value itself; "<" with ">" is "not equal".
TEST(QueryBuilderTest, SignsTypedInFrontOfTheValue) {
  EXPECT_EQ(ValueFilter("NAME", "S20", "<>smith"), "(NAME <> 'smith')");
  EXPECT_EQ(ValueFilter("NAME", "S20", ">m"), "(NAME >= 'm')");
  EXPECT_EQ(ValueFilter("NAME", "S20", "=<m"), "(NAME <= 'm')");
  EXPECT_EQ(ValueFilter("NAME", "S20", "~smith"), "(NAME ~= 'smith')");
  EXPECT_EQ(ValueFilter("NAME", "S20", "~<m"), "(NAME ~<= 'm')");
  EXPECT_EQ(ValueFilter("NAME", "S20", "<~m"), "(NAME <~= 'm')");
  EXPECT_EQ(ValueFilter("NAME", "S20", "=smith"), "(NAME = 'smith')");
  EXPECT_EQ(ValueFilter("NAME", "S20", "<=>m"), "(NAME <> 'm')");

  // "<>" with nothing after it: not blank on a text field, not 0 on a number field.
  EXPECT_EQ(ValueFilter("NAME", "S20", "<>"), "(NAME <> '')");
  EXPECT_EQ(ValueFilter("AMOUNT", "N9", "<>"), "(AMOUNT <> 0)");
  EXPECT_EQ(ValueFilter("AMOUNT", "", "<>"), "(AMOUNT <> 0)");

  // Orders of signs the filter language has no operator for are refused, not passed on to make
  // the view refuse the whole filter.
  EXPECT_THAT(ValueFilter("NAME", "S20", "><m"),
              AllOf(StartsWith("refused: Query field 'NAME'"), HasSubstr("'><'")));
  EXPECT_THAT(ValueFilter("NAME", "S20", "<~>m"), HasSubstr("refused: "));
}

TEST(QueryBuilderTest, NumberFieldsReadTypedValuesBackThroughThePicture) {
  EXPECT_EQ(ValueFilter("AMOUNT", "N9.2", "1,234.50"), "(AMOUNT = 1234.5)");
  EXPECT_EQ(ValueFilter("AMOUNT", "@n9.2", "1,234.50"), "(AMOUNT = 1234.5)");
  EXPECT_EQ(Filter("AMOUNT", "N9.2", {.low = "7-", .high = "1,000"}),
            "(AMOUNT >= -7) AND (AMOUNT <= 1000)");
  EXPECT_EQ(ValueFilter("AMOUNT", "N9.2", ">=  12 "), "(AMOUNT >= 12)");

  // A text that is no number for the picture, or a picture that cannot read anything back, is
  // refused with a reason the person can act on.
  EXPECT_THAT(ValueFilter("AMOUNT", "N9.2", "abc"),
              AllOf(StartsWith("refused: Query field 'AMOUNT'"), HasSubstr("'abc'")));
  EXPECT_THAT(ValueFilter("DUE", "D6", "1/2/99"),
              AllOf(StartsWith("refused: Query field 'DUE'"), HasSubstr("D6")));

  // The flag byte: values as typed, no picture, no case rule.
  EXPECT_EQ(ValueFilter("AMOUNT", "N9.2", "12", 1), "(AMOUNT = 12)");
  EXPECT_EQ(ValueFilter("AMOUNT", "N9.2", "12*", 1), "SUB(AMOUNT,1,2) = '12'");
  EXPECT_EQ(ValueFilter("UPPER(CODE)", "N9", "ab*", 1), "SUB(UPPER(CODE),1,2) = 'AB'");
}

// A case-free comparison upper-cases both sides: the value, and the field through UPPER(...),
// whether the field's own expression has an UPPER around it, inside it, or none at all.
TEST(QueryBuilderTest, CaseFreeComparisonsUpperCaseTheFieldToo) {
  EXPECT_EQ(ValueFilter("NAME", "S20", "^smith"), "(UPPER(NAME) = 'SMITH')");
  EXPECT_EQ(ValueFilter("NAME", "S20", "^smi*"), "SUB(UPPER(NAME),1,3) = 'SMI'");
  EXPECT_EQ(ValueFilter("NAME", "S20", "^*mit"), "INSTRING('MIT',UPPER(NAME),1,1) <> 0");
  EXPECT_EQ(ValueFilter("UPPER(NAME)", "S20", "smith"), "(UPPER(NAME) = 'SMITH')");
  EXPECT_EQ(ValueFilter("upper(NAME)", "S20", "smi*"), "SUB(UPPER(NAME),1,3) = 'SMI'");
  EXPECT_EQ(ValueFilter("UPPER(NAME)", "S20", "*mit"), "INSTRING('MIT',UPPER(NAME),1,1) <> 0");

  // UPPER( inside the expression, not around all of it: the expression stays whole.
  EXPECT_EQ(ValueFilter("SUB(UPPER(N),1,3)", "S3", "abc"), "(UPPER(SUB(UPPER(N),1,3)) = 'ABC')");
  EXPECT_EQ(ValueFilter("UPPER(A) = UPPER(B)", "S1", "x"), "(UPPER(UPPER(A) = UPPER(B)) = 'X')");
  EXPECT_EQ(ValueFilter("UPPER(SUB(N,1,3))", "S3", "abc*"), "SUB(UPPER(SUB(N,1,3)),1,3) = 'ABC'");

  // A pattern on a number field tests the text its picture shows, without letter case.
  EXPECT_EQ(ValueFilter("AMOUNT", "N9.2", "12*"), "SUB(UPPER(FORMAT(AMOUNT,@N9.2)),1,2) = '12'");
  EXPECT_EQ(ValueFilter("AMOUNT", "N9.2", "*.5"),
            "INSTRING('.5',UPPER(FORMAT(AMOUNT,@N9.2)),1,1) <> 0");
  // The flag byte keeps the letter case of number fields only.
  EXPECT_EQ(ValueFilter("NAME", "S20", "^smith", 1), "(UPPER(NAME) = 'SMITH')");
  // The upper-cased value is still data.
  EXPECT_EQ(ValueFilter("CODE", "", "^x') OR (1=1"), "(UPPER(CODE) = 'X'') OR (1=1')");
}

// A value that is not written as text becomes filter syntax, so only a plain number may stand
// unquoted; anything else is quoted, whatever the picture and the flag byte say.
TEST(QueryBuilderTest, TypedValuesStayData) {
  EXPECT_EQ(ValueFilter("CODE", "", "0)) OR ((1=1"), "(CODE = '0)) OR ((1=1')");
  EXPECT_EQ(ValueFilter("AMOUNT", "N9", "0)) OR ((1=1", 1), "(AMOUNT = '0)) OR ((1=1')");
  EXPECT_EQ(Filter("CODE", "", {.low = "1) OR (1=1", .high = "x' OR 'a'='a"}),
            "(CODE >= '1) OR (1=1') AND (CODE <= 'x'' OR ''a''=''a')");
  EXPECT_EQ(ValueFilter("CODE", "", "1,234"), "(CODE = '1,234')");
  EXPECT_EQ(ValueFilter("CODE", "", "="), "(CODE = '')");

  // Plain numbers stay numbers.
  EXPECT_EQ(ValueFilter("CODE", "", "12.5"), "(CODE = 12.5)");
  EXPECT_EQ(ValueFilter("CODE", "", "<-3"), "(CODE <= -3)");
  EXPECT_EQ(ValueFilter("CODE", "", "007"), "(CODE = 007)");
}

// Nothing is cut: what does not fit is refused as a whole, and says what did not fit.
TEST(QueryBuilderTest, WhatDoesNotFitIsRefusedNotCut) {
  // 499 apostrophes quote to exactly 1,000 characters; 500 do not fit.
  const std::string apostrophes(500, '\'');
  EXPECT_THAT(ValueFilter("NAME", "S500", apostrophes), HasSubstr("1,000"));
  EXPECT_EQ(ValueFilter("NAME", "S500", apostrophes.substr(1)).size(),
            std::string_view("(NAME = )").size() + 1000);

  const std::string expression99 = "F" + std::string(98, 'X');
  EXPECT_EQ(ValueFilter(expression99, "S9", "a"), "(" + expression99 + " = 'a')");
  EXPECT_THAT(ValueFilter(expression99 + "Y", "S9", "a"), HasSubstr("99"));
  // A pattern on a number field names FORMAT(expression,@picture), which must fit as well.
  EXPECT_THAT(ValueFilter(expression99, "N9", "1*"), HasSubstr("99"));

  EXPECT_EQ(ValueFilter("NAME", "S123456789012345678", "a"), "(NAME = 'a')");
  EXPECT_THAT(ValueFilter("NAME", "S1234567890123456789", "a"), HasSubstr("19"));

  // Ten conditions of 495 characters fit in 4,999 with their nine joints; eleven do not, and the
  // fields that did fit are not delivered on their own.
  Query query;
  for (int i = 0; i < 11; ++i) {
    query.AddField("F" + std::to_string(i), "S500").VALUE = std::string(486, 'v');
  }
  const std::string refused = Filter(query);
  EXPECT_THAT(refused, AllOf(StartsWith("refused: "), HasSubstr("4,999")));
  query.ClearValues();
  for (int i = 0; i < 10; ++i) query.Find("F" + std::to_string(i))->VALUE = std::string(486, 'v');
  EXPECT_EQ(Filter(query).size(), 10 * 495 + 9 * 5);
}

// Whatever is typed, the builder writes a filter the view takes, or refuses the query itself:
// a filter the view refused would be dropped, and the reading would deliver every record.
TEST(QueryBuilderTest, EveryFilterWrittenIsOneTheViewTakes) {
  RecordLayout layout;
  layout.AddField("T:NAME", FieldType::kText, 10);
  layout.AddField("T:AMOUNT", FieldType::kReal);
  layout.AddField("T:CODE", FieldType::kLong);
  MemoryKeyedFile file("T", layout);
  file.Create();
  file.Open(kAccessReadWrite);
  View view(file);

  struct Field {
    std::string_view expression;
    std::string_view picture;
    std::uint8_t flag;
  };
  const Field fields[] = {{"NAME", "S10", 0},        {"T:AMOUNT", "N9.2", 0},
                          {"AMOUNT", "N9.2", 1},     {"CODE", "", 0},
                          {"UPPER(NAME)", "S10", 0}, {"SUB(UPPER(NAME),1,3)", "", 0}};
  const std::string_view values[] = {"",   "m",    "o'b", "*x",      "x*",    "^sm",
                                     "12", "-3.5", "*",   "1,234.5", "1e400", "0)) OR ((1=1"};
  std::vector<std::string> signs = {""};
  for (std::size_t i = 0; i < signs.size() && signs[i].size() < 3; ++i) {
    for (char c : std::string_view("=<>~")) signs.push_back(signs[i] + c);
  }

  int written = 0;
  for (const Field& field : fields) {
    for (const std::string& sign : signs) {
      for (std::string_view value : values) {
        for (int box = 0; box < 3; ++box) {
          Query query;
          QueryField& entry = query.AddField(field.expression, field.picture, field.flag);
          FixedText<QueryField::kValueCapacity>* boxes[] = {&entry.LOW, &entry.VALUE, &entry.HIGH};
          *boxes[box] = sign + std::string(value);
          QueryBuilder builder;
          std::string filter;
          if (builder.BuildFilter(query, filter) != FatalityNone) {
            EXPECT_THAT(builder.error_text(),
                        ::testing::AnyOf(HasSubstr("operator"), HasSubstr("is not a number")))
                << sign << value;
            continue;
          }
          view.SetFilter(filter);
          EXPECT_EQ(RuntimeErrorState::code(), 0)
              << filter << ": " << RuntimeErrorState::text() << " (typed " << sign << value << ")";
          ++written;
        }
      }
    }
  }
  EXPECT_GT(written, 1000);
  file.Close();
}

}  // namespace
}  // namespace morlan
