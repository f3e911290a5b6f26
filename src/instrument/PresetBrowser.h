// The preset folder of one instrument: where it is, its menu tree, and the current folder and preset.
#pragma once

#include <sys/types.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "graphics/IPopupMenu.h"

// The menus of one scan of the preset folder. The tree owns every menu it
// made (the top menu and one submenu per folder), so items handed out stay
// valid for as long as anyone holds the tree; a new scan makes a new tree,
// and the old one goes when its last holder lets go.
//
// Top menu: "Save File...", a separator, then the base folder's entries.
// Every folder lists its sub-folders (as submenu items) and its preset files
// (items whose mNotPreset is false, text = file name without ".qipreset",
// path = full path) together in one case-insensitive name order, so menus and
// stepping are the same on every machine. A link counts as what it leads to
// (a linked folder is listed and scanned, a linked preset listed); a folder
// reached again below itself is not entered, so link loops end there. The
// scan stops descending past kMaxDepth folders and listing past kMaxEntries
// entries, so a huge or odd tree cannot stall the editor: the top folder's
// "Factory Presets" folder is scanned first, then everything else in name
// order, and a folder cut short ends with a disabled line saying how many
// entries were left out (CutNotice).
class PresetTree {
public:
  static constexpr const char* kExtension = ".qipreset";
  static constexpr const char* kSaveItem = "Save File...";
  static constexpr int kMaxDepth = 8;
  static constexpr int kMaxEntries = 10000;

  // Scans basePath (which ends with "/"); a missing or unreadable folder
  // gives the two command entries only. An empty basePath scans nothing.
  static std::shared_ptr<PresetTree> Scan(const std::string& basePath);

  IPopupMenu* Top() const { return mMenus.front().get(); }
  // The first top-level folder whose name begins with "Factory Presets", or null.
  IPopupMenu* FactoryFolder() const;

  // The disabled last line of a folder of which notListed entries were left out.
  static std::string CutNotice(int notListed);

  // Appends the tree as text: one line per item, sub-folders as "name/" with
  // their entries indented two spaces deeper, separators as "---".
  void Print(std::string* out) const;

private:
  PresetTree();
  struct FolderId {
    dev_t dev;
    ino_t ino;
  };
  void ScanFolder(const std::string& folderPath, IPopupMenu* menu, int depth, int* budget,
                  std::vector<FolderId>* ancestors);
  static void PrintMenu(const IPopupMenu* menu, int indent, std::string* out);

  std::vector<std::unique_ptr<IPopupMenu>> mMenus;  // [0] is the top menu
};

// The preset state of one instrument instance: its folder paths, and the
// folder and position the current preset came from (what Left and Right
// step through). Each instance keeps its own, so stepping in one instrument
// never walks the folder another one chose.
//
// Threads: the editor's thread (menu choices), the thread that delivers a
// step and the constructor may all touch it; a mutex of its own guards the
// current folder. No file is touched under it except by Scan, which holds no lock.
class PresetBrowser {
public:
  // What a step or the initial choice picked: a preset to load and show.
  struct Choice {
    std::string name;  // the item's text
    std::string path;  // the file's full path
  };

  // basePath: the preset folder (with or without a trailing "/"); empty:
  // the instrument has no preset folder at all.
  explicit PresetBrowser(std::string basePath);

  const std::string& BasePath() const { return mBasePath; }
  // "<basePath>User Presets/", where the save dialog opens; empty without a folder.
  const std::string& UserBasePath() const { return mUserBasePath; }
  bool HasFolder() const { return !mBasePath.empty(); }

  // A fresh scan of the folder.
  std::shared_ptr<PresetTree> Scan() const { return PresetTree::Scan(mBasePath); }

  // Makes position index of folder (a menu of tree) the current preset.
  void SetCurrent(std::shared_ptr<PresetTree> tree, IPopupMenu* folder, int index);
  // Scans the folder and makes the first preset of the factory folder the
  // current one; returns it, or nothing (current = the top menu with no
  // position) when there is no such preset.
  bool ChooseInitial(Choice* choice);
  // Moves to the previous (direction < 0) or next preset of the current
  // folder, wrapping around and skipping sub-folders. False when there is no
  // current position or the folder holds no preset.
  bool Step(int direction, Choice* choice);

  // The current folder's menu and position (for tests and the command line).
  IPopupMenu* CurrentFolder() const;
  int CurrentIndex() const;

private:
  std::string mBasePath;
  std::string mUserBasePath;
  mutable std::mutex mMutex;
  std::shared_ptr<PresetTree> mTree;  // keeps mFolder's items alive
  IPopupMenu* mFolder = nullptr;
  int mIndex = -1;
};

// The preset folder a host's instrument uses on this system:
// $KT412_PRESET_DIR when set, else
// $XDG_DATA_HOME/Quorvane Instruments/Quorvane KT-412 Presets/ (with
// ~/.local/share when XDG_DATA_HOME is unset or not absolute). Ends with "/";
// empty when neither variable nor a home folder is known.
std::string DefaultPresetBasePath();

// Makes sure basePath holds every shipped factory preset: creates basePath,
// "Factory Presets/" and "User Presets/" when missing, and copies each
// shipped file (from the resource folder, or the built-in copies) that
// "Factory Presets/" lacks, whenever one is missing, without ever replacing a
// file (or link) that is there. Counts the files copied; false with a
// message when a folder cannot be made or a file not written (a full disk),
// after trying every other one.
bool SeedFactoryPresets(const std::string& basePath, int* copied, std::string* error);

// Seeding copies the shipped presets unless switched off; tests that build a
// factory folder of their own switch it off so that nothing joins their files.
void UseShippedFactoryPresets(bool use);
