#include "query/word_ranking.h"

#include <cstring>

namespace morlan {
namespace {

// Row n-1: the weights of an n-word query, earlier words weighing more.
constexpr std::uint8_t kWeights[WordRanking::kMaxWords][WordRanking::kMaxWords] = {
    {100},
    {65, 35},
    {50, 30, 20},
    {40, 30, 20, 10},
    {34, 27, 20, 13, 6},
    {29, 24, 19, 14, 9, 5},
    {25, 21, 17, 14, 11, 8, 4},
    {20, 18, 15, 14, 11, 10, 7, 5},
    {20, 17, 15, 13, 11, 9, 7, 5, 3},
    {19, 17, 15, 13, 11, 9, 7, 5, 3, 1},
};

}  // namespace

void WordRanking::SetWeights() { std::memcpy(BASEVALUE, kWeights, sizeof BASEVALUE); }

void WordRanking::Init() {
  NOCASE = 0;
  WORDONLY = 0;
}

void WordRanking::SetOption(int option, bool on) {
  const std::uint8_t value = on ? 1 : 0;
  if (option == kOptionNoCase) {
    if (NOCASE != value) QUERY = nullptr;
    NOCASE = value;
    return;
  }
  if (option == kOptionWordOnly) WORDONLY = value;
}

void WordRanking::Kill() {}

}  // namespace morlan
