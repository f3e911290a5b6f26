// The native form of a popup menu (final titles, flags and nesting) and the write-back of a pick.
#pragma once

#include <memory>
#include <string>
#include <vector>

class IPopupMenu;
struct INativeMenu;

// One entry of a native menu, as a platform menu item would show it.
struct INativeMenuEntry {
  enum EKind { kItem = 0, kSeparator = 1, kSubmenu = 2 };

  EKind mKind = kItem;
  std::string mTitle;        // UTF-8, numbering included; empty for separators
  bool mEnabled = true;      // from the item's disabled bit; submenu entries are always enabled
  bool mChecked = false;     // the native check mark
  int mIndentation = 0;      // 1 for title items
  std::unique_ptr<INativeMenu> mSubmenu;  // kSubmenu only; null when a cycle was cut
};

// A platform-neutral description of the native menu built from an IPopupMenu
// tree. Every (sub)menu remembers the model it was built from, so that a pick
// can be written back into the model of the menu in which it was made.
//
// Rules: the menu's own title is empty and items are never enabled or
// disabled automatically; each item's title is its text, preceded by the
// numbering of its 1-based position when the model has a prefix; an item with
// a submenu becomes an entry without action whose menu is built by the same
// rules (numbering restarts inside it, with its own prefix); otherwise a
// separator item becomes a separator; otherwise the entry is selectable, title
// items are indented by one level, the checked flag sets the check mark and
// the disabled bit clears the enabled state. Because separators and submenu
// entries are entries too, an entry's position equals the item's index in the
// model.
//
// A submenu that already appears among its own ancestors (a cyclic tree) is
// shown as an empty submenu instead of being expanded forever.
//
// Lifecycle: built on the user-interface thread just before the menu is
// shown, read by the platform layer, destroyed after the pick. It refers to
// the models without owning them; they must outlive it.
struct INativeMenu {
  IPopupMenu* mModel = nullptr;
  std::string mTitle;              // always empty
  bool mAutoEnablesItems = false;  // always false
  std::vector<INativeMenuEntry> mEntries;
};

// Builds the native description of pMenu and its submenus. A null menu gives
// an empty description without model.
std::unique_ptr<INativeMenu> BuildNativeMenu(IPopupMenu* pMenu);

// Writes the pick of entry `position` of native menu pPickedIn into that
// menu's model as its chosen index and returns the model. Positions outside
// the menu, separators, submenu entries and disabled entries are not picks:
// nothing is written and null is returned (as for a dismissed menu).
IPopupMenu* ApplyNativeMenuPick(INativeMenu* pPickedIn, int position);

// Follows a path of entry positions from the root through submenu entries
// (an empty path gives the root); null when a step does not lead to a submenu.
INativeMenu* FindNativeSubmenu(INativeMenu* pRoot, const std::vector<int>& path);
