// Mesh transitions drawn through the effect maker: the start and end frames
// in the three directions, pixel facts of each class's middle, the video
// under its paper, and a clean GL error log; and every transition of the
// table between the holds around it.
#include "test_quad_util.h"

#include <map>

#include "AsyncFrameWriter.h"
#include "EffectTable.h"
#include "MeshTransition.h"
#include "ShaderUtils.h"
#include "Transition_Cube.h"
#include "Transition_CurlPaper.h"
#include "Transition_Doorway.h"
#include "Transition_Mosaic.h"
#include "Transition_Push.h"
#include "Transition_Swap.h"
#include "Transition_Twist.h"
#include "Transition_ZoomIn.h"

using namespace quadtest;

namespace {

using Status = SceneOutcome::Status;

const cv::Vec3d kRed(40, 40, 220);
const cv::Vec3d kBlue(220, 60, 30);
const cv::Vec3d kBlack(0, 0, 0);
const cv::Vec3d kMagenta(200, 30, 160);

cv::Mat Flat(const cv::Vec3d& colour) { return cv::Mat(kH, kW, CV_8UC3, cv::Scalar(colour[0], colour[1], colour[2])); }

// Colour at fractions of the frame's width and height.
cv::Vec3d At(const cv::Mat& frame, double x, double y) {
  const cv::Vec3b c = frame.at<cv::Vec3b>(static_cast<int>(y * frame.rows), static_cast<int>(x * frame.cols));
  return cv::Vec3d(c[0], c[1], c[2]);
}

::testing::AssertionResult Near(const cv::Vec3d& got, const cv::Vec3d& want, double tolerance = 6.0) {
  if (cv::norm(got - want, cv::NORM_INF) <= tolerance) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got " << got << " want " << want;
}

// Whether a frame shows a picture: away from a 2-pixel border, no pixel
// differs much (sub-pixel placement blurs the markers' edges) and on average
// hardly any.
::testing::AssertionResult Shows(const cv::Mat& frame, const cv::Mat& picture) {
  if (frame.empty() || frame.size() != picture.size()) return ::testing::AssertionFailure() << "no frame of that size";
  const cv::Rect inner(2, 2, frame.cols - 4, frame.rows - 4);
  cv::Mat diff;
  cv::absdiff(frame(inner), picture(inner), diff);
  double most = 0;
  cv::minMaxLoc(diff.reshape(1), nullptr, &most);
  const double mean = cv::mean(diff.reshape(1))[0];
  if (most <= 40 && mean <= 1.0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "largest difference " << most << ", mean " << mean;
}

// A class whose meshes are built at a fixed progress, whatever the frame.
template <class T>
class AtProgress : public T {
 public:
  AtProgress(OrvEffectMaker* maker, int32_t progress)
      : T(kW, kH, maker, maker->GetOutputFrameHandler()), mForced(progress) {}

 protected:
  void BuildMesh(int meshIndex, int32_t, mesh::MeshArrays& out) const override { T::Build(meshIndex, mForced, &out); }

 private:
  int32_t mForced;
};

// A paper clear but for a marker in its top right corner; the clear texels
// carry the marker's colour, so filtering at its edge mixes in no black.
cv::Mat CornerPaper() {
  const cv::Scalar clear(kMagenta[0], kMagenta[1], kMagenta[2], 0);
  cv::Mat paper(kH, kW, CV_8UC4, clear);
  paper(cv::Rect(kW * 65 / 100, kH * 8 / 100, kW * 30 / 100, kH * 30 / 100)) = clear + cv::Scalar(0, 0, 0, 255);
  return paper;
}

// A video frame under a paper, composed as the family's shader does.
cv::Mat UnderPaper(const cv::Mat& frame, const cv::Mat& paper) {
  cv::Mat alpha, colour, under;
  cv::extractChannel(paper, alpha, 3);
  alpha.convertTo(alpha, CV_32F, 1.0 / 255.0);
  cv::cvtColor(paper, colour, cv::COLOR_BGRA2BGR);
  cv::blendLinear(colour, frame, alpha, 1.0f - alpha, under);
  return under;
}

// A picture with alpha `alpha` inside `part` (fractions of its size).
cv::Mat SeeThrough(const cv::Mat& picture, const cv::Rect2d& part, int alpha) {
  cv::Mat out, alphas(picture.size(), CV_8U, cv::Scalar(255));
  alphas(cv::Rect(cv::Point(part.tl().x * picture.cols, part.tl().y * picture.rows),
                  cv::Point(part.br().x * picture.cols, part.br().y * picture.rows))) = alpha;
  cv::cvtColor(picture, out, cv::COLOR_BGR2BGRA);
  cv::insertChannel(alphas, out, 3);
  return out;
}

class MeshPixelTest : public QuadGLTest {
 protected:
  // One frame of class T between two pictures at a fixed progress.
  template <class T>
  cv::Mat Still(int32_t progress, const cv::Mat& from, const cv::Mat& to) {
    frames.clear();
    AtProgress<T> effect(maker(), progress);
    effect.TranstionI2I(&from, &to, 1, 10, nullptr);
    DrainFrameWrites();
    return frames.size() == 1 ? frames[0] : cv::Mat();
  }

  // Class T into and out of the clip in use at its start, middle and end:
  // each frame equals the same meshes between pictures with `underPaper`
  // (the clip's frame under the paper, composed here) in the video's place,
  // which the ends show upright.
  template <class T>
  void ExpectVideoAndPaperUpright(const cv::Mat& picture, const cv::Mat& paper, const cv::Mat& underPaper) {
    const int32_t max = T::Settings().maxProgress;
    const std::string name = T::Settings().className;
    EXPECT_TRUE(Shows(Still<T>(max, picture, underPaper), underPaper)) << name;
    EXPECT_TRUE(Shows(Still<T>(0, underPaper, picture), underPaper)) << name;
    for (int32_t progress : {0, max / 2, max}) {
      SCOPED_TRACE(name + " at " + std::to_string(progress));
      SuperFrame into = Block(0, 3);
      frames.clear();
      AtProgress<T>(maker(), progress).TranstionI2V(&into, &paper, &picture, 2, nullptr);
      DrainFrameWrites();
      ASSERT_EQ(frames.size(), 3u);
      const cv::Mat intoVideo = frames[2];
      EXPECT_TRUE(Shows(intoVideo, Still<T>(progress, picture, underPaper))) << "into the video";
      SuperFrame out = Block(0, 3);
      frames.clear();
      AtProgress<T>(maker(), progress).TranstionV2I(&out, 0, &paper, picture, 3, 2, nullptr);
      DrainFrameWrites();
      ASSERT_EQ(frames.size(), 3u);
      const cv::Mat outOfVideo = frames[0];
      EXPECT_TRUE(Shows(outOfVideo, Still<T>(progress, underPaper, picture))) << "out of the video";
    }
  }
};

TEST_F(MeshPixelTest, EveryClassStartsOnTheOutgoingAndEndsOnTheIncomingSide) {
  // Faces one unit apart at 742 units need a 24-bit depth buffer.
  GLint depthBits = 0;
  glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE,
                                        &depthBits);
  EXPECT_GE(depthBits, 24);
  const cv::Mat l = PictureL(), r = PictureR();
  // A paper with an opaque border and a clear centre.
  cv::Mat paper(kH, kW, CV_8UC4, cv::Scalar(kMagenta[0], kMagenta[1], kMagenta[2], 255));
  paper(cv::Rect(kW / 4, kH / 4, kW / 2, kH / 2)).setTo(cv::Scalar::all(0));
  UseClip(TestClips().coded);
  std::map<int, cv::Mat> middles;
  for (const EffectRow& row : RowsOf(RenderFamily::Mesh)) {
    const std::string name = row.name;
    frames.clear();
    EXPECT_EQ((maker()->*row.i2i)(&l, &r, 11, 10, nullptr).status, Status::Drawn) << name;
    ASSERT_EQ(frames.size(), 11u) << name;
    EXPECT_TRUE(Shows(frames[0], l)) << name;
    EXPECT_TRUE(Shows(frames[10], r)) << name;
    middles[row.number] = frames[5];

    // Into the video: the picture first; at the end the block's frame 10
    // under the paper.
    SuperFrame into = Block(0, 11);
    frames.clear();
    EXPECT_EQ((maker()->*row.i2v)(&into, &paper, &l, 10, nullptr).status, Status::Drawn) << name;
    ASSERT_EQ(frames.size(), 11u) << name;
    EXPECT_TRUE(Shows(frames[0], l)) << name;
    EXPECT_TRUE(Near(At(frames[10], 0.5, 0.5), CodedColour(10))) << name;
    EXPECT_TRUE(Near(At(frames[10], 0.1, 0.1), kMagenta)) << name;

    // Out of the video: frame 0 is the block's first frame under the paper;
    // the last one is one curve step short of the picture.
    SuperFrame out = Block(0, 11);
    frames.clear();
    EXPECT_EQ((maker()->*row.v2i)(&out, 1, &paper, r, 11, 10, nullptr).status, Status::Drawn) << name;
    ASSERT_EQ(frames.size(), 11u) << name;
    EXPECT_TRUE(Near(At(frames[0], 0.5, 0.5), CodedColour(0))) << name;
    EXPECT_TRUE(Near(At(frames[0], 0.9, 0.9), kMagenta)) << name;
  }
  // Codes 3007 and 3013 draw their own class: frame 5 of the change is what
  // the class draws at progress 1639.
  EXPECT_EQ(cv::norm(middles[7], Still<Transition_Cube>(1639, l, r), cv::NORM_INF), 0.0);
  EXPECT_EQ(cv::norm(middles[13], Still<Transition_Twist>(1639, l, r), cv::NORM_INF), 0.0);
  EXPECT_EQ(NewGLErrors(), 0u);
}

TEST_F(MeshPixelTest, AVideoThatRunsOutKeepsItsLastFrameThenShowsThePicture) {
  // Four frames are left after frame 10 of the clip; the block asks for 11
  // with a lead-in of 8.
  UseClip(TestClips().coded);
  const cv::Mat r = PictureR();
  SuperFrame late = Block(10, 11);
  frames.clear();
  const SceneOutcome outcome = maker()->SwapV2I(&late, 8, nullptr, r, 11, 3, nullptr);
  EXPECT_EQ(outcome.status, Status::CutShort);
  ASSERT_EQ(frames.size(), 11u);
  for (int k = 0; k < 4; ++k) EXPECT_TRUE(Near(At(frames[k], 0.5, 0.5), CodedColour(10 + k))) << k;
  // The failed read draws the last frame read again, not an empty one.
  EXPECT_TRUE(Near(At(frames[4], 0.5, 0.5), CodedColour(13)));
  for (int k = 5; k < 11; ++k) EXPECT_TRUE(Shows(frames[k], r)) << k;
  EXPECT_EQ(NewGLErrors(), 0u);
}

TEST_F(MeshPixelTest, MiddleFramesOfEachClass) {
  const cv::Mat red = Flat(kRed), blue = Flat(kBlue);

  // Swap half-way: the cards stand apart, the outgoing on the right.
  cv::Mat f = Still<Transition_Swap>(1500, red, blue);
  ASSERT_FALSE(f.empty());
  EXPECT_TRUE(Near(At(f, 0.5, 0.5), kBlack));
  EXPECT_TRUE(Near(At(f, 0.75, 0.5), kRed));
  EXPECT_TRUE(Near(At(f, 0.25, 0.5), kBlue));
  EXPECT_TRUE(Near(At(f, 0.55, 0.05), kBlack));

  // The page half turned: the flat quads show on both sides, the page never
  // reaches past three quarters of the width.
  f = Still<Transition_CurlPaper>(2000, red, blue);
  EXPECT_TRUE(Near(At(f, 0.10, 0.5), kRed, 0));
  EXPECT_TRUE(Near(At(f, 0.90, 0.5), kBlue, 0));
  for (int x = static_cast<int>(0.77 * kW); x < kW - 2; x += 3)
    for (int y = 2; y < kH - 2; y += 3) ASSERT_TRUE(Near(At(f, (x + 0.5) / kW, (y + 0.5) / kH), kBlue)) << x << "," << y;

  // Mosaic at 1500: the top row's tiles 0, 1, 3, 4 have turned, 2 and 5 not.
  f = Still<Transition_Mosaic>(1500, red, blue);
  for (int c : {0, 1, 3, 4}) EXPECT_TRUE(Near(At(f, (c + 0.5) / 20, 0.5 / 15), kBlue)) << c;
  for (int c : {2, 5}) EXPECT_TRUE(Near(At(f, (c + 0.5) / 20, 0.5 / 15), kRed)) << c;

  // ZoomIn: half-way the incoming picture alone, shrunk by 0.7983; at 750
  // the outgoing one at half strength over it.
  f = Still<Transition_ZoomIn>(1500, red, blue);
  EXPECT_TRUE(Near(At(f, 0.5, 0.5), kBlue));
  EXPECT_TRUE(Near(At(f, 0.05, 0.05), kBlack));
  EXPECT_TRUE(Near(At(f, 0.12, 0.5), kBlue));
  EXPECT_TRUE(Near(At(f, 0.08, 0.5), kBlack));
  f = Still<Transition_ZoomIn>(750, red, blue);
  EXPECT_TRUE(Near(At(f, 0.5, 0.5), (kRed + kBlue) * 0.5, 3));
  EXPECT_TRUE(Near(At(f, 0.03, 0.03), kRed * 0.5, 3));

  // Push half-way: the incoming picture's right strip, the gap, the
  // outgoing picture's left strip.
  f = Still<Transition_Push>(1500, red, blue);
  EXPECT_TRUE(Near(At(f, 0.5, 0.5), kBlack));
  EXPECT_TRUE(Near(At(f, 0.15, 0.5), kBlue));
  EXPECT_TRUE(Near(At(f, 0.9, 0.5), kRed));

  // Doorway: at 750 the leaves stand a quarter apart with the incoming
  // picture a quarter strong between them; half-way it is half strong.
  f = Still<Transition_Doorway>(750, red, blue);
  EXPECT_TRUE(Near(At(f, 0.1, 0.5), kRed));
  EXPECT_TRUE(Near(At(f, 0.5, 0.5), kBlue * 0.25, 3));
  f = Still<Transition_Doorway>(1500, red, blue);
  EXPECT_TRUE(Near(At(f, 0.5, 0.5), kBlue * 0.5, 3));
  EXPECT_TRUE(Near(At(f, 0.05, 0.05), kBlack));
  EXPECT_EQ(NewGLErrors(), 0u);
}

TEST_F(MeshPixelTest, CubeAndTwistMiddleFrames) {
  const cv::Mat red = Flat(kRed), blue = Flat(kBlue);

  // Cube half-way: the shared edge stands in the middle, the outgoing face
  // from 14 % of the width (shade 0.25) to it (0.60), the incoming one
  // mirrors it; above the edge's top, black.
  cv::Mat f = Still<Transition_Cube>(1500, red, blue);
  ASSERT_FALSE(f.empty());
  EXPECT_TRUE(Near(At(f, 0.07, 0.5), kBlack));
  EXPECT_TRUE(Near(At(f, 0.20, 0.5), kRed * 0.349, 4));
  EXPECT_TRUE(Near(At(f, 0.45, 0.5), kRed * 0.577, 4));
  EXPECT_TRUE(Near(At(f, 0.80, 0.5), kBlue * 0.340, 4));
  EXPECT_TRUE(Near(At(f, 0.93, 0.5), kBlack));
  EXPECT_TRUE(Near(At(f, 0.5, 0.01), kBlack));

  // Twist a quarter through: the right part has not started, nothing has
  // turned past its edge yet (the first strip, nearly edge-on, may let a
  // pixel of the back through where its cells are most twisted).
  f = Still<Transition_Twist>(750, red, blue);
  EXPECT_TRUE(Near(At(f, 0.9375, 0.093), kRed));
  EXPECT_TRUE(Near(At(f, 0.01, 0.01), kBlack));
  cv::Mat blueMask;
  cv::inRange(f, cv::Scalar(100, 0, 0), cv::Scalar(255, 255, 255), blueMask);
  EXPECT_LE(cv::countNonZero(blueMask), 2);
  EXPECT_EQ(cv::countNonZero(blueMask(cv::Rect(kW / 4, 0, kW - kW / 4, kH))), 0);
  // Half-way: the left half turned past, the right half not yet.
  f = Still<Transition_Twist>(1500, red, blue);
  EXPECT_TRUE(Near(At(f, 0.25, 0.5), kBlue));
  EXPECT_TRUE(Near(At(f, 0.75, 0.5), kRed));
  EXPECT_TRUE(Near(At(f, 0.026, 0.046), kBlack));

  // The video directions in the middle of the change: the block plays on
  // its side frame by frame (no paper over it here).
  UseClip(TestClips().coded);
  {
    SuperFrame into = Block(0, 6);
    frames.clear();
    AtProgress<Transition_Twist> twist(maker(), 1500);
    twist.TranstionI2V(&into, nullptr, &red, 4, nullptr);
    DrainFrameWrites();
    ASSERT_EQ(frames.size(), 6u);
    for (int j : {0, 3, 5}) {
      EXPECT_TRUE(Near(At(frames[j], 0.25, 0.5), cv::Vec3d(CodedColour(j)))) << j;
      EXPECT_TRUE(Near(At(frames[j], 0.75, 0.5), kRed)) << j;
    }
  }
  {
    SuperFrame out = Block(0, 6);
    frames.clear();
    AtProgress<Transition_Cube> cube(maker(), 1500);
    cube.TranstionV2I(&out, 2, nullptr, blue, 6, 4, nullptr);
    DrainFrameWrites();
    ASSERT_EQ(frames.size(), 6u);
    for (int j : {0, 3, 5}) {
      EXPECT_TRUE(Near(At(frames[j], 0.30, 0.5), cv::Vec3d(CodedColour(j)) * 0.464, 4)) << j;
      EXPECT_TRUE(Near(At(frames[j], 0.70, 0.5), kBlue * 0.458, 4)) << j;
    }
  }
  EXPECT_EQ(NewGLErrors(), 0u);
}

TEST_F(MeshPixelTest, EveryClassShowsVideoAndPaperTheRightWayUp) {
  // The clip's frames show the marked PictureR once the stabilising crop
  // has been applied; the paper's marker sits in another corner.
  UseClip(TestClips().r);
  cv::Mat video;
  cv::VideoCapture(TestClips().r, cv::CAP_FFMPEG).read(video);
  AtProgress<Transition_Swap>(maker(), 0).ApplyFrameTransform(&video, nullptr);
  const cv::Mat paper = CornerPaper();
  const cv::Mat under = UnderPaper(video, paper);
  const cv::Mat picture = PictureL();
  ForEachClassOf<MeshTransition>([&](auto tag, int32_t) {
    ExpectVideoAndPaperUpright<typename decltype(tag)::type>(picture, paper, under);
  });
  EXPECT_EQ(NewGLErrors(), 0u);
}

// Every transition of the table in frames of 16:9, 4:3 and 21:9 showing
// 16:9 slot pictures.
class HoldsShapeTest : public MeshPixelTest, public ::testing::WithParamInterface<std::tuple<EffectRow, cv::Size>> {
 protected:
  cv::Size FrameSize() const override { return std::get<1>(GetParam()); }

