// Shared machinery of the full-screen-quad transitions: the quad, the common
// vertex shader, the three direction procedures with per-class hooks, and the
// frame schedules of those procedures as pure functions.
#pragma once

#include <GL/glew.h>

#include <opencv2/core.hpp>

#include <cstdint>
#include <string>
#include <vector>

#include "OrvTransitionEffectInterface.h"

// One OpenGL call followed by its error check under the method's tag (a
// `tag` in scope).
#define QUAD_GL(call)      \
  do {                     \
    call;                  \
    ORV_GL_CHECK(tag);     \
  } while (0)

namespace screenquad {

// Schedule entry that stands for the class's end value.
constexpr int kEndValue = -1;

// Curve position walk of the picture-to-picture loop. With advanceFirst the
// position is raised before it is read.
class I2IWalk {
 public:
  I2IWalk(int transitionLength, int curveStart, bool advanceFirst)
      : mPos(curveStart), mLength(transitionLength), mAdvanceFirst(advanceFirst) {}
  // Curve index for the next frame, or kEndValue.
  int Next() {
    if (mPos >= mLength) return kEndValue;
    return mAdvanceFirst ? ++mPos : mPos++;
  }

 private:
  int mPos;
  int mLength;
  bool mAdvanceFirst;
};

// Picture-to-video walk: one drawn frame per frame read, at most sfSize.
class I2VWalk {
 public:
  I2VWalk(int sfSize, int transitionLength, int curveStart)
      : mPos(curveStart), mLength(transitionLength), mSize(sfSize) {}
  bool WantsFrame() const { return mRead < mSize; }
  // Index of the transform for the frame just read.
  int TransformIndex() const { return mRead; }
  // A frame was read: curve index for it, or kEndValue.
  int OnFrame() {
    ++mRead;
    return mPos < mLength ? mPos++ : kEndValue;
  }
  int FramesRead() const { return mRead; }

 private:
  int mPos;
  int mLength;
  int mSize;
  int mRead = 0;
};

// Video-to-picture walk: the curve position holds through the lead-in and
// doubles as the bound on reading (reads only while it is below sfSize).
class V2IWalk {
 public:
  V2IWalk(int sfSize, int transitionStartFrame, int transitionLength, int curveStart)
      : mPos(curveStart), mLead(transitionStartFrame), mLength(transitionLength), mSize(sfSize) {}
  bool WantsRead() const { return mPos < mSize; }
  int TransformIndex() const { return mWarped; }
  // Outcome of this frame's read attempt.
  void OnRead(bool gotFrame) {
    if (!gotFrame) {
      mPos = mLength + 1;
      return;
    }
    ++mWarped;
    if (mLead > 0)
      --mLead;
    else
      ++mPos;
  }
  int Index() const { return mPos < mLength ? mPos : kEndValue; }

 private:
  int mPos;
  int mLead;
  int mLength;
  int mSize;
  int mWarped = 0;
};

// Curve index (or kEndValue) of every frame written, for a reader that gives
// readableFrames frames and then fails (a negative count: never fails).
std::vector<int> I2ISchedule(int frameLength, int transitionLength, int curveStart, bool advanceFirst);
std::vector<int> I2VSchedule(int sfSize, int transitionLength, int readableFrames, int curveStart);
std::vector<int> V2ISchedule(int sfSize, int frameLength, int transitionStartFrame, int transitionLength,
                             int readableFrames, int curveStart);

// The picture as MatToTexture can take it: 8-bit, 1, 3 or 4 channels,
// continuous rows. Returns the picture itself (no copy) when it already is.
cv::Mat PrepareForUpload(const cv::Mat& picture);

// True for 0.0 and -0.0 only (a NaN is not zero).
inline bool IsZeroOption(float option) { return option == 0.0f; }

}  // namespace screenquad

class ScreenQuadTransition : public OrvTransitionEffectInterface {
 public:
  enum class Direction { I2I, I2V, V2I };

  static const char* const kVertexShader;

