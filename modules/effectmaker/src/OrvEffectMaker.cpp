#include "OrvEffectMaker.h"

#include <GLFW/glfw3.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <type_traits>
#include <utility>

#include "AsyncFrameWriter.h"
#include "GLErrorCheck.h"
#include "Transition_Blending.h"
#include "Transition_Diagonal.h"
#include "Transition_Fadein.h"
#include "Transition_Move.h"
#include "Transition_Pendulum.h"
#include "Transition_Pixelate.h"
#include "Transition_Swirl.h"
#include "Transition_Zoom.h"
#include "Transition_NoEffect.h"
#include "Transition_ThreeWay.h"
#include "api/Log.h"
#include "api/PathUtils.h"
#include "fxcontroller/OrvFXFrameHandler.h"
#include "fxcontroller/OrvVideoHandlerFactory.h"

int32_t gEffectFrameWidth = 0;
int32_t gEffectFrameHeight = 0;
bool gWriteFirstFrame = false;
OrvFXFrameHandler* gInputFrameHandler = nullptr;

namespace {

// Stand-in for a transition class that is not part of this build: its
// scenes are logged and skipped.
template <int K>
struct NotBuiltEffect {};
template <class T>
struct IsNotBuilt : std::false_type {};
template <int K>
struct IsNotBuilt<NotBuiltEffect<K>> : std::true_type {};

// Which class plays each transition number.
using DiagonalEffect = Transition_Diagonal;
using ZoomEffect = Transition_Zoom;
using MoveEffect = Transition_Move;
using PixelateEffect = Transition_Pixelate;
using FadeinEffect = Transition_Fadein;
using PendulumEffect = Transition_Pendulum;
using SwirlEffect = Transition_Swirl;
using CubeEffect = NotBuiltEffect<7>;  // Transition_Cube
using MosaicEffect = NotBuiltEffect<8>;  // Transition_Mosaic
using DoorwayEffect = NotBuiltEffect<9>;  // Transition_Doorway
using PushEffect = NotBuiltEffect<10>;  // Transition_Push
using ZoomInEffect = NotBuiltEffect<11>;  // Transition_ZoomIn
using CurlPaperEffect = NotBuiltEffect<12>;  // Transition_CurlPaper
using TwistEffect = NotBuiltEffect<13>;  // Transition_Twist
using SwapEffect = NotBuiltEffect<14>;  // Transition_Swap

constexpr bool kEffectBuilt[15] = {
    !IsNotBuilt<DiagonalEffect>::value,
    !IsNotBuilt<ZoomEffect>::value,
    !IsNotBuilt<MoveEffect>::value,
    !IsNotBuilt<PixelateEffect>::value,
    !IsNotBuilt<FadeinEffect>::value,
    !IsNotBuilt<PendulumEffect>::value,
    !IsNotBuilt<SwirlEffect>::value,
    !IsNotBuilt<CubeEffect>::value,
    !IsNotBuilt<MosaicEffect>::value,
    !IsNotBuilt<DoorwayEffect>::value,
    !IsNotBuilt<PushEffect>::value,
    !IsNotBuilt<ZoomInEffect>::value,
    !IsNotBuilt<CurlPaperEffect>::value,
    !IsNotBuilt<TwistEffect>::value,
    !IsNotBuilt<SwapEffect>::value};

int CurrentThreadId() { return static_cast<int>(syscall(SYS_gettid)); }

void OnGlfwError(int code, const char* description) {
  ORV_LOG("OrvEffectMaker::GLFW", "GLFW error %d : %s", code, description ? description : "");
}

bool SkipWithoutContext(bool ready, const char* member) {
  if (ready) return false;
  ORV_LOG(member, "## No OpenGL context; effect not drawn");
  return true;
}

}  // namespace

