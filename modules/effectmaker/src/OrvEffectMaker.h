// OpenGL host of one create pass: a hidden window, context and framebuffer
// (one for the whole pass, or one per scene), and one member per effect and
// direction.
#pragma once

#include <GL/glew.h>

#include <opencv2/core.hpp>

#include <cstdint>
#include <string>
#include <vector>

#include "OrvTransitionEffectInterface.h"
#include "SceneOutcome.h"
#include "TransitionList.h"
#include "videoengine/VideoEngine.h"

struct GLFWwindow;
class OrvFXFrameHandler;

class OrvEffectMaker {
 public:
  OrvEffectMaker(int32_t width, int32_t height, OrvFXFrameHandler* outputFrameHandler, std::string effectResourceDir);
  ~OrvEffectMaker();
  OrvEffectMaker(const OrvEffectMaker&) = delete;
  OrvEffectMaker& operator=(const OrvEffectMaker&) = delete;

  // Between BeginPass and EndPass the first InitOpenGL makes the window,
  // context and framebuffer, DeInitOpenGL keeps them, and every later
  // InitOpenGL hands them to the next scene in the state a new one has, with
  // the programs built so far; EndPass destroys them. Without a pass (or
  // with one context per pass switched off) each scene gets its own.
  void BeginPass();
  void EndPass();
  // Process-wide; on by default.
  static void SetOneContextPerPass(bool on);
  static bool OneContextPerPass();
  // Makes a small hidden window, draws one textured triangle through a
  // framebuffer and reads it back, so that the driver has loaded and set up
  // what a pass needs (its exit handlers included). Logs nothing.
  static void UseDriverOnce();

  // Makes the scene's window, context and framebuffer ready. False when
  // there is no usable context (no window, or an incomplete framebuffer); no
  // effect may draw then.
  bool InitOpenGL();
  void DeInitOpenGL();
  // A window with a complete framebuffer: effects may draw.
  bool HasContext() const { return mGLReady; }

  static void SetInputFrameHandler(OrvFXFrameHandler* handler);
  // Unpublishes handler when it is the published reader (it is being freed).
  static void ForgetInputFrameHandler(const OrvFXFrameHandler* handler);

  // Frames are encoded on their own thread. By default every effect member
  // returns once its frames have reached the writer; a caller that drains
  // itself (DrainFrameWrites) may let encoding overlap the next scene.
  void SetWaitForWrites(bool wait) { mWaitForWrites = wait; }

  int32_t GetWidth() const { return mWidth; }
  int32_t GetHeight() const { return mHeight; }
  OrvFXFrameHandler* GetOutputFrameHandler() const { return mOutputFrameHandler; }

  // Special effects. A leading code argument is ignored.
  SceneOutcome ShowImageNoEffect(const cv::Mat* image, int32_t frameCount);
  SceneOutcome ShowVideoNoEffect(SuperFrame* block);
  SceneOutcome BlendingV2V(int32_t code, cv::Mat paper, SuperFrame* block, int32_t frameLength);
  SceneOutcome ThreeWayThreeImage(int32_t code, const std::vector<cv::Mat>* pictures, int32_t frameCount);
  SceneOutcome ThreeWayOneImage(int32_t code, const cv::Mat* image, int32_t frameCount);

  using I2IMember = SceneOutcome (OrvEffectMaker::*)(const cv::Mat*, const cv::Mat*, int32_t, int32_t, const float*);
  using I2VMember = SceneOutcome (OrvEffectMaker::*)(SuperFrame*, const cv::Mat*, const cv::Mat*, int32_t,
                                                     const float*);
  using V2IMember = SceneOutcome (OrvEffectMaker::*)(SuperFrame*, int32_t, const cv::Mat*, cv::Mat, int32_t, int32_t,
                                                     const float*);

  // Transitions of the effect table, one member per direction (DiagonalI2I,
  // DiagonalI2V, DiagonalV2I, ...).
#define ORV_DECLARE_TRANSITION(k, Name, Class, options)                                                        \
  SceneOutcome Name##I2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength, int32_t transitionLength, \
                         const float* effectOption);                                                           \
  SceneOutcome Name##I2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength, \
                         const float* effectOption);                                                           \
  SceneOutcome Name##V2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,  \
                         int32_t frameLength, int32_t transitionLength, const float* effectOption);
  ORV_TRANSITION_TABLE(ORV_DECLARE_TRANSITION)
#undef ORV_DECLARE_TRANSITION

 private:
  // Plays one scene with a new Effect; see the definition.
  template <class Effect, class Play>
  SceneOutcome RunEffect(const char* member, Play&& play);

  bool MakeWindow();
  bool MakeFramebuffer();
  void ResetSceneState();
  void DestroyWindow();

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
  bool mKeepWindow = false;  // within a pass with one context
};
