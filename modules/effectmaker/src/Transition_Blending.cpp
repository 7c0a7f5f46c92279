#include "Transition_Blending.h"

#include "OrvEffectMaker.h"
#include "ShaderUtils.h"
#include "fxcontroller/OrvFXFrameHandler.h"

const char* const Transition_Blending::kVertexShaderText =
    "attribute vec4 vPosition;\n"
    "attribute vec2 a_texCoord;\n"
    "uniform mat4 mvp;\n"
    "varying vec2 v_texCoord;\n"
    "varying vec3 v_texColor;\n"
    "void main()\n"
    "{\n"
    "    gl_Position = vPosition;\n"
    "    v_texCoord = a_texCoord;\n"
    "    v_texColor = vec3(1.0, 1.0, 1.0);\n"
    "}\n";

const char* const Transition_Blending::kFragmentShaderText =
    "#ifdef GL_ES\n"
    "precision highp float;\n"
    "#endif\n"
    "varying vec2 v_texCoord;\n"
    "varying vec3 v_texColor;\n"
    "uniform sampler2D Texture1;\n"
    "uniform sampler2D Texture2;\n"
    "vec4 overlay(vec2 uv)\n"
    "{\n"
    "    vec4 inputTex = texture2D(Texture1, uv);\n"
    "    vec4 otherTex = texture2D(Texture2, uv);\n"
    "    vec4 outTex;\n"
    "    outTex   = inputTex*(1.0-otherTex.w) + otherTex*(otherTex.w);\n"
    "    outTex.w = 1.0;\n"
    "    return outTex;\n"
    "}\n"
    "void main()\n"
    "{\n"
    "    gl_FragData[0] = overlay( vec2(v_texCoord) );\n"
    "}\n";

Transition_Blending::Transition_Blending(int32_t w, int32_t h, OrvEffectMaker* maker, OrvFXFrameHandler* sink)
    : QuadProgramEffect(w, h, maker, sink, "Transition_Blending", kVertexShaderText, kFragmentShaderText) {}

bool Transition_Blending::BlendingEffect(const cv::Mat* paper, SuperFrame* block, int32_t frameCount) {
  static const char* const kTag = "Transition_Blending::BlendingEffect";
  if (IsCanceled()) return true;
  if (program != 0) {
    vPositionLoc = glGetAttribLocation(program, "vPosition");
    ORV_GL_CHECK(kTag);
    texCoordLoc = glGetAttribLocation(program, "a_texCoord");
    ORV_GL_CHECK(kTag);
    const GLint texture1 = glGetUniformLocation(program, "Texture1");
    ORV_GL_CHECK(kTag);
    const GLint texture2 = glGetUniformLocation(program, "Texture2");
    ORV_GL_CHECK(kTag);
    glUniform1i(texture1, 0);
    ORV_GL_CHECK(kTag);
    glUniform1i(texture2, 1);
    ORV_GL_CHECK(kTag);
  }
  // An empty or missing paper uploads as one transparent texel.
  static const cv::Mat kNoPaper;
  GLuint paperTexture = ShaderUtils::MatToTexture(paper ? *paper : kNoPaper);

  OrvFXFrameHandler* reader = gInputFrameHandler;
  if (reader && block) reader->seekTo(block->sfStart);

  bool result = true;
  bool warned = false;
  cv::Mat frame;
  for (int32_t i = 0; i < frameCount; ++i) {
    if (IsCanceled()) {
      glDeleteTextures(1, &paperTexture);
      ORV_GL_CHECK(kTag);
      return true;
    }
    if (!ReadWarpedFrame(reader, block, i, frameCount, &frame, &warned, kTag)) {
      result = false;
      break;
    }
    MakeBuffer();
    GLuint frameTexture = ShaderUtils::MatToTexture(frame);
    glActiveTexture(GL_TEXTURE0);
    ORV_GL_CHECK(kTag);
    glBindTexture(GL_TEXTURE_2D, frameTexture);
    ORV_GL_CHECK(kTag);
    glActiveTexture(GL_TEXTURE1);
    ORV_GL_CHECK(kTag);
    glBindTexture(GL_TEXTURE_2D, paperTexture);
    ORV_GL_CHECK(kTag);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    ORV_GL_CHECK(kTag);
    glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_SHORT, indices.data());
    ORV_GL_CHECK(kTag);
    WriteFrame();
    glDeleteTextures(1, &frameTexture);
    ORV_GL_CHECK(kTag);
  }
  glActiveTexture(GL_TEXTURE0);
  ORV_GL_CHECK(kTag);
  glDeleteTextures(1, &paperTexture);
  ORV_GL_CHECK(kTag);
  return result;
}
