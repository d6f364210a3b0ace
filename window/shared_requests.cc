#include "window/shared_requests.h"

namespace morlan {

std::atomic<std::uint8_t> PendingRequest{0};
std::atomic<std::uint8_t> LastResponse{0};
std::atomic<std::int32_t> NavigationRequest{0};

}  // namespace morlan
