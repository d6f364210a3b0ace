// The view reader over views that filter: range limits and named filters select the records,
// in both directions, on the in-memory keyed driver and the text-line driver; a filter the view
// refuses reaches the person as "View Open Error" with the view's own explanation.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/file_manager.h"
#include "data/file_relations.h"
#include "data/view_reader.h"
#include "platform/runtime_error_state.h"
#include "platform/text_line_file.h"
#include "platform/view.h"
#include "testing/customer_view.h"
#include "testing/data_fixture.h"
#include "testing/records.h"
#include "testing/temp_dir.h"

namespace morlan {
namespace {

using testing::CustomerView;
using testing::PutText;
using testing::RangeValues;
using testing::ReadNames;
using Names = std::vector<std::string>;

constexpr int kName = testing::kCustomerName;
constexpr int kCity = testing::kCustomerCity;

std::shared_ptr<MemoryTable> SevenCustomers() {
  return testing::CustomerTable({{1, "Ann", "Rome"},
                                 {2, "Bob", "Oslo"},
                                 {3, "Cid", "Rome"},
                                 {4, "Dan", "Bonn"},
                                 {5, "Eve", "Rome"},
                                 {6, "O'Neil", "Rome"},
                                 {7, "eve", "Oslo"}});
}

using ViewReaderFilterTest = testing::DataFixture<>;

TEST_F(ViewReaderFilterTest, RangesAndFiltersSelectTheRecordsInBothDirections) {
  CustomerView c(&errors_, SevenCustomers());
  ViewReader reader;
  reader.Init(&c.view, &c.relations, nullptr);
  reader.AddSortOrder(c.CITY);
  RangeValues v;
  const auto next = [&] { return reader.Next(); };
  const auto previous = [&] { return reader.Previous(); };

  // Fixed on the city.
  PutText(v.City(), "Rome");
  ASSERT_EQ(reader.SetRange(LimitFixed, {{c.file.field(kCity), v.City()}}), FatalityNone);
  reader.Reset();
  EXPECT_EQ(c.view.filter(), "CUS:CITY = 'Rome'");
  EXPECT_EQ(ReadNames(c.file, next), (Names{"Ann", "Cid", "Eve", "O'Neil", "end 5"}));
  reader.Reset();
  EXPECT_EQ(ReadNames(c.file, previous), (Names{"O'Neil", "Eve", "Cid", "Ann", "end 5"}));

  // Between bounds on the name within the city, and a named filter on top.
  PutText(v.Low(), "B");
  PutText(v.High(), "Eve");
  ASSERT_EQ(reader.SetRange(LimitBetween, {{c.file.field(kCity), v.City()},
                                           {c.file.field(kName), v.Low()},
                                           {c.file.field(kName), v.High()}}),
            FatalityNone);
  reader.Reset();
  EXPECT_EQ(ReadNames(c.file, next), (Names{"Cid", "Eve", "end 5"}));
  reader.SetFilter("CUS:ID <> 3", "9 Not three");
  reader.Reset();
  EXPECT_EQ(ReadNames(c.file, previous), (Names{"Eve", "end 5"}));
  reader.SetFilter("", "9 Not three");

  // A value with an apostrophe, and a case-insensitive component.
  PutText(v.Name(), "O'Neil");
  ASSERT_EQ(reader.SetRange(LimitFixed,
                            {{c.file.field(kCity), v.City()}, {c.file.field(kName), v.Name()}}),
            FatalityNone);
  reader.Reset();
  EXPECT_EQ(ReadNames(c.file, next), (Names{"O'Neil", "end 5"}));
  c.manager.KEYS->front().FIELDS[1].LABEL = "UPPER(CUS:NAME)";
  PutText(v.City(), "Oslo");
  PutText(v.Name(), "EVE");
  reader.Reset();
  EXPECT_EQ(c.view.filter(), "CUS:CITY = 'Oslo' AND UPPER(CUS:NAME) = UPPER('EVE')");
  EXPECT_EQ(ReadNames(c.file, next), (Names{"eve", "end 5"}));

  // Following the last pair: a new value is taken over and read at the next Reset.
  RangeValues left;
  PutText(left.City(), "Bonn");
  ASSERT_EQ(reader.SetRange(LimitFollowLast, {{left.City(), v.City()}}), FatalityNone);
  reader.Reset();
  EXPECT_EQ(ReadNames(c.file, next), (Names{"Bob", "eve", "end 5"}));  // still Oslo
  EXPECT_EQ(reader.RefreshRange(), 1);
  EXPECT_EQ(c.view.filter(), "CUS:CITY = 'Bonn'");
  reader.Reset();
  EXPECT_EQ(ReadNames(c.file, next), (Names{"Dan", "end 5"}));
  EXPECT_TRUE(presenter_.message_boxes().empty());
  reader.Close();
  reader.Kill();
}

TEST_F(ViewReaderFilterTest, AFilterTheViewRefusesIsShownWithItsReasonAndDropped) {
  CustomerView c(&errors_, SevenCustomers());
  ViewReader reader;
  reader.Init(&c.view, &c.relations, nullptr);
  reader.AddSortOrder(c.ID);
  reader.SetFilter("CUS:CITY = 'Rome'");
  reader.Reset();
  ASSERT_EQ(testing::ReadNames(c.file, [&] { return reader.Next(); }),
            (Names{"Ann", "Cid", "Eve", "O'Neil", "end 5"}));

  // Another sort order whose filter names no field of the view.
  constexpr std::string_view kBad = "CUS:CITY = 'Rome' AND CUS:NOSUCH = 1";
  reader.AddSortOrder(c.ID);
  reader.SetFilter(kBad);
  reader.Reset();
  ASSERT_EQ(Captions(), std::vector<std::string>{"View Open Error"});

  // What the view says of the text written (the filter in parentheses) is what the person reads.
  EXPECT_EQ(testing::FilterOf(reader), "(" + std::string(kBad) + ")");
  View probe(c.file);
  probe.SetFilter(testing::FilterOf(reader));
  ASSERT_NE(RuntimeErrorState::code(), StatusOk);
  const std::string_view why = RuntimeErrorState::code() == StatusDriverError
                                   ? RuntimeErrorState::driver_text()
                                   : RuntimeErrorState::text();
  ASSERT_FALSE(why.empty());
  const std::string text = presenter_.message_boxes()[0].text;
  EXPECT_NE(text.find(why), std::string::npos) << text << "\n" << why;
  EXPECT_NE(text.find("Filter and Range Limits ignored"), std::string::npos) << text;

  // Ignored means ignored: not the first sort order's filter either.
  EXPECT_EQ(c.view.filter(), "");
  EXPECT_EQ(testing::ReadNames(c.file, [&] { return reader.Next(); }).size(), 8u);
  reader.Close();
  reader.Kill();
}

TEST_F(ViewReaderFilterTest, FiltersALineFileInFileOrder) {
  testing::TempDir dir;
  TextLineFile file(dir.Write("dict.qdl", "!comment\nName  STRING(20)\nAge  LONG\n!more\n"),
                    testing::LineLayout(40, "INP:F1"));
  FileManager manager;
  manager.Init(&file, &errors_);
  FileRelations relations;
  relations.Init(&manager, false);
  ASSERT_EQ(relations.Open(false), FatalityNone);
  View view(file);
  ViewReader reader;
  reader.Init(&view, &relations, nullptr);
  reader.AddSortOrder(nullptr);
  reader.SetFilter("SUB(INP:F1,1,1) <> '!'");
  reader.SetFilter("INSTRING('STRING',UPPER(F1),1,1) = 0", "9 Not text");
  reader.Reset();
  EXPECT_EQ(view.filter(), "(INSTRING('STRING',UPPER(F1),1,1) = 0) AND (SUB(INP:F1,1,1) <> '!')");
  std::vector<std::string> lines;
  while (reader.Next() == FatalityNone) lines.push_back(testing::RecordText(file));
  EXPECT_EQ(lines, std::vector<std::string>{"Age  LONG"});

  reader.SetFilter("", "9 Not text");
  reader.Reset();
  lines.clear();
  while (reader.Next() == FatalityNone) lines.push_back(testing::RecordText(file));
  EXPECT_EQ(lines, (std::vector<std::string>{"Name  STRING(20)", "Age  LONG"}));
  EXPECT_TRUE(presenter_.message_boxes().empty());
  reader.Close();
  reader.Kill();
  relations.Close(false);
  relations.Kill();
  manager.Kill();
}

}  // namespace
}  // namespace morlan
