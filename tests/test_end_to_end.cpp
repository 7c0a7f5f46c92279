// Whole runs through the twelve exports, in the host's order: photos only for
// each theme, SPORTY with one video of a known camera path, and MODERN and
// VIVID with a video.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>

#include "api/CreateReelkaInterface.h"
#include "api/Log.h"
#include "fxcontroller/OrvFXFrameHandler.h"
#include "test_end_to_end_util.h"
#include "test_video_engine_clips.h"
#include "themes/SlotInformation.h"
#include "themes/ThemeTemplate.h"

namespace {

using e2e::SceneSpan;

struct Released {
  ~Released() { ReleaseReelka(); }
};

// Watches every frame handed to the encoder: counts them, keeps the first
// one whole and small copies of the frames asked for.
class FrameTap {
 public:
  explicit FrameTap(std::set<int> wanted, std::function<void(int, const cv::Mat&)> each = nullptr)
      : mWanted(std::move(wanted)), mEach(std::move(each)) {
    OrvFXFrameHandler::SetFrameSink([this](const cv::Mat& frame) {
      std::lock_guard<std::mutex> lock(mMutex);
      if (mCount == 0) mFirst = frame.clone();
      if (mWanted.count(mCount)) {
        cv::Mat small;
        cv::resize(frame, small, cv::Size(480, 270), 0, 0, cv::INTER_AREA);
        mSmall[mCount] = small;
      }
      if (mEach) mEach(mCount, frame);
      ++mCount;
    });
  }
  ~FrameTap() { OrvFXFrameHandler::SetFrameSink(nullptr); }
  int Count() {
    std::lock_guard<std::mutex> lock(mMutex);
    return mCount;
  }
  cv::Mat First() { return mFirst; }
  const cv::Mat* Small(int index) const {
    auto it = mSmall.find(index);
    return it == mSmall.end() ? nullptr : &it->second;
  }

