// Theme builders run end to end through slot filling: every band of every
// theme fills its slot records and working files and hands out its scenes.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "api/Log.h"
#include "fxcontroller/OrvVideoHandlerFactory.h"
#include "platform/Platform.h"
#include "themes/SlotInformation.h"
#include "themes/ThemeTemplate.h"

namespace {

// One folder per process: ctest runs the cases of this suite side by side.
const std::string kRoot = "/tmp/reelka_test_themes_fill_" + std::to_string(::getpid());
const std::string kWork = kRoot + "/work/";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string Narrow(const char16_t* s) { return platform::Utf16ToUtf8(s); }

cv::Mat Solid(int hue, cv::Size size) {
  cv::Mat hsv(size, CV_8UC3, cv::Scalar(hue, 220, 200)), bgr;
  cv::cvtColor(hsv, bgr, cv::COLOR_HSV2BGR);
  return bgr;
}

class ThemeFill : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ::mkdir(kRoot.c_str(), 0755);
    ::mkdir((kRoot + "/Logs").c_str(), 0755);
    ::mkdir(kWork.c_str(), 0755);
    for (int i = 0; i < 12; ++i) {
      const std::string path = kRoot + "/picture" + std::to_string(i) + ".png";
      cv::imwrite(path, Solid(i * 15, cv::Size(480, 270)));
      pictures().push_back(path);
    }
    // Twelve seconds at 10 frames a second, one hue per second.
    video() = kRoot + "/clip.avi";
    cv::VideoWriter writer(video(), cv::CAP_FFMPEG, cv::VideoWriter::fourcc('m', 'p', '4', 'v'), 10.0,
                           cv::Size(320, 240));
    ASSERT_TRUE(writer.isOpened());
    for (int s = 0; s < 12; ++s)
      for (int f = 0; f < 10; ++f) writer.write(Solid((s * 13) % 180, cv::Size(320, 240)));
  }
  static void TearDownTestSuite() {
    OrvVideoHandlerFactory::ReleaseAllFrameHandlers();
    std::system(("rm -rf '" + kRoot + "'").c_str());
  }

  static std::vector<std::string>& pictures() {
    static std::vector<std::string> list;
    return list;
  }
  static std::string& video() {
    static std::string path;
    return path;
  }

  void SetUp() override {
    InitLog(platform::Utf8ToUtf16(kWork));
    mLog = GetLogFilePath();
    std::remove(mLog.c_str());
    if (!FileExists("./ReelkaResource/SPORTY/layers/sp_1_01.png"))
      GTEST_SKIP() << "no ReelkaResource in the working folder (build the reelka_resources target)";
  }

  std::unique_ptr<UserInputContext> MakeInput(int images) {
    auto input = std::make_unique<UserInputContext>();
    input->NumOfImage = images;
    for (int i = 0; i < images; ++i)
      platform::CopyWideField(input->ImagePath[i], REELKA_PATH_LEN, platform::Utf8ToUtf16(pictures()[i]));
    platform::CopyWideField(input->tempDirPath, REELKA_PATH_LEN, platform::Utf8ToUtf16(kWork));
    return input;
  }

  std::vector<SummarizedVideo> MakeSummary(int blocks) {
    std::vector<SummarizedVideo> list(1);
    list[0].fileName = video();
    for (int k = 0; k < blocks; ++k) {
      SuperFrame block{};
      block.sfStart = k * 1000000;
      block.sfEnd = block.sfStart + 900000;
      block.sfSize = 10;
      list[0].blocks.push_back(block);
    }
    return list;
  }

  // Checks the records, the working files and the scenes of one filling.
  void CheckFilled(ThemeTemplate& theme, int builder, const std::vector<SlotContext>& slots, int images) {
    const ThemeBuilderTable& table = theme.GetBuilderTable(builder);
    const int n = static_cast<int>(table.slotType.size());
    ASSERT_EQ(static_cast<int>(slots.size()), n);
    ASSERT_EQ(theme.GetSlotArrayCount(), n);
    const ThemeLayerTable& texts = theme.GetTextLayerTable();
    for (int i = 0; i < n; ++i) {
      SCOPED_TRACE(::testing::Message() << "slot " << i);
      const SlotContext& slot = slots[i];
      const int type = table.slotType[i];
      EXPECT_EQ(slot.slotType, type);
      EXPECT_EQ(theme.GetAllocatedImages()[i], i % images);
      EXPECT_EQ(slot.slotPath[0], 0);
      const LayerContext& base = slot.layers[0];
      EXPECT_EQ(base.width, 1920);
      EXPECT_EQ(base.height, 1080);
      if (type == 0 || type == 1) {
        EXPECT_EQ(base.layerType, 0);
        EXPECT_EQ(Narrow(base.layerSource), pictures()[i % images]);
      } else if (type == 2) {
        EXPECT_EQ(base.layerType, 0);
        EXPECT_EQ(base.layerSource[0], 0);
      } else {
        EXPECT_EQ(base.layerType, 1);
        const std::string frame = Narrow(base.layerSource);
        EXPECT_EQ(frame, kWork + "_WS_BG" + std::to_string(i) + ".png");
        cv::Mat picture = cv::imread(frame, cv::IMREAD_UNCHANGED);
        EXPECT_EQ(picture.size(), cv::Size(1920, 1080));
      }
      if (type == 0) {
        EXPECT_EQ(slot.layerCount, 1);
        continue;
      }
      const int d = table.design[i] - 1;
      EXPECT_EQ(slot.layerCount, texts.counts[d] + 2);
      const LayerContext& separator = slot.layers[1];
      EXPECT_EQ(separator.layerType, 2);
      char name[64];
      std::snprintf(name, sizeof(name), "ss_icon_clip_%s_%02d-WS%d.png", theme.GetNamingCode().c_str(), d + 1, i);
      EXPECT_EQ(Narrow(separator.layerSource), kWork + name);
      cv::Mat workspace = cv::imread(kWork + name, cv::IMREAD_UNCHANGED);
      ASSERT_EQ(workspace.type(), CV_8UC4);
      ASSERT_EQ(workspace.size(), cv::Size(1920, 1080));
      std::vector<cv::Mat> channels;
      cv::split(workspace, channels);
      const double clear = static_cast<double>(cv::countNonZero(channels[3] < 64)) / channels[3].total();
      if (type == 4 || type == 1) {
        EXPECT_GT(clear, 0.5) << "the picture or video must show through";
      }
      EXPECT_GT(cv::countNonZero(channels[3]), 0) << "the design draws something";
      for (int j = 0; j < texts.counts[d]; ++j) {
        const LayerContext& text = slot.layers[2 + j];
        EXPECT_EQ(text.layerType, 3);
        EXPECT_EQ(text.x, texts.layers[d][j].x);
        EXPECT_EQ(Narrow(text.font), Narrow(texts.layers[d][j].font));
      }
    }
    const ThemeSequence scenes = theme.GetThemeSequence();
    ASSERT_EQ(scenes.size(), table.scenes.size());
    for (size_t s = 0; s < scenes.size(); ++s) {
      EXPECT_EQ(scenes[s].step, static_cast<int>(s));
      EXPECT_EQ(scenes[s].effectCode, table.scenes[s].effectCode);
      EXPECT_EQ(scenes[s].endIndex, table.scenes[s].endIndex);
    }
  }

  std::string mLog;
};

