// The editor surface without a window: scripted menus and text entries, images from a folder.
#include "platform/headless/IGraphicsHeadless.h"

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <mutex>
#include <sys/stat.h>

#include "graphics/IControl.h"
#include "graphics/IPopupMenu.h"
#include "pix/PIX_PNG.h"


namespace {

std::mutex& DefaultPathMutex() {
  static std::mutex m;
  return m;
}

std::string& DefaultPath() {
  static std::string path = ".";
  return path;
}

bool s_defaultPathSet = false;  // guarded by DefaultPathMutex

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  return home && home[0] ? std::string(home) : std::string("/tmp");
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

IGraphicsHeadless::IGraphicsHeadless(IPluginBase* pPlug, int w, int h, int refreshFPS)
    : IGraphics(pPlug, w, h, refreshFPS), mResourcePath(GetDefaultResourcePath()) {}

IGraphicsHeadless::~IGraphicsHeadless() { CloseWindow(); }

void IGraphicsHeadless::SetDefaultResourcePath(const char* path) {
  std::lock_guard<std::mutex> lock(DefaultPathMutex());
  DefaultPath() = path ? path : "";
  s_defaultPathSet = true;
}

bool IGraphicsHeadless::DefaultResourcePathSet() {
  std::lock_guard<std::mutex> lock(DefaultPathMutex());
  return s_defaultPathSet;
}

std::string IGraphicsHeadless::GetDefaultResourcePath() {
  std::lock_guard<std::mutex> lock(DefaultPathMutex());
  return DefaultPath();
}

// ---------------------------------------------------------------------------
// Screen, window, cursor

bool IGraphicsHeadless::DrawScreen(IRECT* pR) {
  ++mScreenDraws;
  if (pR) mLastScreenRect = *pR;
  return true;
}

bool IGraphicsHeadless::SaveScreenshot(const char* path) {
  PIX_IBitmap* pBitmap = GetDrawBitmap();
  if (!path || !pBitmap || pBitmap->getWidth() <= 0 || pBitmap->getHeight() <= 0) return false;
  return PIX_SavePNG(path, pBitmap);
}

void IGraphicsHeadless::Resize(int w, int h) {
  if (w == Width() && h == Height()) return;
  // The controls are about to be deleted; an open entry must not outlive its control.
  ForceEndUserEdit();
  IGraphics::Resize(w, h);
}

void* IGraphicsHeadless::OpenWindow(void* pParentWnd) {
  (void)pParentWnd;
  CloseWindow();
  mWindowOpen = true;
  return this;
}

void IGraphicsHeadless::CloseWindow() {
  ForceEndUserEdit();
  mWindowOpen = false;
}

void IGraphicsHeadless::HideMouseCursor() {
  if (!mCursorHidden) {
    mCursorHidden = true;
    mHiddenMousePointX = mMouseX;
    mHiddenMousePointY = mMouseY;
  }
}

void IGraphicsHeadless::ShowMouseCursor() {
  if (mCursorHidden) {
    mCursorHidden = false;
    mHiddenMousePointX = mHiddenMousePointY = -1;
  }
}

// ---------------------------------------------------------------------------
// Menus, text entry, dialogs

IPopupMenu* IGraphicsHeadless::CreateIPopupMenu(IPopupMenu* pMenu, IRECT* pAreaRect) {
  ReleaseMouseCapture();
  if (!pMenu) return nullptr;
  ++mMenusShown;
  mLastMenu.clear();
  for (int i = 0; i < pMenu->GetNItems(); ++i) {
    IPopupMenuItem* pItem = pMenu->GetItem(i);
    mLastMenu.push_back({pItem->GetText(), pItem->GetFlags(), pItem->GetSubmenu() != nullptr});
  }
  mLastMenuRect = pAreaRect ? *pAreaRect : IRECT();

  if (mMenuAnswers.empty()) return nullptr;
  std::vector<int> path = std::move(mMenuAnswers.front());
  mMenuAnswers.pop_front();
  if (path.empty()) return nullptr;

  // Walk down the submenus; the last index is the item picked. Like a
  // native menu, a separator, disabled or submenu entry cannot be picked (a
  // title item is an ordinary, indented entry and can), and a path that
  // leaves the tree is a dismissal.
  IPopupMenu* pCurrent = pMenu;
  for (size_t depth = 0; depth < path.size(); ++depth) {
    IPopupMenuItem* pItem = pCurrent->GetItem(path[depth]);
    if (!pItem) return nullptr;
    const bool last = depth + 1 == path.size();
    if (!last) {
      if (!pItem->GetSubmenu()) return nullptr;
      pCurrent = pItem->GetSubmenu();
      continue;
    }
    if (pItem->GetSubmenu() || pItem->GetIsSeparator() || !pItem->GetEnabled()) return nullptr;
    pCurrent->SetChosenItemIdx(path[depth]);
  }
  return pCurrent;
}

void IGraphicsHeadless::CreateTextEntry(IControl* pControl, IText* pText, IRECT* pTextRect, const char* pString,
                                        IParam* pParam) {
  (void)pText;
  if (!pControl || mEdControl) return;
  ++mTextEntriesShown;
  mEdControl = pControl;
  mEdParam = pParam;
  mLastEntryString = pString ? pString : "";
  mLastEntryRect = pTextRect ? *pTextRect : IRECT();
  if (!mTextAnswers.empty()) {
    std::string answer = std::move(mTextAnswers.front());
    mTextAnswers.pop_front();
    CommitTextEntry(answer.c_str());
  }
}

bool IGraphicsHeadless::CommitTextEntry(const char* text) {
  if (!mEdControl) return false;
  IControl* pControl = mEdControl;
  IParam* pParam = mEdParam;
  // Close first: applying the text may open another prompt.
  mEdControl = nullptr;
  mEdParam = nullptr;
  if (pParam) {
    SetFromStringAfterPrompt(pControl, pParam, text);
  } else {
    pControl->TextFromTextEntry(text ? text : "");
  }
  return true;
}

void IGraphicsHeadless::ForceEndUserEdit() {
  mEdControl = nullptr;
  mEdParam = nullptr;
}

int IGraphicsHeadless::ShowMessageBox(const char* pText, const char* pCaption, int type) {
  (void)pCaption;
  (void)type;
  mLastMessageBoxText = pText ? pText : "";
  if (mMessageBoxAnswers.empty()) return 1;  // the default button
  int answer = mMessageBoxAnswers.front();
  mMessageBoxAnswers.pop_front();
  return answer;
}

void IGraphicsHeadless::PromptForFile(std::string* pFilename, EFileAction action, std::string* pDir,
                                      char* extensions) {
  (void)action;
  (void)extensions;
  if (!pFilename) return;
  if (pDir && pDir->empty()) *pDir = HomeFolder() + "/Desktop";
  pFilename->clear();
  if (mFileAnswers.empty()) return;  // cancelled
  std::string chosen = std::move(mFileAnswers.front());
  mFileAnswers.pop_front();
  if (chosen.empty()) return;
  *pFilename = chosen;
  if (pDir) {
    size_t slash = chosen.find_last_of('/');
    *pDir = slash == std::string::npos ? std::string("./") : chosen.substr(0, slash + 1);
  }
}

bool IGraphicsHeadless::PromptForColor(IColor* pColor, char* prompt) {
  (void)pColor;
  (void)prompt;
  return false;
}

bool IGraphicsHeadless::OpenURL(const char* url, const char* msgWindowTitle, const char* confirmMsg,
                                const char* errMsgOnFailure) {
  (void)msgWindowTitle;
  (void)confirmMsg;
  (void)errMsgOnFailure;
  if (!url || !url[0]) return true;  // nothing to form an address from
  mOpenedURLs.push_back(url);
  return mOpenURLResult;
}

bool IGraphicsHeadless::GetTextFromClipboard(std::string* pStr) {
  if (!pStr) return false;
  *pStr = mClipboard;
  return !mClipboard.empty();
}

// ---------------------------------------------------------------------------
// Paths

void IGraphicsHeadless::HostPath(std::string* pPath) {
  if (!pPath) return;
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  *pPath = n > 0 ? std::string(buf, (size_t)n) : std::string();
}

void IGraphicsHeadless::PluginPath(std::string* pPath) {
  if (!pPath) return;
  HostPath(pPath);
  size_t slash = pPath->find_last_of('/');
  *pPath = slash == std::string::npos ? std::string("./") : pPath->substr(0, slash + 1);
}

void IGraphicsHeadless::DesktopPath(std::string* pPath) {
  if (pPath) *pPath = HomeFolder() + "/Desktop";
}

void IGraphicsHeadless::AppSupportPath(std::string* pPath, bool isSystem) {
  if (!pPath) return;
  if (isSystem) {
    *pPath = "/usr/local/share";
    return;
  }
  const char* xdg = std::getenv("XDG_DATA_HOME");
  *pPath = xdg && xdg[0] ? std::string(xdg) : HomeFolder() + "/.local/share";
}

void IGraphicsHeadless::SandboxSafeAppSupportPath(std::string* pPath) {
  if (pPath) *pPath = HomeFolder() + "/Music";
}

// ---------------------------------------------------------------------------
// Images

std::string IGraphicsHeadless::ResolveResource(const char* name) const {
  if (!name || !name[0]) return std::string();
  std::string file(name);
  size_t slash = file.find_last_of('/');
  if (slash != std::string::npos) file = file.substr(slash + 1);
  size_t dot = file.find_last_of('.');
  if (dot == std::string::npos || dot == 0) return std::string();
  std::string ext = file.substr(dot + 1);
  for (char& c : ext) c = (char)std::tolower((unsigned char)c);
  if (ext != "png") return std::string();
  std::string folder = mResourcePath.empty() ? std::string(".") : mResourcePath;
  // The resource is looked up by its base name with type "png"; a file
  // saved with an upper-case extension is accepted as it stands.
  std::string lower = folder + "/" + file.substr(0, dot) + ".png";
  if (FileExists(lower)) return lower;
  std::string asIs = folder + "/" + file;
  if (FileExists(asIs)) return asIs;
  return lower;
}

PIX_IBitmap* IGraphicsHeadless::OSLoadBitmap(int id, const char* name) {
  (void)id;
  std::string path = ResolveResource(name);
  if (path.empty()) return nullptr;
  return PIX_LoadPNG(path.c_str());
}

bool IGraphicsHeadless::OSLocateBitmap(int id, const char* name, std::string* pPath) {
  (void)id;
  std::string path = ResolveResource(name);
  if (path.empty() || !pPath) return false;
  *pPath = path;
  return true;
}