 private:
  std::mutex mMutex;
  std::set<int> mWanted;
  std::function<void(int, const cv::Mat&)> mEach;
  int mCount = 0;
  cv::Mat mFirst;
  std::map<int, cv::Mat> mSmall;
};

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The scene list a fresh theme object builds for the same material, filled
// into a scratch folder of its own.
ThemeSequence ExpectedSequence(int themeIndex, const std::vector<std::string>& photos, int videoSeconds,
                               std::vector<SummarizedVideo>* list, const std::string& scratch) {
  ::mkdir(scratch.c_str(), 0755);
  std::shared_ptr<SlotInformation> theme = CreateThemeSlotInformation(themeIndex);
  if (!theme || theme->GetEstimatedTimeSec(static_cast<int>(photos.size()), videoSeconds) <= 0) return {};
  auto input = e2e::MakeInput(photos, {}, scratch + "/");
  std::vector<SlotContext> slots;
  theme->FillSlotContext(&slots, list, input.get());
  return theme->GetThemeSequence();
}

// Log checks shared by every run: no GL error, every scene drawn.
void CheckRunLog(const std::string& log) {
  EXPECT_EQ(e2e::CountLines(log, "glGetError()"), 0);
  EXPECT_EQ(e2e::CountLines(log, "## Scene skipped"), 0);
  EXPECT_EQ(e2e::CountLines(log, "Transition not available"), 0);
  EXPECT_EQ(e2e::CountLines(log, "scenes were skipped"), 0);
  EXPECT_EQ(e2e::CountLines(log, "Enter CreateReelka"), 1);
  EXPECT_EQ(e2e::CountLines(log, "Leave CreateReelka"), 1);
}

// Runs one theme on six photos through the exports and checks the clip, the
// still, the saved copy and the log against the theme's own scene list.
void RunPhotoTheme(int themeIndex, const char* name) {
  if (!e2e::HaveDisplay()) GTEST_SKIP() << "needs a display (xvfb-run -a)";
  const auto started = std::chrono::steady_clock::now();
  e2e::RunDir dir(name);
  ASSERT_FALSE(dir.root.empty());
  const std::vector<std::string> photos = e2e::WritePhotos(dir.root, 6);
  const std::string replacement = e2e::WritePhotos(dir.root, 1, 6)[0];

  const ThemeSequence sequence = ExpectedSequence(themeIndex, photos, 0, nullptr, dir.root + "/scratch");
  ASSERT_FALSE(sequence.empty());
  const std::vector<SceneSpan> spans = e2e::Spans(sequence, 29.97f, nullptr);
  const int expectedFrames = e2e::TotalFrames(spans);

  // Frames around every screen-quad transition between two holds.
  std::set<int> wanted;
  std::vector<size_t> checked;
  for (size_t i = 1; i + 1 < spans.size(); ++i) {
    const SceneSpan& s = spans[i];
    if (!e2e::IsQuadI2I(s.scene.effectCode) || s.count < 3) continue;
    if (spans[i - 1].scene.effectCode != 1000 || spans[i - 1].count == 0) continue;
    if (spans[i + 1].scene.effectCode != 1000 || spans[i + 1].count == 0) continue;
    wanted.insert({s.first - 1, s.first + s.count / 2, s.first + s.count});
    checked.push_back(i);
  }
  const std::vector<int> sampled = {0, expectedFrames / 2, expectedFrames - 1};
  for (int k : sampled) wanted.insert(k);

  Released release;
  const ThemeLimit limit = GetThemeLimitInfo(themeIndex);
  ASSERT_LE(limit.minImage, 6);
  ASSERT_GE(limit.maxImage, 6);
  EXPECT_GT(GetEstimatedTimeSec(themeIndex, 6, 0), 0);

  auto input = e2e::MakeInput(photos, {}, dir.work);
  KV_StartReelka(input.get());
  ThemeSlotSequence* context = GetThemeContext();
  ASSERT_NE(context, nullptr);
  ASSERT_GT(context->slotCount, 0);
  // A picture with separator and text gets a new workspace image; a plain
  // picture names the new picture itself.
  int pictureSlot = -1;
  for (int type : {1, 0})
    for (int s = 0; s < context->slotCount && pictureSlot < 0; ++s)
      if (context->slots[s].slotType == type) pictureSlot = s;
  ASSERT_GE(pictureSlot, 0);
  const bool withSeparator = context->slots[pictureSlot].slotType == 1;

  KV_UpdateSlot(pictureSlot, platform::Utf8ToUtf16(replacement).c_str());
  const ReplacedSlotInfo* replaced = GetReplacedSlot();
  ASSERT_NE(replaced, nullptr);
  EXPECT_EQ(replaced->percent, 100);
  const std::string workspace = e2e::Narrow(replaced->workSpaceImagePath, REELKA_PATH_LEN);
  if (withSeparator) {
    EXPECT_EQ(workspace.rfind(dir.work + "ss_icon_clip_", 0), 0u) << workspace;
  } else {
    EXPECT_EQ(workspace, replacement);
  }
  EXPECT_FALSE(cv::imread(workspace, cv::IMREAD_UNCHANGED).empty()) << workspace;

  auto slots = std::make_unique<ThemeSlotSequence>();
  context = GetThemeContext();
  std::memcpy(slots.get(), context, sizeof(ThemeSlotSequence));
  EXPECT_NE(e2e::Narrow(slots->slots[pictureSlot].layers[0].layerSource, REELKA_PATH_LEN).find("photo6"),
            std::string::npos);

  auto tap = std::make_unique<FrameTap>(wanted);
  const auto renderStart = std::chrono::steady_clock::now();
  KV_CreateReelka(slots.get());
  const double renderSeconds = Seconds(renderStart);
  const int written = tap->Count();
  const cv::Mat firstFrame = tap->First();

  EXPECT_EQ(written, expectedFrames) << "scene frame counts of a " << sequence.size() << "-scene list";

  // The still is the first frame, exactly.
  const std::string still = e2e::Narrow(GetFirstSlotImage());
  EXPECT_EQ(still, dir.work + "_fsi.png");
  const cv::Mat stillImage = cv::imread(still, cv::IMREAD_UNCHANGED);
  ASSERT_FALSE(stillImage.empty());
  ASSERT_FALSE(firstFrame.empty());
  ASSERT_EQ(stillImage.size(), firstFrame.size());
  ASSERT_EQ(stillImage.type(), firstFrame.type());
  EXPECT_EQ(cv::norm(stillImage, firstFrame, cv::NORM_INF), 0.0);

  // The saved clip is the temporary output, byte for byte.
  const std::string output = dir.work + "_output.avi";
  const std::string dest = dir.root + "/saved clip.avi";
  EXPECT_TRUE(SaveReelka(platform::Utf8ToUtf16(dest).c_str()));
  const std::string outputBytes = e2e::ReadFile(output);
  EXPECT_FALSE(outputBytes.empty());
  EXPECT_TRUE(outputBytes == e2e::ReadFile(dest)) << "destination differs from " << output;

  const e2e::DecodedVideo decoded = e2e::Decode(output, sampled);
  EXPECT_EQ(decoded.width, 1920);
  EXPECT_EQ(decoded.height, 1080);
  EXPECT_NEAR(decoded.fps, 29.97, 0.005);
  EXPECT_EQ(decoded.frames, expectedFrames);
  for (const auto& kept : decoded.kept) {
    const cv::Mat* drawn = tap->Small(kept.first);
    ASSERT_NE(drawn, nullptr);
    cv::Mat small;
    cv::resize(kept.second, small, cv::Size(480, 270), 0, 0, cv::INTER_AREA);
    EXPECT_GT(cv::PSNR(small, *drawn), 25.0) << "decoded frame " << kept.first;
  }

  // Mid-transition frames are neither picture.
  for (size_t i : checked) {
    const SceneSpan& s = spans[i];
    const cv::Mat* before = tap->Small(s.first - 1);
    const cv::Mat* middle = tap->Small(s.first + s.count / 2);
    const cv::Mat* after = tap->Small(s.first + s.count);
    ASSERT_TRUE(before && middle && after) << "scene " << i;
    SCOPED_TRACE(::testing::Message() << "scene " << i << " code " << s.scene.effectCode << " frames " << s.first
                                      << "+" << s.count);
    EXPECT_GT(e2e::MeanAbsDiff(*middle, *before), 10.0);
    EXPECT_GT(e2e::MeanAbsDiff(*middle, *after), 10.0);
  }
  EXPECT_FALSE(checked.empty()) << "the theme plays screen-quad transitions";

  CheckRunLog(e2e::ReadFile(GetLogFilePath()));
  std::printf("[ timing ] %s: %zu scenes, %d frames, render %.1f s, whole run %.1f s\n", name, sequence.size(),
              written, renderSeconds, Seconds(started));
}

}  // namespace

