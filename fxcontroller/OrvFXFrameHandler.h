// One video file read frame by frame (seeking by time), and/or one encoded
// 'mp4v' output of the same frame rate and size. Made, cached and freed only
// by OrvVideoHandlerFactory; callers never delete a handler.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include "fxcontroller/ClipWriter.h"
#include "videoengine/VideoReadCore.h"

class OrvFXFrameHandler {
 public:
  // Frame rate used without an input (29.97f widened to double).
  static constexpr double kDefaultFps = static_cast<double>(29.97f);
  static constexpr int kDefaultWidth = 1920;
  static constexpr int kDefaultHeight = 1080;

  OrvFXFrameHandler();
  ~OrvFXFrameHandler();
  OrvFXFrameHandler(const OrvFXFrameHandler&) = delete;
  OrvFXFrameHandler& operator=(const OrvFXFrameHandler&) = delete;

  // Opens the input (when inputPath is not empty) and the 'mp4v' output
  // (when outputPath is not empty). True when every stream asked for is open.
  // Without an input the output is 1920 x 1080 at 29.97 frames per second.
  // The encoder takes REELKA_ENCODER_THREADS slice threads, else one per core.
  bool setParameters(std::string inputPath, std::string outputPath);

  // Positions the input at the frame of the given time (microseconds).
  // False for a negative time (nothing changes), a time past the end (reads
  // then fail), or a position the capture refused.
  bool seekTo(int timestamp);

  // Reads the next frame. Returns its timestamp in microseconds, or -1 with
  // an empty frame when no frame can be read.
  int readFrame(cv::Mat& frame);

  // Hands one BGR frame to the encoder. A frame of another size is scaled to
  // the output size. False (logged) when the output is not open or writing
  // it failed (then every later write fails too).
  bool writeFrame(const cv::Mat& frame);
  // The same frame as the last one written: encoded again without a second
  // colour conversion where the last one went to the encoder as it was.
  bool writeRepeatedFrame(const cv::Mat& frame);

  // Closes what is open, once; closing the output finalises the file.
  void deInit();

  bool isInputOpen() const { return capture.isOpened(); }
  bool isOutputOpen() const { return writer.IsOpen(); }
  // Slice threads of the output's encoder (1 without an output).
  int getEncoderThreads() const { return writer.Threads(); }
  // Open input whose first frame decoded, with a usable size and rate.
  bool isReadable() const {
    return capture.isOpened() && width > 0 && height > 0 && fps > 0.0 && capture.knownFrameCount() != 0;
  }
  double getFps() const { return fps; }
  int getWidth() const { return width; }
  int getHeight() const { return height; }
  // Index of the next frame readFrame delivers.
  int getFrameIndex() const { return frameIndex; }
  // Number of frames that can really be decoded (0 without input). Checked
  // against the file once, so a truncated file does not over-promise.
  int getFrameCount();
  // Frames accepted by the output so far.
  int64_t getWrittenFrameCount() const { return mWrittenFrames; }
  // Why the output could not be opened, written or finished: an errno (EIO
  // for the encoder's own failures), 0 when nothing failed; and its text.
  int getWriteErrno() const;
  std::string getWriteErrorText() const;

  // Process-wide hook that sees every frame handed to any output encoder,
  // exactly as encoded (before compression). Empty by default.
  using FrameSink = std::function<void(const cv::Mat&)>;
  static void SetFrameSink(FrameSink sink);

 private:
  bool openInput(const std::string& inputPath);
  bool openOutput(const std::string& inputPath, const std::string& outputPath);
  int64_t timestampOf(int index) const;
  // Logs the writer's failure once; false.
  bool WriteFailed();

  // The input, read through the decoding core both readers share.
  VideoReadCore capture;
  ClipWriter writer;
  double fps = 0.0;
  int32_t frameIndex = 0;
  int32_t width = 0;
  int32_t height = 0;
  bool deInitDone = false;

  // Set by a seek past the end or a failed read: reads fail until the next
  // seek.
  bool mPastEnd = false;
  int32_t mReportedFrameCount = 0;
  int64_t mWrittenFrames = 0;
  int64_t mDroppedFrames = 0;
  bool mSizeWarned = false;
  bool mWriteFailLogged = false;
  // The last frame reached the encoder unconverted and unscaled.
  bool mLastFrameDirect = false;
  cv::Mat mConvertBuffer;
  cv::Mat mScaleBuffer;
  std::string mOutputPath;
};