  cv::Mat Hold(const cv::Mat& picture) {
    frames.clear();
    maker()->ShowImageNoEffect(&picture, 1);
    DrainFrameWrites();
    return frames.size() == 1 ? frames[0] : cv::Mat();
  }
};

// A change begins on the frame the hold before it shows and ends on the one
// the hold after it shows, whatever the frame's shape and the pictures'
// transparency (nothing behind a picture shows through it).
TEST_P(HoldsShapeTest, ChangeBeginsAndEndsOnTheHoldsFrames) {
  const EffectRow& row = std::get<0>(GetParam());
  const cv::Mat from = SeeThrough(PictureL(), cv::Rect2d(0.0, 0.0, 0.6, 1.0), 120);
  const cv::Mat to = SeeThrough(PictureR(), cv::Rect2d(0.0, 0.3, 1.0, 0.7), 200);
  const cv::Mat holdFrom = Hold(from), holdTo = Hold(to);
  ASSERT_EQ(holdFrom.size(), FrameSize());
  UseClip(TestClips().coded);
  // Changes long enough that a class starting one curve step in has not
  // yet moved a pixel.
  frames.clear();
  EXPECT_EQ((maker()->*row.i2i)(&from, &to, 61, 60, nullptr).status, Status::Drawn);
  const int clipFrames = TestClips().codedCount;
  SuperFrame into = Block(0, clipFrames);
  EXPECT_EQ((maker()->*row.i2v)(&into, nullptr, &from, clipFrames - 1, nullptr).status, Status::Drawn);
  DrainFrameWrites();
  ASSERT_EQ(frames.size(), 61u + clipFrames);
  EXPECT_TRUE(Shows(frames[0], holdFrom)) << "start";
  EXPECT_TRUE(Shows(frames[60], holdTo)) << "end";
  EXPECT_TRUE(Shows(frames[61], holdFrom)) << "start into the video";
  EXPECT_EQ(NewGLErrors(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Table, HoldsShapeTest,
                         ::testing::Combine(::testing::ValuesIn(EffectTable()),
                                            ::testing::Values(cv::Size(kW, kH), cv::Size(120, 90), cv::Size(210, 90))),
                         [](const ::testing::TestParamInfo<HoldsShapeTest::ParamType>& info) {
                           const cv::Size size = std::get<1>(info.param);
                           return std::string(std::get<0>(info.param).name) + "_" + std::to_string(size.width) + "x" +
                                  std::to_string(size.height);
                         });

// Swap's meshes under a fragment shader that does not compile.
class BrokenMesh : public MeshTransition {
 public:
  explicit BrokenMesh(OrvEffectMaker* maker)
      : MeshTransition(kW, kH, maker, maker->GetOutputFrameHandler(), Settings()) {}
  static MeshSettings Settings() {
    MeshSettings s = Transition_Swap::Settings();
    s.className = "BrokenMesh";
    s.fragmentShader = "void main() { gl_FragColor = vec4(1.0) }";
    return s;
  }

 protected:
  void BuildMesh(int meshIndex, int32_t progress, mesh::MeshArrays& out) const override {
    Transition_Swap::Build(meshIndex, progress, &out);
  }
};

TEST_F(MeshPixelTest, EveryProgramLinksAndABrokenOneFailsTheScene) {
  ForEachClassOf<MeshTransition>([&](auto tag, int32_t) {
    const MeshSettings* s = &decltype(tag)::type::Settings();
    GLuint vs = 0, fs = 0;
    const GLuint program = ShaderUtils::CreateProgram(s->vertexShader.c_str(), &vs, s->fragmentShader.c_str(), &fs);
    EXPECT_NE(program, 0u) << s->className;
    EXPECT_GE(glGetUniformLocation(program, s->overlayUniform), 0) << s->className;
    EXPECT_GE(glGetUniformLocation(program, s->videoSampler), 0) << s->className;
    EXPECT_GE(glGetUniformLocation(program, "t_PaperTexture"), 0) << s->className;
    glDeleteProgram(program);
    glDeleteShader(vs);
    glDeleteShader(fs);
  });
  const std::string log = StartTestLog();
  const cv::Mat l = PictureL(), r = PictureR();
  frames.clear();
  {
    BrokenMesh broken(maker());
    EXPECT_FALSE(broken.TranstionI2I(&l, &r, 3, 3, nullptr));
    EXPECT_EQ(broken.LastOutcome().status, Status::Failed);
  }
  DrainFrameWrites();
  EXPECT_EQ(frames.size(), 3u);
  EXPECT_NE(ReadFile(log).find("Compile Log : "), std::string::npos);
}

}  // namespace
