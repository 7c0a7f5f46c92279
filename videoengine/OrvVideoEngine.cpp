#include "videoengine/OrvVideoEngine.h"

#include <climits>
#include <cmath>
#include <exception>
#include <memory>

#include <opencv2/core.hpp>

#include "api/Log.h"
#include "videoengine/OrvFrameHandler.h"
#include "videoengine/OrvStabilization.h"
#include "videoengine/OrvSummarizer.h"

VideoEngine* CreateVideoEngine() { return new OrvVideoEngine; }

int64_t ComputeVideoLengthUs(int frameCount, double fps) {
  if (frameCount <= 0 || !(fps > 0.0) || !std::isfinite(fps)) return 0;
  const double us = static_cast<double>(static_cast<float>(frameCount) * 1000000.0f) / fps;
  if (!(us < 9.0e18)) return INT64_MAX;
  return static_cast<int64_t>(us);
}

float ComputeVideoShare(int64_t lengthUs, int64_t totalUs, double summaryLengthSec) {
  if (totalUs <= 0 || lengthUs <= 0 || !(summaryLengthSec > 0.0) || !std::isfinite(summaryLengthSec)) return 0.0f;
  const float q = static_cast<float>(lengthUs) / static_cast<float>(totalUs);
  const double share = static_cast<double>(q) * summaryLengthSec;
  if (!(share < 2147483647.0)) return 0.0f;
  return static_cast<float>(static_cast<int32_t>(share));
}

int ComputePassPercent(int videoCount, int doneCount, int currentPercent) {
  if (videoCount <= 0) return 0;
  const double step = 100.0 / static_cast<double>(videoCount);
  const double p = static_cast<double>(currentPercent) * step / 100.0 + static_cast<double>(doneCount) * step;
  if (p >= 100.0) return 100;
  if (p <= 0.0) return 0;
  return static_cast<int>(p);
}

OrvVideoEngine::OrvVideoEngine() = default;

OrvVideoEngine::~OrvVideoEngine() {
  ORV_LOG("OrvVideoEngine::~OrvVideoEngine", "Enter Destructor.");
  ORV_LOG("OrvVideoEngine::~OrvVideoEngine", "Leave Destructor.");
}

int OrvVideoEngine::GetSummaryProgress() {
  return ComputePassPercent(mVideoCount.load(std::memory_order_relaxed),
                            mSummaryDoneCount.load(std::memory_order_relaxed),
                            mSummaryProgress.load(std::memory_order_relaxed));
}

int OrvVideoEngine::GetStabilizationProgress() {
  return ComputePassPercent(mVideoCount.load(std::memory_order_relaxed),
                            mStabilizationDoneCount.load(std::memory_order_relaxed),
                            mStabilizationProgress.load(std::memory_order_relaxed));
}

int64_t MeasureVideoLengthUs(const std::string& path) {
  static const char* kTag = "OrvVideoEngine::StartSummaryVideoList";
  int64_t length = 0;
  try {
    OrvFrameHandler reader;
    reader.setParameters(0, path, "");
    const int count = reader.mFrameCount;
    const double fps = reader.mFps;
    length = ComputeVideoLengthUs(count, fps);
    if (length > 0) {
      // The container's count is only a claim: a truncated file holds less.
      const int decodable = reader.decodableFrameCount();
      if (decodable < count) {
        ORV_LOG(kTag, "Video reports %d frames but %d decode: %s", count, decodable, path.c_str());
        length = ComputeVideoLengthUs(decodable, fps);
      }
    }
    reader.deInit();
  } catch (const std::exception& e) {
    ORV_LOG(kTag, "Failed to measure video %s: %s", path.c_str(), e.what());
    length = 0;
  }
  if (length <= 0) {
    ORV_LOG(kTag, "Video has no usable frames: %s", path.c_str());
    return 0;
  }
  if (length > INT32_MAX) {
    ORV_LOG(kTag, "Video longer than %d us, only its start is used: %s", INT32_MAX, path.c_str());
    length = INT32_MAX;
  }
  return length;
}

void OrvVideoEngine::summarizeOne(const std::string& path, float share, double sfLengthSec) {
  static const char* kTag = "OrvVideoEngine::StartSummaryVideoList";
  SummarizedVideo result;
  result.fileName = path;
  std::unique_ptr<OrvSummarizer> summarizer;
  try {
    SummarizerParams params;
    params.summaryLengthSec = share;
    params.reserved0 = 1;
    params.sfLengthSec = static_cast<float>(sfLengthSec);
    params.inputFilePath = path;
    summarizer.reset(new OrvSummarizer());
    summarizer->mProgressTarget = &mSummaryProgress;
    summarizer->setParameters(params);
    summarizer->init();
    summarizer->mSummarizedVideo.fileName = path;
    summarizer->mSummarizedVideo.blocks.clear();
    summarizer->doSummarization(&summarizer->mSummarizedVideo);
    result = summarizer->getSummarizedVideo();
  } catch (const std::exception& e) {
    ORV_LOG(kTag, "Summary of %s failed: %s", path.c_str(), e.what());
    result.blocks.clear();
  }
  mSummarizedVideoList.push_back(result);
  if (summarizer) {
    // Keep the percent from dipping between the videos.
    if (summarizer->mFrameHandler) summarizer->mFrameHandler->mProgressTarget = nullptr;
    try {
      summarizer->deInit();
    } catch (const std::exception& e) {
      ORV_LOG(kTag, "deInit failed: %s", e.what());
    }
  }
}

