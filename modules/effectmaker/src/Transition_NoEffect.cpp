#include "Transition_NoEffect.h"

#include "FullScreenQuad.h"
#include "OrvEffectMaker.h"
#include "ShaderUtils.h"
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

namespace {

// A picture (uploaded once) or the scene's video frame on the whole quad.
class PlainDrawing : public scene::Drawing {
 public:
  PlainDrawing(Transition_NoEffect& effect, const cv::Mat* picture, const char* tag)
      : mEffect(effect), mPicture(picture), mTag(tag) {}
  void Begin() override {
    if (mPicture) mTexture = ShaderUtils::MatToTexture(*mPicture);
  }
  void Draw(const cv::Mat& video, int) override {
    mEffect.MakeBuffer();
    GLuint frameTexture = mPicture ? 0 : ShaderUtils::MatToTexture(video);
    glActiveTexture(GL_TEXTURE0);
    ORV_GL_CHECK(mTag);
    glBindTexture(GL_TEXTURE_2D, mPicture ? mTexture : frameTexture);
    ORV_GL_CHECK(mTag);
    if (!mPicture) {
      glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
      ORV_GL_CHECK(mTag);
    }
    mEffect.DrawQuad(mTag);
    if (frameTexture != 0) {
      glDeleteTextures(1, &frameTexture);
      ORV_GL_CHECK(mTag);
    }
  }
  void End() override {
    if (mTexture == 0) return;
    glDeleteTextures(1, &mTexture);
    ORV_GL_CHECK(mTag);
  }
  bool Working() const override { return mEffect.HasProgram(); }

 private:
  Transition_NoEffect& mEffect;
  const cv::Mat* mPicture;
  const char* mTag;
  GLuint mTexture = 0;
};

}  // namespace

bool Transition_NoEffect::ShowImage(const cv::Mat* picture, int32_t frameCount) {
  static const char* const kTag = "Transition_NoEffect::ShowImage";
  static const cv::Mat kNone;
  if (!IsCanceled()) LookUpLocations();
  PlainDrawing drawing(*this, picture ? picture : &kNone, kTag);
  // Every frame of a hold is the same picture: the driver draws and reads it once.
  mOutcome = scene::Drive(*this, drawing, framewalk::Walk::Still(frameCount), nullptr, kTag);
  return mOutcome.Drawn();
}

bool Transition_NoEffect::ShowVideo(SuperFrame* block) {
  static const char* const kTag = "Transition_NoEffect::ShowVideo";
  if (!IsCanceled()) LookUpLocations();
  PlainDrawing drawing(*this, nullptr, kTag);
  mOutcome = scene::Drive(*this, drawing, framewalk::Walk::Video(block ? block->sfSize : 0), block, kTag);
  return mOutcome.Drawn();
}
