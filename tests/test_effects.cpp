// The rendering engine's own effects, drawn off-screen and checked through
// the frame sink in front of the encoder.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "AsyncFrameWriter.h"
#include "GLErrorCheck.h"
#include "OrvEffectMaker.h"
#include "ShaderUtils.h"
#include "Transition_Blending.h"
#include "Transition_NoEffect.h"
#include "Transition_ThreeWay.h"
#include "api/Log.h"
#include "api/PathUtils.h"
#include "fxcontroller/OrvFXFrameHandler.h"
#include "test_render_util.h"

namespace {

constexpr int kW = 320;
constexpr int kH = 180;

using rtest::MaxDiff;

class EffectsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!rtest::HaveDisplay()) GTEST_SKIP() << "no display for OpenGL";
    g_isFXCancel = false;
    savedTempDir = gOutfileTempDir;
    dir = rtest::MakeTempDir("fx");
    ref = dir + "ref.avi";
    ASSERT_TRUE(rtest::WriteSolidClip(ref, 12, kW, kH, 25.0));
    writer = std::make_unique<OrvFXFrameHandler>();
    ASSERT_TRUE(writer->setParameters(ref, dir + "out.avi"));
    ASSERT_EQ(writer->getWidth(), kW);
    gOutfileTempDir = dir;
    maker = std::make_unique<OrvEffectMaker>(kW, kH, writer.get(), dir);
    ASSERT_TRUE(maker->InitOpenGL());
    errorsBefore = GetGLErrorCount();
  }
  void TearDown() override {
    if (maker) {
      EXPECT_EQ(GetGLErrorCount(), errorsBefore) << "OpenGL reported errors";
      maker->DeInitOpenGL();
    }
    maker.reset();
    writer.reset();
    gInputFrameHandler = nullptr;
    g_isFXCancel = false;
    if (!savedTempDir.empty()) gOutfileTempDir = savedTempDir;
    if (!dir.empty()) rtest::RemoveTempDir(dir);
  }

  std::string dir, ref, savedTempDir;
  std::unique_ptr<OrvFXFrameHandler> writer;
  std::unique_ptr<OrvEffectMaker> maker;
  uint64_t errorsBefore = 0;
};

// Top half opaque red-ish, bottom-left transparent, bottom-right opaque green-ish.
cv::Mat HoldPicture(cv::Mat* expectedBgr) {
  cv::Mat pic(kH, kW, CV_8UC4, cv::Scalar(10, 20, 200, 255));
  pic(cv::Rect(0, kH / 2, kW / 2, kH / 2)).setTo(cv::Scalar(200, 100, 50, 0));
  pic(cv::Rect(kW / 2, kH / 2, kW / 2, kH / 2)).setTo(cv::Scalar(50, 200, 100, 255));
  if (expectedBgr) {
    *expectedBgr = cv::Mat(kH, kW, CV_8UC3, cv::Scalar(10, 20, 200));
    (*expectedBgr)(cv::Rect(0, kH / 2, kW / 2, kH / 2)).setTo(cv::Scalar(0, 0, 0));
    (*expectedBgr)(cv::Rect(kW / 2, kH / 2, kW / 2, kH / 2)).setTo(cv::Scalar(50, 200, 100));
  }
  return pic;
}

TEST_F(EffectsTest, ImageHoldReproducesThePictureWithTransparentPartsBlack) {
  rtest::RecordingSink sink;
  cv::Mat expected;
  const cv::Mat pic = HoldPicture(&expected);
  EXPECT_EQ(maker->ShowImageNoEffect(&pic, 3).status, SceneOutcome::Status::Drawn);
  ASSERT_EQ(sink.frames.size(), 3u);
  for (const cv::Mat& frame : sink.frames) EXPECT_LE(MaxDiff(frame, expected), 1);

  // The pass's first frame is also the first-slot still, and only it.
  EXPECT_EQ(gFirstSlotImagePath, dir + "_fsi.png");
  const cv::Mat still = cv::imread(dir + "_fsi.png", cv::IMREAD_COLOR);
  EXPECT_EQ(MaxDiff(still, sink.frames[0]), 0);
  EXPECT_FALSE(gWriteFirstFrame);
  const cv::Mat other(kH, kW, CV_8UC3, cv::Scalar(1, 2, 3));
  maker->ShowImageNoEffect(&other, 1);
  EXPECT_EQ(MaxDiff(cv::imread(dir + "_fsi.png", cv::IMREAD_COLOR), still), 0);
}

