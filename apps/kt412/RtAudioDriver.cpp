// The player through PulseAudio or ALSA (RtAudio) with MIDI from the ALSA sequencer (RtMidi).
#include "RtAudioDriver.h"

#include <fcntl.h>
#include <unistd.h>

#include "PlayerEngine.h"

namespace {
// The stream error callback carries no user pointer; one player runs per process.
std::atomic<RtAudioDriver*> gLiveDriver{nullptr};

// RtAudio, RtMidi and the libraries under them print their own diagnostics
// on stderr while probing; the player says what went wrong in one line of
// its own, so stderr is parked on /dev/null while they probe.
class QuietStderr {
public:
  QuietStderr() {
    mSaved = ::dup(2);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (mSaved >= 0 && null >= 0) ::dup2(null, 2);
    if (null >= 0) ::close(null);
  }
  ~QuietStderr() {
    if (mSaved < 0) return;
    ::dup2(mSaved, 2);
    ::close(mSaved);
  }

private:
  int mSaved = -1;
};

const char* BackendName(RtAudioDriver::Backend b) { return b == RtAudioDriver::Backend::kPulse ? "PulseAudio" : "ALSA"; }
}  // namespace

RtAudioDriver::RtAudioDriver() = default;

RtAudioDriver::~RtAudioDriver() { Close(); }

bool RtAudioDriver::Open(Backend backend, const std::string& name, std::string* error) {
  mBackend = backend;
  mName = name;
  QuietStderr quiet;
  try {
    mAudio = std::make_unique<RtAudio>(backend == Backend::kPulse ? RtAudio::LINUX_PULSE : RtAudio::LINUX_ALSA);
    mAudio->showWarnings(false);
    if (mAudio->getDeviceCount() == 0) {
      *error = backend == Backend::kPulse ? "no PulseAudio server answers" : "ALSA lists no sound device";
      mAudio.reset();
      return false;
    }
    RtAudio::StreamParameters out;
    out.deviceId = mAudio->getDefaultOutputDevice();
    out.nChannels = 2;
    RtAudio::StreamOptions options;
    options.flags = RTAUDIO_NONINTERLEAVED;
    options.streamName = name;
    mBufferFrames = kBufferFrames;
    mAudio->openStream(&out, nullptr, RTAUDIO_FLOAT32, kSampleRate, &mBufferFrames, &RtAudioDriver::OnAudio, this,
                       &options, &RtAudioDriver::OnStreamError);
    mSampleRate = (int)mAudio->getStreamSampleRate();
    if (mSampleRate <= 0) mSampleRate = kSampleRate;
  } catch (const RtAudioError& e) {
    *error = std::string(backend == Backend::kPulse ? "no PulseAudio server answers" : "ALSA did not open a device") +
             " (" + e.getMessage() + ")";
    // RtAudio's messages can span lines; the player reports in one.
    for (char& c : *error)
      if (c == '\n') c = ' ';
    mAudio.reset();
    return false;
  }
  std::string midiError;
  if (!AddInput(-1, &midiError)) mMidiNote = "no ALSA sequencer, so no MIDI input (" + midiError + "); the pad plays";
  return true;
}

bool RtAudioDriver::AddInput(int port, std::string* error) {
  const int index = mInputCount.load();
  if (index >= kMaxInputs) return false;
  auto input = std::make_unique<Input>();
  input->owner = this;
  try {
    input->in = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, mName);
    // Port -1 is our own port that sequencer clients connect to; any other
    // is a source we connect to ourselves.
    if (port < 0) input->in->openVirtualPort("midi_in");
    else input->in->openPort((unsigned)port, "midi_in");
    input->in->ignoreTypes(true, true, true);
    input->in->setCallback(&RtAudioDriver::OnMidi, input.get());
  } catch (const RtMidiError& e) {
    *error = e.getMessage();
    for (char& c : *error)
      if (c == '\n') c = ' ';
    return false;
  }
  mInputs[(size_t)index] = std::move(input);
  mInputCount.store(index + 1, std::memory_order_release);
  return true;
}

