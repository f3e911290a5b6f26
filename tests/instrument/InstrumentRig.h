// Test helpers: an instrument set up as a host would set it up, and a bare
// voice configured the same way to compare the instrument's output with.
#pragma once

#include <vector>

#include "framework/IMidiMsg.h"
#include "instrument/QiKt412.h"
#include "voice/kt412.h"

namespace kttest {

constexpr double kRate = 48000.0;

// Sample rate, block size, Reset, then every parameter pushed to the voice,
// the way a wrapper initialises the plug-in.
inline void Prepare(QiKt412& plug, int blockSize, double rate = kRate) {
  plug.SetSampleRate(rate);
  plug.SetBlockSize(blockSize);
  plug.Reset();
  plug.OnParamReset();
}

// Renders one block; returns both channels.
struct Block {
  std::vector<double> left, right;
};

inline Block Render(QiKt412& plug, int nFrames) {
  Block b;
  b.left.assign(static_cast<size_t>(nFrames), -99.0);
  b.right.assign(static_cast<size_t>(nFrames), -99.0);
  double* outs[2] = {b.left.data(), b.right.data()};
  plug.ProcessDoubleReplacing(nullptr, outs, nFrames);
  return b;
}

inline void NoteOn(QiKt412& plug, int offset, int note, int velocity, int channel = 0) {
  IMidiMsg msg;
  msg.MakeNoteOnMsg(note, velocity, offset, channel);
  plug.ProcessMidiMsg(&msg);
}

inline void ControlChange(QiKt412& plug, int controller, int value, int offset = 0) {
  IMidiMsg msg(offset, 0xB0, static_cast<unsigned char>(controller), static_cast<unsigned char>(value));
  plug.ProcessMidiMsg(&msg);
}

// Renders nothing: the change records other threads posted reach the voice
// (as at the start of every block), so the test can look at it.
inline void ApplyPending(QiKt412& plug) {
  double none = 0.0;
  double* outs[2] = {&none, &none};
  plug.ProcessDoubleReplacing(nullptr, outs, 0);
}

// Sets a parameter's plain value and tells the instrument, as a host does,
// then lets the change reach the voice.
inline void SetParam(QiKt412& plug, int idx, double value) {
  plug.GetParam(idx)->Set(value);
  plug.OnParamChange(idx);
  ApplyPending(plug);
}

// A bare voice with the settings the default parameters give it.
struct RefVoice {
  kt412 voice;
  explicit RefVoice(double rate = kRate) {
    voice.setSamplingRate(rate);
    voice.setTune(0.0f);
    voice.setAccent(0.5f);
    voice.setDecay(1.0f);
    voice.setTuneDecay(1.0f);
    voice.setAttack(0.5f);
    voice.setHold(1.0f);
    voice.setTuneDepth(1.0f);
    voice.setNoiseDecay(0.5f);
    voice.setDistortion(0.5f);
    voice.setMidiTuneFlag(0);
    voice.setMidiAccentFlag(0);
  }
  void Hit(int note, int velocity) {
    voice.setMidiNote(note);
    voice.setMidiVelocity(static_cast<double>(static_cast<float>(velocity)) / 128.0);
    voice.restart();
  }
  // What the instrument writes to each channel for the next frame.
  double Next() { return static_cast<double>(voice.getSample() / 2.0f); }
};

}  // namespace kttest
