// One video file decoded by frame index. Both frame readers (the analysis
// reader and the renderer's) sit on it, so a frame index means the same
// picture in the summary, the stabilisation and the render.
//
// Frame k is the k-th frame the decoder delivers from the start. Short
// forward moves decode on; longer ones seek and check, from the timestamp of
// the frame the seek landed on, that it did not land past the target (some
// streams with B-frames land a whole group late), stepping further back when
// it did.
//
// A file whose frames are not evenly spaced (a phone's variable frame rate,
// a screen recording), or whose rate lies outside what a clip can show, is
// presented as a constant-rate sequence: frame k is the picture on screen at
// k / rate() from the first frame, taken from the packet times (repeated over
// gaps, passed over where frames come faster). Such a file is only ever
// decoded forward from its start, so frame k is one picture however it is
// reached. A file whose times cannot be ordered or leave a gap of minutes is
// read frame by frame at that rate instead. A file whose picture size
// changes is refused; a decoded frame of another size than frame 0 is
// scaled to it.
#pragma once

#include <cstdint>
#include <exception>
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
  // Rates a clip is made at; any other is presented at the fallback rate
  // (29.97f widened to double, the rate of a clip without video).
  static constexpr double kMinShownFps = 15.0;
  static constexpr double kMaxShownFps = 60.0;
  static constexpr double kFallbackFps = static_cast<double>(29.97f);
  // Frames further apart than this are not presented by their times.
  static constexpr double kMaxGapMsec = 60000.0;

  // How frame indices meet the decoded frames.
  enum class Timing {
    kIndexed,  // evenly spaced: frame k is the k-th decoded frame, sought to
    kTimed,    // frame k by time at rate(), decoded forward
    kInOrder,  // frame k is the k-th decoded frame, decoded forward
  };

  VideoReadCore() = default;
  VideoReadCore(const VideoReadCore&) = delete;
  VideoReadCore& operator=(const VideoReadCore&) = delete;

  // Opens the file and decodes frame 0 (kept for the first read of it).
  // False, with nothing open, for a path that is not a regular file, that
  // the decoder refuses or whose picture size changes. Never throws.
  bool open(const std::string& path);
  void release();
  bool isOpened() const { return mCapture.isOpened(); }

  // A property as the container states it (0 when closed); the rate and the
  // frame count are those of the sequence presented (see rate()).
  double get(int propId) const;
  // Rate of the frames as presented: the container's for an evenly spaced
  // file, else its stated rate, or kFallbackFps when that lies outside
  // kMinShownFps..kMaxShownFps.
  double rate() const { return mFps; }
  Timing timing() const { return mTiming; }
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
  // Chooses the timing from the packet times and the stated rate; false
  // for a file whose frames cannot be presented as one sequence.
  bool readFrameTimes();
  void forgetPosition();
  // Called in a handler: memory running short is passed on to the caller's
  // pass (which fails), never taken for the end of the video.
  void rethrowIfOutOfMemory(const std::exception& e);
  // Decoded frame shown as frame `index`; -1 past the end.
  int64_t decodedIndexOf(int64_t index) const;
  // Frames presented when the first `decoded` frames decode.
  int64_t presentedCount(int64_t decoded) const;
  // Frames presented: those that decode once known, else those the packets
  // claim.
  int64_t presentedFrames() const { return mKnownCount >= 0 ? mKnownCount : presentedCount(mPackets); }
  // Leaves decoded frame `d` grabbed, decoding forward (from a fresh open
  // when it lies behind).
  bool grabInOrder(int64_t d);
  // Reads frame `index` of a file not decoded by seeks.
  bool readInOrder(int64_t index, cv::Mat& frame);
  // The picture grabbed, at the size of frame 0.
  bool retrieveScaled(cv::Mat& frame);

  cv::VideoCapture mCapture;
  std::string mPath;
  double mFps = 0.0;
  double mFirstMsec = 0.0;
  Timing mTiming = Timing::kIndexed;
  // Time of each decoded frame in order (milliseconds as the capture states
  // them) when frames are presented by time; empty otherwise.
  std::vector<double> mFrameMsec;
  // Packets of the stream (frames it claims) when decoded forward; frames
  // that really decode, once a read ran out, else -1.
  int64_t mPackets = 0;
  int64_t mDecoded = -1;
  // Last decoded picture handed out forward, kept for its repeats.
  cv::Mat mPicture;
  int64_t mPictureIndex = -1;
  cv::Size mFrameSize;
  int64_t mNext = -1;     // frame the next decode delivers; -1 unknown
  int64_t mGrabbed = -1;  // frame decoded and not yet retrieved; -1 none
  cv::Mat mHeld;
  int64_t mHeldIndex = -1;
  int64_t mKnownCount = -1;
  bool mLateSeekLogged = false;
  bool mSizeChangeLogged = false;
};
