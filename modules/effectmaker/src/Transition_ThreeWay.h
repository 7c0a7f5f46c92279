// Three-panel effect: three pictures slide into three panels over a
// background, from the top, the left and the right edge.
#pragma once

#include <vector>

#include "OrvTransitionEffectInterface.h"

class Transition_ThreeWay : public OrvTransitionEffectInterface {
 public:
  Transition_ThreeWay(int32_t width, int32_t height, OrvEffectMaker* maker, OrvFXFrameHandler* sink);
  ~Transition_ThreeWay() override;

  bool TranstionI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength, int32_t transitionLength,
                    const float* effectOption) override;
  bool TranstionI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
                    const float* effectOption) override;
  bool TranstionV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
                    int32_t frameLength, int32_t transitionLength, const float* effectOption) override;

  void MakeBuffer();
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

  GLint vPositionLoc = -1;
  GLint texCoordLoc = -1;
  GLuint vertexShader = 0;
  GLuint fragmentShader = 0;
  GLuint program = 0;
};
