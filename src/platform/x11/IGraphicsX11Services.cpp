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
#include <cerrno>
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
#include "platform/x11/X11ErrorTrap.h"
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
// Addresses

bool IGraphicsX11::OpenURL(const char* url, const char*, const char*, const char*) {
  if (!url || !url[0]) return true;
  std::string target = url;
  if (target.find("http") == std::string::npos && target.find("://") == std::string::npos) {
    if (target[0] != '/') return false;
    target = "file://" + target;
  }
  std::string opener = X11FindInPath("xdg-open");
  if (opener.empty()) return false;
  // Spawned, never forked: a fork would copy the host's threads and memory.
  // A shell starts the opener in the background and ends at once, so the
  // opener is nobody's child once we return and no zombie is left to reap.
  std::string sh = "/bin/sh", script = "\"$0\" \"$1\" </dev/null >/dev/null 2>&1 &";
  char* argv[] = {sh.data(), (char*)"-c", script.data(), opener.data(), target.data(), nullptr};
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ) != 0) return false;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
  return true;
}

// ---------------------------------------------------------------------------
// Clipboard

bool IGraphicsX11::GetTextFromClipboard(std::string* pStr) {
  X11ErrorTrap::Scope trap;
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
  std::string file(name);
  const size_t slash = file.find_last_of('/');
  if (slash != std::string::npos) file = file.substr(slash + 1);
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
