#include "fxcontroller/OrvFXFrameHandler.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>

#include <sys/stat.h>

#include <opencv2/imgproc.hpp>

extern "C" {
#include <libavutil/error.h>
}

#include "api/Log.h"
#include "platform/Platform.h"
#include "themes/SlotInformation.h"

namespace {

// Highest frame rate taken from a file as it stands; anything above is a
// broken header.
constexpr double kMaxPlausibleFps = 1000.0;

OrvFXFrameHandler::FrameSink gFrameSink;

bool IsUsableFps(double fps) { return std::isfinite(fps) && fps > 0.0 && fps <= kMaxPlausibleFps; }

int ClampToInt(double value) {
  if (!(value > std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
  if (!(value < std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
  return static_cast<int>(value);
}

// A folder, device or pipe: never opened as a video.
bool IsNonRegularFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
}

}  // namespace

void OrvFXFrameHandler::SetFrameSink(FrameSink sink) { gFrameSink = std::move(sink); }

OrvFXFrameHandler::OrvFXFrameHandler() {
  ORV_LOG("OrvFXFrameHandler::OrvFXFrameHandler", "[%p] FXFrameHandler created", static_cast<void*>(this));
}

OrvFXFrameHandler::~OrvFXFrameHandler() { deInit(); }

bool OrvFXFrameHandler::setParameters(std::string inputPath, std::string outputPath) {
  static const char* const kTag = "OrvFXFrameHandler::setParameters";
  ORV_LOG(kTag, "[%p] inputFilePath : %s, outputFilePath : %s", static_cast<void*>(this), inputPath.c_str(),
          outputPath.c_str());

  bool inputOk = true;
  if (inputPath.empty()) {
    fps = kDefaultFps;
    width = kDefaultWidth;
    height = kDefaultHeight;
  } else {
    inputOk = openInput(inputPath);
    if (!inputOk && outputPath.empty()) return false;
  }
  if (outputPath.empty()) return inputOk;
  bool outputOk = openOutput(inputPath, outputPath);
  return inputOk && outputOk;
}

bool OrvFXFrameHandler::openInput(const std::string& inputPath) {
  static const char* const kTag = "OrvFXFrameHandler::setParameters";
  if (!IS_EXIST_FILE(inputPath)) ORV_LOG(kTag, "Could not found video file : %s", inputPath.c_str());
  if (IsNonRegularFile(inputPath)) {
    ORV_LOG(kTag, "Input is not a regular file : %s", inputPath.c_str());
    ORV_LOG(kTag, "Failed to open input file\n");
    return false;
  }
  mPastEnd = false;
  mReportedFrameCount = 0;
  frameIndex = 0;

  if (!capture.open(inputPath)) {
    ORV_LOG(kTag, "Failed to open input file\n");
    return false;
  }

  double rate = capture.get(cv::CAP_PROP_FPS);
  if (!IsUsableFps(rate)) {
    ORV_LOG(kTag, "Unusable frame rate %.3f in %s, using %.2f", rate, inputPath.c_str(), kDefaultFps);
    rate = kDefaultFps;
  }
  fps = rate;
  double reported = capture.get(cv::CAP_PROP_FRAME_COUNT);
  mReportedFrameCount = (std::isfinite(reported) && reported > 0.0) ? ClampToInt(reported + 0.5) : 0;

  if (!capture.frameSize().empty()) {
    width = capture.frameSize().width;
    height = capture.frameSize().height;
  } else {
    width = static_cast<int32_t>(capture.get(cv::CAP_PROP_FRAME_WIDTH));
    height = static_cast<int32_t>(capture.get(cv::CAP_PROP_FRAME_HEIGHT));
    mPastEnd = true;
    ORV_LOG(kTag, "No frame decodes in %s", inputPath.c_str());
  }
  return true;
}

bool OrvFXFrameHandler::openOutput(const std::string& inputPath, const std::string& outputPath) {
  static const char* const kTag = "OrvFXFrameHandler::setParameters";
  if (!inputPath.empty() && (inputPath == outputPath || platform::SameFile(inputPath, outputPath))) {
    ORV_LOG(kTag, "Output would overwrite the input video, refused : %s", outputPath.c_str());
    ORV_LOG(kTag, "Failed to open output file: %s\n", outputPath.c_str());
    return false;
  }
  if (IsNonRegularFile(outputPath)) {
    ORV_LOG(kTag, "Output path is not a regular file : %s", outputPath.c_str());
    ORV_LOG(kTag, "Failed to open output file: %s\n", outputPath.c_str());
    return false;
  }
  if (width <= 0 || height <= 0 || !IsUsableFps(fps)) {
    ORV_LOG(kTag, "Reference video size %d x %d at %.3f fps unusable, output at %d x %d, %.2f fps", width, height,
            fps, kDefaultWidth, kDefaultHeight, kDefaultFps);
    width = kDefaultWidth;
    height = kDefaultHeight;
    fps = kDefaultFps;
  }
  mOutputPath = outputPath;
  mWrittenFrames = 0;
  mDroppedFrames = 0;
  mSizeWarned = false;
  mWriteFailLogged = false;
  mLastFrameDirect = false;
  // The writer makes the file anew, once, never through a link planted at
  // the name.
  if (!writer.Open(outputPath, fps, width, height, clipwriter::RequestedThreads())) {
    ORV_LOG(kTag, "Output cannot be written : %s (%s)", outputPath.c_str(), getWriteErrorText().c_str());
    ORV_LOG(kTag, "Failed to open output file: %s\n", outputPath.c_str());
    return false;
  }
  return true;
}

int OrvFXFrameHandler::getWriteErrno() const {
  const int error = writer.Error();
  if (error == 0) return 0;
  // A negated errno; FFmpeg's own codes are tags far below.
  return error > -4096 ? -error : EIO;
}

std::string OrvFXFrameHandler::getWriteErrorText() const {
  if (writer.Error() == 0) return "the frame was refused";
  char text[AV_ERROR_MAX_STRING_SIZE] = {0};
  av_strerror(writer.Error(), text, sizeof(text));
  return text;
}

bool OrvFXFrameHandler::WriteFailed() {
  if (!mWriteFailLogged)
    ORV_LOG("OrvFXFrameHandler::writeFrame", "## Writing %s failed after %lld frames: %s", mOutputPath.c_str(),
            static_cast<long long>(mWrittenFrames), getWriteErrorText().c_str());
  mWriteFailLogged = true;
  return false;
}

int64_t OrvFXFrameHandler::timestampOf(int index) const {
  if (!(fps > 0.0)) return 0;
  double us = static_cast<double>(index) / fps * 1000000.0;
  if (us >= static_cast<double>(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
  return static_cast<int64_t>(us);
}

bool OrvFXFrameHandler::seekTo(int timestamp) {
  static const char* const kTag = "OrvFXFrameHandler::seekTo";
  if (timestamp < 0) {
    ORV_LOG(kTag, "EXIT seekTo, FAILED, timeStamp: %d", timestamp);
    return false;
  }
  int frame = ClampToInt(static_cast<double>(timestamp) * fps / 1000000.0 + 0.5);
  const int64_t known = capture.knownFrameCount();
  bool ok = false;
  bool pastEnd = false;
  if (!capture.isOpened()) {
    ok = false;
  } else if (capture.holds(frame)) {
    ok = true;
  } else if (known >= 0 && frame >= known) {
    pastEnd = true;
  } else if (mReportedFrameCount > 0 && frame >= mReportedFrameCount) {
    // At or after the announced end: checked by decoding it now.
    ok = capture.hold(frame);
    pastEnd = !ok;
  } else {
    // The decoder moves at the next read.
    ok = true;
  }
  mPastEnd = pastEnd;
  frameIndex = frame;
  if (pastEnd) ORV_LOG(kTag, "seekTo past the end, timeStamp: %d, frame %d", timestamp, frame);
  ORV_LOG(kTag, "seekTo, timeStamp: %d, SeekFrameFos : %.2f/%.2f", timestamp, static_cast<double>(frame),
          capture.get(cv::CAP_PROP_FRAME_COUNT));
  return ok && !pastEnd;
}

int OrvFXFrameHandler::readFrame(cv::Mat& frame) {
  static const char* const kTag = "OrvFXFrameHandler::readFrame";
  bool ok = false;
  if (capture.isOpened() && !mPastEnd) {
    // One more try after a failure; a frame it recovers counts as read.
    ok = capture.read(frameIndex, frame) || capture.readNext(frameIndex, frame);
  }
  if (ok) {
    int64_t ts = timestampOf(frameIndex);
    ++frameIndex;
    return static_cast<int>(ts);
  }
  frame.release();
  bool open = capture.isOpened();
  mPastEnd = open;
  ORV_LOG(kTag,
          "VDecoding failed to read, capture open : %d, latest seekPos : %.2f, NumberOfFramesInVideo : %.2f, "
          "pointer : %p",
          open ? 1 : 0, capture.get(cv::CAP_PROP_POS_FRAMES), capture.get(cv::CAP_PROP_FRAME_COUNT),
          static_cast<void*>(this));
  return -1;
}

int OrvFXFrameHandler::getFrameCount() {
  if (!capture.isOpened()) return 0;
  const bool checked = capture.knownFrameCount() >= 0;
  const int64_t count = capture.decodableFrameCount();
  if (!checked && count != mReportedFrameCount) {
    ORV_LOG("OrvFXFrameHandler::getFrameCount", "[%p] %lld frames decode, %d announced", static_cast<void*>(this),
            static_cast<long long>(count), mReportedFrameCount);
  }
  return count > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max() : static_cast<int>(count);
}

bool OrvFXFrameHandler::writeFrame(const cv::Mat& frame) {
  static const char* const kTag = "OrvFXFrameHandler::writeFrame";
  if (!writer.IsOpen()) {
    if (mDroppedFrames++ == 0) ORV_LOG(kTag, "[%p] No open output, frames are dropped", static_cast<void*>(this));
    return false;
  }
  if (frame.empty() || frame.depth() != CV_8U) {
    if (mDroppedFrames++ == 0) ORV_LOG(kTag, "[%p] Empty or non 8-bit frame dropped", static_cast<void*>(this));
    return false;
  }
  const cv::Mat* out = &frame;
  if (frame.channels() != 3) {
    cv::cvtColor(frame, mConvertBuffer, frame.channels() == 4 ? cv::COLOR_BGRA2BGR : cv::COLOR_GRAY2BGR);
    out = &mConvertBuffer;
  }
  if (out->cols != width || out->rows != height) {
    if (!mSizeWarned) {
      ORV_LOG(kTag, "[%p] Frame of %d x %d scaled to the output size %d x %d", static_cast<void*>(this), out->cols,
              out->rows, width, height);
      mSizeWarned = true;
    }
    cv::resize(*out, mScaleBuffer, cv::Size(width, height), 0, 0, cv::INTER_LINEAR);
    out = &mScaleBuffer;
  }
  if (gFrameSink) gFrameSink(*out);
  if (!writer.Write(*out)) return WriteFailed();
  mLastFrameDirect = out == &frame;
  ++mWrittenFrames;
  return true;
}

bool OrvFXFrameHandler::writeRepeatedFrame(const cv::Mat& frame) {
  if (!mLastFrameDirect || !writer.IsOpen() || frame.type() != CV_8UC3 || frame.cols != width || frame.rows != height)
    return writeFrame(frame);
  if (gFrameSink) gFrameSink(frame);
  if (!writer.WriteRepeat()) return WriteFailed();
  ++mWrittenFrames;
  return true;
}

void OrvFXFrameHandler::deInit() {
  static const char* const kTag = "OrvFXFrameHandler::deInit";
  if (deInitDone) return;
  ORV_LOG(kTag, "ENTER deInit OrvFXFrameHandler");
  if (capture.isOpened()) {
    ORV_LOG(kTag, " VideoCapture Released, %p", static_cast<void*>(this));
  }
  capture.release();
  if (writer.IsOpen()) {
    ORV_LOG(kTag, " VideoWriter Released, %p", static_cast<void*>(this));
    ORV_LOG(kTag, "%lld frames written to %s", static_cast<long long>(mWrittenFrames), mOutputPath.c_str());
    if (!writer.Close() && !mWriteFailLogged)
      ORV_LOG(kTag, "## Finishing %s failed: %s", mOutputPath.c_str(), getWriteErrorText().c_str());
  }
  if (mDroppedFrames > 0)
    ORV_LOG(kTag, "%lld frames could not be written to %s", static_cast<long long>(mDroppedFrames),
            mOutputPath.c_str());
  deInitDone = true;
  ORV_LOG(kTag, "EXIT deInit OrvFXFrameHandler");
}
