// The word-ranking object: a table of weights by word position and the options of a search over
// up to ten query words. The program keeps one instance for its whole run: start-up fills the
// weights and sets the options, shutdown kills it. Searching and scoring are not part of this
// program; the fields below are the state they would work on.
//
// Threading: set up and killed on the main thread while no other thread uses it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace morlan {

class WordRanking {
 public:
  static constexpr std::size_t kMaxWords = 10;
  static constexpr std::size_t kWordCapacity = 256;
  static constexpr std::size_t kResultsPerWord = 20;

  // Options for SetOption.
  static constexpr int kOptionNoCase = 1;
  static constexpr int kOptionWordOnly = 2;

  // Every field zero.
  WordRanking() = default;
  WordRanking(const WordRanking&) = delete;
  WordRanking& operator=(const WordRanking&) = delete;
  virtual ~WordRanking() = default;

  // Fills BASEVALUE: row n-1 holds the n weights, summing to 100, given to the words of an
  // n-word query by position; the rest of the table is 0.
  virtual void SetWeights();
  // Case and whole-word matching off.
  virtual void Init();
  // Option kOptionNoCase sets NOCASE to `on` (0 or 1) and, when that changes it, forgets the
  // prepared query (QUERY null) so it is prepared again. kOptionWordOnly sets WORDONLY. Any other
  // option does nothing.
  virtual void SetOption(int option, bool on);
  // Holds nothing to release.
  virtual void Kill();

  std::uint8_t BASEVALUE[kMaxWords][kMaxWords] = {};
  const char* DOC = nullptr;  // the text being ranked; not owned
  std::uint8_t NOCASE = 0;
  const char* QUERY = nullptr;  // the query text the words were prepared from; not owned
  std::uint16_t QWORDPOS[kMaxWords] = {};
  std::uint8_t RES = 0;
  std::uint16_t RESULTINDEX[kMaxWords][kResultsPerWord] = {};
  std::uint8_t RET = 0;
  std::uint8_t RETURNINDEX[kMaxWords][kWordCapacity] = {};
  std::uint8_t RETURNINDEXDONE[kMaxWords] = {};
  std::uint8_t WORDCNT = 0;
  std::uint8_t WORDONLY = 0;
  char WORDS[kMaxWords][kWordCapacity] = {};  // zero-terminated
};

}  // namespace morlan
