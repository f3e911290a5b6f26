// Core Audio, Audio Unit and Component Manager declarations under the
// platform's own names, written for this project so that the wrapper builds
// where the platform's frameworks do not exist. A macOS build includes the
// real framework headers instead; the record layouts here therefore follow
// the platform's (64-bit) layouts, and the sizes the wrapper checks property
// data against are asserted at the end of this file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/au/CoreFoundation.h"

typedef uint8_t UInt8;
typedef int16_t SInt16;
typedef uint16_t UInt16;
typedef int32_t SInt32;
typedef uint32_t UInt32;
typedef int64_t SInt64;
typedef uint64_t UInt64;
typedef float Float32;
typedef double Float64;

typedef SInt32 OSStatus;
typedef SInt32 ComponentResult;
typedef UInt32 OSType;
typedef char** Handle;

// ---- Status codes ----
enum : OSStatus {
  noErr = 0,
  paramErr = -50,
  coreFoundationUnknownErr = -4960,
  kAudioUnitErr_InvalidProperty = -10879,
  kAudioUnitErr_InvalidParameter = -10878,
  kAudioUnitErr_InvalidElement = -10877,
  kAudioUnitErr_InvalidScope = -10866,
  kAudioUnitErr_InvalidPropertyValue = -10851,
  kAudioUnitErr_PropertyNotInUse = -10850,
  kAudioUnitErr_Initialized = -10849,
  kAudioUnitErr_Uninitialized = -10867,
};
constexpr ComponentResult badComponentSelector = static_cast<ComponentResult>(0x80008002u);

// Four-character codes as the platform packs them: first character highest.
constexpr UInt32 AUFourCC(const char (&code)[5]) {
  return (static_cast<UInt32>(static_cast<unsigned char>(code[0])) << 24) |
         (static_cast<UInt32>(static_cast<unsigned char>(code[1])) << 16) |
         (static_cast<UInt32>(static_cast<unsigned char>(code[2])) << 8) |
         static_cast<UInt32>(static_cast<unsigned char>(code[3]));
}

// ---- Components ----
struct ComponentRecord;
typedef ComponentRecord* Component;
typedef ComponentRecord* ComponentInstance;
typedef ComponentInstance AudioUnit;

struct ComponentDescription {
  OSType componentType;
  OSType componentSubType;
  OSType componentManufacturer;
  UInt32 componentFlags;
  UInt32 componentFlagsMask;
};
typedef ComponentDescription AudioComponentDescription;

// A request to a component: the selector in `what`, its arguments in
// `params`, one pointer-sized slot each in call order, and their total size
// in bytes in `paramSize` (a dispatcher reads no slot beyond it).
struct ComponentParameters {
  UInt8 flags;
  UInt8 paramSize;
  SInt16 what;
  UInt32 padding;
  intptr_t params[1];
};

typedef ComponentResult (*ComponentRoutine)(ComponentParameters* params, void* storage);

enum : SInt16 {
  kComponentOpenSelect = -1,
  kComponentCloseSelect = -2,
  kComponentCanDoSelect = -3,
  kComponentVersionSelect = -4,
};

enum : OSType {
  kAudioUnitType_MusicDevice = AUFourCC("aumu"),
  kAudioUnitCarbonViewComponentType = AUFourCC("auvw"),
  kAudioFormatLinearPCM = AUFourCC("lpcm"),
};

