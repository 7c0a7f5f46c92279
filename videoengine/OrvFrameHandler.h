// Analysis-side video reader: frame index, microsecond timestamps and the
// grey key frames of the summary pass.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include "videoengine/OrvProgressStatus.h"
#include "videoengine/VideoReadCore.h"

// Key frames of the summary pass with their timestamps (microseconds).
struct FrameBatch {
  explicit FrameBatch(int32_t cap = 0)
      : capacity(cap < 0 ? 0 : cap), frames(capacity), timestamps(capacity, 0) {}
  int32_t capacity = 0;
  int32_t count = 0;
  std::vector<cv::Mat> frames;
  std::vector<int32_t> timestamps;
};

// Size of the summary pass's grey key frames.
constexpr int kKeyFrameWidth = 496;
constexpr int kKeyFrameHeight = 240;

class OrvFrameHandler : public OrvVideoEngineProgressStatus {
 public:
  OrvFrameHandler();
  ~OrvFrameHandler() override;

  bool setParameters(int32_t seekOffsetUs, std::string inputPath, std::string outputPath);
  // Next frame as decoded (BGR, native size); its timestamp, or -1.
  int32_t readFrame(cv::Mat& frame);
  // One grey 496x240 key frame, optionally after dropping one frame.
  int32_t readKeyFrame(cv::Mat* out, bool single);
  // Appends key-frame pairs; added count, 0 when full, -1 after the end.
  int32_t readFrames(FrameBatch* batch);
  bool seekTo(int32_t timestampUs);
  void deInit();

  // Timestamp of frame index k in microseconds; -1 when it does not fit
  // the 32-bit range or the rate is unknown.
  int32_t timestampOf(int64_t index) const;
  // Frames that really decode: the container's count checked against the
  // file (a truncated file claims more than it holds). 0 when closed.
  int decodableFrameCount();

  // The input video, read through the decoding core both readers share.
  VideoReadCore mCapture;
  cv::VideoWriter mWriter;
  int mFourcc = 0;
  double mFps = 0.0;
  int mFrameCount = 0;
  int mFrameIndex = 0;
  int mWidth = 0;
  int mHeight = 0;
  int mSeekOffset = 0;
  int mSeekPosition = 0;
  bool mReleased = false;
  bool mReachedEnd = false;

 private:
  bool checkTimestamp(int64_t index);

  bool mRangeLogged = false;
};
