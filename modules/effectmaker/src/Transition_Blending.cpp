#include "Transition_Blending.h"

#include "SceneDriver.h"

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
  static const cv::Mat kNoPaper;
  if (!IsCanceled()) LookUpQuadLocations({"Texture1", "Texture2"}, kTag);
  // The scene's video frame under the paper, by the paper's alpha.
  HoldDrawing drawing(*this, nullptr, paper ? paper : &kNoPaper,
                      GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT, kTag);
  mOutcome = scene::Drive(*this, drawing, framewalk::Walk::Video(frameCount), block, kTag);
  return mOutcome.Drawn();
}
