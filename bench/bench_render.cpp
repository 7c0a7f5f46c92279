// Create-pass throughput: renders an image-only clip of each theme at
// 1920 x 1080 through the exports and prints frames per second, the writer's
// rate alone on as many frames, peak memory and the time of each stage.
// Run from the build folder (it holds ReelkaResource/) under xvfb-run.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "RenderStats.h"
#include "api/PathUtils.h"
#include "fxcontroller/OrvFXFrameHandler.h"
#include "reelka/reelka.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

long PeakRssMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

// A photo-like picture: soft gradient, shapes and grain.
cv::Mat MakePhoto(int index) {
  std::mt19937 rng(static_cast<unsigned>(index) * 7919u + 17u);
  std::uniform_int_distribution<int> c(0, 255), x(0, 1919), y(0, 1079), r(20, 260);
  cv::Mat photo(1080, 1920, CV_8UC3);
  const cv::Vec3b a(c(rng), c(rng), c(rng)), b(c(rng), c(rng), c(rng));
  for (int row = 0; row < photo.rows; ++row) {
    const float t = static_cast<float>(row) / photo.rows;
    photo.row(row).setTo(cv::Scalar(a[0] * (1 - t) + b[0] * t, a[1] * (1 - t) + b[1] * t, a[2] * (1 - t) + b[2] * t));
  }
  for (int i = 0; i < 60; ++i)
    cv::circle(photo, cv::Point(x(rng), y(rng)), r(rng), cv::Scalar(c(rng), c(rng), c(rng)), cv::FILLED,
               cv::LINE_AA);
  cv::Mat grain(photo.size(), CV_8UC3);
  cv::randn(grain, cv::Scalar::all(0), cv::Scalar::all(6));
  photo += grain;
  cv::GaussianBlur(photo, photo, cv::Size(3, 3), 0);
  return photo;
}

void CopyWide(char16_t* dst, const std::string& narrow) {
  const std::u16string wide = MultiByteToWide(narrow.c_str());
  size_t i = 0;
  for (; i < wide.size() && i + 1 < REELKA_PATH_LEN; ++i) dst[i] = wide[i];
  dst[i] = 0;
}

