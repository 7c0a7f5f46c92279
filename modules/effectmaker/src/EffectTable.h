// The effect table at run time: one row per transition of TransitionList.h,
// read by the entity, the effect maker and the tests.
#pragma once

#include <cstdint>
#include <vector>

#include "OrvEffectMaker.h"
#include "RenderStats.h"
#include "TransitionList.h"

// Effect codes of the scenes that are not transitions of the table.
constexpr int32_t kImageHoldCode = 1000;   // one picture held
constexpr int32_t kVideoHoldCode = 1001;   // a video block played under its paper
constexpr int32_t kThreePanelCode = 6001;  // one picture in three panels
// A transition's code is its number k plus the base of the scene's kind.
constexpr int32_t kI2IBase = 3000;
constexpr int32_t kI2VBase = 4000;
constexpr int32_t kV2IBase = 5000;
constexpr int32_t kTransitionCodeEnd = 6000;

struct EffectRow {
  int32_t number;
  const char* name;       // stem of the effect maker's members
  const char* className;  // class that draws it
  const char* options;    // what the scene's effect option selects
  RenderFamily family;    // screen quad or mesh, from the class's base
  OrvEffectMaker::I2IMember i2i;
  OrvEffectMaker::I2VMember i2v;
  OrvEffectMaker::V2IMember v2i;
};

// Every row, by number.
const std::vector<EffectRow>& EffectTable();
// The row of a transition code (3000 + k, 4000 + k, 5000 + k), or null.
const EffectRow* FindEffectRow(int32_t code);
