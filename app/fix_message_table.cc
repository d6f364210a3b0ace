#include "app/fix_message_table.h"

#include <array>
#include <cstddef>
#include <iterator>
#include <string_view>

#include "common/levels.h"

namespace morlan {

namespace {

struct TableEntry {
  ErrorId id;
  Level fatality;
  std::string_view title;
  std::string_view message;
};

constexpr TableEntry kEntries[] = {
    {ErrOutputNotRemoved, FatalityNotify, "File Removal Error",
     "Error: (%ErrorText) removing %File. The old file is kept and nothing was written."},
    {ErrProcedureNotStarted, FatalityNotify, "Procedure not started",
     "The procedure %Message could not be started: no new thread could be made for it."},
};
static_assert(std::size(kEntries) == FixMessageTable::kEntryCount);

constexpr std::size_t EncodedSize() {
  std::size_t size = 2;
  for (const TableEntry& entry : kEntries) {
    size += 2 + 1 + 1 + entry.title.size() + 1 + entry.message.size();
  }
  return size;
}

constexpr std::array<std::uint8_t, EncodedSize()> Encode() {
  static_assert(std::size(kEntries) < 256);
  std::array<std::uint8_t, EncodedSize()> block{};
  std::size_t at = 0;
  const auto put = [&](std::size_t byte) { block[at++] = static_cast<std::uint8_t>(byte & 0xFF); };
  const auto put_text = [&](std::string_view text) {
    put(text.size());
    for (const char c : text) put(static_cast<unsigned char>(c));
  };
  put(std::size(kEntries));
  put(0);
  for (const TableEntry& entry : kEntries) {
    put(entry.id);
    put(entry.id >> 8);
    put(entry.fatality);
    put_text(entry.title);
    put_text(entry.message);
  }
  return block;
}

constexpr std::array<std::uint8_t, EncodedSize()> kBlock = Encode();

}  // namespace

std::span<const std::uint8_t> FixMessageTable::Bytes() { return kBlock; }

}  // namespace morlan
