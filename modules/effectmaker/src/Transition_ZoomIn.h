// The incoming picture comes forward from 375 units behind the frame and
// grows into place while the outgoing picture fades out over it.
#pragma once

#include "MeshTransition.h"

class Transition_ZoomIn : public MeshTransition {
 public:
  Transition_ZoomIn(int32_t width, int32_t height, OrvEffectMaker* maker, OrvFXFrameHandler* sink)
      : MeshTransition(width, height, maker, sink, Settings()) {}

  static const MeshSettings& Settings();
  // Mesh 0 (the outgoing picture) or 1 (the incoming one) at progress.
  static void Build(int meshIndex, int32_t progress, mesh::MeshArrays* out);

 protected:
  void BuildMesh(int meshIndex, int32_t progress, mesh::MeshArrays& out) const override {
    Build(meshIndex, progress, &out);
  }
};
