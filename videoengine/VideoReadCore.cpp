#include "videoengine/VideoReadCore.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <exception>

#include "api/Log.h"

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

// Presentation times of the first video stream's packets, in milliseconds
// from the stream's start and in display order, read without decoding.
// Empty when the stream's average rate is its stated one (evenly spaced
// frames), a packet carries no time or the file does not open.
std::vector<double> PacketTimesMsec(const std::string& path) {
  std::vector<double> times;
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) != 0) return times;
  int stream = -1;
  if (avformat_find_stream_info(format, nullptr) >= 0) {
    for (unsigned i = 0; i < format->nb_streams && stream < 0; ++i)
      if (format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) stream = static_cast<int>(i);
  }
  if (stream >= 0) {
    const double stated = av_q2d(format->streams[stream]->r_frame_rate);
    const double average = av_q2d(format->streams[stream]->avg_frame_rate);
    if (stated > 0.0 && std::fabs(stated - average) <= 1e-4 * stated) stream = -1;
  }
  AVPacket* packet = stream >= 0 ? av_packet_alloc() : nullptr;
  if (packet != nullptr) {
    const AVStream* video = format->streams[stream];
    const double unitMsec = av_q2d(video->time_base) * 1000.0;
    const int64_t start = video->start_time == AV_NOPTS_VALUE ? 0 : video->start_time;
    bool timed = true;
    while (timed && av_read_frame(format, packet) >= 0) {
      if (packet->stream_index == stream && (packet->flags & AV_PKT_FLAG_DISCARD) == 0) {
        timed = packet->pts != AV_NOPTS_VALUE;
        times.push_back(static_cast<double>(packet->pts - start) * unitMsec);
      }
      av_packet_unref(packet);
    }
    av_packet_free(&packet);
    if (!timed) times.clear();
  }
  avformat_close_input(&format);
  std::sort(times.begin(), times.end());
  return times;
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
    readFrameTimes();
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
  mFrameMsec.clear();
  mFrameSize = cv::Size();
  mNext = -1;
  mGrabbed = -1;
  mHeld.release();
  mHeldIndex = -1;
  mKnownCount = -1;
  mLateSeekLogged = false;
}

double VideoReadCore::get(int propId) const { return mCapture.isOpened() ? mCapture.get(propId) : 0.0; }

void VideoReadCore::forgetPosition() {
  mNext = -1;
  mGrabbed = -1;
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

void VideoReadCore::readFrameTimes() {
  if (!IsPlausibleFps(mFps)) return;
  std::vector<double> times = PacketTimesMsec(mPath);
  // Frames the decoder gives before the first one read are none of ours.
  const double slack = 250.0 / mFps;
  times.erase(times.begin(), std::lower_bound(times.begin(), times.end(), mFirstMsec - slack));
  bool even = true;
  for (size_t k = 0; k < times.size() && even; ++k)
    even = std::fabs(times[k] - (mFirstMsec + static_cast<double>(k) * 1000.0 / mFps)) <= 2.0 * slack;
  if (!even) mFrameMsec = std::move(times);
}

double VideoReadCore::seekPosition(int64_t index) const {
  if (mFrameMsec.empty()) return static_cast<double>(index);
  const size_t k = std::min(static_cast<size_t>(index), mFrameMsec.size() - 1);
  return std::floor(mFrameMsec[k] * mFps / 1000.0);
}

int64_t VideoReadCore::landedIndex() {
  const double msec = mCapture.get(cv::CAP_PROP_POS_MSEC);
  if (!mFrameMsec.empty() && std::isfinite(msec)) {
    // The frame whose time is nearest.
    const auto after = std::lower_bound(mFrameMsec.begin(), mFrameMsec.end(), msec);
    auto nearest = after == mFrameMsec.end() ? after - 1 : after;
    if (after != mFrameMsec.begin() && msec - *(after - 1) < *nearest - msec) nearest = after - 1;
    return nearest - mFrameMsec.begin();
  }
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
    bool grabbed = mCapture.set(cv::CAP_PROP_POS_FRAMES, seekPosition(start)) && mCapture.grab();
    // With unevenly spaced frames the capture counts on from where its seek
    // by time landed and may run past the end, where it gives frames without
    // a time: an earlier start reaches the frame.
    if (!mFrameMsec.empty() && grabbed && start > 0) grabbed = mCapture.get(cv::CAP_PROP_POS_MSEC) > 0.0;
    if (!grabbed && mFrameMsec.empty()) return false;
    const int64_t landed = grabbed ? landedIndex() : -1;
    if (grabbed && (landed < 0 || landed == start)) {
      mGrabbed = start;
      mNext = start + 1;
      break;
    }
    if (grabbed && landed < start) {
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
  // Every frame has a packet.
  if (!mFrameMsec.empty() && index >= static_cast<int64_t>(mFrameMsec.size())) return false;
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
    ok = grabAt(index) && mCapture.retrieve(frame) && !frame.empty();
  } catch (const std::exception&) {
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
    ok = grabAt(index);
  } catch (const std::exception&) {
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
  if (mCapture.isOpened() && (mKnownCount < 0 || index < mKnownCount)) {
    try {
      ok = mCapture.grab() && mCapture.retrieve(frame) && !frame.empty();
    } catch (const std::exception&) {
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
