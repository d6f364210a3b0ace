#include "errors/standard_message_table.h"

#include <array>
#include <cstddef>
#include <string_view>

#include "common/error_ids.h"
#include "common/levels.h"

namespace morlan {

namespace {

struct TableEntry {
  ErrorId id;
  Level fatality;
  std::string_view title;
  std::string_view message;
};

// In this order; a message's "|" is a line break for the message box, kept as it is.
constexpr TableEntry kEntries[] = {
    {ErrKeyInvalid, FatalityNotify, "Invalid Key",
     "%File key file is invalid. Key must be rebuilt."},
    {ErrKeyNotBuilt, FatalityHalt, "Key was not built",
     "Error: (%ErrorText) repairing key for %File."},
    {ErrFileCreation, FatalityHalt, "File Creation Error", "Error: (%ErrorText) creating %File."},
    {ErrProcedureUndefined, FatalityNotify, "Procedure not defined",
     "The Procedure %Message has not been defined."},
    {ErrValueAboveRange, FatalityNotify, "Range Error",
     "The value of %Field must be lower than %Message."},
    {ErrValueBelowRange, FatalityNotify, "Range Error",
     "The value of %Field must be higher than %Message."},
    {ErrValueNotInRange, FatalityNotify, "Range Error",
     "The value of %Field must be in range %Message."},
    {ErrValueNotInFile, FatalityNotify, "Field contents error",
     "The value of %Field must be found in the %Message file."},
    {ErrReferencedNoChange, FatalityNotify, "Referential Integrity Update Error",
     "This record is referenced from the file %File. Linking field(s) have been restricted from "
     "change and have been reset to original values."},
    {ErrReferencedNoDelete, FatalityNotify, "Referential Integrity Delete Error",
     "This record is referenced from the file %File. This record cannot be deleted while these "
     "references exist."},
    {ErrRecordInsert, FatalityNotify, "Record Insert Error",
     "An error was experienced during the creation of a record.|File: %File|Error: %ErrorText."},
    {ErrChangedElsewhere, FatalityNotify, "Record Was Not Updated",
     "This record was changed by another station."},
    {ErrChangedElsewhereShown, FatalityNotify, "Record Was Not Updated",
     "This record was changed by another station. Those changes will now be displayed. Use the "
     "Ditto Button or Ctrl+' to recall your changes."},
    {ErrAskRetrySave, FatalityAsk, "Record Update Error",
     "An error was experienced changing this record. Do you want to try to save again?"},
    {ErrAskRetryDelete, FatalityAsk, "Record Delete Error",
     "An error was experienced deleting this record. Do you want to try to delete it again?"},
    {ErrFormNoInsert, FatalityNotify, "Invalid Request",
     "This form cannot be used to insert a record"},
    {ErrFormNoUpdate, FatalityNotify, "Invalid Request",
     "This form cannot be used to update a record"},
    {ErrFormNoDelete, FatalityNotify, "Invalid Request",
     "This form cannot be used to delete a record"},
    {ErrAskCancelChanges, FatalityAsk, "Changes will be lost!", "Are you sure you want to cancel?"},
    {ErrDuplicateKeyEntry, FatalityNotify, "Duplicate Key Error",
     "Adding this record creates a duplicate entry for the key: %Message"},
    {ErrAutoNumberFailed, FatalityAsk, "Auto Increment Error",
     "Attempts to automatically number this record have failed.|File: %File|Error: %ErrorText.|Try "
     "Again?"},
    {ErrFileLoad, FatalityNotify, "File Load Error", "%File File Load Error.  Error: %ErrorText."},
    {ErrReachedBeginning, FatalityAsk, "Beginning of File Error",
     "The beginning of the file %File was encountered. Do you want to start again from the end of "
     "the file?"},
    {ErrReachedEnd, FatalityAsk, "End of File Error",
     "The end of the file %File was encountered. Do you want to start again from the beginning?"},
    {ErrFileAccess, FatalityHalt, "File Access Error",
     "File %File could not be opened.  Error: %ErrorText."},
    {ErrRecordNotUpdated, FatalityNotify, "Record was not updated",
     "An error (%ErrorText) was experienced when making changes to the %File file."},
    {ErrRecordNotDeleted, FatalityNotify, "Record was not deleted",
     "An error (%ErrorText) was experienced when deleting a record from the %File file."},
    {ErrAskDeleteHighlighted, FatalityAsk, "Confirm Delete",
     "Are you sure you want to delete the highlighted record?"},
    {ErrAskSaveChanges, FatalityAsk, "Save Record",
     "Do you want to save the changes to this record?"},
    {ErrTransactionFrame, FatalityNotify, "Transaction cancelled",
     "Error: (%ErrorText) attempting to frame the transaction on %File."},
    {ErrRecordRetrieval, FatalityNotify, "Record Retrieval Error",
     "Error: (%ErrorText) attempting to access a record from the %File file.  Returning to "
     "previous window."},
    {ErrViewOpen, FatalityNotify, "View Open Error",
     "Error: (%ErrorText) attempting to open the current VIEW. Filter and Range Limits ignored."},
    {ErrRecordAddedAskAnother, FatalityAsk, "Record Added",
     "This record has been added to the file. Do you want to add another record?"},
    {ErrRecordHeldElsewhere, FatalityNotify, "Record not read",
     "A record held by another station was encountered reading from the %File file."},
    {ErrAskAddNewRecord, FatalityNotify, "Add New Record?",
     "Record match not found, do you wish to add a new one?"},
    {ErrValueNotInList, FatalityNotify, "Value Error",
     "The value of %Field must be in the list : %Message."},
    {ErrNoRecordsToProcess, FatalityNotify, "No Records",
     "There are no records available to process."},
    {ErrWriteAccessDenied, FatalityNotify, "Access Denied",
     "Could not get write access to %File so trying read-only."},
    {ErrFileNotOpened, FatalityProgram, "File Usage Error",
     "Attempt to use file (%File) before it was opened"},
    {ErrQueryColumnDropped, FatalityNotify, "Unsupported QBE Column",
     "The saved QBE column, %Field is not supported. It will be dropped from the query."},
    {ErrSmtp, FatalityNotify, "SMTP Error", "The following SMTP Error occurred: %Message "},
    {ErrNntp, FatalityNotify, "NNTP Error", "%Message "},
    {ErrWinsock, FatalityNotify, "Winsock Error", "%Message "},
};

static_assert(std::size(kEntries) == StandardMessageTable::kEntryCount);

constexpr std::size_t EncodedSize() {
  std::size_t size = 2;
  for (const TableEntry& entry : kEntries)
    size += 2 + 1 + 1 + entry.title.size() + 1 + entry.message.size();
  return size;
}

constexpr bool TextsFit() {
  for (const TableEntry& entry : kEntries) {
    if (entry.title.size() > 255 || entry.message.size() > 255) return false;
  }
  return true;
}
static_assert(TextsFit(), "a title or message does not fit its length byte");

// Encoded at compile time, so the block is constant data and the texts stay readable above.
constexpr std::array<std::uint8_t, EncodedSize()> Encode() {
  std::array<std::uint8_t, EncodedSize()> block{};
  std::size_t at = 0;
  const auto put = [&](std::uint8_t byte) { block[at++] = byte; };
  const auto put_text = [&](std::string_view text) {
    put(static_cast<std::uint8_t>(text.size()));
    for (const char c : text) put(static_cast<std::uint8_t>(c));
  };
  constexpr std::size_t count = std::size(kEntries);
  put(static_cast<std::uint8_t>(count & 0xFF));
  put(static_cast<std::uint8_t>(count >> 8));
  for (const TableEntry& entry : kEntries) {
    put(static_cast<std::uint8_t>(entry.id & 0xFF));
    put(static_cast<std::uint8_t>(entry.id >> 8));
    put(entry.fatality);
    put_text(entry.title);
    put_text(entry.message);
  }
  return block;
}

constexpr std::array<std::uint8_t, EncodedSize()> kBlock = Encode();

}  // namespace

std::span<const std::uint8_t> StandardMessageTable::Bytes() { return kBlock; }

}  // namespace morlan
