#include "videoengine/OrvFrameHandler.h"

#include <climits>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "api/Log.h"
#include "platform/Platform.h"
#include "themes/SlotInformation.h"

namespace {

int ToInt(double v) {
  if (!std::isfinite(v) || v <= 0.0) return 0;
  if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
  return static_cast<int>(v);
}

}  // namespace

OrvFrameHandler::OrvFrameHandler() {
  ORV_LOG("OrvFrameHandler::OrvFrameHandler", "Enter Constructor");
  ORV_LOG("OrvFrameHandler::OrvFrameHandler", "Leave Constructor");
}

OrvFrameHandler::~OrvFrameHandler() { deInit(); }

bool OrvFrameHandler::setParameters(int32_t seekOffsetUs, std::string inputPath, std::string outputPath) {
  mSeekOffset = seekOffsetUs;
  if (!inputPath.empty()) {
    if (!IS_EXIST_FILE(inputPath)) {
      ORV_LOG("OrvFrameHandler::setParameters", "Failed to open video file. : %s", inputPath.c_str());
      // A folder, pipe or device is no video (a pipe would block the open).
      if (!platform::IsRegularFile(inputPath) && platform::PathExists(inputPath)) return false;
    }
    if (!mCapture.open(inputPath)) {
      ORV_LOG("OrvFrameHandler::setParameters", "Failed to open input video file : %s\n", inputPath.c_str());
      return false;
    }
  }
  if (mCapture.isOpened()) {
    double fps = mCapture.get(cv::CAP_PROP_FPS);
    mFps = (std::isfinite(fps) && fps > 0.0) ? fps : 0.0;
    mFrameCount = ToInt(mCapture.get(cv::CAP_PROP_FRAME_COUNT));
    mWidth = ToInt(mCapture.get(cv::CAP_PROP_FRAME_WIDTH));
    mHeight = ToInt(mCapture.get(cv::CAP_PROP_FRAME_HEIGHT));
  } else {
    mFps = 0.0;
    mFrameCount = mWidth = mHeight = 0;
  }
  mFourcc = cv::VideoWriter::fourcc('m', 'p', '4', 'v');
  if (!outputPath.empty()) {
    mWriter.open(outputPath, cv::CAP_FFMPEG, mFourcc, mFps, cv::Size(mWidth, mHeight), true);
    if (!mWriter.isOpened()) {
      ORV_LOG("OrvFrameHandler::setParameters", "Failed to open output video file: %s\n", outputPath.c_str());
      return false;
    }
  }
  ResetProgress();
  return true;
}

int32_t OrvFrameHandler::timestampOf(int64_t index) const {
  if (!(mFps > 0.0) || index < 0) return -1;
  double us = static_cast<double>(index) / mFps * 1000000.0;
  if (!(us < 2147483648.0)) return -1;
  return static_cast<int32_t>(us);
}

bool OrvFrameHandler::checkTimestamp(int64_t index) {
  if (timestampOf(index) >= 0) return true;
  if (!mRangeLogged) {
    ORV_LOG("OrvFrameHandler::readFrame",
            "Frame %lld lies beyond the 32-bit microsecond range (fps %.3f); treated as end of stream.",
            static_cast<long long>(index), mFps);
    mRangeLogged = true;
  }
  return false;
}

