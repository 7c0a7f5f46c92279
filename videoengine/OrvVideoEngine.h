// The video engine: summary and stabilisation passes over the user's videos.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "scriptmaker/OrvCancelTask.h"
#include "videoengine/VideoEngine.h"

// Length of a video in microseconds from its frame count and rate; 0 when
// either is unusable, clamped to the 32-bit range.
int64_t ComputeVideoLengthUs(int frameCount, double fps);
// Whole seconds of the plan for one video of length lengthUs out of totalUs.
float ComputeVideoShare(int64_t lengthUs, int64_t totalUs, double summaryLengthSec);
// Length of the video at path in microseconds: the container's frame count
// checked against what actually decodes (truncated files claim more frames
// than they hold); 0 when nothing decodes, at most INT32_MAX.
int64_t MeasureVideoLengthUs(const std::string& path);
// Pass percent over n videos: d done, c percent of the current one.
int ComputePassPercent(int videoCount, int doneCount, int currentPercent);

class OrvVideoEngine : public VideoEngine, public OrvVideoEngineCancelTask {
 public:
  OrvVideoEngine();
  ~OrvVideoEngine() override;

  std::vector<SummarizedVideo>* StartSummaryVideoList(const SummaryPlan* plan) override;
  // False (the list is still handed back through the caller's pointer) when
  // cancelled or given no list.
  bool StartStabilizedVideoList(std::vector<SummarizedVideo>* list) override;
  std::vector<SummarizedVideo>* GetSummarizedVideoList() override { return &mSummarizedVideoList; }
  void ResetCancel() override { OrvVideoEngineCancelTask::ResetCancel(); }
  void Cancel() override { SetCancel(true); }
  int GetSummaryProgress() override;
  int GetStabilizationProgress() override;

  std::vector<SummarizedVideo> mSummarizedVideoList;
  std::atomic<int> mVideoCount{0};
  std::atomic<int> mSummaryDoneCount{0};
  std::atomic<int> mStabilizationDoneCount{0};
  std::atomic<int> mSummaryProgress{0};
  std::atomic<int> mStabilizationProgress{0};

 private:
  void summarizeOne(const std::string& path, float share, double sfLengthSec);
  // False when the pass was cancelled.
  bool stabilizeOne(SummarizedVideo& video);
};
