// Translates the texts of a window (captions, prompts, messages) when it opens.
//
// Threading: called on the thread of the window's controller.
#pragma once

namespace morlan {

class Window;

class WindowTranslator {
 public:
  virtual ~WindowTranslator() = default;
  // Translates `window`; nullptr stands for the window of the thread's current event loop.
  virtual void TranslateWindow(Window* window) = 0;
};

}  // namespace morlan
