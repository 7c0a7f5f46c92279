// The picture breaks into the grid's 20 x 15 tiles, which turn over one
// after another in a fixed scrambled order, each like a small cube making a
// quarter turn about its vertical axis.
#pragma once

#include "MeshTransition.h"

class Transition_Mosaic : public MeshClass<Transition_Mosaic> {
 public:
  using MeshClass::MeshClass;

  // Share of the progress range one tile's turn takes.
  static constexpr double kTileTurnRatio = 0.07;

  static const MeshSettings& Settings();
  // Mesh 0 (the outgoing picture) or 1 (the incoming one) at progress.
  static void Build(int meshIndex, int32_t progress, mesh::MeshArrays* out);
  // Place of the tile in column c and row r in the turn order (0 .. 299).
  static int TurnOrder(int c, int r) { return (97 * (r * mesh::kColumns + c) + 31) % (mesh::kColumns * mesh::kRows); }

 protected:
  double mTileTurnRatio = kTileTurnRatio;
};
