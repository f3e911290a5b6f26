// Factory preset records with their array callbacks, the view factory and
// the Carbon view component.
#include <cstdio>
#include <cstring>

#include "au/IPluginAU.h"
#include "framework/ILog.h"
#include "graphics/IGraphics.h"

// ---- Factory preset records ----

CFAUPresetRef CFAUPresetCreate(CFAllocatorRef allocator, SInt32 presetNumber, CFStringRef presetName) {
  auto* preset = static_cast<CFAUPreset*>(CFAllocatorAllocate(allocator, sizeof(CFAUPreset), 0));
  if (!preset) return nullptr;
  preset->au.presetNumber = presetNumber;
  preset->au.presetName = presetName ? static_cast<CFStringRef>(CFRetain(presetName)) : nullptr;
  preset->reserved = 0;
  preset->allocator = allocator;
  preset->retainCount = 1;
  return preset;
}

CFAUPresetRef CFAUPresetRetain(void* p) {
  auto* preset = static_cast<CFAUPreset*>(p);
  if (preset) {
    if (preset->au.presetName) CFRetain(preset->au.presetName);
    ++preset->retainCount;
  }
  return preset;
}

void CFAUPresetRelease(void* p) {
  auto* preset = static_cast<CFAUPreset*>(p);
  if (!preset || preset->retainCount <= 0) return;
  if (preset->au.presetName) CFRelease(preset->au.presetName);
  if (--preset->retainCount == 0) {
    preset->au.presetName = nullptr;
    preset->au.presetNumber = 0;
    CFAllocatorDeallocate(preset->allocator, preset);
  }
}

const void* CFAUPresetArrayRetainCallBack(CFAllocatorRef, const void* preset) {
  return CFAUPresetRetain(const_cast<void*>(preset));
}

void CFAUPresetArrayReleaseCallBack(CFAllocatorRef, const void* preset) {
  CFAUPresetRelease(const_cast<void*>(preset));
}

Boolean CFAUPresetArrayEqualCallBack(const void* p1, const void* p2) {
  const auto* a = static_cast<const CFAUPreset*>(p1);
  const auto* b = static_cast<const CFAUPreset*>(p2);
  if (!a || !b) return a == b;
  if (a->au.presetNumber != b->au.presetNumber) return false;
  if (!a->au.presetName || !b->au.presetName) return a->au.presetName == b->au.presetName;
  return CFEqual(a->au.presetName, b->au.presetName);
}

CFStringRef CFAUPresetArrayCopyDescriptionCallBack(const void* p) {
  const auto* preset = static_cast<const CFAUPreset*>(p);
  if (!preset) return nullptr;
  const char* name = CFStringGetCStringPtr(preset->au.presetName, kCFStringEncodingUTF8);
  char text[512];
  std::snprintf(text, sizeof text, "AUPreset:\npreset number = %d\npreset name = %s",
                static_cast<int>(preset->au.presetNumber), name ? name : "(null)");
  return CFStringCreateWithCString(kCFAllocatorDefault, text, kCFStringEncodingUTF8);
}

void CFAUPresetArrayCallBacks_Init(CFArrayCallBacks* callBacks) {
  callBacks->version = 0;
  callBacks->retain = CFAUPresetArrayRetainCallBack;
  callBacks->release = CFAUPresetArrayReleaseCallBack;
  callBacks->copyDescription = CFAUPresetArrayCopyDescriptionCallBack;
  callBacks->equal = CFAUPresetArrayEqualCallBack;
}

namespace {
CFArrayCallBacks InitCallBacks() {
  CFArrayCallBacks cb;
  CFAUPresetArrayCallBacks_Init(&cb);
  return cb;
}
}  // namespace

// Filled when the plug-in is loaded and never changed.
CFArrayCallBacks kCFAUPresetArrayCallBacks = InitCallBacks();

// ---- View factory ----

QiKt412_View* QiKt412_View::init() {
  mPlug.Attach(nullptr);
  return this;
}

void* QiKt412_View::uiViewForAudioUnit(AudioUnit unit, Float32, Float32) {
  mPlug.Attach(reinterpret_cast<IPluginAU*>(GetComponentInstanceStorage(unit)));
  void* view = nullptr;
  mPlug.With([&view](IPluginAU* plug) {
    IGraphics* gui = plug->GetGraphics();
    if (!gui) return;
    view = gui->OpenWindow(nullptr);
    plug->OnGUIOpen();
  });
  return view;
}

// ---- Carbon view component ----

ComponentResult IPluginAU::IPluginAUCarbonViewEntry(ComponentParameters* params, void* pView) {
  if (!params) return paramErr;
  const int nArgs = static_cast<int>(params->paramSize / sizeof(intptr_t));
  auto* rec = static_cast<CarbonViewRecord*>(pView);
  TRACE("%d", params->what);
  switch (params->what) {
    case kComponentOpenSelect: {
      if (nArgs < 1 || rec) return paramErr;
      auto ci = reinterpret_cast<ComponentInstance>(params->params[0]);
      if (!ci) return paramErr;
      SetComponentInstanceStorage(ci, reinterpret_cast<Handle>(new CarbonViewRecord(ci)));
      return noErr;
    }
    case kAudioUnitCarbonViewCreateSelect: {
      // Arguments: edited unit, window, parent control, location, size, the control made.
      if (!rec || nArgs < 6) return badComponentSelector;
      auto unit = reinterpret_cast<AudioUnit>(params->params[0]);
      rec->mPlug.Attach(reinterpret_cast<IPluginAU*>(GetComponentInstanceStorage(unit)));
      ComponentResult r = badComponentSelector;
      rec->mPlug.With([&](IPluginAU* plug) {
        IGraphics* gui = plug->GetGraphics();
        if (!gui) return;
        void* control = gui->OpenWindow(reinterpret_cast<void*>(params->params[1]),
                                        reinterpret_cast<void*>(params->params[2]), 0, 0);
        if (auto** out = reinterpret_cast<void**>(params->params[5])) *out = control;
        r = noErr;
      });
      return r;
    }
    case kComponentCloseSelect: {
      if (rec) {
        // A view whose unit has closed has no editor left to close.
        rec->mPlug.With([](IPluginAU* plug) {
          if (IGraphics* gui = plug->GetGraphics()) gui->CloseWindow();
        });
        SetComponentInstanceStorage(rec->mViewInstance, nullptr);
        delete rec;
      }
      return noErr;
    }
    default: return badComponentSelector;
  }
}