// ---- Audio Unit selectors ----
enum : SInt16 {
  kAudioUnitInitializeSelect = 1,
  kAudioUnitUninitializeSelect = 2,
  kAudioUnitGetPropertyInfoSelect = 3,
  kAudioUnitGetPropertySelect = 4,
  kAudioUnitSetPropertySelect = 5,
  kAudioUnitGetParameterSelect = 6,
  kAudioUnitSetParameterSelect = 7,
  kAudioUnitResetSelect = 9,
  kAudioUnitAddPropertyListenerSelect = 10,
  kAudioUnitRemovePropertyListenerSelect = 11,
  kAudioUnitRenderSelect = 14,
  kAudioUnitAddRenderNotifySelect = 15,
  kAudioUnitRemoveRenderNotifySelect = 16,
  kAudioUnitScheduleParametersSelect = 17,
  kAudioUnitRemovePropertyListenerWithUserDataSelect = 18,
  kMusicDeviceMIDIEventSelect = 0x101,
  kMusicDeviceSysExSelect = 0x102,
  kMusicDevicePrepareInstrumentSelect = 0x103,
  kMusicDeviceReleaseInstrumentSelect = 0x104,
  kMusicDeviceStartNoteSelect = 0x105,
  kMusicDeviceStopNoteSelect = 0x106,
  kAudioUnitCarbonViewCreateSelect = 0x301,
};

// ---- Properties, scopes, elements ----
typedef UInt32 AudioUnitPropertyID;
typedef UInt32 AudioUnitScope;
typedef UInt32 AudioUnitElement;
typedef UInt32 AudioUnitParameterID;
typedef Float32 AudioUnitParameterValue;

enum : AudioUnitScope { kAudioUnitScope_Global = 0, kAudioUnitScope_Input = 1, kAudioUnitScope_Output = 2 };

enum : AudioUnitPropertyID {
  kAudioUnitProperty_ClassInfo = 0,
  kAudioUnitProperty_MakeConnection = 1,
  kAudioUnitProperty_SampleRate = 2,
  kAudioUnitProperty_ParameterList = 3,
  kAudioUnitProperty_ParameterInfo = 4,
  kAudioUnitProperty_FastDispatch = 5,
  kAudioUnitProperty_StreamFormat = 8,
  kAudioUnitProperty_ElementCount = 11,
  kAudioUnitProperty_Latency = 12,
  kAudioUnitProperty_SupportedNumChannels = 13,
  kAudioUnitProperty_MaximumFramesPerSlice = 14,
  kAudioUnitProperty_ParameterValueStrings = 16,
  kAudioUnitProperty_GetUIComponentList = 18,
  kAudioUnitProperty_AudioChannelLayout = 19,
  kAudioUnitProperty_TailTime = 20,
  kAudioUnitProperty_BypassEffect = 21,
  kAudioUnitProperty_LastRenderError = 22,
  kAudioUnitProperty_SetRenderCallback = 23,
  kAudioUnitProperty_FactoryPresets = 24,
  kAudioUnitProperty_HostCallbacks = 27,
  kAudioUnitProperty_CurrentPreset = 28,
  kAudioUnitProperty_ElementName = 30,
  kAudioUnitProperty_CocoaUI = 31,
  kAudioUnitProperty_SupportedChannelLayoutTags = 32,
  kAudioUnitProperty_ParameterStringFromValue = 33,
  kAudioUnitProperty_ParameterIDName = 34,
  kAudioUnitProperty_ParameterClumpName = 35,
  kAudioUnitProperty_PresentPreset = 36,
  kAudioUnitProperty_OfflineRender = 37,
  kAudioUnitProperty_ParameterValueFromString = 38,
  kAudioUnitProperty_AUHostIdentifier = 46,
  kMusicDeviceProperty_InstrumentCount = 1000,
};

// Stream format flags (native endian is little endian here: no flag).
enum : UInt32 {
  kAudioFormatFlagIsFloat = 1u << 0,
  kAudioFormatFlagIsBigEndian = 1u << 1,
  kAudioFormatFlagIsSignedInteger = 1u << 2,
  kAudioFormatFlagIsPacked = 1u << 3,
  kAudioFormatFlagIsNonInterleaved = 1u << 5,
  kAudioFormatFlagsNativeEndian = 0,
};

