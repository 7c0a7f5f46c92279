// Create passes through the FX controller: scene walk, frame counts, skips,
// cancellation, the missing display, and a clean OpenGL log.
#include <algorithm>
#include <gtest/gtest.h>

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>

#include <opencv2/imgcodecs.hpp>

#include "GLErrorCheck.h"
#include "OrvEffectMaker.h"
#include "api/Log.h"
#include "api/PathUtils.h"
#include "fxcontroller/OrvVideoFXController.h"
#include "test_render_util.h"
#include "themes/SlotInformation.h"

namespace {

constexpr int kW = 320;
constexpr int kH = 180;

// A theme whose slot pictures are given by the test.
class FakeTheme : public SlotInformation {
 public:
  FakeTheme() : SlotInformation(0, "tt") {}
  ThemeLimit* GetThemeLimitInfo(ThemeLimit* out) override { return out; }
  int GetEstimatedTimeSec(int, int) override { return 0; }
  SummaryPlan GetSummaryPlan() override { return SummaryPlan(); }
  ThemeSequence GetThemeSequence() override { return ThemeSequence(); }
  int GetSeparatorCount() override { return 3; }
  void FillSlotContext(std::vector<SlotContext>*, std::vector<SummarizedVideo>*, UserInputContext*) override {}
  cv::Mat GetSlotMat(int slotIndex, const SlotContext*, ThemeResource*) override {
    ++calls[slotIndex];
    if (failure.count(slotIndex)) failure[slotIndex]();
    auto it = pictures.find(slotIndex);
    return it == pictures.end() ? cv::Mat() : it->second;
  }
  std::map<int, cv::Mat> pictures;
  std::map<int, int> calls;
  std::map<int, std::function<void()>> failure;  // thrown while composing the slot
};

ThemeScene Scene(int code, int startType, int startIndex, int endType, int endIndex, float seconds) {
  ThemeScene s;
  s.effectCode = code;
  s.startType = startType;
  s.startIndex = startIndex;
  s.endType = endType;
  s.endIndex = endIndex;
  s.durationSec = seconds;
  return s;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

using rtest::MaxDiff;

class RenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_isFXCancel = false;
    savedTempDir = gOutfileTempDir;
    root = rtest::MakeTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    ::mkdir((root + "Logs").c_str(), 0755);
    dir = root + "work/";
    ::mkdir(dir.c_str(), 0755);
    InitLog(MultiByteToWide(dir.c_str()));
    gOutfileTempDir = dir;

    ref = dir + "clip.avi";
    ASSERT_TRUE(rtest::WriteSolidClip(ref, 12, kW, kH, 25.0));
    resource.mMetaData.mResourceDirectory = "./ReelkaResource/common/";
    resource.mMetaData.mOutputFilePath = dir + gOutputVideoSuffix;
    resource.mMetaData.mVideoNames = {ref};  // output at the clip's size and rate
    for (int i = 0; i < 3; ++i) resource.ImageList.push_back(ImageEntry{i, "img" + std::to_string(i)});
    resource.PaperList.push_back(PaperEntry{3, "paper"});
    hostSlots.resize(4);

    theme = std::make_shared<FakeTheme>();
    theme->pictures[0] = cv::Mat(kH, kW, CV_8UC4, cv::Scalar(10, 20, 200, 255));
    theme->pictures[1] = cv::Mat(kH, kW, CV_8UC4, cv::Scalar(200, 20, 10, 255));
    theme->pictures[2] = cv::Mat(kH, kW, CV_8UC4, cv::Scalar(20, 200, 20, 255));
    // The paper: opaque grey frame around a transparent window.
    cv::Mat paper(kH, kW, CV_8UC4, cv::Scalar(128, 128, 128, 255));
    paper(cv::Rect(40, 30, kW - 80, kH - 60)).setTo(cv::Scalar(0, 0, 0, 0));
    theme->pictures[3] = paper;
  }
  void TearDown() override {
    g_isFXCancel = false;
    gOutfileTempDir = savedTempDir;
    if (!root.empty()) rtest::RemoveTempDir(root);
  }

  FXControllerParams Params() {
    FXControllerParams p;
    p.themeResource = &resource;
    p.themeSequence = &sequence;
    p.summarizedVideoList = videos.empty() ? nullptr : &videos;
    p.slots = hostSlots.data();
    p.slotCount = static_cast<int32_t>(hostSlots.size());
    p.progress = &progress;
    return p;
  }

