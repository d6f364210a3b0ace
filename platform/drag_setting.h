// The desktop setting "show window contents while dragging". Program start-up switches it off
// for the time the program runs and restores it at the end.
//
// SystemDragSetting: on Windows the real SystemParametersInfoA calls (SPI_GETDRAGFULLWINDOWS,
// SPI_SETDRAGFULLWINDOWS with SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE); elsewhere there is no
// desktop-wide setting, so it reads 0 and changes nothing. RecordingDragSetting is the test
// double: it holds a value and records every call.
#pragma once

#include <cstdint>
#include <vector>

namespace morlan {

inline constexpr unsigned kSpiGetDragFullWindows = 38;
inline constexpr unsigned kSpiSetDragFullWindows = 37;
inline constexpr unsigned kSpifUpdateIniFileAndSendChange = 3;

class DragSetting {
 public:
  virtual ~DragSetting() = default;
  // Stores the setting (1 on, 0 off) in `value`; false when it cannot be read (then `value` is
  // left as it was).
  virtual bool Get(std::uint32_t* value) = 0;
  // Switches the setting to `value`, with the given update flags. False on failure.
  virtual bool Set(std::uint32_t value, unsigned flags) = 0;
};

class SystemDragSetting : public DragSetting {
 public:
  bool Get(std::uint32_t* value) override;
  bool Set(std::uint32_t value, unsigned flags) override;
};

class RecordingDragSetting : public DragSetting {
 public:
  struct Call {
    unsigned action;
    std::uint32_t value;
    unsigned flags;
  };

  explicit RecordingDragSetting(std::uint32_t value) : value_(value) {}
  bool Get(std::uint32_t* value) override;
  bool Set(std::uint32_t value, unsigned flags) override;

  std::uint32_t value() const { return value_; }
  const std::vector<Call>& calls() const { return calls_; }

 private:
  std::uint32_t value_;
  std::vector<Call> calls_;
};

}  // namespace morlan