OrvEffectMaker::OrvEffectMaker(int32_t width, int32_t height, OrvFXFrameHandler* outputFrameHandler,
                               std::string effectResourceDir)
    : mWidth(width), mHeight(height), mOutputFrameHandler(outputFrameHandler), mGLFWWindow(nullptr) {
  static const char* const kTag = "OrvEffectMaker::OrvEffectMaker";
  ORV_LOG(kTag, "Start OrvEffectMaker <init>");
  mEffectResourceDir = std::move(effectResourceDir);
  ORV_LOG(kTag, " >> Effect Resource Directory : %s", mEffectResourceDir.c_str());
  gEffectResourceDir = mEffectResourceDir;
  gEffectFrameWidth = mWidth;
  gEffectFrameHeight = mHeight;
  if (mWidth > 0 && mHeight > 0) {
    gFrameBufferMat = cv::Mat(mHeight, mWidth, CV_8UC3);
  } else {
    gFrameBufferMat = cv::Mat();
  }
  gWriteFirstFrame = true;
  // The still of this pass is named only once it has been written.
  gFirstSlotImagePath.clear();
  ORV_LOG(kTag, "End OrvEffectMaker <init>");
}

OrvEffectMaker::~OrvEffectMaker() {
  DeInitOpenGL();
  AsyncFrameWriter::Instance().Shutdown();
  mEffectResourceDir.clear();
}

bool OrvEffectMaker::InitOpenGL() {
  static const char* const kTag = "OrvEffectMaker::InitOpenGL";
  ORV_LOG(kTag, "Init OpenGL() Start");
  ORV_LOG(kTag, "[Debug] Create, ThreadID : %d", CurrentThreadId());
  if (mGLFWWindow) DeInitOpenGL();
  mGLReady = false;

  glfwSetErrorCallback(OnGlfwError);
  if (!glfwInit()) ORV_LOG(kTag, "Failed initialize GLFW.");
  glfwWindowHint(GLFW_RESIZABLE, GLFW_FALSE);
  glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
  mGLFWWindow = nullptr;
  if (mWidth > 0 && mHeight > 0) mGLFWWindow = glfwCreateWindow(mWidth, mHeight, "OpenGL", nullptr, nullptr);
  if (!mGLFWWindow) {
    ORV_LOG(kTag, "Failed to create GLFW window, width : %d, height : %d\n", mWidth, mHeight);
    glfwTerminate();
    return false;
  }

  glfwMakeContextCurrent(mGLFWWindow);
  glewExperimental = GL_TRUE;
  const GLenum glewResult = glewInit();
  // GLEW may leave a harmless GL_INVALID_ENUM behind.
  glGetError();
  if (glewResult != GLEW_OK || !glGenFramebuffers || !glCreateShader) {
    ORV_LOG(kTag, "Unable to initialize GLEW.");
    return false;
  }

  glEnable(GL_BLEND);
  ORV_GL_CHECK(kTag);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  ORV_GL_CHECK(kTag);
  glGenFramebuffers(1, &fbo);
  ORV_GL_CHECK(kTag);
  glBindFramebuffer(GL_FRAMEBUFFER, fbo);
  ORV_GL_CHECK(kTag);
  glGenTextures(1, &renderTexture);
  ORV_GL_CHECK(kTag);
  glBindTexture(GL_TEXTURE_2D, renderTexture);
  ORV_GL_CHECK(kTag);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  ORV_GL_CHECK(kTag);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  ORV_GL_CHECK(kTag);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, mWidth, mHeight, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
  ORV_GL_CHECK(kTag);
  glGenRenderbuffers(1, &depthTexture);
  glBindRenderbuffer(GL_RENDERBUFFER, depthTexture);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT, mWidth, mHeight);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depthTexture);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, renderTexture, 0);
  const GLenum drawBuffers[1] = {GL_COLOR_ATTACHMENT0};
  glDrawBuffers(1, drawBuffers);
  mObjectsMade = true;

  const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
  ORV_GL_CHECK(kTag);
  if (status != GL_FRAMEBUFFER_COMPLETE) {
    ORV_LOG(kTag, "ERROR : FrameBuffer Failed\n");
    return false;
  }
  glViewport(0, 0, mWidth, mHeight);
  ORV_GL_CHECK(kTag);
  ORV_LOG(kTag, "[Debug], renderTexture : [%d], depthTexture : [%d], fbo : [%d]", static_cast<int>(renderTexture),
          static_cast<int>(depthTexture), static_cast<int>(fbo));
  ORV_LOG(kTag, "Init OpenGL() End");
  mGLReady = true;
  return true;
}

