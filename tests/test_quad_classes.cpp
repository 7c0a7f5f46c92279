// Each quad transition in its three directions, through the effect maker's
// members: frame counts, no GL errors, and at the first, two middle and the
// last frame, which side shows where as the transition's formulas say.
#include <cmath>

#include "test_quad_util.h"

#include <memory>

#include "ScreenQuadTransition.h"
#include "ShaderUtils.h"

using namespace quadtest;

namespace {

enum class Dir { I2I, I2V, V2I };

using I2IMember = OrvEffectMaker::I2IMember;
using I2VMember = OrvEffectMaker::I2VMember;
using V2IMember = OrvEffectMaker::V2IMember;

struct ClassCase {
  std::string name;
  float option;
  I2IMember i2i;
  I2VMember i2v;
  V2IMember v2i;
  Model model;
  // Value sent for a curve index, or for -1 (the end value).
  std::function<double(int)> value;
  // Curve index of output frame f (of 11) in a direction, -1 for the end value.
  std::function<int(Dir, int)> index;
};

// Frame f of 11 with a transition of 10: curve[f], the end value on the last.
int CommonIndex(Dir, int f) { return f < 10 ? f : -1; }

std::function<double(int)> CurveValue(double endValue = 100.0) {
  const std::vector<float> curve = Curve10();
  return [curve, endValue](int i) { return i < 0 ? endValue : static_cast<double>(curve[static_cast<size_t>(i)]); };
}

bool Diagonal(double u, double v, double value, const Side& l, const Side& r, cv::Vec3d* out) {
  const double p = std::fabs(1.0 - value / 100.0);
  const double s = u - p, t = v - p;
  if (OutsideUnit(s, t)) return l.Look(Fract(s), Fract(t), out);
  return r.Look(s, t, out);
}

Model Move(int swap, double sx, double sy) {
  return [=](double u, double v, double value, const Side& l, const Side& r, cv::Vec3d* out) {
    const double p = value / 100.0;
    double s = u + sx * p, t = v + sy * p;
    const bool outside = OutsideUnit(s, t);
    if (outside) {
      s = Fract(s);
      t = Fract(t);
    }
    const bool showLeaving = swap == 1 ? !outside : outside;
    return (showLeaving ? l : r).Look(s, t, out);
  };
}

bool Fadein(double u, double v, double value, const Side& l, const Side& r, cv::Vec3d* out) {
  const double t = value / 100.0;
  cv::Vec3d cl, cr;
  if (!r.Look(u, v, &cr)) return false;
  if (t >= 1.0) {
    *out = cr;
    return true;
  }
  if (!l.Look(u, v, &cl)) return false;
  const double radius = -0.4 + t * 3.8;
  const double d = std::hypot(u - 0.5, v - 0.5);
  const double p = std::min(1.0, std::max(0.0, (d - radius + 0.4) / 0.8));
  *out = Mix(cr, cl, p);
  return true;
}

bool Pixelate(double u, double v, double value, const Side& l, const Side& r, cv::Vec3d* out) {
  const double p = value / 100.0;
  if (p >= 1.0) return r.Look(u, v, out);
  const double segment = p < 0.5 ? 1.0 - 2.0 * p : (p - 0.5) * 2.0;
  const double pixels = 5.0 + 1000.0 * segment * segment;
  const double s = std::floor(u * pixels + 0.5) / pixels, t = std::floor(v * pixels + 0.5) / pixels;
  cv::Vec3d c1, c2;
  if (!l.Look(s, t, &c1) || !r.Look(s, t, &c2)) return false;
  *out = Mix(c1, c2, std::min(1.0, std::max(0.0, (p - 0.4) / 0.2)));
  return true;
}

Model Swirl(double twist) {
  return [=](double u, double v, double value, const Side& l, const Side& r, cv::Vec3d* out) {
    const double p = value / 100.0;
    cv::Vec3d c2;
    if (!r.Look(u, v, &c2)) return false;
    if (p >= 1.0) {
      *out = c2;
      return true;
    }
    const double tx = u - 0.5, ty = v - 0.5, d = std::hypot(tx, ty);
    const double a = std::atan2(ty, tx) + d * d * twist * p;
    const double qs = std::cos(a) * d + 0.5, qt = std::sin(a) * d + 0.5;
    if (OutsideUnit(qs, qt)) {
      // Transparent black mixed in: alpha p, laid over the black clear colour.
      *out = c2 * p * p;
      return true;
    }
    cv::Vec3d c1;
    if (!l.Look(qs, qt, &c1)) return false;
    *out = Mix(c1, c2, p);
    return true;
  };
}

bool Pendulum(double u, double v, double value, const Side& l, const Side& r, cv::Vec3d* out) {
  const double shuttle = std::sin(3.14159 * value);
  const bool first = value >= 0.0 && value <= 0.5;
  bool inside;
  if (shuttle <= 0.5) {
    inside = v < (2.0 * shuttle / (1.0 - 2.0 * shuttle)) * (u - 0.5);
  } else {
    inside = v > ((shuttle - 1.0) / (2.0 * shuttle - 1.0)) * (u - 0.5);
  }
  return (inside == first ? r : l).Look(u, v, out);
}

// m: the signed shift a flat map gives (+1 white, -1 black or missing).
Model Zoom(double m) {
  return [=](double u, double v, double value, const Side& l, const Side& r, cv::Vec3d* out) {
    const double p = value / 100.0;
    if (p >= 1.0) return r.Look(u, v, out);
    const double tx = u - 0.5, ty = v - 0.5, d = std::hypot(tx, ty);
    const double nx = tx / d, ny = ty / d;
    const double o1 = m * 2.0 * std::min(0.3, p) * d, o2 = m * 2.0 * std::min(0.3, 1.0 - p) * d;
    cv::Vec3d c1, c2;
    if (!l.Look(Fract(0.5 + nx * (d + o1)), Fract(0.5 + ny * (d + o1)), &c1)) return false;
    if (!r.Look(Fract(0.5 + nx * (d + o2)), Fract(0.5 + ny * (d + o2)), &c2)) return false;
    *out = Mix(c1, c2, p);
    return true;
  };
}

class QuadClassTest : public QuadGLTest {
 protected:
  void Run(const ClassCase& c) {
    const Side leaving(PictureL()), reaching(PictureR());
    const cv::Mat l = PictureL(), r = PictureR();
    const int checked[] = {0, 2, 5, 10};
    auto check = [&](Dir dir, const char* what) {
      ASSERT_EQ(frames.size(), 11u) << c.name << " " << what;
      for (int f : checked) {
        const int index = c.index(dir, f);
        ExpectFrameMatches(frames[static_cast<size_t>(f)], c.model, c.value(index), leaving, reaching,
                           c.name + " " + what + " frame " + std::to_string(f));
      }
    };

    frames.clear();
    EXPECT_TRUE((maker()->*c.i2i)(&l, &r, 11, 10, &c.option).Drawn());
    check(Dir::I2I, "I2I");

    // Picture to video: the video (looking like the reaching picture) under
    // no paper.
    UseClip(TestClips().r);
    SuperFrame toVideo = Block(0, 11);
    frames.clear();
    EXPECT_TRUE((maker()->*c.i2v)(&toVideo, nullptr, &l, 10, &c.option).Drawn());
    check(Dir::I2V, "I2V");

    // Video to picture with a lead-in of one frame.
    UseClip(TestClips().l);
    SuperFrame fromVideo = Block(0, 11);
    frames.clear();
    EXPECT_TRUE((maker()->*c.v2i)(&fromVideo, 1, nullptr, r, 11, 10, &c.option).Drawn());
    check(Dir::V2I, "V2I");

    EXPECT_EQ(NewGLErrors(), 0u) << c.name;
  }
};

}  // namespace

