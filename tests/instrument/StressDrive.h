// Two threads on one instrument, as a host drives it: an audio thread that
// renders small blocks with notes and learned controllers, and a control
// thread that does everything else a host and an editor do meanwhile.
#pragma once

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "InstrumentRig.h"
#include "framework/ByteChunk.h"
#include "graphics/IGraphics.h"
#include "graphics/IText.h"
#include "graphics/ITextControl.h"

namespace kttest {

struct StressCounts {
  long blocks = 0;
  long unsoundSamples = 0;  // non-finite, or the channels differ
  long controlRounds = 0;   // passes of the control thread over its whole repertoire
  long editorsAttached = 0;
  long statesRestored = 0;
};

// One pass of the control thread over everything a host and an editor do
// beside the audio thread: every parameter through the editor's path, the
// pad and preset buttons, controller bindings, a state saved and restored,
// now and then a new editor, and the idle tick.
inline void ControlRound(QiKt412& plug, int round, IText& style, StressCounts* counts) {
  // Every parameter, through the editor's path; the mode switches and
  // buttons go back off so the learned controllers keep working.
  for (int idx = 0; idx < kNumParams; ++idx) {
    plug.SetParameterFromGUI(idx, ((round + idx) % 10) / 9.0);
    if (idx >= kLearn) plug.SetParameterFromGUI(idx, 0.0);
  }
  // The pad and the preset buttons: press and release.
  for (int idx : {kTrigger, kLeft, kRight}) {
    plug.SetParameterFromGUI(idx, 1.0);
    plug.SetParameterFromGUI(idx, 0.0);
  }
  // A moment of clear or learn mode may have unbound or moved them.
  plug.BindController(74, kDecay);
  plug.BindController(71, kTuneDepth);
  plug.BindController(1, kPitch);
  // The host saves the state and restores it.
  ByteChunk chunk;
  if (plug.SerializeState(&chunk) && plug.UnserializeState(&chunk, 0) > 0) ++counts->statesRestored;
  // An editor opens (replacing and so closing the last one), ticks, and
  // its readout shows controller moves.
  if (round % 4 == 0) {
    plug.AttachValueDisplay(nullptr);
    IGraphics* editor = MakeGraphics(&plug, 592, 442, 0);
    IRECT r(10, 10, 90, 26);
    auto* readout = new ITextControl(&plug, &r, &style, "");
    editor->AttachControl(readout);
    plug.AttachGraphics(editor);
    plug.AttachValueDisplay(readout);
    ++counts->editorsAttached;
  }
  if (IGraphics* editor = static_cast<IGraphics*>(plug.GetGUI())) editor->OnGUIIdle();
  plug.OnIdle();
  ++counts->controlRounds;
}

// renderScope(true) is called right before the audio thread enters the
// instrument for a block (MIDI delivery, then the render) and
// renderScope(false) right after it leaves.
template <typename RenderScope>
StressCounts DriveAudioAndControlThreads(int nBlocks, RenderScope renderScope) {
  constexpr int kFrames = 64;
  QiKt412 plug;
  Prepare(plug, kFrames);
  plug.BindController(74, kDecay);
  plug.BindController(71, kTuneDepth);
  plug.BindController(1, kPitch);
  StressCounts counts;
  std::atomic<bool> audioDone{false};

  std::thread audio([&] {
    std::vector<double> left(kFrames), right(kFrames);
    double* outs[2] = {left.data(), right.data()};
    for (int blk = 0; blk < nBlocks; ++blk) {
      IMidiMsg msgs[4];
      int n = 0;
      if (blk % 40 == 0) msgs[n++].MakeNoteOnMsg(33 + blk % 24, 100, (blk * 13) % kFrames, 0);
      msgs[n++] = IMidiMsg((blk * 7) % kFrames, 0xB0, 74, static_cast<unsigned char>(blk % 128));
      if (blk % 3 == 0) msgs[n++] = IMidiMsg((blk * 5) % kFrames, 0xB0, 71, static_cast<unsigned char>(blk % 100));
      if (blk % 11 == 0) msgs[n++] = IMidiMsg(kFrames - 1, 0xB0, 1, static_cast<unsigned char>(blk % 128));
      renderScope(true);
      for (int i = 0; i < n; ++i) plug.ProcessMidiMsg(&msgs[i]);
      plug.ProcessDoubleReplacing(nullptr, outs, kFrames);
      renderScope(false);
      // A host may deliver a parameter on its audio thread between two
      // renders (holding the plug-in mutex, outside the render): a preset
      // step asked for there is left for the idle tick.
      if (blk % 500 == 250) {
        plug.GetParam(kRight)->Set(1.0);
        plug.OnParamChange(kRight);
      }
      for (int i = 0; i < kFrames; ++i)
        if (!std::isfinite(left[static_cast<size_t>(i)]) || left[static_cast<size_t>(i)] != right[static_cast<size_t>(i)])
          ++counts.unsoundSamples;
      ++counts.blocks;
    }
    audioDone = true;
  });

  std::thread control([&] {
    IText style;
    for (int round = 0; !audioDone.load(); ++round) ControlRound(plug, round, style, &counts);
  });

  audio.join();
  control.join();
  plug.AttachValueDisplay(nullptr);
  return counts;
}

}  // namespace kttest
