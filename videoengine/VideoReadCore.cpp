#include "videoengine/VideoReadCore.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <exception>

#include <opencv2/imgproc.hpp>

#include "api/Log.h"
#include "themes/OrvColorUtils.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {

// A frame number needs a rate that a real video can have.
bool IsPlausibleFps(double fps) { return std::isfinite(fps) && fps > 0.0 && fps <= 1000.0; }

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool OpenCapture(cv::VideoCapture& capture, const std::string& path) {
  try {
    return capture.open(path, cv::CAP_FFMPEG) && capture.isOpened();
  } catch (const std::exception&) {
    capture.release();
    return false;
  }
}

// The first video stream's packets as the container gives them, read
// without decoding.
struct StreamTimes {
  // Presentation times in milliseconds from the stream's start, in display
  // order; empty when a packet carries no time or the file does not open.
  std::vector<double> msec;
  // Decoding times never go back (two files joined, a broken muxer).
  bool ordered = true;
  // The rate the stream states (0 when it states none).
  double stated = 0.0;
  // The picture size its headers give changes (two sizes joined).
  bool sizeChanges = false;
};

// Follows the picture size the stream's headers give, without decoding.
class SizeWatch {
 public:
  explicit SizeWatch(const AVCodecParameters* par) : mParser(av_parser_init(par->codec_id)) {
    mContext = mParser != nullptr ? avcodec_alloc_context3(nullptr) : nullptr;
    if (mContext == nullptr || avcodec_parameters_to_context(mContext, par) < 0) return;
    mParser->flags |= PARSER_FLAG_COMPLETE_FRAMES;
  }
  ~SizeWatch() {
    if (mParser != nullptr) av_parser_close(mParser);
    avcodec_free_context(&mContext);
  }
  // False once a packet gives a size other than the first one given.
  bool Same(const AVPacket* packet) {
    if (mContext == nullptr) return true;
    uint8_t* out = nullptr;
    int outSize = 0;
    av_parser_parse2(mParser, mContext, &out, &outSize, packet->data, packet->size, packet->pts, packet->dts,
                     packet->pos);
    if (mParser->width <= 0 || mParser->height <= 0) return true;
    if (mWidth == 0) {
      mWidth = mParser->width;
      mHeight = mParser->height;
    }
    return mParser->width == mWidth && mParser->height == mHeight;
  }

 private:
  AVCodecParserContext* mParser;
  AVCodecContext* mContext = nullptr;
  int mWidth = 0;
  int mHeight = 0;
};

StreamTimes ReadStreamTimes(const std::string& path) {
  StreamTimes result;
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) != 0) return result;
  int stream = -1;
  if (avformat_find_stream_info(format, nullptr) >= 0) {
    for (unsigned i = 0; i < format->nb_streams && stream < 0; ++i)
      if (format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) stream = static_cast<int>(i);
  }
  AVPacket* packet = stream >= 0 ? av_packet_alloc() : nullptr;
  if (packet != nullptr) {
    const AVStream* video = format->streams[stream];
    const double stated = av_q2d(video->r_frame_rate);
    const double average = av_q2d(video->avg_frame_rate);
    if (std::isfinite(stated) && stated > 0.0) result.stated = stated;
    else if (std::isfinite(average) && average > 0.0) result.stated = average;
    const double unitMsec = av_q2d(video->time_base) * 1000.0;
    const int64_t start = video->start_time == AV_NOPTS_VALUE ? 0 : video->start_time;
    bool timed = true;
    int64_t lastDts = AV_NOPTS_VALUE;
    SizeWatch size(video->codecpar);
    while (timed && av_read_frame(format, packet) >= 0) {
      if (packet->stream_index == stream && (packet->flags & AV_PKT_FLAG_DISCARD) == 0) {
        timed = packet->pts != AV_NOPTS_VALUE;
        if (!result.sizeChanges && !size.Same(packet)) result.sizeChanges = true;
        result.msec.push_back(static_cast<double>(packet->pts - start) * unitMsec);
        if (packet->dts != AV_NOPTS_VALUE) {
          if (lastDts != AV_NOPTS_VALUE && packet->dts < lastDts) result.ordered = false;
          lastDts = packet->dts;
        }
      }
      av_packet_unref(packet);
    }
    av_packet_free(&packet);
    if (!timed) result.msec.clear();
  }
  avformat_close_input(&format);
  std::sort(result.msec.begin(), result.msec.end());
  return result;
}

}  // namespace

