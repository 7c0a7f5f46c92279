// Video hold: plays one super-frame block, each frame stabilised, with the
// scene's paper laid over it by the paper's alpha.
#pragma once

#include "QuadProgram.h"

class Transition_Blending : public QuadProgramEffect {
 public:
  Transition_Blending(int32_t width, int32_t height, OrvEffectMaker* maker, OrvFXFrameHandler* sink);

  // True when every frame was played or the pass was cancelled; false when
  // the video ran out first. An empty paper means no paper.
  bool BlendingEffect(const cv::Mat* paper, SuperFrame* block, int32_t frameCount);

  static const char* const kVertexShaderText;
  static const char* const kFragmentShaderText;
};
