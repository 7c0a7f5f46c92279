// Synthetic test clips for the video engine tests: a textured scene moved
// by a known camera path, stamped with the frame number, written losslessly.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <fstream>
#include <sstream>

#include "api/Log.h"

namespace clips {

// Content placement of one frame: the scene is scaled by `scale` and turned
// by `angleDeg` about the frame centre, then moved by (tx, ty) pixels.
struct Pose {
  double tx = 0.0, ty = 0.0, angleDeg = 0.0, scale = 1.0;
};

// Removes the folders of this test run when the program ends.
struct TempDirs {
  std::vector<std::string> dirs;
  ~TempDirs() {
    std::error_code ec;
    for (const std::string& d : dirs) std::filesystem::remove_all(d, ec);
  }
};
inline TempDirs gTempDirs;

inline std::string TempDir(const std::string& name) {
  std::string dir = "/tmp/reelka_ve_" + std::to_string(::getpid()) + "_" + name;
  if (::mkdir(dir.c_str(), 0755) == 0) gTempDirs.dirs.push_back(dir);
  return dir;
}

// Random shapes on mid-grey: many corners, nothing periodic.
inline cv::Mat MakeTexture(int w, int h, unsigned seed) {
  cv::Mat canvas(h, w, CV_8UC3, cv::Scalar(128, 128, 128));
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> px(0, w - 1), py(0, h - 1), rad(3, 14), col(0, 255);
  const int shapes = w * h / 300;
  for (int i = 0; i < shapes; ++i) {
    cv::Scalar c(col(rng), col(rng), col(rng));
    cv::Point p(px(rng), py(rng));
    if (i % 2) {
      cv::circle(canvas, p, rad(rng), c, cv::FILLED, cv::LINE_AA);
    } else {
      cv::rectangle(canvas, p, p + cv::Point(rad(rng), rad(rng)), c, cv::FILLED);
    }
  }
  return canvas;
}

// Forward map from canvas to frame for a pose.
inline cv::Mat PoseMatrix(const Pose& pose, cv::Size canvas, cv::Size frame) {
  const double a = pose.angleDeg * CV_PI / 180.0;
  const double c = std::cos(a) * pose.scale, s = std::sin(a) * pose.scale;
  const double cx = canvas.width / 2.0, cy = canvas.height / 2.0;
  const double fx = frame.width / 2.0, fy = frame.height / 2.0;
  cv::Mat m = (cv::Mat_<double>(2, 3) << c, -s, fx + pose.tx - (c * cx - s * cy), s, c,
               fy + pose.ty - (s * cx + c * cy));
  return m;
}

inline cv::Mat RenderFrame(const cv::Mat& canvas, const Pose& pose, cv::Size frame) {
  cv::Mat out;
  cv::warpAffine(canvas, out, PoseMatrix(pose, canvas.size(), frame), frame, cv::INTER_LINEAR,
                 cv::BORDER_REFLECT);
  return out;
}

// Twelve 8x8 squares in the top-left corner, one bit each.
inline void StampFrameNumber(cv::Mat& frame, int k) {
  for (int b = 0; b < 12; ++b) {
    const bool on = (k >> b) & 1;
    cv::rectangle(frame, cv::Rect(b * 8, 0, 8, 8), on ? cv::Scalar(255, 255, 255) : cv::Scalar(0, 0, 0),
                  cv::FILLED);
  }
}

// Reads the stamp from a frame of the written size (colour or grey),
// or from a frame scaled from it (scaleX, scaleY).
inline int ReadFrameNumber(const cv::Mat& frame, double scaleX = 1.0, double scaleY = 1.0) {
  cv::Mat gray;
  if (frame.channels() == 3) cv::cvtColor(frame, gray, cv::COLOR_BGR2GRAY);
  else gray = frame;
  int k = 0;
  for (int b = 0; b < 12; ++b) {
    const int x = static_cast<int>((b * 8 + 4) * scaleX), y = static_cast<int>(4 * scaleY);
    if (gray.at<unsigned char>(y, x) > 127) k |= 1 << b;
  }
  return k;
}

// Writes frames 0..count-1 as FFV1 in .avi; false when the writer fails.
inline bool WriteClip(const std::string& path, int count, double fps, cv::Size size,
                      const std::function<cv::Mat(int)>& frameAt, bool stamp = true) {
  cv::VideoWriter writer(path, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('F', 'F', 'V', '1'), fps, size, true);
  if (!writer.isOpened()) return false;
  for (int k = 0; k < count; ++k) {
    cv::Mat f = frameAt(k);
    if (stamp) StampFrameNumber(f, k);
    writer.write(f);
  }
  writer.release();
  return true;
}

// A clip of a scene moved by poseAt(k).
inline bool WritePoseClip(const std::string& path, int count, double fps, cv::Size size,
                          const std::function<Pose(int)>& poseAt, unsigned seed = 7, bool stamp = true) {
  const cv::Mat canvas = MakeTexture(size.width * 3, size.height * 3, seed);
  return WriteClip(
      path, count, fps, size, [&](int k) { return RenderFrame(canvas, poseAt(k), size); }, stamp);
}

// Switches the file log on into a fresh folder for the life of the object
// and reads it back.
class LogCapture {
 public:
  LogCapture() : previousLevel_(gLogLevel.load()) {
    static int counter = 0;
    const std::string root = TempDir("log" + std::to_string(counter++));
    ::mkdir((root + "/Logs").c_str(), 0755);
    ::mkdir((root + "/work").c_str(), 0755);
    std::u16string w;
    for (char c : root + "/work/") w.push_back(static_cast<char16_t>(c));
    InitLog(w);
  }
  ~LogCapture() { gLogLevel = previousLevel_; }
  std::string Text() const {
    std::ifstream in(GetLogFilePath());
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  int Count(const std::string& needle) const {
    const std::string t = Text();
    int n = 0;
    for (size_t p = t.find(needle); p != std::string::npos; p = t.find(needle, p + 1)) ++n;
    return n;
  }

 private:
  int previousLevel_;
};

inline bool HaveFfmpeg() { return std::system("ffmpeg -version > /dev/null 2>&1") == 0; }

inline long FileSize(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

}  // namespace clips
