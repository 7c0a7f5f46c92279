// Create-pass throughput: renders an image-only clip of each theme at
// 1920 x 1080 through the exports and prints, per pass: frames per second
// and times real time, the writer's rate alone with one encoder thread and
// with the default threads, the share of the pass the encoder thread is
// busy, peak memory, the time of each stage (the pass's window, drawing per
// effect family, read-back, the encoder per frame) and the size, bit rate
// and key-frame share of the clip. Run from the build folder (it holds
// ReelkaResource/) under xvfb-run: bench_render [photos|folder [theme]],
// where a folder gives its *.jpg files (sorted) instead of generated photos.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "RenderStats.h"
#include "api/PathUtils.h"
#include "fxcontroller/ClipWriter.h"
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

struct ClipFigures {
  double fps = 0.0;
  double bytes = 0.0;
  int packets = 0;
  int keyPackets = 0;
  double keyBytes = 0.0;
};

// Size of the clip, and its packets and key frames as ffprobe lists them
// (no key-frame figures without ffprobe).
ClipFigures ProbeClip(const std::string& path) {
  ClipFigures c;
  struct stat st{};
  if (stat(path.c_str(), &st) == 0) c.bytes = static_cast<double>(st.st_size);
  c.fps = cv::VideoCapture(path, cv::CAP_FFMPEG).get(cv::CAP_PROP_FPS);
  const std::string cmd = "ffprobe -v error -select_streams v:0 -show_entries packet=size,flags -of csv=p=0 '" +
                          path + "' 2>/dev/null";
  FILE* pipe = popen(cmd.c_str(), "r");
  if (!pipe) return c;
  char line[256];
  while (std::fgets(line, sizeof(line), pipe)) {
    long size = 0;
    char flags[64] = {0};
    if (std::sscanf(line, "%ld,%63s", &size, flags) < 1) continue;
    ++c.packets;
    if (std::strchr(flags, 'K')) {
      ++c.keyPackets;
      c.keyBytes += static_cast<double>(size);
    }
  }
  pclose(pipe);
  return c;
}

void CopyWide(char16_t* dst, const std::string& narrow) {
  const std::u16string wide = MultiByteToWide(narrow.c_str());
  size_t i = 0;
  for (; i < wide.size() && i + 1 < REELKA_PATH_LEN; ++i) dst[i] = wide[i];
  dst[i] = 0;
}

// What one theme's two passes measured.
struct PassFigures {
  int images = 0;
  int estimate = 0;
  double startSec = 0.0;
  long startPeakMb = 0;
  int64_t frames = 0;
  std::vector<cv::Mat> samples;  // a few frames, for the writer-alone run
  double createSec = 0.0;
  RenderStageTimes stages;
  bool saved = false;
  long peakMb = 0;
  // The writer alone, frames a second: held as the clip holds its frames,
  // and with every frame new; with one thread and the default threads.
  double heldOneFps = 0.0;
  double heldFps = 0.0;
  double movingOneFps = 0.0;
  double movingFps = 0.0;
};

// Runs the start pass with as many photos as the theme takes (repeated when
// there are fewer) and returns the theme context it filled.
std::unique_ptr<ThemeSlotSequence> RunStartPass(int theme, const std::string& dir,
                                                const std::vector<std::string>& photos, PassFigures& f) {
  const ThemeLimit limit = GetThemeLimitInfo(theme);
  f.images = std::max(std::min<int>(limit.maxImage, static_cast<int>(photos.size())), limit.minImage);
  f.estimate = GetEstimatedTimeSec(theme, f.images, 0);

  const std::string work = dir + "/work/";
  ::mkdir(dir.c_str(), 0755);
  ::mkdir((dir + "/Logs").c_str(), 0755);
  ::mkdir(work.c_str(), 0755);

  auto input = std::make_unique<UserInputContext>();
  *input = UserInputContext{};
  input->NumOfImage = f.images;
  for (int i = 0; i < f.images; ++i) CopyWide(input->ImagePath[i], photos[static_cast<size_t>(i) % photos.size()]);
  input->tubWidth = 160;
  input->tubHeight = 90;
  input->wsWidth = 480;
  input->wsHeight = 270;
  CopyWide(input->tempDirPath, work);

  const auto startPass = Clock::now();
  KV_StartReelka(input.get());
  f.startSec = Seconds(startPass);
  f.startPeakMb = PeakRssMb();
  return std::make_unique<ThemeSlotSequence>(*GetThemeContext());
}

