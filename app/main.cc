// morlan: repairs the QDL dictionary "VRSQ1.qdl" of the current directory into "VRSQ2.qdl".
// Command-line arguments are ignored, and the exit code is always 0.
#include <QApplication>
#include <cstdio>
#include <string>

#include "app/program.h"
#include "platform/drag_setting.h"
#include "platform/qt/qt_presenter.h"
#include "platform/runtime.h"
#include "platform/steady_clock.h"

int main(int argc, char** argv) {
  (void)argc;
  // Before anything else, and torn down last: also when there is no display to run on.
  morlan::ModuleInitialisers modules;

  // Without a display Qt would abort the process: the runtime cannot run the program here.
  std::string why;
  if (!morlan::QtPresenter::DisplayUsable(&why)) {
    std::fprintf(stderr, "%s\n", why.c_str());
    return 0;
  }

  // Qt sees the program's name only, so no argument changes what it does.
  int qt_argc = 1;
  char* qt_argv[] = {argv[0], nullptr};
  QApplication application(qt_argc, qt_argv);
  morlan::SteadyClock clock;
  morlan::Runtime::InstallClock(&clock);
  morlan::QtPresenter presenter;
  morlan::Runtime::InstallPresenter(&presenter);
  morlan::SystemDragSetting drag;
  const int exit_code = morlan::RunProgram(drag);
  morlan::Runtime::Reset();
  return exit_code;
}
