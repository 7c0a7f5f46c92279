#include "fxcontroller/OrvVideoFXEntity.h"

#include <string>
#include <utility>

#include "EffectTable.h"
#include "api/Log.h"
#include "fxcontroller/OrvVideoHandlerFactory.h"

namespace {

SceneOutcome NoMember(const char* tag, int32_t code) {
  ORV_LOG(tag, "## No effect for code %d in this scene kind; scene skipped", code);
  return SceneOutcome::Skip("no effect for code " + std::to_string(code));
}

}  // namespace

OrvVideoFXEntity::OrvVideoFXEntity(OrvEffectMaker* maker) : mEffectMaker(maker) { InitEffectTable(); }

OrvVideoFXEntity::~OrvVideoFXEntity() {
  ORV_LOG("OrvVideoFXEntity::~OrvVideoFXEntity", "OrvVideoFXEntity Destructor called");
}

void OrvVideoFXEntity::InitEffectTable() {
  for (const EffectRow& row : EffectTable()) {
    mI2IMethods[kI2IBase + row.number] = row.i2i;
    mI2VMethods[kI2VBase + row.number] = row.i2v;
    mV2IMethods[kV2IBase + row.number] = row.v2i;
  }
  mImageHoldMethod = &OrvEffectMaker::ShowImageNoEffect;
  mVideoPlayMethod = &OrvEffectMaker::ShowVideoNoEffect;
  mVideoHoldMethod = &OrvEffectMaker::BlendingV2V;
  mThreeImageMethod = &OrvEffectMaker::ThreeWayThreeImage;
  mOneImageMethod = &OrvEffectMaker::ThreeWayOneImage;
}

SceneOutcome OrvVideoFXEntity::BindTransitionI2I(int32_t code, const cv::Mat* from, const cv::Mat* to, int32_t frameLength,
                                         int32_t transitionLength, const float* effectOption) {
  static const char* const kTag = "OrvVideoFXEntity::BindTransitionI2I";
  if (IsCanceled()) return SceneOutcome::Cancel();
  ORV_LOG(kTag,
          " >> BindTransitionI2I, EffectNumber : %d, frameLength : %d, transitionLength : %d", code, frameLength,
          transitionLength);
  auto found = mI2IMethods.find(code);
  if (found == mI2IMethods.end() || !mEffectMaker) return NoMember(kTag, code);
  return (mEffectMaker->*(found->second))(from, to, frameLength, transitionLength, effectOption);
}

SceneOutcome OrvVideoFXEntity::BindTransitionI2V(int32_t code, SummaryLocation* location, const cv::Mat* paper,
                                         const cv::Mat* image, int32_t transitionLength, const float* effectOption) {
  static const char* const kTag = "OrvVideoFXEntity::BindTransitionI2V";
  if (IsCanceled()) return SceneOutcome::Cancel();
  SuperFrame* block = location ? location->block : nullptr;
  ORV_LOG(kTag, " >> BindTransitionI2V, EffectNumber : %d, sfStart : %d, sfEnd : %d, transitionLength : %d", code,
          block ? block->sfStart : 0, block ? block->sfEnd : 0, transitionLength);
  auto found = mI2VMethods.find(code);
  if (found == mI2VMethods.end() || !mEffectMaker) return NoMember(kTag, code);
  if (!block) {
    ORV_LOG(kTag, "## No video block for the scene; nothing drawn");
    return SceneOutcome::Skip("no video block");
  }
  OrvEffectMaker::SetInputFrameHandler(OrvVideoHandlerFactory::GetFrameHandler(location->videoName));
  return (mEffectMaker->*(found->second))(block, paper, image, transitionLength, effectOption);
}

SceneOutcome OrvVideoFXEntity::BindTransitionV2I(int32_t code, SummaryLocation* location, int32_t transitionStartFrame,
                                         const cv::Mat* paper, int32_t frameLength, int32_t transitionLength,
                                         const float* effectOption, cv::Mat image) {
  static const char* const kTag = "OrvVideoFXEntity::BindTransitionV2I";
  if (IsCanceled()) return SceneOutcome::Cancel();
  ORV_LOG(kTag, " >> BindTransitionV2I, EffectNumber : %d, index : %d, frameLength : %d, transitionLength : %d", code,
          transitionStartFrame, frameLength, transitionLength);
  auto found = mV2IMethods.find(code);
  if (found == mV2IMethods.end() || !mEffectMaker) return NoMember(kTag, code);
  SuperFrame* block = location ? location->block : nullptr;
  if (!block) {
    ORV_LOG(kTag, "## No video block for the scene; nothing drawn");
    return SceneOutcome::Skip("no video block");
  }
  OrvEffectMaker::SetInputFrameHandler(OrvVideoHandlerFactory::GetFrameHandler(location->videoName));
  return (mEffectMaker->*(found->second))(block, transitionStartFrame, paper, image, frameLength, transitionLength,
                                          effectOption);
}

SceneOutcome OrvVideoFXEntity::BindTransitionV2V(int32_t code, SummaryLocation* location, int32_t frameLength, cv::Mat paper) {
  static const char* const kTag = "OrvVideoFXEntity::BindTransitionV2V";
  if (IsCanceled()) return SceneOutcome::Cancel();
  ORV_LOG(kTag, " >> BindTransitionV2V, EffectNumber : %d, frameLength : %d", code, frameLength);
  SuperFrame* block = location ? location->block : nullptr;
  if (!block || !mEffectMaker) {
    ORV_LOG(kTag, "## No video block for the scene; nothing drawn");
    return SceneOutcome::Skip("no video block");
  }
  OrvEffectMaker::SetInputFrameHandler(OrvVideoHandlerFactory::GetFrameHandler(location->videoName));
  return (mEffectMaker->*mVideoHoldMethod)(code, paper, block, frameLength);
}

SceneOutcome OrvVideoFXEntity::BindImage(const cv::Mat* image, int32_t frameCount) {
  if (IsCanceled()) return SceneOutcome::Cancel();
  ORV_LOG("OrvVideoFXEntity::BindImage", " >> BindImage length : %d", frameCount);
  if (!mEffectMaker) return SceneOutcome::Skip("no effect maker");
  return (mEffectMaker->*mImageHoldMethod)(image, frameCount);
}

SceneOutcome OrvVideoFXEntity::BindOneImage(const cv::Mat* image, int32_t frameCount) {
  if (IsCanceled()) return SceneOutcome::Cancel();
  if (!mEffectMaker || !mOneImageMethod) return SceneOutcome::Skip("no effect maker");
  return (mEffectMaker->*mOneImageMethod)(kThreePanelCode, image, frameCount);
}