  void ExpectCleanGLLog() {
    const std::string log = ReadFile(GetLogFilePath());
    EXPECT_EQ(log.find("glGetError()"), std::string::npos) << "OpenGL errors in " << GetLogFilePath();
    EXPECT_EQ(log.find("Compile Log"), std::string::npos);
    EXPECT_EQ(log.find("Linking Log"), std::string::npos);
  }

  std::string root, dir, ref, savedTempDir;
  ThemeResource resource;
  ThemeSequence sequence;
  std::vector<SummarizedVideo> videos;
  std::vector<SlotContext> hostSlots;
  std::shared_ptr<FakeTheme> theme;
  std::atomic<int> progress{0};
};

TEST_F(RenderTest, ImagePassRendersEverySceneAtTheVideosRate) {
  if (!rtest::HaveDisplay()) GTEST_SKIP() << "no display for OpenGL";
  sequence = {Scene(1000, 1, 0, 1, 0, 1.0f),    // hold: 25 frames
              Scene(3004, 1, 0, 1, 1, 0.4f),    // transition: 10
              Scene(6001, 1, 1, 1, 1, 0.4f),    // three panels: 10
              Scene(1000, 2, 0, 2, 0, 0.2f),    // paper hold: 5
              Scene(1000, 1, -1, 1, -1, 0.2f),  // white: 5
              Scene(1000, 1, 2, 1, 2, 0.0f)};   // no frames
  rtest::RecordingSink sink;
  std::vector<int> progressAtFrame;
  sink.onFrame = [&](int) { progressAtFrame.push_back(progress.load()); };
  bool cancelled = true;
  FXPassStatus status;
  {
    OrvVideoFXController controller(Params());
    EXPECT_EQ(controller.GetWidth(), kW);
    EXPECT_FLOAT_EQ(controller.GetFps(), 25.0f);
    cancelled = controller.WriteThemeVideo(theme);
    status = controller.GetPassStatus();
    EXPECT_TRUE(controller.PassCompleted());
  }
  EXPECT_FALSE(cancelled);
  EXPECT_EQ(status.scenesSkipped, 0);
  ASSERT_EQ(sink.frames.size(), 55u);
  EXPECT_EQ(status.framesWritten, 55);

  const cv::Mat red(kH, kW, CV_8UC3, cv::Scalar(10, 20, 200));
  for (int i = 0; i < 25; ++i) EXPECT_LE(MaxDiff(sink.frames[i], red), 1) << i;
  const cv::Mat& paperFrame = sink.frames[45];
  EXPECT_TRUE(rtest::Near(paperFrame.at<cv::Vec3b>(5, 5), cv::Scalar(128, 128, 128), 1));
  EXPECT_TRUE(rtest::Near(paperFrame.at<cv::Vec3b>(kH / 2, kW / 2), cv::Scalar(0, 0, 0), 1));
  EXPECT_LE(MaxDiff(sink.frames[50], cv::Mat(kH, kW, CV_8UC3, cv::Scalar::all(255))), 1);
  // The three-panel scene ends on the second picture with white gutters.
  EXPECT_TRUE(rtest::Near(sink.frames[44].at<cv::Vec3b>(54, 96), cv::Scalar(200, 20, 10), 1));
  EXPECT_TRUE(rtest::Near(sink.frames[44].at<cv::Vec3b>(54, 224), cv::Scalar(255, 255, 255), 1));

  // Progress is published before each scene's frames. The encoder thread
  // may see a frame after drawing has moved on, so only a lower bound holds.
  EXPECT_GE(progressAtFrame[0], 16);
  EXPECT_GE(progressAtFrame[25], 33);
  EXPECT_GE(progressAtFrame[54], 83);
  EXPECT_TRUE(std::is_sorted(progressAtFrame.begin(), progressAtFrame.end()));
  EXPECT_EQ(progress.load(), 100);

  // Each slot picture is composed once per pass.
  EXPECT_EQ(theme->calls[0], 1);
  EXPECT_EQ(theme->calls[1], 1);
  EXPECT_EQ(theme->calls[3], 1);

  EXPECT_EQ(gFirstSlotImagePath, dir + "_fsi.png");
  EXPECT_EQ(MaxDiff(cv::imread(gFirstSlotImagePath, cv::IMREAD_COLOR), sink.frames[0]), 0);
  cv::VideoCapture out(dir + "_output.avi", cv::CAP_FFMPEG);
  ASSERT_TRUE(out.isOpened());
  int decoded = 0;
  cv::Mat frame;
  while (out.read(frame)) ++decoded;
  EXPECT_EQ(decoded, 55);
  ExpectCleanGLLog();
}

