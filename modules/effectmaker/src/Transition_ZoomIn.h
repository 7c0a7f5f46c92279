// The incoming picture comes forward from 375 units behind the frame and
// grows into place while the outgoing picture fades out over it.
#pragma once

#include "MeshTransition.h"

class Transition_ZoomIn : public MeshClass<Transition_ZoomIn> {
 public:
  using MeshClass::MeshClass;

  static const MeshSettings& Settings();
  // Mesh 0 (the outgoing picture) or 1 (the incoming one) at progress.
  static void Build(int meshIndex, int32_t progress, mesh::MeshArrays* out);
};
