#include "fxcontroller/OrvVideoFXEntity.h"

#include <utility>

#include "api/Log.h"
#include "fxcontroller/OrvVideoHandlerFactory.h"

namespace {

constexpr int32_t kI2IBase = 3000;
constexpr int32_t kI2VBase = 4000;
constexpr int32_t kV2IBase = 5000;

struct EffectRow {
  int32_t k;
  OrvVideoFXEntity::I2IMethod i2i;
  OrvVideoFXEntity::I2VMethod i2v;
  OrvVideoFXEntity::V2IMethod v2i;
};

}  // namespace

OrvVideoFXEntity::OrvVideoFXEntity(OrvEffectMaker* maker) : mEffectMaker(maker) { InitEffectTable(); }

OrvVideoFXEntity::~OrvVideoFXEntity() {
  ORV_LOG("OrvVideoFXEntity::~OrvVideoFXEntity", "OrvVideoFXEntity Destructor called");
}

void OrvVideoFXEntity::InitEffectTable() {
  // Effect number k of each direction: 3000 + k, 4000 + k, 5000 + k.
  static const EffectRow kRows[] = {
      {0, &OrvEffectMaker::DiagonalI2I, &OrvEffectMaker::DiagonalI2V, &OrvEffectMaker::DiagonalV2I},
      {1, &OrvEffectMaker::ZoomI2I, &OrvEffectMaker::ZoomI2V, &OrvEffectMaker::ZoomV2I},
      {2, &OrvEffectMaker::MoveI2I, &OrvEffectMaker::MoveI2V, &OrvEffectMaker::MoveV2I},
      {3, &OrvEffectMaker::PixelateI2I, &OrvEffectMaker::PixelateI2V, &OrvEffectMaker::PixelateV2I},
      {4, &OrvEffectMaker::FadeinI2I, &OrvEffectMaker::FadeinI2V, &OrvEffectMaker::FadeinV2I},
      {5, &OrvEffectMaker::PendulumI2I, &OrvEffectMaker::PendulumI2V, &OrvEffectMaker::PendulumV2I},
      {6, &OrvEffectMaker::SwirlI2I, &OrvEffectMaker::SwirlI2V, &OrvEffectMaker::SwirlV2I},
      {7, &OrvEffectMaker::CubeI2I, &OrvEffectMaker::CubeI2V, &OrvEffectMaker::CubeV2I},
      {8, &OrvEffectMaker::MosaicI2I, &OrvEffectMaker::MosaicI2V, &OrvEffectMaker::MosaicV2I},
      {9, &OrvEffectMaker::DoorwayI2I, &OrvEffectMaker::DoorwayI2V, &OrvEffectMaker::DoorwayV2I},
      {10, &OrvEffectMaker::PushI2I, &OrvEffectMaker::PushI2V, &OrvEffectMaker::PushV2I},
      {11, &OrvEffectMaker::ZoomInI2I, &OrvEffectMaker::ZoomInI2V, &OrvEffectMaker::ZoomInV2I},
      {12, &OrvEffectMaker::CurlPaperI2I, &OrvEffectMaker::CurlPaperI2V, &OrvEffectMaker::CurlPaperV2I},
      {13, &OrvEffectMaker::TwistI2I, &OrvEffectMaker::TwistI2V, &OrvEffectMaker::TwistV2I},
      {14, &OrvEffectMaker::SwapI2I, &OrvEffectMaker::SwapI2V, &OrvEffectMaker::SwapV2I},
  };
  for (const EffectRow& row : kRows) {
    mI2IMethods[kI2IBase + row.k] = row.i2i;
    mI2VMethods[kI2VBase + row.k] = row.i2v;
    mV2IMethods[kV2IBase + row.k] = row.v2i;
  }
  mImageHoldMethod = &OrvEffectMaker::ShowImageNoEffect;
  mVideoPlayMethod = &OrvEffectMaker::ShowVideoNoEffect;
  mVideoHoldMethod = &OrvEffectMaker::BlendingV2V;
  mThreeImageMethod = &OrvEffectMaker::ThreeWayThreeImage;
  mOneImageMethod = &OrvEffectMaker::ThreeWayOneImage;
}

