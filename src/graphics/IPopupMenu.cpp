// IPopupMenu: insertion rules, numbering prefixes, check marks and the chosen index.
#include "graphics/IPopupMenu.h"

#include <cstdio>

IPopupMenu::IPopupMenu(int prefix, bool multicheck) : mPrefix(0), mCanMultiCheck(multicheck) { SetPrefix(prefix); }

IPopupMenu::~IPopupMenu() {
  for (IPopupMenuItem* pItem : mMenuItems) delete pItem;
}

IPopupMenuItem* IPopupMenu::AddItem(IPopupMenuItem* pItem, int index) {
  if (!pItem) return nullptr;
  if (index == -1 || index >= GetNItems())
    mMenuItems.push_back(pItem);
  else if (index < 0)
    mMenuItems.insert(mMenuItems.begin(), pItem);
  else
    mMenuItems.insert(mMenuItems.begin() + index, pItem);
  return pItem;
}

IPopupMenuItem* IPopupMenu::AddItem(const char* text, int index, int itemFlags) {
  return AddItem(new IPopupMenuItem(text, itemFlags), index);
}

IPopupMenuItem* IPopupMenu::AddItem(const char* text, int index, IPopupMenu* pSubMenu) {
  return AddItem(new IPopupMenuItem(text, pSubMenu), index);
}

IPopupMenuItem* IPopupMenu::AddItem(const char* text, IPopupMenu* pSubMenu) { return AddItem(text, -1, pSubMenu); }

IPopupMenuItem* IPopupMenu::AddSeparator(int index) {
  return AddItem(new IPopupMenuItem("", IPopupMenuItem::kSeparator), index);
}

IPopupMenuItem* IPopupMenu::GetItem(int index) const {
  if (index < 0 || index >= GetNItems()) return nullptr;
  return mMenuItems[(std::size_t)index];
}

const char* IPopupMenu::GetItemText(int index) const {
  const IPopupMenuItem* pItem = GetItem(index);
  return pItem ? pItem->GetText() : nullptr;
}

void IPopupMenu::SetPrefix(int prefix) {
  if (prefix >= 0 && prefix < 4) mPrefix = prefix;
}

bool IPopupMenu::CheckItem(int index, bool state) {
  IPopupMenuItem* pItem = GetItem(index);
  if (!pItem) return false;
  pItem->SetChecked(state);
  return true;
}

void IPopupMenu::CheckItemAlone(int index) {
  for (int i = 0; i < GetNItems(); ++i) mMenuItems[(std::size_t)i]->SetChecked(i == index);
}

bool IPopupMenu::IsItemChecked(int index) const {
  const IPopupMenuItem* pItem = GetItem(index);
  return pItem && pItem->GetChecked();
}

std::string IPopupMenu::PrefixText(int prefix, int n) {
  char buf[32];
  switch (prefix) {
    case 1: std::snprintf(buf, sizeof(buf), "%1d: ", n); break;
    case 2: std::snprintf(buf, sizeof(buf), "%02d: ", n); break;
    case 3: std::snprintf(buf, sizeof(buf), "%03d: ", n); break;
    default: return std::string();
  }
  return buf;
}
