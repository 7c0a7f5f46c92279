#include "Transition_NoEffect.h"

#include "FullScreenQuad.h"
#include "OrvEffectMaker.h"
#include "ShaderUtils.h"
#include "api/Log.h"
#include "fxcontroller/OrvFXFrameHandler.h"

const char* const Transition_NoEffect::kVertexShaderText = orv_quad::kVertexShader;
const char* const Transition_NoEffect::kFragmentShaderText =
    "#ifdef GL_ES\n"
    "precision highp float;\n"
    "#endif\n"
    "varying vec2 v_texCoord;\n"
    "uniform sampler2D Texture1;\n"
    "void main()\n"
    "{\n"
    "    gl_FragColor = texture2D(Texture1, v_texCoord);\n"
    "}\n";

Transition_NoEffect::Transition_NoEffect(int32_t w, int32_t h, OrvEffectMaker* maker, OrvFXFrameHandler* sink)
    : OrvTransitionEffectInterface(maker, sink) {
  static const char* const kTag = "Transition_NoEffect::Transition_NoEffect";
  width = w;
  height = h;
  program = ShaderUtils::CreateProgram(kVertexShaderText, &vertexShader, kFragmentShaderText, &fragmentShader);
  glUseProgram(program);
  ORV_GL_CHECK(kTag);
  indices = {{0, 1, 2, 0, 2, 3}};
}

Transition_NoEffect::~Transition_NoEffect() {
  static const char* const kTag = "Transition_NoEffect::~Transition_NoEffect";
  glUseProgram(0);
  ORV_GL_CHECK(kTag);
  if (program != 0) {
    if (vertexShader != 0) {
      glDetachShader(program, vertexShader);
      ORV_GL_CHECK(kTag);
    }
    if (fragmentShader != 0) {
      glDetachShader(program, fragmentShader);
      ORV_GL_CHECK(kTag);
    }
  }
  if (vertexShader != 0) {
    glDeleteShader(vertexShader);
    ORV_GL_CHECK(kTag);
  }
  if (fragmentShader != 0) {
    glDeleteShader(fragmentShader);
    ORV_GL_CHECK(kTag);
  }
  if (program != 0) {
    glDeleteProgram(program);
    ORV_GL_CHECK(kTag);
  }
}

bool Transition_NoEffect::TranstionI2I(const cv::Mat*, const cv::Mat*, int32_t, int32_t, const float*) { return false; }

bool Transition_NoEffect::TranstionI2V(SuperFrame*, const cv::Mat*, const cv::Mat*, int32_t, const float*) {
  return false;
}

bool Transition_NoEffect::TranstionV2I(SuperFrame*, int32_t, const cv::Mat*, cv::Mat image, int32_t, int32_t,
                                       const float*) {
  image.release();
  return false;
}

void Transition_NoEffect::MakeBuffer() {
  static const char* const kTag = "Transition_NoEffect::MakeBuffer";
  if (vPositionLoc >= 0) {
    glEnableVertexAttribArray(static_cast<GLuint>(vPositionLoc));
    ORV_GL_CHECK(kTag);
    glVertexAttribPointer(static_cast<GLuint>(vPositionLoc), 3, GL_FLOAT, GL_FALSE, orv_quad::kStride,
                          orv_quad::kVertices);
    ORV_GL_CHECK(kTag);
  }
  if (texCoordLoc >= 0) {
    glEnableVertexAttribArray(static_cast<GLuint>(texCoordLoc));
    ORV_GL_CHECK(kTag);
    glVertexAttribPointer(static_cast<GLuint>(texCoordLoc), 2, GL_FLOAT, GL_FALSE, orv_quad::kStride,
                          orv_quad::kVertices + 3);
    ORV_GL_CHECK(kTag);
  }
  glViewport(0, 0, width, height);
  ORV_GL_CHECK(kTag);
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  ORV_GL_CHECK(kTag);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  ORV_GL_CHECK(kTag);
}

void Transition_NoEffect::LookUpLocations() {
  static const char* const kTag = "Transition_NoEffect::LookUpLocations";
  if (program == 0) return;
  vPositionLoc = glGetAttribLocation(program, "vPosition");
  ORV_GL_CHECK(kTag);
  texCoordLoc = glGetAttribLocation(program, "a_texCoord");
  ORV_GL_CHECK(kTag);
  const GLint texture1 = glGetUniformLocation(program, "Texture1");
  ORV_GL_CHECK(kTag);
  glUniform1i(texture1, 0);
  ORV_GL_CHECK(kTag);
}

bool Transition_NoEffect::ShowImage(const cv::Mat* picture, int32_t frameCount) {
  static const char* const kTag = "Transition_NoEffect::ShowImage";
  if (IsCanceled()) return true;
  LookUpLocations();
  static const cv::Mat kNone;
  GLuint texture = ShaderUtils::MatToTexture(picture ? *picture : kNone);
  for (int32_t i = 0; i < frameCount; ++i) {
    if (IsCanceled()) break;
    if (i > 0) {
      // Every frame of a hold is the same picture: draw and read it once.
      WriteSameFrame();
      continue;
    }
    MakeBuffer();
    glActiveTexture(GL_TEXTURE0);
    ORV_GL_CHECK(kTag);
    glBindTexture(GL_TEXTURE_2D, texture);
    ORV_GL_CHECK(kTag);
    glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_SHORT, indices.data());
    ORV_GL_CHECK(kTag);
    WriteFrame();
  }
  glDeleteTextures(1, &texture);
  ORV_GL_CHECK(kTag);
  return true;
}

bool Transition_NoEffect::ShowVideo(SuperFrame* block) {
  static const char* const kTag = "Transition_NoEffect::ShowVideo";
  if (IsCanceled()) return true;
  if (!block) return true;
  LookUpLocations();
  OrvFXFrameHandler* reader = gInputFrameHandler;
  if (reader) reader->seekTo(block->sfStart);
  cv::Mat frame;
  bool warned = false;
  for (int32_t i = 0; i < block->sfSize; ++i) {
    if (IsCanceled()) break;
    if (reader && !IsCanceled()) reader->readFrame(frame);
    if (!reader || frame.empty()) break;
    const float* transform = FrameTransformOf(block, i);
    if (!transform && !warned) {
      ORV_LOG(kTag, "## Block at %d us has %d transforms for %d frames; the rest are not corrected", block->sfStart,
              static_cast<int>(block->transforms.size()), block->sfSize);
      warned = true;
    }
    ApplyFrameTransform(&frame, transform);
    MakeBuffer();
    GLuint texture = ShaderUtils::MatToTexture(frame);
    glActiveTexture(GL_TEXTURE0);
    ORV_GL_CHECK(kTag);
    glBindTexture(GL_TEXTURE_2D, texture);
    ORV_GL_CHECK(kTag);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    ORV_GL_CHECK(kTag);
    glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_SHORT, indices.data());
    ORV_GL_CHECK(kTag);
    WriteFrame();
    glDeleteTextures(1, &texture);
    ORV_GL_CHECK(kTag);
  }
  return true;
}