TEST_F(QuadClassTest, DiagonalSlidesTheEndPictureInFromTheBottomRight) {
  Run({"Diagonal", 3.0f, &OrvEffectMaker::DiagonalI2I, &OrvEffectMaker::DiagonalI2V, &OrvEffectMaker::DiagonalV2I,
       Diagonal, CurveValue(), CommonIndex});
}

TEST_F(QuadClassTest, FadeinOpensASoftDiscFromTheCentre) {
  Run({"Fadein", 1.0f, &OrvEffectMaker::FadeinI2I, &OrvEffectMaker::FadeinI2V, &OrvEffectMaker::FadeinV2I, Fadein,
       CurveValue(), CommonIndex});
}

TEST_F(QuadClassTest, PixelateCoarsensCrossFadesAndRefines) {
  Run({"Pixelate", 2.0f, &OrvEffectMaker::PixelateI2I, &OrvEffectMaker::PixelateI2V, &OrvEffectMaker::PixelateV2I,
       Pixelate, CurveValue(), CommonIndex});
}

TEST_F(QuadClassTest, MovePushesInTheDirectionTheOptionPicks) {
  // Option 0: toward the left edge; the value is the curve, end 100.
  Run({"Move left", 0.0f, &OrvEffectMaker::MoveI2I, &OrvEffectMaker::MoveI2V, &OrvEffectMaker::MoveV2I,
       Move(1, 1.0, 0.0), CurveValue(100.0), CommonIndex});
  // Option 1: toward the right edge; 100 minus the curve, end 0.
  const std::vector<float> curve = Curve10();
  auto falling = [curve](int i) { return i < 0 ? 0.0 : std::fabs(100.0f - curve[static_cast<size_t>(i)]); };
  Run({"Move right", 1.0f, &OrvEffectMaker::MoveI2I, &OrvEffectMaker::MoveI2V, &OrvEffectMaker::MoveV2I,
       Move(0, 1.0, 0.0), falling, CommonIndex});
  // Option 2: toward the top edge.
  Run({"Move up", 2.0f, &OrvEffectMaker::MoveI2I, &OrvEffectMaker::MoveI2V, &OrvEffectMaker::MoveV2I,
       Move(1, 0.0, 1.0), CurveValue(100.0), CommonIndex});
  // Option 4 (every value but 0, 1, 2): toward the bottom edge.
  Run({"Move down", 4.0f, &OrvEffectMaker::MoveI2I, &OrvEffectMaker::MoveI2V, &OrvEffectMaker::MoveV2I,
       Move(0, 0.0, 1.0), falling, CommonIndex});
}

