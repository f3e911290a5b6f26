// The X11 editor view: window lifecycle, event routing, the redraw timer and screen output.
#include "pix/gdi/GDI.h"
#include "platform/x11/IGraphicsX11.h"

// Project headers before Xlib's: Xlib defines Bool, Status and None as macros.
#include "framework/IPluginBase.h"
#include "graphics/IControl.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>
#include <X11/keysym.h>
#include <poll.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pix/PIX_Blit.h"
#include "pix/PIX_CachedFont.h"
#include "platform/x11/X11ErrorTrap.h"
#include "platform/x11/X11View.h"

namespace {
constexpr long kInputMask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask |
                            EnterWindowMask | LeaveWindowMask | FocusChangeMask | StructureNotifyMask;
// A desktop's XSETTINGS (Net/DoubleClickTime, Net/DoubleClickDistance), when
// one runs, decide what counts as a double click; else 400 ms and 4 pixels.
void ReadDoubleClickSettings(X11View& v) {
  char selName[32];
  std::snprintf(selName, sizeof(selName), "_XSETTINGS_S%d", v.screen);
  const Window owner = XGetSelectionOwner(v.dpy, XInternAtom(v.dpy, selName, False));
  if (owner == None) return;
  Atom type;
  int format = 0;
  unsigned long n = 0, after = 0;
  unsigned char* data = nullptr;
  const Atom prop = XInternAtom(v.dpy, "_XSETTINGS_SETTINGS", False);
  if (XGetWindowProperty(v.dpy, owner, prop, 0, 1 << 16, False, prop, &type, &format, &n, &after, &data) != Success ||
      !data)
    return;
  int timeMs = (int)X11DoubleClick::kDefaultTimeMs, distance = X11DoubleClick::kDefaultDistance;
  if (format == 8) {
    X11XSettingsInt(data, n, "Net/DoubleClickTime", &timeMs);
    X11XSettingsInt(data, n, "Net/DoubleClickDistance", &distance);
  }
  XFree(data);
  if (timeMs > 0 && distance >= 0) v.dblClick = X11DoubleClick((unsigned long)timeMs, distance);
}
}  // namespace

// ---------------------------------------------------------------------------
// Text helpers for the own-drawn parts

namespace X11Draw {
void Measure(IText* style, const char* str, int len, int* w, int* h) {
  *w = *h = 0;
  PIX_CachedFont* font = style->mCached ? style->mCached : IGraphics::CacheFont(style);
  if (!font || !str) return;
  if (len == 0) {
    *h = font->GetLineHeight();
    return;
  }
  PIX_MemBitmap scratch(1, 1);
  RECT r = {0, 0, 0, 0};
  font->DrawText(&scratch, str, len, &r, DT_CALCRECT | DT_NOCLIP | DT_SINGLELINE);
  *w = r.right - r.left;
  *h = r.bottom - r.top;
}

void Text(PIX_IBitmap* bm, IText* style, const char* str, int x, int y) {
  PIX_CachedFont* font = style->mCached ? style->mCached : IGraphics::CacheFont(style);
  if (!font || !str || !str[0]) return;
  font->SetTextColor(style->mColor.ToPixel());
  RECT r = {x, y, bm->getWidth(), bm->getHeight()};
  font->DrawText(bm, str, -1, &r, DT_NOCLIP | DT_SINGLELINE);
}

void Fill(PIX_IBitmap* bm, int x, int y, int w, int h, int r, int g, int b) {
  PIX_FillRect(bm, x, y, w, h, PIX_RGBA(r, g, b, 255), 1.0f, PIX_BLIT_MODE_COPY);
}
}  // namespace X11Draw

// ---------------------------------------------------------------------------
// Construction, window lifecycle

IGraphicsX11::IGraphicsX11(IPluginBase* pPlug, int w, int h, int refreshFPS) : IGraphics(pPlug, w, h, refreshFPS) {}

IGraphicsX11::~IGraphicsX11() {
  mNested = 0;
  CloseWindow();
}

