// WAV writer: round trips through libsndfile and nothing left behind on errors.
#include "WavWriter.h"

#include <dirent.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// A fresh empty folder per test, removed with its files afterwards.
class WavWriterTest : public testing::Test {
protected:
  void SetUp() override {
    std::string tmpl = testing::TempDir() + "kt412_wav_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    mDir = tmpl;
  }
  void TearDown() override {
    for (const std::string& f : Files()) {
      const std::string p = mDir + "/" + f;
      if (rmdir(p.c_str()) != 0) std::remove(p.c_str());
    }
    rmdir(mDir.c_str());
  }
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    if (DIR* d = opendir(mDir.c_str())) {
      while (dirent* e = readdir(d)) {
        const std::string n = e->d_name;
        if (n != "." && n != "..") names.push_back(n);
      }
      closedir(d);
    }
    return names;
  }
  std::string mDir;
};

std::vector<float> Ramp(int frames, int channels) {
  std::vector<float> s(static_cast<size_t>(frames) * channels);
  for (int i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c)
      s[static_cast<size_t>(i) * channels + c] = std::sin(0.01f * i + c) * 0.9f;
  return s;
}

std::vector<float> ReadBack(const std::string& path, SF_INFO* info) {
  *info = SF_INFO{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, info);
  EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
  if (!f) return {};
  std::vector<float> s(static_cast<size_t>(info->frames) * info->channels);
  EXPECT_EQ(sf_readf_float(f, s.data(), info->frames), info->frames);
  sf_close(f);
  return s;
}

}  // namespace

TEST_F(WavWriterTest, FloatRoundTripIsExact) {
  const std::string path = mDir + "/out.wav";
  const std::vector<float> s = Ramp(1000, 2);
  std::string error;
  ASSERT_TRUE(WriteWavFile(path, 44100, 2, WavSampleFormat::kFloat32, s.data(), 1000, &error)) << error;
  SF_INFO info;
  const std::vector<float> back = ReadBack(path, &info);
  EXPECT_EQ(info.samplerate, 44100);
  EXPECT_EQ(info.channels, 2);
  EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  EXPECT_EQ(back, s);
  EXPECT_EQ(Files(), std::vector<std::string>{"out.wav"});  // no temporary left
}

TEST_F(WavWriterTest, PcmFormatsRoundTripWithinOneStep) {
  const std::vector<float> s = Ramp(500, 1);
  for (auto [fmt, sfFormat, step] : {std::tuple{WavSampleFormat::kPcm16, SF_FORMAT_PCM_16, 1.0 / 32768},
                                     std::tuple{WavSampleFormat::kPcm24, SF_FORMAT_PCM_24, 1.0 / 8388608}}) {
    const std::string path = mDir + "/pcm.wav";
    std::string error;
    ASSERT_TRUE(WriteWavFile(path, 48000, 1, fmt, s.data(), 500, &error)) << error;
    SF_INFO info;
    const std::vector<float> back = ReadBack(path, &info);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | sfFormat);
    EXPECT_EQ(info.samplerate, 48000);
    ASSERT_EQ(back.size(), s.size());
    for (size_t i = 0; i < s.size(); ++i) EXPECT_NEAR(back[i], s[i], step) << i;
  }
}

TEST_F(WavWriterTest, PcmClipsInsteadOfWrapping) {
  const float loud[] = {1.5f, -1.5f, 0.5f};
  const std::string path = mDir + "/loud.wav";
  std::string error;
  ASSERT_TRUE(WriteWavFile(path, 44100, 1, WavSampleFormat::kPcm16, loud, 3, &error)) << error;
  SF_INFO info;
  const std::vector<float> back = ReadBack(path, &info);
  ASSERT_EQ(back.size(), 3u);
  EXPECT_GT(back[0], 0.99f);
  EXPECT_LT(back[1], -0.99f);
  EXPECT_NEAR(back[2], 0.5f, 1e-4);
}

TEST_F(WavWriterTest, SeveralWritesAppend) {
  const std::vector<float> s = Ramp(300, 2);
  const std::string path = mDir + "/parts.wav";
  WavWriter w;
  std::string error;
  ASSERT_TRUE(w.Open(path, 22050, 2, WavSampleFormat::kFloat32, &error)) << error;
  ASSERT_TRUE(w.Write(s.data(), 100, &error));
  ASSERT_TRUE(w.Write(s.data() + 200, 200, &error));
  ASSERT_TRUE(w.Write(nullptr, 0, &error));
  ASSERT_TRUE(w.Commit(&error)) << error;
  SF_INFO info;
  EXPECT_EQ(ReadBack(path, &info), s);
}

TEST_F(WavWriterTest, NothingAppearsAtThePathBeforeCommit) {
  const std::string path = mDir + "/late.wav";
  WavWriter w;
  std::string error;
  ASSERT_TRUE(w.Open(path, 44100, 1, WavSampleFormat::kFloat32, &error)) << error;
  const float x[] = {0.25f};
  ASSERT_TRUE(w.Write(x, 1, &error));
  struct stat st;
  EXPECT_NE(stat(path.c_str(), &st), 0);
  // The samples wait in an unnamed file: nothing at all shows in the folder.
  EXPECT_TRUE(std::filesystem::is_empty(mDir));
  ASSERT_TRUE(w.Commit(&error)) << error;
  EXPECT_EQ(stat(path.c_str(), &st), 0);
}

