#include "OrvEffectMaker.h"

#include <GLFW/glfw3.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <type_traits>
#include <utility>

#include "AsyncFrameWriter.h"
#include "RenderStats.h"
#include "GLErrorCheck.h"
#include "ScreenQuadTransition.h"
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
  RenderStageTimer windowTimer(RenderStage::Window);
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
  CountRenderWindow();

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
  RenderStageTimer windowTimer(RenderStage::Window);
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

// Makes the effect in the scene's context and lets play draw with it, then
// waits for the frames to reach the writer. A class missing from the build
// logs and draws nothing. Screen-quad classes take the frame size from the
// maker; the others are given it.
template <class Effect, class Play>
bool OrvEffectMaker::RunEffect(const char* member, Play&& play) {
  if constexpr (IsNotBuilt<Effect>::value) {
    ORV_LOG(member, "## Transition not available in this build; scene skipped");
    return true;
  } else {
    if (SkipWithoutContext(mGLReady, member)) return true;
    if constexpr (std::is_base_of_v<ScreenQuadTransition, Effect>) {
      Effect effect(this, mOutputFrameHandler);
      play(effect);
    } else {
      Effect effect(mWidth, mHeight, this, mOutputFrameHandler);
      play(effect);
    }
    if (mWaitForWrites) DrainFrameWrites();
    return true;
  }
}

bool OrvEffectMaker::ShowImageNoEffect(const cv::Mat* image, int32_t frameCount) {
  return RunEffect<Transition_NoEffect>("OrvEffectMaker::ShowImageNoEffect",
                                        [&](Transition_NoEffect& effect) { effect.ShowImage(image, frameCount); });
}

bool OrvEffectMaker::ShowVideoNoEffect(SuperFrame* block) {
  return RunEffect<Transition_NoEffect>("OrvEffectMaker::ShowVideoNoEffect",
                                        [&](Transition_NoEffect& effect) { effect.ShowVideo(block); });
}

bool OrvEffectMaker::BlendingV2V(int32_t, cv::Mat paper, SuperFrame* block, int32_t frameLength) {
  return RunEffect<Transition_Blending>("OrvEffectMaker::BlendingV2V", [&](Transition_Blending& effect) {
    effect.BlendingEffect(&paper, block, frameLength);
  });
}

bool OrvEffectMaker::ThreeWayThreeImage(int32_t, const std::vector<cv::Mat>* pictures, int32_t frameCount) {
  return RunEffect<Transition_ThreeWay>("OrvEffectMaker::ThreeWayThreeImage", [&](Transition_ThreeWay& effect) {
    effect.EffectThreeImage(pictures, frameCount);
  });
}

bool OrvEffectMaker::ThreeWayOneImage(int32_t, const cv::Mat* image, int32_t frameCount) {
  return RunEffect<Transition_ThreeWay>("OrvEffectMaker::ThreeWayOneImage", [&](Transition_ThreeWay& effect) {
    effect.EffectOnlyOneImage(image, frameCount);
  });
}

// The three members of transition Name, played by the class Name##Effect.
#define ORV_TRANSITION_MEMBERS(Name)                                                                                  \
  bool OrvEffectMaker::Name##I2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength,                         \
                                 int32_t transitionLength, const float* effectOption) {                               \
    return RunEffect<Name##Effect>("OrvEffectMaker::" #Name "I2I", [&](auto& effect) {                                \
      effect.TranstionI2I(from, to, frameLength, transitionLength, effectOption);                                     \
    });                                                                                                               \
  }                                                                                                                   \
  bool OrvEffectMaker::Name##I2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image,                       \
                                 int32_t transitionLength, const float* effectOption) {                               \
    return RunEffect<Name##Effect>("OrvEffectMaker::" #Name "I2V", [&](auto& effect) {                                \
      effect.TranstionI2V(video, paper, image, transitionLength, effectOption);                                       \
    });                                                                                                               \
  }                                                                                                                   \
  bool OrvEffectMaker::Name##V2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper,               \
                                 cv::Mat image, int32_t frameLength, int32_t transitionLength,                        \
                                 const float* effectOption) {                                                         \
    const bool result = RunEffect<Name##Effect>("OrvEffectMaker::" #Name "V2I", [&](auto& effect) {                   \
      effect.TranstionV2I(video, transitionStartFrame, paper, image, frameLength, transitionLength, effectOption);    \
    });                                                                                                               \
    image.release();                                                                                                  \
    return result;                                                                                                    \
  }

ORV_TRANSITION_MEMBERS(Diagonal)
ORV_TRANSITION_MEMBERS(Zoom)
ORV_TRANSITION_MEMBERS(Move)
ORV_TRANSITION_MEMBERS(Pixelate)
ORV_TRANSITION_MEMBERS(Fadein)
ORV_TRANSITION_MEMBERS(Pendulum)
ORV_TRANSITION_MEMBERS(Swirl)
ORV_TRANSITION_MEMBERS(Cube)
ORV_TRANSITION_MEMBERS(Mosaic)
ORV_TRANSITION_MEMBERS(Doorway)
ORV_TRANSITION_MEMBERS(Push)
ORV_TRANSITION_MEMBERS(ZoomIn)
ORV_TRANSITION_MEMBERS(CurlPaper)
ORV_TRANSITION_MEMBERS(Twist)
ORV_TRANSITION_MEMBERS(Swap)

#undef ORV_TRANSITION_MEMBERS
