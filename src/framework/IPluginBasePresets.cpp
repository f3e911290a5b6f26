// IPluginBase: parameter state chunks, the preset list and preset source dumps.
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "framework/ILog.h"
#include "framework/IPluginBase.h"
#include "util/Base64.h"

namespace {

// A preset's parameter index is a constant of the plug-in's own code: a bad
// one is a programming error and stops every build, not only debug.
void RequireValid(bool cond, const char* conditionText) {
  if (!cond) {
    std::fprintf(stderr, "Assertion failed: %s\n", conditionText);
    std::abort();
  }
}

bool IsDiscrete(const IParam* pParam) {
  IParam::EParamType type = pParam->Type();
  return type == IParam::kTypeBool || type == IParam::kTypeInt || type == IParam::kTypeEnum;
}

const char* kUserPresetName = "user preset";

}  // namespace

// ---- Parameter state ----

bool IPluginBase::SerializeParams(ByteChunk* pChunk) {
  if (!pChunk) return false;
  IMutexLock lock(this);
  for (int i = 0; i < NParams(); ++i) {
    IParam* pParam = GetParam(i);
    double v = pParam->Value();
    TRACE("%d %s %f", i, pParam->GetNameForHost(), v);
    if (pChunk->Put(&v) <= 0) return false;
  }
  return true;
}

int IPluginBase::UnserializeParams(ByteChunk* pChunk, int startPos) {
  IMutexLock lock(this);
  int pos = pChunk ? startPos : -1;
  bool rejected = false;
  for (int i = 0; i < NParams() && pos >= 0; ++i) {
    IParam* pParam = GetParam(i);
    TRACE("%d %s %f", i, pParam->GetNameForHost(), pParam->Value());
    double v = 0.0;
    pos = pChunk->Get(&v, pos);
    // A value the chunk does not hold is not made up: the parameter keeps
    // its value. Nor is a non-finite one applied, which clamping would turn
    // into a bound (or, for NaN, store as it stands).
    if (pos < 0) break;
    if (!std::isfinite(v)) {
      rejected = true;
      continue;
    }
    pParam->Set(v);
  }
  OnParamReset();
  return rejected ? -1 : pos;
}

bool IPluginBase::CompareState(const unsigned char* incomingState, int startPos) {
  if (!incomingState || startPos < 0) return false;
  for (int i = 0; i < NParams(); ++i) {
    double v;
    std::memcpy(&v, incomingState + (static_cast<std::size_t>(startPos) + i) * sizeof(double),
                sizeof(double));
    float incoming = static_cast<float>(v);
    float current = static_cast<float>(GetParam(i)->Value());
    // The difference is taken in single precision and compared with the
    // decimal 0.00001 in double: the float nearest 0.00001 lies just below it
    // and must count as a match. Written so that NaN counts as a difference.
    if (!(static_cast<double>(std::fabs(incoming - current)) < 0.00001)) return false;
  }
  return true;
}

// ---- Presets ----

IPreset* IPluginBase::GetNextUninitializedPreset() {
  for (auto& pPreset : mPresets) {
    if (!pPreset->mInitialized) return pPreset.get();
  }
  return nullptr;
}

void IPluginBase::MakeDefaultPreset(const char* name, int nPresets) {
  for (int i = 0; i < nPresets; ++i) {
    IPreset* pPreset = GetNextUninitializedPreset();
    if (!pPreset) return;
    pPreset->mInitialized = true;
    pPreset->SetName(name ? name : "Empty");
    // A slot read back as empty from a preset list may still hold its old
    // bytes; the state must start the chunk, not follow them.
    pPreset->mChunk.Clear();
    SerializeState(&pPreset->mChunk);
  }
}

void IPluginBase::EnsureDefaultPreset() { MakeDefaultPreset("Empty", NPresets()); }

void IPluginBase::FillPresetChunk(IPreset* pPreset, const std::vector<double>& values) {
  pPreset->mChunk.Clear();
  for (double v : values) pPreset->mChunk.Put(&v);
}

void IPluginBase::MakePreset(const char* name, ...) {
  IPreset* pPreset = GetNextUninitializedPreset();
  if (!pPreset) return;
  pPreset->mInitialized = true;
  pPreset->SetName(name);

  std::vector<double> values(static_cast<std::size_t>(NParams()));
  va_list vp;
  va_start(vp, name);
  for (int i = 0; i < NParams(); ++i) {
    // Discrete values travel as int through the variadic call, the others as double.
    values[static_cast<std::size_t>(i)] =
        IsDiscrete(GetParam(i)) ? static_cast<double>(va_arg(vp, int)) : va_arg(vp, double);
  }
  va_end(vp);
  FillPresetChunk(pPreset, values);
}

