// kt412_lv2_ui_cycles: a bare host of the editor library, as suil would be,
// on the X display of the environment. It opens and closes the editor many
// times inside a parent window of its own, feeds it port events and idle
// calls, closes some editors after their parent window is gone, and checks
// that the editor writes nothing back for values that came from the host.
// The editors take turns with the host's scale factor: none, 1.5, 2 and
// 1.25 (drawn at 1.5). The window is the editor times the scale, rounded
// (888 x 663 at 1.5), and that is the size it asks the host for.
//   kt412_lv2_ui_cycles BUNDLE_DIR [CYCLES]
#include <X11/Xlib.h>
#include <dlfcn.h>

#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

std::map<std::string, LV2_URID> gIds;
LV2_URID Map(LV2_URID_Map_Handle, const char* uri) {
  auto it = gIds.find(uri);
  if (it != gIds.end()) return it->second;
  const LV2_URID id = static_cast<LV2_URID>(gIds.size() + 1);
  gIds[uri] = id;
  return id;
}

int gWrites = 0;
// Port values written (format 0); the editor's own messages are not echoes.
void Write(LV2UI_Controller, uint32_t, uint32_t, uint32_t format, const void*) { gWrites += format == 0; }
// The size the editor asked for last.
int gAskedW = 0, gAskedH = 0;
int Resize(LV2UI_Feature_Handle, int w, int h) {
  gAskedW = w;
  gAskedH = h;
  return 0;
}

int Fail(const char* what, int cycle) {
  std::fprintf(stderr, "kt412_lv2_ui_cycles: %s (cycle %d)\n", what, cycle);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: kt412_lv2_ui_cycles BUNDLE_DIR [CYCLES]\n");
    return 2;
  }
  const std::string bundle = std::string(argv[1]) + "/";
  const int cycles = argc > 2 ? std::atoi(argv[2]) : 60;
  void* lib = dlopen((bundle + "kt412_ui.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!lib) return std::fprintf(stderr, "kt412_lv2_ui_cycles: %s\n", dlerror()), 2;
  auto entry = reinterpret_cast<const LV2UI_Descriptor* (*)(uint32_t)>(dlsym(lib, "lv2ui_descriptor"));
  const LV2UI_Descriptor* d = entry ? entry(0) : nullptr;
  if (!d || entry(1)) return Fail("no single UI descriptor", 0);
  const auto* idle = static_cast<const LV2UI_Idle_Interface*>(d->extension_data(LV2_UI__idleInterface));
  if (!idle) return Fail("no idle interface", 0);

  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy) return std::fprintf(stderr, "kt412_lv2_ui_cycles: no X display\n"), 2;

  LV2_URID_Map map{nullptr, Map};
  LV2UI_Resize resize{nullptr, Resize};
  const float values[] = {-3.0f, 0.25f, 0.75f, 0.1f, 0.9f, 0.0f, 1.0f, 0.5f, 0.33f, 1.0f, 0.0f, 0.0f, 1.0f};
  for (int cycle = 0; cycle < cycles; ++cycle) {
    const Window parent = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 640, 480, 0, 0, 0);
    XMapWindow(dpy, parent);
    XSync(dpy, False);
    LV2_Feature mapF{LV2_URID__map, &map};
    LV2_Feature parentF{LV2_UI__parent, reinterpret_cast<void*>(static_cast<uintptr_t>(parent))};
    LV2_Feature resizeF{LV2_UI__resize, &resize};
    struct Turn {
      float factor;  // 0: the host gives none
      unsigned w, h;
    };
    const Turn turns[] = {{0.0f, 592, 442}, {1.5f, 888, 663}, {2.0f, 1184, 884}, {1.25f, 888, 663}};
    const Turn& turn = turns[cycle % 4];
    const float scale = turn.factor;
    const LV2_Options_Option options[] = {
        {LV2_OPTIONS_INSTANCE, 0, Map(nullptr, LV2_UI__scaleFactor), sizeof scale, Map(nullptr, LV2_ATOM__Float), &scale},
        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    LV2_Feature optionsF{LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(options)};
    const LV2_Feature* features[] = {&mapF, &parentF, &resizeF, turn.factor > 0.0f ? &optionsF : nullptr, nullptr};
    LV2UI_Widget widget = nullptr;
    gWrites = 0;
    LV2UI_Handle ui = d->instantiate(d, "urn:quorvane:kt412", bundle.c_str(), Write, nullptr, &widget, features);
    if (!ui || !widget) return Fail("no editor", cycle);
    Window root;
    int x, y;
    unsigned w = 0, h = 0, border, depth;
    XGetGeometry(dpy, static_cast<Window>(reinterpret_cast<uintptr_t>(widget)), &root, &x, &y, &w, &h, &border, &depth);
    if (w != turn.w || h != turn.h) return Fail("the window is not at the host's scale", cycle);
    if (gAskedW != static_cast<int>(w) || gAskedH != static_cast<int>(h))
      return Fail("the editor asked for another size than its window has", cycle);
    gAskedW = gAskedH = 0;
    // The host's values, ports 3..15, then a few redraws.
    for (uint32_t port = 3; port < 16; ++port) d->port_event(ui, port, sizeof(float), 0, &values[port - 3]);
    d->port_event(ui, 99, sizeof(float), 0, &values[0]);  // a port the plug-in does not have
    for (int i = 0; i < 3; ++i)
      if (idle->idle(ui) != 0) return Fail("the editor closed by itself", cycle);
    if (gWrites != 0) return Fail("values from the host were written back", cycle);
    // Every fifth editor loses its parent before it is closed, as when a
    // host tears its window down first.
    if (cycle % 5 == 4) {
      XDestroyWindow(dpy, parent);
      XSync(dpy, False);
      idle->idle(ui);
      d->cleanup(ui);
    } else {
      d->cleanup(ui);
      XDestroyWindow(dpy, parent);
    }
  }
  XCloseDisplay(dpy);
  std::printf("kt412_lv2_ui_cycles: %d editors opened and closed\n", cycles);
  // The library stays loaded, as hosts keep it: its image and font caches
  // live for the process.
  return 0;
}
