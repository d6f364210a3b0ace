#include "platform/ini_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "gtest/gtest.h"
#include "testing/temp_dir.h"

namespace morlan {
namespace {

// A hand-written file: a leading comment block, blank lines, odd spacing, a commented entry, a
// line that is no entry, and a comment at the end.
constexpr std::string_view kHandWritten =
    "; Settings of the tool\n"
    "; edited by hand\n"
    "\n"
    "[General]\n"
    "Name = First Value  \n"
    "; the size in pixels\n"
    "Size=10\n"
    "\n"
    "\n"
    "; unrelated things\n"
    "[Other]\n"
    "  Path=C:\\x\\y\n"
    "stray line without equals\n"
    "List=a,b,c\n"
    "; the end\n";

class IniFileTest : public ::testing::Test {
 protected:
  std::string Read(std::string_view section, std::string_view entry) {
    return IniFile::Read(file_, section, entry, "<default>");
  }
  std::string Content() const { return dir_.Read("test.ini"); }

  testing::TempDir dir_;
  std::string file_ = dir_.File("test.ini");
};

TEST_F(IniFileTest, ReadsDefaultsForWhatIsMissing) {
  EXPECT_EQ(Read("General", "Name"), "<default>");  // no file
  dir_.Write("test.ini", "");
  EXPECT_EQ(Read("General", "Name"), "<default>");
  dir_.Write("test.ini", kHandWritten);
  EXPECT_EQ(Read("Missing", "Name"), "<default>");
  EXPECT_EQ(Read("General", "Missing"), "<default>");
  EXPECT_EQ(Read("Other", "Name"), "<default>");  // entry of another section
  EXPECT_EQ(Read("General", ""), "<default>");
  EXPECT_EQ(Read("", "Name"), "<default>");
  EXPECT_EQ(IniFile::Read(dir_.path().string(), "General", "Name", "d"), "d");  // a directory
}

TEST_F(IniFileTest, NamesIgnoreCaseAndValuesLoseSurroundingBlanks) {
  dir_.Write("test.ini", kHandWritten);
  EXPECT_EQ(Read("general", "NAME"), "First Value");
  EXPECT_EQ(Read("GENERAL", "size"), "10");
  EXPECT_EQ(Read(" Other ", "path"), "C:\\x\\y");
  EXPECT_EQ(Read("OTHER", "List"), "a,b,c");

  dir_.Write("test.ini", "[S]\r\nA=\t 1 \t\r\nEmpty=\r\nQuoted=\"q\"\r\nEq=x=y==z\r\n");
  EXPECT_EQ(Read("s", "a"), "1");
  EXPECT_EQ(IniFile::Read(file_, "S", "Empty", "d"), "");
  EXPECT_EQ(Read("S", "Quoted"), "\"q\"");
  EXPECT_EQ(Read("S", "Eq"), "x=y==z");
}

TEST_F(IniFileTest, WriteCreatesFileSectionAndEntry) {
  ASSERT_TRUE(IniFile::Write(file_, "First", "Key", "one"));
  EXPECT_EQ(Content(), "[First]\nKey=one\n");
  ASSERT_TRUE(IniFile::Write(file_, "First", "Other", "two"));
  ASSERT_TRUE(IniFile::Write(file_, "Second", "Key", "a=b, c,d"));
  EXPECT_EQ(Content(), "[First]\nKey=one\nOther=two\n[Second]\nKey=a=b, c,d\n");
  EXPECT_EQ(Read("second", "key"), "a=b, c,d");
  EXPECT_EQ(Read("First", "Other"), "two");
  // No temporary file is left behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 1);
}

TEST_F(IniFileTest, WriteReplacesInPlaceAndKeepsEverythingElse) {
  dir_.Write("test.ini", kHandWritten);
  ASSERT_TRUE(IniFile::Write(file_, "GENERAL", "name", "New"));
  ASSERT_TRUE(IniFile::Write(file_, "other", "LIST", "x,y"));
  std::string expected(kHandWritten);
  expected.replace(expected.find("First Value"), 11, "New");
  expected.replace(expected.find("a,b,c"), 5, "x,y");
  EXPECT_EQ(Content(), expected);
  EXPECT_EQ(Read("General", "Name"), "New");

  // A new entry follows the section's last entry, ahead of the blank lines and the comment that
  // belong to the next section; a new section goes to the end.
  ASSERT_TRUE(IniFile::Write(file_, "General", "Added", "1"));
  ASSERT_TRUE(IniFile::Write(file_, "Third", "Key", "v"));
  expected.insert(expected.find("Size=10\n") + 8, "Added=1\n");
  expected += "[Third]\nKey=v\n";
  EXPECT_EQ(Content(), expected);

  // Writing the value already there leaves the file alone.
  struct stat before;
  ASSERT_EQ(::stat(file_.c_str(), &before), 0);
  ASSERT_TRUE(IniFile::Write(file_, "General", "Size", "10"));
  struct stat after;
  ASSERT_EQ(::stat(file_.c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);
}

TEST_F(IniFileTest, WriteKeepsLineEndsByteOrderMarkAndPermissions) {
  dir_.Write("test.ini", "\xEF\xBB\xBF[A]\r\nX=1\r\n[B]\r\nY=2");
  ::chmod(file_.c_str(), 0640);
  ASSERT_TRUE(IniFile::Write(file_, "A", "Z", "3"));
  ASSERT_TRUE(IniFile::Write(file_, "B", "W", "4"));
  ASSERT_TRUE(IniFile::Write(file_, "C", "V", ""));
  EXPECT_EQ(Content(), "\xEF\xBB\xBF[A]\r\nX=1\r\nZ=3\r\n[B]\r\nY=2\r\nW=4\r\n[C]\r\nV=\r\n");
  EXPECT_EQ(Read("a", "x"), "1");
  ASSERT_TRUE(IniFile::Write(file_, "C", "V", "filled"));
  EXPECT_EQ(Read("C", "V"), "filled");
  struct stat st;
  ASSERT_EQ(::stat(file_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);

  // A symbolic link stays a link; its target gets the change.
  const std::string link = dir_.File("link.ini");
  ASSERT_EQ(::symlink(file_.c_str(), link.c_str()), 0);
  ASSERT_TRUE(IniFile::Write(link, "A", "X", "via link"));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(Read("A", "X"), "via link");
}

TEST_F(IniFileTest, MalformedInputNeverCrashes) {
  // An unterminated header is skipped; its entries do not belong to it.
  dir_.Write("test.ini", "[Open\nKey=1\n[Good]\nKey=2\n[");
  EXPECT_EQ(Read("Open", "Key"), "<default>");
  EXPECT_EQ(Read("Good", "Key"), "2");
  ASSERT_TRUE(IniFile::Write(file_, "Good", "Key", "3"));
  EXPECT_EQ(Content(), "[Open\nKey=1\n[Good]\nKey=3\n[");
  // A lone "[" would take an added header into its own; such a write is refused.
  EXPECT_FALSE(IniFile::Write(file_, "New", "Key", "v"));
  EXPECT_EQ(Content(), "[Open\nKey=1\n[Good]\nKey=3\n[");

  // A huge line, then a good section.
  std::string huge(2 << 20, 'x');
  dir_.Write("test.ini", huge + "\n[S]\nK=" + huge + "\n=no name\n");
  EXPECT_EQ(Read("S", "K"), huge);

  // Binary junk: every byte value, NULs included. Reads give defaults; a write is refused
  // because what follows a NUL cannot be read back, and the file stays as it was.
  std::string junk;
  for (int round = 0; round < 4; ++round) {
    for (int c = 0; c < 256; ++c) junk.push_back(static_cast<char>((c * 37 + round) & 0xff));
  }
  dir_.Write("test.ini", junk);
  EXPECT_EQ(Read("S", "K"), "<default>");
  EXPECT_FALSE(IniFile::Write(file_, "S", "K", "v"));
  EXPECT_EQ(Content(), junk);

  // Junk without NULs can be written to, and is kept.
  std::string no_nul = junk;
  std::erase(no_nul, '\0');
  dir_.Write("test.ini", no_nul);
  ASSERT_TRUE(IniFile::Write(file_, "S", "K", "v"));
  EXPECT_EQ(Read("S", "K"), "v");
  EXPECT_EQ(Content().substr(0, no_nul.size()), no_nul);
}

TEST_F(IniFileTest, RefusesWritesThatWouldReadBackDifferently) {
  dir_.Write("test.ini", kHandWritten);
  EXPECT_FALSE(IniFile::Write(file_, "General", "Name", "two\nlines"));
  EXPECT_FALSE(IniFile::Write(file_, "General", "Name", "cr\r"));
  EXPECT_FALSE(IniFile::Write(file_, "General", "Name", std::string_view("nul\0", 4)));
  EXPECT_FALSE(IniFile::Write(file_, "General", "a=b", "v"));
  EXPECT_FALSE(IniFile::Write(file_, "General", ";comment", "v"));
  EXPECT_FALSE(IniFile::Write(file_, "General", "[x", "v"));
  EXPECT_FALSE(IniFile::Write(file_, "General", "  ", "v"));
  EXPECT_FALSE(IniFile::Write(file_, "Gen]eral", "Name", "v"));
  EXPECT_FALSE(IniFile::Write(file_, "", "Name", "v"));
  EXPECT_FALSE(IniFile::Write("", "General", "Name", "v"));
  EXPECT_EQ(Content(), kHandWritten);

  // File system failures: a directory, a missing directory.
  EXPECT_FALSE(IniFile::Write(dir_.path().string(), "S", "K", "v"));
  EXPECT_FALSE(IniFile::Write(dir_.File("no/such/dir.ini"), "S", "K", "v"));
}

// Many settings in one write end as writing them one by one would: in place, added after the
// section's last entry in order, new sections at the end, a later setting of an entry winning,
// refused ones left out; on every kind of file.
TEST_F(IniFileTest, WriteOfManySettingsEqualsWritingThemOneByOne) {
  const std::vector<IniFile::Setting> settings = {
      {"General", "Name", "first"},  {"Other", "List", "x,y"},     {"General", "Added", "1"},
      {"Third", "A", "a"},           {"General", "Bad=", "never"}, {"third", "B", " b "},
      {"GENERAL", "name", "second"}, {"Fourth", "C", ""},          {"General", "Added2", "2"},
      {"general", "ADDED", "again"}, {"Other", "Cr", "x\ry"},      {"Third", "A", "a2"},
  };
  const std::vector<std::string> files = {
      "",
      std::string(kHandWritten),
      "\xEF\xBB\xBF[General]\r\nName=old\r\n[Other]\r\nList=",
      "[General]\nName=",
      "[Open\nKey=1\n[General]\nName=3\n[",
      "no section line\n; comment\n[general]\n",
  };
  for (const std::string& start : files) {
    const std::string one_by_one = dir_.File("one.ini");
    dir_.Write("test.ini", start);
    dir_.Write("one.ini", start);
    bool expected = true;
    for (const IniFile::Setting& setting : settings) {
      expected =
          IniFile::Write(one_by_one, setting.section, setting.entry, setting.value) && expected;
    }
    EXPECT_EQ(IniFile::Write(file_, settings), expected) << start;
    EXPECT_EQ(Content(), dir_.Read("one.ini")) << start;
    EXPECT_FALSE(expected) << "two settings are refused";
  }
  // No file yet: it is created. No temporary file is left behind.
  std::filesystem::remove(file_);
  EXPECT_FALSE(IniFile::Write(file_, settings));
  EXPECT_EQ(Read("Third", "A"), "a2");
  EXPECT_EQ(Read("General", "Added"), "again");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 2);

  // Nothing to do, or only refused settings: the file is not touched.
  const std::string before = Content();
  EXPECT_TRUE(IniFile::Write(file_, std::span<const IniFile::Setting>()));
  const IniFile::Setting refused[] = {{"S", "", "v"}, {"S", "K", "a\nb"}};
  EXPECT_FALSE(IniFile::Write(file_, refused));
  EXPECT_FALSE(IniFile::Write("", settings));
  EXPECT_EQ(Content(), before);
}

TEST_F(IniFileTest, SnapshotReadsTheFileAsItWas) {
  EXPECT_EQ(IniFile::Snapshot(file_).Read("General", "Name", "d"), "d");  // no file
  EXPECT_EQ(IniFile::Snapshot("").Read("General", "Name", "d"), "d");
  EXPECT_EQ(IniFile::Snapshot(dir_.path().string()).Read("General", "Name", "d"), "d");

  dir_.Write("test.ini", kHandWritten);
  IniFile::Snapshot snapshot(file_);
  ASSERT_TRUE(IniFile::Write(file_, "General", "Name", "changed"));
  EXPECT_EQ(snapshot.Read(" general ", "NAME", "d"), "First Value");
  EXPECT_EQ(snapshot.Read("Other", "List", "d"), "a,b,c");
  EXPECT_EQ(snapshot.Read("Other", "Missing", "d"), "d");
  EXPECT_EQ(snapshot.Read("Other", "a=b", "d"), "d");
  const IniFile::Snapshot moved = std::move(snapshot);
  EXPECT_EQ(moved.Read("General", "Size", "d"), "10");
  EXPECT_EQ(IniFile::Snapshot(file_).Read("General", "Name", "d"), "changed");
}

TEST_F(IniFileTest, RelativeNameMeansWorkingDirectory) {
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir_.path());
  const bool written = IniFile::Write("relative.ini", "S", "K", "here");
  std::filesystem::current_path(previous);
  ASSERT_TRUE(written);
  EXPECT_EQ(IniFile::Read(dir_.File("relative.ini"), "S", "K", ""), "here");
}

TEST_F(IniFileTest, ConcurrentWritesAreAllKept) {
  constexpr int kThreads = 4;
  constexpr int kEntries = 8;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      for (int i = 0; i < kEntries; ++i) {
        IniFile::Write(file_, "T" + std::to_string(t), "E" + std::to_string(i), std::to_string(i));
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kEntries; ++i) {
      EXPECT_EQ(Read("T" + std::to_string(t), "E" + std::to_string(i)), std::to_string(i));
    }
  }
}

}  // namespace
}  // namespace morlan
