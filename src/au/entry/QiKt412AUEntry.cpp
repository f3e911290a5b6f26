// The KT-412 as an Audio Unit: its instance factory, its editor surface and
// the two entries a host finds by name.
#include <mutex>

#include "IPluginBinding.h"
#include "instrument/QiKt412.h"
#include "platform/headless/IGraphicsHeadless.h"

namespace {
// The bundle's identifier; the editor finds its images through it.
const char* const kBundleID = "com.quorvane.audiounit.kt412";
const char* const kViewFactoryClassName = "QiKt412_View";
}  // namespace

IPluginAU* MakePlug() {
  // Instances may be opened from several host threads at once.
  static std::mutex sMakeMutex;
  std::lock_guard<std::mutex> lock(sMakeMutex);
  auto* plug = new QiKt412();
  IPluginInstanceInfo info{kBundleID, kViewFactoryClassName};
  info.controllerOf = [](IPluginBase* p, int idx) { return static_cast<QiKt412*>(p)->BoundController(idx); };
  info.setControllers = [](IPluginBase* p, const std::vector<int>& table) {
    static_cast<QiKt412*>(p)->RestoreControllerTable(table);
  };
  plug->SetInstanceInfo(info);
  return plug;
}

IGraphics* MakeGraphics(IPluginBinding* pPlug, int width, int height, int fps) {
  auto* gui = new IGraphicsHeadless(pPlug, width, height, fps);
  gui->SetBundleID(kBundleID);
  return gui;
}

extern "C" {
__attribute__((visibility("default"))) ComponentResult QiKt412_Entry(ComponentParameters* params, void* instance) {
  return IPluginAU::IPluginAUEntry(params, instance);
}

__attribute__((visibility("default"))) ComponentResult QiKt412_ViewEntry(ComponentParameters* params,
                                                                           void* viewInstance) {
  return IPluginAU::IPluginAUCarbonViewEntry(params, viewInstance);
}
}
