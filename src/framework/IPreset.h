// A preset of the plug-in base: a name and a state chunk.
#pragma once

#include "framework/ByteChunk.h"

// Created blank ("empty", not initialised) by the plug-in base; filled from
// code, from chunks or from the current state by the base's preset operations.
struct IPreset {
  static constexpr int kNameSize = 256;  // terminator included

  bool mInitialized = false;
  char mName[kNameSize];
  ByteChunk mChunk;

  // The index is accepted for the callers' convenience and not used.
  explicit IPreset(int idx = 0);
  // Copies name, cut to kNameSize - 1 characters; null gives the empty name.
  void SetName(const char* name);
};
