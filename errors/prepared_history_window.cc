#include "errors/prepared_history_window.h"

#include <memory>
#include <string>

#include "errors/error_manager.h"
#include "errors/history_list_component.h"
#include "errors/history_window.h"
#include "errors/history_window_definition.h"

namespace morlan {

PreparedHistoryWindow::PreparedHistoryWindow() : window_(HistoryWindowDefinition()) {}

ButtonFlags PreparedHistoryWindow::Run(ErrorManager& manager, std::string_view caption, int icon,
                                       ButtonFlags buttons, ButtonFlags default_button) {
  // Acquire and release order the runs that take turns with the prepared window.
  bool expected = false;
  const bool shared = busy_.compare_exchange_strong(expected, true, std::memory_order_acquire);
  std::unique_ptr<Window> own;
  Window* window = &window_;
  if (!shared) {
    own = std::make_unique<Window>(HistoryWindowDefinition());
    window = own.get();
  }

  HistoryWindow history;
  history.CAPTION = std::string(caption);
  history.ICON = icon;
  history.BUTTONTYPES = buttons;
  history.MSGRVAL = default_button;
  history.STYLE = 0;
  history.ERR = &manager;
  history.WIN = window;
  HistoryListComponent list;
  list.WIN = window;
  list.ERR = &manager;
  list.HISTORY = &manager.history_list();
  history.HISTORYHANDLER = &list;
  history.Run();
  // Closed without a button, the window answers for nobody: a question is declined.
  const ButtonFlags result = history.answered()
                                 ? static_cast<ButtonFlags>(history.MSGRVAL)
                                 : ErrorManager::UnansweredButton(buttons, default_button);

  if (shared) busy_.store(false, std::memory_order_release);
  return result;
}

}  // namespace morlan