bool RtAudioDriver::Start(PlayerEngine* engine, std::atomic<bool>* stop, std::string* error) {
  mEngine = engine;
  mStop = stop;
  gLiveDriver.store(this);
  try {
    mAudio->startStream();
  } catch (const RtAudioError& e) {
    *error = std::string(BackendName(mBackend)) + " did not start the stream: " + e.getMessage();
    return false;
  }
  mRunning.store(true);
  return true;
}

void RtAudioDriver::ConnectAll() {
  // Playback goes to the server's default sink already; MIDI: every source
  // the sequencer lists, except our own port and the system's announce port.
  if (mInputCount.load() == 0) return;
  QuietStderr quiet;
  try {
    RtMidiIn probe(RtMidi::LINUX_ALSA, mName + "-probe");
    const unsigned n = probe.getPortCount();
    for (unsigned i = 0; i < n; ++i) {
      const std::string port = probe.getPortName(i);
      if (port.rfind(mName + ":", 0) == 0 || port.find("Midi Through") != std::string::npos) continue;
      std::string ignored;
      AddInput((int)i, &ignored);
    }
  } catch (const RtMidiError&) {
  }
}

void RtAudioDriver::Close() {
  if (mAudio) {
    QuietStderr quiet;
    try {
      if (mAudio->isStreamRunning()) mAudio->stopStream();
      if (mAudio->isStreamOpen()) mAudio->closeStream();
    } catch (const RtAudioError&) {
    }
    mAudio.reset();
  }
  mRunning.store(false);
  RtAudioDriver* self = this;
  gLiveDriver.compare_exchange_strong(self, nullptr);
  for (auto& input : mInputs) input.reset();
  mInputCount.store(0);
}

std::string RtAudioDriver::Describe() const {
  return std::string("through ") + BackendName(mBackend) + " (" + std::to_string(mSampleRate) + " Hz, " +
         std::to_string(mBufferFrames) + " frames)";
}

std::string RtAudioDriver::ServerLostReason() const {
  return std::string(BackendName(mBackend)) + " stopped the stream (the server went away)";
}

int RtAudioDriver::NotesReceived() const { return mEngine ? mEngine->NotesReceived() : 0; }

void RtAudioDriver::OnMidi(double, std::vector<unsigned char>* message, void* arg) {
  auto* input = static_cast<Input*>(arg);
  if (!message || message->empty() || message->size() > 3) return;
  const unsigned char status = (*message)[0];
  // Channel messages only; system messages are not the drum's.
  if (status < 0x80 || status >= 0xF0) return;
  const IMidiMsg msg(0, status, message->size() > 1 ? (*message)[1] : 0, message->size() > 2 ? (*message)[2] : 0);
  if (!input->queue.Push(msg)) input->owner->mMidiDropped.fetch_add(1, std::memory_order_relaxed);
}

void RtAudioDriver::OnStreamError(RtAudioError::Type type, const std::string&) {
  RtAudioDriver* self = gLiveDriver.load();
  // RtAudio reports a failed write to a server that has gone as a warning;
  // once the stream runs, nothing else reaches this callback.
  if (!self || !self->mRunning.load() || type == RtAudioError::DEBUG_WARNING) return;
  self->mServerLost.store(true);
  if (self->mStop) self->mStop->store(true);
}

int RtAudioDriver::OnAudio(void* output, void*, unsigned int nFrames, double, RtAudioStreamStatus, void* arg) {
  auto* self = static_cast<RtAudioDriver*>(arg);
  auto* left = static_cast<float*>(output);
  int n = 0;
  const int inputs = self->mInputCount.load(std::memory_order_acquire);
  for (int i = 0; i < inputs; ++i) {
    Input* input = self->mInputs[(size_t)i].get();
    IMidiMsg msg;
    while (n < kMaxCycleMidi && input->queue.Pop(&msg)) self->mCycleMidi[(size_t)n++] = msg;
  }
  self->mEngine->Render(left, left + nFrames, (int)nFrames, self->mCycleMidi.data(), n);
  return 0;
}