// Within a pass a scene takes over the window of the one before: it gets it
// in the state of a new context, whatever that scene left behind.
TEST_F(EffectsTest, ASceneOfAPassIsNotSwayedByWhatTheOneBeforeLeft) {
  rtest::RecordingSink sink;
  const cv::Mat picture = HoldPicture(nullptr);
  cv::Mat other(kH, kW, CV_8UC3, cv::Scalar(200, 60, 30));
  cv::circle(other, cv::Point(kW / 3, kH / 2), kH / 4, cv::Scalar(30, 220, 230), cv::FILLED);
  maker->BeginPass();
  auto scenes = [&] {
    sink.frames.clear();
    maker->ShowImageNoEffect(&picture, 1);
    maker->DiagonalI2I(&picture, &other, 3, 2, nullptr);
    maker->SwapI2I(&picture, &other, 3, 2, nullptr);
    return sink.frames;
  };
  const std::vector<cv::Mat> fresh = scenes();
  ASSERT_EQ(fresh.size(), 7u);
  // Buffers left bound would turn the client-side vertices and indices of
  // the quads into offsets; blending and the viewport each effect sets.
  GLuint buffers[2] = {0, 0};
  glGenBuffers(2, buffers);
  const std::vector<float> junk(64, 0.25f);
  for (GLenum target : {GL_ARRAY_BUFFER, GL_ELEMENT_ARRAY_BUFFER}) {
    glBindBuffer(target, buffers[target == GL_ARRAY_BUFFER ? 0 : 1]);
    glBufferData(target, junk.size() * sizeof(float), junk.data(), GL_STATIC_DRAW);
  }
  glDisable(GL_BLEND);
  glViewport(0, 0, kW / 2, kH / 3);
  maker->DeInitOpenGL();
  ASSERT_TRUE(maker->InitOpenGL());
  const std::vector<cv::Mat> next = scenes();
  ASSERT_EQ(next.size(), fresh.size());
  for (size_t i = 0; i < next.size(); ++i) EXPECT_EQ(MaxDiff(next[i], fresh[i]), 0) << "frame " << i;
  glDeleteBuffers(2, buffers);
  maker->EndPass();
}

TEST_F(EffectsTest, GreyWithAlphaUploadsAsGreyKeepingItsAlpha) {
  // Grey rises along the row; alpha differs per pixel.
  cv::Mat picture(2, 3, CV_8UC2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x)
      picture.at<cv::Vec2b>(y, x) = cv::Vec2b(static_cast<uchar>(30 + 50 * x), static_cast<uchar>(y == 0 ? 255 : 40 * x));
  const GLuint texture = ShaderUtils::MatToTexture(picture);
  cv::Mat back(2, 3, CV_8UC4, cv::Scalar::all(7));
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_BGRA, GL_UNSIGNED_BYTE, back.data);
  glDeleteTextures(1, &texture);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) {
      const cv::Vec2b in = picture.at<cv::Vec2b>(y, x);
      EXPECT_EQ(back.at<cv::Vec4b>(y, x), cv::Vec4b(in[0], in[0], in[0], in[1])) << x << "," << y;
    }
  }

  // Drawn as a hold, the transparent half shows black.
  cv::Mat hold(kH, kW, CV_8UC2, cv::Scalar(90, 255));
  hold(cv::Rect(0, 0, kW / 2, kH)).setTo(cv::Scalar(90, 0));
  cv::Mat expected(kH, kW, CV_8UC3, cv::Scalar::all(90));
  expected(cv::Rect(0, 0, kW / 2, kH)).setTo(cv::Scalar::all(0));
  rtest::RecordingSink sink;
  EXPECT_EQ(maker->ShowImageNoEffect(&hold, 1).status, SceneOutcome::Status::Drawn);
  ASSERT_EQ(sink.frames.size(), 1u);
  EXPECT_LE(MaxDiff(sink.frames[0], expected), 1);

  // Other depths keep theirs.
  const cv::Mat wide(1, 1, CV_16UC2, cv::Scalar(1000, 2000));
  const cv::Mat four = ShaderUtils::GreyAlphaToBgra(wide);
  ASSERT_EQ(four.type(), CV_16UC4);
  EXPECT_EQ(four.at<cv::Vec4w>(0, 0), cv::Vec4w(1000, 1000, 1000, 2000));
}

