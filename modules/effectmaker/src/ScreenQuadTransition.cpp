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

namespace screenquad {

std::vector<int> I2ISchedule(int frameLength, int transitionLength, int curveStart, bool advanceFirst) {
  std::vector<int> out;
  I2IWalk walk(transitionLength, curveStart, advanceFirst);
  for (int f = 0; f < frameLength; ++f) out.push_back(walk.Next());
  return out;
}

std::vector<int> I2VSchedule(int sfSize, int transitionLength, int readableFrames, int curveStart) {
  std::vector<int> out;
  I2VWalk walk(sfSize, transitionLength, curveStart);
  while (walk.WantsFrame()) {
    if (readableFrames >= 0 && walk.FramesRead() >= readableFrames) break;
    out.push_back(walk.OnFrame());
  }
  return out;
}

std::vector<int> V2ISchedule(int sfSize, int frameLength, int transitionStartFrame, int transitionLength,
                             int readableFrames, int curveStart) {
  std::vector<int> out;
  V2IWalk walk(sfSize, transitionStartFrame, transitionLength, curveStart);
  int reads = 0;
  for (int f = 0; f < frameLength; ++f) {
    if (walk.WantsRead()) {
      bool got = readableFrames < 0 || reads < readableFrames;
      if (got) ++reads;
      walk.OnRead(got);
    }
    out.push_back(walk.Index());
  }
  return out;
}

cv::Mat PrepareForUpload(const cv::Mat& picture) {
  if (picture.empty()) return picture;
  cv::Mat out = picture;
  switch (out.depth()) {
    case CV_8U:
      break;
    case CV_8S:
      out.convertTo(out, CV_8U, 1.0, 128.0);
      break;
    case CV_16U:
      out.convertTo(out, CV_8U, 1.0 / 257.0);
      break;
    case CV_16S:
      out.convertTo(out, CV_8U, 1.0 / 257.0, 128.0);
      break;
    case CV_32F:
    case CV_64F:
      out.convertTo(out, CV_8U, 255.0);
      break;
    default: {
      cv::Mat wide;
      out.convertTo(wide, CV_32F);
      if (picture.depth() == CV_32S) {
        wide.convertTo(out, CV_8U, 1.0 / 16843009.0, 128.0);
      } else {
        wide.convertTo(out, CV_8U, 255.0);
      }
      break;
    }
  }
  const int channels = out.channels();
  if (channels == 2) {
    out = ShaderUtils::GreyAlphaToBgra(out);
  } else if (channels > 4) {
    cv::Mat bgr(out.rows, out.cols, CV_8UC3);
    const int fromTo[] = {0, 0, 1, 1, 2, 2};
    cv::mixChannels(&out, 1, &bgr, 1, fromTo, 3);
    out = bgr;
  }
  if (!out.isContinuous()) out = out.clone();
  return out;
}

}  // namespace screenquad

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
    : OrvTransitionEffectInterface(maker, sink),
      mTagMakeBuffer(std::string(className) + "::MakeBuffer"),
      mTagI2I(std::string(className) + "::TranstionI2I"),
      mTagI2V(std::string(className) + "::TranstionI2V"),
      mTagV2I(std::string(className) + "::TranstionV2I") {}

const char* ScreenQuadTransition::Tag(Direction direction) const {
  switch (direction) {
    case Direction::I2I:
      return mTagI2I.c_str();
    case Direction::I2V:
      return mTagI2V.c_str();
    case Direction::V2I:
      break;
  }
  return mTagV2I.c_str();
}

float ScreenQuadTransition::ReadOption(const float* effectOption, const char* tag) const {
  if (effectOption == nullptr) {
    ORV_LOG(tag, "No effect option given; 0.0 used");
    return 0.0f;
  }
  return *effectOption;
}

float ScreenQuadTransition::ValueFor(const std::vector<float>& curve, int index) const {
  if (index == screenquad::kEndValue || index < 0 || static_cast<size_t>(index) >= curve.size()) return EndValue();
  return MapValue(curve[static_cast<size_t>(index)]);
}

void ScreenQuadTransition::MakeBuffer() {
  orv_quad::SetUpFrame(vPosition, a_texCoord, width, height, false, mTagMakeBuffer.c_str());
}

GLuint ScreenQuadTransition::UploadPicture(const cv::Mat* picture, const char* what, const char* tag) {
  if (picture == nullptr || picture->empty()) {
    ORV_LOG(tag, "No %s to draw; it shows as black", what);
    return ShaderUtils::MatToTexture(cv::Mat());
  }
  return ShaderUtils::MatToTexture(screenquad::PrepareForUpload(*picture));
}

