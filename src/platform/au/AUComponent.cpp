// Component instances and the Audio Unit calls, as one request to the unit's entry each.
#include "platform/au/AUComponent.h"

#include <cstring>
#include <new>
#include <vector>

void SetComponentInstanceStorage(ComponentInstance instance, Handle storage) {
  if (instance) instance->storage = storage;
}

Handle GetComponentInstanceStorage(ComponentInstance instance) {
  return instance ? static_cast<Handle>(instance->storage) : nullptr;
}

OSStatus GetComponentInfo(Component component, ComponentDescription* outDescription, Handle name, Handle info,
                          Handle icon) {
  if (!component || !outDescription || name || info || icon) return paramErr;
  *outDescription = component->description;
  return noErr;
}

OSStatus AUEventListenerNotify(AUEventListenerRef, void*, const AudioUnitEvent* event) {
  if (!event) return paramErr;
  // Parameter and property events name their unit at the same place.
  ComponentRecord* unit = event->mArgument.mParameter.mAudioUnit;
  if (!unit) return paramErr;
  int slot = unit->nEvents.fetch_add(1, std::memory_order_acq_rel);
  if (slot >= 0 && slot < ComponentRecord::kMaxEvents) unit->events[static_cast<size_t>(slot)] = *event;
  return noErr;
}

intptr_t ComponentArg(Float32 v) {
  uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return static_cast<intptr_t>(bits);
}