void OrvEffectMaker::DeInitOpenGL() {
  static const char* const kTag = "OrvEffectMaker::DeInitOpenGL";
  ORV_LOG(kTag, "DeInitOpenGL Start");
  ORV_LOG(kTag, "[Debug], renderTexture : [%d], depthTexture : [%d], fbo : [%d]", static_cast<int>(renderTexture),
          static_cast<int>(depthTexture), static_cast<int>(fbo));
  ORV_LOG(kTag, "[Debug] Delete, ThreadID : %d", CurrentThreadId());
  ORV_LOG(kTag, "Try to destroy GLFWWindow : [%p]", static_cast<void*>(mGLFWWindow));
  if (mGLFWWindow) {
    if (mObjectsMade) {
      glfwMakeContextCurrent(mGLFWWindow);
      glDeleteTextures(1, &renderTexture);
      ORV_GL_CHECK(kTag);
      glBindRenderbuffer(GL_RENDERBUFFER, 0);
      ORV_GL_CHECK(kTag);
      glDeleteRenderbuffers(1, &depthTexture);
      ORV_GL_CHECK(kTag);
      glBindFramebuffer(GL_FRAMEBUFFER, 0);
      ORV_GL_CHECK(kTag);
      glDeleteFramebuffers(1, &fbo);
      ORV_GL_CHECK(kTag);
    }
    ORV_LOG(kTag, "Destroy window, mGLFWWindow");
    glfwDestroyWindow(mGLFWWindow);
    mGLFWWindow = nullptr;
  }
  mObjectsMade = false;
  mGLReady = false;
  ORV_LOG(kTag, "DeInitOpenGL End");
}

bool OrvEffectMaker::HasEffectClass(int32_t code) {
  const int32_t k = code % 1000;
  if (code < 3000 || code >= 6000 || k < 0 || k >= 15) return true;
  return kEffectBuilt[k];
}

void OrvEffectMaker::SetInputFrameHandler(OrvFXFrameHandler* handler) {
  ORV_LOG("OrvEffectMaker::SetInputFrameHandler", "ENTER : %s, Set input frame handler : %p",
          "OrvEffectMaker::SetInputFrameHandler", static_cast<void*>(handler));
  gInputFrameHandler = handler;
}

bool OrvEffectMaker::ShowImageNoEffect(const cv::Mat* image, int32_t frameCount) {
  if (SkipWithoutContext(mGLReady, "OrvEffectMaker::ShowImageNoEffect")) return true;
  Transition_NoEffect effect(mWidth, mHeight, this, mOutputFrameHandler);
  effect.ShowImage(image, frameCount);
  if (mWaitForWrites) DrainFrameWrites();
  return true;
}

bool OrvEffectMaker::ShowVideoNoEffect(SuperFrame* block) {
  if (SkipWithoutContext(mGLReady, "OrvEffectMaker::ShowVideoNoEffect")) return true;
  Transition_NoEffect effect(mWidth, mHeight, this, mOutputFrameHandler);
  effect.ShowVideo(block);
  if (mWaitForWrites) DrainFrameWrites();
  return true;
}

bool OrvEffectMaker::BlendingV2V(int32_t, cv::Mat paper, SuperFrame* block, int32_t frameLength) {
  if (SkipWithoutContext(mGLReady, "OrvEffectMaker::BlendingV2V")) return true;
  Transition_Blending effect(mWidth, mHeight, this, mOutputFrameHandler);
  effect.BlendingEffect(&paper, block, frameLength);
  if (mWaitForWrites) DrainFrameWrites();
  return true;
}

bool OrvEffectMaker::ThreeWayThreeImage(int32_t, const std::vector<cv::Mat>* pictures, int32_t frameCount) {
  if (SkipWithoutContext(mGLReady, "OrvEffectMaker::ThreeWayThreeImage")) return true;
  Transition_ThreeWay effect(mWidth, mHeight, this, mOutputFrameHandler);
  effect.EffectThreeImage(pictures, frameCount);
  if (mWaitForWrites) DrainFrameWrites();
  return true;
}

bool OrvEffectMaker::ThreeWayOneImage(int32_t, const cv::Mat* image, int32_t frameCount) {
  if (SkipWithoutContext(mGLReady, "OrvEffectMaker::ThreeWayOneImage")) return true;
  Transition_ThreeWay effect(mWidth, mHeight, this, mOutputFrameHandler);
  effect.EffectOnlyOneImage(image, frameCount);
  if (mWaitForWrites) DrainFrameWrites();
  return true;
}