int OrvFrameHandler::decodableFrameCount() {
  const int64_t n = mCapture.decodableFrameCount();
  return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

int32_t OrvFrameHandler::readFrame(cv::Mat& frame) {
  const bool ok = checkTimestamp(mFrameIndex) && mCapture.read(mFrameIndex, frame);
  if (!ok) {
    frame.release();
    ORV_LOG("OrvFrameHandler::readFrame", "Failed to decode frame.");
    return -1;
  }
  int32_t t = timestampOf(mFrameIndex);
  ++mFrameIndex;
  return t;
}

int32_t OrvFrameHandler::readKeyFrame(cv::Mat* out, bool single) {
  int32_t t = -1;
  cv::Mat frame;
  if (!single) {
    // The dropped frame is only decoded, never converted.
    const bool ok = checkTimestamp(mFrameIndex) && mCapture.skip(mFrameIndex);
    if (!ok) {
      ORV_LOG("OrvFrameHandler::readKeyFrame", "Unable to read frame due to end of stream.");
      return -1;
    }
    t = timestampOf(mFrameIndex);
    ++mFrameIndex;
  }
  const bool ok = checkTimestamp(mFrameIndex) && mCapture.read(mFrameIndex, frame);
  if (!ok) {
    ORV_LOG("OrvFrameHandler::readKeyFrame", "Unable to read frame due to end of stream.");
    return -1;
  }
  t = timestampOf(mFrameIndex);
  ++mFrameIndex;

  // Decided on the decoded frame's size: the container's may differ
  // (rotated or oddly tagged streams).
  cv::Mat scaled;
  if (frame.cols != kKeyFrameWidth || frame.rows != kKeyFrameHeight) {
    cv::resize(frame, scaled, cv::Size(kKeyFrameWidth, kKeyFrameHeight), 0, 0, cv::INTER_LINEAR);
  } else {
    scaled = frame;
  }
  if (scaled.channels() == 3) {
    cv::cvtColor(scaled, *out, cv::COLOR_BGR2GRAY);
  } else if (scaled.channels() == 4) {
    cv::cvtColor(scaled, *out, cv::COLOR_BGRA2GRAY);
  } else {
    scaled.copyTo(*out);
  }
  return t;
}

int32_t OrvFrameHandler::readFrames(FrameBatch* batch) {
  ORV_LOG("OrvFrameHandler::readFrames", "Enter readFrames for extracting key frames");
  if (mReachedEnd) {
    ORV_LOG("OrvFrameHandler::readFrames", "It already reaches the end of files.");
    return -1;
  }
  if (batch == nullptr) return 0;
  int32_t n = 0;
  bool single = true;
  if (batch->count >= batch->capacity) return 0;
  int32_t t = -1;
  for (;;) {
    t = readKeyFrame(&batch->frames[batch->count], single);
    if (t < 0 || batch->frames[batch->count].empty()) break;
    int percent = 0;
    if (mFrameCount > 0) {
      double p = static_cast<double>(mFrameIndex) / static_cast<double>(mFrameCount) * 100.0;
      percent = p > 100.0 ? 100 : static_cast<int>(p);
    }
    SetProgress(percent);
    batch->timestamps[batch->count] = t;
    ++batch->count;
    ++n;
    if (mSeekPosition < 0 || mSeekOffset <= 0) {
      // Without an offset the reading goes on with every second frame and
      // so still comes to the end of the video.
      single = false;
    } else if (n % 2 == 1) {
      single = false;
    } else {
      int64_t next = static_cast<int64_t>(mSeekPosition) + mSeekOffset;
      if (next > INT32_MAX) {
        ORV_LOG("OrvFrameHandler::readFrames", "Seek position beyond the 32-bit microsecond range.");
        t = -1;
        break;
      }
      mSeekPosition = static_cast<int>(next);
      seekTo(mSeekPosition);
      single = true;
    }
    if (batch->count >= batch->capacity) return n;
  }
  int empty = (batch->count < batch->capacity && batch->frames[batch->count].empty()) ? 1 : 0;
  ORV_LOG("OrvFrameHandler::readFrames", "FrameIndex : %d, Empty : %d", t, empty);
  mReachedEnd = true;
  return n;
}

bool OrvFrameHandler::seekTo(int32_t timestampUs) {
  if (timestampUs < 0) {
    ORV_LOG("OrvFrameHandler::seekTo", "Failed to seek, Timestamp : %ld", static_cast<long>(timestampUs));
    return false;
  }
  double f = static_cast<double>(timestampUs) * mFps / 1000000.0 + 0.5;
  mFrameIndex = (f >= static_cast<double>(INT_MAX)) ? INT_MAX : static_cast<int>(f);
  ORV_LOG("OrvFrameHandler::seekTo", "Seek, timeStamp: %ld", static_cast<long>(timestampUs));
  // The decoder moves when the next frame is read: short forward jumps
  // decode on, and seeks without a read cost nothing.
  return mCapture.isOpened();
}

void OrvFrameHandler::deInit() {
  if (mReleased) return;
  ORV_LOG("OrvFrameHandler::deInit", "ENTER deInit");
  mCapture.release();
  mWriter.release();
  mReleased = true;
  ORV_LOG("OrvFrameHandler::deInit", "EXIT deInit");
}
