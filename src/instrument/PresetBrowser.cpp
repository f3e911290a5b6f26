// The preset folder of one instrument: where it is, its menu tree, and the current folder and preset.
#include "instrument/PresetBrowser.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <strings.h>

#include "instrument/InstrumentResources.h"
#include "instrument/PresetFile.h"

namespace {

constexpr const char* kFactoryFolder = "Factory Presets";
constexpr const char* kUserFolder = "User Presets";
constexpr size_t kExtensionLength = 9;  // ".qipreset"

std::atomic<bool> sUseShipped{true};

std::string WithSlash(std::string path) {
  if (!path.empty() && path.back() != '/') path += '/';
  return path;
}

bool EndsWith(const std::string& s, const char* suffix) {
  const size_t n = std::strlen(suffix);
  return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

bool StartsWith(const char* s, const char* prefix) { return std::strncmp(s, prefix, std::strlen(prefix)) == 0; }

// Case-insensitive name order; names equal but for case fall back to byte order.
bool NameLess(const std::string& a, const std::string& b) {
  const int c = ::strcasecmp(a.c_str(), b.c_str());
  return c != 0 ? c < 0 : a < b;
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeFolder(const std::string& path, std::string* error) {
  if (::mkdir(path.c_str(), 0755) == 0 || (errno == EEXIST && IsFolder(path))) return true;
  if (error) *error = "cannot create the preset folder '" + path + "': " + std::strerror(errno);
  return false;
}

// Creates every missing folder along path.
bool MakeFolders(const std::string& path, std::string* error) {
  for (size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos < path.size() && path[pos] != '/') continue;
    const std::string part = path.substr(0, pos);
    if (!IsFolder(part) && !MakeFolder(part, error)) return false;
  }
  return true;
}

bool ReadWholeFile(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  *text = s.str();
  return !in.bad();
}

}  // namespace

// ---------------------------------------------------------------------------
// PresetTree

PresetTree::PresetTree() { mMenus.push_back(std::make_unique<IPopupMenu>()); }

std::shared_ptr<PresetTree> PresetTree::Scan(const std::string& basePath) {
  std::shared_ptr<PresetTree> tree(new PresetTree());
  IPopupMenu* top = tree->Top();
  top->AddItem(kSaveItem);
  top->AddSeparator();
  int budget = kMaxEntries;
  std::vector<FolderId> ancestors;
  if (!basePath.empty()) tree->ScanFolder(WithSlash(basePath), top, 0, &budget, &ancestors);
  return tree;
}

void PresetTree::ScanFolder(const std::string& folderPath, IPopupMenu* menu, int depth, int* budget,
                            std::vector<FolderId>* ancestors) {
  struct stat self;
  if (::stat(folderPath.c_str(), &self) != 0) return;
  // A folder reached again through a link below itself is not entered: loops end here.
  const FolderId id{self.st_dev, self.st_ino};
  for (const FolderId& a : *ancestors)
    if (a.dev == id.dev && a.ino == id.ino) return;
  DIR* dir = ::opendir(folderPath.c_str());
  if (!dir) return;
  struct Entry {
    std::string name;
    bool folder;
    // What the menu shows, and so what the order goes by: a file without its extension.
    std::string Shown() const { return folder ? name : name.substr(0, name.size() - kExtensionLength); }
  };
  // Every entry is looked at, so what is listed never depends on the order
  // the file system hands them out in; links count as what they lead to.
  std::vector<Entry> entries;
  while (dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    bool folder = e->d_type == DT_DIR;
    bool file = e->d_type == DT_REG;
    if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
      struct stat st;
      if (::stat((folderPath + name).c_str(), &st) != 0) continue;  // a dangling link
      folder = S_ISDIR(st.st_mode);
      file = S_ISREG(st.st_mode);
    }
    if (folder) entries.push_back({name, true});
    else if (file && EndsWith(name, kExtension)) entries.push_back({name, false});
  }
  ::closedir(dir);
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    return NameLess(a.Shown(), b.Shown());
  });

  // The factory folder's presets are what the instrument starts on: at the
  // top it is scanned first, so a crowded base folder never leaves it out.
  std::vector<size_t> order(entries.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  if (depth == 0)
    std::stable_partition(order.begin(), order.end(), [&](size_t i) {
      return entries[i].folder && StartsWith(entries[i].name.c_str(), kFactoryFolder);
    });
  std::vector<IPopupMenu*> submenus(entries.size(), nullptr);
  std::vector<bool> listed(entries.size(), false);
  ancestors->push_back(id);
  for (size_t i : order) {
    if (*budget <= 0) break;
    --*budget;
    listed[i] = true;
    if (!entries[i].folder) continue;
    mMenus.push_back(std::make_unique<IPopupMenu>());
    submenus[i] = mMenus.back().get();
    if (depth + 1 < kMaxDepth) ScanFolder(folderPath + entries[i].name + "/", submenus[i], depth + 1, budget, ancestors);
  }
  ancestors->pop_back();

  int cut = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    if (!listed[i]) {
      ++cut;
    } else if (e.folder) {
      menu->AddItem(e.name.c_str(), submenus[i]);
    } else {
      auto* item = new IPopupMenuItem(e.Shown().c_str());
      item->SetPath((folderPath + e.name).c_str());
      item->mNotPreset = false;
      menu->AddItem(item, -1);
    }
  }
  // A folder cut short says so, in a line that is neither chosen nor stepped to.
  if (cut > 0) menu->AddItem(CutNotice(cut).c_str(), -1, IPopupMenuItem::kDisabled);
}

