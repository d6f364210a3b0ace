#include "app/rewrite_declaration.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace morlan {
namespace {

// `text` cut or blank padded to `width`, as a fixed-width field holds it.
std::string Padded(std::string_view text, std::size_t width) {
  std::string s(text.substr(0, std::min(text.size(), width)));
  s.resize(width, ' ');
  return s;
}

std::string Lower(std::string_view text) {
  std::string s(text);
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

struct Result {
  std::string line;   // all 255 bytes
  std::string label;  // all 32 bytes
};

// Rewrites `input` into an output buffer full of garbage, so stale bytes would show.
Result Rewrite(std::string_view input, std::string_view label_before = "") {
  const FixedText<255> in(input);
  FixedText<255> out(std::string(255, '#'));
  FixedText<32> label(label_before);
  RewriteDeclaration(in, out, label);
  return {std::string(out.view()), std::string(label.view())};
}

TEST(RewriteDeclarationTest, WorkedExamples) {
  const std::string long_word = "Abcdefghijklmnopqrstuvwxyz0123456789ABCD";  // 40 characters
  const struct {
    std::string input;
    std::string expected;
  } cases[] = {
      {"Name STRING(20)", "name string(20),name('name')"},
      {"Amount DECIMAL(7,2)", "amount decimal(7,2),name('amount')"},
      {"Flags BYTE", "flags byte,name('flags')"},
      {"Count LONG ! number of items", "count long ! number of items"},
      {"Customer FILE,DRIVER('X'),PRE(CUS)", "customer file,driver('x'),pre(cus)"},
      {"ZipCode CSTRING(10)", "zipcode cstring(10),name('zipcode')"},
      {"Total ULONG", "total ulong,name('total')"},
      {"name string(20)", "name string(20)"},
      {"    STRING(10)", "    string(10),name('')"},
      {long_word + " STRING(5)",
       Lower(long_word + " STRING(5)") + ",name('" + Lower(long_word.substr(0, 32)) + "')"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(Rewrite(c.input).line, Padded(c.expected, 255));
  }
}

TEST(RewriteDeclarationTest, OnlyLowerCasesCommentsAndOtherLines) {
  // A "!" anywhere wins over a type word, and the label buffer is left as it was.
  Result r = Rewrite("Name STRING(20) ! the name", "KEEP");
  EXPECT_EQ(r.line, Padded("name string(20) ! the name", 255));
  EXPECT_EQ(r.label, Padded("KEEP", 32));

  r = Rewrite("Str STRinG(2) Long Byte", "KEEP");  // the type words are upper case only
  EXPECT_EQ(r.line, Padded("str string(2) long byte", 255));
  EXPECT_EQ(r.label, Padded("KEEP", 32));

  // A "!" as the declaration's very last character, also at the end of a full field.
  r = Rewrite("Name STRING(20)!", "KEEP");
  EXPECT_EQ(r.line, Padded("name string(20)!", 255));
  EXPECT_EQ(r.label, Padded("KEEP", 32));
  const std::string full = "Full BYTE " + std::string(244, 'W') + "!";
  ASSERT_EQ(full.size(), 255u);
  // The line is full, so an attribute would be cut away: the label tells.
  r = Rewrite(full, "KEEP");
  EXPECT_EQ(r.line, Lower(full));
  EXPECT_EQ(r.label, Padded("KEEP", 32));

  r = Rewrite("", "KEEP");
  EXPECT_EQ(r.line, std::string(255, ' '));
  EXPECT_EQ(r.label, Padded("KEEP", 32));
}

TEST(RewriteDeclarationTest, AppendsExactlyOneAttribute) {
  EXPECT_EQ(Rewrite("Both STRING(4) BYTE LONG").line,
            Padded("both string(4) byte long,name('both')", 255));
  // An attribute already there is not looked for: the line gets a second one.
  EXPECT_EQ(Rewrite("Id LONG,NAME('ID')").line, Padded("id long,name('id'),name('id')", 255));
}

TEST(RewriteDeclarationTest, LabelIsFirstWordUpToThirtyTwo) {
  // The label buffer is blanked first: nothing of an earlier, longer label stays.
  Result r = Rewrite("Id LONG", std::string(32, 'Z'));
  EXPECT_EQ(r.line, Padded("id long,name('id')", 255));
  EXPECT_EQ(r.label, Padded("Id", 32));

  const std::string word32 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";
  r = Rewrite(word32 + " BYTE");
  EXPECT_EQ(r.label, word32);
  EXPECT_EQ(r.line, Padded(Lower(word32) + " byte,name('" + Lower(word32) + "')", 255));

  // A tab is not a blank: the label runs on to the first space.
  r = Rewrite("Name\tSTRING(20) Extra");
  EXPECT_EQ(r.label, Padded("Name\tSTRING(20)", 32));
  EXPECT_EQ(r.line, Padded("name\tstring(20) extra,name('name\tstring(20)')", 255));

  // ... or to 32 characters when no space comes first.
  const std::string tabbed = "Name\tSTRING(20)\tDIM(4)\tOVER(Other)";
  r = Rewrite(tabbed);
  EXPECT_EQ(r.label, tabbed.substr(0, 32));
}

TEST(RewriteDeclarationTest, CutsTheNewLineAt255) {
  // 246 characters clipped; the attribute makes 256 and the closing parenthesis is lost.
  const std::string input = "X LONG(" + std::string(238, '9') + ")";
  ASSERT_EQ(input.size(), 246u);
  EXPECT_EQ(Rewrite(input + "   ").line, Lower(input) + ",name('x'");

  // A type word in the last four bytes of the field is still found; one cut short is not.
  const std::string filler = "F " + std::string(249, 'q');
  EXPECT_EQ(Rewrite(filler + "LONG").line, Lower(filler) + "long");
  EXPECT_EQ(Rewrite(filler + "BYT").line, Padded(Lower(filler) + "byt", 255));
  EXPECT_EQ(Rewrite(filler + "LO").line, Padded(Lower(filler) + "lo", 255));
}

TEST(RewriteDeclarationTest, LowerCasesAsciiLettersOnly) {
  EXPECT_EQ(Rewrite("Gr\xC3\x96\xC3\x9F"
                    "e STRING(10)")
                .line,
            Padded("gr\xC3\x96\xC3\x9F"
                   "e string(10),name('gr\xC3\x96\xC3\x9F"
                   "e')",
                   255));
  // Every byte value at every position in a word; bytes that equal A-Z plus 80h stay.
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  std::string expected = all;
  for (char& c : expected) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  ASSERT_NE(all.find('!'), std::string::npos);  // so the line is only lower-cased
  EXPECT_EQ(Rewrite(all).line, expected);
}

TEST(RewriteDeclarationTest, FindsTypeWordsAndLineEndsAtEveryPosition) {
  for (const std::string word : {"STRING", "DECIMAL", "LONG", "BYTE"}) {
    for (std::size_t at = 2; at < 40; ++at) {
      const std::string input = "A" + std::string(at - 1, 'x') + word;
      SCOPED_TRACE(input);
      EXPECT_EQ(Rewrite(input).line,
                Padded(Lower(input) + ",name('" + Lower(input.substr(0, 32)) + "')", 255));
      EXPECT_EQ(Rewrite(input.substr(0, input.size() - 1)).line,
                Padded(Lower(input.substr(0, input.size() - 1)), 255));
    }
  }
  // Every length of line, so every place the trailing blanks can start.
  for (std::size_t size = 6; size <= 255; ++size) {
    const std::string input = "B BYTE" + std::string(size - 6, 'Q');
    SCOPED_TRACE(size);
    EXPECT_EQ(Rewrite(input + "  ").line, Padded(Lower(input) + ",name('b')", 255));
  }
}

TEST(RewriteDeclarationTest, OutputMayBeTheInputBuffer) {
  FixedText<255> line("Name STRING(20)");
  FixedText<32> label;
  RewriteDeclaration(line, line, label);
  EXPECT_EQ(std::string(line.view()), Padded("name string(20),name('name')", 255));
}

}  // namespace
}  // namespace morlan