bool ScreenQuadTransition::TranstionI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength,
                                  int32_t transitionLength, const float* effectOption) {
  const char* tag = mTagI2I.c_str();
  if (IsCanceled()) return true;

  GLuint vertexShader = 0;
  GLuint fragmentShader = 0;
  GLuint program = ShaderUtils::CreateProgram(kVertexShader, &vertexShader, FragmentShader(Direction::I2I),
                                              &fragmentShader);
  if (program == 0) ORV_LOG(tag, "Program could not be built; the frames stay black");
  GLC(glUseProgram(program));

  GLC(vPosition = glGetAttribLocation(program, "vPosition"));
  GLC(a_texCoord = glGetAttribLocation(program, "a_texCoord"));
  GLC(progress = glGetUniformLocation(program, "progress"));
  LookUpAfterProgress(program, tag);
  GLint texture1 = -1;
  GLint texture2 = -1;
  GLC(texture1 = glGetUniformLocation(program, "Texture1"));
  GLC(texture2 = glGetUniformLocation(program, "Texture2"));
  LookUpAfterSamplers(program, tag);

  GLuint fromTexture = UploadPicture(from, "start picture", tag);
  GLuint toTexture = UploadPicture(to, "end picture", tag);
  GLC(glUniform1i(texture1, 0));
  GLC(glUniform1i(texture2, 1));
  SetSamplerUnits(Direction::I2I, tag);
  SetUpOnce(Direction::I2I, effectOption, tag);

  const std::vector<float> curve = ScaleProgressCurve(100, MakeProgressCurve(transitionLength));
  screenquad::I2IWalk walk(transitionLength, CurveStart(), AdvanceBeforeRead(Direction::I2I));
  for (int32_t f = 0; f < frameLength; ++f) {
    if (IsCanceled()) break;
    MakeBuffer();
    GLC(glActiveTexture(GL_TEXTURE0));
    GLC(glBindTexture(GL_TEXTURE_2D, fromTexture));
    GLC(glActiveTexture(GL_TEXTURE1));
    GLC(glBindTexture(GL_TEXTURE_2D, toTexture));
    BindPerFrame(Direction::I2I, tag);
    const float value = ValueFor(curve, walk.Next());
    GLC(glUniform1f(progress, value));
    GLC(glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_SHORT, indices.data()));
    WriteFrame();
  }

  GLC(glDeleteTextures(1, &fromTexture));
  GLC(glDeleteTextures(1, &toTexture));
  CleanUpExtra(tag);
  orv_quad::DeleteProgram(program, vertexShader, fragmentShader, false, tag);
  return true;
}

void ScreenQuadTransition::SetUpVideo(VideoCall& call, Direction direction, SuperFrame* video, const cv::Mat* paper,
                                      const cv::Mat* image, int32_t transitionLength, const float* effectOption) {
  const char* tag = Tag(direction);
  call.program =
      ShaderUtils::CreateProgram(kVertexShader, &call.vertexShader, FragmentShader(direction), &call.fragmentShader);
  if (call.program == 0) ORV_LOG(tag, "Program could not be built; the frames stay black");
  GLC(glUseProgram(call.program));

  GLC(vPosition = glGetAttribLocation(call.program, "vPosition"));
  GLC(a_texCoord = glGetAttribLocation(call.program, "a_texCoord"));
  GLC(progress = glGetUniformLocation(call.program, "progress"));
  LookUpAfterProgress(call.program, tag);
  GLint texture1 = -1;
  GLint texture2 = -1;
  GLint texture3 = -1;
  GLC(texture1 = glGetUniformLocation(call.program, "Texture1"));
  GLC(texture2 = glGetUniformLocation(call.program, "Texture2"));
  GLC(texture3 = glGetUniformLocation(call.program, "Texture3"));
  LookUpAfterSamplers(call.program, tag);
  GLC(glUniform1i(texture1, 0));
  GLC(glUniform1i(texture2, 1));
  GLC(glUniform1i(texture3, 2));
  SetSamplerUnits(direction, tag);

  if (paper != nullptr && !paper->empty()) {
    call.paperTexture = ShaderUtils::MatToTexture(screenquad::PrepareForUpload(*paper));
  } else {
    // No paper: a fully transparent cover, so the video shows as it is.
    if (paper != nullptr) ORV_LOG(tag, "Empty paper picture; the video is shown without a cover");
    cv::Mat blank(std::max(height, 0), std::max(width, 0), CV_8UC4, cv::Scalar::all(0));
    call.paperTexture = ShaderUtils::MatToTexture(blank);
  }
  call.imageTexture = UploadPicture(image, "image", tag);
  SetUpOnce(direction, effectOption, tag);

  call.curve = ScaleProgressCurve(100, MakeProgressCurve(transitionLength));

  if (video == nullptr) {
    ORV_LOG(tag, "No video block given; nothing is read");
  } else if (video->sfSize <= 0) {
    ORV_LOG(tag, "Video block has no frames (sfSize %d)", video->sfSize);
  }
  if (gInputFrameHandler == nullptr) {
    ORV_LOG(tag, "No input frame handler; the video of this scene cannot be read");
  } else if (video != nullptr && !gInputFrameHandler->seekTo(video->sfStart)) {
    call.seekFailed = true;
    ORV_LOG(tag, "Could not seek to the block start %d us; frames are read from the current position",
            video->sfStart);
  }
}