std::string PresetTree::CutNotice(int notListed) {
  // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about "(" + std::string.
  std::string text("(");
  text += std::to_string(notListed);
  text += " more not listed: over ";
  text += std::to_string(kMaxEntries);
  text += " entries)";
  return text;
}

std::string PresetTree::NameOf(const std::string& path) {
  std::string name = path.substr(path.find_last_of('/') + 1);  // npos + 1 is 0: no folder
  if (name.size() > kExtensionLength && EndsWith(name, kExtension)) name.resize(name.size() - kExtensionLength);
  return name;
}

IPopupMenu* PresetTree::FactoryFolder() const {
  const IPopupMenu* top = Top();
  for (int i = 0; i < top->GetNItems(); ++i) {
    IPopupMenuItem* item = top->GetItem(i);
    if (item->GetSubmenu() && StartsWith(item->GetText(), kFactoryFolder)) return item->GetSubmenu();
  }
  return nullptr;
}

void PresetTree::Print(std::string* out) const { PrintMenu(Top(), 0, out); }

void PresetTree::PrintMenu(const IPopupMenu* menu, int indent, std::string* out) {
  for (int i = 0; i < menu->GetNItems(); ++i) {
    const IPopupMenuItem* item = menu->GetItem(i);
    // Separators and commands ("Save File...": not a preset, no submenu,
    // enabled) are left out; a folder's disabled cut notice is kept.
    if (item->GetIsSeparator() || (item->mNotPreset && !item->GetSubmenu() && item->GetEnabled())) continue;
    out->append(static_cast<size_t>(indent), ' ');
    if (item->GetSubmenu()) {
      *out += std::string(item->GetText()) + "/\n";
      PrintMenu(item->GetSubmenu(), indent + 2, out);
    } else {
      *out += std::string(item->GetText()) + "\n";
    }
  }
}

// ---------------------------------------------------------------------------
// PresetBrowser

PresetBrowser::PresetBrowser(std::string basePath)
    : mBasePath(WithSlash(std::move(basePath))),
      mUserBasePath(mBasePath.empty() ? std::string() : mBasePath + kUserFolder + "/") {}

void PresetBrowser::SetCurrent(std::shared_ptr<PresetTree> tree, IPopupMenu* folder, int index) {
  std::lock_guard<std::mutex> lock(mMutex);
  mTree = std::move(tree);
  mFolder = mTree ? folder : nullptr;
  mIndex = mFolder ? index : -1;
}

bool PresetBrowser::ChooseInitial(Choice* choice) {
  std::shared_ptr<PresetTree> tree = Scan();
  IPopupMenu* factory = tree->FactoryFolder();
  // The first preset of the factory folder; a sub-folder listed before it is passed over.
  int first = -1;
  for (int i = 0; factory && i < factory->GetNItems() && first < 0; ++i)
    if (!factory->GetItem(i)->mNotPreset) first = i;
  if (first < 0) {
    SetCurrent(tree, tree->Top(), -1);
    return false;
  }
  const IPopupMenuItem* item = factory->GetItem(first);
  if (choice) *choice = {item->GetText(), item->GetPath()};
  SetCurrent(tree, factory, first);
  return true;
}