TEST_F(ThemeFill, ImageBandsRunTheirBuilders) {
  struct Case {
    int theme;
    int images;
    int builder;
  } cases[] = {{1, 6, 3}, {1, 9, 4}, {1, 11, 5}, {2, 5, 3}, {2, 8, 4}, {2, 10, 5},
               {0, 7, 3}, {0, 8, 4}, {0, 10, 5}};
  std::atomic<int> progress{0};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "theme " << c.theme << ", " << c.images << " images");
    auto theme = std::dynamic_pointer_cast<ThemeTemplate>(CreateThemeSlotInformation(c.theme));
    ASSERT_GT(theme->GetEstimatedTimeSec(c.images, 0), 0);
    auto input = MakeInput(c.images);
    std::vector<SlotContext> slots;
    progress = 0;
    gSlotProgressTarget = &progress;
    theme->FillSlotContext(&slots, nullptr, input.get());
    gSlotProgressTarget = nullptr;
    EXPECT_EQ(progress.load(), 100);
    CheckFilled(*theme, c.builder, slots, c.images);
  }
  // A second run replaces the slots and the scenes, never adds to them.
  auto theme = std::dynamic_pointer_cast<ThemeTemplate>(CreateThemeSlotInformation(2));
  ASSERT_EQ(theme->GetEstimatedTimeSec(5, 0), 46);
  auto input = MakeInput(5);
  std::vector<SlotContext> slots;
  theme->FillSlotContext(&slots, nullptr, input.get());
  theme->FillSlotContext(&slots, nullptr, input.get());
  EXPECT_EQ(slots.size(), 13u);
  EXPECT_EQ(theme->GetThemeSequence().size(), 30u);
  const std::string text = ReadFile(mLog);
  EXPECT_NE(text.find("[SportySlotInformation::FillSlotContext]"), std::string::npos);
  EXPECT_NE(text.find("Target function index : 4, SummarizationVideoList pointer : "), std::string::npos);
  EXPECT_EQ(text.find("## Couldn't read separator"), std::string::npos) << "every art file is there";
}