IGraphics* MakeGraphicsX11(IPluginBase* pPlug, int width, int height, int fps) {
  return new IGraphicsX11(pPlug, width, height, fps);
}

int IGraphicsX11::XErrorCount() { return X11ErrorTrap::Count(); }
bool IGraphicsX11::UsingShm() const { return mView && mView->out.UsingShm(); }
float IGraphicsX11::OutputScale() const { return mView ? mView->scale : 1.0f; }
unsigned long IGraphicsX11::XWindowId() const { return mView && !mView->windowGone ? mView->win : 0; }
bool IGraphicsX11::TextEntryOpen() const { return mView && mView->entry; }
bool IGraphicsX11::TooltipShown() const { return mView && mView->tipWin; }
void* IGraphicsX11::GetWindow() { return mView && !mView->windowGone ? (void*)(uintptr_t)mView->win : nullptr; }

void IGraphicsX11::SetWindowClass(const std::string& instanceName, const std::string& className) {
  mClassInstance = instanceName;
  mClassName = className;
}

void IGraphicsX11::SetWindowIcon(PIX_IBitmap* bitmap, int x, int y, int w, int h) {
  mIcon.clear();
  if (!bitmap || w <= 0 || h <= 0 || x < 0 || y < 0 || x + w > bitmap->getWidth() || y + h > bitmap->getHeight()) return;
  // Format-32 properties travel as longs in Xlib, whatever their size.
  mIcon.reserve(2 + (size_t)w * (size_t)h);
  mIcon.push_back((unsigned long)w);
  mIcon.push_back((unsigned long)h);
  const PIX_pixel* bits = bitmap->getBits();
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i) {
      const PIX_pixel p = bits[(size_t)(y + j) * (size_t)bitmap->getRowSpan() + (size_t)(x + i)];
      mIcon.push_back((unsigned long)PIX_A(p) << 24 | (unsigned long)PIX_R(p) << 16 | (unsigned long)PIX_G(p) << 8 |
                      (unsigned long)PIX_B(p));
    }
}