// Screen-quad classes are built from the maker and the writer; the base takes
// the frame size and the quad indices from the maker.
template <class Effect>
bool OrvEffectMaker::RunQuadI2I(const char* member, const cv::Mat* from, const cv::Mat* to, int32_t frameLength,
                                int32_t transitionLength, const float* effectOption) {
  if constexpr (IsNotBuilt<Effect>::value) {
    ORV_LOG(member, "## Transition not available in this build; scene skipped");
    return true;
  } else {
    if (SkipWithoutContext(mGLReady, member)) return true;
    Effect effect(this, mOutputFrameHandler);
    effect.TranstionI2I(from, to, frameLength, transitionLength, effectOption);
    if (mWaitForWrites) DrainFrameWrites();
    return true;
  }
}

template <class Effect>
bool OrvEffectMaker::RunQuadI2V(const char* member, SuperFrame* video, const cv::Mat* paper, const cv::Mat* image,
                                int32_t transitionLength, const float* effectOption) {
  if constexpr (IsNotBuilt<Effect>::value) {
    ORV_LOG(member, "## Transition not available in this build; scene skipped");
    return true;
  } else {
    if (SkipWithoutContext(mGLReady, member)) return true;
    Effect effect(this, mOutputFrameHandler);
    effect.TranstionI2V(video, paper, image, transitionLength, effectOption);
    if (mWaitForWrites) DrainFrameWrites();
    return true;
  }
}

template <class Effect>
bool OrvEffectMaker::RunQuadV2I(const char* member, SuperFrame* video, int32_t transitionStartFrame,
                                const cv::Mat* paper, cv::Mat image, int32_t frameLength, int32_t transitionLength,
                                const float* effectOption) {
  if constexpr (IsNotBuilt<Effect>::value) {
    ORV_LOG(member, "## Transition not available in this build; scene skipped");
    return true;
  } else {
    if (SkipWithoutContext(mGLReady, member)) return true;
    Effect effect(this, mOutputFrameHandler);
    effect.TranstionV2I(video, transitionStartFrame, paper, image, frameLength, transitionLength, effectOption);
    if (mWaitForWrites) DrainFrameWrites();
    image.release();
    return true;
  }
}

// Mesh classes take the frame size, the maker and the writer.
template <class Effect>
bool OrvEffectMaker::RunMeshI2I(const char* member, const cv::Mat* from, const cv::Mat* to, int32_t frameLength,
                                int32_t transitionLength, const float* effectOption) {
  if constexpr (IsNotBuilt<Effect>::value) {
    ORV_LOG(member, "## Transition not available in this build; scene skipped");
    return true;
  } else {
    if (SkipWithoutContext(mGLReady, member)) return true;
    Effect effect(mWidth, mHeight, this, mOutputFrameHandler);
    effect.TranstionI2I(from, to, frameLength, transitionLength, effectOption);
    if (mWaitForWrites) DrainFrameWrites();
    return true;
  }
}

template <class Effect>
bool OrvEffectMaker::RunMeshI2V(const char* member, SuperFrame* video, const cv::Mat* paper, const cv::Mat* image,
                                int32_t transitionLength, const float* effectOption) {
  if constexpr (IsNotBuilt<Effect>::value) {
    ORV_LOG(member, "## Transition not available in this build; scene skipped");
    return true;
  } else {
    if (SkipWithoutContext(mGLReady, member)) return true;
    Effect effect(mWidth, mHeight, this, mOutputFrameHandler);
    effect.TranstionI2V(video, paper, image, transitionLength, effectOption);
    if (mWaitForWrites) DrainFrameWrites();
    return true;
  }
}

