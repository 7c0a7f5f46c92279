// The column lines of the picture turn over about its horizontal centre line
// one after another from left to right, carrying the incoming picture on
// their backs.
#pragma once

#include "MeshTransition.h"

class Transition_Twist : public MeshClass<Transition_Twist> {
 public:
  using MeshClass::MeshClass;

  // Share of the progress range one column line's turn takes.
  static constexpr double kTwistSpan = 0.588;

  static const MeshSettings& Settings();
  // Mesh 0 (the outgoing picture) or 1 (the incoming one, on the back of
  // the same surface) at progress.
  static void Build(int meshIndex, int32_t progress, mesh::MeshArrays* out);
  // How far column line 0 .. 20 has turned at progress: 0 flat, 1 a half turn.
  static float Phase(int line, int32_t progress);

 protected:
  double mTwistSpan = kTwistSpan;
};
