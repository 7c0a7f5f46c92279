#include "videoengine/OrvStabilization.h"

#include <cmath>

#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp>
#include <opencv2/videostab/global_motion.hpp>

#include "api/Log.h"

namespace {

constexpr int kWorkWidth = 320;
constexpr int kWorkHeight = 240;
constexpr int kMaxCorners = 200;

void DetectCorners(const cv::Mat& gray, std::vector<cv::Point2f>& pts) {
  cv::goodFeaturesToTrack(gray, pts, kMaxCorners, 0.01, 10.0, cv::noArray(), 3, false, 0.04);
}

void ToGray(const cv::Mat& src, cv::Mat& gray) {
  if (src.channels() == 3) {
    cv::cvtColor(src, gray, cv::COLOR_BGR2GRAY);
  } else if (src.channels() == 4) {
    cv::cvtColor(src, gray, cv::COLOR_BGRA2GRAY);
  } else {
    src.copyTo(gray);
  }
}

bool FiniteAffine(const cv::Mat& m) {
  if (m.empty() || m.type() != CV_32F || m.rows < 2 || m.cols < 3) return false;
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < 3; ++c)
      if (!std::isfinite(m.at<float>(r, c))) return false;
  return true;
}

std::array<float, 9> IdentityArray() { return {1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f}; }

}  // namespace

AffineParams DecomposeAffine(const cv::Mat& m) {
  AffineParams p;
  const float m00 = m.at<float>(0, 0), m01 = m.at<float>(0, 1), m02 = m.at<float>(0, 2);
  const float m10 = m.at<float>(1, 0), m11 = m.at<float>(1, 1), m12 = m.at<float>(1, 2);
  p.dx = m02;
  p.dy = m12;
  p.scaleX = static_cast<float>(std::sqrt(static_cast<double>(m01 * m01 + m00 * m00)));
  const float d = m11 * m00 - m10 * m01;
  p.scaleY = d / p.scaleX;
  const float a = static_cast<float>(std::atan2(static_cast<double>(m01), static_cast<double>(m00)));
  p.angle = static_cast<float>(static_cast<double>(a * 180.0f) / 3.14159265);
  p.shear = (m11 * m01 + m10 * m00) / d;
  return p;
}

bool IsMotionRejected(const AffineParams& p) {
  if (!std::isfinite(p.dx) || !std::isfinite(p.dy) || !std::isfinite(p.scaleX) || !std::isfinite(p.scaleY) ||
      !std::isfinite(p.angle) || !std::isfinite(p.shear))
    return true;
  if (std::fabs(p.dx) > 150.0f || std::fabs(p.dy) > 150.0f) return true;
  const double sx = std::fabs(static_cast<double>(p.scaleX));
  const double sy = std::fabs(static_cast<double>(p.scaleY));
  if (sx > 1.2 || sx < 0.8 || sy > 1.2 || sy < 0.8) return true;
  return std::fabs(p.angle) > 5.0f;
}

cv::Mat BuildJitterMatrix(const AffineParams& p) {
  const double r = static_cast<double>(p.angle) * 3.14159265 / 180.0;
  const double c = std::cos(r), s = std::sin(r);
  const float sysh = p.scaleY * p.shear;
  cv::Mat J = cv::Mat::eye(3, 3, CV_32F);
  J.at<float>(0, 0) = static_cast<float>(c * p.scaleX);
  J.at<float>(0, 1) = static_cast<float>(s * p.scaleX);
  J.at<float>(0, 2) = p.dx;
  J.at<float>(1, 0) = static_cast<float>(c * sysh - s * p.scaleY);
  J.at<float>(1, 1) = static_cast<float>(s * sysh + c * p.scaleY);
  J.at<float>(1, 2) = p.dy;
  return J;
}

void ScaleMotionToFrame(cv::Mat& m, int fullW, int fullH, int workW, int workH) {
  const float rx = static_cast<float>(fullW) / static_cast<float>(workW);
  const float ry = static_cast<float>(fullH) / static_cast<float>(workH);
  m.at<float>(0, 2) *= rx;
  m.at<float>(1, 2) *= ry;
  if (rx != ry) {
    m.at<float>(0, 1) *= rx / ry;
    m.at<float>(1, 0) *= ry / rx;
  }
}

