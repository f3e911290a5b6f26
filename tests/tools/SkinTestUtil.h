// The editor skin as the layout uses it: image files, frame counts and the
// control positions, plus helpers to load images and run the generator.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "pix/PIX_Bitmap.h"

namespace skintest {

struct SkinImage
{
  const char* file;
  int frameW, frameH, frames;
};

// Every image of the skin with the size of one frame.
inline const std::vector<SkinImage>& Images()
{
  static const std::vector<SkinImage> images = {
      {"backgroundPro.png", 592, 442, 1}, {"knob412_64Frames.png", 64, 64, 64},
      {"kyb.png", 56, 36, 2},             {"trigger412.png", 96, 30, 2},
      {"learn.png", 22, 16, 2},           {"clear.png", 22, 16, 2},
      {"led.png", 16, 16, 2},             {"presetLeft.png", 32, 18, 2},
      {"presetRight.png", 32, 18, 2}};
  return images;
}

inline const SkinImage* Find(const std::string& file)
{
  for (const SkinImage& im : Images())
    if (file == im.file) return &im;
  return nullptr;
}

// One control of the editor: a position with an image, or (image null) a
// rectangle drawn by code. Right and bottom exclusive.
struct Control
{
  const char* name;
  int left, top;
  const char* image;
  int right = 0, bottom = 0;
};

// The 20 controls in the order the editor attaches them.
inline std::vector<Control> Controls()
{
  const char* knob = "knob412_64Frames.png";
  return {{"background", 0, 0, "backgroundPro.png"},
          {"Pitch", 95, 127, knob},        {"Accent", 245, 127, knob},
          {"Decay", 395, 127, knob},       {"TuneDecay", 95, 217, knob},
          {"Attack", 245, 217, knob},      {"Hold", 395, 217, knob},
          {"TuneDepth", 95, 308, knob},    {"NoiseDecay", 245, 308, knob},
          {"Distort", 395, 308, knob},     {"MidiTuneFlag", 34, 170, "kyb.png"},
          {"MidiAccentFlag", 184, 170, "kyb.png"}, {"Trigger", 480, 100, "trigger412.png"},
          {"Learn", 498, 236, "learn.png"}, {"clear", 521, 236, "clear.png"},
          {"Led", 511, 131, "led.png"},    {"preset field", 207, 21, nullptr, 383, 37},
          {"Left", 172, 18, "presetLeft.png"}, {"Right", 386, 18, "presetRight.png"},
          {"value readout", 496, 346, nullptr, 544, 358}};
}

// Loads a PNG with the library's loader; null when it cannot be decoded.
std::unique_ptr<PIX_IBitmap> Load(const std::string& path);

// Runs the generator with the given arguments; returns its exit status
// (-1 when it could not be run or did not exit normally).
int RunGenerator(const std::vector<std::string>& args);

// A fresh empty folder, removed with everything in it when the object goes.
class TempDir
{
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return m_path; }

private:
  std::string m_path;
};

}  // namespace skintest
