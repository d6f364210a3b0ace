#include "app/dictionary.h"

#include <string>

#include "app/dictionary_file_manager.h"
#include "app/dictionary_relations.h"
#include "app/globals.h"
#include "common/record_layout.h"
#include "platform/text_line_file.h"

namespace morlan {

FileManager* InpFileManager = nullptr;
FileManager* OutFileManager = nullptr;
FileRelations* InpRelations = nullptr;
FileRelations* OutRelations = nullptr;

namespace {

RecordLayout LineLayout(std::string label) {
  RecordLayout layout;
  layout.AddField(label + ":F1", FieldType::kText, kDictionaryLineWidth);
  return layout;
}

// The files first: the managers, destroyed before them, may still look at them.
TextLineFile inp_file(std::string(kInputFileName), LineLayout("INP"));
TextLineFile out_file(std::string(kOutputFileName), LineLayout("OUT"));
DictionaryFileManager inp_manager(&InpFileManager);
DictionaryFileManager out_manager(&OutFileManager);
DictionaryRelations inp_relations(&inp_manager, &InpRelations);
DictionaryRelations out_relations(&out_manager, &OutRelations);
DataFile* inp_in_use = &inp_file;
DataFile* out_in_use = &out_file;

void SetUp(DataFile& file, DictionaryFileManager& manager, FileManager** manager_reference,
           DictionaryRelations& relations) {
  manager.Init(&file, &AppErrors);
  manager.BUFFER = &file;
  manager.CREATE = 1;
  manager.LOCKRECOVER = 10;
  *manager_reference = &manager;
  relations.Init(&manager, true);
}

}  // namespace

DataFile& InpFile() { return inp_file; }
DataFile& OutFile() { return out_file; }

void BindDictionaryFiles() {
  inp_file.ClearRecord();
  out_file.ClearRecord();
}

void UseDictionaryFiles(DataFile* inp, DataFile* out) {
  inp_in_use = inp != nullptr ? inp : &inp_file;
  out_in_use = out != nullptr ? out : &out_file;
}

void InitDictionary() {
  InpRelations = &inp_relations;
  OutRelations = &out_relations;
  SetUp(*inp_in_use, inp_manager, &InpFileManager, inp_relations);
  SetUp(*out_in_use, out_manager, &OutFileManager, out_relations);
}

void KillDictionary() {
  if (InpRelations != nullptr) InpRelations->Kill();
  if (OutRelations != nullptr) OutRelations->Kill();
}

void DestroyDictionary() {
  out_manager.Destroy();
  inp_manager.Destroy();
}

}  // namespace morlan
