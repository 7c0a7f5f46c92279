// The two pictures are neighbouring faces of a cube that makes a quarter
// turn about its vertical axis while it moves back and returns: the
// outgoing face leaves to the left darkening, the incoming face comes in
// from the right brightening.
#pragma once

#include "MeshTransition.h"

class Transition_Cube : public MeshClass<Transition_Cube> {
 public:
  using MeshClass::MeshClass;

  static const MeshSettings& Settings();
  // Mesh 0 (the outgoing face) or 1 (the incoming one) at progress; the
  // vertex colour carries the face's shade.
  static void Build(int meshIndex, int32_t progress, mesh::MeshArrays* out);
};