void* IGraphicsX11::OpenWindow(void* pParentWnd) {
  X11ErrorTrap::Scope trap;
  CloseWindow();
  if (mView) return nullptr;  // a blocking prompt is still waiting on the old view
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy) return nullptr;
  X11ErrorTrap::Register(dpy);
  auto view = std::make_unique<X11View>();
  X11View& v = *view;
  v.dpy = dpy;
  v.screen = DefaultScreen(dpy);
  v.root = RootWindow(dpy, v.screen);
  v.visual = DefaultVisual(dpy, v.screen);
  v.depth = DefaultDepth(dpy, v.screen);
  v.colormap = DefaultColormap(dpy, v.screen);
  v.scale = mScaleWanted > 0.0 ? X11NearestScale(mScaleWanted)
                               : X11OutputScale(XResourceManagerString(dpy), std::getenv("GDK_SCALE"));
  v.topLevel = pParentWnd == nullptr;
  ReadDoubleClickSettings(v);

  auto fail = [&]() -> void* {
    XSync(dpy, False);
    X11ErrorTrap::Unregister(dpy);
    XCloseDisplay(dpy);
    return nullptr;
  };

  Window parent = v.topLevel ? v.root : (Window)(uintptr_t)pParentWnd;
  if (!v.topLevel) {
    XWindowAttributes attrs;
    const Status ok = XGetWindowAttributes(dpy, parent, &attrs);
    XSync(dpy, False);
    if (!ok || X11ErrorTrap::TakeLastError(dpy)) return fail();
  }

  // The editor draws natively at the window's scale, so its bitmap goes to
  // the window pixel for pixel: the window is the editor times the scale,
  // rounded (888 x 663 for 592 x 442 at 1.5).
  SetScale(v.scale);
  const int w = DrawWidth(), h = DrawHeight();
  XSetWindowAttributes swa;
  std::memset(&swa, 0, sizeof(swa));
  swa.event_mask = kInputMask;
  swa.background_pixmap = None;  // we paint every pixel; no flash of a background colour
  swa.colormap = v.colormap;
  swa.border_pixel = 0;
  v.win = XCreateWindow(dpy, parent, 0, 0, (unsigned)w, (unsigned)h, 0, v.depth, InputOutput, v.visual,
                        CWEventMask | CWBackPixmap | CWColormap | CWBorderPixel, &swa);
  XSync(dpy, False);
  if (!v.win || X11ErrorTrap::TakeLastError(dpy)) return fail();

  if (v.topLevel) {
    // The name goes last: whoever finds the window by its name (a window
    // manager's rules, a test) then finds its class, size hints, icon and
    // protocols already there, as the requests reach the server in order.
    const char* title = GetPlug() ? GetPlug()->GetEffectName() : "";
    Atom netName = XInternAtom(dpy, "_NET_WM_NAME", False), utf8 = XInternAtom(dpy, "UTF8_STRING", False);
    Atom netIcon = XInternAtom(dpy, "_NET_WM_ICON", False);
    v.wmProtocols = XInternAtom(dpy, "WM_PROTOCOLS", False);
    v.wmDelete = XInternAtom(dpy, "WM_DELETE_WINDOW", False);
    XSizeHints* hints = XAllocSizeHints();
    if (hints) {
      hints->flags = PMinSize | PMaxSize;
      hints->min_width = hints->max_width = w;
      hints->min_height = hints->max_height = h;
      XSetWMNormalHints(dpy, v.win, hints);
      XFree(hints);
    }
    if (!mClassName.empty()) {
      XClassHint hint;
      hint.res_name = const_cast<char*>(mClassInstance.c_str());
      hint.res_class = const_cast<char*>(mClassName.c_str());
      XSetClassHint(dpy, v.win, &hint);
    }
    if (!mIcon.empty())
      XChangeProperty(dpy, v.win, netIcon, XA_CARDINAL, 32, PropModeReplace, (const unsigned char*)mIcon.data(),
                      (int)mIcon.size());
    XSetWMProtocols(dpy, v.win, &v.wmDelete, 1);
    XChangeProperty(dpy, v.win, netName, utf8, 8, PropModeReplace, (const unsigned char*)title, (int)std::strlen(title));
    XStoreName(dpy, v.win, title);
  }
  v.gc = XCreateGC(dpy, v.win, 0, nullptr);
  if (!v.out.Create(dpy, v.visual, v.depth, w, h, mUseShm)) {
    XFreeGC(dpy, v.gc);
    XDestroyWindow(dpy, v.win);
    return fail();
  }
  mView = std::move(view);
  mCloseRequested = false;

  // The whole editor is drawn before the window shows, so the first expose
  // finds every pixel ready.
  IRECT full(0, 0, Width(), Height());
  SetAllControlsDirty();
  Draw(&full);
  XMapWindow(dpy, mView->win);
  XSync(dpy, False);
  if (X11ErrorTrap::TakeLastError(dpy)) {
    // The parent vanished between the check and now.
    mView->windowGone = true;
    CloseWindow();
    return nullptr;
  }
  mNextTick = X11NowSeconds();
  UpdateTooltips();
  return (void*)(uintptr_t)mView->win;
}

void IGraphicsX11::CloseWindow() {
  X11ErrorTrap::Scope trap;
  if (!mView) return;
  if (mNested > 0) {
    // A blocking prompt is waiting further up this thread's stack: it ends
    // at its next round and the view is closed after it.
    mView->closePending = true;
    return;
  }
  X11View& v = *mView;
  // An open prompt goes without an answer.
  v.session.reset();
  mInModal = false;
  EndTextEntry(false);
  HideTooltip();
  if (mCursorHidden) ShowMouseCursor();
  ReleaseMouseCapture();
  v.out.Destroy();
  if (v.gc) XFreeGC(v.dpy, v.gc);
  if (!v.windowGone) XDestroyWindow(v.dpy, v.win);
  // Errors still in flight (a parent that went away) arrive here, while the
  // connection is still registered with the trap.
  XSync(v.dpy, False);
  Display* dpy = v.dpy;
  mView.reset();
  // Still ours while it closes: the close syncs once more.
  XCloseDisplay(dpy);
  X11ErrorTrap::Unregister(dpy);
}

