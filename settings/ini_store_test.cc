#include "settings/ini_store.h"

#include <filesystem>
#include <string>
#include <vector>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "testing/temp_dir.h"

namespace morlan {
namespace {

using ::testing::ElementsAre;
using ::testing::FieldsAre;

constexpr std::string_view kUnknown = IniStore::kUnknown;

class IniStoreTest : public ::testing::Test {
 protected:
  std::string Content() const { return dir_.Read("morlan.INI"); }

  testing::TempDir dir_;
  std::string file_ = dir_.File("morlan.INI");
  IniStore store_;
};

TEST_F(IniStoreTest, FirstRunCreatesTheReservedSection) {
  store_.Init(file_);
  EXPECT_EQ(store_.FILENAME, file_);
  ASSERT_NE(store_.SECTORS, nullptr);
  EXPECT_TRUE(store_.SECTORS->empty());
  EXPECT_FALSE(std::filesystem::exists(file_));  // loading writes nothing

  store_.FinishHook();
  store_.Kill();
  EXPECT_EQ(store_.SECTORS, nullptr);
  EXPECT_EQ(Content(), "[__Dont_Touch_Me__]\nSectors=0\n");

  // A second Kill does nothing.
  std::filesystem::remove(file_);
  store_.Kill();
  EXPECT_FALSE(std::filesystem::exists(file_));
}

TEST_F(IniStoreTest, ListRoundTripsAndLeavesTheRestOfTheFileAlone) {
  const std::string content =
      "; written by hand\n"
      "[Window]\n"
      "Left = 10\n"
      "\n"
      "; do not edit\n"
      "[__Dont_Touch_Me__]\n"
      "Sectors=2\n"
      "Sectors_1=a,b,c\n"
      "Sectors_2=d,e,f\n"
      "Sectors_3=left,over,entry\n"
      "\n"
      "[Later]\n"
      "Key=v\n";
  dir_.Write("morlan.INI", content);
  store_.Init(file_);
  ASSERT_NE(store_.SECTORS, nullptr);
  EXPECT_THAT(*store_.SECTORS, ElementsAre(FieldsAre("a", "b", "c"), FieldsAre("d", "e", "f")));
  store_.Kill();
  EXPECT_EQ(Content(), content);
}

TEST_F(IniStoreTest, MissingElementLoadsUnknownColumnsAndIsWrittenBack) {
  dir_.Write("morlan.INI", "[__dont_touch_me__]\nsectors=1\n");
  store_.Init(file_);
  ASSERT_NE(store_.SECTORS, nullptr);
  EXPECT_THAT(*store_.SECTORS, ElementsAre(FieldsAre(kUnknown, kUnknown, kUnknown)));
  store_.Kill();
  EXPECT_EQ(Content(),
            "[__dont_touch_me__]\nsectors=1\n"
            "Sectors_1=---Unknown---,---Unknown---,---Unknown---\n");
}

TEST_F(IniStoreTest, CountsThatAreNoWholeNumberLoadNothing) {
  for (const char* count : {"", "abc", "2x", "-1", "70000", "1.5"}) {
    dir_.Write("morlan.INI",
               std::string("[__Dont_Touch_Me__]\nSectors=") + count + "\nSectors_1=a,b,c\n");
    store_.Init(file_);
    ASSERT_NE(store_.SECTORS, nullptr);
    EXPECT_TRUE(store_.SECTORS->empty()) << count;
    store_.Kill();
    EXPECT_EQ(store_.Fetch("__Dont_Touch_Me__", "Sectors"), "0");
  }
}

TEST_F(IniStoreTest, ColumnsAreCutOnLoad) {
  const std::string long_text(120, 'x');
  dir_.Write("morlan.INI",
             "[__Dont_Touch_Me__]\nSectors=1\nSectors_1=" + long_text + ",b," + long_text + "\n");
  store_.Init(file_);
  ASSERT_NE(store_.SECTORS, nullptr);
  const std::string cut(IniStore::kColumnCapacity, 'x');
  EXPECT_THAT(*store_.SECTORS, ElementsAre(FieldsAre(cut, "b", cut)));
  store_.Kill();
  EXPECT_EQ(store_.Fetch("__Dont_Touch_Me__", "Sectors_1"), cut + ",b," + cut);
}

TEST_F(IniStoreTest, FetchFieldSplitsAtCommas) {
  dir_.Write("morlan.INI", "[S]\nAbc=a,b,c\nXyz=xyz\nGaps=,middle,,\n");
  store_.Init(file_);
  EXPECT_EQ(store_.FetchField("S", "Abc", 1), "a");
  EXPECT_EQ(store_.FetchField("S", "Abc", 2), "b");
  EXPECT_EQ(store_.FetchField("S", "Abc", 3), "c");
  EXPECT_EQ(store_.FetchField("S", "Abc", 4), "");  // past the end: not "a" again
  EXPECT_EQ(store_.FetchField("S", "Abc", 9), "");
  EXPECT_EQ(store_.FetchField("S", "Abc", 0), "a");
  EXPECT_EQ(store_.FetchField("S", "Xyz", 1), "xyz");
  EXPECT_EQ(store_.FetchField("S", "Xyz", 2), "");
  EXPECT_EQ(store_.FetchField("S", "Gaps", 1), "");
  EXPECT_EQ(store_.FetchField("S", "Gaps", 2), "middle");
  EXPECT_EQ(store_.FetchField("S", "Gaps", 4), "");
  EXPECT_EQ(store_.FetchField("S", "Missing", 1), kUnknown);
  EXPECT_EQ(store_.FetchField("S", "Missing", 3), kUnknown);
}

TEST_F(IniStoreTest, SingleEntries) {
  store_.Init(file_);
  EXPECT_EQ(store_.Fetch("Options", "Colour"), "");
  EXPECT_EQ(store_.FetchRequired("Options", "Colour"), kUnknown);
  store_.Update("Options", "Colour", "red, green");
  EXPECT_EQ(store_.Fetch("options", "COLOUR"), "red, green");
  store_.Update("Options", "Long", std::string(1200, 'y'));
  EXPECT_EQ(store_.Fetch("Options", "Long").size(), 1200u);
  EXPECT_EQ(store_.FetchRequired("Options", "Long"), std::string(IniStore::kRequiredCapacity, 'y'));

  // The file name keeps at most 259 characters.
  const std::string long_name = dir_.File(std::string(300, 'n'));
  IniStore other;
  other.Init(long_name);
  EXPECT_EQ(other.FILENAME, long_name.substr(0, IniStore::kFileNameCapacity));
}

TEST_F(IniStoreTest, ListsWithFewerColumns) {
  store_.Init(file_);
  const std::vector<SectorEntry> list = {{"a", "b", "c"}, {"d", "e", "f"}};
  store_.SaveList("One", "N", list, &SectorEntry::ITEM);
  store_.SaveList("Two", "N", list, &SectorEntry::TYPE, &SectorEntry::FAMILY);
  EXPECT_EQ(store_.Fetch("One", "N_2"), "e");
  EXPECT_EQ(store_.Fetch("Two", "N_1"), "c,a");

  std::vector<SectorEntry> loaded;
  store_.LoadList("Two", "N", loaded, &SectorEntry::ITEM, &SectorEntry::FAMILY);
  EXPECT_THAT(loaded, ElementsAre(FieldsAre("a", "c", ""), FieldsAre("d", "f", "")));

  // A shorter list leaves the entries of the longer one behind.
  store_.SaveList("Two", "N", {{"x", "y", "z"}}, &SectorEntry::FAMILY);
  EXPECT_EQ(store_.Fetch("Two", "N"), "1");
  EXPECT_EQ(store_.Fetch("Two", "N_1"), "x");
  EXPECT_EQ(store_.Fetch("Two", "N_2"), "f,d");
}

// Init runs OpenHook with the name set and the list there but still empty, and reads through the
// virtual ReadEntry.
class RecordingStore : public IniStore {
 public:
  std::string ReadEntry(std::string_view section, std::string_view entry,
                        std::string_view default_value, std::string_view file) override {
    reads.push_back(std::string(entry));
    return IniStore::ReadEntry(section, entry, default_value, file);
  }
  void OpenHook() override {
    hook_saw_list = SECTORS != nullptr && SECTORS->empty() && reads.empty();
    hook_saw_name = FILENAME;
  }

  std::vector<std::string> reads;
  bool hook_saw_list = false;
  std::string hook_saw_name;
};

TEST_F(IniStoreTest, InitCallsTheHookBeforeLoading) {
  dir_.Write("morlan.INI", "[__Dont_Touch_Me__]\nSectors=1\nSectors_1=a,b,c\n");
  RecordingStore store;
  store.Init(file_);
  EXPECT_TRUE(store.hook_saw_list);
  EXPECT_EQ(store.hook_saw_name, file_);
  EXPECT_THAT(store.reads, ElementsAre("Sectors", "Sectors_1", "Sectors_1", "Sectors_1"));
  store.Kill();
}

}  // namespace
}  // namespace morlan
