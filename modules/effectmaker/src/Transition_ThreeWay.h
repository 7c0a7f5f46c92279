// Three-panel effect: three pictures slide into three panels over a
// background, from the top, the left and the right edge.
#pragma once

#include <vector>

#include "QuadProgram.h"

class Transition_ThreeWay : public QuadProgramEffect {
 public:
  Transition_ThreeWay(int32_t width, int32_t height, OrvEffectMaker* maker, OrvFXFrameHandler* sink);

  // White background, the same picture in all three panels.
  bool EffectOnlyOneImage(const cv::Mat* picture, int32_t frameCount);
  // pictures[0] background, [1] top-left, [2] bottom strip, [3] top-right.
  bool EffectThreeImage(const std::vector<cv::Mat>* pictures, int32_t frameCount);

  // Progress uniform sent for frame k of a scene of frameCount frames.
  static std::vector<float> ProgressValues(int32_t frameCount);

  static const char* const kVertexShaderText;
  static const char* const kFragmentShaderText;

 private:
  bool Run(const cv::Mat* const pictures[4], int32_t frameCount, const char* tag);
};
