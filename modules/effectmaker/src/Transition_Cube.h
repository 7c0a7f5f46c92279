// The two pictures are neighbouring faces of a cube that makes a quarter
// turn about its vertical axis while it moves back and returns: the
// outgoing face leaves to the left darkening, the incoming face comes in
// from the right brightening.
#pragma once

#include "MeshTransition.h"

class Transition_Cube : public MeshTransition {
 public:
  Transition_Cube(int32_t width, int32_t height, OrvEffectMaker* maker, OrvFXFrameHandler* sink)
      : MeshTransition(width, height, maker, sink, Settings()) {}

  static const MeshSettings& Settings();
  // Mesh 0 (the outgoing face) or 1 (the incoming one) at progress; the
  // vertex colour carries the face's shade.
  static void Build(int meshIndex, int32_t progress, mesh::MeshArrays* out);

 protected:
  void BuildMesh(int meshIndex, int32_t progress, mesh::MeshArrays& out) const override {
    Build(meshIndex, progress, &out);
  }
};