TEST_F(EffectsTest, ImageHoldCountsStretchingAndCancellation) {
  rtest::RecordingSink sink;
  const cv::Mat small(36, 64, CV_8UC3, cv::Scalar(30, 60, 90));
  maker->ShowImageNoEffect(&small, 0);
  EXPECT_TRUE(sink.frames.empty());

  maker->ShowImageNoEffect(&small, 2);
  ASSERT_EQ(sink.frames.size(), 2u);
  EXPECT_LE(MaxDiff(sink.frames[1], cv::Mat(kH, kW, CV_8UC3, cv::Scalar(30, 60, 90))), 1);

  const cv::Mat grey(kH, kW, CV_8UC1, cv::Scalar(77));
  maker->ShowImageNoEffect(&grey, 1);
  ASSERT_EQ(sink.frames.size(), 3u);
  EXPECT_LE(MaxDiff(sink.frames[2], cv::Mat(kH, kW, CV_8UC3, cv::Scalar(77, 77, 77))), 1);

  g_isFXCancel = true;
  maker->ShowImageNoEffect(&small, 5);
  EXPECT_EQ(sink.frames.size(), 3u);
  g_isFXCancel = false;

  // Cancelled while frames are encoded: the frames in flight still land,
  // the rest of the hold is not drawn.
  sink.frames.clear();
  sink.onFrame = [](int count) {
    if (count == 2) g_isFXCancel = true;
  };
  maker->ShowImageNoEffect(&small, 40);
  EXPECT_EQ(sink.frames.size(), 2u);
  g_isFXCancel = false;
}

TEST_F(EffectsTest, CancelBeforeTheFirstFrameLeavesNoStill) {
  rtest::RecordingSink sink;
  EXPECT_TRUE(gWriteFirstFrame);
  EXPECT_TRUE(gFirstSlotImagePath.empty());
  g_isFXCancel = true;
  const cv::Mat pic(kH, kW, CV_8UC3, cv::Scalar(5, 5, 5));
  maker->ShowImageNoEffect(&pic, 3);
  g_isFXCancel = false;
  EXPECT_TRUE(sink.frames.empty());
  EXPECT_TRUE(gWriteFirstFrame);
  EXPECT_TRUE(gFirstSlotImagePath.empty());
}

// Quadrants: top-left red, top-right green, bottom-left blue, bottom-right yellow.
cv::Mat QuadrantPicture() {
  cv::Mat pic(kH, kW, CV_8UC3);
  pic(cv::Rect(0, 0, kW / 2, kH / 2)).setTo(cv::Scalar(0, 0, 255));
  pic(cv::Rect(kW / 2, 0, kW / 2, kH / 2)).setTo(cv::Scalar(0, 255, 0));
  pic(cv::Rect(0, kH / 2, kW / 2, kH / 2)).setTo(cv::Scalar(255, 0, 0));
  pic(cv::Rect(kW / 2, kH / 2, kW / 2, kH / 2)).setTo(cv::Scalar(0, 255, 255));
  return pic;
}

