// Base of every effect that draws clip frames: cancel polling, the three scene
// operations, frame read-back and write-out, first-frame still, video warp.
#pragma once

#include <GL/glew.h>

#include <opencv2/core.hpp>

#include <array>
#include <cstdint>
#include <string>

#include "GLErrorCheck.h"
#include "SceneOutcome.h"
#include "scriptmaker/OrvCancelTask.h"
#include "videoengine/VideoEngine.h"

class OrvEffectMaker;
class OrvFXFrameHandler;

// Rendering-side process-wide values, published by OrvEffectMaker.
extern std::string gEffectResourceDir;
extern int32_t gEffectFrameWidth;
extern int32_t gEffectFrameHeight;
extern cv::Mat gFrameBufferMat;  // CV_8UC3, gEffectFrameHeight x gEffectFrameWidth
extern bool gWriteFirstFrame;
extern OrvFXFrameHandler* gInputFrameHandler;

class OrvTransitionEffectInterface : public OrvFXCancelTask {
 public:
  // Sets the common GL state in the current context. width and height start
  // at the maker's output size (the frame size when maker is null); indices
  // hold the full-screen quad's two triangles.
  OrvTransitionEffectInterface(OrvEffectMaker* maker, OrvFXFrameHandler* sink);
  ~OrvTransitionEffectInterface() override = default;

  virtual bool TranstionI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength, int32_t transitionLength,
                            const float* effectOption) = 0;
  virtual bool TranstionI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
                            const float* effectOption) = 0;
  virtual bool TranstionV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
                            int32_t frameLength, int32_t transitionLength, const float* effectOption) = 0;

  // Reads the current framebuffer into gFrameBufferMat and writes it out.
  // False when nothing was handed to the writer (no output, cancelled).
  bool WriteFrame();
  // Writes the frame last read back once more (an unchanged picture).
  bool WriteSameFrame();
  void WritingFirstFrame(cv::Mat frame);
  static std::string GetEffectResourceDirectory();
  // Stabilising warp of frame i of a block with its nine-float transform
  // (row-major 3x3; null means identity), then an 8 % crop back to size.
  void ApplyFrameTransform(cv::Mat* frame, const float* transform);

  // Transform of frame i of a block, or null (identity) when the block has none.
  static const float* FrameTransformOf(const SuperFrame* block, int32_t i);

  // How the last scene this effect played ended.
  const SceneOutcome& LastOutcome() const { return mOutcome; }

 protected:
  OrvFXFrameHandler* mSink = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  std::array<GLushort, 6> indices{{0, 1, 2, 0, 2, 3}};
  SceneOutcome mOutcome;
};
