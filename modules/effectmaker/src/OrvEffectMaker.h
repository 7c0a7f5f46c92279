// OpenGL host of one create pass: per-scene hidden window, context and
// framebuffer, and one member per effect and direction.
#pragma once

#include <GL/glew.h>

#include <opencv2/core.hpp>

#include <cstdint>
#include <string>
#include <vector>

#include "OrvTransitionEffectInterface.h"
#include "videoengine/VideoEngine.h"

struct GLFWwindow;
class OrvFXFrameHandler;

class OrvEffectMaker {
 public:
  OrvEffectMaker(int32_t width, int32_t height, OrvFXFrameHandler* outputFrameHandler, std::string effectResourceDir);
  ~OrvEffectMaker();
  OrvEffectMaker(const OrvEffectMaker&) = delete;
  OrvEffectMaker& operator=(const OrvEffectMaker&) = delete;

  // Creates the scene's window, context and framebuffer. False when there is
  // no usable context (no window, or an incomplete framebuffer); no effect
  // may draw then.
  bool InitOpenGL();
  void DeInitOpenGL();
  // A window with a complete framebuffer: effects may draw.
  bool HasContext() const { return mGLReady; }

  static void SetInputFrameHandler(OrvFXFrameHandler* handler);
  // False for a transition code (3000 + k, 4000 + k, 5000 + k) whose class is
  // not part of this build: its member logs and draws nothing.
  static bool HasEffectClass(int32_t code);

  // Frames are encoded on their own thread. By default every effect member
  // returns once its frames have reached the writer; a caller that drains
  // itself (DrainFrameWrites) may let encoding overlap the next scene.
  void SetWaitForWrites(bool wait) { mWaitForWrites = wait; }

  int32_t GetWidth() const { return mWidth; }
  int32_t GetHeight() const { return mHeight; }
  OrvFXFrameHandler* GetOutputFrameHandler() const { return mOutputFrameHandler; }

  // Special effects. A leading code argument is ignored.
  bool ShowImageNoEffect(const cv::Mat* image, int32_t frameCount);
  bool ShowVideoNoEffect(SuperFrame* block);
  bool BlendingV2V(int32_t code, cv::Mat paper, SuperFrame* block, int32_t frameLength);
  bool ThreeWayThreeImage(int32_t code, const std::vector<cv::Mat>* pictures, int32_t frameCount);
  bool ThreeWayOneImage(int32_t code, const cv::Mat* image, int32_t frameCount);

  // Transitions k = 0..14, one member per direction. Each returns true.
  bool DiagonalI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength, int32_t transitionLength,
              const float* effectOption);
  bool DiagonalI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
              const float* effectOption);
  bool DiagonalV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
              int32_t frameLength, int32_t transitionLength, const float* effectOption);
  bool ZoomI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength, int32_t transitionLength,
              const float* effectOption);
  bool ZoomI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
              const float* effectOption);
  bool ZoomV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
              int32_t frameLength, int32_t transitionLength, const float* effectOption);
  bool MoveI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength, int32_t transitionLength,
              const float* effectOption);
  bool MoveI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
              const float* effectOption);
  bool MoveV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
              int32_t frameLength, int32_t transitionLength, const float* effectOption);
  bool PixelateI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength, int32_t transitionLength,
              const float* effectOption);
  bool PixelateI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
              const float* effectOption);
  bool PixelateV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
              int32_t frameLength, int32_t transitionLength, const float* effectOption);
  bool FadeinI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength, int32_t transitionLength,
              const float* effectOption);
  bool FadeinI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
              const float* effectOption);
  bool FadeinV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
              int32_t frameLength, int32_t transitionLength, const float* effectOption);
  bool PendulumI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength, int32_t transitionLength,
              const float* effectOption);
  bool PendulumI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
              const float* effectOption);
  bool PendulumV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
              int32_t frameLength, int32_t transitionLength, const float* effectOption);
  bool SwirlI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength, int32_t transitionLength,
              const float* effectOption);
  bool SwirlI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
              const float* effectOption);
  bool SwirlV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
              int32_t frameLength, int32_t transitionLength, const float* effectOption);
  bool CubeI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength, int32_t transitionLength,
              const float* effectOption);
  bool CubeI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
              const float* effectOption);
  bool CubeV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
              int32_t frameLength, int32_t transitionLength, const float* effectOption);
  bool MosaicI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength, int32_t transitionLength,
              const float* effectOption);
  bool MosaicI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
              const float* effectOption);
  bool MosaicV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
              int32_t frameLength, int32_t transitionLength, const float* effectOption);
  bool DoorwayI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength, int32_t transitionLength,
              const float* effectOption);
  bool DoorwayI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
              const float* effectOption);
  bool DoorwayV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
              int32_t frameLength, int32_t transitionLength, const float* effectOption);
  bool PushI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength, int32_t transitionLength,
              const float* effectOption);
  bool PushI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
              const float* effectOption);
  bool PushV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
              int32_t frameLength, int32_t transitionLength, const float* effectOption);
  bool ZoomInI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength, int32_t transitionLength,
              const float* effectOption);
  bool ZoomInI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
              const float* effectOption);
  bool ZoomInV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
              int32_t frameLength, int32_t transitionLength, const float* effectOption);
  bool CurlPaperI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength, int32_t transitionLength,
              const float* effectOption);
  bool CurlPaperI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
              const float* effectOption);
  bool CurlPaperV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
              int32_t frameLength, int32_t transitionLength, const float* effectOption);
  bool TwistI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength, int32_t transitionLength,
              const float* effectOption);
  bool TwistI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
              const float* effectOption);
  bool TwistV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
              int32_t frameLength, int32_t transitionLength, const float* effectOption);
  bool SwapI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength, int32_t transitionLength,
              const float* effectOption);
  bool SwapI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
              const float* effectOption);
  bool SwapV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
              int32_t frameLength, int32_t transitionLength, const float* effectOption);

 private:
  // Plays one scene with a new Effect; see the definition.
  template <class Effect, class Play>
  bool RunEffect(const char* member, Play&& play);

  int32_t mWidth = 0;
  int32_t mHeight = 0;
  std::string mEffectResourceDir;
  GLuint fbo = 0;
  GLuint renderTexture = 0;
  GLuint depthTexture = 0;
  OrvFXFrameHandler* mOutputFrameHandler = nullptr;
  GLFWwindow* mGLFWWindow = nullptr;
  bool mObjectsMade = false;  // framebuffer objects exist in the window's context
  bool mGLReady = false;      // context current, framebuffer complete
  bool mWaitForWrites = true;
};
