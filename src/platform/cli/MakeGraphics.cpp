// The command-line binding's editor surface: headless unless a program chose another.
#include <atomic>

#include "platform/cli/GraphicsFactory.h"
#include "platform/cli/binding/IPluginBinding.h"
#include "platform/headless/IGraphicsHeadless.h"

namespace {
std::atomic<GraphicsFactory> gFactory{nullptr};
}  // namespace

void SetGraphicsFactory(GraphicsFactory factory) { gFactory.store(factory); }
GraphicsFactory GetGraphicsFactory() { return gFactory.load(); }

IGraphics* MakeGraphics(IPluginBinding* pPlug, int width, int height, int fps) {
  if (GraphicsFactory factory = gFactory.load()) return factory(pPlug, width, height, fps);
  IGraphicsHeadless* pGraphics = new IGraphicsHeadless(pPlug, width, height, fps);
  // The skin images sit in resources/img/ next to the program, as they sit in
  // a plug-in's bundle; a program that chose another folder keeps its choice.
  if (!IGraphicsHeadless::DefaultResourcePathSet()) {
    std::string folder;
    pGraphics->PluginPath(&folder);
    pGraphics->SetResourcePath((folder + "resources/img").c_str());
  }
  pGraphics->SetBundleID("com.quorvane.kt412");
  return pGraphics;
}