void EnsureBlockTransforms(SummarizedVideo* video) {
  if (video == nullptr) return;
  for (SuperFrame& sf : video->blocks) {
    if (sf.sfSize < 0) sf.sfSize = 0;
    sf.transforms.resize(static_cast<size_t>(sf.sfSize), IdentityArray());
  }
}

namespace {

// Motion between two frames' tracked corners: a RANSAC affine fit, or the
// identity with bad set when the fit is poor or not finite.
cv::Mat EstimatePairMotion(const std::vector<cv::Point2f>& prevPts, const std::vector<cv::Point2f>& curPts,
                           bool* bad) {
  float rmse = 0.0f;
  int inliers = 0;
  cv::Mat motion = cv::videostab::estimateGlobalMotionRansac(prevPts, curPts, cv::videostab::MM_AFFINE,
                                                             cv::videostab::RansacParams(3, 0.5f, 0.5f, 0.99f),
                                                             &rmse, &inliers);
  if (!motion.empty() && motion.type() != CV_32F) motion.convertTo(motion, CV_32F);
  *bad = !(rmse <= 2.0f) || inliers < 10 || !FiniteAffine(motion);
  return *bad ? cv::Mat::eye(3, 3, CV_32F) : motion;
}

// True when no tracked corner moved (also when none was tracked).
bool AllPointsStill(const std::vector<cv::Point2f>& prevPts, const std::vector<cv::Point2f>& curPts) {
  size_t unmoved = 0;
  for (size_t k = 0; k < curPts.size(); ++k)
    if (curPts[k].x == prevPts[k].x && curPts[k].y == prevPts[k].y) ++unmoved;
  return unmoved == curPts.size();
}

}  // namespace

int OrvStabilization::ComputePairWiseHomography(SummarizedVideo* video, OrvFrameHandler* reader) {
  static const char* kTag = "OrvStabilization::ComputePairWiseHomography";
  WriteFileLog(kTag, 39, "Enter ComputePairWiseHomography");
  if (IsCanceled()) return 0;
  mMotionRecords.clear();
  const size_t n = video ? video->blocks.size() : 0;
  mMotionRecords.resize(n);
  if (reader) reader->seekTo(0);
  if (IsCanceled()) return 0;
  if (!PrepareMotionRecords(video)) return 0;
  if (IsCanceled()) return 0;

  MotionTrack track;
  for (size_t i = 0; i < n; ++i) {
    if (IsCanceled()) return 0;
    SetProgress(static_cast<int>(static_cast<double>(i + 1) / static_cast<double>(n) * 100.0 * 0.7));
    const BlockRead read = TrackBlock(video, i, reader, track);
    if (read == BlockRead::Cancelled) return 0;
    if (read == BlockRead::Cut) break;
  }
  // Blocks after an unreadable frame are not read: they keep their length
  // with still (identity) motions.
  for (size_t i = 0; i < n; ++i) {
    for (cv::Mat& m : mMotionRecords[i].pairwiseMotions)
      if (m.empty()) m = cv::Mat::eye(3, 3, CV_32F);
  }
  SetProgress(70);
  WriteFileLog(kTag, 243, "Leave ComputePairWiseHomography");
  return 0;
}

// Sizes each block's record and notes which blocks meet their neighbours.
bool OrvStabilization::PrepareMotionRecords(SummarizedVideo* video) {
  const size_t n = mMotionRecords.size();
  for (size_t i = 0; i < n; ++i) {
    if (IsCanceled()) return false;
    SuperFrame& sf = video->blocks[i];
    if (sf.sfSize < 0) sf.sfSize = 0;
    MotionFrameRecord& rec = mMotionRecords[i];
    rec.pairwiseMotions.assign(sf.sfSize, cv::Mat());
    rec.correctiveTransforms.assign(sf.sfSize, cv::Mat());
    rec.badFrames.assign(sf.sfSize, false);
    rec.continuesPrevious = i > 0 && sf.sfStart == video->blocks[i - 1].sfEnd;
    rec.continuesNext = i + 1 < n && sf.sfEnd == video->blocks[i + 1].sfStart;
  }
  return true;
}

