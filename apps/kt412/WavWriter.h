// WAV file writer for the render command: all or nothing at the output path.
#pragma once

#include <cstdint>
#include <string>

#include "util/UTIL_AtomicFile.h"

struct sf_private_tag;

// Sample formats of the written file.
enum class WavSampleFormat {
  kFloat32,  // 32-bit IEEE float (the default)
  kPcm16,    // 16-bit integer PCM
  kPcm24     // 24-bit integer PCM
};

// "float" (or "32f"), "16", "24" to a format; false for anything else.
bool ParseWavSampleFormat(const std::string& text, WavSampleFormat* format);

// Writes a WAV file through libsndfile into a UTIL_AtomicFile, which Commit
// makes the file at the path; until then the path is untouched (an existing
// file there stays as it was), and on any error, on Abort, when the writer is
// destroyed uncommitted or the process is interrupted, nothing is left
// behind. A device or pipe at the path (/dev/null, /dev/stdout) is written in
// place, a link through to its target.
//
// Integer formats clip samples outside -1..1 instead of wrapping them.
// Lifecycle: Open, any number of Write, then Commit (or Abort). Not for use by
// two threads at once.
class WavWriter {
public:
  WavWriter() = default;
  ~WavWriter();
  WavWriter(const WavWriter&) = delete;
  WavWriter& operator=(const WavWriter&) = delete;

  // channels 1..64, sampleRate 1..768000. Fails with a message such as
  // "cannot write 'dir/x.wav': Permission denied".
  bool Open(const std::string& path, int sampleRate, int channels, WavSampleFormat format,
            std::string* error);
  // frames frames of interleaved samples (channels per frame).
  bool Write(const float* interleaved, int64_t frames, std::string* error);
  // Finishes the file and renames it onto the path.
  bool Commit(std::string* error);
  // Drops the temporary file; the path stays untouched.
  void Abort();

  bool IsOpen() const { return mFile != nullptr; }

private:
  // libsndfile's handle (SNDFILE is a typedef of this tag).
  struct sf_private_tag* mFile = nullptr;
  UTIL_AtomicFile mOut;
  std::string mPath;
  int mChannels = 0;
  int64_t mBytesPerFrame = 0;
  int64_t mBytesWritten = 0;
};

// Sample bytes a WAV file may hold: its RIFF size field is 32 bits, and the
// header and chunks before the data take room from that.
constexpr int64_t kMaxWavDataBytes = 0xFFFFFFFFLL - 4096;

// Open, one Write of all frames, Commit; Abort on any failure.
bool WriteWavFile(const std::string& path, int sampleRate, int channels, WavSampleFormat format,
                  const float* interleaved, int64_t frames, std::string* error);
