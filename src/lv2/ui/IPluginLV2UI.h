// The editor side of the LV2 plug-in: a binding of the plug-in base that
// talks to the DSP only through the host's ports.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include "framework/IPluginBase.h"
#include "lv2/describe/Lv2PortLayout.h"

// Stands where a host wrapper stands when the plug-in class runs inside an
// LV2 UI: an instance of its own, beside (never inside) the DSP instance,
// whose parameters mirror the ports and whose editor is what the user sees.
//
// Editor -> DSP: a control edit (SetParameterFromGUI) reaches the host as a
// float written to the parameter's port, between touch notices for the
// gesture when the host offers ui:touch; a parameter without a port (learn,
// clear) goes as the plug-in's own atom message on the event port. A preset
// the editor loads tells the host of each value the same way, so the ports
// follow it. Host -> editor: a port event sets the parameter and moves its
// controls; the plug-in's OnParamChange is not run for it (the sound is the
// DSP's business), so nothing echoes back to the host. So do the DSP's own
// notifications (values the ports did not make: learned controllers, a
// restored state), our atom message on the notification port; an editor that
// opens asks for all of them once (RequestPublishedValues).
//
// Lifecycle: the UI entry creates the plug-in (which builds its editor),
// then Lv2UiInstantiate; port events and idle calls; delete.
// Threads: every call comes on the host's UI thread.
class IPluginLV2UI : public IPluginBase {
public:
  IPluginLV2UI(int nParams, const char* channelIOStr, int nPresets, const char* effectName,
               const char* productName, const char* mfrName, int vendorVersion, int uniqueID,
               int mfrID, int latency, bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst);

  void BeginInformHostOfParamChange(int paramIdx) override;
  void InformHostOfParamChange(int paramIdx, double normalizedValue) override;
  void EndInformHostOfParamChange(int paramIdx) override;
  void InformHostOfProgramChange() override {}
  int GetSamplePos() override { return 0; }
  double GetTempo() override { return 120.0; }
  void GetTimeSig(int* pNum, int* pDenom) override;
  void GetTime(ITimeInfo* pTimeInfo) override;
  // Asks the host to resize the editor's window, when it offers ui:resize:
  // for the size in screen pixels, the editor's times the window's scale,
  // rounded (888 x 663 for 592 x 442 at 1.5).
  void ResizeGraphics(int w, int h) override;
  // MIDI never comes out of an editor.
  bool SendMidiMsg(IMidiMsg* /*pMsg*/) override { return false; }

  // Takes the host's write function and features (urid:map is required;
  // ui:touch, ui:resize and the options' ui:scaleFactor are used when given).
  // False without urid:map.
  bool Lv2UiInstantiate(const char* pluginUri, const LV2_Feature* const* features,
                        LV2UI_Write_Function write, LV2UI_Controller controller,
                        const std::vector<Lv2PortRole>& roles);
  // A port's value from the host (float protocol), or the DSP's message on
  // the notification port (event transfer). Other protocols, ports the layout
  // does not have, malformed messages and values that are not finite are ignored.
  void Lv2PortEvent(uint32_t port, uint32_t bufferSize, uint32_t format, const void* buffer);
  // Asks the DSP for every parameter value the ports do not show.
  void RequestPublishedValues();

  const Lv2PortLayout* Layout() const { return mLayout.get(); }
  // The host's ui:scaleFactor option; 0 when it gave none.
  double HostScaleFactor() const { return mHostScale; }
  // Screen pixels per editor pixel of the open window (the view decides it:
  // 1, 1.5 or 2).
  void SetWindowScale(float scale) { mWindowScale = scale > 0.0f ? scale : 1.0f; }
  // Number of writes and touch notices sent so far (for diagnostics).
  int WritesSent() const { return mWrites; }

private:
  void SendEditorParam(int paramIdx, double value);
  // The editor shows a value the DSP uses (clamped to the parameter's range).
  void ShowValue(int paramIdx, double value);
  void ReadNotification(const void* buffer, uint32_t size);

  std::unique_ptr<Lv2PortLayout> mLayout;
  LV2UI_Write_Function mWrite = nullptr;
  LV2UI_Controller mController = nullptr;
  const LV2UI_Touch* mTouch = nullptr;
  const LV2UI_Resize* mResize = nullptr;
  const LV2_URID_Map* mMap = nullptr;
  LV2_URID mEventTransfer = 0, mEditorParamMsg = 0, mParamIndex = 0, mParamValue = 0, mAtomObject = 0, mAtomInt = 0,
           mAtomDouble = 0;
  int mWrites = 0;
  double mHostScale = 0.0;
  float mWindowScale = 1.0f;
};