// Reads block i frame by frame and records each frame's motion from the one
// before. An unreadable frame cuts the block there and ends the reading.
OrvStabilization::BlockRead OrvStabilization::TrackBlock(SummarizedVideo* video, size_t i, OrvFrameHandler* reader,
                                                         MotionTrack& track) {
  static const char* kTag = "OrvStabilization::ComputePairWiseHomography";
  SuperFrame& sf = video->blocks[i];
  MotionFrameRecord& rec = mMotionRecords[i];
  if (reader) reader->seekTo(sf.sfStart);
  for (int j = 0; j < sf.sfSize; ++j) {
    if (IsCanceled()) return BlockRead::Cancelled;
    if (reader) reader->readFrame(track.frame);
    else track.frame.release();
    if (track.frame.empty()) {
      WriteFileLog(kTag, 132, "[%d][%d]Frame is empty.", static_cast<int>(i), j);
      sf.sfSize = j;
      rec.pairwiseMotions.resize(j);
      rec.correctiveTransforms.resize(j);
      rec.badFrames.resize(j);
      // The cut block no longer meets its successor.
      rec.continuesNext = false;
      if (i + 1 < mMotionRecords.size()) mMotionRecords[i + 1].continuesPrevious = false;
      return BlockRead::Cut;
    }
    if (!TrackFrame(track, rec, j)) return BlockRead::Cancelled;
  }
  return BlockRead::Complete;
}

// Frame j of a block (in track.frame): its corners and, unless it starts a
// block afresh, its motion from the frame before. False when cancelled.
bool OrvStabilization::TrackFrame(MotionTrack& t, MotionFrameRecord& rec, int j) {
  if (t.W0 == 0) {
    t.W0 = t.frame.cols;
    t.H0 = t.frame.rows;
  }
  if (IsCanceled()) return false;
  cv::resize(t.frame, t.small, cv::Size(kWorkWidth, kWorkHeight), 0, 0, cv::INTER_LINEAR);
  if (j == 0 && (!rec.continuesPrevious || t.prevGray.empty())) {
    ToGray(t.small, t.prevGray);
    if (IsCanceled()) return false;
    DetectCorners(t.prevGray, t.prevPts);
    rec.pairwiseMotions[0] = cv::Mat::eye(3, 3, CV_32F);
    rec.badFrames[0] = false;
    return true;
  }
  if (IsCanceled()) return false;
  ToGray(t.small, t.gray);
  t.curPts.clear();
  if (!t.prevPts.empty()) {
    if (IsCanceled()) return false;
    cv::calcOpticalFlowPyrLK(t.prevGray, t.gray, t.prevPts, t.curPts, t.status, t.err, cv::Size(31, 31), 3,
                             cv::TermCriteria(cv::TermCriteria::COUNT + cv::TermCriteria::EPS, 20, 0.03), 0, 0.001);
    if (IsCanceled()) return false;
  }
  cv::Mat motion = cv::Mat::eye(3, 3, CV_32F);
  bool bad = false;
  if (!AllPointsStill(t.prevPts, t.curPts)) {
    if (IsCanceled()) return false;
    motion = EstimatePairMotion(t.prevPts, t.curPts, &bad);
  }
  ScaleMotionToFrame(motion, t.W0, t.H0, kWorkWidth, kWorkHeight);
  rec.pairwiseMotions[j] = motion;
  rec.badFrames[j] = bad;
  DetectCorners(t.gray, t.prevPts);
  cv::swap(t.prevGray, t.gray);
  return true;
}

float OrvStabilization::RangeSum(const std::vector<float>& traj, int u, int v) {
  if (v < u) return 0.0f;
  return u > 0 ? traj[v] - traj[u - 1] : traj[v];
}

