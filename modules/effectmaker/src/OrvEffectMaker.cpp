#include "OrvEffectMaker.h"

#include <GLFW/glfw3.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <type_traits>
#include <utility>

#include "AsyncFrameWriter.h"
#include "RenderStats.h"
#include "GLErrorCheck.h"
#include "ShaderUtils.h"
#include "ScreenQuadTransition.h"
#include "Transition_Blending.h"
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

bool gOneContextPerPass = true;

int CurrentThreadId() { return static_cast<int>(syscall(SYS_gettid)); }

void OnGlfwError(int code, const char* description) {
  ORV_LOG("OrvEffectMaker::GLFW", "GLFW error %d : %s", code, description ? description : "");
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
  mKeepWindow = false;
  DeInitOpenGL();
  AsyncFrameWriter::Instance().Shutdown();
  mEffectResourceDir.clear();
}

void OrvEffectMaker::SetOneContextPerPass(bool on) { gOneContextPerPass = on; }

namespace {

// A hidden window of the given size, as every pass draws in.
GLFWwindow* CreateHiddenWindow(int width, int height) {
  glfwWindowHint(GLFW_RESIZABLE, GLFW_FALSE);
  glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
  return glfwCreateWindow(width, height, "OpenGL", nullptr, nullptr);
}

// GLEW's entry points for the current context; false without those a pass
// needs.
bool LoadGlew() {
  glewExperimental = GL_TRUE;
  const GLenum result = glewInit();
  // GLEW may leave a harmless GL_INVALID_ENUM behind.
  glGetError();
  return result == GLEW_OK && glGenFramebuffers && glCreateShader;
}

// One textured triangle into a framebuffer like a pass's, read back.
void DrawOnce() {
  static const char* const kVertex =
      "attribute vec2 p; varying vec2 t; void main() { t = p; gl_Position = vec4(p, 0.0, 1.0); }";
  static const char* const kFragment =
      "uniform sampler2D s; varying vec2 t; void main() { gl_FragColor = texture2D(s, t); }";
  GLuint texture = 0, target = 0, depth = 0, fbo = 0;
  const unsigned char texel[4] = {128, 128, 128, 255};
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
  glGenTextures(1, &target);
  glBindTexture(GL_TEXTURE_2D, target);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 16, 16, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
  glGenRenderbuffers(1, &depth);
  glBindRenderbuffer(GL_RENDERBUFFER, depth);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, 16, 16);
  glGenFramebuffers(1, &fbo);
  glBindFramebuffer(GL_FRAMEBUFFER, fbo);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target, 0);
  glViewport(0, 0, 16, 16);
  const GLuint vertex = ShaderUtils::LoadShaderFromSource(GL_VERTEX_SHADER, kVertex);
  const GLuint fragment = ShaderUtils::LoadShaderFromSource(GL_FRAGMENT_SHADER, kFragment);
  const GLuint program = glCreateProgram();
  glAttachShader(program, vertex);
  glAttachShader(program, fragment);
  glLinkProgram(program);
  glUseProgram(program);
  glBindTexture(GL_TEXTURE_2D, texture);
  const GLfloat corners[6] = {-1, -1, 1, -1, 0, 1};
  const GLint position = glGetAttribLocation(program, "p");
  if (position >= 0) {
    glEnableVertexAttribArray(static_cast<GLuint>(position));
    glVertexAttribPointer(static_cast<GLuint>(position), 2, GL_FLOAT, GL_FALSE, 0, corners);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    glDisableVertexAttribArray(static_cast<GLuint>(position));
  }
  unsigned char pixels[16 * 16 * 4];
  glReadPixels(0, 0, 16, 16, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
  glUseProgram(0);
  glDeleteProgram(program);
  glDeleteShader(vertex);
  glDeleteShader(fragment);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glDeleteFramebuffers(1, &fbo);
  glDeleteRenderbuffers(1, &depth);
  glDeleteTextures(1, &target);
  glDeleteTextures(1, &texture);
  glGetError();
}

}  // namespace

void OrvEffectMaker::UseDriverOnce() {
  glfwSetErrorCallback(nullptr);
  if (!glfwInit()) return;
  GLFWwindow* window = CreateHiddenWindow(16, 16);
  if (!window) return;
  GLFWwindow* current = glfwGetCurrentContext();
  glfwMakeContextCurrent(window);
  if (LoadGlew()) DrawOnce();
  glfwMakeContextCurrent(current);
  glfwDestroyWindow(window);
}

bool OrvEffectMaker::OneContextPerPass() { return gOneContextPerPass; }

void OrvEffectMaker::BeginPass() {
  EndPass();
  mKeepWindow = gOneContextPerPass;
}

void OrvEffectMaker::EndPass() {
  const bool kept = mKeepWindow;
  mKeepWindow = false;
  if (kept) DeInitOpenGL();
}

