// Maps a scene's effect number to one member of the effect maker.
#pragma once

#include <opencv2/core.hpp>

#include <cstdint>
#include <map>
#include <string>

#include "OrvEffectMaker.h"
#include "SceneOutcome.h"
#include "scriptmaker/OrvCancelTask.h"
#include "themes/OrvColorUtils.h"  // SummaryLocation
#include "videoengine/VideoEngine.h"


class OrvVideoFXEntity : public OrvFXCancelTask {
 public:
  using I2IMethod = OrvEffectMaker::I2IMember;
  using I2VMethod = OrvEffectMaker::I2VMember;
  using V2IMethod = OrvEffectMaker::V2IMember;
  using ImageHoldMethod = SceneOutcome (OrvEffectMaker::*)(const cv::Mat*, int32_t);
  using VideoPlayMethod = SceneOutcome (OrvEffectMaker::*)(SuperFrame*);
  using VideoHoldMethod = SceneOutcome (OrvEffectMaker::*)(int32_t, cv::Mat, SuperFrame*, int32_t);
  using ThreeImageMethod = SceneOutcome (OrvEffectMaker::*)(int32_t, const std::vector<cv::Mat>*, int32_t);
  using OneImageMethod = SceneOutcome (OrvEffectMaker::*)(int32_t, const cv::Mat*, int32_t);

  explicit OrvVideoFXEntity(OrvEffectMaker* maker);
  ~OrvVideoFXEntity() override;

  void InitEffectTable();

  // Each plays one scene and reports how it ended; a code without a member
  // for the scene kind is skipped.
  SceneOutcome BindTransitionI2I(int32_t code, const cv::Mat* from, const cv::Mat* to, int32_t frameLength,
                                 int32_t transitionLength, const float* effectOption);
  SceneOutcome BindTransitionI2V(int32_t code, SummaryLocation* location, const cv::Mat* paper, const cv::Mat* image,
                                 int32_t transitionLength, const float* effectOption);
  SceneOutcome BindTransitionV2I(int32_t code, SummaryLocation* location, int32_t transitionStartFrame,
                                 const cv::Mat* paper, int32_t frameLength, int32_t transitionLength,
                                 const float* effectOption, cv::Mat image);
  SceneOutcome BindTransitionV2V(int32_t code, SummaryLocation* location, int32_t frameLength, cv::Mat paper);
  SceneOutcome BindImage(const cv::Mat* image, int32_t frameCount);
  SceneOutcome BindOneImage(const cv::Mat* image, int32_t frameCount);

  OrvEffectMaker* mEffectMaker = nullptr;
  std::map<int32_t, I2IMethod> mI2IMethods;
  std::map<int32_t, I2VMethod> mI2VMethods;
  std::map<int32_t, V2IMethod> mV2IMethods;
  ImageHoldMethod mImageHoldMethod = nullptr;
  VideoPlayMethod mVideoPlayMethod = nullptr;  // in the table, though no scene kind runs it
  VideoHoldMethod mVideoHoldMethod = nullptr;
  ThreeImageMethod mThreeImageMethod = nullptr;  // in the table, though no scene kind runs it
  OneImageMethod mOneImageMethod = nullptr;
};
