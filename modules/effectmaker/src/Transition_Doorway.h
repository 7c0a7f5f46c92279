// The outgoing picture splits down its centre line into two leaves that
// slide apart; the incoming picture comes forward out of the dark between
// them. Pictures are drawn opaque.
#pragma once

#include "MeshTransition.h"

class Transition_Doorway : public MeshClass<Transition_Doorway> {
 public:
  using MeshClass::MeshClass;

  static const MeshSettings& Settings();
  // Mesh 0 (the outgoing picture) or 1 (the incoming one) at progress.
  static void Build(int meshIndex, int32_t progress, mesh::MeshArrays* out);
};
