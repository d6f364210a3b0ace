#include "platform/view.h"

#include <string>
#include <vector>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/fault_injecting_file.h"
#include "platform/memory_keyed_file.h"
#include "platform/runtime_error_state.h"
#include "platform/text_line_file.h"
#include "testing/temp_dir.h"

namespace morlan {
namespace {

using ::testing::ElementsAre;

constexpr std::uint8_t kFrameworkViewMode = 0x22;
constexpr std::uint8_t kReadWrite = kAccessReadWrite | kShareDenyNone;

std::string FirstField(DataFile& file) {
  const FieldDesc& desc = file.layout().field(0);
  return std::string(ClipText({file.record() + desc.offset, desc.size}));
}

// Reads on with `step` until it fails; the first field of each record read, then "<code>" of the
// failure that ended it.
std::vector<std::string> ReadOn(View& view, void (View::*step)() = &View::Next) {
  std::vector<std::string> out;
  for (;;) {
    (view.*step)();
    if (RuntimeErrorState::code() != StatusOk) {
      out.push_back("<" + std::to_string(RuntimeErrorState::code()) + ">");
      return out;
    }
    out.push_back(FirstField(view.primary()));
  }
}

RecordLayout LineLayout() {
  RecordLayout layout;
  layout.AddField("F1", FieldType::kText, 20);
  return layout;
}

class ViewOverLinesTest : public ::testing::Test {
 protected:
  ViewOverLinesTest()
      : lines_(dir_.Write("lines.txt", "one\ntwo\nthree\n"), LineLayout()),
        other_(dir_.Write("other.txt", ""), LineLayout()),
        view_(lines_) {
    view_.AddFile(other_);
  }

  void OpenAll() {
    lines_.Open(kReadWrite);
    ASSERT_EQ(RuntimeErrorState::code(), StatusOk);
    view_.Open(kFrameworkViewMode);
    ASSERT_EQ(RuntimeErrorState::code(), StatusOk);
  }

