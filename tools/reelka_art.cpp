// Draws the theme layer art and the effect maps into a resource folder.
// The file names come from the themes' own layer tables.
//
//   reelka_art [output folder, default "ReelkaResource"]
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "ThemeArt.h"
#include "Transition_Zoom.h"
#include "platform/Platform.h"
#include "themes/SlotInformation.h"
#include "themes/ThemeTemplate.h"

namespace {

const char kResourcePrefix[] = "./ReelkaResource/";
const char kEffectFolder[] = "./ReelkaResource/common/";

struct Job {
  std::vector<std::string> files;  // one per layer, relative to the output folder
  art::DesignInput design;
};

// Brightness of the two picked colours of a colour style (value channel).
void StyleBrightness(int colorStyle, double* colour1, double* colour2) {
  switch (colorStyle) {
    case 5: *colour1 = 255 / 255.0, *colour2 = 25 / 255.0; break;
    case 6: *colour1 = 179 / 255.0, *colour2 = 76 / 255.0; break;
    case 8: *colour1 = 103 / 255.0, *colour2 = 229 / 255.0; break;
    default: *colour1 = 1.0, *colour2 = 1.0; break;
  }
}

double TemplateBrightness(const char16_t* colour) {
  int r = 255, g = 255, b = 255, a = 100;
  std::sscanf(platform::Utf16ToUtf8(colour).c_str(), "rgba(%d, %d, %d, %d)", &r, &g, &b, &a);
  return (r + g + b) / 765.0;
}

bool Relative(const std::string& source, std::string* relative) {
  const size_t n = sizeof(kResourcePrefix) - 1;
  if (source.compare(0, n, kResourcePrefix) != 0) return false;
  *relative = source.substr(n);
  return !relative->empty();
}

bool CollectJobs(std::vector<Job>* jobs) {
  for (int index = 0; index < 3; ++index) {
    auto theme = std::dynamic_pointer_cast<ThemeTemplate>(CreateThemeSlotInformation(index));
    if (!theme) return false;
    // Designs shown over a photo or a playing video must stay see-through.
    bool overlay[kThemeDesigns] = {};
    for (int b = 0; b < kThemeBuilderCount; ++b) {
      const ThemeBuilderTable& table = theme->GetBuilderTable(b);
      for (size_t i = 0; i < table.slotType.size(); ++i) {
        const int d = table.design[i];
        if ((table.slotType[i] == 1 || table.slotType[i] == 4) && d >= 1 && d <= kThemeDesigns) overlay[d - 1] = true;
      }
    }
    const art::Style style = theme->GetNamingCode() == "sp"    ? art::Style::Sporty
                             : theme->GetNamingCode() == "vid" ? art::Style::Vivid
                                                               : art::Style::Modern;
    const ThemeLayerTable& images = theme->GetImageLayerTable();
    const ThemeLayerTable& texts = theme->GetTextLayerTable();
    for (int d = 0; d < kThemeDesigns; ++d) {
      Job job;
      job.design.style = style;
      job.design.overlay = overlay[d];
      job.design.seed = index * 100 + d;
      StyleBrightness(theme->GetColorStyle(), &job.design.colour1Brightness, &job.design.colour2Brightness);
      for (int j = 0; j < images.counts[d]; ++j) {
        std::string relative;
        const std::string source = platform::Utf16ToUtf8(images.layers[d][j].layerSource);
        if (!Relative(source, &relative)) {
          std::fprintf(stderr, "reelka_art: unexpected art path %s\n", source.c_str());
          return false;
        }
        job.files.push_back(relative);
        job.design.codes.push_back(images.codes[d][j]);
      }
      for (int j = 0; j < texts.counts[d]; ++j) {
        const LayerContext& l = texts.layers[d][j];
        art::TextBox box;
        box.rect = cv::Rect(l.x, l.y, l.width, l.height);
        const char code = texts.codes[d][j];
        box.brightness = code == 'A'   ? job.design.colour1Brightness
                         : code == 'B' ? job.design.colour2Brightness
                                       : TemplateBrightness(l.colour);
        job.design.texts.push_back(box);
      }
      if (!job.files.empty()) jobs->push_back(job);
    }
  }
  return true;
}

bool WritePng(const std::filesystem::path& path, const cv::Mat& picture) {
  std::error_code ec;
  std::filesystem::create_directories(path.parent_path(), ec);
  const std::vector<int> params = {cv::IMWRITE_PNG_COMPRESSION, 1};
  bool ok = false;
  try {
    ok = cv::imwrite(path.string(), picture, params);
  } catch (const cv::Exception&) {
    ok = false;
  }
  if (!ok) std::fprintf(stderr, "reelka_art: could not write %s\n", path.string().c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path out = argc > 1 ? argv[1] : "ReelkaResource";
  std::vector<Job> jobs;
  if (!CollectJobs(&jobs)) {
    std::fprintf(stderr, "reelka_art: the theme tables could not be read\n");
    return 1;
  }

  std::vector<char> ok(jobs.size(), 0);
  const unsigned workers = std::max(1u, std::min(8u, std::thread::hardware_concurrency()));
  std::vector<std::thread> threads;
  for (unsigned w = 0; w < workers; ++w) {
    threads.emplace_back([&, w] {
      for (size_t i = w; i < jobs.size(); i += workers) {
        const std::vector<cv::Mat> layers = art::PaintDesign(jobs[i].design);
        bool all = layers.size() == jobs[i].files.size();
        for (size_t j = 0; all && j < layers.size(); ++j) all = WritePng(out / jobs[i].files[j], layers[j]);
        ok[i] = all;
      }
    });
  }
  for (std::thread& t : threads) t.join();

  std::string mapRelative;
  bool mapOk = Relative(Transition_Zoom::GetMapFilePath(kEffectFolder), &mapRelative) &&
               WritePng(out / mapRelative, art::PaintZoomMap(512));

  size_t files = 0;
  bool all = mapOk;
  for (size_t i = 0; i < jobs.size(); ++i) {
    all = all && ok[i];
    files += jobs[i].files.size();
  }
  if (!all) return 1;
  std::ofstream(out / ".generated") << files + 1 << " files\n";
  std::printf("reelka_art: %zu files in %s\n", files + 1, out.string().c_str());
  return 0;
}
