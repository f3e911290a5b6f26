// The four file writers (preset files, saved states, WAV, PNG) share what
// they do at an odd target: a link, a FIFO, a device, a long name, a private file.
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ParamOptions.h"
#include "RenderTestUtil.h"
#include "WavWriter.h"
#include "instrument/PresetFile.h"
#include "instrument/QiKt412.h"
#include "pix/PIX_Bitmap.h"
#include "pix/PIX_PNG.h"

using namespace rendertest;

namespace {

struct Writer {
  const char* name;
  std::function<bool(const std::string& path, std::string* error)> write;
};

std::vector<Writer> Writers() {
  return {
      {"preset", [](const std::string& p, std::string* e) { return WriteFileAtomically(p, "Pitch=0.500000\n", e); }},
      {"state",
       [](const std::string& p, std::string* e) {
         QiKt412 plug;
         return SaveStateFile(plug, p, e);
       }},
      {"wav",
       [](const std::string& p, std::string* e) {
         const float s[4] = {0.1f, -0.1f, 0.2f, -0.2f};
         return WriteWavFile(p, 48000, 2, WavSampleFormat::kFloat32, s, 2, e);
       }},
      {"png",
       [](const std::string& p, std::string* e) {
         PIX_MemBitmap bm(3, 2);
         return PIX_SavePNG(p.c_str(), &bm, e);
       }},
  };
}

int Entries(const ScratchDir& dir) {
  int n = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.Path())) n += e.path().filename() != "" ? 1 : 0;
  return n;
}

mode_t Mode(const std::string& path) {
  struct stat st {};
  ::lstat(path.c_str(), &st);
  return st.st_mode;
}

}  // namespace

TEST(AtomicWriters, ALinkIsWrittenThroughAndStaysALink) {
  for (const Writer& w : Writers()) {
    ScratchDir dir;
    WriteFile(dir / "real", "old");
    ASSERT_EQ(::symlink("real", (dir / "link").c_str()), 0);
    ASSERT_EQ(::symlink("absent", (dir / "dangling").c_str()), 0);
    std::string error;
    ASSERT_TRUE(w.write(dir / "link", &error)) << w.name << ": " << error;
    ASSERT_TRUE(w.write(dir / "dangling", &error)) << w.name << ": " << error;
    EXPECT_TRUE(S_ISLNK(Mode(dir / "link"))) << w.name;
    EXPECT_TRUE(S_ISLNK(Mode(dir / "dangling"))) << w.name;
    EXPECT_NE(ReadFile(dir / "real"), "old") << w.name;
    EXPECT_FALSE(ReadFile(dir / "absent").empty()) << w.name;
    EXPECT_EQ(Entries(dir), 4) << w.name;
  }
}

TEST(AtomicWriters, AReplacedFileKeepsItsModeAndANewOneFollowsTheUmask) {
  for (const Writer& w : Writers()) {
    ScratchDir dir;
    WriteFile(dir / "private", "old");
    ASSERT_EQ(::chmod((dir / "private").c_str(), 0600), 0);
    const mode_t old = ::umask(027);
    std::string error;
    const bool replaced = w.write(dir / "private", &error);
    const bool made = w.write(dir / "new", &error);
    ::umask(old);
    ASSERT_TRUE(replaced && made) << w.name << ": " << error;
    EXPECT_EQ(Mode(dir / "private") & 07777, 0600u) << w.name;
    EXPECT_EQ(Mode(dir / "new") & 07777, 0640u) << w.name;
  }
}

TEST(AtomicWriters, ANameOf249CharactersIsWritten) {
  for (const Writer& w : Writers()) {
    ScratchDir dir;
    const std::string name = std::string(245, 'k') + ".out";
    std::string error;
    EXPECT_TRUE(w.write(dir / name, &error)) << w.name << ": " << error;
    EXPECT_TRUE(Exists(dir / name)) << w.name;
    EXPECT_EQ(Entries(dir), 1) << w.name;
  }
}

// A FIFO and a null device stay what they are and get the bytes a regular file gets.
TEST(AtomicWriters, AFifoOrDeviceIsWrittenInPlace) {
  for (const Writer& w : Writers()) {
    ScratchDir dir;
    std::string error;
    ASSERT_TRUE(w.write(dir / "plain", &error)) << w.name << ": " << error;
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    std::string got;
    std::thread reader([&] { got = ReadFile(dir / "fifo"); });
    EXPECT_TRUE(w.write(dir / "fifo", &error)) << w.name << ": " << error;
    reader.join();
    EXPECT_TRUE(S_ISFIFO(Mode(dir / "fifo"))) << w.name;
    EXPECT_EQ(got.size(), ReadFile(dir / "plain").size()) << w.name;

    // Our own null device (1, 3) where we may make one: the system's is not ours to risk.
    if (::mknod((dir / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
      EXPECT_TRUE(w.write(dir / "null", &error)) << w.name << ": " << error;
      EXPECT_TRUE(S_ISCHR(Mode(dir / "null"))) << w.name;
    }
    EXPECT_LE(Entries(dir), 3) << w.name;
  }
}
