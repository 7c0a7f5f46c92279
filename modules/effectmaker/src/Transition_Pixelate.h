// The outgoing side breaks into coarsening cells, cross-fades at the coarsest grid, and the incoming side refines back to whole.
#pragma once

#include "ScreenQuadTransition.h"

class Transition_Pixelate : public ScreenQuadTransition {
 public:
  Transition_Pixelate(OrvEffectMaker* maker, OrvFXFrameHandler* sink) : ScreenQuadTransition(maker, sink, "Transition_Pixelate") {}

  const char* FragmentShader(Direction direction) const override;
};