  testing::TempDir dir_;
  TextLineFile lines_;
  TextLineFile other_;
  View view_;
};

TEST_F(ViewOverLinesTest, FilesAreZeroBasedWithThePrimaryFirst) {
  EXPECT_EQ(view_.file_count(), 2);
  EXPECT_EQ(view_.file(0), &lines_);
  EXPECT_EQ(view_.file(1), &other_);
  EXPECT_EQ(view_.file(2), nullptr);
  EXPECT_EQ(view_.file(-1), nullptr);
}

TEST_F(ViewOverLinesTest, OpenReadCloseLeaveTheFilesAsTheyWere) {
  view_.Next();
  EXPECT_EQ(RuntimeErrorState::code(), StatusNotOpen);
  // The view does not open its files: over a closed primary file it stays closed.
  view_.Open(kFrameworkViewMode);
  EXPECT_EQ(RuntimeErrorState::code(), StatusNotOpen);
  EXPECT_FALSE(view_.IsOpen());
  EXPECT_FALSE(lines_.IsOpen());

  OpenAll();
  EXPECT_EQ(view_.access_mode(), kFrameworkViewMode);
  view_.Next();
  EXPECT_EQ(FirstField(lines_), "one");
  // Opening again is refused and changes nothing: reading goes on where it was.
  view_.Open(52);
  EXPECT_EQ(RuntimeErrorState::code(), StatusAlreadyOpen);
  EXPECT_TRUE(view_.IsOpen());
  EXPECT_THAT(ReadOn(view_), ElementsAre("two", "three", "<33>"));

  view_.Close();
  EXPECT_EQ(RuntimeErrorState::code(), StatusOk);
  EXPECT_FALSE(view_.IsOpen());
  EXPECT_TRUE(lines_.IsOpen());
  view_.Close();
  EXPECT_EQ(RuntimeErrorState::code(), StatusNotOpen);
  view_.Previous();
  EXPECT_EQ(RuntimeErrorState::code(), StatusNotOpen);

  // Reopened, the view reads from the start again.
  view_.Open(kFrameworkViewMode);
  EXPECT_THAT(ReadOn(view_), ElementsAre("one", "two", "three", "<33>"));
}

TEST_F(ViewOverLinesTest, SetStartRestartsTheOrderAndOffersOnlyItsStart) {
  view_.SetStart(0);
  EXPECT_EQ(RuntimeErrorState::code(), StatusNotOpen);
  OpenAll();
  EXPECT_THAT(ReadOn(view_), ElementsAre("one", "two", "three", "<33>"));
  view_.SetStart(0);
  EXPECT_EQ(RuntimeErrorState::code(), StatusOk);
  view_.Next();
  EXPECT_EQ(FirstField(lines_), "one");

  view_.SetStart(2);
  EXPECT_EQ(RuntimeErrorState::code(), StatusInvalidRequest);
  EXPECT_EQ(RuntimeErrorState::text(), "Start position not supported: 2");
  // A refused start leaves reading where it was.
  view_.Next();
  EXPECT_EQ(FirstField(lines_), "two");
}

TEST_F(ViewOverLinesTest, BadFiltersAndUnknownOrdersAreRefusedNotIgnored) {
  // Both files have a field F1: a bare name could mean either.
  view_.SetFilter("F1 = 'two'");
  EXPECT_EQ(RuntimeErrorState::code(), StatusInvalidRequest);
  EXPECT_EQ(RuntimeErrorState::text(), "Filter: field 'F1' at column 1 is ambiguous");
  view_.SetFilter("  ");
  EXPECT_EQ(RuntimeErrorState::code(), StatusOk);
  EXPECT_EQ(view_.filter(), "");

  // A file without keys has file order only.
  view_.SetOrder("F1");
  EXPECT_EQ(RuntimeErrorState::code(), StatusInvalidRequest);
  EXPECT_EQ(RuntimeErrorState::text(), "Order not supported: F1");
  view_.SetOrder(" ");
  EXPECT_EQ(RuntimeErrorState::code(), StatusOk);
  EXPECT_EQ(view_.order_key(), nullptr);

  view_.SetBuffering(4096, 1, 3, 30);
  EXPECT_EQ(RuntimeErrorState::code(), StatusOk);
  EXPECT_EQ(view_.page_size(), 4096);
  EXPECT_EQ(view_.pages_behind(), 1);
  EXPECT_EQ(view_.pages_ahead(), 3);
  EXPECT_EQ(view_.buffer_timeout(), 30);

  OpenAll();
  EXPECT_THAT(ReadOn(view_), ElementsAre("one", "two", "three", "<33>"));
}

TEST_F(ViewOverLinesTest, AFailedStartLeavesTheViewClosed) {
  FaultInjectingFile faulty(lines_);
  View view(faulty);
  lines_.Open(kReadWrite);
  faulty.FailOnce(FileOperation::kSetStart, InjectedFault::Driver("5", "Input/output error"));
  view.Open(kFrameworkViewMode);
  EXPECT_EQ(RuntimeErrorState::code(), StatusDriverError);
  EXPECT_FALSE(view.IsOpen());
  view.Open(kFrameworkViewMode);
  EXPECT_EQ(RuntimeErrorState::code(), StatusOk);
  EXPECT_EQ(faulty.calls(FileOperation::kSetStart), 2);
}

// Customers by name and by age (descending) then name.
class ViewKeyOrderTest : public ::testing::Test {
 protected:
  ViewKeyOrderTest() : file_("CUS", Layout()), view_(file_) {
    file_.Create();
    by_name_ = file_.AddKey({"CUS:BYNAME", {{0, true}}});
    by_age_ = file_.AddKey({"CUS:BYAGE", {{1, false}, {0, true}}});
    file_.Open(kReadWrite);
    for (const auto& [name, age] :
         std::vector<std::pair<std::string, int>>{{"Carol", 30}, {"Alice", 40}, {"Bob", 30}}) {
      file_.field(0).Set(FieldValue::Text(name));
      file_.field(1).Set(FieldValue::Number(age));
      file_.Add();
    }
  }

