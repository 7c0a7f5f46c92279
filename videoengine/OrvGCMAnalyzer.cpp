#include "videoengine/OrvGCMAnalyzer.h"

#include <cmath>
#include <vector>

#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp>
#include <opencv2/videostab/global_motion.hpp>

#include "api/Log.h"
#include "videoengine/OrvStabilization.h"

namespace {

bool AllFinite(const cv::Mat& m) {
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < 3; ++c)
      if (!std::isfinite(m.at<float>(r, c))) return false;
  return true;
}

}  // namespace

MotionParams OrvGCMAnalyzer::decompose(const cv::Mat& m) {
  const AffineParams a = DecomposeAffine(m);
  MotionParams p;
  p.tx = a.dx;
  p.ty = a.dy;
  p.sx = a.scaleX;
  p.sy = a.scaleY;
  p.angle = a.angle;
  return p;
}

cv::Mat OrvGCMAnalyzer::estimateGlobalMotion(bool& invalid, const cv::Mat& prev, const cv::Mat& next) {
  invalid = false;
  std::vector<cv::Point2f> pts;
  cv::goodFeaturesToTrack(prev, pts, 300, 0.01, 10.0, cv::noArray(), 3, false, 0.04);
  if (pts.empty()) return cv::Mat::eye(3, 3, CV_32F);

  std::vector<cv::Point2f> tracked;
  std::vector<unsigned char> status;
  std::vector<float> err;
  cv::calcOpticalFlowPyrLK(prev, next, pts, tracked, status, err, cv::Size(31, 31), 3,
                           cv::TermCriteria(cv::TermCriteria::COUNT + cv::TermCriteria::EPS, 20, 0.03), 0,
                           0.001);
  size_t unmoved = 0;
  for (size_t k = 0; k < pts.size(); ++k)
    if (tracked[k].x == pts[k].x && tracked[k].y == pts[k].y) ++unmoved;
  if (unmoved == pts.size()) return cv::Mat::eye(3, 3, CV_32F);

  float rmse = 0.0f;
  int inliers = 0;
  cv::Mat m = cv::videostab::estimateGlobalMotionRansac(
      pts, tracked, cv::videostab::MM_SIMILARITY,
      cv::videostab::RansacParams(2, 0.5f, 0.5f, 0.99f), &rmse, &inliers);
  if (!m.empty() && m.type() != CV_32F) m.convertTo(m, CV_32F);
  // Non-finite errors or matrices are as untrustworthy as large ones.
  if (!(rmse <= 2.0f) || inliers < 10 || m.empty() || m.rows < 2 || m.cols < 3 || !AllFinite(m)) {
    invalid = true;
    return cv::Mat::eye(3, 3, CV_32F);
  }
  return m;
}

float OrvGCMAnalyzer::computeZoomScore(float sxA, float syA, float sxB, float syB, int n) {
  auto one = [n](float sx, float sy) -> float {
    if (sx > 1.0f && sy > 1.0f) {
      float e = -((std::fabs(sx - 1.0f) + std::fabs(sy - 1.0f)) * 18.0f / static_cast<float>(n));
      return 2.0f / (1.0f + static_cast<float>(std::exp(static_cast<double>(e))));
    }
    if (sx < 1.0f && sy < 1.0f) {
      float e = -((std::fabs(1.0f - sx) + std::fabs(1.0f - sy)) * 8.0f / static_cast<float>(n));
      return static_cast<float>(std::exp(static_cast<double>(e)));
    }
    return 1.0f;
  };
  return (one(sxA, syA) + one(sxB, syB)) * 0.5f;
}

