// Video directions of the quad transitions when the video is not what it
// should be (missing reader, empty block, failed seek, short video, missing
// transforms), papers, cancel, and the Zoom map's log.
#include "test_quad_util.h"

using namespace quadtest;

namespace {

const float kOption = 0.0f;

cv::Vec3d Centre(const cv::Mat& frame) {
  const cv::Vec3b c = frame.at<cv::Vec3b>(frame.rows / 2, frame.cols / 2);
  return cv::Vec3d(c[0], c[1], c[2]);
}

cv::Vec3d Colour(const cv::Vec3b& c) { return cv::Vec3d(c[0], c[1], c[2]); }

double Distance(const cv::Vec3d& a, const cv::Vec3d& b) { return cv::norm(a - b, cv::NORM_INF); }

class QuadVideoTest : public QuadGLTest {
 protected:
  std::string LogSince(size_t* offset) {
    const std::string text = ReadFile(mLog);
    const std::string tail = text.substr(std::min(*offset, text.size()));
    *offset = text.size();
    return tail;
  }
  void StartLog() { mLog = StartTestLog(); }

  std::string mLog;
};

TEST_F(QuadVideoTest, WithoutAReaderTheSceneIsLoggedAndShowsThePicture) {
  StartLog();
  size_t at = ReadFile(mLog).size();
  const cv::Mat image = PictureR();
  SuperFrame block = Block(0, 6);

  EXPECT_EQ(maker()->FadeinI2V(&block, nullptr, &image, 4, &kOption).status, SceneOutcome::Status::Skipped);
  EXPECT_TRUE(frames.empty());
  std::string log = LogSince(&at);
  EXPECT_NE(log.find("[Transition_Fadein::TranstionI2V]"), std::string::npos) << log;
  EXPECT_NE(log.find("No input frame handler"), std::string::npos) << log;

  EXPECT_EQ(maker()->FadeinV2I(&block, 2, nullptr, image, 6, 4, &kOption).status, SceneOutcome::Status::CutShort);
  ASSERT_EQ(frames.size(), 6u);
  for (const cv::Mat& f : frames) EXPECT_LT(Distance(Centre(f), Colour(image.at<cv::Vec3b>(45, 80))), 3.0);
  log = LogSince(&at);
  EXPECT_NE(log.find("[Transition_Fadein::TranstionV2I]"), std::string::npos) << log;
  EXPECT_EQ(NewGLErrors(), 0u);
}

TEST_F(QuadVideoTest, EmptyBlocksAndFailedSeeksAreLogged) {
  StartLog();
  UseClip(TestClips().coded);
  size_t at = ReadFile(mLog).size();
  const cv::Mat image = PictureL();

  SuperFrame empty = Block(0, 0);
  EXPECT_EQ(maker()->DiagonalI2V(&empty, nullptr, &image, 0, &kOption).status, SceneOutcome::Status::Skipped);
  EXPECT_TRUE(frames.empty());
  EXPECT_NE(LogSince(&at).find("Video block has no frames"), std::string::npos);

  EXPECT_EQ(maker()->DiagonalI2V(nullptr, nullptr, &image, 0, &kOption).status, SceneOutcome::Status::Skipped);
  EXPECT_TRUE(frames.empty());
  EXPECT_NE(LogSince(&at).find("No video block given"), std::string::npos);

  SuperFrame before = Block(0, 3);
  before.sfStart = -1;
  EXPECT_EQ(maker()->DiagonalI2V(&before, nullptr, &image, 0, &kOption).status, SceneOutcome::Status::Drawn);
  EXPECT_NE(LogSince(&at).find("Could not seek to the block start -1 us"), std::string::npos);

  // No option at all reads as 0.0: Move's first row, ending on the end picture.
  const cv::Mat r = PictureR();
  frames.clear();
  EXPECT_EQ(maker()->MoveI2I(&image, &r, 2, 0, nullptr).status, SceneOutcome::Status::Drawn);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_LT(Distance(Colour(frames[1].at<cv::Vec3b>(5, 5)), Colour(r.at<cv::Vec3b>(5, 5))), 3.0);
  EXPECT_NE(LogSince(&at).find("No effect option given; 0.0 used"), std::string::npos);
  EXPECT_EQ(NewGLErrors(), 0u);
}

TEST_F(QuadVideoTest, ShortVideoEndsPictureToVideoEarlyAndHoldsVideoToPicture) {
  StartLog();
  UseClip(TestClips().coded);
  size_t at = ReadFile(mLog).size();
  const cv::Mat image = PictureR();
  const int start = TestClips().codedCount - 6;
  const int live = LiveGLObjects();

  // Only 6 of 11 frames exist: picture to video writes those 6, in order.
  SuperFrame toVideo = Block(start, 11);
  EXPECT_EQ(maker()->FadeinI2V(&toVideo, nullptr, &image, 0, &kOption).status, SceneOutcome::Status::CutShort);
  ASSERT_EQ(frames.size(), 6u);
  for (int k = 0; k < 6; ++k) EXPECT_LT(Distance(Centre(frames[k]), Colour(CodedColour(start + k))), 3.0) << k;
  EXPECT_NE(LogSince(&at).find("Video gave 6 of the block's 11 frames"), std::string::npos);

  // Video to picture keeps its 11 frames; from the failed read on, the picture.
  SuperFrame fromVideo = Block(start, 11);
  frames.clear();
  EXPECT_EQ(maker()->FadeinV2I(&fromVideo, 5, nullptr, image, 11, 6, &kOption).status, SceneOutcome::Status::CutShort);
  ASSERT_EQ(frames.size(), 11u);
  for (int k = 0; k < 5; ++k) EXPECT_LT(Distance(Centre(frames[k]), Colour(CodedColour(start + k))), 3.0) << k;
  for (int k = 6; k < 11; ++k)
    EXPECT_LT(Distance(Colour(frames[k].at<cv::Vec3b>(5, 5)), Colour(image.at<cv::Vec3b>(5, 5))), 3.0) << k;
  EXPECT_NE(LogSince(&at).find("Video gave no frame at output frame 6 of 11"), std::string::npos);
  EXPECT_EQ(LiveGLObjects(), live);
  EXPECT_EQ(NewGLErrors(), 0u);
}

TEST_F(QuadVideoTest, FramesAreWarpedByTheirOwnTransformAndIdentityPastTheList) {
  StartLog();
  UseClip(TestClips().coded);
  size_t at = ReadFile(mLog).size();
  const cv::Mat image = PictureL();

  // Two transforms for five frames: frame 0 moved 40 px right, frame 1 not.
  SuperFrame block = Block(2, 5, 2);
  block.transforms[0][2] = 40.0f;
  EXPECT_EQ(maker()->DiagonalI2V(&block, nullptr, &image, 0, &kOption).status, SceneOutcome::Status::Drawn);
  ASSERT_EQ(frames.size(), 5u);
  // The warp leaves black at the left of frame 0 only.
  EXPECT_LT(cv::norm(Colour(frames[0].at<cv::Vec3b>(45, 3))), 3.0);
  for (int k = 0; k < 5; ++k) {
    EXPECT_LT(Distance(Colour(frames[k].at<cv::Vec3b>(45, 120)), Colour(CodedColour(2 + k))), 3.0) << k;
    if (k > 0) {
      EXPECT_LT(Distance(Colour(frames[k].at<cv::Vec3b>(45, 3)), Colour(CodedColour(2 + k))), 3.0) << k;
    }
  }
  EXPECT_NE(LogSince(&at).find("No transform for frame 2 of the block (2 given); identity used"), std::string::npos);

  // The shared reader stays after the last frame read.
  EXPECT_EQ(reader()->getFrameIndex(), 7);

  // A block without any transform plays unwarped.
  SuperFrame none = Block(2, 3, 0);
  frames.clear();
  EXPECT_EQ(maker()->DiagonalV2I(&none, 0, nullptr, image, 3, 3, &kOption).status, SceneOutcome::Status::Drawn);
  EXPECT_EQ(frames.size(), 3u);
  EXPECT_EQ(NewGLErrors(), 0u);
}

TEST_F(QuadVideoTest, PaperCoversTheVideoByItsAlpha) {
  UseClip(TestClips().coded);
  const cv::Mat image = PictureL();
  const cv::Vec3d video = Colour(CodedColour(3));
  const cv::Vec3d art(200, 30, 160);
  auto centreWith = [&](const cv::Mat* paper) {
    SuperFrame block = Block(3, 1);
    frames.clear();
    maker()->MoveI2V(&block, paper, &image, 0, &kOption);
    return frames.size() == 1 ? Centre(frames[0]) : cv::Vec3d(-1, -1, -1);
  };
  const cv::Mat clear(kH, kW, CV_8UC4, cv::Scalar(art[0], art[1], art[2], 0));
  const cv::Mat half(kH, kW, CV_8UC4, cv::Scalar(art[0], art[1], art[2], 128));
  const cv::Mat full(kH, kW, CV_8UC4, cv::Scalar(art[0], art[1], art[2], 255));
  const cv::Mat opaque(kH, kW, CV_8UC3, cv::Scalar(art[0], art[1], art[2]));
  EXPECT_LT(Distance(centreWith(nullptr), video), 3.0);
  EXPECT_LT(Distance(centreWith(&clear), video), 3.0);
  EXPECT_LT(Distance(centreWith(&half), video * (127.0 / 255) + art * (128.0 / 255)), 3.0);
  EXPECT_LT(Distance(centreWith(&full), art), 3.0);
  EXPECT_LT(Distance(centreWith(&opaque), art), 3.0);
  // An empty paper hides nothing.
  const cv::Mat empty;
  EXPECT_LT(Distance(centreWith(&empty), video), 3.0);
  EXPECT_EQ(NewGLErrors(), 0u);
}

TEST_F(QuadVideoTest, CancelStopsWritingAndReturnsTrue) {
  const cv::Mat l = PictureL(), r = PictureR();
  const int live = LiveGLObjects();
  g_isFXCancel = true;
  EXPECT_EQ(maker()->SwirlI2I(&l, &r, 5, 5, &kOption).status, SceneOutcome::Status::Cancelled);
  UseClip(TestClips().coded);
  SuperFrame block = Block(0, 5);
  EXPECT_EQ(maker()->SwirlI2V(&block, nullptr, &l, 5, &kOption).status, SceneOutcome::Status::Cancelled);
  EXPECT_EQ(maker()->SwirlV2I(&block, 0, nullptr, r, 5, 5, &kOption).status, SceneOutcome::Status::Cancelled);
  EXPECT_TRUE(frames.empty());
  g_isFXCancel = false;

  // Cancelled from the sink during the third frame: nothing after it.
  OrvFXFrameHandler::SetFrameSink([this](const cv::Mat& f) {
    frames.push_back(f.clone());
    if (frames.size() == 3) g_isFXCancel = true;
  });
  EXPECT_EQ(maker()->SwirlI2I(&l, &r, 8, 8, &kOption).status, SceneOutcome::Status::Cancelled);
  EXPECT_EQ(frames.size(), 3u);
  g_isFXCancel = false;
  frames.clear();
  SuperFrame longer = Block(0, 8);
  EXPECT_EQ(maker()->SwirlV2I(&longer, 2, nullptr, r, 8, 6, &kOption).status, SceneOutcome::Status::Cancelled);
  EXPECT_EQ(frames.size(), 3u);
  g_isFXCancel = false;
  // Cut short or not, every texture and shader made was deleted.
  EXPECT_EQ(LiveGLObjects(), live);
  EXPECT_EQ(NewGLErrors(), 0u);
}

TEST_F(QuadVideoTest, ZoomLogsItsMapFile) {
  StartLog();
  size_t at = ReadFile(mLog).size();
  const cv::Mat l = PictureL(), r = PictureR();
  const std::string map = Root() + "/res/map_zoom.png";
  std::remove(map.c_str());
  EXPECT_EQ(maker()->ZoomI2I(&l, &r, 4, 4, &kOption).status, SceneOutcome::Status::Drawn);
  EXPECT_EQ(frames.size(), 4u);
  std::string log = LogSince(&at);
  EXPECT_NE(log.find("[IS_EXIST_FILE]"), std::string::npos) << log;
  EXPECT_NE(log.find("File Not Exist, Path : " + map), std::string::npos) << log;
  EXPECT_NE(log.find("[Transition_Zoom::TranstionI2I]"), std::string::npos) << log;
  EXPECT_NE(log.find("Could not found map file : " + map), std::string::npos) << log;

  ASSERT_TRUE(cv::imwrite(map, cv::Mat(16, 16, CV_8UC1, cv::Scalar(128))));
  const std::string size = std::to_string(ReadFile(map).size());
  EXPECT_EQ(maker()->ZoomI2I(&l, &r, 4, 4, &kOption).status, SceneOutcome::Status::Drawn);
  log = LogSince(&at);
  EXPECT_NE(log.find("File Exist, Path : " + map + ", Size : " + size + " bytes"), std::string::npos) << log;
  EXPECT_EQ(log.find("Could not found map file"), std::string::npos) << log;
  EXPECT_EQ(CountOf(log, "glGetError()"), 0u);
}

}  // namespace
