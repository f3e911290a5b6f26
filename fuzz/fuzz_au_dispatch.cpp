// Fuzz target: the Audio Unit component dispatcher of the KT-412 on an
// initialised instance. Each input is a script of requests: random
// selectors (with too few arguments too), scopes, elements, property ids,
// data sizes and bytes, render calls with random buffer lists, MIDI, sysex
// and scheduled parameters. Pointers inside property records are replaced
// by valid ones or null (a host passes real pointers; random ones would
// only test the processor's memory protection). Every request must return,
// and afterwards every parameter must be finite and inside its range.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "au/IPluginAU.h"
#include "instrument/QiKt412.h"

namespace {

class Input {
public:
  Input(const uint8_t* data, size_t size) : mData(data), mSize(size) {}
  bool Done() const { return mPos >= mSize; }
  uint8_t Byte() { return mPos < mSize ? mData[mPos++] : 0; }
  uint32_t U32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | Byte();
    return v;
  }
  // Copies up to n bytes (zero-filled beyond the input).
  void Bytes(void* out, size_t n) {
    auto* o = static_cast<uint8_t*>(out);
    for (size_t i = 0; i < n; ++i) o[i] = Byte();
  }
  const uint8_t* Rest(size_t* n) {
    *n = std::min<size_t>(*n, mSize - std::min(mPos, mSize));
    const uint8_t* p = mData + std::min(mPos, mSize);
    mPos += *n;
    return p;
  }

private:
  const uint8_t* mData;
  size_t mSize;
  size_t mPos = 0;
};

const ComponentDescription kDesc{kAudioUnitType_MusicDevice, AUFourCC("Qip2"), AUFourCC("-QI-"), 0, 0};

