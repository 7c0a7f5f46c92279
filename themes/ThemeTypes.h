// Records a theme produces: its scene list and its summary plan.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "reelka/reelka.h"

struct SummaryPlan {
  double summaryLengthSec = 0.0;  // seconds to keep over all videos
  double sfLengthSec = 0.0;       // seconds per super frame
  std::vector<std::string> videoPaths;
};

// Scene start/end types.
enum ThemeSceneType : int32_t { kSceneImage = 1, kScenePaper = 2, kSceneVideo = 3 };

struct ThemeScene {
  int32_t step = 0;
  int32_t effectCode = 0;
  int32_t startType = 0;
  int32_t startIndex = 0;
  int32_t endType = 0;
  int32_t endIndex = 0;
  float effectOption = 0.0f;
  float durationSec = 0.0f;
};
static_assert(sizeof(ThemeScene) == 32, "ThemeScene is eight 32-bit fields");

using ThemeSequence = std::vector<ThemeScene>;

constexpr int kThemeDesigns = 10;
constexpr int kThemeLayersPerDesign = 12;

// Design table of one layer kind: row d-1 holds design d.
struct ThemeLayerTable {
  LayerContext layers[kThemeDesigns][kThemeLayersPerDesign];
  char codes[kThemeDesigns][kThemeLayersPerDesign];
  int32_t counts[kThemeDesigns];
};
