// The manager of one data file: everything the framework knows about the file beyond the
// platform's file object. It opens the file (lazily or at once, creating a missing file, with lock
// recovery and a read-only fallback), keeps the per-thread open state, reads and writes records
// (with auto-numbering and duplicate-key messages), saves and restores record buffers and whole
// file states, and reports every failure by error id through the error manager.
//
// Levels: 0 success; 3 the file cannot be used; 5 the operation did not happen; otherwise what
// the error manager returned for the message it showed. Reporting operations show their errors;
// their Try twins only record the error id (LASTERROR) and the platform's error state.
//
// Threading: the per-thread state (INFO) is kept by thread id for files the driver reports as
// per-thread, else shared by all threads under id 1. Any thread may use the manager of a
// per-thread file while others do: each finds its own entry on every operation, and entries
// never move (FileThreadInfoList). Everything else (the record buffer, the saved buffers and
// states, the keys) belongs to one thread at a time, as the file's record buffer does.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/error_ids.h"
#include "common/field_ref.h"
#include "common/field_value.h"
#include "common/fixed_text.h"
#include "common/levels.h"
#include "data/file_thread_info_list.h"
#include "data/file_use.h"
#include "platform/data_file.h"
#include "platform/file_callback_interface.h"
#include "platform/file_key.h"

namespace morlan {

class ErrorManager;
class FileRelations;

// How an update reports a failure.
enum class UpdateReport : std::uint8_t {
  kSilent,       // records the error only (TryUpdate)
  kShow,         // shows it (Update)
  kShowForForm,  // shows it to a form that then shows the other station's values
};

// One component of a key: the field in the record buffer, its label, its direction.
struct KeyComponentEntry {
  FieldRef FIELD;
  std::string LABEL;
  std::uint8_t ASCENDING = 1;
};

struct KeyEntry {
  const FileKey* KEY = nullptr;
  FixedText<80> DESCRIPTION;
  std::vector<KeyComponentEntry> FIELDS;
  std::uint8_t AUTOINC = 0;  // 1-based position of the auto-numbered component; 0 none
  std::uint8_t DUPS = 0;
  std::uint8_t NOCASE = 0;
};

struct SavedBufferEntry {
  std::uint32_t ID = 0;
  std::string BUFFER;  // clipped, at least 1 byte
};

struct SavedStateEntry {
  std::uint16_t BUFFER = 0;  // id of the saved buffer
  std::uint16_t ID = 0;
  std::uint8_t AUTOINCDONE = 0;
  FileStateHandle STATE = 0;
  std::string POS;         // position text, at most 1024 characters
  std::string AUTOINCPOS;  // the thread's AUTOINCPOS, kept with AUTOINCDONE
};

struct FieldEntry {
  std::string TAG;
  FieldRef FLD;
  std::string FTYPE;
  std::string FPICTURE;
};

class FileManager : public FileCallbackInterface {
 public:
  FileManager() = default;
  // Kills a manager that was not killed, so that neither the tracker nor the file keeps a
  // pointer to it. A manager must be killed (or destroyed) before its file goes away, unless the
  // driver reports its own destruction (kNotifyDestroy, word 9 zero), after which the manager
  // forgets FILE.
  ~FileManager() override;

  FileManager(const FileManager&) = delete;
  FileManager& operator=(const FileManager&) = delete;

  // --- Virtual operations, in slot order (the first two are the callback interface's) ---

