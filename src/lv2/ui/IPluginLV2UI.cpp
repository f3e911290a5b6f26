// The editor side of the LV2 plug-in: parameters to ports and back.
#include "lv2/ui/IPluginLV2UI.h"

#include <cmath>
#include <cstring>
#include <string>

#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>

#include "framework/IEditor.h"
#include "lv2/describe/Lv2TtlWriter.h"

IPluginLV2UI::IPluginLV2UI(int nParams, const char* channelIOStr, int nPresets, const char* effectName,
                           const char* productName, const char* mfrName, int vendorVersion, int uniqueID,
                           int mfrID, int latency, bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst)
    : IPluginBase(nParams, channelIOStr, nPresets, effectName, productName, mfrName, vendorVersion,
                  uniqueID, mfrID, latency, plugDoesMidi, plugDoesChunks, plugIsInst, kAPISA) {}

void IPluginLV2UI::GetTimeSig(int* pNum, int* pDenom) {
  if (pNum) *pNum = 4;
  if (pDenom) *pDenom = 4;
}

void IPluginLV2UI::GetTime(ITimeInfo* pTimeInfo) {
  if (!pTimeInfo) return;
  pTimeInfo->mTempo = GetTempo();
  GetTimeSig(&pTimeInfo->mNumerator, &pTimeInfo->mDenominator);
}

void IPluginLV2UI::ResizeGraphics(int w, int h) {
  if (mResize && mResize->ui_resize && w > 0 && h > 0)
    mResize->ui_resize(mResize->handle, (int)std::lround((float)w * mWindowScale),
                       (int)std::lround((float)h * mWindowScale));
  if (GetGUI()) OnWindowResize();
}

bool IPluginLV2UI::Lv2UiInstantiate(const char* pluginUri, const LV2_Feature* const* features,
                                    LV2UI_Write_Function write, LV2UI_Controller controller,
                                    const std::vector<Lv2PortRole>& roles) {
  const LV2_URID_Map* map = nullptr;
  const LV2_Options_Option* options = nullptr;
  for (int i = 0; features && features[i]; ++i) {
    if (!std::strcmp(features[i]->URI, LV2_OPTIONS__options))
      options = static_cast<const LV2_Options_Option*>(features[i]->data);
    if (!std::strcmp(features[i]->URI, LV2_URID__map)) map = static_cast<const LV2_URID_Map*>(features[i]->data);
    if (!std::strcmp(features[i]->URI, LV2_UI__touch)) mTouch = static_cast<const LV2UI_Touch*>(features[i]->data);
    if (!std::strcmp(features[i]->URI, LV2_UI__resize)) mResize = static_cast<const LV2UI_Resize*>(features[i]->data);
  }
  if (!map || !map->map) return false;
  const std::string uri = pluginUri ? pluginUri : "";
  auto m = [map](const std::string& u) { return map->map(map->handle, u.c_str()); };
  mMap = map;
  const LV2_URID scaleFactor = m(LV2_UI__scaleFactor), atomFloat = m(LV2_ATOM__Float), atomDouble = m(LV2_ATOM__Double);
  for (int i = 0; options && options[i].key; ++i) {
    const LV2_Options_Option& o = options[i];
    if (o.key != scaleFactor || !o.value) continue;
    double v = 0.0;
    if (o.type == atomFloat && o.size == sizeof(float)) v = *static_cast<const float*>(o.value);
    else if (o.type == atomDouble && o.size == sizeof(double)) v = *static_cast<const double*>(o.value);
    if (std::isfinite(v) && v > 0.0 && v <= 16.0) mHostScale = v;
  }
  mEventTransfer = m(LV2_ATOM__eventTransfer);
  mEditorParamMsg = m(Lv2Uri(uri, Lv2Keys::kEditorParamMsg));
  mParamIndex = m(Lv2Uri(uri, Lv2Keys::kParamIndex));
  mParamValue = m(Lv2Uri(uri, Lv2Keys::kParamValue));
  mAtomObject = m(LV2_ATOM__Object);
  mAtomInt = m(LV2_ATOM__Int);
  mAtomDouble = atomDouble;
  mWrite = write;
  mController = controller;
  mLayout = std::make_unique<Lv2PortLayout>(*this, roles);
  return true;
}

void IPluginLV2UI::BeginInformHostOfParamChange(int paramIdx) {
  const int port = mLayout ? mLayout->PortOfParam(paramIdx) : -1;
  if (port >= 0 && mTouch && mTouch->touch) {
    mTouch->touch(mTouch->handle, static_cast<uint32_t>(port), true);
    ++mWrites;
  }
}

void IPluginLV2UI::EndInformHostOfParamChange(int paramIdx) {
  const int port = mLayout ? mLayout->PortOfParam(paramIdx) : -1;
  if (port >= 0 && mTouch && mTouch->touch) {
    mTouch->touch(mTouch->handle, static_cast<uint32_t>(port), false);
    ++mWrites;
  }
}

