// The editor surface in an X11 window: embedded in a host's window or on its own.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "graphics/IGraphics.h"

class X11Session;
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
// Scale: the window is the editor times 1, 1.5 or 2 (the host's factor or
// the desktop's, to the nearest of these), and the editor draws natively at
// that scale (IGraphics::SetScale), so its bitmap goes to the window pixel
// for pixel. Pointer positions are taken back to editor pixels with
// FromDraw. Menus, boxes, tooltips and the text entry are laid out in editor
// pixels and drawn at the same scale.
//
// Menus, text entry and message boxes are drawn by us. A menu, message box
// or file prompt is a session of the view (X11Session) that Idle drives like
// everything else: the prompt operations' non-blocking forms return at once
// and call back when answered, so a host's idle call never waits on the user.
// Their blocking forms (for programs of our own and tests) run a loop of
// idle rounds until the answer is there. X errors on our connection are counted, never fatal: a parent that
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
  // The scale factor the host asks for, set before OpenWindow: the window
  // draws at the nearest of 1, 1.5 and 2 (X11NearestScale). 0 (the default)
  // takes the desktop's (GDK_SCALE, Xft.dpi).
  void SetOutputScale(double factor) { mScaleWanted = factor; }
  // How a top-level window introduces itself to the desktop, set before
  // OpenWindow: its WM_CLASS (instance and class name, which a .desktop
  // file's StartupWMClass matches) and its _NET_WM_ICON, taken from a
  // rectangle of a bitmap. An embedded view leaves both to its host.
  void SetWindowClass(const std::string& instanceName, const std::string& className);
  void SetWindowIcon(PIX_IBitmap* bitmap, int x, int y, int w, int h);
  bool UsingShm() const;
  // Window pixels per editor pixel of the open window (1 while closed).
  float OutputScale() const;
  unsigned long XWindowId() const;  // 0 while closed
  bool TextEntryOpen() const;
  bool TooltipShown() const;
  // True while a menu, message box or file prompt is open (readable from any thread).
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
  void CreateIPopupMenuAsync(IPopupMenu* pMenu, IRECT* pAreaRect, PopupMenuDone done) override;
  void PromptForFileAsync(const std::string& fileName, EFileAction action, const std::string& dir,
                          const char* extensions, FileDone done) override;
  void ShowMessageBoxAsync(const char* pText, const char* pCaption, int type, MessageBoxDone done) override;
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
  // A click at x window pixels from the entry's left edge.
  void HandleEntryClick(int x, bool extend);
  void HandleEntryKey(unsigned long keysym, const char* typed, unsigned state);
  void DrawEntry();
  void ShowTooltipIfDue();
  void HideTooltip();
  // Makes a session the view's open prompt; false (session dropped) when
  // there is no window or a prompt is open already.
  bool StartSession(std::unique_ptr<X11Session> session);
  // Takes the answered session off the view and lets it call back.
  void EndSession();
  // The blocking forms: idle rounds until *done (or the view closes).
  void WaitFor(const bool& done);

  std::unique_ptr<X11View> mView;
  bool mUseShm = true;
  double mScaleWanted = 0.0;
  std::string mClassInstance, mClassName;
  std::vector<unsigned long> mIcon;  // _NET_WM_ICON: width, height, then ARGB pixels row by row
  bool mCloseRequested = false;
  std::atomic<bool> mInModal{false};  // a session is open
  int mNested = 0;                     // blocking prompts waiting on this thread's stack
  double mNextTick = 0.0;
};

// The factory the command-line binding takes for a windowed editor.
IGraphics* MakeGraphicsX11(IPluginBase* pPlug, int width, int height, int fps);