TEST_F(EffectsTest, ThreePanelsSlideInAndEndInPlace) {
  rtest::RecordingSink sink;
  const cv::Mat pic = QuadrantPicture();
  const cv::Scalar red(0, 0, 255), green(0, 255, 0), blue(255, 0, 0), yellow(0, 255, 255), white(255, 255, 255);
  maker->ThreeWayOneImage(6001, &pic, 10);
  ASSERT_EQ(sink.frames.size(), 10u);
  auto at = [&](int frame, double u, double v) {
    return sink.frames[static_cast<size_t>(frame)].at<cv::Vec3b>(static_cast<int>(v * kH), static_cast<int>(u * kW));
  };
  struct Probe {
    double u, v;
    cv::Scalar colour;
  };
  auto check = [&](int frame, const std::vector<Probe>& probes) {
    for (const Probe& p : probes)
      EXPECT_TRUE(rtest::Near(at(frame, p.u, p.v), p.colour, 2))
          << "frame " << frame << " at (" << p.u << ", " << p.v << ") is " << rtest::Describe(at(frame, p.u, p.v));
  };
  // First frame: the panels have only begun to move in.
  check(0, {{0.5, 0.5, white}, {0.3, 0.01, blue}, {0.02, 0.8, yellow}, {0.5, 0.3, white}});
  // Middle frame (pro about 0.89): panels part way, sampled shifted.
  check(5, {{0.3, 0.2, red}, {0.3, 0.5, blue}, {0.5, 0.8, yellow}, {0.95, 0.8, white}, {0.8, 0.3, green}});
  // Last frame: the picture in three panels with white gutters.
  check(9, {{0.3, 0.3, red},
            {0.3, 0.8, blue},
            {0.85, 0.3, green},
            {0.85, 0.8, yellow},
            {0.70, 0.3, white},
            {0.5, 0.595, white}});
}

class VideoHoldTest : public EffectsTest {
 protected:
  void SetUp() override {
    EffectsTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    reader = std::make_unique<OrvFXFrameHandler>();
    ASSERT_TRUE(reader->setParameters(ref, ""));
    OrvEffectMaker::SetInputFrameHandler(reader.get());
    block.sfStart = 0;
    block.sfSize = 6;
    block.transforms.assign(6, std::array<float, 9>{1, 0, 0, 0, 1, 0, 0, 0, 1});
  }
  void TearDown() override {
    gInputFrameHandler = nullptr;
    reader.reset();
    EffectsTest::TearDown();
  }
  std::unique_ptr<OrvFXFrameHandler> reader;
  SuperFrame block;
};

TEST_F(VideoHoldTest, PaperCoversTheVideoByItsAlpha) {
  rtest::RecordingSink sink;
  cv::Mat paper(kH, kW, CV_8UC4, cv::Scalar(0, 0, 0, 0));
  paper(cv::Rect(kW / 3, 0, kW / 3, kH)).setTo(cv::Scalar(255, 255, 255, 255));
  paper(cv::Rect(2 * kW / 3, 0, kW - 2 * kW / 3, kH)).setTo(cv::Scalar(0, 0, 0, 128));
  Transition_Blending effect(kW, kH, maker.get(), writer.get());
  EXPECT_TRUE(effect.BlendingEffect(&paper, &block, block.sfSize));
  DrainFrameWrites();
  ASSERT_EQ(sink.frames.size(), 6u);
  for (int i = 0; i < 6; ++i) {
    const cv::Mat& f = sink.frames[static_cast<size_t>(i)];
    const cv::Scalar video = rtest::FrameColour(i);
    EXPECT_TRUE(rtest::Near(f.at<cv::Vec3b>(kH / 2, kW / 6), video, 12)) << i << rtest::Describe(f.at<cv::Vec3b>(90, 53));
    EXPECT_TRUE(rtest::Near(f.at<cv::Vec3b>(kH / 2, kW / 2), cv::Scalar(255, 255, 255), 1));
    EXPECT_TRUE(rtest::Near(f.at<cv::Vec3b>(kH / 2, 5 * kW / 6), video * (127.0 / 255.0), 12));
  }
}