bool VideoReadCore::open(const std::string& path) {
  release();
  // A folder, device or pipe is never handed to the decoder (a pipe would
  // block it).
  if (!IsRegularFile(path) || !OpenCapture(mCapture, path)) {
    mCapture.release();
    return false;
  }
  mPath = path;
  mFps = mCapture.get(cv::CAP_PROP_FPS);
  mNext = 0;
  cv::Mat first;
  if (read(0, first)) {
    mFirstMsec = mCapture.get(cv::CAP_PROP_POS_MSEC);
    if (!std::isfinite(mFirstMsec)) mFirstMsec = 0.0;
    mFrameSize = first.size();
    mHeld = first;
    mHeldIndex = 0;
    if (!readFrameTimes()) {
      release();
      return false;
    }
    if (mTiming != Timing::kIndexed) {
      mHeld.release();
      mHeldIndex = -1;
      mPicture = first;
      mPictureIndex = 0;
    }
  } else {
    mKnownCount = 0;
  }
  return true;
}

void VideoReadCore::release() {
  mCapture.release();
  mPath.clear();
  mFps = 0.0;
  mFirstMsec = 0.0;
  mTiming = Timing::kIndexed;
  mFrameMsec.clear();
  mPackets = 0;
  mDecoded = -1;
  mPicture.release();
  mPictureIndex = -1;
  mFrameSize = cv::Size();
  mNext = -1;
  mGrabbed = -1;
  mHeld.release();
  mHeldIndex = -1;
  mKnownCount = -1;
  mLateSeekLogged = false;
  mSizeChangeLogged = false;
}

double VideoReadCore::get(int propId) const {
  if (!mCapture.isOpened()) return 0.0;
  if (propId == cv::CAP_PROP_FPS) return mFps;
  if (propId == cv::CAP_PROP_FRAME_COUNT && mTiming != Timing::kIndexed)
    return static_cast<double>(presentedFrames());
  return mCapture.get(propId);
}

void VideoReadCore::forgetPosition() {
  mNext = -1;
  mGrabbed = -1;
}

void VideoReadCore::rethrowIfOutOfMemory(const std::exception& e) {
  if (!OrvColorUtils::IsOutOfMemory(e)) return;
  forgetPosition();
  throw;
}

bool VideoReadCore::decodeForward(int64_t index) {
  while (mNext <= index) {
    if (!mCapture.grab()) {
      forgetPosition();
      return false;
    }
    mGrabbed = mNext++;
  }
  return mGrabbed == index;
}