std::vector<SummarizedVideo>* OrvVideoEngine::StartSummaryVideoList(const SummaryPlan* plan) {
  static const char* kTag = "OrvVideoEngine::StartSummaryVideoList";
  mVideoCount = 0;
  mSummaryDoneCount = 0;
  mStabilizationDoneCount = 0;
  mStabilizationProgress = 0;
  mSummarizedVideoList.clear();
  if (plan == nullptr) {
    ORV_LOG(kTag, "No summary plan.");
    return &mSummarizedVideoList;
  }
  const size_t n = plan->videoPaths.size();
  std::vector<int64_t> lengths(n, 0);
  int64_t total = 0;
  for (size_t i = 0; i < n; ++i) {
    lengths[i] = MeasureVideoLengthUs(plan->videoPaths[i]);
    total += lengths[i];
  }
  ORV_LOG(kTag, "=========================");
  ORV_LOG(kTag, "Video Summarization");
  ORV_LOG(kTag, "=========================\n");
  if (!(plan->summaryLengthSec > 0.0) || !(plan->sfLengthSec > 0.0)) {
    ORV_LOG(kTag, "Summary plan keeps nothing: summaryLengthSec %f, sfLengthSec %f", plan->summaryLengthSec,
            plan->sfLengthSec);
  }
  mVideoCount = static_cast<int>(n);
  for (size_t i = 0; i < n; ++i) {
    mSummaryProgress = 0;
    mSummaryDoneCount = static_cast<int>(i);
    const float share = ComputeVideoShare(lengths[i], total, plan->summaryLengthSec);
    summarizeOne(plan->videoPaths[i], share, plan->sfLengthSec);
    mSummaryDoneCount = static_cast<int>(i + 1);
    mSummaryProgress = 0;
  }
  return &mSummarizedVideoList;
}

bool OrvVideoEngine::stabilizeOne(SummarizedVideo& video) {
  static const char* kTag = "OrvVideoEngine::StartStabilizedVideoList";
  std::unique_ptr<OrvFrameHandler> reader;
  std::unique_ptr<OrvStabilization> stabilizer;
  bool cancelled = false;
  try {
    if (IsCanceled()) return false;
    reader.reset(new OrvFrameHandler());
    if (IsCanceled()) return false;
    reader->setParameters(0, video.fileName, "");
    if (IsCanceled()) {
      reader->deInit();
      return false;
    }
    stabilizer.reset(new OrvStabilization());
    stabilizer->mProgressTarget = &mStabilizationProgress;
    if (!IsCanceled()) stabilizer->ComputePairWiseHomography(&video, reader.get());
    if (!IsCanceled()) {
      stabilizer->MotionStabilization(&video, reader.get());
      // The finished percent stays when the stabiliser goes.
      stabilizer->mProgressTarget = nullptr;
    }
    cancelled = IsCanceled();
  } catch (const std::exception& e) {
    ORV_LOG(kTag, "Stabilization of %s failed: %s", video.fileName.c_str(), e.what());
    if (stabilizer) stabilizer->mProgressTarget = nullptr;
    // Whatever was not written stays uncorrected.
    for (SuperFrame& sf : video.blocks) sf.transforms.clear();
  }
  if (reader) reader->deInit();
  EnsureBlockTransforms(&video);
  return !cancelled;
}

bool OrvVideoEngine::StartStabilizedVideoList(std::vector<SummarizedVideo>* list) {
  static const char* kTag = "OrvVideoEngine::StartStabilizedVideoList";
  auto padAll = [list]() {
    if (list)
      for (SummarizedVideo& v : *list) EnsureBlockTransforms(&v);
  };
  if (IsCanceled()) {
    padAll();
    return false;
  }
  mVideoCount = 0;
  mSummaryDoneCount = 0;
  mStabilizationDoneCount = 0;
  mStabilizationProgress = 0;
  if (list == nullptr) return false;
  ORV_LOG(kTag, "=========================");
  ORV_LOG(kTag, "Video Stabilization");
  ORV_LOG(kTag, "=========================\n");
  const size_t n = list->size();
  mVideoCount = static_cast<int>(n);
  for (size_t i = 0; i < n; ++i) {
    mStabilizationProgress = 0;
    mStabilizationDoneCount = static_cast<int>(i);
    if (!stabilizeOne((*list)[i])) {
      ORV_LOG(kTag, "Stabilization cancelled at video %d", static_cast<int>(i));
      padAll();
      return false;
    }
  }
  mStabilizationProgress = 100;
  return true;
}