// Runs the create pass with its stages timed, counting frames at the
// encoder, and saves the clip.
void RunCreatePass(ThemeSlotSequence* context, const std::string& clipPath, PassFigures& f) {
  OrvFXFrameHandler::SetFrameSink([&f](const cv::Mat& frame) {
    if (f.frames % 200 == 0 && f.samples.size() < 8) f.samples.push_back(frame.clone());
    ++f.frames;
  });
  SetRenderProfiling(true);
  ResetRenderStageTimes();
  const auto createStart = Clock::now();
  KV_CreateReelka(context);
  f.createSec = Seconds(createStart);
  EndRenderScene();
  SetRenderProfiling(false);
  OrvFXFrameHandler::SetFrameSink(nullptr);
  f.stages = GetRenderStageTimes();
  std::u16string dest = MultiByteToWide(clipPath.c_str());
  f.saved = SaveReelka(dest.c_str());
  f.peakMb = PeakRssMb();
  ReleaseReelka();
}

// Frames a second of the clip writer alone for frames frames made of samples
// (threads as ClipWriter takes them): held as the clip holds them, or with
// every frame another sample.
double WriterAlone(const std::string& path, const std::vector<cv::Mat>& samples, int64_t frames, int threads,
                   bool held) {
  if (samples.empty() || frames <= 0) return 0.0;
  ClipWriter writer;
  if (!writer.Open(path, OrvFXFrameHandler::kDefaultFps, 1920, 1080, threads)) return 0.0;
  const int64_t count = static_cast<int64_t>(samples.size());
  const int64_t run = held ? std::max<int64_t>(1, frames / count) : 1;
  const auto start = Clock::now();
  int64_t last = -1;
  for (int64_t i = 0; i < frames; ++i) {
    const int64_t sample = held ? std::min<int64_t>(i / run, count - 1) : i % count;
    if (sample == last) {
      writer.WriteRepeat();
    } else {
      writer.Write(samples[static_cast<size_t>(sample)]);
    }
    last = sample;
  }
  writer.Close();
  const double seconds = Seconds(start);
  return seconds > 0 ? frames / seconds : 0.0;
}

// The writer alone on the pass's frame count held as the clip holds them,
// and on 300 frames that each differ from the one before.
void TimeWriterAlone(const std::string& dir, PassFigures& f) {
  f.heldOneFps = WriterAlone(dir + "/writer_one.avi", f.samples, f.frames, 1, true);
  f.heldFps = WriterAlone(dir + "/writer_default.avi", f.samples, f.frames, 0, true);
  f.movingOneFps = WriterAlone(dir + "/writer_moving_one.avi", f.samples, 300, 1, false);
  f.movingFps = WriterAlone(dir + "/writer_moving_default.avi", f.samples, 300, 0, false);
}

void PrintPass(const char* name, const PassFigures& f) {
  const RenderStageTimes& stages = f.stages;
  const int64_t frames = f.frames;
  const double createSec = f.createSec;
  const double fps = createSec > 0 ? frames / createSec : 0.0;
  const double writerFps = f.heldFps;
  const int threads = clipwriter::EncoderThreads(clipwriter::RequestedThreads(), 1080);
  auto ms = [&](int64_t ns, int64_t count) { return count > 0 ? ns / 1e6 / count : 0.0; };
  auto share = [&](int64_t ns) { return createSec > 0 ? 100.0 * ns / 1e9 / createSec : 0.0; };
  std::printf("%-7s images %2d, estimate %3d s, frames %5lld, start pass %6.2f s, create pass %7.2f s\n", name,
              f.images, f.estimate, static_cast<long long>(frames), f.startSec, createSec);
  std::printf("        create pass %6.2f fps (%.2fx real time) | pass/writer %5.1f %% | saved %s | peak %ld MB "
              "(%ld MB after the start pass)\n",
              fps, frames / OrvFXFrameHandler::kDefaultFps / std::max(createSec, 1e-9),
              writerFps > 0 ? 100.0 * fps / writerFps : 0.0, f.saved ? "yes" : "NO", f.peakMb, f.startPeakMb);
  std::printf("        writer alone, held as the clip: 1 thread %6.2f fps, %d threads %6.2f fps; every frame new: "
              "1 thread %6.2f fps, %d threads %6.2f fps\n",
              f.heldOneFps, threads, f.heldFps, f.movingOneFps, threads, f.movingFps);
  std::printf("        windows: %lld created, %.2f s making, handing on and destroying them (%.1f %% of the pass)\n",
              static_cast<long long>(stages.windows), stages.windowNs / 1e9, share(stages.windowNs));
  std::printf("        encoder thread busy %.1f %% of the pass: %6.2f ms per frame (%6.2f ms alone)\n",
              share(stages.encodeNs), ms(stages.encodeNs, frames), writerFps > 0 ? 1e3 / writerFps : 0.0);
  std::printf("        per frame: composition %6.2f ms (total %.2f s), drawing %6.2f ms, read-back %6.2f ms, "
              "waiting for the encoder %6.2f ms, other %6.2f ms\n",
              ms(stages.composeNs, frames), stages.composeNs / 1e9, ms(stages.drawNs, frames),
              ms(stages.readBackNs, frames), ms(stages.waitNs, frames),
              frames > 0 ? createSec * 1e3 / frames - ms(stages.composeNs + stages.drawNs + stages.readBackNs +
                                                              stages.waitNs + stages.windowNs,
                                                          frames)
                         : 0.0);
  for (int family = 0; family < static_cast<int>(RenderFamily::Count); ++family) {
    const RenderFamilyTimes& fam = stages.families[family];
    if (fam.scenes == 0) continue;
    std::printf("        %-12s %3lld scenes, %5lld frames: %6.2f ms per frame in the scene, %6.2f ms drawing\n",
                RenderFamilyName(static_cast<RenderFamily>(family)), static_cast<long long>(fam.scenes),
                static_cast<long long>(fam.frames), ms(fam.sceneNs, fam.frames), ms(fam.drawNs, fam.frames));
  }
}