// Parameter info flags and units.
enum : UInt32 {
  kAudioUnitParameterFlag_CFNameRelease = 1u << 4,
  kAudioUnitParameterFlag_HasClump = 1u << 20,
  kAudioUnitParameterFlag_HasCFNameString = 1u << 27,
  kAudioUnitParameterFlag_IsElementMeta = 1u << 29,
  kAudioUnitParameterFlag_IsReadable = 1u << 30,
  kAudioUnitParameterFlag_IsWritable = 1u << 31,
};
typedef UInt32 AudioUnitParameterUnit;
enum : AudioUnitParameterUnit {
  kAudioUnitParameterUnit_Generic = 0,
  kAudioUnitParameterUnit_Indexed = 1,
  kAudioUnitParameterUnit_Boolean = 2,
  kAudioUnitParameterUnit_CustomUnit = 26,
};
constexpr UInt32 kAudioUnitClumpID_System = 0;

typedef UInt32 AudioChannelLayoutTag;
enum : AudioChannelLayoutTag {
  kAudioChannelLayoutTag_Mono = (100u << 16) | 1,
  kAudioChannelLayoutTag_Stereo = (101u << 16) | 2,
  kAudioChannelLayoutTag_Unknown = 0xFFFF0000u,
};

// ---- Audio records ----
struct AudioStreamBasicDescription {
  Float64 mSampleRate;
  UInt32 mFormatID;
  UInt32 mFormatFlags;
  UInt32 mBytesPerPacket;
  UInt32 mFramesPerPacket;
  UInt32 mBytesPerFrame;
  UInt32 mChannelsPerFrame;
  UInt32 mBitsPerChannel;
  UInt32 mReserved;
};

struct SMPTETime {
  SInt16 mSubframes;
  SInt16 mSubframeDivisor;
  UInt32 mCounter;
  UInt32 mType;
  UInt32 mFlags;
  SInt16 mHours;
  SInt16 mMinutes;
  SInt16 mSeconds;
  SInt16 mFrames;
};

enum : UInt32 { kAudioTimeStampSampleTimeValid = 1u << 0, kAudioTimeStampHostTimeValid = 1u << 1 };

struct AudioTimeStamp {
  Float64 mSampleTime;
  UInt64 mHostTime;
  Float64 mRateScalar;
  UInt64 mWordClockTime;
  SMPTETime mSMPTETime;
  UInt32 mFlags;
  UInt32 mReserved;
};

struct AudioBuffer {
  UInt32 mNumberChannels;
  UInt32 mDataByteSize;
  void* mData;
};

// mBuffers holds mNumberBuffers entries; the record is allocated to fit.
struct AudioBufferList {
  UInt32 mNumberBuffers;
  AudioBuffer mBuffers[1];
};

typedef UInt32 AudioUnitRenderActionFlags;
enum : AudioUnitRenderActionFlags { kAudioUnitRenderAction_PreRender = 4, kAudioUnitRenderAction_PostRender = 8 };

typedef OSStatus (*AURenderCallback)(void* inRefCon, AudioUnitRenderActionFlags* ioActionFlags,
                                     const AudioTimeStamp* inTimeStamp, UInt32 inBusNumber,
                                     UInt32 inNumberFrames, AudioBufferList* ioData);
struct AURenderCallbackStruct {
  AURenderCallback inputProc;
  void* inputProcRefCon;
};

// The fast-dispatch procedures take the component's storage (the plug-in object).
typedef OSStatus (*AudioUnitRenderProc)(void* inComponentStorage, AudioUnitRenderActionFlags* ioActionFlags,
                                        const AudioTimeStamp* inTimeStamp, UInt32 inOutputBusNumber,
                                        UInt32 inNumberFrames, AudioBufferList* ioData);
typedef OSStatus (*AudioUnitGetParameterProc)(void* inComponentStorage, AudioUnitParameterID inID,
                                              AudioUnitScope inScope, AudioUnitElement inElement,
                                              AudioUnitParameterValue* outValue);
typedef OSStatus (*AudioUnitSetParameterProc)(void* inComponentStorage, AudioUnitParameterID inID,
                                              AudioUnitScope inScope, AudioUnitElement inElement,
                                              AudioUnitParameterValue inValue, UInt32 inBufferOffsetInFrames);

