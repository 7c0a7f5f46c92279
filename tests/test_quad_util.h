// Shared fixture of the quad transition tests: a hidden GL context made by
// the effect maker, an output writer whose frames are captured before
// encoding, generated pictures and clips, and a probe harness that compares
// drawn frames with what a transition's formulas put at each pixel.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "EffectTable.h"
#include "GLErrorCheck.h"
#include "OrvEffectMaker.h"
#include "ProgressCurve.h"
#include "api/Log.h"
#include "fxcontroller/OrvFXFrameHandler.h"
#include "scriptmaker/OrvCancelTask.h"

// A row of the effect table in a test's name and messages.
inline void PrintTo(const EffectRow& row, std::ostream* os) { *os << row.name; }

namespace quadtest {

constexpr int kW = 160;
constexpr int kH = 90;
constexpr int kFps = 30;

inline std::string MakeDir(const std::string& path) {
  ::mkdir(path.c_str(), 0755);
  return path;
}

inline std::string Root() {
  static const std::string root = MakeDir("/tmp/reelka_quad_" + std::to_string(::getpid()));
  return root;
}

// The leaving-side picture: red with a green marker toward the bottom right.
inline cv::Mat PictureL(int w = kW, int h = kH) {
  cv::Mat m(h, w, CV_8UC3, cv::Scalar(40, 40, 220));
  cv::rectangle(m, cv::Point(int(w * 0.62), int(h * 0.60)), cv::Point(int(w * 0.88), int(h * 0.90)),
                cv::Scalar(40, 200, 40), cv::FILLED);
  return m;
}

// The reaching-side picture: blue with a yellow marker toward the top left.
inline cv::Mat PictureR(int w = kW, int h = kH) {
  cv::Mat m(h, w, CV_8UC3, cv::Scalar(220, 60, 30));
  cv::rectangle(m, cv::Point(int(w * 0.12), int(h * 0.10)), cv::Point(int(w * 0.38), int(h * 0.40)),
                cv::Scalar(30, 220, 230), cv::FILLED);
  return m;
}

// A video frame that the stabilising crop (8 % a side) and the resize back
// turn into `picture` again.
inline cv::Mat PreShrunk(const cv::Mat& picture) {
  const int cx = static_cast<int>(std::floor(static_cast<float>(picture.cols) * 0.08f));
  const int cy = static_cast<int>(std::floor(static_cast<float>(picture.rows) * 0.08f));
  const cv::Vec3b base = picture.at<cv::Vec3b>(0, 0);
  cv::Mat frame(picture.size(), picture.type(), cv::Scalar(base[0], base[1], base[2]));
  cv::Mat inner;
  cv::resize(picture, inner, cv::Size(picture.cols - 2 * cx, picture.rows - 2 * cy), 0, 0, cv::INTER_AREA);
  inner.copyTo(frame(cv::Rect(cx, cy, inner.cols, inner.rows)));
  return frame;
}

// Writes a lossless clip; frame i is frameOf(i).
inline std::string WriteClip(const std::string& name, int count, const std::function<cv::Mat(int)>& frameOf,
                             cv::Size size = cv::Size(kW, kH)) {
  const std::string path = Root() + "/" + name + ".avi";
  cv::VideoWriter writer(path, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('F', 'F', 'V', '1'), kFps, size, true);
  for (int i = 0; i < count; ++i) writer.write(frameOf(i));
  writer.release();
  return path;
}

// Colour of clip frame i in the coded clip.
inline cv::Vec3b CodedColour(int i) { return cv::Vec3b(static_cast<uchar>(10 + 15 * i), 120, static_cast<uchar>(200 - 10 * i)); }

struct Clips {
  std::string l;      // frames that look like PictureL after the crop
  std::string r;      // frames that look like PictureR after the crop
  std::string coded;  // frame i is flat CodedColour(i)
  int codedCount = 14;
};

inline const Clips& TestClips() {
  static const Clips clips = [] {
    Clips c;
    const cv::Mat l = PreShrunk(PictureL());
    const cv::Mat r = PreShrunk(PictureR());
    c.l = WriteClip("clip_l", 14, [&](int) { return l; });
    c.r = WriteClip("clip_r", 14, [&](int) { return r; });
    c.coded = WriteClip("clip_coded", c.codedCount,
                        [](int i) { return cv::Mat(kH, kW, CV_8UC3, cv::Scalar(CodedColour(i))); });
    return c;
  }();
  return clips;
}

inline int32_t FrameTime(int index) { return static_cast<int32_t>(index * 1000000.0 / kFps + 0.5); }

inline SuperFrame Block(int startFrame, int size, int transforms = -1) {
  SuperFrame block;
  block.sfStart = FrameTime(startFrame);
  block.sfSize = size;
  const std::array<float, 9> identity{{1, 0, 0, 0, 1, 0, 0, 0, 1}};
  block.transforms.assign(static_cast<size_t>(transforms < 0 ? size : transforms), identity);
  return block;
}

inline cv::Vec3d Mix(const cv::Vec3d& a, const cv::Vec3d& b, double wb) { return a * (1.0 - wb) + b * wb; }

// One side of a transition as the test pictures it.
class Side {
 public:
  explicit Side(cv::Mat picture) : mPicture(std::move(picture)) {}
  // Colour at texture coordinate (s, t), if the picture is flat around it
  // (so that filtering and resampling cannot change it).
  bool Look(double s, double t, cv::Vec3d* out) const {
    const int w = mPicture.cols, h = mPicture.rows;
    const int x = static_cast<int>(std::floor(s * w));
    const int y = static_cast<int>(std::floor(t * h));
    const cv::Vec3b centre = At(x, y);
    for (int dy = -3; dy <= 3; ++dy)
      for (int dx = -3; dx <= 3; ++dx)
        if (At(x + dx, y + dy) != centre) return false;
    *out = cv::Vec3d(centre[0], centre[1], centre[2]);
    return true;
  }

