#include "videoengine/OrvSummarizer.h"

#include <cmath>

#include "api/Log.h"

namespace {

bool In(int v, std::initializer_list<int> set) {
  for (int s : set)
    if (v == s) return true;
  return false;
}

}  // namespace

void ComputeWindowWeights(const std::vector<int32_t>& classes, std::vector<float>& prev,
                          std::vector<float>& next, std::vector<float>& final) {
  const size_t n = classes.size();
  prev.assign(n, 0.0f);
  next.assign(n, 0.0f);
  final.assign(n, 0.0f);
  if (n == 0) return;
  if (n == 1) {
    // No neighbour brings a bonus.
    prev[0] = next[0] = final[0] = 1.0f;
    return;
  }
  for (size_t i = 0; i < n; ++i) {
    const int c = classes[i];
    if (i == 0 || i == n - 1) {
      const int neighbour = (i == 0) ? classes[1] : classes[n - 2];
      prev[i] = 1.0f;
      next[i] = (In(c, {2, 3}) && neighbour == 1) ? 1.2f : 1.0f;
      final[i] = next[i] > prev[i] ? next[i] : prev[i];
      continue;
    }
    const int p = classes[i - 1];
    const int x = classes[i + 1];
    if (c == p && c < 5) {
      prev[i] = 1.0f;
    } else if (c == 4 && In(p, {1, 2, 3})) {
      prev[i] = 0.9f;
    } else if (c == 1 && In(p, {2, 3})) {
      prev[i] = 1.2f;
    } else if (In(c, {1, 3}) && p == 4) {
      prev[i] = 1.1f;
    } else {
      prev[i] = 1.0f;
      next[i] = 1.0f;
      if (c >= 5) {
        final[i] = 1.0f;
        continue;
      }
    }
    if (c == x && c < 5) {
      next[i] = 1.0f;
    } else if (In(c, {1, 2, 3}) && x == 4) {
      next[i] = 1.0f;
    } else if (In(c, {2, 3}) && x == 1) {
      next[i] = 1.2f;
    } else if (c == 4 && In(x, {1, 3})) {
      next[i] = 0.9f;
    } else {
      next[i] = 1.0f;
      prev[i] = 1.0f;
    }
    final[i] = next[i] > prev[i] ? next[i] : prev[i];
  }
}

int ComputeBlockCount(float summaryLengthSec, float sfLengthSec) {
  if (!(summaryLengthSec > 0.0f) || !(sfLengthSec > 0.0f)) return 0;
  const double n = static_cast<double>(summaryLengthSec / sfLengthSec) + 0.9;
  if (!(n < 2147483647.0)) return 0;
  return static_cast<int>(n);
}

int32_t TimestampToFrame(int32_t timestampUs, float fps) {
  return static_cast<int32_t>(
      static_cast<double>((static_cast<float>(timestampUs) / 1000000.0f) * fps) + 0.5);
}

OrvSummarizer::OrvSummarizer() {
  mFrameHandler = new OrvFrameHandler();
  mGCMAnalyzer = new OrvGCMAnalyzer();
}

OrvSummarizer::~OrvSummarizer() {
  // deInit normally releases both; this only covers an owner that did not.
  delete mFrameHandler;
  delete mGCMAnalyzer;
}

void OrvSummarizer::logMissing(const char* tag) {
  WriteFileLog(tag, __LINE__, "ERROR: some of the objects are NOT created. mFrameHandler: %p, mGCMAnalyzer: %p",
               static_cast<void*>(mFrameHandler), static_cast<void*>(mGCMAnalyzer));
}

