#include "errors/message_expansion.h"

#include <gtest/gtest.h>

#include <string>

namespace morlan {
namespace {

PlaceholderValues Distinct() {
  PlaceholderValues values;
  values.file_error_code = "FEC";
  values.file_error = "FE";
  values.file = "F";
  values.error_code = "EC";
  values.error_text = "ET";
  values.error = "E";
  values.message = "M";
  values.field = "FD";
  values.procedure = "P";
  values.category = "C";
  values.previous = "PV";
  return values;
}

TEST(MessageExpansionTest, EveryPlaceholderIsRecognisedWholeInAnyCase) {
  const PlaceholderValues values = Distinct();
  EXPECT_EQ(ExpandPlaceholders("%FileErrorCode|%FileError|%File|%ErrorCode|%ErrorText|%Error|"
                               "%Message|%Field|%Procedure|%Category|%Previous",
                               values),
            "FEC|FE|F|EC|ET|E|M|FD|P|C|PV");
  EXPECT_EQ(ExpandPlaceholders("%fileerrorcode %FILEERROR %fIlE %errorCODE %ERRORtext %error "
                               "%MESSAGE %field %PROCEDURE %category",
                               values),
            "FEC FE F EC ET E M FD P C");
  // Next to text, repeated, and next to one another.
  EXPECT_EQ(ExpandPlaceholders("a%Fileb%File%FileErrorCodes%Errors", values), "aFbFFECsEs");
  EXPECT_EQ(ExpandPlaceholders("%Fieldname %Files", values), "FDname Fs");
}

TEST(MessageExpansionTest, PreviousCountsOnlyInItsExactSpelling) {
  const PlaceholderValues values = Distinct();
  EXPECT_EQ(ExpandPlaceholders("[%Previous][%PREVIOUS][%previous][%Previous]", values),
            "[PV][%PREVIOUS][%previous][PV]");
  EXPECT_TRUE(AsksForPrevious("x %Previous y"));
  EXPECT_FALSE(AsksForPrevious("x %PREVIOUS %previous %Previou"));
}

TEST(MessageExpansionTest, TextThatIsNoPlaceholderStays) {
  const PlaceholderValues values = Distinct();
  EXPECT_EQ(ExpandPlaceholders("100% sure %% %Fil %Procedur %", values),
            "100% sure %% %Fil %Procedur %");
  EXPECT_EQ(ExpandPlaceholders("%%File", values), "%F");
  EXPECT_EQ(ExpandPlaceholders("", values), "");
  // Empty values make their placeholders disappear.
  EXPECT_EQ(ExpandPlaceholders("a%Fieldb%Procedurec", PlaceholderValues{}), "abc");
}

TEST(MessageExpansionTest, ValuesAreInsertedAsTheyAre) {
  PlaceholderValues values;
  values.file = "%File-%FILE";
  values.message = "%Previous %File";
  values.error_text = "%ErrorText%ErrorText";
  values.previous = "raw %Previous %Message";
  EXPECT_EQ(ExpandPlaceholders("<%File><%Message><%ErrorText><%Previous>", values),
            "<%File-%FILE><%Previous %File><%ErrorText%ErrorText><raw %Previous %Message>");
  // A value ending in part of a placeholder does not join with the text after it.
  values.file = "%Fi";
  EXPECT_EQ(ExpandPlaceholders("%Filele", values), "%File");
}

TEST(MessageExpansionTest, ResultIsCutAtTheCapacity) {
  PlaceholderValues values;
  const std::string long_value(700, 'x');
  values.message = long_value;
  values.file = "f";
  EXPECT_EQ(ExpandPlaceholders("%Message%Message%Message%File", values),
            std::string(kMessageExpansionCapacity, 'x'));
  EXPECT_EQ(ExpandPlaceholders("ab%Message%Message", values), "ab" + long_value + long_value);

  // A huge value is cut, not copied whole.
  const std::string huge(1 << 20, 'h');
  values.message = huge;
  EXPECT_EQ(ExpandPlaceholders("<%Message>", values),
            "<" + std::string(kMessageExpansionCapacity - 1, 'h'));

  // The message itself keeps its first 1999 characters; a placeholder behind them is not seen.
  const std::string message = std::string(1995, 'm') + "%File";
  EXPECT_EQ(ExpandPlaceholders(message, values), std::string(1995, 'm') + "%Fil");
  EXPECT_EQ(ExpandPlaceholders(std::string(1994, 'm') + "%File", values),
            std::string(1994, 'm') + "f");

  // Text that fills the result up leaves no room for a "%" that begins no placeholder.
  const std::string filling(1995, 'x');
  values.message = filling;
  EXPECT_EQ(ExpandPlaceholders("%Messageabcd% more", values), filling + "abcd");
}

}  // namespace
}  // namespace morlan
