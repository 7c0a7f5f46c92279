// Helpers for the slot composition tests: a small concrete theme with its own
// layer tables, generated art, pictures and videos in a temp folder.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "api/Log.h"
#include "fxcontroller/OrvVideoHandlerFactory.h"
#include "platform/Platform.h"
#include "test_foundation_util.h"
#include "themes/OrvColorUtils.h"
#include "themes/SlotInformation.h"

namespace slottest {

inline void SetWide(char16_t* field, size_t capacity, const std::string& utf8) {
  platform::CopyWideField(field, capacity, platform::Utf8ToUtf16(utf8));
}

inline std::string Narrow(const char16_t* field, size_t capacity = REELKA_PATH_LEN) {
  return platform::Utf16ToUtf8(std::u16string(field, platform::WideLength(field, capacity)));
}

// Where probe square j of an art layer sits: no other layer covers it.
inline cv::Rect ProbeRect(int j) { return cv::Rect(40 + 80 * j, 20, 40, 40); }

// The colour a '.' art layer stores in its probe.
inline cv::Vec4b StoredArtColour(int j) { return cv::Vec4b(static_cast<uchar>(10 + j), 200, 100, 255); }

// An art layer: transparent 1920 x 1080 with an opaque probe square and a
// half-transparent band of its own.
inline cv::Mat MakeArt(int j) {
  cv::Mat art = cv::Mat::zeros(1080, 1920, CV_8UC4);
  art(ProbeRect(j)).setTo(cv::Scalar(StoredArtColour(j)));
  art(cv::Rect(40 + 80 * j, 100, 40, 20)).setTo(cv::Scalar(50, 60, 70, 128));
  return art;
}

inline cv::Mat Solid(int w, int h, cv::Scalar bgr) { return cv::Mat(h, w, CV_8UC3, bgr); }

inline std::string WriteImage(const std::string& path, const cv::Mat& m) {
  cv::imwrite(path, m);
  return path;
}

// Writes a 320 x 240 MJPG video at 30 fps whose frames change colour every
// ten frames through the given colours.
inline bool WriteVideo(const std::string& path, const std::vector<cv::Scalar>& colours, int framesEach = 10) {
  cv::VideoWriter writer(path, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 30.0, cv::Size(320, 240));
  if (!writer.isOpened()) return false;
  for (const cv::Scalar& c : colours) {
    cv::Mat frame(240, 320, CV_8UC3, c);
    for (int i = 0; i < framesEach; ++i) writer.write(frame);
  }
  writer.release();
  return true;
}

// The colours a hue result gives, computed with OpenCV as the oracle.
inline cv::Vec3b HsvToBgr(int h, int s, int v) {
  cv::Mat hsv(1, 1, CV_8UC3, cv::Scalar(h, s, v)), bgr;
  cv::cvtColor(hsv, bgr, cv::COLOR_HSV2BGR);
  return bgr.at<cv::Vec3b>(0, 0);
}

inline int HueOf(cv::Scalar bgr) {
  cv::Mat px(1, 1, CV_8UC3, bgr), hsv;
  cv::cvtColor(px, hsv, cv::COLOR_BGR2HSV);
  return hsv.at<cv::Vec3b>(0, 0)[0];
}

inline cv::Vec3b Colour(const cv::Mat& m) { return m.at<cv::Vec3b>(0, 0); }

inline bool Near(cv::Vec3b a, cv::Vec3b b, int tolerance) {
  for (int i = 0; i < 3; ++i) {
    if (std::abs(int(a[i]) - int(b[i])) > tolerance) return false;
  }
  return true;
}

inline int CountOf(const std::string& text, const std::string& needle) {
  int n = 0;
  for (size_t p = text.find(needle); p != std::string::npos; p = text.find(needle, p + 1)) ++n;
  return n;
}

// A theme with test data; the slot composition code is the library's.
class TestTheme : public SlotInformation {
 public:
  TestTheme(int style, std::string code) : SlotInformation(style, std::move(code)) {}
  ThemeLimit* GetThemeLimitInfo(ThemeLimit* out) override { return out; }
  int GetEstimatedTimeSec(int, int) override { return 0; }
  SummaryPlan GetSummaryPlan() override { return SummaryPlan(); }
  ThemeSequence GetThemeSequence() override { return ThemeSequence(); }
  int GetSeparatorCount() override { return 3; }
  void FillSlotContext(std::vector<SlotContext>* slots, std::vector<SummarizedVideo>* list,
                       UserInputContext* input) override {
    mSummarizedVideoList = list;
    mUserInputContext = input;
    FillSlotContextForSequence(slots, static_cast<int>(types.size()), types.data(), designs.data(),
                               targetTypes.data(), targetIndices.data());
  }

