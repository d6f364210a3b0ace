// Small code sets shared by every layer: message-box buttons, window-manager requests and
// responses, the platform's status codes and the windowing runtime's event codes.
#pragma once

#include <cstdint>

namespace morlan {

// Message-box buttons. A set of buttons is the sum of its flags; a box answers one flag.
using ButtonFlags = std::uint16_t;
inline constexpr ButtonFlags ButtonOk = 1;
inline constexpr ButtonFlags ButtonYes = 2;
inline constexpr ButtonFlags ButtonNo = 4;
inline constexpr ButtonFlags ButtonAbort = 8;
inline constexpr ButtonFlags ButtonRetry = 16;
inline constexpr ButtonFlags ButtonIgnore = 32;
inline constexpr ButtonFlags ButtonCancel = 64;
inline constexpr ButtonFlags ButtonHelp = 128;

// Requests a window manager is asked to carry out, and the responses it ends with.
inline constexpr std::uint8_t RequestInsert = 1;
inline constexpr std::uint8_t RequestChange = 2;
inline constexpr std::uint8_t RequestDelete = 3;
inline constexpr std::uint8_t ResponseCompleted = 1;
inline constexpr std::uint8_t ResponseCancelled = 2;

// Status codes left by every file and view operation; 0 is success.
using StatusCode = int;
inline constexpr StatusCode StatusOk = 0;
inline constexpr StatusCode StatusNotFound = 2;
inline constexpr StatusCode StatusAccessDenied = 5;
inline constexpr StatusCode StatusNoRecord = 33;  // no further record
inline constexpr StatusCode StatusRecordNotFound = 35;
inline constexpr StatusCode StatusDuplicateKey = 40;
inline constexpr StatusCode StatusRecordHeld = 43;
inline constexpr StatusCode StatusKeysNeedRebuild = 46;
inline constexpr StatusCode StatusInvalidRequest = 47;  // a view's order or filter text refused
inline constexpr StatusCode StatusAlreadyOpen = 52;
inline constexpr StatusCode StatusNotOpen = 37;
inline constexpr StatusCode StatusNotSupported = 80;
inline constexpr StatusCode StatusChangedElsewhere = 89;
inline constexpr StatusCode StatusDriverError = 90;  // the driver's own code and text tell more

// Event codes of the windowing runtime.
using EventCode = int;
inline constexpr EventCode EventAccepted = 1;
inline constexpr EventCode EventNewSelection = 2;
inline constexpr EventCode EventAlertKey = 15;
inline constexpr EventCode EventRejected = 26;
inline constexpr EventCode EventSelected = 257;
inline constexpr EventCode EventCloseWindow = 513;
inline constexpr EventCode EventCloseDown = 514;
inline constexpr EventCode EventOpenWindow = 515;
inline constexpr EventCode EventLoseFocus = 517;
inline constexpr EventCode EventGainFocus = 518;
inline constexpr EventCode EventTimer = 523;
inline constexpr EventCode EventCompleted = 549;
inline constexpr EventCode EventSized = 561;

}  // namespace morlan