// Frames each photo-only builder (image bands 1, 2, 3) plays at 29.97 fps;
// the runs above check that a render writes exactly what its list adds up to.
TEST(ThemeLengths, PhotoBuildersPlayTheirFullLength) {
  const struct {
    int theme;
    int frames[3];
  } expected[] = {{0, {1289, 1571, 1843}}, {1, {1304, 1721, 2086}}, {2, {1422, 1930, 2438}}};
  for (const auto& e : expected) {
    std::shared_ptr<SlotInformation> theme = CreateThemeSlotInformation(e.theme);
    auto* data = dynamic_cast<ThemeTemplate*>(theme.get());
    ASSERT_NE(data, nullptr);
    for (int band = 0; band < 3; ++band) {
      const ThemeSequence& scenes = data->GetBuilderTable(3 + band).scenes;
      EXPECT_EQ(e2e::TotalFrames(e2e::Spans(scenes, 29.97f, nullptr)), e.frames[band])
          << "theme " << e.theme << " image band " << band + 1;
    }
  }
}

TEST(EndToEnd, ModernPhotosOnly) { RunPhotoTheme(0, "MODERN"); }
TEST(EndToEnd, SportyPhotosOnly) { RunPhotoTheme(1, "SPORTY"); }
TEST(EndToEnd, VividPhotosOnly) { RunPhotoTheme(2, "VIVID"); }