  // Adds image layer art for design d (1-based) with the given codes; a
  // code of '-' names a file that is never written.
  void AddArt(const std::string& dir, int d, const std::string& codes) {
    for (size_t j = 0; j < codes.size(); ++j) {
      std::string path = dir + "art_" + std::to_string(d) + "_" + std::to_string(j) + ".png";
      if (codes[j] != '-') cv::imwrite(path, MakeArt(static_cast<int>(j)));
      LayerContext& layer = mImageLayerTable.layers[d - 1][j];
      layer.layerType = 2;
      SetWide(layer.layerSource, REELKA_PATH_LEN, path);
      layer.width = 1920;
      layer.height = 1080;
      mImageLayerTable.codes[d - 1][j] = codes[j] == '-' ? 'A' : codes[j];
    }
    mImageLayerTable.counts[d - 1] = static_cast<int32_t>(codes.size());
  }

  void AddText(int d, char code, const std::string& colour, cv::Rect rect, const std::string& text = "") {
    int j = mTextLayerTable.counts[d - 1]++;
    LayerContext& layer = mTextLayerTable.layers[d - 1][j];
    layer.layerType = 3;
    layer.x = rect.x;
    layer.y = rect.y;
    layer.width = rect.width;
    layer.height = rect.height;
    layer.size = 40;
    SetWide(layer.text, REELKA_PATH_LEN, text);
    SetWide(layer.font, REELKA_PATH_LEN, "Oswald-Regular");
    SetWide(layer.vertical, REELKA_SHORT_LEN, "middle");
    SetWide(layer.horizontal, REELKA_SHORT_LEN, "center");
    SetWide(layer.colour, REELKA_SHORT_LEN, colour);
    SetWide(layer.background, REELKA_SHORT_LEN, "rgba(255, 255, 255, 0)");
    mTextLayerTable.codes[d - 1][j] = code;
  }

  void SetTable(std::vector<int32_t> t, std::vector<int32_t> d, std::vector<int32_t> tt, std::vector<int32_t> ti) {
    types = std::move(t);
    designs = std::move(d);
    targetTypes = std::move(tt);
    targetIndices = std::move(ti);
  }

  std::vector<int32_t> types, designs, targetTypes, targetIndices;
};

// One start pass worth of material in a temp folder.
struct SlotRun {
  testutil::TempRun run;
  std::string art;
  std::unique_ptr<UserInputContext> input{new UserInputContext()};
  std::unique_ptr<TestTheme> theme;
  std::vector<SlotContext> slots;
  std::vector<SummarizedVideo> videos;

  explicit SlotRun(int style = 6, std::string code = "sp") : theme(new TestTheme(style, std::move(code))) {
    art = run.root + "/art/";
    std::system(("mkdir -p '" + art + "'").c_str());
    InitLog(run.WorkWide());
    SetWide(input->tempDirPath, REELKA_PATH_LEN, run.work);
    input->wsWidth = 320;
    input->wsHeight = 180;
  }
  ~SlotRun() { OrvVideoHandlerFactory::ReleaseAllFrameHandlers(); }

  std::string AddPicture(const std::string& name, const cv::Mat& picture) {
    std::string path = run.root + "/" + name;
    cv::imwrite(path, picture);
    SetWide(input->ImagePath[input->NumOfImage++], REELKA_PATH_LEN, path);
    return path;
  }

  void Fill() { theme->FillSlotContext(&slots, videos.empty() ? nullptr : &videos, input.get()); }

  std::string WsPath(int slot, int design) const {
    return run.work + "ss_icon_clip_" + theme->GetNamingCode() + "_" + platform::Format("%02d", design) + "-WS" +
           std::to_string(slot) + ".png";
  }
};

}  // namespace slottest
