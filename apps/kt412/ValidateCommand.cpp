// The kt412 validate command: options, the phase runner and the first four
// phases (open and close, properties, parameters, formats).
#include "ValidateCommand.h"

#include <cstdlib>
#include <cstring>
#include <ostream>

#include "ValidateSupport.h"

namespace validate {

bool RenderFrames(AUHostUnit& unit, int frames, int block, std::vector<float>* left, std::vector<float>* right) {
  std::vector<float> l(static_cast<size_t>(block)), r(static_cast<size_t>(block));
  for (int done = 0; done < frames; done += block) {
    const int n = std::min(block, frames - done);
    if (unit.Render(static_cast<UInt32>(n), l.data(), r.data()) != noErr) return false;
    left->insert(left->end(), l.begin(), l.begin() + n);
    right->insert(right->end(), r.begin(), r.begin() + n);
  }
  return true;
}

bool AllFiniteInRange(const std::vector<float>& v) {
  for (float x : v)
    if (!std::isfinite(x) || x < -1.0f || x > 1.0f) return false;
  return true;
}

bool AllZero(const std::vector<float>& v) {
  for (float x : v)
    if (x != 0.0f) return false;
  return true;
}

// ---- 1: open and close ----

PhaseResult PhaseOpenClose(const Context& ctx) {
  PhaseResult res;
  Checker& c = res.check;
  for (int i = 0; i < ctx.opts.openCloseCount; ++i) {
    AUHostUnit unit(ctx.lib);
    if (!c.Check(unit.IsOpen(), "open " + Str(i + 1) + " failed with " + Str(unit.OpenStatus()))) break;
  }
  AUHostUnit unit(ctx.lib);
  if (!c.Check(unit.IsOpen(), "open failed")) return res;
  const SInt16 yes[] = {1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 14, 15, 16, 17};
  for (SInt16 s : yes) c.Check(CallComponentCanDo(unit.Unit(), s) == 1, "can-do " + Str(s) + " is not 1");
  const SInt16 no[] = {8, 12, 13, 18, 0x101, 0x102, 0x105, 0x106, -1, 100};
  for (SInt16 s : no) c.Check(CallComponentCanDo(unit.Unit(), s) == 0, "can-do " + Str(s) + " is not 0");
  c.Check(CallComponentVersion(unit.Unit()) == 0x10000, "version is not 0x10000");
  c.Check(CallComponent(unit.Unit(), 8, nullptr, 0) == badComponentSelector, "selector 8 not refused");
  c.Check(CallComponent(unit.Unit(), 0x7000, nullptr, 0) == badComponentSelector, "unknown selector not refused");
  // A request carrying fewer arguments than its selector needs is refused unread.
  c.Check(CallComponent(unit.Unit(), kAudioUnitGetPropertySelect, nullptr, 0) == paramErr,
          "get property without arguments not refused");
  res.summary = Str(ctx.opts.openCloseCount) + " open/close cycles";
  return res;
}

// ---- 2: properties ----

namespace {

struct Expect {
  OSStatus info;
  UInt32 size;
  bool writable;
  OSStatus get;  // with a zeroed buffer of the size
};

constexpr OSStatus kIP = kAudioUnitErr_InvalidProperty;

Expect Expected(UInt32 id, AudioUnitScope scope, bool hasEditor) {
  const bool g = scope == kAudioUnitScope_Global;
  const Expect refused{kIP, 0, false, kIP};
  auto ok = [](UInt32 size, bool w = false) { return Expect{noErr, size, w, noErr}; };
  switch (id) {
    case 0: return ok(8, true);
    case 1: return (g || scope == kAudioUnitScope_Input) ? ok(16, true) : refused;
    case 2: return ok(8, true);
    case 3: return ok(g ? 17 * 4 : 0);
    case 4: return g ? ok(104) : refused;
    case 5: return {kAudioUnitErr_InvalidElement, 0, false, kAudioUnitErr_InvalidElement};
    case 8: return scope == kAudioUnitScope_Output ? ok(40, true) : refused;
    case 11: return ok(4);
    case 12: return g ? ok(8) : refused;
    case 13: return g ? ok(8) : refused;
    case 14: return g ? ok(4, true) : refused;
    case 18: return hasEditor ? ok(20) : refused;
    case 19: return {kAudioUnitErr_InvalidPropertyValue, 0, false, kAudioUnitErr_InvalidPropertyValue};
    case 20: return g ? ok(8) : refused;
    case 21: return g ? ok(4, true) : refused;
    case 22: return g ? ok(4) : refused;
    case 24: return ok(8);
    case 27: return g ? ok(32, true) : refused;
    case 28:
    case 36: return ok(16, true);
    case 30:
      if (scope == kAudioUnitScope_Output) return {kIP, 8, false, noErr};
      if (scope == kAudioUnitScope_Input) return {kAudioUnitErr_InvalidElement, 0, false, kAudioUnitErr_InvalidElement};
      return {kAudioUnitErr_InvalidScope, 0, false, kAudioUnitErr_InvalidScope};
    case 31: return hasEditor ? ok(16) : refused;
    case 33: return g ? ok(24) : refused;
    case 34: return g ? ok(16) : refused;
    case 35: return g ? Expect{noErr, 16, false, kAudioUnitErr_PropertyNotInUse} : refused;
    case 38: return g ? Expect{noErr, 24, false, kAudioUnitErr_InvalidPropertyValue} : refused;
    case 1000: return g ? ok(4) : refused;
    default: return refused;
  }
}

// Releases what a successful get handed over.
void ReleaseOutput(UInt32 id, unsigned char* data) {
  auto ref = [data](size_t offset) {
    CFTypeRef v;
    std::memcpy(&v, data + offset, sizeof v);
    if (v) CFRelease(v);
  };
  switch (id) {
    case 0:
    case 16:
    case 24:
    case 30: ref(0); break;
    case 4: ref(56), ref(72); break;
    case 28:
    case 36: ref(8); break;
    case 31: ref(0), ref(8); break;
    case 33: ref(16); break;
    case 34: ref(8); break;
    default: break;
  }
}

}  // namespace

PhaseResult PhaseProperties(const Context& ctx) {
  PhaseResult res;
  Checker& c = res.check;
  AUHostUnit unit(ctx.lib);
  if (!c.Check(unit.IsOpen(), "open failed")) return res;
  AudioUnit u = unit.Unit();
  // Whether an editor is attached decides the two view properties; both must agree.
  UInt32 size = 0;
  Boolean w = false;
  const bool hasEditor = AudioUnitGetPropertyInfo(u, 31, 0, 0, &size, &w) == noErr;

  std::vector<UInt32> ids;
  for (UInt32 id = 0; id <= 50; ++id) ids.push_back(id);
  ids.push_back(1000);
  ids.push_back(4242);
  const AudioUnitScope scopes[] = {kAudioUnitScope_Global, kAudioUnitScope_Input, kAudioUnitScope_Output, 4};
  int tried = 0;
  for (UInt32 id : ids) {
    for (AudioUnitScope scope : scopes) {
      ++tried;
      const std::string where = "property " + Str(id) + " scope " + Str(scope);
      const Expect e = Expected(id, scope, hasEditor);
      size = 0xDEAD;
      w = 7;
      const OSStatus info = AudioUnitGetPropertyInfo(u, id, scope, 0, &size, &w);
      c.Check(info == e.info, where + ": info gave " + Str(info) + ", expected " + Str(e.info));
      if (info == noErr) {
        c.Check(size == e.size, where + ": size " + Str(size) + ", expected " + Str(e.size));
        c.Check((w != 0) == e.writable, where + ": writability wrong");
      }
      // Get with a buffer of exactly the size, inside guard bytes.
      unsigned char buf[256];
      std::memset(buf, 0, sizeof buf);
      UInt32 io = e.size;
      const OSStatus get = AudioUnitGetProperty(u, id, scope, 0, buf + 16, &io);
      c.Check(get == e.get, where + ": get gave " + Str(get) + ", expected " + Str(e.get));
      if (get == noErr) {
        c.Check(io == e.size, where + ": get reported size " + Str(io));
        ReleaseOutput(id, buf + 16);
      }
      for (int k = 0; k < 16; ++k) c.Check(buf[k] == 0, where + ": get wrote before the buffer");
      for (size_t k = 16 + e.size; k < sizeof buf; ++k) c.Check(buf[k] == 0, where + ": get wrote past the buffer");
      // One byte too few is refused without a write; so is a missing buffer.
      if (e.get == noErr && e.size > 0) {
        std::memset(buf, 0xAB, sizeof buf);
        io = e.size - 1;
        const OSStatus small = AudioUnitGetProperty(u, id, scope, 0, buf, &io);
        c.Check(small == kAudioUnitErr_InvalidPropertyValue, where + ": short buffer gave " + Str(small));
        bool untouched = true;
        for (unsigned char b : buf) untouched = untouched && b == 0xAB;
        c.Check(untouched, where + ": short buffer was written");
        io = e.size;
        c.Check(AudioUnitGetProperty(u, id, scope, 0, nullptr, &io) != noErr, where + ": null buffer accepted");
      }
    }
  }
  // Fast dispatch answers its three procedures.
  for (UInt32 el : {6u, 7u, 14u}) {
    void* proc = nullptr;
    UInt32 io = sizeof proc;
    c.Check(AudioUnitGetProperty(u, 5, 0, el, &proc, &io) == noErr && proc, "fast dispatch element " + Str(el));
  }
  // Sets: refused ids refused; too little data refused with nothing changed.
  for (UInt32 id : {3u, 4u, 11u, 12u, 13u, 19u, 22u, 24u, 1000u, 4242u}) {
    UInt32 v[16] = {};
    c.Check(AudioUnitSetProperty(u, id, 0, 0, v, sizeof v) == kIP, "set of property " + Str(id) + " not refused");
  }
  double rate = 48000.0;
  c.Check(AudioUnitSetProperty(u, 2, 0, 0, &rate, 4) == kAudioUnitErr_InvalidPropertyValue, "short sample rate accepted");
  c.Check(AudioUnitSetProperty(u, 2, 0, 0, nullptr, 8) == kAudioUnitErr_InvalidPropertyValue, "null sample rate accepted");
  UInt32 frames = 256;
  c.Check(AudioUnitSetProperty(u, 14, 0, 0, &frames, 2) == kAudioUnitErr_InvalidPropertyValue, "short slice size accepted");
  c.Check(AudioUnitSetProperty(u, 0, 0, 0, nullptr, 8) == kAudioUnitErr_InvalidPropertyValue, "null class info accepted");
  Float64 nowRate = 0;
  UInt32 io = sizeof nowRate;
  AudioUnitGetProperty(u, 2, 0, 0, &nowRate, &io);
  c.Check(nowRate == 44100.0, "a refused set changed the sample rate");
  res.summary = Str(tried) + " properties tried (" + Str(ids.size()) + " ids x 4 scopes), " + Str(c.Checks()) +
                " checks, editor " + (hasEditor ? "attached" : "not attached");
  return res;
}

// ---- 3: parameters ----

PhaseResult PhaseParameters(const Context& ctx) {
  PhaseResult res;
  Checker& c = res.check;
  AUHostUnit unit(ctx.lib);
  if (!c.Check(unit.IsOpen(), "open failed")) return res;
  AudioUnit u = unit.Unit();
  UInt32 ids[64] = {};
  UInt32 io = sizeof ids;
  c.Check(AudioUnitGetProperty(u, 3, 0, 0, ids, &io) == noErr && io == 17 * 4, "parameter list is not 17 ids");
  const int n = static_cast<int>(io / 4);
  int roundTrips = 0;
  for (int i = 0; i < n; ++i) {
    c.Check(ids[i] == static_cast<UInt32>(i), "parameter list is not 0..16 in order");
    AudioUnitParameterInfo info{};
    io = sizeof info;
    const std::string where = "parameter " + Str(i);
    if (!c.Check(AudioUnitGetProperty(u, 4, 0, ids[i], &info, &io) == noErr, where + ": no info")) continue;
    c.Check(info.name[0] != '\0' && std::memchr(info.name, 0, sizeof info.name), where + ": bad name");
    c.Check(info.cfNameString && std::strcmp(CFStringGetCStringPtr(info.cfNameString, kCFStringEncodingUTF8), info.name) == 0,
            where + ": names differ");
    c.Check((info.flags & kAudioUnitParameterFlag_IsReadable) != 0, where + ": not readable");
    c.Check(info.minValue <= info.defaultValue && info.defaultValue <= info.maxValue, where + ": default outside bounds");
    c.Check(info.unit == kAudioUnitParameterUnit_Generic || info.unit == kAudioUnitParameterUnit_Boolean ||
                info.unit == kAudioUnitParameterUnit_Indexed || info.unit == kAudioUnitParameterUnit_CustomUnit,
            where + ": unknown unit");
    c.Check(((info.flags & kAudioUnitParameterFlag_IsElementMeta) != 0) == (i == 15 || i == 16),
            where + ": meta flag wrong");
    if (info.cfNameString) CFRelease(info.cfNameString);
    if (info.unitName) CFRelease(info.unitName);
    for (Float32 v : {info.minValue, info.maxValue, info.defaultValue}) {
      // The trigger pad plays and the preset buttons step when set to 1; set
      // them back at once so the round trips leave the instrument quiet.
      c.Check(unit.SetParam(ids[i], v) == noErr, where + ": set refused");
      c.Check(unit.GetParam(ids[i]) == v, where + ": " + Str(v) + " did not read back");
      ++roundTrips;
    }
  }
  if (n > 0) {
    AudioUnitParameterInfo pitch{};
    io = sizeof pitch;
    AudioUnitGetProperty(u, 4, 0, 0, &pitch, &io);
    c.Check(std::strcmp(pitch.name, "Pitch") == 0 && pitch.minValue == -12.0f && pitch.maxValue == 12.0f,
            "parameter 0 is not Pitch -12..12");
    if (pitch.cfNameString) CFRelease(pitch.cfNameString);
  }
  // Ids at or above the count, through every path that takes one.
  for (UInt32 bad : {17u, 18u, 1000u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    const std::string where = "id " + Str(bad);
    Float32 v = 0.0f;
    c.Check(AudioUnitGetParameter(u, bad, 0, 0, &v) == kAudioUnitErr_InvalidParameter, where + ": get accepted");
    c.Check(AudioUnitSetParameter(u, bad, 0, 0, 0.5f, 0) == kAudioUnitErr_InvalidParameter, where + ": set accepted");
    AudioUnitParameterEvent e{};
    e.parameter = bad;
    e.eventType = kParameterEvent_Immediate;
    c.Check(AudioUnitScheduleParameters(u, &e, 1) == kAudioUnitErr_InvalidParameter, where + ": schedule accepted");
    unsigned char buf[128] = {};
    io = sizeof buf;
    c.Check(AudioUnitGetProperty(u, 4, 0, bad, buf, &io) == kAudioUnitErr_InvalidParameter, where + ": info accepted");
    io = sizeof buf;
    c.Check(AudioUnitGetProperty(u, 16, 0, bad, buf, &io) == kAudioUnitErr_InvalidParameter, where + ": strings accepted");
    AudioUnitParameterStringFromValue sfv{bad, &v, nullptr};
    io = sizeof sfv;
    c.Check(AudioUnitGetProperty(u, 33, 0, 0, &sfv, &io) == kAudioUnitErr_InvalidParameter && !sfv.outString,
            where + ": string from value accepted");
    AudioUnitParameterNameInfo ni{bad, -1, nullptr};
    io = sizeof ni;
    c.Check(AudioUnitGetProperty(u, 34, 0, 0, &ni, &io) == kAudioUnitErr_InvalidParameter && !ni.outName,
            where + ": id name accepted");
    AudioUnitParameterValueFromString vfs{bad, nullptr, 0.0f};
    io = sizeof vfs;
    c.Check(AudioUnitGetProperty(u, 38, 0, 0, &vfs, &io) == kAudioUnitErr_InvalidParameter, where + ": value from string accepted");
  }
  Float32 v = 0.0f;
  c.Check(AudioUnitGetParameter(u, 0, kAudioUnitScope_Output, 0, &v) == kAudioUnitErr_InvalidProperty, "output scope get accepted");
  c.Check(AudioUnitSetParameter(u, 0, 0, 0, NAN, 0) != noErr, "NaN parameter value accepted");
  c.Check(AudioUnitGetParameter(u, 0, 0, 0, nullptr) != noErr, "get into null accepted");
  res.summary = Str(n) + " parameters, " + Str(roundTrips) + " set/get round trips";
  return res;
}

// ---- 4: formats ----

PhaseResult PhaseFormats(const Context& ctx) {
  PhaseResult res;
  Checker& c = res.check;
  int accepted = 0, refused = 0;
  AUHostUnit unit(ctx.lib);
  if (!c.Check(unit.IsOpen(), "open failed")) return res;
  AudioUnit u = unit.Unit();
  auto readRate = [u]() {
    Float64 r = 0.0;
    UInt32 io = sizeof r;
    AudioUnitGetProperty(u, 2, 0, 0, &r, &io);
    return r;
  };
  for (double rate : {22050.0, 44100.0, 48000.0, 88200.0, 96000.0, 192000.0, 8000.0, 384000.0}) {
    c.Check(AudioUnitSetProperty(u, 2, 0, 0, &rate, 8) == noErr && readRate() == rate, "rate " + Str(rate) + " refused");
    ++accepted;
  }
  for (double rate : {0.0, -44100.0, 7999.0, 384001.0, 1e300, double(NAN), double(INFINITY)}) {
    c.Check(AudioUnitSetProperty(u, 2, 0, 0, &rate, 8) == kAudioUnitErr_InvalidPropertyValue && readRate() == 384000.0,
            "rate " + Str(rate) + " accepted");
    ++refused;
  }
  auto format = [](UInt32 channels, double rate) {
    AudioStreamBasicDescription f{};
    f.mSampleRate = rate;
    f.mFormatID = kAudioFormatLinearPCM;
    f.mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked | kAudioFormatFlagIsNonInterleaved;
    f.mBytesPerPacket = f.mBytesPerFrame = 4;
    f.mFramesPerPacket = 1;
    f.mBitsPerChannel = 32;
    f.mChannelsPerFrame = channels;
    return f;
  };
  auto channels = [u]() {
    AudioStreamBasicDescription f{};
    UInt32 io = sizeof f;
    AudioUnitGetProperty(u, 8, kAudioUnitScope_Output, 0, &f, &io);
    return f.mChannelsPerFrame;
  };
  c.Check(channels() == 2, "canonical format is not 2 channels before negotiation");
  for (UInt32 ch : {1u, 2u}) {
    auto f = format(ch, 48000.0);
    c.Check(AudioUnitSetProperty(u, 8, kAudioUnitScope_Output, 0, &f, sizeof f) == noErr && channels() == ch,
            Str(ch) + " channels refused");
    ++accepted;
  }
  for (UInt32 ch : {0u, 3u, 64u}) {
    auto f = format(ch, 48000.0);
    c.Check(AudioUnitSetProperty(u, 8, kAudioUnitScope_Output, 0, &f, sizeof f) == kAudioUnitErr_InvalidPropertyValue &&
                channels() == 2,
            Str(ch) + " channels accepted");
    ++refused;
  }
  auto bad = format(2, 48000.0);
  bad.mFormatID = AUFourCC("aac ");
  c.Check(AudioUnitSetProperty(u, 8, kAudioUnitScope_Output, 0, &bad, sizeof bad) != noErr, "non-PCM format accepted");
  bad = format(2, 1.0);
  c.Check(AudioUnitSetProperty(u, 8, kAudioUnitScope_Output, 0, &bad, sizeof bad) != noErr, "format at 1 Hz accepted");
  auto input = format(2, 48000.0);
  c.Check(AudioUnitSetProperty(u, 8, kAudioUnitScope_Input, 0, &input, sizeof input) == kIP, "input format accepted");
  refused += 3;
  c.Check(AudioUnitSetProperty(u, 8, kAudioUnitScope_Output, 0, &input, 39) == kAudioUnitErr_InvalidPropertyValue,
          "short format accepted");
  for (UInt32 frames : {1u, 64u, 8192u}) {
    c.Check(AudioUnitSetProperty(u, 14, 0, 0, &frames, 4) == noErr, "slice size " + Str(frames) + " refused");
    ++accepted;
  }
  for (UInt32 frames : {0u, 8193u, 0xFFFFFFFFu}) {
    c.Check(AudioUnitSetProperty(u, 14, 0, 0, &frames, 4) == kAudioUnitErr_InvalidPropertyValue, "slice size " + Str(frames) + " accepted");
    ++refused;
  }
  UInt32 now = 0, io = 4;
  AudioUnitGetProperty(u, 14, 0, 0, &now, &io);
  c.Check(now == 8192, "a refused slice size changed it");
  // Initialised, the unit takes no change to what sizes its buffers, and
  // renders only between Initialize and Uninitialize.
  std::vector<float> l(64), r(64);
  c.Check(unit.Render(64, l.data(), r.data()) == kAudioUnitErr_Uninitialized, "render before initialize not refused");
  c.Check(AudioUnitInitialize(u) == noErr, "initialize refused");
  c.Check(unit.Render(64, l.data(), r.data()) == noErr, "render after initialize refused");
  const double rateNow = readRate(), otherRate = rateNow == 96000.0 ? 44100.0 : 96000.0;
  const UInt32 otherSlice = 512;
  const auto otherFormat = format(1, 0.0);
  c.Check(AudioUnitSetProperty(u, 2, 0, 0, &otherRate, 8) == kAudioUnitErr_Initialized && readRate() == rateNow,
          "rate change while initialized not refused");
  c.Check(AudioUnitSetProperty(u, 14, 0, 0, &otherSlice, 4) == kAudioUnitErr_Initialized,
          "slice size change while initialized not refused");
  c.Check(AudioUnitSetProperty(u, 8, kAudioUnitScope_Output, 0, &otherFormat, sizeof otherFormat) ==
                  kAudioUnitErr_Initialized && channels() == 2,
          "format change while initialized not refused");
  refused += 3;
  c.Check(AudioUnitUninitialize(u) == noErr, "uninitialize refused");
  c.Check(unit.Render(64, l.data(), r.data()) == kAudioUnitErr_Uninitialized, "render after uninitialize not refused");
  c.Check(AudioUnitSetProperty(u, 14, 0, 0, &otherSlice, 4) == noErr, "slice size refused after uninitialize");
  c.Check(AudioUnitInitialize(u) == noErr, "second initialize refused");
  res.summary = Str(accepted) + " settings accepted, " + Str(refused) + " refused";
  return res;
}

}  // namespace validate

// ---- The command ----

std::string ValidateUsage() {
  return "usage: kt412 validate [options] [LIBRARY]\n"
         "\n"
         "Loads the KT-412 Audio Unit plug-in library (default: the one built beside\n"
         "kt412) and checks it as a host's validation tool does, in nine phases: open\n"
         "and close, properties, parameters, formats, render, MIDI, state, listeners\n"
         "and notifications, the view. Prints one PASS or FAIL line per phase and\n"
         "exits with 0 only when every phase passed.\n"
         "\n"
         "options:\n"
         "  --open-close N     open/close cycles of phase 1 (default 100)\n"
         "  --corrupt N        corrupted states of phase 7 (default 1000)\n"
         "  --state-seconds S  seconds both instances render in phase 7 (default 10)\n"
         "  --view-cycles N    editor open/close cycles of phase 9 (default 100)\n"
         "  -h, --help         print this help and exit\n";
}

bool ParseValidateArgs(const std::vector<std::string>& args, ValidateOptions* opts, std::string* error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto count = [&](int* out, int lo, int hi) {
      if (i + 1 >= args.size()) {
        *error = "option " + a + " needs a value";
        return false;
      }
      char* end = nullptr;
      const long v = std::strtol(args[++i].c_str(), &end, 10);
      if (args[i].empty() || *end || v < lo || v > hi) {
        *error = "option " + a + " needs a whole number in " + std::to_string(lo) + ".." + std::to_string(hi);
        return false;
      }
      *out = static_cast<int>(v);
      return true;
    };
    if (a == "-h" || a == "--help") {
      opts->help = true;
    } else if (a == "--open-close") {
      if (!count(&opts->openCloseCount, 1, 100000)) return false;
    } else if (a == "--corrupt") {
      if (!count(&opts->corruptStates, 1, 1000000)) return false;
    } else if (a == "--view-cycles") {
      if (!count(&opts->viewCycles, 1, 100000)) return false;
    } else if (a == "--state-seconds") {
      int s = 0;
      if (!count(&s, 1, 600)) return false;
      opts->stateSeconds = s;
    } else if (!a.empty() && a[0] == '-') {
      *error = "unknown option '" + a + "' (see kt412 validate --help)";
      return false;
    } else if (!opts->library.empty()) {
      *error = "more than one library ('" + opts->library + "' and '" + a + "')";
      return false;
    } else {
      opts->library = a;
    }
  }
  return true;
}

