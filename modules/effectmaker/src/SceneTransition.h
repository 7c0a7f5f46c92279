// Base of the transition families that run on the scene driver. The three
// scene operations are written once here; a family gives its walk rule and
// draws one frame from the scene's inputs.
#pragma once

#include <string>

#include "OrvTransitionEffectInterface.h"
#include "SceneDriver.h"

class SceneTransition : public OrvTransitionEffectInterface, protected scene::Drawing {
 public:
  using Direction = scene::Direction;

  bool TranstionI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength, int32_t transitionLength,
                    const float* effectOption) override;
  bool TranstionI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
                    const float* effectOption) override;
  bool TranstionV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
                    int32_t frameLength, int32_t transitionLength, const float* effectOption) override;

 protected:
  // What the scene hands the drawing. Picture to video leaves `from` (the
  // picture) for the video; video to picture reaches `to`.
  struct Inputs {
    Direction direction = Direction::I2I;
    const cv::Mat* from = nullptr;
    const cv::Mat* to = nullptr;
    const cv::Mat* paper = nullptr;  // laid over the video; may be null
    const float* option = nullptr;
    int32_t transitionLength = 0;
  };

  // className names the log tags ("<className>::TranstionI2I").
  SceneTransition(OrvEffectMaker* maker, OrvFXFrameHandler* sink, const std::string& className);

  virtual framewalk::Rule WalkRule(Direction direction) const = 0;

  const Inputs& SceneInputs() const { return mInputs; }
  // A scene picture as a texture; a missing one is logged and shows as black.
  static GLuint UploadPicture(const cv::Mat* picture, const char* what, const char* tag);
  // The same picture laid over black, as the holds show it: nothing drawn
  // behind it shows through where it is transparent.
  static GLuint UploadOverBlack(const cv::Mat* picture, const char* what, const char* tag);
  // The paper laid over the video; none, or an empty one, is a fully
  // transparent cover, so the video shows as it is.
  static GLuint UploadPaper(const cv::Mat* paper, const char* tag);
  const char* Tag(Direction direction) const;
  const std::string& ClassName() const { return mClassName; }

 private:
  bool Play(const Inputs& inputs, framewalk::Walk walk, const SuperFrame* block);

  Inputs mInputs;
  std::string mClassName;
  std::string mTags[3];
};