TEST_F(RenderTest, VideoScenesPlayTheirBlocksUnderThePaper) {
  if (!rtest::HaveDisplay()) GTEST_SKIP() << "no display for OpenGL";
  SummarizedVideo video;
  video.fileName = ref;
  SuperFrame first;
  first.sfStart = 0;
  first.sfSize = 6;
  first.transforms.assign(6, std::array<float, 9>{1, 0, 0, 0, 1, 0, 0, 0, 1});
  SuperFrame second = first;
  second.sfStart = 240000;  // frame 6
  second.sfSize = 4;
  second.transforms.clear();  // not stabilised: identity
  video.blocks = {first, second};
  videos = {video};
  resource.mVideoList = {SeparatorEntry{3, 0}, SeparatorEntry{3, 0}};
  sequence = {Scene(1001, 3, 0, 3, 0, 0.0f),   // video hold: 6 frames
              Scene(3000, 3, 1, 3, 1, 0.0f),   // any code plays the hold: 4
              Scene(4000, 1, 0, 3, 0, 0.1f),   // picture to video: one frame per block frame
              Scene(5000, 3, 1, 1, 0, 0.1f)};  // video to picture: the block's frames
  rtest::RecordingSink sink;
  {
    OrvVideoFXController controller(Params());
    EXPECT_FALSE(controller.WriteThemeVideo(theme));
    EXPECT_TRUE(controller.PassCompleted());
    EXPECT_EQ(controller.GetPassStatus().scenesSkipped, 0);
  }
  ASSERT_EQ(sink.frames.size(), 20u);
  for (int i = 0; i < 10; ++i) {
    EXPECT_TRUE(rtest::Near(sink.frames[i].at<cv::Vec3b>(kH / 2, kW / 2), rtest::FrameColour(i), 12))
        << i << " " << rtest::Describe(sink.frames[i].at<cv::Vec3b>(kH / 2, kW / 2));
    EXPECT_TRUE(rtest::Near(sink.frames[i].at<cv::Vec3b>(5, 5), cv::Scalar(128, 128, 128), 1));
  }
  ExpectCleanGLLog();
}

TEST_F(RenderTest, EachScenesOutcomeReachesThePassAndItsClosingLine) {
  if (!rtest::HaveDisplay()) GTEST_SKIP() << "no display for OpenGL";
  // The clip has 12 frames: a block from frame 8 asks for 10 of them.
  SummarizedVideo video;
  video.fileName = ref;
  SuperFrame late;
  late.sfStart = 320000;  // frame 8 at 25 fps
  late.sfSize = 10;
  late.transforms.assign(10, std::array<float, 9>{1, 0, 0, 0, 1, 0, 0, 0, 1});
  video.blocks = {late};
  videos = {video};
  resource.mVideoList = {SeparatorEntry{3, 0}};
  sequence = {Scene(1000, 1, 0, 1, 0, 0.2f),   // drawn
              Scene(4010, 1, 0, 3, 0, 0.2f),   // picture to video: 4 of 10 frames
              Scene(3099, 1, 0, 1, 1, 0.2f),   // no such effect
              Scene(5014, 3, 0, 1, 1, 0.2f)};  // video to picture: runs out, still 10 frames
  rtest::RecordingSink sink;
  FXPassStatus status;
  {
    OrvVideoFXController controller(Params());
    controller.WriteThemeVideo(theme);
    status = controller.GetPassStatus();
  }
  ASSERT_EQ(status.scenes.size(), 4u);
  EXPECT_EQ(status.scenes[0].status, SceneOutcome::Status::Drawn);
  EXPECT_EQ(status.scenes[1].status, SceneOutcome::Status::CutShort);
  EXPECT_EQ(status.scenes[1].framesWritten, 4);
  EXPECT_EQ(status.scenes[1].why, "the video gave 4 of the block's 10 frames");
  EXPECT_EQ(status.scenes[2].status, SceneOutcome::Status::Skipped);
  EXPECT_EQ(status.scenes[3].status, SceneOutcome::Status::CutShort);
  EXPECT_EQ(status.scenes[3].framesWritten, 10);
  EXPECT_EQ(status.scenesDrawn, 1);
  EXPECT_EQ(status.scenesCutShort, 2);
  EXPECT_EQ(status.scenesSkipped, 1);
  EXPECT_TRUE(status.completed);
  EXPECT_EQ(sink.frames.size(), 5u + 4u + 10u);
  const std::string log = ReadFile(GetLogFilePath());
  EXPECT_NE(log.find("## Scene 2 of 4 cut short: the video gave 4 of the block's 10 frames (4 of 10 frames written)"),
            std::string::npos);
  EXPECT_NE(log.find("Scenes: 1 drawn, 2 cut short, 1 skipped, 0 failed; 19 frames written"), std::string::npos);
  ExpectCleanGLLog();
}