void IPluginBase::MakePresetFromNamedParams(const char* name, int nParamsNamed, ...) {
  IPreset* pPreset = GetNextUninitializedPreset();
  if (!pPreset) return;
  pPreset->mInitialized = true;
  pPreset->SetName(name);

  const int n = NParams();
  std::vector<double> values(static_cast<std::size_t>(n));
  // Which parameters were named is kept apart from the values, so that every
  // value (however unusual) can be named.
  std::vector<bool> named(static_cast<std::size_t>(n), false);
  va_list vp;
  va_start(vp, nParamsNamed);
  for (int i = 0; i < nParamsNamed; ++i) {
    int paramIdx = va_arg(vp, int);
    RequireValid(paramIdx >= 0 && paramIdx < n, "paramIdx >= 0 && paramIdx < n");
    double v = IsDiscrete(GetParam(paramIdx)) ? static_cast<double>(va_arg(vp, int)) : va_arg(vp, double);
    values[static_cast<std::size_t>(paramIdx)] = v;
    named[static_cast<std::size_t>(paramIdx)] = true;
  }
  va_end(vp);

  for (int i = 0; i < n; ++i) {
    if (!named[static_cast<std::size_t>(i)]) values[static_cast<std::size_t>(i)] = GetParam(i)->Value();
  }
  FillPresetChunk(pPreset, values);
}

void IPluginBase::MakePresetFromChunk(const char* name, ByteChunk* pChunk) {
  IPreset* pPreset = GetNextUninitializedPreset();
  if (!pPreset) return;
  pPreset->mInitialized = true;
  pPreset->SetName(name);
  pPreset->mChunk.Clear();  // old bytes of an emptied slot would be read first
  pPreset->mChunk.PutChunk(pChunk);
}

void IPluginBase::MakePresetFromBlob(const char* name, const char* blob, int sizeOfChunk) {
  ByteChunk chunk;
  chunk.Resize(sizeOfChunk);
  base64decode(blob, chunk.GetBytes(), chunk.Size());
  MakePresetFromChunk(name, &chunk);
}

void IPluginBase::PruneUninitializedPresets() {
  std::erase_if(mPresets, [](const std::unique_ptr<IPreset>& p) { return !p->mInitialized; });
}

bool IPluginBase::RestorePreset(int idx) {
  if (idx < 0 || idx >= NPresets()) return false;
  IPreset* pPreset = mPresets[static_cast<std::size_t>(idx)].get();
  bool restored;
  if (pPreset->mInitialized) {
    restored = UnserializeState(&pPreset->mChunk, 0) > 0;
  } else {
    // An empty slot becomes a user preset holding the current state.
    char name[IPreset::kNameSize];
    MakeDefaultUserPresetName(name, IPreset::kNameSize);
    pPreset->mInitialized = true;
    pPreset->SetName(name);
    pPreset->mChunk.Clear();
    restored = SerializeState(&pPreset->mChunk);
  }
  if (restored) {
    mCurrentPresetIdx = idx;
    PresetsChangedByHost();
    RedrawParamControls();
  }
  return restored;
}

bool IPluginBase::RestorePreset(const char* name) {
  if (!name || !name[0]) return false;
  for (int i = 0; i < NPresets(); ++i) {
    if (std::strcmp(mPresets[static_cast<std::size_t>(i)]->mName, name) == 0) return RestorePreset(i);
  }
  return false;
}

const char* IPluginBase::GetPresetName(int idx) const {
  return idx >= 0 && idx < NPresets() ? mPresets[static_cast<std::size_t>(idx)]->mName : "";
}

void IPluginBase::ModifyCurrentPreset(const char* name) {
  if (mCurrentPresetIdx < 0 || mCurrentPresetIdx >= NPresets()) return;
  IPreset* pPreset = mPresets[static_cast<std::size_t>(mCurrentPresetIdx)].get();
  pPreset->mChunk.Clear();
  SerializeState(&pPreset->mChunk);
  if (name && name[0]) pPreset->SetName(name);
  TRACE("%d %s", mCurrentPresetIdx, pPreset->mName);
}

void IPluginBase::MakeDefaultUserPresetName(char* rName, int size) const {
  int nUser = 0;
  for (const auto& pPreset : mPresets) {
    if (std::strstr(pPreset->mName, kUserPresetName)) ++nUser;
  }
  if (rName && size > 0) std::snprintf(rName, static_cast<std::size_t>(size), "%s %d", kUserPresetName, nUser + 1);
}

