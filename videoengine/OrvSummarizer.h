// Summary of one video: scores every window of three key-frame pairs and
// keeps the best ones, in time order, as super-frame blocks.
#pragma once

#include <atomic>
#include <cstdint>
#include <queue>
#include <string>
#include <vector>

#include "videoengine/OrvFrameHandler.h"
#include "videoengine/OrvGCMAnalyzer.h"
#include "videoengine/VideoEngine.h"

struct SummarizerParams {
  int32_t width = 0;
  int32_t height = 0;
  float summaryLengthSec = 0.0f;
  int32_t reserved0 = 0;
  int32_t reserved1 = 0;
  float fps = 0.0f;
  float sfLengthSec = 0.0f;
  int32_t durationUs = 0;
  std::string inputFilePath;
  std::string outputFilePath;
};

struct SuperFrameCandidate {
  int32_t start = 0;
  int32_t end = 0;
  float score = 0.0f;
  int32_t size = 0;
  int32_t camera = 0;
};

struct CandidateByScore {
  bool operator()(const SuperFrameCandidate& a, const SuperFrameCandidate& b) const { return a.score < b.score; }
};
struct CandidateByStart {
  bool operator()(const SuperFrameCandidate& a, const SuperFrameCandidate& b) const { return a.start > b.start; }
};

// Neighbour weights of every window from the windows' camera classes:
// previous side, next side and the final weight.
void ComputeWindowWeights(const std::vector<int32_t>& classes, std::vector<float>& prev,
                          std::vector<float>& next, std::vector<float>& final);
// Number of blocks for a share: (int)(share / sf + 0.9); 0 when either is not positive.
int ComputeBlockCount(float summaryLengthSec, float sfLengthSec);
// Frame number of a timestamp at the given rate, rounded.
int32_t TimestampToFrame(int32_t timestampUs, float fps);

class OrvSummarizer {
 public:
  OrvSummarizer();
  ~OrvSummarizer();

  bool setParameters(const SummarizerParams& params);
  bool init();
  bool doSummarization(SummarizedVideo* out);
  bool generateVideoSummary(SummarizedVideo* out);
  SummarizedVideo getSummarizedVideo() const { return mSummarizedVideo; }
  void deInit();

  OrvFrameHandler* mFrameHandler = nullptr;
  OrvGCMAnalyzer* mGCMAnalyzer = nullptr;
  SummarizerParams mParams;
  SummarizedVideo mSummarizedVideo;
  int32_t mBatchCapacity = 0;
  int32_t mNumWindows = 0;
  std::vector<float> mScores;
  std::vector<int32_t> mCameraClasses;
  std::vector<float> mPrevWeights;
  std::vector<float> mNextWeights;
  std::vector<float> mFinalWeights;
  std::vector<int32_t> mStartTimestamps;
  std::vector<int32_t> mEndTimestamps;
  std::priority_queue<SuperFrameCandidate, std::vector<SuperFrameCandidate>, CandidateByScore> mCandidateQueue;
  std::atomic<int>* mProgressTarget = nullptr;

 private:
  void logMissing(const char* tag);
  void weightScores();
};
