// End to end, as a person filling a query form meets it: query entries built into a filter, set
// on a view reader over the in-memory keyed driver and over a text-line file, and the records
// that come back compared with what a plain predicate, written here without the filter engine,
// selects from the same data.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/field_value.h"
#include "common/fixed_text.h"
#include "common/record_layout.h"
#include "common/text_compare.h"
#include "data/file_manager.h"
#include "data/file_relations.h"
#include "data/view_reader.h"
#include "platform/memory_keyed_file.h"
#include "platform/text_line_file.h"
#include "platform/view.h"
#include "query/query.h"
#include "query/query_builder.h"
#include "testing/data_fixture.h"
#include "testing/records.h"
#include "testing/temp_dir.h"

namespace morlan {
namespace {

enum PersonField { kId = 0, kName = 1, kNote = 2, kCode = 3 };

struct Person {
  int id;
  std::string name;
  std::string note;
  int code;
};

// Sixty people in the order they were added; their ids are a permutation of 1..60, so the order
// along the id key is not the order of adding. Each condition of the form below turns away some
// people whom all the others would take.
std::vector<Person> People() {
  static const char* const kNames[] = {"Smith", "SMITH",   "smith", "Smithers",
                                       "Smyth", "O'Smith", "smIth", "Jones"};
  static const char* const kNotes[] = {"xyz", "abxyzc", "XYZ", "xy z", "", "see xyz", "x'yz"};
  std::vector<Person> people;
  for (int i = 0; i < 60; ++i) {
    people.push_back({(i * 17) % 60 + 1, kNames[i % 8], kNotes[i % 7], i % 4 == 0 ? 0 : 3 * i});
  }
  return people;
}

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = AsciiUpper(c);
  return upper;
}

// The form the tests fill: a number range, a pattern, a case-free value and "<>" left blank.
void FillForm(Query& query) {
  QueryField& id = query.AddField("ID", "N4");
  id.LOW = "5";
  id.HIGH = "45";
  query.AddField("NOTE", "S12").VALUE = "*xyz";
  query.AddField("NAME", "S12").VALUE = "^smith";
  query.AddField("CODE", "N6").VALUE = "<>";
}

bool WantedByForm(const Person& p) {
  return p.id >= 5 && p.id <= 45 && p.note.find("xyz") != std::string::npos &&
         Upper(p.name) == "SMITH" && p.code != 0;
}

std::string FilterFor(const Query& query) {
  QueryBuilder builder;
  std::string filter;
  EXPECT_EQ(builder.BuildFilter(query, filter), FatalityNone) << builder.error_text();
  return filter;
}

// The ids of `people` that `wanted` selects, in the order given.
template <typename Wanted>
std::vector<int> Select(const std::vector<Person>& people, Wanted wanted) {
  std::vector<int> ids;
  for (const Person& p : people) {
    if (wanted(p)) ids.push_back(p.id);
  }
  return ids;
}

std::vector<Person> ById(std::vector<Person> people) {
  std::sort(people.begin(), people.end(),
            [](const Person& a, const Person& b) { return a.id < b.id; });
  return people;
}

// A table of the people, with its manager and relation manager, a view over it, and a key by id.
struct KeyedPeople {
  explicit KeyedPeople(ErrorManager* errors) : file("PEO", Layout(), Table()), view(file) {
    manager.Init(&file, errors);
    relations.Init(&manager, false);
    BYID = manager.AddKey(FileKey{"PEO:BYID", {{kId, true}}, false, false}, "By id");
    manager.Open();
  }
  ~KeyedPeople() {
    relations.Kill();
    manager.Kill();
  }

  static RecordLayout Layout() {
    RecordLayout layout;
    layout.AddField("PEO:ID", FieldType::kLong);
    layout.AddField("PEO:NAME", FieldType::kText, 12);
    layout.AddField("PEO:NOTE", FieldType::kText, 12);
    layout.AddField("PEO:CODE", FieldType::kLong);
    return layout;
  }
  static std::shared_ptr<MemoryTable> Table() {
    const std::vector<Person> people = People();
    return testing::FilledTable("PEO", Layout(), static_cast<int>(people.size()),
                                [&people](DataFile& station, int i) {
                                  const Person& p = people[static_cast<std::size_t>(i)];
                                  station.field(kId).Set(FieldValue::Number(p.id));
                                  station.field(kName).Set(FieldValue::Text(p.name));
                                  station.field(kNote).Set(FieldValue::Text(p.note));
                                  station.field(kCode).Set(FieldValue::Number(p.code));
                                });
  }

