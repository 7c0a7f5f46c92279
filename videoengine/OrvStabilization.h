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
};
