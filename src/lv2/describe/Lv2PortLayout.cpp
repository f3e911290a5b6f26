// Where each parameter of a plug-in stands among its LV2 ports.
#include "lv2/describe/Lv2PortLayout.h"

#include <cctype>

#include "framework/IPluginBase.h"

std::string Lv2PortLayout::SymbolFromName(const char* name) {
  std::string out;
  if (!name) name = "";
  for (const char* p = name; *p; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (std::isupper(c)) {
      // A capital after a lower-case letter or digit starts a new word.
      if (!out.empty() && out.back() != '_' && p > name &&
          (std::islower(static_cast<unsigned char>(p[-1])) || std::isdigit(static_cast<unsigned char>(p[-1]))))
        out += '_';
      out += static_cast<char>(std::tolower(c));
    } else if (std::islower(c) || std::isdigit(c)) {
      out += static_cast<char>(c);
    } else if (!out.empty() && out.back() != '_') {
      out += '_';
    }
  }
  while (!out.empty() && out.back() == '_') out.pop_back();
  // A symbol may not start with a digit, nor be empty.
  if (out.empty() || std::isdigit(static_cast<unsigned char>(out[0]))) out = "p_" + out;
  return out;
}

Lv2PortLayout::Lv2PortLayout(const IPluginBase& plug, const std::vector<Lv2PortRole>& roles) {
  mPorts.push_back({Lv2Port::kMidiIn, kEventsIn, -1, "events_in", "MIDI In"});
  mPorts.push_back({Lv2Port::kAudioOut, kOutLeft, -1, "out_l", "Left"});
  mPorts.push_back({Lv2Port::kAudioOut, kOutRight, -1, "out_r", "Right"});
  const int n = plug.NParams();
  mPortOfParam.assign(static_cast<size_t>(n), -1);
  mRoles.assign(static_cast<size_t>(n), Lv2PortRole::kNone);
  for (int i = 0; i < n; ++i) {
    const Lv2PortRole role = i < static_cast<int>(roles.size()) ? roles[static_cast<size_t>(i)] : Lv2PortRole::kNone;
    mRoles[static_cast<size_t>(i)] = role;
    if (role == Lv2PortRole::kNone) continue;
    const IParam* param = plug.GetParam(i);
    Lv2Port::EKind kind = role == Lv2PortRole::kTrigger  ? Lv2Port::kTriggerIn
                          : role == Lv2PortRole::kOutput ? Lv2Port::kControlOut
                                                         : Lv2Port::kControlIn;
    std::string symbol = SymbolFromName(param->GetNameForHost());
    // Two names that fold to one symbol get the later one numbered.
    for (int k = 2;; ++k) {
      bool taken = false;
      for (const Lv2Port& p : mPorts) taken = taken || p.symbol == symbol;
      if (!taken) break;
      symbol = SymbolFromName(param->GetNameForHost()) + "_" + std::to_string(k);
    }
    const int index = static_cast<int>(mPorts.size());
    const bool toggled = param->GetMin() == 0.0 && param->GetMax() == 1.0 &&
                         (param->Type() == IParam::kTypeBool || param->Type() == IParam::kTypeEnum);
    mPorts.push_back({kind, index, i, symbol, param->GetNameForHost(), toggled});
    mPortOfParam[static_cast<size_t>(i)] = index;
  }
  mPorts.push_back({Lv2Port::kNotifyOut, static_cast<int>(mPorts.size()), -1, "notify", "Editor Notifications"});
}

int Lv2PortLayout::PortOfParam(int paramIdx) const {
  if (paramIdx < 0 || paramIdx >= static_cast<int>(mPortOfParam.size())) return -1;
  return mPortOfParam[static_cast<size_t>(paramIdx)];
}

Lv2PortRole Lv2PortLayout::RoleOf(int paramIdx) const {
  if (paramIdx < 0 || paramIdx >= static_cast<int>(mRoles.size())) return Lv2PortRole::kNone;
  return mRoles[static_cast<size_t>(paramIdx)];
}
