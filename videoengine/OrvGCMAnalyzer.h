// Global camera-motion analysis of the summary pass: scores a window of
// three key-frame pairs and names its camera-motion class.
#pragma once

#include <opencv2/core.hpp>

#include "videoengine/OrvFrameHandler.h"

// Parameters of one similarity motion.
struct MotionParams {
  float tx = 0.0f;
  float ty = 0.0f;
  float sx = 1.0f;
  float sy = 1.0f;
  float angle = 0.0f;  // degrees
};

class OrvGCMAnalyzer {
 public:
  // Window score (0 to 1.2); the class is written only for the ten pair
  // combinations that have one.
  float analyzeFrames(const FrameBatch& batch, int w, int& cameraClass);
  cv::Mat estimateGlobalMotion(bool& invalid, const cv::Mat& prev, const cv::Mat& next);
  float classifyMotionPair(bool invalidA, bool invalidB, int& pairType, const cv::Mat& a, const cv::Mat& b);
  float computeZoomScore(float sxA, float syA, float sxB, float syB, int n);
  void deInit();

  static MotionParams decompose(const cv::Mat& m);
  // Class and factor for two pair types; false when the pair has no class.
  static bool lookupClass(int type0, int type1, int& cls, float& factor);
};
