// The LV2 binding: features, options, ports, events and the run call.
#include "lv2/IPluginLV2.h"
#include "util/RenderPath.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/midi/midi.h>
#include <lv2/parameters/parameters.h>
#include <lv2/units/units.h>

#include "lv2/describe/Lv2TtlWriter.h"
#include "util/ScopedFlushDenormals.h"

namespace {
// LV2 is a plug-in API of its own; the base's list knows none like it, and a
// stand-alone application is the nearest thing to "no host API of ours".
constexpr EAPI kLV2API = kAPISA;

// What an unconnected control port reads: never a value to take.
const float kUnconnectedPort = std::numeric_limits<float>::quiet_NaN();

uint32_t Bits(float f) { return std::bit_cast<uint32_t>(f); }
}  // namespace

IPluginLV2::IPluginLV2(int nParams, const char* channelIOStr, int nPresets, const char* effectName,
                       const char* productName, const char* mfrName, int vendorVersion, int uniqueID,
                       int mfrID, int latency, bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst)
    : IPluginBase(nParams, channelIOStr, nPresets, effectName, productName, mfrName, vendorVersion,
                  uniqueID, mfrID, latency, plugDoesMidi, plugDoesChunks, plugIsInst, kLV2API) {}

void IPluginLV2::GetTimeSig(int* pNum, int* pDenom) {
  // No transport is read from the host: a plain 4/4.
  if (pNum) *pNum = 4;
  if (pDenom) *pDenom = 4;
}

void IPluginLV2::GetTime(ITimeInfo* pTimeInfo) {
  if (!pTimeInfo) return;
  pTimeInfo->mTempo = GetTempo();
  pTimeInfo->mSamplePos = static_cast<double>(SamplePosition());
  const double samplesPerBeat = GetSamplesPerBeat();
  if (samplesPerBeat > 0.0) pTimeInfo->mPPQPos = pTimeInfo->mSamplePos / samplesPerBeat;
  GetTimeSig(&pTimeInfo->mNumerator, &pTimeInfo->mDenominator);
  pTimeInfo->mTransportIsRunning = true;
}

void IPluginLV2::ResizeGraphics(int /*w*/, int /*h*/) {
  // The DSP side's surface is never shown; the editor is a UI of its own.
  if (GetGUI()) OnWindowResize();
}

