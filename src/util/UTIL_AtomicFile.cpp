// Writing a file all or nothing: preset files, saved states, WAV and PNG all go through here.
#include "util/UTIL_AtomicFile.h"

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

std::atomic<int> sDisabled{0};

bool Disabled(int feature) { return (sDisabled.load(std::memory_order_relaxed) & feature) != 0; }

// ---- Named temporary files removed on every exit a process can catch ----
//
// A signal handler may only call async-signal-safe functions, so the names
// wait in fixed slots that the handler walks with unlink alone.

constexpr int kSlots = 16;
constexpr int kSlotFree = 0, kSlotClaimed = 1, kSlotReady = 2;
std::atomic<int> sSlotState[kSlots];
char sSlotPath[kSlots][PATH_MAX];

constexpr int kCaughtSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
struct sigaction sPrevious[NSIG];

void UnlinkRegistered() {
  for (int i = 0; i < kSlots; ++i)
    if (sSlotState[i].load() == kSlotReady) ::unlink(sSlotPath[i]);
}

// Runs before whatever handled the signal before us: a process that dies of
// it (default action) loses its temporary files first; one that handles the
// signal itself goes on and cleans up on its own way out.
void OnSignal(int sig, siginfo_t* info, void* context) {
  const struct sigaction& prev = sPrevious[sig];
  if (prev.sa_flags & SA_SIGINFO) {
    if (prev.sa_sigaction) prev.sa_sigaction(sig, info, context);
    return;
  }
  if (prev.sa_handler == SIG_IGN) return;
  if (prev.sa_handler == SIG_DFL) {
    UnlinkRegistered();
    ::sigaction(sig, &prev, nullptr);
    ::raise(sig);  // delivered with the default action once this handler returns
    return;
  }
  prev.sa_handler(sig);
}

void InstallCleanup() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (int sig : kCaughtSignals) {
      struct sigaction sa {};
      sa.sa_sigaction = OnSignal;
      sa.sa_flags = SA_SIGINFO | SA_RESTART;
      sigemptyset(&sa.sa_mask);
      ::sigaction(sig, &sa, &sPrevious[sig]);
    }
    std::atexit(UnlinkRegistered);
  });
}

// A slot for path, or -1 when all are taken (the file then goes unguarded).
int Register(const std::string& path) {
  if (path.size() >= PATH_MAX) return -1;
  for (int i = 0; i < kSlots; ++i) {
    int expected = kSlotFree;
    if (sSlotState[i].compare_exchange_strong(expected, kSlotClaimed)) {
      std::memcpy(sSlotPath[i], path.c_str(), path.size() + 1);
      sSlotState[i].store(kSlotReady);
      return i;
    }
  }
  return -1;
}

void Unregister(int* slot) {
  if (*slot >= 0) sSlotState[*slot].store(kSlotFree);
  *slot = -1;
}

// ---- Paths ----

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// Follows symbolic links at path until it names something else or nothing.
// The kernel's own links (/proc/self/fd/N behind /dev/stdout) are not
// followed: they may name a pipe, and what they stand for is written in place.
bool FollowLinks(const std::string& path, std::string* target, int* err) {
  std::string p = path;
  for (int hops = 0; hops < 40; ++hops) {
    if (StartsWith(p, "/proc/")) break;
    struct stat st;
    if (::lstat(p.c_str(), &st) != 0) {
      if (errno == ENOENT) break;
      *err = errno;
      return false;
    }
    if (!S_ISLNK(st.st_mode)) break;
    char buf[PATH_MAX];
    const ssize_t n = ::readlink(p.c_str(), buf, sizeof buf - 1);
    if (n < 0) {
      *err = errno;
      return false;
    }
    const std::string link(buf, static_cast<size_t>(n));
    p = link.front() == '/' ? link : FolderOf(p) + "/" + link;
    if (hops == 39) {
      *err = ELOOP;
      return false;
    }
  }
  *target = p;
  return true;
}

