// Start-up and shutdown of the program.
//
// Module initialisers (ModuleInitialisers): their set-up halves run before anything else, in
// order: 1 the dictionary objects (they exist from the start), 2 the dictionary records blanked
// and the files bound to the text-line driver, the word-ranking weights filled, the shared
// request, response and navigation values 0, 3 the file usage tracker emptied, 4 the error
// history window prepared and handed to AppErrors. Their tear-down halves run at the very end,
// also when the main sequence never ran, in an order in which none uses what an earlier one freed:
// 4 (the history window taken from AppErrors and freed), 1 (the file managers destroyed; one
// never set up or already killed is left alone), 3 (the tracker emptied).
//
// The main sequence (RunMainSequence), on the main thread: AppErrors set up with the standard
// messages and the fix's own, the dictionary objects, the word-ranking options (no case on, whole
// words off), the settings store on "morlan.INI"; the desktop setting "show window contents while
// dragging" switched off when it was on; the frame procedure until the frame closes. Then
// close-down: every procedure still running (a fix run) is told to stop, and its thread waited
// for, before any global object is killed; the settings written back, the drag setting put back,
// and the objects killed in the reverse order of their set-up.
//
// A halt (a fatal error, from any thread) puts the drag setting back before the program ends, as
// a normal end does. A procedure that does not stop within Runtime::kCloseDownPatience may still
// be using the global objects: they are then not killed, and the program ends at once with exit
// code 0 (the drag setting put back, the files' buffered lines written).
//
// The program takes no arguments and always ends with exit code 0.
//
// Threading: main thread only.
#pragma once

#include <memory>

#include "platform/drag_setting.h"
#include "platform/runtime.h"

namespace morlan {

class PreparedHistoryWindow;

class ModuleInitialisers final {
 public:
  ModuleInitialisers();
  ~ModuleInitialisers();

  ModuleInitialisers(const ModuleInitialisers&) = delete;
  ModuleInitialisers& operator=(const ModuleInitialisers&) = delete;

 private:
  std::unique_ptr<PreparedHistoryWindow> history_window_;
};

// Runs the main sequence (above) on the calling thread, which runs the presenter's toolkit; the
// presenter and clock are installed. `drag` is the desktop's drag setting. False when a procedure
// did not stop at close-down: the process has then been told to end (Runtime::Halt, exit code
// 0), and the global objects were left as they were.
bool RunMainSequence(DragSetting& drag);

// The program's entry once the module set-ups have run and the presenter and clock are
// installed: the runtime started and asked whether it can run a program built for
// `runtime_version`; the main sequence only when it can. Returns the exit code: 0.
int RunProgram(DragSetting& drag, int runtime_version = Runtime::kVersion);

}  // namespace morlan