 private:
  cv::Vec3b At(int x, int y) const {
    const int w = mPicture.cols, h = mPicture.rows;
    x = ((x % w) + w) % w;
    y = ((y % h) + h) % h;
    return mPicture.at<cv::Vec3b>(y, x);
  }
  cv::Mat mPicture;
};

inline double Fract(double x) { return x - std::floor(x); }
inline bool OutsideUnit(double s, double t) { return s < 0.0 || s > 1.0 || t < 0.0 || t > 1.0; }

// What a transition's formulas put at (u, v) for the value sent as
// "progress"; false where that cannot be told from flat picture areas.
using Model = std::function<bool(double u, double v, double value, const Side& leaving, const Side& reaching,
                                 cv::Vec3d* out)>;

// Compares a frame with the model on a grid of pixel centres. Skips probes
// next to an edge of the model (where a pixel's neighbours differ).
inline void ExpectFrameMatches(const cv::Mat& frame, const Model& model, double value, const Side& leaving,
                               const Side& reaching, const std::string& what, double tolerance = 7.0) {
  ASSERT_FALSE(frame.empty()) << what;
  int compared = 0, probes = 0, failures = 0;
  std::ostringstream report;
  const double du = 1.0 / frame.cols, dv = 1.0 / frame.rows;
  for (int y = 2; y < frame.rows - 2; y += 4) {
    for (int x = 2; x < frame.cols - 2; x += 4) {
      ++probes;
      const double u = (x + 0.5) * du, v = (y + 0.5) * dv;
      cv::Vec3d expected, near;
      if (!model(u, v, value, leaving, reaching, &expected)) continue;
      bool stable = true;
      const double offsets[4][2] = {{-1.5, 0}, {1.5, 0}, {0, -1.5}, {0, 1.5}};
      for (const auto& o : offsets) {
        if (!model(u + o[0] * du, v + o[1] * dv, value, leaving, reaching, &near) ||
            cv::norm(near - expected, cv::NORM_INF) > 5.0) {
          stable = false;
          break;
        }
      }
      if (!stable) continue;
      ++compared;
      const cv::Vec3b got = frame.at<cv::Vec3b>(y, x);
      const cv::Vec3d gotd(got[0], got[1], got[2]);
      if (cv::norm(gotd - expected, cv::NORM_INF) > tolerance) {
        if (++failures <= 5)
          report << " (" << x << "," << y << ") got " << gotd << " want " << expected << ";";
      }
    }
  }
  EXPECT_EQ(failures, 0) << what << " value " << value << ":" << report.str();
  EXPECT_GT(compared, probes / 4) << what << " value " << value << ": too few probes could be compared";
}

// The effect table's rows of one family, in table order; a test walks these
// and is named by them.
inline std::vector<EffectRow> RowsOf(RenderFamily family) {
  std::vector<EffectRow> rows;
  for (const EffectRow& row : EffectTable())
    if (row.family == family) rows.push_back(row);
  return rows;
}

template <class T>
struct ClassTag {
  using type = T;
};

// Calls visit(ClassTag<Class>{}, k) for every row of the table whose class
// derives from Base, in table order.
template <class Base, class Visit>
void ForEachClassOf(Visit&& visit) {
#define ORV_VISIT_CLASS(k, Name, Class, options) \
  if constexpr (std::is_base_of_v<Base, Class>) visit(ClassTag<Class>{}, k);
  ORV_TRANSITION_TABLE(ORV_VISIT_CLASS)
#undef ORV_VISIT_CLASS
}

inline std::vector<float> Curve10() { return ScaleProgressCurve(100, MakeProgressCurve(10)); }

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline size_t CountOf(const std::string& text, const std::string& needle) {
  size_t count = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++count;
  return count;
}

// Switches the file log on into a folder of its own; returns the log path.
inline std::string StartTestLog() {
  const std::string base = MakeDir(Root() + "/log");
  MakeDir(base + "/Logs");
  MakeDir(base + "/work");
  const std::string work = base + "/work/";
  InitLog(std::u16string(work.begin(), work.end()));
  return GetLogFilePath();
}

// A hidden context made by the effect maker, an output writer of the test
// size, and every frame the writer receives.
class QuadGLTest : public ::testing::Test {
 protected:
  // Size of the frames drawn; the writer takes it from a clip of that size.
  virtual cv::Size FrameSize() const { return cv::Size(kW, kH); }

  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display";
    MakeDir(Root() + "/res");
    const cv::Size size = FrameSize();
    const std::string sizeClip =
        size == cv::Size(kW, kH)
            ? TestClips().r
            : WriteClip("size_" + std::to_string(size.width) + "x" + std::to_string(size.height), 1,
                        [&](int) { return cv::Mat(size, CV_8UC3, cv::Scalar::all(0)); }, size);
    mWriter = new OrvFXFrameHandler();
    mWriter->setParameters(sizeClip, Root() + "/out_" + std::to_string(::getpid()) + ".avi");
    mMaker = new OrvEffectMaker(size.width, size.height, mWriter, Root() + "/res/");
    if (!mMaker->InitOpenGL()) {
      GTEST_SKIP() << "no OpenGL context";
    }
    frames.clear();
    OrvFXFrameHandler::SetFrameSink([this](const cv::Mat& f) { frames.push_back(f.clone()); });
    mErrorsAtStart = GetGLErrorCount();
    g_isFXCancel = false;
  }

