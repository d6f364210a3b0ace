#include "platform/runtime_error_state.h"

#include <algorithm>
#include <cstring>

namespace morlan {

namespace {

thread_local RuntimeErrorState::Saved state{};

}  // namespace

void RuntimeErrorState::Saved::Text::Assign(std::string_view s) {
  size = std::min(s.size(), sizeof data);
  std::memcpy(data, s.data(), size);
}

RuntimeErrorState::Saved RuntimeErrorState::Save() { return state; }
void RuntimeErrorState::Restore(const Saved& saved) { state = saved; }

void RuntimeErrorState::SetOk() {
  state.code = StatusOk;
  state.text.size = 0;
  state.driver_code.size = 0;
  state.driver_text.size = 0;
}

void RuntimeErrorState::Set(StatusCode code) { Set(code, StandardText(code)); }

void RuntimeErrorState::Set(StatusCode code, std::string_view text) {
  state.code = code;
  state.text.Assign(text);
  state.driver_code.size = 0;
  state.driver_text.size = 0;
}

void RuntimeErrorState::SetDriverError(std::string_view driver_code, std::string_view driver_text) {
  state.code = StatusDriverError;
  state.text.Assign(StandardText(StatusDriverError));
  state.driver_code.Assign(driver_code);
  state.driver_text.Assign(driver_text);
}

StatusCode RuntimeErrorState::code() { return state.code; }
std::string_view RuntimeErrorState::text() { return state.text.view(); }
std::string_view RuntimeErrorState::driver_code() { return state.driver_code.view(); }
std::string_view RuntimeErrorState::driver_text() { return state.driver_text.view(); }

std::string_view RuntimeErrorState::StandardText(StatusCode code) {
  switch (code) {
    case StatusOk:
      return {};
    case StatusNotFound:
      return "File not found";
    case StatusAccessDenied:
      return "Access denied";
    case StatusNoRecord:
      return "No further record";
    case StatusRecordNotFound:
      return "Record not found";
    case StatusNotOpen:
      return "File not open";
    case StatusDuplicateKey:
      return "Duplicate key";
    case StatusRecordHeld:
      return "Record held by another station";
    case StatusKeysNeedRebuild:
      return "Keys need rebuilding";
    case StatusInvalidRequest:
      return "Request not understood";
    case StatusAlreadyOpen:
      return "File already open";
    case StatusNotSupported:
      return "Not supported by the file driver";
    case StatusChangedElsewhere:
      return "Record changed by another station";
    case StatusDriverError:
      return "File driver error";
    default:
      return "Unknown error";
  }
}

}  // namespace morlan
