// Control types of window definitions. The numbers are what the control-type property
// answers; a list is 37, the type whose new selection retargets the toolbar.
#pragma once

namespace morlan {

enum class ControlType : int {
  kText = 1,   // a caption the user cannot change
  kEntry = 2,  // an entry field
  kButton = 3,
  kThermometer = 4,  // progress bar bound to a byte, range low..high
  kCheck = 5,
  kImage = 6,
  kMenu = 10,      // a drop-down menu of the menu bar
  kMenuItem = 11,  // an entry of a menu, or a command on the menu bar itself
  kList = 37,
};

}  // namespace morlan