void IGraphicsX11::Resize(int w, int h) {
  X11ErrorTrap::Scope trap;
  if (w == Width() && h == Height()) return;
  ForceEndUserEdit();
  IGraphics::Resize(w, h);
  if (!mView) return;
  X11View& v = *mView;
  const int sw = DrawWidth(), sh = DrawHeight();
  if (v.topLevel) {
    XSizeHints* hints = XAllocSizeHints();
    if (hints) {
      hints->flags = PMinSize | PMaxSize;
      hints->min_width = hints->max_width = sw;
      hints->min_height = hints->max_height = sh;
      XSetWMNormalHints(v.dpy, v.win, hints);
      XFree(hints);
    }
  }
  XResizeWindow(v.dpy, v.win, (unsigned)sw, (unsigned)sh);
  v.out.Create(v.dpy, v.visual, v.depth, sw, sh, mUseShm);
}

// ---------------------------------------------------------------------------
// Event loop and timer

bool IGraphicsX11::Idle() {
  X11ErrorTrap::Scope trap;
  if (!mView) return false;
  Pump(0);
  if (mView && mView->closePending && mNested == 0) CloseWindow();
  return mView != nullptr;
}

bool IGraphicsX11::StartSession(std::unique_ptr<X11Session> session) {
  if (!session || !mView || mView->windowGone || mView->session) return false;
  mView->session = std::move(session);
  mInModal = true;
  return true;
}

void IGraphicsX11::EndSession() {
  if (!mView || !mView->session) return;
  std::unique_ptr<X11Session> session = std::move(mView->session);
  mInModal = false;
  // It may call back into the view, even open the next prompt.
  session->Finish();
}

void IGraphicsX11::WaitFor(const bool& done) {
  ++mNested;
  while (!done && mView && !mView->closePending) Pump(1000 / FPS());
  --mNested;
  if (mNested == 0 && mView && mView->closePending) CloseWindow();
}

void IGraphicsX11::RunEventLoop(const std::atomic<bool>* stop) {
  X11ErrorTrap::Scope trap;
  while (mView && !(stop && stop->load())) {
    const int waitMs = (int)((mNextTick - X11NowSeconds()) * 1000.0);
    Pump(waitMs < 0 ? 0 : waitMs > 1000 ? 1000 : waitMs);
    if (mView && mView->closePending) CloseWindow();
  }
  CloseWindow();
}

void IGraphicsX11::Pump(int timeoutMs) {
  if (!mView) return;
  Display* dpy = mView->dpy;
  if (timeoutMs > 0 && !XPending(dpy)) {
    pollfd pfd = {ConnectionNumber(dpy), POLLIN, 0};
    poll(&pfd, 1, timeoutMs);
  }
  // Events may close the view (a modal session ends the loop first).
  while (mView && !mView->closePending && XPending(mView->dpy)) {
    XEvent ev;
    XNextEvent(mView->dpy, &ev);
    DispatchEvent(&ev);
  }
  // A file prompt's child or portal has no X events: its session is polled every round.
  if (mView && !mView->closePending && mView->session && mView->session->Poll()) EndSession();
  if (!mView || mView->windowGone) return;
  const double now = X11NowSeconds();
  if (now >= mNextTick) {
    const double period = 1.0 / FPS();
    mNextTick += period;
    if (mNextTick < now) mNextTick = now + period;  // after a stall, no burst of catch-up ticks
    Tick();
  }
}

void IGraphicsX11::Tick() {
  // The plug-in side publishes meters and lamps through OnGUIIdle; it must
  // run on every tick even when nothing is dirty yet.
  OnGUIIdle();
  RedrawDirty();
  ShowTooltipIfDue();
}

