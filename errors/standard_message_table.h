// The standard message table: the 43 messages every error id of common/error_ids.h stands for,
// encoded as one byte block in the format that ErrorManager::LoadMessageTable reads.
//
// Block format (no terminators, no gaps): a count (unsigned 16-bit, little-endian), then `count`
// entries of id (unsigned 16-bit, little-endian), fatality (1 byte), title length (1 byte) and
// title bytes, message length (1 byte) and message bytes. Texts are 8-bit characters of at most
// 255 bytes; in a message "|" starts a new line when a message box shows it.
//
// Threading: the block is immutable and lives for the whole process; any thread may read it.
#pragma once

#include <cstdint>
#include <span>

namespace morlan {

class StandardMessageTable {
 public:
  // Number of entries in the block.
  static constexpr int kEntryCount = 43;

  // The encoded block. Entries loaded from it may refer to its bytes in place: it never moves.
  static std::span<const std::uint8_t> Bytes();
};

}  // namespace morlan
