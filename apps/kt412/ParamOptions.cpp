// Command-line access to the instrument's parameters and state chunk files.
#include "ParamOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <ostream>
#include <sstream>
#include <vector>

#include "framework/ByteChunk.h"
#include "framework/IPluginBase.h"
#include "framework/IPluginState.h"
#include "instrument/QiKt412.h"
#include "util/UTIL_AtomicFile.h"

namespace {

bool SameIgnoringCase(const std::string& a, const char* b) {
  if (a.size() != std::strlen(b)) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string Number(double v) {
  std::ostringstream s;
  s << v;
  return s.str();
}

std::string RangeText(const IParam& p) { return Number(p.GetMin()) + ".." + Number(p.GetMax()); }

// Refuses names that would be hard to read back in a message.
std::string Quoted(const std::string& s) { return "'" + s + "'"; }

// The instrument's MIDI-learn table, as the state keeps it.
int ControllerOf(IPluginBase* plug, int paramIdx) { return static_cast<QiKt412*>(plug)->BoundController(paramIdx); }
void SetControllers(IPluginBase* plug, const std::vector<int>& table) {
  static_cast<QiKt412*>(plug)->RestoreControllerTable(table);
}

}  // namespace

int FindParamByName(const IPluginBase& plug, const std::string& name) {
  for (int i = 0; i < plug.NParams(); ++i)
    if (name == plug.GetParam(i)->GetNameForHost()) return i;
  for (int i = 0; i < plug.NParams(); ++i)
    if (SameIgnoringCase(name, plug.GetParam(i)->GetNameForHost())) return i;
  return -1;
}

bool ParseParamValue(const IParam& param, const std::string& text, double* value,
                     std::string* error) {
  const char* name = param.GetNameForHost();
  int mapped = 0;
  if (param.GetNDisplayTexts() > 0 && param.MapDisplayText(text.c_str(), &mapped)) {
    *value = mapped;
    return true;
  }
  errno = 0;
  char* end = nullptr;
  double v = text.empty() ? 0.0 : std::strtod(text.c_str(), &end);
  if (text.empty() || !end || *end != '\0' || errno == ERANGE || !std::isfinite(v)) {
    *error = Quoted(text) + " is not a number (for " + name + ")";
    return false;
  }
  if (v < param.GetMin() || v > param.GetMax()) {
    *error = "value " + text + " for " + name + " is out of range " + RangeText(param);
    return false;
  }
  if (param.Type() != IParam::kTypeDouble && v != std::floor(v)) {
    *error = std::string(name) + " takes a whole number (" + RangeText(param) + ")" +
             (param.Type() == IParam::kTypeBool ? " or off/on" : "");
    return false;
  }
  *value = v;
  return true;
}

bool ApplyParamSetting(IPluginBase& plug, const std::string& setting, std::string* error) {
  size_t eq = setting.find('=');
  if (eq == std::string::npos || eq == 0) {
    *error = "--set needs NAME=VALUE, got " + Quoted(setting);
    return false;
  }
  std::string name = setting.substr(0, eq);
  int idx = FindParamByName(plug, name);
  if (idx < 0) {
    *error = "unknown parameter " + Quoted(name) + " (see --list-params)";
    return false;
  }
  double v = 0.0;
  if (!ParseParamValue(*plug.GetParam(idx), setting.substr(eq + 1), &v, error)) return false;
  IPluginBase::IMutexLock lock(&plug);
  plug.GetParam(idx)->Set(v);
  plug.OnParamChange(idx);
  return true;
}

void ListParams(IPluginBase& plug, std::ostream& out) {
  out << std::left << std::setw(6) << "index" << std::setw(16) << "name" << std::setw(12) << "range"
      << std::setw(10) << "default" << std::setw(10) << "value" << "label\n";
  for (int i = 0; i < plug.NParams(); ++i) {
    const IParam* p = plug.GetParam(i);
    char display[IParam::kTextSize];
    p->GetDisplayForHost(display);
    char def[IParam::kTextSize];
    p->GetDisplayForHost(p->GetDefault(), false, def, true);
    out << std::left << std::setw(6) << i << std::setw(16) << p->GetNameForHost() << std::setw(12)
        << RangeText(*p) << std::setw(10) << def << std::setw(10) << display
        << p->GetLabelForHost() << "\n";
  }
}

bool LoadStateFile(QiKt412& plug, const std::string& path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot read state file " + Quoted(path) + ": " + std::strerror(errno);
    return false;
  }
  // The longest state there is, and one byte more to see a file that is too long.
  const size_t longest = 8 * static_cast<size_t>(plug.NParams()) + sizeof IPluginState::kControllersTag +
                         static_cast<size_t>(plug.NParams());
  std::vector<char> bytes(longest + 1);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (in.bad()) {
    *error = "cannot read state file " + Quoted(path);
    return false;
  }
  IPluginState state;
  std::string why;
  if (!state.ReadFile(plug, bytes.data(), static_cast<size_t>(in.gcount()), &why)) {
    *error = "state file " + Quoted(path) + " is not a saved state: " + why;
    return false;
  }
  if (!state.Apply(plug, &SetControllers)) {
    *error = "state file " + Quoted(path) + " could not be loaded";
    return false;
  }
  return true;
}

bool SaveStateFile(QiKt412& plug, const std::string& path, std::string* error) {
  IPluginState state;
  if (!state.Capture(plug, &ControllerOf)) {
    *error = "could not serialise the state";
    return false;
  }
  ByteChunk chunk;
  state.AppendFile(&chunk);
  std::string why;
  if (!UTIL_AtomicFile::WriteFile(path, chunk.GetBytes(), static_cast<size_t>(chunk.Size()), &why)) {
    // The writer's message names the path already; only its reason is kept.
    const size_t colon = why.find("': ");
    *error = "cannot write state file " + Quoted(path) + ": " + (colon == std::string::npos ? why : why.substr(colon + 3));
    return false;
  }
  return true;
}