void IGraphicsX11::RedrawDirty() {
  X11ErrorTrap::Scope trap;
  IRECT r;
  if (IsDirty(&r)) Draw(&r);
  if (mView && !mView->windowGone) XFlush(mView->dpy);
}

void IGraphicsX11::Sync() {
  X11ErrorTrap::Scope trap;
  if (mView) XSync(mView->dpy, False);
}

bool IGraphicsX11::DrawScreen(IRECT* pR) {
  X11ErrorTrap::Scope trap;
  if (!mView || mView->windowGone || !pR) return false;
  const IRECT d = ToDraw(*pR);
  return mView->out.Put(mView->win, mView->gc, GetDrawBitmap(), d.L, d.T, d.W(), d.H());
}

// ---------------------------------------------------------------------------
// Event routing

void IGraphicsX11::DispatchEvent(void* xevent) {
  XEvent& ev = *(XEvent*)xevent;
  if (!mView) return;
  X11View& v = *mView;
  if (v.session && v.session->Handle(ev)) return;
  if (v.entry && ev.xany.window == v.entry->win) {
    if (ev.type == Expose && ev.xexpose.count == 0)
      v.entry->out.Put(v.entry->win, v.gc, &v.entry->bitmap, 0, 0, v.entry->bitmap.getWidth(),
                       v.entry->bitmap.getHeight());
    if (ev.type != ButtonPress && ev.type != KeyPress) return;
  } else if (ev.xany.window != v.win) {
    return;
  }
  const bool inputBlocked = mInModal;  // an open prompt takes the input itself

  switch (ev.type) {
    case Expose: {
      // Window pixels are the drawing bitmap's.
      v.out.Put(v.win, v.gc, GetDrawBitmap(), ev.xexpose.x, ev.xexpose.y, ev.xexpose.width, ev.xexpose.height);
      break;
    }
    case DestroyNotify:
      if (ev.xdestroywindow.window == v.win) {
        v.windowGone = true;
        v.closePending = true;
      }
      break;
    case ClientMessage:
      if (v.topLevel && ev.xclient.message_type == v.wmProtocols && (Atom)ev.xclient.data.l[0] == v.wmDelete) {
        mCloseRequested = true;
        v.closePending = true;
      }
      break;
    case ButtonPress: {
      HideTooltip();
      if (inputBlocked) break;
      // Window coordinates of an entry click are relative to the entry.
      int wx = ev.xbutton.x, wy = ev.xbutton.y;
      if (v.entry && ev.xbutton.window == v.entry->win) {
        wx += ToDraw(v.entry->rect.L);
        wy += ToDraw(v.entry->rect.T);
      }
      const int x = FromDraw(wx), y = FromDraw(wy);
      v.prevX = x;
      v.prevY = y;
      const unsigned button = ev.xbutton.button;
      if (v.entry) {
        if (v.entry->rect.Contains(x, y) && button == 1) {
          HandleEntryClick(wx - ToDraw(v.entry->rect.L), ev.xbutton.state & ShiftMask);
          break;
        }
        // A click elsewhere takes the focus from the field: its text applies.
        EndTextEntry(button != 4 && button != 5);
      }
      IMouseMod mod = X11MouseMod(ev.xbutton.state, button);
      if (const int d = X11WheelDelta(button)) {
        OnMouseWheel(x, y, &mod, d);
      } else if (button == 1 && !mod.R) {
        if (v.dblClick.Press(button, ev.xbutton.time, x, y)) OnMouseDblClick(x, y, &mod);
        else OnMouseDown(x, y, &mod);
      } else if (button == 1 || button == 3) {
        // A right click, or a Super-click standing for one: never half of a
        // double click, so a second quick one prompts again rather than
        // setting the control to its default.
        v.dblClick.Reset();
        OnMouseDown(x, y, &mod);
      }
      break;
    }
    case ButtonRelease: {
      if (inputBlocked) break;
      const unsigned button = ev.xbutton.button;
      if (button != 1 && button != 3) break;
      const int x = FromDraw(ev.xbutton.x), y = FromDraw(ev.xbutton.y);
      v.prevX = x;
      v.prevY = y;
      IMouseMod mod = X11MouseMod(ev.xbutton.state, button);
      OnMouseUp(x, y, &mod);
      break;
    }
    case MotionNotify: {
      if (inputBlocked) break;
      // Only the latest position of a burst matters.
      while (XCheckTypedWindowEvent(v.dpy, v.win, MotionNotify, &ev)) {}
      const int x = FromDraw(ev.xmotion.x), y = FromDraw(ev.xmotion.y);
      v.prevX = x;
      v.prevY = y;
      IMouseMod mod = X11MouseMod(ev.xmotion.state, 0);
      // A tooltip stays while the pointer rests; any move takes it away.
      HideTooltip();
      v.lastMotion = X11NowSeconds();
      v.pointerInside = true;
      if (ev.xmotion.state & (Button1Mask | Button3Mask)) {
        if (!v.entry) OnMouseDrag(x, y, &mod);
      } else {
        OnMouseOver(x, y, &mod);
      }
      break;
    }
    case EnterNotify:
      v.pointerInside = true;
      v.lastMotion = X11NowSeconds();
      break;
    case LeaveNotify:
      if (ev.xcrossing.mode == NotifyNormal && ev.xcrossing.detail != NotifyInferior) {
        v.pointerInside = false;
        HideTooltip();
        OnMouseOut();
      }
      break;
    case FocusOut: {
      if (!v.entry || ev.xfocus.mode != NotifyNormal) break;
      // Focus notices come in pairs and with pointer details that do not
      // mean the editor lost the keyboard; only where the focus is now counts.
      Window focus = 0;
      int revert = 0;
      XGetInputFocus(v.dpy, &focus, &revert);
      if (focus != v.win && focus != v.entry->win) EndTextEntry(true);
      break;
    }
    case KeyPress: {
      HideTooltip();
      if (inputBlocked) break;
      char buf[32];
      KeySym sym = NoSymbol;
      const int n = XLookupString(&ev.xkey, buf, (int)sizeof(buf) - 1, &sym, nullptr);
      buf[n > 0 ? n : 0] = 0;
      if (v.entry) {
        HandleEntryKey((unsigned long)sym, buf, ev.xkey.state);
        break;
      }
      const int key = X11KeyValue((unsigned long)sym);
      if (key >= 0) OnKeyDown(v.prevX, v.prevY, key);
      break;
    }
    default:
      break;
  }
}