TEST_F(VideoHoldTest, EmptyPaperShowsTheVideoAndThreeChannelPaperHidesIt) {
  rtest::RecordingSink sink;
  maker->BlendingV2V(1001, cv::Mat(), &block, block.sfSize);
  ASSERT_EQ(sink.frames.size(), 6u);
  for (int i = 0; i < 6; ++i)
    EXPECT_TRUE(rtest::Near(sink.frames[static_cast<size_t>(i)].at<cv::Vec3b>(kH / 2, kW / 2), rtest::FrameColour(i), 12));

  sink.frames.clear();
  maker->BlendingV2V(1001, cv::Mat(kH, kW, CV_8UC3, cv::Scalar(9, 99, 199)), &block, block.sfSize);
  ASSERT_EQ(sink.frames.size(), 6u);
  EXPECT_LE(MaxDiff(sink.frames[3], cv::Mat(kH, kW, CV_8UC3, cv::Scalar(9, 99, 199))), 1);
}

TEST_F(VideoHoldTest, ShortTransformsRunningOutAndCancellation) {
  rtest::RecordingSink sink;
  {
    Transition_Blending effect(kW, kH, maker.get(), writer.get());
    block.transforms.resize(2);  // the rest fall back to the identity
    EXPECT_TRUE(effect.BlendingEffect(nullptr, &block, block.sfSize));
    DrainFrameWrites();
    EXPECT_EQ(sink.frames.size(), 6u);
    EXPECT_TRUE(rtest::Near(sink.frames[5].at<cv::Vec3b>(kH / 2, kW / 2), rtest::FrameColour(5), 12));

    sink.frames.clear();
    block.sfStart = 400000;  // frame 10 at 25 fps; two frames remain
    block.sfSize = 6;
    EXPECT_FALSE(effect.BlendingEffect(nullptr, &block, block.sfSize));
    EXPECT_EQ(effect.LastOutcome().status, SceneOutcome::Status::CutShort);
    EXPECT_EQ(effect.LastOutcome().framesWritten, 2);
    DrainFrameWrites();
    ASSERT_EQ(sink.frames.size(), 2u);
    EXPECT_TRUE(rtest::Near(sink.frames[0].at<cv::Vec3b>(kH / 2, kW / 2), rtest::FrameColour(10), 12));

    sink.frames.clear();
    g_isFXCancel = true;
    EXPECT_FALSE(effect.BlendingEffect(nullptr, &block, block.sfSize));
    EXPECT_EQ(effect.LastOutcome().status, SceneOutcome::Status::Cancelled);
    g_isFXCancel = false;
    DrainFrameWrites();
    EXPECT_TRUE(sink.frames.empty());
    EXPECT_FALSE(effect.BlendingEffect(nullptr, &block, 0));
    EXPECT_EQ(effect.LastOutcome().status, SceneOutcome::Status::Skipped);
    EXPECT_TRUE(sink.frames.empty());
  }
  // No reader: nothing is played.
  OrvEffectMaker::SetInputFrameHandler(nullptr);
  EXPECT_EQ(gInputFrameHandler, nullptr);
  Transition_NoEffect plain(kW, kH, maker.get(), writer.get());
  EXPECT_FALSE(plain.ShowVideo(&block));
  EXPECT_EQ(plain.LastOutcome().why, "no video could be read");
  DrainFrameWrites();
  EXPECT_TRUE(sink.frames.empty());
  OrvEffectMaker::SetInputFrameHandler(reader.get());
  block.sfStart = 0;
  EXPECT_TRUE(plain.ShowVideo(&block));
  DrainFrameWrites();
  EXPECT_EQ(sink.frames.size(), 6u);
}