bool OrvEffectMaker::InitOpenGL() {
  static const char* const kTag = "OrvEffectMaker::InitOpenGL";
  ORV_LOG(kTag, "Init OpenGL() Start");
  ORV_LOG(kTag, "[Debug] Create, ThreadID : %d", CurrentThreadId());
  RenderStageTimer windowTimer(RenderStage::Window);
  if (mKeepWindow && mGLFWWindow && mObjectsMade) {
    glfwMakeContextCurrent(mGLFWWindow);
    ResetSceneState();
    mGLReady = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  } else {
    if (mGLFWWindow) DestroyWindow();
    mGLReady = MakeWindow();
    if (mGLReady) ShaderUtils::KeepPrograms(mKeepWindow);
  }
  if (!mGLReady) return false;
  ORV_LOG(kTag, "[Debug], renderTexture : [%d], depthTexture : [%d], fbo : [%d]", static_cast<int>(renderTexture),
          static_cast<int>(depthTexture), static_cast<int>(fbo));
  ORV_LOG(kTag, "Init OpenGL() End");
  return true;
}

bool OrvEffectMaker::MakeWindow() {
  static const char* const kTag = "OrvEffectMaker::InitOpenGL";
  glfwSetErrorCallback(OnGlfwError);
  if (!glfwInit()) ORV_LOG(kTag, "Failed initialize GLFW.");
  mGLFWWindow = nullptr;
  if (mWidth > 0 && mHeight > 0) mGLFWWindow = CreateHiddenWindow(mWidth, mHeight);
  if (!mGLFWWindow) {
    ORV_LOG(kTag, "Failed to create GLFW window, width : %d, height : %d\n", mWidth, mHeight);
    glfwTerminate();
    return false;
  }
  CountRenderWindow();

  glfwMakeContextCurrent(mGLFWWindow);
  if (!LoadGlew()) {
    ORV_LOG(kTag, "Unable to initialize GLEW.");
    return false;
  }
  return MakeFramebuffer();
}

bool OrvEffectMaker::MakeFramebuffer() {
  static const char* const kTag = "OrvEffectMaker::InitOpenGL";
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
  // Mesh scenes have faces one unit apart at 742 units: 16 bits cannot tell them.
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, mWidth, mHeight);
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
  return true;
}

// What a scene may have changed goes back to how MakeFramebuffer leaves a new
// context: no program, no bound buffers or enabled arrays, no textures bound
// but the frame's own on unit 0, blending on, depth test and culling off,
// the full viewport, default pixel packing and a cleared frame.
void OrvEffectMaker::ResetSceneState() {
  static const char* const kTag = "OrvEffectMaker::InitOpenGL";
  glUseProgram(0);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  GLint attributes = 0, units = 0;
  glGetIntegerv(GL_MAX_VERTEX_ATTRIBS, &attributes);
  for (GLint a = 0; a < attributes; ++a) glDisableVertexAttribArray(static_cast<GLuint>(a));
  glGetIntegerv(GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS, &units);
  for (GLint u = units - 1; u >= 0; --u) {
    glActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + u));
    glBindTexture(GL_TEXTURE_2D, u == 0 ? renderTexture : 0);
  }
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glBindFramebuffer(GL_FRAMEBUFFER, fbo);
  glBindRenderbuffer(GL_RENDERBUFFER, depthTexture);
  glViewport(0, 0, mWidth, mHeight);
  glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  ORV_GL_CHECK(kTag);
}

void OrvEffectMaker::DeInitOpenGL() {
  static const char* const kTag = "OrvEffectMaker::DeInitOpenGL";
  RenderStageTimer windowTimer(RenderStage::Window);
  ORV_LOG(kTag, "DeInitOpenGL Start");
  ORV_LOG(kTag, "[Debug], renderTexture : [%d], depthTexture : [%d], fbo : [%d]", static_cast<int>(renderTexture),
          static_cast<int>(depthTexture), static_cast<int>(fbo));
  ORV_LOG(kTag, "[Debug] Delete, ThreadID : %d", CurrentThreadId());
  ORV_LOG(kTag, "Try to destroy GLFWWindow : [%p]", static_cast<void*>(mGLFWWindow));
  // A window that failed to become ready is never handed on.
  if (mKeepWindow && mGLFWWindow && mGLReady) {
    ORV_LOG(kTag, "Window kept for the next scene of the pass");
  } else {
    DestroyWindow();
  }
  mGLReady = false;
  ORV_LOG(kTag, "DeInitOpenGL End");
}

