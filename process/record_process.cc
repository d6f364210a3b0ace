#include "process/record_process.h"

#include <algorithm>
#include <charconv>
#include <utility>

#include "common/text_compare.h"
#include "data/file_manager.h"
#include "data/file_relations.h"
#include "data/file_use.h"
#include "platform/data_file.h"
#include "platform/window.h"
#include "process/query_dialog.h"
#include "process/step_manager.h"

namespace morlan {

void RecordProcess::Init(View* view, FileRelations* primary, std::int32_t percent_text_control,
                         std::int64_t records_to_process, std::uint8_t* progress) {
  PERCENTILE = progress;
  if (PERCENTILE != nullptr) *PERCENTILE = 0;
  RECORDSTOPROCESS = records_to_process;
  PTEXT = percent_text_control;
  ViewReader::Init(view, primary, nullptr);
}

void RecordProcess::AddChild(ViewReader* child) {
  // CHILDREAD numbers the levels in a byte.
  if (child == nullptr || (CHILDREN != nullptr && CHILDREN->size() >= 255)) return;
  if (CHILDREN == nullptr) CHILDREN = std::make_unique<std::vector<ChildProcessEntry>>();
  CHILDREN->push_back(ChildProcessEntry{child});
}

DataFile* RecordProcess::PrimaryFile() const {
  if (PRIMARY == nullptr || PRIMARY->ME == nullptr) return nullptr;
  return PRIMARY->ME->FILE;
}

void RecordProcess::Reset() {
  RECORDSPROCESSED = 0;
  BYTESREAD = 0;
  if (STEPMGR != nullptr) {
    SetStepLimits();
  } else if (RECORDSTOPROCESS == 0) {
    if (PRIMARY != nullptr && PRIMARY->ME != nullptr) PRIMARY->ME->UseFile(FileUse::kRecords);
    if (DataFile* file = PrimaryFile()) {
      // A driver that cannot tell (or fails) gives nothing to measure by, never a negative one.
      RECORDSTOPROCESS = std::max<std::int64_t>(file->RecordCount(), 0);
      FILESIZE = RECORDSTOPROCESS == 0 ? std::max<std::int64_t>(file->Size(), 0) : 0;
    }
  }
  CHILDREAD = 0;
  ViewReader::Reset();
}

std::string RecordProcess::LimitText() {
  const FieldValue value = VALUEFIELD.Get();
  std::string text;
  if (value.is_text()) {
    text = std::string(ClipText(value.text()).substr(0, kLimitCapacity));
  } else {
    char digits[32];
    const auto result = std::to_chars(digits, digits + sizeof digits, value.number());
    text.assign(digits, result.ptr);
  }
  if (CASESENSITIVEVALUE == 0) {
    for (char& c : text) c = AsciiUpper(c);
  }
  return text;
}

void RecordProcess::SetStepLimits() {
  ViewReader::Reset();
  if (ViewReader::Previous() != FatalityNone) VALUEFIELD.SetHighest();
  const std::string high = LimitText();
  ViewReader::Reset();
  if (Next(0) != FatalityNone) VALUEFIELD.SetLowest();
  const std::string low = LimitText();
  STEPMGR->SetLimits(low, high);
  // The copy the step manager is handed for case-free values; sized here, not per record.
  step_value_.assign(VALUEFIELD.is_text() ? VALUEFIELD.size() : 0, ' ');
}

std::uint8_t RecordProcess::StepPercentage() {
  if (CASESENSITIVEVALUE != 0 || !VALUEFIELD.is_text() || step_value_.size() != VALUEFIELD.size()) {
    return STEPMGR->Percentage(VALUEFIELD);
  }
  const char* source = VALUEFIELD.address();
  for (std::size_t i = 0; i < step_value_.size(); ++i) step_value_[i] = AsciiUpper(source[i]);
  return STEPMGR->Percentage(FieldRef(FieldType::kText, step_value_.data(),
                                      static_cast<std::uint32_t>(step_value_.size())));
}

Level RecordProcess::Next(std::uint8_t count) {
  if (RECORDSPROCESSED != 0 && CHILDREN != nullptr && CHILDREAD < CHILDREN->size()) {
    ++CHILDREAD;
    ViewReader* child = (*CHILDREN)[CHILDREAD - 1].PROCESS;
    child->RefreshRange();
    child->Reset();
  }
  Level r = FatalityNone;
  for (;;) {
    r = CHILDREAD == 0 ? ViewReader::Next() : (*CHILDREN)[CHILDREAD - 1].PROCESS->Next();
    // An exhausted level hands over to the level above it, which reads its next record.
    if (r == FatalityNone || CHILDREAD == 0) break;
    --CHILDREAD;
  }
  if (r != FatalityNone || count != 1) return r;
  ++RECORDSPROCESSED;
  // Child records are counted, but neither their bytes (the primary file's last read would be
  // added again) nor their place move the percentage.
  if (CHILDREAD != 0) return r;
  if (FILESIZE != 0) {
    if (DataFile* file = PrimaryFile()) BYTESREAD += file->bytes_read();
  }
  if (PERCENTILE == nullptr) return r;
  const std::uint8_t p = Percentage();
  if (p == *PERCENTILE) return r;
  *PERCENTILE = p;
  ShowProgress();
  return r;
}

namespace {

// `done` of `total` as a whole percentage, the fraction dropped, so that 100 means all of it;
// more than `total` is 100. The product is formed in 128 bits: 100 times any 64-bit count fits.
std::uint8_t WholePercent(std::int64_t done, std::int64_t total) {
  if (done <= 0 || total <= 0) return 0;
  if (done >= total) return 100;
  __extension__ using Wide = unsigned __int128;
  return static_cast<std::uint8_t>(static_cast<Wide>(done) * 100 / static_cast<Wide>(total));
}

}  // namespace

std::uint8_t RecordProcess::Percentage() {
  if (STEPMGR != nullptr) return std::min<std::uint8_t>(StepPercentage(), 100);
  if (FILESIZE > 0) return WholePercent(BYTESREAD, FILESIZE);
  // Neither a count nor a size: nothing to measure by, so the percentage stays 0.
  return WholePercent(RECORDSPROCESSED, RECORDSTOPROCESS);
}

void RecordProcess::ShowProgress() {
  // The process's own window: whichever window is active may be another procedure's.
  if (WINDOW == nullptr || PERCENTILE == nullptr) return;
  // Digits and suffix in place: the text is written on the record path, which allocates nothing.
  char text[3 + kPercentSuffix.size()];
  char* end = std::to_chars(text, text + 3, *PERCENTILE).ptr;
  end = std::copy(kPercentSuffix.begin(), kPercentSuffix.end(), end);
  WINDOW->SetText(PTEXT, std::string_view(text, static_cast<std::size_t>(end - text)));
  WINDOW->Display(0);
}

void RecordProcess::EmptyHook() {}

void RecordProcess::RunQuery() {
  if (QUERY == nullptr) return;
  if (QUERY->Ask(1) == 0) return;
  SetFilter(QUERY->FilterText());
}

Level RecordProcess::HandleRecord() { return FatalityNone; }

void RecordProcess::Kill() {
  PERCENTILE = nullptr;
  VALUEFIELD = FieldRef();
  if (PRIMARY != nullptr) PRIMARY->SetQuickScan(false, 1);
  CHILDREN.reset();
  // Killed once: a second Kill of the process must not kill it again.
  if (STEPMGR != nullptr) std::exchange(STEPMGR, nullptr)->Kill();
  ViewReader::Kill();
}

}  // namespace morlan