TEST_F(RenderTest, BadScenesAreSkippedAndTheRestRenders) {
  if (!rtest::HaveDisplay()) GTEST_SKIP() << "no display for OpenGL";
  resource.mVideoList = {SeparatorEntry{3, 7}};  // paper index outside the list
  sequence = {Scene(1000, 1, 99, 1, 99, 1.0f),   // image index outside the list
              Scene(3000, 1, 0, 3, 0, 1.0f),     // no videos in this run
              Scene(-1, 1, 0, 1, 1, 1.0f),       // negative code
              Scene(3099, 1, 0, 1, 1, 1.0f),     // no such effect
              Scene(4001, 1, 0, 1, 1, 1.0f),     // code of another scene kind
              Scene(1000, 5, 0, 1, 0, 1.0f),     // unknown type
              Scene(1000, 1, 0, 1, 0, 0.2f)};    // fine: 5 frames
  hostSlots.resize(2);  // slot 2 and the paper slot 3 are outside the host's slots
  sequence.push_back(Scene(1000, 1, 2, 1, 2, 1.0f));
  sequence.push_back(Scene(1000, 2, 0, 2, 0, 1.0f));
  sequence.push_back(Scene(3014, 1, 0, 1, 1, 0.2f));  // fine: 5 frames
  rtest::RecordingSink sink;
  FXPassStatus status;
  {
    OrvVideoFXController controller(Params());
    controller.WriteThemeVideo(theme);
    status = controller.GetPassStatus();
  }
  EXPECT_TRUE(status.completed);
  EXPECT_EQ(status.scenesSkipped, 8);
  EXPECT_EQ(sink.frames.size(), 10u);
  EXPECT_EQ(theme->calls.count(2), 0u);
  EXPECT_EQ(theme->calls.count(3), 0u);
  const std::string log = ReadFile(GetLogFilePath());
  EXPECT_NE(log.find("## Scene skipped"), std::string::npos);
}

TEST_F(RenderTest, CancellationStopsThePassAndTheOutputStillCloses) {
  if (!rtest::HaveDisplay()) GTEST_SKIP() << "no display for OpenGL";
  sequence = {Scene(1000, 1, 0, 1, 0, 0.4f), Scene(1000, 1, 1, 1, 1, 0.4f), Scene(6001, 1, 2, 1, 2, 0.4f)};
  rtest::RecordingSink sink;
  sink.onFrame = [](int count) {
    if (count == 13) g_isFXCancel = true;
  };
  bool cancelled = false;
  FXPassStatus status;
  {
    OrvVideoFXController controller(Params());
    cancelled = controller.WriteThemeVideo(theme);
    status = controller.GetPassStatus();
    EXPECT_FALSE(controller.PassCompleted());
  }
  EXPECT_TRUE(cancelled);
  EXPECT_TRUE(status.cancelled);
  EXPECT_EQ(sink.frames.size(), 13u);
  EXPECT_EQ(status.framesWritten, static_cast<int64_t>(sink.frames.size()));
  g_isFXCancel = false;
  cv::VideoCapture out(dir + "_output.avi", cv::CAP_FFMPEG);
  ASSERT_TRUE(out.isOpened());
  int decoded = 0;
  cv::Mat frame;
  while (out.read(frame)) ++decoded;
  EXPECT_EQ(decoded, static_cast<int>(sink.frames.size()));
}

