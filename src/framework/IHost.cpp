// Host look-up table, API names and version packing.
#include "framework/IHost.h"

#include <cstdio>
#include <cstring>

#include "framework/ILog.h"

namespace {

struct HostPattern {
  const char* substring;
  EHost host;
};

// Order matters: the first substring found decides, so "cubase" wins over
// "nuendo" and "live" over "logic" in a name containing both.
constexpr HostPattern kHostPatterns[] = {
    {"cubase", kHostCubase},
    {"reaper", kHostReaper},
    {"nuendo", kHostNuendo},
    {"cakewalk", kHostSonar},
    {"samplitude", kHostSamplitude},
    {"fruity", kHostFL},
    {"live", kHostAbletonLive},
    {"melodyne", kHostMelodyneStudio},
    {"vstmanlib", kHostVSTScanner},
    {"aulab", kHostAULab},
    {"garageband", kHostGarageBand},
    {"forte", kHostForte},
    {"chainer", kHostChainer},
    {"audition", kHostAudition},
    {"orion", kHostOrion},
    {"sawstudio", kHostSAWStudio},
    {"logic", kHostLogic},
    {"digital", kHostDigitalPerformer},
    {"audiomulch", kHostAudioMulch},
    {"presonus", kHostStudioOne},
    {"vst3plugintesthost", kHostVST3TestHost},
    {"protools", kHostProTools},
    {"ardour", kHostArdour},
    {"openmpt", kHostOpenMPT},
    {"renoise", kHostRenoise},
    {"standalone", kHostStandalone},
};

}  // namespace

EHost LookUpHost(const char* host) {
  // Host names are bundle identifiers or short product names; a longer one
  // is compared on the part that fits rather than copied past the buffer.
  char lower[256];
  size_t n = 0;
  if (host) {
    for (; n < sizeof lower - 1 && host[n]; ++n) lower[n] = host[n];
  }
  lower[n] = '\0';
  ToLower(lower, lower);
  for (const HostPattern& p : kHostPatterns) {
    if (std::strstr(lower, p.substring)) return p.host;
  }
  return kHostUnknown;
}

const char* HostNameStr(int host) {
  switch (host) {
    case kHostReaper: return "Reaper";
    case kHostProTools: return "ProTools";
    case kHostCubase: return "Cubase";
    case kHostNuendo: return "Nuendo";
    case kHostSonar: return "Sonar";
    case kHostVegas: return "Vegas";
    case kHostFL: return "FLStudio";
    case kHostSamplitude: return "Samplitude";
    case kHostAbletonLive: return "Live";
    case kHostVSTScanner: return "VSTScanner";
    case kHostAULab: return "AULab";
    case kHostForte: return "Forte";
    case kHostChainer: return "Chainer";
    case kHostAudition: return "Audition";
    case kHostOrion: return "Orion";
    case kHostSAWStudio: return "SAWStudio";
    case kHostLogic: return "Logic";
    case kHostGarageBand: return "GarageBand";
    case kHostDigitalPerformer: return "DigitalPerformer";
    case kHostStandalone: return "Standalone";
    case kHostAudioMulch: return "AudioMulch";
    case kHostStudioOne: return "StudioOne";
    case kHostVST3TestHost: return "VST3PluginTestHost";
    case kHostArdour: return "Ardour";
    case kHostRenoise: return "Renoise";
    case kHostOpenMPT: return "OpenMPT";
    default: return "Unknown";
  }
}

void GetHostNameStr(EHost host, char* rHostName) {
  if (rHostName) std::strcpy(rHostName, HostNameStr(host));
}

const char* APINameStr(int api) {
  switch (api) {
    case kAPIVST2: return "VST2";
    case kAPIVST3: return "VST3";
    case kAPIAU: return "AU";
    case kAPIRTAS: return "RTAS";
    case kAPIAAX: return "AAX";
    case kAPISA: return "Standalone";
    default: return "";
  }
}

void GetVersionParts(int version, int* pMaj, int* pMin, int* pPatch) {
  if (pMaj) *pMaj = version / 65536;
  if (pMin) *pMin = (version >> 8) & 0xFF;
  if (pPatch) *pPatch = version & 0xFF;
}

int GetDecimalVersion(int version) {
  int maj, min, patch;
  GetVersionParts(version, &maj, &min, &patch);
  return maj * 10000 + min * 100 + patch;
}

void GetVersionStr(int version, char* rStr) {
  if (!rStr) return;
  int maj, min, patch;
  GetVersionParts(version, &maj, &min, &patch);
  std::snprintf(rStr, kMaxVersionStrLen + 1, "v%d.%d.%d", maj, min, patch);
}
