// The two dictionary files and their global objects. INP ("VRSQ1.qdl") is the dictionary read,
// OUT ("VRSQ2.qdl") the one written, both in the current directory, both line files of the
// text-line driver whose record is one 255-character text field F1 (INP:F1, OUT:F1).
//
// Each file has a file manager and a relation manager that live for the whole program; other code
// reaches them only through the global references below, which are null before InitDictionary
// and again once the objects are killed. Killing a relation manager kills its file manager first.
//
// Life: start-up binds the files (BindDictionaryFiles) and sets the objects up (InitDictionary);
// shutdown kills them (KillDictionary) and, at the very end, destroys the file managers
// (DestroyDictionary). A manager that was never set up, or was already killed, is left alone by
// the destroy: it touches neither the file usage tracker nor the file, whose object may be gone.
//
// Threading: set-up and tear-down belong to the main thread while no procedure runs. Between them
// procedures on any thread use the objects through the references, one run at a time.
#pragma once

#include <cstdint>
#include <string_view>

namespace morlan {

class DataFile;
class FileManager;
class FileRelations;

inline constexpr std::string_view kInputFileName = "VRSQ1.qdl";
inline constexpr std::string_view kOutputFileName = "VRSQ2.qdl";
// Characters of F1: the longest line either file holds.
inline constexpr std::uint32_t kDictionaryLineWidth = 255;

// Global references; null while the objects are not set up.
extern FileManager* InpFileManager;
extern FileManager* OutFileManager;
extern FileRelations* InpRelations;
extern FileRelations* OutRelations;

// The files as the text-line driver has them.
DataFile& InpFile();
DataFile& OutFile();

// Blanks both record buffers. The files are bound to the text-line driver from the start.
void BindDictionaryFiles();
// Has InitDictionary set the objects up over other file objects (tests: wrappers that share a
// bound file's record and inject faults or watch the reads); nullptr: the bound file. They must
// outlive the objects' use of them.
void UseDictionaryFiles(DataFile* inp, DataFile* out);

// Sets the four objects up over the bound files: each file manager over its file with the error
// manager AppErrors, creating missing files, with lock recovery 10; each relation manager over its
// file manager with transactions on. Sets the references.
void InitDictionary();
// Kills INP's relation manager, then OUT's (each kills its file manager first). The references
// are null afterwards.
void KillDictionary();
// Destroys OUT's file manager, then INP's: the last tear-down, when the program ends.
void DestroyDictionary();

}  // namespace morlan