bool IPluginBase::SerializePresets(ByteChunk* pChunk) {
  if (!pChunk) return false;
  for (int i = 0; i < NPresets(); ++i) {
    IPreset* pPreset = mPresets[static_cast<std::size_t>(i)].get();
    TRACE("%d %s", i, pPreset->mName);
    pChunk->PutStr(pPreset->mName);
    pChunk->PutBool(pPreset->mInitialized);
    if (pPreset->mInitialized && pChunk->PutChunk(&pPreset->mChunk) <= 0) return false;
  }
  return true;
}

int IPluginBase::UnserializePresets(ByteChunk* pChunk, int startPos) {
  int pos = pChunk ? startPos : -1;
  for (int i = 0; i < NPresets() && pos >= 0; ++i) {
    IPreset* pPreset = mPresets[static_cast<std::size_t>(i)].get();
    std::string name;
    pos = pChunk->GetStr(&name, pos);
    // A name that is not wholly in the chunk leaves the preset as it was.
    if (pos < 0 || pos > pChunk->Size()) {
      pos = -1;
      break;
    }
    pPreset->SetName(name.c_str());
    TRACE("%d %s", i, pPreset->mName);
    bool initialized = false;
    pos = pChunk->GetBool(&initialized, pos);
    if (pos < 0) break;
    if (!initialized) {
      pPreset->mInitialized = false;
      continue;
    }
    // The state goes through the live plug-in and is written back, so the
    // preset ends up in the layout of the running version. A state that does
    // not read back whole leaves the preset's own state and flag as they were.
    pos = UnserializeState(pChunk, pos);
    if (pos > 0) {
      pPreset->mInitialized = true;
      pPreset->mChunk.Clear();
      SerializeState(&pPreset->mChunk);
    }
  }
  RestorePreset(mCurrentPresetIdx);
  return pos;
}

// ---- Source dumps ----

void IPluginBase::DumpPresetSrcCode(const char* filename, const char* paramEnumNames[]) {
  if (!filename || !paramEnumNames) return;
  FILE* fp = std::fopen(filename, "w");
  if (!fp) return;
  std::fprintf(fp, "  MakePresetFromNamedParams(\"name\", %d", NParams());
  for (int i = 0; i < NParams(); ++i) {
    const IParam* pParam = GetParam(i);
    char valueText[64];
    if (pParam->Type() == IParam::kTypeBool) {
      std::snprintf(valueText, sizeof valueText, "%s", pParam->Bool() ? "true" : "false");
    } else if (IsDiscrete(pParam)) {
      std::snprintf(valueText, sizeof valueText, "%d", pParam->Int());
    } else {
      std::snprintf(valueText, sizeof valueText, "%.6f", pParam->Value());
    }
    const char* enumName = paramEnumNames[i] ? paramEnumNames[i] : "";
    std::fprintf(fp, ",\n    %s, %s", enumName, valueText);
  }
  std::fprintf(fp, ");\n");
  std::fclose(fp);
}

void IPluginBase::DumpBlob(FILE* fp, const ByteChunk& chunk) {
  // The text buffer is sized from the chunk, so no chunk is too large to dump.
  std::vector<char> text(static_cast<std::size_t>(Base64EncodedSize(chunk.Size())));
  base64encode(chunk.GetBytes(), text.data(), chunk.Size());
  std::fprintf(fp, "%s\", %i);\n", text.data(), chunk.Size());
}

void IPluginBase::DumpPresetBlob(const char* filename) {
  if (!filename || mCurrentPresetIdx < 0 || mCurrentPresetIdx >= NPresets()) return;
  FILE* fp = std::fopen(filename, "w");
  if (!fp) return;
  const IPreset* pPreset = mPresets[static_cast<std::size_t>(mCurrentPresetIdx)].get();
  std::fprintf(fp, "MakePresetFromBlob(\"name\", \"");
  DumpBlob(fp, pPreset->mChunk);
  std::fclose(fp);
}

void IPluginBase::DumpBankBlob(const char* filename) {
  if (!filename) return;
  FILE* fp = std::fopen(filename, "w");
  if (!fp) return;
  for (const auto& pPreset : mPresets) {
    std::fprintf(fp, "MakePresetFromBlob(\"%s\", \"", pPreset->mName);
    DumpBlob(fp, pPreset->mChunk);
  }
  std::fclose(fp);
}
