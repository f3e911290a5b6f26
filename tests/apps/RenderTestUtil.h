// Helpers for the render command's tests: scratch folders, files, WAV
// reading and a small Standard MIDI File builder.
#pragma once

#include <sndfile.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace rendertest {

// A fresh folder, removed with everything in it at the end of the test.
class ScratchDir {
public:
  ScratchDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kt412-render-XXXXXX").string();
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    if (mkdtemp(name.data())) mPath = name.data();
  }
  ~ScratchDir() {
    std::error_code ec;
    if (!mPath.empty()) std::filesystem::remove_all(mPath, ec);
  }
  std::string operator/(const std::string& file) const { return mPath + "/" + file; }
  const std::string& Path() const { return mPath; }

private:
  std::string mPath;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline bool Exists(const std::string& path) { return std::filesystem::exists(path); }

// The left channel of a WAV file and its format; empty on failure.
struct Wav {
  int rate = 0;
  int channels = 0;
  int format = 0;
  std::vector<float> left, right;
};

inline Wav ReadWav(const std::string& path) {
  Wav w;
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (!f) return w;
  std::vector<float> all(static_cast<size_t>(info.frames * info.channels));
  sf_count_t got = sf_readf_float(f, all.data(), info.frames);
  sf_close(f);
  w.rate = info.samplerate;
  w.channels = info.channels;
  w.format = info.format;
  for (sf_count_t i = 0; i < got; ++i) {
    w.left.push_back(all[static_cast<size_t>(i * info.channels)]);
    if (info.channels > 1) w.right.push_back(all[static_cast<size_t>(i * info.channels + 1)]);
  }
  return w;
}

// A format 0 MIDI file at 480 ticks per quarter and the default tempo
// (500000 us per quarter, so 960 ticks per second).
class SmfBuilder {
public:
  // Adds a channel event delta ticks after the previous one.
  SmfBuilder& Event(uint32_t delta, unsigned char status, unsigned char d1, unsigned char d2) {
    Vlq(delta);
    mTrack.push_back(static_cast<char>(status));
    mTrack.push_back(static_cast<char>(d1));
    mTrack.push_back(static_cast<char>(d2));
    return *this;
  }
  std::string Bytes() const {
    std::string track = mTrack;
    track += std::string("\x00\xFF\x2F\x00", 4);  // end of track
    std::string f = "MThd";
    Be(f, 6, 4);
    Be(f, 0, 2);    // format 0
    Be(f, 1, 2);    // one track
    Be(f, 480, 2);  // ticks per quarter
    f += "MTrk";
    Be(f, static_cast<uint32_t>(track.size()), 4);
    return f + track;
  }

private:
  static void Be(std::string& s, uint32_t v, int n) {
    for (int i = n - 1; i >= 0; --i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  }
  void Vlq(uint32_t v) {
    std::string bytes(1, static_cast<char>(v & 0x7F));
    while (v >>= 7) bytes.insert(bytes.begin(), static_cast<char>(0x80 | (v & 0x7F)));
    mTrack += bytes;
  }
  std::string mTrack;
};

// What a run of a program printed and how it ended.
struct CliRun {
  int status = -1;
  std::string out, err;
};

// s in single quotes for the shell.
inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs program with args inside dir (so default outputs land there), after
// the shell words of prefix (e.g. "env X=1"), and collects what it printed.
inline CliRun RunInDir(const ScratchDir& dir, const std::string& prefix, const std::string& program,
                       const std::vector<std::string>& args) {
  // Built by appends: GCC 12 in Release warns falsely (-Wrestrict) about "literal" + string.
  std::string cmd = "cd ";
  cmd += Quote(dir.Path());
  cmd += " && ";
  cmd += prefix;
  cmd += " ";
  cmd += Quote(program);
  for (const std::string& a : args) {
    cmd += " ";
    cmd += Quote(a);
  }
  cmd += " >";
  cmd += Quote(dir / ".out");
  cmd += " 2>";
  cmd += Quote(dir / ".err");
  cmd += " </dev/null";
  CliRun r;
  const int raw = std::system(cmd.c_str());
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = ReadFile(dir / ".out");
  r.err = ReadFile(dir / ".err");
  std::remove((dir / ".out").c_str());
  std::remove((dir / ".err").c_str());
  return r;
}

}  // namespace rendertest