bool IPluginLV2::Lv2Instantiate(double rate, const LV2_Feature* const* features, const Lv2PlugHooks& hooks,
                                const char* pluginUri) {
  if (!(rate > 0.0) || !std::isfinite(rate)) return false;
  const LV2_URID_Map* map = nullptr;
  const LV2_Options_Option* options = nullptr;
  for (int i = 0; features && features[i]; ++i) {
    if (!std::strcmp(features[i]->URI, LV2_URID__map)) map = static_cast<const LV2_URID_Map*>(features[i]->data);
    if (!std::strcmp(features[i]->URI, LV2_OPTIONS__options))
      options = static_cast<const LV2_Options_Option*>(features[i]->data);
  }
  if (!map || !map->map || !hooks.changedOnAudioThread) return false;
  auto m = [map](const char* uri) { return map->map(map->handle, uri); };
  const std::string uri = pluginUri ? pluginUri : "";
  mUrids.atomChunk = m(LV2_ATOM__Chunk);
  mUrids.atomSequence = m(LV2_ATOM__Sequence);
  mUrids.atomObject = m(LV2_ATOM__Object);
  mUrids.atomBlank = m(LV2_ATOM__Blank);
  mUrids.atomInt = m(LV2_ATOM__Int);
  mUrids.atomFloat = m(LV2_ATOM__Float);
  mUrids.atomDouble = m(LV2_ATOM__Double);
  mUrids.atomBeats = m(LV2_ATOM__beatTime);
  mUrids.beatUnit = m(LV2_UNITS__beat);
  mUrids.midiEvent = m(LV2_MIDI__MidiEvent);
  mUrids.maxBlockLength = m(LV2_BUF_SIZE__maxBlockLength);
  mUrids.nominalBlockLength = m(LV2_BUF_SIZE__nominalBlockLength);
  mUrids.sampleRate = m(LV2_PARAMETERS__sampleRate);
  mUrids.paramsState = m(Lv2Uri(uri, Lv2Keys::kParamsState).c_str());
  mUrids.controllersState = m(Lv2Uri(uri, Lv2Keys::kControllersState).c_str());
  mUrids.editorParamMsg = m(Lv2Uri(uri, Lv2Keys::kEditorParamMsg).c_str());
  mUrids.paramIndex = m(Lv2Uri(uri, Lv2Keys::kParamIndex).c_str());
  mUrids.paramValue = m(Lv2Uri(uri, Lv2Keys::kParamValue).c_str());

  mHooks = hooks;
  mLayout = std::make_unique<Lv2PortLayout>(*this, hooks.roles);
  mPortData.assign(static_cast<size_t>(mLayout->NPorts()), nullptr);
  mNotify = nullptr;
  mInPortOfPort.assign(static_cast<size_t>(mLayout->NPorts()), -1);
  mInPorts.clear();
  mOutPorts.clear();
  mNumInPorts = 0;
  for (const Lv2Port& port : mLayout->Ports()) {
    if (port.kind == Lv2Port::kControlIn || port.kind == Lv2Port::kTriggerIn) {
      mInPortOfPort[static_cast<size_t>(port.index)] = static_cast<int>(mInPorts.size());
      mInPorts.push_back({&kUnconnectedPort, Bits(kUnconnectedPort), std::numeric_limits<float>::quiet_NaN(),
                          port.paramIdx, port.toggled});
    }
    if (port.kind == Lv2Port::kControlOut) mOutPorts.push_back({port.index, port.paramIdx});
  }
  mNumInPorts = mInPorts.size();
  mPublished.clear();
  mPublishedOfParam.assign(static_cast<size_t>(NParams()), -1);
  for (int i = 0; i < NParams(); ++i) {
    const Lv2PortRole role = mLayout->RoleOf(i);
    if (role == Lv2PortRole::kTrigger || role == Lv2PortRole::kOutput || GetParam(i)->GetIsMeta()) continue;
    mPublishedOfParam[static_cast<size_t>(i)] = static_cast<int>(mPublished.size());
    mPublished.push_back({GetParam(i), i, std::numeric_limits<double>::quiet_NaN()});
  }
  // The editor knows nothing yet.
  mSweepPending = true;
  mRepublish = false;
  lv2_atom_forge_init(&mForge, const_cast<LV2_URID_Map*>(map));

  SetSampleRate(rate);
  SetBlockSize(kDefaultBlockSize);
  for (int i = 0; options && options[i].key; ++i) TakeOption(options[i]);
  SetOutputChannelConnections(0, NOutChannels(), true);
  Reset();
  // As a wrapper initialises the plug-in: every parameter reaches the sound.
  OnParamReset();
  return true;
}

void IPluginLV2::TakeOption(const LV2_Options_Option& option) {
  if (!option.value) return;
  auto asNumber = [&](double* out) {
    if (option.type == mUrids.atomInt && option.size == sizeof(int32_t)) {
      *out = *static_cast<const int32_t*>(option.value);
    } else if (option.type == mUrids.atomFloat && option.size == sizeof(float)) {
      *out = *static_cast<const float*>(option.value);
    } else if (option.type == mUrids.atomDouble && option.size == sizeof(double)) {
      *out = *static_cast<const double*>(option.value);
    } else {
      return false;
    }
    return std::isfinite(*out);
  };
  double v = 0.0;
  if (option.key == mUrids.maxBlockLength && asNumber(&v)) {
    // Hosts may announce a huge maximum; runs are split anyway, so the
    // scratch memory stays bounded.
    const int size = static_cast<int>(std::clamp(v, 1.0, 8192.0));
    SetBlockSize(size);
  } else if (option.key == mUrids.sampleRate && asNumber(&v) && v > 0.0) {
    SetSampleRate(v);
  }
}

uint32_t IPluginLV2::Lv2GetOptions(LV2_Options_Option* options) {
  // Nothing of ours is for the host to read.
  return options ? LV2_OPTIONS_ERR_UNKNOWN : LV2_OPTIONS_ERR_BAD_KEY;
}

uint32_t IPluginLV2::Lv2SetOptions(const LV2_Options_Option* options) {
  if (!options) return LV2_OPTIONS_ERR_BAD_KEY;
  for (int i = 0; options[i].key; ++i) TakeOption(options[i]);
  Reset();
  return LV2_OPTIONS_SUCCESS;
}

void IPluginLV2::Lv2ConnectPort(uint32_t port, void* data) {
  if (port >= mPortData.size()) return;
  mPortData[port] = data;
  if (static_cast<int>(port) == mLayout->NotifyPort()) mNotify = static_cast<LV2_Atom_Sequence*>(data);
  const int in = mInPortOfPort[port];
  if (in >= 0) mInPorts[static_cast<size_t>(in)].data = data ? static_cast<const float*>(data) : &kUnconnectedPort;
}

