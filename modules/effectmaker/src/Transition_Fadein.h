// The incoming side opens in a disc that grows from the centre, with a soft rim.
#pragma once

#include "ScreenQuadTransition.h"

class Transition_Fadein : public ScreenQuadTransition {
 public:
  Transition_Fadein(OrvEffectMaker* maker, OrvFXFrameHandler* sink) : ScreenQuadTransition(maker, sink, "Transition_Fadein") {}

  const char* FragmentShader(Direction direction) const override;
};
