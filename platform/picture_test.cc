#include "platform/picture.h"

#include <cmath>
#include <limits>
#include <string>

#include "gtest/gtest.h"

namespace morlan {
namespace {

Picture Parsed(std::string_view text) {
  Picture picture;
  std::string error;
  EXPECT_TRUE(Picture::Parse(text, &picture, &error)) << text << ": " << error;
  return picture;
}

std::string Shown(std::string_view picture, double value) {
  const Picture p = Parsed(picture);
  char out[Picture::kMaxWidth];
  return std::string(out, p.Format(value, out));
}

std::string ShownText(std::string_view picture, std::string_view text) {
  const Picture p = Parsed(picture);
  char out[Picture::kMaxWidth];
  return std::string(out, p.Format(text, out));
}

TEST(PictureTest, ParsesTextAndNumberPicturesAndRefusesTheRest) {
  Picture p = Parsed(" @n9.2 ");
  EXPECT_FALSE(p.is_text());
  EXPECT_EQ(p.width(), 9u);
  EXPECT_EQ(p.decimals(), 2);
  EXPECT_FALSE(p.zero_fill());
  p = Parsed("N06");
  EXPECT_TRUE(p.zero_fill());
  EXPECT_EQ(p.width(), 6u);
  EXPECT_EQ(p.decimals(), 0);
  p = Parsed("@s255");
  EXPECT_TRUE(p.is_text());
  EXPECT_EQ(p.width(), 255u);

  const Picture before = Parsed("@N5");
  for (const std::string_view refused :
       {"",       "@",    "@D6",   "@T4",   "@S0",     "@S256", "@S",
        "@N",     "@N0",  "@N00",  "@N9.",  "@N9.16",  "@N3.2", "@N9.2b",
        "@N-9.2", "@N_9", "@P##P", "@n9,2", "@N9.2.1", "@S20x"}) {
    Picture p2 = before;
    std::string error;
    EXPECT_FALSE(Picture::Parse(refused, &p2, &error)) << refused;
    EXPECT_EQ(error, "unsupported picture '" + std::string(refused) + "'");
    // A refused picture changes nothing.
    EXPECT_EQ(p2.width(), 5u) << refused;
  }
}

TEST(PictureTest, NumbersRoundAsWrittenHalvesAwayFromZero) {
  EXPECT_EQ(Shown("@N9.2", 2.675), "     2.68");  // 2.67499999... in binary
  EXPECT_EQ(Shown("@N9.2", 1.005), "     1.01");
  EXPECT_EQ(Shown("@N9.2", -2.675), "    -2.68");
  EXPECT_EQ(Shown("@N5", 2.5), "    3");
  EXPECT_EQ(Shown("@N5", -0.5), "   -1");
  EXPECT_EQ(Shown("@N5", 0.49), "    0");
  EXPECT_EQ(Shown("@N9.2", 99.995), "   100.00");
  EXPECT_EQ(Shown("@N9.2", 1234.5), "  1234.50");
  EXPECT_EQ(Shown("@N4.1", 0.05), " 0.1");
  // Whatever rounds to zero has no sign.
  EXPECT_EQ(Shown("@N5.1", -0.04), "  0.0");
  EXPECT_EQ(Shown("@N5.1", -0.0), "  0.0");
  EXPECT_EQ(Shown("@N20.15", 1e-15), "   0.000000000000001");
  EXPECT_EQ(Shown("@N3", 999.4), "999");
}

TEST(PictureTest, ZeroFillOverflowAndOddValues) {
  EXPECT_EQ(Shown("@N06.2", -1.5), "-01.50");
  EXPECT_EQ(Shown("@N05", 42), "00042");
  EXPECT_EQ(Shown("@N05", 123456), "#####");
  EXPECT_EQ(Shown("@N3", 999.5), "###");  // rounds to 1000
  EXPECT_EQ(Shown("@N4", -999), "-999");
  EXPECT_EQ(Shown("@N3", -999), "###");
  EXPECT_EQ(Shown("@N9.2", 1e300), "#########");
  EXPECT_EQ(Shown("@N9.2", std::numeric_limits<double>::quiet_NaN()), "#########");
  EXPECT_EQ(Shown("@N9.2", -std::numeric_limits<double>::infinity()), "#########");
  EXPECT_EQ(Shown("@N255", 1e250), std::string(4, ' ') + "1" + std::string(250, '0'));
}

TEST(PictureTest, TextsThroughPictures) {
  EXPECT_EQ(ShownText("@S5", "ab"), "ab   ");
  EXPECT_EQ(ShownText("@S5", "abcdefgh"), "abcde");
  EXPECT_EQ(Shown("@S6", 12.5), "12.5  ");
  EXPECT_EQ(Shown("@S3", 1e21), "1e+");
  // A number picture shows the number a text holds, 0 for anything else.
  EXPECT_EQ(ShownText("@N7.1", " 1,234.56 "), " 1234.6");
  EXPECT_EQ(ShownText("@N7.1", "1e+3"), " 1000.0");
  EXPECT_EQ(ShownText("@N7.1", "12-"), "  -12.0");
  EXPECT_EQ(ShownText("@N7.1", "abc"), "    0.0");
  EXPECT_EQ(ShownText("@N7.1", ""), "    0.0");
}

TEST(PictureTest, ReadsTypedNumbersBackThroughTheirPicture) {
  const Picture money = Parsed("@N12.2");
  double n = -1;
  EXPECT_TRUE(money.ReadBack(" 1,234.50 ", &n));
  EXPECT_EQ(n, 1234.5);
  EXPECT_TRUE(money.ReadBack("-7", &n));
  EXPECT_EQ(n, -7);
  EXPECT_TRUE(money.ReadBack("7-", &n));
  EXPECT_EQ(n, -7);
  EXPECT_TRUE(money.ReadBack("+.5", &n));
  EXPECT_EQ(n, 0.5);
  EXPECT_TRUE(money.ReadBack("12.345", &n));  // rounded to the picture's decimals
  EXPECT_EQ(n, 12.35);
  EXPECT_TRUE(money.ReadBack("0000000000000000000000000000000000001", &n));
  EXPECT_EQ(n, 1);
  n = 99;
  for (const std::string_view refused :
       {"", "   ", "-", "abc", "1.2.3", "1e5", "inf", "nan", "0x10", ",1", "1,", "1,,2", "1.2,3",
        "-5-", "- 5", "1 2", "12a"}) {
    EXPECT_FALSE(money.ReadBack(refused, &n)) << refused;
  }
  EXPECT_EQ(n, 99);  // untouched by the refusals

  const Picture whole = Parsed("@N6");
  EXPECT_TRUE(whole.ReadBack("2.5", &n));
  EXPECT_EQ(n, 3);
  EXPECT_TRUE(whole.ReadBack("-0.4", &n));
  EXPECT_EQ(n, 0);
  EXPECT_FALSE(std::signbit(n));
}

TEST(PictureTest, ReadBackTextGivesWhatAFilterCompares) {
  std::string out = "untouched";
  const Picture money = Parsed("@N12.2");
  EXPECT_TRUE(money.ReadBackText("1,234.50", &out));
  EXPECT_EQ(out, "1234.5");
  EXPECT_TRUE(money.ReadBackText("7-", &out));
  EXPECT_EQ(out, "-7");
  EXPECT_TRUE(money.ReadBackText("-0.001", &out));
  EXPECT_EQ(out, "0");
  EXPECT_TRUE(money.ReadBackText("   ", &out));
  EXPECT_EQ(out, "");  // blank stays blank
  out = "untouched";
  EXPECT_FALSE(money.ReadBackText("twelve", &out));
  EXPECT_EQ(out, "untouched");

  const Picture name = Parsed("@S4");
  EXPECT_TRUE(name.ReadBackText("o'brien", &out));
  EXPECT_EQ(out, "o'br");
  EXPECT_TRUE(name.ReadBackText(" a", &out));
  EXPECT_EQ(out, " a");
}

}  // namespace
}  // namespace morlan