bool OrvStabilization::smoothBlock(size_t i, std::vector<AffineParams>& smoothed) {
  const MotionFrameRecord& rec = mMotionRecords[i];
  const MotionFrameRecord* prev = (rec.continuesPrevious && i > 0) ? &mMotionRecords[i - 1] : nullptr;
  const MotionFrameRecord* next =
      (rec.continuesNext && i + 1 < mMotionRecords.size()) ? &mMotionRecords[i + 1] : nullptr;
  const int N = static_cast<int>(rec.dx.size());
  const int R = mSmoothingRadius;
  smoothed.assign(N, AffineParams());

  using Field = std::vector<float> MotionFrameRecord::*;
  struct Param { Field value; Field traj; bool scale; float AffineParams::*out; };
  static const Param kParams[] = {
      {&MotionFrameRecord::dx, &MotionFrameRecord::trajX, false, &AffineParams::dx},
      {&MotionFrameRecord::dy, &MotionFrameRecord::trajY, false, &AffineParams::dy},
      {&MotionFrameRecord::scaleX, &MotionFrameRecord::trajScaleX, true, &AffineParams::scaleX},
      {&MotionFrameRecord::scaleY, &MotionFrameRecord::trajScaleY, true, &AffineParams::scaleY},
      {&MotionFrameRecord::angle, &MotionFrameRecord::trajAngle, false, &AffineParams::angle},
      {&MotionFrameRecord::shear, &MotionFrameRecord::trajShear, false, &AffineParams::shear},
  };
  for (int f = 0; f < N; ++f) {
    if (IsCanceled()) return false;
    const int u = f - R < 0 ? 0 : f - R;
    const int v = f + R > N - 1 ? N - 1 : f + R;
    // Neighbour frames the window reaches into, clipped to what exists.
    int fromPrev = 0, fromNext = 0;
    if (prev && f - R < 0) fromPrev = std::min<int>(R - f, static_cast<int>(prev->dx.size()));
    if (next && f + R > N - 1) fromNext = std::min<int>(f + R - N + 1, static_cast<int>(next->dx.size()));
    const float count = static_cast<float>(v - u + 1 + fromPrev + fromNext);
    for (const Param& p : kParams) {
      float sum = RangeSum(rec.*(p.traj), u, v);
      if (fromPrev > 0) {
        const std::vector<float>& pv = prev->*(p.value);
        const int np = static_cast<int>(pv.size());
        for (int k = np - fromPrev; k < np; ++k) sum += pv[k];
      }
      if (fromNext > 0) sum += (next->*(p.traj))[fromNext - 1];
      const float mean = sum / count;
      const float value = (rec.*(p.value))[f];
      smoothed[f].*(p.out) = p.scale ? (value + 1.0f) - mean : value - mean;
    }
  }
  return true;
}

int OrvStabilization::MotionStabilization(SummarizedVideo* video, OrvFrameHandler* reader) {
  static const char* kTag = "OrvStabilization::MotionStabilization";
  WriteFileLog(kTag, 255, "Enter: MotionStabilization");
  if (IsCanceled()) return 0;
  if (reader) reader->seekTo(0);
  const size_t n = video ? video->blocks.size() : 0;
  if (mMotionRecords.size() != n) mMotionRecords.resize(n);

  for (size_t i = 0; i < n; ++i) {
    if (IsCanceled()) return 0;
    if (!DecomposeBlock(video->blocks[i], mMotionRecords[i])) return 0;
  }
  for (size_t i = 0; i < n; ++i) {
    if (IsCanceled()) return 0;
    AccumulateTrajectories(mMotionRecords[i]);
  }
  // Smoothing (from decomposed values only) and accumulation.
  std::vector<std::vector<AffineParams>> smoothed(n);
  for (size_t i = 0; i < n; ++i) {
    if (IsCanceled()) return 0;
    if (!smoothBlock(i, smoothed[i])) return 0;
  }
  if (!CorrectBlocks(video, reader, smoothed)) return 0;
  for (size_t i = 0; i < n; ++i) {
    if (IsCanceled()) return 0;
    if (!StoreTransforms(video->blocks[i], mMotionRecords[i])) return 0;
  }
  if (IsCanceled()) return 0;
  SetProgress(100);
  return 0;
}

// Decomposes every pair-wise motion of a block into its six parameters;
// implausible motions become still and mark their frame bad.
bool OrvStabilization::DecomposeBlock(SuperFrame& sf, MotionFrameRecord& rec) {
  if (sf.sfSize < 0) sf.sfSize = 0;
  const int N = sf.sfSize;
  for (std::vector<float>* v : {&rec.dx, &rec.dy, &rec.scaleX, &rec.scaleY, &rec.angle, &rec.shear, &rec.trajAngle,
                                &rec.trajX, &rec.trajY, &rec.trajScaleX, &rec.trajScaleY, &rec.trajShear})
    v->assign(N, 0.0f);
  rec.correctiveTransforms.assign(N, cv::Mat());
  rec.badFrames.resize(N, false);
  for (int k = 0; k < N; ++k) {
    if (IsCanceled()) return false;
    AffineParams p;
    const bool haveMotion = k < static_cast<int>(rec.pairwiseMotions.size()) &&
                            rec.pairwiseMotions[k].type() == CV_32F && FiniteAffine(rec.pairwiseMotions[k]);
    if (haveMotion) {
      p = DecomposeAffine(rec.pairwiseMotions[k]);
      if (IsMotionRejected(p)) {
        p = AffineParams();
        rec.badFrames[k] = true;
      }
    } else if (k < static_cast<int>(rec.pairwiseMotions.size()) && !rec.pairwiseMotions[k].empty()) {
      rec.badFrames[k] = true;  // unusable matrix
    }
    rec.dx[k] = p.dx;
    rec.dy[k] = p.dy;
    rec.scaleX[k] = p.scaleX;
    rec.scaleY[k] = p.scaleY;
    rec.angle[k] = p.angle;
    rec.shear[k] = p.shear;
  }
  return true;
}