TEST_F(ThemeFill, VideoBandsTakeFirstFramesOfTheirBlocks) {
  struct Case {
    int theme;
    int seconds;
    int builder;
  } cases[] = {{1, 20, 0}, {1, 45, 1}, {1, 300, 2}, {2, 29, 0}, {2, 299, 1}, {2, 600, 2},
               {0, 30, 0}, {0, 100, 1}, {0, 300, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "theme " << c.theme << ", " << c.seconds << " s");
    auto theme = std::dynamic_pointer_cast<ThemeTemplate>(CreateThemeSlotInformation(c.theme));
    ASSERT_GT(theme->GetEstimatedTimeSec(2, c.seconds), 0);
    ASSERT_EQ(theme->GetSequenceType(), 1);
    auto input = MakeInput(2);
    // Fewer blocks than the scenes name: indexes wrap.
    std::vector<SummarizedVideo> list = MakeSummary(5);
    std::vector<SlotContext> slots;
    theme->FillSlotContext(&slots, &list, input.get());
    CheckFilled(*theme, c.builder, slots, 2);
  }
  const std::string text = ReadFile(mLog);
  EXPECT_NE(text.find("Target function index : 2, SummarizationVideoList pointer : "), std::string::npos);
}

TEST_F(ThemeFill, VideoBandWithoutUsableVideoStillReturns) {
  auto theme = std::dynamic_pointer_cast<ThemeTemplate>(CreateThemeSlotInformation(1));
  ASSERT_EQ(theme->GetEstimatedTimeSec(6, 25), 60);
  auto input = MakeInput(6);
  std::vector<SummarizedVideo> empty = MakeSummary(0);
  std::vector<SlotContext> slots;
  // Whatever the slot filler makes of it, the scenes match the slots it made.
  auto expectedScenes = [&] { return slots.size() == 17u ? 41u : 0u; };
  theme->FillSlotContext(&slots, nullptr, input.get());
  EXPECT_EQ(theme->GetThemeSequence().size(), expectedScenes());
  theme->FillSlotContext(&slots, &empty, input.get());
  EXPECT_EQ(theme->GetThemeSequence().size(), expectedScenes());
}

TEST_F(ThemeFill, NoPictureMeansNoScenes) {
  auto theme = std::dynamic_pointer_cast<ThemeTemplate>(CreateThemeSlotInformation(2));
  ASSERT_EQ(theme->GetEstimatedTimeSec(0, 30), 69);
  auto input = MakeInput(0);
  std::vector<SummarizedVideo> list = MakeSummary(9);
  std::vector<SlotContext> slots(4);
  theme->FillSlotContext(&slots, &list, input.get());
  EXPECT_TRUE(slots.empty());
  EXPECT_TRUE(theme->GetThemeSequence().empty()) << "scenes would name slots that do not exist";
  EXPECT_NE(ReadFile(mLog).find("no scene is built"), std::string::npos);
}

}  // namespace
