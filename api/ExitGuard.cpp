#include "api/ExitGuard.h"

#include <mutex>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "OrvEffectMaker.h"

namespace {

void UseOpenCVOnce() {
  const cv::Mat picture(64, 64, CV_8UC3, cv::Scalar(40, 80, 120));
  std::vector<uchar> bytes;
  for (const char* kind : {".png", ".jpg"}) {
    if (cv::imencode(kind, picture, bytes)) (void)cv::imdecode(bytes, cv::IMREAD_UNCHANGED);
  }
  cv::Mat converted;
  cv::cvtColor(picture, converted, cv::COLOR_BGR2BGRA);
  cv::parallel_for_(cv::Range(0, 64), [](const cv::Range&) {});
  cv::VideoCapture capture;
  capture.open("", cv::CAP_FFMPEG);
}

}  // namespace

bool UseLibrariesOnce(bool drawing) {
  static std::mutex mutex;
  static bool opencvUsed = false;
  static bool driverUsed = false;
  std::lock_guard<std::mutex> lock(mutex);
  const bool first = !opencvUsed || (drawing && !driverUsed);
  if (!opencvUsed) {
    opencvUsed = true;
    try {
      UseOpenCVOnce();
    } catch (const std::exception&) {
    }
  }
  if (drawing && !driverUsed) {
    driverUsed = true;
    OrvEffectMaker::UseDriverOnce();
  }
  return first;
}
