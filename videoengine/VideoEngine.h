// The video analysis engine as the rest of the library sees it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "scriptmaker/OrvCancelTask.h"
#include "themes/ThemeTypes.h"

struct SuperFrame {
  int32_t sfStart = 0;  // microseconds
  int32_t sfEnd = 0;    // microseconds
  float interestingness = 0.0f;
  int32_t sfSize = 0;   // frames
  int32_t camera = 0;   // camera-motion class 0..10
  // One row-major 3x3 corrective transform per frame.
  std::vector<std::array<float, 9>> transforms;
};

struct SummarizedVideo {
  std::string fileName;
  std::vector<SuperFrame> blocks;
};

class VideoEngine {
 public:
  virtual ~VideoEngine() = default;
  virtual std::vector<SummarizedVideo>* StartSummaryVideoList(const SummaryPlan* plan) = 0;
  virtual bool StartStabilizedVideoList(std::vector<SummarizedVideo>* list) = 0;
  virtual std::vector<SummarizedVideo>* GetSummarizedVideoList() = 0;
  virtual void ResetCancel() = 0;
  virtual void Cancel() = 0;
  virtual int GetSummaryProgress() = 0;
  virtual int GetStabilizationProgress() = 0;
};

// Creates the engine (OrvVideoEngine).
VideoEngine* CreateVideoEngine();