TEST_F(EffectsTest, StabilisingWarpCropsEightPercentAndKeepsSize) {
  Transition_NoEffect effect(kW, kH, maker.get(), writer.get());
  cv::Mat frame(1080, 1920, CV_8UC3);
  cv::randu(frame, 0, 255);
  const cv::Mat original = frame.clone();
  static const float kIdentity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  effect.ApplyFrameTransform(&frame, kIdentity);
  cv::Mat expected;
  cv::resize(original(cv::Rect(153, 86, 1614, 908)), expected, cv::Size(1920, 1080), 0, 0, cv::INTER_LINEAR);
  EXPECT_EQ(MaxDiff(frame, expected), 0);

  cv::Mat small(720, 1280, CV_8UC3);
  cv::randu(small, 0, 255);
  cv::Mat noTransform = small.clone();
  effect.ApplyFrameTransform(&noTransform, nullptr);  // missing transform: identity
  cv::resize(small(cv::Rect(102, 57, 1076, 606)), expected, cv::Size(1280, 720), 0, 0, cv::INTER_LINEAR);
  EXPECT_EQ(MaxDiff(noTransform, expected), 0);

  // A shift of 20 pixels to the right moves the content.
  cv::Mat marker(400, 400, CV_8UC3, cv::Scalar::all(0));
  marker(cv::Rect(190, 190, 20, 20)).setTo(cv::Scalar::all(255));
  static const float kShift[9] = {1, 0, 20, 0, 1, 0, 0, 0, 1};
  effect.ApplyFrameTransform(&marker, kShift);
  cv::Mat grey;
  cv::cvtColor(marker, grey, cv::COLOR_BGR2GRAY);
  const cv::Moments m = cv::moments(grey);
  EXPECT_NEAR(m.m10 / m.m00, 200 + 20 * 400.0 / (400 - 2 * 32), 2.0);

  g_isFXCancel = true;
  cv::Mat untouched = original.clone();
  effect.ApplyFrameTransform(&untouched, kIdentity);
  g_isFXCancel = false;
  EXPECT_EQ(MaxDiff(untouched, original), 0);
}

TEST_F(EffectsTest, OddWidthsReadBackWithoutSkew) {
  maker->DeInitOpenGL();
  for (int width : {321, 1366}) {
    OrvFXFrameHandler closed;  // no output open: frames are read back, then dropped
    const int height = 181;
    OrvEffectMaker odd(width, height, &closed, dir);
    ASSERT_TRUE(odd.InitOpenGL());
    ASSERT_EQ(gFrameBufferMat.cols, width);
    cv::Mat pic(height, width, CV_8UC3);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) pic.at<cv::Vec3b>(y, x) = cv::Vec3b(x % 251, y % 251, (x * 7 + y) % 253);
    {
      Transition_NoEffect effect(width, height, &odd, &closed);
      effect.ShowImage(&pic, 1);
    }
    DrainFrameWrites();
    EXPECT_LE(MaxDiff(gFrameBufferMat, pic), 1) << width;
    odd.DeInitOpenGL();
  }
  ASSERT_TRUE(maker->InitOpenGL());
}

// The frame handed to the writer is byte for byte a GL_BGR read of the
// framebuffer, flipped upright, whatever way WriteFrame reads it.
TEST_F(EffectsTest, WrittenFrameEqualsAPlainBgrReadOfTheFramebuffer) {
  rtest::RecordingSink sink;
  cv::Mat pic(kH, kW, CV_8UC4);
  cv::randu(pic, cv::Scalar::all(0), cv::Scalar::all(256));
  EXPECT_EQ(maker->ShowImageNoEffect(&pic, 1).status, SceneOutcome::Status::Drawn);
  ASSERT_EQ(sink.frames.size(), 1u);
  cv::Mat direct(kH, kW, CV_8UC3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, kW, kH, GL_BGR, GL_UNSIGNED_BYTE, direct.data);
  cv::flip(direct, direct, 0);
  EXPECT_EQ(MaxDiff(sink.frames[0], direct), 0);
  // The random picture reaches every channel with many values.
  double low = 0, high = 0;
  cv::minMaxLoc(direct.reshape(1), &low, &high);
  EXPECT_LT(low, 10);
  EXPECT_GT(high, 245);
}