Float32 ComponentArgFloat(intptr_t slot) {
  uint32_t bits = static_cast<uint32_t>(slot);
  Float32 v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

ComponentResult CallComponent(ComponentInstance instance, SInt16 what, const intptr_t* args, int nArgs) {
  if (!instance || !instance->entry || nArgs < 0 || nArgs > 16) return paramErr;
  // Room for the header and every slot (the record declares one).
  alignas(ComponentParameters) unsigned char raw[sizeof(ComponentParameters) + 16 * sizeof(intptr_t)] = {};
  auto* params = reinterpret_cast<ComponentParameters*>(raw);
  params->what = what;
  params->paramSize = static_cast<UInt8>(nArgs * sizeof(intptr_t));
  for (int i = 0; i < nArgs; ++i) params->params[i] = args[i];
  return instance->entry(params, instance->storage);
}

namespace {
template <typename... A>
ComponentResult Call(ComponentInstance instance, SInt16 what, A... args) {
  const intptr_t slots[] = {0, ComponentArg(args)...};
  return CallComponent(instance, what, slots + 1, static_cast<int>(sizeof...(args)));
}
}  // namespace

ComponentResult CallComponentCanDo(ComponentInstance instance, SInt16 selector) {
  return Call(instance, kComponentCanDoSelect, static_cast<SInt32>(selector));
}

ComponentResult CallComponentVersion(ComponentInstance instance) { return Call(instance, kComponentVersionSelect); }

OSStatus OpenAComponent(ComponentRoutine entry, const ComponentDescription& description,
                        ComponentInstance* outInstance) {
  if (!outInstance) return paramErr;
  *outInstance = nullptr;
  if (!entry) return paramErr;
  auto* rec = new ComponentRecord;
  rec->entry = entry;
  rec->description = description;
  OSStatus err = Call(rec, kComponentOpenSelect, rec);
  if (err != noErr) {
    delete rec;
    return err;
  }
  *outInstance = rec;
  return noErr;
}

OSStatus CloseComponent(ComponentInstance instance) {
  if (!instance) return noErr;
  OSStatus err = Call(instance, kComponentCloseSelect, instance);
  delete instance;
  return err;
}

OSStatus AudioUnitInitialize(AudioUnit unit) { return Call(unit, kAudioUnitInitializeSelect); }
OSStatus AudioUnitUninitialize(AudioUnit unit) { return Call(unit, kAudioUnitUninitializeSelect); }

OSStatus AudioUnitGetPropertyInfo(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
                                  AudioUnitElement element, UInt32* outDataSize, Boolean* outWritable) {
  return Call(unit, kAudioUnitGetPropertyInfoSelect, id, scope, element, outDataSize, outWritable);
}

OSStatus AudioUnitGetProperty(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                              void* outData, UInt32* ioDataSize) {
  return Call(unit, kAudioUnitGetPropertySelect, id, scope, element, outData, ioDataSize);
}

OSStatus AudioUnitSetProperty(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                              const void* inData, UInt32 inDataSize) {
  return Call(unit, kAudioUnitSetPropertySelect, id, scope, element, inData, inDataSize);
}

OSStatus AudioUnitGetParameter(AudioUnit unit, AudioUnitParameterID id, AudioUnitScope scope,
                               AudioUnitElement element, AudioUnitParameterValue* outValue) {
  return Call(unit, kAudioUnitGetParameterSelect, id, scope, element, outValue);
}

OSStatus AudioUnitSetParameter(AudioUnit unit, AudioUnitParameterID id, AudioUnitScope scope,
                               AudioUnitElement element, AudioUnitParameterValue value, UInt32 bufferOffset) {
  return Call(unit, kAudioUnitSetParameterSelect, id, scope, element, value, bufferOffset);
}

OSStatus AudioUnitScheduleParameters(AudioUnit unit, const AudioUnitParameterEvent* events, UInt32 nEvents) {
  return Call(unit, kAudioUnitScheduleParametersSelect, events, nEvents);
}

OSStatus AudioUnitReset(AudioUnit unit, AudioUnitScope scope, AudioUnitElement element) {
  return Call(unit, kAudioUnitResetSelect, scope, element);
}

OSStatus AudioUnitAddPropertyListener(AudioUnit unit, AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc,
                                      void* userData) {
  return Call(unit, kAudioUnitAddPropertyListenerSelect, id, reinterpret_cast<void*>(proc), userData);
}

OSStatus AudioUnitRemovePropertyListener(AudioUnit unit, AudioUnitPropertyID id,
                                         AudioUnitPropertyListenerProc proc) {
  return Call(unit, kAudioUnitRemovePropertyListenerSelect, id, reinterpret_cast<void*>(proc));
}

OSStatus AudioUnitRemovePropertyListenerWithUserData(AudioUnit unit, AudioUnitPropertyID id,
                                                     AudioUnitPropertyListenerProc proc, void* userData) {
  return Call(unit, kAudioUnitRemovePropertyListenerWithUserDataSelect, id, reinterpret_cast<void*>(proc), userData);
}

OSStatus AudioUnitAddRenderNotify(AudioUnit unit, AURenderCallback proc, void* refCon) {
  return Call(unit, kAudioUnitAddRenderNotifySelect, reinterpret_cast<void*>(proc), refCon);
}

OSStatus AudioUnitRemoveRenderNotify(AudioUnit unit, AURenderCallback proc, void* refCon) {
  return Call(unit, kAudioUnitRemoveRenderNotifySelect, reinterpret_cast<void*>(proc), refCon);
}

OSStatus AudioUnitRender(AudioUnit unit, AudioUnitRenderActionFlags* ioActionFlags, const AudioTimeStamp* timeStamp,
                         UInt32 outputBus, UInt32 frames, AudioBufferList* ioData) {
  return Call(unit, kAudioUnitRenderSelect, ioActionFlags, timeStamp, outputBus, frames, ioData);
}

OSStatus MusicDeviceMIDIEvent(AudioUnit unit, UInt32 status, UInt32 data1, UInt32 data2, UInt32 offsetSampleFrame) {
  return Call(unit, kMusicDeviceMIDIEventSelect, status, data1, data2, offsetSampleFrame);
}

OSStatus MusicDeviceSysEx(AudioUnit unit, const UInt8* data, UInt32 length) {
  return Call(unit, kMusicDeviceSysExSelect, data, length);
}

OSStatus MusicDeviceStartNote(AudioUnit unit, MusicDeviceInstrumentID instrument, MusicDeviceGroupID group,
                              NoteInstanceID* outNoteInstanceID, UInt32 offsetSampleFrame,
                              const MusicDeviceNoteParams* params) {
  return Call(unit, kMusicDeviceStartNoteSelect, instrument, group, outNoteInstanceID, offsetSampleFrame, params);
}

OSStatus MusicDeviceStopNote(AudioUnit unit, MusicDeviceGroupID group, NoteInstanceID noteInstanceID,
                             UInt32 offsetSampleFrame) {
  return Call(unit, kMusicDeviceStopNoteSelect, group, noteInstanceID, offsetSampleFrame);
}

int ComponentEventCount(ComponentInstance instance) {
  if (!instance) return 0;
  int n = instance->nEvents.load(std::memory_order_acquire);
  return n < ComponentRecord::kMaxEvents ? n : ComponentRecord::kMaxEvents;
}

const AudioUnitEvent* ComponentEventAt(ComponentInstance instance, int idx) {
  if (idx < 0 || idx >= ComponentEventCount(instance)) return nullptr;
  return &instance->events[static_cast<size_t>(idx)];
}

void ClearComponentEvents(ComponentInstance instance) {
  if (instance) instance->nEvents.store(0, std::memory_order_release);
}