TEST_F(QuadClassTest, SwirlTurnsTheLeavingSideByTheOptionsDirection) {
  Run({"Swirl clockwise", 0.0f, &OrvEffectMaker::SwirlI2I, &OrvEffectMaker::SwirlI2V, &OrvEffectMaker::SwirlV2I,
       Swirl(-30.0), CurveValue(), CommonIndex});
  Run({"Swirl anticlockwise", 1.0f, &OrvEffectMaker::SwirlI2I, &OrvEffectMaker::SwirlI2V, &OrvEffectMaker::SwirlV2I,
       Swirl(30.0), CurveValue(), CommonIndex});
}

TEST_F(QuadClassTest, PendulumSwingsFromEitherSideByTheOption) {
  const std::vector<float> curve = Curve10();
  // The curve position starts at 1, so frame f takes curve[f + 1] and the
  // end value comes one frame early.
  auto index = [](Dir, int f) { return f <= 8 ? f + 1 : -1; };
  auto swing = [curve](float offset, double end) {
    return [=](int i) {
      if (i < 0) return end;
      const float scaled = curve[static_cast<size_t>(i)] * 0.005f;
      return static_cast<double>(scaled + offset);
    };
  };
  Run({"Pendulum first half", 0.0f, &OrvEffectMaker::PendulumI2I, &OrvEffectMaker::PendulumI2V,
       &OrvEffectMaker::PendulumV2I, Pendulum, swing(0.0f, 0.5), index});
  Run({"Pendulum second half", 1.0f, &OrvEffectMaker::PendulumI2I, &OrvEffectMaker::PendulumI2V,
       &OrvEffectMaker::PendulumV2I, Pendulum, swing(0.5f, 1.0), index});
}