template <class Effect>
bool OrvEffectMaker::RunMeshV2I(const char* member, SuperFrame* video, int32_t transitionStartFrame,
                                const cv::Mat* paper, cv::Mat image, int32_t frameLength, int32_t transitionLength,
                                const float* effectOption) {
  if constexpr (IsNotBuilt<Effect>::value) {
    ORV_LOG(member, "## Transition not available in this build; scene skipped");
    return true;
  } else {
    if (SkipWithoutContext(mGLReady, member)) return true;
    Effect effect(mWidth, mHeight, this, mOutputFrameHandler);
    effect.TranstionV2I(video, transitionStartFrame, paper, image, frameLength, transitionLength, effectOption);
    if (mWaitForWrites) DrainFrameWrites();
    image.release();
    return true;
  }
}

bool OrvEffectMaker::DiagonalI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength,
                          int32_t transitionLength, const float* effectOption) {
  return RunQuadI2I<DiagonalEffect>("OrvEffectMaker::DiagonalI2I", from, to, frameLength, transitionLength, effectOption);
}
bool OrvEffectMaker::DiagonalI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
                          const float* effectOption) {
  return RunQuadI2V<DiagonalEffect>("OrvEffectMaker::DiagonalI2V", video, paper, image, transitionLength, effectOption);
}
bool OrvEffectMaker::DiagonalV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
                          int32_t frameLength, int32_t transitionLength, const float* effectOption) {
  return RunQuadV2I<DiagonalEffect>("OrvEffectMaker::DiagonalV2I", video, transitionStartFrame, paper, std::move(image),
                              frameLength, transitionLength, effectOption);
}

bool OrvEffectMaker::ZoomI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength,
                          int32_t transitionLength, const float* effectOption) {
  return RunQuadI2I<ZoomEffect>("OrvEffectMaker::ZoomI2I", from, to, frameLength, transitionLength, effectOption);
}
bool OrvEffectMaker::ZoomI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
                          const float* effectOption) {
  return RunQuadI2V<ZoomEffect>("OrvEffectMaker::ZoomI2V", video, paper, image, transitionLength, effectOption);
}
bool OrvEffectMaker::ZoomV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
                          int32_t frameLength, int32_t transitionLength, const float* effectOption) {
  return RunQuadV2I<ZoomEffect>("OrvEffectMaker::ZoomV2I", video, transitionStartFrame, paper, std::move(image),
                              frameLength, transitionLength, effectOption);
}

bool OrvEffectMaker::MoveI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength,
                          int32_t transitionLength, const float* effectOption) {
  return RunQuadI2I<MoveEffect>("OrvEffectMaker::MoveI2I", from, to, frameLength, transitionLength, effectOption);
}
bool OrvEffectMaker::MoveI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
                          const float* effectOption) {
  return RunQuadI2V<MoveEffect>("OrvEffectMaker::MoveI2V", video, paper, image, transitionLength, effectOption);
}
bool OrvEffectMaker::MoveV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
                          int32_t frameLength, int32_t transitionLength, const float* effectOption) {
  return RunQuadV2I<MoveEffect>("OrvEffectMaker::MoveV2I", video, transitionStartFrame, paper, std::move(image),
                              frameLength, transitionLength, effectOption);
}

bool OrvEffectMaker::PixelateI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength,
                          int32_t transitionLength, const float* effectOption) {
  return RunQuadI2I<PixelateEffect>("OrvEffectMaker::PixelateI2I", from, to, frameLength, transitionLength, effectOption);
}
bool OrvEffectMaker::PixelateI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
                          const float* effectOption) {
  return RunQuadI2V<PixelateEffect>("OrvEffectMaker::PixelateI2V", video, paper, image, transitionLength, effectOption);
}
bool OrvEffectMaker::PixelateV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
                          int32_t frameLength, int32_t transitionLength, const float* effectOption) {
  return RunQuadV2I<PixelateEffect>("OrvEffectMaker::PixelateV2I", video, transitionStartFrame, paper, std::move(image),
                              frameLength, transitionLength, effectOption);
}

bool OrvEffectMaker::FadeinI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength,
                          int32_t transitionLength, const float* effectOption) {
  return RunQuadI2I<FadeinEffect>("OrvEffectMaker::FadeinI2I", from, to, frameLength, transitionLength, effectOption);
}
bool OrvEffectMaker::FadeinI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
                          const float* effectOption) {
  return RunQuadI2V<FadeinEffect>("OrvEffectMaker::FadeinI2V", video, paper, image, transitionLength, effectOption);
}
bool OrvEffectMaker::FadeinV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
                          int32_t frameLength, int32_t transitionLength, const float* effectOption) {
  return RunQuadV2I<FadeinEffect>("OrvEffectMaker::FadeinV2I", video, transitionStartFrame, paper, std::move(image),
                              frameLength, transitionLength, effectOption);
}

