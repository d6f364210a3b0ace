#include "platform/drag_setting.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace morlan {

bool SystemDragSetting::Get(std::uint32_t* value) {
#ifdef _WIN32
  BOOL on = FALSE;
  if (!SystemParametersInfoA(SPI_GETDRAGFULLWINDOWS, 0, &on, 0)) return false;
  *value = on ? 1 : 0;
  return true;
#else
  *value = 0;
  return true;
#endif
}

bool SystemDragSetting::Set(std::uint32_t value, unsigned flags) {
#ifdef _WIN32
  return SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, value, nullptr, flags) != 0;
#else
  (void)value;
  (void)flags;
  return true;
#endif
}

bool RecordingDragSetting::Get(std::uint32_t* value) {
  calls_.push_back({kSpiGetDragFullWindows, 0, 0});
  *value = value_;
  return true;
}

bool RecordingDragSetting::Set(std::uint32_t value, unsigned flags) {
  calls_.push_back({kSpiSetDragFullWindows, value, flags});
  value_ = value;
  return true;
}

}  // namespace morlan
