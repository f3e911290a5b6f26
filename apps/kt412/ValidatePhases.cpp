// The validator's phases 5 to 9: render, MIDI, state, listeners and
// notifications, the view.
#include <atomic>
#include <chrono>
#include <functional>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>

#include "ValidateSupport.h"

namespace validate {

namespace {

// Polls until done() holds or two seconds have passed (what the unit's idle
// worker hands the host arrives within a tick or two of 40 ms).
bool WaitFor(const std::function<bool()>& done) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

constexpr UInt32 kNoteOn = 0x90;
constexpr UInt32 kKickNote = 33;
constexpr UInt32 kParamDecay = 2;
constexpr UInt32 kParamLearn = 11;

// Renders with a deliberately broken request; true when it was refused
// with the render's code and nothing was written to the buffers.
bool RefusedRender(AUHostUnit& unit, UInt32 frames, UInt32 nBuffers, UInt32 byteSize, bool validTime, UInt32 bus,
                   bool nullList) {
  std::vector<float> l(8200, 7.0f), r(8200, 7.0f);
  struct {
    UInt32 n;
    AudioBuffer b[2];
  } list{nBuffers, {{1, byteSize, l.data()}, {1, byteSize, r.data()}}};
  AudioTimeStamp ts{};
  ts.mSampleTime = unit.SampleTime();
  ts.mFlags = validTime ? UInt32{kAudioTimeStampSampleTimeValid} : UInt32{0};
  AudioUnitRenderActionFlags flags = 0;
  const OSStatus st = AudioUnitRender(unit.Unit(), &flags, &ts, bus, frames,
                                      nullList ? nullptr : reinterpret_cast<AudioBufferList*>(&list));
  for (size_t i = 0; i < l.size(); ++i)
    if (l[i] != 7.0f || r[i] != 7.0f) return false;
  return st == kAudioUnitErr_InvalidPropertyValue;
}

}  // namespace

// ---- 5: render ----

PhaseResult PhaseRender(const Context& ctx) {
  PhaseResult res;
  Checker& c = res.check;
  long blocks = 0;
  int refused = 0;
  for (double rate : {44100.0, 96000.0}) {
    for (int block : {1, 64, 512, 1024, 4096}) {
      const std::string where = Str(block) + " frames at " + Str(rate) + " Hz";
      AUHostUnit hit(ctx.lib), ref(ctx.lib);
      if (!c.Check(hit.Prepare(rate, block) == noErr && ref.Prepare(rate, block) == noErr, where + ": prepare failed"))
        continue;
      // Silent until the first note.
      const int silentFrames = std::max(block, 256);
      std::vector<float> l, r;
      c.Check(RenderFrames(hit, silentFrames, block, &l, &r) && AllZero(l) && AllZero(r), where + ": not silent");
      c.Check(RenderFrames(ref, silentFrames, block, &l, &r), where + ": render refused");
      blocks += 2 * ((silentFrames + block - 1) / block);
      // A note at offset k of a block sounds exactly as one given at a block
      // boundary at the same frame: the reference renders k frames first.
      const UInt32 k = static_cast<UInt32>(block / 2);
      const int frames = std::max(4 * block, 4096);
      std::vector<float> hl, hr, rl, rr;
      MusicDeviceMIDIEvent(hit.Unit(), kNoteOn, kKickNote, 100, k);
      c.Check(RenderFrames(hit, frames, block, &hl, &hr), where + ": render refused");
      if (k > 0) c.Check(RenderFrames(ref, static_cast<int>(k), static_cast<int>(k), &rl, &rr), where + ": render refused");
      MusicDeviceMIDIEvent(ref.Unit(), kNoteOn, kKickNote, 100, 0);
      c.Check(RenderFrames(ref, frames - static_cast<int>(k), block, &rl, &rr), where + ": render refused");
      blocks += 2 * ((frames + block - 1) / block);
      if (!c.Check(hl.size() == static_cast<size_t>(frames) && rl.size() == hl.size(), where + ": short render")) continue;
      bool before = true, sounds = false;
      for (UInt32 i = 0; i < k; ++i) before = before && hl[i] == 0.0f;
      for (size_t i = k; i < hl.size(); ++i) sounds = sounds || hl[i] != 0.0f;
      c.Check(before, where + ": sound before the note's frame");
      c.Check(hl == rl && hr == rr, where + ": the hit did not start at frame " + Str(k));
      c.Check(sounds, where + ": the note made no sound");
      c.Check(AllFiniteInRange(hl) && AllFiniteInRange(hr), where + ": output not finite in -1..1");
      c.Check(std::equal(hl.begin(), hl.end(), hr.begin()), where + ": channels differ");
      // One frame above the maximum, and malformed requests, are refused untouched.
      c.Check(RefusedRender(hit, block + 1, 2, 4 * (block + 1), true, 0, false), where + ": frames+1 not refused");
      ++refused;
    }
  }
  AUHostUnit unit(ctx.lib);
  if (c.Check(unit.Prepare(44100.0, 512) == noErr, "prepare failed")) {
    c.Check(RefusedRender(unit, 512, 2, 2048, true, 0, true), "null buffer list not refused");
    c.Check(RefusedRender(unit, 512, 1, 2048, true, 0, false), "one buffer for two channels not refused");
    c.Check(RefusedRender(unit, 512, 0, 2048, true, 0, false), "no buffers not refused");
    c.Check(RefusedRender(unit, 512, 2, 2044, true, 0, false), "short buffers not refused");
    c.Check(RefusedRender(unit, 512, 2, 2048, false, 0, false), "invalid time stamp not refused");
    c.Check(RefusedRender(unit, 512, 2, 2048, true, 1, false), "bus 1 not refused");
    refused += 6;
    std::vector<float> l(512), r(512);
    c.Check(unit.Render(512, l.data(), r.data()) == noErr, "a good render after refused ones failed");
    ++blocks;
  }
  res.summary = Str(blocks) + " blocks rendered (block sizes 1..4096 at 44100 and 96000 Hz), " + Str(refused) +
                " bad render calls refused";
  return res;
}

// ---- 6: MIDI ----

PhaseResult PhaseMidi(const Context& ctx) {
  PhaseResult res;
  Checker& c = res.check;
  int messages = 0;
  auto render = [](AUHostUnit& u, int frames) {
    std::vector<float> l, r;
    RenderFrames(u, frames, 512, &l, &r);
    return l;
  };
  {
    // A note-off, or a note-on of velocity 0, never cuts the ringing hit.
    AUHostUnit a(ctx.lib), b(ctx.lib), quiet(ctx.lib);
    a.Prepare(44100.0, 512);
    b.Prepare(44100.0, 512);
    quiet.Prepare(44100.0, 512);
    MusicDeviceMIDIEvent(a.Unit(), kNoteOn, kKickNote, 100, 10);
    MusicDeviceMIDIEvent(b.Unit(), kNoteOn, kKickNote, 100, 10);
    MusicDeviceMIDIEvent(b.Unit(), 0x80, kKickNote, 0, 100);
    MusicDeviceMIDIEvent(b.Unit(), kNoteOn, kKickNote, 0, 200);
    MusicDeviceMIDIEvent(quiet.Unit(), kNoteOn, kKickNote, 0, 10);
    messages += 5;
    const std::vector<float> la = render(a, 4096);
    c.Check(!AllZero(la), "note-on made no sound");
    c.Check(render(b, 4096) == la, "note-off or velocity 0 changed the hit");
    c.Check(AllZero(render(quiet, 4096)), "velocity 0 started a hit");
  }
  {
    // Controllers: learn binds the controller to the last touched parameter.
    AUHostUnit u(ctx.lib);
    u.Prepare(44100.0, 512);
    c.Check(u.SetParam(kParamLearn, 1.0f) == noErr && u.SetParam(kParamDecay, 0.3f) == noErr, "learn refused");
    ClearComponentEvents(u.Unit());
    // A controller acts at its frame in the render; the host hears of the
    // move from the unit's idle worker, a tick or two later.
    MusicDeviceMIDIEvent(u.Unit(), 0xB0, 20, 64, 0);
    render(u, 512);
    c.Check(u.GetParam(kParamDecay) == static_cast<Float32>(64 / 127.0), "learning controller 20 did not move Decay");
    auto told = [&u] {
      for (int i = 0; i < ComponentEventCount(u.Unit()); ++i) {
        const AudioUnitEvent* e = ComponentEventAt(u.Unit(), i);
        if (e->mEventType == kAudioUnitEvent_ParameterValueChange && e->mArgument.mParameter.mParameterID == kParamDecay &&
            e->mArgument.mParameter.mAudioUnit == u.Unit())
          return true;
      }
      return false;
    };
    c.Check(WaitFor(told), "the host was not told of the learned move");
    c.Check(u.SetParam(kParamLearn, 0.0f) == noErr, "learn off refused");
    MusicDeviceMIDIEvent(u.Unit(), 0xB0, 20, 127, 0);
    render(u, 512);
    c.Check(u.GetParam(kParamDecay) == 1.0f, "controller 20 does not drive Decay after learning");
    MusicDeviceMIDIEvent(u.Unit(), 0xB0, 21, 0, 0);
    render(u, 512);
    c.Check(u.GetParam(kParamDecay) == 1.0f, "an unbound controller moved Decay");
    messages += 3;
    // System exclusive is taken and ignored; a missing buffer is refused.
    const UInt8 sysex[] = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
    c.Check(MusicDeviceSysEx(u.Unit(), sysex, sizeof sysex) == noErr, "sysex refused");
    c.Check(MusicDeviceSysEx(u.Unit(), nullptr, 4) == kAudioUnitErr_InvalidPropertyValue, "null sysex accepted");
    c.Check(u.GetParam(kParamDecay) == 1.0f, "sysex changed a parameter");
    messages += 2;
    render(u, 1024);
  }
  {
    // Start note plays the integer part of the pitch; stop note is taken.
    AUHostUnit a(ctx.lib), b(ctx.lib);
    a.Prepare(44100.0, 512);
    b.Prepare(44100.0, 512);
    MusicDeviceNoteParams note{2, 36.7f, 100.0f, {{0, 0.0f}}};
    NoteInstanceID id = 0;
    c.Check(MusicDeviceStartNote(a.Unit(), 0, 0, &id, 0, &note) == noErr && id == 36, "start note id is not 36");
    MusicDeviceMIDIEvent(b.Unit(), kNoteOn, 36, 100, 0);
    c.Check(render(a, 2048) == render(b, 2048), "start note does not play note 36");
    c.Check(MusicDeviceStopNote(a.Unit(), 0, id, 0) == noErr, "stop note refused");
    MusicDeviceNoteParams bad{2, NAN, 100.0f, {{0, 0.0f}}};
    c.Check(MusicDeviceStartNote(a.Unit(), 0, 0, &id, 0, &bad) == kAudioUnitErr_InvalidPropertyValue, "NaN pitch accepted");
    bad.mPitch = 300.0f;
    c.Check(MusicDeviceStartNote(a.Unit(), 0, 0, &id, 0, &bad) == kAudioUnitErr_InvalidPropertyValue, "pitch 300 accepted");
    c.Check(MusicDeviceStartNote(a.Unit(), 0, 0, &id, 0, nullptr) == kAudioUnitErr_InvalidPropertyValue, "null note accepted");
    messages += 6;
  }
  res.summary = Str(messages) + " MIDI requests (notes, controllers with learn, sysex, start/stop note)";
  return res;
}

// ---- 7: state ----

namespace {

CFTypeRef MakeNumber(SInt32 v) { return CFNumberCreate(nullptr, kCFNumberSInt32Type, &v); }

// A corrupted state of one of several kinds, from a good chunk.
CFTypeRef CorruptState(int kind, std::mt19937& rng, const std::vector<uint8_t>& good) {
  const ComponentDescription cd = KtComponentDescription();
  std::vector<uint8_t> data = good;
  ComponentDescription who = cd;
  switch (kind) {
    case 6: who.componentSubType = AUFourCC("Qip3"); break;
    case 7: who.componentType = AUFourCC("aufx"); break;
    case 8: who.componentManufacturer = AUFourCC("appl"); break;
    case 9: data.resize(std::uniform_int_distribution<size_t>(0, good.size() - 1)(rng)); break;
    case 10: data.resize(std::uniform_int_distribution<size_t>(good.size() + 1, good.size() * 3)(rng), 0); break;
    case 11: {
      const double bad[] = {NAN, INFINITY, -INFINITY};
      const size_t at = std::uniform_int_distribution<size_t>(0, good.size() / 8 - 1)(rng);
      std::memcpy(data.data() + 8 * at, &bad[rng() % 3], 8);
      break;
    }
    case 12: return CFStringCreateWithCString(nullptr, "not a dictionary", kCFStringEncodingUTF8);
    default: break;
  }
  CFMutableDictionaryRef dict = MakeStateDictionary(who, data);
  auto replace = [dict](const char* key, CFTypeRef value) {
    CFStringRef k = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    if (value) CFDictionarySetValue(dict, k, value);
    else CFDictionaryRemoveValue(dict, k);
    CFRelease(k);
    if (value) CFRelease(value);
  };
  static const char* const keys[] = {"version", "type", "subtype", "manufacturer", "name", "data"};
  if (kind >= 0 && kind <= 5) replace(keys[kind], nullptr);  // a key missing
  if (kind == 13) replace("name", MakeNumber(1));           // values of the wrong kind
  if (kind == 14) replace("data", CFStringCreateWithCString(nullptr, "data", kCFStringEncodingUTF8));
  if (kind == 15) replace("subtype", CFStringCreateWithCString(nullptr, "Qip2", kCFStringEncodingUTF8));
  return dict;
}

}  // namespace

PhaseResult PhaseState(const Context& ctx) {
  PhaseResult res;
  Checker& c = res.check;
  const int block = 512;
  AUHostUnit a(ctx.lib), b(ctx.lib);
  if (!c.Check(a.Prepare(44100.0, block) == noErr && b.Prepare(44100.0, block) == noErr, "prepare failed")) return res;
  const std::pair<UInt32, Float32> settings[] = {{0, -5.0f}, {1, 0.9f}, {2, 0.8f}, {5, 0.25f}, {8, 0.3f}, {10, 1.0f}};
  for (const auto& [id, v] : settings) a.SetParam(id, v);
  CFPropertyListRef saved = nullptr;
  if (!c.Check(a.SaveState(&saved) == noErr && saved, "class info not saved")) return res;
  c.Check(b.RestoreState(saved) == noErr, "saved class info not restored");
  CFRelease(saved);
  for (UInt32 id = 0; id < 17; ++id) c.Check(a.GetParam(id) == b.GetParam(id), "parameter " + Str(id) + " not restored");

  // Both render the same notes bit for bit.
  const int frames = static_cast<int>(ctx.opts.stateSeconds * 44100.0);
  std::vector<float> la(block), ra(block), lb(block), rb(block);
  bool same = true, ok = true;
  long blocks = 0;
  for (int start = 0; start < frames; start += block) {
    if ((start / block) % 43 == 0) {  // a hit about every half second, velocity varying
      const UInt32 vel = 40 + static_cast<UInt32>(start / block) % 87;
      MusicDeviceMIDIEvent(a.Unit(), kNoteOn, kKickNote, vel, 17);
      MusicDeviceMIDIEvent(b.Unit(), kNoteOn, kKickNote, vel, 17);
    }
    ok = ok && a.Render(block, la.data(), ra.data()) == noErr && b.Render(block, lb.data(), rb.data()) == noErr;
    same = same && la == lb && ra == rb;
    blocks += 2;
  }
  c.Check(ok, "render refused");
  c.Check(same, "restored instance does not render bit-identically");

  // Corrupted states are refused and change nothing.
  const std::vector<uint8_t> good = b.StateBytes();
  if (!c.Check(good.size() == 17 * 8, "state data is not 136 bytes")) return res;
  std::mt19937 rng(412);
  int refused = 0;
  for (int i = 0; i < ctx.opts.corruptStates; ++i) {
    CFTypeRef bad = CorruptState(i % 16, rng, good);
    const OSStatus st = b.RestoreState(bad);
    CFRelease(bad);
    if (c.Check(st != noErr, "corrupted state " + Str(i) + " (kind " + Str(i % 16) + ") accepted")) ++refused;
    c.Check(b.StateBytes() == good, "corrupted state " + Str(i) + " changed the instrument");
  }
  c.Check(b.RestoreState(nullptr) == kAudioUnitErr_InvalidPropertyValue, "null state accepted");
  res.summary = "saved state restored; " + Str(blocks) + " blocks (" + Str(ctx.opts.stateSeconds) +
                " s each) bit-identical; " + Str(refused) + " corrupted states refused with no change";
  return res;
}

// ---- 8: listeners and notifications ----

namespace {

struct ListenerLog {
  int calls = 0;
  AudioUnit unit = nullptr;
  AudioUnitPropertyID id = 0;
  AudioUnitScope scope = 99;
  AudioUnitElement element = 99;
  Float64 rate = 0.0;  // the sample rate as the listener read it back
};

void Listener(void* refCon, AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element) {
  auto* log = static_cast<ListenerLog*>(refCon);
  ++log->calls;
  log->unit = unit;
  log->id = id;
  log->scope = scope;
  log->element = element;
  UInt32 size = sizeof log->rate;
  AudioUnitGetProperty(unit, kAudioUnitProperty_SampleRate, 0, 0, &log->rate, &size);
}

struct NotifyLog {
  int pre = 0, post = 0, other = 0;
  bool alternating = true;
  AudioUnitRenderActionFlags last = kAudioUnitRenderAction_PostRender;
};

OSStatus Notify(void* refCon, AudioUnitRenderActionFlags* flags, const AudioTimeStamp*, UInt32, UInt32,
                AudioBufferList*) {
  auto* log = static_cast<NotifyLog*>(refCon);
  if (*flags == kAudioUnitRenderAction_PreRender) ++log->pre;
  else if (*flags == kAudioUnitRenderAction_PostRender) ++log->post;
  else ++log->other;
  log->alternating = log->alternating && *flags != log->last;
  log->last = *flags;
  return noErr;
}

}  // namespace

PhaseResult PhaseListeners(const Context& ctx) {
  PhaseResult res;
  Checker& c = res.check;
  AUHostUnit unit(ctx.lib);
  if (!c.Check(unit.Prepare(44100.0, 512) == noErr, "prepare failed")) return res;
  AudioUnit u = unit.Unit();
  ListenerLog rateLog, layoutLog;
  c.Check(AudioUnitAddPropertyListener(u, 2, Listener, &rateLog) == noErr, "listener refused");
  c.Check(AudioUnitAddPropertyListener(u, 2, Listener, &rateLog) == noErr, "second add refused");
  c.Check(AudioUnitAddPropertyListener(u, 19, Listener, &layoutLog) == noErr, "listener refused");
  // Listeners hear of a change once it is made, and never of a refused one
  // (the rate of an initialised unit, a rate out of range, a layout).
  double rate = 48000.0;
  c.Check(AudioUnitSetProperty(u, 2, 0, 0, &rate, sizeof rate) == kAudioUnitErr_Initialized, "rate set while initialized");
  c.Check(AudioUnitUninitialize(u) == noErr, "uninitialize refused");
  AudioUnitSetProperty(u, 2, 0, 0, &rate, sizeof rate);
  c.Check(rateLog.calls == 1, "sample rate listener called " + Str(rateLog.calls) + " times, not once");
  c.Check(rateLog.rate == 48000.0, "the listener read the rate " + Str(rateLog.rate) + ", not the new 48000");
  c.Check(rateLog.unit == u && rateLog.id == 2 && rateLog.scope == 0 && rateLog.element == 0, "listener arguments wrong");
  double tooLow = 1.0;
  c.Check(AudioUnitSetProperty(u, 2, 0, 0, &tooLow, sizeof tooLow) == kAudioUnitErr_InvalidPropertyValue && rateLog.calls == 1,
          "a refused rate was announced to the listener");
  UInt32 v = 0;
  c.Check(AudioUnitSetProperty(u, 19, 0, 0, &v, sizeof v) != noErr, "channel layout set accepted");
  c.Check(layoutLog.calls == 0, "a refused property's listener was called");
  c.Check(AudioUnitRemovePropertyListenerWithUserData(u, 2, Listener, &layoutLog) == noErr, "remove refused");
  AudioUnitSetProperty(u, 2, 0, 0, &rate, sizeof rate);
  c.Check(rateLog.calls == 2, "removing with other user data removed the listener");
  c.Check(AudioUnitRemovePropertyListener(u, 2, Listener) == noErr, "remove refused");
  AudioUnitSetProperty(u, 2, 0, 0, &rate, sizeof rate);
  c.Check(rateLog.calls == 2, "a removed listener was called");
  c.Check(AudioUnitInitialize(u) == noErr, "initialize refused");

  NotifyLog log;
  c.Check(AudioUnitAddRenderNotify(u, Notify, &log) == noErr, "render notify refused");
  std::vector<float> l(512), r(512);
  const int renders = 20;
  for (int i = 0; i < renders; ++i) unit.Render(512, l.data(), r.data());
  c.Check(log.pre == renders && log.post == renders && log.other == 0 && log.alternating,
          "render notifications " + Str(log.pre) + " pre / " + Str(log.post) + " post for " + Str(renders) + " renders");
  std::vector<float> big(600);
  c.Check(unit.Render(600, big.data(), big.data()) != noErr && log.pre == renders, "a refused render notified");
  c.Check(AudioUnitRemoveRenderNotify(u, Notify, &log) == noErr, "remove notify refused");
  unit.Render(512, l.data(), r.data());
  c.Check(log.pre == renders, "a removed notify was called");

  // Parameter events: none for the host's own changes; value changes for
  // learned controller moves, naming the unit, the parameter, global scope, element 0.
  ClearComponentEvents(u);
  unit.SetParam(kParamDecay, 0.5f);
  c.Check(ComponentEventCount(u) == 0, "the host was told of its own change");
  unit.SetParam(kParamLearn, 1.0f);
  unit.SetParam(kParamDecay, 0.5f);
  MusicDeviceMIDIEvent(u, 0xB0, 21, 100, 0);
  unit.Render(512, l.data(), r.data());
  unit.SetParam(kParamLearn, 0.0f);
  MusicDeviceMIDIEvent(u, 0xB0, 21, 10, 0);
  unit.Render(512, l.data(), r.data());
  // The host hears of controller moves from the unit's idle worker, which
  // reports the latest value of each moved parameter once per tick: the two
  // moves arrive as one or two events, the last carrying the last value.
  int changes = 0;
  auto countChanges = [&] {
    changes = 0;
    for (int i = 0; i < ComponentEventCount(u); ++i) {
      const AudioUnitEvent* e = ComponentEventAt(u, i);
      const bool ok = e->mEventType == kAudioUnitEvent_ParameterValueChange && e->mArgument.mParameter.mAudioUnit == u &&
                      e->mArgument.mParameter.mParameterID == kParamDecay && e->mArgument.mParameter.mScope == 0 &&
                      e->mArgument.mParameter.mElement == 0;
      if (ok) ++changes;
    }
    return changes >= 1 && unit.GetParam(kParamDecay) == static_cast<Float32>(10 / 127.0);
  };
  WaitFor(countChanges);
  c.Check(countChanges() && changes <= 2, Str(changes) + " value-change events for two controller moves");
  res.summary = "property listeners, " + Str(log.pre + log.post) + " render notifications, " + Str(changes) +
                " parameter events";
  return res;
}

// ---- 9: the view ----

PhaseResult PhaseView(const Context& ctx) {
  PhaseResult res;
  Checker& c = res.check;
  AUHostUnit unit(ctx.lib);
  if (!c.Check(unit.Prepare(44100.0, 256) == noErr, "prepare failed")) return res;
  AudioUnit u = unit.Unit();
  AudioUnitCocoaViewInfo info{};
  UInt32 io = sizeof info;
  const bool hasEditor = AudioUnitGetProperty(u, kAudioUnitProperty_CocoaUI, 0, 0, &info, &io) == noErr;
  if (hasEditor) {
    CFStringRef path = CFURLCopyFileSystemPath(info.mCocoaAUViewBundleLocation, kCFURLPOSIXPathStyle);
    std::error_code ec;
    const auto folder = std::filesystem::absolute(ctx.lib.Path(), ec).parent_path();
    const char* p = CFStringGetCStringPtr(path, kCFStringEncodingUTF8);
    c.Check(p && std::filesystem::equivalent(p, folder, ec), "Cocoa view bundle is not the plug-in's folder");
    const char* cls = CFStringGetCStringPtr(info.mCocoaAUViewClass[0], kCFStringEncodingUTF8);
    c.Check(cls && std::strcmp(cls, "QiKt412_View") == 0, "Cocoa view class is not QiKt412_View");
    CFRelease(path);
    CFRelease(info.mCocoaAUViewBundleLocation);
    CFRelease(info.mCocoaAUViewClass[0]);
  }
  ComponentDescription list{};
  io = sizeof list;
  const bool hasList = AudioUnitGetProperty(u, kAudioUnitProperty_GetUIComponentList, 0, 0, &list, &io) == noErr;
  c.Check(hasList == hasEditor, "UI component list and Cocoa view disagree");
  if (hasList) c.Check(list.componentType == kAudioUnitCarbonViewComponentType && list.componentSubType == AUFourCC("Qip2"),
                       "UI component list names another component");

  // A second thread renders through the dispatcher while the views come and go.
  std::atomic<bool> stop{false};
  std::atomic<long> rendered{0};
  std::atomic<int> renderErrors{0};
  std::thread audio([&] {
    std::vector<float> l(256), r(256);
    for (int i = 0; !stop.load(); ++i) {
      if (i % 50 == 0) MusicDeviceMIDIEvent(u, kNoteOn, kKickNote, 100, 0);
      if (unit.Render(256, l.data(), r.data()) != noErr) ++renderErrors;
      ++rendered;
    }
  });
  // Each view cycle waits for a render after the one before it, so that
  // renders really run beside the views however the threads are scheduled
  // (an optimised build finishes a cycle long before the thread's first render).
  auto renderedSince = [&](long seen) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (rendered.load() <= seen && renderErrors.load() == 0) {
      if (std::chrono::steady_clock::now() > until) return false;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return renderErrors.load() == 0;
  };
  const ComponentDescription viewDesc{kAudioUnitCarbonViewComponentType, AUFourCC("Qip2"), AUFourCC("-QI-"), 0, 0};
  int made = 0;
  long cyclesBeside = 0;
  for (int i = 0; i < ctx.opts.viewCycles; ++i) {
    if (!c.Check(renderedSince(rendered.load()), "the render thread stopped rendering beside the views"))
      break;
    ComponentInstance view = nullptr;
    if (!c.Check(OpenAComponent(ctx.lib.ViewEntry(), viewDesc, &view) == noErr, "view component did not open")) break;
    int window = 0, parent = 0;
    Float32Point where{0, 0}, size{592, 442};
    void* control = nullptr;
    const intptr_t args[] = {ComponentArg(u), ComponentArg(&window), ComponentArg(&parent), ComponentArg(&where),
                             ComponentArg(&size), ComponentArg(&control)};
    const ComponentResult st = CallComponent(view, kAudioUnitCarbonViewCreateSelect, args, 6);
    if (hasEditor) {
      // The control is the surface's; a windowless surface gives none.
      if (c.Check(st == noErr, "create view failed with " + Str(st))) ++made;
    } else {
      c.Check(st == badComponentSelector && !control, "create view without an editor gave " + Str(st));
    }
    c.Check(CloseComponent(view) == noErr, "view component did not close");
    ++cyclesBeside;
  }
  // And one more render after the last view has gone.
  c.Check(renderedSince(rendered.load()), "the render thread stopped rendering after the views");
  stop = true;
  audio.join();
  c.Check(renderErrors == 0 && cyclesBeside == ctx.opts.viewCycles,
          Str(renderErrors.load()) + " renders failed beside the views");
  res.summary = Str(ctx.opts.viewCycles) + " view open/create/close cycles beside " + Str(rendered.load()) +
                " renders; " + (hasEditor ? Str(made) + " editors created and closed"
                                          : std::string("no editor attached: view requests refused as specified"));
  return res;
}

}  // namespace validate
