// The view reader: sort orders, their order and filter texts, range limits, and reading through
// views over the in-memory keyed driver and the text-line driver.
#include "data/view_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "data/file_manager.h"
#include "data/file_relations.h"
#include "platform/fault_injecting_file.h"
#include "platform/memory_keyed_file.h"
#include "platform/runtime_error_state.h"
#include "platform/text_line_file.h"
#include "platform/view.h"
#include "testing/customer_view.h"
#include "testing/data_fixture.h"
#include "testing/records.h"
#include "testing/temp_dir.h"

namespace morlan {
namespace {

using testing::CustomerLayout;
using testing::CustomerTable;
using testing::FieldText;

constexpr int kId = testing::kCustomerId;
constexpr int kName = testing::kCustomerName;
constexpr int kCity = testing::kCustomerCity;

FileKey MakeKey(std::string name, std::vector<KeyComponent> components) {
  return FileKey{std::move(name), std::move(components), false, false};
}

using Customers = testing::CustomerView;
using Values = testing::RangeValues;
using testing::FilterOf;
using testing::FourCustomers;
constexpr auto Put = testing::PutText;

template <typename Step>
std::vector<std::string> ReadAll(DataFile& file, Step step) {
  return testing::ReadNames(file, step);
}

using ViewReaderTest = testing::DataFixture<>;

// --- Sort orders, order texts and filters ---

TEST_F(ViewReaderTest, SortOrdersKeepTheirOrderTextsAndNamedFilters) {
  Customers c(&errors_, FourCustomers());
  ViewReader reader;
  reader.Init(&c.view, &c.relations, nullptr);
  EXPECT_EQ(reader.DISPOSEORDER, 1);
  EXPECT_EQ(reader.PAGESIZE, 20);
  EXPECT_EQ(reader.CurrentOrder(), nullptr);  // Init makes no sort order

  EXPECT_EQ(reader.AddSortOrder(c.CITY), 1);
  EXPECT_EQ(reader.CurrentOrder()->ORDER, "CUS:CITY,CUS:NAME");
  EXPECT_TRUE(reader.CurrentOrder()->FREEELEMENT.SameField(c.file.field(kCity)));

  // A sort order without a key has no order text; AddOrderText stores the first text as given.
  EXPECT_EQ(reader.AddSortOrder(nullptr), 2);
  EXPECT_FALSE(reader.CurrentOrder()->ORDER.has_value());
  EXPECT_FALSE(reader.CurrentOrder()->FREEELEMENT.valid());
  reader.AddOrderText("*CUS:ID");
  EXPECT_EQ(reader.CurrentOrder()->ORDER, "*CUS:ID");
  reader.AddOrderText("*CUS:CITY");  // an asterisk replaces
  EXPECT_EQ(reader.CurrentOrder()->ORDER, "CUS:CITY");
  reader.AddOrderText("CUS:NAME");  // anything else is appended
  EXPECT_EQ(reader.CurrentOrder()->ORDER, "CUS:CITY,CUS:NAME");
  reader.AddOrderText("  ");  // nothing to add
  EXPECT_EQ(reader.CurrentOrder()->ORDER, "CUS:CITY,CUS:NAME");
  reader.SetOrder("   ");
  EXPECT_FALSE(reader.CurrentOrder()->ORDER.has_value());

  // Filters: descending names, replaced in place, removed one name at a time.
  reader.SetFilter("B = 1");
  reader.SetFilter("C = 2", "9 Extra");
  reader.SetFilter("D = 3", "7 Middle");
  EXPECT_EQ(FilterOf(reader), "(C = 2) AND (D = 3) AND (B = 1)");
  reader.SetFilter("C = 4", "9 Extra");
  EXPECT_EQ(FilterOf(reader), "(C = 4) AND (D = 3) AND (B = 1)");
  reader.SetFilter("", "7 Middle");
  EXPECT_EQ(FilterOf(reader), "(C = 4) AND (B = 1)");
  reader.SetFilter("  ");
  EXPECT_EQ(FilterOf(reader), "(C = 4)");
  // Names are cut to 30 characters: the longer name is the same filter.
  reader.SetFilter("E = 5", std::string(30, 'x') + "tail");
  reader.SetFilter("F = 6", std::string(30, 'x'));
  EXPECT_EQ(FilterOf(reader), "(F = 6) AND (C = 4)");
  ASSERT_EQ(reader.CurrentOrder()->FILTER->size(), 2u);

  // Each sort order has its own; selecting one changes which is written.
  EXPECT_EQ(reader.SelectSortOrder(1), 1);
  EXPECT_EQ(FilterOf(reader), "");
  EXPECT_EQ(reader.SelectSortOrder(0), 0);  // 0 counts as 1, which is current
  EXPECT_EQ(reader.SelectSortOrder(1), 0);
  EXPECT_EQ(reader.SelectSortOrder(2), 1);
  EXPECT_EQ(FilterOf(reader), "(F = 6) AND (C = 4)");
  reader.Kill();
}

TEST_F(ViewReaderTest, RangeConditionsOfEachKindAndTheirValues) {
  Customers c(&errors_, FourCustomers());
  ViewReader reader;
  reader.Init(&c.view, &c.relations, nullptr);
  reader.AddSortOrder(c.CITY);
  Values v;

  // One fixed component and one filter.
  Put(v.City(), "North");
  ASSERT_EQ(reader.SetRange(LimitFixed, {{c.file.field(kCity), v.City()}}), FatalityNone);
  reader.SetFilter("B = 1");
  EXPECT_EQ(FilterOf(reader), "CUS:CITY = 'North' AND (B = 1)");
  EXPECT_EQ(reader.FreeComponentPosition(), 2);
  EXPECT_EQ(reader.FreeComponentName(), "CUS:NAME");
  EXPECT_TRUE(reader.CurrentOrder()->FREEELEMENT.SameField(c.file.field(kName)));
  reader.SetFilter("");

  // Both components, an apostrophe doubled.
  Put(v.Name(), "O'Neil");
  ASSERT_EQ(reader.SetRange(LimitFollowAll,
                            {{c.file.field(kCity), v.City()}, {c.file.field(kName), v.Name()}}),
            FatalityNone);
  EXPECT_EQ(FilterOf(reader), "CUS:CITY = 'North' AND CUS:NAME = 'O''Neil'");
  EXPECT_EQ(reader.FreeComponentPosition(), 0);  // every component is limited
  EXPECT_EQ(reader.FreeComponentName(), "");
  EXPECT_FALSE(reader.CurrentOrder()->FREEELEMENT.valid());

  // Between: components 1..n-2 equal, component n-1 bounded by pairs n-1 and n.
  Put(v.Low(), "B");
  Put(v.High(), "M");
  ASSERT_EQ(reader.SetRange(LimitBetween, {{c.file.field(kCity), v.City()},
                                           {c.file.field(kName), v.Low()},
                                           {c.file.field(kName), v.High()}}),
            FatalityNone);
  EXPECT_EQ(FilterOf(reader), "CUS:CITY = 'North' AND CUS:NAME >= 'B' AND CUS:NAME <= 'M'");
  EXPECT_EQ(reader.FreeComponentPosition(), 0);  // the bounded one is the last
  ASSERT_EQ(reader.SetRange(LimitBetween,
                            {{c.file.field(kCity), v.Low()}, {c.file.field(kCity), v.High()}}),
            FatalityNone);
  EXPECT_EQ(FilterOf(reader), "CUS:CITY >= 'B' AND CUS:CITY <= 'M'");
  EXPECT_EQ(reader.FreeComponentPosition(), 2);
  EXPECT_EQ(reader.FreeComponentName(), "CUS:NAME");

  // A case-insensitive component: the value is upper-cased in the filter too.
  c.manager.KEYS->front().FIELDS[1].LABEL = "UPPER(CUS:NAME)";
  ASSERT_EQ(reader.SetRange(LimitFixed,
                            {{c.file.field(kCity), v.City()}, {c.file.field(kName), v.Name()}}),
            FatalityNone);
  EXPECT_EQ(FilterOf(reader), "CUS:CITY = 'North' AND UPPER(CUS:NAME) = UPPER('O''Neil')");

  // LimitNone without pairs removes the limits.
  ASSERT_EQ(reader.SetRange(LimitNone, {}), FatalityNone);
  EXPECT_EQ(FilterOf(reader), "");
  EXPECT_EQ(reader.FreeComponentPosition(), 1);

  // The LEFT side decides whether the value is quoted: a number is written as it is; a number
  // for a text component is quoted; a text for a number component is written as its number.
  reader.AddSortOrder(c.ID);
  v.id = 42;
  ASSERT_EQ(reader.SetRange(LimitFixed, {{c.file.field(kId), v.Id()}}), FatalityNone);
  EXPECT_EQ(FilterOf(reader), "CUS:ID = 42");
  Put(v.City(), " 17 ");
  ASSERT_EQ(reader.SetRange(LimitFixed, {{c.file.field(kId), v.City()}}), FatalityNone);
  EXPECT_EQ(FilterOf(reader), "CUS:ID = 17");
  reader.SelectSortOrder(1);
  ASSERT_EQ(reader.SetRange(LimitFixed, {{c.file.field(kCity), v.Id()}}), FatalityNone);
  EXPECT_EQ(FilterOf(reader), "CUS:CITY = '42'");
  EXPECT_TRUE(presenter_.message_boxes().empty());
  reader.Kill();
}

TEST_F(ViewReaderTest, RefreshRangeTakesOverChangedValues) {
  Customers c(&errors_, FourCustomers());
  ViewReader reader;
  reader.Init(&c.view, &c.relations, nullptr);
  reader.AddSortOrder(c.CITY);
  Values left;
  Values right;

  // Fixed: never refreshed.
  ASSERT_EQ(reader.SetRange(LimitFixed, {{left.City(), right.City()}}), FatalityNone);
  Put(left.City(), "Rome");
  EXPECT_EQ(reader.RefreshRange(), 0);
  EXPECT_EQ(FilterOf(reader), "CUS:CITY = ''");

  // Follow last: only the last pair's LEFT is followed, into its RIGHT.
  ASSERT_EQ(
      reader.SetRange(LimitFollowLast, {{left.City(), right.City()}, {left.Name(), right.Name()}}),
      FatalityNone);
  EXPECT_EQ(reader.RefreshRange(), 0);  // the city changed, but it is not followed
  Put(left.Name(), "Ann");
  EXPECT_EQ(reader.RefreshRange(), 1);
  EXPECT_EQ(ClipText(right.Name().Get().text()), "Ann");
  EXPECT_EQ(FilterOf(reader), "CUS:CITY = '' AND CUS:NAME = 'Ann'");
  EXPECT_EQ(reader.RefreshRange(), 0);

  // Between: a changed lower bound takes both bounds over; a changed upper bound alone is
  // followed as the last pair.
  ASSERT_EQ(reader.SetRange(LimitBetween, {{left.City(), right.City()},
                                           {left.Low(), right.Low()},
                                           {left.High(), right.High()}}),
            FatalityNone);
  Put(left.Low(), "A");
  Put(left.High(), "C");
  EXPECT_EQ(reader.RefreshRange(), 1);
  EXPECT_EQ(FilterOf(reader), "CUS:CITY = '' AND CUS:NAME >= 'A' AND CUS:NAME <= 'C'");
  Put(left.High(), "D");
  EXPECT_EQ(reader.RefreshRange(), 1);
  EXPECT_EQ(FilterOf(reader), "CUS:CITY = '' AND CUS:NAME >= 'A' AND CUS:NAME <= 'D'");
  EXPECT_EQ(reader.RefreshRange(), 0);

  // Follow all: the RIGHT values are compared with what was taken over last time.
  ASSERT_EQ(reader.SetRange(LimitFollowAll, {{left.City(), right.City()}}), FatalityNone);
  EXPECT_EQ(reader.RefreshRange(), 0);  // blank, as when the pair was added
  Put(right.City(), "Oslo");
  EXPECT_EQ(reader.RefreshRange(), 1);
  EXPECT_EQ(reader.RefreshRange(), 0);
  EXPECT_EQ(FilterOf(reader), "CUS:CITY = 'Oslo'");
  reader.Kill();
}

// --- Reading ---

// Accepts records by city: Oslo is skipped, a second Rome ends the range.
class CityChecker final : public ViewReader {
 public:
  explicit CityChecker(DataFile& file) : file_(file) {}
  std::uint8_t CheckRecord() override {
    ++checked;
    const std::string city = FieldText(file_, kCity);
    if (city == "Oslo") return 2;
    if (city == "Rome" && ++romes == 2) return 1;
    return 0;
  }
  int checked = 0;
  int romes = 0;

