// Push: the outgoing and the incoming side travel together, edge to edge,
// left, right, up or down by the effect option.
#pragma once

#include <cmath>

#include "ScreenQuadTransition.h"

class Transition_Move : public ScreenQuadTransition {
 public:
  Transition_Move(OrvEffectMaker* maker, OrvFXFrameHandler* sink) : ScreenQuadTransition(maker, sink, "Transition_Move") {}

  const char* FragmentShader(Direction direction) const override;

  struct Row {
    int swap;
    float slideX;
    float slideY;
    float startValue;
    float endValue;
  };
  // Exact comparisons with 0, 1 and 2; any other value (NaN too) takes the
  // last row.
  static Row RowFor(float option) {
    if (option == 0.0f) return Row{1, 1.0f, 0.0f, 0.0f, 100.0f};
    if (option == 1.0f) return Row{0, 1.0f, 0.0f, 100.0f, 0.0f};
    if (option == 2.0f) return Row{1, 0.0f, 1.0f, 0.0f, 100.0f};
    return Row{0, 0.0f, 1.0f, 100.0f, 0.0f};
  }
  static float ValueOf(float curveValue, const Row& row) { return std::fabs(row.startValue - curveValue); }

 protected:
  void LookUpAfterProgress(GLuint program, const char* tag) override;
  void SetUpOnce(Direction direction, const float* effectOption, const char* tag) override;
  float MapValue(float curveValue) const override { return ValueOf(curveValue, mRow); }
  float EndValue() const override { return mRow.endValue; }

 private:
  GLint mSwap = -1;
  GLint mSlideAmount = -1;
  Row mRow{1, 1.0f, 0.0f, 0.0f, 100.0f};
};