void PrintClip(const std::string& clipPath, int64_t frames) {
  const ClipFigures clip = ProbeClip(clipPath);
  const double seconds = clip.fps > 0 ? frames / clip.fps : 0.0;
  if (clip.bytes <= 0 || seconds <= 0) return;
  std::printf("        clip: %.1f MB for %.1f s, %.2f Mbit/s, %.1f MB a minute", clip.bytes / 1e6, seconds,
              clip.bytes * 8 / seconds / 1e6, clip.bytes / 1e6 * 60 / seconds);
  if (clip.keyPackets > 0) {
    std::printf("; key frames: %d of %d (every %.1f), %.1f %% of the bytes", clip.keyPackets, clip.packets,
                static_cast<double>(clip.packets) / clip.keyPackets, 100.0 * clip.keyBytes / clip.bytes);
  }
  std::printf("\n");
}

int RunTheme(int theme, const std::string& root, const std::vector<std::string>& photos) {
  static const char* const kNames[] = {"MODERN", "SPORTY", "VIVID"};
  const std::string dir = root + kNames[theme];
  PassFigures f;
  std::unique_ptr<ThemeSlotSequence> context = RunStartPass(theme, dir, photos, f);
  RunCreatePass(context.get(), dir + "/clip.avi", f);
  TimeWriterAlone(dir, f);
  PrintPass(kNames[theme], f);
  PrintClip(dir + "/clip.avi", f.frames);
  std::fflush(stdout);
  return f.saved && f.frames > 0 ? 0 : 1;
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
  std::vector<std::string> photos;
  if (argc > 1 && stat(argv[1], &st) == 0 && S_ISDIR(st.st_mode)) {
    cv::glob(std::string(argv[1]) + "/*.jpg", photos, false);
    std::sort(photos.begin(), photos.end());
    std::printf("bench_render: %d photos from %s", static_cast<int>(photos.size()), argv[1]);
  } else {
    const int photoCount = argc > 1 ? std::atoi(argv[1]) : 20;
    for (int i = 0; i < photoCount; ++i) {
      photos.push_back(root + "photo_" + std::to_string(i) + ".jpg");
      cv::imwrite(photos.back(), MakePhoto(i), {cv::IMWRITE_JPEG_QUALITY, 92});
    }
    std::printf("bench_render: %d generated 1920x1080 photos", photoCount);
  }
  if (photos.empty()) return 2;
  std::printf(", %ld online cores, %d encoder threads at 1080p\n", sysconf(_SC_NPROCESSORS_ONLN),
              clipwriter::EncoderThreads(clipwriter::RequestedThreads(), 1080));
  std::fflush(stdout);
  int failures = 0;
  // A second argument names one theme (0 MODERN, 1 SPORTY, 2 VIVID).
  const int only = argc > 2 ? std::atoi(argv[2]) : -1;
  for (int theme = 0; theme < 3; ++theme) {
    if (only >= 0 && theme != only) continue;
    // One process per theme, so that each peak is its own.
    const pid_t child = fork();
    if (child == 0) _exit(RunTheme(theme, root, photos));
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failures;
  }
  return failures == 0 ? 0 : 1;
}