bool VideoReadCore::readFrameTimes() {
  StreamTimes stream = ReadStreamTimes(mPath);
  if (stream.sizeChanges) {
    ORV_LOG("VideoReadCore::open", "The picture size changes within %s: the video is refused", mPath.c_str());
    return false;
  }
  std::vector<double>& times = stream.msec;
  if (times.empty()) return true;
  const double fps = IsPlausibleFps(mFps) ? mFps : kFallbackFps;
  // Frames the decoder gives before the first one read are none of ours.
  const double slack = 250.0 / fps;
  times.erase(times.begin(), std::lower_bound(times.begin(), times.end(), mFirstMsec - slack));
  if (times.empty()) return true;
  bool even = IsPlausibleFps(mFps) && stream.ordered;
  for (size_t k = 0; k < times.size() && even; ++k)
    even = std::fabs(times[k] - (mFirstMsec + static_cast<double>(k) * 1000.0 / mFps)) <= 2.0 * slack;
  if (even && mFps >= kMinShownFps && mFps <= kMaxShownFps) return true;

  const bool shown = stream.stated >= kMinShownFps && stream.stated <= kMaxShownFps;
  mFps = shown ? stream.stated : kFallbackFps;
  mPackets = static_cast<int64_t>(times.size());
  double gap = 0.0;
  for (size_t k = 1; k < times.size(); ++k) gap = std::max(gap, times[k] - times[k - 1]);
  if (!stream.ordered || gap > kMaxGapMsec) {
    mTiming = Timing::kInOrder;
    if (!stream.ordered)
      ORV_LOG("VideoReadCore::open", "Frame times of %s go back: its frames are read in order at %.3f fps",
              mPath.c_str(), mFps);
    else
      ORV_LOG("VideoReadCore::open", "Frames of %s lie up to %.0f s apart: its frames are read in order at %.3f fps",
              mPath.c_str(), gap / 1000.0, mFps);
    return true;
  }
  mTiming = Timing::kTimed;
  mFrameMsec = std::move(times);
  ORV_LOG("VideoReadCore::open",
          "%s (stated %.3f fps, %lld frames from %.3f to %.3f s) is shown at %.3f fps by its frame times",
          mPath.c_str(), stream.stated, static_cast<long long>(mPackets), mFrameMsec.front() / 1000.0,
          mFrameMsec.back() / 1000.0, mFps);
  return true;
}

int64_t VideoReadCore::presentedCount(int64_t decoded) const {
  if (decoded <= 0) return 0;
  if (mTiming != Timing::kTimed) return decoded;
  const size_t n = std::min(static_cast<size_t>(decoded), mFrameMsec.size());
  // The last frame shows until the next would, or for its own spacing.
  double end = n < mFrameMsec.size() ? mFrameMsec[n] : mFrameMsec[n - 1] + 1000.0 / mFps;
  if (n == mFrameMsec.size() && n > 1 && mFrameMsec[n - 1] > mFrameMsec[n - 2])
    end = mFrameMsec[n - 1] + (mFrameMsec[n - 1] - mFrameMsec[n - 2]);
  const double count = std::floor((end - mFrameMsec.front()) * mFps / 1000.0 + 0.5);
  return count < 1.0 ? 1 : count > 9.0e15 ? int64_t{9000000000000000} : static_cast<int64_t>(count);
}

int64_t VideoReadCore::decodedIndexOf(int64_t index) const {
  if (index < 0) return -1;
  if (mTiming == Timing::kIndexed) return index;
  if (index >= presentedFrames()) return -1;
  if (mTiming == Timing::kInOrder) return index;
  // The last frame at or before the time; a millisecond early counts, as
  // some containers keep times in whole milliseconds.
  const double t = mFrameMsec.front() + static_cast<double>(index) * 1000.0 / mFps + std::min(1.0, 250.0 / mFps);
  return (std::upper_bound(mFrameMsec.begin(), mFrameMsec.end(), t) - mFrameMsec.begin()) - 1;
}

bool VideoReadCore::grabInOrder(int64_t d) {
  if (d < 0 || (mDecoded >= 0 && d >= mDecoded)) return false;
  if (mGrabbed == d) return true;
  if (mNext < 0 || d < mNext) {
    // Behind the decoder: from the start again, never by a seek.
    forgetPosition();
    mCapture.release();
    if (!OpenCapture(mCapture, mPath)) return false;
    mNext = 0;
  }
  while (mNext <= d) {
    if (!mCapture.grab()) {
      if (mDecoded < 0) mDecoded = mNext;
      forgetPosition();
      return false;
    }
    mGrabbed = mNext++;
  }
  return true;
}

