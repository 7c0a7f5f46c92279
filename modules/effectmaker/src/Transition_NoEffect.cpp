#include "Transition_NoEffect.h"

#include "FullScreenQuad.h"
#include "SceneDriver.h"

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

bool Transition_NoEffect::ShowImage(const cv::Mat* picture, int32_t frameCount) {
  static const char* const kTag = "Transition_NoEffect::ShowImage";
  static const cv::Mat kNone;
  if (!IsCanceled()) LookUpQuadLocations({"Texture1"}, kTag);
  HoldDrawing drawing(*this, picture ? picture : &kNone, nullptr, 0, kTag);
  // Every frame of a hold is the same picture: the driver draws and reads it once.
  mOutcome = scene::Drive(*this, drawing, framewalk::Walk::Still(frameCount), nullptr, kTag);
  return mOutcome.Drawn();
}

bool Transition_NoEffect::ShowVideo(SuperFrame* block) {
  static const char* const kTag = "Transition_NoEffect::ShowVideo";
  if (!IsCanceled()) LookUpQuadLocations({"Texture1"}, kTag);
  HoldDrawing drawing(*this, nullptr, nullptr, GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT, kTag);
  mOutcome = scene::Drive(*this, drawing, framewalk::Walk::Video(block ? block->sfSize : 0), block, kTag);
  return mOutcome.Drawn();
}
