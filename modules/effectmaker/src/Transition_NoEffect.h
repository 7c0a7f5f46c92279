// Image hold: one picture shown unchanged for a number of frames; can also
// play a video block, each frame only stabilised.
#pragma once

#include "QuadProgram.h"

class Transition_NoEffect : public QuadProgramEffect {
 public:
  Transition_NoEffect(int32_t width, int32_t height, OrvEffectMaker* maker, OrvFXFrameHandler* sink);

  bool ShowImage(const cv::Mat* picture, int32_t frameCount);
  bool ShowVideo(SuperFrame* block);

  static const char* const kVertexShaderText;
  static const char* const kFragmentShaderText;
};