void IPluginLV2::Lv2Activate() {
  mSamplePos.store(0, std::memory_order_relaxed);
  Reset();
  // The first run takes every port, as a new instance's first run does.
  for (InPort& port : mInPorts) port.seen = std::numeric_limits<float>::quiet_NaN();
  mCheckPorts = true;
  // Nothing of what was played before may sound on: a new instance's voice,
  // no waiting MIDI or pad hit.
  Silence();
}

void IPluginLV2::SetParamFromHost(int paramIdx, double value) {
  // The change reaches the voice here, outside the render: it is worked out
  // under the render's flush-to-zero mode, so it sounds as a change taken at
  // the start of a block does. Only a change pays for switching the mode.
  ScopedFlushDenormals flush;
  // The value is an atomic: a save beside the run reads it whole.
  GetParam(paramIdx)->Set(value);
  mHooks.changedOnAudioThread(this, paramIdx);
}

UTIL_RENDER_PATH bool IPluginLV2::PortsMayHaveMoved() const {
  // One pass of loads and bit compares, with no branch per port, four
  // ports a step.
  const InPort* p = mInPorts.data();
  const size_t n = mNumInPorts;
  uint32_t moved = 0;
  size_t i = 0;
  for (; i + 4 <= n; i += 4)
    moved |= (Bits(*p[i].data) ^ p[i].seenBits) | (Bits(*p[i + 1].data) ^ p[i + 1].seenBits) |
             (Bits(*p[i + 2].data) ^ p[i + 2].seenBits) | (Bits(*p[i + 3].data) ^ p[i + 3].seenBits);
  for (; i < n; ++i) moved |= Bits(*p[i].data) ^ p[i].seenBits;
  return moved != 0 || mCheckPorts || mAdoptPorts.load(std::memory_order_relaxed);
}

void IPluginLV2::ApplyControlPorts() {
  // A plain load first: the exchange's locked write is paid only after a restore.
  const bool adopt = mAdoptPorts.load(std::memory_order_acquire) && mAdoptPorts.exchange(false, std::memory_order_acq_rel);
  mCheckPorts = false;
  for (InPort& port : mInPorts) {
    const float v = *port.data;
    port.seenBits = Bits(v);
    // After a restore the ports as they stand are taken as seen, so the
    // restored values hold until the host moves a port.
    if (adopt) {
      if (port.data != &kUnconnectedPort) port.seen = v;
      continue;
    }
    // New bits need not be a new value (0 and -0, a NaN that is skipped).
    if (v == port.seen || !std::isfinite(v)) continue;
    port.seen = v;
    SetParamFromHost(port.paramIdx, port.toggled ? (v > 0.0f ? 1.0 : 0.0) : v);
    // The host shows the editor its port; the value as the parameter took it.
    const int published = mPublishedOfParam[static_cast<size_t>(port.paramIdx)];
    if (published >= 0) mPublished[static_cast<size_t>(published)].shown = GetParam(port.paramIdx)->Value();
  }
}

void IPluginLV2::RenderEvents(uint32_t nFrames) {
  // Frames of this run rendered so far. MIDI goes into the plug-in's queue
  // stamped relative to it; an editor message is applied at its own frame,
  // after the frames before it are rendered, so that it takes effect in
  // order with the MIDI around it.
  uint32_t done = 0;
  const auto* base = static_cast<const uint8_t*>(mPortData[Lv2PortLayout::kEventsIn]);
  if (!base) {
    Render(done, nFrames);
    return;
  }
  // The sequence is walked with copies of each header instead of the atom
  // macros: some hosts hand over buffers aligned to 4 bytes only, where an
  // event's 64-bit time stamp cannot be read in place.
  LV2_Atom_Sequence head;
  std::memcpy(&head, base, sizeof head);
  // Events stamped in beats cannot be placed at frames. Every other unit
  // counts frames, as a run call's events do by default (some hosts leave
  // the field unset).
  if (head.atom.type != mUrids.atomSequence || head.atom.size < sizeof(LV2_Atom_Sequence_Body) ||
      (head.body.unit != 0 && (head.body.unit == mUrids.beatUnit || head.body.unit == mUrids.atomBeats))) {
    Render(done, nFrames);
    return;
  }
  const int last = nFrames > 0 ? static_cast<int>(nFrames) - 1 : 0;
  const uint32_t end = static_cast<uint32_t>(sizeof(LV2_Atom)) + head.atom.size;
  for (uint32_t pos = sizeof(LV2_Atom_Sequence); pos + sizeof(LV2_Atom_Event) <= end;) {
    LV2_Atom_Event ev;
    std::memcpy(&ev, base + pos, sizeof ev);
    const uint8_t* body = base + pos + sizeof ev;
    if (ev.body.size > end - pos - sizeof ev) break;  // an event running past the sequence ends it
    if (ev.body.type == mUrids.midiEvent) {
      const uint32_t size = ev.body.size;
      // Channel messages only; a status byte is required in every LV2 MIDI event.
      if (size >= 1 && size <= 3 && body[0] >= 0x80 && body[0] < 0xF0) {
        // An event stamped outside the block, or before one already taken,
        // is played at the nearest frame it can have.
        const int frame = static_cast<int>(std::clamp<int64_t>(ev.time.frames, done, last));
        IMidiMsg msg(frame - static_cast<int>(done), body[0], size > 1 ? body[1] : 0, size > 2 ? body[2] : 0);
        ProcessMidiMsg(&msg);
        // A controller may move a parameter it was learned for.
        if ((body[0] & 0xF0) == 0xB0) mSweepPending = true;
      }
    } else if (ev.body.type == mUrids.atomObject || ev.body.type == mUrids.atomBlank) {
      const uint32_t frame = static_cast<uint32_t>(std::clamp<int64_t>(ev.time.frames, done, nFrames));
      Render(done, frame);
      done = frame;
      // The value goes back to the editor as the parameter took it.
      mSweepPending = true;
      ReadEditorMessage(body, ev.body.size);
    }
    pos += static_cast<uint32_t>(sizeof ev) + lv2_atom_pad_size(ev.body.size);
  }
  Render(done, nFrames);
}