namespace {

// Test video: 25 s at 29.97 frames per second of a photograph moved by a
// known camera path, each frame carrying its number as ten coloured cells
// (red 1, blue 0) left of the middle, where the video slots' art leaves the
// picture clear.
constexpr int kClipFrames = 749;
constexpr int kClipWidth = 640;
constexpr int kClipHeight = 360;
const double kClipFps = 30000.0 / 1001.0;
const cv::Rect kCodeArea(96, 122, 180, 92);

clips::Pose CameraAt(int k) {
  clips::Pose pose;
  if (k < 150) return pose;                        // still
  if (k < 300) {                                   // pan to the left
    pose.tx = -2.0 * (k - 150);
    return pose;
  }
  pose.tx = -300.0;
  if (k < 375) return pose;                        // still
  if (k < 525) {                                   // zoom in
    pose.scale = 1.0 + 0.5 * (k - 375) / 150.0;
    return pose;
  }
  pose.scale = 1.5;
  if (k < 600) return pose;                        // still
  cv::RNG rng(static_cast<uint64_t>(k) * 7919u);   // shake
  pose.tx += rng.uniform(-6.0, 6.0);
  pose.ty = rng.uniform(-6.0, 6.0);
  return pose;
}

cv::Rect CodeCell(int bit) {
  return cv::Rect(kCodeArea.x + 36 * (bit % 5), kCodeArea.y + 46 * (bit / 5), 36, 46);
}

void StampCode(cv::Mat& frame, int k) {
  for (int b = 0; b < 10; ++b)
    frame(CodeCell(b)).setTo((k >> b) & 1 ? cv::Scalar(0, 0, 255) : cv::Scalar(255, 0, 0));
}

// Reads the number back from a drawn frame of the clip's size: the cells sit
// where the stabilising warp (8 % crop on each side, scaled back) puts them.
int ReadCode(const cv::Mat& frame) {
  if (frame.cols != kClipWidth || frame.rows != kClipHeight || frame.type() != CV_8UC3) return -1;
  const double cx = kClipWidth / 2.0, cy = kClipHeight / 2.0;
  int k = 0;
  for (int b = 0; b < 10; ++b) {
    const cv::Rect cell = CodeCell(b);
    const double x = cx + (cell.x + cell.width / 2.0 - cx) / 0.84;
    const double y = cy + (cell.y + cell.height / 2.0 - cy) / 0.84;
    const cv::Rect probe(static_cast<int>(x) - 4, static_cast<int>(y) - 4, 9, 9);
    const cv::Scalar mean = cv::mean(frame(probe & cv::Rect(0, 0, frame.cols, frame.rows)));
    const double blue = mean[0], red = mean[2];
    if (red > 150 && blue < 100) {
      k |= 1 << b;
    } else if (!(blue > 150 && red < 100)) {
      return -1;
    }
  }
  return k;
}

bool WriteCameraClip(const std::string& path) {
  const std::vector<std::string> mate = e2e::MatePhotos();
  cv::Mat canvas;
  if (mate.size() > 7) canvas = cv::imread(mate[7], cv::IMREAD_COLOR);
  if (canvas.empty()) canvas = clips::MakeTexture(kClipWidth * 3, kClipHeight * 3, 11);
  cv::resize(canvas, canvas, cv::Size(kClipWidth * 3, kClipHeight * 3), 0, 0, cv::INTER_AREA);
  return clips::WriteClip(
      path, kClipFrames, kClipFps, cv::Size(kClipWidth, kClipHeight),
      [&](int k) {
        cv::Mat f = clips::RenderFrame(canvas, CameraAt(k), cv::Size(kClipWidth, kClipHeight));
        StampCode(f, k);
        return f;
      },
      false);
}

struct BlockLine {
  int index, start, end, size;
};

std::vector<BlockLine> ControllerBlockLines(const std::string& log) {
  std::vector<BlockLine> out;
  for (const std::string& line : e2e::Lines(log)) {
    if (line.find("OrvVideoFXController::WriteThemeVideo") == std::string::npos) continue;
    const size_t at = line.find("[", line.find("\t"));
    if (at == std::string::npos) continue;
    BlockLine b{};
    if (std::sscanf(line.c_str() + at, "[%d], sfStart : %d, sfEnd : %d, sfSize : %d", &b.index, &b.start, &b.end,
                    &b.size) == 4)
      out.push_back(b);
  }
  return out;
}

}  // namespace

