// Both pictures slide to the right, flat and apart: the outgoing one out of
// the frame, the incoming one from one and a half widths to the left into
// its place.
#pragma once

#include "MeshTransition.h"

class Transition_Push : public MeshClass<Transition_Push> {
 public:
  using MeshClass::MeshClass;

  static const MeshSettings& Settings();
  // Mesh 0 (the outgoing picture) or 1 (the incoming one) at progress.
  static void Build(int meshIndex, int32_t progress, mesh::MeshArrays* out);
};