void OrvEffectMaker::DestroyWindow() {
  static const char* const kTag = "OrvEffectMaker::DeInitOpenGL";
  if (mGLFWWindow) {
    glfwMakeContextCurrent(mGLFWWindow);
    ShaderUtils::KeepPrograms(false);
    if (mObjectsMade) {
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
}

void OrvEffectMaker::SetInputFrameHandler(OrvFXFrameHandler* handler) {
  ORV_LOG("OrvEffectMaker::SetInputFrameHandler", "ENTER : %s, Set input frame handler : %p",
          "OrvEffectMaker::SetInputFrameHandler", static_cast<void*>(handler));
  gInputFrameHandler = handler;
}

void OrvEffectMaker::ForgetInputFrameHandler(const OrvFXFrameHandler* handler) {
  if (handler != nullptr && gInputFrameHandler == handler) gInputFrameHandler = nullptr;
}

// Makes the effect in the scene's context and lets play draw with it, then
// waits for the frames to reach the writer (unless the caller drains).
// Screen-quad classes take the frame size from the maker; the others are
// given it.
template <class Effect, class Play>
SceneOutcome OrvEffectMaker::RunEffect(const char* member, Play&& play) {
  if (!mGLReady) {
    ORV_LOG(member, "## No OpenGL context; effect not drawn");
    return SceneOutcome::Skip("no OpenGL context");
  }
  SceneOutcome outcome;
  if constexpr (std::is_base_of_v<ScreenQuadTransition, Effect>) {
    Effect effect(this, mOutputFrameHandler);
    play(effect);
    outcome = effect.LastOutcome();
  } else {
    Effect effect(mWidth, mHeight, this, mOutputFrameHandler);
    play(effect);
    outcome = effect.LastOutcome();
  }
  if (mWaitForWrites) {
    DrainFrameWrites();
    // A cancel seen by the encoder drops the frames drawn ahead of it.
    if (g_isFXCancel.load(std::memory_order_relaxed)) outcome.status = SceneOutcome::Status::Cancelled;
  }
  return outcome;
}

SceneOutcome OrvEffectMaker::ShowImageNoEffect(const cv::Mat* image, int32_t frameCount) {
  return RunEffect<Transition_NoEffect>("OrvEffectMaker::ShowImageNoEffect",
                                        [&](Transition_NoEffect& effect) { effect.ShowImage(image, frameCount); });
}

SceneOutcome OrvEffectMaker::ShowVideoNoEffect(SuperFrame* block) {
  return RunEffect<Transition_NoEffect>("OrvEffectMaker::ShowVideoNoEffect",
                                        [&](Transition_NoEffect& effect) { effect.ShowVideo(block); });
}

SceneOutcome OrvEffectMaker::BlendingV2V(int32_t, cv::Mat paper, SuperFrame* block, int32_t frameLength) {
  return RunEffect<Transition_Blending>("OrvEffectMaker::BlendingV2V", [&](Transition_Blending& effect) {
    effect.BlendingEffect(&paper, block, frameLength);
  });
}

SceneOutcome OrvEffectMaker::ThreeWayThreeImage(int32_t, const std::vector<cv::Mat>* pictures, int32_t frameCount) {
  return RunEffect<Transition_ThreeWay>("OrvEffectMaker::ThreeWayThreeImage", [&](Transition_ThreeWay& effect) {
    effect.EffectThreeImage(pictures, frameCount);
  });
}

SceneOutcome OrvEffectMaker::ThreeWayOneImage(int32_t, const cv::Mat* image, int32_t frameCount) {
  return RunEffect<Transition_ThreeWay>("OrvEffectMaker::ThreeWayOneImage", [&](Transition_ThreeWay& effect) {
    effect.EffectOnlyOneImage(image, frameCount);
  });
}

// The three members of every row of the effect table.
#define ORV_DEFINE_TRANSITION(k, Name, Class, options)                                                             \
  SceneOutcome OrvEffectMaker::Name##I2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength,              \
                                         int32_t transitionLength, const float* effectOption) {                    \
    return RunEffect<Class>("OrvEffectMaker::" #Name "I2I", [&](auto& effect) {                                    \
      effect.TranstionI2I(from, to, frameLength, transitionLength, effectOption);                                  \
    });                                                                                                            \
  }                                                                                                                \
  SceneOutcome OrvEffectMaker::Name##I2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image,            \
                                         int32_t transitionLength, const float* effectOption) {                    \
    return RunEffect<Class>("OrvEffectMaker::" #Name "I2V", [&](auto& effect) {                                    \
      effect.TranstionI2V(video, paper, image, transitionLength, effectOption);                                    \
    });                                                                                                            \
  }                                                                                                                \
  SceneOutcome OrvEffectMaker::Name##V2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper,    \
                                         cv::Mat image, int32_t frameLength, int32_t transitionLength,             \
                                         const float* effectOption) {                                              \
    SceneOutcome outcome = RunEffect<Class>("OrvEffectMaker::" #Name "V2I", [&](auto& effect) {                    \
      effect.TranstionV2I(video, transitionStartFrame, paper, image, frameLength, transitionLength, effectOption); \
    });                                                                                                            \
    image.release();                                                                                               \
    return outcome;                                                                                                \
  }

ORV_TRANSITION_TABLE(ORV_DEFINE_TRANSITION)

#undef ORV_DEFINE_TRANSITION