void IPluginLV2::ReadEditorMessage(const uint8_t* body, uint32_t size) {
  // An object body: its id and type, then (key, context, value atom) properties.
  LV2_Atom_Object_Body obj;
  if (size < sizeof obj) return;
  std::memcpy(&obj, body, sizeof obj);
  if (obj.otype != mUrids.editorParamMsg) return;
  bool haveIndex = false, haveValue = false;
  int32_t paramIdx = -1;
  double v = 0.0;
  for (uint32_t pos = sizeof obj; pos + sizeof(LV2_Atom_Property_Body) <= size;) {
    LV2_Atom_Property_Body prop;
    std::memcpy(&prop, body + pos, sizeof prop);
    const uint8_t* value = body + pos + sizeof prop;
    if (prop.value.size > size - pos - sizeof prop) return;
    if (prop.key == mUrids.paramIndex && prop.value.type == mUrids.atomInt && prop.value.size == sizeof(int32_t)) {
      std::memcpy(&paramIdx, value, sizeof paramIdx);
      haveIndex = true;
    } else if (prop.key == mUrids.paramValue && prop.value.type == mUrids.atomDouble && prop.value.size == sizeof(double)) {
      std::memcpy(&v, value, sizeof v);
      haveValue = true;
    } else if (prop.key == mUrids.paramValue && prop.value.type == mUrids.atomFloat && prop.value.size == sizeof(float)) {
      float f;
      std::memcpy(&f, value, sizeof f);
      v = f;
      haveValue = true;
    }
    pos += static_cast<uint32_t>(sizeof prop) + lv2_atom_pad_size(prop.value.size);
  }
  if (haveIndex && paramIdx == Lv2Keys::kAllParamsIndex) {
    mRepublish = true;
    return;
  }
  // Parameters with a port belong to the host; the message reaches only
  // the others, and not those that load presets (the editor does that).
  if (!haveIndex || !haveValue || paramIdx < 0 || paramIdx >= NParams() || mLayout->PortOfParam(paramIdx) >= 0 ||
      GetParam(paramIdx)->GetIsMeta() || !std::isfinite(v))
    return;
  SetParamFromHost(paramIdx, v);
}

void IPluginLV2::Render(uint32_t from, uint32_t to) {
  float* left = static_cast<float*>(mPortData[Lv2PortLayout::kOutLeft]);
  float* right = static_cast<float*>(mPortData[Lv2PortLayout::kOutRight]);
  // With nowhere to write, the frames still pass: their notes are dropped and
  // learned controllers move, so nothing waits to fire late, all at once, when
  // the outputs come back (as for a bypassed block of the other bindings).
  if (!left || !right) {
    SkipBlock(static_cast<int>(to - from));
    return;
  }
  const int block = std::max(1, GetBlockSize());
  for (uint32_t done = from; done < to;) {
    const int n = static_cast<int>(std::min<uint32_t>(to - done, static_cast<uint32_t>(block)));
    float* outs[2] = {left + done, right + done};
    AttachOutputBuffers(0, 2, outs);
    ProcessBuffers(0.0f, n);
    done += static_cast<uint32_t>(n);
  }
}