void ScreenQuadTransition::WarpFrame(cv::Mat* frame, const SuperFrame* video, int index, bool* warned,
                                     const char* tag) {
  const float* transform = FrameTransformOf(video, index);
  if (transform == nullptr && !*warned) {
    *warned = true;
    ORV_LOG(tag, "No transform for frame %d of the block (%d given); identity used", index,
            video ? static_cast<int>(video->transforms.size()) : 0);
  }
  ApplyFrameTransform(frame, transform);
}

void ScreenQuadTransition::DrawVideoFrame(VideoCall& call, const cv::Mat& frame, float value, Direction direction,
                                          const char* tag) {
  MakeBuffer();
  GLuint frameTexture = ShaderUtils::MatToTexture(screenquad::PrepareForUpload(frame));
  GLC(glActiveTexture(GL_TEXTURE0));
  GLC(glBindTexture(GL_TEXTURE_2D, frameTexture));
  GLC(glActiveTexture(GL_TEXTURE1));
  GLC(glBindTexture(GL_TEXTURE_2D, call.paperTexture));
  GLC(glActiveTexture(GL_TEXTURE2));
  GLC(glBindTexture(GL_TEXTURE_2D, call.imageTexture));
  BindPerFrame(direction, tag);
  GLC(glUniform1f(progress, value));
  GLC(glClear(GL_COLOR_BUFFER_BIT | GL_STENCIL_BUFFER_BIT | GL_DEPTH_BUFFER_BIT));
  GLC(glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_SHORT, indices.data()));
  WriteFrame();
  GLC(glDeleteTextures(1, &frameTexture));
}

void ScreenQuadTransition::CleanUpVideo(VideoCall& call, const char* tag) {
  GLC(glDeleteTextures(1, &call.imageTexture));
  GLC(glDeleteTextures(1, &call.paperTexture));
  CleanUpExtra(tag);
  orv_quad::DeleteProgram(call.program, call.vertexShader, call.fragmentShader, false, tag);
}

bool ScreenQuadTransition::TranstionI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image,
                                  int32_t transitionLength, const float* effectOption) {
  const char* tag = mTagI2V.c_str();
  if (IsCanceled()) return true;

  VideoCall call;
  SetUpVideo(call, Direction::I2V, video, paper, image, transitionLength, effectOption);

  const int32_t blockSize = video ? video->sfSize : 0;
  screenquad::I2VWalk walk(blockSize, transitionLength, CurveStart());
  cv::Mat frame;
  bool warned = false;
  if (!IsCanceled()) {
    while (walk.WantsFrame()) {
      if (gInputFrameHandler != nullptr && !IsCanceled()) gInputFrameHandler->readFrame(frame);
      if (frame.empty()) break;
      WarpFrame(&frame, video, walk.TransformIndex(), &warned, tag);
      const float value = ValueFor(call.curve, walk.OnFrame());
      DrawVideoFrame(call, frame, value, Direction::I2V, tag);
      if (IsCanceled()) break;
    }
    if (walk.FramesRead() < blockSize && !IsCanceled()) {
      ORV_LOG(tag, "Video gave %d of the block's %d frames; the scene is shorter", walk.FramesRead(), blockSize);
    }
  }

  CleanUpVideo(call, tag);
  return true;
}

bool ScreenQuadTransition::TranstionV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper,
                                  cv::Mat image, int32_t frameLength, int32_t transitionLength,
                                  const float* effectOption) {
  const char* tag = mTagV2I.c_str();
  if (IsCanceled()) {
    image.release();
    return true;
  }

  VideoCall call;
  SetUpVideo(call, Direction::V2I, video, paper, &image, transitionLength, effectOption);

  const int32_t blockSize = video ? video->sfSize : 0;
  screenquad::V2IWalk walk(blockSize, transitionStartFrame, transitionLength, CurveStart());
  cv::Mat frame;
  bool warned = false;
  bool ranOut = false;
  for (int32_t f = 0; f < frameLength; ++f) {
    if (IsCanceled()) break;
    if (walk.WantsRead()) {
      if (gInputFrameHandler != nullptr && !IsCanceled()) gInputFrameHandler->readFrame(frame);
      if (frame.empty()) {
        if (!ranOut && gInputFrameHandler != nullptr) {
          ORV_LOG(tag, "Video gave no frame at output frame %d of %d; the end state is shown", f, frameLength);
        }
        ranOut = true;
        walk.OnRead(false);
      } else {
        WarpFrame(&frame, video, walk.TransformIndex(), &warned, tag);
        walk.OnRead(true);
      }
    }
    DrawVideoFrame(call, frame, ValueFor(call.curve, walk.Index()), Direction::V2I, tag);
  }

  CleanUpVideo(call, tag);
  image.release();
  return true;
}