bool VideoReadCore::retrieveScaled(cv::Mat& frame) {
  if (!mCapture.retrieve(frame) || frame.empty()) return false;
  if (!mFrameSize.empty() && frame.size() != mFrameSize) {
    if (!mSizeChangeLogged) {
      ORV_LOG("VideoReadCore::read", "Frames of %s change size to %d x %d: scaled to %d x %d", mPath.c_str(),
              frame.cols, frame.rows, mFrameSize.width, mFrameSize.height);
      mSizeChangeLogged = true;
    }
    cv::Mat scaled;
    cv::resize(frame, scaled, mFrameSize, 0, 0, cv::INTER_LINEAR);
    frame = scaled;
  }
  return true;
}

bool VideoReadCore::readInOrder(int64_t index, cv::Mat& frame) {
  const int64_t d = decodedIndexOf(index);
  if (d < 0) return false;
  if (d != mPictureIndex || mPicture.empty()) {
    cv::Mat picture;
    if (!grabInOrder(d) || !retrieveScaled(picture)) return false;
    mPicture = picture;
    mPictureIndex = d;
  }
  // A copy: the picture repeats over gaps, whatever the caller does to it.
  frame = mPicture.clone();
  return true;
}

int64_t VideoReadCore::landedIndex() {
  const double msec = mCapture.get(cv::CAP_PROP_POS_MSEC);
  if (IsPlausibleFps(mFps) && std::isfinite(msec) && msec > 0.0) {
    const double index = std::floor((msec - mFirstMsec) * mFps / 1000.0 + 0.5);
    return index < 0.0 || index > 9.0e15 ? -1 : static_cast<int64_t>(index);
  }
  // A frame without a timestamp: the decoder's own count.
  const double pos = mCapture.get(cv::CAP_PROP_POS_FRAMES);
  return std::isfinite(pos) && pos >= 1.0 && pos < 9.0e15 ? static_cast<int64_t>(pos) - 1 : -1;
}

bool VideoReadCore::seekAndGrab(int64_t index) {
  int64_t back = 0;
  for (;;) {
    const int64_t start = std::max<int64_t>(0, index - back);
    forgetPosition();
    if (!mCapture.set(cv::CAP_PROP_POS_FRAMES, static_cast<double>(start)) || !mCapture.grab()) return false;
    const int64_t landed = landedIndex();
    if (landed < 0 || landed == start) {
      mGrabbed = start;
      mNext = start + 1;
      break;
    }
    if (landed < start) {
      // Stopped short, as in a truncated file whose index promises more:
      // decode on from where it stopped.
      mGrabbed = landed;
      mNext = landed + 1;
      break;
    }
    if (!mLateSeekLogged) {
      ORV_LOG("VideoReadCore::seekAndGrab", "Seeks in %s land late (frame %lld for %lld): they step back and decode on",
              mPath.c_str(), static_cast<long long>(landed), static_cast<long long>(start));
      mLateSeekLogged = true;
    }
    if (start == 0) {
      // Even the start cannot be sought to: decode from a fresh open.
      mCapture.release();
      if (!OpenCapture(mCapture, mPath)) return false;
      mNext = 0;
      break;
    }
    back = back == 0 ? kFirstStepBack : back * 4;
  }
  return decodeForward(index);
}

bool VideoReadCore::grabAt(int64_t index) {
  if (!mCapture.isOpened() || index < 0) return false;
  if (mKnownCount >= 0 && index >= mKnownCount) return false;
  if (mGrabbed == index) return true;
  if (mNext >= 0 && index >= mNext && index - mNext < kMaxDecodeAhead) return decodeForward(index);
  return seekAndGrab(index);
}

bool VideoReadCore::read(int64_t index, cv::Mat& frame) {
  if (holds(index)) {
    frame = mHeld;
    mHeld.release();
    mHeldIndex = -1;
    return true;
  }
  mHeld.release();
  mHeldIndex = -1;
  bool ok = false;
  try {
    if (mTiming != Timing::kIndexed) {
      ok = mCapture.isOpened() && readInOrder(index, frame);
      if (!ok) frame.release();
      return ok;
    }
    ok = grabAt(index) && retrieveScaled(frame);
  } catch (const std::exception& e) {
    rethrowIfOutOfMemory(e);
    ok = false;
  }
  mGrabbed = -1;
  if (!ok) {
    forgetPosition();
    frame.release();
  }
  return ok;
}

