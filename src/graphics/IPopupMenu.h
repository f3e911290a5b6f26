// Platform-neutral model of a hierarchical popup menu: items, flags, numbering and the chosen index.
#pragma once

#include <string>
#include <vector>

class IPopupMenu;

// One entry of a menu. The path is free text for the item's creator (the
// preset browser keeps a preset file's path there); the menu never reads it,
// nor the not-a-preset flag. The submenu is not owned by the item.
class IPopupMenuItem {
public:
  enum Flags { kNoFlags = 0, kDisabled = 1 << 0, kTitle = 1 << 1, kChecked = 1 << 2, kSeparator = 1 << 3 };

  explicit IPopupMenuItem(const char* text, int flags = kNoFlags) : mSubmenu(nullptr), mFlags(flags) { SetText(text); }
  IPopupMenuItem(const char* text, IPopupMenu* pSubMenu) : mSubmenu(pSubMenu), mFlags(kNoFlags) { SetText(text); }

  const char* GetText() const { return mText.c_str(); }
  void SetText(const char* text) { mText = text ? text : ""; }
  const char* GetPath() const { return mPath.c_str(); }
  void SetPath(const char* path) { mPath = path ? path : ""; }
  IPopupMenu* GetSubmenu() const { return mSubmenu; }
  void SetSubmenu(IPopupMenu* pSubMenu) { mSubmenu = pSubMenu; }
  int GetFlags() const { return mFlags; }

  bool GetEnabled() const { return !(mFlags & kDisabled); }
  bool GetChecked() const { return (mFlags & kChecked) != 0; }
  bool GetIsTitle() const { return (mFlags & kTitle) != 0; }
  bool GetIsSeparator() const { return (mFlags & kSeparator) != 0; }

  void SetChecked(bool state) { SetFlag(kChecked, state); }
  void SetEnabled(bool state) { SetFlag(kDisabled, !state); }
  void SetTitle(bool state) { SetFlag(kTitle, state); }

  bool mNotPreset = true;

private:
  void SetFlag(int flag, bool state) { mFlags = state ? (mFlags | flag) : (mFlags & ~flag); }

  std::string mText;
  std::string mPath;
  IPopupMenu* mSubmenu;
  int mFlags;
};

// An ordered list of items plus a numbering prefix and the index of the item
// the user chose (-1 while nothing is chosen).
//
// Lifecycle: usually built on the stack, shown once through
// IGraphics::CreateIPopupMenu, read and destroyed. The menu owns its items and
// deletes them; submenus belong to whoever created them (the creator of a tree
// deletes its submenus itself). Not thread-safe: built and shown on the
// user-interface thread.
//
// Queries with an index outside the list return none or false.
class IPopupMenu {
public:
  explicit IPopupMenu(int prefix = 0, bool multicheck = false);
  ~IPopupMenu();

  // Inserts at index (below 0: the front; -1 or past the end: appended) and
  // takes ownership of the item. Returns the item.
  IPopupMenuItem* AddItem(IPopupMenuItem* pItem, int index = -1);
  IPopupMenuItem* AddItem(const char* text, int index = -1, int itemFlags = IPopupMenuItem::kNoFlags);
  IPopupMenuItem* AddItem(const char* text, int index, IPopupMenu* pSubMenu);
  IPopupMenuItem* AddItem(const char* text, IPopupMenu* pSubMenu);
  IPopupMenuItem* AddSeparator(int index = -1);

  int GetNItems() const { return (int)mMenuItems.size(); }
  IPopupMenuItem* GetItem(int index) const;
  // The item's text, or null for an index outside the list.
  const char* GetItemText(int index) const;

  // Numbering before each item: 0 none, 1 "%1d: ", 2 "%02d: ", 3 "%03d: ".
  // Values outside 0..3 leave the prefix unchanged.
  void SetPrefix(int prefix);
  int GetPrefix() const { return mPrefix; }
  bool GetCanMultiCheck() const { return mCanMultiCheck; }

  void SetChosenItemIdx(int index) { mChosenItemIdx = index; }
  int GetChosenItemIdx() const { return mChosenItemIdx; }

  bool CheckItem(int index, bool state);
  // Item index becomes checked and every other item unchecked.
  void CheckItemAlone(int index);
  bool IsItemChecked(int index) const;

  // The numbering text for 1-based position n under the given prefix
  // (empty for prefix 0 or a prefix outside 1..3).
  static std::string PrefixText(int prefix, int n);

private:
  int mPrefix;
  int mChosenItemIdx = -1;
  bool mCanMultiCheck;
  std::vector<IPopupMenuItem*> mMenuItems;  // owned

  IPopupMenu(const IPopupMenu&) = delete;
  IPopupMenu& operator=(const IPopupMenu&) = delete;
};