  void TearDown() override {
    OrvFXFrameHandler::SetFrameSink(nullptr);
    OrvEffectMaker::SetInputFrameHandler(nullptr);
    g_isFXCancel = false;
    delete mReader;
    mReader = nullptr;
    delete mMaker;
    mMaker = nullptr;
    delete mWriter;
    mWriter = nullptr;
  }

  // Publishes a reader of the clip for the video directions.
  void UseClip(const std::string& path) {
    delete mReader;
    mReader = new OrvFXFrameHandler();
    ASSERT_TRUE(mReader->setParameters(path, ""));
    OrvEffectMaker::SetInputFrameHandler(mReader);
  }

  // Textures and shaders alive in the context (names are handed out from 1).
  static int LiveGLObjects() {
    int live = 0;
    for (GLuint name = 1; name < 256; ++name) live += (glIsTexture(name) ? 1 : 0) + (glIsShader(name) ? 1 : 0);
    return live;
  }

  uint64_t NewGLErrors() const { return GetGLErrorCount() - mErrorsAtStart; }

  OrvEffectMaker* maker() { return mMaker; }
  OrvFXFrameHandler* reader() { return mReader; }

  std::vector<cv::Mat> frames;

 private:
  OrvFXFrameHandler* mWriter = nullptr;
  OrvFXFrameHandler* mReader = nullptr;
  OrvEffectMaker* mMaker = nullptr;
  uint64_t mErrorsAtStart = 0;
};

}  // namespace quadtest