bool OrvEffectMaker::PendulumI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength,
                          int32_t transitionLength, const float* effectOption) {
  return RunQuadI2I<PendulumEffect>("OrvEffectMaker::PendulumI2I", from, to, frameLength, transitionLength, effectOption);
}
bool OrvEffectMaker::PendulumI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
                          const float* effectOption) {
  return RunQuadI2V<PendulumEffect>("OrvEffectMaker::PendulumI2V", video, paper, image, transitionLength, effectOption);
}
bool OrvEffectMaker::PendulumV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
                          int32_t frameLength, int32_t transitionLength, const float* effectOption) {
  return RunQuadV2I<PendulumEffect>("OrvEffectMaker::PendulumV2I", video, transitionStartFrame, paper, std::move(image),
                              frameLength, transitionLength, effectOption);
}

bool OrvEffectMaker::SwirlI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength,
                          int32_t transitionLength, const float* effectOption) {
  return RunQuadI2I<SwirlEffect>("OrvEffectMaker::SwirlI2I", from, to, frameLength, transitionLength, effectOption);
}
bool OrvEffectMaker::SwirlI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
                          const float* effectOption) {
  return RunQuadI2V<SwirlEffect>("OrvEffectMaker::SwirlI2V", video, paper, image, transitionLength, effectOption);
}
bool OrvEffectMaker::SwirlV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
                          int32_t frameLength, int32_t transitionLength, const float* effectOption) {
  return RunQuadV2I<SwirlEffect>("OrvEffectMaker::SwirlV2I", video, transitionStartFrame, paper, std::move(image),
                              frameLength, transitionLength, effectOption);
}

bool OrvEffectMaker::CubeI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength,
                          int32_t transitionLength, const float* effectOption) {
  return RunMeshI2I<CubeEffect>("OrvEffectMaker::CubeI2I", from, to, frameLength, transitionLength, effectOption);
}
bool OrvEffectMaker::CubeI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
                          const float* effectOption) {
  return RunMeshI2V<CubeEffect>("OrvEffectMaker::CubeI2V", video, paper, image, transitionLength, effectOption);
}
bool OrvEffectMaker::CubeV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
                          int32_t frameLength, int32_t transitionLength, const float* effectOption) {
  return RunMeshV2I<CubeEffect>("OrvEffectMaker::CubeV2I", video, transitionStartFrame, paper, std::move(image),
                              frameLength, transitionLength, effectOption);
}

bool OrvEffectMaker::MosaicI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength,
                          int32_t transitionLength, const float* effectOption) {
  return RunMeshI2I<MosaicEffect>("OrvEffectMaker::MosaicI2I", from, to, frameLength, transitionLength, effectOption);
}
bool OrvEffectMaker::MosaicI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
                          const float* effectOption) {
  return RunMeshI2V<MosaicEffect>("OrvEffectMaker::MosaicI2V", video, paper, image, transitionLength, effectOption);
}
bool OrvEffectMaker::MosaicV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
                          int32_t frameLength, int32_t transitionLength, const float* effectOption) {
  return RunMeshV2I<MosaicEffect>("OrvEffectMaker::MosaicV2I", video, transitionStartFrame, paper, std::move(image),
                              frameLength, transitionLength, effectOption);
}

bool OrvEffectMaker::DoorwayI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength,
                          int32_t transitionLength, const float* effectOption) {
  return RunMeshI2I<DoorwayEffect>("OrvEffectMaker::DoorwayI2I", from, to, frameLength, transitionLength, effectOption);
}
bool OrvEffectMaker::DoorwayI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
                          const float* effectOption) {
  return RunMeshI2V<DoorwayEffect>("OrvEffectMaker::DoorwayI2V", video, paper, image, transitionLength, effectOption);
}
bool OrvEffectMaker::DoorwayV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
                          int32_t frameLength, int32_t transitionLength, const float* effectOption) {
  return RunMeshV2I<DoorwayEffect>("OrvEffectMaker::DoorwayV2I", video, transitionStartFrame, paper, std::move(image),
                              frameLength, transitionLength, effectOption);
}

