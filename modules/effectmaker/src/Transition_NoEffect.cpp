#include "Transition_NoEffect.h"

#include "FullScreenQuad.h"
#include "OrvEffectMaker.h"
#include "ShaderUtils.h"
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
    : QuadProgramEffect(w, h, maker, sink, "Transition_NoEffect", kVertexShaderText, kFragmentShaderText) {}

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
    if (!ReadWarpedFrame(reader, block, i, block->sfSize, &frame, &warned, kTag)) break;
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
