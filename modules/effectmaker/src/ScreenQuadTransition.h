// Shared machinery of the full-screen-quad transitions: the quad, the common
// vertex shader and the drawing of one frame with per-class hooks; the scene
// driver runs the frames.
#pragma once

#include <GL/glew.h>

#include <opencv2/core.hpp>

#include <cstdint>
#include <string>
#include <vector>

#include "SceneTransition.h"

// One OpenGL call followed by its error check under the method's tag (a
// `tag` in scope).
#define QUAD_GL(call)      \
  do {                     \
    call;                  \
    ORV_GL_CHECK(tag);     \
  } while (0)

namespace screenquad {

// True for 0.0 and -0.0 only (a NaN is not zero).
inline bool IsZeroOption(float option) { return option == 0.0f; }

}  // namespace screenquad

class ScreenQuadTransition : public SceneTransition {
 public:
  static const char* const kVertexShader;

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

  framewalk::Rule WalkRule(Direction direction) const override;
  void Begin() override;
  void Draw(const cv::Mat& video, int step) override;
  void End() override;
  bool Working() const override { return mProgram != 0; }

  GLint vPosition = -1;
  GLint a_texCoord = -1;
  GLint progress = -1;

 private:
  float ValueFor(int step) const;

  std::string mTagMakeBuffer;
  // What one scene builds in Begin and frees in End.
  GLuint mProgram = 0;
  GLuint mVertexShader = 0;
  GLuint mFragmentShader = 0;
  // I2I: the start and end picture; video directions: the paper and the picture.
  GLuint mTextures[2] = {0, 0};
  std::vector<float> mCurve;
};
