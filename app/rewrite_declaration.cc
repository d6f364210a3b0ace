#include "app/rewrite_declaration.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace morlan {

namespace {

// The rule is applied to every line of a dictionary, so it works on the fixed-width buffers
// directly, eight bytes at a time where it can, and allocates nothing.

constexpr std::size_t kLineWidth = 255;
constexpr std::size_t kLabelWidth = 32;
constexpr std::size_t kWord = sizeof(std::uint64_t);

constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighBits = kOnes * 0x80;
constexpr std::uint64_t kBlanks = kOnes * ' ';

// Every byte maps to itself but A-Z, which map to a-z; bytes of multi-byte characters pass.
constexpr std::array<char, 256> MakeLowerTable() {
  std::array<char, 256> table{};
  for (int c = 0; c < 256; ++c) {
    const int lower = (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c;
    table[static_cast<std::size_t>(c)] = static_cast<char>(static_cast<unsigned char>(lower));
  }
  return table;
}
constexpr std::array<char, 256> kLower = MakeLowerTable();

std::uint64_t LoadWord(const char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

void StoreWord(char* p, std::uint64_t word) { std::memcpy(p, &word, sizeof word); }

// The table's mapping for eight bytes at once. A byte is upper case when it is below 80h, at
// least 'A' and at most 'Z'; the sums test the last two on its low seven bits and cannot carry
// into the next byte.
std::uint64_t LowerWord(std::uint64_t word) {
  const std::uint64_t low7 = word & ~kHighBits;
  const std::uint64_t at_least_a = low7 + kOnes * (0x80 - 'A');
  const std::uint64_t above_z = low7 + kOnes * (0x80 - 'Z' - 1);
  const std::uint64_t upper = at_least_a & ~above_z & ~word & kHighBits;
  return word | (upper >> 2);  // 80h >> 2 is the 20h that tells a from A
}

// Non-zero exactly when some byte of `word` is `c`.
std::uint64_t HasByte(std::uint64_t word, char c) {
  const std::uint64_t v = word ^ (kOnes * static_cast<unsigned char>(c));
  return (v - kOnes) & ~v & kHighBits;
}

// Length of the line without its trailing blanks. Lines fill a fraction of the field, so the
// blank tail is skipped 32, then 8 bytes at a time.
std::size_t ClippedLength(const char* text) {
  std::size_t n = kLineWidth;
  while (n >= 4 * kWord) {
    const char* p = text + n - 4 * kWord;
    const std::uint64_t diff = (LoadWord(p) ^ kBlanks) | (LoadWord(p + 8) ^ kBlanks) |
                               (LoadWord(p + 16) ^ kBlanks) | (LoadWord(p + 24) ^ kBlanks);
    if (diff != 0) break;
    n -= 4 * kWord;
  }
  while (n >= kWord) {
    const std::uint64_t diff = LoadWord(text + n - kWord) ^ kBlanks;
    if (diff == 0) {
      n -= kWord;
      continue;
    }
    // The last byte in memory is the word's most significant one.
    if constexpr (std::endian::native == std::endian::little) {
      return n - static_cast<std::size_t>(std::countl_zero(diff)) / 8;
    }
    break;
  }
  while (n > 0 && text[n - 1] == ' ') --n;
  return n;
}

// True when `word` sits in text[0, n) with its byte `offset` at `at`.
bool WordAt(const char* text, std::size_t n, std::size_t at, std::size_t offset,
            std::string_view word) {
  return at >= offset && at - offset + word.size() <= n &&
         std::memcmp(text + at - offset, word.data(), word.size()) == 0;
}

// True when the 'T' or 'L' at `at` belongs to a type word: a T to STRING or BYTE, an L to LONG
// or DECIMAL. Looking for those two letters finds all four words.
bool TypeWordThrough(const char* text, std::size_t n, std::size_t at) {
  switch (text[at]) {
    case 'T':
      return WordAt(text, n, at, 1, "STRING") || WordAt(text, n, at, 2, "BYTE");
    case 'L':
      return WordAt(text, n, at, 0, "LONG") || WordAt(text, n, at, 6, "DECIMAL");
    default:
      return false;
  }
}

// True when the clipped line text[0, n) contains STRING, DECIMAL, LONG or BYTE. Which word is
// met first does not change the rewrite, so one pass looks for all four, eight bytes at a time,
// looking closer only at words that hold a 'T' or an 'L'. Blanks hold no type word, so searching
// the clipped part is searching the whole field; and since the field runs on in blanks, whole
// words may be read past `n` up to its end.
bool ContainsTypeWord(const char* text, std::size_t n) {
  std::size_t i = 0;
  for (; i < n && i + kWord <= kLineWidth; i += kWord) {
    const std::uint64_t word = LoadWord(text + i);
    if ((HasByte(word, 'T') | HasByte(word, 'L')) == 0) continue;
    for (std::size_t j = i; j < i + kWord && j < n; ++j) {
      if (TypeWordThrough(text, n, j)) return true;
    }
  }
  for (; i < n; ++i) {
    if (TypeWordThrough(text, n, i)) return true;
  }
  return false;
}

// Writes text[0, n) lower-cased to out[0, n). The last word may run past `n` (never past the
// field), into bytes the caller overwrites next. Each word is read before it is written, so
// `out` may be `text`.
void LowerLine(const char* text, char* out, std::size_t n) {
  std::size_t i = 0;
  for (; i < n && i + kWord <= kLineWidth; i += kWord) {
    StoreWord(out + i, LowerWord(LoadWord(text + i)));
  }
  for (; i < n; ++i) out[i] = kLower[static_cast<unsigned char>(text[i])];
}

// Writes `text` lower-cased at out[used], cut at the end of the field; returns the new length.
// Stores go straight to the output: staging the attribute in a buffer and copying it out was
// measurably slower (the copy's loads wait on the staging stores).
std::size_t AppendLower(char* out, std::size_t used, std::string_view text) {
  const std::size_t n = std::min(text.size(), kLineWidth - used);
  char* dst = out + used;
  std::size_t i = 0;
  for (; i + kWord <= n; i += kWord) StoreWord(dst + i, LowerWord(LoadWord(text.data() + i)));
  for (; i < n; ++i) dst[i] = kLower[static_cast<unsigned char>(text[i])];
  return used + n;
}

}  // namespace

void RewriteDeclaration(const FixedText<255>& input, FixedText<255>& output, FixedText<32>& label) {
  // Everything is taken from `input` before `output` is written, as they may be one buffer.
  const char* in = input.data();
  const std::size_t clipped = ClippedLength(in);
  const bool declares = std::memchr(in, '!', clipped) == nullptr && ContainsTypeWord(in, clipped);

  std::size_t label_size = 0;
  if (declares) {
    const void* blank = std::memchr(in, ' ', kLabelWidth);
    label_size = blank != nullptr ? static_cast<std::size_t>(static_cast<const char*>(blank) - in)
                                  : kLabelWidth;
    AssignText(label.span(), {in, label_size});
  }

  char* out = output.data();
  LowerLine(in, out, clipped);
  std::size_t used = clipped;
  if (declares) {
    // The label holds no blank, so its first label_size bytes are the label clipped.
    used = AppendLower(out, used, ",name('");
    used = AppendLower(out, used, {label.data(), label_size});
    used = AppendLower(out, used, "')");
  }
  std::memset(out + used, ' ', kLineWidth - used);
}

}  // namespace morlan
