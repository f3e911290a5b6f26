// The Audio Unit binding's saved state (the class info dictionary) and the
// parameter info record.
#include <cstring>

#include "au/IPluginAU.h"
#include "framework/IPluginState.h"

namespace {

CFStringRef MakeString(const char* text) {
  return CFStringCreateWithCString(kCFAllocatorDefault, text ? text : "", kCFStringEncodingUTF8);
}

void PutNumber(CFMutableDictionaryRef dict, const char* key, SInt32 value) {
  CFStringRef k = MakeString(key);
  CFNumberRef n = CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &value);
  CFDictionarySetValue(dict, k, n);
  CFRelease(n);
  CFRelease(k);
}

void PutValue(CFMutableDictionaryRef dict, const char* key, CFTypeRef value) {
  CFStringRef k = MakeString(key);
  CFDictionarySetValue(dict, k, value);
  CFRelease(k);
}

// The value under key when it is of the given kind, else null.
bool Has(CFDictionaryRef dict, const char* key) {
  CFStringRef k = MakeString(key);
  const bool has = CFDictionaryGetValue(dict, k) != nullptr;
  CFRelease(k);
  return has;
}

CFTypeRef GetTyped(CFDictionaryRef dict, const char* key, CFTypeID type) {
  CFStringRef k = MakeString(key);
  CFTypeRef v = CFDictionaryGetValue(dict, k);
  CFRelease(k);
  return (v && CFGetTypeID(v) == type) ? v : nullptr;
}

bool GetNumber(CFDictionaryRef dict, const char* key, SInt32* pValue) {
  CFTypeRef v = GetTyped(dict, key, CFNumberGetTypeID());
  return v && CFNumberGetValue(static_cast<CFNumberRef>(v), kCFNumberSInt32Type, pValue);
}

}  // namespace

// ---- Saved state ----

