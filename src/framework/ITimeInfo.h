// Transport and tempo information a host wrapper hands to the plug-in.
#pragma once

// The wrapper's GetTime writes only the fields the host provides; the caller
// initialises the rest (the constructor gives neutral values).
struct ITimeInfo {
  double mTempo = 120.0;             // beats per minute
  double mSamplePos = -1.0;          // sample position of the block start
  double mPPQPos = -1.0;             // position in quarter notes
  double mLastBar = -1.0;            // last bar's downbeat, in quarter notes
  double mCycleStart = -1.0;         // in beats
  double mCycleEnd = -1.0;           // in beats
  int mNumerator = 4;                // time signature
  int mDenominator = 4;
  bool mTransportIsRunning = false;
  bool mTransportLoopEnabled = false;
};
