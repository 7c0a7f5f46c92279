// Helpers of the rendering tests: a temp folder, generated clips, and a
// recording frame sink in front of the encoder.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "fxcontroller/OrvFXFrameHandler.h"

namespace rtest {

inline bool HaveDisplay() {
  const char* display = std::getenv("DISPLAY");
  return display && *display;
}

inline std::string MakeTempDir(const std::string& name) {
  std::string dir = "/tmp/reelka_render_" + std::to_string(::getpid()) + "_" + name + "/";
  ::mkdir(dir.c_str(), 0755);
  return dir;
}

inline void RemoveTempDir(const std::string& dir) {
  std::error_code ignored;
  if (dir.rfind("/tmp/reelka_render_", 0) == 0) std::filesystem::remove_all(dir, ignored);
}

// Solid colour of frame i of a generated clip.
inline cv::Scalar FrameColour(int i) {
  static const cv::Scalar kColours[] = {{0, 0, 255},   {0, 255, 0},   {255, 0, 0},   {0, 255, 255},
                                        {255, 0, 255}, {255, 255, 0}, {40, 90, 200}, {200, 90, 40},
                                        {90, 200, 40}, {128, 128, 128}, {30, 30, 30}, {220, 220, 220}};
  return kColours[i % 12];
}

// Intra-only clip of `frames` solid-colour frames.
inline bool WriteSolidClip(const std::string& path, int frames, int width, int height, double fps) {
  cv::VideoWriter writer(path, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), fps,
                         cv::Size(width, height), true);
  if (!writer.isOpened()) return false;
  for (int i = 0; i < frames; ++i) writer.write(cv::Mat(height, width, CV_8UC3, FrameColour(i)));
  writer.release();
  return true;
}

// Records every frame handed to an encoder while alive.
class RecordingSink {
 public:
  RecordingSink() {
    OrvFXFrameHandler::SetFrameSink([this](const cv::Mat& frame) {
      frames.push_back(frame.clone());
      if (onFrame) onFrame(static_cast<int>(frames.size()));
    });
  }
  ~RecordingSink() { OrvFXFrameHandler::SetFrameSink(nullptr); }
  std::vector<cv::Mat> frames;
  std::function<void(int)> onFrame;
};

inline bool Near(const cv::Vec3b& a, const cv::Scalar& b, int tolerance) {
  for (int c = 0; c < 3; ++c)
    if (std::abs(static_cast<int>(a[c]) - static_cast<int>(b[c])) > tolerance) return false;
  return true;
}

inline std::string Describe(const cv::Vec3b& v) {
  return "(" + std::to_string(v[0]) + "," + std::to_string(v[1]) + "," + std::to_string(v[2]) + ")";
}

// Largest per-channel difference; 1000 when size or type differ.
inline int MaxDiff(const cv::Mat& a, const cv::Mat& b) {
  if (a.size() != b.size() || a.type() != b.type()) return 1000;
  cv::Mat diff;
  cv::absdiff(a, b, diff);
  double maxValue = 0;
  cv::minMaxLoc(diff.reshape(1), nullptr, &maxValue);
  return static_cast<int>(maxValue);
}

}  // namespace rtest