int RunValidate(const ValidateOptions& opts, std::ostream& out, std::ostream& err) {
  using namespace validate;
  if (opts.help) {
    out << ValidateUsage();
    return 0;
  }
  AUPluginLibrary lib;
  std::string error;
  const std::string path = opts.library.empty() ? DefaultAULibraryPath() : opts.library;
  if (!lib.Load(path, &error)) {
    err << "kt412: error: " << error << "\n";
    return 2;
  }
  out << "validating " << path << "\n";
  struct Phase {
    const char* name;
    PhaseResult (*run)(const Context&);
  };
  const Phase phases[] = {{"open and close", PhaseOpenClose}, {"properties", PhaseProperties},
                          {"parameters", PhaseParameters},   {"formats", PhaseFormats},
                          {"render", PhaseRender},           {"MIDI", PhaseMidi},
                          {"state", PhaseState},             {"listeners and notifications", PhaseListeners},
                          {"view", PhaseView}};
  const Context ctx{lib, opts};
  int passed = 0, n = 0;
  for (const Phase& p : phases) {
    ++n;
    PhaseResult r = p.run(ctx);
    if (r.check.Passed()) {
      ++passed;
      out << "PASS " << n << " " << p.name << ": " << r.summary << "\n";
    } else {
      out << "FAIL " << n << " " << p.name << ": " << r.check.FirstFailure();
      if (r.check.Failures() > 1) out << " (and " << r.check.Failures() - 1 << " more)";
      out << "\n";
    }
    out.flush();
  }
  out << (passed == n ? "PASSED" : "FAILED") << ": " << passed << " of " << n << " phases\n";
  return passed == n ? 0 : 1;
}