bool OrvEffectMaker::PushI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength,
                          int32_t transitionLength, const float* effectOption) {
  return RunMeshI2I<PushEffect>("OrvEffectMaker::PushI2I", from, to, frameLength, transitionLength, effectOption);
}
bool OrvEffectMaker::PushI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
                          const float* effectOption) {
  return RunMeshI2V<PushEffect>("OrvEffectMaker::PushI2V", video, paper, image, transitionLength, effectOption);
}
bool OrvEffectMaker::PushV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
                          int32_t frameLength, int32_t transitionLength, const float* effectOption) {
  return RunMeshV2I<PushEffect>("OrvEffectMaker::PushV2I", video, transitionStartFrame, paper, std::move(image),
                              frameLength, transitionLength, effectOption);
}

bool OrvEffectMaker::ZoomInI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength,
                          int32_t transitionLength, const float* effectOption) {
  return RunMeshI2I<ZoomInEffect>("OrvEffectMaker::ZoomInI2I", from, to, frameLength, transitionLength, effectOption);
}
bool OrvEffectMaker::ZoomInI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
                          const float* effectOption) {
  return RunMeshI2V<ZoomInEffect>("OrvEffectMaker::ZoomInI2V", video, paper, image, transitionLength, effectOption);
}
bool OrvEffectMaker::ZoomInV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
                          int32_t frameLength, int32_t transitionLength, const float* effectOption) {
  return RunMeshV2I<ZoomInEffect>("OrvEffectMaker::ZoomInV2I", video, transitionStartFrame, paper, std::move(image),
                              frameLength, transitionLength, effectOption);
}

bool OrvEffectMaker::CurlPaperI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength,
                          int32_t transitionLength, const float* effectOption) {
  return RunMeshI2I<CurlPaperEffect>("OrvEffectMaker::CurlPaperI2I", from, to, frameLength, transitionLength, effectOption);
}
bool OrvEffectMaker::CurlPaperI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
                          const float* effectOption) {
  return RunMeshI2V<CurlPaperEffect>("OrvEffectMaker::CurlPaperI2V", video, paper, image, transitionLength, effectOption);
}
bool OrvEffectMaker::CurlPaperV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
                          int32_t frameLength, int32_t transitionLength, const float* effectOption) {
  return RunMeshV2I<CurlPaperEffect>("OrvEffectMaker::CurlPaperV2I", video, transitionStartFrame, paper, std::move(image),
                              frameLength, transitionLength, effectOption);
}

bool OrvEffectMaker::TwistI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength,
                          int32_t transitionLength, const float* effectOption) {
  return RunMeshI2I<TwistEffect>("OrvEffectMaker::TwistI2I", from, to, frameLength, transitionLength, effectOption);
}
bool OrvEffectMaker::TwistI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
                          const float* effectOption) {
  return RunMeshI2V<TwistEffect>("OrvEffectMaker::TwistI2V", video, paper, image, transitionLength, effectOption);
}
bool OrvEffectMaker::TwistV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
                          int32_t frameLength, int32_t transitionLength, const float* effectOption) {
  return RunMeshV2I<TwistEffect>("OrvEffectMaker::TwistV2I", video, transitionStartFrame, paper, std::move(image),
                              frameLength, transitionLength, effectOption);
}

bool OrvEffectMaker::SwapI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength,
                          int32_t transitionLength, const float* effectOption) {
  return RunMeshI2I<SwapEffect>("OrvEffectMaker::SwapI2I", from, to, frameLength, transitionLength, effectOption);
}
bool OrvEffectMaker::SwapI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
                          const float* effectOption) {
  return RunMeshI2V<SwapEffect>("OrvEffectMaker::SwapI2V", video, paper, image, transitionLength, effectOption);
}
bool OrvEffectMaker::SwapV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
                          int32_t frameLength, int32_t transitionLength, const float* effectOption) {
  return RunMeshV2I<SwapEffect>("OrvEffectMaker::SwapV2I", video, transitionStartFrame, paper, std::move(image),
                              frameLength, transitionLength, effectOption);
}
