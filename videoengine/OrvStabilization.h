// Stabilisation of a video's super-frame blocks: pair-wise motion of every
// block frame, then one corrective 3x3 transform per frame.
#pragma once

#include <array>
#include <functional>
#include <vector>

#include <opencv2/core.hpp>

#include "scriptmaker/OrvCancelTask.h"
#include "videoengine/OrvFrameHandler.h"
#include "videoengine/OrvProgressStatus.h"
#include "videoengine/VideoEngine.h"

// Working record of one block.
struct MotionFrameRecord {
  bool continuesPrevious = false;
  bool continuesNext = false;
  std::vector<cv::Mat> correctiveTransforms;
  std::vector<cv::Mat> pairwiseMotions;
  std::vector<float> dx, dy, scaleX, scaleY, angle, shear;
  std::vector<float> trajAngle, trajX, trajY, trajScaleX, trajScaleY, trajShear;
  std::vector<bool> badFrames;
};

// Six parameters of an affine motion.
struct AffineParams {
  float dx = 0.0f, dy = 0.0f, scaleX = 1.0f, scaleY = 1.0f, angle = 0.0f, shear = 0.0f;
};

AffineParams DecomposeAffine(const cv::Mat& m);
// Implausible or non-finite motion.
bool IsMotionRejected(const AffineParams& p);
// Jitter matrix of a smoothed parameter set.
cv::Mat BuildJitterMatrix(const AffineParams& p);
// Converts a motion estimated on a work x workH frame to a fullW x fullH
// frame: translation scaled per axis, linear part conjugated by the scaling
// (unchanged when both frames have the same aspect ratio).
void ScaleMotionToFrame(cv::Mat& m, int fullW, int fullH, int workW, int workH);
// Gives every block exactly sfSize transforms: identity for the missing ones.
void EnsureBlockTransforms(SummarizedVideo* video);

class OrvStabilization : public OrvVideoEngineCancelTask, public OrvVideoEngineProgressStatus {
 public:
  OrvStabilization() = default;
  ~OrvStabilization() override = default;

  int ComputePairWiseHomography(SummarizedVideo* video, OrvFrameHandler* reader);
  int MotionStabilization(SummarizedVideo* video, OrvFrameHandler* reader);

  int mSmoothingRadius = 5;
  std::vector<MotionFrameRecord> mMotionRecords;

 private:
  // Sum of a parameter over frames [u, v] of a block via its running sums.
  static float RangeSum(const std::vector<float>& traj, int u, int v);
  bool smoothBlock(size_t i, std::vector<AffineParams>& smoothed);

  // What tracking carries from one frame to the next, across the blocks.
  struct MotionTrack {
    cv::Mat frame, small, gray, prevGray;
    std::vector<cv::Point2f> prevPts, curPts;
    std::vector<unsigned char> status;
    std::vector<float> err;
    int W0 = 0, H0 = 0;  // size of the first frame read
  };
  enum class BlockRead { Complete, Cut, Cancelled };

  // Steps of ComputePairWiseHomography.
  bool PrepareMotionRecords(SummarizedVideo* video);
  BlockRead TrackBlock(SummarizedVideo* video, size_t i, OrvFrameHandler* reader, MotionTrack& track);
  bool TrackFrame(MotionTrack& track, MotionFrameRecord& rec, int j);
  // Steps of MotionStabilization; each is false when cancelled.
  bool DecomposeBlock(SuperFrame& sf, MotionFrameRecord& rec);
  static void AccumulateTrajectories(MotionFrameRecord& rec);
  bool CorrectBlocks(SummarizedVideo* video, OrvFrameHandler* reader,
                     const std::vector<std::vector<AffineParams>>& smoothed);
  bool StoreTransforms(SuperFrame& sf, const MotionFrameRecord& rec);
};