  // The driver reports an operation on the file: 7 (close) while INRESTORE and OPENED are set
  // closes the manager's count; 104 (destroy) with parameter word 9 equal to 0 runs the clean-up
  // of Kill and forgets FILE, whose object is going away; with word 9 not zero the driver keeps
  // the file and the manager everything it holds, FILE included. Returns true.
  bool DriverNotify(std::uint32_t operation, std::span<const std::uint32_t> parameters) override;
  bool DriverNotifyDone() override;
  // Calls Kill.
  virtual void Destroy();
  // Makes the record's fields known by name to filter expressions.
  virtual void BindRecordFields();
  // Removes the record the auto-numbering added and nothing completed, through
  // relations->Delete(0) when given (so cascades apply), else directly; the record is made
  // current again first, should a look-up have moved the file since. 5, deleting nothing, when it
  // can no longer be read.
  virtual Level CancelAutoNumber(FileRelations* relations);
  // Counts a close for the calling thread; the last one closes the file. Always 0, so that a
  // close pass reaches every file; a driver close that fails (buffered writes lost) is shown as
  // "Record Insert Error".
  virtual Level Close();
  // True when the record buffer (and large objects) equal the saved copy `buffer_id`.
  virtual bool EqualsSavedBuffer(std::uint32_t buffer_id);
  // TryFetch; clears the record buffer when it does not answer 0.
  virtual Level FetchOrClear(const FileKey* key);
  // Must be called first. Defaults: OPENMODE 42h, CREATE 1, LOCKRECOVER 10, LAZYOPEN 1.
  virtual void Init(DataFile* file, ErrorManager* errors);
  // Adds the record buffer. After auto-numbering, the record the numbering added is written
  // instead (made current again first, should a look-up have moved the file since).
  virtual Level Insert();
  // Tears down; safe to call twice (the second call only unregisters the notification sink).
  // Does not close the file.
  virtual void Kill();
  virtual Level Next();
  // Counts an open for the calling thread; opens physically unless lazy or already open.
  virtual Level Open();
  virtual Level Previous();
  virtual Level AssignAutoNumbers();
  // Hook for filling a new record's fields; empty here.
  virtual void PrepareFields();
  virtual Level PrepareRecord(bool keep_buffer);
  virtual Level PostError(ErrorId id);
  virtual Level PostLastError();
  virtual Level PostErrorWithText(ErrorId id, std::string_view text);
  virtual Level TryFetch(const FileKey* key);
  virtual Level TryInsert();
  virtual Level TryNext();
  virtual Level TryOpen();
  virtual Level TryPrevious();
  virtual Level TryAssignAutoNumbers();
  virtual Level TryUpdate();
  virtual Level Update();
  virtual Level ValidateFieldReported(int field);
  virtual Level ValidateFieldSilent(int field);
  virtual Level CheckField(int field, bool report);
  virtual Level ValidateFields(int first, int last, int* failed_field);
  virtual Level ValidateRecord(int* failed_field);
  // Deletes the current record; always 0 (the platform's error state tells the outcome).
  virtual Level DeleteCurrent();
  // Asked for each child record of a delete cascade; true skips it. False here.
  virtual bool SkipInCascade();

  // --- Non-virtual operations ---

  // Called at the start of every record operation, and by other subsystems before they touch
  // the file: records the use in the calling thread's use scope (FileUsageTracker) and performs
  // a lazy file's deferred open.
  Level UseFile(FileUse kind);
  // Makes sure INFO has the calling thread's entry and tells the error manager the file's name.
  void SelectThreadInfo();
  // The calling thread's entry (made when missing). The reference stays good until Kill, while
  // other threads come and go.
  FileThreadInfo& thread_info();
  std::string GetFileName() const;
  // Captures the platform's error state in the error manager and records `id` in LASTERROR.
  void SetError(ErrorId id);
  // Update, reporting as `report` says. A record another station changed is not written (5): it
  // is read again, so the buffer holds their version, and the error is ErrChangedElsewhere (or
  // ErrChangedElsewhereShown for kShowForForm). When it cannot be read again (deleted there), the
  // buffer keeps the caller's changes and the error is ErrRecordNotUpdated, with the read's.
  Level UpdateWithReport(UpdateReport report);
  // True when the calling thread's last Next or Previous met the end of the file.
  bool AtEndOfFile();

  // Position text of the current record in KEYS[PRIMARYKEY] (physical order when 0); empty
  // when the file cannot be used.
  std::string Position();
  Level Reget(std::string_view position);

  // --- Saved buffers and states (file_manager_saved_state.cc) ---

  std::uint32_t SaveBuffer();
  // Puts saved buffer `*buffer_id` of `source` back into `target` (when `restore`), always sets
  // the null flags, releases the copy and sets `*buffer_id` to 0. Nothing when it is 0.
  static void RestoreBuffer(FileManager& target, std::uint32_t* buffer_id, FileManager& source,
                            bool restore);
  std::uint16_t SaveState();
  static void RestoreState(FileManager& target, std::uint16_t* state_id, FileManager& source,
                           bool restore);

  // --- Keys and their texts (file_manager_keys.cc) ---

  // Registers a key of the file: declares it with the driver and fills a KEYS entry (components
  // from the key's fields, labelled with the field names). `autoinc` is the 1-based auto-numbered
  // component, 0 none; sets HASAUTOINC. Returns the platform key, or nullptr on failure.
  const FileKey* AddKey(FileKey key, std::string_view description, std::uint8_t autoinc = 0);

