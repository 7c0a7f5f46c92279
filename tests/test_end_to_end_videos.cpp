// A whole run through the exports with two videos of different sizes and
// frame rates: the plan shares the video band between them, each is
// summarised and stabilised, and every video scene of the clip plays the
// frames of its own block of the right video, in order.
#include <gtest/gtest.h>

#include <mutex>

#include "api/CreateReelkaInterface.h"
#include "api/Log.h"
#include "fxcontroller/OrvFXFrameHandler.h"
#include "test_end_to_end_util.h"
#include "test_video_engine_clips.h"
#include "themes/SlotInformation.h"

namespace {

struct Clip {
  int id;
  cv::Size size;
  double fps;
  int frames;
};
// Video 0 is the larger one; the clip takes the size and rate of video 1.
const Clip kClips[2] = {{0, cv::Size(480, 270), 30.0, 390}, {1, cv::Size(320, 180), 25.0, 250}};

// Ten cells left of the middle (where the video slots' art leaves the
// picture clear) carry the frame number and, in the top bit, the video:
// red 1, blue 0. Placed relative to the frame size.
cv::Rect2d CodeCell(int bit) {
  return cv::Rect2d(0.15 + 0.05625 * (bit % 5), 0.339 + 0.1278 * (bit / 5), 0.05625, 0.1278);
}

void StampCode(cv::Mat& frame, int value) {
  for (int b = 0; b < 10; ++b) {
    const cv::Rect2d c = CodeCell(b);
    const cv::Rect cell(static_cast<int>(c.x * frame.cols), static_cast<int>(c.y * frame.rows),
                        static_cast<int>(c.width * frame.cols), static_cast<int>(c.height * frame.rows));
    frame(cell).setTo((value >> b) & 1 ? cv::Scalar(0, 0, 255) : cv::Scalar(255, 0, 0));
  }
}

// The value of a drawn frame, the cells moved where the stabilising warp
// (8 % crop on each side, scaled back) puts them; -1 when unreadable.
int ReadCode(const cv::Mat& frame) {
  if (frame.empty() || frame.type() != CV_8UC3) return -1;
  int value = 0;
  for (int b = 0; b < 10; ++b) {
    const cv::Rect2d c = CodeCell(b);
    const double x = (0.5 + (c.x + c.width / 2 - 0.5) / 0.84) * frame.cols;
    const double y = (0.5 + (c.y + c.height / 2 - 0.5) / 0.84) * frame.rows;
    const cv::Rect probe(static_cast<int>(x) - 3, static_cast<int>(y) - 3, 7, 7);
    const cv::Scalar mean = cv::mean(frame(probe & cv::Rect(0, 0, frame.cols, frame.rows)));
    if (mean[2] > 150 && mean[0] < 100) {
      value |= 1 << b;
    } else if (!(mean[0] > 150 && mean[2] < 100)) {
      return -1;
    }
  }
  return value;
}

// Video 0 pans slowly, video 1 zooms in for a while: no shake, so the
// stabiliser leaves the cells where they are.
bool WriteClip(const std::string& path, const Clip& clip) {
  const std::vector<std::string> mate = e2e::MatePhotos();
  cv::Mat canvas;
  if (mate.size() > 3u + clip.id) canvas = cv::imread(mate[3 + clip.id], cv::IMREAD_COLOR);
  if (canvas.empty()) canvas = clips::MakeTexture(clip.size.width * 3, clip.size.height * 3, 40 + clip.id);
  cv::resize(canvas, canvas, cv::Size(clip.size.width * 3, clip.size.height * 3), 0, 0, cv::INTER_AREA);
  return clips::WriteClip(
      path, clip.frames, clip.fps, clip.size,
      [&](int k) {
        clips::Pose pose;
        if (clip.id == 0) pose.tx = -0.5 * k;
        if (clip.id == 1 && k > 100) pose.scale = 1.0 + 0.002 * std::min(k - 100, 100);
        cv::Mat f = clips::RenderFrame(canvas, pose, clip.size);
        StampCode(f, k | (clip.id << 9));
        return f;
      },
      false);
}

}  // namespace

