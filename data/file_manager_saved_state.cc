// FileManager: saved copies of the record buffer (BUFFERS) and saved file states (SAVED).
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "data/file_manager.h"

namespace morlan {

namespace {

// The saved copy `id` of `buffers`, which is kept in id order; nullptr when there is none.
const SavedBufferEntry* FindSaved(const std::vector<SavedBufferEntry>& buffers, std::uint32_t id) {
  const auto it =
      std::lower_bound(buffers.begin(), buffers.end(), id,
                       [](const SavedBufferEntry& e, std::uint32_t value) { return e.ID < value; });
  return it != buffers.end() && it->ID == id ? &*it : nullptr;
}

}  // namespace

std::vector<SavedBufferEntry>& FileManager::Buffers() {
  if (!BUFFERS) BUFFERS = std::make_unique<std::vector<SavedBufferEntry>>();
  return *BUFFERS;
}

std::vector<SavedStateEntry>& FileManager::States() {
  if (!SAVED) SAVED = std::make_unique<std::vector<SavedStateEntry>>();
  return *SAVED;
}

std::uint32_t FileManager::SaveBuffer() {
  DataFile* record = RecordFile();
  if (record == nullptr) return 0;
  std::vector<SavedBufferEntry>& buffers = Buffers();
  const std::uint32_t id = buffers.empty() ? 1 : buffers.back().ID + 1;
  buffers.push_back({id, ClipCopy({record->record(), record->record_size()})});
  const int blobs = record->blob_count();
  // Large objects are kept whole: their trailing blanks are data, not padding.
  for (int i = 0; i < blobs; ++i) {
    buffers.push_back({id + 1 + static_cast<std::uint32_t>(i), record->blob(i)});
  }
  buffers.push_back({id + 1 + static_cast<std::uint32_t>(blobs), record->null_flags()});
  return id;
}

void FileManager::RestoreBuffer(FileManager& target, std::uint32_t* buffer_id, FileManager& source,
                                bool restore) {
  if (buffer_id == nullptr || *buffer_id == 0) return;
  const std::uint32_t id = *buffer_id;
  *buffer_id = 0;
  if (!source.BUFFERS) return;
  std::vector<SavedBufferEntry>& buffers = *source.BUFFERS;
  const auto find = [&](std::uint32_t wanted) { return FindSaved(buffers, wanted); };
  // The copy spans the ids its own record had large objects for; a target with another count
  // (an alias of another layout) takes what both have.
  DataFile* from = source.RecordFile();
  DataFile* to = target.RecordFile();
  const int saved_blobs = from != nullptr ? from->blob_count() : 0;
  if (to != nullptr) {
    if (restore) {
      if (const SavedBufferEntry* e = find(id)) {
        AssignText({to->record(), to->record_size()}, e->BUFFER);
      }
      const int blobs = std::min(saved_blobs, to->blob_count());
      for (int i = 0; i < blobs; ++i) {
        if (const SavedBufferEntry* e = find(id + 1 + static_cast<std::uint32_t>(i))) {
          to->blob(i) = e->BUFFER;
        }
      }
    }
    if (const SavedBufferEntry* e = find(id + 1 + static_cast<std::uint32_t>(saved_blobs))) {
      std::string& flags = to->null_flags();
      std::copy_n(e->BUFFER.begin(), std::min(flags.size(), e->BUFFER.size()), flags.begin());
    }
  }
  const std::uint32_t last = id + 1 + static_cast<std::uint32_t>(saved_blobs);
  std::erase_if(buffers, [&](const SavedBufferEntry& e) { return e.ID >= id && e.ID <= last; });
}

bool FileManager::EqualsSavedBuffer(std::uint32_t buffer_id) {
  if (UseFile(FileUse::kRecords) != FatalityNone) return false;
  DataFile* record = RecordFile();
  if (record == nullptr || !BUFFERS) return false;
  const auto find = [&](std::uint32_t wanted) { return FindSaved(*BUFFERS, wanted); };
  const SavedBufferEntry* saved = find(buffer_id);
  if (saved == nullptr || !TextEquals({record->record(), record->record_size()}, saved->BUFFER)) {
    return false;
  }
  for (int i = 0; i < record->blob_count(); ++i) {
    saved = find(buffer_id + 1 + static_cast<std::uint32_t>(i));
    if (saved == nullptr || !TextEquals(record->blob(i), saved->BUFFER)) return false;
  }
  return true;
}

std::uint16_t FileManager::SaveState() {
  std::vector<SavedStateEntry>& states = States();
  SavedStateEntry state;
  state.ID = static_cast<std::uint16_t>(states.empty() ? 1 : states.back().ID + 1);
  state.BUFFER = static_cast<std::uint16_t>(SaveBuffer());
  if (FILE != nullptr) {
    state.STATE = FILE->SaveState();
    state.POS = PositionText();
  }
  const FileThreadInfo& info = thread_info();
  state.AUTOINCDONE = info.AUTOINCDONE;
  state.AUTOINCPOS = info.AUTOINCPOS;
  states.push_back(std::move(state));
  return states.back().ID;
}

void FileManager::RestoreState(FileManager& target, std::uint16_t* state_id, FileManager& source,
                               bool restore) {
  if (state_id == nullptr || *state_id == 0) return;
  if (target.UseFile(FileUse::kRecords) != FatalityNone) return;
  std::vector<SavedStateEntry>& states = source.States();
  const auto it = std::find_if(states.begin(), states.end(),
                               [&](const SavedStateEntry& e) { return e.ID == *state_id; });
  *state_id = 0;
  if (it == states.end()) return;
  const SavedStateEntry state = std::move(*it);
  states.erase(it);
  if (restore) {
    if (target.ALIASEDFILE == nullptr && target.FILE == source.FILE) {
      target.FILE->RestoreState(state.STATE);
    } else {
      target.RegetAt(state.POS);
    }
  }
  std::uint32_t buffer = state.BUFFER;
  RestoreBuffer(target, &buffer, source, restore);
  if (restore) {
    FileThreadInfo& info = target.thread_info();
    info.AUTOINCDONE = state.AUTOINCDONE;
    info.AUTOINCPOS = state.AUTOINCPOS;
  }
  if (source.FILE != nullptr && state.STATE != 0) source.FILE->FreeState(state.STATE);
}

}  // namespace morlan