  MemoryKeyedFile file;
  View view;
  FileManager manager;
  FileRelations relations;
  const FileKey* BYID = nullptr;
};

// Reads everything `reader` delivers from the start; the ids read, in order. Bounded, so a
// filter that does not stop the reading fails instead of hanging.
std::vector<int> ReadIds(ViewReader& reader, DataFile& file) {
  std::vector<int> ids;
  reader.Reset();
  for (int i = 0; i < 100; ++i) {
    const Level level = reader.Next();
    if (level != FatalityNone) {
      EXPECT_EQ(level, FatalityNotify);
      return ids;
    }
    const FieldValue id = file.field(kId).Get();
    ids.push_back(id.is_text() ? std::stoi(std::string(id.text())) : static_cast<int>(id.number()));
  }
  ADD_FAILURE() << "the reading did not end";
  return ids;
}

using QueryViewTest = testing::DataFixture<>;

TEST_F(QueryViewTest, FormSelectsExactlyTheWantedRecordsAlongAKey) {
  KeyedPeople people(&errors_);
  Query query;
  FillForm(query);
  const std::string filter = FilterFor(query);

  ViewReader reader;
  reader.Init(&people.view, &people.relations, nullptr);
  reader.AddSortOrder(people.BYID);
  reader.SetFilter(filter);
  const std::vector<int> expected = Select(ById(People()), WantedByForm);
  ASSERT_GE(expected.size(), 5u) << "the data should give the query something to find";
  EXPECT_EQ(ReadIds(reader, people.file), expected) << filter;
  EXPECT_TRUE(presenter_.message_boxes().empty()) << "the view refused " << filter;
  reader.Kill();
}

TEST_F(QueryViewTest, FormSelectsExactlyTheWantedLinesOfATextFile) {
  // Fixed columns: id 4, name 12, note 12, code 6; numbers are text here.
  std::string content;
  for (const Person& p : People()) {
    char line[64];
    std::snprintf(line, sizeof line, "%4d%-12s%-12s%6d\n", p.id, p.name.c_str(), p.note.c_str(),
                  p.code);
    content += line;
  }
  testing::TempDir dir;
  RecordLayout layout;
  layout.AddField("TXT:ID", FieldType::kText, 4);
  layout.AddField("TXT:NAME", FieldType::kText, 12);
  layout.AddField("TXT:NOTE", FieldType::kText, 12);
  layout.AddField("TXT:CODE", FieldType::kText, 6);
  TextLineFile file(dir.Write("people.txt", content), layout);
  FileManager manager;
  manager.Init(&file, &errors_);
  FileRelations relations;
  relations.Init(&manager, false);
  ASSERT_EQ(relations.Open(false), FatalityNone);
  View view(file);

  Query query;
  FillForm(query);
  ViewReader reader;
  reader.Init(&view, &relations, nullptr);
  reader.AddSortOrder(nullptr);
  reader.SetFilter(FilterFor(query));
  const std::vector<int> expected = Select(People(), WantedByForm);
  EXPECT_EQ(ReadIds(reader, file), expected);
  EXPECT_TRUE(presenter_.message_boxes().empty());

  reader.Close();
  reader.Kill();
  relations.Close(false);
  relations.Kill();
  manager.Kill();
}

// What a person types is compared, never obeyed: a value written to escape its condition finds
// nothing instead of every record, and the reader's own range still holds around the query.
TEST_F(QueryViewTest, TypedTextStaysInsideItsConditionAndTheRange) {
  KeyedPeople people(&errors_);
  ViewReader reader;
  reader.Init(&people.view, &people.relations, nullptr);
  reader.AddSortOrder(people.BYID);
  std::int32_t low = 10;
  std::int32_t high = 20;
  const FieldRef id = people.file.field(kId);
  ASSERT_EQ(reader.SetRange(LimitBetween,
                            {{id, FieldRef(FieldType::kLong, reinterpret_cast<char*>(&low), 4)},
                             {id, FieldRef(FieldType::kLong, reinterpret_cast<char*>(&high), 4)}}),
            FatalityNone);

  Query query;
  QueryField& code = query.AddField("CODE", "N6", 1);  // flag byte: taken as typed
  code.VALUE = "0)) OR ((1=1";
  reader.SetFilter(FilterFor(query));
  EXPECT_EQ(ReadIds(reader, people.file), std::vector<int>{});

  query.ClearValues();
  query.AddField("NAME", "S12").VALUE = "^smith";
  reader.SetFilter(FilterFor(query));
  EXPECT_EQ(ReadIds(reader, people.file), Select(ById(People()), [](const Person& p) {
              return p.id >= 10 && p.id <= 20 && Upper(p.name) == "SMITH";
            }));
  EXPECT_TRUE(presenter_.message_boxes().empty());
  reader.Kill();
}

// A field whose expression upper-cases part of it is compared whole and without letter case.
TEST_F(QueryViewTest, ExpressionsWithUpperInsideStayWhole) {
  KeyedPeople people(&errors_);
  ViewReader reader;
  reader.Init(&people.view, &people.relations, nullptr);
  reader.AddSortOrder(people.BYID);

  Query query;
  query.AddField("SUB(UPPER(NAME),1,3)", "S3").VALUE = "smi";
  reader.SetFilter(FilterFor(query));
  EXPECT_EQ(ReadIds(reader, people.file), Select(ById(People()), [](const Person& p) {
              return Upper(p.name).substr(0, 3) == "SMI";
            }));

  query.ClearValues();
  query.AddField("UPPER(NAME)", "S12").VALUE = "o'smith*";
  reader.SetFilter(FilterFor(query));
  EXPECT_EQ(ReadIds(reader, people.file), Select(ById(People()), [](const Person& p) {
              return Upper(p.name).starts_with("O'SMITH");
            }));
  EXPECT_TRUE(presenter_.message_boxes().empty());
  reader.Kill();
}

}  // namespace
}  // namespace morlan