  // The KEYS entry of `key`, or nullptr.
  KeyEntry* SelectKey(const FileKey* key);
  void SetKeyLimits(const FileKey* key, int first, int last, bool high);
  std::string KeyOrderText(const FileKey* key, int first);
  int KeyComponentCount(const FileKey* key);
  FieldRef KeyComponentField(const FileKey* key, int n);
  std::string KeyComponentLabel(const FileKey* key, int n);
  std::string KeyPrefixText(const FileKey* key, int n, std::size_t size);
  // `value` as a literal of a filter expression: a text between apostrophes, each apostrophe
  // doubled, wrapped in UPPER( ) when `expression` contains "UPPER("; a number in its shortest
  // decimal form. Nothing (std::nullopt) when a text's literal would pass the 2,000-character
  // work area: a cut literal would change the expression or break it.
  static std::optional<std::string> QuoteValue(const FieldValue& value,
                                               std::string_view expression);
  static std::string ClipCopy(std::string_view text);

  // --- Fields, in declared order ---

  FileCallbackInterface* FILECALLBACKINTERFACE = this;  // the manager as its driver sees it
  FileManager* ALIASEDFILE = nullptr;
  DataFile* BUFFER = nullptr;  // the record buffer is the file's (address, layout, size)
  std::unique_ptr<std::vector<SavedBufferEntry>> BUFFERS;
  std::uint8_t CREATE = 0;
  ErrorManager* ERRORS = nullptr;
  std::unique_ptr<std::vector<FieldEntry>> FIELDS;
  void* FIELDTYPES = nullptr;
  DataFile* FILE = nullptr;
  std::optional<FieldValue> FILENAME;
  FixedText<256> FILENAMEVALUE;  // filled by Init; set FILENAME to show another name
  std::uint8_t HASAUTOINC = 0;
  // Counters any thread of a per-thread file may move.
  std::atomic<std::uint8_t> INUSEFILE{0};
  std::atomic<std::uint8_t> INCALLBACK{0};
  std::atomic<std::uint8_t> INCLOSE{0};
  std::uint8_t INRESTORE = 0;
  std::unique_ptr<FileThreadInfoList> INFO;
  std::unique_ptr<std::vector<KeyEntry>> KEYS;
  std::uint8_t LAZYOPEN = 0;
  std::int16_t LOCKRECOVER = 0;
  std::uint8_t OPENMODE = 0;
  std::uint8_t PRIMARYKEY = 0;
  std::unique_ptr<std::vector<SavedStateEntry>> SAVED;
  std::uint8_t SKIPHELDRECORDS = 0;
  std::uint8_t CLEANEDUP = 0;

 private:
  friend class FileUsageTracker;

  // UseFile, handing back the calling thread's entry in `*info` (also when it fails), so that a
  // record operation looks it up once.
  Level UseFileWith(FileUse kind, FileThreadInfo** info);
  // SelectThreadInfo, answering the entry.
  FileThreadInfo& SelectThreadEntry();
  // Open and TryOpen: report 1 or 0; force opens physically whatever LAZYOPEN says.
  Level OpenWith(bool report, bool force);
  // The physical open, with at most two attempts.
  Level OpenFile(bool report);
  Level InsertWith(bool report);
  Level ReadWith(bool report, bool forward);
  Level AssignAutoNumbersWith(bool report);
  void CleanUp();

  static std::int32_t CurrentThreadNumber();
  // GetFileName without a copy.
  std::string_view FileNameText() const;
  // Appends the shortest decimal text that reads back as `value`.
  static void AppendNumber(std::string& out, double value);
  // Appends a key component's value: a text clipped, a number in decimal.
  static void AppendFieldText(std::string& out, const FieldRef& field);
  // The file whose record buffer the manager works on: BUFFER, else FILE.
  DataFile* RecordFile() const { return BUFFER != nullptr ? BUFFER : FILE; }
  const FileKey* PrimaryKey() const;
  // Position and Reget without UseFile.
  std::string PositionText();
  Level RegetAt(std::string_view position);
  // Makes the record the auto-numbering added (info.AUTOINCPOS) current again when another is,
  // keeping the record buffer. False, with the driver's status, when it cannot be read.
  bool ReturnToAutoNumbered(const FileThreadInfo& info);
  // The lists, created again should an operation run after the clean-up.
  FileThreadInfoList& Infos();
  std::vector<SavedBufferEntry>& Buffers();
  std::vector<SavedStateEntry>& States();

  std::uint64_t file_label_ = 0;    // FILE's identity, kept from Init
  std::size_t file_name_size_ = 0;  // FILENAMEVALUE without its trailing blanks
  // The error manager's FileNameStamp when this manager last named its file there; 0 none.
  std::atomic<std::uint64_t> name_stamp_{0};
  mutable std::string file_name_number_;  // FILENAME as text when it holds a number
};

}  // namespace morlan