void OrvVideoFXEntity::BindTransitionI2I(int32_t code, const cv::Mat* from, const cv::Mat* to, int32_t frameLength,
                                         int32_t transitionLength, const float* effectOption) {
  if (IsCanceled()) return;
  ORV_LOG("OrvVideoFXEntity::BindTransitionI2I",
          " >> BindTransitionI2I, EffectNumber : %d, frameLength : %d, transitionLength : %d", code, frameLength,
          transitionLength);
  auto found = mI2IMethods.find(code);
  if (found == mI2IMethods.end() || !mEffectMaker) return;
  (mEffectMaker->*(found->second))(from, to, frameLength, transitionLength, effectOption);
}

void OrvVideoFXEntity::BindTransitionI2V(int32_t code, SummaryLocation* location, const cv::Mat* paper,
                                         const cv::Mat* image, int32_t transitionLength, const float* effectOption) {
  static const char* const kTag = "OrvVideoFXEntity::BindTransitionI2V";
  if (IsCanceled()) return;
  SuperFrame* block = location ? location->block : nullptr;
  ORV_LOG(kTag, " >> BindTransitionI2V, EffectNumber : %d, sfStart : %d, sfEnd : %d, transitionLength : %d", code,
          block ? block->sfStart : 0, block ? block->sfEnd : 0, transitionLength);
  auto found = mI2VMethods.find(code);
  if (found == mI2VMethods.end() || !mEffectMaker) return;
  if (!block) {
    ORV_LOG(kTag, "## No video block for the scene; nothing drawn");
    return;
  }
  OrvEffectMaker::SetInputFrameHandler(OrvVideoHandlerFactory::GetFrameHandler(location->videoName));
  (mEffectMaker->*(found->second))(block, paper, image, transitionLength, effectOption);
}

void OrvVideoFXEntity::BindTransitionV2I(int32_t code, SummaryLocation* location, int32_t transitionStartFrame,
                                         const cv::Mat* paper, int32_t frameLength, int32_t transitionLength,
                                         const float* effectOption, cv::Mat image) {
  static const char* const kTag = "OrvVideoFXEntity::BindTransitionV2I";
  if (IsCanceled()) return;
  ORV_LOG(kTag, " >> BindTransitionV2I, EffectNumber : %d, index : %d, frameLength : %d, transitionLength : %d", code,
          transitionStartFrame, frameLength, transitionLength);
  auto found = mV2IMethods.find(code);
  if (found == mV2IMethods.end() || !mEffectMaker) return;
  SuperFrame* block = location ? location->block : nullptr;
  if (!block) {
    ORV_LOG(kTag, "## No video block for the scene; nothing drawn");
    return;
  }
  OrvEffectMaker::SetInputFrameHandler(OrvVideoHandlerFactory::GetFrameHandler(location->videoName));
  (mEffectMaker->*(found->second))(block, transitionStartFrame, paper, image, frameLength, transitionLength,
                                   effectOption);
}

void OrvVideoFXEntity::BindTransitionV2V(int32_t code, SummaryLocation* location, int32_t frameLength, cv::Mat paper) {
  static const char* const kTag = "OrvVideoFXEntity::BindTransitionV2V";
  if (IsCanceled()) return;
  ORV_LOG(kTag, " >> BindTransitionV2V, EffectNumber : %d, frameLength : %d", code, frameLength);
  SuperFrame* block = location ? location->block : nullptr;
  if (!block || !mEffectMaker) {
    ORV_LOG(kTag, "## No video block for the scene; nothing drawn");
    return;
  }
  OrvEffectMaker::SetInputFrameHandler(OrvVideoHandlerFactory::GetFrameHandler(location->videoName));
  (mEffectMaker->*mVideoHoldMethod)(code, paper, block, frameLength);
}

void OrvVideoFXEntity::BindImage(const cv::Mat* image, int32_t frameCount) {
  if (IsCanceled()) return;
  ORV_LOG("OrvVideoFXEntity::BindImage", " >> BindImage length : %d", frameCount);
  if (!mEffectMaker) return;
  (mEffectMaker->*mImageHoldMethod)(image, frameCount);
}