TEST_F(WavWriterTest, AbortAndDestructionLeaveNothing) {
  {
    WavWriter w;
    std::string error;
    ASSERT_TRUE(w.Open(mDir + "/a.wav", 44100, 1, WavSampleFormat::kPcm16, &error));
    const float x[] = {0.1f, 0.2f};
    w.Write(x, 2, &error);
    w.Abort();
    EXPECT_FALSE(w.IsOpen());
  }
  {
    WavWriter w;
    std::string error;
    ASSERT_TRUE(w.Open(mDir + "/b.wav", 44100, 1, WavSampleFormat::kPcm24, &error));
  }  // destroyed without Commit
  EXPECT_TRUE(Files().empty());
}

TEST_F(WavWriterTest, FailedRenameLeavesTheFolderAsItWas) {
  // The path names an existing folder: the file cannot replace it.
  const std::string path = mDir + "/taken";
  ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
  const float x[] = {0.1f};
  std::string error;
  EXPECT_FALSE(WriteWavFile(path, 44100, 1, WavSampleFormat::kFloat32, x, 1, &error));
  EXPECT_NE(error.find("cannot write '" + path + "'"), std::string::npos) << error;
  EXPECT_EQ(Files(), std::vector<std::string>{"taken"});
}

TEST_F(WavWriterTest, ExistingFileSurvivesAFailedWrite) {
  const std::string path = mDir + "/keep.wav";
  const std::vector<float> s = Ramp(10, 1);
  std::string error;
  ASSERT_TRUE(WriteWavFile(path, 44100, 1, WavSampleFormat::kFloat32, s.data(), 10, &error));
  WavWriter w;
  ASSERT_TRUE(w.Open(path, 44100, 1, WavSampleFormat::kFloat32, &error));
  EXPECT_FALSE(w.Write(nullptr, 5, &error));  // a failing render
  EXPECT_EQ(error, "bad sample buffer");
  EXPECT_FALSE(w.IsOpen());
  SF_INFO info;
  EXPECT_EQ(ReadBack(path, &info), s);
  EXPECT_EQ(Files(), std::vector<std::string>{"keep.wav"});
}

TEST_F(WavWriterTest, UnwritableFolderGivesAClearError) {
  const std::string path = mDir + "/no/such/folder/out.wav";
  WavWriter w;
  std::string error;
  EXPECT_FALSE(w.Open(path, 44100, 2, WavSampleFormat::kFloat32, &error));
  EXPECT_EQ(error, "cannot write '" + path + "': No such file or directory");
  EXPECT_FALSE(w.IsOpen());
  EXPECT_FALSE(w.Commit(&error));
  EXPECT_EQ(error, "no WAV file is open");
}

TEST_F(WavWriterTest, BadArgumentsAreRefused) {
  WavWriter w;
  std::string error;
  EXPECT_FALSE(w.Open(mDir + "/x.wav", 0, 2, WavSampleFormat::kFloat32, &error));
  EXPECT_EQ(error, "sample rate 0 Hz is out of range");
  EXPECT_FALSE(w.Open(mDir + "/x.wav", 44100, 0, WavSampleFormat::kFloat32, &error));
  EXPECT_EQ(error, "0 channels are out of range");
  EXPECT_FALSE(w.Open(mDir + "/", 44100, 2, WavSampleFormat::kFloat32, &error));
  EXPECT_EQ(error, "no output file name given");
  EXPECT_FALSE(w.Open("", 44100, 2, WavSampleFormat::kFloat32, &error));
  EXPECT_TRUE(Files().empty());
}

TEST_F(WavWriterTest, TooLongForAWavFileIsRefusedBeforeWriting) {
  const std::string path = mDir + "/huge.wav";
  WavWriter w;
  std::string error;
  ASSERT_TRUE(w.Open(path, 44100, 2, WavSampleFormat::kFloat32, &error));
  const float x[2] = {0, 0};
  // The size check comes before any sample is read from the buffer.
  EXPECT_FALSE(w.Write(x, kMaxWavDataBytes / 8 + 1, &error));
  EXPECT_NE(error.find("4 GiB"), std::string::npos) << error;
  EXPECT_TRUE(Files().empty());
}

TEST(WavSampleFormatText, Names) {
  WavSampleFormat f = WavSampleFormat::kPcm16;
  EXPECT_TRUE(ParseWavSampleFormat("float", &f));
  EXPECT_EQ(f, WavSampleFormat::kFloat32);
  EXPECT_TRUE(ParseWavSampleFormat("24", &f));
  EXPECT_EQ(f, WavSampleFormat::kPcm24);
  EXPECT_TRUE(ParseWavSampleFormat("16", &f));
  EXPECT_EQ(f, WavSampleFormat::kPcm16);
  EXPECT_FALSE(ParseWavSampleFormat("8", &f));
  EXPECT_FALSE(ParseWavSampleFormat("", &f));
  EXPECT_EQ(f, WavSampleFormat::kPcm16);
}
