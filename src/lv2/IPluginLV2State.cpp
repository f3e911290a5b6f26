// The LV2 binding's saved state: the parameter chunk and the instance's MIDI-learn bindings.
#include "framework/IPluginState.h"
#include "lv2/IPluginLV2.h"

LV2_State_Status IPluginLV2::Lv2Save(LV2_State_Store_Function store, LV2_State_Handle handle) {
  if (!store) return LV2_STATE_ERR_UNKNOWN;
  IPluginState state;
  if (!state.Capture(*this, mHooks.controllerOf)) return LV2_STATE_ERR_UNKNOWN;
  ByteChunk params, table;
  state.AppendParams(&params);
  state.AppendControllers(&table);
  // Plain bytes of fixed layout (little-endian doubles): the host may copy
  // them between machines and sessions.
  const uint32_t flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
  LV2_State_Status status = static_cast<LV2_State_Status>(
      store(handle, mUrids.paramsState, params.GetBytes(), static_cast<size_t>(params.Size()), mUrids.atomChunk, flags));
  if (status != LV2_STATE_SUCCESS || table.Size() == 0) return status;
  return static_cast<LV2_State_Status>(
      store(handle, mUrids.controllersState, table.GetBytes(), static_cast<size_t>(table.Size()), mUrids.atomChunk, flags));
}

LV2_State_Status IPluginLV2::Lv2Restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle) {
  if (!retrieve) return LV2_STATE_ERR_UNKNOWN;

  // Everything is checked before anything changes, by the one state reader.
  size_t size = 0;
  uint32_t type = 0, flags = 0;
  const void* params = retrieve(handle, mUrids.paramsState, &size, &type, &flags);
  if (!params) return LV2_STATE_ERR_NO_PROPERTY;
  if (type != mUrids.atomChunk) return LV2_STATE_ERR_BAD_TYPE;
  IPluginState state;
  if (!state.ReadParams(*this, params, size, nullptr)) return LV2_STATE_ERR_UNKNOWN;

  // The bindings are optional (a session saved without MIDI learn has
  // none), but when present they must be whole.
  size = 0;
  type = 0;
  const void* table = mHooks.setControllers ? retrieve(handle, mUrids.controllersState, &size, &type, &flags) : nullptr;
  if (table) {
    if (type != mUrids.atomChunk) return LV2_STATE_ERR_BAD_TYPE;
    if (!state.ReadControllers(*this, table, size, nullptr)) return LV2_STATE_ERR_UNKNOWN;
  }

  IMutexLock lock(this);
  if (!state.Apply(*this, mHooks.setControllers)) return LV2_STATE_ERR_UNKNOWN;
  RedrawParamControls();
  mAdoptPorts.store(true, std::memory_order_release);
  ParamsChangedElsewhere();
  return LV2_STATE_SUCCESS;
}
