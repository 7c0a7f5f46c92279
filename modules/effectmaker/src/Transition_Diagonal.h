// The end picture slides in from the bottom-right corner while the start picture moves off to the top-left, wrapped around.
#pragma once

#include "ScreenQuadTransition.h"

class Transition_Diagonal : public ScreenQuadTransition {
 public:
  Transition_Diagonal(OrvEffectMaker* maker, OrvFXFrameHandler* sink) : ScreenQuadTransition(maker, sink, "Transition_Diagonal") {}

  const char* FragmentShader(Direction direction) const override;
};