  // The three procedures; a class differs only by its shaders and hooks.
  bool TranstionI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength, int32_t transitionLength,
                    const float* effectOption) override;
  bool TranstionI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
                    const float* effectOption) override;
  bool TranstionV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
                    int32_t frameLength, int32_t transitionLength, const float* effectOption) override;

  // Per-frame set-up of the quad and the frame (attribute arrays, viewport,
  // clear to opaque black).
  void MakeBuffer();

  // Fragment shader text of one direction.
  virtual const char* FragmentShader(Direction direction) const = 0;

  // A whole fragment shader: the common head, the samplers of the direction
  // with `leaving` (the side the scene leaves) and `reaching` (the side it
  // reaches; `overlay` lays the paper over the video), then the class's core.
  static std::string ComposeFragmentShader(Direction direction, const char* core);

  // The three fragment shaders of one class.
  class ShaderSet {
   public:
    explicit ShaderSet(const char* core)
        : mI2I(ComposeFragmentShader(Direction::I2I, core)),
          mI2V(ComposeFragmentShader(Direction::I2V, core)),
          mV2I(ComposeFragmentShader(Direction::V2I, core)) {}
    const char* Get(Direction direction) const {
      return direction == Direction::I2I ? mI2I.c_str() : direction == Direction::I2V ? mI2V.c_str() : mV2I.c_str();
    }

   private:
    std::string mI2I;
    std::string mI2V;
    std::string mV2I;
  };

 protected:
  ScreenQuadTransition(OrvEffectMaker* maker, OrvFXFrameHandler* sink, const char* className);

  // Hooks. Look-ups between "progress" and "Texture1".
  virtual void LookUpAfterProgress(GLuint program, const char* tag) {}
  // Look-ups after the last common sampler.
  virtual void LookUpAfterSamplers(GLuint program, const char* tag) {}
  // Right after the common glUniform1i calls.
  virtual void SetSamplerUnits(Direction direction, const char* tag) {}
  // Once, after the common textures and before the curve.
  virtual void SetUpOnce(Direction direction, const float* effectOption, const char* tag) {}
  // Per frame, after the common texture units are bound.
  virtual void BindPerFrame(Direction direction, const char* tag) {}
  // After the common textures are deleted.
  virtual void CleanUpExtra(const char* tag) {}
  // Value sent as "progress" for a curve value, and once the curve is used up.
  virtual float MapValue(float curveValue) const { return curveValue; }
  virtual float EndValue() const { return 100.0f; }
  virtual int CurveStart() const { return 0; }
  virtual bool AdvanceBeforeRead(Direction direction) const { return false; }

  // The option the scene passes; a missing one is logged and read as 0.0.
  float ReadOption(const float* effectOption, const char* tag) const;
  const char* Tag(Direction direction) const;

  GLint vPosition = -1;
  GLint a_texCoord = -1;
  GLint progress = -1;

 private:
  // What one video call builds in its set-up and frees in its clean-up.
  struct VideoCall {
    GLuint program = 0;
    GLuint vertexShader = 0;
    GLuint fragmentShader = 0;
    GLuint paperTexture = 0;
    GLuint imageTexture = 0;
    std::vector<float> curve;
    bool seekFailed = false;
  };

  float ValueFor(const std::vector<float>& curve, int index) const;
  GLuint UploadPicture(const cv::Mat* picture, const char* what, const char* tag);
  void SetUpVideo(VideoCall& call, Direction direction, SuperFrame* video, const cv::Mat* paper, const cv::Mat* image,
                  int32_t transitionLength, const float* effectOption);
  void DrawVideoFrame(VideoCall& call, const cv::Mat& frame, float value, Direction direction, const char* tag);
  void CleanUpVideo(VideoCall& call, const char* tag);
  // Stabilising warp of the index-th frame read; identity past the block's
  // transform list.
  void WarpFrame(cv::Mat* frame, const SuperFrame* video, int index, bool* warned, const char* tag);

  std::string mTagMakeBuffer;
  std::string mTagI2I;
  std::string mTagI2V;
  std::string mTagV2I;
};
