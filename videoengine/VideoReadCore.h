// One video file decoded by frame index. Both frame readers (the analysis
// reader and the renderer's) sit on it, so a frame index means the same
// picture in the summary, the stabilisation and the render.
//
// Frame k is the k-th frame the decoder delivers from the start. Short
// forward moves decode on; longer ones seek and check, from the timestamp of
// the frame the seek landed on, that it did not land past the target (some
// streams with B-frames land a whole group late), stepping further back when
// it did. In a file whose frames are not evenly spaced (a phone's variable
// frame rate) a frame's time comes from the container's packet times, so
// seeks go by time and every frame can be reached.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

class VideoReadCore {
 public:
  // Forward moves of at most this many frames decode on instead of seeking:
  // a seek in 1080p H.264 costs about 35 (GOP 30) to 60 (GOP 250) decodes.
  static constexpr int64_t kMaxDecodeAhead = 64;
  // First step back after a seek that landed past its target.
  static constexpr int64_t kFirstStepBack = 16;

  VideoReadCore() = default;
  VideoReadCore(const VideoReadCore&) = delete;
  VideoReadCore& operator=(const VideoReadCore&) = delete;

  // Opens the file and decodes frame 0 (kept for the first read of it).
  // False, with nothing open, for a path that is not a regular file or that
  // the decoder refuses. Never throws.
  bool open(const std::string& path);
  void release();
  bool isOpened() const { return mCapture.isOpened(); }

  // A property as the container states it (0 when closed).
  double get(int propId) const;
  // Size of the decoded frames, taken from frame 0 (it carries the display
  // orientation, which the container's size may not); empty when frame 0
  // does not decode.
  cv::Size frameSize() const { return mFrameSize; }

  // Decodes frame `index`. False, with an empty frame, when it does not
  // decode (past the end, broken stream, closed).
  bool read(int64_t index, cv::Mat& frame);
  // Decodes frame `index` without handing it out (a frame passed over).
  bool skip(int64_t index);
  // Decodes frame `index` and keeps it for the next read of that index.
  bool hold(int64_t index);
  bool holds(int64_t index) const { return mHeldIndex == index && !mHeld.empty(); }
  // One more decode of whatever the stream gives next, taken as frame
  // `index` (a last try after a failed read).
  bool readNext(int64_t index, cv::Mat& frame);

  // Number of frames that really decode when read from the start: the
  // container's count checked once against the file (a truncated file
  // claims more than it holds), else searched for. 0 when closed or when no
  // frame decodes. Once known, frames past it are not read.
  int64_t decodableFrameCount();
  // That count once known, else -1.
  int64_t knownFrameCount() const { return mKnownCount; }

 private:
  // Leaves frame `index` decoded and not yet retrieved.
  bool grabAt(int64_t index);
  bool decodeForward(int64_t index);
  bool seekAndGrab(int64_t index);
  // Index of the frame just decoded, from its timestamp; -1 when unknown.
  int64_t landedIndex();
  // Position to ask the capture for so that it lands on frame `index`: the
  // index itself for evenly spaced frames, else the frame's time in frames
  // of the stated rate (the capture seeks by time).
  double seekPosition(int64_t index) const;
  // Keeps the packet times of a file whose frames are unevenly spaced.
  void readFrameTimes();
  void forgetPosition();

  cv::VideoCapture mCapture;
  std::string mPath;
  double mFps = 0.0;
  double mFirstMsec = 0.0;
  // Time of each frame in order (milliseconds as the capture states them)
  // when the frames are unevenly spaced; empty otherwise.
  std::vector<double> mFrameMsec;
  cv::Size mFrameSize;
  int64_t mNext = -1;     // frame the next decode delivers; -1 unknown
  int64_t mGrabbed = -1;  // frame decoded and not yet retrieved; -1 none
  cv::Mat mHeld;
  int64_t mHeldIndex = -1;
  int64_t mKnownCount = -1;
  bool mLateSeekLogged = false;
};
