// An edge hinged at the middle of the top edge swings across the frame; the
// swept sector shows one side and the rest the other.
#pragma once

#include "ScreenQuadTransition.h"

class Transition_Pendulum : public ScreenQuadTransition {
 public:
  Transition_Pendulum(OrvEffectMaker* maker, OrvFXFrameHandler* sink)
      : ScreenQuadTransition(maker, sink, "Transition_Pendulum") {}

  const char* FragmentShader(Direction direction) const override;

  // Offset added to every scaled curve value, and the value once the curve
  // is used up: the first half of the swing for option 0, else the second.
  struct Swing {
    float offset;
    float endValue;
  };
  static Swing SwingFor(float option) {
    return screenquad::IsZeroOption(option) ? Swing{0.0f, 0.5f} : Swing{0.5f, 1.0f};
  }
  static float ValueOf(float curveValue, const Swing& swing) {
    const float scaled = curveValue * 0.005f;
    return scaled + swing.offset;
  }

 protected:
  void SetUpOnce(Direction direction, const float* effectOption, const char* tag) override;
  float MapValue(float curveValue) const override { return ValueOf(curveValue, mSwing); }
  float EndValue() const override { return mSwing.endValue; }
  int CurveStart() const override { return 1; }

 private:
  Swing mSwing{0.0f, 0.5f};
};
