#include "platform/filter_expression.h"

#include <limits>
#include <string>

#include "gtest/gtest.h"
#include "platform/filter_test_files.h"

namespace morlan {
namespace {

class FilterExpressionTest : public ::testing::Test, protected testing::FilterTestFiles {
 protected:
  FilterExpressionTest() {
    SetText("INP:NAME", "o'brien");
    SetText("INP:REGION", "North");
    SetNumber("INP:AMOUNT", 15);
    SetNumber("INP:PRICE", 2.675);
    SetNumber("INP:FLAG", 0);
    SetNumber("INP:CODE", -3);
    SetText("OUT:NAME", "12.50");
    SetText("OUT:NOTE", "  Name STRING(20)");
  }
};

TEST_F(FilterExpressionTest, TheTextsTheSystemWritesHoldAsMeant) {
  EXPECT_TRUE(Holds("INP:REGION = 'North' AND (INP:NAME)"));
  EXPECT_FALSE(Holds("INP:REGION = 'North' AND (FLAG)"));
  EXPECT_TRUE(Holds("INP:NAME = 'o''brien' AND REGION >= 'M' AND REGION <= 'P'"));
  EXPECT_FALSE(Holds("INP:NAME = 'o''brien' AND REGION >= 'm' AND REGION <= 'p'"));
  EXPECT_TRUE(Holds("UPPER(INP:NAME) = UPPER('O''Brien')"));
  EXPECT_TRUE(Holds("INSTRING('bri',INP:NAME,1,1) <> 0"));
  EXPECT_FALSE(Holds("INSTRING('xyz',INP:NAME,1,1) <> 0"));
  EXPECT_TRUE(Holds("SUB(INP:NAME,1,3) = 'o''b'"));
  EXPECT_TRUE(Holds("(AMOUNT >= 10) AND (AMOUNT <= 20)"));
  EXPECT_FALSE(Holds("(AMOUNT >= 16) AND (AMOUNT <= 20)"));
  EXPECT_TRUE(Holds("FORMAT(PRICE,@n9.2) = '2.68'"));
  EXPECT_TRUE(Holds("SUB(FORMAT(PRICE,@n9.2),1,2) = '2.'"));
  EXPECT_TRUE(Holds("INSTRING('STRING',UPPER(OUT:NOTE),1,1) <> 0 AND SUB(OUT:NOTE,1,1) <> '!'"));
}

TEST_F(FilterExpressionTest, TextsCompareByBytesIgnoringTrailingBlanks) {
  EXPECT_TRUE(Holds("REGION = 'North   '"));
  EXPECT_TRUE(Holds("REGION = 'North'"));
  EXPECT_FALSE(Holds("REGION = ' North'"));  // leading blanks count
  EXPECT_FALSE(Holds("REGION = 'NORTH'"));   // so does case
  EXPECT_TRUE(Holds("REGION < 'Northa' AND REGION > 'Nort' AND 'a' > 'B'"));
  SetText("INP:REGION", "");
  EXPECT_TRUE(Holds("REGION = '' AND REGION = '   ' AND NOT REGION"));
  // Bytes compare unsigned: a byte above 127 sorts after every ASCII letter.
  SetText("INP:REGION", "\xe9t\xe9");
  EXPECT_TRUE(Holds("REGION > 'zzz'"));
}

TEST_F(FilterExpressionTest, ATextAndANumberCompareAsNumbersWhenTheTextIsOne) {
  EXPECT_TRUE(Holds("OUT:NAME = 12.5"));  // "12.50" holds 12.5
  EXPECT_TRUE(Holds("OUT:NAME < 100"));   // as texts "12.50" > "100"
  EXPECT_TRUE(Holds("100 > OUT:NAME"));
  SetText("OUT:NAME", " -1e3 ");
  EXPECT_TRUE(Holds("OUT:NAME = -1000"));
  SetText("OUT:NAME", "");
  EXPECT_TRUE(Holds("OUT:NAME = 0 AND OUT:NAME < 1"));
  // Not a number: compared with the number's text.
  SetText("OUT:NAME", "abc");
  EXPECT_TRUE(Holds("OUT:NAME > 5 AND OUT:NAME <> 0"));
  SetText("OUT:NAME", "15x");
  EXPECT_TRUE(Holds("OUT:NAME > AMOUNT AND SUB(OUT:NAME,1,2) = AMOUNT"));
  // "inf" and "nan" are words, not numbers.
  SetText("OUT:NAME", "inf");
  EXPECT_TRUE(Holds("OUT:NAME > 1e300 AND OUT:NAME > 'h'"));
  SetText("OUT:NAME", "1,5");
  EXPECT_TRUE(Holds("OUT:NAME <> 1.5 AND OUT:NAME = '1,5'"));
}

TEST_F(FilterExpressionTest, NumbersCompareExactlyAsDoubles) {
  SetNumber("INP:PRICE", 0.1 + 0.2);
  EXPECT_FALSE(Holds("PRICE = 0.3"));
  EXPECT_TRUE(Holds("PRICE > 0.3"));
  EXPECT_TRUE(Holds("CODE = -3 AND CODE = -3.0 AND CODE < -2.5 AND FLAG = 0"));
  SetNumber("INP:FLAG", 255);  // an unsigned byte
  EXPECT_TRUE(Holds("FLAG = 255 AND FLAG > CODE"));
  SetNumber("INP:AMOUNT", -2147483648.0);
  EXPECT_TRUE(Holds("AMOUNT = -2147483648 AND AMOUNT < -2.1e9"));
  SetNumber("INP:PRICE", std::numeric_limits<double>::quiet_NaN());
  // NaN is unordered: only "not equal" and the negations hold.
  EXPECT_FALSE(Holds("PRICE = PRICE OR PRICE < 1 OR PRICE >= 1"));
  EXPECT_TRUE(Holds("PRICE <> PRICE AND PRICE ~< 1 AND PRICE ~>= 1"));
}

TEST_F(FilterExpressionTest, RelationsAndTheirNegations) {
  struct Case {
    const char* relation;
    bool less, equal, greater;  // AMOUNT (15) against 16, 15, 14
  };
  for (const Case& c :
       {Case{"=", false, true, false}, Case{"<>", true, false, true}, Case{"><", true, false, true},
        Case{"<", true, false, false}, Case{">", false, false, true}, Case{"<=", true, true, false},
        Case{">=", false, true, true}, Case{"~=", true, false, true}, Case{"~", true, false, true},
        Case{"~<", false, true, true}, Case{"<~", false, true, true}, Case{"~>", true, true, false},
        Case{"~<=", false, false, true}, Case{"<~=", false, false, true},
        Case{"~>=", true, false, false}, Case{"~<>", false, true, false},
        Case{"<~>", false, true, false}}) {
    const std::string r = c.relation;
    EXPECT_EQ(Holds("AMOUNT " + r + " 16"), c.less) << r;
    EXPECT_EQ(Holds("AMOUNT " + r + " 15"), c.equal) << r;
    EXPECT_EQ(Holds("AMOUNT " + r + " 14"), c.greater) << r;
    EXPECT_EQ(Holds("AMOUNT" + r + "14"), c.greater) << r << " written without blanks";
  }
}

TEST_F(FilterExpressionTest, TruthAndOrNotAndPrecedence) {
  EXPECT_TRUE(Holds("AMOUNT"));
  EXPECT_FALSE(Holds("FLAG"));
  EXPECT_TRUE(Holds("NOT FLAG"));
  EXPECT_TRUE(Holds("NOT NOT AMOUNT"));
  EXPECT_FALSE(Holds("NOT AMOUNT = 15"));         // NOT (AMOUNT = 15)
  EXPECT_FALSE(Holds("'x' AND ' ' OR FLAG"));     // a blank text is false
  EXPECT_TRUE(Holds("AMOUNT OR FLAG AND FLAG"));  // AND binds tighter than OR
  EXPECT_FALSE(Holds("(FLAG OR AMOUNT) AND NOT CODE"));
  EXPECT_TRUE(Holds("(AMOUNT = 15) = 1 AND (AMOUNT = 14) = 0"));
  EXPECT_TRUE(Holds("flag Or amount aNd Not flag"));
}

TEST_F(FilterExpressionTest, TextFunctions) {
  SetText("INP:NAME", "Mixed \xc9t\xe9 1");
  // ASCII letters only change case; other bytes stay as they are.
  EXPECT_TRUE(Holds("UPPER(INP:NAME) = 'MIXED \xc9T\xe9 1'"));
  EXPECT_TRUE(Holds("LOWER(INP:NAME) = 'mixed \xc9t\xe9 1'"));
  EXPECT_TRUE(
      Holds("CLIP(INP:NAME) = INP:NAME AND CLIP(AMOUNT) = '15' AND UPPER(PRICE) = '2.675'"));
  SetNumber("INP:PRICE", 1e21);
  EXPECT_TRUE(Holds("LOWER(UPPER(PRICE)) = '1e+21' AND UPPER(PRICE) = '1E+21'"));

  SetText("INP:NAME", "abcdef");
  EXPECT_TRUE(Holds("SUB(INP:NAME,2,3) = 'bcd'"));
  EXPECT_TRUE(Holds("SUB(INP:NAME,5,10) = 'ef'"));  // cut at the end
  EXPECT_TRUE(Holds("SUB(INP:NAME,0,2) = 'a'"));    // position 0 lies outside
  EXPECT_TRUE(Holds("SUB(INP:NAME,-5,8) = 'ab'"));
  EXPECT_TRUE(Holds("SUB(INP:NAME,7,1) = ''"));
  EXPECT_TRUE(Holds("SUB(INP:NAME,2,0) = '' AND SUB(INP:NAME,2,-1) = ''"));
  EXPECT_TRUE(Holds("SUB(INP:NAME,'2','2.9') = 'bc'"));  // texts read as numbers, cut to whole
  EXPECT_TRUE(Holds("SUB(INP:NAME,1e300,1e300) = '' AND SUB(INP:NAME,-1e300,1e300) = ''"));
  EXPECT_TRUE(Holds("SUB(AMOUNT,2,1) = '5'"));
  SetText("INP:NAME", "ab   cd");
  EXPECT_TRUE(Holds("SUB(INP:NAME,3,2) = '' AND SUB(INP:NAME,3,4) = '   c'"));
}

TEST_F(FilterExpressionTest, InstringPositionsStepsAndStarts) {
  SetText("OUT:NOTE", "abcabcab");
  EXPECT_TRUE(Holds("INSTRING('bc',OUT:NOTE,1,1) = 2"));
  EXPECT_TRUE(Holds("INSTRING('bc',OUT:NOTE,1,3) = 5"));
  EXPECT_TRUE(Holds("INSTRING('bc',OUT:NOTE,1,6) = 0"));
  EXPECT_TRUE(Holds("INSTRING('ab',OUT:NOTE,1,7) = 7"));
  EXPECT_TRUE(Holds("INSTRING('bc',OUT:NOTE,3,1) = 0"));    // tries 1, 4, 7
  EXPECT_TRUE(Holds("INSTRING('ca',OUT:NOTE,2,1) = 3"));    // tries 1, 3
  EXPECT_TRUE(Holds("INSTRING('ca',OUT:NOTE,2,4) = 6"));    // tries 4, 6
  EXPECT_TRUE(Holds("INSTRING('ca',OUT:NOTE,2,5) = 0"));    // tries 5, 7
  EXPECT_TRUE(Holds("INSTRING('cab',OUT:NOTE,2,-3) = 3"));  // tries -3, -1, 1, 3
  // Backwards from the start.
  EXPECT_TRUE(Holds("INSTRING('ab',OUT:NOTE,-1,8) = 7"));
  EXPECT_TRUE(Holds("INSTRING('ab',OUT:NOTE,-1,6) = 4"));
  EXPECT_TRUE(Holds("INSTRING('ab',OUT:NOTE,-3,6) = 0"));  // tries 6, 3
  EXPECT_TRUE(Holds("INSTRING('ab',OUT:NOTE,-3,1e9) > 0"));
  EXPECT_TRUE(Holds("INSTRING('ab',OUT:NOTE,-1,0) = 0"));
  // The sub is searched without its trailing blanks; an empty one is found nowhere.
  EXPECT_TRUE(Holds("INSTRING('ab  ',OUT:NOTE,1,1) = 1"));
  EXPECT_TRUE(Holds("INSTRING('',OUT:NOTE,1,1) = 0 AND INSTRING(' ',OUT:NOTE,1,1) = 0"));
  EXPECT_TRUE(Holds("INSTRING('abcabcabX',OUT:NOTE,1,1) = 0"));
  // A step that is only known per record: 0 finds nothing.
  EXPECT_TRUE(Holds("INSTRING('a',OUT:NOTE,FLAG,1) = 0"));
  EXPECT_TRUE(Holds("INSTRING(5,AMOUNT,1,1) = 2 AND INSTRING('.',PRICE,1,1) = 2"));
}

TEST_F(FilterExpressionTest, InstringOverLongTextsAndUpperCase) {
  // Long enough for the search to take many positions a step, with the end block overlapping.
  const std::string note = std::string(34, 'a') + "string";
  SetText("OUT:NOTE", note);
  EXPECT_TRUE(Holds("INSTRING('string',OUT:NOTE,1,1) = 35"));
  EXPECT_TRUE(Holds("INSTRING('STRING',OUT:NOTE,1,1) = 0"));
  EXPECT_TRUE(Holds("INSTRING('STRING',UPPER(OUT:NOTE),1,1) = 35"));
  EXPECT_TRUE(Holds("INSTRING('AS',UPPER(OUT:NOTE),1,1) = 34"));
  EXPECT_TRUE(Holds("INSTRING('A',UPPER(OUT:NOTE),1,20) = 20"));
  EXPECT_TRUE(Holds("INSTRING('A',UPPER(OUT:NOTE),1,35) = 0"));
  EXPECT_TRUE(Holds("INSTRING('NG',UPPER(OUT:NOTE),1,39) = 39"));
  // Upper case never holds a lower-case letter.
  EXPECT_TRUE(Holds("INSTRING('string',UPPER(OUT:NOTE),1,1) = 0"));
  EXPECT_TRUE(Holds("INSTRING('a-1',UPPER(OUT:NOTE),1,1) = 0"));
  for (std::size_t at = 0; at + 3 <= 40; ++at) {
    std::string text(40, '.');
    text.replace(at, 3, "x1Y");
    SetText("OUT:NOTE", text);
    const std::string position = std::to_string(at + 1);
    EXPECT_TRUE(Holds("INSTRING('X1Y',UPPER(OUT:NOTE),1,1) = " + position)) << at;
    EXPECT_TRUE(Holds("INSTRING('x1Y',OUT:NOTE,1,1) = " + position)) << at;
    EXPECT_TRUE(Holds("INSTRING('X1Y',OUT:NOTE,1,1) = 0")) << at;
    EXPECT_TRUE(Holds("INSTRING('x1Y',OUT:NOTE,-1,40) = " + position)) << at;
  }
}

TEST_F(FilterExpressionTest, FormatShowsValuesThroughPictures) {
  EXPECT_TRUE(Holds("FORMAT(PRICE,@N9.2) = '2.68'"));  // no alignment blanks in front
  EXPECT_TRUE(Holds("FORMAT(PRICE,@N09.2) = '000002.68'"));
  EXPECT_TRUE(Holds("FORMAT(CODE,@N4) = '-3'"));
  EXPECT_TRUE(Holds("FORMAT(AMOUNT,@N1) = '#'"));
  EXPECT_TRUE(Holds("FORMAT(INP:NAME,@S3) = 'o''b'"));
  EXPECT_TRUE(Holds("FORMAT(OUT:NOTE,@S6) = '  Name'"));  // a text keeps its own blanks
  EXPECT_TRUE(Holds("FORMAT(OUT:NAME,@N7.1) = '12.5'"));  // a text holding a number
  EXPECT_TRUE(Holds("FORMAT(INP:NAME,@N7.1) = '0.0'"));
  EXPECT_TRUE(Holds("FORMAT(AMOUNT,@S5) = 15 AND FORMAT(AMOUNT,@N5.1) = 15"));
}

TEST_F(FilterExpressionTest, FieldsAreReadAtEachTestNotWhenParsed) {
  FilterExpression expression;
  std::string error;
  ASSERT_TRUE(Parse("INP:NAME = OUT:NAME AND AMOUNT > 10", &expression, &error)) << error;
  EXPECT_FALSE(expression.Matches());
  SetText("OUT:NAME", "o'brien");
  EXPECT_TRUE(expression.Matches());
  SetNumber("INP:AMOUNT", 10);
  EXPECT_FALSE(expression.Matches());
  EXPECT_TRUE(FilterExpression().Matches());
}

}  // namespace
}  // namespace morlan