typedef void (*AudioUnitPropertyListenerProc)(void* inRefCon, AudioUnit inUnit, AudioUnitPropertyID inID,
                                              AudioUnitScope inScope, AudioUnitElement inElement);

struct AudioUnitConnection {
  AudioUnit sourceAudioUnit;
  UInt32 sourceOutputNumber;
  UInt32 destInputNumber;
};

struct AudioUnitParameterInfo {
  char name[52];
  CFStringRef unitName;
  UInt32 clumpID;
  CFStringRef cfNameString;
  AudioUnitParameterUnit unit;
  AudioUnitParameterValue minValue;
  AudioUnitParameterValue maxValue;
  AudioUnitParameterValue defaultValue;
  UInt32 flags;
};

struct AudioUnitParameterNameInfo {
  AudioUnitParameterID inID;
  SInt32 inDesiredLength;
  CFStringRef outName;
};
constexpr SInt32 kAudioUnitParameterName_Full = -1;

struct AudioUnitParameterStringFromValue {
  AudioUnitParameterID inParamID;
  const AudioUnitParameterValue* inValue;
  CFStringRef outString;
};

struct AudioUnitParameterValueFromString {
  AudioUnitParameterID inParamID;
  CFStringRef inString;
  AudioUnitParameterValue outValue;
};

struct AUPreset {
  SInt32 presetNumber;
  CFStringRef presetName;
};

struct AudioUnitCocoaViewInfo {
  CFURLRef mCocoaAUViewBundleLocation;
  CFStringRef mCocoaAUViewClass[1];
};

typedef OSStatus (*HostCallback_GetBeatAndTempo)(void* inHostUserData, Float64* outCurrentBeat,
                                                 Float64* outCurrentTempo);
typedef OSStatus (*HostCallback_GetMusicalTimeLocation)(void* inHostUserData, UInt32* outDeltaSampleOffsetToNextBeat,
                                                        Float32* outTimeSig_Numerator,
                                                        UInt32* outTimeSig_Denominator,
                                                        Float64* outCurrentMeasureDownBeat);
typedef OSStatus (*HostCallback_GetTransportState)(void* inHostUserData, Boolean* outIsPlaying,
                                                   Boolean* outTransportStateChanged,
                                                   Float64* outCurrentSampleInTimeLine, Boolean* outIsCycling,
                                                   Float64* outCycleStartBeat, Float64* outCycleEndBeat);
struct HostCallbackInfo {
  void* hostUserData;
  HostCallback_GetBeatAndTempo beatAndTempoProc;
  HostCallback_GetMusicalTimeLocation musicalTimeLocationProc;
  HostCallback_GetTransportState transportStateProc;
};

typedef OSStatus (*AUMIDIOutputCallback)(void* userData, const AudioTimeStamp* timeStamp, UInt32 midiOutNum,
                                         const void* pktlist);
struct AUMIDIOutputCallbackStruct {
  AUMIDIOutputCallback midiOutputCallback;
  void* userData;
};

// A packed version number as hosts give it: major, then minor and bug-fix
// digits in the upper and lower nibbles of one byte.
struct AUNumVersion {
  UInt8 nonRelRev;
  UInt8 stage;
  UInt8 minorAndBugRev;
  UInt8 majorRev;
};
struct AUHostIdentifier {
  CFStringRef hostName;
  AUNumVersion hostVersion;
};

// Scheduled parameter changes.
typedef UInt32 AUParameterEventType;
enum : AUParameterEventType { kParameterEvent_Immediate = 1, kParameterEvent_Ramped = 2 };
struct AudioUnitParameterEvent {
  AudioUnitScope scope;
  AudioUnitElement element;
  AudioUnitParameterID parameter;
  AUParameterEventType eventType;
  union {
    struct {
      SInt32 startBufferOffset;
      UInt32 durationInFrames;
      AudioUnitParameterValue startValue;
      AudioUnitParameterValue endValue;
    } ramp;
    struct {
      UInt32 bufferOffset;
      AudioUnitParameterValue value;
    } immediate;
  } eventValues;
};
typedef AudioUnitParameterEvent AUParameterEvent;

