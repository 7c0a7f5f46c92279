// Radial wiggle: while the two sides cross-fade, every point samples nearer
// to or farther from the centre along its own ray, by a map picture.
#pragma once

#include <string>

#include "ScreenQuadTransition.h"

class Transition_Zoom : public ScreenQuadTransition {
 public:
  Transition_Zoom(OrvEffectMaker* maker, OrvFXFrameHandler* sink) : ScreenQuadTransition(maker, sink, "Transition_Zoom") {}

  const char* FragmentShader(Direction direction) const override;

  // The folder followed directly by "map_zoom.png".
  static std::string GetMapFilePath(std::string directory) { return directory + "map_zoom.png"; }
  // 0.0 for option 0, 0.7 for every other value.
  static float RandomSeedFor(float option) { return screenquad::IsZeroOption(option) ? 0.0f : 0.7f; }

 protected:
  void LookUpAfterSamplers(GLuint program, const char* tag) override;
  void SetSamplerUnits(Direction direction, const char* tag) override;
  void SetUpOnce(Direction direction, const float* effectOption, const char* tag) override;
  void BindPerFrame(Direction direction, const char* tag) override;
  void CleanUpExtra(const char* tag) override;
  bool AdvanceBeforeRead(Direction direction) const override { return direction == Direction::I2I; }

 private:
  GLint mTextureMap = -1;
  GLint mRandomSeed = -1;
  GLuint mMapTexture = 0;
};