float OrvGCMAnalyzer::classifyMotionPair(bool invalidA, bool invalidB, int& pairType, const cv::Mat& a,
                                         const cv::Mat& b) {
  if (invalidA || invalidB) {
    pairType = 4;
    return -1.0f;
  }
  const MotionParams A = decompose(a);
  const MotionParams B = decompose(b);

  const float ddx = B.tx - A.tx, ddy = B.ty - A.ty;
  const float dist = static_cast<float>(std::sqrt(static_cast<double>(ddx * ddx + ddy * ddy)));
  const float T = static_cast<float>(std::exp(static_cast<double>(-(dist * 0.04f) / 3.0f)));
  const float Z = computeZoomScore(A.sx, A.sy, B.sx, B.sy, 3);
  const float rot = static_cast<float>(static_cast<double>(std::fabs(B.angle)) / 180.0 * 33.0);
  const float R = 0.5f * static_cast<float>(std::exp(static_cast<double>(rot / -3.0f)));
  const float score = Z * T * R;

  auto gt = [](float v, double k) { return static_cast<double>(v) > k; };
  auto lt = [](float v, double k) { return static_cast<double>(v) < k; };
  if ((gt(A.sx, 1.02) && gt(A.sy, 1.02)) || (gt(B.sx, 1.02) && gt(B.sy, 1.02))) {
    pairType = 3;
  } else if (lt(A.sx, 0.99) || lt(A.sy, 0.99) || lt(B.sx, 0.99) || lt(B.sy, 0.99)) {
    pairType = 4;
  } else if (std::fabs(A.angle) > 1.0f || std::fabs(B.angle) > 1.0f) {
    pairType = 4;
  } else if (std::fabs(A.tx) > 4.0f || std::fabs(B.tx) > 4.0f || std::fabs(A.ty) > 4.0f ||
             std::fabs(B.ty) > 4.0f) {
    pairType = 2;
  } else if ((std::fabs(A.tx) < 5.0f && std::fabs(B.tx) < 5.0f) ||
             (std::fabs(A.ty) < 5.0f && std::fabs(B.ty) < 5.0f)) {
    pairType = 1;
  } else {
    pairType = 4;
  }
  return score;
}

bool OrvGCMAnalyzer::lookupClass(int t0, int t1, int& cls, float& factor) {
  struct Row { int a, b, cls; float factor; };
  static const Row kTable[] = {
      {1, 1, 1, 1.0f}, {2, 2, 2, 1.0f}, {3, 3, 3, 1.0f}, {4, 4, 4, 0.9f}, {1, 2, 5, 0.9f},
      {2, 1, 6, 1.2f}, {1, 3, 7, 1.1f}, {3, 1, 8, 1.2f}, {2, 3, 9, 0.9f}, {3, 2, 10, 0.9f},
  };
  for (const Row& r : kTable) {
    if (r.a == t0 && r.b == t1) {
      cls = r.cls;
      factor = r.factor;
      return true;
    }
  }
  factor = 0.9f;
  return false;
}

float OrvGCMAnalyzer::analyzeFrames(const FrameBatch& batch, int w, int& cameraClass) {
  bool inv[3];
  cv::Mat m[3];
  for (int k = 0; k < 3; ++k)
    m[k] = estimateGlobalMotion(inv[k], batch.frames[w + 2 * k], batch.frames[w + 2 * k + 1]);
  int type0 = 0, type1 = 0;
  const float s0 = classifyMotionPair(inv[0], inv[1], type0, m[0], m[1]);
  const float s1 = classifyMotionPair(inv[1], inv[2], type1, m[1], m[2]);

  float sum = 0.0f;
  int valid = 0, invalid = 0;
  for (float s : {s0, s1}) {
    if (s == -1.0f) {
      ++invalid;
    } else {
      sum += s;
      ++valid;
    }
  }
  int cls = 0;
  float factor = 0.9f;
  if (lookupClass(type0, type1, cls, factor)) cameraClass = cls;
  if (valid == 0) return 0.0f;
  const int extra = invalid - 1 > 0 ? invalid - 1 : 0;
  float score = sum * factor / static_cast<float>(valid) -
                (1.0f - static_cast<float>(std::exp(-0.1 * static_cast<double>(extra))));
  if (!(score >= 0.0f)) score = 0.0f;
  return score;
}

void OrvGCMAnalyzer::deInit() {
  ORV_LOG("OrvGCMAnalyzer::deInit", "ENTER deInit");
  ORV_LOG("OrvGCMAnalyzer::deInit", "EXIT deInit");
}