// A fresh name beside base: ".~", six random characters, "-" and as much of
// base as fits in the target's own length (at least 12), so a name the
// folder takes for the target it takes for the temporary file too.
std::string TemporaryName(const std::string& base) {
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  unsigned char random[6] = {};
  if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
    static std::atomic<unsigned> counter{0};
    const unsigned v = static_cast<unsigned>(::getpid()) * 2654435761u + counter.fetch_add(1) * 40503u;
    for (size_t i = 0; i < sizeof random; ++i) random[i] = static_cast<unsigned char>(v >> (i * 5));
  }
  std::string name = ".~";
  for (unsigned char r : random) name += kChars[r % (sizeof kChars - 1)];
  name += '-';
  name += base;
  const size_t limit = base.size() < 12 ? 12 : base.size();
  if (name.size() > limit) {
    name.resize(limit);
    // Never half a UTF-8 character: file systems that check names refuse one.
    size_t start = name.size();
    while (start > 0 && (static_cast<unsigned char>(name[start - 1]) & 0xC0) == 0x80) --start;
    if (start > 0 && static_cast<unsigned char>(name[start - 1]) >= 0xC0) {
      const unsigned char lead = static_cast<unsigned char>(name[start - 1]);
      const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
      if (name.size() - (start - 1) < length) name.resize(start - 1);
    }
  }
  return name;
}

bool WriteAll(int fd, const void* data, size_t size, int* err) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *err = n < 0 ? errno : EIO;
      return false;
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Copies everything of from (from its start) to the current position of to.
bool CopyAll(int from, int to, int* err) {
  if (::lseek(from, 0, SEEK_SET) != 0) {
    *err = errno;
    return false;
  }
  static constexpr size_t kPiece = 1 << 20;
  char* buf = new char[kPiece];
  bool ok = true;
  for (;;) {
    const ssize_t n = ::read(from, buf, kPiece);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *err = errno;
      ok = false;
      break;
    }
    if (n == 0) break;
    if (!WriteAll(to, buf, static_cast<size_t>(n), err)) {
      ok = false;
      break;
    }
  }
  delete[] buf;
  return ok;
}

bool LinksUnsupported(int err) { return err == EPERM || err == EOPNOTSUPP || err == EMLINK || err == ENOSYS || err == ENOENT; }

// An unnamed read-write file in folder (created and unlinked at once where
// unnamed files are missing): the spool of a target that cannot seek.
int UnnamedFile(const std::string& folder) {
  if (!Disabled(UTIL_AtomicFile::kNoUnnamedFiles)) {
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
  }
  std::string name = folder + "/.kt412-spool-XXXXXX";
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd >= 0) ::unlink(name.c_str());
  return fd;
}

}  // namespace

void UTIL_AtomicFile::DisableFeaturesForTesting(int features) { sDisabled.store(features); }

void UTIL_AtomicFile::RemoveTemporaryFilesOnSignals() { InstallCleanup(); }

UTIL_AtomicFile::~UTIL_AtomicFile() { Abort(); }

bool UTIL_AtomicFile::Fail(std::string* error, int err) {
  if (error) *error = "cannot write '" + mPath + "': " + std::strerror(err);
  return false;
}