bool PresetBrowser::Step(int direction, Choice* choice) {
  std::lock_guard<std::mutex> lock(mMutex);
  if (!mFolder) return false;
  const int n = mFolder->GetNItems();
  if (n < 1 || mIndex < 0 || mIndex >= n) return false;
  const int step = direction < 0 ? -1 : 1;
  int found = -1;
  for (int k = 1; k <= n; ++k) {
    const int i = ((mIndex + step * k) % n + n) % n;
    if (!mFolder->GetItem(i)->mNotPreset) {
      found = i;
      break;
    }
  }
  if (found < 0) return false;
  mIndex = found;
  const IPopupMenuItem* item = mFolder->GetItem(found);
  if (choice) *choice = {item->GetText(), item->GetPath()};
  return true;
}

IPopupMenu* PresetBrowser::CurrentFolder() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mFolder;
}

int PresetBrowser::CurrentIndex() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mIndex;
}

// ---------------------------------------------------------------------------
// Folder location and seeding

std::string DefaultPresetBasePath() {
  const char* override = std::getenv("KT412_PRESET_DIR");
  if (override && override[0]) return WithSlash(override);
  std::string data;
  const char* xdg = std::getenv("XDG_DATA_HOME");
  // The XDG rules ignore a relative XDG_DATA_HOME.
  if (xdg && xdg[0] == '/') {
    data = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || !home[0]) return std::string();
    data = std::string(home) + "/.local/share";
  }
  return WithSlash(data) + "Quorvane Instruments/Quorvane KT-412 Presets/";
}

bool SeedFactoryPresets(const std::string& basePathIn, int* copied, std::string* error) {
  if (copied) *copied = 0;
  const std::string basePath = WithSlash(basePathIn);
  if (basePath.empty()) return true;
  const std::string factory = basePath + kFactoryFolder + "/";
  const std::string user = basePath + kUserFolder;
  if (!MakeFolders(factory, error) || (!IsFolder(user) && !MakeFolder(user, error))) return false;

  // The shipped files: the resource folder's copy when it has any, else the
  // built-in one. Only the names are gathered here; a file is read only when
  // the folder lacks it, so a complete folder costs a look at each name.
  struct Shipped {
    std::string name;
    std::string path;                // in the resource folder, or
    const BuiltInResource* builtIn;  // built into the program
  };
  std::vector<Shipped> shipped;
  if (!sUseShipped.load()) return true;
  const std::string shippedFolder = InstrumentResourceFolder() + "resources/presets/" + kFactoryFolder + "/";
  if (DIR* dir = ::opendir(shippedFolder.c_str())) {
    while (dirent* e = ::readdir(dir)) {
      const std::string name = e->d_name;
      if (EndsWith(name, PresetTree::kExtension)) shipped.push_back({name, shippedFolder + name, nullptr});
    }
    ::closedir(dir);
  }
  if (shipped.empty()) {
    const std::string prefix = std::string("resources/presets/") + kFactoryFolder + "/";
    for (const BuiltInResource* r : BuiltInResourcesUnder(prefix))
      shipped.push_back({std::string(r->path).substr(prefix.size()), std::string(), r});
  }

  // Every missing one is copied, whenever one is missing; a file there (the
  // user's own changes, or a link) is never replaced.
  int missing = 0, failed = 0;
  std::string firstError;
  for (const Shipped& s : shipped) {
    struct stat st;
    if (::lstat((factory + s.name).c_str(), &st) == 0) continue;
    ++missing;
    std::string text, why;
    const bool read = s.builtIn ? (text.assign(reinterpret_cast<const char*>(s.builtIn->data), s.builtIn->size), true)
                                : ReadWholeFile(s.path, &text);
    if (!read) why = "cannot read the shipped preset '" + s.path + "'";
    if (read && WriteNewFile(factory + s.name, text, &why)) {
      if (copied) ++*copied;
    } else if (!why.empty()) {
      // Empty: a file appeared there meanwhile, which is as good.
      ++failed;
      if (firstError.empty()) firstError = why;
    }
  }
  if (failed > 0) {
    if (error)
      *error = "could not put " + std::to_string(failed) + " of " + std::to_string(missing) +
               " missing factory presets into '" + factory + "': " + firstError;
    return false;
  }
  return true;
}

void UseShippedFactoryPresets(bool use) { sUseShipped.store(use); }
