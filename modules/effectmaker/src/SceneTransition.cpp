#include "SceneTransition.h"

#include "ShaderUtils.h"
#include "api/Log.h"

SceneTransition::SceneTransition(OrvEffectMaker* maker, OrvFXFrameHandler* sink, const std::string& className)
    : OrvTransitionEffectInterface(maker, sink),
      mClassName(className),
      mTags{className + "::TranstionI2I", className + "::TranstionI2V", className + "::TranstionV2I"} {}

GLuint SceneTransition::UploadPicture(const cv::Mat* picture, const char* what, const char* tag) {
  if (picture == nullptr || picture->empty()) {
    ORV_LOG(tag, "No %s to draw; it shows as black", what);
    return ShaderUtils::MatToTexture(cv::Mat());
  }
  return ShaderUtils::MatToTexture(ShaderUtils::PrepareForUpload(*picture));
}

GLuint SceneTransition::UploadOverBlack(const cv::Mat* picture, const char* what, const char* tag) {
  if (picture == nullptr || picture->empty()) return UploadPicture(picture, what, tag);
  const cv::Mat opaque = ShaderUtils::OverBlack(ShaderUtils::PrepareForUpload(*picture));
  return UploadPicture(&opaque, what, tag);
}

GLuint SceneTransition::UploadPaper(const cv::Mat* paper, const char* tag) {
  if (paper != nullptr && !paper->empty()) return ShaderUtils::MatToTexture(ShaderUtils::PrepareForUpload(*paper));
  if (paper != nullptr) ORV_LOG(tag, "Empty paper picture; the video is shown without a cover");
  // One fully transparent texel covers the whole frame.
  return ShaderUtils::MatToTexture(cv::Mat());
}

const char* SceneTransition::Tag(Direction direction) const { return mTags[static_cast<int>(direction)].c_str(); }

bool SceneTransition::Play(const Inputs& inputs, framewalk::Walk walk, const SuperFrame* block) {
  mInputs = inputs;
  mOutcome = scene::Drive(*this, *this, walk, block, Tag(inputs.direction));
  mInputs = Inputs();
  return mOutcome.Drawn();
}

bool SceneTransition::TranstionI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength,
                                   int32_t transitionLength, const float* effectOption) {
  Inputs in;
  in.direction = Direction::I2I;
  in.from = from;
  in.to = to;
  in.option = effectOption;
  in.transitionLength = transitionLength;
  return Play(in, framewalk::Walk::Pictures(frameLength, transitionLength, WalkRule(Direction::I2I)), nullptr);
}

bool SceneTransition::TranstionI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image,
                                   int32_t transitionLength, const float* effectOption) {
  Inputs in;
  in.direction = Direction::I2V;
  in.from = image;
  in.paper = paper;
  in.option = effectOption;
  in.transitionLength = transitionLength;
  const int32_t size = video ? video->sfSize : 0;
  return Play(in, framewalk::Walk::IntoVideo(size, transitionLength, WalkRule(Direction::I2V)), video);
}

bool SceneTransition::TranstionV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
                                   int32_t frameLength, int32_t transitionLength, const float* effectOption) {
  Inputs in;
  in.direction = Direction::V2I;
  in.to = &image;
  in.paper = paper;
  in.option = effectOption;
  in.transitionLength = transitionLength;
  const int32_t size = video ? video->sfSize : 0;
  const bool drawn = Play(
      in,
      framewalk::Walk::OutOfVideo(size, frameLength, transitionStartFrame, transitionLength, WalkRule(Direction::V2I)),
      video);
  image.release();
  return drawn;
}