// ---------------------------------------------------------------------------
// Cursor

void IGraphicsX11::HideMouseCursor() {
  X11ErrorTrap::Scope trap;
  if (mCursorHidden) return;
  mCursorHidden = true;
  mHiddenMousePointX = mMouseX;
  mHiddenMousePointY = mMouseY;
  if (!mView || mView->windowGone) return;
  Window rootRet = 0, childRet = 0;
  int rx = -1, ry = -1, wx = 0, wy = 0;
  unsigned mask = 0;
  if (XQueryPointer(mView->dpy, mView->win, &rootRet, &childRet, &rx, &ry, &wx, &wy, &mask)) {
    mView->cursorRootX = rx;
    mView->cursorRootY = ry;
  }
  XFixesHideCursor(mView->dpy, mView->win);
  XFlush(mView->dpy);
}

void IGraphicsX11::ShowMouseCursor() {
  X11ErrorTrap::Scope trap;
  if (!mCursorHidden) return;
  mCursorHidden = false;
  mHiddenMousePointX = mHiddenMousePointY = -1;
  if (!mView || mView->windowGone) return;
  if (mView->cursorRootX >= 0)
    XWarpPointer(mView->dpy, None, mView->root, 0, 0, 0, 0, mView->cursorRootX, mView->cursorRootY);
  XFixesShowCursor(mView->dpy, mView->win);
  XFlush(mView->dpy);
}