bool VideoReadCore::skip(int64_t index) {
  if (holds(index)) {
    mHeld.release();
    mHeldIndex = -1;
    return true;
  }
  bool ok = false;
  try {
    if (mTiming != Timing::kIndexed) {
      // The frame stays grabbed: a repeat of it is read without a new pass.
      const int64_t d = decodedIndexOf(index);
      return mCapture.isOpened() && d >= 0 && (d == mPictureIndex || grabInOrder(d));
    }
    ok = grabAt(index);
  } catch (const std::exception& e) {
    rethrowIfOutOfMemory(e);
    ok = false;
  }
  mGrabbed = -1;
  if (!ok) forgetPosition();
  return ok;
}

bool VideoReadCore::hold(int64_t index) {
  if (holds(index)) return true;
  cv::Mat frame;
  if (!read(index, frame)) return false;
  mHeld = frame;
  mHeldIndex = index;
  return true;
}

bool VideoReadCore::readNext(int64_t index, cv::Mat& frame) {
  bool ok = false;
  // Frames decoded forward have no next but their own.
  if (mCapture.isOpened() && mTiming == Timing::kIndexed && (mKnownCount < 0 || index < mKnownCount)) {
    try {
      ok = mCapture.grab() && mCapture.retrieve(frame) && !frame.empty();
    } catch (const std::exception& e) {
      rethrowIfOutOfMemory(e);
      ok = false;
    }
  }
  mGrabbed = -1;
  mNext = ok ? index + 1 : -1;
  if (!ok) frame.release();
  return ok;
}

int64_t VideoReadCore::decodableFrameCount() {
  if (mKnownCount >= 0) return mKnownCount;
  if (!mCapture.isOpened()) return 0;
  if (mTiming != Timing::kIndexed) {
    // Decoded on to the end once: the packets only claim frames.
    try {
      if (mDecoded < 0) grabInOrder(mPackets);
    } catch (const std::exception& e) {
      rethrowIfOutOfMemory(e);
      forgetPosition();
    }
    mKnownCount = presentedCount(mDecoded >= 0 ? std::min(mDecoded, mPackets) : mPackets);
    return mKnownCount;
  }
  const double claimed = mCapture.get(cv::CAP_PROP_FRAME_COUNT);
  const int64_t reported =
      (std::isfinite(claimed) && claimed >= 1.0 && claimed < 9.0e15) ? static_cast<int64_t>(claimed + 0.5) : 0;
  // Probing moves the decoder, never the frame held from the open.
  cv::Mat held = mHeld;
  const int64_t heldIndex = mHeldIndex;
  int64_t count = 0;
  if (reported > 0 && skip(reported - 1)) {
    count = reported;
  } else {
    // Frame 0 decoded at the open: search for the last frame that decodes.
    int64_t lo = 0;
    int64_t hi = reported > 0 ? reported - 1 : 1;
    if (reported <= 0) {
      while (hi < (int64_t{1} << 40) && skip(hi)) {
        lo = hi;
        hi *= 2;
      }
    }
    while (hi - lo > 1) {
      const int64_t mid = lo + (hi - lo) / 2;
      if (skip(mid)) lo = mid;
      else hi = mid;
    }
    count = lo + 1;
    // Probing past the end can bring out frames that reading on, as
    // playback does, never reaches: read on to the end from well before it.
    int64_t k = std::max<int64_t>(0, count - 1 - 2 * kMaxDecodeAhead);
    if (skip(k)) {
      while (k + 1 < count && skip(k + 1)) ++k;
      count = k + 1;
    }
  }
  mHeld = held;
  mHeldIndex = heldIndex;
  mKnownCount = count;
  return count;
}