TEST(EndToEnd, SportyWithOneVideoShowsItsChosenBlocks) {
  if (!e2e::HaveDisplay()) GTEST_SKIP() << "needs a display (xvfb-run -a)";
  const auto started = std::chrono::steady_clock::now();
  e2e::RunDir dir("video");
  ASSERT_FALSE(dir.root.empty());
  const std::string video = dir.root + "/camera.avi";
  ASSERT_TRUE(WriteCameraClip(video));
  double sourceFps = 0.0;
  {
    cv::VideoCapture probe(video, cv::CAP_FFMPEG);
    ASSERT_TRUE(probe.isOpened());
    sourceFps = probe.get(cv::CAP_PROP_FPS);
  }
  const std::vector<std::string> photos = e2e::WritePhotos(dir.root, 6);

  Released release;
  const ThemeLimit limit = GetThemeLimitInfo(1);
  ASSERT_LE(limit.minVideoSec, 25);
  EXPECT_EQ(GetEstimatedTimeSec(1, 6, 25), 60);

  auto input = e2e::MakeInput(photos, {video}, dir.work);
  KV_StartReelka(input.get());
  ThemeSlotSequence* context = GetThemeContext();
  ASSERT_NE(context, nullptr);
  ASSERT_EQ(context->slotCount, 17);
  int pictureSlot = -1;
  for (int s = 0; s < context->slotCount && pictureSlot < 0; ++s)
    if (context->slots[s].slotType == 0) pictureSlot = s;
  ASSERT_GE(pictureSlot, 0);
  KV_UpdateSlot(pictureSlot, platform::Utf8ToUtf16(photos[5]).c_str());
  ASSERT_NE(GetReplacedSlot(), nullptr);
  EXPECT_EQ(GetReplacedSlot()->percent, 100);
  auto slots = std::make_unique<ThemeSlotSequence>();
  std::memcpy(slots.get(), GetThemeContext(), sizeof(ThemeSlotSequence));

  std::vector<int> codes;
  std::mutex codesMutex;
  auto tap = std::make_unique<FrameTap>(std::set<int>{}, [&](int, const cv::Mat& frame) {
    std::lock_guard<std::mutex> lock(codesMutex);
    codes.push_back(ReadCode(frame));
  });
  const auto renderStart = std::chrono::steady_clock::now();
  KV_CreateReelka(slots.get());
  const double renderSeconds = Seconds(renderStart);
  const int written = tap->Count();
  tap.reset();

  // The summary: three blocks of 3.0 s from the one video, each stabilised.
  std::vector<SummarizedVideo> list;
  {
    std::lock_guard<std::mutex> lock(gEngineMutex);
    ASSERT_NE(gVideoEngine, nullptr);
    ASSERT_NE(gVideoEngine->GetSummarizedVideoList(), nullptr);
    list = *gVideoEngine->GetSummarizedVideoList();
  }
  ASSERT_EQ(list.size(), 1u);
  ASSERT_EQ(list[0].blocks.size(), 3u);
  int previousEnd = 0;
  for (const SuperFrame& b : list[0].blocks) {
    const auto frameOf = [&](int t) {
      return static_cast<int>(static_cast<double>(static_cast<float>(t) / 1000000.0f * static_cast<float>(sourceFps)) +
                              0.5);
    };
    EXPECT_EQ(b.sfSize, frameOf(b.sfEnd) - frameOf(b.sfStart));
    EXPECT_NEAR(b.sfSize, 90, 1);
    EXPECT_NEAR(b.sfEnd - b.sfStart, 3000000, 40000);
    EXPECT_GE(b.sfStart, previousEnd);
    EXPECT_LE(b.sfEnd, 25000000 + 40000);
    EXPECT_EQ(b.transforms.size(), static_cast<size_t>(b.sfSize)) << "one corrective transform per frame";
    for (const auto& t : b.transforms)
      for (float v : t) ASSERT_TRUE(std::isfinite(v));
    previousEnd = b.sfEnd;
  }

  const std::string log = e2e::ReadFile(GetLogFilePath());
  const std::vector<BlockLine> lines = ControllerBlockLines(log);
  ASSERT_EQ(lines.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(lines[i].index, static_cast<int>(i));
    EXPECT_EQ(lines[i].start, list[0].blocks[i].sfStart);
    EXPECT_EQ(lines[i].end, list[0].blocks[i].sfEnd);
    EXPECT_EQ(lines[i].size, list[0].blocks[i].sfSize);
  }

  const std::string output = dir.work + "_output.avi";
  const std::string dest = dir.root + "/clip.avi";
  EXPECT_TRUE(SaveReelka(platform::Utf8ToUtf16(dest).c_str()));
  EXPECT_TRUE(e2e::ReadFile(output) == e2e::ReadFile(dest));
  const e2e::DecodedVideo decoded = e2e::Decode(output, {});
  EXPECT_EQ(decoded.width, kClipWidth);
  EXPECT_EQ(decoded.height, kClipHeight);
  EXPECT_NEAR(decoded.fps, sourceFps, 0.01);
  EXPECT_EQ(decoded.frames, written);

  // Scene frame counts at the video's rate, over the blocks found.
  const ThemeSequence sequence = ExpectedSequence(1, photos, 25, &list, dir.root + "/scratch");
  ASSERT_EQ(sequence.size(), 41u);
  const std::vector<SceneSpan> spans = e2e::Spans(sequence, static_cast<float>(sourceFps), &list);
  EXPECT_EQ(written, e2e::TotalFrames(spans));
  CheckRunLog(log);

  // Video holds show their block's frames in order, and so do the frames of
  // a video-to-picture scene before its transition begins.
  ASSERT_EQ(codes.size(), static_cast<size_t>(written));
  const float fps = static_cast<float>(sourceFps);
  auto checkBlockFrames = [&](const SceneSpan& s, int blockIndex, int frames) {
    const SuperFrame* block = e2e::BlockAt(&list, blockIndex);
    ASSERT_NE(block, nullptr);
    const int firstFrame = static_cast<int>(block->sfStart * sourceFps / 1e6 + 0.5);
    SCOPED_TRACE(::testing::Message() << "scene " << s.scene.step << " code " << s.scene.effectCode << " V"
                                      << blockIndex << " at frame " << s.first << ", block from frame "
                                      << firstFrame);
    ASSERT_LE(s.first + frames, written);
    int read = 0, inStep = 0, last = -1;
    for (int j = 0; j < frames; ++j) {
      const int k = codes[static_cast<size_t>(s.first + j)];
      if (k < 0) continue;
      ++read;
      EXPECT_GE(k, firstFrame) << "frame " << j;
      EXPECT_LT(k, firstFrame + block->sfSize) << "frame " << j;
      EXPECT_NEAR(k - firstFrame, j, 1) << "frame " << j;
      if (last >= 0) {
        EXPECT_GT(k, last) << "frame " << j;
        if (k == last + 1) ++inStep;
      }
      last = k;
    }
    EXPECT_GE(read, frames - 2) << "frames whose number could be read";
    EXPECT_EQ(inStep, read - 1) << "frames dropped or repeated";
  };
  int holds = 0, leadIns = 0;
  for (const SceneSpan& s : spans) {
    if (s.scene.startType != kSceneVideo || s.count == 0) continue;
    if (s.scene.endType == kSceneVideo) {
      ++holds;
      checkBlockFrames(s, s.scene.startIndex, s.count);
    } else {
      ++leadIns;
      const float p = fps * (s.scene.durationSec == 0.0f ? 2.0f : s.scene.durationSec);
      const int tl = p > static_cast<float>(s.count) ? s.count : static_cast<int>(p);
      checkBlockFrames(s, s.scene.startIndex, s.count - tl);
    }
  }
  EXPECT_EQ(leadIns, 3);
  EXPECT_EQ(holds, 3);
  std::printf("[ timing ] SPORTY with video: %d frames, render %.1f s, whole run %.1f s\n", written,
              renderSeconds, Seconds(started));
}

