// Sample accuracy: notes and learned controllers act at their own frame, so
// the output of a MIDI stream does not depend on how the host cuts it into blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "InstrumentRig.h"

using namespace kttest;

namespace {

struct Event {
  long frame;
  IMidiMsg msg;
};

// Three seconds of hits with three learned controllers sweeping, at frames
// that fall inside blocks of every size, some at the very frame of a note
// (before and after it in arrival order).
std::vector<Event> Song() {
  std::vector<Event> ev;
  auto cc = [&](long f, int c, int v) { ev.push_back({f, IMidiMsg(0, 0xB0, static_cast<unsigned char>(c), static_cast<unsigned char>(v))}); };
  auto note = [&](long f, int n, int v) {
    IMidiMsg m;
    m.MakeNoteOnMsg(n, v, 0, 0);
    ev.push_back({f, m});
  };
  for (long f = 0; f < 3 * 48000; f += 7919) {
    cc(f, 1, static_cast<int>(f / 7919 * 37 % 128));  // Pitch, before the note
    note(f, 30 + static_cast<int>(f % 19), 40 + static_cast<int>(f % 80));
    cc(f, 74, static_cast<int>(f / 7919 * 11 % 128));  // Decay, after it
  }
  for (long f = 301; f < 3 * 48000; f += 1237) cc(f, 71, static_cast<int>(f % 128));  // TuneDepth
  for (long f = 555; f < 3 * 48000; f += 3001) cc(f, 10, static_cast<int>(f % 2) * 127);  // MidiAccentFlag
  // Ordered by frame; equal frames keep their order of arrival.
  std::stable_sort(ev.begin(), ev.end(), [](const Event& a, const Event& b) { return a.frame < b.frame; });
  return ev;
}

// Renders the song cut into blocks of the sizes given, cycling through them.
std::vector<double> RenderSong(const std::vector<int>& blockSizes, long totalFrames) {
  QiKt412 plug;
  int maxBlock = 0;
  for (int b : blockSizes) maxBlock = std::max(maxBlock, b);
  Prepare(plug, maxBlock);
  plug.BindController(1, kPitch);
  plug.BindController(74, kDecay);
  plug.BindController(71, kTuneDepth);
  plug.BindController(10, kMidiAccentFlag);
  const std::vector<Event> song = Song();
  std::vector<double> out;
  out.reserve(static_cast<size_t>(totalFrames));
  size_t next = 0;
  for (long start = 0, k = 0; start < totalFrames; ++k) {
    const int n = static_cast<int>(std::min<long>(blockSizes[static_cast<size_t>(k) % blockSizes.size()], totalFrames - start));
    for (; next < song.size() && song[next].frame < start + n; ++next) {
      IMidiMsg m = song[next].msg;
      m.offset = static_cast<int>(song[next].frame - start);
      plug.ProcessMidiMsg(&m);
    }
    const Block b = Render(plug, n);
    out.insert(out.end(), b.left.begin(), b.left.end());
    start += n;
  }
  return out;
}

}  // namespace

TEST(BlockSize, LearnedControllersAndNotesGiveTheSameSamplesForEveryBlockSize) {
  constexpr long kTotal = 3 * 48000;
  const std::vector<double> reference = RenderSong({1}, kTotal);
  for (const std::vector<int>& sizes :
       std::vector<std::vector<int>>{{7}, {64}, {512}, {8192}, {1, 13, 300, 64, 4097, 2, 8192, 999}}) {
    const std::vector<double> got = RenderSong(sizes, kTotal);
    ASSERT_EQ(got.size(), reference.size());
    size_t firstDiff = 0;
    while (firstDiff < got.size() && got[firstDiff] == reference[firstDiff]) ++firstDiff;
    EXPECT_EQ(firstDiff, got.size()) << "blocks of " << sizes[0] << (sizes.size() > 1 ? " and others" : "");
  }
}

TEST(BlockSize, AControllerLaterInTheBlockDoesNotReachTheNoteBeforeIt) {
  // Accent (which changes a ringing hit at once) bound to 74; a hit at 0 and
  // the controller at 500 in one block: the first 500 frames are those of
  // the hit at the old accent, the rest differ.
  QiKt412 moved, still;
  for (QiKt412* p : {&moved, &still}) {
    Prepare(*p, 1024);
    p->BindController(74, kAccent);
    NoteOn(*p, 0, 33, 100);
  }
  ControlChange(moved, 74, 0, 500);
  const Block a = Render(moved, 1024), b = Render(still, 1024);
  for (int i = 0; i < 500; ++i) ASSERT_EQ(a.left[static_cast<size_t>(i)], b.left[static_cast<size_t>(i)]) << i;
  EXPECT_NE(std::vector<double>(a.left.begin() + 500, a.left.end()), std::vector<double>(b.left.begin() + 500, b.left.end()));
}

TEST(BlockSize, AtOneFrameControllersAndNotesActInTheirOrderOfArrival) {
  // Pitch takes effect at the next hit: sent before the note it tunes it,
  // sent after it waits for the following one.
  QiKt412 before, after;
  Prepare(before, 64);
  Prepare(after, 64);
  before.BindController(1, kPitch);
  after.BindController(1, kPitch);
  ControlChange(before, 1, 127, 20);  // +12 semitones
  NoteOn(before, 20, 33, 100);
  NoteOn(after, 20, 33, 100);
  ControlChange(after, 1, 127, 20);
  Render(before, 64);
  Render(after, 64);
  EXPECT_FLOAT_EQ(before.Voice().getFrequency(), 110.0f);
  EXPECT_FLOAT_EQ(after.Voice().getFrequency(), 55.0f);
}