TEST_F(RenderTest, NoDisplayEndsThePassWithoutDrawing) {
  const char* display = std::getenv("DISPLAY");
  const std::string saved = display ? display : "";
  glfwTerminate();
  ::unsetenv("DISPLAY");
  sequence = {Scene(1000, 1, 0, 1, 0, 1.0f), Scene(1000, 1, 1, 1, 1, 1.0f)};
  rtest::RecordingSink sink;
  bool cancelled = true;
  FXPassStatus status;
  {
    OrvVideoFXController controller(Params());
    cancelled = controller.WriteThemeVideo(theme);
    status = controller.GetPassStatus();
  }
  if (!saved.empty()) ::setenv("DISPLAY", saved.c_str(), 1);
  EXPECT_FALSE(cancelled);
  EXPECT_FALSE(status.completed);
  EXPECT_TRUE(status.noContext);
  EXPECT_TRUE(sink.frames.empty());
  EXPECT_TRUE(gFirstSlotImagePath.empty());
  const std::string log = ReadFile(GetLogFilePath());
  EXPECT_NE(log.find("## Couldn't create the OpenGL context"), std::string::npos);
  EXPECT_EQ(log.find("glGetError()"), std::string::npos);
}

TEST_F(RenderTest, AnAllocationThatFailsEndsThePassAtItsScene) {
  if (!rtest::HaveDisplay()) GTEST_SKIP() << "no display for OpenGL";
  sequence = {Scene(1000, 1, 0, 1, 0, 0.2f), Scene(1000, 1, 1, 1, 1, 0.2f), Scene(1000, 1, 2, 1, 2, 0.2f)};
  const std::function<void()> failures[] = {[] { throw std::bad_alloc(); },
                                            [] { CV_Error(cv::Error::StsNoMem, "Failed to allocate 8294400 bytes"); }};
  for (const auto& fail : failures) {
    theme->failure[1] = fail;
    FXPassStatus status;
    {
      OrvVideoFXController controller(Params());
      EXPECT_FALSE(controller.WriteThemeVideo(theme));
      status = controller.GetPassStatus();
    }
    EXPECT_TRUE(status.outOfMemory);
    EXPECT_FALSE(status.completed);
    ASSERT_EQ(status.scenes.size(), 2u) << "the walk goes on past the scene short of memory";
    EXPECT_EQ(status.scenes[1].status, SceneOutcome::Status::OutOfMemory);
    EXPECT_EQ(status.framesWritten, 5);
  }
  EXPECT_NE(ReadFile(GetLogFilePath()).find("## Scene 2 of 3 out of memory: "), std::string::npos);
}

TEST_F(RenderTest, APassThatWritesNoFrameIsNotComplete) {
  if (!rtest::HaveDisplay()) GTEST_SKIP() << "no display for OpenGL";
  sequence = {Scene(1000, 1, 99, 1, 99, 1.0f), Scene(-1, 1, 0, 1, 1, 1.0f)};  // every scene skipped
  FXPassStatus status;
  {
    OrvVideoFXController controller(Params());
    EXPECT_FALSE(controller.WriteThemeVideo(theme));
    status = controller.GetPassStatus();
  }
  EXPECT_FALSE(status.completed);
  EXPECT_EQ(status.framesWritten, 0);
  EXPECT_NE(ReadFile(GetLogFilePath()).find("## No frame was written; the render pass has not completed."),
            std::string::npos);
}

TEST(BlockLocationTest, GlobalIndexWalksTheVideosAndWraps) {
  std::vector<SummarizedVideo> list(2);
  list[0].fileName = "a.mp4";
  list[1].fileName = "b.mp4";
  list[0].blocks.resize(3);
  list[1].blocks.resize(3);
  SummaryLocation loc = OrvVideoFXController::GetSuperFrameBlockLocation(4, &list);
  EXPECT_EQ(loc.videoName, "b.mp4");
  EXPECT_EQ(loc.block, &list[1].blocks[1]);
  loc = OrvVideoFXController::GetSuperFrameBlockLocation(7, &list);
  EXPECT_EQ(loc.videoName, "a.mp4");
  EXPECT_EQ(loc.block, &list[0].blocks[1]);
  EXPECT_EQ(OrvVideoFXController::GetSuperFrameBlockLocation(-1, &list).block, nullptr);
  EXPECT_EQ(OrvVideoFXController::GetSuperFrameBlockLocation(0, nullptr).block, nullptr);
  std::vector<SummarizedVideo> empty(2);
  EXPECT_EQ(OrvVideoFXController::GetSuperFrameBlockLocation(3, &empty).block, nullptr);
}

}  // namespace
