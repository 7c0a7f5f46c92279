#include "ScreenQuadTransition.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

#include "FullScreenQuad.h"
#include "ProgressCurve.h"
#include "QuadProgram.h"
#include "ShaderUtils.h"
#include "api/Log.h"
#include "fxcontroller/OrvFXFrameHandler.h"

#define GLC(call) QUAD_GL(call)

namespace {

const char* const kFragmentHead =
    "#ifdef GL_ES\n"
    "precision highp float;\n"
    "#endif\n"
    "varying vec2 v_texCoord;\n"
    "uniform float progress;\n";

const char* const kPictureSamplers =
    "uniform sampler2D Texture1;\n"
    "uniform sampler2D Texture2;\n"
    "vec4 leaving(vec2 uv) { return texture2D(Texture1, uv); }\n"
    "vec4 reaching(vec2 uv) { return texture2D(Texture2, uv); }\n";

const char* const kVideoSamplers =
    "uniform sampler2D Texture1;\n"
    "uniform sampler2D Texture2;\n"
    "uniform sampler2D Texture3;\n"
    "vec4 overlay(vec2 uv)\n"
    "{\n"
    "    vec4 video = texture2D(Texture1, uv);\n"
    "    vec4 paper = texture2D(Texture2, uv);\n"
    "    vec4 result = video * (1.0 - paper.a) + paper * paper.a;\n"
    "    result.a = 1.0;\n"
    "    return result;\n"
    "}\n";

const char* const kImageToVideoSides =
    "vec4 leaving(vec2 uv) { return texture2D(Texture3, uv); }\n"
    "vec4 reaching(vec2 uv) { return overlay(uv); }\n";

const char* const kVideoToImageSides =
    "vec4 leaving(vec2 uv) { return overlay(uv); }\n"
    "vec4 reaching(vec2 uv) { return texture2D(Texture3, uv); }\n";

}  // namespace

const char* const ScreenQuadTransition::kVertexShader = orv_quad::kVertexShader;

std::string ScreenQuadTransition::ComposeFragmentShader(Direction direction, const char* core) {
  std::string text = kFragmentHead;
  switch (direction) {
    case Direction::I2I:
      text += kPictureSamplers;
      break;
    case Direction::I2V:
      text += kVideoSamplers;
      text += kImageToVideoSides;
      break;
    case Direction::V2I:
      text += kVideoSamplers;
      text += kVideoToImageSides;
      break;
  }
  text += core;
  return text;
}

ScreenQuadTransition::ScreenQuadTransition(OrvEffectMaker* maker, OrvFXFrameHandler* sink, const char* className)
    : SceneTransition(maker, sink, className), mTagMakeBuffer(std::string(className) + "::MakeBuffer") {}

float ScreenQuadTransition::ReadOption(const float* effectOption, const char* tag) const {
  if (effectOption == nullptr) {
    ORV_LOG(tag, "No effect option given; 0.0 used");
    return 0.0f;
  }
  return *effectOption;
}

framewalk::Rule ScreenQuadTransition::WalkRule(Direction direction) const {
  framewalk::Rule rule;
  rule.curveStart = CurveStart();
  rule.advanceFirst = AdvanceBeforeRead(direction);
  return rule;
}

float ScreenQuadTransition::ValueFor(int step) const {
  if (step == framewalk::kEnd || step < 0 || static_cast<size_t>(step) >= mCurve.size()) return EndValue();
  return MapValue(mCurve[static_cast<size_t>(step)]);
}

void ScreenQuadTransition::MakeBuffer() {
  orv_quad::SetUpFrame(vPosition, a_texCoord, width, height, false, mTagMakeBuffer.c_str());
}

