// The record process: a view reader that is run once from start to end, record by record, and
// keeps count of its progress. For every record read with counting on it counts the record,
// works out a whole completion percentage, stores it in the progress byte (which a thermometer
// shows) and, when it changed, writes it followed by "% Complete" into the percent text of its
// window. Each record is then handed to HandleRecord, where a procedure deriving from this class
// does its work.
//
// Progress is measured, as Reset finds it, by a step manager (the value of VALUEFIELD mapped to
// a percentage), else by the records read against the expected count (RECORDSTOPROCESS, or the
// driver's record count), else by the bytes read against the file's size (the driver reports no
// record count). With none of these the percentage stays 0. The percentage is the fraction
// dropped, so 100 means complete; it never exceeds 100.
//
// Use: Init, AddSortOrder, then per run Reset and Next(1) until it does not answer 0, with
// HandleRecord after each record read; Kill at the end. The process window does this.
//
// Child processes (AddChild): level i+1 is read through for each record of level i; their
// records are counted but do not move the percentage. Nothing in this system adds any.
//
// Cost: Next allocates nothing, and touches the window only when the whole percentage changes:
// at most 100 times a run.
//
// Threading: belongs to the thread that runs it, as its view and window do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/field_ref.h"
#include "common/levels.h"
#include "data/view_reader.h"

namespace morlan {

class DataFile;
class FileRelations;
class QueryDialog;
class StepManager;
class View;
class Window;

// One nesting level of child processes.
struct ChildProcessEntry final {
  ViewReader* PROCESS = nullptr;  // not owned
};

class RecordProcess : public ViewReader {
 public:
  // Follows the digits of the percentage in the percent text.
  static constexpr std::string_view kPercentSuffix = "% Complete";
  // Characters of a step limit.
  static constexpr std::size_t kLimitCapacity = 64;

  using ViewReader::Next;   // the read without counting
  using ViewReader::Reset;  // Reset(position)

  // --- Overrides of the view reader ---

  // Quick scanning off for the primary file and its related files; the child list released,
  // the step manager killed; then the view reader's Kill. Safe to call twice.
  void Kill() override;
  // Prepares a run: nothing counted or read yet (BYTESREAD 0, so a second run starts at 0%); the
  // step limits set, or the expected records counted when RECORDSTOPROCESS is 0 (the file's size
  // taken when the driver cannot count); then the view positioned at its start.
  void Reset() override;

  // --- Virtual operations of its own, in slot order ---

  // Reads the next record: 0 read; 5 no further record; 3 a read error (already reported).
  // With `count` 1 the record is counted and the progress updated.
  virtual Level Next(std::uint8_t count);
  // Does nothing; nothing calls it.
  virtual void EmptyHook();
  // With a QUERY: asks it (mode 1) and, when the person asked for one, stores its filter as the
  // standard filter, which the next Reset applies. Without one: nothing.
  virtual void RunQuery();
  // The work for the record last read: 0 carry on; 3 stop the run with an error; 5 stop this
  // batch. The base does nothing and answers 0.
  virtual Level HandleRecord();

  // --- Non-virtual operations ---

  // Sets the process up over `view` of the file `primary` manages: `progress` (may be null) is
  // the byte the percentage goes to, set to 0 here; `percent_text_control` the control of the
  // window that shows the percent text; `records_to_process` the expected count (0: counted at
  // Reset). Then the view reader's Init with an order list of its own.
  void Init(View* view, FileRelations* primary, std::int32_t percent_text_control,
            std::int64_t records_to_process, std::uint8_t* progress);
  // Appends a nesting level (not owned; it must outlive the process's use of it); at most 255.
  void AddChild(ViewReader* child);
  // Writes the progress byte as the percent text of control PTEXT of WINDOW and redraws the
  // window, so that the thermometer follows. Nothing without a window or a progress byte.
  void ShowProgress();

  // --- Fields, in declared order ---

  // Counts are 64-bit: files pass 2 GiB and 2^31 lines.
  std::int64_t BYTESREAD = 0;  // bytes of the primary records read this run, when FILESIZE is known
  std::int64_t FILESIZE = 0;   // the primary file's size when its driver has no record count
  std::uint8_t CHILDREAD = 0;  // level being read; 0 this process's own view
  std::unique_ptr<std::vector<ChildProcessEntry>> CHILDREN;
  std::uint8_t* PERCENTILE = nullptr;   // the progress byte, 0..100; not owned
  std::int32_t PTEXT = 0;               // control of the percent text
  QueryDialog* QUERY = nullptr;         // not owned
  std::int64_t RECORDSPROCESSED = 0;    // records counted since Reset
  std::int64_t RECORDSTOPROCESS = 0;    // expected records; 0 still to be counted
  StepManager* STEPMGR = nullptr;       // not owned; killed by Kill
  FieldRef VALUEFIELD;                  // the field the step manager maps
  std::uint8_t CASESENSITIVEVALUE = 0;  // 0: values are upper-cased for the step manager
  // The window the percent text goes to, not owned; the process window sets it to its own.
  Window* WINDOW = nullptr;

 private:
  // Reads the first and last values of the order and gives them to the step manager.
  void SetStepLimits();
  // VALUEFIELD as text, cut to kLimitCapacity and upper-cased unless case-sensitive.
  std::string LimitText();
  // The step manager's percentage of VALUEFIELD.
  std::uint8_t StepPercentage();
  // The whole percentage of the record just read (primary level).
  std::uint8_t Percentage();
  // The primary file's driver, or nullptr.
  DataFile* PrimaryFile() const;

  std::vector<char> step_value_;  // upper-cased copy of VALUEFIELD, sized once per run
};

}  // namespace morlan