 private:
  DataFile& file_;
};

TEST_F(ViewReaderTest, ReadsAlongTheKeyInBothDirectionsAndAsksCheckRecord) {
  Customers c(&errors_, FourCustomers());
  ViewReader reader;
  reader.Init(&c.view, &c.relations, nullptr);
  EXPECT_TRUE(c.file.IsOpen());  // Init's UseViewFiles opened the lazily opened file
  reader.AddSortOrder(c.CITY);
  reader.Reset();
  EXPECT_TRUE(c.view.IsOpen());
  EXPECT_EQ(reader.OPENED, 1);
  EXPECT_EQ(c.view.access_mode(), ViewReader::kViewAccessMode);
  EXPECT_EQ(c.view.page_size(), 20);
  EXPECT_EQ(c.view.buffer_timeout(), 60);
  EXPECT_EQ(ReadAll(c.file, [&] { return reader.Next(); }),
            (std::vector<std::string>{"Dan", "Bob", "Ann", "Cid", "end 5"}));
  reader.Reset();
  EXPECT_EQ(ReadAll(c.file, [&] { return reader.Previous(); }),
            (std::vector<std::string>{"Cid", "Ann", "Bob", "Dan", "end 5"}));

  // Another sort order reaches the view at the next Reset.
  reader.AddSortOrder(c.ID);
  reader.Reset();
  EXPECT_EQ(c.view.order(), "CUS:ID");
  EXPECT_EQ(ReadAll(c.file, [&] { return reader.Next(); }),
            (std::vector<std::string>{"Ann", "Bob", "Cid", "Dan", "end 5"}));

  // Open opens once but writes the order every time: a view closed behind the reader's back
  // stays closed, while its order follows the sort order.
  reader.SetOrder("CUS:CITY,CUS:NAME");
  c.view.Close();
  reader.Open();
  EXPECT_FALSE(c.view.IsOpen());
  EXPECT_EQ(c.view.order(), "CUS:CITY,CUS:NAME");
  reader.Close();
  EXPECT_EQ(reader.OPENED, 0);
  EXPECT_TRUE(presenter_.message_boxes().empty());  // the end of the records posts nothing
  reader.Kill();

  // CheckRecord: 2 skips a record, 1 ends the reading.
  CityChecker checker(c.file);
  checker.Init(&c.view, &c.relations, nullptr);
  checker.AddSortOrder(c.ID);
  checker.Reset();
  EXPECT_EQ(ReadAll(c.file, [&] { return checker.Next(); }),
            (std::vector<std::string>{"Ann", "end 5"}));
  EXPECT_EQ(checker.checked, 3);  // Ann, Bob skipped, Cid out of range
  checker.Close();
  checker.Kill();
  EXPECT_TRUE(presenter_.message_boxes().empty());
}

TEST_F(ViewReaderTest, FailuresArePostedThroughThePrimaryFile) {
  Customers c(&errors_, FourCustomers(), /*wrap=*/true);
  ViewReader reader;
  reader.Init(&c.view, &c.relations, nullptr);
  reader.AddSortOrder(c.ID);
  reader.Reset();
  ASSERT_EQ(reader.Next(), FatalityNone);

  // Another file was the last the error manager heard of; the message names the primary file.
  errors_.SetFileName("OTHER.DAT");
  c.fault.FailOnce(FileOperation::kNext, InjectedFault::Driver("E7", "sector not found"));
  EXPECT_EQ(reader.Next(), FatalityHalt);
  ASSERT_EQ(Captions(), std::vector<std::string>{"Record Retrieval Error"});
  const std::string text = presenter_.message_boxes()[0].text;
  EXPECT_NE(text.find("sector not found"), std::string::npos) << text;
  EXPECT_NE(text.find("CUS"), std::string::npos) << text;
  EXPECT_EQ(c.manager.thread_info().LASTERROR, ErrRecordRetrieval);

  // An order the view refuses, and a start it cannot take: View Open Error, and carrying on.
  reader.SetOrder("CUS:NOSUCH");
  reader.Reset(3);
  ASSERT_EQ(Captions(), (std::vector<std::string>{"Record Retrieval Error", "View Open Error",
                                                  "View Open Error"}));
  EXPECT_NE(presenter_.message_boxes()[1].text.find("CUS:NOSUCH"), std::string::npos);
  EXPECT_EQ(c.manager.thread_info().LASTERROR, ErrViewOpen);
  reader.Close();
  reader.Kill();
}

TEST_F(ViewReaderTest, AViewThatCannotOpenIsReportedOnceAndOpenedLater) {
  Customers c(&errors_, FourCustomers());
  ViewReader reader;
  reader.Init(&c.view, &c.relations, nullptr);
  reader.AddSortOrder(c.ID);
  c.file.Close();  // the view cannot open over a closed file

  reader.Reset();
  EXPECT_EQ(Captions(), std::vector<std::string>{"View Open Error"});
  EXPECT_EQ(reader.OPENED, 0);
  EXPECT_EQ(reader.Next(), FatalityHalt);
  EXPECT_EQ(Captions(), (std::vector<std::string>{"View Open Error", "Record Retrieval Error"}));

  // Once the file is open again, the next Reset opens the view.
  c.file.Open(kAccessReadWrite | kShareDenyNone);
  reader.Reset();
  EXPECT_EQ(reader.OPENED, 1);
  EXPECT_EQ(reader.Next(), FatalityNone);
  EXPECT_EQ(FieldText(c.file, kName), "Ann");
  EXPECT_EQ(presenter_.message_boxes().size(), 2u);
  reader.Close();
  reader.Kill();
}

TEST_F(ViewReaderTest, PrepareNewRecordPutsTheRangeIntoTheKey) {
  Customers c(&errors_, FourCustomers());
  ViewReader reader;
  reader.Init(&c.view, &c.relations, nullptr);
  reader.AddSortOrder(c.CITY);
  Values v;
  Put(v.City(), "Rome");
  Put(v.Name(), "Eve");
  ASSERT_EQ(reader.SetRange(LimitFixed,
                            {{c.file.field(kCity), v.City()}, {c.file.field(kName), v.Name()}}),
            FatalityNone);

  testing::SetCustomer(c.file, 9, "old", "old");
  EXPECT_EQ(reader.PrepareNewRecord(false), FatalityNone);
  EXPECT_EQ(c.file.field(kId).Get().number(), 0);  // cleared
  EXPECT_EQ(FieldText(c.file, kCity), "Rome");
  EXPECT_EQ(FieldText(c.file, kName), "Eve");

  // Between: only the components before the bounded one; the rest of the buffer kept.
  ASSERT_EQ(reader.SetRange(LimitBetween, {{c.file.field(kCity), v.City()},
                                           {c.file.field(kName), v.Low()},
                                           {c.file.field(kName), v.High()}}),
            FatalityNone);
  Put(v.City(), "Bonn");
  testing::SetCustomer(c.file, 9, "kept", "old");
  EXPECT_EQ(reader.PrepareNewRecord(true), FatalityNone);
  EXPECT_EQ(c.file.field(kId).Get().number(), 9);
  EXPECT_EQ(FieldText(c.file, kCity), "Bonn");
  EXPECT_EQ(FieldText(c.file, kName), "kept");
  reader.Kill();
}

TEST_F(ViewReaderTest, KillReleasesTheSortOrdersAndKeepsASuppliedList) {
  Customers c(&errors_, FourCustomers());
  Values v;
  ViewOrderList list;
  {
    ViewReader reader;
    reader.Init(&c.view, &c.relations, &list);
    EXPECT_EQ(reader.DISPOSEORDER, 0);
    reader.AddSortOrder(c.CITY);
    reader.SetFilter("A = 1");
    ASSERT_EQ(reader.SetRange(LimitFixed, {{c.file.field(kCity), v.City()}}), FatalityNone);
    reader.Reset();
    reader.Kill();
    EXPECT_TRUE(c.view.IsOpen());  // Kill does not close the view
    reader.Close();
    EXPECT_FALSE(c.view.IsOpen());
    reader.Kill();  // twice does nothing more
    EXPECT_EQ(reader.ORDER, &list);
  }
  ASSERT_EQ(list.ENTRIES.size(), 1u);
  const ViewOrderEntry& entry = list.ENTRIES[0];
  EXPECT_EQ(entry.RANGELIST, nullptr);
  EXPECT_EQ(entry.FILTER, nullptr);
  EXPECT_FALSE(entry.ORDER.has_value());
  EXPECT_FALSE(entry.FREEELEMENT.valid());
  EXPECT_EQ(entry.LIMITTYPE, LimitNone);

  ViewReader owner;
  owner.Init(&c.view, &c.relations, nullptr);
  owner.AddSortOrder(c.CITY);
  owner.Kill();
  EXPECT_EQ(owner.ORDER, nullptr);
  EXPECT_EQ(owner.AddSortOrder(c.CITY), 0);  // nothing to add to after Kill
  owner.Kill();
}

TEST_F(ViewReaderTest, EveryFileOfTheViewIsUsedAndClearedForANewRecord) {
  Customers c(&errors_, FourCustomers());
  // A second file whose manager only counted its open, and a third without a manager.
  MemoryKeyedFile orders("ORD", CustomerLayout(), CustomerTable({}));
  FileManager order_manager;
  order_manager.Init(&orders, &errors_);
  ASSERT_EQ(order_manager.Open(), FatalityNone);
  ASSERT_FALSE(orders.IsOpen());
  MemoryKeyedFile loose("LOOSE", CustomerLayout());
  c.view.AddFile(orders);
  c.view.AddFile(loose);

  ViewReader reader;
  reader.Init(&c.view, &c.relations, nullptr);
  EXPECT_TRUE(c.file.IsOpen());
  EXPECT_TRUE(orders.IsOpen());
  EXPECT_TRUE(presenter_.message_boxes().empty());

  reader.AddSortOrder(nullptr);
  testing::SetCustomer(c.file, 1, "a", "b");
  testing::SetCustomer(orders, 2, "c", "d");
  testing::SetCustomer(loose, 3, "e", "f");
  EXPECT_EQ(reader.PrepareNewRecord(false), FatalityNone);
  for (DataFile* file :
       {&c.file, static_cast<DataFile*>(&orders), static_cast<DataFile*>(&loose)}) {
    EXPECT_EQ(file->field(kId).Get().number(), 0) << file->name();
    EXPECT_EQ(FieldText(*file, kName), "") << file->name();
  }
  reader.Kill();
  order_manager.Close();
  order_manager.Kill();
}

// --- Declarations that do not fit ---

// The box texts shown so far, from the `first`th on.
std::vector<std::string> BoxTexts(const HeadlessPresenter& presenter, std::size_t first = 0) {
  std::vector<std::string> texts;
  const std::vector<MessageBoxRequest> boxes = presenter.message_boxes();
  for (std::size_t i = first; i < boxes.size(); ++i) texts.push_back(boxes[i].text);
  return texts;
}

TEST_F(ViewReaderTest, RangeDeclarationsBeyondThePairsOrTheKeyAreRefused) {
  Customers c(&errors_, FourCustomers());
  ViewReader reader;
  reader.Init(&c.view, &c.relations, nullptr);
  Values v;
  const FieldRef city = c.file.field(kCity);
  const FieldRef name = c.file.field(kName);
  EXPECT_NE(reader.SetRange(LimitFixed, {{city, v.City()}}), FatalityNone);  // no sort order

  reader.AddSortOrder(c.CITY);
  Put(v.City(), "Rome");
  ASSERT_EQ(reader.SetRange(LimitFixed, {{city, v.City()}}), FatalityNone);
  const std::size_t before = presenter_.message_boxes().size();

  const std::vector<std::pair<std::uint8_t, std::vector<RangePair>>> refused = {
      {LimitBetween, {{city, v.Low()}}},                                    // a bound missing
      {LimitFollowLast, {}},                                                // nothing to follow
      {LimitFixed, {}},                                                     // nothing to limit
      {LimitFixed, {{city, v.City()}, {name, v.Name()}, {name, v.Low()}}},  // 3 of 2 components
      {LimitBetween, {{city, v.City()}, {name, v.Name()}, {name, v.Low()}, {name, v.High()}}},
      {LimitNone, {{city, v.City()}}},     // pairs without a kind
      {5, {{city, v.City()}}},             // no such kind
      {LimitFixed, {{city, FieldRef()}}},  // a value of nothing
  };
  for (const auto& [kind, pairs] : refused) {
    EXPECT_NE(reader.SetRange(kind, pairs), FatalityNone)
        << "kind " << int(kind) << " with " << pairs.size() << " pairs";
  }
  // Each refusal says why, and the declaration that was in place stays.
  const std::vector<std::string> texts = BoxTexts(presenter_, before);
  EXPECT_EQ(texts.size(), refused.size());
  for (const std::string& text : texts) {
    EXPECT_NE(text.find("attempting to open the current VIEW"), std::string::npos) << text;
    EXPECT_NE(text.find("(47)"), std::string::npos) << text;
  }
  EXPECT_EQ(reader.CurrentOrder()->LIMITTYPE, LimitFixed);
  EXPECT_EQ(reader.CurrentOrder()->RANGELIST->Count(), 1u);
  EXPECT_EQ(FilterOf(reader), "CUS:CITY = 'Rome'");

  // The widest declarations that fit.
  EXPECT_EQ(reader.SetRange(LimitBetween, {{city, v.City()}, {name, v.Low()}, {name, v.High()}}),
            FatalityNone);
  EXPECT_EQ(reader.SetRange(LimitFollowAll, {{city, v.City()}, {name, v.Name()}}), FatalityNone);

  // A sort order without a key has nothing to limit.
  reader.AddSortOrder(nullptr);
  EXPECT_NE(reader.SetRange(LimitFixed, {{city, v.City()}}), FatalityNone);
  EXPECT_EQ(reader.CurrentOrder()->LIMITTYPE, LimitNone);
  reader.Kill();
}

TEST_F(ViewReaderTest, AtMost255RangePairs) {
  // A key of 256 one-byte components, each limited by a pair of its own.
  constexpr int kFields = 256;
  RecordLayout layout;
  std::vector<KeyComponent> components;
  for (int i = 0; i < kFields; ++i) {
    layout.AddField("W:B" + std::to_string(i), FieldType::kByte);
    components.push_back({i, true});
  }
  MemoryKeyedFile file("W", layout);
  file.Create();
  FileManager manager;
  manager.Init(&file, &errors_);
  const FileKey* key = manager.AddKey(MakeKey("W:ALL", components), "All");
  ASSERT_EQ(manager.Open(), FatalityNone);
  ASSERT_NE(key, nullptr);
  ASSERT_EQ(manager.KeyComponentCount(key), kFields);
  FileRelations relations;
  relations.Init(&manager, false);
  View view(file);
  ViewReader reader;
  reader.Init(&view, &relations, nullptr);
  reader.AddSortOrder(key);

  std::vector<std::uint8_t> values(kFields, 7);
  std::vector<RangePair> pairs;
  for (int i = 0; i < kFields; ++i) {
    pairs.push_back(
        {file.field(i), FieldRef(FieldType::kByte, reinterpret_cast<char*>(&values[i]), 1)});
  }
  EXPECT_NE(reader.SetRange(LimitFixed, pairs), FatalityNone);
  EXPECT_EQ(reader.CurrentOrder()->LIMITTYPE, LimitNone);
  EXPECT_EQ(Captions(), std::vector<std::string>{"View Open Error"});
  pairs.pop_back();
  EXPECT_EQ(reader.SetRange(LimitFixed, pairs), FatalityNone);
  EXPECT_EQ(reader.FreeComponentPosition(), 0);  // 256 is past what a byte can name
  reader.Kill();
  relations.Kill();
  manager.Kill();
}

TEST_F(ViewReaderTest, RangePairsAddedBehindTheReadersBackAreNotIndexedPast) {
  Customers c(&errors_, FourCustomers());
  ViewReader reader;
  reader.Init(&c.view, &c.relations, nullptr);
  reader.AddSortOrder(c.CITY);
  Values left;
  Values right;
  ViewOrderEntry& entry = *reader.CurrentOrder();

  // Kinds set on the list directly, with too few pairs for them.
  for (const std::uint8_t kind : {LimitFollowLast, LimitBetween}) {
    entry.LIMITTYPE = kind;
    EXPECT_EQ(reader.RefreshRange(), 0) << int(kind);
    EXPECT_EQ(reader.FreeComponentPosition(), 0) << int(kind);
    std::string text;
    std::string reason;
    EXPECT_FALSE(reader.BuildFilterText(&text, &reason)) << int(kind) << text;
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(reader.PrepareNewRecord(true), FatalityNone);
    entry.RANGELIST->AddPair(left.Low(), right.Low());  // Between still has too few
  }

  // More pairs than the key has components.
  entry.LIMITTYPE = LimitFixed;
  entry.RANGELIST->AddPair(left.High(), right.High());
  ASSERT_EQ(entry.RANGELIST->Count(), 3u);
  std::string text;
  std::string reason;
  EXPECT_FALSE(reader.BuildFilterText(&text, &reason)) << text;
  EXPECT_EQ(reader.FreeComponentPosition(), 0);
  reader.Reset();  // the refused filter is posted, and the view reads unfiltered
  EXPECT_EQ(Captions().back(), "View Open Error");
  EXPECT_EQ(c.view.filter(), "");
  reader.Close();
  reader.Kill();
}

TEST_F(ViewReaderTest, AFilterThatCannotBeWrittenWholeIsRefusedAndSaysWhy) {
  Customers c(&errors_, FourCustomers());
  ViewReader reader;
  reader.Init(&c.view, &c.relations, nullptr);
  reader.AddSortOrder(c.CITY);
  std::vector<char> value(3000, ' ');
  const FieldRef wide(FieldType::kText, value.data(), static_cast<std::uint32_t>(value.size()));
  ASSERT_EQ(reader.SetRange(LimitFixed, {{c.file.field(kCity), wide}}), FatalityNone);
  reader.Reset();
  ASSERT_TRUE(presenter_.message_boxes().empty());

  // Quoted, these values need 2,402, 500 and 500 characters; a cut could drop the closing quote
  // or split a doubled one, and the filter would select other records or none.
  for (const std::string& text :
       {std::string(1200, '\''), std::string(498, 'x'), std::string(248, '\'') + "xx"}) {
    Put(wide, text);
    std::string filter;
    std::string reason;
    EXPECT_FALSE(reader.BuildFilterText(&filter, &reason)) << filter.size();
    EXPECT_NE(reason.find("CUS:CITY"), std::string::npos) << reason;
    const std::size_t before = presenter_.message_boxes().size();
    reader.Reset();
    const std::vector<std::string> texts = BoxTexts(presenter_, before);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NE(texts[0].find(reason), std::string::npos) << texts[0];
    EXPECT_EQ(Captions().back(), "View Open Error");
    EXPECT_EQ(c.view.filter(), "");
  }
  // The longest value that fits.
  Put(wide, std::string(497, 'x'));
  EXPECT_EQ(FilterOf(reader), "CUS:CITY = '" + std::string(497, 'x') + "'");

  // The whole filter: at most 4,999 characters.
  ASSERT_EQ(reader.SetRange(LimitNone, {}), FatalityNone);
  reader.SetFilter(std::string(4997, 'F'));
  EXPECT_EQ(FilterOf(reader).size(), 4999u);
  reader.SetFilter(std::string(4998, 'F'));
  std::string filter;
  std::string reason;
  EXPECT_FALSE(reader.BuildFilterText(&filter, &reason)) << filter.size();
  EXPECT_NE(reason.find("4999"), std::string::npos) << reason;

  // A text that is no number, for a number component: unquoted, it would be read as expression.
  reader.AddSortOrder(c.ID);
  Put(wide, "1 OR 1 = 1");
  ASSERT_EQ(reader.SetRange(LimitFixed, {{c.file.field(kId), wide}}), FatalityNone);
  EXPECT_FALSE(reader.BuildFilterText(&filter, &reason)) << filter;
  EXPECT_NE(reason.find("CUS:ID is not a number"), std::string::npos) << reason;
  reader.Close();
  reader.Kill();
}

TEST_F(ViewReaderTest, SelectSortOrderPastTheEndChangesNothing) {
  Customers c(&errors_, FourCustomers());
  ViewReader reader;
  reader.Init(&c.view, &c.relations, nullptr);
  EXPECT_EQ(reader.SelectSortOrder(1), 0);  // no sort order yet
  reader.AddSortOrder(c.CITY);
  reader.AddSortOrder(c.ID);
  for (const std::uint8_t n : {3, 255}) {
    EXPECT_EQ(reader.SelectSortOrder(n), 0) << int(n);
    EXPECT_EQ(reader.ORDER->CURRENT, 2u);
    ASSERT_NE(reader.CurrentOrder(), nullptr);
  }
  EXPECT_EQ(reader.SelectSortOrder(1), 1);
  EXPECT_EQ(reader.CurrentOrder()->MAINKEY, c.CITY);
  reader.Kill();
}

// --- The text-line driver ---

TEST_F(ViewReaderTest, ReadsALineFileInFileOrder) {
  testing::TempDir dir;
  const std::string name = dir.Write("lines.qdl", "first\nsecond\r\nthird");
  TextLineFile file(name, testing::LineLayout(20));
  FileManager manager;
  manager.Init(&file, &errors_);
  FileRelations relations;
  relations.Init(&manager, false);
  ASSERT_EQ(relations.Open(false), FatalityNone);
  View view(file);
  ViewReader reader;
  reader.Init(&view, &relations, nullptr);
  EXPECT_EQ(reader.AddSortOrder(nullptr), 1);
  reader.Reset();
  std::vector<std::string> lines;
  while (reader.Next() == FatalityNone) lines.push_back(testing::RecordText(file));
  EXPECT_EQ(lines, (std::vector<std::string>{"first", "second", "third"}));
  EXPECT_EQ(reader.Next(), FatalityNotify);
  EXPECT_TRUE(presenter_.message_boxes().empty());

  // The driver cannot read backwards: a read error, posted, not the end of the records.
  EXPECT_EQ(reader.Previous(), FatalityHalt);
  EXPECT_EQ(Captions(), std::vector<std::string>{"Record Retrieval Error"});
  reader.Close();
  reader.Kill();
  relations.Close(false);
  relations.Kill();
  manager.Kill();
}

}  // namespace
}  // namespace morlan