void Listener(void*, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {}
OSStatus Callback(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32, AudioBufferList*) {
  return noErr;
}
OSStatus Tempo(void*, Float64* beat, Float64* tempo) {
  *beat = 1.0;
  *tempo = 133.0;
  return noErr;
}

const AudioUnitPropertyID kIds[] = {0, 1, 2, 3, 4, 5, 8, 11, 12, 13, 14, 16, 18, 19, 20, 21, 22, 23, 24,
                                    27, 28, 30, 31, 32, 33, 34, 35, 36, 37, 38, 46, 1000};

// Releases the values a successful get handed over.
void ReleaseOutput(AudioUnitPropertyID id, const uint8_t* data) {
  auto ref = [data](size_t offset) {
    CFTypeRef v;
    std::memcpy(&v, data + offset, sizeof v);
    if (v) CFRelease(v);
  };
  switch (id) {
    case 0: case 16: case 24: case 30: ref(0); break;
    case 4: ref(56), ref(72); break;
    case 28: case 36: case 34: case 35: ref(8); break;
    case 31: ref(0), ref(8); break;
    case 33: ref(16); break;
    default: break;
  }
}

// A state dictionary: the unit's own, or one with bytes from the input.
CFTypeRef MakeState(AudioUnit unit, Input& in) {
  CFPropertyListRef state = nullptr;
  UInt32 size = sizeof state;
  if (AudioUnitGetProperty(unit, 0, 0, 0, &state, &size) != noErr || !state) return nullptr;
  if (in.Byte() & 1) {
    size_t n = in.Byte() % 200;
    const uint8_t* p = in.Rest(&n);
    CFDataRef data = CFDataCreate(nullptr, p, static_cast<CFIndex>(n));
    CFStringRef key = CFStringCreateWithCString(nullptr, in.Byte() & 1 ? "data" : "name", kCFStringEncodingUTF8);
    CFDictionarySetValue(static_cast<CFMutableDictionaryRef>(const_cast<void*>(state)), key, data);
    CFRelease(key);
    CFRelease(data);
  }
  return state;
}

void Check(AudioUnit unit) {
  for (UInt32 id = 0; id < kNumParams; ++id) {
    AudioUnitParameterInfo info{};
    UInt32 size = sizeof info;
    Float32 v = NAN;
    const OSStatus st = AudioUnitGetProperty(unit, 4, 0, id, &info, &size);
    if (st != noErr) {
      std::fprintf(stderr, "parameter info %u refused with %d\n", id, static_cast<int>(st));
      std::abort();
    }
    CFRelease(info.cfNameString);
    if (info.unitName) CFRelease(info.unitName);
    if (AudioUnitGetParameter(unit, id, 0, 0, &v) != noErr || !(v >= info.minValue) ||
        v > info.maxValue) {
      std::fprintf(stderr, "parameter %u is %g, outside %g..%g\n", id, v, info.minValue, info.maxValue);
      std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  AudioUnit unit = nullptr;
  if (OpenAComponent(IPluginAU::IPluginAUEntry, kDesc, &unit) != noErr) std::abort();
  double rate = 44100.0;
  UInt32 frames = 512;
  AudioUnitSetProperty(unit, 2, 0, 0, &rate, 8);
  AudioUnitSetProperty(unit, 14, 0, 0, &frames, 4);
  if (AudioUnitInitialize(unit) != noErr) std::abort();

  static std::vector<float> left(8200), right(8200);
  Input in(data, size);
  for (int op = 0; op < 64 && !in.Done(); ++op) {
    const uint8_t kind = in.Byte();
    switch (kind % 8) {
      case 0:
      case 1: {  // property get or info
        AudioUnitPropertyID id = (kind & 0x80) ? in.U32() : kIds[in.Byte() % std::size(kIds)];
        AudioUnitScope scope = in.Byte() % 5;
        AudioUnitElement element = (in.Byte() & 1) ? in.U32() : in.Byte() % 20;
        alignas(8) uint8_t buf[256] = {};
        in.Bytes(buf, 32);
        Float32 value = 0.5f;
        CFStringRef text = CFStringCreateWithCString(nullptr, "0.25", kCFStringEncodingUTF8);
        if (id == 33) {
          const AudioUnitParameterValue* p = (kind & 0x40) ? &value : nullptr;
          std::memcpy(buf + 8, &p, sizeof p);
          std::memset(buf + 16, 0, 8);
        }
        if (id == 38) std::memcpy(buf + 8, &text, sizeof text);
        if (id == 34 || id == 35) std::memset(buf + 8, 0, 8);
        UInt32 bufSize = in.Byte();
        if (kind % 8 == 0) {
          UInt32 infoSize = 0;
          Boolean w = 0;
          AudioUnitGetPropertyInfo(unit, id, scope, element, &infoSize, &w);
        } else if (AudioUnitGetProperty(unit, id, scope, element, buf, &bufSize) == noErr) {
          if (bufSize > sizeof buf) std::abort();
          if (id == 1000 || id < 50) ReleaseOutput(id, buf);
        }
        CFRelease(text);
        break;
      }
      case 2: {  // property set with sanitised pointers
        AudioUnitPropertyID id = (kind & 0x80) ? in.U32() : kIds[in.Byte() % std::size(kIds)];
        AudioUnitScope scope = in.Byte() % 5;
        AudioUnitElement element = in.Byte() % 4;
        alignas(8) uint8_t buf[64] = {};
        in.Bytes(buf, sizeof buf);
        CFTypeRef owned = nullptr;
        if (id == 0) {
          owned = MakeState(unit, in);
          std::memcpy(buf, &owned, sizeof owned);
        } else if (id == 1) {
          std::memset(buf, 0, 8);  // no source unit
        } else if (id == 23) {
          AURenderCallback cb = (kind & 0x40) ? Callback : nullptr;
          std::memcpy(buf, &cb, sizeof cb);
        } else if (id == 27) {
          HostCallbackInfo hc{nullptr, (kind & 0x40) ? Tempo : nullptr, nullptr, nullptr};
          std::memcpy(buf, &hc, sizeof hc);
        } else if (id == 46) {
          owned = CFStringCreateWithCString(nullptr, "Fuzz Host", kCFStringEncodingUTF8);
          std::memcpy(buf, &owned, sizeof owned);
        }
        AudioUnitSetProperty(unit, id, scope, element, (kind & 0x20) ? nullptr : buf, in.Byte() % 80);
        if (owned) CFRelease(owned);
        break;
      }
      case 3: {  // parameters, directly and scheduled
        const UInt32 id = (kind & 0x80) ? in.U32() : in.Byte() % 20;
        Float32 v;
        const uint32_t bits = in.U32();
        std::memcpy(&v, &bits, sizeof v);
        if (kind & 0x40) {
          AudioUnitSetParameter(unit, id, in.Byte() % 3, 0, v, in.U32());
        } else if (kind & 0x20) {
          AudioUnitParameterEvent events[4];
          in.Bytes(events, sizeof events);
          AudioUnitScheduleParameters(unit, events, in.Byte() % 5);
        } else {
          Float32 out = 0;
          AudioUnitGetParameter(unit, id, in.Byte() % 3, 0, &out);
        }
        break;
      }
      case 4: {  // render with a random buffer list
        const UInt32 n = (kind & 0x80) ? in.U32() % 9000 : in.Byte() * 4u;
        struct {
          UInt32 count;
          AudioBuffer b[2];
        } list{in.Byte() % 4u, {{1, in.U32() % 40000, (kind & 0x40) ? nullptr : left.data()},
                                {1, in.U32() % 40000, (kind & 0x20) ? nullptr : right.data()}}};
        if (list.count > 2) list.count = 2;
        // Buffers are 8200 floats: a byte size claiming more would be a host's lie.
        for (auto& b : list.b) b.mDataByteSize = std::min<UInt32>(b.mDataByteSize, 8200 * 4);
        AudioTimeStamp ts{};
        ts.mSampleTime = in.Byte();
        ts.mFlags = in.Byte() & 1;
        AudioUnitRenderActionFlags flags = 0;
        AudioUnitRender(unit, &flags, &ts, in.Byte() % 3, n, reinterpret_cast<AudioBufferList*>(&list));
        break;
      }
      case 5: {  // MIDI and start/stop note
        const UInt32 status = in.Byte(), d1 = in.Byte(), d2 = in.Byte(), offset = in.U32();
        if (kind & 0x80) {
          MusicDeviceNoteParams note{2, 0, 0, {{0, 0}}};
          in.Bytes(&note.mPitch, 8);
          NoteInstanceID id = 0;
          MusicDeviceStartNote(unit, 0, 0, (kind & 0x40) ? &id : nullptr, offset, (kind & 0x20) ? nullptr : &note);
          MusicDeviceStopNote(unit, 0, d1, offset);
        } else {
          MusicDeviceMIDIEvent(unit, status, d1, d2, offset);
        }
        break;
      }
      case 6: {  // sysex from the input itself
        size_t n = in.Byte();
        const uint8_t* p = in.Rest(&n);
        MusicDeviceSysEx(unit, (kind & 0x80) ? nullptr : p, static_cast<UInt32>(n));
        break;
      }
      default: {  // any selector, with however many argument slots
        intptr_t args[8] = {};
        const SInt16 what = static_cast<SInt16>((in.Byte() << 8) | in.Byte());
        const int nArgs = in.Byte() % 9;
        // Only selectors whose arguments are plain numbers get random slots.
        const bool numeric = what == 9 || what == 0x103 || what == 0x104 || what == -3 || what == -4 ||
                             what == 1 || what == 2 || what == 8 || what == 12 || what == 13 || what > 0x106;
        if (numeric)
          for (int i = 0; i < nArgs; ++i) args[i] = static_cast<intptr_t>(in.U32());
        // Close is the host's last request: it comes only from CloseComponent below.
        if ((numeric || nArgs == 0) && what != kComponentCloseSelect) CallComponent(unit, what, args, nArgs);
        // Listeners and notifications with a real procedure.
        if (kind & 0x80) {
          AudioUnitAddPropertyListener(unit, in.Byte() % 40, Listener, nullptr);
          AudioUnitAddRenderNotify(unit, Callback, nullptr);
        } else if (kind & 0x40) {
          AudioUnitRemovePropertyListenerWithUserData(unit, in.Byte() % 40, Listener, nullptr);
          AudioUnitRemoveRenderNotify(unit, Callback, nullptr);
        }
        break;
      }
    }
  }
  Check(unit);
  CloseComponent(unit);
  return 0;
}
