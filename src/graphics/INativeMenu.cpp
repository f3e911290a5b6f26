// Native popup-menu construction from the menu model, and the write-back of the user's pick.
#include "graphics/INativeMenu.h"

#include <algorithm>

#include "graphics/IPopupMenu.h"

namespace {

std::unique_ptr<INativeMenu> Build(IPopupMenu* pMenu, std::vector<const IPopupMenu*>& ancestors) {
  auto pNative = std::make_unique<INativeMenu>();
  pNative->mModel = pMenu;
  if (!pMenu) return pNative;
  ancestors.push_back(pMenu);
  const int prefix = pMenu->GetPrefix();
  for (int i = 0; i < pMenu->GetNItems(); ++i) {
    const IPopupMenuItem* pItem = pMenu->GetItem(i);
    INativeMenuEntry entry;
    entry.mTitle = IPopupMenu::PrefixText(prefix, i + 1) + pItem->GetText();
    if (IPopupMenu* pSub = pItem->GetSubmenu()) {
      entry.mKind = INativeMenuEntry::kSubmenu;
      if (std::find(ancestors.begin(), ancestors.end(), pSub) == ancestors.end())
        entry.mSubmenu = Build(pSub, ancestors);
    } else if (pItem->GetIsSeparator()) {
      entry.mKind = INativeMenuEntry::kSeparator;
      entry.mTitle.clear();
    } else {
      entry.mKind = INativeMenuEntry::kItem;
      entry.mIndentation = pItem->GetIsTitle() ? 1 : 0;
      entry.mChecked = pItem->GetChecked();
      entry.mEnabled = pItem->GetEnabled();
    }
    pNative->mEntries.push_back(std::move(entry));
  }
  ancestors.pop_back();
  return pNative;
}

}  // namespace

std::unique_ptr<INativeMenu> BuildNativeMenu(IPopupMenu* pMenu) {
  std::vector<const IPopupMenu*> ancestors;
  return Build(pMenu, ancestors);
}

IPopupMenu* ApplyNativeMenuPick(INativeMenu* pPickedIn, int position) {
  if (!pPickedIn || !pPickedIn->mModel) return nullptr;
  if (position < 0 || position >= (int)pPickedIn->mEntries.size()) return nullptr;
  const INativeMenuEntry& entry = pPickedIn->mEntries[(std::size_t)position];
  if (entry.mKind != INativeMenuEntry::kItem || !entry.mEnabled) return nullptr;
  pPickedIn->mModel->SetChosenItemIdx(position);
  return pPickedIn->mModel;
}

INativeMenu* FindNativeSubmenu(INativeMenu* pRoot, const std::vector<int>& path) {
  INativeMenu* pMenu = pRoot;
  for (int pos : path) {
    if (!pMenu || pos < 0 || pos >= (int)pMenu->mEntries.size()) return nullptr;
    pMenu = pMenu->mEntries[(std::size_t)pos].mSubmenu.get();
  }
  return pMenu;
}
