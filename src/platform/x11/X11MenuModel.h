// What the own-drawn popup menu shows and where keyboard navigation goes, apart from any window.
#pragma once

#include <string>

class IPopupMenu;

// The text shown for item i: its text, after the numbering of the menu's
// prefix ("%1d: ", "%02d: ", "%03d: " with the 1-based position).
std::string X11MenuItemLabel(IPopupMenu* menu, int i);

// Whether an item can take the highlight: not a separator, not disabled.
bool X11MenuItemSelectable(IPopupMenu* menu, int i);

// Whether a click or Return on an item picks it: selectable and without a submenu.
bool X11MenuItemPickable(IPopupMenu* menu, int i);

// The next highlightable item from `from` in direction dir (+1 down, -1 up),
// wrapping around; from = -1 starts before the first (or, going up, after
// the last) item. -1 when the menu has none.
int X11MenuStep(IPopupMenu* menu, int from, int dir);