  static RecordLayout Layout() {
    RecordLayout layout;
    layout.AddField("CUS:NAME", FieldType::kText, 10);
    layout.AddField("CUS:AGE", FieldType::kLong);
    return layout;
  }

  void OrderOrDie(std::string_view order) {
    view_.SetOrder(order);
    ASSERT_EQ(RuntimeErrorState::code(), StatusOk) << order;
  }

  MemoryKeyedFile file_;
  View view_;
  const FileKey* by_name_ = nullptr;
  const FileKey* by_age_ = nullptr;
};

TEST_F(ViewKeyOrderTest, OrderTextsNamingAKeyReadAlongIt) {
  ASSERT_NE(by_name_, nullptr);
  ASSERT_NE(by_age_, nullptr);
  OrderOrDie(" cus:name ");
  EXPECT_EQ(view_.order_key(), by_name_);
  view_.Open(kFrameworkViewMode);
  EXPECT_THAT(ReadOn(view_), ElementsAre("Alice", "Bob", "Carol", "<33>"));

  // Blanks, case and labels do not matter; the direction marks do.
  OrderOrDie("- Age , Cus:Name");
  EXPECT_EQ(view_.order_key(), by_age_);
  view_.SetStart(0);
  EXPECT_THAT(ReadOn(view_), ElementsAre("Alice", "Bob", "Carol", "<33>"));
  view_.SetStart(0);
  EXPECT_THAT(ReadOn(view_, &View::Previous), ElementsAre("Carol", "Bob", "Alice", "<33>"));

  OrderOrDie("");
  view_.SetStart(0);
  EXPECT_THAT(ReadOn(view_), ElementsAre("Carol", "Alice", "Bob", "<33>"));
}

TEST_F(ViewKeyOrderTest, OrderTextsNamingNoKeyAreRefusedAndKeepTheOrder) {
  OrderOrDie("-AGE,NAME");
  for (const std::string_view refused :
       {"AGE,NAME", "NAME,-AGE", "-AGE", "-AGE,NAME,", "-AGE,NAME,NAME", "-AGE,,NAME", "--AGE,NAME",
        "-AGE,OTHER:NAME", "-AGE;NAME", "CUS:BYNAME"}) {
    view_.SetOrder(refused);
    EXPECT_EQ(RuntimeErrorState::code(), StatusInvalidRequest) << refused;
    EXPECT_EQ(RuntimeErrorState::text(), "Order not supported: " + std::string(refused));
    EXPECT_EQ(view_.order(), "-AGE,NAME");
    EXPECT_EQ(view_.order_key(), by_age_);
  }
}

TEST_F(ViewKeyOrderTest, ANewOrderTakesEffectAtTheNextStart) {
  OrderOrDie("NAME");
  view_.Open(kFrameworkViewMode);
  view_.Next();
  EXPECT_EQ(FirstField(file_), "Alice");
  OrderOrDie("");
  EXPECT_THAT(ReadOn(view_), ElementsAre("Bob", "Carol", "<33>"));
  view_.SetStart(0);
  EXPECT_THAT(ReadOn(view_), ElementsAre("Carol", "Alice", "Bob", "<33>"));
}

// Sales lines in INP, with a few fields of each kind; OUT rides along and is not read.
class ViewFilterTest : public ::testing::Test {
 protected:
  ViewFilterTest() : inp_("INP", InpLayout()), out_("OUT", OutLayout()), view_(inp_) {
    view_.AddFile(out_);
    inp_.Create();
    out_.Create();
    inp_.Open(kReadWrite);
    out_.Open(kReadWrite);
    struct Row {
      const char* name;
      const char* region;
      int amount;
      double price;
    };
    for (const Row& row : {Row{"o'brien", "North", 10, 1.5}, Row{"Smith", "South", 15, 2.25},
                           Row{"xyzzy", "North", 20, 0}, Row{"Abel", "North ", 25, -3},
                           Row{"", "North", 30, 1e21}}) {
      inp_.field(0).Set(FieldValue::Text(row.name));
      inp_.field(1).Set(FieldValue::Text(row.region));
      inp_.field(2).Set(FieldValue::Number(row.amount));
      inp_.field(3).Set(FieldValue::Number(row.price));
      inp_.Add();
    }
  }

