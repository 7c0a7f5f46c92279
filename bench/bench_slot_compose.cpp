// Slot composition figures: picture reading, colour picking, slot pictures
// and slot filling with full-frame art, on a real photograph.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "platform/Platform.h"
#include "scriptmaker/ThemeResource.h"
#include "themes/OrvColorUtils.h"
#include "themes/SlotInformation.h"

namespace {

class BenchTheme : public SlotInformation {
 public:
  BenchTheme() : SlotInformation(6, "sp") {}
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
  void AddArt(const std::string& dir) {
    for (int j = 0; j < 3; ++j) {
      cv::Mat art = cv::Mat::zeros(1080, 1920, CV_8UC4);
      art(cv::Rect(100 + 300 * j, 700, 600, 300)).setTo(cv::Scalar(255, 255, 255, 200));
      std::string path = dir + "art_" + std::to_string(j) + ".png";
      cv::imwrite(path, art);
      platform::CopyWideField(mImageLayerTable.layers[0][j].layerSource, REELKA_PATH_LEN, platform::Utf8ToUtf16(path));
      mImageLayerTable.codes[0][j] = "AB."[j];
    }
    mImageLayerTable.counts[0] = 3;
  }
  std::vector<int32_t> types, designs, targetTypes, targetIndices;
};

double TimeMs(int repeat, const std::function<void()>& body) {
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < repeat; ++i) body();
  auto end = std::chrono::steady_clock::now();
  return std::chrono::duration<double, std::milli>(end - start).count() / repeat;
}

}  // namespace

int main() {
  const std::string photo = "/usr/share/backgrounds/mate/abstract/Elephants_5640x3172.jpg";
  if (!platform::IsRegularFile(photo)) {
    std::printf("photo %s not found\n", photo.c_str());
    return 0;
  }
  char tmpl[] = "/tmp/reelka_bench_XXXXXX";
  const std::string root = std::string(mkdtemp(tmpl)) + "/";

  std::printf("ReadPicture 5640x3172 JPEG:        %8.1f ms\n",
              TimeMs(3, [&] { OrvColorUtils::ReadPicture(photo, false, "bench"); }));
  PickedColors colours;
  OrvColorUtils::SetGreyColors(&colours, 6);
  std::printf("PickColorFromImage 5640x3172 JPEG: %8.1f ms\n",
              TimeMs(3, [&] { OrvColorUtils::PickColorFromImage(&colours, photo); }));
  // A 64 x 64 JPEG whose frame header declares 32768 x 32768.
  std::vector<uchar> bytes;
  cv::Mat noise(64, 64, CV_8UC3);
  cv::randu(noise, 0, 255);
  cv::imencode(".jpg", noise, bytes, {cv::IMWRITE_JPEG_QUALITY, 30});
  for (size_t i = 2; i + 8 < bytes.size(); ++i) {
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
      bytes[i + 5] = bytes[i + 7] = 0x80;
      bytes[i + 6] = bytes[i + 8] = 0x00;
      break;
    }
  }
  const std::string bomb = root + "bomb.jpg";
  if (FILE* f = std::fopen(bomb.c_str(), "wb")) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  std::printf("ReadPicture 32768x32768 declared:  %8.1f ms (%zu-byte file)\n",
              TimeMs(3, [&] { OrvColorUtils::ReadPicture(bomb, false, "bench"); }), bytes.size());
  cv::Mat frame = OrvColorUtils::BlackFrame();
  cv::Mat overlay(1080, 1920, CV_8UC4, cv::Scalar(10, 20, 30, 128));
  std::printf("BlendImage 1920x1080 half alpha:   %8.1f ms\n",
              TimeMs(10, [&] { OrvColorUtils::BlendImage(overlay, frame, 0, 0, 1920, 1080); }));

  std::unique_ptr<BenchTheme> theme(new BenchTheme());
  theme->AddArt(root);
  std::unique_ptr<UserInputContext> input(new UserInputContext());
  platform::CopyWideField(input->tempDirPath, REELKA_PATH_LEN, platform::Utf8ToUtf16(root));
  platform::CopyWideField(input->ImagePath[0], REELKA_PATH_LEN, platform::Utf8ToUtf16(photo));
  input->NumOfImage = 1;
  const int N = 20;
  for (int i = 0; i < N; ++i) {
    theme->types.push_back(i % 3);  // picture, picture with art, paper
    theme->designs.push_back(i % 3 ? 1 : 0);
    theme->targetTypes.push_back(i % 3 ? 1 : 0);
    theme->targetIndices.push_back(0);
  }
  std::vector<SlotContext> slots;
  std::printf("Slot filling, %d slots:            %8.1f ms\n", N,
              TimeMs(1, [&] { theme->FillSlotContext(&slots, nullptr, input.get()); }));
  ThemeResource resource;
  for (int s = 0; s < 3; ++s) {
    std::printf("GetSlotMat, slot type %d:           %8.1f ms\n", s,
                TimeMs(3, [&] { theme->GetSlotMat(s, slots.data(), &resource); }));
  }
  std::system(("rm -rf '" + root + "'").c_str());
  return 0;
}