int RunTheme(int theme, const std::string& root, const std::vector<std::string>& photos) {
  static const char* const kNames[] = {"MODERN", "SPORTY", "VIVID"};
  const ThemeLimit limit = GetThemeLimitInfo(theme);
  int images = std::min<int>(limit.maxImage, static_cast<int>(photos.size()));
  images = std::max(images, limit.minImage);
  const int estimate = GetEstimatedTimeSec(theme, images, 0);

  const std::string work = root + kNames[theme] + "/work/";
  ::mkdir((root + kNames[theme]).c_str(), 0755);
  ::mkdir((root + kNames[theme] + "/Logs").c_str(), 0755);
  ::mkdir(work.c_str(), 0755);

  auto input = std::make_unique<UserInputContext>();
  *input = UserInputContext{};
  input->NumOfImage = images;
  for (int i = 0; i < images; ++i) CopyWide(input->ImagePath[i], photos[static_cast<size_t>(i) % photos.size()]);
  input->tubWidth = 160;
  input->tubHeight = 90;
  input->wsWidth = 480;
  input->wsHeight = 270;
  CopyWide(input->tempDirPath, work);

  const auto startPass = Clock::now();
  KV_StartReelka(input.get());
  const double startSec = Seconds(startPass);
  const long startPeakMb = PeakRssMb();
  auto context = std::make_unique<ThemeSlotSequence>(*GetThemeContext());

  // Count frames at the encoder; keep a few for the writer-alone run.
  int64_t frames = 0;
  std::vector<cv::Mat> samples;
  OrvFXFrameHandler::SetFrameSink([&](const cv::Mat& frame) {
    if (frames % 200 == 0 && samples.size() < 8) samples.push_back(frame.clone());
    ++frames;
  });
  SetRenderProfiling(true);
  ResetRenderStageTimes();
  const auto createStart = Clock::now();
  KV_CreateReelka(context.get());
  const double createSec = Seconds(createStart);
  SetRenderProfiling(false);
  OrvFXFrameHandler::SetFrameSink(nullptr);
  const RenderStageTimes stages = GetRenderStageTimes();
  std::u16string dest = MultiByteToWide((root + kNames[theme] + "/clip.avi").c_str());
  const bool saved = SaveReelka(dest.c_str());
  const long peakMb = PeakRssMb();
  ReleaseReelka();

  // The writer alone on the same number of frames, held as the clip holds them.
  double writerSec = 0.0;
  if (!samples.empty() && frames > 0) {
    OrvFXFrameHandler writer;
    writer.setParameters("", root + kNames[theme] + "/writer_only.avi");
    const int64_t run = std::max<int64_t>(1, frames / static_cast<int64_t>(samples.size()));
    const auto writerStart = Clock::now();
    for (int64_t i = 0; i < frames; ++i)
      writer.writeFrame(samples[static_cast<size_t>(std::min<int64_t>(i / run, samples.size() - 1))]);
    writer.deInit();
    writerSec = Seconds(writerStart);
  }

  const double fps = createSec > 0 ? frames / createSec : 0.0;
  const double writerFps = writerSec > 0 ? frames / writerSec : 0.0;
  auto ms = [&](int64_t ns) { return frames > 0 ? ns / 1e6 / frames : 0.0; };
  std::printf("%-7s images %2d, estimate %3d s, frames %5lld, start pass %6.2f s, create pass %7.2f s\n",
              kNames[theme], images, estimate, static_cast<long long>(frames), startSec, createSec);
  std::printf("        create pass %6.2f fps | writer alone %6.2f fps | ratio %5.1f %% | saved %s | peak %ld MB (%ld MB after the start pass)\n",
              fps, writerFps, writerFps > 0 ? 100.0 * fps / writerFps : 0.0, saved ? "yes" : "NO", peakMb, startPeakMb);
  std::printf("        per frame: composition %6.2f ms (total %.2f s), drawing %6.2f ms, read-back %6.2f ms, "
              "encoding %6.2f ms (own thread, overlapped), waiting for the encoder %6.2f ms, other %6.2f ms\n",
              ms(stages.composeNs), stages.composeNs / 1e9, ms(stages.drawNs), ms(stages.readBackNs),
              ms(stages.encodeNs), ms(stages.waitNs),
              frames > 0 ? createSec * 1e3 / frames - ms(stages.composeNs + stages.drawNs + stages.readBackNs +
                                                          stages.waitNs)
                         : 0.0);
  std::fflush(stdout);
  return saved && frames > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  struct stat st{};
  if (stat("ReelkaResource", &st) != 0 && stat("../ReelkaResource", &st) == 0) {
    if (chdir("..") != 0) return 2;
  }
  if (stat("ReelkaResource", &st) != 0) {
    std::fprintf(stderr, "Run from the build folder: ./ReelkaResource/ is missing\n");
    return 2;
  }
  const std::string root = "/tmp/reelka_bench_" + std::to_string(::getpid()) + "/";
  ::mkdir(root.c_str(), 0755);
  const int photoCount = argc > 1 ? std::atoi(argv[1]) : 20;
  std::vector<std::string> photos;
  for (int i = 0; i < photoCount; ++i) {
    photos.push_back(root + "photo_" + std::to_string(i) + ".jpg");
    cv::imwrite(photos.back(), MakePhoto(i), {cv::IMWRITE_JPEG_QUALITY, 92});
  }
  std::printf("bench_render: %d generated 1920x1080 photos, %ld online cores\n", photoCount,
              sysconf(_SC_NPROCESSORS_ONLN));
  std::fflush(stdout);
  int failures = 0;
  for (int theme = 0; theme < 3; ++theme) {
    // One process per theme, so that each peak is its own.
    const pid_t child = fork();
    if (child == 0) _exit(RunTheme(theme, root, photos));
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failures;
  }
  return failures == 0 ? 0 : 1;
}
