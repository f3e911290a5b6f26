// Component instances and the Audio Unit calls the wrapper makes into the
// platform, plus the host side of the Component Manager that our own hosts
// (the validator, the render command, tests) use to drive a component.
#pragma once

#include <array>
#include <atomic>

#include "platform/au/AUTypes.h"

// One open component instance: the entry that answers its requests, the
// storage the component keeps there, its description, and the parameter
// events posted for it (kept for tests and the validator; the platform
// delivers them to listeners instead). The host owns the record; the
// component reaches it through its instance handle.
struct ComponentRecord {
  static constexpr int kMaxEvents = 4096;
  ComponentRoutine entry = nullptr;
  void* storage = nullptr;
  ComponentDescription description{};
  // Posted events: each poster claims a slot, so the audio thread may post
  // without locking or allocating; events past kMaxEvents are only counted.
  std::array<AudioUnitEvent, kMaxEvents> events{};
  std::atomic<int> nEvents{0};
};

// ---- What a component calls ----
void SetComponentInstanceStorage(ComponentInstance instance, Handle storage);
// Null for a null instance or before storage was set.
Handle GetComponentInstanceStorage(ComponentInstance instance);
// The description of the component behind an instance; paramErr for null.
// name, info and icon are not provided here and must be null.
OSStatus GetComponentInfo(Component component, ComponentDescription* outDescription, Handle name, Handle info,
                          Handle icon);
// Records the event on the instance it names; listener and sender unused.
OSStatus AUEventListenerNotify(AUEventListenerRef listener, void* sender, const AudioUnitEvent* event);

// ---- Audio Unit calls (each one request to the unit's entry) ----
OSStatus AudioUnitInitialize(AudioUnit unit);
OSStatus AudioUnitUninitialize(AudioUnit unit);
OSStatus AudioUnitGetPropertyInfo(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
                                  AudioUnitElement element, UInt32* outDataSize, Boolean* outWritable);
OSStatus AudioUnitGetProperty(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                              void* outData, UInt32* ioDataSize);
OSStatus AudioUnitSetProperty(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                              const void* inData, UInt32 inDataSize);
OSStatus AudioUnitGetParameter(AudioUnit unit, AudioUnitParameterID id, AudioUnitScope scope,
                               AudioUnitElement element, AudioUnitParameterValue* outValue);
OSStatus AudioUnitSetParameter(AudioUnit unit, AudioUnitParameterID id, AudioUnitScope scope,
                               AudioUnitElement element, AudioUnitParameterValue value, UInt32 bufferOffset);
OSStatus AudioUnitScheduleParameters(AudioUnit unit, const AudioUnitParameterEvent* events, UInt32 nEvents);
OSStatus AudioUnitReset(AudioUnit unit, AudioUnitScope scope, AudioUnitElement element);
OSStatus AudioUnitAddPropertyListener(AudioUnit unit, AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc,
                                      void* userData);
OSStatus AudioUnitRemovePropertyListener(AudioUnit unit, AudioUnitPropertyID id,
                                         AudioUnitPropertyListenerProc proc);
OSStatus AudioUnitRemovePropertyListenerWithUserData(AudioUnit unit, AudioUnitPropertyID id,
                                                     AudioUnitPropertyListenerProc proc, void* userData);
OSStatus AudioUnitAddRenderNotify(AudioUnit unit, AURenderCallback proc, void* refCon);
OSStatus AudioUnitRemoveRenderNotify(AudioUnit unit, AURenderCallback proc, void* refCon);
OSStatus AudioUnitRender(AudioUnit unit, AudioUnitRenderActionFlags* ioActionFlags, const AudioTimeStamp* timeStamp,
                         UInt32 outputBus, UInt32 frames, AudioBufferList* ioData);
OSStatus MusicDeviceMIDIEvent(AudioUnit unit, UInt32 status, UInt32 data1, UInt32 data2, UInt32 offsetSampleFrame);
OSStatus MusicDeviceSysEx(AudioUnit unit, const UInt8* data, UInt32 length);
OSStatus MusicDeviceStartNote(AudioUnit unit, MusicDeviceInstrumentID instrument, MusicDeviceGroupID group,
                              NoteInstanceID* outNoteInstanceID, UInt32 offsetSampleFrame,
                              const MusicDeviceNoteParams* params);
OSStatus MusicDeviceStopNote(AudioUnit unit, MusicDeviceGroupID group, NoteInstanceID noteInstanceID,
                             UInt32 offsetSampleFrame);

// ---- The Component Manager's host side ----
// Makes an instance record for a component answered by entry and sends it
// open. On an error the record is gone and *outInstance is null.
OSStatus OpenAComponent(ComponentRoutine entry, const ComponentDescription& description,
                        ComponentInstance* outInstance);
// Sends close and frees the record (null does nothing).
OSStatus CloseComponent(ComponentInstance instance);
// Sends one request with nArgs argument slots in call order.
ComponentResult CallComponent(ComponentInstance instance, SInt16 what, const intptr_t* args, int nArgs);
ComponentResult CallComponentCanDo(ComponentInstance instance, SInt16 selector);
ComponentResult CallComponentVersion(ComponentInstance instance);

// Argument slots: pointers and integers as they are, floats bit for bit in
// the low four bytes.
template <typename T>
intptr_t ComponentArg(T* p) {
  return reinterpret_cast<intptr_t>(p);
}
inline intptr_t ComponentArg(UInt32 v) { return static_cast<intptr_t>(v); }
inline intptr_t ComponentArg(SInt32 v) { return static_cast<intptr_t>(v); }
intptr_t ComponentArg(Float32 v);
Float32 ComponentArgFloat(intptr_t slot);

// Posted events of an instance (the first kMaxEvents of them).
int ComponentEventCount(ComponentInstance instance);
const AudioUnitEvent* ComponentEventAt(ComponentInstance instance, int idx);
void ClearComponentEvents(ComponentInstance instance);