void IPluginLV2UI::InformHostOfParamChange(int paramIdx, double normalizedValue) {
  if (!mLayout || !mWrite) return;
  const IParam* param = GetParam(paramIdx);
  if (!param) return;
  const double value = param->GetNonNormalized(normalizedValue);
  const int port = mLayout->PortOfParam(paramIdx);
  if (port >= 0) {
    // An output port is the DSP's to write.
    if (mLayout->RoleOf(paramIdx) == Lv2PortRole::kOutput) return;
    const float v = static_cast<float>(value);
    mWrite(mController, static_cast<uint32_t>(port), sizeof v, 0, &v);
    ++mWrites;
  } else if (!param->GetIsMeta()) {
    // Learn and clear: the DSP's own state, steered by our message. The
    // preset buttons stay here (the editor loads the preset and the values
    // reach the ports one by one).
    SendEditorParam(paramIdx, value);
  }
}

void IPluginLV2UI::SendEditorParam(int paramIdx, double value) {
  alignas(8) uint8_t buffer[128];
  LV2_Atom_Forge forge;
  lv2_atom_forge_init(&forge, const_cast<LV2_URID_Map*>(mMap));
  lv2_atom_forge_set_buffer(&forge, buffer, sizeof buffer);
  LV2_Atom_Forge_Frame frame;
  const LV2_Atom_Forge_Ref msg = lv2_atom_forge_object(&forge, &frame, 0, mEditorParamMsg);
  lv2_atom_forge_key(&forge, mParamIndex);
  lv2_atom_forge_int(&forge, paramIdx);
  lv2_atom_forge_key(&forge, mParamValue);
  lv2_atom_forge_double(&forge, value);
  lv2_atom_forge_pop(&forge, &frame);
  if (!msg) return;
  const auto* atom = reinterpret_cast<const LV2_Atom*>(buffer);
  mWrite(mController, Lv2PortLayout::kEventsIn, static_cast<uint32_t>(sizeof(LV2_Atom) + atom->size), mEventTransfer,
         buffer);
  ++mWrites;
}

void IPluginLV2UI::Lv2PortEvent(uint32_t port, uint32_t bufferSize, uint32_t format, const void* buffer) {
  if (!mLayout || !buffer || port >= static_cast<uint32_t>(mLayout->NPorts())) return;
  if (static_cast<int>(port) == mLayout->NotifyPort()) {
    if (format == mEventTransfer && mEventTransfer != 0) ReadNotification(buffer, bufferSize);
    return;
  }
  if (format != 0 || bufferSize != sizeof(float)) return;
  const Lv2Port& layoutPort = mLayout->Port(static_cast<int>(port));
  const int paramIdx = layoutPort.paramIdx;
  if (paramIdx < 0) return;
  float v;
  std::memcpy(&v, buffer, sizeof v);
  // A switch shows on for any value above 0, as the sound takes it.
  if (layoutPort.toggled && std::isfinite(v)) v = v > 0.0f ? 1.0f : 0.0f;
  // The LED's control follows its output port like any other.
  ShowValue(paramIdx, v);
}

void IPluginLV2UI::ShowValue(int paramIdx, double value) {
  if (!std::isfinite(value)) return;
  IMutexLock lock(this);
  IParam* param = GetParam(paramIdx);
  if (!param) return;
  param->Set(value);
  if (IEditor* gui = GetGUI()) gui->SetParameterFromPlug(paramIdx, param->Value(), false);
}

void IPluginLV2UI::ReadNotification(const void* buffer, uint32_t size) {
  // One atom: our object with the parameter's index and value. The host's
  // copy may be aligned to 4 bytes only, so nothing is read in place.
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  LV2_Atom atom;
  LV2_Atom_Object_Body obj;
  if (size < sizeof atom + sizeof obj) return;
  std::memcpy(&atom, bytes, sizeof atom);
  std::memcpy(&obj, bytes + sizeof atom, sizeof obj);
  if (atom.type != mAtomObject || atom.size > size - sizeof atom || obj.otype != mEditorParamMsg) return;
  const uint32_t end = static_cast<uint32_t>(sizeof atom) + atom.size;
  int32_t paramIdx = -1;
  double value = 0.0;
  bool haveIndex = false, haveValue = false;
  for (uint32_t pos = sizeof atom + sizeof obj; pos + sizeof(LV2_Atom_Property_Body) <= end;) {
    LV2_Atom_Property_Body prop;
    std::memcpy(&prop, bytes + pos, sizeof prop);
    if (prop.value.size > end - pos - sizeof prop) return;
    const uint8_t* body = bytes + pos + sizeof prop;
    if (prop.key == mParamIndex && prop.value.type == mAtomInt && prop.value.size == sizeof paramIdx) {
      std::memcpy(&paramIdx, body, sizeof paramIdx);
      haveIndex = true;
    } else if (prop.key == mParamValue && prop.value.type == mAtomDouble && prop.value.size == sizeof value) {
      std::memcpy(&value, body, sizeof value);
      haveValue = true;
    }
    pos += static_cast<uint32_t>(sizeof prop) + lv2_atom_pad_size(prop.value.size);
  }
  if (haveIndex && haveValue && paramIdx >= 0 && paramIdx < NParams()) ShowValue(paramIdx, value);
}

void IPluginLV2UI::RequestPublishedValues() {
  if (mLayout && mWrite) SendEditorParam(Lv2Keys::kAllParamsIndex, 0.0);
}
