// The effect table: the one place a transition is declared. A row gives its
// number k (effect codes 3000 + k picture to picture, 4000 + k picture to
// video, 5000 + k video to picture), the stem of the effect maker's three
// members (<Name>I2I, <Name>I2V, <Name>V2I), the class that draws it, and
// what the scene's effect option selects.
//
// Adding a transition: write its class in Transition_<Name>.h/.cpp (a
// ScreenQuadTransition with its fragment shader, or a MeshClass with its
// settings and mesh), include its header below and add its row to the
// table. The effect maker's members, the entity's code maps, the render
// statistics' family, the benchmarks and the tests that walk the table all
// follow from the row.
#pragma once

#include "Transition_Cube.h"
#include "Transition_CurlPaper.h"
#include "Transition_Diagonal.h"
#include "Transition_Doorway.h"
#include "Transition_Fadein.h"
#include "Transition_Mosaic.h"
#include "Transition_Move.h"
#include "Transition_Pendulum.h"
#include "Transition_Pixelate.h"
#include "Transition_Push.h"
#include "Transition_Swap.h"
#include "Transition_Swirl.h"
#include "Transition_Twist.h"
#include "Transition_Zoom.h"
#include "Transition_ZoomIn.h"

#define ORV_TRANSITION_TABLE(X)                                                                          \
  X(0, Diagonal, Transition_Diagonal, "none")                                                            \
  X(1, Zoom, Transition_Zoom, "0: map read as it is; any other value shifts it by 0.7")                  \
  X(2, Move, Transition_Move, "0, 1, 2 and any other value: one of four directions")                     \
  X(3, Pixelate, Transition_Pixelate, "none")                                                            \
  X(4, Fadein, Transition_Fadein, "none")                                                                \
  X(5, Pendulum, Transition_Pendulum, "0: first half of the swing; any other value the second half")     \
  X(6, Swirl, Transition_Swirl, "0: clockwise; any other value anticlockwise")                           \
  X(7, Cube, Transition_Cube, "none")                                                                    \
  X(8, Mosaic, Transition_Mosaic, "none")                                                                \
  X(9, Doorway, Transition_Doorway, "none")                                                              \
  X(10, Push, Transition_Push, "none")                                                                   \
  X(11, ZoomIn, Transition_ZoomIn, "none")                                                               \
  X(12, CurlPaper, Transition_CurlPaper, "none")                                                         \
  X(13, Twist, Transition_Twist, "none")                                                                 \
  X(14, Swap, Transition_Swap, "none")

