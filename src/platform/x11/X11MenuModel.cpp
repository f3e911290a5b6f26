// Labels and keyboard stepping of the own-drawn popup menu.
#include "platform/x11/X11MenuModel.h"

#include <cstdio>

#include "graphics/IPopupMenu.h"

std::string X11MenuItemLabel(IPopupMenu* menu, int i) {
  IPopupMenuItem* item = menu ? menu->GetItem(i) : nullptr;
  if (!item) return std::string();
  static const char* const kFormats[] = {"", "%1d: ", "%02d: ", "%03d: "};
  const int prefix = menu->GetPrefix();
  std::string label;
  if (prefix > 0 && prefix < 4) {
    char num[16];
    std::snprintf(num, sizeof(num), kFormats[prefix], i + 1);
    label = num;
  }
  label += item->GetText();
  return label;
}

bool X11MenuItemSelectable(IPopupMenu* menu, int i) {
  IPopupMenuItem* item = menu ? menu->GetItem(i) : nullptr;
  return item && !item->GetIsSeparator() && item->GetEnabled();
}

bool X11MenuItemPickable(IPopupMenu* menu, int i) {
  return X11MenuItemSelectable(menu, i) && !menu->GetItem(i)->GetSubmenu();
}

int X11MenuStep(IPopupMenu* menu, int from, int dir) {
  const int n = menu ? menu->GetNItems() : 0;
  if (n == 0) return -1;
  int i = from < 0 ? (dir > 0 ? -1 : n) : from;
  for (int k = 0; k < n; ++k) {
    i = ((i + dir) % n + n) % n;
    if (X11MenuItemSelectable(menu, i)) return i;
  }
  return -1;
}
