// The picture breaks into the grid's 20 x 15 tiles, which turn over one
// after another in a fixed scrambled order, each like a small cube making a
// quarter turn about its vertical axis.
#pragma once

#include "MeshTransition.h"

class Transition_Mosaic : public MeshTransition {
 public:
  Transition_Mosaic(int32_t width, int32_t height, OrvEffectMaker* maker, OrvFXFrameHandler* sink)
      : MeshTransition(width, height, maker, sink, Settings()) {}

  // Share of the progress range one tile's turn takes.
  static constexpr double kTileTurnRatio = 0.07;

  static const MeshSettings& Settings();
  static void Build(int meshIndex, int32_t progress, mesh::MeshArrays* out);
  // Place of the tile in column c and row r in the turn order (0 .. 299).
  static int TurnOrder(int c, int r) { return (97 * (r * mesh::kColumns + c) + 31) % (mesh::kColumns * mesh::kRows); }

 protected:
  void BuildMesh(int meshIndex, int32_t progress, mesh::MeshArrays& out) const override {
    Build(meshIndex, progress, &out);
  }

  double mTileTurnRatio = kTileTurnRatio;
};
