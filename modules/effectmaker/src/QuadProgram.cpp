#include "QuadProgram.h"

#include "FullScreenQuad.h"
#include "ShaderUtils.h"

namespace orv_quad {

void SetUpFrame(GLint position, GLint texCoord, int32_t width, int32_t height, bool skipMissing, const char* tag) {
  if (!skipMissing || position >= 0) {
    glEnableVertexAttribArray(static_cast<GLuint>(position));
    ORV_GL_CHECK(tag);
    glVertexAttribPointer(static_cast<GLuint>(position), 3, GL_FLOAT, GL_FALSE, kStride, kVertices);
    ORV_GL_CHECK(tag);
  }
  if (!skipMissing || texCoord >= 0) {
    glEnableVertexAttribArray(static_cast<GLuint>(texCoord));
    ORV_GL_CHECK(tag);
    glVertexAttribPointer(static_cast<GLuint>(texCoord), 2, GL_FLOAT, GL_FALSE, kStride, kVertices + 3);
    ORV_GL_CHECK(tag);
  }
  glViewport(0, 0, width, height);
  ORV_GL_CHECK(tag);
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  ORV_GL_CHECK(tag);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  ORV_GL_CHECK(tag);
}

void DeleteProgram(GLuint program, GLuint vertexShader, GLuint fragmentShader, bool skipMissing, const char* tag) {
  if (ShaderUtils::IsKept(program)) return;
  if (!skipMissing || (program != 0 && vertexShader != 0)) {
    glDetachShader(program, vertexShader);
    ORV_GL_CHECK(tag);
  }
  if (!skipMissing || (program != 0 && fragmentShader != 0)) {
    glDetachShader(program, fragmentShader);
    ORV_GL_CHECK(tag);
  }
  if (!skipMissing || vertexShader != 0) {
    glDeleteShader(vertexShader);
    ORV_GL_CHECK(tag);
  }
  if (!skipMissing || fragmentShader != 0) {
    glDeleteShader(fragmentShader);
    ORV_GL_CHECK(tag);
  }
  if (!skipMissing || program != 0) {
    glDeleteProgram(program);
    ORV_GL_CHECK(tag);
  }
}

}  // namespace orv_quad

QuadProgramEffect::QuadProgramEffect(int32_t w, int32_t h, OrvEffectMaker* maker, OrvFXFrameHandler* sink,
                                     const char* className, const char* vertexText, const char* fragmentText)
    : OrvTransitionEffectInterface(maker, sink),
      mClassName(className),
      mTagMakeBuffer(mClassName + "::MakeBuffer") {
  const std::string tag = mClassName + "::" + mClassName;
  width = w;
  height = h;
  program = ShaderUtils::CreateProgram(vertexText, &vertexShader, fragmentText, &fragmentShader);
  glUseProgram(program);
  ORV_GL_CHECK(tag.c_str());
}

QuadProgramEffect::~QuadProgramEffect() {
  const std::string tag = mClassName + "::~" + mClassName;
  glUseProgram(0);
  ORV_GL_CHECK(tag.c_str());
  orv_quad::DeleteProgram(program, vertexShader, fragmentShader, true, tag.c_str());
}

bool QuadProgramEffect::TranstionI2I(const cv::Mat*, const cv::Mat*, int32_t, int32_t, const float*) { return false; }

bool QuadProgramEffect::TranstionI2V(SuperFrame*, const cv::Mat*, const cv::Mat*, int32_t, const float*) {
  return false;
}

bool QuadProgramEffect::TranstionV2I(SuperFrame*, int32_t, const cv::Mat*, cv::Mat image, int32_t, int32_t,
                                     const float*) {
  image.release();
  return false;
}

void QuadProgramEffect::MakeBuffer() {
  orv_quad::SetUpFrame(vPositionLoc, texCoordLoc, width, height, true, mTagMakeBuffer.c_str());
}

void QuadProgramEffect::DrawQuad(const char* tag) {
  glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_SHORT, indices.data());
  ORV_GL_CHECK(tag);
}

void QuadProgramEffect::LookUpQuadLocations(std::initializer_list<const char*> samplers, const char* tag) {
  if (program == 0) return;
  vPositionLoc = glGetAttribLocation(program, "vPosition");
  ORV_GL_CHECK(tag);
  texCoordLoc = glGetAttribLocation(program, "a_texCoord");
  ORV_GL_CHECK(tag);
  GLint unit = 0;
  for (const char* name : samplers) {
    const GLint location = glGetUniformLocation(program, name);
    ORV_GL_CHECK(tag);
    glUniform1i(location, unit++);
    ORV_GL_CHECK(tag);
  }
}

void HoldDrawing::Begin() {
  if (mPicture) mTexture = ShaderUtils::MatToTexture(*mPicture);
  // An empty overlay uploads as one transparent texel.
  if (mOverlay) mOverlayTexture = ShaderUtils::MatToTexture(*mOverlay);
}

void HoldDrawing::Draw(const cv::Mat& video, int) {
  mEffect.MakeBuffer();
  GLuint frameTexture = mPicture ? 0 : ShaderUtils::MatToTexture(video);
  glActiveTexture(GL_TEXTURE0);
  ORV_GL_CHECK(mTag);
  glBindTexture(GL_TEXTURE_2D, mPicture ? mTexture : frameTexture);
  ORV_GL_CHECK(mTag);
  if (mOverlay) {
    glActiveTexture(GL_TEXTURE1);
    ORV_GL_CHECK(mTag);
    glBindTexture(GL_TEXTURE_2D, mOverlayTexture);
    ORV_GL_CHECK(mTag);
  }
  if (mClearMask != 0) {
    glClear(mClearMask);
    ORV_GL_CHECK(mTag);
  }
  mEffect.DrawQuad(mTag);
  if (frameTexture != 0) {
    glDeleteTextures(1, &frameTexture);
    ORV_GL_CHECK(mTag);
  }
}

void HoldDrawing::End() {
  if (mOverlay) {
    glActiveTexture(GL_TEXTURE0);
    ORV_GL_CHECK(mTag);
    glDeleteTextures(1, &mOverlayTexture);
    ORV_GL_CHECK(mTag);
  }
  if (mTexture == 0) return;
  glDeleteTextures(1, &mTexture);
  ORV_GL_CHECK(mTag);
}
