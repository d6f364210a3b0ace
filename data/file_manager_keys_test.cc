// FileManager's keys, the texts built from them, and quoted values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "data/file_manager.h"
#include "platform/memory_keyed_file.h"
#include "testing/data_fixture.h"

namespace morlan {
namespace {

FileKey MakeKey(std::string name, std::vector<KeyComponent> components) {
  return FileKey{std::move(name), std::move(components), false, false};
}

using FileManagerKeysTest = testing::DataFixture<>;

TEST_F(FileManagerKeysTest, KeyTextsComponentsAndLimits) {
  RecordLayout layout;
  layout.AddField("A", FieldType::kText, 4);
  layout.AddField("B", FieldType::kLong);
  MemoryKeyedFile file("K", layout);
  FileManager manager;
  manager.Init(&file, &errors_);
  const FileKey* key = manager.AddKey(MakeKey("K:AB", {{0, true}, {1, false}}), "A then B");
  ASSERT_NE(key, nullptr);
  ASSERT_EQ(manager.KEYS->size(), 1u);
  EXPECT_EQ(manager.KEYS->front().DESCRIPTION, "A then B");
  EXPECT_EQ(manager.SelectKey(key), &manager.KEYS->front());
  EXPECT_EQ(manager.SelectKey(nullptr), nullptr);

  EXPECT_EQ(manager.KeyOrderText(key, 0), "A,-B");
  EXPECT_EQ(manager.KeyOrderText(key, 2), "-B");
  EXPECT_EQ(manager.KeyOrderText(nullptr, 0), "");
  EXPECT_EQ(manager.KeyComponentCount(key), 2);
  EXPECT_EQ(manager.KeyComponentLabel(key, 1), "A");
  EXPECT_TRUE(manager.KeyComponentField(key, 2).SameField(file.field(1)));
  EXPECT_FALSE(manager.KeyComponentField(key, 3).valid());

  AssignText({file.record(), 4}, "ab");
  file.field(1).Set(FieldValue::Number(7));
  EXPECT_EQ(manager.KeyPrefixText(key, 2, 2000), "ab|7|");
  EXPECT_EQ(manager.KeyPrefixText(key, 1, 2000), "ab|");
  EXPECT_EQ(manager.KeyPrefixText(key, 2, 4), "ab|7");

  // Low limits: ascending components at their lowest, descending ones at their highest.
  manager.SetKeyLimits(key, 1, 22, false);
  EXPECT_EQ(std::string(file.record(), 4), std::string(4, '\0'));
  const double highest = file.field(1).Get().number();
  manager.SetKeyLimits(key, 2, 22, true);
  EXPECT_LT(file.field(1).Get().number(), highest);
  EXPECT_EQ(std::string(file.record(), 4), std::string(4, '\0'));  // before `first`: untouched

  // Declaring the same key again keeps one entry; an auto-number beyond the key is refused.
  EXPECT_EQ(manager.AddKey(MakeKey("K:AB", {{0, true}, {1, false}}), "again"), key);
  EXPECT_EQ(manager.KEYS->size(), 1u);
  EXPECT_EQ(manager.AddKey(MakeKey("K:B", {{1, true}}), "B", 2), nullptr);
  EXPECT_EQ(manager.HASAUTOINC, 0);
}

TEST_F(FileManagerKeysTest, QuotedValuesDoubleTheirQuotesAndAreWholeOrNone) {
  EXPECT_EQ(FileManager::QuoteValue(FieldValue::Text("O'Brien"), ""), "'O''Brien'");
  EXPECT_EQ(FileManager::QuoteValue(FieldValue::Text("O'Brien"), "UPPER(CUS:NAME) = "),
            "UPPER('O''Brien')");
  EXPECT_EQ(FileManager::QuoteValue(FieldValue::Text(""), "upper("), "''");
  EXPECT_EQ(FileManager::QuoteValue(FieldValue::Number(42), "UPPER("), "42");
  EXPECT_EQ(FileManager::QuoteValue(FieldValue::Number(-2.5), ""), "-2.5");

  // The work area holds 2,000 characters, wrapping included. A literal that would pass it is
  // refused: a cut would leave it open or split a doubled quote.
  EXPECT_EQ(FileManager::QuoteValue(FieldValue::Text(std::string(1998, 'x')), ""),
            "'" + std::string(1998, 'x') + "'");
  EXPECT_EQ(FileManager::QuoteValue(FieldValue::Text(std::string(1999, 'x')), ""), std::nullopt);
  EXPECT_EQ(FileManager::QuoteValue(FieldValue::Text(std::string(999, '\'')), "").value().size(),
            2000u);
  EXPECT_EQ(FileManager::QuoteValue(FieldValue::Text(std::string(1000, '\'')), ""), std::nullopt);
  EXPECT_EQ(FileManager::QuoteValue(FieldValue::Text(std::string(1991, 'x')), "UPPER(").value(),
            "UPPER('" + std::string(1991, 'x') + "')");
  EXPECT_EQ(FileManager::QuoteValue(FieldValue::Text(std::string(1992, 'x')), "UPPER("),
            std::nullopt);

  EXPECT_EQ(FileManager::ClipCopy("abc  "), "abc");
  EXPECT_EQ(FileManager::ClipCopy("   "), " ");
  EXPECT_EQ(FileManager::ClipCopy(""), " ");
}

}  // namespace
}  // namespace morlan
