// The fix procedure: rewrites the whole input dictionary (INP, "VRSQ1.qdl") into the output
// dictionary (OUT, "VRSQ2.qdl"), one output line for each input line, in order, each by the
// declaration rewrite rule (app/rewrite_declaration.h). It removes the old output first, opens
// both files, shows the progress window and runs a record process over INP in it: the first
// line is read when the window opens, each timer event handles a batch of lines, and the window
// closes at the end of INP (completed), on Cancel or a failure (cancelled).
//
// How a run ends:
// - every line written: response completed, the percent text "100% Complete";
// - an empty (or missing, then created empty) input: "No Records", cancelled, OUT empty;
// - Cancel, or close-down of the program: cancelled; OUT holds the lines handled so far;
// - a line that cannot be read (longer than 255 characters): "Record Retrieval Error" with the
//   driver's text, cancelled; OUT holds the lines before it;
// - a line that cannot be written: "Record Insert Error" once, the run stops; OUT holds exactly
//   the lines before it (every later write would fail the same way, a message each);
// - the old output cannot be removed (anything but "not found"): "File Removal Error" naming the
//   file and the system's reason, cancelled, nothing opened or written (appending to the old
//   lines would give a wrong dictionary reported as complete);
// - INP or OUT cannot be opened or created: "File Access Error" or "File Creation Error", which
//   halt the program.
// INP is only ever read.
//
// Threading: runs on the calling thread (the frame starts it on a thread of its own), with its
// own window and event loop. Needs the dictionary objects set up (InitDictionary) and AppErrors
// initialised; uses them while it runs. One run at a time: two runs would share both files.
#pragma once

#include <cstdint>

#include "platform/window_definition.h"

namespace morlan {

// The name the procedure runs under in the error manager (%Procedure).
inline constexpr char kFixProcedureName[] = "repqdl";

// Controls of the progress window.
inline constexpr int kProgressThermometer = 1;
inline constexpr int kProgressUserText = 2;
inline constexpr int kProgressPercentText = 3;
inline constexpr int kProgressCancel = 4;
// The progress window's timer interval, in hundredths. The record process's time slice decides
// how many lines a timer event handles; the timer only has to come again as soon as an event
// ends. A timer is next due one interval after the previous event began, so with the shortest
// interval it is already due whenever a batch has taken longer than that: the run goes from
// batch to batch without idling, and Cancel is still seen between batches.
inline constexpr int kProgressTimerInterval = 1;

// The progress window "P1$PROGRESSWINDOW": caption "Progress...", a thermometer (0 to 100), a
// user text, the percent text and a Cancel button.
WindowDefinition ProgressWindowDefinition();

// Runs one pass on the calling thread (see above) and returns how it ended (1 completed, 2
// cancelled), which it also stores in LastResponse. 2 at once, doing nothing, when the dictionary
// objects are not set up.
std::uint8_t FixQdl();

}  // namespace morlan
