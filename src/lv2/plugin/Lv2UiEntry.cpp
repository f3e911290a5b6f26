// The KT-412 editor library's one exported symbol: its LV2 UI descriptor.
// The editor is the instrument's own, built on the LV2 editor binding, in an
// X11 window inside the parent window the host gives.
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include <lv2/ui/ui.h>

#include "instrument/QiKt412.h"
#include "lv2/plugin/Kt412Lv2.h"
#include "platform/x11/IGraphicsX11.h"

namespace {

// One open editor: the UI's own instrument (never the DSP's) and its view.
struct Editor {
  std::unique_ptr<QiKt412> plug;
  IGraphicsX11* view = nullptr;  // owned by plug
};

LV2UI_Handle Instantiate(const LV2UI_Descriptor* /*descriptor*/, const char* pluginUri, const char* /*bundlePath*/,
                         LV2UI_Write_Function write, LV2UI_Controller controller, LV2UI_Widget* widget,
                         const LV2_Feature* const* features) {
  void* parent = nullptr;
  for (int i = 0; features && features[i]; ++i)
    if (!std::strcmp(features[i]->URI, LV2_UI__parent)) parent = features[i]->data;
  // The editor only lives embedded: a host without a parent window gets none.
  if (!parent || !widget || !write) return nullptr;
  auto editor = std::make_unique<Editor>();
  editor->plug.reset(new (std::nothrow) QiKt412());
  if (!editor->plug || !editor->plug->Lv2UiInstantiate(pluginUri, features, write, controller, Kt412PortRoles()))
    return nullptr;
  editor->view = dynamic_cast<IGraphicsX11*>(editor->plug->Graphics());
  if (!editor->view) return nullptr;
  // The host's scale factor, when it gives one, decides over the desktop's;
  // the view draws at the nearest of 1, 1.5 and 2.
  if (const double factor = editor->plug->HostScaleFactor(); factor > 0.0) editor->view->SetOutputScale(factor);
  if (!editor->view->OpenWindow(parent)) return nullptr;
  *widget = reinterpret_cast<LV2UI_Widget>(static_cast<uintptr_t>(editor->view->XWindowId()));
  // The host sizes its frame by what we ask: the window's size on screen.
  editor->plug->SetWindowScale(editor->view->OutputScale());
  editor->plug->ResizeGraphics(QiKt412::kEditorWidth, QiKt412::kEditorHeight);
  // The ports the host shows us next may not be what sounds (a learned
  // controller moved it, a session restored it): the DSP tells us those.
  editor->plug->RequestPublishedValues();
  return editor.release();
}

void Cleanup(LV2UI_Handle handle) {
  auto* editor = static_cast<Editor*>(handle);
  if (editor->view) editor->view->CloseWindow();
  delete editor;
}

void PortEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
  static_cast<Editor*>(handle)->plug->Lv2PortEvent(port, size, format, buffer);
}

// The host's idle call drives the view: events, then a redraw when due.
// Non-zero tells the host the window is gone.
int Idle(LV2UI_Handle handle) {
  auto* editor = static_cast<Editor*>(handle);
  return editor->view && editor->view->Idle() ? 0 : 1;
}

const LV2UI_Idle_Interface kIdle = {Idle};

const void* ExtensionData(const char* uri) {
  if (uri && !std::strcmp(uri, LV2_UI__idleInterface)) return &kIdle;
  return nullptr;
}

const LV2UI_Descriptor kDescriptor = {kKt412Lv2UiUri, Instantiate, Cleanup, PortEvent, ExtensionData};

}  // namespace

extern "C" LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
  return index == 0 ? &kDescriptor : nullptr;
}