TEST_F(QuadClassTest, ZoomShiftsAlongRaysByTheMap) {
  // Picture to picture raises the curve position before reading it.
  auto index = [](Dir dir, int f) {
    if (dir == Dir::I2I) return f < 10 ? f + 1 : -1;
    return CommonIndex(dir, f);
  };
  const std::string map = Root() + "/res/map_zoom.png";
  ASSERT_TRUE(cv::imwrite(map, cv::Mat(32, 64, CV_8UC1, cv::Scalar(255))));
  Run({"Zoom white map", 0.0f, &OrvEffectMaker::ZoomI2I, &OrvEffectMaker::ZoomI2V, &OrvEffectMaker::ZoomV2I, Zoom(1.0),
       CurveValue(), index});
  // Only the red channel counts: a BGR map red in full and black elsewhere
  // acts like white, one blue and green in full acts like black.
  ASSERT_TRUE(cv::imwrite(map, cv::Mat(32, 64, CV_8UC3, cv::Scalar(0, 0, 255))));
  Run({"Zoom red map", 1.0f, &OrvEffectMaker::ZoomI2I, &OrvEffectMaker::ZoomI2V, &OrvEffectMaker::ZoomV2I, Zoom(1.0),
       CurveValue(), index});
  ASSERT_TRUE(cv::imwrite(map, cv::Mat(32, 64, CV_8UC3, cv::Scalar(255, 255, 0))));
  Run({"Zoom blue-green map", 1.0f, &OrvEffectMaker::ZoomI2I, &OrvEffectMaker::ZoomI2V, &OrvEffectMaker::ZoomV2I,
       Zoom(-1.0), CurveValue(), index});
  // Without a map the scene still plays in full, as a plain zoom.
  std::remove(map.c_str());
  Run({"Zoom no map", 0.0f, &OrvEffectMaker::ZoomI2I, &OrvEffectMaker::ZoomI2V, &OrvEffectMaker::ZoomV2I, Zoom(-1.0),
       CurveValue(), index});
}

namespace {

class QuadProgramTest : public QuadGLTest, public ::testing::WithParamInterface<EffectRow> {};

}  // namespace

