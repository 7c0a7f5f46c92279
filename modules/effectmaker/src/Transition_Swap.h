// Two cards change places: the outgoing picture turns away about its
// vertical centre line, swings out to the right and sinks back, while the
// incoming picture does the mirror image in reverse.
#pragma once

#include "MeshTransition.h"

class Transition_Swap : public MeshTransition {
 public:
  Transition_Swap(int32_t width, int32_t height, OrvEffectMaker* maker, OrvFXFrameHandler* sink)
      : MeshTransition(width, height, maker, sink, Settings()) {}

  static const MeshSettings& Settings();
  // Mesh 0 (the outgoing picture) or 1 (the incoming one) at progress.
  static void Build(int meshIndex, int32_t progress, mesh::MeshArrays* out);

 protected:
  void BuildMesh(int meshIndex, int32_t progress, mesh::MeshArrays& out) const override {
    Build(meshIndex, progress, &out);
  }
};
