// Two cards change places: the outgoing picture turns away about its
// vertical centre line, swings out to the right and sinks back, while the
// incoming picture does the mirror image in reverse.
#pragma once

#include "MeshTransition.h"

class Transition_Swap : public MeshClass<Transition_Swap> {
 public:
  using MeshClass::MeshClass;

  static const MeshSettings& Settings();
  // Mesh 0 (the outgoing picture) or 1 (the incoming one) at progress.
  static void Build(int meshIndex, int32_t progress, mesh::MeshArrays* out);
};
