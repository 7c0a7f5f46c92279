// Frames per second of the seven quad transitions at 1920 x 1080: picture to
// picture (draw and read-back), and picture to video (decode, warp, upload,
// draw and read-back). Run under xvfb-run -a.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "OrvEffectMaker.h"
#include "fxcontroller/OrvFXFrameHandler.h"

namespace {

constexpr int kW = 1920;
constexpr int kH = 1080;
constexpr int kFrames = 60;

using I2IMember = bool (OrvEffectMaker::*)(const cv::Mat*, const cv::Mat*, int32_t, int32_t, const float*);
using I2VMember = bool (OrvEffectMaker::*)(SuperFrame*, const cv::Mat*, const cv::Mat*, int32_t, const float*);

struct Entry {
  const char* name;
  I2IMember i2i;
  I2VMember i2v;
};

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

  const Entry entries[] = {
      {"Diagonal", &OrvEffectMaker::DiagonalI2I, &OrvEffectMaker::DiagonalI2V},
      {"Zoom", &OrvEffectMaker::ZoomI2I, &OrvEffectMaker::ZoomI2V},
      {"Move", &OrvEffectMaker::MoveI2I, &OrvEffectMaker::MoveI2V},
      {"Pixelate", &OrvEffectMaker::PixelateI2I, &OrvEffectMaker::PixelateI2V},
      {"Fadein", &OrvEffectMaker::FadeinI2I, &OrvEffectMaker::FadeinI2V},
      {"Pendulum", &OrvEffectMaker::PendulumI2I, &OrvEffectMaker::PendulumI2V},
      {"Swirl", &OrvEffectMaker::SwirlI2I, &OrvEffectMaker::SwirlI2V},
  };
  const cv::Mat from = Picture(1), to = Picture(2);
  const float option = 1.0f;
  std::printf("quad transitions at %d x %d, %d frames each\n", kW, kH, kFrames);
  std::printf("%-10s %14s %14s\n", "class", "I2I fps", "I2V fps");
  for (const Entry& e : entries) {
    auto start = std::chrono::steady_clock::now();
    (maker.*e.i2i)(&from, &to, kFrames, kFrames, &option);
    const double i2i = kFrames / Seconds(start);

    SuperFrame block;
    block.sfStart = 0;
    block.sfSize = kFrames;
    block.transforms.assign(kFrames, {{1.0f, 0.0f, 3.0f, 0.0f, 1.0f, -2.0f, 0.0f, 0.0f, 1.0f}});
    start = std::chrono::steady_clock::now();
    (maker.*e.i2v)(&block, nullptr, &from, kFrames / 2, &option);
    const double i2v = kFrames / Seconds(start);
    std::printf("%-10s %14.1f %14.1f\n", e.name, i2i, i2v);
  }
  OrvEffectMaker::SetInputFrameHandler(nullptr);
  maker.DeInitOpenGL();
  return 0;
}
