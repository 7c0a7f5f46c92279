// Speed of the video pre-passes on a 1080p clip of 30 s, against ffmpeg's
// vid.stab detection and transform passes on the same clip.
//
//   bench_video [clip-dir]
//
// The clip (a photograph moved by a known camera path: pans, a zoom and
// shake) is written once and reused while it exists.
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "videoengine/OrvVideoEngine.h"

namespace {

constexpr int kWidth = 1920, kHeight = 1080, kFrames = 900;
constexpr double kFps = 30.0;

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool Exists(const std::string& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0 && st.st_size > 0;
}

long PeakRssKb() {
  struct rusage ru;
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;
}

cv::Mat LoadPhoto() {
  const char* candidates[] = {"/usr/share/backgrounds/mate/abstract/Elephants_3840x2160.jpg",
                              "/usr/share/backgrounds/mate/nature/Garden.jpg",
                              "/usr/share/backgrounds/mate/nature/Dune.jpg"};
  for (const char* c : candidates) {
    cv::Mat m = cv::imread(c, cv::IMREAD_COLOR);
    if (!m.empty()) {
      std::printf("photo: %s (%dx%d)\n", c, m.cols, m.rows);
      if (m.cols < 2 * kWidth) cv::resize(m, m, cv::Size(2 * kWidth, 2 * kWidth * m.rows / m.cols));
      return m;
    }
  }
  std::printf("photo: none found, using noise\n");
  cv::Mat m(2 * kHeight, 2 * kWidth, CV_8UC3);
  cv::randu(m, 0, 255);
  cv::GaussianBlur(m, m, cv::Size(9, 9), 3);
  return m;
}

// Camera path: pan with shake, zoom in, hold with shake, diagonal pan.
void PoseAt(int k, std::mt19937& rng, double& tx, double& ty, double& scale, double& angle) {
  std::uniform_real_distribution<double> shake(-5.0, 5.0), turn(-0.4, 0.4);
  const double t = k / kFps;
  tx = ty = 0.0;
  scale = 1.0;
  angle = 0.0;
  if (t < 10) {
    tx = -300 + 2.0 * k;
  } else if (t < 15) {
    tx = 300;
    scale = std::pow(1.004, k - 300);
  } else if (t < 20) {
    tx = 300;
    scale = std::pow(1.004, 150);
  } else {
    tx = 300 - 1.5 * (k - 600);
    ty = -1.0 * (k - 600);
    scale = std::pow(1.004, 150);
  }
  if (t < 10 || t >= 15) {
    tx += shake(rng);
    ty += shake(rng);
    angle = turn(rng);
  }
}

bool MakeClip(const std::string& path) {
  const cv::Mat photo = LoadPhoto();
  cv::VideoWriter w(path, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('a', 'v', 'c', '1'), kFps,
                    cv::Size(kWidth, kHeight));
  if (!w.isOpened()) return false;
  std::mt19937 rng(2024);
  cv::Mat frame;
  for (int k = 0; k < kFrames; ++k) {
    double tx, ty, s, a;
    PoseAt(k, rng, tx, ty, s, a);
    const double r = a * CV_PI / 180.0, c = std::cos(r) * s, sn = std::sin(r) * s;
    const double cx = photo.cols / 2.0, cy = photo.rows / 2.0;
    cv::Mat m = (cv::Mat_<double>(2, 3) << c, -sn, kWidth / 2.0 + tx - (c * cx - sn * cy), sn, c,
                 kHeight / 2.0 + ty - (sn * cx + c * cy));
    cv::warpAffine(photo, frame, m, cv::Size(kWidth, kHeight), cv::INTER_LINEAR, cv::BORDER_REFLECT);
    w.write(frame);
  }
  return true;
}

double TimeCommand(const std::string& cmd, bool* ok) {
  const double t0 = Now();
  *ok = std::system((cmd + " > /dev/null 2>&1").c_str()) == 0;
  return Now() - t0;
}

// The clip of the benchmark, written on first use. False when it cannot be written.
bool EnsureClip(const std::string& clip) {
  if (Exists(clip)) return true;
  std::printf("writing %s ...\n", clip.c_str());
  const double t0 = Now();
  if (!MakeClip(clip)) {
    std::printf("cannot write the H.264 clip\n");
    return false;
  }
  std::printf("clip written in %.1f s\n", Now() - t0);
  return true;
}

// The summary and stabilisation passes as the start pass runs them; returns
// their time together.
double TimeOurPasses(OrvVideoEngine& engine, const std::string& clip) {
  SummaryPlan plan;
  plan.summaryLengthSec = 9.0;
  plan.sfLengthSec = 3.0;
  plan.videoPaths = {clip};

  double t0 = Now();
  std::vector<SummarizedVideo>* list = engine.StartSummaryVideoList(&plan);
  const double summarySec = Now() - t0;
  int blocks = 0, kept = 0;
  for (const auto& v : *list)
    for (const auto& b : v.blocks) {
      ++blocks;
      kept += b.sfSize;
    }

  t0 = Now();
  const bool stabilized = engine.StartStabilizedVideoList(list);
  const double stabSec = Now() - t0;

  std::printf("\n1920x1080, %d frames at %.0f fps (30 s), plan 9 s in 3-s blocks\n", kFrames, kFps);
  std::printf("summary pass:        %6.2f s  %7.1f video frames/s  (%d blocks)\n", summarySec, kFrames / summarySec,
              blocks);
  for (const auto& v : *list)
    for (const auto& b : v.blocks)
      std::printf("  block %8d..%8d us  score %.3f  camera %d\n", b.sfStart, b.sfEnd, b.interestingness, b.camera);
  std::printf("stabilisation pass:  %6.2f s  %7.1f kept frames/s  (%d frames, %s)\n", stabSec, kept / stabSec, kept,
              stabilized ? "done" : "FAILED");
  std::printf("ours together:       %6.2f s\n", summarySec + stabSec);
  return summarySec + stabSec;
}

// Per-frame throughput of the stabiliser over the whole clip (ten abutting
// 3-s blocks), for comparison with vid.stab, which works on every frame.
double TimeWholeStabilisation(OrvVideoEngine& engine, const std::string& clip) {
  std::vector<SummarizedVideo> whole(1);
  whole[0].fileName = clip;
  for (int b = 0; b < 10; ++b) {
    SuperFrame sf;
    sf.sfStart = b * 3000000;
    sf.sfEnd = (b + 1) * 3000000;
    sf.sfSize = 90;
    whole[0].blocks.push_back(sf);
  }
  const double t0 = Now();
  const bool wholeOk = engine.StartStabilizedVideoList(&whole);
  const double wholeSec = Now() - t0;
  std::printf("stabilising all %d frames: %6.2f s  %7.1f frames/s%s\n", kFrames, wholeSec, kFrames / wholeSec,
              wholeOk ? "" : "  (FAILED)");
  return wholeSec;
}

// ffmpeg's vid.stab detection and transform on the same clip, against ours.
void CompareWithVidstab(const std::string& dir, const std::string& clip, double oursSec, double wholeSec) {
  const bool haveVidstab =
      std::system("ffmpeg -hide_banner -filters 2>/dev/null | grep -q vidstabdetect") == 0 &&
      std::system("ffmpeg -hide_banner -filters 2>/dev/null | grep -q vidstabtransform") == 0;
  if (!haveVidstab) {
    std::printf("vid.stab: unavailable (ffmpeg lists no vidstabdetect/vidstabtransform)\n");
    return;
  }
  const std::string trf = dir + "/transforms.trf";
  bool ok1 = false, ok2 = false;
  const double detectSec =
      TimeCommand("ffmpeg -y -nostdin -i " + clip + " -vf vidstabdetect=result=" + trf + " -f null -", &ok1);
  const double transformSec =
      TimeCommand("ffmpeg -y -nostdin -i " + clip + " -vf vidstabtransform=input=" + trf + " -f null -", &ok2);
  std::printf("vidstabdetect:       %6.2f s  %7.1f frames/s%s\n", detectSec, kFrames / detectSec,
              ok1 ? "" : "  (ffmpeg failed)");
  std::printf("vidstabtransform:    %6.2f s  %7.1f frames/s%s  (no encoding: -f null)\n", transformSec,
              kFrames / transformSec, ok2 ? "" : "  (ffmpeg failed)");
  std::printf("vid.stab together:   %6.2f s\n", detectSec + transformSec);
  std::printf("ratio vid.stab / ours (summary + stabilisation): %.2f (above 1: ours is faster)\n",
              (detectSec + transformSec) / oursSec);
  std::printf("ratio vid.stab / ours (stabilising every frame):  %.2f\n", (detectSec + transformSec) / wholeSec);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "/tmp/reelka_bench_video";
  ::mkdir(dir.c_str(), 0755);
  const std::string clip = dir + "/clip_1080p_30s.mp4";
  if (!EnsureClip(clip)) return 1;

  OrvVideoEngine engine;
  engine.ResetCancel();
  const double oursSec = TimeOurPasses(engine, clip);
  const double wholeSec = TimeWholeStabilisation(engine, clip);
  std::printf("peak memory:         %ld MB (ru_maxrss)\n", PeakRssKb() / 1024);
  CompareWithVidstab(dir, clip, oursSec, wholeSec);
  return 0;
}
