// Ids of the standard messages of the error manager's table.
#pragma once

#include <cstdint>

namespace morlan {

using ErrorId = std::uint16_t;

inline constexpr ErrorId ErrRecordRetrieval = 1;
inline constexpr ErrorId ErrWriteAccessDenied = 2;
inline constexpr ErrorId ErrRecordAddedAskAnother = 3;
inline constexpr ErrorId ErrRecordInsert = 4;
inline constexpr ErrorId ErrAskAddNewRecord = 5;
inline constexpr ErrorId ErrChangedElsewhere = 6;
inline constexpr ErrorId ErrChangedElsewhereShown = 7;
inline constexpr ErrorId ErrAskCancelChanges = 8;
inline constexpr ErrorId ErrAskDeleteHighlighted = 9;
inline constexpr ErrorId ErrFileCreation = 10;
inline constexpr ErrorId ErrRecordNotDeleted = 11;
inline constexpr ErrorId ErrFormNoDelete = 12;
inline constexpr ErrorId ErrDuplicateKeyEntry = 13;
inline constexpr ErrorId ErrValueNotInFile = 14;
inline constexpr ErrorId ErrValueNotInList = 15;
inline constexpr ErrorId ErrValueNotInRange = 16;
inline constexpr ErrorId ErrValueAboveRange = 17;
inline constexpr ErrorId ErrValueBelowRange = 18;
inline constexpr ErrorId ErrFileLoad = 19;
inline constexpr ErrorId ErrFormNoInsert = 20;
inline constexpr ErrorId ErrTransactionFrame = 21;
inline constexpr ErrorId ErrNoRecordsToProcess = 22;
inline constexpr ErrorId ErrFileAccess = 23;
inline constexpr ErrorId ErrProcedureUndefined = 24;
inline constexpr ErrorId ErrRecordNotUpdated = 25;
inline constexpr ErrorId ErrKeyNotBuilt = 26;
inline constexpr ErrorId ErrKeyInvalid = 27;
inline constexpr ErrorId ErrRecordHeldElsewhere = 28;
inline constexpr ErrorId ErrReferencedNoDelete = 30;
inline constexpr ErrorId ErrReferencedNoChange = 31;
inline constexpr ErrorId ErrAutoNumberFailed = 32;
inline constexpr ErrorId ErrAskRetryDelete = 33;
inline constexpr ErrorId ErrAskRetrySave = 34;
inline constexpr ErrorId ErrAskSaveChanges = 35;
inline constexpr ErrorId ErrReachedBeginning = 36;
inline constexpr ErrorId ErrReachedEnd = 37;
inline constexpr ErrorId ErrFormNoUpdate = 38;
inline constexpr ErrorId ErrFileNotOpened = 39;
inline constexpr ErrorId ErrViewOpen = 40;
inline constexpr ErrorId ErrQueryColumnDropped = 41;
inline constexpr ErrorId ErrSmtp = 42;
inline constexpr ErrorId ErrNntp = 43;
inline constexpr ErrorId ErrWinsock = 44;

}  // namespace morlan