TEST_P(QuadProgramTest, ProgramsCompileAndLinkInEveryDirection) {
  std::unique_ptr<ScreenQuadTransition> t;
  ForEachClassOf<ScreenQuadTransition>([&](auto tag, int32_t k) {
    if (k == GetParam().number) t = std::make_unique<typename decltype(tag)::type>(maker(), nullptr);
  });
  ASSERT_NE(t, nullptr);
  using D = ScreenQuadTransition::Direction;
  for (D d : {D::I2I, D::I2V, D::V2I}) {
    GLuint vs = 0, fs = 0;
    const GLuint program = ShaderUtils::CreateProgram(ScreenQuadTransition::kVertexShader, &vs, t->FragmentShader(d), &fs);
    ASSERT_NE(program, 0u) << t->FragmentShader(d);
    // The names the procedures bind are all active.
    EXPECT_GE(glGetAttribLocation(program, "vPosition"), 0);
    EXPECT_GE(glGetAttribLocation(program, "a_texCoord"), 0);
    EXPECT_GE(glGetUniformLocation(program, "progress"), 0);
    EXPECT_GE(glGetUniformLocation(program, "Texture1"), 0);
    EXPECT_GE(glGetUniformLocation(program, "Texture2"), 0);
    if (d != D::I2I) {
      EXPECT_GE(glGetUniformLocation(program, "Texture3"), 0);
    }
    glDetachShader(program, vs);
    glDetachShader(program, fs);
    glDeleteShader(vs);
    glDeleteShader(fs);
    glDeleteProgram(program);
  }
  EXPECT_EQ(NewGLErrors(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Table, QuadProgramTest, ::testing::ValuesIn(RowsOf(RenderFamily::ScreenQuad)),
                         [](const ::testing::TestParamInfo<EffectRow>& info) { return std::string(info.param.name); });

// The map the build generates: 8-bit, its red channel a ripple about
// mid-grey that tiles both ways, so Zoom shifts without a seam.
TEST_F(QuadClassTest, GeneratedZoomMapGivesASeamlessRipple) {
  const cv::Mat map = cv::imread("ReelkaResource/common/map_zoom.png", cv::IMREAD_UNCHANGED);
  if (map.empty()) GTEST_SKIP() << "no generated map in the working directory";
  ASSERT_EQ(map.depth(), CV_8U);
  cv::Mat red;
  cv::extractChannel(map, red, map.channels() >= 3 ? 2 : 0);
  red.convertTo(red, CV_64F);
  cv::Scalar mean, stddev;
  cv::meanStdDev(red, mean, stddev);
  EXPECT_NEAR(mean[0], 128.0, 12.0);
  EXPECT_GT(stddev[0], 15.0);
  // Shifts stay well short of the full 0.6 of the distance.
  double lo = 0, hi = 0;
  cv::minMaxLoc(red, &lo, &hi);
  EXPECT_GE(lo, 10.0);
  EXPECT_LE(hi, 245.0);
  // The wrap from the last column to the first (and row) is no bigger a step
  // than the map's own steps.
  cv::Mat dx, dy;
  cv::absdiff(red.colRange(1, red.cols), red.colRange(0, red.cols - 1), dx);
  cv::absdiff(red.rowRange(1, red.rows), red.rowRange(0, red.rows - 1), dy);
  double stepX = 0, stepY = 0, seamX = 0, seamY = 0;
  cv::minMaxLoc(dx, nullptr, &stepX);
  cv::minMaxLoc(dy, nullptr, &stepY);
  cv::Mat wrapX, wrapY;
  cv::absdiff(red.col(0), red.col(red.cols - 1), wrapX);
  cv::absdiff(red.row(0), red.row(red.rows - 1), wrapY);
  cv::minMaxLoc(wrapX, nullptr, &seamX);
  cv::minMaxLoc(wrapY, nullptr, &seamY);
  EXPECT_LE(seamX, stepX + 1.0);
  EXPECT_LE(seamY, stepY + 1.0);

  // Played with it, a middle frame moves content: it is no plain cross-fade,
  // while the last frame is the end picture.
  ASSERT_TRUE(cv::imwrite(Root() + "/res/map_zoom.png", map));
  const cv::Mat l = PictureL(), r = PictureR();
  const float option = 1.0f;
  maker()->ZoomI2I(&l, &r, 11, 10, &option);
  ASSERT_EQ(frames.size(), 11u);
  const double p = Curve10()[5] / 100.0;
  cv::Mat fade;
  cv::addWeighted(l, 1.0 - p, r, p, 0.0, fade);
  cv::Mat diff;
  cv::absdiff(frames[4], fade, diff);
  EXPECT_GT(cv::mean(diff)[0] + cv::mean(diff)[1] + cv::mean(diff)[2], 5.0);
  cv::absdiff(frames[10], r, diff);
  double worst = 0;
  cv::minMaxLoc(diff.reshape(1), nullptr, &worst);
  EXPECT_LE(worst, 2.0);
  EXPECT_EQ(NewGLErrors(), 0u);
}
