// The LV2 binding's saved state: the parameter chunk and the instance's MIDI-learn bindings.
#include <cmath>
#include <cstring>
#include <vector>

#include "lv2/IPluginLV2.h"

LV2_State_Status IPluginLV2::Lv2Save(LV2_State_Store_Function store, LV2_State_Handle handle) {
  if (!store) return LV2_STATE_ERR_UNKNOWN;
  ByteChunk chunk;
  if (!SerializeState(&chunk)) return LV2_STATE_ERR_UNKNOWN;
  // Plain bytes of fixed layout (little-endian doubles): the host may copy
  // them between machines and sessions.
  const uint32_t flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
  LV2_State_Status status = static_cast<LV2_State_Status>(
      store(handle, mUrids.paramsState, chunk.GetBytes(), static_cast<size_t>(chunk.Size()), mUrids.atomChunk, flags));
  if (status != LV2_STATE_SUCCESS || !mHooks.controllerOf) return status;

  std::vector<char> table(kControllersTag, kControllersTag + sizeof kControllersTag);
  for (int i = 0; i < NParams(); ++i) {
    const int cc = mHooks.controllerOf(this, i);
    table.push_back(static_cast<char>(cc >= 0 && cc <= 127 ? cc : -1));
  }
  return static_cast<LV2_State_Status>(
      store(handle, mUrids.controllersState, table.data(), table.size(), mUrids.atomChunk, flags));
}

LV2_State_Status IPluginLV2::Lv2Restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle) {
  if (!retrieve) return LV2_STATE_ERR_UNKNOWN;
  const size_t nParams = static_cast<size_t>(NParams());

  // Everything is checked before anything changes.
  size_t size = 0;
  uint32_t type = 0, flags = 0;
  const void* params = retrieve(handle, mUrids.paramsState, &size, &type, &flags);
  if (!params) return LV2_STATE_ERR_NO_PROPERTY;
  if (type != mUrids.atomChunk) return LV2_STATE_ERR_BAD_TYPE;
  if (size != nParams * sizeof(double)) return LV2_STATE_ERR_UNKNOWN;
  std::vector<double> values(nParams);
  std::memcpy(values.data(), params, size);
  for (size_t i = 0; i < nParams; ++i) {
    const IParam* p = GetParam(static_cast<int>(i));
    if (!std::isfinite(values[i]) || values[i] < p->GetMin() || values[i] > p->GetMax()) return LV2_STATE_ERR_UNKNOWN;
  }

  // The bindings are optional (a session saved without MIDI learn has
  // none), but when present they must be whole.
  std::vector<int> controllers;
  size = 0;
  type = 0;
  const void* table = mHooks.setControllers ? retrieve(handle, mUrids.controllersState, &size, &type, &flags) : nullptr;
  if (table) {
    if (type != mUrids.atomChunk) return LV2_STATE_ERR_BAD_TYPE;
    const auto* bytes = static_cast<const signed char*>(table);
    if (size != sizeof kControllersTag + nParams || std::memcmp(bytes, kControllersTag, sizeof kControllersTag))
      return LV2_STATE_ERR_UNKNOWN;
    for (size_t i = 0; i < nParams; ++i) {
      const int cc = bytes[sizeof kControllersTag + i];
      if (cc < -1) return LV2_STATE_ERR_UNKNOWN;
      controllers.push_back(cc);
    }
  }

  IMutexLock lock(this);
  // Bindings first: setting them may pass through the plug-in's own modes,
  // which the restored parameters then put back as they were saved.
  if (!controllers.empty()) mHooks.setControllers(this, controllers);
  ByteChunk chunk;
  chunk.PutBytes(values.data(), static_cast<int>(nParams * sizeof(double)));
  if (UnserializeState(&chunk, 0) != chunk.Size()) return LV2_STATE_ERR_UNKNOWN;
  RedrawParamControls();
  mAdoptPorts.store(true, std::memory_order_release);
  return LV2_STATE_SUCCESS;
}