void ScreenQuadTransition::Begin() {
  const Inputs& in = SceneInputs();
  const Direction direction = in.direction;
  const bool video = direction != Direction::I2I;
  const char* tag = Tag(direction);
  mProgram =
      ShaderUtils::CreateProgram(kVertexShader, &mVertexShader, FragmentShader(direction), &mFragmentShader);
  if (mProgram == 0) ORV_LOG(tag, "Program could not be built; the frames stay black");
  GLC(glUseProgram(mProgram));

  GLC(vPosition = glGetAttribLocation(mProgram, "vPosition"));
  GLC(a_texCoord = glGetAttribLocation(mProgram, "a_texCoord"));
  GLC(progress = glGetUniformLocation(mProgram, "progress"));
  LookUpAfterProgress(mProgram, tag);
  GLint texture1 = -1;
  GLint texture2 = -1;
  GLint texture3 = -1;
  GLC(texture1 = glGetUniformLocation(mProgram, "Texture1"));
  GLC(texture2 = glGetUniformLocation(mProgram, "Texture2"));
  if (video) GLC(texture3 = glGetUniformLocation(mProgram, "Texture3"));
  LookUpAfterSamplers(mProgram, tag);

  if (!video) {
    mTextures[0] = UploadPicture(in.from, "start picture", tag);
    mTextures[1] = UploadPicture(in.to, "end picture", tag);
    GLC(glUniform1i(texture1, 0));
    GLC(glUniform1i(texture2, 1));
    SetSamplerUnits(direction, tag);
  } else {
    GLC(glUniform1i(texture1, 0));
    GLC(glUniform1i(texture2, 1));
    GLC(glUniform1i(texture3, 2));
    SetSamplerUnits(direction, tag);
    mTextures[0] = UploadPaper(in.paper, tag);
    mTextures[1] = UploadPicture(direction == Direction::I2V ? in.from : in.to, "image", tag);
  }
  SetUpOnce(direction, in.option, tag);
  mCurve = ScaleProgressCurve(100, MakeProgressCurve(in.transitionLength));
}

void ScreenQuadTransition::Draw(const cv::Mat& video, int step) {
  const Direction direction = SceneInputs().direction;
  const char* tag = Tag(direction);
  MakeBuffer();
  if (direction == Direction::I2I) {
    GLC(glActiveTexture(GL_TEXTURE0));
    GLC(glBindTexture(GL_TEXTURE_2D, mTextures[0]));
    GLC(glActiveTexture(GL_TEXTURE1));
    GLC(glBindTexture(GL_TEXTURE_2D, mTextures[1]));
    BindPerFrame(direction, tag);
    GLC(glUniform1f(progress, ValueFor(step)));
    GLC(glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_SHORT, indices.data()));
    return;
  }
  GLuint frameTexture = ShaderUtils::MatToTexture(ShaderUtils::PrepareForUpload(video));
  GLC(glActiveTexture(GL_TEXTURE0));
  GLC(glBindTexture(GL_TEXTURE_2D, frameTexture));
  GLC(glActiveTexture(GL_TEXTURE1));
  GLC(glBindTexture(GL_TEXTURE_2D, mTextures[0]));
  GLC(glActiveTexture(GL_TEXTURE2));
  GLC(glBindTexture(GL_TEXTURE_2D, mTextures[1]));
  BindPerFrame(direction, tag);
  GLC(glUniform1f(progress, ValueFor(step)));
  GLC(glClear(GL_COLOR_BUFFER_BIT | GL_STENCIL_BUFFER_BIT | GL_DEPTH_BUFFER_BIT));
  GLC(glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_SHORT, indices.data()));
  GLC(glDeleteTextures(1, &frameTexture));
}

void ScreenQuadTransition::End() {
  const char* tag = Tag(SceneInputs().direction);
  GLC(glDeleteTextures(1, &mTextures[0]));
  GLC(glDeleteTextures(1, &mTextures[1]));
  mTextures[0] = mTextures[1] = 0;
  CleanUpExtra(tag);
  orv_quad::DeleteProgram(mProgram, mVertexShader, mFragmentShader, false, tag);
  mProgram = mVertexShader = mFragmentShader = 0;
  mCurve.clear();
}
