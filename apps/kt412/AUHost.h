// The host side of the KT-412 Audio Unit: loading the plug-in library,
// opening instances and driving them through the component entry exactly
// as a host application does. Used by `kt412 validate` and `kt412 render --host au`.
#pragma once

#include <string>
#include <vector>

#include "platform/au/AUComponent.h"

// The component as a host registers it: a music device, subtype 'Qip2',
// manufacturer '-QI-'.
ComponentDescription KtComponentDescription();

// The library built beside this program (empty when unknown).
std::string DefaultAULibraryPath();

// A loaded plug-in library and its two entries, found by name.
class AUPluginLibrary {
public:
  AUPluginLibrary() = default;
  ~AUPluginLibrary();
  AUPluginLibrary(const AUPluginLibrary&) = delete;
  AUPluginLibrary& operator=(const AUPluginLibrary&) = delete;

  // False with a message when the file cannot be loaded or lacks an entry.
  bool Load(const std::string& path, std::string* error);
  ComponentRoutine Entry() const { return mEntry; }
  ComponentRoutine ViewEntry() const { return mViewEntry; }
  const std::string& Path() const { return mPath; }

private:
  void* mHandle = nullptr;
  ComponentRoutine mEntry = nullptr;
  ComponentRoutine mViewEntry = nullptr;
  std::string mPath;
};

// One open instance, closed by the destructor.
class AUHostUnit {
public:
  explicit AUHostUnit(const AUPluginLibrary& lib);
  ~AUHostUnit();
  AUHostUnit(const AUHostUnit&) = delete;
  AUHostUnit& operator=(const AUHostUnit&) = delete;

  bool IsOpen() const { return mUnit != nullptr; }
  AudioUnit Unit() const { return mUnit; }
  OSStatus OpenStatus() const { return mOpenStatus; }

  // What a host does before rendering: rate and slice size, the output
  // format (non-interleaved 32-bit floats) with that many channels, initialise.
  OSStatus Prepare(double sampleRate, UInt32 maxFrames, UInt32 channels = 2);
  // Renders frames into the two channel buffers (each at least frames long)
  // at the running sample time, which then advances.
  OSStatus Render(UInt32 frames, float* left, float* right);
  double SampleTime() const { return mSampleTime; }

  OSStatus SetParam(UInt32 id, Float32 value);
  Float32 GetParam(UInt32 id);
  // The saved state's "data" bytes (empty when missing).
  std::vector<uint8_t> StateBytes();
  // Saves the class info; the caller releases it.
  OSStatus SaveState(CFPropertyListRef* state);
  OSStatus RestoreState(CFPropertyListRef state);

private:
  AudioUnit mUnit = nullptr;
  OSStatus mOpenStatus = noErr;
  double mSampleTime = 0.0;
};

// A state dictionary with the component's identity and the given bytes;
// the caller releases it.
CFMutableDictionaryRef MakeStateDictionary(const ComponentDescription& cd, const std::vector<uint8_t>& data,
                                           const std::vector<int8_t>* controllers = nullptr);
