// The saved state of a plug-in, its parameters and MIDI-learn table, in the one layout every binding and file uses.
#include "framework/IPluginState.h"

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <sstream>

#include "framework/ByteChunk.h"
#include "framework/IParam.h"
#include "framework/IPluginBase.h"

static_assert(std::endian::native == std::endian::little, "the state layout is little-endian, as this machine");

namespace {

constexpr size_t kTagSize = sizeof IPluginState::kControllersTag;

std::string Number(double v) {
  std::ostringstream s;
  s << v;
  return s.str();
}

void SetError(std::string* error, const std::string& text) {
  if (error) *error = text;
}

// Why v cannot be the saved value of param, or empty when it can.
std::string ValueFault(const IParam& param, double v) {
  if (!std::isfinite(v)) return "is not a finite number";
  // No parameter of ours ever holds a subnormal; the other byte order makes
  // them of most values a plug-in saves (0.5, 1, 12).
  if (v != 0.0 && std::fabs(v) < DBL_MIN) return "is not a plain number (written in another byte order?)";
  if (v < param.GetMin() || v > param.GetMax())
    return Number(v) + " is out of range " + Number(param.GetMin()) + ".." + Number(param.GetMax());
  return std::string();
}

}  // namespace

bool IPluginState::Capture(IPluginBase& plug, ControllerOfFn controllerOf) {
  ByteChunk chunk;
  if (!plug.SerializeState(&chunk) || chunk.Size() != 8 * plug.NParams()) return false;
  values.assign(static_cast<size_t>(plug.NParams()), 0.0);
  std::memcpy(values.data(), chunk.GetBytes(), static_cast<size_t>(chunk.Size()));
  controllers.clear();
  if (controllerOf)
    for (int i = 0; i < plug.NParams(); ++i) controllers.push_back(controllerOf(&plug, i));
  return true;
}

void IPluginState::AppendParams(ByteChunk* chunk) const {
  chunk->PutBytes(values.data(), static_cast<int>(values.size() * sizeof(double)));
}

void IPluginState::AppendControllers(ByteChunk* chunk) const {
  if (controllers.empty()) return;
  chunk->PutBytes(kControllersTag, static_cast<int>(kTagSize));
  for (int cc : controllers) {
    const signed char b = static_cast<signed char>(cc >= 0 && cc <= 127 ? cc : -1);
    chunk->PutBytes(&b, 1);
  }
}

void IPluginState::AppendFile(ByteChunk* chunk) const {
  AppendParams(chunk);
  AppendControllers(chunk);
}

bool IPluginState::ReadParams(const IPluginBase& plug, const void* bytes, size_t size, std::string* error) {
  const size_t n = static_cast<size_t>(plug.NParams());
  if (size != n * sizeof(double) || (size > 0 && !bytes)) {
    SetError(error, "it must hold " + std::to_string(n) + " values (" + std::to_string(n * sizeof(double)) +
                        " bytes), it has " + std::to_string(size) + " bytes");
    return false;
  }
  std::vector<double> read(n);
  if (n > 0) std::memcpy(read.data(), bytes, size);
  for (size_t i = 0; i < n; ++i) {
    const IParam& param = *plug.GetParam(static_cast<int>(i));
    const std::string fault = ValueFault(param, read[i]);
    if (!fault.empty()) {
      SetError(error, "value " + std::to_string(i) + " (" + param.GetNameForHost() + ") " + fault);
      return false;
    }
  }
  values = std::move(read);
  return true;
}

bool IPluginState::ReadControllers(const IPluginBase& plug, const void* bytes, size_t size, std::string* error) {
  const size_t n = static_cast<size_t>(plug.NParams());
  const auto* b = static_cast<const signed char*>(bytes);
  if (!b || size != kTagSize + n || std::memcmp(b, kControllersTag, kTagSize) != 0) {
    SetError(error, "the MIDI-learn table must be \"KTC1\" and " + std::to_string(n) + " controllers");
    return false;
  }
  std::vector<int> read;
  for (size_t i = 0; i < n; ++i) {
    const int cc = b[kTagSize + i];
    if (cc < -1) {
      SetError(error, "MIDI-learn entry " + std::to_string(i) + " is " + std::to_string(cc) + ", not a controller 0..127 or -1");
      return false;
    }
    read.push_back(cc);
  }
  controllers = std::move(read);
  return true;
}

bool IPluginState::ReadFile(const IPluginBase& plug, const void* bytes, size_t size, std::string* error) {
  const size_t paramBytes = static_cast<size_t>(plug.NParams()) * sizeof(double);
  IPluginState read;
  if (size < paramBytes) return read.ReadParams(plug, bytes, size, error);
  if (!read.ReadParams(plug, bytes, paramBytes, error)) return false;
  if (size > paramBytes) {
    const auto* rest = static_cast<const unsigned char*>(bytes) + paramBytes;
    std::string why;
    if (!read.ReadControllers(plug, rest, size - paramBytes, &why)) {
      // What follows the values is no table: not a state we wrote.
      const bool tagged = size - paramBytes >= kTagSize && std::memcmp(rest, kControllersTag, kTagSize) == 0;
      SetError(error, tagged ? why
                             : "it is longer than its " + std::to_string(plug.NParams()) + " values (" +
                                   std::to_string(paramBytes) + " bytes) and no MIDI-learn table follows");
      return false;
    }
  }
  *this = std::move(read);
  return true;
}

bool IPluginState::Apply(IPluginBase& plug, SetControllersFn setControllers) const {
  if (values.size() != static_cast<size_t>(plug.NParams())) return false;
  ByteChunk chunk;
  AppendParams(&chunk);
  IPluginBase::IMutexLock lock(&plug);
  // Bindings first: setting them may pass through the plug-in's own modes,
  // which the restored parameters then put back as they were saved.
  if (setControllers && !controllers.empty()) setControllers(&plug, controllers);
  return plug.UnserializeState(&chunk, 0) == chunk.Size();
}