UTIL_RENDER_PATH void IPluginLV2::Lv2Run(uint32_t nFrames) {
  if (!mLayout) return;
  // The usual run moves no port and changes nothing the editor must hear
  // of: it only compares the ports' bits and writes an empty notification.
  if (PortsMayHaveMoved()) ApplyControlPorts();
  // Most runs bring no event: a sequence too short to hold one, whatever
  // its type, is only rendered.
  const auto* events = static_cast<const LV2_Atom*>(mPortData[Lv2PortLayout::kEventsIn]);
  uint32_t eventBytes = 0;
  if (events) std::memcpy(&eventBytes, &events->size, sizeof eventBytes);
  float* left = static_cast<float*>(mPortData[Lv2PortLayout::kOutLeft]);
  float* right = static_cast<float*>(mPortData[Lv2PortLayout::kOutRight]);
  if (eventBytes >= sizeof(LV2_Atom_Sequence_Body) + sizeof(LV2_Atom_Event)) {
    RenderEvents(nFrames);
  } else if (left && right && nFrames > 0 && nFrames <= static_cast<uint32_t>(GetBlockSize())) {
    // The usual run: one block, straight into the host's buffers.
    float* outs[2] = {left, right};
    AttachOutputBuffers(0, 2, outs);
    ProcessBuffers(0.0f, static_cast<int>(nFrames));
  } else {
    Render(0, nFrames);
  }
  for (const OutPort& port : mOutPorts) {
    float* data = static_cast<float*>(mPortData[static_cast<size_t>(port.index)]);
    if (!data) continue;
    const double v = mHooks.outputValue ? mHooks.outputValue(this, port.paramIdx) : GetParam(port.paramIdx)->Value();
    *data = static_cast<float>(v);
  }
  if (mSweepPending || mRepublish || mChangedElsewhere.load(std::memory_order_relaxed)) {
    PublishParams();
  } else if (mNotify && mNotify->atom.size >= sizeof(LV2_Atom_Sequence_Body)) {
    // Nothing to tell: the empty sequence the forge would write, when it fits.
    mNotify->atom.type = mUrids.atomSequence;
    mNotify->atom.size = sizeof(LV2_Atom_Sequence_Body);
    mNotify->body.unit = 0;
    mNotify->body.pad = 0;
  }
  // Only this thread writes the position (activation never runs beside it).
  mSamplePos.store(mSamplePos.load(std::memory_order_relaxed) + nFrames, std::memory_order_relaxed);
}

void IPluginLV2::PublishParams() {
  // A plain load first: the exchange's locked write is paid only after a restore.
  if (mChangedElsewhere.load(std::memory_order_relaxed) && mChangedElsewhere.exchange(false, std::memory_order_acquire))
    mSweepPending = true;
  LV2_Atom_Sequence* seq = mNotify;
  if (!seq) return;  // what is pending waits for a run with the port
  // The host hands the port over with its room after the atom header as the atom's size.
  lv2_atom_forge_set_buffer(&mForge, reinterpret_cast<uint8_t*>(seq), sizeof(LV2_Atom) + seq->atom.size);
  LV2_Atom_Forge_Frame sequence;
  if (!lv2_atom_forge_sequence_head(&mForge, &sequence, 0)) return;
  if (mRepublish) {
    mRepublish = false;
    mSweepPending = true;
    for (Published& p : mPublished) p.shown = std::numeric_limits<double>::quiet_NaN();
  }
  if (mSweepPending) {
    // One message: event header, object body header, two properties of at most 8 bytes.
    constexpr uint32_t kMessageBytes =
        sizeof(LV2_Atom_Event) + sizeof(LV2_Atom_Object_Body) + 2 * (sizeof(LV2_Atom_Property_Body) + 8);
    mSweepPending = false;
    for (Published& p : mPublished) {
      const double v = p.param->Value();
      if (v == p.shown) continue;
      // What does not fit waits for the next run.
      if (mForge.size - mForge.offset < kMessageBytes) {
        mSweepPending = true;
        break;
      }
      lv2_atom_forge_frame_time(&mForge, 0);
      LV2_Atom_Forge_Frame object;
      lv2_atom_forge_object(&mForge, &object, 0, mUrids.editorParamMsg);
      lv2_atom_forge_key(&mForge, mUrids.paramIndex);
      lv2_atom_forge_int(&mForge, p.paramIdx);
      lv2_atom_forge_key(&mForge, mUrids.paramValue);
      lv2_atom_forge_double(&mForge, v);
      lv2_atom_forge_pop(&mForge, &object);
      p.shown = v;
    }
  }
  lv2_atom_forge_pop(&mForge, &sequence);
}
