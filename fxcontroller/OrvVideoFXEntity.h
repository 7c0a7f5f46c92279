// Maps a scene's effect number to one member of the effect maker.
#pragma once

#include <opencv2/core.hpp>

#include <cstdint>
#include <map>
#include <string>

#include "OrvEffectMaker.h"
#include "scriptmaker/OrvCancelTask.h"
#include "themes/OrvColorUtils.h"  // SummaryLocation
#include "videoengine/VideoEngine.h"


class OrvVideoFXEntity : public OrvFXCancelTask {
 public:
  using I2IMethod = bool (OrvEffectMaker::*)(const cv::Mat*, const cv::Mat*, int32_t, int32_t, const float*);
  using I2VMethod = bool (OrvEffectMaker::*)(SuperFrame*, const cv::Mat*, const cv::Mat*, int32_t, const float*);
  using V2IMethod = bool (OrvEffectMaker::*)(SuperFrame*, int32_t, const cv::Mat*, cv::Mat, int32_t, int32_t,
                                             const float*);
  using ImageHoldMethod = bool (OrvEffectMaker::*)(const cv::Mat*, int32_t);
  using VideoPlayMethod = bool (OrvEffectMaker::*)(SuperFrame*);
  using VideoHoldMethod = bool (OrvEffectMaker::*)(int32_t, cv::Mat, SuperFrame*, int32_t);
  using ThreeImageMethod = bool (OrvEffectMaker::*)(int32_t, const std::vector<cv::Mat>*, int32_t);
  using OneImageMethod = bool (OrvEffectMaker::*)(int32_t, const cv::Mat*, int32_t);

  explicit OrvVideoFXEntity(OrvEffectMaker* maker);
  ~OrvVideoFXEntity() override;

  void InitEffectTable();

  void BindTransitionI2I(int32_t code, const cv::Mat* from, const cv::Mat* to, int32_t frameLength,
                         int32_t transitionLength, const float* effectOption);
  void BindTransitionI2V(int32_t code, SummaryLocation* location, const cv::Mat* paper, const cv::Mat* image,
                         int32_t transitionLength, const float* effectOption);
  void BindTransitionV2I(int32_t code, SummaryLocation* location, int32_t transitionStartFrame, const cv::Mat* paper,
                         int32_t frameLength, int32_t transitionLength, const float* effectOption, cv::Mat image);
  void BindTransitionV2V(int32_t code, SummaryLocation* location, int32_t frameLength, cv::Mat paper);
  void BindImage(const cv::Mat* image, int32_t frameCount);

  // True when the code has a member for the scene kind.
  bool HasI2I(int32_t code) const { return mI2IMethods.count(code) != 0; }
  bool HasI2V(int32_t code) const { return mI2VMethods.count(code) != 0; }
  bool HasV2I(int32_t code) const { return mV2IMethods.count(code) != 0; }

  OrvEffectMaker* mEffectMaker = nullptr;
  std::map<int32_t, I2IMethod> mI2IMethods;
  std::map<int32_t, I2VMethod> mI2VMethods;
  std::map<int32_t, V2IMethod> mV2IMethods;
  ImageHoldMethod mImageHoldMethod = nullptr;
  VideoPlayMethod mVideoPlayMethod = nullptr;
  VideoHoldMethod mVideoHoldMethod = nullptr;
  ThreeImageMethod mThreeImageMethod = nullptr;
  OneImageMethod mOneImageMethod = nullptr;
};
