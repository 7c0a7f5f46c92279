#include "MeshTransition.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "ProgressCurve.h"
#include "QuadProgram.h"
#include "ShaderUtils.h"
#include "api/Log.h"

// One OpenGL call followed by its error check under the `tag` in scope.
#define MESH_GL(call)  \
  do {                 \
    call;              \
    ORV_GL_CHECK(tag); \
  } while (0)

namespace mesh {

MeshArrays::MeshArrays()
    : positions(static_cast<size_t>(kCapacity) * 3),
      colors(static_cast<size_t>(kCapacity) * 4),
      texCoords(static_cast<size_t>(kCapacity) * 2) {}

void MeshArrays::Put(float x, float y, float z, float r, float g, float b, float a, float u, float v) {
  if (count >= kCapacity) return;
  const size_t i = static_cast<size_t>(count);
  positions[i * 3] = x;
  positions[i * 3 + 1] = y;
  positions[i * 3 + 2] = z;
  colors[i * 4] = r;
  colors[i * 4 + 1] = g;
  colors[i * 4 + 2] = b;
  colors[i * 4 + 3] = a;
  texCoords[i * 2] = u;
  texCoords[i * 2 + 1] = v;
  ++count;
}

float* Matrix4Multiply(float out[16], const float a[16], const float b[16]) {
  float result[16];
  for (int c = 0; c < 4; ++c) {
    for (int r = 0; r < 4; ++r) {
      float sum = 0.0f;
      for (int k = 0; k < 4; ++k) sum += a[r + 4 * k] * b[k + 4 * c];
      result[r + 4 * c] = sum;
    }
  }
  std::memcpy(out, result, sizeof(result));
  return out;
}

float* Matrix4Translate(float out[16], const float m[16], float x, float y, float z) {
  float t[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  t[12] = x;
  t[13] = y;
  t[14] = z;
  return Matrix4Multiply(out, t, m);
}

void CameraMatrices(float projection[16], float model[16]) {
  const float aspect = kPlaneWidth / kPlaneHeight;
  const float f = 1.0f / static_cast<float>(std::tan(static_cast<double>(kFovY * 0.5f)));
  std::fill(projection, projection + 16, 0.0f);
  projection[0] = f / aspect;
  projection[5] = f;
  projection[10] = (kNear + kFar) / (kNear - kFar);
  projection[11] = -1.0f;
  projection[14] = 2.0f * kFar * kNear / (kNear - kFar);
  static const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  Matrix4Translate(model, kIdentity, 0.0f, 0.0f, kPlaneDistance);
}

bool ProjectToFrame(const float point[3], double* xFrac, double* yFrac) {
  float projection[16];
  float model[16];
  CameraMatrices(projection, model);
  float mvp[16];
  Matrix4Multiply(mvp, projection, model);
  double clip[4];
  for (int r = 0; r < 4; ++r)
    clip[r] = static_cast<double>(mvp[r]) * point[0] + static_cast<double>(mvp[r + 4]) * point[1] +
              static_cast<double>(mvp[r + 8]) * point[2] + static_cast<double>(mvp[r + 12]);
  if (clip[3] <= 0.0) return false;
  *xFrac = 0.5 + 0.5 * clip[0] / clip[3];
  *yFrac = 0.5 - 0.5 * clip[1] / clip[3];
  return true;
}

const char* const kVertexShader =
    "#ifdef GL_ES\n"
    "precision mediump float;\n"
    "precision mediump int;\n"
    "#endif\n"
    "uniform mat4 u_Transform;\n"
    "uniform mat4 u_Projection;\n"
    "attribute vec4 a_Position;\n"
    "attribute vec4 a_Color;\n"
    "attribute vec4 a_TexCoord;\n"
    "varying vec4 v_TexCoord;\n"
    "varying vec4 v_Color;\n"
    "void main()\n"
    "{\n"
    "    v_TexCoord = a_TexCoord;\n"
    "    v_Color = a_Color;\n"
    "    gl_Position = u_Projection * u_Transform * vec4(a_Position.xyz, 1.0);\n"
    "}\n";

std::string FragmentShader(const char* overlayUniform, const char* test, const char* videoSampler, const char* output) {
  std::string text =
      "#ifdef GL_ES\n"
      "precision mediump float;\n"
      "precision mediump int;\n"
      "#endif\n";
  if (std::strcmp(videoSampler, "t_Texture") != 0) text += std::string("uniform sampler2D ") + videoSampler + ";\n";
  text += "uniform sampler2D t_Texture;\n";
  text += "uniform sampler2D t_PaperTexture;\n";
  text += std::string("uniform float ") + overlayUniform + ";\n";
  text +=
      "varying vec4 v_TexCoord;\n"
      "varying vec4 v_Color;\n"
      "vec4 overlay(vec2 uv)\n"
      "{\n";
  text += std::string("    vec4 inputTex = texture2D(") + videoSampler + ", uv);\n";
  text +=
      "    vec4 otherTex = texture2D(t_PaperTexture, uv);\n"
      "    vec4 outTex = inputTex * (1.0 - otherTex.w) + otherTex * otherTex.w;\n"
      "    outTex.w = 1.0;\n"
      "    return outTex;\n"
      "}\n"
      "void main()\n"
      "{\n"
      "    vec4 texColor;\n";
  text += std::string("    if (") + test + ")\n";
  text +=
      "        texColor = overlay(v_TexCoord.xy);\n"
      "    else\n"
      "        texColor = texture2D(t_Texture, v_TexCoord.xy);\n";
  text += std::string("    ") + output + "\n";
  text += "}\n";
  return text;
}

}  // namespace mesh

MeshTransition::MeshTransition(int32_t width, int32_t height, OrvEffectMaker* maker, OrvFXFrameHandler* sink,
                               const MeshSettings& settings)
    : SceneTransition(maker, sink, settings.className),
      mWidth(width),
      mHeight(height),
      mMaxProgress(settings.maxProgress),
      mVertexShaderName(settings.vertexShaderName),
      mFragmentShaderName(settings.fragmentShaderName),
      mAspect(height > 0 ? static_cast<float>(width) / static_cast<float>(height) : 1.0f),
      mSettings(settings),
      mTagMakeBuffer(settings.className + "::MakeBuffer"),
      mTagDestructor(settings.className + "::~" + settings.className) {
  const std::string tagText = settings.className + "::" + settings.className;
  const char* tag = tagText.c_str();
  for (int m = 0; m < 2; ++m) MESH_GL(glGenBuffers(1, &mPositionBuffers[m]));
  for (int m = 0; m < 2; ++m) MESH_GL(glGenBuffers(1, &mColorBuffers[m]));
  for (int m = 0; m < 2; ++m) MESH_GL(glGenBuffers(1, &mTexCoordBuffers[m]));
  mProgram = ShaderUtils::CreateProgram(settings.vertexShader.c_str(), &mVertexShader, settings.fragmentShader.c_str(),
                                        &mFragmentShader);
  if (mProgram == 0) ORV_LOG(tag, "## Program could not be built; the frames stay black");
  MESH_GL(glUseProgram(mProgram));
  mAttributeNames = {"a_Position", "a_Color", "a_TexCoord"};
  mUniformNames = {"t_Texture", "u_Transform", "u_Projection"};
  for (const std::string& name : mUniformNames)
    mUniformLocations[name] = mProgram != 0 ? glGetUniformLocation(mProgram, name.c_str()) : -1;
  for (const std::string& name : mAttributeNames)
    mAttributeLocations[name] = mProgram != 0 ? glGetAttribLocation(mProgram, name.c_str()) : -1;
  // The locations every frame uses, in the order of the mesh's buffers.
  mTextureLocation = mUniformLocations["t_Texture"];
  for (int a = 0; a < 3; ++a) mAttributes[a] = mAttributeLocations[mAttributeNames[static_cast<size_t>(a)]];
}

MeshTransition::~MeshTransition() {
  const char* tag = mTagDestructor.c_str();
  for (int m = 0; m < 2; ++m) MESH_GL(glDeleteBuffers(1, &mPositionBuffers[m]));
  for (int m = 0; m < 2; ++m) MESH_GL(glDeleteBuffers(1, &mColorBuffers[m]));
  for (int m = 0; m < 2; ++m) MESH_GL(glDeleteBuffers(1, &mTexCoordBuffers[m]));
  MESH_GL(glDeleteTextures(2, mTextures));
  orv_quad::DeleteProgram(mProgram, mVertexShader, mFragmentShader, true, tag);
}

framewalk::Rule MeshTransition::FamilyRule() {
  framewalk::Rule rule;
  rule.settleEarly = true;
  rule.drawsLastStep = true;
  rule.lagsOneFrame = true;
  rule.readsWhileChanging = true;
  return rule;
}

int32_t MeshTransition::ProgressOf(const std::vector<float>& curve, int step, int32_t maxProgress) {
  if (step == framewalk::kEnd || step < 0 || static_cast<size_t>(step) >= curve.size()) return maxProgress;
  float value = curve[static_cast<size_t>(step)];
  if (!std::isfinite(value)) return 0;
  value = std::min(std::max(value, 0.0f), static_cast<float>(maxProgress));
  return static_cast<int32_t>(value);
}

void MeshTransition::MakeBuffer() {
  const char* tag = mTagMakeBuffer.c_str();
  for (int m = 0; m < 2; ++m) {
    mScratch.Clear();
    BuildMesh(m, mProgress, mScratch);
    const int n = mScratch.count;
    mVertexCounts[m] = n;
    MESH_GL(glBindBuffer(GL_ARRAY_BUFFER, mPositionBuffers[m]));
    MESH_GL(glBufferData(GL_ARRAY_BUFFER, n * 12, mScratch.positions.data(), GL_STATIC_DRAW));
    MESH_GL(glBindBuffer(GL_ARRAY_BUFFER, 0));
    MESH_GL(glBindBuffer(GL_ARRAY_BUFFER, mColorBuffers[m]));
    MESH_GL(glBufferData(GL_ARRAY_BUFFER, n * 16, mScratch.colors.data(), GL_STATIC_DRAW));
    MESH_GL(glBindBuffer(GL_ARRAY_BUFFER, 0));
    MESH_GL(glBindBuffer(GL_ARRAY_BUFFER, mTexCoordBuffers[m]));
    MESH_GL(glBufferData(GL_ARRAY_BUFFER, n * 8, mScratch.texCoords.data(), GL_STATIC_DRAW));
    MESH_GL(glBindBuffer(GL_ARRAY_BUFFER, 0));
  }
}

void MeshTransition::Begin() {
  const Inputs& in = SceneInputs();
  const char* tag = Tag(in.direction);
  mProgressCurve = ScaleProgressCurve(mMaxProgress, MakeProgressCurve(in.transitionLength));
  mCurveIndex = 0;
  mProgress = 0;

  // The pictures as the scenes before and after show them.
  if (in.direction == Direction::I2I) {
    mTextures[0] = UploadOverBlack(in.from, "start picture", tag);
    mTextures[1] = UploadOverBlack(in.to, "end picture", tag);
  } else {
    mTextures[0] = UploadOverBlack(in.direction == Direction::I2V ? in.from : in.to, "picture", tag);
    mTextures[1] = UploadPaper(in.paper, tag);
  }

  MESH_GL(glUseProgram(mProgram));
  for (const auto& attribute : mAttributeLocations)
    if (attribute.second >= 0) MESH_GL(glEnableVertexAttribArray(static_cast<GLuint>(attribute.second)));
  if (mProgram != 0) {
    MESH_GL(mOverlayLocation = glGetUniformLocation(mProgram, mSettings.overlayUniform));
    MESH_GL(mPaperLocation = glGetUniformLocation(mProgram, "t_PaperTexture"));
    MESH_GL(mVideoSamplerLocation = glGetUniformLocation(mProgram, mSettings.videoSampler));
  }
  float projection[16];
  float model[16];
  mesh::CameraMatrices(projection, model);
  MESH_GL(glUniformMatrix4fv(mUniformLocations["u_Projection"], 1, GL_FALSE, projection));
  MESH_GL(glUniformMatrix4fv(mUniformLocations["u_Transform"], 1, GL_FALSE, model));
}

void MeshTransition::DrawMesh(int meshIndex, bool video, const char* tag) {
  if (video) {
    MESH_GL(glUniform1f(mOverlayLocation, 1.0f));
    MESH_GL(glUniform1i(mTextureLocation, 0));
    MESH_GL(glUniform1i(mVideoSamplerLocation, 0));
    MESH_GL(glUniform1i(mPaperLocation, 2));
  } else {
    MESH_GL(glUniform1f(mOverlayLocation, 0.0f));
    // Picture to picture: unit 0 the outgoing, 1 the incoming picture; the
    // video directions keep their picture on unit 1.
    const Direction direction = SceneInputs().direction;
    MESH_GL(glUniform1i(mTextureLocation, direction == Direction::I2I ? meshIndex : 1));
  }
  const GLuint buffers[3] = {mPositionBuffers[meshIndex], mColorBuffers[meshIndex], mTexCoordBuffers[meshIndex]};
  static const GLint kComponents[3] = {3, 4, 2};
  for (int a = 0; a < 3; ++a) {
    MESH_GL(glBindBuffer(GL_ARRAY_BUFFER, buffers[a]));
    if (mAttributes[a] >= 0)
      MESH_GL(glVertexAttribPointer(static_cast<GLuint>(mAttributes[a]), kComponents[a], GL_FLOAT, GL_FALSE, 0,
                                    nullptr));
    MESH_GL(glBindBuffer(GL_ARRAY_BUFFER, 0));
  }
  MESH_GL(glDrawArrays(GL_TRIANGLES, 0, mVertexCounts[meshIndex]));
}

void MeshTransition::Draw(const cv::Mat& video, int step) {
  const Direction direction = SceneInputs().direction;
  const char* tag = Tag(direction);
  mProgress = ProgressOf(mProgressCurve, step, mMaxProgress);

  MESH_GL(glClearColor(0.0f, 0.0f, 0.0f, 1.0f));
  MESH_GL(glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT));
  MESH_GL(glViewport(0, 0, mWidth, mHeight));
  MESH_GL(glEnable(GL_CULL_FACE));
  MESH_GL(glCullFace(GL_BACK));
  MESH_GL(glEnable(GL_DEPTH_TEST));
  MESH_GL(glEnable(GL_BLEND));
  MESH_GL(glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA));

  GLuint frameTexture = 0;
  if (direction == Direction::I2I) {
    MESH_GL(glActiveTexture(GL_TEXTURE0));
    MESH_GL(glBindTexture(GL_TEXTURE_2D, mTextures[0]));
    MESH_GL(glActiveTexture(GL_TEXTURE1));
    MESH_GL(glBindTexture(GL_TEXTURE_2D, mTextures[1]));
  } else {
    frameTexture = ShaderUtils::MatToTexture(ShaderUtils::PrepareForUpload(video));
    MESH_GL(glActiveTexture(GL_TEXTURE0));
    MESH_GL(glBindTexture(GL_TEXTURE_2D, frameTexture));
    MESH_GL(glActiveTexture(GL_TEXTURE1));
    MESH_GL(glBindTexture(GL_TEXTURE_2D, mTextures[0]));
    MESH_GL(glActiveTexture(GL_TEXTURE2));
    MESH_GL(glBindTexture(GL_TEXTURE_2D, mTextures[1]));
  }
  MakeBuffer();
  // The mesh that carries the video: the incoming side into a video, the
  // outgoing side out of one.
  const int videoMesh = direction == Direction::I2V ? 1 : direction == Direction::V2I ? 0 : -1;
  const int first = mSettings.incomingFirst ? 1 : 0;
  DrawMesh(first, first == videoMesh, tag);
  DrawMesh(1 - first, 1 - first == videoMesh, tag);
  MESH_GL(glUniform1f(mOverlayLocation, 0.0f));
  if (frameTexture != 0) MESH_GL(glDeleteTextures(1, &frameTexture));
}

void MeshTransition::End() {
  const char* tag = Tag(SceneInputs().direction);
  MESH_GL(glDeleteTextures(2, mTextures));
  mTextures[0] = mTextures[1] = 0;
  mProgressCurve.clear();
}
