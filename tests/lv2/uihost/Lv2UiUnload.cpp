// kt412_lv2_ui_unload: a host of the editor library that unloads it, as
// suil does, and then goes on with its own X connection. Nothing of the
// library may be left behind: no X error handler, no thread, no exit hook.
//   kt412_lv2_ui_unload BUNDLE_DIR
// Exit 0 when the host's own error handler got its own bad request and the
// process is as it was before the library came.
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <fontconfig/fontconfig.h>
#include <dirent.h>
#include <dlfcn.h>

#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>

namespace {

std::map<std::string, LV2_URID> gIds;
LV2_URID Map(LV2_URID_Map_Handle, const char* uri) {
  auto it = gIds.find(uri);
  if (it != gIds.end()) return it->second;
  return gIds[uri] = static_cast<LV2_URID>(gIds.size() + 1);
}
void Write(LV2UI_Controller, uint32_t, uint32_t, uint32_t, const void*) {}

int gHostErrors = 0;
unsigned char gLastRequest = 0;
int HostHandler(Display*, XErrorEvent* ev) {
  ++gHostErrors;
  gLastRequest = ev->request_code;
  return 0;
}

int Threads() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
  }
  return n;
}

int Fail(const char* what) {
  std::fprintf(stderr, "kt412_lv2_ui_unload: %s\n", what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return std::fprintf(stderr, "usage: kt412_lv2_ui_unload BUNDLE_DIR\n"), 2;
  const std::string bundle = std::string(argv[1]) + "/";
  const std::string file = bundle + "kt412_ui.so";
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy) return std::fprintf(stderr, "kt412_lv2_ui_unload: no X display\n"), 2;
  XSetErrorHandler(HostHandler);
  const int threadsBefore = Threads();
  // The host's own fonts, as a desktop host has them before any plug-in comes.
  if (!FcInit()) return Fail("no fontconfig");
  FcConfig* fonts = FcConfigGetCurrent();

  void* lib = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!lib) return std::fprintf(stderr, "kt412_lv2_ui_unload: %s\n", dlerror()), 2;
  auto entry = reinterpret_cast<const LV2UI_Descriptor* (*)(uint32_t)>(dlsym(lib, "lv2ui_descriptor"));
  const LV2UI_Descriptor* d = entry ? entry(0) : nullptr;
  const auto* idle = d ? static_cast<const LV2UI_Idle_Interface*>(d->extension_data(LV2_UI__idleInterface)) : nullptr;
  if (!idle) return Fail("no descriptor with an idle interface");

  const Window parent = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 640, 480, 0, 0, 0);
  XMapWindow(dpy, parent);
  XSync(dpy, False);
  LV2_URID_Map map{nullptr, Map};
  LV2_Feature mapF{LV2_URID__map, &map};
  LV2_Feature parentF{LV2_UI__parent, reinterpret_cast<void*>(static_cast<uintptr_t>(parent))};
  const LV2_Feature* features[] = {&mapF, &parentF, nullptr};
  LV2UI_Widget widget = nullptr;
  LV2UI_Handle ui = d->instantiate(d, "urn:quorvane:kt412", bundle.c_str(), Write, nullptr, &widget, features);
  if (!ui) return Fail("no editor");
  for (int i = 0; i < 5; ++i) idle->idle(ui);
  d->cleanup(ui);
  if (gHostErrors != 0) return Fail("the editor's own requests reached the host's handler");

  dlclose(lib);
  if (dlopen(file.c_str(), RTLD_NOW | RTLD_NOLOAD)) return Fail("the library stayed loaded: nothing was shown");
  if (Threads() != threadsBefore) return Fail("a thread of the library outlived it");

  // A request on a window that does not exist, on the host's own connection.
  XMapWindow(dpy, static_cast<Window>(0x7fffff0));
  XSync(dpy, False);
  if (gHostErrors != 1 || gLastRequest != X_MapWindow) return Fail("the host's own handler did not get its error");
  // The host's font configuration is still the one it had.
  FcPattern* all = FcPatternCreate();
  FcObjectSet* fields = FcObjectSetBuild(FC_FAMILY, nullptr);
  FcFontSet* list = FcFontList(fonts, all, fields);
  const bool haveFonts = list && list->nfont > 0;
  if (list) FcFontSetDestroy(list);
  FcObjectSetDestroy(fields);
  FcPatternDestroy(all);
  if (!haveFonts) return Fail("the host's fonts are gone");
  XDestroyWindow(dpy, parent);
  XCloseDisplay(dpy);
  // A host that releases its own fonts: what is still allocated now and no
  // longer reachable is what the library left behind.
  FcFini();
  std::printf("kt412_lv2_ui_unload: the host's handler got its error after the library was gone\n");
  return 0;
}
