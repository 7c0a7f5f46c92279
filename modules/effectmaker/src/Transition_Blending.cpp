#include "Transition_Blending.h"

#include "OrvEffectMaker.h"
#include "ShaderUtils.h"
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

namespace {

// The scene's video frame under the paper, by the paper's alpha.
class BlendDrawing : public scene::Drawing {
 public:
  BlendDrawing(Transition_Blending& effect, const cv::Mat* paper, const char* tag)
      : mEffect(effect), mPaper(paper), mTag(tag) {}
  void Begin() override {
    // An empty or missing paper uploads as one transparent texel.
    static const cv::Mat kNoPaper;
    mPaperTexture = ShaderUtils::MatToTexture(mPaper ? *mPaper : kNoPaper);
  }
  void Draw(const cv::Mat& video, int) override {
    mEffect.MakeBuffer();
    GLuint frameTexture = ShaderUtils::MatToTexture(video);
    glActiveTexture(GL_TEXTURE0);
    ORV_GL_CHECK(mTag);
    glBindTexture(GL_TEXTURE_2D, frameTexture);
    ORV_GL_CHECK(mTag);
    glActiveTexture(GL_TEXTURE1);
    ORV_GL_CHECK(mTag);
    glBindTexture(GL_TEXTURE_2D, mPaperTexture);
    ORV_GL_CHECK(mTag);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    ORV_GL_CHECK(mTag);
    mEffect.DrawQuad(mTag);
    glDeleteTextures(1, &frameTexture);
    ORV_GL_CHECK(mTag);
  }
  void End() override {
    glActiveTexture(GL_TEXTURE0);
    ORV_GL_CHECK(mTag);
    glDeleteTextures(1, &mPaperTexture);
    ORV_GL_CHECK(mTag);
  }
  bool Working() const override { return mEffect.HasProgram(); }

 private:
  Transition_Blending& mEffect;
  const cv::Mat* mPaper;
  const char* mTag;
  GLuint mPaperTexture = 0;
};

}  // namespace

bool Transition_Blending::BlendingEffect(const cv::Mat* paper, SuperFrame* block, int32_t frameCount) {
  static const char* const kTag = "Transition_Blending::BlendingEffect";
  if (!IsCanceled() && program != 0) {
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
  BlendDrawing drawing(*this, paper, kTag);
  mOutcome = scene::Drive(*this, drawing, framewalk::Walk::Video(frameCount), block, kTag);
  return mOutcome.Drawn();
}
