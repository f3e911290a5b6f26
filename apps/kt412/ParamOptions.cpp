// Command-line access to the instrument's parameters and state chunk files.
#include "ParamOptions.h"

#include <sys/stat.h>
#include <unistd.h>

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
#include "instrument/ParamUnits.h"

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
  // A parameter shown in whole steps (Pitch) would play a value between two
  // of them and list another (-5.5 plays half a semitone below the -5 it
  // shows), so such a value is refused rather than kept; a hair off a step
  // from decimal rounding is on it. Finer parameters keep any value (a
  // knob's drag makes them too) and show it to their precision.
  const double step = param.GetStep();
  if (param.Type() == IParam::kTypeDouble && step > 0.0 && param.GetPrecision() == 0) {
    const double steps = (v - param.GetMin()) / step;
    if (std::fabs(steps - std::round(steps)) > 1e-6) {
      *error = "value " + text + " for " + name + " is not on its step of " + Number(step) + " (" +
               RangeText(param) + ")";
      return false;
    }
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
      << std::setw(10) << "default" << std::setw(10) << "value" << std::setw(12) << "in units" << "label\n";
  for (int i = 0; i < plug.NParams(); ++i) {
    const IParam* p = plug.GetParam(i);
    char display[IParam::kTextSize];
    p->GetDisplayForHost(display);
    char def[IParam::kTextSize];
    p->GetDisplayForHost(p->GetDefault(), false, def, true);
    // What the editor's value bubble says, from the same table.
    std::string units = ParamUnitsText(i, p->Value());
    if (const char* unit = ParamUnitLabel(ParamUnitOf(i)); unit[0]) units += std::string(" ") + unit;
    out << std::left << std::setw(6) << i << std::setw(16) << p->GetNameForHost() << std::setw(12)
        << RangeText(*p) << std::setw(10) << def << std::setw(10) << display << std::setw(12) << units
        << p->GetLabelForHost() << "\n";
  }
}

bool LoadStateFile(IPluginBase& plug, const std::string& path, std::string* error) {
  const long expected = 8L * plug.NParams();
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot read state file " + Quoted(path) + ": " + std::strerror(errno);
    return false;
  }
  // One byte more than a state shows a file that is too long without reading it all.
  std::vector<char> bytes(static_cast<size_t>(expected) + 1);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  const long got = static_cast<long>(in.gcount());
  if (in.bad()) {
    *error = "cannot read state file " + Quoted(path);
    return false;
  }
  if (got != expected) {
    *error = "state file " + Quoted(path) + " is not a saved state: it must hold " +
             std::to_string(plug.NParams()) + " values (" + std::to_string(expected) +
             " bytes)" + (got < expected ? ", it has " + std::to_string(got) + " bytes" : ", it is longer");
    return false;
  }
  ByteChunk chunk;
  chunk.PutBytes(bytes.data(), static_cast<int>(expected));
  for (int i = 0; i < plug.NParams(); ++i) {
    double v = 0.0;
    chunk.Get(&v, 8 * i);
    if (!std::isfinite(v)) {
      *error = "state file " + Quoted(path) + " is not a saved state: value " + std::to_string(i) +
               " (" + plug.GetParam(i)->GetNameForHost() + ") is not a finite number";
      return false;
    }
  }
  if (plug.UnserializeState(&chunk, 0) != expected) {
    *error = "state file " + Quoted(path) + " could not be loaded";
    return false;
  }
  return true;
}

bool SaveStateFile(IPluginBase& plug, const std::string& path, std::string* error) {
  ByteChunk chunk;
  if (!plug.SerializeState(&chunk)) {
    *error = "could not serialise the state";
    return false;
  }
  std::string tmp = path + ".XXXXXX";
  std::vector<char> name(tmp.begin(), tmp.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());
  if (fd < 0) {
    *error = "cannot write state file " + Quoted(path) + ": " + std::strerror(errno);
    return false;
  }
  // mkstemp makes the file private to its owner; a state file is not secret.
  fchmod(fd, 0644);
  const unsigned char* p = chunk.GetBytes();
  ssize_t left = chunk.Size();
  bool ok = true;
  while (left > 0) {
    ssize_t n = write(fd, p, static_cast<size_t>(left));
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    p += n;
    left -= n;
  }
  int saved = errno;
  if (close(fd) != 0 && ok) {
    ok = false;
    saved = errno;
  }
  if (ok && std::rename(name.data(), path.c_str()) != 0) {
    ok = false;
    saved = errno;
  }
  if (!ok) {
    std::remove(name.data());
    *error = "cannot write state file " + Quoted(path) + ": " + std::strerror(saved);
  }
  return ok;
}
