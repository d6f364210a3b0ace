#include "errors/error_log_file.h"

#include "common/fixed_text.h"
#include "platform/runtime_error_state.h"

namespace morlan {

namespace {

constexpr std::uint8_t kOk = 0;
constexpr std::uint8_t kFailed = 5;

RecordLayout LogLayout() {
  RecordLayout layout;
  layout.AddField("TXT", FieldType::kText, ErrorLogFile::kLineCapacity);
  return layout;
}

bool Succeeded() { return RuntimeErrorState::code() == StatusOk; }

}  // namespace

ErrorLogFile::ErrorLogFile(std::string file_name)
    : file_name_(std::move(file_name)), file_(file_name_, LogLayout()) {}

ErrorLogFile::~ErrorLogFile() { Close(true); }

std::uint8_t ErrorLogFile::Open(bool force) {
  std::lock_guard lock(mutex_);
  // USAGE is 0 exactly when the file is closed, so the file's own state decides. A forced open
  // of a log that is open already keeps it open: the driver would refuse a second open.
  (void)force;
  if (!file_.IsOpen()) {
    if (!file_.Exists()) {
      file_.Create();
      if (!Succeeded()) return kFailed;
    }
    file_.Open(kOpenMode);
    if (!Succeeded()) return kFailed;
  }
  ++USAGE;
  return kOk;
}

std::uint8_t ErrorLogFile::AppendLine(std::string_view text) {
  std::lock_guard lock(mutex_);
  if (USAGE == 0 || !file_.IsOpen()) {
    RuntimeErrorState::Set(StatusNotOpen);
    return kFailed;
  }
  AssignText({file_.record(), kLineCapacity}, text);
  file_.Add();
  return Succeeded() ? kOk : kFailed;
}

std::uint8_t ErrorLogFile::Close(bool force) {
  std::lock_guard lock(mutex_);
  if (USAGE == 1 || force) {
    if (file_.IsOpen()) {
      file_.Close();
      if (!Succeeded()) {
        // The driver has closed the file all the same; a count that still claimed it open
        // would make every later line fail.
        if (!file_.IsOpen()) USAGE = 0;
        return kFailed;
      }
    }
    USAGE = 0;
    return kOk;
  }
  if (USAGE > 0) --USAGE;
  return kOk;
}

std::int32_t ErrorLogFile::usage() const {
  std::lock_guard lock(mutex_);
  return USAGE;
}

bool ErrorLogFile::is_open() const {
  std::lock_guard lock(mutex_);
  return file_.IsOpen();
}

}  // namespace morlan
