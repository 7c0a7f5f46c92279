// Image hold: one picture shown unchanged for a number of frames; can also
// play a video block, each frame only stabilised.
#pragma once

#include "OrvTransitionEffectInterface.h"

class Transition_NoEffect : public OrvTransitionEffectInterface {
 public:
  Transition_NoEffect(int32_t width, int32_t height, OrvEffectMaker* maker, OrvFXFrameHandler* sink);
  ~Transition_NoEffect() override;

  bool TranstionI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength, int32_t transitionLength,
                    const float* effectOption) override;
  bool TranstionI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
                    const float* effectOption) override;
  bool TranstionV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
                    int32_t frameLength, int32_t transitionLength, const float* effectOption) override;

  void MakeBuffer();
  bool ShowImage(const cv::Mat* picture, int32_t frameCount);
  bool ShowVideo(SuperFrame* block);

  static const char* const kVertexShaderText;
  static const char* const kFragmentShaderText;

 private:
  void LookUpLocations();

  GLint vPositionLoc = -1;
  GLint texCoordLoc = -1;
  GLuint vertexShader = 0;
  GLuint fragmentShader = 0;
  GLuint program = 0;
};
