// The editor surface in an X11 window: embedded in a host's window or on its own.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "graphics/IGraphics.h"

class X11View;

// The concrete IGraphics for Linux desktops, on plain Xlib (with MIT-SHM for
// screen output and XFixes for the cursor) and no toolkit, since a host loads
// many plug-ins into one process and toolkits clash there.
//
// OpenWindow(parent) takes an X window id (as Linux hosts hand one over) and
// puts a child window of the editor's size into it; with no parent it makes
// a fixed-size top-level window titled with the plug-in's name. Each open
// view has its own connection to the X server, opened in OpenWindow and
// closed in CloseWindow, so editors on different threads never share one.
//
// Driving it: a host calls Idle() from its own loop (it handles pending
// events and a due redraw tick without blocking); a program of our own calls
// RunEventLoop(), which sleeps on the connection until an event or the next
// tick and returns when the window is closed. Each tick (FPS() per second)
// calls OnGUIIdle, then draws the dirty rectangle and puts exactly that
// rectangle on screen.
//
// Menus, text entry and message boxes are drawn by us; menus and message
// boxes run a modal loop on the same connection that keeps redrawing the
// editor. X errors on our connection are counted, never fatal: a parent that
// vanishes only makes requests fail, and the view notices its window is gone.
//
// Threads: one user-interface thread per surface, as the core requires.
class IGraphicsX11 : public IGraphics {
public:
  IGraphicsX11(IPluginBase* pPlug, int w, int h, int refreshFPS = 0);
  ~IGraphicsX11() override;

  // ---- Driving the view ----
  // Handles every pending event and, when due, one redraw tick. Never
  // blocks. False when no window is open (any more).
  bool Idle();
  // Runs until the window is closed (close request or parent gone) or until
  // *stop becomes true; then closes the window.
  void RunEventLoop(const std::atomic<bool>* stop = nullptr);
  // One redraw tick now: OnGUIIdle, then the dirty rectangle drawn and put on screen.
  void RedrawDirty();
  // Waits until the server has handled every request made so far.
  void Sync();
  // True after the window manager asked a top-level window to close.
  bool CloseRequested() const { return mCloseRequested; }

  // ---- Configuration and state, for the player, tests and benchmarks ----
  // Shared-memory output is tried unless switched off before OpenWindow.
  void SetUseShm(bool use) { mUseShm = use; }
  // How a top-level window introduces itself to the desktop, set before
  // OpenWindow: its WM_CLASS (instance and class name, which a .desktop
  // file's StartupWMClass matches) and its _NET_WM_ICON, taken from a
  // rectangle of a bitmap. An embedded view leaves both to its host.
  void SetWindowClass(const std::string& instanceName, const std::string& className);
  void SetWindowIcon(PIX_IBitmap* bitmap, int x, int y, int w, int h);
  bool UsingShm() const;
  int OutputScale() const;
  unsigned long XWindowId() const;  // 0 while closed
  bool TextEntryOpen() const;
  bool TooltipShown() const;
  // True while a menu, message box or file prompt runs its modal loop (readable from any thread).
  bool MenuOpen() const { return mInModal.load(); }
  // X errors trapped on any editor connection since the process started.
  static int XErrorCount();

  // ---- Platform operations ----
  bool DrawScreen(IRECT* pR) override;
  void ForceEndUserEdit() override;
  void Resize(int w, int h) override;
  const char* GetGUIAPI() override { return "X11"; }
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
  bool PromptForColor(IColor*, char* = nullptr) override { return false; }
  bool OpenURL(const char* url, const char* msgWindowTitle = nullptr, const char* confirmMsg = nullptr,
               const char* errMsgOnFailure = nullptr) override;
  void* OpenWindow(void* pParentWnd) override;
  using IGraphics::OpenWindow;
  void AttachSubWindow(void* hostWindow) override { OpenWindow(hostWindow); }
  void RemoveSubWindow() override { CloseWindow(); }
  void CloseWindow() override;
  void* GetWindow() override;
  bool GetTextFromClipboard(std::string* pStr) override;
  void HideMouseCursor() override;
  void ShowMouseCursor() override;
  void UpdateTooltips() override;
  PIX_IBitmap* OSLoadBitmap(int id, const char* name) override;

private:
  friend class X11View;
  // Waits at most timeoutMs for an event, then handles events and a due tick.
  void Pump(int timeoutMs);
  void Tick();
  void DispatchEvent(void* xevent);
  void EndTextEntry(bool apply);
  void HandleEntryClick(int x, int y, bool extend);
  void HandleEntryKey(unsigned long keysym, const char* typed, unsigned state);
  void DrawEntry();
  void ShowTooltipIfDue();
  void HideTooltip();
  // The own-drawn modal box behind ShowMessageBox and the fallback file
  // prompt: a message, optionally a text field, and buttons. Returns the
  // result of the button pressed (Return: the first, Escape: the last).
  int RunModalBox(const char* caption, const char* text, int type, std::string* field);

  std::unique_ptr<X11View> mView;
  bool mUseShm = true;
  std::string mClassInstance, mClassName;
  std::vector<unsigned long> mIcon;  // _NET_WM_ICON: width, height, then ARGB pixels row by row
  bool mCloseRequested = false;
  std::atomic<bool> mInModal{false};
  double mNextTick = 0.0;
};

// The factory the command-line binding takes for a windowed editor.
IGraphics* MakeGraphicsX11(IPluginBase* pPlug, int width, int height, int fps);
