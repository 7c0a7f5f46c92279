// Program and quad set-up shared by the full-screen-quad effects, and the base
// of the effects that keep one program current for their whole life.
#pragma once

#include <GL/glew.h>

#include <cstdint>
#include <initializer_list>
#include <string>

#include "OrvTransitionEffectInterface.h"
#include "SceneDriver.h"

namespace orv_quad {

// Enables the two attribute arrays and points them at the quad, then sets the
// viewport to width x height and clears colour and depth to opaque black.
// With skipMissing a location below 0 is left alone; without, it goes to GL
// as it is. Every call is checked under tag.
void SetUpFrame(GLint position, GLint texCoord, int32_t width, int32_t height, bool skipMissing, const char* tag);

// Detaches both shaders, deletes them, then deletes the program (a kept
// program stays). With
// skipMissing a name of 0 is left alone; without, it goes to GL as it is.
void DeleteProgram(GLuint program, GLuint vertexShader, GLuint fragmentShader, bool skipMissing, const char* tag);

}  // namespace orv_quad

// Builds its program in the constructor and makes it current for the
// object's life; the destructor makes program 0 current and deletes it. The
// three direction operations are not used on these classes.
class QuadProgramEffect : public OrvTransitionEffectInterface {
 public:
  ~QuadProgramEffect() override;

  // Do nothing and return false (the picture is released).
  bool TranstionI2I(const cv::Mat* from, const cv::Mat* to, int32_t frameLength, int32_t transitionLength,
                    const float* effectOption) override;
  bool TranstionI2V(SuperFrame* video, const cv::Mat* paper, const cv::Mat* image, int32_t transitionLength,
                    const float* effectOption) override;
  bool TranstionV2I(SuperFrame* video, int32_t transitionStartFrame, const cv::Mat* paper, cv::Mat image,
                    int32_t frameLength, int32_t transitionLength, const float* effectOption) override;

  // Per-frame set-up of the quad and the frame; locations not looked up yet
  // (below 0) are skipped.
  void MakeBuffer();
  // Draws the quad's two triangles.
  void DrawQuad(const char* tag);
  bool HasProgram() const { return program != 0; }
  // Looks up "vPosition" and "a_texCoord", then points each named sampler
  // at its texture unit (the first at unit 0). Nothing without a program.
  void LookUpQuadLocations(std::initializer_list<const char*> samplers, const char* tag);

 protected:
  // className names the log tags ("<className>::<method>").
  QuadProgramEffect(int32_t width, int32_t height, OrvEffectMaker* maker, OrvFXFrameHandler* sink,
                    const char* className, const char* vertexText, const char* fragmentText);

  GLint vPositionLoc = -1;
  GLint texCoordLoc = -1;
  GLuint vertexShader = 0;
  GLuint fragmentShader = 0;
  GLuint program = 0;

 private:
  std::string mClassName;
  std::string mTagMakeBuffer;
};

// A hold's frame: one full-screen quad over a fixed picture, or over the
// scene's video frame when there is none, with an optional overlay on
// texture unit 1 laid over it by its alpha. clearMask is cleared before the
// quad (0: nothing).
class HoldDrawing : public scene::Drawing {
 public:
  HoldDrawing(QuadProgramEffect& effect, const cv::Mat* picture, const cv::Mat* overlay, GLbitfield clearMask,
              const char* tag)
      : mEffect(effect), mPicture(picture), mOverlay(overlay), mClearMask(clearMask), mTag(tag) {}
  void Begin() override;
  void Draw(const cv::Mat& video, int step) override;
  void End() override;
  bool Working() const override { return mEffect.HasProgram(); }

 private:
  QuadProgramEffect& mEffect;
  const cv::Mat* mPicture;
  const cv::Mat* mOverlay;
  GLbitfield mClearMask;
  const char* mTag;
  GLuint mTexture = 0;
  GLuint mOverlayTexture = 0;
};
