// The all-or-nothing writer's own ways: what a folder shows while it writes,
// file systems without unnamed files or hard links, caught signals, spools.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "util/UTIL_AtomicFile.h"

namespace {

class AtomicFileTest : public ::testing::Test {
protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kt412-atomic-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    mDir = tmpl;
  }
  void TearDown() override {
    UTIL_AtomicFile::DisableFeaturesForTesting(0);
    std::filesystem::remove_all(mDir);
  }
  std::string Path(const std::string& name) const { return mDir + "/" + name; }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(mDir)) names.push_back(e.path().filename().string());
    return names;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
  }
  std::string mDir;
};

// Every way a file system may lack what the writer prefers ends the same:
// the new file whole at the path, an existing one kept when asked, nothing else left.
TEST_F(AtomicFileTest, EveryFileSystemKindReplacesOrKeepsAndLeavesNothingElse) {
  const int kinds[] = {0, UTIL_AtomicFile::kNoHardLinks, UTIL_AtomicFile::kNoUnnamedFiles,
                       UTIL_AtomicFile::kNoUnnamedFiles | UTIL_AtomicFile::kNoHardLinks};
  for (int kind : kinds) {
    UTIL_AtomicFile::DisableFeaturesForTesting(kind);
    std::filesystem::remove_all(mDir);
    std::filesystem::create_directory(mDir);
    std::string error;
    ASSERT_TRUE(UTIL_AtomicFile::WriteFile(Path("a"), "old", 3, &error)) << kind << error;
    ASSERT_TRUE(UTIL_AtomicFile::WriteFile(Path("a"), "new", 3, &error)) << kind << error;
    EXPECT_EQ(Read(Path("a")), "new") << kind;

    UTIL_AtomicFile keep;
    ASSERT_TRUE(keep.Open(Path("a"), &error, UTIL_AtomicFile::kKeepExisting)) << kind;
    ASSERT_TRUE(keep.Write("other", 5, &error));
    EXPECT_FALSE(keep.Commit(&error)) << kind;
    EXPECT_TRUE(keep.TargetExisted()) << kind;
    EXPECT_EQ(Read(Path("a")), "new") << kind;
    EXPECT_TRUE(UTIL_AtomicFile::WriteFile(Path("b"), "fresh", 5, &error, UTIL_AtomicFile::kKeepExisting)) << kind << error;
    EXPECT_EQ(Read(Path("b")), "fresh") << kind;

    UTIL_AtomicFile dropped;
    ASSERT_TRUE(dropped.Open(Path("c"), &error));
    ASSERT_TRUE(dropped.Write("x", 1, &error));
    dropped.Abort();
    EXPECT_EQ(Names().size(), 2u) << kind;  // a and b only
  }
}

// Where unnamed files work, a write in progress shows nothing in the folder;
// where they do not, the named temporary file is no longer than the target's name.
TEST_F(AtomicFileTest, TemporaryFilesAreUnnamedOrNoLongerThanTheTarget) {
  const std::string longName(249, 'n');
  // 249 bytes of two-byte characters and one more: a cut must not split one.
  std::string accented = "x";
  for (int i = 0; i < 124; ++i) accented += "\xC3\xA9";
  const auto wholeUtf8 = [](const std::string& s) {
    for (size_t i = 0; i < s.size();) {
      const unsigned char c = static_cast<unsigned char>(s[i]);
      const size_t n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
      if (i + n > s.size()) return false;
      for (size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
      i += n;
    }
    return true;
  };
  for (int kind : {0, static_cast<int>(UTIL_AtomicFile::kNoUnnamedFiles)}) {
    UTIL_AtomicFile::DisableFeaturesForTesting(kind);
    for (const std::string& name : {longName, accented, std::string("s")}) {
      UTIL_AtomicFile file;
      std::string error;
      ASSERT_TRUE(file.Open(Path(name), &error)) << error;
      const std::vector<std::string> during = Names();
      if (kind == 0) {
        EXPECT_TRUE(during.empty());
      } else {
        ASSERT_EQ(during.size(), 1u);
        EXPECT_LE(during[0].size(), std::max<size_t>(name.size(), 12)) << during[0];
        EXPECT_EQ(during[0][0], '.');
        EXPECT_TRUE(wholeUtf8(during[0])) << during[0];
      }
      ASSERT_TRUE(file.Write("z", 1, &error));
      ASSERT_TRUE(file.Commit(&error)) << error;
      EXPECT_EQ(Names(), std::vector<std::string>{name});
      std::filesystem::remove(Path(name));
    }
  }
}

// A program that dies of a caught signal while a named temporary file is
// open takes the file with it.
TEST_F(AtomicFileTest, ANamedTemporaryFileGoesWithAProcessKilledBySignal) {
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      UTIL_AtomicFile::RemoveTemporaryFilesOnSignals();
      UTIL_AtomicFile::DisableFeaturesForTesting(UTIL_AtomicFile::kNoUnnamedFiles);
      UTIL_AtomicFile file;
      std::string error;
      if (!file.Open(Path("render.wav"), &error) || !file.Write("data", 4, &error)) _exit(3);
      (void)!write(ready[1], "r", 1);
      pause();
      _exit(4);
    }
    close(ready[1]);
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    close(ready[0]);
    EXPECT_EQ(Names().size(), 1u) << "the temporary file exists while the child writes";
    kill(child, sig);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << sig;
    EXPECT_TRUE(Names().empty()) << "signal " << sig;
  }
}

// A target that cannot seek (a FIFO) gets the data whole at Commit, after a
// seek back as a WAV header makes; one big write passes through unsplit.
TEST_F(AtomicFileTest, AFifoGetsLargeAndSeekedDataWholeAtCommit) {
  ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0600), 0);
  std::string got;
  std::thread reader([&] { got = Read(Path("fifo")); });
  std::string big(12 << 20, 'b');
  UTIL_AtomicFile file;
  std::string error;
  ASSERT_TRUE(file.Open(Path("fifo"), &error)) << error;
  EXPECT_TRUE(file.IsDirect());
  ASSERT_TRUE(file.Write("head", 4, &error));
  ASSERT_TRUE(file.Write(big.data(), big.size(), &error)) << error;
  ASSERT_EQ(lseek(file.Fd(), 0, SEEK_SET), 0);
  ASSERT_TRUE(file.Write("HEAD", 4, &error));
  ASSERT_TRUE(file.Commit(&error)) << error;
  reader.join();
  ASSERT_EQ(got.size(), big.size() + 4);
  EXPECT_EQ(got.substr(0, 4), "HEAD");
  EXPECT_EQ(got.find_first_not_of('b', 4), std::string::npos);
  struct stat st;
  ASSERT_EQ(lstat(Path("fifo").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(AtomicFileTest, FailuresSayWhyAndChangeNothing) {
  std::string error;
  EXPECT_FALSE(UTIL_AtomicFile::WriteFile(Path("no/such/x"), "x", 1, &error));
  EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
  EXPECT_FALSE(UTIL_AtomicFile::WriteFile(mDir, "x", 1, &error));
  EXPECT_NE(error.find("Is a directory"), std::string::npos) << error;
  ASSERT_EQ(symlink("loop", Path("loop").c_str()), 0);
  EXPECT_FALSE(UTIL_AtomicFile::WriteFile(Path("loop"), "x", 1, &error));
  EXPECT_NE(error.find("Too many levels of symbolic links"), std::string::npos) << error;
  EXPECT_FALSE(UTIL_AtomicFile::WriteFile(Path(""), "x", 1, &error));
  EXPECT_EQ(Names(), std::vector<std::string>{"loop"});
}

}  // namespace
