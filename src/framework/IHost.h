// Host identification, plug-in API names and packed version numbers.
#pragma once

// The host application running the plug-in. kHostUninit until the wrapper has
// asked; kHostUnknown when the name matched no known host. Values 10, 11 and
// 19 are unused and, like 12 (what names containing "melodyne" give), have no
// name of their own.
enum EHost {
  kHostUninit = -1,
  kHostUnknown = 0,
  kHostReaper = 1,
  kHostProTools = 2,
  kHostCubase = 3,
  kHostNuendo = 4,
  kHostSonar = 5,
  kHostVegas = 6,
  kHostFL = 7,
  kHostSamplitude = 8,
  kHostAbletonLive = 9,
  kHostMelodyneStudio = 12,
  kHostVSTScanner = 13,
  kHostAULab = 14,
  kHostForte = 15,
  kHostChainer = 16,
  kHostAudition = 17,
  kHostOrion = 18,
  kHostSAWStudio = 20,
  kHostLogic = 21,
  kHostGarageBand = 22,
  kHostDigitalPerformer = 23,
  kHostStandalone = 24,
  kHostAudioMulch = 25,
  kHostStudioOne = 26,
  kHostVST3TestHost = 27,
  kHostArdour = 28,
  kHostRenoise = 29,
  kHostOpenMPT = 30
};

// The plug-in API that wraps the instance.
enum EAPI { kAPIVST2 = 0, kAPIVST3 = 1, kAPIAU = 2, kAPIRTAS = 3, kAPIAAX = 4, kAPISA = 5 };

// Identifies a host from its name or bundle identifier: the name is compared
// in lower case (on its first 255 characters) against a table of substrings in
// a fixed order, and the first hit decides. Null, empty or unknown names give
// kHostUnknown.
EHost LookUpHost(const char* host);

// The host's display name ("Logic", ... or "Unknown"). Names are at most
// kMaxHostNameLen characters; rHostName must hold that plus the terminator.
constexpr int kMaxHostNameLen = 18;
const char* HostNameStr(int host);
void GetHostNameStr(EHost host, char* rHostName);

// "VST2", "VST3", "AU", "RTAS", "AAX", "Standalone", or "" for another value.
const char* APINameStr(int api);

// Packed versions: major in the upper 16 bits, minor in bits 8-15, patch in
// bits 0-7 (0x10000 is 1.0.0).
void GetVersionParts(int version, int* pMaj, int* pMin, int* pPatch);
// major * 10000 + minor * 100 + patch (1.0.0 gives 10000).
int GetDecimalVersion(int version);
// "v%d.%d.%d"; rStr must hold kMaxVersionStrLen characters plus the terminator.
constexpr int kMaxVersionStrLen = 16;
void GetVersionStr(int version, char* rStr);
