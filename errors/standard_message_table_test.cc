#include "errors/standard_message_table.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "errors/error_manager.h"

namespace morlan {
namespace {

struct Expected {
  int id;
  int fatality;
  std::string_view title;
  std::string_view message;
};

// The texts are what users read and what callers rely on: restated here on purpose, byte for
// byte, in table order.
constexpr Expected kExpected[] = {
    {27, 5, "Invalid Key", "%File key file is invalid. Key must be rebuilt."},
    {26, 3, "Key was not built", "Error: (%ErrorText) repairing key for %File."},
    {10, 3, "File Creation Error", "Error: (%ErrorText) creating %File."},
    {24, 5, "Procedure not defined", "The Procedure %Message has not been defined."},
    {17, 5, "Range Error", "The value of %Field must be lower than %Message."},
    {18, 5, "Range Error", "The value of %Field must be higher than %Message."},
    {16, 5, "Range Error", "The value of %Field must be in range %Message."},
    {14, 5, "Field contents error", "The value of %Field must be found in the %Message file."},
    {31, 5, "Referential Integrity Update Error",
     "This record is referenced from the file %File. Linking field(s) have been restricted from "
     "change and have been reset to original values."},
    {30, 5, "Referential Integrity Delete Error",
     "This record is referenced from the file %File. This record cannot be deleted while these "
     "references exist."},
    {4, 5, "Record Insert Error",
     "An error was experienced during the creation of a record.|File: %File|Error: %ErrorText."},
    {6, 5, "Record Was Not Updated", "This record was changed by another station."},
    {7, 5, "Record Was Not Updated",
     "This record was changed by another station. Those changes will now be displayed. Use the "
     "Ditto Button or Ctrl+' to recall your changes."},
    {34, 1, "Record Update Error",
     "An error was experienced changing this record. Do you want to try to save again?"},
    {33, 1, "Record Delete Error",
     "An error was experienced deleting this record. Do you want to try to delete it again?"},
    {20, 5, "Invalid Request", "This form cannot be used to insert a record"},
    {38, 5, "Invalid Request", "This form cannot be used to update a record"},
    {12, 5, "Invalid Request", "This form cannot be used to delete a record"},
    {8, 1, "Changes will be lost!", "Are you sure you want to cancel?"},
    {13, 5, "Duplicate Key Error",
     "Adding this record creates a duplicate entry for the key: %Message"},
    {32, 1, "Auto Increment Error",
     "Attempts to automatically number this record have failed.|File: %File|Error: %ErrorText.|Try "
     "Again?"},
    {19, 5, "File Load Error", "%File File Load Error.  Error: %ErrorText."},
    {36, 1, "Beginning of File Error",
     "The beginning of the file %File was encountered. Do you want to start again from the end of "
     "the file?"},
    {37, 1, "End of File Error",
     "The end of the file %File was encountered. Do you want to start again from the beginning?"},
    {23, 3, "File Access Error", "File %File could not be opened.  Error: %ErrorText."},
    {25, 5, "Record was not updated",
     "An error (%ErrorText) was experienced when making changes to the %File file."},
    {11, 5, "Record was not deleted",
     "An error (%ErrorText) was experienced when deleting a record from the %File file."},
    {9, 1, "Confirm Delete", "Are you sure you want to delete the highlighted record?"},
    {35, 1, "Save Record", "Do you want to save the changes to this record?"},
    {21, 5, "Transaction cancelled",
     "Error: (%ErrorText) attempting to frame the transaction on %File."},
    {1, 5, "Record Retrieval Error",
     "Error: (%ErrorText) attempting to access a record from the %File file.  Returning to "
     "previous window."},
    {40, 5, "View Open Error",
     "Error: (%ErrorText) attempting to open the current VIEW. Filter and Range Limits ignored."},
    {3, 1, "Record Added",
     "This record has been added to the file. Do you want to add another record?"},
    {28, 5, "Record not read",
     "A record held by another station was encountered reading from the %File file."},
    {5, 5, "Add New Record?", "Record match not found, do you wish to add a new one?"},
    {15, 5, "Value Error", "The value of %Field must be in the list : %Message."},
    {22, 5, "No Records", "There are no records available to process."},
    {2, 5, "Access Denied", "Could not get write access to %File so trying read-only."},
    {39, 2, "File Usage Error", "Attempt to use file (%File) before it was opened"},
    {41, 5, "Unsupported QBE Column",
     "The saved QBE column, %Field is not supported. It will be dropped from the query."},
    {42, 5, "SMTP Error", "The following SMTP Error occurred: %Message "},
    {43, 5, "NNTP Error", "%Message "},
    {44, 5, "Winsock Error", "%Message "},
};

struct Decoded {
  int id;
  int fatality;
  std::string_view title;
  std::string_view message;
};

// An independent reader of the block format, so the test does not lean on the manager's.
std::vector<Decoded> Decode(std::span<const std::uint8_t> block, std::size_t* consumed) {
  std::vector<Decoded> out;
  const auto text = [&](std::size_t at, std::size_t size) {
    return std::string_view(reinterpret_cast<const char*>(block.data()) + at, size);
  };
  const int count = block[0] + 256 * block[1];
  std::size_t at = 2;
  for (int i = 0; i < count; ++i) {
    Decoded d;
    d.id = block[at] + 256 * block[at + 1];
    d.fatality = block[at + 2];
    const std::size_t title_size = block[at + 3];
    d.title = text(at + 4, title_size);
    at += 4 + title_size;
    const std::size_t message_size = block[at];
    d.message = text(at + 1, message_size);
    at += 1 + message_size;
    out.push_back(d);
  }
  *consumed = at;
  return out;
}

TEST(StandardMessageTableTest, BlockHoldsEveryEntryByteForByteWithNothingElse) {
  const std::span<const std::uint8_t> block = StandardMessageTable::Bytes();
  ASSERT_GE(block.size(), 2u);
  EXPECT_EQ(block[0], 43);
  EXPECT_EQ(block[1], 0);
  std::size_t consumed = 0;
  const std::vector<Decoded> decoded = Decode(block, &consumed);
  EXPECT_EQ(consumed, block.size()) << "no terminators, no gaps, nothing after the last entry";
  ASSERT_EQ(decoded.size(), std::size(kExpected));
  for (std::size_t i = 0; i < decoded.size(); ++i) {
    SCOPED_TRACE(::testing::Message() << "position " << i + 1 << ", id " << kExpected[i].id);
    EXPECT_EQ(decoded[i].id, kExpected[i].id);
    EXPECT_EQ(decoded[i].fatality, kExpected[i].fatality);
    EXPECT_EQ(decoded[i].title, kExpected[i].title);
    EXPECT_EQ(decoded[i].message, kExpected[i].message);
  }
}

TEST(StandardMessageTableTest, ManagerLoadsTheTableInOrderReferringToItsBytesInPlace) {
  ErrorManager errors;
  errors.InitStandard();
  const std::vector<ErrorManager::MessageEntry> entries = errors.entries();
  ASSERT_EQ(entries.size(), std::size(kExpected));
  const std::span<const std::uint8_t> block = StandardMessageTable::Bytes();
  const auto* begin = reinterpret_cast<const char*>(block.data());
  const auto* end = begin + block.size();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    SCOPED_TRACE(::testing::Message() << "position " << i + 1);
    EXPECT_EQ(entries[i].ID, kExpected[i].id);
    EXPECT_EQ(entries[i].FATALITY, kExpected[i].fatality);
    EXPECT_EQ(entries[i].TITLE, kExpected[i].title);
    EXPECT_EQ(entries[i].MESSAGE, kExpected[i].message);
    EXPECT_TRUE(entries[i].CATEGORY.empty());
    EXPECT_TRUE(entries[i].MESSAGE.data() >= begin && entries[i].MESSAGE.data() < end);
    EXPECT_TRUE(entries[i].TITLE.data() >= begin && entries[i].TITLE.data() < end);
  }
  errors.Kill();
}

}  // namespace
}  // namespace morlan
