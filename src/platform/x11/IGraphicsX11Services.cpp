// The X11 view's services: message boxes, file prompts, clipboard, URLs, paths and images.
#include "platform/gdi/GDI.h"
#include "graphics/IControl.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

#include "graphics/IControl.h"
#include "pix/PIX_Blit.h"
#include "pix/PIX_PNG.h"
#include "platform/headless/IGraphicsHeadless.h"
#include "platform/x11/IGraphicsX11.h"
#include "platform/x11/X11MessageBox.h"
#include "platform/x11/X11Paths.h"
#include "platform/x11/X11Portal.h"
#include "platform/x11/X11View.h"

extern char** environ;

std::vector<X11BoxButton> X11MessageBoxButtons(int type) {
  switch (type) {
    case 4: return {{"Yes", 1}, {"No", 7}};
    case 3: return {{"Yes", 1}, {"No", 7}, {"Cancel", 2}};
    case 1: return {{"OK", 1}, {"Cancel", 7}};
    default: return {{"OK", 1}};
  }
}

// ---------------------------------------------------------------------------
// Message box (and the fallback path field)

namespace {
constexpr int kBoxW = 380, kPad = 14, kLineH = 18, kButtonW = 80, kButtonH = 24, kFieldH = 22;
}

int IGraphicsX11::RunModalBox(const char* caption, const char* text, int type, std::string* field) {
  const std::vector<X11BoxButton> buttons = X11MessageBoxButtons(type);
  if (!mView || mView->windowGone || mInModal) return buttons.back().result;
  X11View& v = *mView;
  EndTextEntry(true);
  ReleaseMouseCapture();
  IText body(13, nullptr, "DejaVu Sans", IText::kStyleNormal, IText::kAlignNear);
  IText head(14, nullptr, "DejaVu Sans", IText::kStyleBold, IText::kAlignNear);
  auto width = [&body](const std::string& s) {
    int w = 0, h = 0;
    X11Draw::Measure(&body, s.c_str(), (int)s.size(), &w, &h);
    return w;
  };
  const std::vector<std::string> lines = X11WrapText(text ? text : "", kBoxW - 2 * kPad, width);
  const bool hasCaption = caption && caption[0];
  const int fieldTop = kPad + (hasCaption ? kLineH + 6 : 0) + (int)lines.size() * kLineH + 6;
  const int buttonTop = fieldTop + (field ? kFieldH + 10 : 0);
  const int h = buttonTop + kButtonH + kPad;
  const int s = v.scale;

  PIX_MemBitmap bm(kBoxW, h);
  X11Screen out;
  int rx = 0, ry = 0;
  Window child;
  XTranslateCoordinates(v.dpy, v.win, v.root, (Width() - kBoxW) / 2 * s, (Height() - h) / 2 * s, &rx, &ry, &child);
  XSetWindowAttributes swa;
  swa.override_redirect = True;
  swa.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | KeyPressMask;
  swa.background_pixmap = None;
  swa.colormap = v.colormap;
  swa.border_pixel = 0;
  Window box = XCreateWindow(v.dpy, v.root, std::max(0, rx), std::max(0, ry), (unsigned)(kBoxW * s), (unsigned)(h * s),
                             0, v.depth, InputOutput, v.visual,
                             CWOverrideRedirect | CWEventMask | CWBackPixmap | CWColormap | CWBorderPixel, &swa);
  out.Create(v.dpy, v.visual, v.depth, kBoxW, h, s, false);
  X11TextField edit(field ? *field : std::string(), X11TextFilter());
  if (field) edit.End(false);
  int pressed = -1, result = buttons.back().result;
  bool done = false;

  auto buttonRect = [&](int i) {
    const int n = (int)buttons.size();
    const int x = kBoxW - kPad - (n - i) * (kButtonW + 8) + 8;
    return IRECT(x, buttonTop, x + kButtonW, buttonTop + kButtonH);
  };
  auto paint = [&]() {
    X11Draw::Fill(&bm, 0, 0, kBoxW, h, 90, 90, 90);
    X11Draw::Fill(&bm, 1, 1, kBoxW - 2, h - 2, 236, 236, 236);
    int y = kPad;
    if (hasCaption) {
      X11Draw::Text(&bm, &head, caption, kPad, y);
      y += kLineH + 6;
    }
    for (const std::string& line : lines) {
      X11Draw::Text(&bm, &body, line.c_str(), kPad, y);
      y += kLineH;
    }
    if (field) {
      X11Draw::Fill(&bm, kPad, fieldTop, kBoxW - 2 * kPad, kFieldH, 120, 120, 120);
      X11Draw::Fill(&bm, kPad + 1, fieldTop + 1, kBoxW - 2 * kPad - 2, kFieldH - 2, 255, 255, 255);
      const std::string& t = edit.Text();
      int cw = 0, chh = 0;
      X11Draw::Measure(&body, t.c_str(), edit.Caret(), &cw, &chh);
      const int shift = std::max(0, cw - (kBoxW - 2 * kPad - 10));
      X11Draw::Text(&bm, &body, t.c_str(), kPad + 4 - shift, fieldTop + 3);
      X11Draw::Fill(&bm, kPad + 4 - shift + cw, fieldTop + 3, 1, kFieldH - 6, 0, 0, 0);
    }
    for (int i = 0; i < (int)buttons.size(); ++i) {
      const IRECT r = buttonRect(i);
      X11Draw::Fill(&bm, r.L, r.T, r.W(), r.H(), 110, 110, 110);
      const int shade = i == pressed ? 200 : i == 0 ? 250 : 244;
      X11Draw::Fill(&bm, r.L + 1, r.T + 1, r.W() - 2, r.H() - 2, shade, shade, shade);
      int tw = 0, th = 0;
      X11Draw::Measure(&body, buttons[(size_t)i].label.c_str(), (int)buttons[(size_t)i].label.size(), &tw, &th);
      X11Draw::Text(&bm, &body, buttons[(size_t)i].label.c_str(), r.L + (r.W() - tw) / 2, r.T + (r.H() - th) / 2);
    }
    out.Put(box, v.gc, &bm, 0, 0, kBoxW, h);
  };
  auto hit = [&](int bx, int by) {
    for (int i = 0; i < (int)buttons.size(); ++i)
      if (buttonRect(i).Contains(bx / s, by / s)) return i;
    return -1;
  };

  XMapRaised(v.dpy, box);
  for (int tries = 0; tries < 20; ++tries) {
    if (XGrabKeyboard(v.dpy, box, True, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess) break;
    XSync(v.dpy, False);
  }
  mInModal = true;
  v.modal = [&](XEvent& ev) -> bool {
    if (ev.xany.window == box) {
      if (ev.type == Expose && ev.xexpose.count == 0) paint();
      if (ev.type == ButtonPress && ev.xbutton.button == 1) {
        pressed = hit(ev.xbutton.x, ev.xbutton.y);
        paint();
      }
      if (ev.type == ButtonRelease && ev.xbutton.button == 1) {
        const int i = hit(ev.xbutton.x, ev.xbutton.y);
        if (i >= 0 && i == pressed) {
          result = buttons[(size_t)i].result;
          done = true;
        }
        pressed = -1;
        paint();
      }
    }
    if (ev.type == KeyPress) {
      char buf[32];
      KeySym sym = NoSymbol;
      const int n = XLookupString(&ev.xkey, buf, (int)sizeof(buf) - 1, &sym, nullptr);
      buf[n > 0 ? n : 0] = 0;
      if (sym == XK_Return || sym == XK_KP_Enter) {
        result = buttons.front().result;
        done = true;
      } else if (sym == XK_Escape) {
        result = buttons.back().result;
        done = true;
      } else if (field) {
        if (sym == XK_BackSpace) edit.Backspace();
        else if (sym == XK_Delete) edit.Delete();
        else if (sym == XK_Left) edit.Left(ev.xkey.state & ShiftMask);
        else if (sym == XK_Right) edit.Right(ev.xkey.state & ShiftMask);
        else if (sym == XK_Home) edit.Home(false);
        else if (sym == XK_End) edit.End(false);
        else if (n > 0 && (unsigned char)buf[0] >= 0x20 && buf[0] != 0x7F && !(ev.xkey.state & ControlMask))
          edit.Insert(buf);
        paint();
      }
      return true;
    }
    // The editor below takes no input while the box is up.
    return ev.type == ButtonPress || ev.type == ButtonRelease || ev.type == MotionNotify || ev.xany.window == box;
  };
  while (!done && mView && !mView->closePending) Pump(1000 / FPS());
  if (mView) {
    mView->modal = nullptr;
    XUngrabKeyboard(v.dpy, CurrentTime);
    out.Destroy();
    XDestroyWindow(v.dpy, box);
    XFlush(v.dpy);
  }
  mInModal = false;
  if (mView && mView->closePending) {
    CloseWindow();
    return buttons.back().result;
  }
  if (field) *field = edit.Text();
  return result;
}

int IGraphicsX11::ShowMessageBox(const char* pText, const char* pCaption, int type) {
  return RunModalBox(pCaption, pText, type, nullptr);
}

// ---------------------------------------------------------------------------
// File prompts: a desktop chooser program when there is one, else our own path field

namespace {
std::string FindInPath(const char* program) {
  const char* path = std::getenv("PATH");
  std::string all = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= all.size()) {
    size_t colon = all.find(':', start);
    std::string dir = all.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    if (!dir.empty()) {
      std::string candidate = dir + "/" + program;
      if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  return std::string();
}
}  // namespace

void IGraphicsX11::PromptForFile(std::string* pFilename, EFileAction action, std::string* pDir, char* extensions) {
  if (!pFilename) return;
  if (!mView || mView->windowGone || mInModal) {
    pFilename->clear();
    return;
  }
  std::string dirStore;
  std::string& dir = pDir ? *pDir : dirStore;
  if (dir.empty()) DesktopPath(&dir);
  const std::string proposed = *pFilename;
  pFilename->clear();
  std::vector<std::string> exts;
  if (extensions) {
    std::string all = extensions;
    size_t p = 0;
    while (p < all.size()) {
      size_t sp = all.find(' ', p);
      std::string e = all.substr(p, sp == std::string::npos ? std::string::npos : sp - p);
      if (!e.empty()) exts.push_back(e);
      if (sp == std::string::npos) break;
      p = sp + 1;
    }
  }
  std::string start = dir;
  if (!start.empty() && start.back() != '/') start += '/';
  start += proposed;

  // The desktop portal first: the desktop's own chooser, and the only one
  // reachable from a sandbox. Without a portal on the session bus, or when it
  // refuses the call, the chooser programs below take over.
  X11PortalQuery query;
  query.save = action == kFileSave;
  char parent[32];
  std::snprintf(parent, sizeof(parent), "x11:%lx", (unsigned long)mView->win);
  query.parentWindow = parent;
  query.folder = dir;
  query.proposedName = proposed;
  query.extensions = exts;
  // Modal only once the portal took the call, so a missing portal leaves no
  // trace before the fallback's own modal loop.
  const X11PortalResult portal = X11PortalChooseFile(query, [this] {
    mInModal = true;
    if (mView) Pump(0);
    return mView && !mView->closePending;
  }, 1000 / FPS());
  mInModal = false;
  if (mView && mView->closePending) {
    CloseWindow();
    return;
  }
  if (!mView) return;
  if (portal.status != X11PortalStatus::kUnavailable && portal.status != X11PortalStatus::kFailed) {
    if (portal.status != X11PortalStatus::kChosen || portal.path.empty()) return;
    *pFilename = portal.path;
    const size_t slash = portal.path.find_last_of('/');
    dir = portal.path.substr(0, slash + 1);
    return;
  }

  std::vector<std::string> args;
  std::string tool = FindInPath("zenity");
  if (!tool.empty()) {
    args = {tool, "--file-selection", "--filename=" + start};
    if (action == kFileSave) {
      args.push_back("--save");
      args.push_back("--confirm-overwrite");
    }
    if (!exts.empty()) {
      std::string filter = "--file-filter=";
      for (const std::string& e : exts) filter += "*." + e + " ";
      args.push_back(filter);
    }
  } else if (!(tool = FindInPath("kdialog")).empty()) {
    std::string filter;
    for (const std::string& e : exts) filter += "*." + e + " ";
    args = {tool, action == kFileSave ? "--getsavefilename" : "--getopenfilename", start};
    if (!filter.empty()) args.push_back(filter);
  }

  std::string chosen;
  if (!args.empty()) {
    // The chooser runs as a child process while the editor keeps drawing;
    // it is never left behind: closing the editor ends it.
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(fds[1]);
    if (rc != 0) {
      ::close(fds[0]);
      return;
    }
    std::string output;
    bool running = true;
    mInModal = true;
    while (running) {
      pollfd pfd = {fds[0], POLLIN, 0};
      if (poll(&pfd, 1, 1000 / FPS()) > 0) {
        char buf[1024];
        const ssize_t n = ::read(fds[0], buf, sizeof(buf));
        if (n > 0) output.append(buf, (size_t)n);
        else running = false;
      }
      if (mView) Pump(0);
      if (!mView || mView->closePending) {
        kill(pid, SIGTERM);
        running = false;
      }
    }
    ::close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    mInModal = false;
    if (mView && mView->closePending) {
      CloseWindow();
      return;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
      while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
      chosen = output;
    }
  } else {
    std::string path = start;
    const char* what = action == kFileSave ? "Save as:" : "Open file:";
    if (RunModalBox(nullptr, what, 1, &path) == 1) chosen = path;
  }
  if (chosen.empty()) return;
  *pFilename = chosen;
  const size_t slash = chosen.find_last_of('/');
  dir = slash == std::string::npos ? std::string("./") : chosen.substr(0, slash + 1);
}

bool IGraphicsX11::OpenURL(const char* url, const char*, const char*, const char*) {
  if (!url || !url[0]) return true;
  std::string target = url;
  if (target.find("http") == std::string::npos && target.find("://") == std::string::npos) {
    if (target[0] != '/') return false;
    target = "file://" + target;
  }
  std::string opener = FindInPath("xdg-open");
  if (opener.empty()) return false;
  // Twice forked, so the opener is nobody's child once we return.
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    if (fork() == 0) {
      const char* argv[] = {opener.c_str(), target.c_str(), nullptr};
      execv(argv[0], (char**)argv);
    }
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return true;
}

// ---------------------------------------------------------------------------
// Clipboard

bool IGraphicsX11::GetTextFromClipboard(std::string* pStr) {
  if (!pStr) return false;
  pStr->clear();
  if (!mView || mView->windowGone) return false;
  X11View& v = *mView;
  const Atom clipboard = XInternAtom(v.dpy, "CLIPBOARD", False), utf8 = XInternAtom(v.dpy, "UTF8_STRING", False);
  const Atom prop = XInternAtom(v.dpy, "KT412_CLIPBOARD", False);
  if (XGetSelectionOwner(v.dpy, clipboard) == None) return false;
  XConvertSelection(v.dpy, clipboard, utf8, prop, v.win, CurrentTime);
  XFlush(v.dpy);
  // The owner answers through the server; a second is plenty for a live one.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  XEvent ev;
  bool answered = false;
  while (!answered && std::chrono::steady_clock::now() < deadline) {
    if (XCheckTypedWindowEvent(v.dpy, v.win, SelectionNotify, &ev)) {
      answered = true;
      break;
    }
    pollfd pfd = {ConnectionNumber(v.dpy), POLLIN, 0};
    poll(&pfd, 1, 20);
  }
  if (!answered || ev.xselection.property == None) return false;
  Atom type;
  int format;
  unsigned long nItems, after;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(v.dpy, v.win, prop, 0, 1 << 20, True, AnyPropertyType, &type, &format, &nItems, &after,
                         &data) == Success && data) {
    if (format == 8) pStr->assign((const char*)data, nItems);
    XFree(data);
  }
  return !pStr->empty();
}

// ---------------------------------------------------------------------------
// Paths and images

void IGraphicsX11::HostPath(std::string* pPath) {
  if (!pPath) return;
  char buf[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  *pPath = n > 0 ? std::string(buf, (size_t)n) : std::string();
}

void IGraphicsX11::PluginPath(std::string* pPath) {
  if (!pPath) return;
  // The file this code was loaded from: the plug-in's shared object inside
  // a host, the program itself when linked in.
  Dl_info info;
  std::string file;
  if (dladdr((void*)&MakeGraphicsX11, &info) && info.dli_fname) file = info.dli_fname;
  if (file.empty() || file.find('/') == std::string::npos) HostPath(&file);
  const size_t slash = file.find_last_of('/');
  *pPath = slash == std::string::npos ? std::string("./") : file.substr(0, slash + 1);
}

void IGraphicsX11::DesktopPath(std::string* pPath) {
  if (pPath) *pPath = X11UserDir("XDG_DESKTOP_DIR", "Desktop");
}

void IGraphicsX11::AppSupportPath(std::string* pPath, bool isSystem) {
  if (pPath) *pPath = isSystem ? std::string("/usr/local/share") : X11DataHome();
}

void IGraphicsX11::SandboxSafeAppSupportPath(std::string* pPath) {
  if (pPath) *pPath = X11UserDir("XDG_MUSIC_DIR", "Music");
}

PIX_IBitmap* IGraphicsX11::OSLoadBitmap(int id, const char* name) {
  (void)id;
  // Skin images come from the same resource folder as for the headless
  // surface, so that both draw the editor from one set of files: the file
  // part of the name with its "png" extension (any letter case).
  if (!name || !name[0]) return nullptr;
  std::string file = IGraphicsHeadless::SkinFileName(name);
  const size_t dot = file.find_last_of('.');
  if (dot == std::string::npos || dot == 0) return nullptr;
  std::string ext = file.substr(dot + 1);
  for (char& c : ext) c = (char)std::tolower((unsigned char)c);
  if (ext != "png") return nullptr;
  // The folder a program chose, else resources/img/ next to our binary, as
  // the images sit in a plug-in's bundle.
  std::string folder;
  if (IGraphicsHeadless::DefaultResourcePathSet()) {
    folder = IGraphicsHeadless::GetDefaultResourcePath();
  } else {
    PluginPath(&folder);
    folder += "resources/img";
  }
  const std::string dir = folder.empty() ? std::string(".") : folder;
  const std::string lower = dir + "/" + file.substr(0, dot) + ".png";
  struct stat st;
  const std::string path = ::stat(lower.c_str(), &st) == 0 ? lower : dir + "/" + file;
  return PIX_LoadPNG(path.c_str());
}
