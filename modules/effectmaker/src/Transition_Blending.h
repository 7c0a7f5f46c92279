// Video hold: plays one super-frame block, each frame stabilised, with the
// scene's paper laid over it by the paper's alpha.
#pragma once

#include "OrvTransitionEffectInterface.h"

class Transition_Blending : public OrvTransitionEffectInterface {
 public:
  Transition_Blending(int32_t width, int32_t height, OrvEffectMaker* maker, OrvFXFrameHandler* sink);
  ~Transition_Blending() override;

  bool TranstionI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength, int32_t transitionLength,
                    const float* effectOption) override;
  bool TranstionI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
                    const float* effectOption) override;
  bool TranstionV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
                    int32_t frameLength, int32_t transitionLength, const float* effectOption) override;

  void MakeBuffer();
  // True when every frame was played or the pass was cancelled; false when
  // the video ran out first. An empty paper means no paper.
  bool BlendingEffect(const cv::Mat* paper, SuperFrame* block, int32_t frameCount);

  static const char* const kVertexShaderText;
  static const char* const kFragmentShaderText;

 private:
  GLint vPositionLoc = -1;
  GLint texCoordLoc = -1;
  GLuint vertexShader = 0;
  GLuint fragmentShader = 0;
  GLuint program = 0;
};
