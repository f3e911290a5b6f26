// Writing a file all or nothing: preset files, saved states, WAV and PNG all go through here.
#pragma once

#include <cstddef>
#include <string>

// Writes one file so that readers see either the earlier file or the whole
// new one, never a part, and an interrupted writer leaves nothing behind.
//
// What the path names decides how:
// - A regular file or nothing: the data goes into an unnamed file in the
//   target's folder (O_TMPFILE), which Commit links in under the target's
//   name, so a process killed in any way leaves no file. A file system
//   without unnamed files (vfat, exFAT) gets a named temporary file instead,
//   which Abort and destruction remove, and, in a program that asked for it
//   (RemoveTemporaryFilesOnSignals), every other exit a process can catch:
//   SIGINT, SIGTERM, SIGHUP, SIGQUIT and exit. A temporary name is never
//   longer than the target's (or 12 characters), so every name the folder
//   takes works.
// - A replaced file keeps its mode (0600 stays 0600) and, where we may, its
//   owner; a new one gets 0666 less the umask, as any file the user makes.
// - A symbolic link is followed: its target is written, the link stays.
// - A device, FIFO, socket or terminal (/dev/null, /dev/stdout, a pipe) is
//   written in place, never replaced. When it cannot seek, the data waits in
//   an unnamed spool file and goes out whole at Commit, so writers that
//   seek back (a WAV header) work there too and a failed write sends nothing.
//
// Lifecycle: Open, any number of Write (or writes through Fd), Commit or
// Abort; the destructor aborts. Large writes go straight to the kernel, with
// no copy or buffer in between. Not for two threads at once.
class UTIL_AtomicFile {
public:
  enum EMode {
    kReplace,      // an existing file at the path is replaced
    kKeepExisting  // an existing file wins: Commit then fails and TargetExisted() says so
  };

  UTIL_AtomicFile() = default;
  ~UTIL_AtomicFile();
  UTIL_AtomicFile(const UTIL_AtomicFile&) = delete;
  UTIL_AtomicFile& operator=(const UTIL_AtomicFile&) = delete;

  // False with "cannot write '<path>': <reason>" when the file cannot be made
  // (missing folder, no permission, a folder at the path, a link loop).
  bool Open(const std::string& path, std::string* error, EMode mode = kReplace);
  // The descriptor to write (read-write and seekable) until Commit or Abort; -1 otherwise.
  int Fd() const { return mFd; }
  // Writes all of data at the current position; false with a message (a full disk).
  bool Write(const void* data, size_t size, std::string* error);
  // Makes the written data the file at the path (flushed to the disk first).
  bool Commit(std::string* error);
  // Drops what was written; the path stays as it was.
  void Abort();

  bool IsOpen() const { return mFd >= 0; }
  // The target is written in place (a device, FIFO or terminal).
  bool IsDirect() const { return mDirectFd >= 0 || mKind == kDirect; }
  // After a failed kKeepExisting Commit: a file was already there (and is kept).
  bool TargetExisted() const { return mExisted; }
  // The file the data goes to once committed (the path with links followed).
  const std::string& Target() const { return mTarget; }

  // Open, Write, Commit in one.
  static bool WriteFile(const std::string& path, const void* data, size_t size, std::string* error,
                        EMode mode = kReplace);

  // Lets a program's caught signals (SIGINT, SIGTERM, SIGHUP, SIGQUIT) and
  // exit remove named temporary files before the program ends. Installed
  // once, before the handlers the program sets itself (which then decide);
  // a signal left at its default action still ends the program. Only a
  // program calls this: a plug-in's library must not take a host's signals.
  static void RemoveTemporaryFilesOnSignals();

  // Tests stand in for file systems without unnamed temporary files
  // (kNoUnnamedFiles) or without hard links (kNoHardLinks), such as vfat.
  enum EFeature { kNoUnnamedFiles = 1, kNoHardLinks = 2 };
  static void DisableFeaturesForTesting(int features);

private:
  enum EKind { kNone, kUnnamed, kNamed, kDirect, kSpooled };

  bool Fail(std::string* error, int err);
  bool OpenTemporary(std::string* error);
  bool CommitUnnamed(std::string* error);
  bool CommitNamed(std::string* error);
  bool CommitSpooled(std::string* error);
  // Gives the data a name beside the target (a copy when it cannot be linked).
  bool NameUnnamed(std::string* name, int* err);
  // Moves the named temporary file onto the target as the mode says.
  bool Publish(const std::string& name, int* err);
  void CloseAll();

  EKind mKind = kNone;
  EMode mMode = kReplace;
  int mFd = -1;        // what the caller writes
  int mDirectFd = -1;  // the device or pipe a spool goes to
  int mSlot = -1;      // cleanup slot of a named temporary file
  bool mExisted = false;
  std::string mPath;    // as given, for messages
  std::string mTarget;  // links followed
  std::string mFolder;
  std::string mTempName;  // full path of a named temporary file
};
