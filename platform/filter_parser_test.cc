#include "platform/filter_parser.h"

#include <string>

#include "gtest/gtest.h"
#include "platform/filter_test_files.h"

namespace morlan {
namespace {

class FilterParserTest : public ::testing::Test, protected testing::FilterTestFiles {};

TEST_F(FilterParserTest, AcceptsEveryFormTheSystemWrites) {
  for (const std::string_view text :
       {"INP:REGION = 'North' AND (INP:NAME)",
        "INP:NAME = 'x' AND INP:REGION >= 'm' AND INP:REGION <= 'p'",
        "UPPER(INP:NAME) = UPPER('o''brien')", "INSTRING('xyz',OUT:NOTE,1,1) <> 0",
        "SUB(OUT:NOTE,1,3) = 'xyz'", "(AMOUNT >= 10) AND (AMOUNT <= 20)",
        "INSTRING('12',FORMAT(PRICE,@n9.2),1,1) <> 0", "SUB(FORMAT(PRICE,@N9.2),1,2) = '12'",
        "(CODE ~= 5)", "(CODE ~< -5)", "(CODE ~> 1e+21)", "(PRICE <> 0)", "(AMOUNT < 7)",
        "(INP:REGION = 'a''b')", "(REGION)", "A:B = 1 OR 1", "  \t\r\n  "}) {
    const std::string error = ErrorOf(text);
    if (text.substr(0, 3) == "A:B") {
      EXPECT_EQ(error, "Filter: unknown field 'A:B' at column 1");
      continue;
    }
    EXPECT_EQ(error, "parsed") << text;
  }
}

TEST_F(FilterParserTest, RefusalsNameTheColumnAndWhatWasWrong) {
  struct Case {
    const char* text;
    const char* error;
  };
  for (const Case& c : {
           Case{"INP:REGION = 'x' AND F9 = 1", "Filter: unknown field 'F9' at column 22"},
           Case{"NAME = 'x'", "Filter: field 'NAME' at column 1 is ambiguous"},
           Case{"OUT:REGION = 1", "Filter: unknown field 'OUT:REGION' at column 1"},
           Case{"  FOO(AMOUNT) = 1", "Filter: unknown function 'FOO' at column 3"},
           Case{"(AMOUNT = 1", "Filter: expected ')' at column 12"},
           Case{"AMOUNT = 1)", "Filter: expected AND, OR or the end at column 11"},
           Case{"AMOUNT = ", "Filter: expected a value at column 10"},
           Case{"AMOUNT = AND", "Filter: expected a value at column 10"},
           Case{"", "parsed"},
           Case{"AND", "Filter: expected a value at column 1"},
           Case{"AMOUNT = = 1", "Filter: expected a value at column 10"},
           Case{"AMOUNT = 1 = 1", "Filter: expected AND, OR or the end at column 12"},
           Case{"AMOUNT = 'abc", "Filter: unterminated text at column 10"},
           Case{"INP:NAME = 'it''s", "Filter: unterminated text at column 12"},
           Case{"AMOUNT # 1", "Filter: unexpected character '#' at column 8"},
           Case{"AMOUNT = \x01", "Filter: unexpected character 0x01 at column 10"},
           Case{"AMOUNT <>= 1", "Filter: invalid relation '<>=' at column 8"},
           Case{"AMOUNT == 1", "Filter: invalid relation '==' at column 8"},
           Case{"AMOUNT =< 1", "Filter: invalid relation '=<' at column 8"},
           Case{"AMOUNT ~~ 1", "Filter: invalid relation '~~' at column 8"},
           Case{"AMOUNT = - x", "Filter: expected a number after '-' at column 12"},
           Case{"AMOUNT = 1e999", "Filter: number '1e999' out of range at column 10"},
           Case{"FORMAT(PRICE,@D6) = ''", "Filter: unsupported picture '@D6' at column 14"},
           Case{"FORMAT(PRICE,'x') = ''", "Filter: expected a picture such as @N9.2 at column 14"},
           Case{"FORMAT(PRICE) = ''", "Filter: FORMAT needs 2 arguments at column 1"},
           Case{"@N9.2 = ''",
                "Filter: a picture is only allowed as FORMAT's second argument at "
                "column 1"},
           Case{"SUB(OUT:NOTE,1) = 'a'", "Filter: SUB needs 3 arguments at column 1"},
           Case{"UPPER() = 'a'", "Filter: UPPER needs 1 argument at column 1"},
           Case{"UPPER(FLAG, 1) = 'a'", "Filter: UPPER needs 1 argument at column 1"},
           Case{"UPPER(FLAG 1)", "Filter: expected ',' or ')' at column 12"},
           Case{"INSTRING('a',OUT:NOTE,0,1) = 0", "Filter: INSTRING's step is 0 at column 23"},
           Case{"INSTRING('a',OUT:NOTE,-0.5,1)", "Filter: INSTRING's step is 0 at column 23"},
           Case{"OUT:NOTE = '\xff\xfe"
                "abc' AND \xff",
                "Filter: unexpected character 0xFF at column 24"},
       }) {
    EXPECT_EQ(ErrorOf(c.text), c.error) << c.text;
  }
  // A long name is cut in the message.
  EXPECT_EQ(ErrorOf(std::string(100, 'Q')),
            "Filter: unknown field '" + std::string(40, 'Q') + "...' at column 1");
}

TEST_F(FilterParserTest, ARefusedTextLeavesTheExpressionAsItWas) {
  FilterExpression expression;
  std::string error;
  ASSERT_TRUE(Parse("AMOUNT = 15", &expression, &error));
  EXPECT_FALSE(Parse("AMOUNT = ", &expression, &error));
  SetNumber("INP:AMOUNT", 15);
  EXPECT_TRUE(expression.Matches());
  SetNumber("INP:AMOUNT", 16);
  EXPECT_FALSE(expression.Matches());
}

TEST_F(FilterParserTest, NestingIsBoundedButLongChainsAreNot) {
  const auto nested = [](const std::string& open, const std::string& inner,
                         const std::string& close, int n) {
    std::string text;
    for (int i = 0; i < n; ++i) text += open;
    text += inner;
    for (int i = 0; i < n; ++i) text += close;
    return text;
  };
  EXPECT_EQ(ErrorOf(nested("(", "FLAG", ")", 64)), "parsed");
  EXPECT_EQ(ErrorOf(nested("(", "FLAG", ")", 65)),
            "Filter: nesting deeper than 64 levels at column 65");
  EXPECT_EQ(ErrorOf(nested("NOT ", "FLAG", "", 64)), "parsed");
  EXPECT_EQ(ErrorOf(nested("NOT ", "FLAG", "", 65)),
            "Filter: nesting deeper than 64 levels at column 257");
  EXPECT_EQ(ErrorOf(nested("UPPER(", "INP:NAME", ")", 64)), "parsed");
  EXPECT_EQ(ErrorOf(nested("UPPER(", "INP:NAME", ")", 65)),
            "Filter: nesting deeper than 64 levels at column 385");
  // Nesting far beyond the bound is refused just the same, without using the stack up.
  EXPECT_EQ(ErrorOf(nested("(", "FLAG", ")", 1000000)),
            "Filter: nesting deeper than 64 levels at column 65");

  // AND and OR chains do not nest: ten thousand terms parse and evaluate.
  std::string chain = "AMOUNT = 1";
  for (int i = 2; i <= 10000; ++i)
    chain += (i % 2 ? " AND AMOUNT <> " : " OR AMOUNT = ") + std::to_string(i);
  FilterExpression expression;
  std::string error;
  ASSERT_TRUE(Parse(chain, &expression, &error)) << error;
  SetNumber("INP:AMOUNT", 9998);
  EXPECT_TRUE(expression.Matches());
}

TEST_F(FilterParserTest, WorkingBuffersAndSizeAreBounded) {
  FilterExpression expression;
  std::string error;
  ASSERT_TRUE(
      Parse("UPPER(OUT:NOTE) = LOWER(AMOUNT) OR FORMAT(PRICE,@N20.2) = ''", &expression, &error));
  // UPPER: the note's 40; LOWER: a number's text, and its result; FORMAT: 20; the comparisons:
  // nothing (text with text).
  EXPECT_EQ(expression.scratch_size(), 40u + 32u + 32u + 20u);

  // Each FORMAT needs 255 bytes: past 4 MiB the text is refused, not allocated.
  std::string many;
  const std::string term = "FORMAT(PRICE,@S255) OR ";
  for (std::size_t bytes = 0; bytes <= FilterParser::kMaxScratchBytes; bytes += 255) many += term;
  many += "FLAG";
  EXPECT_EQ(
      ErrorOf(many).rfind("Filter: filter needs more than 4 MiB of working buffers at column ", 0),
      0u);
  std::string parts = "FLAG";
  for (std::size_t n = 0; n < FilterParser::kMaxNodes; ++n) parts += " OR 1";
  EXPECT_EQ(ErrorOf(parts).rfind("Filter: filter too long (more than 65536 parts) at column ", 0),
            0u);
}

TEST_F(FilterParserTest, NamesAndWordsIgnoreCaseAndNumbersTakeEveryDecimalForm) {
  SetText("INP:NAME", "Ab");
  SetNumber("INP:PRICE", 0.5);
  EXPECT_TRUE(Holds("inp:Name = 'Ab' aNd upper(INP:NAME) = 'AB' oR not 1"));
  EXPECT_TRUE(
      Holds("PRICE = .5 AND PRICE = 0.50 AND PRICE = 5e-1 AND PRICE = 5E-1 AND "
            "PRICE = +0.5 AND PRICE < 5e+0 AND PRICE = 0.5e0"));
  // "1e" is the number 1 followed by a name.
  EXPECT_EQ(ErrorOf("PRICE = 1e"), "Filter: expected AND, OR or the end at column 10");
}

}  // namespace
}  // namespace morlan
