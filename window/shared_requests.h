// The request, response and navigation values that procedures hand each other. A procedure that
// starts another one sets the pending request (1 insert, 2 change, 3 delete) and reads the last
// response (1 completed, 2 cancelled) once it returns; the navigation request tells a record
// form and its toolbar which way to move next.
//
// Threading: every procedure runs on a thread of its own and may read or write these at any
// time, so they are atomic. A value is handed over, not guarded: two procedures writing at once
// leave the value of whichever wrote last.
#pragma once

#include <atomic>
#include <cstdint>

namespace morlan {

// Read into a controller's REQUEST by the procedure it starts, then cleared. 0 at start-up.
extern std::atomic<std::uint8_t> PendingRequest;
// The response of the procedure that ended last. 0 at start-up.
extern std::atomic<std::uint8_t> LastResponse;
// The toolbar's navigation request; a controller's VCRREQUEST points here. 0 at start-up.
extern std::atomic<std::int32_t> NavigationRequest;

}  // namespace morlan
