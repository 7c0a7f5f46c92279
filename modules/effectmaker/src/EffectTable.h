// The effect table at run time: one row per transition of TransitionList.h,
// read by the entity, the effect maker and the tests.
#pragma once

#include <cstdint>
#include <vector>

#include "OrvEffectMaker.h"
#include "TransitionList.h"

struct EffectRow {
  int32_t number;
  const char* name;       // stem of the effect maker's members
  const char* className;  // class that draws it
  const char* options;    // what the scene's effect option selects
  bool built;
  OrvEffectMaker::I2IMember i2i;
  OrvEffectMaker::I2VMember i2v;
  OrvEffectMaker::V2IMember v2i;
};

// Every row, by number.
const std::vector<EffectRow>& EffectTable();
// The row of a transition code (3000 + k, 4000 + k, 5000 + k), or null.
const EffectRow* FindEffectRow(int32_t code);
