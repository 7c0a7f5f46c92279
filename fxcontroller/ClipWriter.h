// The finished clip: MPEG-4 Part 2 video tagged 'mp4v', muxed by the
// container its name picks (AVI for ".avi"), encoded with libavcodec.
// Every setting follows OpenCV 4.6's FFmpeg writer (time base, bit rate,
// key-frame interval, quantiser bounds, pixel format, bicubic colour
// conversion, frame numbering and flush), so that with one encoder thread the
// file is byte for byte what cv::VideoWriter writes for the same frames. More
// threads encode slices of each frame in parallel; the stream then differs,
// the pictures hardly.
#pragma once

#include <cstdint>
#include <string>

#include <opencv2/core.hpp>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwsContext;

namespace clipwriter {

// Time base of a frame rate as OpenCV reduces it: the rate rounded to the
// first power-of-ten denominator within 0.001 (29.97 -> 2997/100).
struct Rate {
  int num = 0;  // frames
  int den = 1;  // per this many seconds
};
Rate ReducedRate(double fps);
// Bit rate handed to the encoder for an even-sized frame at fps.
int64_t BitRate(double fps, int width, int height);
// Slice threads for frames of this height: `requested` when above 0, else
// one per core this process may run on; at most 16 and at most one per
// macroblock row.
int EncoderThreads(int requested, int height);
// Threads asked for by REELKA_ENCODER_THREADS (0 when unset or not a
// positive number).
int RequestedThreads();

}  // namespace clipwriter

class ClipWriter {
 public:
  ClipWriter() = default;
  ~ClipWriter();
  ClipWriter(const ClipWriter&) = delete;
  ClipWriter& operator=(const ClipWriter&) = delete;

  // Opens path for frames of width x height (an odd size loses its last
  // column or row) at fps. threads as clipwriter::EncoderThreads takes it.
  // False, with nothing left open, when the container, the encoder or the
  // file cannot be opened.
  bool Open(const std::string& path, double fps, int width, int height, int threads);
  bool IsOpen() const { return mOpen; }
  int Threads() const { return mThreads; }
  int Width() const { return mWidth; }
  int Height() const { return mHeight; }

  // Encodes one 8-bit BGR frame of at least the open size. False when it
  // cannot be converted, the encoder refused it, or writing the file failed
  // (now or before: the first failure sticks, see Error).
  bool Write(const cv::Mat& bgr);
  // Encodes the last frame again without converting it anew; false when no
  // frame was written yet or writing failed.
  bool WriteRepeat();
  // Drains the encoder, writes the container's index and closes the file.
  // False when any of that, or an earlier write, failed.
  bool Close();
  // The first failure since Open as an AVERROR code (a negated errno for
  // the system's errors), 0 without one; kept after Close.
  int Error() const { return mError; }

 private:
  bool OpenStream(const std::string& path, double fps, int threads);
  bool OpenFile(const std::string& path);
  bool AllocatePictures();
  // Encodes the picture as the next frame, or drains the encoder.
  bool Encode(bool flush);
  // Records the first failure; always false.
  bool Fail(int error);
  void Free();

  AVFormatContext* mFormat = nullptr;
  AVStream* mStream = nullptr;
  AVCodecContext* mCodec = nullptr;
  AVFrame* mPicture = nullptr;  // the YUV picture handed to the encoder
  AVPacket* mPacket = nullptr;
  SwsContext* mConvert = nullptr;
  uint8_t* mPictureData = nullptr;
  uint8_t* mAlignedInput = nullptr;
  size_t mAlignedInputSize = 0;
  int64_t mFrameIndex = 0;
  int mWidth = 0;
  int mHeight = 0;
  int mThreads = 1;
  int mFile = -1;  // the clip's descriptor, made anew, never through a link
  int mError = 0;
  bool mOpen = false;
  bool mHavePicture = false;
};
