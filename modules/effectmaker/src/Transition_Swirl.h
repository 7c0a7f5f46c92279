// The side the scene leaves turns about the centre, more the farther out,
// while it cross-fades into the side the scene reaches, which stands still.
#pragma once

#include "ScreenQuadTransition.h"

class Transition_Swirl : public ScreenQuadTransition {
 public:
  Transition_Swirl(OrvEffectMaker* maker, OrvFXFrameHandler* sink) : ScreenQuadTransition(maker, sink, "Transition_Swirl") {}

  const char* FragmentShader(Direction direction) const override;

  // -30 (clockwise) for option 0, +30 (anticlockwise) for every other value.
  static float TwistAmountFor(float option) { return screenquad::IsZeroOption(option) ? -30.0f : 30.0f; }

 protected:
  void LookUpAfterProgress(GLuint program, const char* tag) override;
  void SetUpOnce(Direction direction, const float* effectOption, const char* tag) override;

 private:
  GLint mTwistAmount = -1;
};