bool UTIL_AtomicFile::Open(const std::string& path, std::string* error, EMode mode) {
  Abort();
  mPath = path;
  mMode = mode;
  mExisted = false;
  if (path.empty() || path.back() == '/') {
    if (error) *error = "no file name given";
    return false;
  }
  int err = 0;
  if (!FollowLinks(path, &mTarget, &err)) return Fail(error, err);
  mFolder = FolderOf(mTarget);

  struct stat st;
  const bool exists = ::stat(mTarget.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) return Fail(error, EISDIR);
  if (exists && (!S_ISREG(st.st_mode) || StartsWith(mTarget, "/proc/"))) {
    // Written in place; only a regular file reached through the kernel's
    // links (stdout redirected into a file) is emptied first.
    if (mode == kKeepExisting) {
      mExisted = true;
      return Fail(error, EEXIST);
    }
    const int fd = ::open(mTarget.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | (S_ISREG(st.st_mode) ? O_TRUNC : 0));
    if (fd < 0) return Fail(error, errno);
    if (::lseek(fd, 0, SEEK_CUR) >= 0) {
      mKind = kDirect;
      mFd = fd;
      return true;
    }
    const char* tmp = std::getenv("TMPDIR");
    const int spool = UnnamedFile(tmp && tmp[0] == '/' ? tmp : "/tmp");
    if (spool < 0) {
      err = errno;
      ::close(fd);
      return Fail(error, err);
    }
    mKind = kSpooled;
    mFd = spool;
    mDirectFd = fd;
    return true;
  }
  if (!OpenTemporary(error)) return false;
  // A replaced file keeps who may read it and whose it is.
  if (exists) {
    ::fchmod(mFd, st.st_mode & 07777);
    if (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) {
      if (::fchown(mFd, st.st_uid, st.st_gid) == 0) ::fchmod(mFd, st.st_mode & 07777);
    }
  }
  return true;
}

bool UTIL_AtomicFile::OpenTemporary(std::string* error) {
  if (!Disabled(kNoUnnamedFiles)) {
    // 0666 less the umask, as for any file the user makes.
    const int fd = ::open(mFolder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd >= 0) {
      mKind = kUnnamed;
      mFd = fd;
      return true;
    }
    // Missing folders and permissions are the answer; a file system without
    // unnamed files gets a named one.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return Fail(error, errno);
  }
  const std::string base = BaseOf(mTarget);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = mFolder + "/" + TemporaryName(base);
    // Named before it exists, so a signal between the two finds it.
    mSlot = Register(name);
    const int fd = ::open(name.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0666);
    if (fd >= 0) {
      mKind = kNamed;
      mFd = fd;
      mTempName = name;
      return true;
    }
    const int err = errno;
    Unregister(&mSlot);
    if (err != EEXIST) return Fail(error, err);
  }
  return Fail(error, EEXIST);
}

bool UTIL_AtomicFile::Write(const void* data, size_t size, std::string* error) {
  if (mFd < 0) {
    if (error) *error = "no file is open";
    return false;
  }
  int err = 0;
  if (!WriteAll(mFd, data, size, &err)) {
    Fail(error, err);
    Abort();
    return false;
  }
  return true;
}

bool UTIL_AtomicFile::Commit(std::string* error) {
  if (mFd < 0) {
    if (error) *error = "no file is open";
    return false;
  }
  bool ok = false;
  switch (mKind) {
    case kDirect: {
      const int fd = mFd;
      mFd = -1;
      mKind = kNone;
      const int r = ::close(fd);
      ok = r == 0 || Fail(error, errno);
      break;
    }
    case kSpooled: ok = CommitSpooled(error); break;
    case kUnnamed: ok = CommitUnnamed(error); break;
    case kNamed: ok = CommitNamed(error); break;
    case kNone: break;
  }
  Abort();
  return ok;
}

bool UTIL_AtomicFile::CommitSpooled(std::string* error) {
  int err = 0;
  if (!CopyAll(mFd, mDirectFd, &err)) return Fail(error, err);
  const int fd = mDirectFd;
  mDirectFd = -1;
  return ::close(fd) == 0 || Fail(error, errno);
}

bool UTIL_AtomicFile::CommitUnnamed(std::string* error) {
  // The data is on the disk before a name makes it the file of record.
  if (::fsync(mFd) != 0) return Fail(error, errno);
  int err = 0;
  if (mMode == kKeepExisting && !Disabled(kNoHardLinks)) {
    // A link onto the target's own name never replaces what is there.
    const std::string proc = "/proc/self/fd/" + std::to_string(mFd);
    if (::linkat(mFd, "", AT_FDCWD, mTarget.c_str(), AT_EMPTY_PATH) == 0 ||
        ::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, mTarget.c_str(), AT_SYMLINK_FOLLOW) == 0)
      return true;
    if (errno == EEXIST) {
      mExisted = true;
      return Fail(error, EEXIST);
    }
    if (!LinksUnsupported(errno)) return Fail(error, errno);
  }
  std::string name;
  if (!NameUnnamed(&name, &err)) return Fail(error, err);
  const bool ok = Publish(name, &err);
  ::unlink(name.c_str());  // gone after a rename; removes it after a failure
  Unregister(&mSlot);
  return ok || Fail(error, err);
}

