// The standard actions of an application frame's menu, carried out by the presenter's toolkit.
// A presenter without a toolkit leaves them inert. Called on the GUI thread's event loop.
#pragma once

namespace morlan {

class FrameActions {
 public:
  virtual ~FrameActions() = default;
  virtual void PrinterSetup() {}
  virtual void Cut() {}
  virtual void Copy() {}
  virtual void Paste() {}
  virtual void Tile() {}
  virtual void Cascade() {}
  virtual void ArrangeIcons() {}
  virtual void HelpContents() {}
  virtual void HelpSearch() {}
  virtual void HelpOnHelp() {}
};

}  // namespace morlan
