// The frame procedure: the program's main window, an application frame with the caption
// "Application" and a menu bar (File, the command "Fix QDL", Edit, Window, Help). "Fix QDL" starts
// the fix procedure (app/fix_procedure.h) on a thread of its own and the frame stays usable; the
// other entries are the runtime's standard actions (printer set-up, Exit, clipboard, window
// arrangement, help). The procedure returns when the frame closes (Exit or its close box).
//
// One fix run at a time: while a run is in progress "Fix QDL" is greyed, and a start that still
// reaches the frame is refused, so two runs never share the dictionary files. The command is
// enabled again when the run ends, however it ends. A thread that cannot be started is reported
// ("Procedure not started") and the command enabled again.
//
// Threading: runs on the main thread, which the runtime pumps for the presenter. Needs AppErrors
// and the dictionary objects set up for as long as a run it started may still use them: the
// caller stops running procedures before killing them (Runtime::StopProcedures).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "common/codes.h"
#include "platform/window_definition.h"

namespace morlan {

// The name the procedure runs under in the error manager (%Procedure).
inline constexpr char kFrameProcedureName[] = "Main";

// Menu entries of the frame.
inline constexpr int kMenuFile = -1;
inline constexpr int kMenuPrintSetup = -2;
inline constexpr int kMenuExit = -3;
inline constexpr int kMenuFixQdl = -4;
inline constexpr int kMenuEdit = -5;
inline constexpr int kMenuCut = -6;
inline constexpr int kMenuCopy = -7;
inline constexpr int kMenuPaste = -8;
inline constexpr int kMenuTile = -9;
inline constexpr int kMenuCascade = -10;
inline constexpr int kMenuArrange = -11;
inline constexpr int kMenuHelpContents = -12;
inline constexpr int kMenuHelpSearch = -13;
inline constexpr int kMenuHelpOnHelp = -14;
// The Window and Help menus have no control of their own in the listing; they take the next
// free numbers.
inline constexpr int kMenuWindow = -15;
inline constexpr int kMenuHelp = -16;

// The stack the fix procedure's thread asks for (the runtime raises it to what C++ needs).
inline constexpr std::size_t kFixStackBytes = 25000;

// The frame's own event: a fix run it started has ended. Outside the runtime's event codes.
inline constexpr EventCode kEventFixRunEnded = 0x4001;

// The frame "P1$APPFRAME": 310 by 190 dialog units, its menu bar with each entry's message text.
WindowDefinition FrameDefinition();

// Starts a procedure on a new thread with a stack of at least `stack_bytes`; false when it
// cannot (Runtime::StartThread).
using ThreadStarter = std::function<bool(std::function<void()> procedure, std::size_t stack_bytes)>;

// Runs the frame until it closes; stores the response in LastResponse and returns it. `starter`
// starts the fix runs (empty: Runtime::StartThread).
std::uint8_t Main(ThreadStarter starter = {});

}  // namespace morlan