bool UTIL_AtomicFile::NameUnnamed(std::string* name, int* err) {
  const std::string base = BaseOf(mTarget);
  const std::string proc = "/proc/self/fd/" + std::to_string(mFd);
  for (int attempt = 0; attempt < 100; ++attempt) {
    *name = mFolder + "/" + TemporaryName(base);
    mSlot = Register(*name);
    if (!Disabled(kNoHardLinks) &&
        (::linkat(mFd, "", AT_FDCWD, name->c_str(), AT_EMPTY_PATH) == 0 ||
         ::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, name->c_str(), AT_SYMLINK_FOLLOW) == 0))
      return true;
    *err = Disabled(kNoHardLinks) ? EPERM : errno;
    if (*err == EEXIST) {
      Unregister(&mSlot);
      continue;
    }
    if (!LinksUnsupported(*err)) {
      Unregister(&mSlot);
      return false;
    }
    // No way to name the unnamed file here: a copy under the name instead.
    struct stat st;
    const int fd = ::open(name->c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0) {
      *err = errno;
      Unregister(&mSlot);
      if (*err == EEXIST) continue;
      return false;
    }
    bool ok = ::fstat(mFd, &st) == 0 && ::fchmod(fd, st.st_mode & 07777) == 0;
    if (!ok) *err = errno;
    ok = ok && CopyAll(mFd, fd, err);
    if (ok && ::fsync(fd) != 0) {
      *err = errno;
      ok = false;
    }
    if (::close(fd) != 0 && ok) {
      *err = errno;
      ok = false;
    }
    if (ok) return true;
    ::unlink(name->c_str());
    Unregister(&mSlot);
    return false;
  }
  *err = EEXIST;
  return false;
}

bool UTIL_AtomicFile::CommitNamed(std::string* error) {
  int err = 0;
  if (::fsync(mFd) != 0) return Fail(error, errno);
  const int fd = mFd;
  mFd = -1;
  if (::close(fd) != 0) return Fail(error, errno);
  return Publish(mTempName, &err) || Fail(error, err);
}

bool UTIL_AtomicFile::Publish(const std::string& name, int* err) {
  if (mMode == kReplace) {
    if (::rename(name.c_str(), mTarget.c_str()) == 0) return true;
    *err = errno;
    return false;
  }
  // Keep what is there: a hard link refuses an existing name, and so does a
  // rename told not to replace (for file systems without hard links).
  if (!Disabled(kNoHardLinks) && ::link(name.c_str(), mTarget.c_str()) == 0) return true;
  *err = Disabled(kNoHardLinks) ? EPERM : errno;
  if (*err == EEXIST) {
    mExisted = true;
    return false;
  }
  if (!LinksUnsupported(*err)) return false;
  if (::renameat2(AT_FDCWD, name.c_str(), AT_FDCWD, mTarget.c_str(), RENAME_NOREPLACE) == 0) return true;
  *err = errno;
  if (*err == EEXIST) mExisted = true;
  return false;
}

void UTIL_AtomicFile::CloseAll() {
  if (mFd >= 0) ::close(mFd);
  if (mDirectFd >= 0) ::close(mDirectFd);
  mFd = mDirectFd = -1;
}

void UTIL_AtomicFile::Abort() {
  CloseAll();
  if (!mTempName.empty()) ::unlink(mTempName.c_str());
  mTempName.clear();
  Unregister(&mSlot);
  mKind = kNone;
}

bool UTIL_AtomicFile::WriteFile(const std::string& path, const void* data, size_t size, std::string* error,
                                EMode mode) {
  UTIL_AtomicFile file;
  return file.Open(path, error, mode) && file.Write(data, size, error) && file.Commit(error);
}