// Running sums of the decomposed values.
void OrvStabilization::AccumulateTrajectories(MotionFrameRecord& rec) {
  const size_t N = rec.dx.size();
  float sx = 0, sy = 0, ssx = 0, ssy = 0, sa = 0, ssh = 0;
  for (size_t k = 0; k < N; ++k) {
    sx += rec.dx[k];
    sy += rec.dy[k];
    ssx += rec.scaleX[k];
    ssy += rec.scaleY[k];
    sa += rec.angle[k];
    ssh += rec.shear[k];
    rec.trajX[k] = sx;
    rec.trajY[k] = sy;
    rec.trajScaleX[k] = ssx;
    rec.trajScaleY[k] = ssy;
    rec.trajAngle[k] = sa;
    rec.trajShear[k] = ssh;
  }
}

// Accumulates each block's jitter and keeps its inverse per frame as the
// corrective transform. False when cancelled.
bool OrvStabilization::CorrectBlocks(SummarizedVideo* video, OrvFrameHandler* reader,
                                     const std::vector<std::vector<AffineParams>>& smoothed) {
  const size_t n = mMotionRecords.size();
  cv::Mat A = cv::Mat::eye(3, 3, CV_32F);
  for (size_t i = 0; i < n; ++i) {
    if (IsCanceled()) return false;
    SetProgress(static_cast<int>(static_cast<double>(i + 1) / static_cast<double>(n) * 100.0 * 0.3 + 70.0 - 1.0));
    if (reader) reader->seekTo(video->blocks[i].sfStart);
    MotionFrameRecord& rec = mMotionRecords[i];
    // A block that continues the one before carries its trajectory over the
    // join: its first frame's motion (from the previous block's last frame)
    // is corrected like any other. Otherwise the block starts afresh.
    const bool carries = rec.continuesPrevious && i > 0 && !mMotionRecords[i - 1].dx.empty();
    if (!carries) A = cv::Mat::eye(3, 3, CV_32F);
    const int N = static_cast<int>(rec.dx.size());
    for (int k = 0; k < N; ++k) {
      if (IsCanceled()) return false;
      if (k >= 1 || carries) {
        cv::Mat J = BuildJitterMatrix(smoothed[i][k]);
        A = J * A;
      }
      if (rec.badFrames[k]) A = cv::Mat::eye(3, 3, CV_32F);
      if (IsCanceled()) return false;
      cv::Mat inv;
      const double ok = cv::invert(A, inv, cv::DECOMP_LU);
      if (ok == 0.0 || !FiniteAffine(inv)) {
        // A degenerate accumulation cannot be undone: restart from it.
        A = cv::Mat::eye(3, 3, CV_32F);
        inv = cv::Mat::eye(3, 3, CV_32F);
      }
      rec.correctiveTransforms[k] = inv;
    }
  }
  return true;
}

// Storage into the block: nine floats per frame, identity where none.
bool OrvStabilization::StoreTransforms(SuperFrame& sf, const MotionFrameRecord& rec) {
  sf.transforms.assign(sf.sfSize, IdentityArray());
  for (int k = 0; k < sf.sfSize && k < static_cast<int>(rec.correctiveTransforms.size()); ++k) {
    if (IsCanceled()) return false;
    const cv::Mat& T = rec.correctiveTransforms[k];
    if (T.empty()) continue;
    for (int e = 0; e < 9; ++e) sf.transforms[k][e] = T.at<float>(e / 3, e % 3);
  }
  return true;
}