// Parameter events posted to the host's listeners.
typedef UInt32 AudioUnitEventType;
enum : AudioUnitEventType {
  kAudioUnitEvent_ParameterValueChange = 0,
  kAudioUnitEvent_BeginParameterChangeGesture = 1,
  kAudioUnitEvent_EndParameterChangeGesture = 2,
  kAudioUnitEvent_PropertyChange = 3,
};
struct AudioUnitParameter {
  AudioUnit mAudioUnit;
  AudioUnitParameterID mParameterID;
  AudioUnitScope mScope;
  AudioUnitElement mElement;
};
struct AudioUnitProperty {
  AudioUnit mAudioUnit;
  AudioUnitPropertyID mPropertyID;
  AudioUnitScope mScope;
  AudioUnitElement mElement;
};
struct AudioUnitEvent {
  AudioUnitEventType mEventType;
  union {
    AudioUnitParameter mParameter;
    AudioUnitProperty mProperty;
  } mArgument;
};
typedef struct AUListenerBase* AUEventListenerRef;

// Music device note parameters (start note).
typedef UInt32 MusicDeviceInstrumentID;
typedef UInt32 MusicDeviceGroupID;
typedef UInt32 NoteInstanceID;
struct NoteParamsControlValue {
  AudioUnitParameterID mID;
  AudioUnitParameterValue mValue;
};
struct MusicDeviceNoteParams {
  UInt32 argCount;
  Float32 mPitch;
  Float32 mVelocity;
  NoteParamsControlValue mControls[1];
};

// Where a Carbon view is placed and how big it is (create view request:
// edited unit, window, parent control, location, size, the control made).
struct Float32Point {
  Float32 x;
  Float32 y;
};

// ---- Record sizes the property table states ----
static_assert(sizeof(AudioUnitParameterInfo) == 104, "parameter info is 104 bytes");
static_assert(offsetof(AudioUnitParameterInfo, unitName) == 56, "parameter info: unit name after the 52-byte name");
static_assert(sizeof(AudioStreamBasicDescription) == 40, "stream format is 40 bytes");
static_assert(sizeof(AudioUnitConnection) == 16, "connection is 16 bytes");
static_assert(sizeof(AURenderCallbackStruct) == 16, "render callback is 16 bytes");
static_assert(sizeof(ComponentDescription) == 20, "component description is 20 bytes");
static_assert(sizeof(AudioUnitParameterStringFromValue) == 24, "string from value is 24 bytes");
static_assert(sizeof(AudioUnitParameterValueFromString) == 24, "value from string is 24 bytes");
static_assert(sizeof(AudioUnitParameterNameInfo) == 16, "parameter name info is 16 bytes");
static_assert(sizeof(AUPreset) == 16, "preset is 16 bytes");
static_assert(sizeof(AudioUnitCocoaViewInfo) == 16, "Cocoa view info is 16 bytes");
static_assert(sizeof(HostCallbackInfo) == 32, "host callbacks are 32 bytes");
static_assert(sizeof(AUHostIdentifier) == 16, "host identifier is 16 bytes");
static_assert(sizeof(AudioTimeStamp) == 64, "time stamp is 64 bytes");
static_assert(sizeof(AudioBuffer) == 16 && sizeof(AudioBufferList) == 24, "buffer list of one is 24 bytes");
static_assert(sizeof(AudioUnitParameterEvent) == 32, "parameter event is 32 bytes");
static_assert(sizeof(AudioUnitEvent) == 32, "Audio Unit event is 32 bytes");
static_assert(sizeof(MusicDeviceNoteParams) == 20, "note parameters of one control are 20 bytes");
static_assert(sizeof(ComponentParameters) == 16, "request header and one argument slot");
static_assert(sizeof(intptr_t) == 8, "the declarations follow the 64-bit platform");