TEST_F(EffectsTest, EveryShaderCompilesAndLinks) {
  struct Pair {
    const char* name;
    const char* vs;
    const char* fs;
  };
  const Pair pairs[] = {
      {"NoEffect", Transition_NoEffect::kVertexShaderText, Transition_NoEffect::kFragmentShaderText},
      {"Blending", Transition_Blending::kVertexShaderText, Transition_Blending::kFragmentShaderText},
      {"ThreeWay", Transition_ThreeWay::kVertexShaderText, Transition_ThreeWay::kFragmentShaderText},
  };
  for (const Pair& p : pairs) {
    GLuint vs = 0, fs = 0;
    const GLuint program = ShaderUtils::CreateProgram(p.vs, &vs, p.fs, &fs);
    EXPECT_NE(program, 0u) << p.name;
    EXPECT_NE(vs, 0u);
    EXPECT_NE(fs, 0u);
    glDeleteProgram(program);
    glDeleteShader(vs);
    glDeleteShader(fs);
  }
}

TEST_F(EffectsTest, BrokenShaderIsLoggedAndYieldsNoProgram) {
  const std::string root = rtest::MakeTempDir("fxlog");
  ::mkdir((root + "Logs").c_str(), 0755);
  ::mkdir((root + "work").c_str(), 0755);
  InitLog(u"" + MultiByteToWide((root + "work/").c_str()));
  GLuint vs = 0, fs = 0;
  const GLuint program = ShaderUtils::CreateProgram(Transition_NoEffect::kVertexShaderText, &vs,
                                                    "void main() { gl_FragColor = vec4(1.0) }", &fs);
  EXPECT_EQ(program, 0u);
  EXPECT_NE(vs, 0u);
  EXPECT_EQ(fs, 0u);
  glDeleteShader(vs);
  std::ifstream log(GetLogFilePath());
  std::stringstream text;
  text << log.rdbuf();
  EXPECT_NE(text.str().find("Compile Log : "), std::string::npos);
  EXPECT_NE(text.str().find("## Shader compilation failed"), std::string::npos);
  rtest::RemoveTempDir(root);
}

TEST(EffectMakerTest, PublishesTheFrameSizeAndSurvivesRepeatedTeardown) {
  OrvEffectMaker maker(1920, 1080, nullptr, "./res/");
  EXPECT_EQ(gFrameBufferMat.rows, 1080);
  EXPECT_EQ(gFrameBufferMat.cols, 1920);
  EXPECT_EQ(gFrameBufferMat.type(), CV_8UC3);
  EXPECT_EQ(gEffectFrameWidth, 1920);
  EXPECT_EQ(gEffectResourceDir, "./res/");
  EXPECT_FALSE(maker.HasContext());
  maker.DeInitOpenGL();  // no window: only logs
  maker.DeInitOpenGL();
  // No context: members draw nothing and say so.
  const cv::Mat pic(4, 4, CV_8UC3, cv::Scalar::all(1));
  EXPECT_EQ(maker.ShowImageNoEffect(&pic, 3).status, SceneOutcome::Status::Skipped);
  EXPECT_EQ(maker.DiagonalI2I(&pic, &pic, 3, 3, nullptr).status, SceneOutcome::Status::Skipped);
  EXPECT_EQ(maker.SwapI2I(&pic, &pic, 3, 3, nullptr).status, SceneOutcome::Status::Skipped);
  if (!rtest::HaveDisplay()) return;
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(maker.InitOpenGL());
    EXPECT_TRUE(maker.HasContext());
    maker.DeInitOpenGL();
    EXPECT_FALSE(maker.HasContext());
  }
}

}  // namespace
