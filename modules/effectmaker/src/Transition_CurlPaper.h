// A book's page turn: the right half of the outgoing picture lifts from its
// bottom outer corner, curls over the centre line and comes to rest face
// down on the left, its back carrying the incoming picture's left half.
#pragma once

#include "MeshTransition.h"

class Transition_CurlPaper : public MeshClass<Transition_CurlPaper> {
 public:
  using MeshClass::MeshClass;

  // Half the page's thickness in plane units.
  static constexpr float kPaperHalfThickness = 1.0f;

  static const MeshSettings& Settings();
  // Mesh 0: a flat quad over the left half of the outgoing picture, then the
  // page's front face; mesh 1: a flat quad over the right half of the
  // incoming picture, then the page's back face. progress is of 4000.
  static void Build(int meshIndex, int32_t progress, mesh::MeshArrays* out);

 protected:
  float mPaperHalfThickness = kPaperHalfThickness;
};