TEST(EndToEnd, TwoVideosEachSceneShowsItsOwnBlock) {
  if (!e2e::HaveDisplay()) GTEST_SKIP() << "needs a display (xvfb-run -a)";
  e2e::RunDir dir("two_videos");
  ASSERT_FALSE(dir.root.empty());
  std::vector<std::string> videos;
  for (const Clip& clip : kClips) {
    videos.push_back(dir.root + "/video" + std::to_string(clip.id) + ".avi");
    ASSERT_TRUE(WriteClip(videos.back(), clip));
  }
  const std::vector<std::string> photos = e2e::WritePhotos(dir.root, 6);

  // 13 s and 10 s: SPORTY's 9 s band, shared as 5 s and 3 s, so two blocks
  // of the first video and one of the second (the theme's scenes play blocks
  // 1 and 2, wrapping over the three).
  struct Released {
    ~Released() { ReleaseReelka(); }
  } release;
  const ThemeLimit limit = GetThemeLimitInfo(1);
  ASSERT_LE(limit.minVideoSec, 23);
  EXPECT_EQ(GetEstimatedTimeSec(1, 6, 23), 60);
  auto input = e2e::MakeInput(photos, videos, dir.work);
  KV_StartReelka(input.get());
  ASSERT_NE(GetThemeContext(), nullptr);
  auto slots = std::make_unique<ThemeSlotSequence>();
  std::memcpy(slots.get(), GetThemeContext(), sizeof(ThemeSlotSequence));

  std::mutex mutex;
  std::vector<int> codes;
  cv::Size drawnSize;
  OrvFXFrameHandler::SetFrameSink([&](const cv::Mat& frame) {
    std::lock_guard<std::mutex> lock(mutex);
    codes.push_back(ReadCode(frame));
    drawnSize = frame.size();
  });
  KV_CreateReelka(slots.get());
  OrvFXFrameHandler::SetFrameSink(nullptr);
  const int written = static_cast<int>(codes.size());

  std::vector<SummarizedVideo> list;
  {
    std::lock_guard<std::mutex> lock(gEngineMutex);
    ASSERT_NE(gVideoEngine, nullptr);
    list = *gVideoEngine->GetSummarizedVideoList();
  }
  ASSERT_EQ(list.size(), 2u);
  const size_t blockCounts[2] = {2, 1};
  for (int v = 0; v < 2; ++v) {
    EXPECT_EQ(list[v].fileName, videos[v]);
    ASSERT_EQ(list[v].blocks.size(), blockCounts[v]) << "video " << v;
    for (const SuperFrame& b : list[v].blocks) {
      EXPECT_EQ(b.sfSize, static_cast<int>(3 * kClips[v].fps));
      EXPECT_EQ(b.transforms.size(), static_cast<size_t>(b.sfSize));
    }
  }

  // The clip: the smaller video's size and rate, every frame handed over.
  const std::string output = dir.work + "_output.avi";
  const e2e::DecodedVideo decoded = e2e::Decode(output, {});
  EXPECT_EQ(decoded.width, 320);
  EXPECT_EQ(decoded.height, 180);
  EXPECT_EQ(drawnSize, cv::Size(320, 180));
  EXPECT_NEAR(decoded.fps, 25.0, 0.01);
  EXPECT_EQ(decoded.frames, written);

  // The theme's own scene list for this summary fixes every scene's span.
  std::shared_ptr<SlotInformation> theme = CreateThemeSlotInformation(1);
  ASSERT_GT(theme->GetEstimatedTimeSec(6, 23), 0);
  const std::string scratch = dir.root + "/scratch/";
  ::mkdir(scratch.c_str(), 0755);
  auto scratchInput = e2e::MakeInput(photos, {}, scratch);
  std::vector<SlotContext> scratchSlots;
  theme->FillSlotContext(&scratchSlots, &list, scratchInput.get());
  const std::vector<e2e::SceneSpan> spans = e2e::Spans(theme->GetThemeSequence(), 25.0f, &list);
  ASSERT_FALSE(spans.empty());
  EXPECT_EQ(written, e2e::TotalFrames(spans));

  // Video holds, and video-to-picture scenes before their transition, show
  // their block's frames one after another, from the right video.
  int checkedScenes = 0;
  bool seen[2] = {false, false};
  for (const e2e::SceneSpan& s : spans) {
    if (s.scene.startType != kSceneVideo || s.count == 0) continue;
    const SuperFrame* block = e2e::BlockAt(&list, s.scene.startIndex);
    ASSERT_NE(block, nullptr);
    const int v = block >= list[1].blocks.data() && block < list[1].blocks.data() + list[1].blocks.size() ? 1 : 0;
    int frames = s.count;
    if (s.scene.endType != kSceneVideo) {
      const float p = 25.0f * (s.scene.durationSec == 0.0f ? 2.0f : s.scene.durationSec);
      frames -= p > static_cast<float>(s.count) ? s.count : static_cast<int>(p);
    }
    const int first = static_cast<int>(block->sfStart * kClips[v].fps / 1e6 + 0.5);
    SCOPED_TRACE(::testing::Message() << "scene " << s.scene.step << " code " << s.scene.effectCode << ", video "
                                      << v << " from frame " << first);
    ASSERT_LE(s.first + frames, written);
    int read = 0;
    for (int j = 0; j < frames; ++j) {
      const int code = codes[static_cast<size_t>(s.first + j)];
      if (code < 0) continue;
      ++read;
      EXPECT_EQ(code >> 9, v) << "frame " << j;
      EXPECT_EQ(code & 511, first + j) << "frame " << j;
    }
    EXPECT_GE(read, frames * 9 / 10);
    seen[v] = true;
    ++checkedScenes;
  }
  EXPECT_GE(checkedScenes, 3);
  EXPECT_TRUE(seen[0] && seen[1]) << "scenes from both videos";
}