namespace {

// Runs a theme on six photos and one small video of `seconds` through the
// exports; checks that every scene is drawn and returns the scene spans.
// `made` writes the video to the path given (by default a steady MJPG clip)
// and returns its frame rate.
std::vector<SceneSpan> RunWithVideo(int themeIndex, int seconds, int estimate, const char* name,
                                    const std::function<double(const std::string&)>& made = nullptr,
                                    std::vector<int>* codes = nullptr, std::vector<SummarizedVideo>* summary = nullptr) {
  const auto started = std::chrono::steady_clock::now();
  e2e::RunDir dir(name);
  EXPECT_FALSE(dir.root.empty());
  const std::string video = dir.root + "/video.avi";
  const double fps = made ? made(video) : kClipFps;
  if (!made) {
    const cv::Size size(192, 108);
    const cv::Mat canvas = clips::MakeTexture(size.width * 3, size.height * 3, 5);
    cv::VideoWriter writer(video, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), kClipFps, size, true);
    EXPECT_TRUE(writer.isOpened());
    const int frames = static_cast<int>(seconds * kClipFps) + 1;
    for (int k = 0; k < frames; ++k) {
      clips::Pose pose;
      pose.tx = 30.0 * std::sin(k / 40.0);
      writer.write(clips::RenderFrame(canvas, pose, size));
    }
  }
  const std::vector<std::string> photos = e2e::WritePhotos(dir.root, 6);

