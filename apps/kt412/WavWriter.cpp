// WAV writing through libsndfile into an all-or-nothing file.
#include "WavWriter.h"

#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

void SetError(std::string* error, const std::string& text) {
  if (error) *error = text;
}

}  // namespace

bool ParseWavSampleFormat(const std::string& text, WavSampleFormat* format) {
  WavSampleFormat f;
  if (text == "float" || text == "32f")
    f = WavSampleFormat::kFloat32;
  else if (text == "16")
    f = WavSampleFormat::kPcm16;
  else if (text == "24")
    f = WavSampleFormat::kPcm24;
  else
    return false;
  if (format) *format = f;
  return true;
}

WavWriter::~WavWriter() { Abort(); }

bool WavWriter::Open(const std::string& path, int sampleRate, int channels, WavSampleFormat format,
                     std::string* error) {
  Abort();
  if (path.empty() || path.back() == '/') {
    SetError(error, "no output file name given");
    return false;
  }
  if (sampleRate < 1 || sampleRate > 768000) {
    SetError(error, "sample rate " + std::to_string(sampleRate) + " Hz is out of range");
    return false;
  }
  if (channels < 1 || channels > 64) {
    SetError(error, std::to_string(channels) + " channels are out of range");
    return false;
  }

  if (!mOut.Open(path, error)) return false;

  SF_INFO info{};
  info.samplerate = sampleRate;
  info.channels = channels;
  info.format = SF_FORMAT_WAV | (format == WavSampleFormat::kPcm16   ? SF_FORMAT_PCM_16
                                 : format == WavSampleFormat::kPcm24 ? SF_FORMAT_PCM_24
                                                                     : SF_FORMAT_FLOAT);
  // The atomic file keeps the descriptor; libsndfile only writes through it.
  SNDFILE* sf = sf_open_fd(mOut.Fd(), SFM_WRITE, &info, SF_FALSE);
  if (!sf) {
    const std::string why = sf_strerror(nullptr);
    mOut.Abort();
    SetError(error, "cannot write '" + path + "': " + why);
    return false;
  }
  // Without clipping, libsndfile wraps out-of-range floats into the opposite
  // extreme of an integer format: a loud click instead of a flattened peak.
  if (format != WavSampleFormat::kFloat32) sf_command(sf, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  // The float format's PEAK chunk carries the time of writing; without it the
  // same render gives the same file, byte for byte.
  else sf_command(sf, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);

  mFile = sf;
  mPath = path;
  mChannels = channels;
  mBytesPerFrame = static_cast<int64_t>(channels) * (format == WavSampleFormat::kPcm16   ? 2
                                                     : format == WavSampleFormat::kPcm24 ? 3
                                                                                         : 4);
  mBytesWritten = 0;
  return true;
}

bool WavWriter::Write(const float* interleaved, int64_t frames, std::string* error) {
  if (!mFile) {
    SetError(error, "no WAV file is open");
    return false;
  }
  if (frames < 0 || (frames > 0 && !interleaved)) {
    SetError(error, "bad sample buffer");
    Abort();
    return false;
  }
  if (frames == 0) return true;
  // RIFF sizes are 32-bit: a longer file would get a wrapped, lying header.
  if (frames > (kMaxWavDataBytes - mBytesWritten) / mBytesPerFrame) {
    SetError(error, "cannot write '" + mPath + "': longer than a WAV file can hold (4 GiB)");
    Abort();
    return false;
  }
  mBytesWritten += frames * mBytesPerFrame;
  const sf_count_t written = sf_writef_float(mFile, interleaved, frames);
  if (written != frames) {
    SetError(error, "cannot write '" + mPath + "': " + sf_strerror(mFile));
    Abort();
    return false;
  }
  return true;
}

bool WavWriter::Commit(std::string* error) {
  if (!mFile) {
    SetError(error, "no WAV file is open");
    return false;
  }
  sf_write_sync(mFile);
  const int closeResult = sf_close(mFile);
  mFile = nullptr;
  if (closeResult != 0) {
    SetError(error, "cannot write '" + mPath + "': " + sf_error_number(closeResult));
    Abort();
    return false;
  }
  return mOut.Commit(error);
}

void WavWriter::Abort() {
  if (mFile) {
    sf_close(mFile);
    mFile = nullptr;
  }
  mOut.Abort();
}

bool WriteWavFile(const std::string& path, int sampleRate, int channels, WavSampleFormat format,
                  const float* interleaved, int64_t frames, std::string* error) {
  WavWriter w;
  return w.Open(path, sampleRate, channels, format, error) && w.Write(interleaved, frames, error) &&
         w.Commit(error);
}
