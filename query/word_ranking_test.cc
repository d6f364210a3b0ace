#include "query/word_ranking.h"

#include <cstddef>

#include "gtest/gtest.h"

namespace morlan {
namespace {

// Row n-1 weighs an n-word query: exactly n positive weights, earlier words never lighter than
// later ones, summing to 100, and nothing after them. Catches a mistyped or shifted weight.
TEST(WordRankingTest, EachRowWeighsItsWordsToOneHundred) {
  WordRanking ranking;
  ranking.SetWeights();
  for (std::size_t n = 1; n <= WordRanking::kMaxWords; ++n) {
    const std::uint8_t* row = ranking.BASEVALUE[n - 1];
    int sum = 0;
    for (std::size_t i = 0; i < WordRanking::kMaxWords; ++i) {
      if (i >= n) {
        EXPECT_EQ(row[i], 0) << "row " << n << ", weight " << i + 1;
        continue;
      }
      EXPECT_GT(row[i], 0) << "row " << n << ", weight " << i + 1;
      if (i > 0) {
        EXPECT_LE(row[i], row[i - 1]) << "row " << n << ", weight " << i + 1;
      }
      sum += row[i];
    }
    EXPECT_EQ(sum, 100) << "row " << n;
  }
  EXPECT_EQ(ranking.BASEVALUE[1][0], 65);
  EXPECT_EQ(ranking.BASEVALUE[9][9], 1);
}

// Start-up's sequence: Init, no-case on, word-only off. Switching no-case forgets the prepared
// query, since its words were prepared for the other case rule; setting it to what it already is
// keeps the query.
TEST(WordRankingTest, OptionsAndThePreparedQuery) {
  WordRanking ranking;
  const char* prepared = "alpha beta";
  ranking.NOCASE = 1;
  ranking.WORDONLY = 1;
  ranking.Init();
  EXPECT_EQ(ranking.NOCASE, 0);
  EXPECT_EQ(ranking.WORDONLY, 0);

  ranking.QUERY = prepared;
  ranking.SetOption(WordRanking::kOptionNoCase, true);
  EXPECT_EQ(ranking.NOCASE, 1);
  EXPECT_EQ(ranking.QUERY, nullptr);

  ranking.QUERY = prepared;
  ranking.SetOption(WordRanking::kOptionNoCase, true);
  EXPECT_EQ(ranking.QUERY, prepared);
  ranking.SetOption(WordRanking::kOptionNoCase, false);
  EXPECT_EQ(ranking.NOCASE, 0);
  EXPECT_EQ(ranking.QUERY, nullptr);

  ranking.QUERY = prepared;
  ranking.SetOption(WordRanking::kOptionWordOnly, true);
  EXPECT_EQ(ranking.WORDONLY, 1);
  EXPECT_EQ(ranking.QUERY, prepared);
  ranking.SetOption(WordRanking::kOptionWordOnly, false);
  EXPECT_EQ(ranking.WORDONLY, 0);

  ranking.SetOption(3, true);
  ranking.SetOption(0, true);
  EXPECT_EQ(ranking.NOCASE, 0);
  EXPECT_EQ(ranking.WORDONLY, 0);
  EXPECT_EQ(ranking.QUERY, prepared);
  ranking.Kill();
}

}  // namespace
}  // namespace morlan