  Released release;
  GetThemeLimitInfo(themeIndex);
  EXPECT_EQ(GetEstimatedTimeSec(themeIndex, 6, seconds), estimate);
  auto input = e2e::MakeInput(photos, {video}, dir.work);
  KV_StartReelka(input.get());
  ThemeSlotSequence* context = GetThemeContext();
  if (context == nullptr) {
    ADD_FAILURE() << "no theme context";
    return {};
  }
  auto slots = std::make_unique<ThemeSlotSequence>();
  std::memcpy(slots.get(), context, sizeof(ThemeSlotSequence));
  auto tap = std::make_unique<FrameTap>(std::set<int>{}, [codes](int, const cv::Mat& frame) {
    if (codes) codes->push_back(ReadCode(frame));
  });
  KV_CreateReelka(slots.get());
  const int written = tap->Count();
  tap.reset();

  std::vector<SummarizedVideo> list;
  {
    std::lock_guard<std::mutex> lock(gEngineMutex);
    if (gVideoEngine && gVideoEngine->GetSummarizedVideoList()) list = *gVideoEngine->GetSummarizedVideoList();
  }
  EXPECT_FALSE(list.empty());
  if (summary) *summary = list;
  const ThemeSequence sequence = ExpectedSequence(themeIndex, photos, seconds, &list, dir.root + "/scratch");
  const std::vector<SceneSpan> spans = e2e::Spans(sequence, static_cast<float>(fps), &list);
  EXPECT_EQ(written, e2e::TotalFrames(spans));
  CheckRunLog(e2e::ReadFile(GetLogFilePath()));
  std::printf("[ timing ] %s with a %d s video: %d frames, whole run %.1f s\n", name, seconds, written,
              Seconds(started));
  return spans;
}

// Codes of the scenes of a kind (3, 4 or 5) that drew frames.
std::set<int> DrawnTransitions(const std::vector<SceneSpan>& spans, int kind) {
  std::set<int> codes;
  for (const SceneSpan& s : spans)
    if (s.scene.effectCode / 1000 == kind && s.count > 0) codes.insert(s.scene.effectCode);
  return codes;
}

}  // namespace

