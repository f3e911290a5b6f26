// The X11 view's message box and file prompt, as sessions its idle calls drive.
#include "pix/gdi/GDI.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include "platform/x11/IGraphicsX11.h"
#include "platform/x11/X11ErrorTrap.h"
#include "platform/x11/X11MessageBox.h"
#include "platform/x11/X11Paths.h"
#include "platform/x11/X11Portal.h"
#include "platform/x11/X11View.h"

extern char** environ;

namespace {

// Sizes in editor pixels; a box is laid out and drawn in window pixels
// (these times the view's scale, the fonts at the scaled size).
constexpr int kBoxW = 380, kPad = 14, kLineH = 18, kButtonW = 80, kButtonH = 24, kFieldH = 22, kBodySize = 13,
              kHeadSize = 14;

// The own-drawn box behind ShowMessageBox and the fallback file prompt: a
// message, optionally a text field, and buttons. Answers the result of the
// button pressed (Return: the first, Escape: the last) and the field's text.
class BoxSession : public X11Session {
public:
  using Done = std::function<void(int answer, const std::string& field)>;

  // windowW x windowH: the editor's window, over whose middle the box shows.
  BoxSession(X11View& v, int windowW, int windowH, const char* caption, const char* text, int type,
             const std::string* field, Done done)
      : mV(v), mButtons(X11MessageBoxButtons(type)), mHasField(field != nullptr),
        mEdit(field ? *field : std::string(), X11TextFilter()), mDone(std::move(done)),
        mBody(v.Px(kBodySize), nullptr, "DejaVu Sans", IText::kStyleNormal, IText::kAlignNear),
        mHead(v.Px(kHeadSize), nullptr, "DejaVu Sans", IText::kStyleBold, IText::kAlignNear), mW(v.Px(kBoxW)),
        mPad(v.Px(kPad)), mLineH(v.Px(kLineH)), mFieldH(v.Px(kFieldH)), mOne(std::max(1, v.Px(1))) {
    mResult = mButtons.back().result;
    if (field) mEdit.End(false);
    mCaption = caption ? caption : "";
    auto width = [this](const std::string& s) {
      int w = 0, h = 0;
      X11Draw::Measure(&mBody, s.c_str(), (int)s.size(), &w, &h);
      return w;
    };
    mLines = X11WrapText(text ? text : "", mW - 2 * mPad, width);
    mFieldTop = mPad + (mCaption.empty() ? 0 : mLineH + v.Px(6)) + (int)mLines.size() * mLineH + v.Px(6);
    mButtonTop = mFieldTop + (mHasField ? mFieldH + v.Px(10) : 0);
    mH = mButtonTop + v.Px(kButtonH) + mPad;
    mBitmap.resize(mW, mH);
    int rx = 0, ry = 0;
    Window child;
    XTranslateCoordinates(v.dpy, v.win, v.root, (windowW - mW) / 2, (windowH - mH) / 2, &rx, &ry, &child);
    XSetWindowAttributes swa;
    swa.override_redirect = True;
    swa.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | KeyPressMask;
    swa.background_pixmap = None;
    swa.colormap = v.colormap;
    swa.border_pixel = 0;
    mBox = XCreateWindow(v.dpy, v.root, std::max(0, rx), std::max(0, ry), (unsigned)mW, (unsigned)mH, 0,
                         v.depth, InputOutput, v.visual,
                         CWOverrideRedirect | CWEventMask | CWBackPixmap | CWColormap | CWBorderPixel, &swa);
    mOut.Create(v.dpy, v.visual, v.depth, mW, mH, false);
    XMapRaised(v.dpy, mBox);
    for (int tries = 0; tries < 20; ++tries) {
      if (XGrabKeyboard(v.dpy, mBox, True, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess) break;
      XSync(v.dpy, False);
    }
    XFlush(v.dpy);
  }
  ~BoxSession() override { Close(); }

  bool Handle(XEvent& ev) override {
    if (ev.xany.window == mBox) {
      if (ev.type == Expose && ev.xexpose.count == 0) Paint();
      if (ev.type == ButtonPress && ev.xbutton.button == 1) {
        mPressed = Hit(ev.xbutton.x, ev.xbutton.y);
        Paint();
      }
      if (ev.type == ButtonRelease && ev.xbutton.button == 1) {
        const int i = Hit(ev.xbutton.x, ev.xbutton.y);
        if (i >= 0 && i == mPressed) Answer(mButtons[(size_t)i].result);
        mPressed = -1;
        Paint();
      }
    }
    if (ev.type == KeyPress) {
      Key(ev.xkey);
      return true;
    }
    // The editor below takes no input while the box is up.
    return ev.type == ButtonPress || ev.type == ButtonRelease || ev.type == MotionNotify || ev.xany.window == mBox;
  }
  bool Poll() override { return mAnswered; }
  void Finish() override {
    Close();
    if (mDone) mDone(mResult, mEdit.Text());
  }

private:
  void Answer(int result) {
    mResult = result;
    mAnswered = true;
  }

  void Key(XKeyEvent& key) {
    char buf[32];
    KeySym sym = NoSymbol;
    const int n = XLookupString(&key, buf, (int)sizeof(buf) - 1, &sym, nullptr);
    buf[n > 0 ? n : 0] = 0;
    if (sym == XK_Return || sym == XK_KP_Enter) return Answer(mButtons.front().result);
    if (sym == XK_Escape) return Answer(mButtons.back().result);
    if (!mHasField) return;
    if (sym == XK_BackSpace) mEdit.Backspace();
    else if (sym == XK_Delete) mEdit.Delete();
    else if (sym == XK_Left) mEdit.Left(key.state & ShiftMask);
    else if (sym == XK_Right) mEdit.Right(key.state & ShiftMask);
    else if (sym == XK_Home) mEdit.Home(false);
    else if (sym == XK_End) mEdit.End(false);
    else if (n > 0 && (unsigned char)buf[0] >= 0x20 && buf[0] != 0x7F && !(key.state & ControlMask)) mEdit.Insert(buf);
    Paint();
  }

  // In window pixels, as everything of the box.
  IRECT ButtonRect(int i) const {
    const int n = (int)mButtons.size();
    const int x = mW - mPad - mV.Px((n - i) * (kButtonW + 8) - 8);
    return IRECT(x, mButtonTop, x + mV.Px(kButtonW), mButtonTop + mV.Px(kButtonH));
  }

  int Hit(int bx, int by) const {
    for (int i = 0; i < (int)mButtons.size(); ++i)
      if (ButtonRect(i).Contains(bx, by)) return i;
    return -1;
  }

  void Paint() {
    PIX_MemBitmap& bm = mBitmap;
    const int one = mOne;
    X11Draw::Fill(&bm, 0, 0, mW, mH, 90, 90, 90);
    X11Draw::Fill(&bm, one, one, mW - 2 * one, mH - 2 * one, 236, 236, 236);
    int y = mPad;
    if (!mCaption.empty()) {
      X11Draw::Text(&bm, &mHead, mCaption.c_str(), mPad, y);
      y += mLineH + mV.Px(6);
    }
    for (const std::string& line : mLines) {
      X11Draw::Text(&bm, &mBody, line.c_str(), mPad, y);
      y += mLineH;
    }
    if (mHasField) {
      const int fw = mW - 2 * mPad;
      X11Draw::Fill(&bm, mPad, mFieldTop, fw, mFieldH, 120, 120, 120);
      X11Draw::Fill(&bm, mPad + one, mFieldTop + one, fw - 2 * one, mFieldH - 2 * one, 255, 255, 255);
      const std::string& t = mEdit.Text();
      int cw = 0, chh = 0;
      X11Draw::Measure(&mBody, t.c_str(), mEdit.Caret(), &cw, &chh);
      const int shift = std::max(0, cw - (fw - mV.Px(10)));
      const int tx = mPad + mV.Px(4) - shift, ty = mFieldTop + mV.Px(3);
      X11Draw::Text(&bm, &mBody, t.c_str(), tx, ty);
      X11Draw::Fill(&bm, tx + cw, ty, one, mFieldH - mV.Px(6), 0, 0, 0);
    }
    for (int i = 0; i < (int)mButtons.size(); ++i) {
      const IRECT r = ButtonRect(i);
      X11Draw::Fill(&bm, r.L, r.T, r.W(), r.H(), 110, 110, 110);
      const int shade = i == mPressed ? 200 : i == 0 ? 250 : 244;
      X11Draw::Fill(&bm, r.L + one, r.T + one, r.W() - 2 * one, r.H() - 2 * one, shade, shade, shade);
      const std::string& label = mButtons[(size_t)i].label;
      int tw = 0, th = 0;
      X11Draw::Measure(&mBody, label.c_str(), (int)label.size(), &tw, &th);
      X11Draw::Text(&bm, &mBody, label.c_str(), r.L + (r.W() - tw) / 2, r.T + (r.H() - th) / 2);
    }
    mOut.Put(mBox, mV.gc, &bm, 0, 0, mW, mH);
  }

  void Close() {
    if (!mBox) return;
    XUngrabKeyboard(mV.dpy, CurrentTime);
    mOut.Destroy();
    XDestroyWindow(mV.dpy, mBox);
    XFlush(mV.dpy);
    mBox = 0;
  }

  X11View& mV;
  std::vector<X11BoxButton> mButtons;
  bool mHasField;
  X11TextField mEdit;
  Done mDone;
  IText mBody, mHead;
  std::string mCaption;
  std::vector<std::string> mLines;
  const int mW, mPad, mLineH, mFieldH, mOne;  // window pixels
  int mFieldTop = 0, mButtonTop = 0, mH = 0;
  PIX_MemBitmap mBitmap;
  X11Screen mOut;
  Window mBox = 0;
  int mPressed = -1, mResult = 0;
  bool mAnswered = false;
};

// A chooser program (zenity or kdialog) started with posix_spawn, its answer
// read from a pipe without waiting; it never outlives the prompt.
class ChooserProgram {
public:
  ~ChooserProgram() {
    if (mPid > 0) {
      kill(mPid, SIGTERM);
      Reap(0);
    }
    if (mFd >= 0) ::close(mFd);
  }
  bool Start(std::vector<std::string> args) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = posix_spawn(&mPid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(fds[1]);
    if (rc != 0) {
      mPid = -1;
      ::close(fds[0]);
      return false;
    }
    mFd = fds[0];
    return true;
  }
  // Reads what is there; true once the program has ended (then Output() is its answer).
  bool Poll() {
    while (mFd >= 0) {
      pollfd pfd = {mFd, POLLIN, 0};
      if (poll(&pfd, 1, 0) <= 0) break;
      char buf[1024];
      const ssize_t n = ::read(mFd, buf, sizeof(buf));
      if (n > 0) {
        mOutput.append(buf, (size_t)n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      ::close(mFd);
      mFd = -1;
    }
    if (mFd >= 0) return false;
    return mPid <= 0 || Reap(WNOHANG);
  }
  // The chosen path: the program's output without the line end, when it ended well.
  std::string Answer() const {
    if (!WIFEXITED(mStatus) || WEXITSTATUS(mStatus) != 0) return std::string();
    std::string out = mOutput;
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
  }

private:
  bool Reap(int flags) {
    pid_t r;
    while ((r = waitpid(mPid, &mStatus, flags)) < 0 && errno == EINTR) {}
    if (r == 0) return false;
    mPid = -1;
    return true;
  }

  pid_t mPid = -1;
  int mFd = -1;
  int mStatus = 1 << 8;  // "exited with 1" until it really ends
  std::string mOutput;
};

// The file prompt: the desktop portal first (the desktop's own chooser, and
// the only one reachable from a sandbox); when there is none or it refuses,
// zenity or kdialog; without those our own path field.
class FileSession : public X11Session {
public:
  FileSession(IGraphicsX11& g, X11View& v, X11PortalQuery query, std::string start, IGraphics::FileDone done)
      : mG(g), mV(v), mQuery(std::move(query)), mStart(std::move(start)), mDone(std::move(done)) {
    mPortal = std::make_unique<X11PortalRequest>(mQuery);
    if (std::optional<X11PortalResult> r = mPortal->Poll(0)) TakePortal(*r);
  }

  bool Handle(XEvent& ev) override {
    if (mBox) return mBox->Handle(ev);
    // The chooser is another window; ours takes no input meanwhile.
    return ev.type == ButtonPress || ev.type == ButtonRelease || ev.type == MotionNotify || ev.type == KeyPress;
  }

  bool Poll() override {
    if (mPortal) {
      if (std::optional<X11PortalResult> r = mPortal->Poll(0)) TakePortal(*r);
    } else if (mProgram && mProgram->Poll()) {
      mFile = mProgram->Answer();
      mProgram.reset();
      mAnswered = true;
    } else if (mBox && mBox->Poll()) {
      mBox->Finish();  // may ask for the next box (the overwrite question, or the path again)
      mBox = std::move(mNextBox);
      mAnswered = !mBox;
    }
    return mAnswered;
  }

  void Finish() override {
    mPortal.reset();
    mProgram.reset();
    mBox.reset();
    mNextBox.reset();
    std::string dir = mQuery.folder;
    if (!mFile.empty()) {
      const size_t slash = mFile.find_last_of('/');
      dir = slash == std::string::npos ? std::string("./") : mFile.substr(0, slash + 1);
    }
    if (mDone) mDone(mFile, dir);
  }

private:
  void TakePortal(const X11PortalResult& r) {
    mPortal.reset();
    if (r.status != X11PortalStatus::kUnavailable && r.status != X11PortalStatus::kFailed) {
      if (r.status == X11PortalStatus::kChosen) mFile = r.path;
      mAnswered = true;
      return;
    }
    StartFallback();
  }

  void StartFallback() {
    std::vector<std::string> args;
    const bool save = mQuery.save;
    std::string tool = X11FindInPath("zenity");
    if (!tool.empty()) {
      // The portal's title; without one zenity says only "Select a file".
      args = {tool, "--file-selection", std::string("--title=") + (save ? "Save as" : "Open file"),
              "--filename=" + mStart};
      if (save) {
        args.push_back("--save");
        args.push_back("--confirm-overwrite");
      }
      if (!mQuery.extensions.empty()) {
        std::string filter = "--file-filter=";
        for (const std::string& e : mQuery.extensions) filter += "*." + e + " ";
        args.push_back(filter);
      }
    } else if (!(tool = X11FindInPath("kdialog")).empty()) {
      std::string filter;
      for (const std::string& e : mQuery.extensions) filter += "*." + e + " ";
      args = {tool, save ? "--getsavefilename" : "--getopenfilename", mStart};
      if (!filter.empty()) args.push_back(filter);
    }
    if (!args.empty()) {
      mProgram = std::make_unique<ChooserProgram>();
      if (!mProgram->Start(args)) {
        mProgram.reset();
        mAnswered = true;  // nothing chosen
      }
      return;
    }
    mBox = PathBox(mStart);
  }

  // Our own path field. Saving over a file asks first, as the portal's and
  // zenity's choosers do; "No" goes back to the path field.
  std::unique_ptr<BoxSession> PathBox(const std::string& path) {
    const bool save = mQuery.save;
    return std::make_unique<BoxSession>(mV, mG.DrawWidth(), mG.DrawHeight(), nullptr, save ? "Save as:" : "Open file:", 1,
                                        &path, [this, save](int answer, const std::string& field) {
                                          if (answer != 1) return;
                                          struct stat st;
                                          if (save && ::stat(field.c_str(), &st) == 0) mNextBox = ReplaceBox(field);
                                          else mFile = field;
                                        });
  }

  std::unique_ptr<BoxSession> ReplaceBox(const std::string& path) {
    // Built by appending: GCC 12 warns falsely (-Wrestrict) about "..." + std::string.
    std::string question("\"");
    question += path.substr(path.find_last_of('/') + 1);
    question += "\" already exists. Replace it?";
    return std::make_unique<BoxSession>(mV, mG.DrawWidth(), mG.DrawHeight(), "Replace file?", question.c_str(), 4, nullptr,
                                        [this, path](int answer, const std::string&) {
                                          if (answer == 1) mFile = path;
                                          else mNextBox = PathBox(path);
                                        });
  }

  IGraphicsX11& mG;
  X11View& mV;
  X11PortalQuery mQuery;
  std::string mStart;
  IGraphics::FileDone mDone;
  std::unique_ptr<X11PortalRequest> mPortal;
  std::unique_ptr<ChooserProgram> mProgram;
  std::unique_ptr<BoxSession> mBox;
  std::unique_ptr<BoxSession> mNextBox;
  std::string mFile;
  bool mAnswered = false;
};

}  // namespace

void IGraphicsX11::ShowMessageBoxAsync(const char* pText, const char* pCaption, int type, MessageBoxDone done) {
  X11ErrorTrap::Scope trap;
  if (!mView || mView->windowGone || mView->session) {
    if (done) done(X11MessageBoxButtons(type).back().result);
    return;
  }
  EndTextEntry(true);
  ReleaseMouseCapture();
  StartSession(std::make_unique<BoxSession>(*mView, DrawWidth(), DrawHeight(), pCaption, pText, type, nullptr,
                                            [done](int answer, const std::string&) {
                                              if (done) done(answer);
                                            }));
}

int IGraphicsX11::ShowMessageBox(const char* pText, const char* pCaption, int type) {
  X11ErrorTrap::Scope trap;
  int result = X11MessageBoxButtons(type).back().result;
  bool done = false;
  ShowMessageBoxAsync(pText, pCaption, type, [&](int answer) {
    result = answer;
    done = true;
  });
  WaitFor(done);
  return result;
}

void IGraphicsX11::PromptForFileAsync(const std::string& fileName, EFileAction action, const std::string& dir,
                                      const char* extensions, FileDone done) {
  X11ErrorTrap::Scope trap;
  if (!mView || mView->windowGone || mView->session) {
    if (done) done(std::string(), dir);
    return;
  }
  EndTextEntry(true);
  ReleaseMouseCapture();
  X11PortalQuery query;
  query.save = action == kFileSave;
  char parent[32];
  std::snprintf(parent, sizeof(parent), "x11:%lx", (unsigned long)mView->win);
  query.parentWindow = parent;
  query.folder = dir;
  if (query.folder.empty()) DesktopPath(&query.folder);
  query.proposedName = fileName;
  if (extensions) {
    const std::string all = extensions;
    size_t p = 0;
    while (p < all.size()) {
      const size_t sp = all.find(' ', p);
      std::string e = all.substr(p, sp == std::string::npos ? std::string::npos : sp - p);
      if (!e.empty()) query.extensions.push_back(e);
      if (sp == std::string::npos) break;
      p = sp + 1;
    }
  }
  std::string start = query.folder;
  if (!start.empty() && start.back() != '/') start += '/';
  start += fileName;
  auto session = std::make_unique<FileSession>(*this, *mView, std::move(query), std::move(start), std::move(done));
  // An answer already there (nothing to ask) still comes after this call returns, from the next idle round.
  StartSession(std::move(session));
}

void IGraphicsX11::PromptForFile(std::string* pFilename, EFileAction action, std::string* pDir, char* extensions) {
  X11ErrorTrap::Scope trap;
  if (!pFilename) return;
  std::string dirStore;
  std::string& dir = pDir ? *pDir : dirStore;
  if (!mView || mView->windowGone || mView->session) {
    pFilename->clear();
    return;
  }
  // The dialog starts on the desktop when no folder is given, which is then kept.
  if (dir.empty()) DesktopPath(&dir);
  const std::string proposed = *pFilename;
  pFilename->clear();
  bool done = false;
  PromptForFileAsync(proposed, action, dir, extensions, [&](const std::string& file, const std::string& folder) {
    *pFilename = file;
    if (!file.empty()) dir = folder;
    done = true;
  });
  WaitFor(done);
}