bool OrvSummarizer::setParameters(const SummarizerParams& params) {
  static const char* kTag = "OrvSummarizer::setParameters";
  ORV_LOG(kTag, "ENTER setParameters");
  if (mFrameHandler == nullptr || mGCMAnalyzer == nullptr) {
    logMissing(kTag);
    return false;
  }
  mParams.summaryLengthSec = params.summaryLengthSec;
  mParams.reserved0 = params.reserved0;
  mParams.reserved1 = params.reserved1;
  mParams.sfLengthSec = params.sfLengthSec;
  mParams.inputFilePath = params.inputFilePath;
  mParams.outputFilePath = params.outputFilePath;

  const float half = mParams.sfLengthSec * 0.5f;
  const float offsetF = half * 1000000.0f;
  const int32_t seekOffset =
      (std::isfinite(offsetF) && offsetF > 0.0f && offsetF < 2147483647.0f) ? static_cast<int32_t>(offsetF) : 0;
  const bool ok = mFrameHandler->setParameters(seekOffset, mParams.inputFilePath, mParams.outputFilePath);
  mFrameHandler->mProgressTarget = mProgressTarget;
  if (!ok) {
    ORV_LOG(kTag, "setParameters of frame handler FAILED");
    return false;
  }
  mParams.width = mFrameHandler->mWidth;
  mParams.height = mFrameHandler->mHeight;
  mParams.fps = static_cast<float>(mFrameHandler->mFps);
  if (mFrameHandler->mFps > 0.0) {
    const double d = static_cast<double>(static_cast<float>(mFrameHandler->mFrameCount) * 1000000.0f) /
                     mFrameHandler->mFps;
    mParams.durationUs = d < 2147483647.0 ? static_cast<int32_t>(d) : INT32_MAX;
  } else {
    mParams.durationUs = 0;
  }
  ORV_LOG(kTag, "summ params, width: %d, height : %d, fps : %f", mParams.width, mParams.height,
          static_cast<double>(mParams.fps));
  ORV_LOG(kTag, "summ params, summaryLengthSec: %f, sfLengthSec : %f", static_cast<double>(mParams.summaryLengthSec),
          static_cast<double>(mParams.sfLengthSec));
  ORV_LOG(kTag, "summ params, inputFilePath: %s", mParams.inputFilePath.c_str());
  ORV_LOG(kTag, "summ params, outputFilePath: %s", mParams.outputFilePath.c_str());
  ORV_LOG(kTag, "summ params, seekOffset: %ld", static_cast<long>(seekOffset));
  mBatchCapacity = 400;
  const float durationSec = static_cast<float>(mParams.durationUs) / 1000000.0f;
  const float minLength = durationSec < mParams.summaryLengthSec ? durationSec : mParams.summaryLengthSec;
  ORV_LOG(kTag, "min summaryLengthSec: %f", static_cast<double>(minLength));
  ORV_LOG(kTag, "EXIT setParameters");
  return true;
}

bool OrvSummarizer::init() {
  static const char* kTag = "OrvSummarizer::init";
  ORV_LOG(kTag, "ENTER init OrvSummarizer");
  if (mFrameHandler == nullptr || mGCMAnalyzer == nullptr) {
    logMissing(kTag);
    return false;
  }
  ORV_LOG(kTag, "EXIT init OrvSummarizer");
  return true;
}

void OrvSummarizer::weightScores() {
  ComputeWindowWeights(mCameraClasses, mPrevWeights, mNextWeights, mFinalWeights);
  for (size_t i = 0; i < mScores.size(); ++i) {
    if (mCameraClasses[i] < 5) mScores[i] *= mFinalWeights[i];
  }
}

