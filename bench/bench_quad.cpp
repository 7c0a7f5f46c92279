// Frames per second of every transition of the effect table at 1920 x 1080,
// per direction: picture to picture (draw and read-back), picture to video
// and video to picture (decode, warp, upload, draw and read-back). Frames are
// not encoded. Run under xvfb-run -a.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "EffectTable.h"
#include "OrvEffectMaker.h"
#include "fxcontroller/OrvFXFrameHandler.h"

namespace {

constexpr int kW = 1920;
constexpr int kH = 1080;
constexpr int kFrames = 60;

cv::Mat Picture(unsigned seed) {
  cv::Mat m(kH, kW, CV_8UC3);
  cv::randu(m, cv::Scalar::all(0), cv::Scalar::all(255));
  cv::GaussianBlur(m, m, cv::Size(0, 0), 9.0 + seed);
  return m;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main() {
  const std::string dir = "/tmp/reelka_bench_quad_" + std::to_string(::getpid());
  ::mkdir(dir.c_str(), 0755);
  const std::string clip = dir + "/clip.avi";
  {
    cv::VideoWriter writer(clip, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 30.0,
                           cv::Size(kW, kH), true);
    const cv::Mat frame = Picture(3);
    for (int i = 0; i < kFrames; ++i) writer.write(frame);
  }
  const cv::Mat map(512, 512, CV_8UC3, cv::Scalar::all(140));
  cv::imwrite(dir + "/map_zoom.png", map);

  // Frames are read back but dropped: no encoder in the measurement.
  OrvFXFrameHandler sink;
  sink.setParameters("", "");
  OrvFXFrameHandler reader;
  if (!reader.setParameters(clip, "")) {
    std::printf("could not open the generated clip\n");
    return 1;
  }
  OrvEffectMaker maker(kW, kH, &sink, dir + "/");
  if (!maker.InitOpenGL()) {
    std::printf("no OpenGL context (run under xvfb-run -a)\n");
    return 1;
  }
  OrvEffectMaker::SetInputFrameHandler(&reader);

  const cv::Mat from = Picture(1), to = Picture(2);
  const float option = 1.0f;
  std::printf("transitions at %d x %d, %d frames each, not encoded\n", kW, kH, kFrames);
  std::printf("%-10s %-22s %10s %10s %10s\n", "effect", "class", "I2I fps", "I2V fps", "V2I fps");
  for (const EffectRow& row : EffectTable()) {
    SuperFrame block;
    block.sfStart = 0;
    block.sfSize = kFrames;
    block.transforms.assign(kFrames, {{1.0f, 0.0f, 3.0f, 0.0f, 1.0f, -2.0f, 0.0f, 0.0f, 1.0f}});

    // Every frame of the change is drawn: no hold frames to reuse.
    auto start = std::chrono::steady_clock::now();
    SceneOutcome outcome = (maker.*row.i2i)(&from, &to, kFrames, kFrames + 1, &option);
    const double i2i = outcome.framesWritten / Seconds(start);
    start = std::chrono::steady_clock::now();
    outcome = (maker.*row.i2v)(&block, nullptr, &from, kFrames / 2, &option);
    const double i2v = outcome.framesWritten / Seconds(start);
    start = std::chrono::steady_clock::now();
    outcome = (maker.*row.v2i)(&block, kFrames / 2, nullptr, to, kFrames, kFrames / 2, &option);
    const double v2i = outcome.framesWritten / Seconds(start);
    std::printf("%-10s %-22s %10.1f %10.1f %10.1f\n", row.name, row.className, i2i, i2v, v2i);
  }
  OrvEffectMaker::SetInputFrameHandler(nullptr);
  maker.DeInitOpenGL();
  return 0;
}