ComponentResult IPluginAU::GetState(CFPropertyListRef* ppPropList) {
  ComponentDescription cd{};
  OSStatus r = GetComponentInfo(mComponentInstance, &cd, nullptr, nullptr, nullptr);
  if (r != noErr) return r;
  CFMutableDictionaryRef dict =
      CFDictionaryCreateMutable(kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
  PutNumber(dict, "version", GetEffectVersion(false));
  PutNumber(dict, "type", static_cast<SInt32>(cd.componentType));
  PutNumber(dict, "subtype", static_cast<SInt32>(cd.componentSubType));
  PutNumber(dict, "manufacturer", static_cast<SInt32>(cd.componentManufacturer));
  CFStringRef name = MakeString(GetPresetName(GetCurrentPresetIdx()));
  PutValue(dict, "name", name);
  CFRelease(name);
  ByteChunk chunk;
  if (SerializeState(&chunk)) {
    CFDataRef data = CFDataCreate(kCFAllocatorDefault, chunk.GetBytes(), chunk.Size());
    PutValue(dict, "data", data);
    CFRelease(data);
  }
  if (mControllerOf) {
    // The learn table in the state's own layout (IPluginState).
    IPluginState state;
    for (int i = 0; i < NParams(); ++i) state.controllers.push_back(mControllerOf(this, i));
    ByteChunk table;
    state.AppendControllers(&table);
    CFDataRef learn = CFDataCreate(kCFAllocatorDefault, table.GetBytes(), static_cast<CFIndex>(table.Size()));
    PutValue(dict, "midi-learn", learn);
    CFRelease(learn);
  }
  *ppPropList = dict;
  return noErr;
}

ComponentResult IPluginAU::SetState(CFPropertyListRef pPropList) {
  ComponentDescription cd{};
  OSStatus r = GetComponentInfo(mComponentInstance, &cd, nullptr, nullptr, nullptr);
  if (r != noErr) return r;
  if (!pPropList || CFGetTypeID(pPropList) != CFDictionaryGetTypeID()) return kAudioUnitErr_InvalidPropertyValue;
  auto dict = static_cast<CFDictionaryRef>(pPropList);
  SInt32 version = 0, type = 0, subtype = 0, mfr = 0;
  if (!GetNumber(dict, "version", &version) || !GetNumber(dict, "type", &type) ||
      !GetNumber(dict, "subtype", &subtype) || !GetNumber(dict, "manufacturer", &mfr))
    return kAudioUnitErr_InvalidPropertyValue;
  auto name = static_cast<CFStringRef>(GetTyped(dict, "name", CFStringGetTypeID()));
  if (!name) return kAudioUnitErr_InvalidPropertyValue;
  if (static_cast<OSType>(type) != cd.componentType || static_cast<OSType>(subtype) != cd.componentSubType ||
      static_cast<OSType>(mfr) != cd.componentManufacturer)
    return kAudioUnitErr_InvalidPropertyValue;
  auto data = static_cast<CFDataRef>(GetTyped(dict, "data", CFDataGetTypeID()));
  if (!data) return kAudioUnitErr_InvalidPropertyValue;

  // The whole state is checked before anything is applied, so a refused
  // state leaves every parameter as it was: by the one state reader for a
  // plug-in that keeps only its parameters.
  const CFIndex length = CFDataGetLength(data);
  const uint8_t* bytes = CFDataGetBytePtr(data);
  if (length <= 0 || !bytes) return kAudioUnitErr_InvalidPropertyValue;
  IPluginState state;
  if (!DoesStateChunks() && !state.ReadParams(*this, bytes, static_cast<size_t>(length), nullptr))
    return kAudioUnitErr_InvalidPropertyValue;

  // The bindings are optional (a song saved before they were kept has none),
  // but when present they must be whole. Songs saved before the table took
  // its tag hold the bare controller bytes.
  if (Has(dict, "midi-learn")) {
    auto learn = static_cast<CFDataRef>(GetTyped(dict, "midi-learn", CFDataGetTypeID()));
    if (!learn) return kAudioUnitErr_InvalidPropertyValue;
    ByteChunk table;
    if (CFDataGetLength(learn) == static_cast<CFIndex>(NParams()))
      table.PutBytes(IPluginState::kControllersTag, sizeof IPluginState::kControllersTag);
    table.PutBytes(CFDataGetBytePtr(learn), static_cast<int>(CFDataGetLength(learn)));
    if (!state.ReadControllers(*this, table.GetBytes(), static_cast<size_t>(table.Size()), nullptr))
      return kAudioUnitErr_InvalidPropertyValue;
  }

  RestorePreset(CFStringGetCStringPtr(name, kCFStringEncodingUTF8));
  if (DoesStateChunks()) {
    ByteChunk chunk;
    chunk.PutBytes(bytes, static_cast<int>(length));
    if (UnserializeState(&chunk, 0) <= 0) return kAudioUnitErr_InvalidPropertyValue;
    if (mSetControllers && !state.controllers.empty()) mSetControllers(this, state.controllers);
  } else if (!state.Apply(*this, mSetControllers)) {
    return kAudioUnitErr_InvalidPropertyValue;
  }
  RedrawParamControls();
  return noErr;
}

// ---- Parameter info ----

void IPluginAU::GetParamInfo(int idx, AudioUnitParameterInfo* pInfo) {
  std::memset(pInfo, 0, sizeof *pInfo);
  const IParam* p = GetParam(idx);
  pInfo->flags = kAudioUnitParameterFlag_CFNameRelease | kAudioUnitParameterFlag_HasCFNameString |
                 kAudioUnitParameterFlag_IsReadable;
  if (p->GetCanAutomate()) pInfo->flags |= kAudioUnitParameterFlag_IsWritable;
  if (p->GetIsMeta()) pInfo->flags |= kAudioUnitParameterFlag_IsElementMeta;
  const char* name = p->GetNameForHost();
  pInfo->cfNameString = MakeString(name);
  std::strncpy(pInfo->name, name, sizeof pInfo->name - 1);
  switch (p->Type()) {
    case IParam::kTypeBool: pInfo->unit = kAudioUnitParameterUnit_Boolean; break;
    case IParam::kTypeInt:
    case IParam::kTypeEnum: pInfo->unit = kAudioUnitParameterUnit_Indexed; break;
    default: {
      const char* label = p->GetLabelForHost();
      if (label && *label) {
        pInfo->unit = kAudioUnitParameterUnit_CustomUnit;
        pInfo->unitName = MakeString(label);
      } else {
        pInfo->unit = kAudioUnitParameterUnit_Generic;
      }
    }
  }
  pInfo->minValue = static_cast<Float32>(p->GetMin());
  pInfo->maxValue = static_cast<Float32>(p->GetMax());
  pInfo->defaultValue = static_cast<Float32>(p->Value());
  const char* group = p->GetParamGroupForHost();
  if (group && *group) {
    std::vector<const char*>& groups = ParamGroups();
    int clump = 0;
    for (size_t i = 0; i < groups.size(); ++i)
      if (std::strcmp(groups[i], group) == 0) clump = static_cast<int>(i) + 1;
    if (clump == 0) {
      groups.push_back(group);
      clump = static_cast<int>(groups.size());
    }
    pInfo->clumpID = static_cast<UInt32>(clump);
    pInfo->flags |= kAudioUnitParameterFlag_HasClump;
  }
}