  static RecordLayout InpLayout() {
    RecordLayout layout;
    layout.AddField("INP:NAME", FieldType::kText, 12);
    layout.AddField("INP:REGION", FieldType::kText, 8);
    layout.AddField("INP:AMOUNT", FieldType::kLong);
    layout.AddField("INP:PRICE", FieldType::kReal);
    return layout;
  }
  static RecordLayout OutLayout() {
    RecordLayout layout;
    layout.AddField("OUT:TITLE", FieldType::kText, 12);
    layout.AddField("OUT:LIMIT", FieldType::kShort);
    return layout;
  }

  // The names of the records `filter` delivers, from the start, then "<code>".
  std::vector<std::string> Filtered(std::string_view filter, void (View::*step)() = &View::Next) {
    view_.SetFilter(filter);
    if (RuntimeErrorState::code() != StatusOk) {
      return {"refused: " + std::string(RuntimeErrorState::text())};
    }
    if (!view_.IsOpen()) view_.Open(kFrameworkViewMode);
    view_.SetStart(0);
    return ReadOn(view_, step);
  }

  MemoryKeyedFile inp_;
  MemoryKeyedFile out_;
  View view_;
};

TEST_F(ViewFilterTest, DeliversOnlyTheRecordsTheFilterHoldsFor) {
  EXPECT_THAT(Filtered("REGION = 'North' AND (NAME)"),
              ElementsAre("o'brien", "xyzzy", "Abel", "<33>"));
  EXPECT_THAT(Filtered("REGION = 'North' AND (NAME)", &View::Previous),
              ElementsAre("Abel", "xyzzy", "o'brien", "<33>"));
  EXPECT_THAT(Filtered("inp:Region = 'South' or AMOUNT >= 25"),
              ElementsAre("Smith", "Abel", "", "<33>"));
  EXPECT_THAT(Filtered("UPPER(NAME) = UPPER('O''BRIEN')"), ElementsAre("o'brien", "<33>"));
  EXPECT_THAT(Filtered("INSTRING('yzz',NAME,1,1) <> 0"), ElementsAre("xyzzy", "<33>"));
  EXPECT_THAT(Filtered("SUB(NAME,1,3) = 'xyz'"), ElementsAre("xyzzy", "<33>"));
  EXPECT_THAT(Filtered("(AMOUNT >= 15) AND (AMOUNT <= 25)"),
              ElementsAre("Smith", "xyzzy", "Abel", "<33>"));
  EXPECT_THAT(Filtered("FORMAT(PRICE,@n9.2) = '2.25'"), ElementsAre("Smith", "<33>"));
  EXPECT_THAT(Filtered("NAME >= 'm' AND NAME <= 'p' AND REGION = 'North'"),
              ElementsAre("o'brien", "<33>"));
  EXPECT_THAT(Filtered("NAME = 'nobody'"), ElementsAre("<33>"));
  EXPECT_THAT(Filtered(""), ElementsAre("o'brien", "Smith", "xyzzy", "Abel", "", "<33>"));
}

TEST_F(ViewFilterTest, FieldsOfAFileTheViewDoesNotReadComeFromItsBuffer) {
  out_.field(1).Set(FieldValue::Number(20));
  EXPECT_THAT(Filtered("AMOUNT > OUT:LIMIT"), ElementsAre("Abel", "", "<33>"));

  // Once another file has a NAME too, only the label tells which.
  RecordLayout layout;
  layout.AddField("EXT:NAME", FieldType::kText, 4);
  MemoryKeyedFile ext("EXT", layout);
  view_.AddFile(ext);
  EXPECT_THAT(Filtered("NAME = 'Abel'"),
              ElementsAre("refused: Filter: field 'NAME' at column 1 is ambiguous"));
  ext.field(0).Set(FieldValue::Text("Abel"));
  EXPECT_THAT(Filtered("inp:name = ext:name"), ElementsAre("Abel", "<33>"));
}

}  // namespace
}  // namespace morlan