// MODERN's longest video band plays the cube into and out of the video too.
TEST(EndToEnd, ModernWithALongVideoPlaysTheCubeEveryWay) {
  if (!e2e::HaveDisplay()) GTEST_SKIP() << "needs a display (xvfb-run -a)";
  const std::vector<SceneSpan> spans = RunWithVideo(0, 301, 85, "MODERN");
  EXPECT_EQ(DrawnTransitions(spans, 3).count(3007), 1u);
  EXPECT_EQ(DrawnTransitions(spans, 4).count(4007), 1u);
  EXPECT_EQ(DrawnTransitions(spans, 5).count(5007), 1u);
}

// A phone's variable frame rate: 30 frames a second for 10 s, then 5 for
// 30 s, stated as 30. The clip is made at 30 frames a second, every scene
// is drawn in full, and every video hold plays its block at real speed from
// the block's time: clip frame j shows the source frame on screen j / 30 s
// after it, the last ones too.
TEST(EndToEnd, AVariableFrameRateVideoPlaysEveryScene) {
  if (!e2e::HaveDisplay()) GTEST_SKIP() << "needs a display (xvfb-run -a)";
  if (!clips::HaveFfmpeg()) GTEST_SKIP() << "needs ffmpeg";
  const auto variable = [](const std::string& path) {
    const std::string even = path + ".even.avi";
    const cv::Mat canvas = clips::MakeTexture(kClipWidth, kClipHeight, 17);
    EXPECT_TRUE(clips::WriteClip(even, 450, 30.0, cv::Size(kClipWidth, kClipHeight),
                                 [&](int k) {
                                   cv::Mat f = canvas.clone();
                                   StampCode(f, k);
                                   return f;
                                 },
                                 false));
    // Times in thirtieths of a second.
    const std::string cmd = "ffmpeg -loglevel error -y -i " + even +
                            " -vf \"setpts='if(lt(N,300),N,6*N-1500)'\" -vsync vfr -c:v libx264 "
                            "-pix_fmt yuv420p -f mp4 " + path;
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_LT(cv::VideoCapture(path, cv::CAP_FFMPEG).get(cv::CAP_PROP_FPS), 12.0) << "not the uneven video meant";
    return 30.0;
  };
  std::vector<int> codes;
  std::vector<SummarizedVideo> list;
  const std::vector<SceneSpan> spans = RunWithVideo(0, 40, 56, "MODERN_VFR", variable, &codes, &list);
  ASSERT_EQ(list.size(), 1u);
  int holds = 0, late = 0;
  for (const SceneSpan& s : spans) {
    if (s.scene.startType != kSceneVideo || s.scene.endType != kSceneVideo || s.count == 0) continue;
    const SuperFrame* block = e2e::BlockAt(&list, s.scene.startIndex);
    ASSERT_NE(block, nullptr);
    const int first = static_cast<int>(block->sfStart * 30.0 / 1e6 + 0.5);
    ++holds;
    late += first >= 300 ? 1 : 0;
    for (int j = 0; j < s.count; ++j) {
      const int k = codes[static_cast<size_t>(s.first + j)];
      const int at = first + j;
      if (k >= 0) {
        EXPECT_EQ(k, at < 300 ? at : 300 + (at - 300) / 6) << "scene " << s.scene.step << ", frame " << j;
      }
    }
  }
  EXPECT_GE(holds, 3);
  EXPECT_GE(late, 1) << "no hold from the slow part";
}

// VIVID's video scenes are mesh transitions as well.
TEST(EndToEnd, VividWithAVideoCompletes) {
  if (!e2e::HaveDisplay()) GTEST_SKIP() << "needs a display (xvfb-run -a)";
  const std::vector<SceneSpan> spans = RunWithVideo(2, 25, 69, "VIVID");
  EXPECT_FALSE(DrawnTransitions(spans, 4).empty());
  EXPECT_FALSE(DrawnTransitions(spans, 5).empty());
}
