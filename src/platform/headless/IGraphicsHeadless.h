// The editor surface without a window: for tests, the command-line host and batch rendering.
#pragma once

#include <atomic>
#include <deque>
#include <string>
#include <vector>

#include "graphics/IGraphics.h"
#include "graphics/IPopupMenu.h"

// Implements every platform operation of IGraphics without a window system.
// Drawing goes to the off-screen bitmap as usual and "screen output" only
// counts; images are read from a resource folder; popup menus, text entries,
// message boxes and file dialogs are answered from queues that a test (or a
// scripted host) fills beforehand, and what was shown is recorded.
//
// Lifecycle and threads as IGraphics: one user-interface thread per surface.
// The answer queues are plain members, not locked. The decode counter and
// the default resource folder are process-wide; the folder should be set
// before editors are made.
class IGraphicsHeadless : public IGraphics {
public:
  IGraphicsHeadless(IPluginBase* pPlug, int w, int h, int refreshFPS = 0);
  ~IGraphicsHeadless() override;

  // ---- Configuration ----
  // Folder the skin images are read from ("." unless set); new surfaces take
  // the process-wide default, each surface may change its own.
  static void SetDefaultResourcePath(const char* path);
  static std::string GetDefaultResourcePath();
  // True once SetDefaultResourcePath has been called in this process.
  static bool DefaultResourcePathSet();
  void SetResourcePath(const char* path) { mResourcePath = path ? path : ""; }
  const std::string& GetResourcePath() const { return mResourcePath; }
  // The plug-in bundle's identifier, kept like a windowed surface keeps it;
  // images here come from the resource folder, not from a bundle.
  void SetBundleID(const char* id) { mBundleID = id ? id : ""; }
  const char* GetBundleID() const { return mBundleID.c_str(); }
  // Number of skin images decoded in this process so far.
  static int DecodeCount() { return DecodedImageCount(); }

  // ---- Scripted answers ----
  // The path of item indexes picked for the next popup menu: {i} picks item i
  // of the top menu, {i, j} item j of the submenu at item i. An empty path
  // (or no queued answer) dismisses the menu.
  void QueueMenuAnswer(std::vector<int> path) { mMenuAnswers.push_back(std::move(path)); }
  // The text typed into the next text entry; without one the entry stays open
  // until CommitTextEntry or ForceEndUserEdit.
  void QueueTextEntryAnswer(const char* text) { mTextAnswers.push_back(text ? text : ""); }
  void QueueMessageBoxAnswer(int answer) { mMessageBoxAnswers.push_back(answer); }
  // The path chosen in the next file dialog (no answer = cancelled).
  void QueueFileAnswer(const char* path) { mFileAnswers.push_back(path ? path : ""); }
  void SetClipboardText(const char* text) { mClipboard = text ? text : ""; }
  void SetOpenURLResult(bool opened) { mOpenURLResult = opened; }

  // ---- What was shown ----
  struct ShownMenuItem {
    std::string text;
    int flags;
    bool hasSubmenu;
  };
  int MenusShown() const { return mMenusShown; }
  const std::vector<ShownMenuItem>& LastMenu() const { return mLastMenu; }
  IRECT LastMenuRect() const { return mLastMenuRect; }

  bool TextEntryOpen() const { return mEdControl != nullptr; }
  int TextEntriesShown() const { return mTextEntriesShown; }
  const std::string& LastTextEntryString() const { return mLastEntryString; }
  IRECT LastTextEntryRect() const { return mLastEntryRect; }
  // Ends the open entry as a user pressing return would; false when none is open.
  bool CommitTextEntry(const char* text);

  // Writes the off-screen bitmap as a PNG (what a window would show after
  // the last Draw). False when there is no bitmap or the file cannot be written.
  bool SaveScreenshot(const char* path);

  int ScreenDraws() const { return mScreenDraws; }
  IRECT LastScreenRect() const { return mLastScreenRect; }
  const std::string& LastMessageBoxText() const { return mLastMessageBoxText; }
  const std::vector<std::string>& OpenedURLs() const { return mOpenedURLs; }

  // ---- Platform operations ----
  bool DrawScreen(IRECT* pR) override;
  void ForceEndUserEdit() override;
  void Resize(int w, int h) override;
  const char* GetGUIAPI() override { return "Headless"; }
  int ShowMessageBox(const char* pText, const char* pCaption, int type) override;
  IPopupMenu* CreateIPopupMenu(IPopupMenu* pMenu, IRECT* pAreaRect) override;
  void CreateTextEntry(IControl* pControl, IText* pText, IRECT* pTextRect, const char* pString = nullptr,
                       IParam* pParam = nullptr) override;
  void HostPath(std::string* pPath) override;
  void PluginPath(std::string* pPath) override;
  void DesktopPath(std::string* pPath) override;
  void AppSupportPath(std::string* pPath, bool isSystem = false) override;
  void SandboxSafeAppSupportPath(std::string* pPath) override;
  void PromptForFile(std::string* pFilename, EFileAction action = kFileOpen, std::string* pDir = nullptr,
                     char* extensions = nullptr) override;
  bool PromptForColor(IColor* pColor, char* prompt = nullptr) override;
  bool OpenURL(const char* url, const char* msgWindowTitle = nullptr, const char* confirmMsg = nullptr,
               const char* errMsgOnFailure = nullptr) override;
  void* OpenWindow(void* pParentWnd) override;
  using IGraphics::OpenWindow;
  void AttachSubWindow(void* hostWindow) override { OpenWindow(hostWindow); }
  void RemoveSubWindow() override { CloseWindow(); }
  void CloseWindow() override;
  void* GetWindow() override { return mWindowOpen ? this : nullptr; }
  bool GetTextFromClipboard(std::string* pStr) override;
  void HideMouseCursor() override;
  void ShowMouseCursor() override;
  PIX_IBitmap* OSLoadBitmap(int id, const char* name) override;
  // Images are files of the resource folder: sized when loaded, decoded when drawn.
  bool OSLocateBitmap(int id, const char* name, std::string* pPath) override;

  // The file a resource name resolves to: the text after the last "/" with
  // its extension replaced by ".png", inside the resource folder. Empty when
  // the name's extension is not "png" in some letter case.
  std::string ResolveResource(const char* name) const;

private:

  std::string mResourcePath;
  std::string mBundleID;
  bool mWindowOpen = false;

  std::deque<std::vector<int>> mMenuAnswers;
  std::deque<std::string> mTextAnswers;
  std::deque<int> mMessageBoxAnswers;
  std::deque<std::string> mFileAnswers;
  std::string mClipboard;
  bool mOpenURLResult = false;

  int mMenusShown = 0;
  std::vector<ShownMenuItem> mLastMenu;
  IRECT mLastMenuRect;

  IControl* mEdControl = nullptr;
  IParam* mEdParam = nullptr;
  int mTextEntriesShown = 0;
  std::string mLastEntryString;
  IRECT mLastEntryRect;

  int mScreenDraws = 0;
  IRECT mLastScreenRect;
  std::string mLastMessageBoxText;
  std::vector<std::string> mOpenedURLs;
};
