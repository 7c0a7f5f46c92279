#include "Transition_ThreeWay.h"

#include "FullScreenQuad.h"
#include "OrvEffectMaker.h"
#include "ProgressCurve.h"
#include "SceneDriver.h"
#include "ShaderUtils.h"
#include "api/Log.h"

const char* const Transition_ThreeWay::kVertexShaderText = orv_quad::kVertexShader;
const char* const Transition_ThreeWay::kFragmentShaderText =
    "#ifdef GL_ES\n"
    "precision highp float;\n"
    "#endif\n"
    "varying vec2 v_texCoord;\n"
    "uniform sampler2D Texture1;\n"
    "uniform sampler2D Texture2;\n"
    "uniform sampler2D Texture3;\n"
    "uniform sampler2D Texture4;\n"
    "uniform float progress;\n"
    "vec4 spetial1(vec2 uv)\n"
    "{\n"
    "    float pro = sin( (progress * 3.14159) );\n"
    "    if (uv.y < pro && uv.x < 0.690000 && uv.y < 0.580000)\n"
    "        return texture2D(Texture2, vec2(uv.x, uv.y + (1.0 - pro)));\n"
    "    if (uv.x < pro && uv.x < 1.00000 && uv.y > 0.610000)\n"
    "        return texture2D(Texture3, vec2(uv.x + (1.0 - pro), uv.y));\n"
    "    if (uv.x > 1.0 - pro && uv.x > 0.710000 && uv.y < 0.580000)\n"
    "        return texture2D(Texture4, vec2(uv.x - (1.0 - pro), uv.y));\n"
    "    return texture2D(Texture1, uv);\n"
    "}\n"
    "void main()\n"
    "{\n"
    "    gl_FragData[0] = spetial1( vec2(v_texCoord) );\n"
    "}\n";

Transition_ThreeWay::Transition_ThreeWay(int32_t w, int32_t h, OrvEffectMaker* maker, OrvFXFrameHandler* sink)
    : QuadProgramEffect(w, h, maker, sink, "Transition_ThreeWay", kVertexShaderText, kFragmentShaderText) {}

std::vector<float> Transition_ThreeWay::ProgressValues(int32_t frameCount) {
  std::vector<float> values;
  if (frameCount <= 0) return values;
  const std::vector<float> curve = ScaleProgressCurve(100, MakeProgressCurve(frameCount));
  values.reserve(static_cast<size_t>(frameCount));
  for (int32_t k = 0; k < frameCount; ++k) values.push_back(curve[static_cast<size_t>(k) + 1] * 0.005f);
  return values;
}

namespace {

// Four pictures, each uploaded once, and the panels' progress per frame.
class PanelDrawing : public scene::Drawing {
 public:
  PanelDrawing(Transition_ThreeWay& effect, GLuint program, const cv::Mat* const pictures[4], int32_t frameCount,
               const char* tag)
      : mEffect(effect), mProgram(program), mTag(tag), mValues(Transition_ThreeWay::ProgressValues(frameCount)) {
    for (int unit = 0; unit < 4; ++unit) mPictures[unit] = pictures[unit];
  }
  void Begin() override {
    static const char* const kSamplers[4] = {"Texture1", "Texture2", "Texture3", "Texture4"};
    for (int unit = 0; unit < 4; ++unit) {
      GLint location = -1;
      if (mProgram != 0) {
        location = glGetUniformLocation(mProgram, kSamplers[unit]);
        ORV_GL_CHECK(mTag);
      }
      // A picture shown in several panels is uploaded once.
      for (int j = 0; j < unit; ++j)
        if (mPictures[j] == mPictures[unit]) mTextures[unit] = mTextures[j];
      if (mTextures[unit] == 0) mTextures[unit] = ShaderUtils::MatToTexture(*mPictures[unit]);
      glUniform1i(location, unit);
      ORV_GL_CHECK(mTag);
    }
    if (mProgram != 0) {
      mProgressLoc = glGetUniformLocation(mProgram, "progress");
      ORV_GL_CHECK(mTag);
    }
  }
  void Draw(const cv::Mat&, int step) override {
    mEffect.MakeBuffer();
    for (int unit = 0; unit < 4; ++unit) {
      glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
      ORV_GL_CHECK(mTag);
      glBindTexture(GL_TEXTURE_2D, mTextures[unit]);
      ORV_GL_CHECK(mTag);
    }
    glUniform1f(mProgressLoc, mValues[static_cast<size_t>(step)]);
    ORV_GL_CHECK(mTag);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    ORV_GL_CHECK(mTag);
    mEffect.DrawQuad(mTag);
  }
  void End() override {
    glActiveTexture(GL_TEXTURE0);
    ORV_GL_CHECK(mTag);
    for (int unit = 0; unit < 4; ++unit) {
      bool shared = false;
      for (int j = 0; j < unit; ++j) shared = shared || mTextures[j] == mTextures[unit];
      if (shared) continue;
      glDeleteTextures(1, &mTextures[unit]);
      ORV_GL_CHECK(mTag);
    }
  }
  bool Working() const override { return mProgram != 0; }

 private:
  Transition_ThreeWay& mEffect;
  GLuint mProgram;
  const char* mTag;
  std::vector<float> mValues;
  const cv::Mat* mPictures[4] = {nullptr, nullptr, nullptr, nullptr};
  GLuint mTextures[4] = {0, 0, 0, 0};
  GLint mProgressLoc = -1;
};

}  // namespace

bool Transition_ThreeWay::Run(const cv::Mat* const pictures[4], int32_t frameCount, const char* tag) {
  if (!IsCanceled()) LookUpQuadLocations({}, tag);
  PanelDrawing drawing(*this, program, pictures, frameCount, tag);
  mOutcome = scene::Drive(*this, drawing, framewalk::Walk::Steps(frameCount), nullptr, tag);
  return mOutcome.Drawn();
}

bool Transition_ThreeWay::EffectOnlyOneImage(const cv::Mat* picture, int32_t frameCount) {
  static const char* const kTag = "Transition_ThreeWay::EffectOnlyOneImage";
  const cv::Mat background(height > 0 ? height : 1, width > 0 ? width : 1, CV_8UC3, cv::Scalar::all(255));
  static const cv::Mat kNone;
  const cv::Mat* image = picture ? picture : &kNone;
  const cv::Mat* pictures[4] = {&background, image, image, image};
  return Run(pictures, frameCount, kTag);
}

bool Transition_ThreeWay::EffectThreeImage(const std::vector<cv::Mat>* pictures, int32_t frameCount) {
  static const char* const kTag = "Transition_ThreeWay::EffectThreeImage";
  if (!pictures || pictures->size() < 4) {
    ORV_LOG(kTag, "## Three-panel effect needs four pictures, got %d",
            pictures ? static_cast<int>(pictures->size()) : 0);
    mOutcome = SceneOutcome::Skip("the three-panel effect needs four pictures");
    return false;
  }
  const cv::Mat* list[4] = {&(*pictures)[0], &(*pictures)[1], &(*pictures)[2], &(*pictures)[3]};
  return Run(list, frameCount, kTag);
}