bool OrvSummarizer::doSummarization(SummarizedVideo* out) {
  static const char* kTag = "OrvSummarizer::doSummarization";
  ORV_LOG(kTag, "ENTER doSummarization");
  if (mFrameHandler == nullptr || mGCMAnalyzer == nullptr) {
    logMissing(kTag);
    return false;
  }
  mNumWindows = 0;
  mScores.clear();
  mCameraClasses.clear();
  mStartTimestamps.clear();
  mEndTimestamps.clear();

  // Nothing to keep: reading the video would be wasted (and without a
  // super-frame length it would have no grid at all).
  const bool nothingToKeep = !(mParams.summaryLengthSec > 0.0f) || !(mParams.sfLengthSec > 0.0f);
  if (nothingToKeep) {
    ORV_LOG(kTag, "Nothing to summarize, summaryLengthSec: %f, sfLengthSec : %f",
            static_cast<double>(mParams.summaryLengthSec), static_cast<double>(mParams.sfLengthSec));
  } else {
    FrameBatch batch(mBatchCapacity);
    for (;;) {
      const int32_t n = mFrameHandler->readFrames(&batch);
      if (n <= 0) {
        ORV_LOG(kTag, "Reached EOF for summarization.\n");
        break;
      }
      int cls = 0;
      int w = 0;
      for (; w + 5 < batch.count; w += 4) {
        const float score = mGCMAnalyzer->analyzeFrames(batch, w, cls);
        mStartTimestamps.push_back(batch.timestamps[w]);
        mEndTimestamps.push_back(batch.timestamps[w + 4]);
        mScores.push_back(std::isfinite(score) ? score : 0.0f);
        mCameraClasses.push_back(cls);
        ++mNumWindows;
      }
      // Carry the unscored key frames to the front of the batch.
      const int keep = batch.count - w;
      for (int k = 0; k < batch.count; ++k) {
        if (k < keep) {
          batch.frames[k] = batch.frames[k + w];
          batch.timestamps[k] = batch.timestamps[k + w];
        } else {
          batch.frames[k].release();
          batch.timestamps[k] = 0;
        }
      }
      batch.count = keep;
    }
  }

  weightScores();
  for (int i = 0; i < mNumWindows; ++i) {
    SuperFrameCandidate c;
    c.start = mStartTimestamps[i];
    c.end = mEndTimestamps[i];
    c.score = mScores[i];
    c.size = TimestampToFrame(c.end, mParams.fps) - TimestampToFrame(c.start, mParams.fps);
    c.camera = mCameraClasses[i];
    mCandidateQueue.push(c);
  }
  mFrameHandler->seekTo(0);
  const bool r = generateVideoSummary(out);
  while (!mCandidateQueue.empty()) mCandidateQueue.pop();
  ORV_LOG(kTag, "EXIT doSummarization, retStatus: %d", r ? 1 : 0);
  return true;
}

bool OrvSummarizer::generateVideoSummary(SummarizedVideo* out) {
  static const char* kTag = "OrvSummarizer::generateVideoSummary";
  ORV_LOG(kTag, "Enter, generate summary module");
  if (!(mParams.summaryLengthSec > 0.0f)) {
    ORV_LOG(kTag, "Invalid outputVideoLength");
    return false;
  }
  if (!(mParams.sfLengthSec > 0.0f)) {
    ORV_LOG(kTag, "Invalid sfLengthSec: %f", static_cast<double>(mParams.sfLengthSec));
    return false;
  }
  if (mCandidateQueue.empty()) {
    ORV_LOG(kTag, "numSuperFrames is invalid\n");
    return false;
  }
  const int N = ComputeBlockCount(mParams.summaryLengthSec, mParams.sfLengthSec);
  std::priority_queue<SuperFrameCandidate, std::vector<SuperFrameCandidate>, CandidateByStart> chosen;
  int taken = 0;
  while (!mCandidateQueue.empty()) {
    if (taken < N) {
      chosen.push(mCandidateQueue.top());
      ++taken;
    }
    mCandidateQueue.pop();
  }
  while (!chosen.empty()) {
    const SuperFrameCandidate c = chosen.top();
    chosen.pop();
    ORV_LOG(kTag, "start Index : %ld, Sf End Index : %ld, Sf size : %d Interestingness Score is %f, Camera : %d",
            static_cast<long>(c.start), static_cast<long>(c.end), c.size, static_cast<double>(c.score), c.camera);
    SuperFrame sf;
    sf.sfStart = c.start;
    sf.sfEnd = c.end;
    sf.interestingness = c.score;
    sf.sfSize = c.size;
    sf.camera = c.camera;
    if (out) out->blocks.push_back(sf);
  }
  ORV_LOG(kTag, "Leave, generate summary module");
  return true;
}

void OrvSummarizer::deInit() {
  static const char* kTag = "OrvSummarizer::deInit";
  ORV_LOG(kTag, "ENTER deInit");
  if (mFrameHandler) {
    mFrameHandler->deInit();
    delete mFrameHandler;
    mFrameHandler = nullptr;
  }
  if (mGCMAnalyzer) {
    mGCMAnalyzer->deInit();
    delete mGCMAnalyzer;
    mGCMAnalyzer = nullptr;
  }
  ORV_LOG(kTag, "EXIT deInit");
}
